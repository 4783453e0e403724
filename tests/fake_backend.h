// A scripted capture backend: fixed device names, a settable frame size, frames filled with a
// counter, and switches for time-outs and failures.
#pragma once

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "capture/capture_backend.h"

struct FakeDevice {
    std::vector<std::string> names{"Fake cam"};
    int width = 8, height = 6;
    bool streaming = false;
    bool timeOut = false;
    bool failStart = false;
    bool lost = false;
    int grabs = 0;
    int openDevice = -1;
    size_t lastCopyBytes = 0;
};

class FakeBackend : public CaptureBackend {
public:
    explicit FakeBackend(std::shared_ptr<FakeDevice> d) : dev(std::move(d)) {}
    std::vector<std::string> listDevices() override { return dev->names; }
    bool openDevice(int n) override {
        dev->openDevice = n;
        return true;
    }
    void closeDevice() override { dev->openDevice = -1; }
    bool start() override { return !dev->failStart && (dev->streaming = true); }
    bool stop() override { return !(dev->streaming = false); }
    bool frameSize(int& w, int& h) override {
        w = dev->width;
        h = dev->height;
        return true;
    }
    bool setFrameSize(int w, int h) override {
        dev->width = w;
        dev->height = h;
        return true;
    }
    bool deviceLost() const override { return dev->lost; }
    bool grabFrame(unsigned char* dst, size_t dstBytes, int) override {
        if (dev->timeOut || dev->lost) return false;
        ++dev->grabs;
        const size_t frameBytes = static_cast<size_t>(dev->width) * dev->height * 3;
        dev->lastCopyBytes = std::min(dstBytes, frameBytes);
        std::memset(dst, dev->grabs & 0xff, dev->lastCopyBytes);
        return true;
    }

private:
    std::shared_ptr<FakeDevice> dev;
};

inline std::unique_ptr<CaptureBackend> makeFake(const std::shared_ptr<FakeDevice>& d) {
    return std::make_unique<FakeBackend>(d);
}
