#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <string>

#include "scratch_dir.h"
#include "harness/tracking_run.h"
#include "camera/calibration.h"
#include "camera/lens.h"
#include "camera/matrix.h"
#include "camera/pose.h"
#include "capture/virtual_camera.h"
#include "vision/tracker.h"

namespace {

std::string writeTemp(const std::string& name, const std::string& text) {
    const std::string path = scratchDir() + name;
    std::ofstream(path) << text;
    return path;
}

// Exact image points (pixels from the image centre) of model points under a pose.
void project(const CameraPose& pose, double f, int n, const double* X, const double* Y, double* x, double* y) {
    for (int i = 0; i < n; ++i) {
        double col, row;
        projectPoint(pose, f, 320, 240, X[i], Y[i], col, row);
        x[i] = col - 159.5;  // from the optical centre, the picture's geometric centre
        y[i] = row - 119.5;
    }
}

}  // namespace

TEST(Calibration, ShippedReferencePointsGiveTheVirtualCamerasFocalLength) {
    ReferencePoints pts;
    std::string error;
    ASSERT_TRUE(readPointFile(TOVRAK_DATA_DIR "/pontos1.txt", pts, error)) << error;
    double f, T[3], R[9];
    ASSERT_EQ(calibrateCoplanar(pts.count(), pts.Xw.data(), pts.Yw.data(), pts.Xd.data(), pts.Yd.data(), &f, T, R), 1);
    EXPECT_NEAR(f, virtualFocalLength(320), 0.005 * virtualFocalLength(320));
}

TEST(Calibration, RecoversPosesTiltedEitherWayIncludingTheNegativeFocalLengthPath) {
    double X[35], Y[35], x[35], y[35];
    for (int i = 0; i < 35; ++i) X[i] = (i % 7 - 3) * 40.0, Y[i] = (i / 7 - 2) * 40.0;
    // Tilted towards +x and towards -x: in some of them the first solve finds f < 0.
    int negativeFirst = 0;
    for (double azimuth : {0.0, 180.0, 60.0, 250.0}) {
        SCOPED_TRACE(azimuth);
        const CameraPose truth = lookAtPose(5, 10, 520, 30, azimuth, 20);
        project(truth, 330.0, 35, X, Y, x, y);
        double U[5], firstT[3], firstR[9], firstF;
        ASSERT_EQ(solveU(35, X, Y, x, y, U), 1);
        ASSERT_EQ(solveTy(35, x, y, X, Y, U, firstT), 1);
        ASSERT_EQ(solveRotation(U, firstT, firstR), 1);
        ASSERT_EQ(solveFTz(35, X, Y, x, y, &firstF, firstT, firstR), 1);
        negativeFirst += firstF < 0;
        double f, T[3], R[9];
        ASSERT_EQ(calibrateCoplanar(35, X, Y, x, y, &f, T, R), 1);
        EXPECT_NEAR(f, 330.0, 1e-6);
        EXPECT_LT(rotationAngleBetween(R, truth.R), 1e-5);
        for (int i = 0; i < 3; ++i) EXPECT_NEAR(T[i], truth.T[i], 1e-6);
    }
    EXPECT_GE(negativeFirst, 1);
}

TEST(Calibration, PointsOnALineOrTooFewAreRefused) {
    double X[6] = {0, 10, 20, 30, 40, 50}, Y[6] = {0, 0, 0, 0, 0, 0};
    double x[6] = {1, 2, 3, 4, 5, 6}, y[6] = {0, 0, 0, 0, 0, 0};
    double f, T[3], R[9];
    EXPECT_EQ(calibrateCoplanar(6, X, Y, x, y, &f, T, R), 0);
}

TEST(Calibration, BadReferenceFilesGetOneClearReason) {
    ReferencePoints pts;
    std::string error;
    EXPECT_FALSE(readPointFile(scratchDir() + "no-such-file.txt", pts, error));
    EXPECT_NE(error.find("cannot be opened"), std::string::npos);
    const std::pair<const char*, const char*> cases[] = {
        {"", "number of points"},
        {"seven\n", "number of points"},
        {"3\n1 2 3 4\n5 6 7 8\n9 10 11 12\n", "at least 5"},
        {"65\n", "at most 64"},
        {"6\n1 2 3 4\n5 6 7 8\n", "ends after 2 of its 6"},
        {"5\n1 2 3 4\n5 6 x 8\n", "malformed number in point 2"},
    };
    for (const auto& [text, reason] : cases) {
        EXPECT_FALSE(readPointFile(writeTemp("points.txt", text), pts, error)) << text;
        EXPECT_NE(error.find(reason), std::string::npos) << error;
        EXPECT_EQ(pts.count(), 0);
    }
}

