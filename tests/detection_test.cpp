// The target chain on the virtual camera's frames, against the truth the camera reports.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

#include "app/frame_loop.h"
#include "app/keyboard.h"
#include "capture/capture.h"
#include "capture/virtual_backend.h"
#include "capture/virtual_camera.h"
#include "vision/target_chain.h"

namespace {

// The smallest angle between an outline edge and an image axis, in degrees. Outlines within
// a degree or two of upright have cut-corner hulls with six vertices and are not taken.
double nearestAxisAngle(const VirtualFrameTruth& truth) {
    double best = 90.0;
    for (int base : {0, 5})
        for (int j = 0; j < 4; ++j) {
            const auto& a = truth.imagePoints[base + j];
            const auto& b = truth.imagePoints[base + (j + 1) % 4];
            double angle = std::fmod(std::fabs(std::atan2(b[0] - a[0], b[1] - a[1])) * 180.0 / M_PI, 90.0);
            best = std::min({best, angle, 90.0 - angle});
        }
    return best;
}

struct ChainResult {
    int usable = 0, found = 0;
    std::vector<double> errors;
    void report(const char* name) {
        std::printf("%s: found %d of %d usable frames (%.1f %%); point error median %.2f px, "
                    "95th %.2f px, max %.2f px\n",
                    name, found, usable, 100.0 * found / usable, quantile(0.5), quantile(0.95), quantile(1.0));
    }
    double quantile(double q) {
        std::sort(errors.begin(), errors.end());
        return errors[static_cast<size_t>(q * (errors.size() - 1))];
    }
};

ChainResult runChain(const VirtualCameraOptions& options, int frames) {
    VirtualCamera camera(options);
    std::vector<unsigned char> frame(camera.frameBytes());
    Tracker t;
    t.setFrameSize(options.height, options.width);
    ChainResult result;
    for (int n = 0; n < frames; ++n) {
        camera.render(n, frame.data());
        const VirtualFrameTruth truth = camera.truthOf(n);
        t.input = frame.data();
        runTargetChain(t);
        if (!truth.wholeTargetVisible || nearestAxisAngle(truth) < 2.0) continue;
        ++result.usable;
        if (!t.targetFound) continue;
        ++result.found;
        for (int i = 0; i < 10; ++i)
            result.errors.push_back(std::hypot(t.targetPoints[i].row - truth.imagePoints[i][0],
                                               t.targetPoints[i].col - truth.imagePoints[i][1]));
    }
    return result;
}

}  // namespace

TEST(Detection, FindsTheTargetAlongThePathWithPointsNearTheTruth) {
    VirtualCameraOptions clean;
    ChainResult r = runChain(clean, 450);
    r.report("clean");
    EXPECT_GT(r.usable, 300);
    // The closed-outline test of the fill misses now and then when the seed sits at the tip
    // of a sharp corner; everything else is found.
    EXPECT_GE(r.found, r.usable * 99 / 100);
    // Measured: 0.66, 1.54 and 2.45 px.
    EXPECT_LT(r.quantile(0.5), 0.8);
    EXPECT_LT(r.quantile(0.95), 1.8);
    EXPECT_LT(r.quantile(1.0), 3.0);
}

TEST(Detection, SurvivesSensorNoiseBlurAndTheLens) {
    VirtualCameraOptions rough;
    rough.noise = 3.0;
    rough.blur = 0.8;
    rough.lens = true;
    rough.start = 2000;
    ChainResult r = runChain(rough, 200);
    r.report("noise 3, blur 0.8, lens");
    EXPECT_GT(r.usable, 130);
    EXPECT_GE(r.found, r.usable * 98 / 100);
    EXPECT_LT(r.quantile(0.5), 0.8);
    EXPECT_LT(r.quantile(0.95), 1.8);
}

TEST(Detection, FrameLoopRunsEveryStepOnExtremePicturesWithoutTouchingTheLiveFrame) {
    for (int value : {0, 255, -1}) {
        SCOPED_TRACE(value);
        VirtualCameraOptions o;
        o.fps = 0;
        o.noise = value < 0 ? 60.0 : 0.0;  // -1: a busy, noisy picture
        CaptureDevice* dev = captureCreateWith(createVirtualBackend(o));
        ASSERT_NE(dev, nullptr);
        captureSelectDevice(dev, 0);
        captureSetRunning(dev, 1);
        Tracker t;
        AppState app;
        app.s_tracker = &t;
        app.s_capture = dev;
        runFramePass(app);
        if (value >= 0) std::fill(app.s_frame.begin(), app.s_frame.end(), static_cast<unsigned char>(value));
        const std::vector<unsigned char> live = app.s_frame;
        for (const char* keys : {"s", "c", "x", "e", "h", "csxeh", "gcsxeh", "rgcsxeh", "gsp"}) {
            app.s_key_r = app.s_key_g = app.s_key_c = app.s_key_s = app.s_key_x = app.s_key_e = app.s_key_h = 0;
            app.s_key_p = 0;
            for (const char* k = keys; *k; ++k) handleKey(app, static_cast<unsigned char>(*k));
            t.input = app.s_frame.data();
            testing::internal::CaptureStdout();
            runProcessingSteps(app);
            testing::internal::GetCapturedStdout();
            // Only the regions' red marks belong on the live picture.
            if (!app.s_key_p) {
                EXPECT_EQ(app.s_frame, live) << keys;
            }
            EXPECT_NE(t.output, nullptr) << keys;
        }
        captureDestroy(dev);
    }
}
