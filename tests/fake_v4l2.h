// A scripted V4L2 device behind the backend's system-call seam: capabilities, formats, a
// buffer queue the test fills frame by frame, controls, and unplugging.
#pragma once

#include <linux/videodev2.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <deque>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "capture/v4l2_backend.h"

struct FakeNode {
    std::string path, card;
    uint32_t caps = V4L2_CAP_VIDEO_CAPTURE | V4L2_CAP_STREAMING;
};

struct FakeCamera {
    std::vector<FakeNode> nodes{{"/dev/video0", "Fake Cam"}};
    std::vector<std::pair<int, int>> sizes{{160, 120}, {320, 240}, {640, 480}};
    bool deliversBgr = true;
    bool failReqbufs = false;
    bool unplugged = false;
    int padding = 0;  // extra bytes at the end of each row
    int width = 640, height = 480;
    int openFd = -1;
    bool streaming = false;
    std::vector<std::vector<unsigned char>> buffers;
    std::deque<int> queued, filled;
    int framesDelivered = 0;
    struct Control {
        int32_t min, max, step, def, value;
    };
    std::map<uint32_t, Control> controls;

    size_t stride() const { return static_cast<size_t>(width) * 3 + padding; }
    // The camera fills up to n queued buffers with frames numbered from 1: every byte of row r
    // (top row first) of frame k holds (k * 16 + r) mod 256.
    void deliver(int n) {
        for (int i = 0; i < n && !queued.empty(); ++i) {
            const int b = queued.front();
            queued.pop_front();
            ++framesDelivered;
            for (int r = 0; r < height; ++r)
                std::memset(&buffers[b][r * stride()], (framesDelivered * 16 + r) & 0xff, stride());
            filled.push_back(b);
        }
    }
};

class FakeV4l2Io : public V4l2Io {
public:
    explicit FakeV4l2Io(std::shared_ptr<FakeCamera> c) : cam(std::move(c)) {}

    std::vector<std::string> deviceNodes() override {
        std::vector<std::string> out;
        for (const FakeNode& n : cam->nodes) out.push_back(n.path);
        return out;
    }
    int open(const std::string& path) override {
        for (size_t i = 0; i < cam->nodes.size(); ++i)
            if (cam->nodes[i].path == path) return static_cast<int>(10 + i);
        errno = ENOENT;
        return -1;
    }
    void close(int) override {}
    int ioctl(int fd, unsigned long request, void* arg) override {
        if (cam->unplugged) return fail(ENODEV);
        const FakeNode& node = cam->nodes[fd - 10];
        switch (request) {
            case VIDIOC_QUERYCAP: {
                auto* c = static_cast<v4l2_capability*>(arg);
                std::memset(c, 0, sizeof *c);
                std::memcpy(c->card, node.card.c_str(), std::min(node.card.size(), sizeof c->card));
                c->capabilities = node.caps;
                return 0;
            }
            case VIDIOC_G_FMT:
            case VIDIOC_S_FMT: {
                auto* f = static_cast<v4l2_format*>(arg);
                if (request == VIDIOC_S_FMT) {
                    if (cam->streaming) return fail(EBUSY);
                    // The nearest size offered.
                    long best = -1;
                    for (auto [w, h] : cam->sizes) {
                        const long d = std::labs(w - static_cast<long>(f->fmt.pix.width)) + std::labs(h - static_cast<long>(f->fmt.pix.height));
                        if (best < 0 || d < best) best = d, cam->width = w, cam->height = h;
                    }
                }
                f->fmt.pix.width = cam->width;
                f->fmt.pix.height = cam->height;
                f->fmt.pix.pixelformat = cam->deliversBgr ? V4L2_PIX_FMT_BGR24 : V4L2_PIX_FMT_YUYV;
                f->fmt.pix.bytesperline = static_cast<uint32_t>(cam->stride());
                f->fmt.pix.sizeimage = static_cast<uint32_t>(cam->stride() * cam->height);
                return 0;
            }
            case VIDIOC_REQBUFS: {
                auto* r = static_cast<v4l2_requestbuffers*>(arg);
                if (cam->failReqbufs) return fail(EINVAL);
                cam->buffers.assign(r->count, std::vector<unsigned char>(cam->stride() * cam->height));
                cam->queued.clear();
                cam->filled.clear();
                return 0;
            }
            case VIDIOC_QUERYBUF: {
                auto* b = static_cast<v4l2_buffer*>(arg);
                if (b->index >= cam->buffers.size()) return fail(EINVAL);
                b->length = static_cast<uint32_t>(cam->buffers[b->index].size());
                b->m.offset = b->index * 4096;
                return 0;
            }
            case VIDIOC_QBUF:
                cam->queued.push_back(static_cast<v4l2_buffer*>(arg)->index);
                return 0;
            case VIDIOC_DQBUF: {
                if (cam->filled.empty()) return fail(EAGAIN);
                auto* b = static_cast<v4l2_buffer*>(arg);
                b->index = cam->filled.front();
                b->bytesused = static_cast<uint32_t>(cam->buffers[b->index].size());
                cam->filled.pop_front();
                return 0;
            }
            case VIDIOC_STREAMON: cam->streaming = true; return 0;
            case VIDIOC_STREAMOFF: cam->streaming = false; return 0;
            case VIDIOC_QUERYCTRL: {
                auto* q = static_cast<v4l2_queryctrl*>(arg);
                auto it = cam->controls.find(q->id);
                if (it == cam->controls.end()) return fail(EINVAL);
                q->minimum = it->second.min, q->maximum = it->second.max, q->step = it->second.step;
                q->default_value = it->second.def;
                return 0;
            }
            case VIDIOC_G_CTRL:
            case VIDIOC_S_CTRL: {
                auto* c = static_cast<v4l2_control*>(arg);
                auto it = cam->controls.find(c->id);
                if (it == cam->controls.end()) return fail(EINVAL);
                if (request == VIDIOC_G_CTRL) c->value = it->second.value;
                else it->second.value = c->value;
                return 0;
            }
            default: return fail(ENOTTY);
        }
    }
    void* map(size_t, int, int64_t offset) override {
        const size_t index = static_cast<size_t>(offset / 4096);
        return index < cam->buffers.size() ? cam->buffers[index].data() : nullptr;
    }
    void unmap(void*, size_t) override {}
    int waitReadable(int, int) override {
        if (cam->unplugged) return fail(ENODEV);
        return cam->filled.empty() ? 0 : 1;
    }

private:
    std::shared_ptr<FakeCamera> cam;
    static int fail(int e) {
        errno = e;
        return -1;
    }
};
