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

TrackingRun runTracking(const VirtualCameraOptions& options, const std::string& keys, int frames,
                        const std::string& pointFile) {
    TrackingRun run;
    VirtualCameraOptions o = options;
    o.fps = 0;  // as fast as the loop asks
    CaptureDevice* dev = captureCreateWith(createVirtualBackend(o));
    captureSelectDevice(dev, 0);
    captureSetRunning(dev, 1);
    Tracker tracker;
    CameraModel camera;
    AppState app;
    app.s_tracker = &tracker;
    app.s_capture = dev;
    app.s_camera = &camera;
    captureGetSize(dev, &app.s_width, &app.s_height);
    tracker.setFrameSize(app.s_height, app.s_width);
    buildLensTables(tracker);
    if (!calibrateCamera(tracker, camera, pointFile)) {
        run.error = camera.whyNotReady;
        captureDestroy(dev);
        return run;
    }
    for (char key : keys) handleKey(app, static_cast<unsigned char>(key));
    const VirtualCamera* cam = virtualCameraOf(dev->backend.get());
    for (int n = 0; n < frames; ++n) {
        TrackedFrame f;
        const VirtualFrameTruth truth = cam->truthOf(n);
        captureGetSize(dev, &app.s_width, &app.s_height);
        const size_t bytes = static_cast<size_t>(app.s_width) * app.s_height * 3;
        if (app.s_frame.size() != bytes) app.s_frame.assign(bytes, 0);
        captureGrabFrame(dev, app.s_frame.data(), bytes, -1);
        tracker.input = app.s_frame.data();
        f.found = runProcessingSteps(app);
        f.visible = truth.wholeTargetVisible;
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
    captureDestroy(dev);
    return run;
}
