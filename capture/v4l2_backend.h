// Webcams through Video4Linux2 (with libv4l2, which turns whatever the camera sends into 24-bit
// colour). The system calls go through a small seam so that tests can stand in for a device.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "capture/capture_backend.h"

class V4l2Io {
public:
    virtual ~V4l2Io() = default;
    // Candidate device nodes ("/dev/video0", ...), in number order.
    virtual std::vector<std::string> deviceNodes() = 0;
    // Non-blocking read-write open; -1 with errno on failure.
    virtual int open(const std::string& path) = 0;
    virtual void close(int fd) = 0;
    // -1 with errno on failure.
    virtual int ioctl(int fd, unsigned long request, void* arg) = 0;
    // Null on failure.
    virtual void* map(size_t length, int fd, int64_t offset) = 0;
    virtual void unmap(void* address, size_t length) = 0;
    // Waits for a frame: 1 ready, 0 time-out, -1 with errno on failure (ENODEV when the device
    // is gone). A negative time-out waits without limit.
    virtual int waitReadable(int fd, int timeoutMs) = 0;
};

std::unique_ptr<V4l2Io> createSystemV4l2Io();

// A backend over the given system calls. A requested size of 0 x 0 keeps the camera's own.
std::unique_ptr<CaptureBackend> createV4l2Backend(std::unique_ptr<V4l2Io> io, int requestedWidth,
                                                  int requestedHeight);

// The frame sizes the open device offers for 24-bit colour (empty for other backends).
std::vector<std::pair<int, int>> v4l2FrameSizes(CaptureBackend* backend);
