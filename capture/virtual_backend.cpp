#include "capture/virtual_backend.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "capture/frame_pacer.h"

namespace {

class VirtualBackend final : public CaptureBackend {
public:
    explicit VirtualBackend(const VirtualCameraOptions& options) : camera(options) {}

    std::vector<std::string> listDevices() override { return {"Tovrak virtual camera"}; }
    bool openDevice(int number) override { return number == 0; }
    double rowReadOut() const override { return camera.options().shutter; }
    void closeDevice() override { running = false; }
    bool start() override {
        running = true;
        pacer.restart(delivered);
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
        if (!pacer.waitFor(delivered, camera.options().fps, timeoutMs)) return false;
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
    FramePacer pacer;
    std::vector<unsigned char> frame;
};

}  // namespace

std::unique_ptr<CaptureBackend> createVirtualBackend(const VirtualCameraOptions& options) {
    return std::make_unique<VirtualBackend>(options);
}

const VirtualCamera* virtualCameraOf(CaptureBackend* backend) {
    auto* v = dynamic_cast<VirtualBackend*>(backend);
    return v ? &v->camera : nullptr;
}
