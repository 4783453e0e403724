#include "app/frame_loop.h"

#include <cstdio>

#include "app/calibration_run.h"
#include "app/outputs.h"
#include "app/point_log.h"
#include "app/pose_log.h"
#include "base/data_files.h"
#include "camera/lens.h"
#include "camera/pose.h"
#include "capture/capture.h"
#include "capture/media_file.h"
#include "base/report.h"
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
    followFrameSize(app);
    t.input = app.s_frame.data();
    bool newPose = false;
    if (bytes > 0) newPose = runProcessingSteps(app);
    app.newPoseThisPass = newPose;
    if (app.s_views && fresh) collectView(app);
    logPose(app, newPose);
    ++app.processedFrames;
    return true;
}

void followFrameSize(AppState& app) {
    Tracker& t = *app.s_tracker;
    t.setFrameSize(app.s_height, app.s_width);
    noteFocalLengthScale(app);
    if (app.s_camera && app.s_capture)
        app.s_camera->rowReadOut = app.s_row_read_out >= 0 ? app.s_row_read_out : captureRowReadOut(app.s_capture);
    // A new frame size drops the lens tables with the other per-pixel buffers.
    if (app.s_key_r && t.width > 0 && t.height > 0 && !t.hasLensTables()) buildLensTables(t);
}

void noteFocalLengthScale(AppState& app) {
    Tracker& t = *app.s_tracker;
    CameraModel* camera = app.s_camera;
    if (!camera || !camera->ready || t.width <= 0 ||
        (t.width == app.s_focal_scaled_width && t.height == app.s_focal_scaled_height))
        return;
    // A calibrated camera serves only frames that are its picture or a middle band of it; others
    // would get a wrong pose on every frame.
    if (const std::string why = frameProblem(camera->camera, t.width, t.height); !why.empty()) {
        reportError("%s: %s; the ideal camera of the reference points is used", camera->cameraSource.c_str(), why.c_str());
        if (!calibrateCamera(t, *camera, findDataFile(kReferencePointsName))) {
            reportError("%s; the pose step is disabled", camera->whyNotReady.c_str());
            return;
        }
    }
    scaleCameraToFrame(t, *camera);
    if (t.width != camera->camera.width || t.height != camera->camera.height || app.s_focal_scaled_width != 0)
        reportNote("the calibration is for %d x %d pictures; for %d x %d frames its focal length %.1f px is taken as "
                   "%.1f px",
                   camera->camera.width, camera->camera.height, t.width, t.height, camera->camera.fx, t.focalLength);
    app.s_focal_scaled_width = t.width;
    app.s_focal_scaled_height = t.height;
}

ChainSteps chainSteps(const AppState& app) {
    ChainSteps s;
    s.lensCorrection = app.s_key_r, s.smoothing = app.s_key_g, s.thinEdges = app.s_key_c, s.sobel = app.s_key_s;
    s.outlines = app.s_key_x, s.pose = app.s_key_k;
    s.outputNeeded = app.s_key_p || app.s_key_e || app.s_key_h;
    return s;
}

bool runProcessingSteps(AppState& app) {
    Tracker& t = *app.s_tracker;
    const bool newPose = app.tracking.track(t, app.s_camera, chainSteps(app));
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
