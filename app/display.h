// Window composition: the live frame, the processed frame, the frame rate and the 3-D content
// registered with the target.
#pragma once

#include "app/app_state.h"

constexpr int kWindowWidth = 660;
constexpr int kWindowHeight = 260;

void initGL();
void displayFrame(AppState& app);
void reshapeWindow(int width, int height);
