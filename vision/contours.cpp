// Closed-contour extraction: label the black pixels, keep the large closed sets, and describe
// each by its solid pixels, convex hull, polygon vertices and centre.
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "vision/geometry.h"
#include "vision/pixel_rows.h"
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

// The fill works on `openBits`: one bit a pixel, 1 while it is black and unlabelled, each row of
// the picture in `openWords` 64-bit words with a white margin of 2 rows and 2 columns, so the
// 5 x 5 block never needs a bounds test. Bits are read and cleared a whole aligned word at a time:
// a byte written and then read back inside a wider load is not forwarded by the processor and
// would stall every step of the walk. Every pixel the fill labels is appended to
// `labelledPixels`, so a label's pixels lie together there, from `labelStart[label]` on, and the
// next pass clears exactly those.
namespace {

// The five bits of padded row `row` from padded column `col` on.
inline uint32_t fiveBits(const uint64_t* row, int col) {
    const int word = col >> 6, shift = col & 63;
    uint64_t v = row[word] >> shift;
    if (shift > 59) v |= row[word + 1] << (64 - shift);
    return static_cast<uint32_t>(v & 0x1F);
}

// The open pixels of the 5 x 5 block around frame pixel (r, c) as 25 bits, bit 5 (dr + 2) + (dc + 2).
inline uint32_t openAround(const uint64_t* bits, int words, int r, int c) {
    uint32_t block = 0;
    for (int dr = 0; dr < 5; ++dr) block |= fiveBits(bits + static_cast<size_t>(r + dr) * words, c) << (5 * dr);
    return block;
}

inline bool isOpen(const uint64_t* bits, int words, int paddedRow, int paddedCol) {
    return (bits[static_cast<size_t>(paddedRow) * words + (paddedCol >> 6)] >> (paddedCol & 63)) & 1;
}

}  // namespace

void Tracker::fillLabel(int row, int col, int label, int steps) {
    const int W = width, H = height, words = openWords;
    // Labels of 100 and above have no entry in closedHits: they are never counted as closed.
    int32_t* hits = label < kClosedHitLabels ? &closedHits[label] : nullptr;
    int rowStep[25], colStep[25];
    for (int i = 0; i < 25; ++i) rowStep[i] = i / 5 - 2, colStep[i] = i % 5 - 2;
    uint64_t* bits = openBits.data();
    auto take = [&](int r, int c) {
        const int k = r * W + c;
        labels[k] = label;
        bits[static_cast<size_t>(r + 2) * words + ((c + 2) >> 6)] &= ~(uint64_t{1} << ((c + 2) & 63));
        labelledPixels.push_back(k);
    };
    take(row, col);
    // The stack is kept as four arrays, one per field, each read as it was written: a frame
    // written in parts and read back in one wider load (which the compiler likes to do with a
    // row and a column) is not forwarded by the processor and stalls every step.
    size_t depth = 0;
    auto push = [&](int r, int c, int s) {
        if (depth == fillRows.size()) {
            const size_t grown = 2 * depth + 64;
            fillRows.resize(grown), fillCols.resize(grown), fillSteps.resize(grown), fillNext.resize(grown);
        }
        fillRows[depth] = r, fillCols[depth] = c, fillSteps[depth] = s, fillNext[depth] = 0;
        ++depth;
    };
    push(row, col, steps);
    // Depth-first over the 5 x 5 block, exactly in the order and with the step counts of the
    // recursive fill: each frame remembers which neighbour it visits next.
    while (depth > 0) {
        const size_t top = depth - 1;
        const int fr = fillRows[top], fc = fillCols[top];
        int i = fillNext[top];
        // A closed band is recognised while the walk is far along and looks back near the seed;
        // a block more than kClosedRadius + 2 from the seed cannot, and needs only its open bits.
        const bool counting = hits && fillSteps[top] > kClosedAfterSteps && std::abs(fr - fillSeed.row) <= kClosedRadius + 2 &&
                              std::abs(fc - fillSeed.col) <= kClosedRadius + 2;
        if (counting) {
            for (; i < 25; ++i) {
                const int dr = rowStep[i], dc = colStep[i];
                const int nr = fr + dr, nc = fc + dc;
                if (dr != 0 && dc != 0 && static_cast<unsigned>(nr) < static_cast<unsigned>(H) &&
                    static_cast<unsigned>(nc) < static_cast<unsigned>(W) && std::abs(fillSeed.row - nr) <= kClosedRadius &&
                    std::abs(fillSeed.col - nc) <= kClosedRadius)
                    ++*hits;
                if (isOpen(bits, words, nr + 2, nc + 2)) break;
            }
        } else if (i < 25) {
            const uint32_t ahead = openAround(bits, words, fr, fc) >> i;
            i = ahead ? i + __builtin_ctz(ahead) : 25;
        }
        if (i == 25) {
            --depth;
            continue;
        }
        fillNext[top] = i + 1;
        const int childSteps = ++fillSteps[top];
        const int nr = fr + rowStep[i], nc = fc + colStep[i];
        take(nr, nc);
        push(nr, nc, childSteps);
    }
}

