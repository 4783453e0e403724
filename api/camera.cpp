#include "tovrak/camera.h"

#include <cmath>

#include "api/convert.h"
#include "camera/camera_file.h"

namespace tovrak {

Camera Camera::ideal(double f, int width, int height) { return fromIntrinsics(idealCamera(f, width, height)); }

Result<Camera> Camera::fromFile(const std::string& path) {
    CameraIntrinsics c;
    std::string error;
    if (!readCameraFile(path, c, error)) return Result<Camera>::failure(path + ": " + error);
    return fromIntrinsics(c);
}

// OpenCV counts rows from the top and its y runs down: cy and p1 change with the axis
// (camera/camera_intrinsics.h).
Camera Camera::fromOpenCV(const double K[9], const double* d, int count, int width, int height) {
    Camera c;
    c.width = width, c.height = height;
    c.fx = K[0], c.fy = K[4], c.cx = K[2], c.cy = (height - 1) - K[5];
    auto at = [&](int i) { return d && i < count ? d[i] : 0.0; };
    c.k1 = at(0), c.k2 = at(1), c.p1 = -at(2), c.p2 = at(3), c.k3 = at(4);
    return c;
}

void Camera::toOpenCV(double K[9], double d[5]) const {
    const double k[9] = {fx, 0, cx, 0, fy, (height - 1) - cy, 0, 0, 1};
    for (int i = 0; i < 9; ++i) K[i] = k[i];
    d[0] = k1, d[1] = k2, d[2] = -p1, d[3] = p2, d[4] = k3;
}

bool Camera::save(const std::string& path, std::string* error) const {
    std::string why = check();
    if (why.empty() && writeCameraFile(path, toIntrinsics(*this), 0.0, why)) return true;
    if (error) *error = why;
    return false;
}

std::string Camera::check() const {
    const double all[] = {fx, fy, cx, cy, k1, k2, p1, p2, k3};
    for (double v : all)
        if (!std::isfinite(v)) return "the camera has a number that is not finite";
    if (width < 16 || height < 16) return "the camera's picture size is missing or too small";
    if (!(fx > 0 && fy > 0)) return "the camera's focal length is not positive";
    return cameraProblem(toIntrinsics(*this));
}

}  // namespace tovrak
