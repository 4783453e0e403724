#include <gtest/gtest.h>

#include <cmath>

#include "app/frame_rate.h"

namespace {
double g_now = 0.0;
double fakeClock() { return g_now; }
}  // namespace

TEST(FrameRate, ZeroUntilTheTwentiethPassThenPassesPerSecond) {
    AppState app;
    app.clock = fakeClock;
    g_now = 1000.0;
    for (int i = 1; i <= 19; ++i) {
        g_now += 0.05;
        updateFrameRate(app);
        EXPECT_EQ(app.s_fps, 0.0) << "pass " << i;
    }
    g_now += 0.05;
    updateFrameRate(app);
    // 20 passes since the first, which came 0.05 s after the start: 19 x 0.05 s elapsed.
    EXPECT_NEAR(app.s_fps, 20.0 / 0.95, 1e-6);
    for (int i = 0; i < 20; ++i) {
        g_now += 0.1;
        updateFrameRate(app);
    }
    EXPECT_NEAR(app.s_fps, 10.0, 1e-6);
}

TEST(FrameRate, TwoMarksInTheSameMillisecondGiveZero) {
    AppState app;
    app.clock = fakeClock;
    g_now = 5.0;
    for (int i = 0; i < 40; ++i) updateFrameRate(app);
    EXPECT_EQ(app.s_fps, 0.0);
    EXPECT_EQ(app.s_frame_count, 40);
}

TEST(FrameRate, WallClockHasMillisecondResolution) {
    const double t = timeNow();
    EXPECT_GT(t, 1.7e9);
    EXPECT_NEAR(t * 1000.0, std::round(t * 1000.0), 1e-3);
}
