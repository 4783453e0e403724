#include "app/frame_loop.h"

#include <cstdio>

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
    logPose(app, newPose);
    ++app.processedFrames;
    return true;
}

void noteFocalLengthScale(AppState& app) {
    Tracker& t = *app.s_tracker;
    const CameraModel* camera = app.s_camera;
    if (!camera || !camera->ready || t.width <= 0 || t.width == app.s_focal_scaled_width) return;
    scaleCameraToFrame(t, *camera);
    if (t.width != camera->referenceWidth || app.s_focal_scaled_width != 0)
        reportNote("the calibration is for %d-pixel-wide pictures; for %d x %d frames its focal length "
                   "%.1f px is taken as %.1f px",
                   camera->referenceWidth, t.width, t.height, camera->referenceFocalLength, t.focalLength);
    app.s_focal_scaled_width = t.width;
}

bool measurePose(AppState& app) {
    CameraModel& camera = *app.s_camera;
    Tracker& t = *app.s_tracker;
    if (camera.method == PoseMethod::Grid) return estimatePose(t, camera);
    // With the lens correction on, the pose works on the corrected picture; the corners are
    // read from the raw frame through the lens model.
    const LensParameters lens = lensParameters(t.width, t.height);
    return estimateRefinedPose(t, camera, app.s_key_r ? &lens : nullptr);
}

bool runProcessingSteps(AppState& app) {
    bool newPose = false;
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
        t.smoothGreySobel(240);
    } else if (app.s_key_g) {
        t.smoothImage();
        t.convertToGrey();
    }

    // The later steps work on `output`. Without one (e.g. "s" alone) they get a grey copy of
    // the live frame, so they show their effect and never paint into the live picture.
    const bool needsOutput = app.s_key_c || app.s_key_s || app.s_key_x || app.s_key_p || app.s_key_e || app.s_key_h;
    if (needsOutput) t.ensureGreyOutput();

    if (app.s_key_c) t.thinEdges(150, 100);
    if (app.s_key_s && !smoothGreySobel) t.sobelEdges(240);
    if (app.s_key_x) {
        t.labelContours();
        t.identifyTarget();
        if (app.s_key_k) {
            if (app.s_camera) newPose = measurePose(app);
            if (app.s_log_enabled) logPoints(app);
        }
        t.drawContours();
    }
    if (app.s_key_p) {
        t.labelRegions();
        t.markExtremes();
    }
    if (app.s_key_e) t.detectCorners(app.s_corner_threshold, 9);
    if (app.s_key_h) t.houghLines(400, 100);
    return newPose;
}