TEST(Pose, ExtrinsicSolveRecoversTheGridPose) {
    const CameraPose truth = lookAtPose(-12, 8, 480, 25, 130, -40);
    double X[64], Y[64], x[64], y[64];
    for (int k = 0; k < 64; ++k) X[k] = -91 + 26.0 * (k / 8), Y[k] = -80 + 160.0 / 7 * (k % 8);
    project(truth, 330.0, 64, X, Y, x, y);
    double T[3], R[9];
    ASSERT_EQ(solveExtrinsic(64, X, Y, x, y, 330.0, T, R), 1);
    EXPECT_LT(rotationAngleBetween(R, truth.R), 1e-5);
    for (int i = 0; i < 3; ++i) EXPECT_NEAR(T[i], truth.T[i], 1e-6);

    // The grid from the eight corners: first sample (-91, -80), ninth (-65, -80).
    const double MX[8] = {56, -68, -68, 56, 91, -91, -91, 91}, MY[8] = {56, 56, -18, -18, 80, 80, -80, -80};
    double mx[8], my[8], gX[64], gY[64], gx[64], gy[64];
    project(truth, 330.0, 8, MX, MY, mx, my);
    ASSERT_EQ(synthesizeGrid(8, MX, MY, mx, my, 8, 8, gX, gY, gx, gy), 1);
    EXPECT_EQ(gX[0], -91.0);
    EXPECT_EQ(gY[0], -80.0);
    EXPECT_EQ(gX[8], -65.0);
    EXPECT_EQ(gY[8], -80.0);
    for (int k = 0; k < 64; ++k) {
        EXPECT_NEAR(gx[k], x[k], 1e-6);
        EXPECT_NEAR(gy[k], y[k], 1e-6);
    }
}

TEST(Pose, NothingChangesWithoutATargetAndTheCentresDoNotCount) {
    Tracker t;
    t.setFrameSize(240, 320);
    CameraModel model;
    ASSERT_TRUE(calibrateCamera(t, model, TOVRAK_DATA_DIR "/pontos1.txt"));
    const CameraPose truth = lookAtPose(0, 0, 500, 20, 40, 10);
    const auto points = targetModelPoints();
    t.targetPoints.assign(10, PointRecord{});
    for (int i = 0; i < 10; ++i) {
        double col, row;
        projectPoint(truth, 330.0, 320, 240, points[i][0], points[i][1], col, row);
        t.targetPoints[i].row = static_cast<int>(std::lround(row));
        t.targetPoints[i].col = static_cast<int>(std::lround(col));
    }
    double before[16];
    std::copy(t.modelview, t.modelview + 16, before);
    t.targetFound = 0;
    EXPECT_FALSE(estimatePose(t, model));
    EXPECT_TRUE(std::equal(before, before + 16, t.modelview));

    t.targetFound = 1;
    CameraModel other;
    ASSERT_TRUE(calibrateCamera(t, other, TOVRAK_DATA_DIR "/pontos1.txt"));
    ASSERT_TRUE(estimatePose(t, model));
    t.targetPoints[4].row += 50;
    t.targetPoints[9].col -= 70;
    ASSERT_TRUE(estimatePose(t, other));
    for (int i = 0; i < 9; ++i) EXPECT_EQ(model.R[i], other.R[i]);
    EXPECT_LT(rotationAngleBetween(model.R, truth.R), 5.0);

    CameraModel uncalibrated;
    t.focalLength = 0.0f;
    EXPECT_FALSE(estimatePose(t, uncalibrated));
}

TEST(Lens, CorrectionUndoesTheVirtualLens) {
    VirtualCameraOptions clean, lensed;
    lensed.lens = true;
    VirtualCamera a(clean), b(lensed);
    std::vector<unsigned char> ideal(a.frameBytes()), distorted(b.frameBytes());
    a.render(300, ideal.data());
    b.render(300, distorted.data());
    Tracker t;
    t.setFrameSize(240, 320);
    buildLensTables(t);
    t.input = distorted.data();
    t.applyLensCorrection();
    double before = 0, after = 0;
    int n = 0;
    for (int r = 10; r < 230; ++r)
        for (int c = 10; c < 310; ++c) {
            const size_t k = (static_cast<size_t>(r) * 320 + c) * 3 + 1;
            before += std::abs(distorted[k] - ideal[k]);
            after += std::abs(t.output[k] - ideal[k]);
            ++n;
        }
    std::printf("mean difference from the ideal picture: %.2f distorted, %.2f corrected\n", before / n, after / n);
    EXPECT_LT(after / n, 3.0);
    EXPECT_GT(before / n, 3 * after / n);
}

TEST(Pose, Regression_GridsOfMoreThanSixtyFourPointsAreSynthesised) {
    // An exact homography: the grid's image points must follow it whatever the grid's size.
    const double X[4] = {-90, 90, 90, -90}, Y[4] = {-80, -80, 80, 80};
    double x[4], y[4];
    for (int i = 0; i < 4; ++i) {
        const double w = 0.001 * X[i] + 1.0;
        x[i] = (2 * X[i] + Y[i] + 5) / w, y[i] = (X[i] - Y[i]) / w;
    }
    std::vector<double> gX(100), gY(100), gx(100), gy(100);
    ASSERT_EQ(synthesizeGrid(4, X, Y, x, y, 10, 10, gX.data(), gY.data(), gx.data(), gy.data()), 1);
    for (int k = 0; k < 100; ++k) {
        const double w = 0.001 * gX[k] + 1.0;
        EXPECT_NEAR(gx[k], (2 * gX[k] + gY[k] + 5) / w, 1e-6);
        EXPECT_NEAR(gy[k], (gX[k] - gY[k]) / w, 1e-6);
    }
    EXPECT_DOUBLE_EQ(gX[99], 90);
    EXPECT_DOUBLE_EQ(gY[99], 80);
}
