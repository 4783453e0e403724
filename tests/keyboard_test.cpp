#include <gtest/gtest.h>

#include <utility>

#include "app/keyboard.h"
#include "app_fixture.h"

TEST(Keyboard, LetterKeysToggleTheirFlagsAndNothingElse) {
    AppFixture f;
    AppState& a = f.app;
    const std::pair<unsigned char, uint8_t AppState::*> toggles[] = {
        {'c', &AppState::s_key_c}, {'e', &AppState::s_key_e}, {'g', &AppState::s_key_g},
        {'h', &AppState::s_key_h}, {'k', &AppState::s_key_k}, {'m', &AppState::s_key_m},
        {'n', &AppState::s_key_n}, {'p', &AppState::s_key_p}, {'r', &AppState::s_key_r},
        {'s', &AppState::s_key_s}, {'x', &AppState::s_key_x}};
    for (const auto& [key, flag] : toggles) {
        SCOPED_TRACE(key);
        EXPECT_EQ(handleKey(a, key), KeyAction::None);
        EXPECT_EQ(a.*flag, 1);
        int on = 0;
        for (const auto& other : toggles) on += a.*(other.second);
        EXPECT_EQ(on, 1);
        handleKey(a, key);
        EXPECT_EQ(a.*flag, 0);
    }
    EXPECT_EQ(a.s_log_enabled, 0);
}

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
