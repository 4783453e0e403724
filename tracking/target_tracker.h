// The target tracker: one frame in, the camera pose out, with everything it keeps between frames.
//
// A frame runs the image steps of the target chain (tracking/chain_steps.h) at the edge threshold
// the ladder gives (tracking/edge_ladder.h), finds the target among the outlines, refines its
// corners to sub-pixel places, solves the pose, chooses between the two poses a plane may show,
// and hands the measurement to the pose filter (camera/pose_filter.h), whose pose the display
// draws with. The camera it measures with, the filter and the pose shown live in CameraModel
// (camera/pose.h); the tracker owns the rest.
//
// The states, and what moves between them (a pass is one frame's run of the chain):
//
//     NeverSeen --measured--> Tracking --not measured--> Coasting --more than coastPasses--> Lost
//                                ^                           |                                 |
//                                +--------measured-----------+---------------------------------+
//
//   NeverSeen  no pose yet (or the camera changed): the first measurement restarts the filter.
//   Tracking   this pass measured a pose.
//   Coasting   a recent pose (1 to coastPasses passes old): the filter goes on from it, the target
//              is looked for where it put it, and a pose of an ambiguous pair that turned further
//              than a hand turns a camera is refused.
//   Lost       the last pose is stale: the next measurement restarts the filter, as from NeverSeen.
//
// Where a pose comes from, in order: the outlines of the pass; else near where the last pose
// (Coasting) puts the corners; else the picture itself (ink darker than its neighbourhood), a
// search rested for a frame after one that found nothing. A measured pose is kept only when it
// explains its corners (within maxRmsPx, maxSmearedRmsPx for sides smeared by motion): a wrong
// pose is worse than none.
//
// A rolling shutter reads the picture's rows one after another (CameraModel::rowReadOut of the
// frame interval, the top row first), so a moving camera sees each corner at its own time and
// the target sheared and bent. The places found along its sides are taken back to the middle
// row's time with the camera's motion from the last pass's pose to this one's
// (camera/rolling_shutter.h), the corners met again and the pose solved again, three rounds. The last pass's pose is the one it measured, or, where it kept none, the one it solved
// and refused: a sheared target fits no pose closely, but two such poses in a row still tell how
// the camera moves, and the corrected corners then fit.
//
// Units and axes as everywhere (docs/conventions.md): pixel-centre coordinates, rows bottom-up;
// R world to camera, T in millimetres.
#pragma once

#include "camera/pose.h"
#include "camera/refined_pose.h"
#include "tracking/chain_steps.h"
#include "tracking/edge_ladder.h"
#include "vision/target_finder.h"

struct LensParameters;

enum class TrackingState { NeverSeen, Tracking, Coasting, Lost };
// Where this pass's measurement came from.
enum class PoseSource { None, Outlines, NearLastPose, PictureSearch };

struct TrackingParameters {
    // After this many passes without a pose the filter's velocity is stale (Lost: it starts
    // afresh); as long as the last pose is this recent, the target is looked for where it put it.
    int coastPasses = 10;
    // Refined corners fit the solved pose to a few hundredths of a pixel on a clear picture and to
    // a few tenths through blur, noise and compression; a pose whose corners miss it by more (rms,
    // pixels) is of a wrong pairing of corners.
    double maxRmsPx = 1.5;
    // Corners read from edges smeared by motion lie off where the exposure's middle had them by
    // amounts the fit does not show in full (all sides move together): such a pose is kept only
    // when it fits this closely.
    double maxSmearedRmsPx = 0.4;
    // The same for smeared sides taken back to the middle row's time: the shutter's motion is
    // known only to first order from two frames, which leaves its own misfit.
    double maxRollingSmearedRmsPx = 0.7;
    // A hand-held camera turns a few degrees a frame. When the picture allows two poses, one this
    // far (degrees a pass) from the last pose is the mistaken one of the two. A pose the picture
    // settles is taken however far it turned: a cut in a clip, or frames of unrelated views.
    double maxTurnDegPerPass = 20.0;
    // Two poses explain the points "about equally well" when the worse one's rms error is within
    // this factor of the better one's, plus these pixels: the corner noise, not the geometry, then
    // decides between them, and continuity with the shown pose is the better guide.
    double ambiguityRatio = 1.5, ambiguityPixels = 0.1;
    // Two such poses within these degrees of each other are one answer: ambiguous only beyond.
    double ambiguityDeg = 3.0;
};

