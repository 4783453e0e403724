// Corners on the black edges: the smaller of the two summed squared differences over a
// window, strongest first, thinned, and marked with small blue squares.
#include <algorithm>
#include <cstdlib>
#include <utility>

#include "vision/tracker.h"

void Tracker::detectCorners(int threshold, int window) {
    if (!output || width < 3 || height < 3 || window < 1) return;
    const int W = width, H = height, n = pixelCount(), half = window / 2;
    if (static_cast<int>(diffRow.size()) != n) diffRow.assign(n, 0);
    if (static_cast<int>(diffCol.size()) != n) diffCol.assign(n, 0);
    auto p = [&](int k) { return static_cast<int>(output[3 * k]); };

    for (int r = 0; r < H; ++r)
        for (int c = 1; c < W - 1; ++c) diffCol[r * W + c] = p(r * W + c - 1) - p(r * W + c + 1);
    for (int r = 1; r < H - 1; ++r)
        for (int c = 0; c < W; ++c) diffRow[r * W + c] = p((r - 1) * W + c) - p((r + 1) * W + c);

    cornerCount = 0;
    for (int r = half + 1; r <= H - half - 2; ++r)
        for (int c = half + 1; c <= W - half - 2; ++c) {
            const int k = r * W + c;
            if (p(k) != 0) continue;
            const bool touchesNonWhite = p(k - W - 1) < 255 || p(k - W) < 255 || p(k - W + 1) < 255 ||
                                         p(k - 1) < 255 || p(k + 1) < 255 || p(k + W - 1) < 255 ||
                                         p(k + W) < 255 || p(k + W + 1) < 255;
            if (!touchesNonWhite) continue;
            int32_t sumRow = 0, sumCol = 0;
            for (int i = 0; i < window; ++i) {
                const int base = (r - half + i) * W + (c - half);
                for (int j = 0; j < window; ++j) {
                    sumRow += diffRow[base + j] * diffRow[base + j];
                    sumCol += diffCol[base + j] * diffCol[base + j];
                }
            }
            const int32_t response = std::min(sumRow, sumCol);
            if (response > threshold && cornerCount < kCornerCapacity) {
                PointRecord& rec = corners[cornerCount++];
                rec.row = r;
                rec.col = c;
                rec.value = response;
            }
        }

    sortCorners(0, cornerCount - 1);
    suppressCorners(window);

    for (int i = 0; i < cornerCount; ++i)
        for (int r = corners[i].row - 2; r <= corners[i].row + 1; ++r)
            for (int c = corners[i].col - 2; c <= corners[i].col + 1; ++c) {
                if (r < 0 || r >= H || c < 0 || c >= W) continue;
                unsigned char* px = output + 3 * (static_cast<size_t>(r) * W + c);
                px[0] = 255, px[1] = 0, px[2] = 0;
            }
}

void Tracker::sortCorners(int lo, int hi) {
    auto swapEntries = [this](int a, int b) {
        std::swap(corners[a].row, corners[b].row);
        std::swap(corners[a].col, corners[b].col);
        std::swap(corners[a].value, corners[b].value);
    };
    // Quicksort with the first element as pivot; the smaller part recurses and the larger one
    // loops, so a sorted or constant list cannot exhaust the call stack.
    while (hi > lo) {
        const int32_t pivot = corners[lo].value;
        int i = lo, j = hi + 1;
        for (;;) {
            do --j;
            while (corners[j].value < pivot);
            do ++i;
            while (i <= hi && corners[i].value > pivot);
            if (i >= j) break;
            swapEntries(i, j);
        }
        swapEntries(lo, j);
        if (j - lo < hi - j) {
            sortCorners(lo, j - 1);
            lo = j + 1;
        } else {
            sortCorners(j + 1, hi);
            hi = j - 1;
        }
    }
}

void Tracker::suppressCorners(int window) {
    if (cornerCount <= 0) return;
    const int half = window / 2;
    int kept = 1;
    for (int i = 1; i < cornerCount; ++i) {
        const PointRecord& last = corners[kept - 1];
        if (std::abs(corners[i].row - last.row) > half && std::abs(corners[i].col - last.col) > half) {
            corners[kept].row = corners[i].row;
            corners[kept].col = corners[i].col;
            corners[kept].value = corners[i].value;
            ++kept;
        }
    }
    cornerCount = kept;
}
