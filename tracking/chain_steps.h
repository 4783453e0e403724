// The image steps of the target chain, in their fixed order, as the workbench's keys switch them:
// lens correction (r), smoothing and grey (g), thin edges (c), Sobel edges (s), and the outlines
// with the two-square target (x). The pose (k) reads what they leave: black edges on white in
// `output` and the pass's contour list.
#pragma once

class Tracker;

struct ChainSteps {
    bool lensCorrection = false;  // r
    bool smoothing = true;        // g: smoothing and grey
    bool thinEdges = false;       // c
    bool sobel = true;            // s
    bool outlines = true;         // x: labelContours and identifyTarget
    bool pose = true;             // k: the camera pose from the target
    // Later steps (regions, corners, Hough) read `output`: without one of the chain's own they
    // get a grey copy of the live frame, so they never paint into the live picture.
    bool outputNeeded = false;
};

// Runs the steps of `steps` switched on, the Sobel step at `sobelThreshold`.
void runChainSteps(Tracker& tracker, const ChainSteps& steps, int sobelThreshold);
