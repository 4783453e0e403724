#include "camera/target_calibration.h"

#include "base/safe_save.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "camera/matrix.h"
#include "camera/pose.h"
#include "vision/target_model.h"

namespace {

// The search runs over log f between these, to a relative precision far below what a view gives.
constexpr double kMinSearchFocal = 50.0, kMaxSearchFocal = 20000.0;
constexpr int kSearchSteps = 70;

struct View {
    double X[8], Y[8], x[8], y[8];
};

double fitError(const View& v, double f, PlanarPose& pose) {
    PlanarPoseCandidates candidates;
    if (!planarPoseCandidates(8, v.X, v.Y, v.x, v.y, f, candidates)) return INFINITY;
    pose = candidates.pose[0];
    return pose.rmsError;
}

}  // namespace

bool calibrateFromCorners(const TargetCorners& corners, int width, int height, TargetCalibration& result,
                          std::string& why) {
    View v;
    for (int i = 0; i < 8; ++i) {
        v.X[i] = kTargetCornerMm[i][0], v.Y[i] = kTargetCornerMm[i][1];
        // From the picture's geometric centre, the ideal camera's optical centre (docs/conventions.md).
        v.x[i] = corners.xy[i][0] - (width - 1) / 2.0, v.y[i] = corners.xy[i][1] - (height - 1) / 2.0;
    }
    // Golden-section search on log f.
    const double g = (std::sqrt(5.0) - 1.0) / 2.0;
    double lo = std::log(kMinSearchFocal), hi = std::log(kMaxSearchFocal);
    double a = hi - g * (hi - lo), b = lo + g * (hi - lo);
    PlanarPose pose;
    double ea = fitError(v, std::exp(a), pose), eb = fitError(v, std::exp(b), pose);
    for (int i = 0; i < kSearchSteps; ++i) {
        if (ea < eb) {
            hi = b, b = a, eb = ea, a = hi - g * (hi - lo);
            ea = fitError(v, std::exp(a), pose);
        } else {
            lo = a, a = b, ea = eb, b = lo + g * (hi - lo);
            eb = fitError(v, std::exp(b), pose);
        }
    }
    const double f = std::exp(0.5 * (lo + hi));
    if (!std::isfinite(fitError(v, f, pose)) || f <= kMinSearchFocal * 1.01 || f >= kMaxSearchFocal * 0.99) {
        why = "no camera explains the target's corners in this view";
        return false;
    }
    const double tilt = std::acos(std::fabs(pose.R[8])) * 180.0 / M_PI;
    char text[160];
    if (tilt < kMinCalibrationTiltDeg || tilt > kMaxCalibrationTiltDeg) {
        std::snprintf(text, sizeof text,
                      "the target is seen at %.0f degrees; hold it tilted %.0f to %.0f degrees away from facing the "
                      "camera and try again",
                      tilt, kMinCalibrationTiltDeg, kMaxCalibrationTiltDeg);
        why = text;
        return false;
    }
    result.focalLength = f;
    result.tiltDeg = tilt;
    result.pose = pose;
    return true;
}

bool writeReferencePoints(const std::string& path, const TargetCalibration& c, int width, std::string& error) {
    // Image positions scale with the picture's width (docs/conventions.md, "Units").
    const double scale = static_cast<double>(kReferenceFrameWidth) / width, f = c.focalLength * scale;
    const double* R = c.pose.R;
    const double* T = c.pose.T;
    std::string text = "35\n";
    for (int i = 0; i < 5; ++i)
        for (int j = 0; j < 7; ++j) {
            const double X = -90.0 + 30.0 * j, Y = -75.0 + 37.5 * i;
            double P[3];
            planePointToCamera(R, T, X, Y, P);
            // Measured from column 160 and row 120, half a pixel past the optical centre.
            char line[128];
            std::snprintf(line, sizeof line, "%.1f %.1f %.4f %.4f\n", X, Y, f * P[0] / P[2] - kReferenceCentreShift,
                          f * P[1] / P[2] - kReferenceCentreShift);
            text += line;
        }
    return saveFileSafely(path, text, error);
}
