#include "vision/tracker.h"

#include <cmath>

namespace {
// The angle tables were always built with this approximation of pi; detection results depend
// on the exact table values, so it stays.
constexpr double kTablePi = 3.141516;
}  // namespace

Tracker::Tracker() : corners(kCornerCapacity), closedHits(kClosedHitLabels, 0) {
    // The camera matrices start as identity so that a draw before the first pose shows
    // something well-defined rather than reading indeterminate memory.
    for (int i = 0; i < 16; ++i) {
        modelview[i] = (i % 5 == 0) ? 1.0 : 0.0;
        projection[i] = (i % 5 == 0) ? 1.0 : 0.0;
    }
    for (int i = 0; i < kAngleTableSize; ++i) {
        const double a = i * kTablePi / 180.0;
        sinTable[i] = static_cast<float>(std::sin(a));
        cosTable[i] = static_cast<float>(std::cos(a));
    }
}

void Tracker::setFrameSize(int newHeight, int newWidth) {
    if (newHeight == height && newWidth == width) return;
    height = newHeight;
    width = newWidth;
    releasePixelBuffers();
}

void Tracker::ensureOutput() {
    const size_t bytes = static_cast<size_t>(pixelCount()) * 3;
    if (outputStorage.size() != bytes) outputStorage.assign(bytes, 0);
    output = outputStorage.data();
}

void Tracker::releasePixelBuffers() {
    output = nullptr;
    std::vector<unsigned char>().swap(outputStorage);
    for (auto* v : {&diffRow, &diffCol, &sobelRow, &sobelCol, &labels, &lensIndex, &lensIndexX,
                    &lensIndexY}) {
        std::vector<int32_t>().swap(*v);
    }
    for (auto* v : {&gradMagnitude, &gradDirection, &thinMagnitude, &lensGain, &lensWeight,
                    &lensWeightX, &lensWeightY}) {
        std::vector<float>().swap(*v);
    }
}
