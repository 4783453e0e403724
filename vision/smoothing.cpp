// Lens correction, 1-2-1 smoothing and grey conversion.
#include <cstring>

#include "vision/pixel_rows.h"
#include "vision/tracker.h"

namespace {

inline unsigned char smooth121(unsigned a, unsigned b, unsigned c) {
    return static_cast<unsigned char>((a + 2 * b + c) >> 2);
}

}  // namespace

bool Tracker::hasLensTables() const {
    const size_t n = static_cast<size_t>(pixelCount());
    return n > 0 && lensIndex.size() == n && lensIndexX.size() == n && lensIndexY.size() == n &&
           lensGain.size() == n && lensWeight.size() == n && lensWeightX.size() == n && lensWeightY.size() == n;
}

void Tracker::applyLensCorrection() {
    ensureOutput();
    const int n = pixelCount();
    if (!hasLensTables()) {
        // No lens tables for this frame size: show the picture uncorrected.
        std::memcpy(output, input, static_cast<size_t>(n) * 3);
        return;
    }
    const uint32_t lastOffset = static_cast<uint32_t>(n * 3 - 3);
    for (int k = 0; k < n; ++k) {
        const int32_t i0 = lensIndex[k], ix = lensIndexX[k], iy = lensIndexY[k];
        const float w0 = lensWeight[k], wx = lensWeightX[k], wy = lensWeightY[k], gain = lensGain[k];
        // An offset that would leave the frame reads black instead.
        const bool inside = static_cast<uint32_t>(i0) <= lastOffset && static_cast<uint32_t>(ix) <= lastOffset &&
                            static_cast<uint32_t>(iy) <= lastOffset;
        for (int ch = 0; ch < 3; ++ch) {
            float a, b, c;
            if (inside) {
                a = input[i0 + ch], b = input[ix + ch], c = input[iy + ch];
            } else {
                a = static_cast<uint32_t>(i0) <= lastOffset ? input[i0 + ch] : 0.0f;
                b = static_cast<uint32_t>(ix) <= lastOffset ? input[ix + ch] : 0.0f;
                c = static_cast<uint32_t>(iy) <= lastOffset ? input[iy + ch] : 0.0f;
            }
            const float sum = a * w0 + b * wx + c * wy;
            float v = sum * gain;
            if (v > 255.0f) v = 255.0f;
            output[3 * k + ch] = static_cast<unsigned char>(static_cast<int>(v));
        }
    }
}

void Tracker::smoothImage() {
    const int W = width, H = height;
    if (W < 3 || H < 3) {
        if (!output) {
            ensureOutput();
            std::memcpy(output, input, static_cast<size_t>(pixelCount()) * 3);
        }
        return;
    }
    const size_t rowBytes = static_cast<size_t>(W) * 3;
    if (!output) {
        ensureOutput();
        // The column pass overwrites the row pass on every row but the first and last, so only
        // those two rows keep row smoothing; the rest is the column smoothing of the input.
        // The corner pixels, which neither pass writes, keep the input's values.
        for (int r : {0, H - 1}) smoothAlongRow(input + r * rowBytes, output + r * rowBytes, W);
        for (int r = 1; r < H - 1; ++r) {
            const unsigned char* in = input + r * rowBytes;
            smoothBytes(in - rowBytes, in, in + rowBytes, output + r * rowBytes, rowBytes);
        }
        return;
    }
    // In place: each pass reuses the neighbour it has just smoothed (left, then upper).
    for (int r = 0; r < H; ++r) {
        unsigned char* row = output + r * rowBytes;
        for (size_t i = 3; i < rowBytes - 3; ++i) row[i] = smooth121(row[i - 3], row[i], row[i + 3]);
    }
    for (int r = 1; r < H - 1; ++r) {
        unsigned char* row = output + r * rowBytes;
        for (size_t i = 0; i < rowBytes; ++i) row[i] = smooth121(row[i - rowBytes], row[i], row[i + rowBytes]);
    }
}

// Luma with the weights 0.299, 0.587, 0.114 in 1024ths: g = (306 R + 601 G + 117 B) >> 10,
// written to all three channels (vision/pixel_rows.h).
void Tracker::convertToGrey() {
    if (!output) return;
    const int W = width, H = height;
    greyPixels(output, static_cast<size_t>(W) * H);
}

void Tracker::ensureGreyOutput() {
    if (output) return;
    ensureOutput();
    std::memcpy(output, input, static_cast<size_t>(pixelCount()) * 3);
    convertToGrey();
}
