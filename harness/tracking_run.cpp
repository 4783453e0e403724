#include "harness/tracking_run.h"

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
    followFrameSize(app);
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
        // With the lens correction on, the steps see the corrected picture; with the target partly
        // out of the picture, a pose is due when the hole and two outer corners are in it.
        f.visible = app.s_key_r           ? truth.wholeTargetVisibleCorrected
                    : options.outside > 0 ? truth.holeAndTwoCornersVisible
                                          : truth.wholeTargetVisible;
        std::copy(camera.R, camera.R + 9, f.R);
        std::copy(camera.T, camera.T + 3, f.T);
        f.rotationErrorDeg = rotationAngleBetween(f.R, truth.pose.R);
        std::copy(camera.measuredR, camera.measuredR + 9, f.measuredR);
        f.measuredRotationErrorDeg = rotationAngleBetween(f.measuredR, truth.pose.R);
        const double* t = truth.pose.T;
        const double* m = camera.measuredT;
        const double distance = std::hypot(t[0], t[1], t[2]);
        f.translationErrorPct = 100.0 * std::hypot(f.T[0] - t[0], f.T[1] - t[1], f.T[2] - t[2]) / distance;
        f.measuredTranslationErrorPct = 100.0 * std::hypot(m[0] - t[0], m[1] - t[1], m[2] - t[2]) / distance;
        run.frames.push_back(f);
    }
    return run;
}

double quantile(std::vector<double> v, double q) {
    if (v.empty()) return NAN;
    std::sort(v.begin(), v.end());
    return v[static_cast<size_t>(q * static_cast<double>(v.size() - 1))];
}

TrackingSummary summarise(const TrackingRun& run) {
    TrackingSummary s;
    std::vector<double> rot, trans, measuredRot, measuredTrans;
    for (const TrackedFrame& f : run.frames) {
        ++s.frames;
        s.visible += f.visible;
        if (!f.found) continue;
        ++s.found;
        s.foundVisible += f.visible;
        rot.push_back(f.rotationErrorDeg);
        trans.push_back(f.translationErrorPct);
        measuredRot.push_back(f.measuredRotationErrorDeg);
        measuredTrans.push_back(f.measuredTranslationErrorPct);
        s.offBy5Deg += f.rotationErrorDeg > 5.0;
        s.offBy10Deg += f.rotationErrorDeg > 10.0;
    }
    if (s.visible) s.foundVisiblePct = 100.0 * s.foundVisible / s.visible;
    s.rotationMedianDeg = quantile(rot, 0.5), s.rotationP95Deg = quantile(rot, 0.95);
    s.translationMedianPct = quantile(trans, 0.5), s.translationP95Pct = quantile(trans, 0.95);
    s.measuredRotationMedianDeg = quantile(measuredRot, 0.5);
    s.measuredTranslationMedianPct = quantile(measuredTrans, 0.5);
    return s;
}

double jitterDeg(const TrackingRun& run, int settle, bool measured) {
    double sumSq = 0;
    int count = 0;
    for (size_t i = static_cast<size_t>(settle) + 1; i < run.frames.size(); ++i) {
        const TrackedFrame &a = run.frames[i], &b = run.frames[i - 1];
        const double s = measured ? rotationAngleBetween(a.measuredR, b.measuredR) : rotationAngleBetween(a.R, b.R);
        sumSq += s * s;
        ++count;
    }
    return count ? std::sqrt(sumSq / count) : NAN;
}
