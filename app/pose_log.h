// --poses: the tracking as a CSV file for other programs, one row per processed frame.
#pragma once

#include "app/app_state.h"

void writePoseHeader(FILE* file);
// The row of the frame about to be counted: found 1 when this frame gave a new pose, else 0
// with the last pose.
void logPose(AppState& app, bool newPose);
