// The webcam's lens model: radial distortion and light fall-off, undone every frame through
// seven per-pixel tables.
//
// Units: the principal point (ox, oy) is in pixel-index coordinates of the frame (it is not the
// frame's centre: docs/conventions.md, "Centring"); sx and sy are the sensor's pixel pitch in
// millimetres a pixel, f the lens's focal length in millimetres. A pixel at distance r (mm on
// the sensor) from the principal point is seen at r (1 + k r^2) with k = -2.5e-5 mm^-2, and
// receives cos^4 light fall-off; the tables map each corrected pixel to three distorted pixels
// it is interpolated from, with their weights, and the gain that undoes the fall-off.
#pragma once

#include <cstdio>

class Tracker;

struct LensParameters {
    int ox, oy;    // principal point, pixels
    float sx, sy;  // pixel pitch
    float f;       // lens focal length in the units of sx and sy
};

LensParameters lensParameters(int width, int height);
// Where the raw frame shows what the corrected picture shows at (col, row): the mapping the
// tables sample, for any real position (pixel-centre coordinates).
void distortedPosition(const LensParameters& lens, double col, double row, double& dcol, double& drow);
// The camera-parameter report, as printed at start-up.
void printLensReport(const LensParameters& lens, FILE* out);
// Fills the seven lens tables for the Tracker's frame size.
void buildLensTables(Tracker& tracker);
// The start-up step: the report on standard output, then the tables.
void initLensCorrection(Tracker& tracker);
