#include <gtest/gtest.h>

#include <functional>
#include <random>

#include "test_images.h"
#include "vision/geometry.h"

namespace {

int selectedAfterLabelling(Canvas& c) {
    Tracker t;
    loadOutput(t, c);
    t.labelContours();
    const int n = t.contours->count;
    t.drawContours();
    return n;
}

// The fill as a plain recursion, the reference for the visiting order and step counts.
struct RecursiveFill {
    const Tracker& t;
    std::vector<int> labels;
    std::vector<int> hits = std::vector<int>(100, 0);
    int seedRow = 0, seedCol = 0;

    void fill(int row, int col, int label, int steps) {
        if (row >= t.height || col >= t.width) return;
        labels[row * t.width + col] = label;
        for (int dr = -2; dr <= 2; ++dr)
            for (int dc = -2; dc <= 2; ++dc) {
                const int nr = row + dr, nc = col + dc;
                if (nr < 0 || nc < 0 || nr >= t.height || nc >= t.width) continue;
                if (steps > 190 && std::abs(seedRow - nr) <= 8 && std::abs(seedCol - nc) <= 8 && dr && dc && label < 100)
                    ++hits[label];
                if (t.output[3 * (nr * t.width + nc)] == 0 && labels[nr * t.width + nc] == 0) {
                    ++steps;
                    fill(nr, nc, label, steps);
                }
            }
    }
};

}  // namespace

TEST(Contours, ClosedTwoPixelOutlinesOfFortyAreSelectedSmallerOrOpenOnesNot) {
    Canvas forty(80, 80);
    forty.outlineSquare(40, 40, 40, 0);
    EXPECT_EQ(selectedAfterLabelling(forty), 1);
    Canvas thirty(80, 80);
    thirty.outlineSquare(40, 40, 30, 0);
    EXPECT_EQ(selectedAfterLabelling(thirty), 0);
    Canvas gap(80, 80);
    gap.outlineSquare(40, 40, 40, 0);
    for (int r = 20; r < 22; ++r)
        for (int c = 38; c < 42; ++c) gap.set(r, c, 255);
    EXPECT_EQ(selectedAfterLabelling(gap), 0);
    Canvas thin(80, 80);
    thin.outlineSquare(40, 40, 40, 0, 1);
    EXPECT_EQ(selectedAfterLabelling(thin), 0);
    Canvas filled20(60, 60), filled15(60, 60);
    filled20.fillSquare(30, 30, 20, 0);
    filled15.fillSquare(30, 30, 15, 0);
    EXPECT_EQ(selectedAfterLabelling(filled20), 1);
    EXPECT_EQ(selectedAfterLabelling(filled15), 0);
}

TEST(Contours, TurnedSquareHasFourVerticesAndItsCentreAxisAlignedHasSix) {
    for (double deg : {10.0, 30.0, 55.0, 80.0}) {
        SCOPED_TRACE(deg);
        Canvas c(120, 120);
        c.outlineSquare(60, 60, 50, deg);
        Tracker t;
        loadOutput(t, c);
        t.labelContours();
        ASSERT_EQ(t.contours->count, 1);
        const Contour& ct = t.contours->items[0];
        EXPECT_EQ(ct.vertexCount, 4);
        EXPECT_NEAR(ct.centre.row, 60, 1.5);
        EXPECT_NEAR(ct.centre.col, 60, 1.5);
        t.drawContours();
        EXPECT_EQ(t.contours, nullptr);
    }
    Canvas c(120, 120);
    c.outlineSquare(60, 60, 50, 0);
    Tracker t;
    loadOutput(t, c);
    t.labelContours();
    ASSERT_EQ(t.contours->count, 1);
    EXPECT_EQ(t.contours->items[0].vertexCount, 6);
    EXPECT_EQ(t.contours->items[0].centre.row, 999);
}

TEST(Contours, FilledSquaresThroughSobelGiveTwoFourCorneredOutlines) {
    Canvas c(320, 240);
    c.fillSquare(80, 90, 50, 20);
    c.fillSquare(130, 220, 90, 20);
    Tracker t;
    loadOutput(t, c);
    t.sobelEdges(240);
    t.labelContours();
    ASSERT_EQ(t.contours->count, 2);
    for (int i = 0; i < 2; ++i) EXPECT_EQ(t.contours->items[i].vertexCount, 4);
    EXPECT_NEAR(t.contours->items[0].centre.row, 80, 1.5);
    EXPECT_NEAR(t.contours->items[0].centre.col, 90, 1.5);
    EXPECT_NEAR(t.contours->items[1].centre.row, 130, 1.5);
    EXPECT_NEAR(t.contours->items[1].centre.col, 220, 1.5);
    // Labelling paints everything white; the overlay then paints the outlines back.
    const int white = countColour(t, 255, 255, 255);
    EXPECT_EQ(white, t.pixelCount());
    t.drawContours();
    EXPECT_GT(countColour(t, 255, 255, 255), t.pixelCount() - 2000);
    EXPECT_LT(countColour(t, 255, 255, 255), t.pixelCount());
}

