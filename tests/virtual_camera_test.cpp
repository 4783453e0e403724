#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "camera/lens.h"
#include "capture/virtual_camera.h"

namespace {

struct Frame {
    int width, height;
    std::vector<unsigned char> bgr;
    double grey(double row, double col) const {  // bilinear, pixel centres at integers
        const int r0 = static_cast<int>(std::floor(row)), c0 = static_cast<int>(std::floor(col));
        const double fr = row - r0, fc = col - c0;
        auto at = [&](int r, int c) {
            r = std::clamp(r, 0, height - 1);
            c = std::clamp(c, 0, width - 1);
            const unsigned char* p = &bgr[(static_cast<size_t>(r) * width + c) * 3];
            return (p[0] + p[1] + p[2]) / 3.0;
        };
        return (1 - fr) * ((1 - fc) * at(r0, c0) + fc * at(r0, c0 + 1)) +
               fr * ((1 - fc) * at(r0 + 1, c0) + fc * at(r0 + 1, c0 + 1));
    }
};

Frame render(VirtualCamera& cam, const CameraPose& pose) {
    Frame f{cam.options().width, cam.options().height, std::vector<unsigned char>(cam.frameBytes())};
    cam.renderPose(pose, 0, f.bgr.data());
    return f;
}

// Where the frame shows the model point (X, Y): through the pinhole, then the lens if on.
bool shownAt(const VirtualCamera& cam, const CameraPose& pose, double X, double Y, double& row, double& col) {
    const auto& o = cam.options();
    if (!projectPoint(pose, virtualFocalLength(o.width), o.width, o.height, X, Y, col, row)) return false;
    if (o.lens) distortedPosition(lensParameters(o.width, o.height), col, row, col, row);
    return true;
}

// Measures how far the rendered ink/paper boundary lies from where the model puts it, at
// points along every edge of both rectangles: the 50 % crossing of the grey profile across
// the edge, against the projected edge point. Answers the worst distance in pixels.
double worstEdgeError(VirtualCamera& cam, const CameraPose& pose) {
    const Frame f = render(cam, pose);
    struct Edge { double x0, y0, x1, y1, nx, ny; };  // n points from ink to paper
    const double ox = kTargetOuterHalfX, oy = kTargetOuterHalfY;
    const Edge edges[] = {
        {-ox, -oy, ox, -oy, 0, -1}, {ox, -oy, ox, oy, 1, 0}, {ox, oy, -ox, oy, 0, 1}, {-ox, oy, -ox, -oy, -1, 0},
        {kTargetInnerMinX, kTargetInnerMinY, kTargetInnerMaxX, kTargetInnerMinY, 0, 1},
        {kTargetInnerMaxX, kTargetInnerMinY, kTargetInnerMaxX, kTargetInnerMaxY, -1, 0},
        {kTargetInnerMaxX, kTargetInnerMaxY, kTargetInnerMinX, kTargetInnerMaxY, 0, -1},
        {kTargetInnerMinX, kTargetInnerMaxY, kTargetInnerMinX, kTargetInnerMinY, 1, 0}};
    double worst = 0.0;
    for (const Edge& e : edges) {
        for (double s : {0.25, 0.5, 0.75}) {
            const double X = e.x0 + s * (e.x1 - e.x0), Y = e.y0 + s * (e.y1 - e.y0);
            double r, c, ri, ci, ro, co;
            shownAt(cam, pose, X, Y, r, c);
            shownAt(cam, pose, X - 8 * e.nx, Y - 8 * e.ny, ri, ci);  // on the ink
            shownAt(cam, pose, X + 8 * e.nx, Y + 8 * e.ny, ro, co);  // on the paper
            const double dark = f.grey(ri, ci), light = f.grey(ro, co), mid = 0.5 * (dark + light);
            // Walk from the ink towards the paper until the profile crosses the mid level.
            const double len = std::hypot(ro - ri, co - ci);
            const int steps = static_cast<int>(len / 0.02);
            double prev = dark, crossing = -1;
            for (int i = 1; i <= steps && crossing < 0; ++i) {
                const double t = static_cast<double>(i) / steps;
                const double v = f.grey(ri + t * (ro - ri), ci + t * (co - ci));
                if (v >= mid) crossing = (i - 1 + (mid - prev) / (v - prev)) / steps;
                prev = v;
            }
            EXPECT_GE(crossing, 0.0);
            const double cr = ri + crossing * (ro - ri), cc = ci + crossing * (co - ci);
            worst = std::max(worst, std::hypot(cr - r, cc - c));
        }
    }
    return worst;
}

}  // namespace

