#include <gtest/gtest.h>

#include "app/keyboard.h"
#include "app_fixture.h"

TEST(Keyboard, SpacePausesAndResumesCapture) {
    AppFixture f;
    handleKey(f.app, ' ');
    EXPECT_EQ(captureSetRunning(f.app.s_capture, -1), 0);
    EXPECT_FALSE(f.device->streaming);
    handleKey(f.app, ' ');
    EXPECT_EQ(captureSetRunning(f.app.s_capture, -1), 1);
    EXPECT_TRUE(f.device->streaming);
}

TEST(Keyboard, EscReleasesCaptureAndFrameThenAsksToExit) {
    AppFixture f;
    f.app.s_frame.assign(30, 1);
    EXPECT_EQ(handleKey(f.app, 27), KeyAction::Exit);
    EXPECT_EQ(f.app.s_capture, nullptr);
    EXPECT_TRUE(f.app.s_frame.empty());
    EXPECT_EQ(f.device->openDevice, -1);
}
