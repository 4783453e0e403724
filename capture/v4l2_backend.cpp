#include "capture/v4l2_backend.h"

#include "base/report.h"

#include <linux/videodev2.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

namespace {

constexpr int kBufferCount = 4;
constexpr uint32_t kNoControl = 0;

// Property code -> the V4L2 control that stands for it, and its automatic mode if any.
struct ControlMap {
    int code;
    uint32_t id;
    uint32_t autoId;
    bool inverted;  // the control says the opposite of the property (colour killer)
};
constexpr ControlMap kControls[] = {
    {0, V4L2_CID_BRIGHTNESS, V4L2_CID_AUTOBRIGHTNESS, false},
    {1, V4L2_CID_CONTRAST, kNoControl, false},
    {2, V4L2_CID_HUE, V4L2_CID_HUE_AUTO, false},
    {3, V4L2_CID_SATURATION, kNoControl, false},
    {4, V4L2_CID_SHARPNESS, kNoControl, false},
    {5, V4L2_CID_GAMMA, kNoControl, false},
    {6, V4L2_CID_COLOR_KILLER, kNoControl, true},
    {7, V4L2_CID_WHITE_BALANCE_TEMPERATURE, V4L2_CID_AUTO_WHITE_BALANCE, false},
    {8, V4L2_CID_BACKLIGHT_COMPENSATION, kNoControl, false},
    {9, V4L2_CID_GAIN, V4L2_CID_AUTOGAIN, false},
    {20, V4L2_CID_PAN_ABSOLUTE, kNoControl, false},
    {21, V4L2_CID_TILT_ABSOLUTE, kNoControl, false},
    {22, V4L2_CID_ROTATE, kNoControl, false},
    {23, V4L2_CID_ZOOM_ABSOLUTE, kNoControl, false},
    {24, V4L2_CID_EXPOSURE_ABSOLUTE, V4L2_CID_EXPOSURE_AUTO, false},
    {25, V4L2_CID_IRIS_ABSOLUTE, kNoControl, false},
    {26, V4L2_CID_FOCUS_ABSOLUTE, V4L2_CID_FOCUS_AUTO, false},
    {41, V4L2_CID_HFLIP, kNoControl, false},
    {42, V4L2_CID_VFLIP, kNoControl, false},
};

const ControlMap* controlFor(int code) {
    for (const ControlMap& c : kControls)
        if (c.code == code) return &c;
    return nullptr;
}

class V4l2Backend final : public CaptureBackend {
public:
    V4l2Backend(std::unique_ptr<V4l2Io> io, int w, int h) : io(std::move(io)), requestedWidth(w), requestedHeight(h) {}
    ~V4l2Backend() override { closeDevice(); }

    std::vector<std::string> listDevices() override {
        std::vector<std::string> names;
        nodes.clear();
        for (const std::string& node : io->deviceNodes()) {
            const int fd = io->open(node);
            if (fd < 0) continue;
            v4l2_capability cap{};
            if (io->ioctl(fd, VIDIOC_QUERYCAP, &cap) == 0) {
                const uint32_t caps = (cap.capabilities & V4L2_CAP_DEVICE_CAPS) ? cap.device_caps : cap.capabilities;
                if ((caps & V4L2_CAP_VIDEO_CAPTURE) && (caps & V4L2_CAP_STREAMING)) {
                    names.emplace_back(reinterpret_cast<const char*>(cap.card),
                                       strnlen(reinterpret_cast<const char*>(cap.card), sizeof cap.card));
                    nodes.push_back(node);
                }
            }
            io->close(fd);
        }
        return names;
    }

    bool openDevice(int number) override {
        closeDevice();
        if (number < 0 || number >= static_cast<int>(nodes.size())) return false;
        fd = io->open(nodes[number]);
        if (fd < 0) return false;
        name = nodes[number];
        lost = false;
        if (!negotiate(requestedWidth, requestedHeight)) {
            io->close(fd);
            fd = -1;
            return false;
        }
        return true;
    }

    void closeDevice() override {
        if (fd < 0) return;
        stop();
        io->close(fd);
        fd = -1;
    }

    bool start() override {
        if (fd < 0 || lost) return false;
        if (streaming) return true;
        v4l2_requestbuffers req{};
        req.count = kBufferCount;
        req.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        req.memory = V4L2_MEMORY_MMAP;
        if (io->ioctl(fd, VIDIOC_REQBUFS, &req) < 0 || req.count < 1) return failStart();
        for (uint32_t i = 0; i < req.count; ++i) {
            v4l2_buffer b = buffer(i);
            if (io->ioctl(fd, VIDIOC_QUERYBUF, &b) < 0) return failStart();
            void* at = io->map(b.length, fd, b.m.offset);
            if (!at) return failStart();
            buffers.push_back({at, b.length});
            if (io->ioctl(fd, VIDIOC_QBUF, &b) < 0) return failStart();
        }
        int type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        if (io->ioctl(fd, VIDIOC_STREAMON, &type) < 0) return failStart();
        streaming = true;
        return true;
    }

