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

// The radial coefficient (mm^-2 on the sensor) and the light fall-off's factor on the angle.
constexpr double kLensRadial = -2.5e-5;
constexpr double kLensVignetting = 0.85;

LensParameters lensParameters(int width, int height);
// Where the raw frame shows what the corrected picture shows at (col, row): the mapping the
// tables sample, for any real position, both in pixel-centre coordinates. The tables take the
// source position s(q) of corrected pixel q as covering raw pixel floor(s) from its left edge
// (the weight moves to a neighbour as s leaves floor(s) + 0.5), so the raw pixel centre they read
// is s(q) - 0.5: the same half pixel here, or every corner read through the lens would be half a
// pixel off the picture the tables make.
void distortedPosition(const LensParameters& lens, double col, double row, double& dcol, double& drow);
// The inverse: where the corrected picture shows what the raw frame shows at (dcol, drow).
void undistortedPosition(const LensParameters& lens, double dcol, double drow, double& col, double& row);
// The fraction of the light reaching the corrected picture's (col, row): cos^4 of the angle
// atan(0.85 r / f) for r mm from the principal point on the sensor.
double lensLightFraction(const LensParameters& lens, double col, double row);
// The camera-parameter report, as printed at start-up.
void printLensReport(const LensParameters& lens, FILE* out);
// Fills the seven lens tables for the Tracker's frame size.
void buildLensTables(Tracker& tracker);
// The start-up step: the report on standard output, then the tables.
void initLensCorrection(Tracker& tracker);
