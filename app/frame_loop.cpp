#include "app/frame_loop.h"

#include "app/point_log.h"
#include "capture/capture.h"
#include "vision/tracker.h"

bool runFramePass(AppState& app) {
    if (!captureSetRunning(app.s_capture, -1)) return false;

    captureGetSize(app.s_capture, &app.s_width, &app.s_height);
    // The buffer follows the device's size, so a format change never makes the copy, the
    // Tracker and the display disagree about it.
    const size_t bytes = static_cast<size_t>(app.s_width) * app.s_height * 3;
    if (app.s_frame.size() != bytes) app.s_frame.assign(bytes, 0);
    if (bytes > 0) captureGrabFrame(app.s_capture, app.s_frame.data(), bytes, kGrabTimeoutMs);

    Tracker& t = *app.s_tracker;
    t.setFrameSize(app.s_height, app.s_width);
    t.input = app.s_frame.data();
    if (bytes > 0) runProcessingSteps(app);
    ++app.processedFrames;
    return true;
}

void runProcessingSteps(AppState& app) {
    Tracker& t = *app.s_tracker;
    // Lens correction (key r) and smoothing (key g) are the steps that produce `output`; when
    // neither runs, the second slot shows the live frame.
    if (!app.s_key_r) t.markOutputAbsent();
    if (!app.s_key_g && !app.s_key_r) t.markOutputAbsent();
}
