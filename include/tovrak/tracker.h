// The tracker: frames of a camera in, the camera's pose on the printed target out.
//
//     tovrak::Tracker tracker(tovrak::Camera::fromFile("camera.yaml").value());
//     tovrak::Result<tovrak::TargetPose> pose = tracker.track(frame);
//     if (pose && pose->found) use(pose->rotation, pose->translation);
//
// Each frame runs the workbench's target chain (smoothing, grey, Sobel edges at a threshold that
// adapts to the light, the outlines), finds the two nested rectangles, refines their eight
// corners to sub-pixel places and solves the pose that best explains them; where the outlines do
// not show the target, it is looked for near the last pose and then in the picture itself. A
// pose is given only when it explains its corners: none is better than a wrong one. Successive
// poses are smoothed by a Kalman filter (TrackerOptions::filter).
//
// Axes and units (docs/conventions.md): the target's frame has its origin at the middle of the
// dark rectangle, X along its long side, Y towards the sheet's far edge, Z into the table (the
// camera sees it from Z < 0), millimetres. `rotation` (row-major) and `translation` take a point
// of the target's frame to the camera's frame: Pc = R Pw + T, with the camera's x to the right of
// the picture, y up the picture and z forward. toOpenCV gives the same pose in OpenCV's axes.
//
// A Tracker keeps its state between frames (the last pose, the filter, the edge threshold) and
// its work buffers; one tracker serves one thread. Copying is not allowed; moving is.
#pragma once

#include <memory>

#include "tovrak/camera.h"
#include "tovrak/export.h"
#include "tovrak/image.h"

namespace tovrak {

enum class TrackingState { NeverSeen, Tracking, Coasting, Lost };
// Where a frame's pose was found.
enum class PoseSource { None, Outlines, NearLastPose, PictureSearch };

struct TOVRAK_API TargetPose {
    bool found = false;  // a new pose this frame; the fields below hold it (else the last one)
    double rotation[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};  // target to camera, row-major
    double translation[3] = {0, 0, 0};                 // millimetres
    // The pose as measured from this frame, before the filter.
    double measuredRotation[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
    double measuredTranslation[3] = {0, 0, 0};
    // The target's eight corners in the frame's pixels (x right, y down the rows as the frame
    // gives them, pixel centres at whole numbers): the light rectangle's four, then the dark
    // one's, each counter-clockwise on the target from (+X, +Y). With the target partly out of the
    // picture, the dark rectangle's corners past its edge are where the pose puts them.
    double corners[8][2] = {};
    double reprojectionErrorPx = 0;  // rms distance of the corners from where the pose puts them
    PoseSource source = PoseSource::None;
    TrackingState state = TrackingState::NeverSeen;

    // The same pose in OpenCV's axes (image y down, target y towards the sheet's near edge): a
    // rotation vector and a translation for cv::drawFrameAxes and cv::projectPoints.
    void toOpenCV(double rvec[3], double tvec[3]) const;
};

// The pose filter's tunables (docs/accuracy.md measured the defaults): variances of a measured
// angle (rad^2) and translation (mm^2), and of a frame's change of the angular (rad^2) and linear
// (mm^2) rates.
struct FilterParameters {
    double angleMeasurementVariance = 4e-6;
    double translationMeasurementVariance = 0.25;
    double angleProcessVariance = 2e-6;
    double translationProcessVariance = 0.5;
};

struct TrackerOptions {
    bool adaptiveEdges = true;  // false: the Sobel step's fixed threshold 240
    bool filter = true;         // false: each frame's measured pose as it is
    FilterParameters filterParameters;
};

class TOVRAK_API Tracker {
public:
    explicit Tracker(const Camera& camera, const TrackerOptions& options = {});
    ~Tracker();
    Tracker(Tracker&&) noexcept;
    Tracker& operator=(Tracker&&) noexcept;
    Tracker(const Tracker&) = delete;
    Tracker& operator=(const Tracker&) = delete;

    // One frame of the camera, of any size (the camera is scaled to it). The error says why a
    // frame cannot be read, or why the camera cannot be used; a frame without the target is a
    // pose with `found` false.
    Result<TargetPose> track(const ImageView& frame);
    // Forgets the target: the next pose starts the filter afresh.
    void reset();
    // A rolling shutter: the camera reads its rows over `share` of the frame interval (0 to 1, the
    // picture's top row first), and a moving camera's frames show the target sheared, which the
    // tracker then undoes. 0, the default, is a global shutter; most webcams read over 0.6 to 1.
    void setRowReadOut(double share);
    const Camera& camera() const;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace tovrak
