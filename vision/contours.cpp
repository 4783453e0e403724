// Closed-contour extraction: label the black pixels, keep the large closed sets, and describe
// each by its solid pixels, convex hull, polygon vertices and centre.
#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "vision/geometry.h"
#include "vision/tracker.h"

namespace {

// How an outline is judged closed. The fill walks depth-first from the first pixel met in scan
// order (the seed), counting its steps. On a closed band the walk goes all the way round and
// comes back near the seed from the other side; on an open stroke it never returns. So a
// label counts as closed once the walk, more than kClosedAfterSteps steps in, looks diagonally
// at a pixel within kClosedRadius rows and columns of the seed. 190 steps is more than the
// walk needs to leave the seed's neighbourhood on a 2-pixel band (each step covers up to two
// pixels of a 5 x 5 block), and 8 pixels is wider than a Sobel band plus the block's reach, so a
// stroke that turns back on itself near its start is the only false "closed". Outlines under
// kMinLabelPixels pixels are too small to give four usable corners.
constexpr int kMinLabelPixels = 100;
constexpr int kClosedAfterSteps = 190;
constexpr int kClosedRadius = 8;
// A pixel of a selected label belongs to its outline's solid part when at least this many of
// the 9 pixels of its 3 x 3 block (itself included) carry the label: stray edge pixels drop out.
constexpr int kSolidNeighbours = 6;
// A hull point is a vertex when its two hull sides meet at less than acos(-0.75) = 139 degrees;
// consecutive vertices within kVertexMergeDistance pixels in both row and column are merged, so
// each corner of a 2-pixel band, whose hull cuts it with several short sides, is one vertex.
constexpr float kVertexCosine = -0.75f;
constexpr int kVertexMergeDistance = 21;

}  // namespace

void Tracker::fillLabel(int row, int col, int label, int steps) {
    if (row >= height || col >= width || row < 0 || col < 0) return;
    const int W = width, H = height;
    // Labels of 100 and above have no entry in closedHits: they are never counted as closed.
    int32_t* hits = label < kClosedHitLabels ? &closedHits[label] : nullptr;
    int neighbour[25];
    for (int i = 0; i < 25; ++i) neighbour[i] = (i / 5 - 2) * W + (i % 5 - 2);
    labels[row * W + col] = label;
    fillStack.clear();
    fillStack.push_back({row, col, steps, 0});
    // Depth-first over the 5 x 5 block, exactly in the order and with the step counts of the
    // recursive fill: each frame remembers which neighbour it visits next.
    while (!fillStack.empty()) {
        FillFrame& f = fillStack.back();
        if (f.next == 25) {
            fillStack.pop_back();
            continue;
        }
        const int i = f.next++;
        const int dr = i / 5 - 2, dc = i % 5 - 2;
        const int nr = f.row + dr, nc = f.col + dc;
        if (static_cast<unsigned>(nr) >= static_cast<unsigned>(H) || static_cast<unsigned>(nc) >= static_cast<unsigned>(W))
            continue;
        if (hits && f.steps > kClosedAfterSteps && dr != 0 && dc != 0 && std::abs(fillSeed.row - nr) <= kClosedRadius &&
            std::abs(fillSeed.col - nc) <= kClosedRadius)
            ++*hits;
        const int k = f.row * W + f.col + neighbour[i];
        if (output[3 * k] == 0 && labels[k] == 0) {
            const int childSteps = ++f.steps;
            labels[k] = label;
            fillStack.push_back({nr, nc, childSteps, 0});  // f is not used after this
        }
    }
}

// Labels every black pixel into connected sets (5 x 5 neighbourhood), seeds in scan order.
void Tracker::labelBlackPixels() {
    const int W = width, H = height, n = pixelCount();
    if (static_cast<int>(labels.size()) != n) labels.assign(n, 0);
    std::fill(labels.begin(), labels.end(), 0);
    std::fill(closedHits.begin(), closedHits.end(), 0);
    int next = 0;
    for (int r = 1; r < H - 1; ++r)
        for (int c = 1; c < W - 1; ++c) {
            const int k = r * W + c;
            if (output[3 * k] != 0 || labels[k] != 0) continue;
            fillSeed.row = r;
            fillSeed.col = c;
            fillLabel(r, c, ++next, 0);
        }
    labelSizes.assign(next + 1, 0);
}

void Tracker::countAndWhiten() {
    const int n = pixelCount();
    // Most pixels are unlabelled; counting them one by one would chain every increment on
    // the same counter. Entry 0 is what the labelled pixels leave.
    int labelled = 0;
    for (int k = 0; k < n; ++k) {
        if (labels[k] == 0) continue;
        ++labelSizes[labels[k]];
        ++labelled;
    }
    labelSizes[0] = n - labelled;
    std::fill(output, output + 3 * static_cast<size_t>(n), 255);
}

