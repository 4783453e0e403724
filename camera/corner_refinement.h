// Sub-pixel target corners. The whole-pixel corners of the target's outlines lie a pixel or two
// off (they are hull points of a two-pixel edge band), and a pose solved from them wobbles by
// degrees when the camera looks straight at the target. Here each side of both rectangles is
// found again in the live frame's brightness: along the side, at evenly spaced places, the
// brightness profile across it is read and the point where it crosses halfway between the dark
// and the light level is the edge; a line is fitted through those points (weighted by the
// edge's contrast), and neighbouring lines meet in the corners.
//
// Coordinates are pixel-centre coordinates (x = col, y = row) of the picture the refinement works
// in: the raw frame, or an undistorted picture read from the raw frame through a lens (the lens
// tables' model with key r, or a calibrated camera), so that the edges are straight where the
// lines are fitted (docs/conventions.md).
#pragma once

#include "camera/camera_intrinsics.h"
#include "camera/lens.h"
#include "camera/rolling_shutter.h"
#include "vision/target_finder.h"

class Tracker;

// The picture the refinement works in, seen in the raw frame: corrected by the lens tables'
// model, or undistorted through a calibrated camera (its ideal pixels: cx + fx x, cy + fy y of
// the undistorted normalised point), or (neither given) the raw frame itself.
struct RawView {
    const LensParameters* tables = nullptr;
    const CameraIntrinsics* camera = nullptr;
    void toRaw(double x, double y, double& rx, double& ry) const;
    // Raw frame to the picture (the camera's undistortion; the tables' correction is not undone).
    void toIdeal(double rx, double ry, double& x, double& y) const;
};

// Refines the corners in place from the Tracker's live frame (`input`). `lens` is how the picture
// the corners are in is seen in the raw frame (null: the raw frame). False, with
// the corners untouched, when a side shows too little edge to fit, or (through the lens) a
// corner lies in the corrected picture's rim. `smeared`, when given, is set when a side had to be
// read with the long profiles of an edge smeared by motion or defocus; `edges`, when given,
// receives the places along each side where the edge was found.
struct TargetEdges {
    static constexpr int kMaxPoints = 16;
    // Side k: the inner rectangle's sides 0 to 3 (from corner k to corner k + 1), then the outer
    // one's 4 to 7 (from corner k to corner 4 + (k - 3) % 4), in the corners' coordinates.
    double xy[8][kMaxPoints][2];
    int count[8];
};
//
// `partView`: the target may be partly out of the picture. The hole's corners must all be found;
// of the outer ones, those whose sides the frame's edge cuts too short to fit are marked in
// corners.outOfView and left where the hole puts them, and at least two must be found.
// Without it every corner must be found and outOfView is 0.
[[nodiscard]] bool refineTargetCorners(const Tracker& tracker, const RawView* lens, TargetCorners& corners,
                                       bool* smeared = nullptr, TargetEdges* edges = nullptr, bool partView = false);

// The corners again from the places `edges` found along the sides, each place first taken to the
// middle row's time (camera/rolling_shutter.h): the lines refitted through the moved places meet
// in the corners a rolling shutter would have shown at that time; corners marked out of view stay
// as they are. False when a corner in view lacks a side with enough places or its two sides do
// not meet (the corners then untouched).
[[nodiscard]] bool cornersAtMiddleRowTime(const TargetEdges& edges, const RowMotion& motion,
                                          const CameraIntrinsics& camera, TargetCorners& corners);
