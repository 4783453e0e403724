#include "tracking/target_tracker.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "camera/corner_refinement.h"
#include "camera/lens.h"
#include "camera/matrix.h"
#include "vision/target_model.h"
#include "vision/tracker.h"

namespace {

// The camera of this frame: the calibrated one scaled to it, or, for a frame it was not scaled to,
// the ideal camera with the Tracker's focal length.
CameraIntrinsics cameraFor(const Tracker& t, const CameraModel& model) {
    const CameraIntrinsics& c = model.frameCamera;
    if (c.width == t.width && c.height == t.height && c.fx > 0) return c;
    return idealCamera(t.focalLength, t.width, t.height);
}

bool ready(const Tracker& t, const CameraModel& model) {
    return model.ready && model.poseFilter.started() && t.focalLength > 0.0f;
}

// Where `pose` puts the eight corners in this frame, in the undistorted picture.
bool predictedCorners(const Tracker& t, const CameraIntrinsics& camera, const PlanarPose& pose, TargetCorners& corners) {
    for (int i = 0; i < 8; ++i)
        if (!projectToIdealPixel(camera, pose.R, pose.T, kTargetCornerMm[i][0], kTargetCornerMm[i][1], corners.xy[i][0],
                                 corners.xy[i][1]))
            return false;
    return t.width > 0;
}

}  // namespace

PlanarPose choosePlanarPose(const PlanarPoseCandidates& c, const PlanarPose* previous, const TrackingParameters& p) {
    const PlanarPose* best = &c.pose[0];
    const PlanarPose* other = c.count > 1 ? &c.pose[1] : nullptr;
    const bool ambiguous = other && std::isfinite(other->rmsError) &&
                           other->rmsError < best->rmsError * p.ambiguityRatio + p.ambiguityPixels;
    if (previous && ambiguous) {
        // Both explain the picture: keep the one whose rotation is nearer the previous one (the
        // larger trace of R Rprev', the smaller the angle between them).
        auto trace = [&](const PlanarPose& q) {
            double sum = 0.0;
            for (int i = 0; i < 9; ++i) sum += q.R[i] * previous->R[i];
            return sum;
        };
        if (trace(*other) > trace(*best)) std::swap(best, other);
    }
    PlanarPose chosen = *best;
    chosen.ambiguous = ambiguous && rotationAngleBetween(c.pose[0].R, c.pose[1].R) > p.ambiguityDeg;
    return chosen;
}

TargetTracker::TargetTracker(const TrackingParameters& tracking, const EdgeLadderParameters& edges)
    : p_(tracking), ladder_(edges) {}

void TargetTracker::forget() {
    state_ = TrackingState::NeverSeen;
    passes_ = -1;
    skipPictureSearch_ = false;
}

void TargetTracker::beginPass(const CameraModel& camera) {
    if (camera.cameraChanges != cameraChanges_) {
        forget();
        cameraChanges_ = camera.cameraChanges;
    }
    source_ = PoseSource::None;
    if (state_ == TrackingState::NeverSeen || state_ == TrackingState::Lost) return;
    ++passes_;
    state_ = passes_ <= p_.coastPasses ? TrackingState::Coasting : TrackingState::Lost;
}

// Refines rough corners (`raw`: as the raw frame shows them, else in the undistorted picture)
// and solves the pose, kept only when it explains the corners and goes on from the last pose.
// With a distorting camera (and no lens tables) the refinement works in the undistorted picture,
// read through the lens, so that the sides it fits are straight.
bool TargetTracker::measure(const Tracker& t, const CameraModel& model, const LensParameters* lens,
                            TargetCorners corners, bool raw, TargetMeasurement& out) const {
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
    PlanarPoseCandidates candidates;
    if (!planarPoseCandidates(8, X, Y, x, y, camera.fx, candidates)) return false;
    // Of two poses that explain the corners almost equally (a small target seen nearly head-on),
    // the one nearer the shown pose: the filtered pose is steadier than the last measured one,
    // which may itself have been the wrong one of such a pair.
    PlanarPose shown = last_.pose;
    if (model.hasPose) std::memcpy(shown.R, model.R, sizeof shown.R);
    const PlanarPose pose = choosePlanarPose(candidates, recent() ? &shown : nullptr, p_);
    if (!finite(pose.R, 9) || !finite(pose.T, 3) || !(pose.rmsError <= (smeared ? p_.maxSmearedRmsPx : p_.maxRmsPx)))
        return false;
    if (pose.ambiguous && recent() &&
        rotationAngleBetween(pose.R, last_.pose.R) > p_.maxTurnDegPerPass * std::max(1, passes_))
        return false;
    out.corners = corners;
    out.pose = pose;
    return true;
}

