#include "capture/virtual_scene.h"

#include <cmath>

#include "camera/camera_intrinsics.h"

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kDeg = kPi / 180.0;
constexpr double kPathFps = 30.0;

void normalise(double v[3]) {
    const double n = std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
    for (int i = 0; i < 3; ++i) v[i] /= n;
}

void cross(const double a[3], const double b[3], double out[3]) {
    out[0] = a[1] * b[2] - a[2] * b[1];
    out[1] = a[2] * b[0] - a[0] * b[2];
    out[2] = a[0] * b[1] - a[1] * b[0];
}

double wave(double t, double period, double phase) { return std::sin(2.0 * kPi * t / period + phase); }

}  // namespace

std::array<std::array<double, 2>, 10> targetModelPoints() {
    const double cxIn = 0.5 * (kTargetInnerMinX + kTargetInnerMaxX);
    const double cyIn = 0.5 * (kTargetInnerMinY + kTargetInnerMaxY);
    return {{{kTargetInnerMaxX, kTargetInnerMaxY},
             {kTargetInnerMinX, kTargetInnerMaxY},
             {kTargetInnerMinX, kTargetInnerMinY},
             {kTargetInnerMaxX, kTargetInnerMinY},
             {cxIn, cyIn},
             {kTargetOuterHalfX, kTargetOuterHalfY},
             {-kTargetOuterHalfX, kTargetOuterHalfY},
             {-kTargetOuterHalfX, -kTargetOuterHalfY},
             {kTargetOuterHalfX, -kTargetOuterHalfY},
             {0.0, 0.0}}};
}

double virtualFocalLength(int width) { return 330.0 * width / 320.0; }

CameraPose lookAtPose(double lookX, double lookY, double distance, double tiltDeg,
                      double azimuthDeg, double rollDeg) {
    const double tilt = tiltDeg * kDeg, az = azimuthDeg * kDeg, roll = rollDeg * kDeg;
    // Azimuth 0 puts the camera on the target's -y side, looking towards +y.
    const double centre[3] = {lookX + distance * std::sin(tilt) * std::sin(az),
                              lookY - distance * std::sin(tilt) * std::cos(az),
                              -distance * std::cos(tilt)};
    double zc[3] = {lookX - centre[0], lookY - centre[1], -centre[2]};
    normalise(zc);
    // The picture's up is the far side of the table, as when a person looks at a target lying
    // in front of them: things standing on it stand up in the picture. With no tilt and no roll
    // the camera axes are the world axes (R = identity).
    const double up[3] = {-std::sin(az), std::cos(az), 0.0};
    double xc[3], yc[3];
    cross(up, zc, xc);
    normalise(xc);
    cross(zc, xc, yc);
    const double c = std::cos(roll), s = std::sin(roll);
    CameraPose pose;
    for (int i = 0; i < 3; ++i) {
        pose.R[i] = c * xc[i] + s * yc[i];
        pose.R[3 + i] = -s * xc[i] + c * yc[i];
        pose.R[6 + i] = zc[i];
    }
    for (int r = 0; r < 3; ++r) {
        pose.T[r] = -(pose.R[3 * r] * centre[0] + pose.R[3 * r + 1] * centre[1] +
                      pose.R[3 * r + 2] * centre[2]);
    }
    return pose;
}

CameraPose pathPose(VirtualPath path, double frame) {
    // Sums of slow sines with unrelated periods: never repeating exactly within a session and
    // never jerking.
    const double t = frame / kPathFps;
    const bool far = path == VirtualPath::Far, steep = path == VirtualPath::Steep;
    const double distance = far ? 1850.0 + 650.0 * wave(t, 8.0, 0.0) : 470.0 + 100.0 * wave(t, 8.0, 0.0);
    const double tilt = steep ? 65.0 + 10.0 * wave(t, 7.0, 1.0) : 22.0 + 15.0 * wave(t, 7.0, 1.0);
    const double lookX = 35.0 * wave(t, 5.5, 0.3);
    const double lookY = 25.0 * wave(t, 6.5, 2.0);
    if (path == VirtualPath::Upright) return lookAtPose(lookX, lookY, distance, tilt, 0.0, 1.5 * wave(t, 10.0, 0.5));
    const double azimuth = 360.0 * t / 16.0;
    const double roll = 15.0 * wave(t, 10.0, 0.5);
    return lookAtPose(lookX, lookY, distance, tilt, azimuth, roll);
}

bool projectPoint(const CameraPose& p, double f, int width, int height, double X, double Y,
                  double& col, double& row) {
    // Pixel-centre coordinates; the optical axis meets the picture at its geometric centre
    // (docs/conventions.md, "Centring").
    return projectToIdealPixel(idealCamera(f, width, height), p.R, p.T, X, Y, col, row);
}

