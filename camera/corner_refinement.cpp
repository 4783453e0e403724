#include "camera/corner_refinement.h"

#include <algorithm>
#include <cmath>

#include "vision/homography.h"
#include "vision/target_model.h"
#include "vision/tracker.h"

void RawView::toRaw(double x, double y, double& rx, double& ry) const {
    if (tables) return distortedPosition(*tables, x, y, rx, ry);
    if (camera) {
        // Ideal pixel to normalised, through the lens, back to pixels.
        double xd, yd;
        distortNormalised(*camera, (x - camera->cx) / camera->fx, (y - camera->cy) / camera->fy, xd, yd);
        rx = camera->cx + camera->fx * xd, ry = camera->cy + camera->fy * yd;
        return;
    }
    rx = x, ry = y;
}

void RawView::toIdeal(double rx, double ry, double& x, double& y) const {
    x = rx, y = ry;
    if (!camera) return;
    double xn, yn;
    undistortPixel(*camera, rx, ry, xn, yn);
    x = camera->cx + camera->fx * xn, y = camera->cy + camera->fy * yn;
}

namespace {

// Tunables of the edge search, in pixels unless said.
constexpr double kSideMargin = 0.15;      // fraction of a side left out at each corner
constexpr int kMinSamplesPerSide = 6;
constexpr double kSampleSpacing = 3.0;
// The first pass straightens out the whole-pixel corners (up to 3 pixels off); the second
// measures, on more places along each side and across less of it.
constexpr int kMaxSamplesPerSide[2] = {8, 16};
constexpr double kProfileReach[2] = {3.0, 2.0};  // half the profile's length
constexpr int kProfileSamples[2] = {13, 9};      // samples across a side, evenly spread
constexpr int kMaxProfileSamples = 13;
// A side blurred wider than the profile (motion, defocus) shows no plateaus: it is read again
// with profiles this many times longer, as far as the border allows.
constexpr double kBlurredReach = 4.0;
constexpr double kMinContrast = 12.0;  // grey levels between the dark and the light side
// A profile's ends are on the flat when they change by less than this share of its contrast
// over their last step.
constexpr double kMaxEndSlope = 0.12;
constexpr int kMinEdgePoints = 4;
// Half the window about a sharp edge's halfway crossing over which the step's place is measured:
// the pixel-area blur of the step (a pixel), and no more, so that the plateaus' noise and the
// light's slope weigh little.
constexpr double kStepWindow = 1.0;
// A place along a side is left out of the line when it lies further off the line than this
// many times the places' median distance (or kMinOutlierPx): a hand, a shadow's edge or a
// blot across the side, not the side.
constexpr double kOutlierFactor = 3.0, kMinOutlierPx = 0.35;
constexpr double kMinInlierShare = 0.45;  // of a side's places, for the side to count
// Places where both sides of the edge are this bright (a glare spot saturating the print) show
// nothing of the side: the share above counts only the places that could show it.
constexpr double kSaturatedLevel = 250.0;
// A border narrower than the profile would read the next edge: profiles reach at most this
// share of the border's width in the picture.
constexpr double kBorderShare = 0.45;
constexpr double kMinReach = 0.9;
// Outer corners further than this share of the target's size from where the inner rectangle
// puts them were not found on the target's outline (a hand over a corner, a merged outline):
// the prediction replaces them.
constexpr double kOuterTolerance = 0.04;
constexpr int kPasses = 2;
constexpr double kSearchMargin = 3.0;  // the widest profile's reach near the frame's edge
// Outer corners that must be found when the target is partly out of the picture: with the hole's
// four they fix the pose as well as the eight do on a smaller target.
constexpr int kMinCornersInView = 2;

struct Line {
    double n[2];  // unit normal
    double d;     // n . p = d for points p on the line
};

// The brightness profile across a side at p: `count` samples `step` apart along `across`,
// centred on p. Each sample is the luma (as the grey step weighs the channels) of the raw frame
// at a real position, bilinear between pixel centres. False when a sample falls outside the
// frame.
//
// The samples are gathered first (their four neighbours' channels and the two fractions), then
// weighed in a second loop that does the same float operations in the same order for every
// sample, which the compiler runs several samples to a vector.
bool sampleProfile(const Tracker& t, const RawView* lens, const double p[2], const double across[2], int count,
                   double step, double* profile) {
    // Channel j (B, G, R) of neighbour m (0: the pixel, 1: its right, 2: above it, 3: above
    // right) of each sample, in whole vectors of samples; the unused ones are 0.
    constexpr int kLanes = 16;
    static_assert(kMaxProfileSamples <= kLanes, "a profile fits the vectors");
    uint8_t channel[4][3][kLanes] = {};
    float fx[kLanes], fy[kLanes];
    const double halfWidth = 0.5 * step * (count - 1);
    const size_t rowBytes = 3 * static_cast<size_t>(t.width);
    for (int k = 0; k < count; ++k) {
        const double off = -halfWidth + k * step;
        double x = p[0] + off * across[0], y = p[1] + off * across[1];
        if (lens) lens->toRaw(x, y, x, y);
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

struct EdgePoint {
    double x, y, w;
};

// The step's place in the profile (samples `step` apart from -reach) from the dark share of the
// window of kStepWindow either side of the crossing `near`, the piecewise-linear profile
// integrated exactly (clipped to the profile).
double stepInWindow(const double* profile, int count, double reach, double step, double dark, double light, double near) {
    const double lo = std::max(-reach, near - kStepWindow), hi = std::min(reach, near + kStepWindow);
    auto darkShare = [&](double s) {
        const double f = (s + reach) / step;
        const int k = std::clamp(static_cast<int>(f), 0, count - 2);
        return (light - (profile[k] + (f - k) * (profile[k + 1] - profile[k]))) / (light - dark);
    };
    // Trapezoids between the window's ends and the sample places inside it.
    double area = 0, s0 = lo, v0 = darkShare(lo);
    for (int k = 0; k < count; ++k) {
        const double s = -reach + k * step;
        if (s <= lo || s >= hi) continue;
        const double v = darkShare(s);
        area += 0.5 * (v0 + v) * (s - s0), s0 = s, v0 = v;
    }
    area += 0.5 * (v0 + darkShare(hi)) * (hi - s0);
    return lo + area;
}

// The weighted total-least-squares line through points (those with w > 0): its normal is the
// eigenvector of the weighted scatter matrix with the smaller eigenvalue, perpendicular to the
// direction of largest spread.
bool fitLine(const EdgePoint* pts, int n, Line& line) {
    double sw = 0, sx = 0, sy = 0, sxx = 0, sxy = 0, syy = 0;
    for (int i = 0; i < n; ++i) {
        const EdgePoint& p = pts[i];
        if (p.w <= 0) continue;
        sw += p.w, sx += p.w * p.x, sy += p.w * p.y, sxx += p.w * p.x * p.x, sxy += p.w * p.x * p.y, syy += p.w * p.y * p.y;
    }
    if (!(sw > 0)) return false;
    const double mx = sx / sw, my = sy / sw;
    const double cxx = sxx / sw - mx * mx, cxy = sxy / sw - mx * my, cyy = syy / sw - my * my;
    const double theta = 0.5 * std::atan2(2 * cxy, cxx - cyy);  // direction of largest spread
    line.n[0] = -std::sin(theta), line.n[1] = std::cos(theta);
    line.d = line.n[0] * mx + line.n[1] * my;
    return true;
}

// Fits the side from a to b. `brighterOutward` says which way the brightness rises across it
// (outward: away from the rectangle's middle `centre`); profiles reach `reach` pixels to either
// side of it, the long reach of a smeared edge when `smearedRead`.
bool fitSide(const Tracker& t, const RawView* lens, const double a[2], const double b[2], const double centre[2],
             bool brighterOutward, int pass, double reach, bool smearedRead, Line& line, double (*found)[2] = nullptr,
             int* foundCount = nullptr) {
    const int maxSamples = kMaxSamplesPerSide[pass], count = kProfileSamples[pass];
    const double len = std::hypot(b[0] - a[0], b[1] - a[1]);
    if (len < 6.0) return false;
    const double dir[2] = {(b[0] - a[0]) / len, (b[1] - a[1]) / len};
    double n[2] = {-dir[1], dir[0]};
    const double mid[2] = {(a[0] + b[0]) / 2 - centre[0], (a[1] + b[1]) / 2 - centre[1]};
    if (n[0] * mid[0] + n[1] * mid[1] < 0) n[0] = -n[0], n[1] = -n[1];
    // Profiles run from the dark side to the light side.
    const double across[2] = {brighterOutward ? n[0] : -n[0], brighterOutward ? n[1] : -n[1]};
    const double step = 2.0 * reach / (count - 1);

    int samples = static_cast<int>(len * (1 - 2 * kSideMargin) / kSampleSpacing);
    samples = std::clamp(samples, kMinSamplesPerSide, maxSamples);
    EdgePoint pts[16];
    int points = 0, unfinished = 0, washedOut = 0;
    for (int i = 0; i < samples; ++i) {
        const double s = kSideMargin + (1 - 2 * kSideMargin) * (i + 0.5) / samples;
        const double p[2] = {a[0] + s * (b[0] - a[0]), a[1] + s * (b[1] - a[1])};
        double profile[kMaxProfileSamples] = {};
        if (!sampleProfile(t, lens, p, across, count, step, profile)) continue;
        // A sharp edge's levels are its profile's ends; a smeared one (the long profiles) may not
        // reach them there, and its darkest and lightest samples come nearer.
        double dark = 0.5 * (profile[0] + profile[1]);
        double light = 0.5 * (profile[count - 1] + profile[count - 2]);
        if (smearedRead)
            for (int k = 0; k < count; ++k) dark = std::min(dark, profile[k]), light = std::max(light, profile[k]);
        if (light - dark < kMinContrast) {
            washedOut += light >= kSaturatedLevel;
            continue;
        }
        // A profile still climbing at its ends is shorter than the edge is wide (motion, defocus):
        // its halfway point is only its own middle.
        const double ends = std::fabs(profile[1] - profile[0]) + std::fabs(profile[count - 1] - profile[count - 2]);
        if (ends > kMaxEndSlope * (light - dark)) ++unfinished;
        // The halfway crossing nearest the middle of the profile, linearly interpolated.
        const double half = 0.5 * (dark + light);
        double best = INFINITY;
        for (int k = 0; k + 1 < count; ++k) {
            if ((profile[k] < half) == (profile[k + 1] < half)) continue;
            const double where = -reach + step * (k + (half - profile[k]) / (profile[k + 1] - profile[k]));
            if (std::fabs(where) < std::fabs(best)) best = where;
        }
        if (!std::isfinite(best)) continue;
        // Where a sharp edge lies within the samples around it: the crossing above is biased
        // towards the pixel centres (interpolating a pixel-area step linearly puts the halfway
        // point up to 0.08 px off, with the edge's phase on the pixel grid, which a side nearly
        // along the grid keeps), while the dark share of a window about the step measures it
        // whatever the pixel footprint: for a step at e, the integral over [a, b] of
        // (light - v) / (light - dark) is e - a.
        if (!smearedRead) best = stepInWindow(profile, count, reach, step, dark, light, best);
        pts[points++] = {p[0] + best * across[0], p[1] + best * across[1], light - dark};
    }
    // Most profiles unfinished: the usual reach is too short, and the side is read again with the
    // long one. That one is bounded by the border's width, and a smear wider than the border
    // shows no plateaus there either; its halfway points are then taken as they are, and the
    // close fit asked of a pose from smeared sides (the caller's) judges them.
    if ((!smearedRead && 2 * unfinished > points) || points < kMinEdgePoints || !fitLine(pts, points, line)) return false;
    // Places off the line (something over the side, the edge of a shadow) are left out, and the
    // line fitted again from the rest.
    for (int round = 0; round < 2; ++round) {
        double distance[16], sorted[16];
        for (int i = 0; i < points; ++i)
            sorted[i] = distance[i] = std::fabs(line.n[0] * pts[i].x + line.n[1] * pts[i].y - line.d);
        std::nth_element(sorted, sorted + points / 2, sorted + points);
        const double limit = std::max(kOutlierFactor * sorted[points / 2], kMinOutlierPx);
        int kept = 0;
        for (int i = 0; i < points; ++i) {
            if (distance[i] > limit) pts[i].w = 0;
            kept += pts[i].w > 0;
        }
        if (kept < kMinEdgePoints || kept < kMinInlierShare * (samples - washedOut) || !fitLine(pts, points, line)) return false;
    }
    if (found) {
        *foundCount = 0;
        for (int i = 0; i < points; ++i)
            if (pts[i].w > 0) found[*foundCount][0] = pts[i].x, found[*foundCount][1] = pts[i].y, ++*foundCount;
    }
    return true;
}

bool meet(const Line& a, const Line& b, double p[2]) {
    const double det = a.n[0] * b.n[1] - a.n[1] * b.n[0];
    if (std::fabs(det) < 1e-6) return false;
    p[0] = (a.d * b.n[1] - b.d * a.n[1]) / det;
    p[1] = (a.n[0] * b.d - b.n[0] * a.d) / det;
    return true;
}

// How far each side's profiles may reach: the target's border between inner side m and outer
// side m (the same side of both rectangles) in the picture, a share of it, at most `most`.
void profileReaches(const double (*xy)[2], double most, double reach[4]) {
    for (int m = 0; m < 4; ++m) {
        const double* a = xy[4 + m];
        const double* b = xy[4 + (m + 1) % 4];
        const double len = std::hypot(b[0] - a[0], b[1] - a[1]);
        const double mid[2] = {(xy[m][0] + xy[(m + 1) % 4][0]) / 2, (xy[m][1] + xy[(m + 1) % 4][1]) / 2};
        const double border =
            len > 0 ? std::fabs((b[0] - a[0]) * (mid[1] - a[1]) - (b[1] - a[1]) * (mid[0] - a[0])) / len : 0;
        reach[m] = std::clamp(kBorderShare * border, kMinReach, most);
    }
}

// Refines one rectangle's corners (xy[0..3]); the inner rectangle is light inside, the outer
// one dark inside. A side that shows no edge with the profile's usual reach is tried once more
// with a longer one, for edges smeared by motion or defocus. With `outOfView` (the outer
// rectangle of a target partly out of the picture) a side may go unfitted: a corner is then found
// only where both its sides were fitted (a corner just past the frame's edge is found where its
// sides meet), and the others (bits set in *outOfView) keep their places; at least two must be
// found.
bool refineQuad(const Tracker& t, const RawView* lens, double (*xy)[2], bool lightInside, int pass,
                const double reach[4], const double blurredReach[4], bool& smeared, TargetEdges* edges, int firstSide,
                unsigned* outOfView = nullptr) {
    double centre[2] = {0, 0};
    for (int m = 0; m < 4; ++m) centre[0] += xy[m][0] / 4, centre[1] += xy[m][1] / 4;
    Line sides[4];
    bool fitted[4];
    for (int m = 0; m < 4; ++m) {
        double(*found)[2] = edges ? edges->xy[firstSide + m] : nullptr;
        int* count = edges ? &edges->count[firstSide + m] : nullptr;
        if (count) *count = 0;
        fitted[m] = fitSide(t, lens, xy[m], xy[(m + 1) % 4], centre, !lightInside, pass, reach[m], false, sides[m], found, count);
        if (fitted[m]) continue;
        fitted[m] = blurredReach[m] > reach[m] && fitSide(t, lens, xy[m], xy[(m + 1) % 4], centre, !lightInside, pass,
                                                          blurredReach[m], true, sides[m], found, count);
        if (!fitted[m] && !outOfView) return false;
        if (fitted[m]) smeared = true;
    }
    // A corner that moved further than the search reaches was not this rectangle's.
    const double limit = 3.0 * std::max(3.0, *std::max_element(blurredReach, blurredReach + 4));
    double refined[4][2];
    unsigned missing = 0;
    for (int m = 0; m < 4; ++m) {
        const bool ok = fitted[(m + 3) % 4] && fitted[m] && meet(sides[(m + 3) % 4], sides[m], refined[m]) &&
                        std::hypot(refined[m][0] - xy[m][0], refined[m][1] - xy[m][1]) <= limit;
        if (!ok && !outOfView) return false;
        if (!ok) missing |= 1u << m;
    }
    if (outOfView && 4 - __builtin_popcount(missing) < kMinCornersInView) return false;
    for (int m = 0; m < 4; ++m)
        if (!(missing & (1u << m))) xy[m][0] = refined[m][0], xy[m][1] = refined[m][1];
    if (outOfView) *outOfView = missing;
    return true;
}

// Where the refined inner rectangle puts the outer corners; rough outer corners far from there
// were not found on the outline, and the prediction takes their place.
void predictOuterCorners(double (*xy)[2]) {
    double X[4], Y[4], x[4], y[4], h[9];
    for (int m = 0; m < 4; ++m) X[m] = kTargetCornerMm[m][0], Y[m] = kTargetCornerMm[m][1], x[m] = xy[m][0], y[m] = xy[m][1];
    if (!fitPlaneHomography(4, X, Y, x, y, h)) return;
    double predicted[4][2];
    for (int m = 0; m < 4; ++m)
        if (!applyHomography(h, kTargetCornerMm[4 + m], predicted[m])) return;
    const double size = std::hypot(predicted[0][0] - predicted[2][0], predicted[0][1] - predicted[2][1]);
    bool far = false;
    for (int m = 0; m < 4; ++m)
        far = far || std::hypot(predicted[m][0] - xy[4 + m][0], predicted[m][1] - xy[4 + m][1]) > kOuterTolerance * size;
    if (!far) return;
    for (int m = 0; m < 4; ++m) xy[4 + m][0] = predicted[m][0], xy[4 + m][1] = predicted[m][1];
}

}  // namespace

bool refineTargetCorners(const Tracker& t, const RawView* lens, TargetCorners& corners, bool* smeared,
                         TargetEdges* edges, bool partView) {
    if (!t.input || t.width < 3 || t.height < 3) return false;
    TargetCorners work = corners;
    work.outOfView = 0;
    bool blurred = false;
    for (int pass = 0; pass < kPasses; ++pass) {
        double reach[4], longReach[4];
        profileReaches(work.xy, kProfileReach[pass], reach);
        profileReaches(work.xy, kBlurredReach * kProfileReach[pass], longReach);
        TargetEdges* found = pass == kPasses - 1 ? edges : nullptr;  // the last pass's places
        if (!refineQuad(t, lens, work.xy, true, pass, reach, longReach, blurred, found, 0)) return false;
        if (pass == 0) predictOuterCorners(work.xy);
        if (!refineQuad(t, lens, work.xy + 4, false, pass, reach, longReach, blurred, found, 4, partView ? &work.outOfView : nullptr))
            return false;
    }
    work.outOfView <<= 4;  // outer corner m is corner 4 + m
    // Through the lens, the corrected picture's rim is made of clamped samples: corners whose
    // raw position is not well inside the frame were found in that rim, not on the target.
    if (lens && lens->tables)
        for (int i = 0; i < 8; ++i) {
            if (work.outOfView & (1u << i)) continue;
            double x, y;
            lens->toRaw(work.xy[i][0], work.xy[i][1], x, y);
            if (x < kSearchMargin || y < kSearchMargin || x > t.width - 1 - kSearchMargin || y > t.height - 1 - kSearchMargin)
                return false;
        }
    corners = work;
    if (smeared) *smeared = blurred;
    return true;
}

bool cornersAtMiddleRowTime(const TargetEdges& edges, const RowMotion& motion, const CameraIntrinsics& camera,
                            TargetCorners& corners) {
    Line sides[8];
    bool fitted[8];
    for (int k = 0; k < 8; ++k) {
        EdgePoint pts[TargetEdges::kMaxPoints];
        const int n = std::min(edges.count[k], TargetEdges::kMaxPoints);
        // A side past the frame's edge (the target partly out of view) has no places; its
        // corners are not measured either.
        fitted[k] = n >= kMinEdgePoints;
        if (!fitted[k]) continue;
        for (int i = 0; i < n; ++i) {
            double x = edges.xy[k][i][0], y = edges.xy[k][i][1];
            if (!toMiddleRowTime(motion, camera, x, y)) return false;
            pts[i] = {x, y, 1.0};
        }
        if (!fitLine(pts, n, sides[k])) return false;
    }
    // Side k of a rectangle runs from its corner k to corner k + 1: corner k is where sides k - 1
    // and k meet.
    TargetCorners moved = corners;
    for (int q = 0; q < 2; ++q)
        for (int m = 0; m < 4; ++m) {
            const int a = 4 * q + (m + 3) % 4, b = 4 * q + m;
            if (corners.outOfView & (1u << (4 * q + m))) continue;
            if (!fitted[a] || !fitted[b] || !meet(sides[a], sides[b], moved.xy[4 * q + m])) return false;
        }
    corners = moved;
    return true;
}
