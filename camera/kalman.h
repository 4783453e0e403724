// A linear Kalman filter over single-precision matrices, and the pose filter that smooths the
// camera pose from frame to frame.
#pragma once

struct KalmanFilter {
    int m = 0;  // measurements
    int n = 0;  // states
    float* x = nullptr;
    float* xPred = nullptr;
    float* F = nullptr;
    float* H = nullptr;
    float* R = nullptr;
    float* Q = nullptr;
    float* K = nullptr;  // also holds the innovation covariance S during an update
    float* PPred = nullptr;
    float* P = nullptr;
    float* work = nullptr;
    float* y = nullptr;
    float* SInv = nullptr;
    float innovationDistance = 0.0f;
};

// A filter with its work arrays; the caller supplies x, F, H, R, Q and P (from matAlloc).
KalmanFilter* kalmanCreate(int n, int m);
void kalmanDestroy(KalmanFilter* filter);
void kalmanPredict(KalmanFilter* filter);
// Answers false, keeping the prediction as the estimate, when the innovation covariance
// cannot be inverted.
[[nodiscard]] bool kalmanUpdate(KalmanFilter* filter, const float* z);

// Twelve states (three angles, the translation, and their rates), six measurements.
KalmanFilter* createPoseFilter(double rotNoise, double transNoise, const double R0[9], const double T0[3]);
// Starts the pose filter afresh at a measured pose: no velocity, the initial uncertainty.
void resetPoseFilter(KalmanFilter* filter, const double R[9], const double T[3]);
// R and T are the measured pose on entry and the filtered pose on return. Answers 1, or 0 when
// the update could not be made (R and T are then the prediction).
int smoothPose(double qa, double qt, double R[9], double T[3], double dt, KalmanFilter* filter);
