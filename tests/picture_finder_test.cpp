// The target found in the picture itself (TargetFinder::findInPicture), on drawn pictures whose
// truth is exact: where it must find the target and put its corners, and the look-alikes it must
// refuse.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "vision/target_finder.h"
#include "vision/target_model.h"

namespace {

struct Drawing {
    int width, height;
    std::vector<unsigned char> bgr;
    // Where the target lies: its middle at (col, row), `scale` pixels a millimetre, turned by deg.
    double col, row, scale, deg;

    // Pixel-centre coordinates of the target's point (X, Y).
    void place(double X, double Y, double& x, double& y) const {
        const double a = deg * M_PI / 180, c = std::cos(a), s = std::sin(a);
        x = col + scale * (X * c - Y * s), y = row + scale * (X * s + Y * c);
    }
};

// Ink where `ink` says, paper elsewhere, 4 x 4 samples a pixel. `ink` takes target millimetres.
template <typename Ink>
Drawing draw(int width, int height, double col, double row, double scale, double deg, Ink ink) {
    Drawing d{width, height, std::vector<unsigned char>(static_cast<size_t>(width) * height * 3), col, row, scale, deg};
    const double a = deg * M_PI / 180, c = std::cos(a), s = std::sin(a);
    for (int r = 0; r < height; ++r)
        for (int q = 0; q < width; ++q) {
            int inked = 0;
            for (int i = 0; i < 4; ++i)
                for (int j = 0; j < 4; ++j) {
                    const double x = q - 0.375 + 0.25 * j - col, y = r - 0.375 + 0.25 * i - row;
                    inked += ink((x * c + y * s) / scale, (-x * s + y * c) / scale);
                }
            const unsigned char v = static_cast<unsigned char>(200 - (200 - 40) * inked / 16);
            for (int ch = 0; ch < 3; ++ch) d.bgr[3 * (static_cast<size_t>(r) * width + q) + ch] = v;
        }
    return d;
}

bool targetInk(double X, double Y) {
    const bool outer = std::fabs(X) < kTargetOuterHalfX && std::fabs(Y) < kTargetOuterHalfY;
    const bool hole = X > kTargetInnerMinX && X < kTargetInnerMaxX && Y > kTargetInnerMinY && Y < kTargetInnerMaxY;
    return outer && !hole;
}

// Found, with every corner within `tolerance` pixels of the truth.
::testing::AssertionResult findsTarget(const Drawing& d, double tolerance) {
    Tracker t;
    t.setFrameSize(d.height, d.width);
    t.input = const_cast<unsigned char*>(d.bgr.data());
    TargetFinder finder;
    TargetCorners corners;
    if (!finder.findInPicture(t, corners)) return ::testing::AssertionFailure() << "not found";
    for (int i = 0; i < 8; ++i) {
        double x, y;
        d.place(kTargetCornerMm[i][0], kTargetCornerMm[i][1], x, y);
        const double off = std::hypot(corners.xy[i][0] - x, corners.xy[i][1] - y);
        if (off > tolerance) return ::testing::AssertionFailure() << "corner " << i << " " << off << " px off";
    }
    return ::testing::AssertionSuccess();
}

bool findsAnything(const Drawing& d) {
    Tracker t;
    t.setFrameSize(d.height, d.width);
    t.input = const_cast<unsigned char*>(d.bgr.data());
    TargetFinder finder;
    TargetCorners corners;
    return finder.findInPicture(t, corners);
}

}  // namespace

TEST(PictureFinder, FindsTheTargetNearEveryEdgeInFramesOfEitherShape) {
    // 0.3 px a millimetre: the thinnest border (18 mm) is 5.4 px. Each placement leaves some
    // 6 pixels between the target's outermost corner and the frame's edge. The corners are the
    // whole-pixel ones the refinement starts from: within 3 px.
    for (auto [w, h] : {std::pair{320, 180}, std::pair{180, 320}}) {
        const double s = 0.3, mx = kTargetOuterHalfX * s + 8, my = kTargetOuterHalfY * s + 8;
        for (auto [col, row] : {std::pair{mx, h / 2.0}, std::pair{w - mx, h / 2.0}, std::pair{w / 2.0, my},
                                std::pair{w / 2.0, h - my}})
            EXPECT_TRUE(findsTarget(draw(w, h, col, row, s, 4, targetInk), 3.0)) << w << "x" << h << " at " << col << "," << row;
    }
}

TEST(PictureFinder, FindsThinBordersAndInkThatTouchesOnlyAtCorners) {
    // A far target: borders of 3 px.
    EXPECT_TRUE(findsTarget(draw(320, 240, 150, 110, 3.0 / 18, 10, targetInk), 2.5));
    // The ring cut through on each side by a diagonal line of paper one pixel wide: its four
    // pieces touch only corner to corner across the cuts, so the ink must be joined across corners
    // to close the ring (and the paper only along sides, or a cut would join the hole to the sheet).
    Drawing cut = draw(320, 240, 160, 120, 0.6, 0, targetInk);
    auto paper = [&](int r, int c) {
        for (int ch = 0; ch < 3; ++ch) cut.bgr[3 * (static_cast<size_t>(r) * cut.width + c) + ch] = 200;
    };
    for (int k = 0; k <= 22; ++k) paper(125 + k, 102 + k);  // across the left border, cols 105-119
    for (int k = 0; k <= 26; ++k) paper(125 + k, 190 + k);  // across the right border, cols 193-214
    for (int k = 0; k <= 21; ++k) paper(150 + k, 150 + k);  // across the top border, rows 154-168
    for (int k = 0; k <= 43; ++k) paper(69 + k, 130 + k);   // across the bottom border, rows 72-109
    EXPECT_TRUE(findsTarget(cut, 2.5));
}

TEST(PictureFinder, RefusesWhatOnlyLooksLikeTheTarget) {
    // A dark rectangle with no hole.
    EXPECT_FALSE(findsAnything(draw(320, 240, 160, 120, 0.8, 5, [](double X, double Y) {
        return std::fabs(X) < kTargetOuterHalfX && std::fabs(Y) < kTargetOuterHalfY;
    })));
    // The target with one outer corner beyond the frame's edge is not taken for a whole one.
    Drawing cut = draw(320, 240, 65, 120, 0.8, 0, targetInk);
    Tracker t;
    t.setFrameSize(cut.height, cut.width);
    t.input = cut.bgr.data();
    TargetFinder finder;
    TargetCorners corners;
    if (finder.findInPicture(t, corners))
        for (int i = 0; i < 8; ++i) {
            double x, y;
            cut.place(kTargetCornerMm[i][0], kTargetCornerMm[i][1], x, y);
            EXPECT_LT(std::hypot(corners.xy[i][0] - x, corners.xy[i][1] - y), 2.0) << i;
        }
}
