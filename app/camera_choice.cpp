#include "app/camera_choice.h"

#include <unistd.h>

#include "base/data_files.h"
#include "base/report.h"
#include "camera/camera_file.h"
#include "vision/tracker.h"

void chooseCamera(Tracker& tracker, CameraModel& model, const std::string& given) {
    const std::string file = !given.empty() ? given : access(kCameraFileName, F_OK) == 0 ? kCameraFileName : "";
    if (!file.empty()) {
        CameraIntrinsics camera;
        std::string why;
        if (readCameraFile(file, camera, why)) {
            useCamera(tracker, model, camera, file);
            reportNote("camera from %s: fx %.1f fy %.1f px, principal point (%.1f, %.1f) at %d x %d%s", file.c_str(),
                       camera.fx, camera.fy, camera.cx, camera.cy, camera.width, camera.height,
                       camera.distorted() ? ", with its lens distortion" : "");
            return;
        }
        reportError("%s: %s; the ideal camera of the reference points is used", file.c_str(), why.c_str());
    }
    const std::string points = findDataFile(kReferencePointsName);
    if (!calibrateCamera(tracker, model, points)) {
        reportError("%s; the pose step is disabled", model.whyNotReady.c_str());
        return;
    }
    reportNote("camera: the ideal camera with the focal length of %s (%.1f px at 320 x 240)", points.c_str(),
               model.camera.fx);
}
