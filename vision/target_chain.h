// The target chain as keys g, s and x run it on the live frame: smoothing and grey, Sobel
// edges, closed contours, the two-square target and its overlay.
#pragma once

#include "vision/tracker.h"

void runTargetChain(Tracker& tracker);
// The same up to the target, leaving the contour list of the pass in place for the steps that
// read it (the refined pose) and for drawContours to release.
void findOutlines(Tracker& tracker);
