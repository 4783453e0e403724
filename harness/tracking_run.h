// The frame loop run without a window over the virtual camera, frame by frame against the
// truth: what the accuracy report and the tracking tests measure.
#pragma once

#include <cmath>
#include <string>
#include <vector>

#include "app/app_state.h"
#include "camera/matrix.h"  // rotationAngleBetween, for what a run is measured by
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
    bool visible = false;  // the whole target in view (in the corrected picture with key r; the hole
                           // and two outer corners with the target partly out of the picture)
    bool found = false;    // a new pose this frame
    double rotationErrorDeg = 0.0;
    double translationErrorPct = 0.0;
    double R[9];
    double T[3];
    // The same for the measured pose, before the filter.
    double measuredRotationErrorDeg = 0.0;
    double measuredTranslationErrorPct = 0.0;
    double measuredR[9];
};

struct TrackingRun {
    std::vector<TrackedFrame> frames;
    std::string error;  // set when the run could not start (no calibration)
};

// Runs `frames` frames with the keys typed first (e.g. "gsxk"), calibrated from pointFile.
TrackingRun runTracking(const VirtualCameraOptions& options, const std::string& keys, int frames,
                        const std::string& pointFile, PoseMethod method = PoseMethod::Refined);

// The value below which a fraction q of `values` lies (NaN for none): the median at 0.5.
double quantile(std::vector<double> values, double q);

// What a run measured, over the frames with a new pose (errors of the filtered pose, and of the
// measured one before the filter).
struct TrackingSummary {
    int frames = 0, visible = 0, found = 0, foundVisible = 0;
    int offBy5Deg = 0, offBy10Deg = 0;  // frames with a new pose this far off in rotation
    double foundVisiblePct = NAN;
    double rotationMedianDeg = NAN, rotationP95Deg = NAN, translationMedianPct = NAN, translationP95Pct = NAN;
    double measuredRotationMedianDeg = NAN, measuredTranslationMedianPct = NAN;
};
TrackingSummary summarise(const TrackingRun& run);

// How much the pose shakes from one frame to the next: the rms rotation between consecutive
// frames after the first `settle` (degrees), of the filtered pose or of the measured one.
double jitterDeg(const TrackingRun& run, int settle, bool measured);
