// The point log "kalman.txt": records of the detected target points, centred on the frame
// (for 320 x 240 frames: row - 120, col - 160), for offline study of the tracking.
#pragma once

#include "app/app_state.h"

// Appends one record while the countdown lasts, then prints "acabou" on every call.
void logPoints(AppState& app);
