#include <cmath>
#include <cstring>

#include "camera/corner_refinement.h"
#include "camera/matrix.h"
#include "camera/pose.h"
#include "vision/target_model.h"
#include "vision/tracker.h"

namespace {

// After this many passes without a pose the filter's velocity is stale: start it afresh; and
// as long as the last pose is this recent, the target is looked for where it put it.
constexpr int kRestartFilterAfter = 10;
// Refined corners fit the solved pose to a few hundredths of a pixel on a clear picture and to
// a few tenths through blur, noise and compression; a pose whose corners miss it by more is of
// a wrong pairing of corners, and none is better.
constexpr double kMaxRmsPx = 1.5;
// Corners read from edges smeared by motion lie off where the exposure's middle had them by
// amounts the fit does not show in full (all sides move together): such a pose is kept only
// when it fits closely.
constexpr double kMaxSmearedRmsPx = 0.4;
// A hand-held camera turns a few degrees a frame. When the picture allows two poses, one this
// far from the last pose, a frame or two later, is the mistaken one of the two. A pose the
// picture settles is taken however far it turned: a cut in a clip, or frames of unrelated
// views.
constexpr double kMaxTurnDegPerPass = 20.0;

bool recent(const CameraModel& model) {
    return model.passesSinceMeasured >= 0 && model.passesSinceMeasured <= kRestartFilterAfter;
}

// The camera of this frame: the calibrated one scaled to it, or, for a frame it was not scaled to,
// the ideal camera with the Tracker's focal length.
CameraIntrinsics cameraFor(const Tracker& t, const CameraModel& model) {
    const CameraIntrinsics& c = model.frameCamera;
    if (c.width == t.width && c.height == t.height && c.fx > 0) return c;
    return idealCamera(t.focalLength, t.width, t.height);
}

// Refines rough corners (`raw`: as the raw frame shows them, else in the undistorted picture)
// and solves the pose, kept only when it explains the corners and goes on from the last pose.
// With a distorting camera (and no lens tables) the refinement works in the undistorted picture,
// read through the lens, so that the sides it fits are straight.
bool measure(const Tracker& t, CameraModel& model, const LensParameters* lens, TargetCorners corners, bool raw,
             TargetMeasurement& out) {
    const CameraIntrinsics camera = cameraFor(t, model);
    RawView view{lens, !lens && camera.distorted() ? &camera : nullptr};
    if (raw && view.camera)
        for (auto& p : corners.xy) view.toIdeal(p[0], p[1], p[0], p[1]);
    // A side that shows too little edge to refine gives no pose: the whole-pixel corners would
    // put the model degrees off, and the filter holds the last pose better.
    bool smeared = false;
    if (!refineTargetCorners(t, lens || view.camera ? &view : nullptr, corners, &smeared)) return false;
    double X[8], Y[8], x[8], y[8];
    for (int i = 0; i < 8; ++i) {
        X[i] = kTargetCornerMm[i][0], Y[i] = kTargetCornerMm[i][1];
        // From the optical axis in pixels of fx (docs/conventions.md, "The camera"), so that the
        // pose is solved with one focal length and its errors stay in pixels.
        x[i] = corners.xy[i][0] - camera.cx;
        y[i] = (corners.xy[i][1] - camera.cy) * camera.fx / camera.fy;
    }
    // Where two poses explain the corners almost equally (a small target seen nearly head-on),
    // the one nearer the shown pose is taken: the filtered pose is steadier than the last
    // measured one, which may itself have been the wrong one of such a pair.
    PlanarPose shown = model.lastMeasured;
    if (model.hasPose) std::memcpy(shown.R, model.R, sizeof shown.R);
    PlanarPose pose;
    if (!solvePlanarPose(8, X, Y, x, y, camera.fx, recent(model) ? &shown : nullptr, pose)) return false;
    if (!finite(pose.R, 9) || !finite(pose.T, 3) || !(pose.rmsError <= (smeared ? kMaxSmearedRmsPx : kMaxRmsPx))) return false;
    if (pose.ambiguous && recent(model) &&
        rotationAngleBetween(pose.R, model.lastMeasured.R) > kMaxTurnDegPerPass * std::max(1, model.passesSinceMeasured))
        return false;
    out.corners = corners;
    out.pose = pose;
    return true;
}

// Where the last measured pose puts the eight corners in this frame, in the undistorted picture.
bool predictedCorners(const Tracker& t, const CameraModel& model, TargetCorners& corners) {
    const PlanarPose& p = model.lastMeasured;
    const CameraIntrinsics camera = cameraFor(t, model);
    for (int i = 0; i < 8; ++i) {
        const double X = kTargetCornerMm[i][0], Y = kTargetCornerMm[i][1];
        const double z = p.R[6] * X + p.R[7] * Y + p.T[2];
        if (!(z > 0)) return false;
        corners.xy[i][0] = camera.cx + camera.fx * (p.R[0] * X + p.R[1] * Y + p.T[0]) / z;
        corners.xy[i][1] = camera.cy + camera.fy * (p.R[3] * X + p.R[4] * Y + p.T[1]) / z;
    }
    return t.width > 0;
}

bool ready(const Tracker& t, const CameraModel& model) {
    return model.ready && model.poseFilter.started() && t.focalLength > 0.0f;
}

}  // namespace

void beginRefinedPass(CameraModel& model) {
    if (model.passesSinceMeasured >= 0) ++model.passesSinceMeasured;
}

bool measureFromOutlines(const Tracker& t, CameraModel& model, const LensParameters* lens, TargetMeasurement& m) {
    TargetCorners corners;
    return ready(t, model) && model.finder.find(t, corners) && measure(t, model, lens, corners, true, m);
}

bool measureElsewhere(const Tracker& t, CameraModel& model, const LensParameters* lens, TargetMeasurement& m) {
    if (!ready(t, model)) return false;
    TargetCorners corners;
    // A frame or two of heavy blur or a passing shadow: the target's edges are looked for where
    // the last pose left them.
    if (recent(model) && predictedCorners(t, model, corners) && measure(t, model, lens, corners, false, m)) return true;
    // The search of the whole picture is the costly part of a frame without the target: after a
    // search that found nothing, the next frame goes without one.
    if (model.skipPictureSearch) {
        model.skipPictureSearch = false;
        return false;
    }
    if (model.finder.findInPicture(t, corners) && measure(t, model, lens, corners, true, m)) return true;
    model.skipPictureSearch = true;
    return false;
}

bool acceptMeasurement(Tracker& t, CameraModel& model, const TargetMeasurement& m) {
    const bool wasRecent = recent(model);
    model.corners = m.corners;
    model.lastMeasured = m.pose;
    model.passesSinceMeasured = 0;
    std::memcpy(model.measuredR, m.pose.R, sizeof model.measuredR);
    std::memcpy(model.measuredT, m.pose.T, sizeof model.measuredT);
    double R[9], T[3];
    std::memcpy(R, m.pose.R, sizeof R);
    std::memcpy(T, m.pose.T, sizeof T);
    // The first pose, or the first after the target was lost: the filter starts there rather
    // than taking the jump from its old state for a velocity.
    if (!wasRecent) model.poseFilter.restart(R, T);
    else if (!model.poseFilter.update(R, T)) return false;
    return keepFilteredPose(t, model, R, T);
}

bool estimateRefinedPose(Tracker& t, CameraModel& model, const LensParameters* lens) {
    beginRefinedPass(model);
    TargetMeasurement m;
    if (!measureFromOutlines(t, model, lens, m) && !measureElsewhere(t, model, lens, m)) return false;
    return acceptMeasurement(t, model, m);
}
