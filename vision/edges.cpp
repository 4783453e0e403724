// Black-on-white edge pictures: thin edges (gradient with non-maximum suppression) and Sobel.
#include <array>
#include <cmath>
#include <cstdlib>

#include "vision/pixel_rows.h"
#include "vision/tracker.h"

namespace {

constexpr double kPi = 3.14159265358979323846;

// The gradient direction depends only on the integer quotient dy / dx, which lies in
// -255..255: its arctangent and direction class are looked up, not recomputed per pixel.
struct DirectionTable {
    std::array<float, 511> degrees;
    std::array<uint8_t, 511> cls;  // 0, 1, 2, 3 for 0, 45, 90, 135 degrees

    DirectionTable() {
        for (int q = -255; q <= 255; ++q) {
            const float t = static_cast<float>(std::atan(static_cast<double>(q)) * 180.0 / kPi);
            degrees[q + 255] = t;
            cls[q + 255] = classOf(t);
        }
    }
    static uint8_t classOf(float t) {
        auto distance = [t](int x) { return std::abs(static_cast<int>(t - static_cast<float>(x))); };
        int best = 0;
        for (int c = 1; c < 4; ++c)
            if (distance(45 * c) < distance(45 * best)) best = c;
        return static_cast<uint8_t>(best);
    }
};

const DirectionTable& directions() {
    static const DirectionTable table;
    return table;
}

template <typename T>
void ensureSized(std::vector<T>& v, int n) {
    if (static_cast<int>(v.size()) != n) v.assign(n, T{});
}

}  // namespace

void Tracker::thinEdges(int threshold, int) {
    if (!output || width < 3 || height < 3) return;
    const int W = width, H = height, n = pixelCount();
    // Border entries are never computed and stay 0, so a border never suppresses its neighbour.
    ensureSized(gradMagnitude, n);
    ensureSized(gradDirection, n);
    ensureSized(thinMagnitude, n);
    ensureSized(edgePlane, n + static_cast<int>(kSobelBlock));  // holds each pixel's direction class here
    const DirectionTable& table = directions();
    auto p = [&](int k) { return static_cast<int>(output[3 * k]); };

    for (int r = 1; r < H - 1; ++r)
        for (int c = 1; c < W - 1; ++c) {
            const int k = r * W + c;
            const int dx = p(k - 1) - p(k + 1), dy = p(k - W) - p(k + W);
            gradMagnitude[k] = static_cast<float>(std::sqrt(static_cast<double>(dx * dx + dy * dy)));
            const int q = dx != 0 ? dy / dx + 255 : 255;  // dx = 0 reads as direction 0
            gradDirection[k] = dx != 0 ? table.degrees[q] : 0.0f;
            edgePlane[k] = table.cls[q];
        }

    // Neighbour offsets of the classes 0, 45, 90 and 135 degrees.
    const int first[4] = {-1, W - 1, -W, -W - 1};
    const int second[4] = {1, -W + 1, W, W + 1};
    for (int r = 1; r < H - 1; ++r)
        for (int c = 1; c < W - 1; ++c) {
            const int k = r * W + c;
            const int cls = edgePlane[k];
            const float m = gradMagnitude[k];
            thinMagnitude[k] = (gradMagnitude[k + first[cls]] <= m && gradMagnitude[k + second[cls]] <= m) ? m : 0.0f;
        }

    for (int r = 1; r < H - 1; ++r)
        for (int c = 1; c < W - 1; ++c) {
            const int k = r * W + c;
            const unsigned char v = thinMagnitude[k] >= static_cast<float>(threshold) ? 0 : 255;
            output[3 * k] = output[3 * k + 1] = output[3 * k + 2] = v;
        }
}

// For each interior pixel of channel 0 (p):
//   sobelRow = p(r+1, c-1) + 2 p(r+1, c) + p(r+1, c+1) - p(r-1, c-1) - 2 p(r-1, c) - p(r-1, c+1)
//   sobelCol = p(r-1, c+1) + 2 p(r, c+1) + p(r+1, c+1) - p(r-1, c-1) - 2 p(r, c-1) - p(r+1, c-1)
// and the pixel is an edge (0, else 255, in all three channels) when sqrt(sobelRow^2 + sobelCol^2)
// >= threshold. sqrt is correctly rounded and monotonic, so for the integer sum s and a whole
// threshold t that is s >= t * t (and always for t <= 0); sums stay below 2^22.
//
// The sums are taken apart into a row's own sums, each found once and used by three rows
// (vision/pixel_rows.h); the border rows and columns are left as they are.
void Tracker::sobelEdges(int threshold) {
    if (!output || width < 3 || height < 3) return;
    ensureSized(edgePlane, pixelCount() + static_cast<int>(kSobelBlock));
    channelZero(output, edgePlane.data(), static_cast<size_t>(pixelCount()));
    sobelOfPlane(threshold, true);
}

