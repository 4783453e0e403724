#include "tests/reference_chain.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace reference {

namespace {
unsigned char smooth121(unsigned a, unsigned b, unsigned c) { return static_cast<unsigned char>((a + 2 * b + c) >> 2); }
}  // namespace

void smoothFromInput(const uint8_t* input, uint8_t* output, int W, int H) {
    const size_t rowBytes = static_cast<size_t>(W) * 3;
    for (int r : {0, H - 1}) {
        const unsigned char* in = input + r * rowBytes;
        unsigned char* out = output + r * rowBytes;
        std::memcpy(out, in, 3);
        std::memcpy(out + rowBytes - 3, in + rowBytes - 3, 3);
        for (size_t i = 3; i < rowBytes - 3; ++i) out[i] = smooth121(in[i - 3], in[i], in[i + 3]);
    }
    for (int r = 1; r < H - 1; ++r) {
        const unsigned char* in = input + r * rowBytes;
        unsigned char* out = output + r * rowBytes;
        for (size_t i = 0; i < rowBytes; ++i) out[i] = smooth121(in[i - rowBytes], in[i], in[i + rowBytes]);
    }
}

void grey(uint8_t* output, int n) {
    for (int k = 0; k < n; ++k) {
        unsigned char* p = output + 3 * k;
        const unsigned char g = static_cast<unsigned char>((306u * p[2] + 601u * p[1] + 117u * p[0]) >> 10);
        p[0] = p[1] = p[2] = g;
    }
}

void sobel(uint8_t* output, int W, int H, int threshold, std::vector<int32_t>* rowOut, std::vector<int32_t>* colOut) {
    const int n = W * H;
    std::vector<int32_t> dRow(n), dCol(n);
    auto p = [&](int r, int c) { return static_cast<int>(output[3 * (r * W + c)]); };
    for (int r = 1; r < H - 1; ++r)
        for (int c = 1; c < W - 1; ++c) {
            dRow[r * W + c] = p(r + 1, c - 1) + 2 * p(r + 1, c) + p(r + 1, c + 1) - p(r - 1, c - 1) - 2 * p(r - 1, c) - p(r - 1, c + 1);
            dCol[r * W + c] = p(r - 1, c + 1) + 2 * p(r, c + 1) + p(r + 1, c + 1) - p(r - 1, c - 1) - 2 * p(r, c - 1) - p(r + 1, c - 1);
        }
    for (int r = 1; r < H - 1; ++r)
        for (int c = 1; c < W - 1; ++c) {
            const int k = r * W + c;
            const double m = std::sqrt(static_cast<double>(dRow[k]) * dRow[k] + static_cast<double>(dCol[k]) * dCol[k]);
            output[3 * k] = output[3 * k + 1] = output[3 * k + 2] = m >= threshold ? 0 : 255;
        }
    if (rowOut) *rowOut = dRow;
    if (colOut) *colOut = dCol;
}

namespace {

struct Frame {
    int row, col, steps, next;
};

void fill(const uint8_t* output, int W, int H, int row, int col, int label, Contours& out, std::vector<Frame>& stack) {
    int32_t* hits = label < kClosedHitLabels ? &out.closedHits[label] : nullptr;
    out.labels[row * W + col] = label;
    stack.assign(1, Frame{row, col, 0, 0});
    while (!stack.empty()) {
        Frame& f = stack.back();
        if (f.next == 25) {
            stack.pop_back();
            continue;
        }
        const int i = f.next++;
        const int dr = i / 5 - 2, dc = i % 5 - 2;
        const int nr = f.row + dr, nc = f.col + dc;
        if (nr < 0 || nr >= H || nc < 0 || nc >= W) continue;
        if (hits && f.steps > 190 && dr != 0 && dc != 0 && std::abs(row - nr) <= 8 && std::abs(col - nc) <= 8) ++*hits;
        const int k = nr * W + nc;
        if (output[3 * k] == 0 && out.labels[k] == 0) {
            const int childSteps = ++f.steps;
            out.labels[k] = label;
            stack.push_back(Frame{nr, nc, childSteps, 0});
        }
    }
}

}  // namespace

void labelContours(uint8_t* output, int W, int H, Contours& out) {
    const int n = W * H;
    out.labels.assign(n, 0);
    out.closedHits.assign(kClosedHitLabels, 0);
    std::vector<Frame> stack;
    int next = 0;
    for (int r = 1; r < H - 1; ++r)
        for (int c = 1; c < W - 1; ++c) {
            const int k = r * W + c;
            if (output[3 * k] != 0 || out.labels[k] != 0) continue;
            fill(output, W, H, r, c, ++next, out, stack);
        }
    out.labelSizes.assign(next + 1, 0);
    for (int k = 0; k < n; ++k) ++out.labelSizes[out.labels[k]];
    std::fill(output, output + 3 * static_cast<size_t>(n), 255);
    out.selected.clear();
    out.points.clear();
    for (int L = 1; L <= next && L < kClosedHitLabels; ++L)
        if (out.labelSizes[L] > 100 && out.closedHits[L] >= 1) out.selected.push_back(L);
    for (int L : out.selected) {
        std::vector<PointRecord> points;
        for (int r = 1; r < H - 1; ++r)
            for (int c = 1; c < W - 1; ++c) {
                const int k = r * W + c;
                if (out.labels[k] != L) continue;
                int same = 0;
                for (int dr = -1; dr <= 1; ++dr)
                    for (int dc = -1; dc <= 1; ++dc) same += out.labels[k + dr * W + dc] == L;
                if (same >= 6) points.push_back(PointRecord{r, c, 0, 0, L});
            }
        out.points.push_back(std::move(points));
    }
}

}  // namespace reference
