#include "camera/camera_intrinsics.h"

#include <cmath>

#include "camera/matrix.h"

CameraIntrinsics idealCamera(double f, int width, int height) {
    CameraIntrinsics c;
    c.width = width, c.height = height;
    c.fx = c.fy = f;
    // The picture spans pixel centres 0 .. w - 1: its middle is half a pixel before w / 2.
    c.cx = (width - 1) / 2.0, c.cy = (height - 1) / 2.0;
    return c;
}

CameraIntrinsics scaledCamera(const CameraIntrinsics& c, int width, int height) {
    if (c.width <= 0 || c.height <= 0 || (width == c.width && height == c.height)) return c;
    // A webcam's sizes come from the same sensor, scaled by the width; a frame of another shape
    // is the middle band of the scaled picture (1280 x 720 from a 4:3 sensor crops its top and
    // bottom), so rows shift by half the difference.
    CameraIntrinsics s = c;
    const double scale = static_cast<double>(width) / c.width;
    s.width = width, s.height = height;
    s.fx = c.fx * scale, s.fy = c.fy * scale;
    s.cx = (c.cx + 0.5) * scale - 0.5;
    s.cy = (c.cy + 0.5) * scale - 0.5 - (c.height * scale - height) / 2.0;
    return s;
}

void distortNormalised(const CameraIntrinsics& c, double x, double y, double& xd, double& yd) {
    const double r2 = x * x + y * y;
    const double radial = 1 + r2 * (c.k1 + r2 * (c.k2 + r2 * c.k3));
    xd = x * radial + 2 * c.p1 * x * y + c.p2 * (r2 + 2 * x * x);
    yd = y * radial + c.p1 * (r2 + 2 * y * y) + 2 * c.p2 * x * y;
}

void undistortPixel(const CameraIntrinsics& c, double u, double v, double& x, double& y) {
    const double xd = (u - c.cx) / c.fx, yd = (v - c.cy) / c.fy;
    x = xd, y = yd;
    if (!c.distorted()) return;
    // x = (xd - tangential(x, y)) / radial(x, y), iterated: each step shrinks the error by about
    // the distortion's own size, far below 1 for a webcam.
    for (int i = 0; i < 20; ++i) {
        const double r2 = x * x + y * y;
        const double radial = 1 + r2 * (c.k1 + r2 * (c.k2 + r2 * c.k3));
        const double tx = 2 * c.p1 * x * y + c.p2 * (r2 + 2 * x * x), ty = c.p1 * (r2 + 2 * y * y) + 2 * c.p2 * x * y;
        x = (xd - tx) / radial, y = (yd - ty) / radial;
    }
}

bool projectToPixel(const CameraIntrinsics& c, double X, double Y, double Z, double& u, double& v) {
    if (!(Z > 1e-9)) return false;
    double xd, yd;
    distortNormalised(c, X / Z, Y / Z, xd, yd);
    u = c.cx + c.fx * xd, v = c.cy + c.fy * yd;
    return true;
}

bool projectToIdealPixel(const CameraIntrinsics& c, const double R[9], const double T[3], double X, double Y, double& u,
                         double& v) {
    double P[3];
    planePointToCamera(R, T, X, Y, P);
    if (!(P[2] > 0)) return false;
    u = c.cx + c.fx * P[0] / P[2], v = c.cy + c.fy * P[1] / P[2];
    return true;
}

std::string cameraProblem(const CameraIntrinsics& c) {
    const double all[] = {c.fx, c.fy, c.cx, c.cy, c.k1, c.k2, c.p1, c.p2, c.k3};
    for (double v : all)
        if (!std::isfinite(v)) return "a number is not finite";
    if (c.width <= 0 || c.height <= 0) return "it gives no picture size";
    for (double f : {c.fx, c.fy})
        if (!(f >= 0.1 * c.width && f <= 20.0 * c.width))
            return "its focal length " + std::to_string(f) + " px is outside 0.1 to 20 times the picture's width";
    if (c.cx < -0.5 || c.cx > c.width - 0.5 || c.cy < -0.5 || c.cy > c.height - 0.5)
        return "its principal point lies outside the picture";
    // Along the way to each corner of the picture, the distorted point must move outwards at every
    // step: 200 steps from the axis to the corner, in normalised coordinates.
    const double corners[4][2] = {{-0.5, -0.5}, {c.width - 0.5, -0.5}, {-0.5, c.height - 0.5}, {c.width - 0.5, c.height - 0.5}};
    for (const auto& corner : corners) {
        const double x = (corner[0] - c.cx) / c.fx, y = (corner[1] - c.cy) / c.fy;
        double last = 0;
        for (int i = 1; i <= 200; ++i) {
            double xd, yd;
            distortNormalised(c, x * i / 200, y * i / 200, xd, yd);
            const double r = std::hypot(xd, yd);
            if (!(r > last)) return "its lens distortion folds the picture back on itself before the corners";
            last = r;
        }
        // Webcam lenses, wide ones too, move the corners by tens of per cent, not by factors.
        const double ratio = last / std::hypot(x, y);
        if (!(ratio > 1.0 / 3 && ratio < 3)) return "its lens distortion moves the picture's corners " +
                                                    std::to_string(ratio) + " times as far out";
    }
    return {};
}

bool isIdealCamera(const CameraIntrinsics& c) {
    return !c.distorted() && c.fx == c.fy && c.cx == (c.width - 1) / 2.0 && c.cy == (c.height - 1) / 2.0;
}

std::string frameProblem(const CameraIntrinsics& c, int width, int height) {
    if (width <= 0 || height <= 0 || c.width <= 0 || isIdealCamera(c)) return {};
    // The camera's picture scaled to the frame's width is c.height * width / c.width tall; the
    // frame may be that or a middle band of it (a tolerance of a pixel for rounding).
    if (static_cast<double>(height) > static_cast<double>(c.height) * width / c.width + 1.0)
        return "it is for " + std::to_string(c.width) + " x " + std::to_string(c.height) + " pictures, and " +
               std::to_string(width) + " x " + std::to_string(height) + " frames are taller than any part of them";
    return {};
}