TEST(Contours, FillMatchesTheRecursiveDefinitionInOrderAndCounts) {
    std::mt19937 rng(5);
    for (int trial = 0; trial < 20; ++trial) {
        Canvas c(48, 40);
        // Random outlines and blobs: enough pixels for long fills that return near their seed.
        for (int i = 0; i < 4; ++i)
            c.outlineSquare(8 + rng() % 24, 8 + rng() % 32, 12 + rng() % 20, rng() % 90, 1 + rng() % 2);
        for (int i = 0; i < 60; ++i) c.set(rng() % 40, rng() % 48, 0);
        Tracker t;
        loadOutput(t, c);
        RecursiveFill ref{t, std::vector<int>(t.pixelCount(), 0)};
        int next = 0;
        for (int r = 1; r < t.height - 1; ++r)
            for (int col = 1; col < t.width - 1; ++col)
                if (t.output[3 * (r * t.width + col)] == 0 && ref.labels[r * t.width + col] == 0) {
                    ref.seedRow = r;
                    ref.seedCol = col;
                    ref.fill(r, col, ++next, 0);
                }
        t.labelContours();
        EXPECT_EQ(t.labels, ref.labels);
        EXPECT_EQ(t.closedHits, ref.hits);
        t.drawContours();
    }
}

TEST(Contours, ExtremePicturesNeitherCrashNorSelectLabelsBeyondTheTable) {
    Canvas black(640, 480, 0);  // one fill 300000 pixels deep
    Tracker t;
    loadOutput(t, black);
    t.labelContours();
    EXPECT_EQ(t.contours->count, 1);
    t.identifyTarget();
    EXPECT_EQ(t.targetFound, 0);
    t.drawContours();

    Canvas busy(320, 240);  // 220 small closed outlines: labels far beyond 100
    for (int i = 0; i < 11; ++i)
        for (int j = 0; j < 20; ++j) busy.outlineSquare(10 + i * 21, 8 + j * 16, 14, 0, 1);
    loadOutput(t, busy);
    t.labelContours();
    EXPECT_EQ(t.labelSizes.size(), 221u);
    EXPECT_EQ(t.contours->count, 0);
    t.drawContours();

    Canvas white(320, 240);
    loadOutput(t, white);
    t.labelContours();
    EXPECT_EQ(t.contours->count, 0);
    t.drawContours();
}

TEST(Geometry, HullOfEdgeCasesAndParallelLines) {
    PointRecord hull[8];
    EXPECT_EQ(convexHull(nullptr, 0, hull), 0);
    const PointRecord row[3] = {{5, 1, 0, 0, 0}, {5, 2, 0, 0, 0}, {5, 7, 0, 0, 0}};
    EXPECT_EQ(convexHull(row, 3, hull), 3);
    EXPECT_EQ(hull[1].col, 7);
    EXPECT_EQ(convexHull(row, 1, hull), 2);
    // A diamond and its inside point: the hull is the four tips, closed, counter-clockwise.
    const PointRecord diamond[5] = {{0, 5, 0, 0, 0}, {5, 0, 0, 0, 0}, {5, 5, 0, 0, 0}, {5, 10, 0, 0, 0}, {10, 5, 0, 0, 0}};
    ASSERT_EQ(convexHull(diamond, 5, hull), 5);
    EXPECT_EQ(hull[0].row, 0);
    EXPECT_EQ(hull[4].row, 0);
    for (int i = 0; i < 3; ++i) {
        const long long turn = static_cast<long long>(hull[i + 1].row - hull[i].row) * (hull[i + 2].col - hull[i].col) -
                               static_cast<long long>(hull[i + 2].row - hull[i].row) * (hull[i + 1].col - hull[i].col);
        EXPECT_GT(turn, 0);
    }
    const PointRecord a{0, 0, 0, 0, 0}, b{10, 10, 0, 0, 0}, c{0, 10, 0, 0, 0}, d{10, 0, 0, 0, 0}, e{5, 0, 0, 0, 0}, f{15, 10, 0, 0, 0};
    const PointRecord x = intersectLines(a, b, c, d);
    EXPECT_EQ(x.value, 0);
    EXPECT_EQ(x.row, 5);
    EXPECT_EQ(x.col, 5);
    EXPECT_EQ(intersectLines(a, b, e, f).value, -1);
}
