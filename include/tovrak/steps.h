// The workbench's image steps as functions on frames, for teaching and looking: each answers
// the picture its key shows in the workbench's second slot, B G R, top row first, the frame's
// size. Where a step needs others first, they run as the workbench runs them.
#pragma once

#include "tovrak/export.h"
#include "tovrak/image.h"

namespace tovrak {

constexpr int kSobelThreshold = 240;  // the Sobel step's threshold (a Sobel magnitude)

TOVRAK_API Result<Image> smooth(const ImageView& frame);  // key g without grey: 3 x 3 smoothing
TOVRAK_API Result<Image> grey(const ImageView& frame);    // key g: smoothed and grey
TOVRAK_API Result<Image> sobelEdges(const ImageView& frame, int threshold = kSobelThreshold);  // g s
TOVRAK_API Result<Image> thinEdges(const ImageView& frame, int threshold = 150);               // c
TOVRAK_API Result<Image> contours(const ImageView& frame);  // g s x: the outlines, the target in colour
TOVRAK_API Result<Image> corners(const ImageView& frame, int threshold = 1000000);  // e
TOVRAK_API Result<Image> regions(const ImageView& frame);   // g s p: regions and their extreme points
TOVRAK_API Result<Image> hough(const ImageView& frame, int rhoBins = 400);  // g s h: the line votes

}  // namespace tovrak
