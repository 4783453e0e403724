#include "app/calibration_run.h"

#include <vector>

#include "app/app_state.h"
#include "app/capture_source.h"
#include "app/exit_status.h"
#include "camera/camera_file.h"
#include "camera/pose.h"
#include "capture/capture.h"
#include "base/report.h"
#include "tracking/calibration_views.h"
#include "vision/target_finder.h"
#include "vision/tracker.h"

namespace {

// A source is read for at most this many frames (a webcam: some 40 s; the virtual camera's path
// goes round the target in 480).
constexpr int kMaxCalibrationFrames = 1200;

}  // namespace

int fitAndWrite(const std::vector<CalibrationView>& views, int width, int height, const std::string& cameraFile) {
    ViewCalibration fit;
    std::string why;
    if (!calibrateFromViews(views, width, height, true, fit, why)) {
        reportError("not calibrated: %s", why.c_str());
        return kExitFailed;
    }
    const std::string path = cameraFile.empty() ? kCameraFileName : cameraFile;
    if (!writeCameraFile(path, fit.camera, fit.rmsPx, why)) {
        reportError("cannot write %s (%s)", path.c_str(), why.c_str());
        return kExitOutputFailed;
    }
    const CameraIntrinsics& c = fit.camera;
    reportLine("Calibrated from %d views of the target (%.0f %% of the picture covered) at %d x %d: fx %.2f fy %.2f "
               "px, principal point (%.2f, %.2f) (rows from the top: %.2f), k1 %.4f k2 %.4f p1 %.5f p2 %.5f; RMS "
               "reprojection error %.3f px; wrote %s",
               fit.views, 100 * viewCoverage(views, width, height), width, height, c.fx, c.fy, c.cx, c.cy,
               (height - 1) - c.cy, c.k1, c.k2, -c.p1, c.p2, fit.rmsPx, path.c_str());
    return kExitOk;
}

int runCalibration(const CommandLine& options) {
    CommandLine o = options;
    o.virtualCamera.fps = 0;  // the virtual camera as fast as asked
    std::string error;
    CaptureDevice* dev = openCaptureSource(o, error);
    if (!error.empty()) {
        reportError("cannot play %s: %s", o.sourceFile.c_str(), error.c_str());
        return kExitFailed;
    }
    if (!dev) {
        reportLine("No Capture Device!");
        return kExitFailed;
    }
    captureSelectDevice(dev, o.source == SourceKind::Camera ? o.device : 0);
    captureSetRunning(dev, 1);
    int width = 0, height = 0;
    std::vector<unsigned char> frame;
    Tracker tracker;
    TargetFinder finder;
    std::vector<CalibrationView> views;
    for (int n = 0; n < kMaxCalibrationFrames && static_cast<int>(views.size()) < kMaxCalibrationViews; ++n) {
        captureGetSize(dev, &width, &height);
        frame.resize(static_cast<size_t>(width) * height * 3);
        if (frame.empty() || !captureGrabFrame(dev, frame.data(), frame.size(), kGrabTimeoutMs)) {
            if (captureAtEnd(dev) || !captureSetRunning(dev, -1)) break;
            continue;
        }
        tracker.setFrameSize(height, width);
        tracker.input = frame.data();
        if (takeView(tracker, finder, views))
            reportLine("view %d from frame %d", static_cast<int>(views.size()), n);
    }
    captureDestroy(dev);
    return fitAndWrite(views, width, height, o.cameraFile);
}

ViewCollection::ViewCollection() : tracker(std::make_unique<Tracker>()), finder(std::make_unique<TargetFinder>()) {}
ViewCollection::~ViewCollection() = default;

void toggleViewCollection(AppState& app) {
    if (app.s_views) {
        delete app.s_views;
        app.s_views = nullptr;
        reportNote("view collection stopped");
        return;
    }
    app.s_views = new ViewCollection;
    reportNote("taking views of the target for a calibration: move it round the picture, tilted 20 to 60 degrees "
               "from facing the camera, from different sides; %d views are needed",
               kWindowCalibrationViews);
}

void collectView(AppState& app) {
    ViewCollection* c = app.s_views;
    if (!c || app.s_frame.empty()) return;
    Tracker& t = *c->tracker;
    t.setFrameSize(app.s_height, app.s_width);
    t.input = app.s_frame.data();
    if (!takeView(t, *c->finder, c->views)) return;
    reportNote("view %d of %d taken, %.0f %% of the picture covered", static_cast<int>(c->views.size()),
               kWindowCalibrationViews, 100 * viewCoverage(c->views, t.width, t.height));
    if (static_cast<int>(c->views.size()) < kWindowCalibrationViews) return;
    const std::string path = app.s_camera_file.empty() ? kCameraFileName : app.s_camera_file;
    const int status = fitAndWrite(c->views, t.width, t.height, path);
    // The calibration could not be saved: the run ends with the status saying so.
    if (status == kExitOutputFailed) app.s_output_failed = true;
    if (status == kExitOk && app.s_camera) {
        CameraIntrinsics camera;
        std::string why;
        if (readCameraFile(path, camera, why)) useCamera(*app.s_tracker, *app.s_camera, camera, path);
    }
    delete c;
    app.s_views = nullptr;
}
