#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <random>

#include "camera/matrix.h"

TEST(FloatMatrix, InverseExchangesRowsAndRefusesSingularMatrices) {
    const float swap[4] = {0, 1, 1, 0};
    float inv[4];
    ASSERT_EQ(matInverse(swap, 2, inv), kMatOk);
    EXPECT_EQ(inv[0], 0.0f);
    EXPECT_EQ(inv[1], 1.0f);
    EXPECT_EQ(inv[2], 1.0f);
    EXPECT_EQ(inv[3], 0.0f);
    const float zeroColumn[9] = {1, 0, 2, 3, 0, 4, 5, 0, 6};
    float inv3[9];
    EXPECT_EQ(matInverse(zeroColumn, 3, inv3), kMatSingular);
    EXPECT_EQ(matInverse(nullptr, 3, inv3), kMatNull);

    // A random well-conditioned 12 x 12 matrix times its inverse is the identity.
    std::mt19937 rng(7);
    std::uniform_real_distribution<float> u(-1, 1);
    float A[144], I[144], P[144];
    for (int i = 0; i < 144; ++i) A[i] = u(rng) + (i % 13 == 0 ? 4.0f : 0.0f);
    ASSERT_EQ(matInverse(A, 12, I), kMatOk);
    ASSERT_EQ(matMul(A, 12, 12, I, 12, 12, P), kMatOk);
    for (int i = 0; i < 144; ++i) EXPECT_NEAR(P[i], i % 13 == 0 ? 1.0f : 0.0f, 1e-4f);
}

TEST(DoubleSolver, LeastSquaresNeedsEnoughIndependentEquations) {
    double A[kLsqMaxRows * kLsqMaxVars] = {};
    double b[kLsqMaxRows] = {};
    for (int r = 0; r < 4; ++r) {
        A[r * 5 + r] = 1;
        b[r] = r;
    }
    EXPECT_EQ(leastSquares(4, 5, A, b), 0);
    // A line fit through noisy-free points: y = 2 x + 1.
    double L[10 * kLsqMaxVars] = {};
    double y[10];
    for (int r = 0; r < 10; ++r) {
        L[r * 5] = r;
        L[r * 5 + 1] = 1;
        y[r] = 2 * r + 1;
    }
    ASSERT_EQ(leastSquares(10, 2, L, y), 1);
    EXPECT_NEAR(y[0], 2, 1e-12);
    EXPECT_NEAR(y[1], 1, 1e-12);
    EXPECT_EQ(leastSquares(129, 2, L, y), 0);  // beyond the solver's capacity
}

TEST(Rotations, AnglesRoundTripAndComposeAsDefined) {
    double R[9], angles[3];
    const double identity[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
    rotationToAngles(identity, angles);
    EXPECT_EQ(angles[0], 0.0);
    EXPECT_EQ(angles[1], 0.0);
    EXPECT_EQ(angles[2], 0.0);
    const double aboutZ[3] = {0, 0, 0.3};
    anglesToRotation(aboutZ, R);
    EXPECT_NEAR(R[0], std::cos(0.3), 1e-15);
    EXPECT_NEAR(R[3], std::sin(0.3), 1e-15);
    std::mt19937 rng(11);
    std::uniform_real_distribution<double> u(-1.4, 1.4);
    for (int i = 0; i < 100; ++i) {
        const double in[3] = {u(rng) * 2, u(rng), u(rng) * 2};
        double back[3], Rt[9], P[9];
        anglesToRotation(in, R);
        rotationToAngles(R, back);
        for (int k = 0; k < 3; ++k) EXPECT_NEAR(back[k], in[k], 1e-9);
        mat3Transpose(R, Rt);
        mat3Mul(R, Rt, P);
        for (int k = 0; k < 9; ++k) EXPECT_NEAR(P[k], identity[k], 1e-12);
    }
}

TEST(Rotation, VectorAndMatrixRoundTripUpToAHalfTurn) {
    // Near a half turn R - R' vanishes and the axis must come from R's diagonal: an OpenCV pose
    // of a target turned upside down in the picture depends on it.
    const std::array<double, 3> axes[] = {{1, 0, 0}, {0.6, -0.48, 0.64}};
    for (double angle : {0.0, 1e-8, 0.3, 2.0, M_PI - 1e-3, M_PI - 1e-7, M_PI})
        for (const std::array<double, 3>& axis : axes) {
            const double w[3] = {axis[0] * angle, axis[1] * angle, axis[2] * angle};
            double R[9], back[9], v[3];
            rotationFromVector(w, R);
            rotationVectorOf(R, v);
            rotationFromVector(v, back);
            EXPECT_LT(rotationAngleBetween(R, back), 1e-4) << angle;
        }
}
