#include <gtest/gtest.h>

#include <cmath>

#include "vision/tracker.h"

TEST(Tracker, StartsEmptyWithItsFixedSizes) {
    Tracker t;
    EXPECT_EQ(t.targetFound, 0);
    EXPECT_EQ(t.targetPointCount, 10);
    EXPECT_EQ(t.houghAngleBins, 360);
    EXPECT_EQ(t.houghAngleSteps, 360);
    EXPECT_EQ(t.output, nullptr);
    EXPECT_EQ(t.contours, nullptr);
    EXPECT_EQ(t.corners.size(), 30000u);
    EXPECT_EQ(t.closedHits.size(), 100u);
    EXPECT_EQ(t.focalLength, 0.0f);
    const PointRecord p;
    EXPECT_EQ(p.value, -1);
    EXPECT_EQ(Contour{}.centre.row, 999);
}

TEST(Tracker, AngleTablesUseTheirOwnPi) {
    Tracker t;
    // 3.141516 rather than pi leaves cos(90) a little above zero.
    EXPECT_NEAR(t.cosTable[90], 3.8e-5, 0.2e-5);
    EXPECT_GT(t.cosTable[90], 0.0f);
    EXPECT_FLOAT_EQ(t.sinTable[30], static_cast<float>(std::sin(30 * 3.141516 / 180)));
    EXPECT_FLOAT_EQ(t.cosTable[0], 1.0f);
}

TEST(Tracker, OutputStorageIsKeptWhenAbsentAndDroppedOnResize) {
    Tracker t;
    t.setFrameSize(4, 5);
    t.ensureOutput();
    unsigned char* first = t.output;
    ASSERT_NE(first, nullptr);
    first[59] = 7;
    t.markOutputAbsent();
    EXPECT_EQ(t.output, nullptr);
    t.ensureOutput();
    EXPECT_EQ(t.output, first);  // reused, not lost
    t.sobelRow.assign(20, 1);
    t.setFrameSize(4, 5);
    EXPECT_EQ(t.sobelRow.size(), 20u);  // same size: buffers stay
    t.setFrameSize(6, 5);
    EXPECT_EQ(t.output, nullptr);
    EXPECT_TRUE(t.sobelRow.empty());
    t.ensureOutput();
    t.output[6 * 5 * 3 - 1] = 1;  // room for the new size
}