    bool stop() override {
        if (fd < 0) return true;
        if (streaming) {
            int type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
            io->ioctl(fd, VIDIOC_STREAMOFF, &type);
            streaming = false;
        }
        releaseBuffers();
        return true;
    }

    bool frameSize(int& w, int& h) override {
        if (fd < 0) return false;
        w = width;
        h = height;
        return true;
    }

    bool setFrameSize(int w, int h) override {
        if (fd < 0 || lost) return false;
        const bool wasStreaming = streaming;
        stop();
        const bool ok = negotiate(w, h);
        if (wasStreaming) start();
        return ok;
    }

    bool grabFrame(unsigned char* dst, size_t dstBytes, int timeoutMs) override {
        if (fd < 0 || !streaming || lost) return false;
        const int ready = io->waitReadable(fd, timeoutMs);
        if (ready < 0) {
            if (errno != EINTR) markLost();
            return false;
        }
        if (ready == 0) return false;
        // Drain the queue and keep only the newest frame: a slow consumer sees the present,
        // not a backlog.
        int newest = -1;
        uint32_t newestBytes = 0;
        for (;;) {
            v4l2_buffer b = buffer(0);
            if (io->ioctl(fd, VIDIOC_DQBUF, &b) < 0) {
                if (errno == ENODEV || errno == EIO || errno == ENXIO) markLost();
                break;
            }
            if (b.index >= buffers.size()) break;
            if (newest >= 0) requeue(newest);
            newest = static_cast<int>(b.index);
            newestBytes = std::min<uint32_t>(b.bytesused ? b.bytesused : b.length, static_cast<uint32_t>(buffers[b.index].length));
        }
        if (newest < 0) return false;
        copyBottomUp(static_cast<const unsigned char*>(buffers[newest].address), newestBytes, dst, dstBytes);
        requeue(newest);
        return true;
    }

    bool deviceLost() const override { return lost; }

    bool controlRange(int code, ControlRange& range) override {
        const ControlMap* c = controlFor(code);
        v4l2_queryctrl q{};
        if (!c || !query(c->id, q)) return false;
        range.minimum = q.minimum;
        range.maximum = q.maximum;
        range.step = q.step ? q.step : 1;
        range.defaultValue = c->inverted ? q.maximum - (q.default_value - q.minimum) : q.default_value;
        v4l2_queryctrl automatic{};
        range.hasAuto = c->autoId != kNoControl && query(c->autoId, automatic);
        return true;
    }

    bool getControl(int code, int32_t& value) override {
        const ControlMap* c = controlFor(code);
        v4l2_queryctrl q{};
        if (!c || !query(c->id, q)) return false;
        v4l2_control ctrl{c->id, 0};
        if (io->ioctl(fd, VIDIOC_G_CTRL, &ctrl) < 0) return false;
        value = c->inverted ? q.maximum - (ctrl.value - q.minimum) : ctrl.value;
        return true;
    }

    bool setControl(int code, int32_t value) override {
        const ControlMap* c = controlFor(code);
        v4l2_queryctrl q{};
        if (!c || !query(c->id, q)) return false;
        setAuto(*c, false);
        v4l2_control ctrl{c->id, c->inverted ? q.maximum - (value - q.minimum) : value};
        return io->ioctl(fd, VIDIOC_S_CTRL, &ctrl) == 0;
    }

    bool setControlAuto(int code, bool on) override {
        const ControlMap* c = controlFor(code);
        return c && setAuto(*c, on);
    }

    std::vector<std::pair<int, int>> sizes() {
        std::vector<std::pair<int, int>> out;
        if (fd < 0) return out;
        for (uint32_t i = 0; i < 64; ++i) {
            v4l2_frmsizeenum s{};
            s.index = i;
            s.pixel_format = V4L2_PIX_FMT_BGR24;
            if (io->ioctl(fd, VIDIOC_ENUM_FRAMESIZES, &s) < 0) break;
            if (s.type == V4L2_FRMSIZE_TYPE_DISCRETE) {
                out.emplace_back(s.discrete.width, s.discrete.height);
            } else {
                out.emplace_back(s.stepwise.min_width, s.stepwise.min_height);
                out.emplace_back(s.stepwise.max_width, s.stepwise.max_height);
                break;
            }
        }
        return out;
    }

private:
    struct Mapped {
        void* address;
        size_t length;
    };
    std::unique_ptr<V4l2Io> io;
    int requestedWidth, requestedHeight;
    std::vector<std::string> nodes;
    std::string name;
    int fd = -1;
    bool streaming = false;
    bool lost = false;
    int width = 0, height = 0;
    size_t stride = 0;
    std::vector<Mapped> buffers;