// Labels every black pixel into connected sets (5 x 5 neighbourhood), seeds in scan order, and
// counts each label's pixels (entry 0: the unlabelled ones).
void Tracker::labelBlackPixels() {
    const int W = width, H = height, n = pixelCount(), P = W + 4;
    // The label plane is zero but for the pixels the last pass labelled.
    if (static_cast<int>(labels.size()) != n) {
        labels.assign(n, 0);
    } else {
        for (int32_t k : labelledPixels) labels[k] = 0;
    }
    labelledPixels.clear();
    labelStart.clear();
    std::fill(closedHits.begin(), closedHits.end(), 0);

    // Each row: its black pixels a bit each, moved up two bits behind two white columns (bytes in
    // little-endian order make up the words). One word more than the row needs lets fiveBits
    // read past a row's last column.
    const int words = (P + 63) / 64 + 1;
    openWords = words;
    const size_t bitWords = static_cast<size_t>(words) * (H + 4);
    if (openBits.size() != bitWords) openBits.assign(bitWords, 0);
    if (openPlane.size() != static_cast<size_t>(words) * 8) openPlane.assign(static_cast<size_t>(words) * 8, 0);
    uint8_t* rowBlack = openPlane.data();
    for (int r = 0; r < H; ++r) {
        blackBits(output + 3 * static_cast<size_t>(r) * W, rowBlack, static_cast<size_t>(W));
        uint64_t* rowBits = &openBits[static_cast<size_t>(r + 2) * words];
        uint64_t carry = 0;
        for (int w = 0; w < words; ++w) {
            uint64_t x;
            std::memcpy(&x, rowBlack + 8 * w, 8);
            rowBits[w] = x << 2 | carry;
            carry = x >> 62;
        }
    }

    int next = 0;
    labelStart.push_back(0);  // label 0 has no pixels in the list
    // Seeds: interior pixels, padded columns 3 to W, in scan order.
    for (int r = 1; r < H - 1; ++r) {
        const uint64_t* rowBits = &openBits[static_cast<size_t>(r + 2) * words];
        for (int w = 3 >> 6; w <= (W >> 6); ++w) {
            const int lo = std::max(3, 64 * w), hi = std::min(W, 64 * w + 63);
            const uint64_t valid = (~uint64_t{0} >> (63 - (hi - 64 * w))) & (~uint64_t{0} << (lo - 64 * w));
            uint64_t m = rowBits[w] & valid;
            while (m) {
                const int pc = 64 * w + __builtin_ctzll(m);
                fillSeed.row = r;
                fillSeed.col = pc - 2;
                labelStart.push_back(static_cast<int32_t>(labelledPixels.size()));
                fillLabel(r, pc - 2, ++next, 0);
                // The fill cleared what it labelled; go on after the seed.
                m = rowBits[w] & valid & ~((uint64_t{2} << (pc & 63)) - 1);
            }
        }
    }
    labelStart.push_back(static_cast<int32_t>(labelledPixels.size()));
    labelSizes.assign(next + 1, 0);
    for (int L = 1; L <= next; ++L) labelSizes[L] = labelStart[L + 1] - labelStart[L];
    labelSizes[0] = n - static_cast<int32_t>(labelledPixels.size());
}

// Two passes of a radix sort into `pixelOrder`, on the low and then the high half of the bits a
// pixel index of this frame takes (at most 11 each: frames of 2^22 pixels or more, beyond any
// webcam's, are sorted by comparison). Digits no wider than the frame needs keep the histograms,
// which are cleared and summed whole on every pass, small beside an outline of a few hundred
// pixels.
void Tracker::sortIntoScanOrder(const int32_t* pixels, int count) {
    constexpr int kMaxBits = 11;
    pixelOrder.resize(count);
    int bits = 1;
    while (bits < 2 * kMaxBits && (1 << bits) < pixelCount()) ++bits;
    if ((1 << bits) < pixelCount()) {
        std::copy(pixels, pixels + count, pixelOrder.begin());
        std::sort(pixelOrder.begin(), pixelOrder.end());
        return;
    }
    sortScratch.resize(count);
    uint32_t histogram[1 << kMaxBits];
    const int32_t* from = pixels;
    int32_t* to = sortScratch.data();
    const int lowBits = bits / 2, digitBits[2] = {lowBits, bits - lowBits};
    for (int pass = 0, shift = 0; pass < 2; shift += digitBits[pass++]) {
        const int buckets = 1 << digitBits[pass];
        const int32_t mask = buckets - 1;
        std::fill(histogram, histogram + buckets, 0u);
        for (int j = 0; j < count; ++j) ++histogram[(from[j] >> shift) & mask];
        uint32_t sum = 0;
        for (int b = 0; b < buckets; ++b) {
            const uint32_t here = histogram[b];
            histogram[b] = sum;
            sum += here;
        }
        for (int j = 0; j < count; ++j) to[histogram[(from[j] >> shift) & mask]++] = from[j];
        from = to;
        to = pixelOrder.data();
    }
}

void Tracker::countAndWhiten() { std::fill(output, output + 3 * static_cast<size_t>(pixelCount()), 255); }

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
    // Each outline's solid pixels, in scan order: its labelled pixels sorted by their index.
    for (int i = 0; i < selectedCount; ++i) {
        const int L = selectedLabels[i];
        sortIntoScanOrder(&labelledPixels[labelStart[L]], labelSizes[L]);
        Contour& ct = list.items[i];
        for (int32_t k : pixelOrder) {
            const int r = k / W, c = k % W;
            if (r == 0 || r == H - 1 || c == 0 || c == W - 1) continue;
            int same = 0;
            for (int dr = -W; dr <= W; dr += W)
                same += (labels[k + dr - 1] == L) + (labels[k + dr] == L) + (labels[k + dr + 1] == L);
            if (same < kSolidNeighbours) continue;
            ct.points[ct.pointCount++] = PointRecord{r, c, 0, 0, L};
        }
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
