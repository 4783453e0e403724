#include "app/frame_loop.h"

#include <algorithm>
#include <cstdio>

#include "app/calibration_run.h"
#include "app/outputs.h"
#include "app/point_log.h"
#include "app/pose_log.h"
#include "camera/lens.h"
#include "camera/pose.h"
#include "capture/capture.h"
#include "capture/media_file.h"
#include "imageio/report.h"
#include "vision/tracker.h"

bool runFramePass(AppState& app) {
    if (!captureSetRunning(app.s_capture, -1)) return false;

    captureGetSize(app.s_capture, &app.s_width, &app.s_height);
    // The buffer follows the device's size, so a format change never makes the copy, the
    // Tracker and the display disagree about it.
    const size_t bytes = static_cast<size_t>(app.s_width) * app.s_height * 3;
    if (app.s_frame.size() != bytes) app.s_frame.assign(bytes, 0);
    const bool fresh = bytes > 0 && captureGrabFrame(app.s_capture, app.s_frame.data(), bytes, kGrabTimeoutMs);
    // A device that stopped during the grab (unplugged, or a recording at its end) leaves
    // nothing new to process; the window keeps the last frame.
    if (!fresh && !captureSetRunning(app.s_capture, -1)) return false;
    if (fresh) recordFrame(app);

    Tracker& t = *app.s_tracker;
    t.setFrameSize(app.s_height, app.s_width);
    noteFocalLengthScale(app);
    // A new frame size drops the lens tables with the other per-pixel buffers.
    if (app.s_key_r && bytes > 0 && !t.hasLensTables()) buildLensTables(t);
    t.input = app.s_frame.data();
    bool newPose = false;
    if (bytes > 0) newPose = runProcessingSteps(app);
    app.newPoseThisPass = newPose;
    if (app.s_views && fresh) collectView(app);
    logPose(app, newPose);
    ++app.processedFrames;
    return true;
}

void noteFocalLengthScale(AppState& app) {
    Tracker& t = *app.s_tracker;
    CameraModel* camera = app.s_camera;
    if (!camera || !camera->ready || t.width <= 0 ||
        (t.width == app.s_focal_scaled_width && t.height == app.s_focal_scaled_height))
        return;
    scaleCameraToFrame(t, *camera);
    if (t.width != camera->camera.width || t.height != camera->camera.height || app.s_focal_scaled_width != 0)
        reportNote("the calibration is for %d x %d pictures; for %d x %d frames its focal length %.1f px is taken as "
                   "%.1f px",
                   camera->camera.width, camera->camera.height, t.width, t.height, camera->camera.fx, t.focalLength);
    app.s_focal_scaled_width = t.width;
    app.s_focal_scaled_height = t.height;
}

