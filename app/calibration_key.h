// Key "a": calibrate the camera in use from the target in view, write "pontos1.txt" in the
// working folder, and use it at once. Says on stderr what it did, or why it could not (the
// target not tracked, or not tilted enough for the focal length to show).
#pragma once

#include "app/app_state.h"

void calibrateFromView(AppState& app);
