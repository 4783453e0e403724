// The frame-rate meter: counts display passes and recomputes the rate every 20 passes.
#pragma once

#include "app/app_state.h"

constexpr int kFrameRatePasses = 20;

// Counts one display pass and updates the rate; no drawing.
void updateFrameRate(AppState& app);
// Counts the pass and shows the rate in green in the lower-left corner.
void drawFrameRate(AppState& app);
