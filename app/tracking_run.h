// The frame loop run without a window over the virtual camera, frame by frame against the
// truth: what the accuracy report and the tracking tests measure.
#pragma once

#include <string>
#include <vector>

#include "app/app_state.h"
#include "camera/pose.h"
#include "capture/virtual_camera.h"
#include "vision/tracker.h"

// The program's state without a window: the virtual camera (as fast as asked), a calibrated
// camera model and the keys typed.
struct HeadlessApp {
    Tracker tracker;
    CameraModel camera;
    AppState app;
    std::string error;  // set when the camera could not be calibrated

    HeadlessApp(const VirtualCameraOptions& options, const std::string& keys, const std::string& pointFile,
                PoseMethod method = PoseMethod::Refined);
    ~HeadlessApp();
    HeadlessApp(const HeadlessApp&) = delete;
    HeadlessApp& operator=(const HeadlessApp&) = delete;
    const VirtualCamera& virtualCamera() const;
};

struct TrackedFrame {
    bool visible = false;  // the whole target in view (in the corrected picture with key r)
    bool found = false;    // a new pose this frame
    double rotationErrorDeg = 0.0;
    double translationErrorPct = 0.0;
    double R[9];
    double T[3];
    // The same for the measured pose, before the filter.
    double measuredRotationErrorDeg = 0.0;
    double measuredR[9];
};

struct TrackingRun {
    std::vector<TrackedFrame> frames;
    std::string error;  // set when the run could not start (no calibration)
};

// Runs `frames` frames with the keys typed first (e.g. "gsxk"), calibrated from pointFile.
TrackingRun runTracking(const VirtualCameraOptions& options, const std::string& keys, int frames,
                        const std::string& pointFile, PoseMethod method = PoseMethod::Refined);

// Angle of the rotation between two rotations, in degrees.
double rotationAngleBetween(const double A[9], const double B[9]);
