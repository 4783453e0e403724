// Calibration from the target itself, for a webcam that has no reference-point file: one view of
// the target, tilted, fixes the focal length as the one under which a pose explains the eight
// sub-pixel corners best (the reprojection error, minimised over the pose for each trial focal
// length, has a single minimum in f once the target is tilted enough for perspective to show).
// The result is written as a reference-point file, so that every later start uses it.
#pragma once

#include <string>

#include "camera/refined_pose.h"
#include "vision/target_finder.h"

// Below this tilt (degrees between the target's normal and the line of sight) the focal length
// is poorly determined: measured on the virtual camera, 1 to 2 % off at 10 to 20 degrees, within
// 0.3 % from 30 to 50 degrees.
constexpr double kMinCalibrationTiltDeg = 30.0;
constexpr double kMaxCalibrationTiltDeg = 65.0;

struct TargetCalibration {
    double focalLength = 0.0;  // pixels of the frame the corners were measured in
    double tiltDeg = 0.0;
    PlanarPose pose;
};

// Fits the focal length to one view's corners (pixel-centre coordinates of a width x height
// frame). False with a one-line reason when the view cannot calibrate (too little tilt, or no
// pose fits).
[[nodiscard]] bool calibrateFromCorners(const TargetCorners& corners, int width, int height, TargetCalibration& result,
                          std::string& why);

// Writes a reference-point file for the calibration: a 7 x 5 grid of points over the target's
// extent, with the image positions the fitted camera gives them in the 320-pixel-wide reference
// picture (docs/conventions.md, "Centring"). False with the reason when it cannot be written.
[[nodiscard]] bool writeReferencePoints(const std::string& path, const TargetCalibration& calibration, int width,
                          std::string& error);
