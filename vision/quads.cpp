#include "vision/quads.h"

#include <algorithm>
#include <cmath>

#include "vision/homography.h"
#include "vision/target_model.h"

namespace {

double cross(const double o[2], const double a[2], const double b[2]) {
    return (a[0] - o[0]) * (b[1] - o[1]) - (a[1] - o[1]) * (b[0] - o[0]);
}

}  // namespace

// For a fixed first corner i and opposite corner k, the best corner between them maximises the
// triangle (i, j, k), and along a convex chain that area is unimodal in j, so the best j only
// moves forward as k does; the same holds for l beyond k. O(n^2).
bool largestQuad(const PointRecord* hull, int n, Quad& quad, double minArea) {
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
    return best >= minArea;
}

double signedQuadArea(const double (*xy)[2]) {
    double twice = 0;
    for (int m = 0; m < 4; ++m) twice += xy[m][0] * xy[(m + 1) % 4][1] - xy[(m + 1) % 4][0] * xy[m][1];
    return 0.5 * twice;
}

bool clearOfBorder(const Quad& q, int width, int height, double margin) {
    for (const auto& p : q.xy)
        if (p[0] < margin || p[1] < margin || p[0] > width - 1 - margin || p[1] > height - 1 - margin)
            return false;
    return true;
}

bool insideQuad(const Quad& q, const double p[2]) {
    // The quad's corners run one way round: p is inside when it is on the same side of all four sides.
    int positive = 0, negative = 0;
    for (int m = 0; m < 4; ++m) {
        const double s = cross(q.xy[m], q.xy[(m + 1) % 4], p);
        positive += s > 0, negative += s < 0;
    }
    return positive == 4 || negative == 4;
}

// How well `inner` sits in `outer` as the target's inner rectangle sits in its outer one, for
// the correspondence that fits best; writes the eight corners in model order. Two ways:
// the outer rectangle's homography puts the inner corners (all four must fit), or the inner
// rectangle's puts the outer ones (two of four must fit; the others, hidden or merged with
// something over them, are taken where the homography puts them). The score is the rms corner misfit
// over the outer rectangle's size, divided by the way's tolerance: below 1 the pair fits.
static double fitPair(const Quad& outer, const Quad& inner, const TargetFinderParameters& p, TargetCorners& corners) {
    double best = INFINITY;
    double modelOuter[4][2], modelInner[4][2], outerX[4], outerY[4], innerX[4], innerY[4];
    for (int m = 0; m < 4; ++m)
        for (int c = 0; c < 2; ++c) modelInner[m][c] = kTargetCornerMm[m][c], modelOuter[m][c] = kTargetCornerMm[4 + m][c];
    for (int m = 0; m < 4; ++m)
        outerX[m] = modelOuter[m][0], outerY[m] = modelOuter[m][1], innerX[m] = modelInner[m][0], innerY[m] = modelInner[m][1];
    const double size = std::sqrt(outer.area);
    // The four rotations of the given rectangle's corners, taken the way round the model's run:
    // counter-clockwise seen from the camera, a positive signed area in pixel coordinates (rows
    // bottom-up, docs/conventions.md). The other way round would be the target seen in a mirror,
    // which no pose explains.
    for (int byInner = outer.atBorder ? 1 : 0; byInner < 2; ++byInner) {
        const Quad& given = byInner ? inner : outer;
        const Quad& other = byInner ? outer : inner;
        const double(*to)[2] = byInner ? modelOuter : modelInner;
        const int dir = signedQuadArea(given.xy) > 0 ? 1 : -1;
        for (int start = 0; start < 4; ++start) {
            double imageX[4], imageY[4];
            for (int m = 0; m < 4; ++m) {
                const int src = ((start + dir * m) % 4 + 4) % 4;
                imageX[m] = given.xy[src][0], imageY[m] = given.xy[src][1];
            }
            double h[9];
            if (!fitPlaneHomography(4, byInner ? innerX : outerX, byInner ? innerY : outerY, imageX, imageY, h))
                continue;
            double predicted[4][2], distance[4];
            int match[4];
            bool ok = true;
            for (int m = 0; m < 4 && ok; ++m) {
                ok = applyHomography(h, to[m], predicted[m]);
                distance[m] = INFINITY;
                for (int q = 0; q < 4 && ok; ++q) {
                    const double d = std::hypot(other.xy[q][0] - predicted[m][0], other.xy[q][1] - predicted[m][1]);
                    if (d < distance[m]) distance[m] = d, match[m] = q;
                }
            }
            if (!ok) continue;
            // By the inner rectangle, the two outer corners that fit best count; the others
            // are taken where the homography puts them.
            int order[4] = {0, 1, 2, 3};
            std::sort(order, order + 4, [&](int a, int b) { return distance[a] < distance[b]; });
            const int counted = byInner ? p.countedOuterCorners : 4;
            double sumSq = 0.0;
            for (int k = 0; k < counted; ++k) sumSq += distance[order[k]] * distance[order[k]];
            const double score =
                std::sqrt(sumSq / counted) / size / (byInner ? p.trimmedTolerance : p.fitTolerance);
            if (!(score < best)) continue;
            best = score;
            for (int m = 0; m < 4; ++m) {
                double* innerCorner = corners.xy[m];
                double* outerCorner = corners.xy[4 + m];
                if (byInner) {
                    innerCorner[0] = imageX[m], innerCorner[1] = imageY[m];
                    const bool counted = std::find(order, order + p.countedOuterCorners, m) != order + p.countedOuterCorners;
                    const double* o = counted ? other.xy[match[m]] : predicted[m];
                    outerCorner[0] = o[0], outerCorner[1] = o[1];
                } else {
                    outerCorner[0] = imageX[m], outerCorner[1] = imageY[m];
                    innerCorner[0] = other.xy[match[m]][0], innerCorner[1] = other.xy[match[m]][1];
                }
            }
        }
    }
    return best;
}

bool fitBestPair(const Quad* quads, int count, const TargetFinderParameters& p, TargetCorners& corners) {
    double best = 1.0;
    bool found = false;
    for (int a = 0; a < count; ++a)
        for (int b = 0; b < count; ++b) {
            if (a == b || quads[b].atBorder || quads[b].area >= quads[a].area || !insideQuad(quads[a], quads[b].centre)) continue;
            TargetCorners candidate;
            const double score = fitPair(quads[a], quads[b], p, candidate);
            if (score < best) best = score, corners = candidate, found = true;
        }
    return found;
}

