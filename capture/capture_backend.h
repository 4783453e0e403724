// The seam between the capture handle and a platform's video source. A backend lists its
// devices, opens one, streams it and copies its newest frame out; the handle keeps the
// running state and the device list.
#pragma once

#include <cstddef>
#include <cstdint>
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
    // True once the device has gone away (unplugged) or a recording has ended: the handle then
    // reports capture as not running.
    virtual bool deviceLost() const { return false; }
    // The share of the frame interval over which the sensor reads its rows, top row first (0: a
    // global shutter). Webcams and the phones that record most videos have rolling shutters;
    // 0.8 is the middle of what they show (0.6 to 1) when they do not say.
    virtual double rowReadOut() const { return kTypicalRowReadOut; }
    static constexpr double kTypicalRowReadOut = 0.8;
    virtual bool endOfStream() const { return false; }

    // Picture and camera controls, by property code (see capture/properties.h). A device without
    // the control answers false.
    struct ControlRange {
        int32_t minimum = 0, maximum = 0, step = 1, defaultValue = 0;
        bool hasAuto = false;
    };
    virtual bool controlRange(int /*code*/, ControlRange& /*range*/) { return false; }
    virtual bool getControl(int /*code*/, int32_t& /*value*/) { return false; }
    // A manual value: switches the control's automatic mode off first where it has one.
    virtual bool setControl(int /*code*/, int32_t /*value*/) { return false; }
    virtual bool setControlAuto(int /*code*/, bool /*on*/) { return false; }
};

// The webcam backend of this platform, asking the camera for the given frame size (the camera
// picks the nearest it offers; 0 x 0 keeps its own).
constexpr int kPreferredWidth = 320, kPreferredHeight = 240;
std::unique_ptr<CaptureBackend> createCameraBackend(int requestedWidth = kPreferredWidth,
                                                    int requestedHeight = kPreferredHeight);
