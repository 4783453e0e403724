// The refined camera pose: from the eight sub-pixel target corners, an initial pose from their
// homography, then the pose that minimises the reprojection error (Levenberg-Marquardt over the
// rotation and the translation), chosen between the two poses a plane seen nearly head-on
// allows by their reprojection error and by continuity with the previous frame.
//
// Units and axes as everywhere (docs/conventions.md): R world to camera, row-major; T in
// millimetres; image points in pixels from the frame's middle (x right, y up the picture);
// f in pixels of the frame.
#pragma once

struct PlanarPose {
    double R[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
    double T[3] = {0, 0, 0};
    double rmsError = 0.0;  // reprojection error, pixels
    // Another pose (the mirrored one), more than a few degrees from this one, explains the
    // points about as well: the picture alone does not tell which of the two the camera has.
    bool ambiguous = false;
};

// The pose a homography implies for focal length f (the plane in front of the camera).
[[nodiscard]] bool poseFromHomography(const double h[9], double f, PlanarPose& pose);

// Levenberg-Marquardt from `pose` (in place) over the reprojection error of n points.
void minimiseReprojection(int n, const double* X, const double* Y, const double* x, const double* y, double f,
                          PlanarPose& pose);

// The other pose a plane can take with nearly the same picture: its normal mirrored about the
// line of sight to the plane's origin. Near a head-on view the two are close in reprojection
// error and far apart in rotation; a solver started from one stays with it.
void mirroredPose(const PlanarPose& pose, PlanarPose& other);

// The whole solve. `previous` (may be null) is the last frame's pose: when both candidate poses
// explain the points about equally well, the one nearer to it is kept, so the pose never flips.
[[nodiscard]] bool solvePlanarPose(int n, const double* X, const double* Y, const double* x, const double* y, double f,
                     const PlanarPose* previous, PlanarPose& pose);
