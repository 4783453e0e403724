// The target found in the picture itself, for the frames whose edge outlines do not show it:
// borders so thin in the picture (far away, or seen steeply) that the edge bands of the hole and
// of the outline merge, edges too faint or smeared for the edge threshold. The picture's pixels
// are taken as ink where they are darker than their neighbourhood's mean (which follows uneven
// light), the ink and the paper are cut into connected pieces (ink touching at corners counts as
// one piece, paper only along sides, so that a ring of ink always closes), and a piece of paper
// enclosed by a piece of ink gives the pair of quadrilaterals the target test looks at.
#include <algorithm>
#include <cstdint>

#include "vision/geometry.h"
#include "vision/pixel_rows.h"
#include "vision/quads.h"
#include "vision/target_finder.h"

namespace {

int rootOf(std::vector<int32_t>& parent, int32_t a) {
    while (parent[a] != a) a = parent[a] = parent[parent[a]];
    return a;
}

void unite(std::vector<int32_t>& parent, int32_t a, int32_t b) {
    a = rootOf(parent, a), b = rootOf(parent, b);
    if (a != b) parent[std::max(a, b)] = std::min(a, b);
}

}  // namespace

bool TargetFinder::findInPicture(const Tracker& t, TargetCorners& corners) {
    const int W = t.width, H = t.height;
    if (!t.input || W < 16 || H < 16) return false;
    const size_t n = static_cast<size_t>(W) * H;
    // Grey as the grey step weighs the channels, and its running sums (rows of W + 1).
    luma.resize(n);
    greyPlane(t.input, luma.data(), n);
    sums.assign(static_cast<size_t>(W + 1) * (H + 1), 0);
    for (int r = 0; r < H; ++r) {
        uint32_t row = 0;
        for (int c = 0; c < W; ++c) {
            row += luma[static_cast<size_t>(r) * W + c];
            sums[static_cast<size_t>(r + 1) * (W + 1) + c + 1] = sums[static_cast<size_t>(r) * (W + 1) + c + 1] + row;
        }
    }
    // Ink or paper: darker than the neighbourhood's mean, or not.
    const int radius = std::max(4, std::min(W, H) / (2 * p_.radiusDivisor));
    ink.resize(n);
    for (int r = 0; r < H; ++r) {
        const int r0 = std::max(0, r - radius), r1 = std::min(H, r + radius + 1);
        for (int c = 0; c < W; ++c) {
            const int c0 = std::max(0, c - radius), c1 = std::min(W, c + radius + 1);
            const uint32_t sum = sums[static_cast<size_t>(r1) * (W + 1) + c1] - sums[static_cast<size_t>(r0) * (W + 1) + c1] -
                                 sums[static_cast<size_t>(r1) * (W + 1) + c0] + sums[static_cast<size_t>(r0) * (W + 1) + c0];
            const uint32_t count = static_cast<uint32_t>((r1 - r0) * (c1 - c0));
            ink[static_cast<size_t>(r) * W + c] = (luma[static_cast<size_t>(r) * W + c] + p_.darkerBy) * count < sum;
        }
    }
    // Runs of ink or paper along each row; a run joins the runs of the same kind on the row
    // below that it touches (ink also at their corners), through a union-find over runs.
    runs.clear();
    rowStart.assign(H + 1, 0);
    for (int r = 0; r < H; ++r) {
        rowStart[r] = static_cast<int32_t>(runs.size());
        const uint8_t* row = &ink[static_cast<size_t>(r) * W];
        for (int c = 0; c < W;) {
            int end = c + 1;
            while (end < W && row[end] == row[c]) ++end;
            runs.push_back(Run{r, c, end, row[c] != 0});
            c = end;
        }
    }
    rowStart[H] = static_cast<int32_t>(runs.size());
    const int32_t runCount = rowStart[H];
    parent.resize(runCount);
    for (int32_t k = 0; k < runCount; ++k) parent[k] = k;
    for (int r = 1; r < H; ++r) {
        int32_t below = rowStart[r - 1];
        for (int32_t k = rowStart[r]; k < rowStart[r + 1]; ++k) {
            const Run& run = runs[k];
            const int reach = run.ink ? 1 : 0;  // ink touches at corners too
            while (below < rowStart[r] && runs[below].end + reach <= run.start) ++below;
            for (int32_t b = below; b < rowStart[r] && runs[b].start < run.end + reach; ++b)
                if (runs[b].ink == run.ink) unite(parent, k, b);
        }
    }
    // Each piece's size and whether it touches the frame's edge, kept at its root run.
    size.assign(runCount, 0);
    edge.assign(runCount, 0);
    for (int32_t k = 0; k < runCount; ++k) {
        const Run& run = runs[k];
        const int32_t root = parent[k] = rootOf(parent, k);
        size[root] += run.end - run.start;
        if (run.row == 0 || run.row == H - 1 || run.start == 0 || run.end == W) edge[root] = 1;
    }
    // Holes: paper pieces off the edge; the ink run just left of a hole's first run encloses it.
    int32_t pieces[2 * kMaxFinderCandidates];
    int count = 0;
    auto add = [&](int32_t root) {
        for (int i = 0; i < count; ++i)
            if (pieces[i] == root) return;
        if (count < 2 * kMaxFinderCandidates) pieces[count++] = root;
    };
    for (int32_t k = 0; k < runCount && count < 2 * kMaxFinderCandidates - 1; ++k) {
        if (runs[k].ink || parent[k] != k || edge[k] || size[k] < p_.minHolePixels || k == rowStart[runs[k].row]) continue;
        const int32_t ring = parent[k - 1];
        if (size[ring] < p_.minRingPixels) continue;
        add(ring);
        add(k);
    }
    if (count < 2) return false;
    // Each candidate piece's hull, from the ends of its runs (in scan order, as the hull wants
    // them).
    if (piecePoints.size() < static_cast<size_t>(2 * kMaxFinderCandidates)) piecePoints.resize(2 * kMaxFinderCandidates);
    for (int i = 0; i < count; ++i) piecePoints[i].clear();
    for (int32_t k = 0; k < runCount; ++k) {
        int i = 0;
        while (i < count && pieces[i] != parent[k]) ++i;
        if (i == count) continue;
        const Run& run = runs[k];
        piecePoints[i].push_back(PointRecord{run.row, run.start, 0, 0, 0});
        if (run.end - 1 != run.start) piecePoints[i].push_back(PointRecord{run.row, run.end - 1, 0, 0, 0});
    }
    Quad quads[2 * kMaxFinderCandidates];
    int quadCount = 0;
    for (int i = 0; i < count; ++i) {
        const std::vector<PointRecord>& pts = piecePoints[i];
        hull.resize(pts.size() + 1);
        int m = convexHull(pts.data(), static_cast<int>(pts.size()), hull.data());
        if (m > 1) --m;  // the closing point
        if (largestQuad(hull.data(), m, quads[quadCount], p_.minPictureQuadAreaPx) && clearOfBorder(quads[quadCount], W, H, p_.borderMarginPx))
            ++quadCount;
    }
    return fitBestPair(quads, quadCount, p_, corners);
}