namespace {

// The edge threshold ladder (a Sobel magnitude, as sobelEdges takes it). The Sobel step's own
// threshold is the top rung; a frame whose outlines show no target sends the next frame a rung
// lower, down to where sensor noise of a few grey levels starts to make edges of its own (a
// print of 40 grey levels of contrast makes Sobel sums of some 160 when sharp and half that when
// blurred, so a few frames find it). While the target is found, a rung higher is tried every
// kProbeEvery frames, and the frame falls back to the rung below when that shows nothing, so the
// edges follow the light back up. One pass of the chain a frame, two on a probe that fails: the
// pose finds the target in the picture itself meanwhile.
constexpr int kLowestEdgeThreshold = 36;
constexpr double kEdgeRung = 0.6;
constexpr int kProbeEvery = 8;

// Lens correction, smoothing and grey, edges at `threshold`, and (key x) the outlines and the
// target points: the steps whose results the pose reads.
void edgeAndOutlineSteps(AppState& app, int threshold) {
    Tracker& t = *app.s_tracker;
    // Lens correction (key r) and smoothing (key g) are the steps that produce `output`; when
    // neither runs, the second slot shows the live frame.
    // Smoothing, grey and Sobel straight after one another run as one pass over the frame.
    const bool smoothGreySobel = app.s_key_g && app.s_key_s && !app.s_key_r && !app.s_key_c;
    if (app.s_key_r) {
        t.applyLensCorrection();
    } else {
        t.markOutputAbsent();
    }
    if (smoothGreySobel) {
        t.smoothGreySobel(threshold);
    } else if (app.s_key_g) {
        t.smoothImage();
        t.convertToGrey();
    }
    // The later steps work on `output`. Without one (e.g. "s" alone) they get a grey copy of
    // the live frame, so they show their effect and never paint into the live picture.
    const bool needsOutput = app.s_key_c || app.s_key_s || app.s_key_x || app.s_key_p || app.s_key_e || app.s_key_h;
    if (needsOutput) t.ensureGreyOutput();
    if (app.s_key_c) t.thinEdges(150, 100);
    if (app.s_key_s && !smoothGreySobel) t.sobelEdges(threshold);
    if (app.s_key_x) {
        t.labelContours();
        t.identifyTarget();
    }
}

LensParameters frameLens(const AppState& app) { return lensParameters(app.s_tracker->width, app.s_tracker->height); }

// This pass's pose from its outlines (the grid method: the target points were found).
bool measuredFromOutlines(AppState& app, TargetMeasurement& m) {
    CameraModel& camera = *app.s_camera;
    if (camera.method == PoseMethod::Grid) return app.s_tracker->targetFound != 0;
    // With the lens correction on, the pose works on the corrected picture; the corners are
    // read from the raw frame through the lens model.
    const LensParameters lens = frameLens(app);
    return measureFromOutlines(*app.s_tracker, camera, app.s_key_r ? &lens : nullptr, m);
}

}  // namespace

bool measurePose(AppState& app) {
    CameraModel& camera = *app.s_camera;
    Tracker& t = *app.s_tracker;
    if (camera.method == PoseMethod::Grid) return estimatePose(t, camera);
    const LensParameters lens = frameLens(app);
    return estimateRefinedPose(t, camera, app.s_key_r ? &lens : nullptr);
}

bool runProcessingSteps(AppState& app) {
    Tracker& t = *app.s_tracker;
    CameraModel* camera = app.s_camera;
    const bool pose = app.s_key_x && app.s_key_k && camera;
    const bool refined = pose && camera->method == PoseMethod::Refined;
    // The edges adapt to the picture only where the refined pose reads them (keys s, x and k;
    // the grid method keeps the classic chain); key t or --edges fixed keep the Sobel step's own
    // threshold.
    const bool adaptive = refined && app.s_key_s && !app.s_fixed_edges;
    const int settled = std::clamp(app.s_edge_threshold, kLowestEdgeThreshold, kSobelThreshold);
    const bool probe = adaptive && settled < kSobelThreshold && ++app.s_edge_probe_count % kProbeEvery == 0;
    int threshold = !adaptive ? kSobelThreshold : probe ? std::min(kSobelThreshold, static_cast<int>(settled / kEdgeRung)) : settled;
    if (refined) beginRefinedPass(*camera);
    TargetMeasurement m;
    edgeAndOutlineSteps(app, threshold);
    bool found = pose && measuredFromOutlines(app, m);
    if (probe && !found) {  // the rung above shows nothing yet: this frame takes the settled one
        t.drawContours();
        threshold = settled;
        edgeAndOutlineSteps(app, threshold);
        found = measuredFromOutlines(app, m);
    }
    if (adaptive)
        app.s_edge_threshold = found ? threshold : std::max(kLowestEdgeThreshold, static_cast<int>(threshold * kEdgeRung));
    bool newPose = false;
    if (refined) {
        const LensParameters lens = frameLens(app);
        if (!found) found = measureElsewhere(t, *camera, app.s_key_r ? &lens : nullptr, m);
        newPose = found && acceptMeasurement(t, *camera, m);
    } else if (pose) {
        newPose = estimatePose(t, *camera);
    }
    if (app.s_key_x && app.s_key_k && app.s_log_enabled) logPoints(app);
    if (app.s_key_x) t.drawContours();
    if (app.s_key_p) {
        t.labelRegions();
        t.markExtremes();
    }
    if (app.s_key_e) t.detectCorners(app.s_corner_threshold, 9);
    if (app.s_key_h) t.houghLines(400, 100);
    return newPose;
}
