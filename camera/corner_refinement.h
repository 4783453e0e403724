// Sub-pixel target corners. The whole-pixel corners of the target's outlines lie a pixel or two
// off (they are hull points of a two-pixel edge band), and a pose solved from them wobbles by
// degrees when the camera looks straight at the target. Here each side of both rectangles is
// found again in the live frame's brightness: along the side, at evenly spaced places, the
// brightness profile across it is read and the point where it crosses halfway between the dark
// and the light level is the edge; a line is fitted through those points (weighted by the
// edge's contrast), and neighbouring lines meet in the corners.
//
// Coordinates are pixel-centre coordinates (x = col, y = row) of the corrected picture: with
// the lens correction on, the profile is read from the raw frame through the lens model, so
// that the edges are straight where the lines are fitted (docs/conventions.md).
#pragma once

#include "camera/lens.h"
#include "vision/target_finder.h"

class Tracker;

// Refines the corners in place from the Tracker's live frame (`input`). `lens` is the lens the
// frame was taken through when the pose works on the corrected picture, else null. False, with
// the corners untouched, when a side shows too little edge to fit, or (through the lens) a
// corner lies in the corrected picture's rim. `smeared`, when given, is set when a side had to be
// read with the long profiles of an edge smeared by motion or defocus.
[[nodiscard]] bool refineTargetCorners(const Tracker& tracker, const LensParameters* lens, TargetCorners& corners,
                                       bool* smeared = nullptr);
