// The capture handle: finds the video input devices, opens one, streams it as 24-bit BGR
// bottom-up frames and copies the newest frame into the caller's buffer. Results are 1 for
// success and 0 for failure unless said otherwise.
#pragma once

#include <cstddef>
#include <memory>
#include <string>

#include "capture/capture_backend.h"
#include "capture/frame_size.h"

constexpr int kMaxCaptureDevices = 30;
constexpr int kDeviceNameBytes = 160;

struct CaptureDevice {
    int running = 0;
    int deviceNumber = -1;
    std::unique_ptr<CaptureBackend> backend;
    // The device list, filled by the first operation that finds it empty.
    char deviceNames[kMaxCaptureDevices][kDeviceNameBytes] = {};
    int deviceCount = 0;
};


// A handle over the platform's webcam backend, or null when no device exists. Published
// interface for outside callers: the program itself picks its backend (capture_source) and calls
// captureCreateWith.
CaptureDevice* captureCreate();
// The same over a given backend (the virtual camera, recorded input, test fakes).
CaptureDevice* captureCreateWith(std::unique_ptr<CaptureBackend> backend);
void captureDestroy(CaptureDevice* dev);
// "%d - %s" for device n, or null when n is out of range.
const char* captureGetDeviceName(CaptureDevice* dev, int n);
// -1 answers the open device number (-1 when none); otherwise 1 on success, 0 on failure.
int captureSelectDevice(CaptureDevice* dev, int n);
void captureCloseDevice(CaptureDevice* dev);
// 1 run, 0 stop, -1 query.
int captureSetRunning(CaptureDevice* dev, int state);
int captureGetSize(CaptureDevice* dev, int* width, int* height);
int captureSetSize(CaptureDevice* dev, int width, int height);
// How long the program waits for a frame before it redraws what it has.
constexpr int kGrabTimeoutMs = 1000;
// Copies at most bufferBytes; 0 on time-out with the buffer untouched. -1 waits without limit.
int captureGrabFrame(CaptureDevice* dev, unsigned char* buffer, size_t bufferBytes, int timeoutMs);
int captureGrabSingleFrame(CaptureDevice* dev, unsigned char* buffer, size_t bufferBytes);
int captureShowFormatDialog(CaptureDevice* dev, void* owner);
// 1 when a recorded input has played to its end.
int captureAtEnd(CaptureDevice* dev);
int captureShowSourceDialog(CaptureDevice* dev, void* owner);
// The share of the frame interval over which the rows are read (CaptureBackend::rowReadOut).
double captureRowReadOut(const CaptureDevice* dev);
