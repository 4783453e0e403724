// The frame loop run without a window over the virtual camera, frame by frame against the
// truth: what the accuracy report and the tracking tests measure.
#pragma once

#include <string>
#include <vector>

#include "capture/virtual_camera.h"

struct TrackedFrame {
    bool visible = false;  // the whole target in view
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
                        const std::string& pointFile);

// Angle of the rotation between two rotations, in degrees.
double rotationAngleBetween(const double A[9], const double B[9]);
