#include "capture/virtual_backend.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

class VirtualBackend final : public CaptureBackend {
public:
    explicit VirtualBackend(const VirtualCameraOptions& options) : camera(options) {}

    std::vector<std::string> listDevices() override { return {"Tovrak virtual camera"}; }
    bool openDevice(int number) override { return number == 0; }
    void closeDevice() override { running = false; }
    bool start() override {
        running = true;
        epoch = Clock::now();
        epochFrame = delivered;
        return true;
    }
    bool stop() override {
        running = false;
        return true;
    }
    bool frameSize(int& width, int& height) override {
        width = camera.options().width;
        height = camera.options().height;
        return true;
    }
    bool setFrameSize(int width, int height) override {
        if (width < 16 || height < 16 || width > 4096 || height > 4096) return false;
        camera.setSize(width, height);
        return true;
    }

    bool grabFrame(unsigned char* dst, size_t dstBytes, int timeoutMs) override {
        if (!running) return false;
        if (!waitForFrameTime(timeoutMs)) return false;
        frame.resize(camera.frameBytes());
        camera.render(delivered, frame.data());
        std::memcpy(dst, frame.data(), std::min(dstBytes, frame.size()));
        ++delivered;
        return true;
    }

    VirtualCamera camera;
    int delivered = 0;

private:
    bool running = false;
    Clock::time_point epoch;
    int epochFrame = 0;
    std::vector<unsigned char> frame;

    // Paces delivery to the camera's frame rate, as a real sensor would. A consumer that falls
    // behind gets the next frame at once and the schedule restarts from there, never a burst.
    bool waitForFrameTime(int timeoutMs) {
        const double fps = camera.options().fps;
        if (fps <= 0.0) return true;
        const auto period = std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(1.0 / fps));
        const auto due = epoch + period * (delivered - epochFrame);
        const auto now = Clock::now();
        if (now >= due) {
            if (now - due > 2 * period) {
                epoch = now;
                epochFrame = delivered;
            }
            return true;
        }
        if (timeoutMs >= 0 && due - now > std::chrono::milliseconds(timeoutMs)) {
            std::this_thread::sleep_for(std::chrono::milliseconds(timeoutMs));
            return false;
        }
        std::this_thread::sleep_until(due);
        return true;
    }
};

}  // namespace

std::unique_ptr<CaptureBackend> createVirtualBackend(const VirtualCameraOptions& options) {
    return std::make_unique<VirtualBackend>(options);
}

const VirtualCamera* virtualCameraOf(CaptureBackend* backend) {
    auto* v = dynamic_cast<VirtualBackend*>(backend);
    return v ? &v->camera : nullptr;
}

int virtualFramesDelivered(CaptureBackend* backend) {
    auto* v = dynamic_cast<VirtualBackend*>(backend);
    return v ? v->delivered : 0;
}
