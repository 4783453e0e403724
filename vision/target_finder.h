// Finding the target among the closed outlines of one pass, in any orientation and among
// clutter: each outline becomes the largest quadrilateral its hull holds (an outline nearly
// upright, whose hull has its corners cut, or one seen so obliquely that a corner is flatter than
// the vertex test allows, still gives its four corners), and the target is the one nested pair
// whose corners fit the printed target's proportions. A lone rectangle, or a pair that does not
// fit, is not taken for it. This is an addition to identifyTarget, whose points stay as they are.
#pragma once

#include <vector>

#include "vision/tracker.h"

// Corners (x = col, y = row, pixel-centre coordinates) in the order of kTargetCornerMm.
// With the target partly out of the picture, some outer corners lie beyond its edge: bit i of
// `outOfView` marks corner i, whose place is then where the others put it, not a measurement.
// The tracker marks the same way the two corners of a side it left out of the pose (a glare
// spot's rim read for the side), and puts them where the pose does.
struct TargetCorners {
    double xy[8][2];
    unsigned outOfView = 0;
};

// Outlines or picture pieces looked at in one search: a cluttered desk rarely has more.
constexpr int kMaxFinderCandidates = 16;

// The finders' tunables, with where each was set.
struct TargetFinderParameters {
    // A pair fits the target when the inner rectangle's corners lie where the outer rectangle's
    // homography puts the model's inner corners, within this fraction of the outer rectangle's
    // size (the square root of its area): 4 % is some 3 pixels on a target 80 pixels across,
    // well above the corner noise of whole-pixel hulls and well below any other pair's misfit.
    double fitTolerance = 0.04;
    // Pairs whose inner rectangle fits and whose outer one fits at `countedOuterCorners` of its
    // corners (a hand over a corner merges with the outline and pulls its quadrilateral out of
    // shape) pass at this looser tolerance: the corners are refined and the pose checked against
    // the picture afterwards, which a wrong pair does not survive.
    double trimmedTolerance = 0.06;
    int countedOuterCorners = 2;
    // An outline cut by the frame's edge closes along it, and its largest quadrilateral then has a
    // side on the border: corners closer to the border than this (pixels) are not the target's.
    // Such an outline may still be the outer rectangle of a target partly out of the picture,
    // paired by its hole (whose corners must all be clear) and two outer corners that fit.
    double borderMarginPx = 3.0;
    // Outlines of less area than this (pixels) give corners too coarse to use.
    double minQuadAreaPx = 150.0;
    // Edge sets looked at beyond the closed outlines: at least the contour step's smallest outline.
    int minLabelPixels = 100;
    // The picture finder: the neighbourhood a pixel is compared with is a square this share of the
    // picture's smaller side across (twice the radius): wide enough that a thin border's ink is
    // darker than its mean, narrow enough to follow a lamp's fall-off.
    int radiusDivisor = 10;
    int darkerBy = 6;          // grey levels below the neighbourhood's mean that make a pixel ink
    int minHolePixels = 24;    // paper pieces smaller than this are specks, not the hole
    int minRingPixels = 40;
    double minPictureQuadAreaPx = 40.0;  // the hole of a target 40 pixels wide
};

// Looks at the contour list of the pass (between labelContours and drawContours). Answers
// whether the target was found; `corners` are then whole-pixel hull points, to be refined.
//
// The contour step judges an outline closed by whether its fill returns near its seed, which
// now and then fails on a closed outline (most often a nearly upright one, whose fill runs off
// along a straight side). When no pair fits among the outlines it kept, the other large edge
// sets are looked at as well, taken as closed when they surround their own middle (a ray from
// their centroid meets them in each of the four directions). The finder keeps its work
// buffers between frames.
class TargetFinder {
public:
    explicit TargetFinder(const TargetFinderParameters& parameters = {}) : p_(parameters) {}
    const TargetFinderParameters& parameters() const { return p_; }

    bool find(const Tracker& tracker, TargetCorners& corners);
    // The same from the live frame's pixels (`input`) rather than the outlines, for a target whose
    // edges do not make outlines of their own (vision/picture_finder.cpp). Slower: for the frames
    // that need it.
    bool findInPicture(const Tracker& tracker, TargetCorners& corners);
    // After find(): its closed outlines clear of the frame's edge taken for the target's hole, for
    // a target whose outer outline the edge cuts open. Each comes in the two orientations that put
    // the hole's long sides on its longer sides, the outer corners where the hole puts them;
    // the largest outlines first. Answers how many it wrote (at most `max`).
    int holeCandidates(TargetCorners* out, int max) const;

private:
    TargetFinderParameters p_;
    // The quadrilaterals of find()'s closed outlines, clear of the frame's edge.
    double clearQuads_[kMaxFinderCandidates][4][2] = {};
    double clearAreas_[kMaxFinderCandidates] = {};
    int clearCount_ = 0;
    std::vector<PointRecord> points, hull;
    // The picture finder's work: grey, its running sums, ink or paper, the pieces.
    std::vector<uint8_t> luma, ink, edge;
    std::vector<uint32_t> sums;
    struct Run {
        int32_t row, start, end;  // columns start .. end - 1
        bool ink;
    };
    std::vector<Run> runs;
    std::vector<int32_t> rowStart, parent, size;
    std::vector<std::vector<PointRecord>> piecePoints;
};