bool TargetTracker::measureFromOutlines(const Tracker& t, const CameraModel& camera, const LensParameters* lens,
                                        TargetMeasurement& m) {
    TargetCorners corners;
    if (!ready(t, camera) || !finder_.find(t, corners) || !measure(t, camera, lens, corners, true, m)) return false;
    source_ = PoseSource::Outlines;
    return true;
}

bool TargetTracker::measureElsewhere(const Tracker& t, const CameraModel& camera, const LensParameters* lens,
                                     TargetMeasurement& m) {
    if (!ready(t, camera)) return false;
    TargetCorners corners;
    // A frame or two of heavy blur or a passing shadow: the target's edges are looked for where
    // the last pose left them.
    if (recent() && predictedCorners(t, cameraFor(t, camera), last_.pose, corners) &&
        measure(t, camera, lens, corners, false, m)) {
        source_ = PoseSource::NearLastPose;
        return true;
    }
    // The search of the whole picture is the costly part of a frame without the target: after a
    // search that found nothing, the next frame goes without one.
    if (skipPictureSearch_) {
        skipPictureSearch_ = false;
        return false;
    }
    if (finder_.findInPicture(t, corners) && measure(t, camera, lens, corners, true, m)) {
        source_ = PoseSource::PictureSearch;
        return true;
    }
    skipPictureSearch_ = true;
    return false;
}

bool TargetTracker::accept(Tracker& t, CameraModel& camera, const TargetMeasurement& m) {
    const bool wasRecent = recent();
    last_ = m;
    passes_ = 0;
    state_ = TrackingState::Tracking;
    std::memcpy(camera.measuredR, m.pose.R, sizeof camera.measuredR);
    std::memcpy(camera.measuredT, m.pose.T, sizeof camera.measuredT);
    double R[9], T[3];
    std::memcpy(R, m.pose.R, sizeof R);
    std::memcpy(T, m.pose.T, sizeof T);
    // The first pose, or the first after the target was lost: the filter starts there rather
    // than taking the jump from its old state for a velocity.
    if (!wasRecent) camera.poseFilter.restart(R, T);
    else if (!camera.poseFilter.update(R, T)) return false;
    return keepFilteredPose(t, camera, R, T);
}

bool TargetTracker::trackOutlines(Tracker& t, CameraModel& camera, const LensParameters* lens) {
    beginPass(camera);
    TargetMeasurement m;
    if (!measureFromOutlines(t, camera, lens, m) && !measureElsewhere(t, camera, lens, m)) return false;
    return accept(t, camera, m);
}

bool TargetTracker::track(Tracker& t, CameraModel* camera, const ChainSteps& chain) {
    const bool pose = chain.outlines && chain.pose && camera;
    const bool refined = pose && camera->method == PoseMethod::Refined;
    // The edges adapt to the picture only where the refined pose reads them; the grid method,
    // and the steps without the pose, keep the Sobel step's own threshold.
    const bool adaptive = refined && chain.sobel && ladder_.adaptive();
    bool probe = false;
    int threshold = adaptive ? ladder_.first(probe) : kSobelThreshold;
    // With the lens correction on, the pose works on the corrected picture; the corners are read
    // from the raw frame through the lens model.
    const LensParameters lensModel = lensParameters(t.width, t.height);
    const LensParameters* lens = chain.lensCorrection ? &lensModel : nullptr;
    if (refined) beginPass(*camera);
    TargetMeasurement m;
    runChainSteps(t, chain, threshold);
    bool found = refined && measureFromOutlines(t, *camera, lens, m);
    if (probe && !found) {  // the rung above shows nothing yet: this frame takes the settled one
        t.drawContours();   // releases the pass's outlines before the chain runs again
        threshold = ladder_.fallBack();
        runChainSteps(t, chain, threshold);
        found = measureFromOutlines(t, *camera, lens, m);
    }
    if (adaptive) ladder_.settle(threshold, found);
    if (refined) return (found || measureElsewhere(t, *camera, lens, m)) && accept(t, *camera, m);
    return pose && estimatePose(t, *camera);
}
