#include "app/calibration_key.h"

#include <cstdio>
#include <string>

#include "base/data_files.h"
#include "camera/pose.h"
#include "camera/target_calibration.h"
#include "base/report.h"
#include "vision/tracker.h"

void calibrateFromView(AppState& app) {
    CameraModel* camera = app.s_camera;
    Tracker& t = *app.s_tracker;
    // The corners must be this view's: measured by the refined pose in the last frame pass.
    if (!camera || camera->method != PoseMethod::Refined || app.tracking.state() != TrackingState::Tracking) {
        reportWarning("not calibrated: calibration needs the target tracked by the refined pose: keys x and k on "
                      "(not --pose grid), the whole target in view");
        return;
    }
    TargetCalibration calibration;
    std::string why;
    if (!calibrateFromCorners(app.tracking.corners(), t.width, t.height, calibration, why)) {
        reportWarning("not calibrated: %s", why.c_str());
        return;
    }
    if (!writeReferencePoints(kReferencePointsName, calibration, t.width, why)) {
        reportError("cannot write %s (%s)", kReferencePointsName, why.c_str());
        app.s_output_failed = true;  // the run ends with the status that says so
        return;
    }
    if (!calibrateCamera(t, *camera, kReferencePointsName)) {
        reportError("%s", camera->whyNotReady.c_str());
        return;
    }
    reportNote("calibrated from the target seen at %.0f degrees: focal length %.1f px for %d-pixel-wide pictures; "
               "wrote %s, in use now and on every start from this folder",
                 calibration.tiltDeg, camera->camera.fx, camera->camera.width, kReferencePointsName);
}
