#include "vision/target_finder.h"

#include <cmath>

#include "vision/geometry.h"
#include "vision/homography.h"
#include "vision/target_model.h"

namespace {

// A pair fits the target when the inner rectangle's corners lie where the outer rectangle's
// homography puts the model's inner corners, within this fraction of the outer rectangle's
// size (the square root of its area): 4 % is some 3 pixels on a target 80 pixels across,
// well above the corner noise of whole-pixel hulls and well below any other pair's misfit.
constexpr double kFitTolerance = 0.04;
// Outlines smaller than this (pixels of area) give corners too coarse to use.
constexpr double kMinQuadArea = 150.0;
constexpr int kMinLabelPixels = 100;  // as the contour step's smallest outline
constexpr int kMaxCandidates = 16;  // outlines looked at; a cluttered desk rarely has more
// An outline cut by the frame's edge closes along it (the edge band runs into the border), and
// its largest quadrilateral then has a side on the border: not the rectangle's. Corners this close
// to the border are refused; the refinement could not read across them anyway.
constexpr double kBorderMargin = 3.0;

struct Quad {
    double xy[4][2];
    double area;
    double centre[2];
};

double cross(const double o[2], const double a[2], const double b[2]) {
    return (a[0] - o[0]) * (b[1] - o[1]) - (a[1] - o[1]) * (b[0] - o[0]);
}

// The largest-area quadrilateral with its corners among the points of a convex polygon (in
// order, n >= 4). For a fixed first corner i and opposite corner k, the best corner between
// them maximises the triangle (i, j, k), and along a convex chain that area is unimodal in j,
// so the best j only moves forward as k does; the same holds for l beyond k. O(n^2).
bool largestQuad(const PointRecord* hull, int n, Quad& quad) {
    if (n < 4) return false;
    auto pt = [&](int i, double p[2]) {
        const PointRecord& r = hull[i % n];
        p[0] = r.col, p[1] = r.row;
    };
    double best = -1.0;
    int bi = 0, bj = 1, bk = 2, bl = 3;
    double a[2], b[2], c[2], d[2];
    for (int i = 0; i < n; ++i) {
        pt(i, a);
        int j = i + 1, l = i + 3;
        for (int k = i + 2; k < i + n - 1; ++k) {
            pt(k, c);
            if (j <= i || j >= k) j = i + 1;
            if (l <= k) l = k + 1;
            for (;;) {  // advance j while the triangle (i, j, k) grows
                if (j + 1 >= k) break;
                double p1[2], p2[2];
                pt(j, p1), pt(j + 1, p2);
                if (std::fabs(cross(a, p2, c)) < std::fabs(cross(a, p1, c))) break;
                ++j;
            }
            for (;;) {  // and l on the other side of the diagonal
                if (l + 1 >= i + n) break;
                double p1[2], p2[2];
                pt(l, p1), pt(l + 1, p2);
                if (std::fabs(cross(a, c, p2)) < std::fabs(cross(a, c, p1))) break;
                ++l;
            }
            pt(j, b), pt(l, d);
            const double area = 0.5 * (std::fabs(cross(a, b, c)) + std::fabs(cross(a, c, d)));
            if (area > best) best = area, bi = i, bj = j, bk = k, bl = l;
        }
    }
    const int idx[4] = {bi, bj, bk, bl};
    for (int m = 0; m < 4; ++m) pt(idx[m], quad.xy[m]);
    quad.area = best;
    quad.centre[0] = quad.centre[1] = 0.0;
    for (int m = 0; m < 4; ++m) quad.centre[0] += quad.xy[m][0] / 4, quad.centre[1] += quad.xy[m][1] / 4;
    return best >= kMinQuadArea;
}

bool clearOfBorder(const Quad& q, int width, int height) {
    for (const auto& p : q.xy)
        if (p[0] < kBorderMargin || p[1] < kBorderMargin || p[0] > width - 1 - kBorderMargin ||
            p[1] > height - 1 - kBorderMargin)
            return false;
    return true;
}

bool inside(const Quad& q, const double p[2]) {
    // The quad's corners run one way round: p is inside when it is on the same side of all four sides.
    int positive = 0, negative = 0;
    for (int m = 0; m < 4; ++m) {
        const double s = cross(q.xy[m], q.xy[(m + 1) % 4], p);
        positive += s > 0, negative += s < 0;
    }
    return positive == 4 || negative == 4;
}

// How well `inner` sits in `outer` as the target's inner rectangle sits in its outer one, for
// the correspondence that fits best; writes the eight corners in model order. The score is the
// rms corner misfit over the outer rectangle's size.
double fitPair(const Quad& outer, const Quad& inner, TargetCorners& corners) {
    double best = INFINITY;
    double outerX[4], outerY[4], modelInner[4][2];
    for (int m = 0; m < 4; ++m) {
        outerX[m] = kTargetCornerMm[4 + m][0], outerY[m] = kTargetCornerMm[4 + m][1];
        modelInner[m][0] = kTargetCornerMm[m][0], modelInner[m][1] = kTargetCornerMm[m][1];
    }
    // The four rotations of the outer corners, each way round.
    for (int start = 0; start < 4; ++start)
        for (int dir : {1, -1}) {
            double imageX[4], imageY[4];
            for (int m = 0; m < 4; ++m) {
                const int src = ((start + dir * m) % 4 + 4) % 4;
                imageX[m] = outer.xy[src][0], imageY[m] = outer.xy[src][1];
            }
            double h[9];
            if (!fitPlaneHomography(4, outerX, outerY, imageX, imageY, h)) continue;
            double sumSq = 0.0;
            int match[4];
            for (int m = 0; m < 4; ++m) {
                double predicted[2];
                if (!applyHomography(h, modelInner[m], predicted)) {
                    sumSq = INFINITY;
                    break;
                }
                double nearest = INFINITY;
                for (int q = 0; q < 4; ++q) {
                    const double d = std::hypot(inner.xy[q][0] - predicted[0], inner.xy[q][1] - predicted[1]);
                    if (d < nearest) nearest = d, match[m] = q;
                }
                sumSq += nearest * nearest;
            }
            const double score = std::sqrt(sumSq / 4) / std::sqrt(outer.area);
            if (!(score < best)) continue;
            best = score;
            for (int m = 0; m < 4; ++m)
                for (int c = 0; c < 2; ++c) {
                    corners.xy[m][c] = inner.xy[match[m]][c];
                    corners.xy[4 + m][c] = c == 0 ? imageX[m] : imageY[m];
                }
        }
    return best;
}

bool fitBestPair(const Quad* quads, int count, TargetCorners& corners) {
    double best = kFitTolerance;
    bool found = false;
    for (int a = 0; a < count; ++a)
        for (int b = 0; b < count; ++b) {
            if (a == b || quads[b].area >= quads[a].area || !inside(quads[a], quads[b].centre)) continue;
            TargetCorners candidate;
            const double score = fitPair(quads[a], quads[b], candidate);
            if (score < best) best = score, corners = candidate, found = true;
        }
    return found;
}

// Whether the pixels of one label surround their centroid: a ray along each axis meets them.
bool surroundsItsMiddle(const Tracker& t, int label, const std::vector<PointRecord>& points) {
    double sr = 0, sc = 0;
    for (const PointRecord& p : points) sr += p.row, sc += p.col;
    const int r0 = static_cast<int>(sr / points.size()), c0 = static_cast<int>(sc / points.size());
    const int steps[4][2] = {{0, 1}, {0, -1}, {1, 0}, {-1, 0}};
    for (const auto& s : steps) {
        bool met = false;
        for (int r = r0, c = c0; r >= 0 && c >= 0 && r < t.height && c < t.width && !met; r += s[0], c += s[1])
            met = t.labels[static_cast<size_t>(r) * t.width + c] == label;
        if (!met) return false;
    }
    return true;
}

}  // namespace

