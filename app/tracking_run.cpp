#include "app/tracking_run.h"

#include <algorithm>
#include <cmath>

#include "app/app_state.h"
#include "app/frame_loop.h"
#include "app/keyboard.h"
#include "camera/lens.h"
#include "camera/pose.h"
#include "capture/capture.h"
#include "capture/virtual_backend.h"
#include "vision/tracker.h"

double rotationAngleBetween(const double A[9], const double B[9]) {
    double trace = 0.0;  // trace of A B'
    for (int i = 0; i < 3; ++i)
        for (int k = 0; k < 3; ++k) trace += A[i * 3 + k] * B[i * 3 + k];
    return std::acos(std::clamp((trace - 1.0) / 2.0, -1.0, 1.0)) * 180.0 / M_PI;
}

HeadlessApp::HeadlessApp(const VirtualCameraOptions& options, const std::string& keys, const std::string& pointFile,
                         PoseMethod method) {
    camera.method = method;
    VirtualCameraOptions o = options;
    o.fps = 0;  // as fast as the loop asks
    app.s_tracker = &tracker;
    app.s_camera = &camera;
    app.s_capture = captureCreateWith(createVirtualBackend(o));
    captureSelectDevice(app.s_capture, 0);
    captureSetRunning(app.s_capture, 1);
    captureGetSize(app.s_capture, &app.s_width, &app.s_height);
    tracker.setFrameSize(app.s_height, app.s_width);
    buildLensTables(tracker);
    if (!calibrateCamera(tracker, camera, pointFile)) error = camera.whyNotReady;
    for (char key : keys) handleKey(app, static_cast<unsigned char>(key));
}

HeadlessApp::~HeadlessApp() { captureDestroy(app.s_capture); }

const VirtualCamera& HeadlessApp::virtualCamera() const { return *virtualCameraOf(app.s_capture->backend.get()); }

TrackingRun runTracking(const VirtualCameraOptions& options, const std::string& keys, int frames,
                        const std::string& pointFile, PoseMethod method) {
    TrackingRun run;
    HeadlessApp headless(options, keys, pointFile, method);
    if (!headless.error.empty()) {
        run.error = headless.error;
        return run;
    }
    AppState& app = headless.app;
    const CameraModel& camera = headless.camera;
    for (int n = 0; n < frames; ++n) {
        TrackedFrame f;
        const VirtualFrameTruth truth = headless.virtualCamera().truthOf(n);
        f.found = runFramePass(app) && app.newPoseThisPass;
        // With the lens correction on, the steps see the corrected picture.
        f.visible = app.s_key_r ? truth.wholeTargetVisibleCorrected : truth.wholeTargetVisible;
        std::copy(camera.R, camera.R + 9, f.R);
        std::copy(camera.T, camera.T + 3, f.T);
        f.rotationErrorDeg = rotationAngleBetween(f.R, truth.pose.R);
        std::copy(camera.measuredR, camera.measuredR + 9, f.measuredR);
        f.measuredRotationErrorDeg = rotationAngleBetween(f.measuredR, truth.pose.R);
        const double* t = truth.pose.T;
        f.translationErrorPct = 100.0 * std::hypot(f.T[0] - t[0], f.T[1] - t[1], f.T[2] - t[2]) /
                                std::hypot(t[0], t[1], t[2]);
        run.frames.push_back(f);
    }
    return run;
}
