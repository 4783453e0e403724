// Drawing the animated model with OpenGL, registered with the camera.
#pragma once

#include <string>

#include "models/md2_model.h"
#include "models/placement.h"

// Draws the current pose (interpolated towards the next frame) and advances the animation.
void drawAnimModel(AnimModel& model);
// Draws the model standing on the target, in the live frame's slot (10, 10, 320, 240): the
// camera matrices describe the whole frame whatever its size (docs/conventions.md, "Display").
void drawRegisteredModel(AnimModel& model, const double modelview[16], const double projection[16]);
// The skin as the bound 2-D texture. False, after one line that ends with `consequence`, when the
// bitmap cannot be read.
bool createSkinTexture(unsigned int* textureNames, const std::string& file, int index,
                       const std::string& consequence = "");
