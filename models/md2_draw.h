// Drawing the animated model with OpenGL, registered with the camera.
#pragma once

#include <string>

#include "models/md2_model.h"

constexpr float kModelScale = 4.5f;

// Draws the current pose (interpolated towards the next frame) and advances the animation.
void drawAnimModel(AnimModel& model);
// Draws the model standing on the target, in the live frame's viewport (10, 10, 320, 240).
void drawRegisteredModel(AnimModel& model, const double modelview[16], const double projection[16]);
// The skin as the bound 2-D texture. False when the bitmap cannot be read.
bool createSkinTexture(unsigned int* textureNames, const std::string& file, int index);
