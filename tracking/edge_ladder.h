// The edge threshold the target chain's Sobel step runs at, adapted to each frame.
//
// The Sobel step's own threshold (kSobelThreshold) is the top rung. A frame whose outlines show
// no target sends the next frame a rung lower, down to where sensor noise of a few grey levels
// starts to make edges of its own: a print of 40 grey levels of contrast makes Sobel sums of
// some 160 when sharp and half that when blurred, so a few frames find it. While the target is
// found below the top, a rung higher is tried every `probeEvery` frames, and the frame falls
// back to the rung it settled on when that shows nothing, so the edges follow the light back up.
// Thresholds are Sobel magnitudes, as Tracker::sobelEdges takes them.
#pragma once

#include "vision/tracker.h"

struct EdgeLadderParameters {
    bool adaptive = true;  // false: every frame at the top rung (key t, --edges fixed)
    int top = kSobelThreshold;
    int lowest = 36;        // below this, noise of 2-3 grey levels draws outlines of its own
    double rung = 0.6;      // each rung down multiplies the threshold by this
    int probeEvery = 8;     // frames between tries a rung up while settled below the top
};

class EdgeLadder {
public:
    explicit EdgeLadder(const EdgeLadderParameters& parameters = {}) : p_(parameters) {}

    // The threshold this frame tries first; `probe` says whether it is a rung above the settled
    // one (and so may be taken back with `fallBack`).
    int first(bool& probe);
    // The probe showed nothing: the threshold the frame runs at instead.
    int fallBack() const { return settled(); }
    // What the frame found at `threshold`: the rung the next frame starts from.
    void settle(int threshold, bool found);

    int settled() const;
    bool adaptive() const { return p_.adaptive; }
    void setAdaptive(bool adaptive) { p_.adaptive = adaptive; }
    const EdgeLadderParameters& parameters() const { return p_; }

private:
    EdgeLadderParameters p_;
    int threshold_ = kSobelThreshold;  // the rung the next frame starts from
    int framesBelowTop_ = 0;           // counts frames to time the next probe
};
