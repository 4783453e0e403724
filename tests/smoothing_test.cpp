#include <gtest/gtest.h>

#include "test_images.h"

TEST(Smoothing, WithoutOutputABrightPixelBecomesAVerticalStreak) {
    Canvas in(7, 7, 0);
    in.set(3, 3, 200);
    in.set(0, 3, 100);  // on the first row only the row pass applies
    Tracker t;
    t.setFrameSize(7, 7);
    t.input = in.bgr.data();
    t.smoothImage();
    ASSERT_NE(t.output, nullptr);
    auto out = [&](int r, int c) { return t.output[(r * 7 + c) * 3 + 1]; };
    EXPECT_EQ(out(3, 3), 100);
    EXPECT_EQ(out(2, 3), 50);
    EXPECT_EQ(out(4, 3), 50);
    EXPECT_EQ(out(3, 2), 0);
    EXPECT_EQ(out(3, 4), 0);
    EXPECT_EQ(out(0, 3), 50);
    EXPECT_EQ(out(0, 2), 25);
    EXPECT_EQ(in.at(3, 3)[0], 200);  // the live frame is only read
}

TEST(Smoothing, InPlaceARowStepSpreadsThreePixelsRight) {
    Canvas in(6, 3, 0);
    Tracker t;
    t.setFrameSize(3, 6);
    t.input = in.bgr.data();
    t.ensureOutput();
    const unsigned char row[6] = {255, 255, 0, 0, 0, 0};
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 6; ++c)
            for (int ch = 0; ch < 3; ++ch) t.output[(r * 6 + c) * 3 + ch] = row[c];
    t.smoothImage();
    const unsigned char expected[6] = {255, 191, 47, 11, 2, 0};
    for (int c = 0; c < 6; ++c) EXPECT_EQ(t.output[c * 3], expected[c]) << c;  // row 0: row pass only
}

TEST(LensCorrection, WithoutTablesItCopiesAndWithTablesItClampsAndStaysInside) {
    Canvas in(2, 2, 0);
    in.at(0, 0)[0] = 100;
    in.at(0, 1)[0] = 200;
    Tracker t;
    t.setFrameSize(2, 2);
    t.input = in.bgr.data();
    t.applyLensCorrection();
    EXPECT_EQ(t.output[3], 200);

    t.lensIndex = {0, 3, 0, 9000};     // the last offset lies outside the frame
    t.lensIndexX = {3, 3, -30, 3};
    t.lensIndexY = {0, 0, 0, 0};
    t.lensWeight = {1.0f, 1.0f, 0.5f, 1.0f};
    t.lensWeightX = {0.0f, 0.0f, 0.5f, 0.0f};
    t.lensWeightY = {0.0f, 0.0f, 0.0f, 0.0f};
    t.lensGain = {2.559f, 1.27495f, 1.0f, 1.0f};
    t.applyLensCorrection();
    EXPECT_EQ(t.output[0], 255);  // 255.9 is written as 255
    EXPECT_EQ(t.output[3], 254);  // 254.99 is written as 254
    EXPECT_EQ(t.output[6], 50);   // the neighbour outside the frame reads as black
    EXPECT_EQ(t.output[9], 0);
}
