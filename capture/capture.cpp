#include "capture/capture.h"

#include <chrono>
#include <cstdio>
#include <thread>

namespace {

void settle(CaptureDevice* dev) {
    const int ms = dev->backend->settleMilliseconds();
    if (ms > 0) std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

void fillDeviceList(CaptureDevice* dev) {
    if (dev->deviceCount > 0) return;
    for (const std::string& name : dev->backend->listDevices()) {
        if (dev->deviceCount == kMaxCaptureDevices) break;
        // snprintf always terminates, so a driver's long name is simply cut at 159 bytes.
        std::snprintf(dev->deviceNames[dev->deviceCount], kDeviceNameBytes, "%d - %s",
                      dev->deviceCount, name.c_str());
        ++dev->deviceCount;
    }
}

}  // namespace

CaptureDevice* captureCreateWith(std::unique_ptr<CaptureBackend> backend) {
    if (!backend) return nullptr;
    auto* dev = new CaptureDevice;
    dev->backend = std::move(backend);
    fillDeviceList(dev);
    if (dev->deviceCount == 0) {
        delete dev;
        return nullptr;
    }
    return dev;
}

CaptureDevice* captureCreate() { return captureCreateWith(createCameraBackend()); }

void captureDestroy(CaptureDevice* dev) {
    if (!dev) return;
    captureCloseDevice(dev);
    delete dev;
}

const char* captureGetDeviceName(CaptureDevice* dev, int n) {
    if (!dev) return nullptr;
    fillDeviceList(dev);
    if (n < 0 || n >= dev->deviceCount) return nullptr;
    return dev->deviceNames[n];
}

int captureSelectDevice(CaptureDevice* dev, int n) {
    if (!dev) return n == -1 ? -1 : 0;
    if (n == -1) return dev->deviceNumber;
    if (n == dev->deviceNumber) return 1;
    if (dev->deviceNumber != -1) captureCloseDevice(dev);
    fillDeviceList(dev);
    if (n < 0 || n >= dev->deviceCount) return 0;
    if (!dev->backend->openDevice(n)) return 0;
    dev->deviceNumber = n;
    return 1;
}

void captureCloseDevice(CaptureDevice* dev) {
    if (!dev || dev->deviceNumber == -1) return;
    if (dev->running) {
        dev->backend->stop();
        settle(dev);
    }
    dev->backend->closeDevice();
    dev->running = 0;
    dev->deviceNumber = -1;
}

int captureSetRunning(CaptureDevice* dev, int state) {
    if (!dev || dev->deviceNumber == -1) return 0;
    if (state == dev->running) return 1;
    if (state == -1) return dev->running;
    const bool ok = state ? dev->backend->start() : dev->backend->stop();
    if (!ok) {
        // A device that vanished while running is no longer running, whatever was asked.
        if (state == 0) dev->running = 0;
        return 0;
    }
    settle(dev);
    dev->running = state ? 1 : 0;
    return 1;
}

int captureGetSize(CaptureDevice* dev, int* width, int* height) {
    int w = 0, h = 0;
    if (!dev || dev->deviceNumber == -1 || !dev->backend->frameSize(w, h) || w <= 0 || h <= 0) {
        w = 0;
        h = 0;
    }
    if (width) *width = w;
    if (height) *height = h;
    return (w > 0 && h > 0) ? 1 : 0;
}

int captureSetSize(CaptureDevice* dev, int width, int height) {
    if (!dev || dev->deviceNumber == -1 || width <= 0 || height <= 0) return 0;
    return dev->backend->setFrameSize(width, height) ? 1 : 0;
}

int captureGrabFrame(CaptureDevice* dev, unsigned char* buffer, size_t bufferBytes, int timeoutMs) {
    if (!dev || dev->deviceNumber == -1 || !buffer || bufferBytes == 0) return 0;
    if (dev->backend->grabFrame(buffer, bufferBytes, timeoutMs)) return 1;
    // A camera that went away, or a recording that ended, is no longer running.
    if (dev->backend->deviceLost() || dev->backend->endOfStream()) dev->running = 0;
    return 0;
}

int captureGrabSingleFrame(CaptureDevice* dev, unsigned char* buffer, size_t bufferBytes) {
    if (!dev || dev->deviceNumber == -1) return 0;
    if (dev->running) {
        dev->backend->stop();
        settle(dev);
        dev->running = 0;
    }
    dev->backend->setOneShot(true);
    if (!dev->backend->start()) {
        dev->backend->setOneShot(false);
        return 0;
    }
    dev->running = 1;
    settle(dev);
    const int result = captureGrabFrame(dev, buffer, bufferBytes, -1);
    dev->backend->stop();
    dev->backend->setOneShot(false);
    dev->running = 0;
    return result;
}

int captureShowFormatDialog(CaptureDevice* dev, void*) {
    if (!dev || dev->deviceNumber == -1) return 0;
    return dev->backend->showFormatDialog();
}

int captureShowSourceDialog(CaptureDevice* dev, void*) {
    if (!dev || dev->deviceNumber == -1) return 0;
    return dev->backend->showSourceDialog();
}

int captureAtEnd(CaptureDevice* dev) { return (dev && dev->backend && dev->backend->endOfStream()) ? 1 : 0; }


double captureRowReadOut(const CaptureDevice* dev) { return dev && dev->backend ? dev->backend->rowReadOut() : 0.0; }
