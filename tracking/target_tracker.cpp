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

// Rounds of taking the sides back to the middle row's time, each with the motion from the last
// pass's pose to this one's as the round before solved it.
constexpr int kRollingShutterRounds = 3;
// The most a hand moves a camera in a frame: 0.15 rad (9 deg, a fast sweep at 270 deg/s) and a
// fifth of the distance to the target.
constexpr double kMaxTurnPerFrame = 0.15, kMaxTravelPerFrame = 0.2;
// A correction fitting the corners worse than this many times the uncorrected fit, plus these
// pixels, is of a frame that shows no shear.
constexpr double kShearlessFit = 1.5, kShearlessFitPx = 0.05;
// A pose without one side's corners that fits the others this much better than all eight fitted
// is taken for one side read wrongly.
constexpr double kOneSideOffFit = 0.4;
// Outlines tried as the target's hole when no pair of outlines fits, two turns of each: the
// largest few, as a cluttered desk's other rectangles are mostly smaller than the target.
constexpr int kMaxHoleCandidates = 6;

// The corner a side of the target ends at: side k runs from corner k to this one (the inner
// rectangle's sides 0 to 3, the outer one's 4 to 7; camera/corner_refinement.h).
int sideEnd(int k) { return k < 4 ? (k + 1) % 4 : 4 + (k - 3) % 4; }

// Of the eight poses from the corners without one side's two, the one that fits its six corners
// best (its side's number, or -1 when none could be solved). A misfit spread over every corner,
// as an uncorrected lens gives, is not one side's: the caller asks for a much better fit.
int bestPoseWithoutOneSide(const double* X, const double* Y, const double* x, const double* y, double f,
                           const PlanarPose* previous, const TrackingParameters& p, PlanarPose& best) {
    int bestSide = -1;
    for (int k = 0; k < 8; ++k) {
        double X6[6], Y6[6], x6[6], y6[6];
        int n = 0;
        for (int i = 0; i < 8; ++i)
            if (i != k && i != sideEnd(k)) X6[n] = X[i], Y6[n] = Y[i], x6[n] = x[i], y6[n] = y[i], ++n;
        PlanarPoseCandidates candidates;
        if (!planarPoseCandidates(6, X6, Y6, x6, y6, f, candidates)) continue;
        const PlanarPose pose = choosePlanarPose(candidates, previous, p);
        if (finite(pose.R, 9) && finite(pose.T, 3) && (bestSide < 0 || pose.rmsError < best.rmsError)) best = pose, bestSide = k;
    }
    return bestSide;
}

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
    seen_[0].pass = seen_[1].pass = -10;
    passes_ = -1;
    skipPictureSearch_ = false;
}

void TargetTracker::beginPass(const CameraModel& camera) {
    if (camera.cameraChanges != cameraChanges_) {
        forget();
        cameraChanges_ = camera.cameraChanges;
    }
    source_ = PoseSource::None;
    ++pass_;
    if (state_ == TrackingState::NeverSeen || state_ == TrackingState::Lost) return;
    ++passes_;
    state_ = passes_ <= p_.coastPasses ? TrackingState::Coasting : TrackingState::Lost;
}

