// The seam between the capture handle and a platform's video source. A backend lists its
// devices, opens one, streams it and copies its newest frame out; the handle keeps the
// running state and the device list.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

class CaptureBackend {
public:
    virtual ~CaptureBackend() = default;

    // Friendly names of the devices, in enumeration order.
    virtual std::vector<std::string> listDevices() = 0;
    virtual bool openDevice(int number) = 0;
    virtual void closeDevice() = 0;
    virtual bool start() = 0;
    virtual bool stop() = 0;
    // Current frame size; false when there is none to report.
    virtual bool frameSize(int& width, int& height) = 0;
    virtual bool setFrameSize(int width, int height) = 0;
    // Copies the newest frame (24-bit BGR, bottom-up, rows packed without padding) into dst,
    // never more than dstBytes. Answers false on time-out, leaving dst untouched. A negative
    // time-out waits without limit.
    virtual bool grabFrame(unsigned char* dst, size_t dstBytes, int timeoutMs) = 0;
    // Dialogs: 1 shown, 0 failed, -1 this device has none.
    virtual int showFormatDialog() { return -1; }
    virtual int showSourceDialog() { return -1; }
    // How long a run or stop takes to settle on this platform.
    virtual int settleMilliseconds() const { return 0; }
    // One-shot grabbing hint (the next grab is the only one before a stop).
    virtual void setOneShot(bool) {}
};

// The webcam backend of this platform.
std::unique_ptr<CaptureBackend> createCameraBackend();
