// Regions: the large closed sets of black pixels painted in colours, with red marks at the
// four extreme pixels of each on the live picture.
#include <algorithm>
#include <cstdio>

#include "vision/tracker.h"

namespace {
constexpr unsigned char kRegionColours[4][3] = {{255, 0, 0}, {0, 0, 255}, {0, 255, 0}, {255, 0, 255}};
}  // namespace

void Tracker::labelRegions() {
    selectedLabels.clear();
    selectedCount = 0;
    if (!output || width < 3 || height < 3) {
        std::fprintf(console, "%d\n", 0);
        return;
    }
    const int W = width, H = height;
    labelBlackPixels();
    countAndWhiten();
    selectClosedLabels();
    for (int r = 1; r < H - 1; ++r)
        for (int c = 1; c < W - 1; ++c) {
            const int L = labels[r * W + c];
            if (L == 0 || selectedSlot[L] < 0) continue;
            const unsigned char* colour = kRegionColours[(L + 1) % 4];
            unsigned char* px = output + 3 * (static_cast<size_t>(r) * W + c);
            px[0] = colour[0], px[1] = colour[1], px[2] = colour[2];
        }
    std::fprintf(console, "%d\n", selectedCount);
}

int Tracker::selectedIndex(int label) const {
    int found = -1;
    for (int i = 0; i < selectedCount; ++i)
        if (selectedLabels[i] == label) found = i;
    return found;
}

void Tracker::markExtremes() {
    const int W = width, H = height;
    if (selectedCount <= 0 || static_cast<int>(labels.size()) != pixelCount()) return;
    extremePoints.assign(4 * static_cast<size_t>(selectedCount), PointRecord{});
    // The sentinels must lie beyond every row and column, so that the first pixel of a region
    // replaces them and an unreplaced one is never painted; 999 does that below 1000 pixels.
    const int32_t farRow = std::max(999, H), farCol = std::max(999, W);
    for (int i = 0; i < selectedCount; ++i) {
        extremePoints[4 * i] = PointRecord{farRow, farCol, 0, 0, -1};
        extremePoints[4 * i + 1] = PointRecord{-1, -1, 0, 0, -1};
        extremePoints[4 * i + 2] = PointRecord{-1, farCol, 0, 0, -1};
        extremePoints[4 * i + 3] = PointRecord{farRow, -1, 0, 0, -1};
    }
    for (int r = 1; r < H - 1; ++r)
        for (int c = 1; c < W - 1; ++c) {
            const int L = labels[r * W + c];
            if (L <= 0) continue;
            // The slot table answers what selectedIndex would, without a scan per pixel.
            const int i = L < static_cast<int>(selectedSlot.size()) ? selectedSlot[L] : -1;
            if (i < 0) continue;
            PointRecord* e = &extremePoints[4 * i];
            if (r <= e[0].row) e[0] = PointRecord{r, c, 0, 0, L};
            if (r > e[1].row) e[1] = PointRecord{r, c, 0, 0, L};
            if (c < e[2].col) e[2].row = r, e[2].col = c;
            if (c >= e[3].col) e[3].row = r, e[3].col = c;
        }
    if (!input) return;
    for (const PointRecord& e : extremePoints) {
        if (e.row < 0 || e.row >= H || e.col < 0 || e.col >= W) continue;
        for (int r = e.row - 2; r <= e.row + 1; ++r)
            for (int c = e.col - 2; c <= e.col + 1; ++c) {
                if (r < 0 || r >= H || c < 0 || c >= W) continue;
                unsigned char* px = input + 3 * (static_cast<size_t>(r) * W + c);
                px[0] = 0, px[1] = 0, px[2] = 255;
            }
    }
}
