// libFuzzer target: any text as a camera file; a camera it accepts must be one (the checks the
// program relies on when it scales the camera and reads the picture through its lens).
#include <cmath>
#include <cstdint>
#include <string>

#include "camera/camera_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    CameraIntrinsics camera;
    std::string error;
    if (!parseCameraText(std::string(reinterpret_cast<const char*>(data), size), camera, error)) {
        if (error.empty() || error.find('\n') != std::string::npos) __builtin_trap();  // one line, always
        return 0;
    }
    if (!cameraProblem(camera).empty()) __builtin_trap();  // accepted numbers that are no camera
    double u = 0, v = 0, x = 0, y = 0;
    if (projectToPixel(camera, 0.1, -0.1, 1.0, u, v)) undistortPixel(camera, u, v, x, y);
    const CameraIntrinsics scaled = scaledCamera(camera, 640, 480);
    if (!(std::isfinite(scaled.fx) && std::isfinite(u) && std::isfinite(x))) __builtin_trap();
    return 0;
}
