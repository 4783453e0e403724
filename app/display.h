// Window composition: the live frame, the processed frame, the frame rate and the 3-D content
// registered with the target.
#pragma once

#include "app/app_state.h"

constexpr int kWindowWidth = 660;
constexpr int kWindowHeight = 260;
// Each frame is shown scaled into a slot of 320 x 240 window pixels: the live frame's slot at
// (10, 10), the processed frame's at (330, 10), from the window's bottom-left corner.
constexpr int kSlotWidth = 320;
constexpr int kSlotHeight = 240;
constexpr int kLiveSlotX = 10;
constexpr int kProcessedSlotX = 330;
constexpr int kSlotY = 10;

void initGL();
void displayFrame(AppState& app);
void reshapeWindow(int width, int height);
