#include <gtest/gtest.h>

#include <random>

#include "test_images.h"

TEST(Corners, AnEdgeCornerPassesAStraightEdgeDoesNot) {
    Canvas c(60, 60);
    for (int i = 10; i < 50; ++i) {
        c.set(10, i, 0), c.set(11, i, 0);  // horizontal edge
        c.set(i, 10, 0), c.set(i, 11, 0);  // vertical edge meeting it at (10, 10)
    }
    Tracker t;
    loadOutput(t, c);
    t.detectCorners(1000000, 9);
    ASSERT_GE(t.cornerCount, 1);
    for (int i = 0; i < t.cornerCount; ++i) {
        EXPECT_LE(t.corners[i].row, 20);
        EXPECT_LE(t.corners[i].col, 20);
    }
    EXPECT_GE(countColour(t, 255, 0, 0), 16);

    Canvas straight(60, 60);
    for (int i = 5; i < 55; ++i) straight.set(30, i, 0), straight.set(31, i, 0);
    loadOutput(t, straight);
    t.detectCorners(1000000, 9);
    EXPECT_EQ(t.cornerCount, 0);
    Canvas white(60, 60);
    loadOutput(t, white);
    t.detectCorners(0, 9);
    EXPECT_EQ(t.cornerCount, 0);
    EXPECT_EQ(countColour(t, 255, 0, 0), 0);
}

TEST(Corners, CandidatesBeyondTheListAreDropped) {
    Canvas c(400, 400);
    for (int r = 0; r < 400; ++r)
        for (int col = 0; col < 400; ++col)
            if ((r / 2 + col / 2) % 2) c.set(r, col, 0);
    Tracker t;
    loadOutput(t, c);
    t.detectCorners(0, 9);
    EXPECT_LE(t.cornerCount, 30000);
    EXPECT_GE(t.cornerCount, 1);
}

TEST(Regions, ExtremesOfTurnedAndUprightOutlinesAreMarkedOnTheLivePicture) {
    Canvas c(200, 200);
    c.outlineSquare(60, 60, 60, 45);
    c.outlineSquare(140, 140, 50, 0);
    Canvas live(200, 200, 100);
    Tracker t;
    loadOutput(t, c);
    t.input = live.bgr.data();
    testing::internal::CaptureStdout();
    t.labelRegions();
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "2\n");
    ASSERT_EQ(t.selectedCount, 2);
    t.markExtremes();
    ASSERT_EQ(t.extremePoints.size(), 8u);
    const PointRecord* e = t.extremePoints.data();
    // The diamond's tips.
    EXPECT_NEAR(e[0].row, 60 - 42, 2);
    EXPECT_NEAR(e[0].col, 60, 2);
    EXPECT_NEAR(e[1].row, 60 + 42, 2);
    EXPECT_NEAR(e[2].col, 60 - 42, 2);
    EXPECT_NEAR(e[3].col, 60 + 42, 2);
    // The upright square's corners, as the scan order picks them.
    EXPECT_EQ(e[4].row, 115);
    EXPECT_EQ(e[4].col, 164);
    EXPECT_EQ(e[5].row, 164);
    EXPECT_EQ(e[5].col, 115);
    EXPECT_EQ(e[6].row, 115);
    EXPECT_EQ(e[6].col, 115);
    EXPECT_EQ(e[7].row, 164);
    EXPECT_EQ(e[7].col, 164);
    EXPECT_EQ(live.at(115, 164)[2], 255);  // red marks on the live picture
    EXPECT_EQ(live.at(115, 164)[0], 0);
    EXPECT_EQ(t.selectedIndex(t.selectedLabels[1]), 1);
    EXPECT_EQ(t.selectedIndex(12345), -1);
}

namespace {

// The regions of `edges` with their marks painted on `live`, the console's count dropped.
void markRegions(Tracker& t, Canvas& edges, Canvas& live) {
    loadOutput(t, edges);
    t.input = live.bgr.data();
    testing::internal::CaptureStdout();
    t.labelRegions();
    testing::internal::GetCapturedStdout();
    t.markExtremes();
}

}  // namespace

TEST(Regions, MarksAtTheBorderAreCutNotWrittenOutside) {
    Canvas c(60, 60);
    c.fillSquare(10, 10, 20, 0);  // touches row 0 and column 0
    Canvas live(60, 60, 100);
    Tracker t;
    markRegions(t, c, live);
    EXPECT_EQ(live.at(0, 0)[2], 255);
}

TEST(Hough, ALineCollectsTheMostVotesAndFewVotesShowBlack) {
    Canvas c(320, 240);
    for (int col = 20; col < 300; ++col) c.set(100, col, 0);  // row 100: distance 100 at angle 0
    Tracker t;
    loadOutput(t, c);
    t.houghLines(400, 100);
    const int* v = t.houghVotes.data();
    EXPECT_EQ(v[100 * 360 + 0], 280);
    EXPECT_EQ(*std::max_element(t.houghVotes.begin(), t.houghVotes.end()), 280);
    EXPECT_EQ(t.output[(100 * 320 + 0) * 3], 255);
    for (int k = 0; k < 400 * 360; ++k) {
        const int r = k / 360, a = k % 360;
        if (r >= 240 || a >= 320) continue;
        const unsigned char g = t.output[(r * 320 + a) * 3];
        if (v[k] < 11) ASSERT_EQ(g, 0);
        else ASSERT_EQ(g, v[k] * 255 / 280);
    }
}

TEST(Hough, LargeFramesDropVotesBeyondTheTable) {
    Canvas c(640, 480, 0);
    Tracker t;
    loadOutput(t, c);
    t.houghLines(400, 100);
    EXPECT_EQ(t.houghVotes.size(), 400u * 360);
    Canvas white(640, 480);
    loadOutput(t, white);
    t.houghLines(400, 100);
    EXPECT_EQ(countColour(t, 0, 0, 0), 640 * 480);
}

TEST(Regions, Regression_SentinelsOfLargeFramesAreNeverPainted) {
    // A region that lies wholly beyond row and column 999 of a large frame: its extremes must
    // replace the "not yet seen" marks, and nothing is painted at (999, 999).
    Canvas c(1200, 1100);
    c.fillSquare(1040, 1100, 60, 0);
    Canvas live(1200, 1100, 100);
    Tracker t;
    markRegions(t, c, live);
    ASSERT_EQ(t.selectedCount, 1);
    EXPECT_EQ(live.at(999, 999)[2], 100);
    for (int i = 0; i < 4; ++i) {
        EXPECT_GE(t.extremePoints[i].row, 1010) << i;
        EXPECT_LT(t.extremePoints[i].row, 1070) << i;
    }
}
