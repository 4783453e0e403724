// The target chain as keys g, s and x run it on the live frame: smoothing and grey, Sobel
// edges, closed contours, the two-square target and its overlay.
#pragma once

#include "vision/tracker.h"

void runTargetChain(Tracker& tracker);
