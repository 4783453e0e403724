// libFuzzer target: any text as a reference-point file, calibrated when it parses.
#include <cmath>
#include <cstdint>
#include <string>

#include "camera/calibration.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    ReferencePoints points;
    std::string error;
    if (!parsePointText(std::string(reinterpret_cast<const char*>(data), size), points, error)) return 0;
    double f = 0, T[3], R[9];
    if (calibrateCoplanar(points.count(), points.Xw.data(), points.Yw.data(), points.Xd.data(), points.Yd.data(), &f, T,
                          R) &&
        !(f > 0 && std::isfinite(f)))
        __builtin_trap();  // a calibration accepted that is no camera
    return 0;
}
