// The target chain's per-pixel steps as they were first written: plain loops over the
// interleaved B G R picture, kept here as the reference the fast steps must match byte for byte.
#pragma once

#include <cstdint>
#include <vector>

#include "vision/tracker.h"

namespace reference {

// Smoothing of `input` into an absent output (`output` receives it), as the first step of a pass.
void smoothFromInput(const uint8_t* input, uint8_t* output, int W, int H);
void grey(uint8_t* output, int n);
// The two derivatives are left in dRow and dCol when given (0 on the border).
void sobel(uint8_t* output, int W, int H, int threshold, std::vector<int32_t>* dRow = nullptr,
           std::vector<int32_t>* dCol = nullptr);

struct Contours {
    std::vector<int32_t> labels, labelSizes, closedHits, selected;
    std::vector<std::vector<PointRecord>> points;  // solid pixels of each selected label, scan order
};
// Labels the black pixels of `output`, selects the closed outlines and lists their solid pixels;
// `output` ends white.
void labelContours(uint8_t* output, int W, int H, Contours& out);

}  // namespace reference
