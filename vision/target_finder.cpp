#include "vision/target_finder.h"

#include <algorithm>
#include <cmath>

#include "vision/geometry.h"
#include "vision/homography.h"
#include "vision/target_model.h"
#include "vision/quads.h"

namespace {


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
    Quad quads[kMaxFinderCandidates];
    int count = 0;
    for (int i = 0; i < t.contours->count && count < kMaxFinderCandidates; ++i) {
        const Contour& ct = t.contours->items[i];
        // The hull is closed (its first point repeated); the vertex step may have appended
        // three wrapped points after that.
        int n = ct.hullCount;
        if (n >= 7 && ct.hull[n - 3].row == ct.hull[1].row && ct.hull[n - 3].col == ct.hull[1].col)
            n -= 3;
        if (n > 1 && ct.hull[n - 1].row == ct.hull[0].row && ct.hull[n - 1].col == ct.hull[0].col) --n;
        // Four vertices are the quad already (they are hull points); otherwise the search.
        const bool ok = ct.vertexCount == 4 ? largestQuad(ct.vertices.data(), 4, quads[count], p_.minQuadAreaPx)
                                            : largestQuad(ct.hull.data(), n, quads[count], p_.minQuadAreaPx);
        if (!ok) continue;
        quads[count].atBorder = !clearOfBorder(quads[count], t.width, t.height, p_.borderMarginPx);
        ++count;
    }
    clearCount_ = 0;
    for (int i = 0; i < count; ++i)
        if (!quads[i].atBorder) {
            std::copy(&quads[i].xy[0][0], &quads[i].xy[0][0] + 8, &clearQuads_[clearCount_][0][0]);
            clearAreas_[clearCount_++] = quads[i].area;
        }
    if (fitBestPair(quads, count, p_, corners)) return true;

    // The large edge sets the contour step did not judge closed.
    const int labelCount = static_cast<int>(t.labelSizes.size()) - 1;
    if (static_cast<int>(t.labels.size()) != t.pixelCount()) return false;
    const int before = count;
    for (int L = 1; L <= labelCount && count < kMaxFinderCandidates; ++L) {
        if (t.labelSizes[L] <= p_.minLabelPixels || t.labelSizes[L] > t.pixelCount() / 4) continue;
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
        if (!largestQuad(hull.data(), n, quads[count], p_.minQuadAreaPx)) continue;
        quads[count].atBorder = !clearOfBorder(quads[count], t.width, t.height, p_.borderMarginPx);
        ++count;
    }
    return count > before && fitBestPair(quads, count, p_, corners);
}

int TargetFinder::holeCandidates(TargetCorners* out, int max) const {
    int order[kMaxFinderCandidates];
    for (int i = 0; i < clearCount_; ++i) order[i] = i;
    std::sort(order, order + clearCount_, [&](int a, int b) { return clearAreas_[a] > clearAreas_[b]; });
    double X[4], Y[4];
    for (int m = 0; m < 4; ++m) X[m] = kTargetCornerMm[m][0], Y[m] = kTargetCornerMm[m][1];
    int written = 0;
    for (int k = 0; k < clearCount_ && written < max; ++k) {
        const double(*q)[2] = clearQuads_[order[k]];
        const int dir = signedQuadArea(q) > 0 ? 1 : -1;  // the model's way round
        auto corner = [&](int start, int m) { return q[((start + dir * m) % 4 + 4) % 4]; };
        auto side = [&](int start, int m) {
            const double *a = corner(start, m), *b = corner(start, m + 1);
            return std::hypot(b[0] - a[0], b[1] - a[1]);
        };
        for (int start = 0; start < 4 && written < max; ++start) {
            // The hole's side from corner 0 to 1 is one of its long ones.
            if (side(start, 0) + side(start, 2) < side(start, 1) + side(start, 3)) continue;
            TargetCorners& c = out[written];
            double x[4], y[4], h[9];
            for (int m = 0; m < 4; ++m) x[m] = corner(start, m)[0], y[m] = corner(start, m)[1];
            if (!fitPlaneHomography(4, X, Y, x, y, h)) continue;
            bool ok = true;
            for (int m = 0; m < 4; ++m) c.xy[m][0] = x[m], c.xy[m][1] = y[m];
            for (int m = 0; m < 4 && ok; ++m) ok = applyHomography(h, kTargetCornerMm[4 + m], c.xy[4 + m]);
            c.outOfView = 0;
            if (ok) ++written;
        }
    }
    return written;
}