// The interior pixels' verdicts from the grey plane in edgePlane, into `output`; with
// `keepDerivatives`, sobelRow and sobelCol from the same sums.
void Tracker::sobelOfPlane(int threshold, bool keepDerivatives) {
    const int W = width, H = height;
    const uint8_t* plane = edgePlane.data();
    ensureSized(edgeRow, W + static_cast<int>(kSobelBlock));
    uint8_t* verdict = edgeRow.data();
    // Three rows of sums, used round-robin: row r's sums sit in slot r % 3.
    const int S = W + static_cast<int>(kSobelBlock);
    ensureSized(sobelSums, 6 * S);
    int16_t* across[3] = {&sobelSums[0], &sobelSums[S], &sobelSums[2 * S]};
    int16_t* change[3] = {&sobelSums[3 * S], &sobelSums[4 * S], &sobelSums[5 * S]};
    const size_t w = static_cast<size_t>(W);
    sobelRowSums(plane, across[0], change[0], w);
    sobelRowSums(plane + W, across[1], change[1], w);

    if (keepDerivatives) {
        ensureSized(sobelRow, pixelCount());
        ensureSized(sobelCol, pixelCount());
    }
    const int64_t limit64 = threshold <= 0 ? 0 : static_cast<int64_t>(threshold) * threshold;
    const int32_t limit = limit64 > (int64_t{1} << 30) ? (1 << 30) : static_cast<int32_t>(limit64);
    for (int r = 1; r < H - 1; ++r) {
        const int up = (r - 1) % 3, mid = r % 3, down = (r + 1) % 3;
        sobelRowSums(plane + static_cast<size_t>(r + 1) * W, across[down], change[down], w);
        sobelVerdicts(across[up], across[down], change[up], change[mid], change[down], verdict, w, limit);
        spreadToPixels(verdict + 1, output + 3 * (static_cast<size_t>(r) * W + 1), w - 2);
        if (!keepDerivatives) continue;
        int32_t* dRow = &sobelRow[static_cast<size_t>(r) * W];
        int32_t* dCol = &sobelCol[static_cast<size_t>(r) * W];
        for (int c = 1; c < W - 1; ++c) {
            dRow[c] = across[down][c] - across[up][c];
            dCol[c] = change[up][c] + 2 * change[mid][c] + change[down][c];
        }
    }
}

// What smoothImage, convertToGrey and sobelEdges leave in `output` from `input`, without the
// two full pictures between them: each row is smoothed into a row buffer and its grey goes
// straight into the plane the Sobel sums read. Only the border pixels, which the Sobel step
// leaves as they are, need their grey in `output`.
void Tracker::smoothGreySobel(int threshold) {
    markOutputAbsent();
    if (width < 3 || height < 3) {
        smoothImage();
        convertToGrey();
        return;
    }
    ensureOutput();
    const int W = width, H = height;
    const size_t w = static_cast<size_t>(W), rowBytes = 3 * w;
    ensureSized(edgePlane, pixelCount() + static_cast<int>(kSobelBlock));
    ensureSized(smoothedRow, static_cast<int>(rowBytes));
    uint8_t* smoothed = smoothedRow.data();
    for (int r = 0; r < H; ++r) {
        const unsigned char* in = input + r * rowBytes;
        uint8_t* grey = &edgePlane[r * w];
        unsigned char* out = output + r * rowBytes;
        if (r == 0 || r == H - 1) {
            smoothAlongRow(in, smoothed, w);
            greyPlane(smoothed, grey, w);
            spreadToPixels(grey, out, w);
        } else {
            smoothBytes(in - rowBytes, in, in + rowBytes, smoothed, rowBytes);
            greyPlane(smoothed, grey, w);
            spreadToPixels(grey, out, 1);
            spreadToPixels(grey + w - 1, out + rowBytes - 3, 1);
        }
    }
    sobelOfPlane(threshold, false);
}
