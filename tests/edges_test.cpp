#include <gtest/gtest.h>

#include "test_images.h"

TEST(Edges, SobelStepIsTwoPixelsWideAt1020) {
    Canvas in(8, 5, 0);
    for (int r = 0; r < 5; ++r)
        for (int c = 4; c < 8; ++c) in.set(r, c, 255);
    Tracker t;
    loadOutput(t, in);
    t.sobelEdges(1020);
    for (int c = 1; c < 7; ++c) {
        const bool edge = c == 3 || c == 4;
        EXPECT_EQ(t.output[(2 * 8 + c) * 3], edge ? 0 : 255) << c;
    }
    loadOutput(t, in);
    t.sobelEdges(1021);
    for (int r = 1; r < 4; ++r)
        for (int c = 1; c < 7; ++c) EXPECT_EQ(t.output[(r * 8 + c) * 3], 255);
}

TEST(Edges, ThinEdgesKeepATwoPixelStepAndSuppressItsFlanks) {
    Canvas in(10, 6, 0);
    for (int r = 0; r < 6; ++r) {
        for (int c = 5; c < 10; ++c) in.set(r, c, 255);
        in.set(r, 2, 40);  // a weak step two columns before the strong one
    }
    Tracker t;
    loadOutput(t, in);
    t.thinEdges(150, 100);
    for (int c = 1; c < 9; ++c) EXPECT_EQ(t.output[(3 * 10 + c) * 3], (c == 4 || c == 5) ? 0 : 255) << c;
    // Vertical step: dx = -255 at both columns, quotient 0, direction 0.
    EXPECT_EQ(t.gradDirection[3 * 10 + 4], 0.0f);
    EXPECT_EQ(t.gradMagnitude[3 * 10 + 5], 255.0f);
    // Border entries are never computed and read as 0.
    EXPECT_EQ(t.gradMagnitude[0], 0.0f);
    EXPECT_EQ(t.gradMagnitude[3 * 10 + 9], 0.0f);
}
