#include <gtest/gtest.h>

#include <cmath>

#include "harness/tracking_run.h"
#include "camera/kalman.h"
#include "camera/matrix.h"

namespace {
const double kIdentity[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
}

TEST(PoseFilter, AStillPoseStaysAndAConstantVelocityIsFollowedWithoutLag) {
    const double T0[3] = {10, 20, 500};
    KalmanFilter* f = createPoseFilter(2.0, 2.0, kIdentity, T0);
    double R[9], T[3];
    std::copy(kIdentity, kIdentity + 9, R);
    std::copy(T0, T0 + 3, T);
    smoothPose(0.05, 0.05, R, T, 1.0, f);
    EXPECT_LT(rotationAngleBetween(R, kIdentity), 1e-4);
    EXPECT_NEAR(T[2], 500, 1e-3);
    for (int step = 1; step <= 200; ++step) {
        std::copy(kIdentity, kIdentity + 9, R);
        T[0] = 10 + 2.0 * step;  // 2 mm a frame
        T[1] = 20;
        T[2] = 500;
        smoothPose(0.05, 0.05, R, T, 1.0, f);
    }
    EXPECT_NEAR(T[0], 410.0, 0.05);
    EXPECT_NEAR(f->x[9], 2.0, 0.01);  // the rate state of Tx
    kalmanDestroy(f);
}

TEST(Kalman, AnUninvertibleInnovationKeepsThePrediction) {
    KalmanFilter* f = kalmanCreate(2, 1);
    f->x = vecAlloc(2);
    f->x[0] = 1, f->x[1] = 0.5f;
    f->F = matAlloc(2, 2);
    const float F[4] = {1, 1, 0, 1};
    matCopy(F, 2, 2, f->F);
    f->H = matAlloc(1, 2);
    f->H[0] = 0, f->H[1] = 0;  // measures nothing
    f->R = matAlloc(1, 1);
    f->R[0] = 0;
    f->Q = matAlloc(2, 2);
    matDiagonal(f->Q, 2, 2, 0.0f);
    f->P = matAlloc(2, 2);
    matIdentity(f->P, 2, 2);
    kalmanPredict(f);
    const float z[1] = {42};
    EXPECT_FALSE(kalmanUpdate(f, z));
    EXPECT_FLOAT_EQ(f->x[0], 1.5f);
    EXPECT_FLOAT_EQ(f->x[1], 0.5f);
    EXPECT_TRUE(std::isfinite(f->P[0]));
    kalmanDestroy(f);
}
