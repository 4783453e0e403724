// The keyboard commands: one key switches a flag, changes a parameter, pauses or resumes
// capture, opens the source dialog or ends the program.
#pragma once

#include "app/app_state.h"
#include "app/exit_status.h"

enum class KeyAction { None, Redisplay, Exit };


// Esc closes and destroys the capture device and releases the frame buffer before answering
// Exit; the caller ends the process with kEscExitStatus.
KeyAction handleKey(AppState& app, unsigned char key);
