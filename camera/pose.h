// The camera pose from the target points of each frame: a homography sampled on a grid,
// the coplanar extrinsic solve with the calibrated focal length, the pose filter, and the
// OpenGL matrices for drawing on the target.
//
// Inputs: the Tracker's eight target corners (buffer indices), centred as x = col - width / 2,
// y = row - height / 2 (pixels, y up the picture), paired with the target's corners in
// millimetres on its plane Zw = 0. Outputs: R (world to camera, row-major) and T (mm) in
// CameraModel, and the Tracker's modelview and projection (column-major, OpenGL's order).
// docs/conventions.md gives the axes and why the modelview negates some of R's terms.
#pragma once

#include <string>

#include "camera/camera_intrinsics.h"
#include "camera/pose_filter.h"
#include "camera/refined_pose.h"

class Tracker;
struct LensParameters;

constexpr int kGridSide = 8;
constexpr int kGridPoints = kGridSide * kGridSide;
constexpr int kMaxHomographyPoints = 12;
// Reference-point files give image positions in pixels of a 320 x 240 picture, measured from
// column 160 and row 120; the ideal camera's optical centre lies half a pixel before them, at
// (159.5, 119.5) (docs/conventions.md, "Centring").
constexpr int kReferenceFrameWidth = 320, kReferenceFrameHeight = 240;
constexpr double kReferenceCentreShift = 0.5;
// Focal lengths (pixels) a calibration may give and still describe a camera.
constexpr float kMinFocalLength = 1.0f, kMaxFocalLength = 1e6f;

// How the pose is measured each frame: from the sub-pixel target corners by minimising the
// reprojection error (the default), or by the homography grid and the coplanar solve.
enum class PoseMethod { Refined, Grid };

// The camera the pose is measured with, the pose filter and the pose shown: what the pose step
// keeps between frames. What the tracking keeps (the last measurement, the state) is the
// tracker's (tracking/target_tracker.h).
struct CameraModel {
    PoseMethod method = PoseMethod::Refined;
    PoseFilter poseFilter;
    bool ready = false;            // calibrated: the pose step can run
    std::string whyNotReady;       // one line for the user when it cannot
    double gridX[kGridPoints] = {}, gridY[kGridPoints] = {}, gridx[kGridPoints] = {}, gridy[kGridPoints] = {};
    // The filtered pose the matrices were last built from.
    double R[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
    double T[3] = {0, 0, 0};
    bool hasPose = false;
    // The camera as calibrated (for the frame size of its calibration: 320 x 240 for reference
    // points), and the same scaled to the frame being processed, whose fx is the Tracker's
    // focalLength. `cameraSource` says where it came from, for the console.
    CameraIntrinsics camera;
    CameraIntrinsics frameCamera;
    std::string cameraSource;
    // The last measured pose, before the filter: kept so that the filter's effect can be measured.
    double measuredR[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
    double measuredT[3] = {0, 0, 0};
    // Counts the cameras the model was given (useCamera): a tracker that followed the target
    // through another camera starts afresh.
    int cameraChanges = 0;
    // The share of the frame interval over which the camera reads its rows, the picture's top row
    // first (0: a global shutter); the tracker undoes the shear a moving camera then shows.
    double rowReadOut = 0.0;

    CameraModel() = default;
    CameraModel(const CameraModel&) = delete;
    CameraModel& operator=(const CameraModel&) = delete;
};

// Reads the reference points, calibrates (an ideal camera with the points' focal length), stores
// the focal length in the Tracker (scaled to its frame width when that is known) and seeds the
// pose filter. On failure the model stays not ready, with the reason naming the file.
[[nodiscard]] bool calibrateCamera(Tracker& tracker, CameraModel& model, const std::string& pointFile);

// One frame: answers true when a new pose was computed and the Tracker's modelview and
// projection were rewritten; false leaves them as they were.
bool estimatePose(Tracker& tracker, CameraModel& model);

// The filtered pose becomes the model's and the display's (false, changing nothing, when it is
// not a number).
bool keepFilteredPose(Tracker& tracker, CameraModel& model, const double R[9], const double T[3]);
bool finite(const double* v, int n);

// Scales the calibrated camera to the Tracker's current frame size (frameCamera) and sets the
// Tracker's focalLength to its fx: a webcam delivers its other sizes from the same optics, so
// the focal lengths scale with the size (docs/conventions.md, "Units"). Called when the frame
// size is first known or changes; the pose step reads them as they stand.
void scaleCameraToFrame(Tracker& tracker, CameraModel& model);
// Makes `camera` the model's camera (from a camera file, or a calibration), ready for the pose:
// scaled to the Tracker's frame, the pose filter started at rest.
void useCamera(Tracker& tracker, CameraModel& model, const CameraIntrinsics& camera, const std::string& source);

// The OpenGL matrices that draw on the target from a camera pose (R world to camera, T in
// millimetres) for a frame of width x height pixels seen with focal length f in those pixels.
// The viewport they are meant for shows the whole frame, at any scale.
void buildDisplayMatrices(const double R[9], const double T[3], double f, int width, int height, double modelview[16],
                          double projection[16]);
// The same through a calibrated camera: the frustum follows fx, fy and the principal point
// (for the ideal camera it is the symmetric one above).
void buildCameraMatrices(const double R[9], const double T[3], const CameraIntrinsics& camera, double modelview[16],
                         double projection[16]);

[[nodiscard]] int fitHomography(double h[9], int n, const double* X, const double* Y, const double* x, const double* y);
[[nodiscard]] int synthesizeGrid(int n, const double* X, const double* Y, const double* x, const double* y, int nx, int ny,
                   double* gridX, double* gridY, double* gridx, double* gridy);
[[nodiscard]] int solveExtrinsic(int n, const double* X, const double* Y, const double* x, const double* y, double f, double T[3],
                   double R[9]);
[[nodiscard]] int solveTz(int n, const double* X, const double* Y, const double* x, const double* y, double f, double T[3],
            const double R[9]);
void buildModelview(const double T[3], const double R[9], double out[16]);
void buildProjection(double f, double nearPlane, double farPlane, double width, double height, double out[16]);
