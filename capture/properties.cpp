#include "capture/properties.h"

#include <cstdint>
#include <cstring>

namespace {

struct Property {
    const char* name;
    int code;
};

constexpr Property kProperties[] = {
    {"VideoBrightness", 0},   {"VideoContrast", 1},   {"VideoHue", 2},
    {"VideoSaturation", 3},   {"VideoSharpness", 4},  {"VideoGamma", 5},
    {"VideoColorEnable", 6},  {"VideoWhiteBalance", 7}, {"VideoBacklightCompensation", 8},
    {"VideoGain", 9},         {"CameraPanAngle", 20}, {"CameraTiltAngle", 21},
    {"CameraRollAngle", 22},  {"CameraLensZoom", 23}, {"CameraExposure", 24},
    {"CameraIris", 25},       {"CameraFocus", 26},    {"FlipHorizontal", 41},
    {"FlipVertical", 42},
};
constexpr int kPropertyCount = sizeof kProperties / sizeof kProperties[0];

// Bucket -> code + 1 (0 empty), filled on the first lookup.
const int32_t* bucketTable() {
    static int32_t table[kPropertyBuckets];
    static bool filled = false;
    if (!filled) {
        for (const Property& p : kProperties) table[propertyBucket(p.name)] = p.code + 1;
        filled = true;
    }
    return table;
}

bool isFlip(int code) { return code >= kFirstVideoControl; }

CaptureBackend* openBackend(CaptureDevice* dev) {
    return (dev && dev->deviceNumber != -1 && dev->backend) ? dev->backend.get() : nullptr;
}

}  // namespace

int propertyBucket(const char* name) {
    uint32_t h = 0;
    for (const unsigned char* b = reinterpret_cast<const unsigned char*>(name); *b; ++b) h = (h * 31 + *b) % 65536;
    return static_cast<int>(h % kPropertyBuckets);
}

int propertyCode(const char* name) {
    if (!name) return -1;
    const int32_t entry = bucketTable()[propertyBucket(name)];
    if (entry == 0) return -1;
    const char* known = propertyName(entry - 1);
    return (known && std::strcmp(known, name) == 0) ? entry - 1 : -1;
}

const char* propertyName(int code) {
    for (const Property& p : kProperties)
        if (p.code == code) return p.name;
    return nullptr;
}

const int* propertyCodes(int* count) {
    static int codes[kPropertyCount];
    for (int i = 0; i < kPropertyCount; ++i) codes[i] = kProperties[i].code;
    if (count) *count = kPropertyCount;
    return codes;
}

int captureSetProperty(CaptureDevice* dev, const char* name, double value) {
    const int code = propertyCode(name);
    CaptureBackend* b = openBackend(dev);
    if (code < 0 || !b) return 0;
    if (isFlip(code)) return b->setControl(code, value != 0.0 ? 1 : 0) ? 1 : 0;
    CaptureBackend::ControlRange r;
    if (!b->controlRange(code, r)) return 0;
    int64_t raw = static_cast<int64_t>(value / 100.0 * (static_cast<double>(r.maximum) - r.minimum) + r.minimum);
    // Up onto the control's step grid.
    if (r.step != 1 && r.step > 0) raw = r.minimum + static_cast<int64_t>(r.step) * ((raw - r.minimum + r.step - 1) / r.step);
    return b->setControl(code, static_cast<int32_t>(raw)) ? 1 : 0;
}

int captureGetProperty(CaptureDevice* dev, const char* name, double* value) {
    const int code = propertyCode(name);
    CaptureBackend* b = openBackend(dev);
    if (code < 0 || !b || !value) return 0;
    int32_t raw = 0;
    if (isFlip(code)) {
        if (!b->getControl(code, raw)) return 0;
        *value = raw ? 100.0 : 0.0;
        return 1;
    }
    CaptureBackend::ControlRange r;
    if (!b->controlRange(code, r) || !b->getControl(code, raw)) return 0;
    // A control with an empty range has only the one value: 0 percent.
    *value = r.maximum == r.minimum ? 0.0 : (static_cast<double>(raw) - r.minimum) * 100.0 / (static_cast<double>(r.maximum) - r.minimum);
    return 1;
}

int captureSetPropertyAuto(CaptureDevice* dev, const char* name, int on) {
    const int code = propertyCode(name);
    CaptureBackend* b = openBackend(dev);
    if (code < 0 || !b) return 0;
    if (isFlip(code)) {  // flips have no automatic mode: the call turns the flip over
        int32_t raw = 0;
        if (!b->getControl(code, raw)) return 0;
        return b->setControl(code, raw ? 0 : 1) ? 1 : 0;
    }
    CaptureBackend::ControlRange r;
    if (!b->controlRange(code, r)) return 0;
    if (on && r.hasAuto) return b->setControlAuto(code, true) ? 1 : 0;
    return b->setControl(code, r.defaultValue) ? 1 : 0;
}