// One measured pose with the corners it was measured from.
struct TargetMeasurement {
    TargetCorners corners;
    PlanarPose pose;
};

// The choice between the two candidate poses (camera/refined_pose.h): the better fit, unless the
// other explains the points about as well and is nearer `previous` (may be null). Marks the
// result `ambiguous` when the two are a true pair (further apart than ambiguityDeg).
PlanarPose choosePlanarPose(const PlanarPoseCandidates& candidates, const PlanarPose* previous,
                            const TrackingParameters& parameters = {});

class TargetTracker {
public:
    explicit TargetTracker(const TrackingParameters& tracking = {}, const EdgeLadderParameters& edges = {});

    // One frame: the chain's steps on `steps.input` (already pointed at the frame, its size set),
    // then, with `chain.pose` and a camera, its pose. Answers true when a new pose was filtered
    // and the Tracker's modelview and projection rewritten; false leaves them as they were. The
    // contour list stays in place for the caller's drawContours. The grid method (camera->method)
    // runs the chain at the top rung and estimatePose.
    bool track(Tracker& steps, CameraModel* camera, const ChainSteps& chain);

    // The refined pose of a pass whose outlines the caller found (labelContours and
    // identifyTarget have run): the same rules as track, with no image steps of its own. `lens`:
    // the lens the picture was corrected with, else null.
    bool trackOutlines(Tracker& steps, CameraModel& camera, const LensParameters* lens);

    TrackingState state() const { return state_; }
    PoseSource source() const { return source_; }
    int passesSinceMeasured() const { return passes_; }
    // The corners and the pose of the last measurement (valid once the state left NeverSeen).
    const TargetCorners& corners() const { return last_.corners; }
    const PlanarPose& lastMeasured() const { return last_.pose; }
    // The reprojection error of the last measurement, pixels.
    double rmsErrorPx() const { return last_.pose.rmsError; }

    EdgeLadder& edges() { return ladder_; }
    const TrackingParameters& parameters() const { return p_; }
    // Back to NeverSeen: the next pose starts the filter afresh.
    void forget();

private:
    void beginPass(const CameraModel& camera);
    bool recent() const { return state_ == TrackingState::Tracking || state_ == TrackingState::Coasting; }
    bool measureFromOutlines(const Tracker& t, const CameraModel& camera, const LensParameters* lens,
                             TargetMeasurement& m);
    bool measureElsewhere(const Tracker& t, const CameraModel& camera, const LensParameters* lens,
                          TargetMeasurement& m);
    bool measure(const Tracker& t, const CameraModel& camera, const LensParameters* lens, TargetCorners corners,
                 bool raw, TargetMeasurement& out);
    bool accept(Tracker& t, CameraModel& camera, const TargetMeasurement& m);
    void notePose(const double R[9], const double T[3], bool shown);

    TrackingParameters p_;
    EdgeLadder ladder_;
    TargetFinder finder_;
    TrackingState state_ = TrackingState::NeverSeen;
    PoseSource source_ = PoseSource::None;
    int passes_ = -1;                 // passes since the last measurement; -1 before the first
    int cameraChanges_ = -1;          // CameraModel::cameraChanges the state belongs to
    bool skipPictureSearch_ = false;  // the last search of the whole picture found nothing
    TargetMeasurement last_{};
    // The poses of the last two passes that saw the target, the newest first: the filtered one
    // shown, else the one solved and refused.
    struct SeenPose {
        double R[9], T[3];
        long pass = -10;
        bool shown = false;
    };
    SeenPose seen_[2];
    long pass_ = 0;  // passes counted
};
