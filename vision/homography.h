// The plane-to-image homography: the one fit every caller uses (the target finder's four-corner
// test, the refined pose's starting point, the grid method's sampling).
//
// H maps a plane point (X, Y) to the image point (x, y) = ((h0 X + h1 Y + h2) / w,
// (h3 X + h4 Y + h5) / w) with w = h6 X + h7 Y + h8; row-major, returned with h8 = 1. Units are
// the caller's (millimetres on the plane, pixels in the image); nothing here knows of either.
#pragma once

// The homography taking n >= 4 plane points (X, Y) to image points (x, y). Exact for four points
// in general position, least squares (of the algebraic error, in normalised coordinates) for
// more. False when the points are degenerate (three on a line among four, all on one line, ...)
// or the result is not finite.
[[nodiscard]] bool fitPlaneHomography(int n, const double* X, const double* Y, const double* x, const double* y,
                                      double h[9]);

// The image point of plane point `in`; false when it maps to infinity (w = 0).
bool applyHomography(const double h[9], const double in[2], double out[2]);
