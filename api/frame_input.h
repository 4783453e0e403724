// A caller's frame as the image steps take it (docs/conventions.md, "Frames"): B G R, packed,
// row 0 at the bottom. Converted into a buffer kept between frames, and back for the images the
// steps make.
#pragma once

#include <vector>

#include "tovrak/image.h"

namespace tovrak {

// Copies `frame` (checked by checkFrame first) into `bgr`, resized only when its size changes.
void frameToSteps(const ImageView& frame, std::vector<unsigned char>& bgr);
// A B G R picture of the steps (row 0 at the bottom) as an Image, top row first.
Image imageFromSteps(const unsigned char* bgr, int width, int height);
// A row coordinate of the steps' (up from the bottom) in the frame's own rows.
double frameRow(const ImageView& frame, double stepsRow);

}  // namespace tovrak
