// The pose filter as the pose steps use it: the Kalman filter over the camera pose
// (camera/kalman.h) with its tunables named, in units, and kept with it.
//
// The state is three rotation angles (radians) and the translation (millimetres) with their
// rates; time is counted in frames (one filter step a frame with a pose). Measurement variances
// say how far a measured pose scatters about the truth; process variances how much the rates
// may change from one frame to the next: larger follows a moving camera more closely, smaller
// holds a still one more steadily.
#pragma once

#include "camera/kalman.h"

struct PoseFilterParameters {
    // Variance of each measured angle, rad^2. Default 4e-6 ((0.11 deg)^2): the refined pose's
    // scatter on a still camera with sensor noise.
    double angleMeasurementVariance = 4e-6;
    // Variance of each measured translation component, mm^2. Default 0.25 ((0.5 mm)^2), likewise.
    double translationMeasurementVariance = 0.25;
    // Variance a frame of each angular rate's change, rad^2 per frame^2 per frame. Default 2e-6:
    // a hand-held camera's turning on the virtual camera's path (docs/accuracy.md).
    double angleProcessVariance = 2e-6;
    // Variance a frame of each linear rate's change, mm^2 per frame^2 per frame. Default 0.5.
    double translationProcessVariance = 0.5;
    // A measurement whose innovation (its distance from the prediction, squared, in units of
    // the innovation's own covariance: chi-square with 6 degrees of freedom) exceeds this is a
    // movement the constant-velocity model did not expect (a jerk, a fast sweep): the filter
    // restarts there instead of lagging behind it. Default 40 (about 1 in 10^6 for noise alone).
    double restartInnovation = 40.0;
    // The measurement variances above hold for a target this far away (millimetres); a target
    // further away spans fewer pixels and tilts less visibly, and its measured angles and
    // distance scatter with the square of the distance: beyond it both variances grow with the
    // distance's fourth power. Default 500.
    double measuredAtMm = 500.0;
    // How fast the camera may be moving when the filter (re)starts at a measured pose, as the
    // variances of the rates it then assumes: angular, rad^2 per frame^2, default 1e-3 ((1.8 deg
    // a frame)^2); linear, mm^2 per frame^2, default 1000 ((32 mm a frame)^2): a hand-held
    // camera at 30 frames a second. The pose itself starts with the measurement's variances
    // at its distance. Infinite rates take the first two measurements' difference for the
    // velocity as it is, which a noisy pair (a far target) turns into a velocity of degrees a
    // frame that the filter then follows away from the target for a dozen frames.
    double startAngleRateVariance = 1e-3;
    double startTranslationRateVariance = 1000.0;
};

// The tunables of the grid method's filter: measurement variances 2.0 and process variances 0.05
// for both angles and translation, neither restart nor growth with distance, and a start from a
// certain pose with its rates unknown.
PoseFilterParameters gridPoseFilterParameters();

class PoseFilter {
public:
    PoseFilter() = default;
    PoseFilter(const PoseFilter&) = delete;
    PoseFilter& operator=(const PoseFilter&) = delete;
    ~PoseFilter() { kalmanDestroy(kalman_); }

    // (Re)creates the filter with these tunables, at rest at the pose (R world to camera,
    // row-major; T in millimetres).
    void start(const PoseFilterParameters& parameters, const double R[9], const double T[3]);
    bool started() const { return kalman_ != nullptr; }
    // Starts afresh at a measured pose, keeping the tunables: no velocity, the initial uncertainty.
    void restart(const double R[9], const double T[3]);
    // One frame: R and T are the measured pose on entry and the filtered pose on return. False
    // when the measurement could not be taken in (R and T are then the prediction). The
    // measurement's variances follow its distance (parameters).
    [[nodiscard]] bool update(double R[9], double T[3]);

    const PoseFilterParameters& parameters() const { return parameters_; }
    const KalmanFilter* kalman() const { return kalman_; }

private:
    PoseFilterParameters parameters_;
    KalmanFilter* kalman_ = nullptr;
};