bool TargetFinder::find(const Tracker& t, TargetCorners& corners) {
    if (!t.contours) return false;
    Quad quads[kMaxCandidates];
    int count = 0;
    for (int i = 0; i < t.contours->count && count < kMaxCandidates; ++i) {
        const Contour& ct = t.contours->items[i];
        // The hull is closed (its first point repeated); the vertex step may have appended
        // three wrapped points after that.
        int n = ct.hullCount;
        if (n >= 7 && ct.hull[n - 3].row == ct.hull[1].row && ct.hull[n - 3].col == ct.hull[1].col)
            n -= 3;
        if (n > 1 && ct.hull[n - 1].row == ct.hull[0].row && ct.hull[n - 1].col == ct.hull[0].col) --n;
        // Four vertices are the quad already (they are hull points); otherwise the search.
        const bool ok = ct.vertexCount == 4 ? largestQuad(ct.vertices.data(), 4, quads[count])
                                            : largestQuad(ct.hull.data(), n, quads[count]);
        if (ok && clearOfBorder(quads[count], t.width, t.height)) ++count;
    }
    if (fitBestPair(quads, count, corners)) return true;

    // The large edge sets the contour step did not judge closed.
    const int labelCount = static_cast<int>(t.labelSizes.size()) - 1;
    if (static_cast<int>(t.labels.size()) != t.pixelCount()) return false;
    const int before = count;
    for (int L = 1; L <= labelCount && count < kMaxCandidates; ++L) {
        if (t.labelSizes[L] <= kMinLabelPixels || t.labelSizes[L] > t.pixelCount() / 4) continue;
        bool selected = false;
        for (int i = 0; i < t.selectedCount && !selected; ++i) selected = t.selectedLabels[i] == L;
        if (selected) continue;
        points.clear();
        for (int r = 0; r < t.height; ++r)
            for (int c = 0; c < t.width; ++c)
                if (t.labels[static_cast<size_t>(r) * t.width + c] == L) points.push_back(PointRecord{r, c, 0, 0, L});
        if (points.empty() || !surroundsItsMiddle(t, L, points)) continue;
        hull.resize(points.size() + 1);
        int n = convexHull(points.data(), static_cast<int>(points.size()), hull.data());
        if (n > 1) --n;  // the closing point
        if (largestQuad(hull.data(), n, quads[count]) && clearOfBorder(quads[count], t.width, t.height)) ++count;
    }
    return count > before && fitBestPair(quads, count, corners);
}
