// The point log "kalman.txt": records of the detected target points, centred on a
// 320 x 240 frame, for offline study of the tracking.
#pragma once

#include "app/app_state.h"

// Appends one record while the countdown lasts, then prints "acabou" on every call.
void logPoints(AppState& app);
