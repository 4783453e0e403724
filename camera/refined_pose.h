// The refined camera pose: from the eight sub-pixel target corners, an initial pose from their
// homography, then the pose that minimises the reprojection error (Levenberg-Marquardt over the
// rotation and the translation), for both poses a plane seen nearly head-on allows.
//
// Units and axes as everywhere (docs/conventions.md): R world to camera, row-major; T in
// millimetres; image points in pixels from the frame's middle (x right, y up the picture);
// f in pixels of the frame.
#pragma once

struct PlanarPose {
    double R[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
    double T[3] = {0, 0, 0};
    double rmsError = 0.0;  // reprojection error, pixels
    // Set by the choice between the candidates: another pose (the mirrored one), more than a few
    // degrees from this one, explains the points about as well, so the picture alone does not
    // tell which of the two the camera has.
    bool ambiguous = false;
};

// The rms distance (pixels) between the points (x, y), centred on the optical axis in pixels of
// focal length f, and where the pose puts the plane points (X, Y); infinite when a point lies
// behind the camera.
double planarReprojectionRms(int n, const double* X, const double* Y, const double* x, const double* y, double f,
                             const double R[9], const double T[3]);

// The pose a plane's homography (plane millimetres to pixels) implies for the camera of focal
// lengths fx, fy and principal point (cx, cy), in the pixels the homography maps to; the plane in
// front of the camera. False when the homography describes no such pose.
[[nodiscard]] bool poseFromHomography(const double h[9], double fx, double fy, double cx, double cy, PlanarPose& pose);

// Levenberg-Marquardt from `pose` (in place) over the reprojection error of n points.
void minimiseReprojection(int n, const double* X, const double* Y, const double* x, const double* y, double f,
                          PlanarPose& pose);

// The other pose a plane can take with nearly the same picture: its normal mirrored about the
// line of sight to the plane's origin. Near a head-on view the two are close in reprojection
// error and far apart in rotation; a solver started from one stays with it.
void mirroredPose(const PlanarPose& pose, PlanarPose& other);

// The whole solve: the pose from the homography and its mirrored pose, each minimised. Both are
// handed back, the better fit first (count 1 when the second has the plane behind the camera);
// which one the camera has is the tracker's choice (tracking/target_tracker.h), since only the
// frames before can tell two poses apart that explain the picture equally.
struct PlanarPoseCandidates {
    PlanarPose pose[2];
    int count = 0;
};
[[nodiscard]] bool planarPoseCandidates(int n, const double* X, const double* Y, const double* x, const double* y,
                                        double f, PlanarPoseCandidates& candidates);
