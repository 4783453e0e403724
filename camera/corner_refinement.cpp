#include "camera/corner_refinement.h"

#include <cmath>

#include "vision/tracker.h"

namespace {

// Tunables of the edge search, in pixels unless said.
constexpr double kProfileStep = 0.5;
constexpr int kMaxProfileSamples = 13;
constexpr double kSideMargin = 0.15;      // fraction of a side left out at each corner
constexpr int kMinSamplesPerSide = 6;
constexpr double kSampleSpacing = 3.0;
// The first pass straightens out the whole-pixel corners (up to 3 pixels off); the second
// measures, on more places along each side and across less of it.
constexpr int kMaxSamplesPerSide[2] = {8, 16};
constexpr int kProfileSamples[2] = {13, 9};  // across +-3 and +-2 pixels
constexpr double kMinContrast = 20.0;     // grey levels between the dark and the light side
constexpr int kMinEdgePoints = 4;
constexpr int kPasses = 2;
constexpr double kSearchMargin = 3.0;      // the widest profile's reach                // the second pass samples along the refined sides

struct Line {
    double n[2];  // unit normal
    double d;     // n . p = d for points p on the line
};

// The brightness profile across a side at p: `count` samples kProfileStep apart along `across`,
// centred on p. Each sample is the luma (as the grey step weighs the channels) of the raw frame
// at a real position, bilinear between pixel centres. False when a sample falls outside the
// frame.
//
// The samples are gathered first (their four neighbours' channels and the two fractions), then
// weighed in a second loop that does the same float operations in the same order for every
// sample, which the compiler runs several samples to a vector.
bool sampleProfile(const Tracker& t, const LensParameters* lens, const double p[2], const double across[2], int count,
                   double* profile) {
    // Channel j (B, G, R) of neighbour m (0: the pixel, 1: its right, 2: above it, 3: above
    // right) of each sample, in whole vectors of samples; the unused ones are 0.
    constexpr int kLanes = 16;
    static_assert(kMaxProfileSamples <= kLanes, "a profile fits the vectors");
    uint8_t channel[4][3][kLanes] = {};
    float fx[kLanes], fy[kLanes];
    const double halfWidth = 0.5 * kProfileStep * (count - 1);
    const size_t rowBytes = 3 * static_cast<size_t>(t.width);
    for (int k = 0; k < count; ++k) {
        const double off = -halfWidth + k * kProfileStep;
        double x = p[0] + off * across[0], y = p[1] + off * across[1];
        if (lens) distortedPosition(*lens, x, y, x, y);
        if (!(x >= 0.0 && y >= 0.0 && x <= t.width - 1.001 && y <= t.height - 1.001)) return false;
        const int c = static_cast<int>(x), r = static_cast<int>(y);
        fx[k] = static_cast<float>(x - c), fy[k] = static_cast<float>(y - r);
        const unsigned char* px = t.input + 3 * (static_cast<size_t>(r) * t.width + c);
        const unsigned char* neighbour[4] = {px, px + 3, px + rowBytes, px + rowBytes + 3};
        for (int m = 0; m < 4; ++m)
            for (int j = 0; j < 3; ++j) channel[m][j][k] = neighbour[m][j];
    }
    float luma[4][kLanes];
    for (int m = 0; m < 4; ++m)
        for (int k = 0; k < kLanes; ++k)
            luma[m][k] = 0.114f * channel[m][0][k] + 0.587f * channel[m][1][k] + 0.299f * channel[m][2][k];
    for (int k = 0; k < count; ++k) {
        const float top = luma[0][k] + fx[k] * (luma[1][k] - luma[0][k]);
        const float bottom = luma[2][k] + fx[k] * (luma[3][k] - luma[2][k]);
        profile[k] = top + fy[k] * (bottom - top);
    }
    return true;
}

// Fits the side from a to b. `brighterOutward` says which way the brightness rises across it
// (outward: away from the rectangle's middle `centre`).
bool fitSide(const Tracker& t, const LensParameters* lens, const double a[2], const double b[2], const double centre[2],
             bool brighterOutward, int maxSamples, int profileSamples, Line& line) {
    const double halfWidth = 0.5 * kProfileStep * (profileSamples - 1);
    const double len = std::hypot(b[0] - a[0], b[1] - a[1]);
    if (len < 8.0) return false;
    const double dir[2] = {(b[0] - a[0]) / len, (b[1] - a[1]) / len};
    double n[2] = {-dir[1], dir[0]};
    const double mid[2] = {(a[0] + b[0]) / 2 - centre[0], (a[1] + b[1]) / 2 - centre[1]};
    if (n[0] * mid[0] + n[1] * mid[1] < 0) n[0] = -n[0], n[1] = -n[1];
    // Profiles run from the dark side to the light side.
    const double across[2] = {brighterOutward ? n[0] : -n[0], brighterOutward ? n[1] : -n[1]};

    int samples = static_cast<int>(len * (1 - 2 * kSideMargin) / kSampleSpacing);
    samples = samples < kMinSamplesPerSide ? kMinSamplesPerSide : samples > maxSamples ? maxSamples : samples;
    // Weighted sums for the line fit: total weight, first and second moments.
    double sw = 0, sx = 0, sy = 0, sxx = 0, sxy = 0, syy = 0;
    int points = 0;
    for (int i = 0; i < samples; ++i) {
        const double s = kSideMargin + (1 - 2 * kSideMargin) * (i + 0.5) / samples;
        const double p[2] = {a[0] + s * (b[0] - a[0]), a[1] + s * (b[1] - a[1])};
        double profile[kMaxProfileSamples];
        if (!sampleProfile(t, lens, p, across, profileSamples, profile)) continue;
        const double dark = 0.5 * (profile[0] + profile[1]);
        const double light = 0.5 * (profile[profileSamples - 1] + profile[profileSamples - 2]);
        if (light - dark < kMinContrast) continue;
        // The halfway crossing nearest the middle of the profile, linearly interpolated.
        const double half = 0.5 * (dark + light);
        double best = INFINITY, offset = 0;
        for (int k = 0; k + 1 < profileSamples; ++k) {
            if ((profile[k] < half) == (profile[k + 1] < half)) continue;
            const double where = -halfWidth + kProfileStep * (k + (half - profile[k]) / (profile[k + 1] - profile[k]));
            if (std::fabs(where) < std::fabs(best)) best = where, offset = where;
        }
        if (!std::isfinite(best)) continue;
        const double x = p[0] + offset * across[0], y = p[1] + offset * across[1], w = light - dark;
        sw += w, sx += w * x, sy += w * y, sxx += w * x * x, sxy += w * x * y, syy += w * y * y;
        ++points;
    }
    if (points < kMinEdgePoints) return false;
    // Total least squares: the normal is the eigenvector of the weighted scatter matrix with the
    // smaller eigenvalue, i.e. perpendicular to the direction of largest spread.
    const double mx = sx / sw, my = sy / sw;
    const double cxx = sxx / sw - mx * mx, cxy = sxy / sw - mx * my, cyy = syy / sw - my * my;
    const double theta = 0.5 * std::atan2(2 * cxy, cxx - cyy);  // direction of largest spread
    line.n[0] = -std::sin(theta), line.n[1] = std::cos(theta);
    line.d = line.n[0] * mx + line.n[1] * my;
    return true;
}

bool meet(const Line& a, const Line& b, double p[2]) {
    const double det = a.n[0] * b.n[1] - a.n[1] * b.n[0];
    if (std::fabs(det) < 1e-6) return false;
    p[0] = (a.d * b.n[1] - b.d * a.n[1]) / det;
    p[1] = (a.n[0] * b.d - b.n[0] * a.d) / det;
    return true;
}

// Refines one rectangle's corners (xy[0..3]); the inner rectangle is light inside, the outer
// one dark inside.
bool refineQuad(const Tracker& t, const LensParameters* lens, double (*xy)[2], bool lightInside, int pass) {
    double centre[2] = {0, 0};
    for (int m = 0; m < 4; ++m) centre[0] += xy[m][0] / 4, centre[1] += xy[m][1] / 4;
    Line sides[4];
    for (int m = 0; m < 4; ++m)
        if (!fitSide(t, lens, xy[m], xy[(m + 1) % 4], centre, !lightInside, kMaxSamplesPerSide[pass],
                     kProfileSamples[pass], sides[m]))
            return false;
    double refined[4][2];
    for (int m = 0; m < 4; ++m)
        if (!meet(sides[(m + 3) % 4], sides[m], refined[m])) return false;
    // A corner that moved further than the search reaches was not this rectangle's.
    for (int m = 0; m < 4; ++m)
        if (std::hypot(refined[m][0] - xy[m][0], refined[m][1] - xy[m][1]) > 9.0) return false;
    for (int m = 0; m < 4; ++m) xy[m][0] = refined[m][0], xy[m][1] = refined[m][1];
    return true;
}

}  // namespace

bool refineTargetCorners(const Tracker& t, const LensParameters* lens, TargetCorners& corners) {
    if (!t.input || t.width < 3 || t.height < 3) return false;
    TargetCorners work = corners;
    for (int pass = 0; pass < kPasses; ++pass)
        if (!refineQuad(t, lens, work.xy, true, pass) || !refineQuad(t, lens, work.xy + 4, false, pass))
            return false;
    // Through the lens, the corrected picture's rim is made of clamped samples: corners whose
    // raw position is not well inside the frame were found in that rim, not on the target.
    if (lens)
        for (const auto& p : work.xy) {
            double x, y;
            distortedPosition(*lens, p[0], p[1], x, y);
            if (x < kSearchMargin || y < kSearchMargin || x > t.width - 1 - kSearchMargin || y > t.height - 1 - kSearchMargin)
                return false;
        }
    corners = work;
    return true;
}
