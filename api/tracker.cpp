#include "tovrak/tracker.h"

#include <cstring>
#include <vector>

#include "api/convert.h"
#include "api/frame_input.h"
#include "camera/matrix.h"
#include "camera/pose.h"
#include "tracking/target_tracker.h"
#include "vision/tracker.h"

namespace tovrak {

struct Tracker::Impl {
    Camera camera;
    TrackerOptions options;
    std::string cameraError;  // why the camera cannot be used, or empty
    ::Tracker steps;
    CameraModel model;
    TargetTracker target;
    std::vector<unsigned char> frame;  // the caller's frame as the steps take it, kept
    int scaledWidth = 0, scaledHeight = 0;

    Impl(const Camera& c, const TrackerOptions& o) : camera(c), options(o), cameraError(c.check()) {
        target.edges().setAdaptive(o.adaptiveEdges);
        if (cameraError.empty()) start();
    }

    void start() {
        useCamera(steps, model, toIntrinsics(camera), "the caller's camera");
        PoseFilterParameters p;
        p.angleMeasurementVariance = options.filterParameters.angleMeasurementVariance;
        p.translationMeasurementVariance = options.filterParameters.translationMeasurementVariance;
        p.angleProcessVariance = options.filterParameters.angleProcessVariance;
        p.translationProcessVariance = options.filterParameters.translationProcessVariance;
        model.poseFilter.start(p, model.R, model.T);
        scaledWidth = scaledHeight = 0;
    }
};

namespace {

PoseSource sourceOf(::PoseSource s) {
    switch (s) {
        case ::PoseSource::Outlines: return PoseSource::Outlines;
        case ::PoseSource::NearLastPose: return PoseSource::NearLastPose;
        case ::PoseSource::PictureSearch: return PoseSource::PictureSearch;
        default: return PoseSource::None;
    }
}

TrackingState stateOf(::TrackingState s) {
    switch (s) {
        case ::TrackingState::Tracking: return TrackingState::Tracking;
        case ::TrackingState::Coasting: return TrackingState::Coasting;
        case ::TrackingState::Lost: return TrackingState::Lost;
        default: return TrackingState::NeverSeen;
    }
}

}  // namespace

Tracker::Tracker(const Camera& camera, const TrackerOptions& options) : impl_(new Impl(camera, options)) {}
Tracker::~Tracker() = default;
Tracker::Tracker(Tracker&&) noexcept = default;
Tracker& Tracker::operator=(Tracker&&) noexcept = default;

const Camera& Tracker::camera() const { return impl_->camera; }

void Tracker::setRowReadOut(double share) { impl_->model.rowReadOut = share >= 0 && share <= 1 ? share : 0.0; }

void Tracker::reset() {
    impl_->target.forget();
    if (impl_->cameraError.empty()) impl_->start();
}

Result<TargetPose> Tracker::track(const ImageView& frame) {
    Impl& m = *impl_;
    if (const std::string why = checkFrame(frame); !why.empty()) return Result<TargetPose>::failure(why);
    if (!m.cameraError.empty()) return Result<TargetPose>::failure("the camera cannot be used: " + m.cameraError);
    frameToSteps(frame, m.frame);
    m.steps.setFrameSize(frame.height, frame.width);
    if (frame.width != m.scaledWidth || frame.height != m.scaledHeight) {
        if (const std::string why = frameProblem(m.model.camera, frame.width, frame.height); !why.empty())
            return Result<TargetPose>::failure("the camera cannot be used for these frames: " + why);
        // A webcam gives its other sizes from the same optics (docs/conventions.md, "Units").
        scaleCameraToFrame(m.steps, m.model);
        m.scaledWidth = frame.width, m.scaledHeight = frame.height;
    }
    m.steps.input = m.frame.data();
    TargetPose pose;
    pose.found = m.target.track(m.steps, &m.model, ChainSteps{});
    m.steps.drawContours();  // the pass's outlines are released with their overlay
    const bool filtered = m.options.filter;
    std::memcpy(pose.rotation, filtered ? m.model.R : m.model.measuredR, sizeof pose.rotation);
    std::memcpy(pose.translation, filtered ? m.model.T : m.model.measuredT, sizeof pose.translation);
    std::memcpy(pose.measuredRotation, m.model.measuredR, sizeof pose.measuredRotation);
    std::memcpy(pose.measuredTranslation, m.model.measuredT, sizeof pose.measuredTranslation);
    pose.state = stateOf(m.target.state());
    if (pose.state != TrackingState::NeverSeen) {
        const TargetCorners& c = m.target.corners();
        for (int i = 0; i < 8; ++i) pose.corners[i][0] = c.xy[i][0], pose.corners[i][1] = frameRow(frame, c.xy[i][1]);
        pose.reprojectionErrorPx = m.target.rmsErrorPx();
    }
    pose.source = pose.found ? sourceOf(m.target.source()) : PoseSource::None;
    return pose;
}

void TargetPose::toOpenCV(double rvec[3], double tvec[3]) const {
    // OpenCV's camera has y down: Pc' = F Pc with F = diag(1, -1, 1); its target frame has y
    // towards the sheet's near edge, Pw = F Pw'. So R' = F R F (a proper rotation) and T' = F T.
    double R[9];
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c) R[3 * r + c] = rotation[3 * r + c] * (r == 1 ? -1 : 1) * (c == 1 ? -1 : 1);
    rotationVectorOf(R, rvec);
    tvec[0] = translation[0], tvec[1] = -translation[1], tvec[2] = translation[2];
}

}  // namespace tovrak
