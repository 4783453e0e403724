// The camera from several views of the printed target: focal lengths, principal point and lens
// distortion fitted, together with every view's pose, to the target as the refinement found it
// (Zhang's method from the corners for the start, then Levenberg-Marquardt, with Eigen's dense
// solver, over the distances of the places found along the sides from the sides' images). The
// places along the sides, not the corners, carry the fit: a corner is where two straight lines
// fitted to a side meet, and a distorting lens bends the sides, while each place is where the
// edge really is. No chessboard: the one target, seen from different sides and angles, is enough.
//
// Pixels as everywhere (docs/conventions.md): pixel-centre coordinates, rows bottom-up.
#pragma once

#include <string>
#include <vector>

#include "camera/camera_intrinsics.h"
#include "camera/corner_refinement.h"

struct CalibrationView {
    double xy[8][2];  // the target's corners in the order of kTargetCornerMm, as seen (distorted)
    TargetEdges edges{};  // where its sides' edges were found, as seen (none: count 0)
};

struct ViewCalibration {
    CameraIntrinsics camera;
    double rmsPx = 0;  // reprojection error over all views: of the places along the sides (or the corners)
    int views = 0;
};

// At least this many views, different enough, are needed (each fixes two of the camera's
// numbers; the distortion and the principal point want more).
constexpr int kMinCalibrationViews = 6;

// Fits the camera of width x height frames to the views: one focal length (square pixels), the
// principal point, and, with `distortion`, k1, k2, p1 and p2 (k3 stays 0). False with a one-line reason when the views cannot fix a camera (too few,
// too alike, or no fit).
[[nodiscard]] bool calibrateFromViews(const std::vector<CalibrationView>& views, int width, int height, bool distortion,
                                      ViewCalibration& result, std::string& why);

// Whether a view adds to the ones taken: its corners lie elsewhere in the picture or the target
// is turned or tilted otherwise (more than `minShiftPx` for some corner).
bool differentView(const std::vector<CalibrationView>& taken, const CalibrationView& view, double minShiftPx);

// How much of the picture the views' targets have covered, 0 to 1 (a 4 x 4 grid of cells, a cell
// counting when a target's corner fell in it).
double viewCoverage(const std::vector<CalibrationView>& views, int width, int height);
