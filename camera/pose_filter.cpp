#include "camera/pose_filter.h"

#include <algorithm>
#include <cmath>

PoseFilterParameters gridPoseFilterParameters() {
    PoseFilterParameters p;
    p.angleMeasurementVariance = p.translationMeasurementVariance = 2.0;
    p.angleProcessVariance = p.translationProcessVariance = 0.05;
    p.restartInnovation = INFINITY;
    p.measuredAtMm = INFINITY;
    p.startAngleRateVariance = p.startTranslationRateVariance = INFINITY;
    return p;
}

void PoseFilter::start(const PoseFilterParameters& parameters, const double R[9], const double T[3]) {
    parameters_ = parameters;
    kalmanDestroy(kalman_);
    kalman_ = createPoseFilter(parameters.angleMeasurementVariance, parameters.translationMeasurementVariance, R, T);
}

namespace {

// The measurement variances' factor for a pose at T (PoseFilterParameters::measuredAtMm).
double distanceGrowth(const PoseFilterParameters& p, const double T[3]) {
    const double distance = std::sqrt(T[0] * T[0] + T[1] * T[1] + T[2] * T[2]);
    const double ratio = std::isfinite(p.measuredAtMm) ? std::max(1.0, distance / p.measuredAtMm) : 1.0;
    return ratio * ratio * ratio * ratio;
}

}  // namespace

void PoseFilter::restart(const double R[9], const double T[3]) {
    if (!kalman_) return;
    resetPoseFilter(kalman_, R, T);
    if (!std::isfinite(parameters_.startAngleRateVariance) || !std::isfinite(parameters_.startTranslationRateVariance))
        return;
    // The state is one measurement: its variances, and the rates' prior.
    const double grow = distanceGrowth(parameters_, T);
    const double variance[4] = {parameters_.angleMeasurementVariance * grow, parameters_.translationMeasurementVariance * grow,
                                parameters_.startAngleRateVariance, parameters_.startTranslationRateVariance};
    const int n = kalman_->n;
    for (int i = 0; i < 12; ++i) kalman_->P[i * n + i] = static_cast<float>(variance[i / 3]);
}

bool PoseFilter::update(double R[9], double T[3]) {
    if (!kalman_) return false;
    double measuredR[9], measuredT[3];
    std::copy(R, R + 9, measuredR);
    std::copy(T, T + 3, measuredT);
    // Measurement variances for this distance (the filter's R, diagonal: angles, then translation).
    const double grow = distanceGrowth(parameters_, T);
    const int m = kalman_->m;
    for (int i = 0; i < 6; ++i)
        kalman_->R[i * m + i] = static_cast<float>(
            (i < 3 ? parameters_.angleMeasurementVariance : parameters_.translationMeasurementVariance) * grow);
    if (smoothPose(parameters_.angleProcessVariance, parameters_.translationProcessVariance, R, T, 1.0, kalman_) != 1)
        return false;
    if (!(kalman_->innovationDistance > parameters_.restartInnovation)) return true;
    restart(measuredR, measuredT);
    std::copy(measuredR, measuredR + 9, R);
    std::copy(measuredT, measuredT + 3, T);
    return true;
}
