// Window composition: the live frame, the processed frame, the frame rate and the 3-D content
// registered with the target, in the slots of window/layout.h.
#pragma once

#include "window/frame_rate.h"
#include "window/layout.h"

struct AnimModel;
struct ShownModel;

// What one display pass shows. Frames are width x height, B G R, row 0 at the bottom
// (docs/conventions.md, "Frames"); the matrices are the camera's (column-major, OpenGL's order)
// for the whole frame.
struct WindowContent {
    const unsigned char* live = nullptr;       // null: the slots stay as they are
    const unsigned char* processed = nullptr;  // null: the live frame again
    int width = 0, height = 0;
    const double* modelview = nullptr;
    const double* projection = nullptr;
    AnimModel* character = nullptr;        // key m (its animation moves on as it is drawn)
    const ShownModel* model = nullptr;     // key b: the platform or the user's model
    bool cone = false;                     // key n
    const char* status = nullptr;          // a line at the top (the calibration's views), or null
};

void initGL();
void displayFrame(const WindowContent& content, FrameRateMeter& frameRate);
void reshapeWindow(int width, int height);
