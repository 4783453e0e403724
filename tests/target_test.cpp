#include <gtest/gtest.h>

#include <cmath>

#include "test_images.h"

namespace {

double dist(const PointRecord& p, double r, double c) { return std::hypot(p.row - r, p.col - c); }

// Corners of the square of side s centred at (cr, cc) turned by deg.
std::vector<std::array<double, 2>> cornersOf(double cr, double cc, double s, double deg) {
    const double a = deg * 3.14159265358979323846 / 180.0, h = s / 2;
    std::vector<std::array<double, 2>> out;
    for (auto [u, v] : {std::pair{-h, -h}, {-h, h}, {h, h}, {h, -h}})
        out.push_back({cr + u * std::cos(a) - v * std::sin(a), cc + u * std::sin(a) + v * std::cos(a)});
    return out;
}

}  // namespace

TEST(Target, TwoTurnedSquaresGiveTheirCornersInTargetOrder) {
    Canvas c(320, 240);
    c.outlineSquare(60, 230, 50, 15);
    c.outlineSquare(130, 120, 90, 15);
    Tracker t;
    loadOutput(t, c);
    t.labelContours();
    t.identifyTarget();
    ASSERT_EQ(t.targetFound, 1);
    const auto& p = t.targetPoints;
    EXPECT_LT(dist(p[4], 60, 230), 2.0);
    EXPECT_LT(dist(p[9], 130, 120), 2.0);
    // Entries 2 and 3: the small square's two corners nearest the large square.
    auto smallCorners = cornersOf(60, 230, 50, 15);
    std::sort(smallCorners.begin(), smallCorners.end(), [](auto& a, auto& b) {
        return std::hypot(a[0] - 130, a[1] - 120) < std::hypot(b[0] - 130, b[1] - 120);
    });
    for (int e : {2, 3}) {
        const double best = std::min(dist(p[e], smallCorners[0][0], smallCorners[0][1]), dist(p[e], smallCorners[1][0], smallCorners[1][1]));
        EXPECT_LT(best, 3.0) << e;
    }
    // Entries 7 and 8: the large square's two corners farthest from the small one.
    auto largeCorners = cornersOf(130, 120, 90, 15);
    std::sort(largeCorners.begin(), largeCorners.end(), [](auto& a, auto& b) {
        return std::hypot(a[0] - 60, a[1] - 230) > std::hypot(b[0] - 60, b[1] - 230);
    });
    for (int e : {7, 8}) {
        const double best = std::min(dist(p[e], largeCorners[0][0], largeCorners[0][1]), dist(p[e], largeCorners[1][0], largeCorners[1][1]));
        EXPECT_LT(best, 3.0) << e;
    }
    t.drawContours();
    const int painted = t.pixelCount() - countColour(t, 255, 255, 255);
    EXPECT_EQ(painted, countColour(t, 255, 0, 0) + countColour(t, 0, 0, 255) + countColour(t, 0, 255, 0) + countColour(t, 255, 0, 255));
    EXPECT_GT(painted, 300);
}

TEST(Target, PicksTheTwoFourCorneredOutlinesAmongOthers) {
    Canvas c(320, 240);
    c.outlineSquare(50, 50, 60, 0);  // axis-aligned: six vertices, not a candidate
    c.outlineSquare(120, 200, 50, 25);
    c.outlineSquare(160, 90, 70, 25);
    Tracker t;
    loadOutput(t, c);
    t.labelContours();
    ASSERT_EQ(t.contours->count, 3);
    t.identifyTarget();
    EXPECT_EQ(t.targetFound, 1);
    EXPECT_LT(dist(t.targetPoints[4], 120, 200), 2.0);
    EXPECT_LT(dist(t.targetPoints[9], 160, 90), 2.0);
    t.drawContours();
}

TEST(Target, OtherThanTwoCandidatesLeavesThePointsAlone) {
    Canvas c(320, 240);
    c.outlineSquare(120, 160, 60, 20);
    Tracker t;
    loadOutput(t, c);
    t.labelContours();
    t.identifyTarget();
    EXPECT_EQ(t.targetFound, 0);
    ASSERT_EQ(t.targetPoints.size(), 10u);
    EXPECT_EQ(t.targetPoints[9].value, -1);  // still the constructed record
    t.drawContours();
    t.identifyTarget();  // no contour list: nothing found, nothing read
    EXPECT_EQ(t.targetFound, 0);
}

TEST(Target, Regression_OutlinesWithEqualCentresAreNotTakenForTheTarget) {
    // Two nested four-cornered outlines about one centre give no direction from the large
    // centre to the small one, so no corner order: "found" would hand on stale points.
    ContourList list;
    list.items.resize(2);
    list.count = 2;
    const int half[2] = {20, 40};
    for (int i = 0; i < 2; ++i) {
        Contour& ct = list.items[i];
        const int h = half[i];
        ct.vertices = {{120 - h, 160 - h}, {120 - h, 160 + h}, {120 + h, 160 + h}, {120 + h, 160 - h}};
        ct.vertexCount = 4;
        ct.centre = PointRecord{120, 160, 0, 0, 0};
    }
    Tracker t;
    t.setFrameSize(240, 320);
    t.contours = &list;
    t.identifyTarget();
    EXPECT_EQ(t.targetFound, 0);
}
