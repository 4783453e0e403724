// One pass of the idle loop: take the newest frame, run the steps the keys switched on, in
// their fixed order.
#pragma once

#include "app/app_state.h"

// Answers true when a frame was processed and the window should be redrawn; false while
// capture is paused or not running.
bool runFramePass(AppState& app);

// The steps of the target chain the keys switched on.
ChainSteps chainSteps(const AppState& app);

// The gated image steps on the Tracker's current input. Answers whether a new camera pose was
// computed.
bool runProcessingSteps(AppState& app);

// The frame size the device gives, followed by everything sized by it: the Tracker's buffers, the
// camera scaled to it, and (key r) the lens tables. Nothing changes while the size stays.
void followFrameSize(AppState& app);

// Scales the calibration's focal length to the frame width once each time the width changes,
// and says so on stderr when it is not the reference points' own width.
void noteFocalLengthScale(AppState& app);