    static v4l2_buffer buffer(uint32_t index) {
        v4l2_buffer b{};
        b.index = index;
        b.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        b.memory = V4L2_MEMORY_MMAP;
        return b;
    }

    void requeue(int index) {
        v4l2_buffer b = buffer(static_cast<uint32_t>(index));
        if (io->ioctl(fd, VIDIOC_QBUF, &b) < 0 && (errno == ENODEV || errno == EIO)) markLost();
    }

    bool failStart() {
        releaseBuffers();
        return false;
    }

    void releaseBuffers() {
        for (const Mapped& m : buffers) io->unmap(m.address, m.length);
        const bool had = !buffers.empty();
        buffers.clear();
        if (had && !lost) {
            v4l2_requestbuffers req{};
            req.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
            req.memory = V4L2_MEMORY_MMAP;
            io->ioctl(fd, VIDIOC_REQBUFS, &req);
        }
    }

    void markLost() {
        if (lost) return;
        lost = true;
        streaming = false;
        reportError("the camera %s stopped delivering frames (unplugged?); capture has stopped", name.c_str());
    }

    // Asks for 24-bit BGR at the wanted size (0 x 0: the camera's current one); the driver, or
    // libv4l2, answers with the nearest it can do.
    bool negotiate(int w, int h) {
        v4l2_format f{};
        f.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        if (io->ioctl(fd, VIDIOC_G_FMT, &f) < 0) return false;
        if (w > 0 && h > 0) {
            f.fmt.pix.width = static_cast<uint32_t>(w);
            f.fmt.pix.height = static_cast<uint32_t>(h);
        }
        f.fmt.pix.pixelformat = V4L2_PIX_FMT_BGR24;
        f.fmt.pix.field = V4L2_FIELD_ANY;
        f.fmt.pix.bytesperline = 0;
        if (io->ioctl(fd, VIDIOC_S_FMT, &f) < 0 || f.fmt.pix.pixelformat != V4L2_PIX_FMT_BGR24 || f.fmt.pix.width == 0 ||
            f.fmt.pix.height == 0 || f.fmt.pix.width > 8192 || f.fmt.pix.height > 8192)
            return false;
        width = static_cast<int>(f.fmt.pix.width);
        height = static_cast<int>(f.fmt.pix.height);
        stride = std::max<size_t>(f.fmt.pix.bytesperline, static_cast<size_t>(width) * 3);
        return true;
    }

    // The camera sends the top row first; the program's frames start with the bottom row.
    void copyBottomUp(const unsigned char* src, size_t srcBytes, unsigned char* dst, size_t dstBytes) const {
        const size_t row = static_cast<size_t>(width) * 3;
        for (int r = 0; r < height; ++r) {
            // The driver sends the top row first; frames keep it last (docs/conventions.md, "Frames").
            const size_t from = static_cast<size_t>(height - 1 - r) * stride, to = static_cast<size_t>(r) * row;
            if (to >= dstBytes) break;
            const size_t n = std::min({row, dstBytes - to, from < srcBytes ? srcBytes - from : 0});
            std::memcpy(dst + to, src + from, n);
        }
    }

    bool query(uint32_t id, v4l2_queryctrl& q) {
        if (fd < 0) return false;
        q = {};
        q.id = id;
        return io->ioctl(fd, VIDIOC_QUERYCTRL, &q) == 0 && !(q.flags & V4L2_CTRL_FLAG_DISABLED);
    }

    bool setAuto(const ControlMap& c, bool on) {
        v4l2_queryctrl q{};
        if (c.autoId == kNoControl || !query(c.autoId, q)) return !on;
        if (c.autoId == V4L2_CID_EXPOSURE_AUTO) {
            // A menu: manual, or the first automatic mode the camera takes.
            if (!on) {
                v4l2_control ctrl{c.autoId, V4L2_EXPOSURE_MANUAL};
                return io->ioctl(fd, VIDIOC_S_CTRL, &ctrl) == 0;
            }
            for (int mode : {V4L2_EXPOSURE_APERTURE_PRIORITY, V4L2_EXPOSURE_AUTO}) {
                v4l2_control ctrl{c.autoId, mode};
                if (io->ioctl(fd, VIDIOC_S_CTRL, &ctrl) == 0) return true;
            }
            return false;
        }
        v4l2_control ctrl{c.autoId, on ? 1 : 0};
        return io->ioctl(fd, VIDIOC_S_CTRL, &ctrl) == 0;
    }
};

}  // namespace

std::unique_ptr<CaptureBackend> createV4l2Backend(std::unique_ptr<V4l2Io> io, int requestedWidth, int requestedHeight) {
    return std::make_unique<V4l2Backend>(std::move(io), requestedWidth, requestedHeight);
}

std::vector<std::pair<int, int>> v4l2FrameSizes(CaptureBackend* backend) {
    auto* v = dynamic_cast<V4l2Backend*>(backend);
    return v ? v->sizes() : std::vector<std::pair<int, int>>{};
}
