// Where things stand in the window (pixels from its bottom-left corner, as OpenGL counts them):
// the window of 660 x 260, the live frame's slot at (10, 10) and the processed frame's at
// (330, 10), each 320 x 240; a frame of any size is scaled into its slot.
#pragma once

constexpr int kWindowWidth = 660;
constexpr int kWindowHeight = 260;
constexpr int kSlotWidth = 320;
constexpr int kSlotHeight = 240;
constexpr int kLiveSlotX = 10;
constexpr int kProcessedSlotX = 330;
constexpr int kSlotY = 10;
