#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "app/frame_loop.h"
#include "app/point_log.h"
#include "app_fixture.h"

TEST(FrameLoop, PausedOrWithoutDeviceNothingHappens) {
    AppFixture f;
    captureSetRunning(f.app.s_capture, 0);
    EXPECT_FALSE(runFramePass(f.app));
    EXPECT_EQ(f.device->grabs, 0);
    EXPECT_TRUE(f.app.s_frame.empty());
    EXPECT_EQ(f.app.processedFrames, 0);

    Tracker t;
    AppState bare;
    bare.s_tracker = &t;
    EXPECT_FALSE(runFramePass(bare));
}

TEST(FrameLoop, TimeOutProcessesThePreviousFrameAgain) {
    AppFixture f;
    runFramePass(f.app);
    f.device->timeOut = true;
    EXPECT_TRUE(runFramePass(f.app));
    EXPECT_EQ(f.app.s_frame[0], 1);
    EXPECT_EQ(f.app.processedFrames, 2);
}

TEST(FrameLoop, AnUnpluggedCameraStopsTheLoopAndTheLastFrameStays) {
    AppFixture f;
    runFramePass(f.app);
    f.device->lost = true;
    EXPECT_FALSE(runFramePass(f.app));
    EXPECT_EQ(f.app.s_frame[0], 1);
    EXPECT_EQ(f.app.processedFrames, 1);
    EXPECT_EQ(captureSetRunning(f.app.s_capture, -1), 0);
    EXPECT_FALSE(runFramePass(f.app));
}

TEST(FrameLoop, AFrameSizeChangeKeepsBufferTrackerAndCopyInStep) {
    AppFixture f;
    runFramePass(f.app);
    f.tracker.ensureOutput();
    f.device->width = 16;
    f.device->height = 10;
    runFramePass(f.app);
    EXPECT_EQ(f.app.s_frame.size(), 16u * 10 * 3);
    EXPECT_EQ(f.device->lastCopyBytes, 16u * 10 * 3);
    EXPECT_EQ(f.tracker.width, 16);
    EXPECT_EQ(f.tracker.height, 10);
    f.device->width = 4;
    f.device->height = 2;
    runFramePass(f.app);
    EXPECT_EQ(f.app.s_frame.size(), 4u * 2 * 3);
    EXPECT_EQ(f.device->lastCopyBytes, 4u * 2 * 3);
}

TEST(FrameLoop, ZeroSizedFramesAreHarmless) {
    AppFixture f;
    f.device->width = 0;
    f.device->height = 0;
    EXPECT_TRUE(runFramePass(f.app));
    EXPECT_TRUE(f.app.s_frame.empty());
    EXPECT_EQ(f.device->grabs, 0);
}
