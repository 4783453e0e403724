#include "camera/pose_filter.h"

PoseFilterParameters gridPoseFilterParameters() {
    PoseFilterParameters p;
    p.angleMeasurementVariance = p.translationMeasurementVariance = 2.0;
    p.angleProcessVariance = p.translationProcessVariance = 0.05;
    return p;
}

void PoseFilter::start(const PoseFilterParameters& parameters, const double R[9], const double T[3]) {
    parameters_ = parameters;
    kalmanDestroy(kalman_);
    kalman_ = createPoseFilter(parameters.angleMeasurementVariance, parameters.translationMeasurementVariance, R, T);
}

void PoseFilter::restart(const double R[9], const double T[3]) {
    if (kalman_) resetPoseFilter(kalman_, R, T);
}

bool PoseFilter::update(double R[9], double T[3]) {
    if (!kalman_) return false;
    return smoothPose(parameters_.angleProcessVariance, parameters_.translationProcessVariance, R, T, 1.0, kalman_) == 1;
}
