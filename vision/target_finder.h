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
struct TargetCorners {
    double xy[8][2];
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
    bool find(const Tracker& tracker, TargetCorners& corners);
    // The same from the live frame's pixels (`input`) rather than the outlines, for a target whose
    // edges do not make outlines of their own (vision/picture_finder.cpp). Slower: for the frames
    // that need it.
    bool findInPicture(const Tracker& tracker, TargetCorners& corners);

private:
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