TEST(VirtualCamera, TargetEdgesLieWhereThePinholeModelPutsThem) {
    VirtualCamera cam(VirtualCameraOptions{});
    for (int n : {0, 137, 421, 900}) {
        SCOPED_TRACE(n);
        EXPECT_LT(worstEdgeError(cam, cam.poseOf(n)), 0.2);
    }
    // Straight on, turned 30 degrees, steeply tilted and close.
    for (const CameraPose& p : {lookAtPose(0, 0, 500, 0, 0, 0), lookAtPose(10, -5, 450, 0, 0, 30),
                                lookAtPose(0, 0, 420, 40, 70, -20)}) {
        EXPECT_LT(worstEdgeError(cam, p), 0.2);
    }
}

TEST(VirtualCamera, LensDistortionMovesEdgesAsTheLensModelSays) {
    VirtualCameraOptions o;
    o.lens = true;
    VirtualCamera cam(o);
    EXPECT_LT(worstEdgeError(cam, cam.poseOf(300)), 0.25);
    const LensParameters lens = lensParameters(320, 240);
    double c, r;
    undistortedPosition(lens, 5.0, 7.0, c, r);
    double dc, dr;
    distortedPosition(lens, c, r, dc, dr);
    EXPECT_NEAR(dc, 5.0, 1e-6);
    EXPECT_NEAR(dr, 7.0, 1e-6);
    EXPECT_NEAR(lensLightFraction(lens, 143, 135), 1.0, 1e-12);
    EXPECT_LT(lensLightFraction(lens, 0, 0), 0.75);
}

TEST(VirtualCamera, FramesAreDeterministicForSeedAndFrameNumber) {
    VirtualCameraOptions o;
    o.noise = 3.0;
    o.blur = 0.8;
    VirtualCamera a(o), b(o);
    std::vector<unsigned char> fa(a.frameBytes()), fb(b.frameBytes()), fc(a.frameBytes());
    a.render(42, fa.data());
    b.render(42, fb.data());
    EXPECT_EQ(fa, fb);
    a.render(43, fc.data());
    EXPECT_NE(fa, fc);
    o.seed = 2;
    VirtualCamera other(o);
    other.render(42, fc.data());
    EXPECT_NE(fa, fc);
    // Noise of the asked strength: compare with the clean frame.
    o.noise = 0.0;
    VirtualCamera clean(o);
    clean.render(42, fc.data());
    double sum = 0;
    for (size_t i = 0; i < fa.size(); ++i) sum += (fa[i] - fc[i]) * (fa[i] - fc[i]);
    EXPECT_NEAR(std::sqrt(sum / fa.size()), 3.0, 0.3);
}

TEST(VirtualCamera, OptionsParseAndRefuse) {
    VirtualCameraOptions o;
    std::string e;
    EXPECT_TRUE(parseVirtualCameraOptions("size=64x48,blur=1.5,fps=0,start=10", o, e)) << e;
    EXPECT_EQ(o.width, 64);
    EXPECT_EQ(o.start, 10);
    EXPECT_EQ(o.fps, 0.0);
    // Numbers far beyond an int are refused before they are converted (under the sanitizer, a
    // conversion of one is a fault of its own).
    for (const char* bad : {"size=64", "size=64x48x2", "noise=-1", "blur=nan", "fps=1e9", "what=1", "seed=x", "hand=3e17",
                            "jpeg=-9e18"}) {
        EXPECT_FALSE(parseVirtualCameraOptions(bad, o, e)) << bad;
    }
}