// Refines rough corners (`raw`: as the raw frame shows them, else in the undistorted picture)
// and solves the pose, kept only when it explains the corners and goes on from the last pose.
// With a distorting camera (and no lens tables) the refinement works in the undistorted picture,
// read through the lens, so that the sides it fits are straight.
bool TargetTracker::measure(const Tracker& t, const CameraModel& model, const LensParameters* lens,
                            TargetCorners corners, bool raw, TargetMeasurement& out) {
    const CameraIntrinsics camera = cameraFor(t, model);
    RawView view{lens, !lens && camera.distorted() ? &camera : nullptr};
    if (raw && view.camera)
        for (auto& p : corners.xy) view.toIdeal(p[0], p[1], p[0], p[1]);
    // A side that shows too little edge to refine gives no pose: the whole-pixel corners would
    // put the model degrees off, and the filter holds the last pose better.
    bool smeared = false;
    TargetEdges edges;
    if (!refineTargetCorners(t, lens || view.camera ? &view : nullptr, corners, &smeared, &edges, true)) return false;
    // The corners in view (all but outer ones past the frame's edge), and where they lie on the target.
    double X[8], Y[8], x[8], y[8];
    int inView = 0, index[8];
    for (int i = 0; i < 8; ++i) {
        if (corners.outOfView & (1u << i)) continue;
        index[inView] = i;
        X[inView] = kTargetCornerMm[i][0], Y[inView] = kTargetCornerMm[i][1];
        // From the optical axis in pixels of fx (docs/conventions.md, "The camera"), so that the
        // pose is solved with one focal length and its errors stay in pixels.
        x[inView] = corners.xy[i][0] - camera.cx;
        y[inView] = (corners.xy[i][1] - camera.cy) * camera.fx / camera.fy;
        ++inView;
    }
    // Of two poses that explain the corners almost equally (a small target seen nearly head-on),
    // the one nearer the shown pose: the filtered pose is steadier than the last measured one,
    // which may itself have been the wrong one of such a pair.
    PlanarPose shown = last_.pose;
    if (model.hasPose) std::memcpy(shown.R, model.R, sizeof shown.R);
    auto solve = [&](const double* u, const double* v, PlanarPose& pose) {
        PlanarPoseCandidates candidates;
        if (!planarPoseCandidates(inView, X, Y, u, v, camera.fx, candidates)) return false;
        pose = choosePlanarPose(candidates, recent() ? &shown : nullptr, p_);
        return true;
    };
    PlanarPose pose;
    if (!solve(x, y, pose)) return false;
    const PlanarPose asSeen = pose;
    RowMotion motion;
    motion.readOut = model.rowReadOut, motion.height = t.height;
    bool corrected = false;
    for (int round = 0; round < kRollingShutterRounds && model.rowReadOut > 0 && seen_[0].pass == pass_ - 1; ++round) {
        // The places along the sides go back to the middle row's time with the motion from the last
        // pass's pose to this one's, and the corners are met again from them. A motion no hand
        // gives a camera in a frame is a cut or a still of another view, not a shutter's shear.
        motionBetween(pose.R, pose.T, seen_[0].R, seen_[0].T, motion.w, motion.v);
        const double distance = std::sqrt(pose.T[0] * pose.T[0] + pose.T[1] * pose.T[1] + pose.T[2] * pose.T[2]);
        if (std::sqrt(motion.w[0] * motion.w[0] + motion.w[1] * motion.w[1] + motion.w[2] * motion.w[2]) > kMaxTurnPerFrame ||
            std::sqrt(motion.v[0] * motion.v[0] + motion.v[1] * motion.v[1] + motion.v[2] * motion.v[2]) > kMaxTravelPerFrame * distance)
            break;
        std::memcpy(motion.R, pose.R, sizeof motion.R);
        std::memcpy(motion.T, pose.T, sizeof motion.T);
        TargetCorners moved = corners;
        if (!cornersAtMiddleRowTime(edges, motion, camera, moved)) break;
        double u[8], uy[8];
        for (int k = 0; k < inView; ++k) {
            const int i = index[k];
            u[k] = moved.xy[i][0] - camera.cx, uy[k] = (moved.xy[i][1] - camera.cy) * camera.fx / camera.fy;
        }
        if (!solve(u, uy, pose)) return false;
        corrected = true;
    }
    // A frame without a shutter's shear (a global shutter, or stills) fits its corners as they
    // are, and the motion's correction bends them: it then fits them 3 to 30 times worse, where a
    // sheared frame's correction fits about as well or (mostly) better.
    const bool shearTaken = corrected;  // the frame was looked at for a shear
    if (corrected && !(pose.rmsError <= kShearlessFit * asSeen.rmsError + kShearlessFitPx)) pose = asSeen, corrected = false;
    if (!finite(pose.R, 9) || !finite(pose.T, 3)) return false;
    const double gate = !smeared ? p_.maxRmsPx : corrected ? p_.maxRollingSmearedRmsPx : p_.maxSmearedRmsPx;
    // A fast camera's frame (smeared) through a rolling shutter shows a shear that a pose takes up
    // as a tilt degrees off, with a small misfit: where the shear could not be looked at (the
    // first frame, whose pose then starts the motion for the next, or sides too short to move),
    // no pose is better.
    const bool shearUnknown = model.rowReadOut > 0 && smeared && !shearTaken;
    if (!(pose.rmsError <= gate) && !corrected && inView == 8) {
        // One side read wrongly (a glare spot's rim across it, something lying over it) puts its
        // two corners off and the pose with them.
        PlanarPose best;
        const int side = bestPoseWithoutOneSide(X, Y, x, y, camera.fx, recent() ? &shown : nullptr, p_, best);
        if (side >= 0 && best.rmsError <= gate && best.rmsError <= kOneSideOffFit * pose.rmsError) {
            pose = best;
            corners.outOfView |= 1u << side | 1u << sideEnd(side);
        }
    }
    if (!(pose.rmsError <= gate) || shearUnknown) {
        if (model.rowReadOut > 0 && pose.rmsError <= p_.maxRmsPx) notePose(pose.R, pose.T, false);
        return false;
    }
    if (pose.ambiguous && recent() &&
        rotationAngleBetween(pose.R, last_.pose.R) > p_.maxTurnDegPerPass * std::max(1, passes_))
        return false;
    // Corners not measured (past the frame's edge, or of a side left out) are where the pose puts them.
    for (int i = 0; i < 8; ++i)
        if (corners.outOfView & (1u << i))
            projectToIdealPixel(camera, pose.R, pose.T, kTargetCornerMm[i][0], kTargetCornerMm[i][1], corners.xy[i][0],
                                corners.xy[i][1]);
    out.corners = corners;
    out.pose = pose;
    return true;
}

bool TargetTracker::measureFromOutlines(const Tracker& t, const CameraModel& camera, const LensParameters* lens,
                                        TargetMeasurement& m) {
    TargetCorners corners;
    if (!ready(t, camera)) return false;
    if (finder_.find(t, corners) && measure(t, camera, lens, corners, true, m)) {
        source_ = PoseSource::Outlines;
        return true;
    }
    // No pair of outlines: the frame's edge (or a glare) may have cut the outer outline open while
    // the hole's stays closed. The hole's corners put the outer ones, and the refinement finds
    // those in view; a wrong outline, or the hole turned the wrong way, finds no outer sides
    // there or gives a pose that does not fit.
    TargetCorners holes[kMaxHoleCandidates];
    const int count = finder_.holeCandidates(holes, kMaxHoleCandidates);
    for (int i = 0; i < count; ++i)
        if (measure(t, camera, lens, holes[i], true, m)) {
            source_ = PoseSource::Outlines;
            return true;
        }
    return false;
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

void TargetTracker::notePose(const double R[9], const double T[3], bool shown) {
    // One pose a pass, a shown one before a refused one.
    if (seen_[0].pass == pass_ && (seen_[0].shown || !shown)) return;
    if (seen_[0].pass != pass_) seen_[1] = seen_[0];
    std::memcpy(seen_[0].R, R, sizeof seen_[0].R);
    std::memcpy(seen_[0].T, T, sizeof seen_[0].T);
    seen_[0].pass = pass_;
    seen_[0].shown = shown;
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
    notePose(m.pose.R, m.pose.T, true);
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