void Tracker::selectClosedLabels() {
    const int count = static_cast<int>(labelSizes.size()) - 1;
    selectedLabels.clear();
    selectedSlot.assign(count + 1, -1);
    for (int L = 1; L <= count && L < kClosedHitLabels; ++L) {
        if (labelSizes[L] > kMinLabelPixels && closedHits[L] >= 1) {
            selectedSlot[L] = static_cast<int>(selectedLabels.size());
            selectedLabels.push_back(L);
        }
    }
    selectedCount = static_cast<int32_t>(selectedLabels.size());
}

void Tracker::labelContours() {
    contours = nullptr;
    if (!output || width < 3 || height < 3) {
        contourStorage.count = 0;
        contours = &contourStorage;
        return;
    }
    const int W = width, H = height;
    labelBlackPixels();
    countAndWhiten();
    selectClosedLabels();

    ContourList& list = contourStorage;
    if (static_cast<int>(list.items.size()) < selectedCount) list.items.resize(selectedCount);
    list.count = selectedCount;
    for (int i = 0; i < selectedCount; ++i) {
        Contour& ct = list.items[i];
        ct.points.resize(labelSizes[selectedLabels[i]]);
        ct.pointCount = 0;
        ct.hullCount = 0;
        ct.vertexCount = 0;
        ct.centre = PointRecord{999, 999, 0, 0, -1};
    }
    // One scan serves every contour: each still receives its solid pixels in scan order.
    for (int r = 1; r < H - 1; ++r)
        for (int c = 1; c < W - 1; ++c) {
            const int k = r * W + c;
            const int L = labels[k];
            if (L == 0 || selectedSlot[L] < 0) continue;
            int same = 0;
            for (int dr = -W; dr <= W; dr += W)
                same += (labels[k + dr - 1] == L) + (labels[k + dr] == L) + (labels[k + dr + 1] == L);
            if (same < kSolidNeighbours) continue;
            Contour& ct = list.items[selectedSlot[L]];
            ct.points[ct.pointCount++] = PointRecord{r, c, 0, 0, L};
        }
    contours = &list;
    computeHulls();
    findVertices();
    findCentres();
}

void Tracker::computeHulls() {
    if (!contours) return;
    for (int i = 0; i < contours->count; ++i) {
        Contour& ct = contours->items[i];
        ct.hull.resize(ct.pointCount + 4);
        ct.hullCount = convexHull(ct.points.data(), ct.pointCount, ct.hull.data());
    }
}

void Tracker::findVertices() {
    if (!contours) return;
    for (int i = 0; i < contours->count; ++i) {
        Contour& ct = contours->items[i];
        ct.vertexCount = 0;
        if (ct.hullCount >= 4) {
            // Wrap around so that the corners at the start of the hull are tested too.
            for (int j = 1; j <= 3; ++j) ct.hull[ct.hullCount + j - 1] = ct.hull[j];
            ct.hullCount += 3;
        }
        ct.vertices.resize(ct.hullCount);
        if (ct.hullCount < 3) continue;
        PointRecord prev = ct.hull[0], cur = ct.hull[1];
        for (int k = 2; k < ct.hullCount; ++k) {
            const PointRecord& next = ct.hull[k];
            const int ar = prev.row - cur.row, ac = prev.col - cur.col;
            const int br = next.row - cur.row, bc = next.col - cur.col;
            const float la = std::sqrt(static_cast<float>(ar * ar + ac * ac));
            const float lb = std::sqrt(static_cast<float>(br * br + bc * bc));
            const float dot = (ar / la) * (br / lb) + (ac / la) * (bc / lb);
            if (dot > kVertexCosine) {  // NaN from a zero-length side is never a vertex
                PointRecord v;
                v.row = cur.row;
                v.col = cur.col;
                ct.vertices[ct.vertexCount++] = v;
                prev = cur;
            }
            cur = next;
        }
        if (ct.vertexCount == 0) continue;
        int kept = 1;
        for (int m = 1; m < ct.vertexCount; ++m) {
            const PointRecord& last = ct.vertices[kept - 1];
            if (std::abs(ct.vertices[m].row - last.row) <= kVertexMergeDistance &&
                std::abs(ct.vertices[m].col - last.col) <= kVertexMergeDistance)
                continue;
            ct.vertices[kept++] = ct.vertices[m];
        }
        if (std::abs(ct.vertices[0].row - ct.vertices[kept - 1].row) <= kVertexMergeDistance &&
            std::abs(ct.vertices[0].col - ct.vertices[kept - 1].col) <= kVertexMergeDistance)
            --kept;
        ct.vertexCount = kept;
    }
}

void Tracker::findCentres() {
    if (!contours) return;
    for (int i = 0; i < contours->count; ++i) {
        Contour& ct = contours->items[i];
        if (ct.vertexCount != 4) continue;
        const PointRecord x = intersectLines(ct.vertices[0], ct.vertices[2], ct.vertices[1], ct.vertices[3]);
        if (x.value == 0) ct.centre = x;
    }
}
