#include "camera/kalman.h"

#include <initializer_list>

#include "camera/matrix.h"

KalmanFilter* kalmanCreate(int n, int m) {
    auto* f = new KalmanFilter;
    f->n = n;
    f->m = m;
    f->xPred = vecAlloc(n);
    f->K = matAlloc(n, m);  // n x m holds the m x m S too, since m <= n
    f->PPred = matAlloc(n, n);
    f->work = matAlloc(n, n);
    f->y = matAlloc(n, n);
    f->SInv = matAlloc(m, m);
    return f;
}

void kalmanDestroy(KalmanFilter* f) {
    if (!f) return;
    for (float* p : {f->x, f->xPred, f->F, f->H, f->R, f->Q, f->K, f->PPred, f->P, f->work, f->y, f->SInv}) matFree(p);
    delete f;
}

void kalmanPredict(KalmanFilter* f) {
    const int n = f->n;
    matVecMul(f->F, f->x, f->xPred, n, n);
    matMulTransposed(f->P, n, n, f->F, n, n, f->work);  // P F'
    matMul(f->F, n, n, f->work, n, n, f->PPred);
    matAdd(f->PPred, f->Q, f->PPred, n, n);
}

bool kalmanUpdate(KalmanFilter* f, const float* z) {
    const int n = f->n, m = f->m;
    matMulTransposed(f->PPred, n, n, f->H, m, n, f->work);  // PPred H', n x m
    float* S = f->K;
    matMul(f->H, m, n, f->work, n, m, S);
    matAdd(S, f->R, S, m, m);
    if (!invertedMatrix(S, m, f->SInv)) {
        // No gain can be formed: the prediction stands as the estimate.
        vecCopy(f->xPred, n, f->x);
        matCopy(f->PPred, n, n, f->P);
        return false;
    }
    matMul(f->work, n, m, f->SInv, m, m, f->K);

    matVecMul(f->H, f->xPred, f->y, m, n);  // y = z - H xPred
    vecSub(z, f->y, f->y, m);
    matVecMul(f->K, f->y, f->x, n, m);  // x = xPred + K y
    vecAdd(f->xPred, f->x, f->x, n);

    float* SInvY = f->work;  // work is free again once K is formed
    matVecMul(f->SInv, f->y, SInvY, m, m);
    vecDot(f->y, SInvY, m, &f->innovationDistance);

    matMul(f->K, n, m, f->H, m, n, f->P);  // P = (I - K H) PPred
    for (int i = 0; i < n * n; ++i) f->work[i] = ((i % (n + 1)) == 0 ? 1.0f : 0.0f) - f->P[i];
    matMul(f->work, n, n, f->PPred, n, n, f->P);
    return true;
}

namespace {
constexpr int kPoseStates = 12;
constexpr int kPoseMeasurements = 6;
}  // namespace

KalmanFilter* createPoseFilter(double rotNoise, double transNoise, const double R0[9], const double T0[3]) {
    const int n = kPoseStates, m = kPoseMeasurements;
    KalmanFilter* f = kalmanCreate(n, m);
    f->F = matAlloc(n, n);
    matIdentity(f->F, n, n);
    for (int i = 0; i < 6; ++i) f->F[i * n + i + 6] = 1.0f;
    f->H = matAlloc(m, n);
    matIdentity(f->H, m, n);
    f->Q = matAlloc(n, n);
    matDiagonal(f->Q, n, n, 0.0f);
    for (int i = 6; i < 12; ++i) f->Q[i * n + i] = 1.0f;
    f->R = matAlloc(m, m);
    matDiagonal(f->R, m, m, 0.0f);
    for (int i = 0; i < 6; ++i) f->R[i * m + i] = static_cast<float>(i < 3 ? rotNoise : transNoise);
    f->P = matAlloc(n, n);
    f->x = vecAlloc(n);
    resetPoseFilter(f, R0, T0);
    return f;
}

void resetPoseFilter(KalmanFilter* f, const double R[9], const double T[3]) {
    const int n = f->n;
    matDiagonal(f->P, n, n, 0.0f);
    for (int i = 0; i < 12; ++i) f->P[i * n + i] = i < 6 ? 1e-5f : 100000.0f;
    double angles[3];
    rotationToAngles(R, angles);
    for (int i = 0; i < 3; ++i) f->x[i] = static_cast<float>(angles[i]);
    for (int i = 0; i < 3; ++i) f->x[3 + i] = static_cast<float>(T[i]);
    for (int i = 6; i < 12; ++i) f->x[i] = 0.0f;
}

int smoothPose(double qa, double qt, double R[9], double T[3], double dt, KalmanFilter* f) {
    const int n = f->n;
    // The angle states describe the rotation relative to the previous filtered one while the
    // filter runs, so they stay small and never wrap.
    const double previousAngles[3] = {f->x[0], f->x[1], f->x[2]};
    double Rprev[9], RprevT[9], Rrel[9], rel[3];
    anglesToRotation(previousAngles, Rprev);
    mat3Transpose(Rprev, RprevT);
    mat3Mul(RprevT, R, Rrel);
    rotationToAngles(Rrel, rel);
    f->x[0] = f->x[1] = f->x[2] = 0.0f;

    const float z[6] = {static_cast<float>(rel[0]), static_cast<float>(rel[1]), static_cast<float>(rel[2]),
                        static_cast<float>(T[0]),   static_cast<float>(T[1]),   static_cast<float>(T[2])};
    for (int i = 6; i < 12; ++i) f->Q[i * n + i] = static_cast<float>((i < 9 ? qa : qt) * dt);
    for (int i = 0; i < 6; ++i) f->F[i * n + i + 6] = static_cast<float>(dt);

    kalmanPredict(f);
    const bool updated = kalmanUpdate(f, z);

    const double filteredRel[3] = {f->x[0], f->x[1], f->x[2]};
    double Rf[9];
    anglesToRotation(filteredRel, Rf);
    mat3Mul(Rprev, Rf, R);
    double absolute[3];
    rotationToAngles(R, absolute);
    for (int i = 0; i < 3; ++i) f->x[i] = static_cast<float>(absolute[i]);
    for (int i = 0; i < 3; ++i) T[i] = f->x[3 + i];
    return updated ? 1 : 0;
}
