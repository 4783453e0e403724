// The straight-line Hough transform of the black pixels, shown as a picture of its votes:
// one row per distance, one column per angle.
#include <algorithm>
#include <cmath>

#include "vision/tracker.h"

namespace {
constexpr int kMinShownVotes = 11;
}

void Tracker::houghLines(int rhoBins, int) {
    if (!output || width < 3 || height < 3) return;
    const int W = width, H = height;
    if (houghVotes.empty()) {
        houghRhoBins = std::max(1, rhoBins);
        houghVotes.assign(static_cast<size_t>(houghRhoBins) * houghAngleBins, 0);
    }
    std::fill(houghVotes.begin(), houghVotes.end(), 0);
    const int steps = std::min(houghAngleSteps, houghAngleBins);

    for (int r = 1; r < H - 1; ++r)
        for (int c = 1; c < W - 1; ++c) {
            if (output[3 * (static_cast<size_t>(r) * W + c)] != 0) continue;
            for (int t = 0; t < steps; ++t) {
                const float s = static_cast<float>(r) * cosTable[t] + static_cast<float>(c) * sinTable[t];
                const int d = static_cast<int>(std::fabs(s));
                // Distances beyond the table (frames larger than it was sized for) are dropped.
                if (d >= houghRhoBins) continue;
                if (d > 0)
                    ++houghVotes[static_cast<size_t>(d) * houghAngleBins + t];
                else
                    ++houghVotes[(t + 180) % houghAngleBins];
            }
        }

    const int32_t m = *std::max_element(houghVotes.begin(), houghVotes.end());
    for (int r = 0; r < H; ++r)
        for (int c = 0; c < W; ++c) {
            // Pixels beyond the table's distances or angles show no votes.
            const int32_t v = (r < houghRhoBins && c < houghAngleBins)
                                  ? houghVotes[static_cast<size_t>(r) * houghAngleBins + c]
                                  : 0;
            const unsigned char g = (v < kMinShownVotes || m == 0) ? 0 : static_cast<unsigned char>(v * 255 / m);
            unsigned char* px = output + 3 * (static_cast<size_t>(r) * W + c);
            px[0] = px[1] = px[2] = g;
        }
}
