#include "web/browser_camera.h"


namespace {

// The sides a picture from the page may have.
constexpr int kMinSide = 16, kMaxSide = 4096;

class BrowserCamera;
BrowserCamera* s_open = nullptr;  // the one device the page feeds, while it is open

class BrowserCamera final : public CaptureBackend {
public:
    BrowserCamera() { s_open = this; }
    ~BrowserCamera() override {
        if (s_open == this) s_open = nullptr;
    }

    std::vector<std::string> listDevices() override { return {"Browser camera"}; }
    bool openDevice(int number) override { return number == 0; }
    void closeDevice() override { running = false; }
    bool start() override { return running = true; }
    bool stop() override {
        running = false;
        return true;
    }
    bool frameSize(int& width, int& height) override {
        if (w == 0) return false;
        width = w, height = h;
        return true;
    }
    // The page chooses the size (from the camera it was given); the device follows it.
    bool setFrameSize(int, int) override { return false; }

    // Never waits: the page's animation frames pace the loop, and a frame that has not changed
    // is not a new one.
    bool grabFrame(unsigned char* dst, size_t dstBytes, int) override {
        if (!running || !fresh || dstBytes < static_cast<size_t>(w) * h * 3) return false;
        fresh = false;
        // RGBA top row first to BGR bottom row first.
        for (int row = 0; row < h; ++row) {
            const uint8_t* in = rgba.data() + static_cast<size_t>(h - 1 - row) * w * 4;
            unsigned char* out = dst + static_cast<size_t>(row) * w * 3;
            for (int x = 0; x < w; ++x, in += 4, out += 3) out[0] = in[2], out[1] = in[1], out[2] = in[0];
        }
        return true;
    }

    uint8_t* buffer(int width, int height) {
        if (width < kMinSide || height < kMinSide || width > kMaxSide || height > kMaxSide)
            return nullptr;
        if (width != w || height != h) {
            w = width, h = height;
            rgba.assign(static_cast<size_t>(w) * h * 4, 0);
            fresh = false;
        }
        return rgba.data();
    }
    void written() { fresh = w > 0; }

private:
    bool running = false, fresh = false;
    int w = 0, h = 0;
    std::vector<uint8_t> rgba;
};

}  // namespace

std::unique_ptr<CaptureBackend> createCameraBackend(int, int) { return std::make_unique<BrowserCamera>(); }

uint8_t* browserFrameBuffer(int width, int height) { return s_open ? s_open->buffer(width, height) : nullptr; }

void browserFrameWritten() {
    if (s_open) s_open->written();
}
