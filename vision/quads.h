// Quadrilaterals from outlines, and the test that two of them are the printed target's outer
// and inner rectangles: shared by the finder over the edge outlines and the finder over the
// picture itself. Coordinates are pixel-centre (x = col, y = row, docs/conventions.md).
#pragma once

#include "vision/target_finder.h"

struct Quad {
    double xy[4][2];  // corners, one way round
    double area;      // pixels
    double centre[2];
    bool atBorder = false;  // a corner within the margin of the frame's edge: an outer rectangle at most
};

// The largest-area quadrilateral with its corners among the points of a convex polygon (in
// order, n >= 4); false when it is smaller than `minArea`.
bool largestQuad(const PointRecord* hull, int n, Quad& quad, double minArea);
// The signed area of corners xy[0..3] (x = col, y = row): positive when they run counter-clockwise
// with rows bottom-up, as the target's corners do seen from the camera (docs/conventions.md).
double signedQuadArea(const double (*xy)[2]);
// Whether all four corners lie at least `margin` pixels inside the frame.
bool clearOfBorder(const Quad& q, int width, int height, double margin);
bool insideQuad(const Quad& q, const double p[2]);
// The pair among `quads` that fits the target best, its eight corners in the order of
// kTargetCornerMm; false when no pair fits.
bool fitBestPair(const Quad* quads, int count, const TargetFinderParameters& parameters, TargetCorners& corners);
