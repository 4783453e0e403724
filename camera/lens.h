// The webcam's lens model: radial distortion and light fall-off, undone every frame through
// seven per-pixel tables.
#pragma once

#include <cstdio>

class Tracker;

struct LensParameters {
    int ox, oy;    // principal point, pixels
    float sx, sy;  // pixel pitch
    float f;       // lens focal length in the units of sx and sy
};

LensParameters lensParameters(int width, int height);
// The camera-parameter report, as printed at start-up.
void printLensReport(const LensParameters& lens, FILE* out);
// Fills the seven lens tables for the Tracker's frame size.
void buildLensTables(Tracker& tracker);
// The start-up step: the report on standard output, then the tables.
void initLensCorrection(Tracker& tracker);
