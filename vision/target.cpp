// The two-square target: pick the two four-cornered outlines, tell the small from the large,
// and report their corners in an order that follows the target's own orientation.
#include <cmath>
#include <utility>

#include "vision/tracker.h"

namespace {

struct Vec {
    int row, col;
};

Vec operator-(const PointRecord& a, const PointRecord& b) { return {a.row - b.row, a.col - b.col}; }
float length(Vec v) { return std::sqrt(static_cast<float>(v.row * v.row + v.col * v.col)); }
float cross(Vec a, Vec b) { return static_cast<float>(a.row * b.col - b.row * a.col); }

// The edge of `square` (vertices relative to `origin`) that the direction d crosses; k is left
// as it was when no edge passes.
void findEdge(const Contour& square, const PointRecord& origin, Vec d, int& k) {
    bool found = false;
    for (int i = 0; i < 3; ++i) {
        const Vec e1 = square.vertices[i] - origin, e2 = square.vertices[i + 1] - origin;
        if (cross(d, e1) > 0 && cross(e2, d) > 0) {
            k = i;
            found = true;
        }
    }
    if (found) return;
    const Vec e1 = square.vertices[3] - origin, e2 = square.vertices[0] - origin;
    if (cross(d, e1) > 0 && cross(e2, d) > 0) k = 3;
}

void writeSquare(std::vector<PointRecord>& points, int first, const Contour& square, int k) {
    for (int j = 0; j < 4; ++j) points[first + j] = square.vertices[(k + 3 - j) % 4];
    points[first + 4] = square.centre;
}

// Contour colours in storage order B, G, R: blue, red, green, magenta.
constexpr unsigned char kContourColours[4][3] = {{255, 0, 0}, {0, 0, 255}, {0, 255, 0}, {255, 0, 255}};

}  // namespace

void Tracker::identifyTarget() {
    targetFound = 0;
    if (targetPoints.empty()) targetPoints.assign(kTargetPoints, PointRecord{});
    if (!contours) return;
    int fours = 0;
    for (int i = 0; i < contours->count; ++i) {
        if (contours->items[i].vertexCount != 4) continue;
        if (i != fours) std::swap(contours->items[i], contours->items[fours]);
        ++fours;
    }
    if (fours != 2) return;

    const Contour& A = contours->items[0];
    const Contour& B = contours->items[1];
    const float dA = length(A.centre - A.vertices[0]), dB = length(B.centre - B.vertices[0]);
    const Contour& S = dA <= dB ? A : B;
    const Contour& L = dA <= dB ? B : A;
    const Vec d = S.centre - L.centre;

    // The corner order comes from the edge of S that the line between the centres crosses.
    // When no edge of S is crossed (equal centres, or a degenerate outline), the order is
    // unknown: reporting "found" then would hand the pose and the point log stale or zero
    // points, so the pair is not taken for the target.
    int k = -1;
    findEdge(S, L.centre, d, k);
    if (k < 0) return;
    writeSquare(targetPoints, 0, S, k);
    findEdge(L, L.centre, d, k);
    writeSquare(targetPoints, 5, L, k);
    targetFound = 1;
}

void Tracker::drawContours() {
    if (!contours) return;
    if (output) {
        for (int i = 0; i < contours->count; ++i) {
            const Contour& ct = contours->items[i];
            if (ct.vertexCount != 4) continue;
            for (int j = 0; j < ct.pointCount; ++j) {
                const PointRecord& p = ct.points[j];
                const unsigned char* colour = kContourColours[(p.value + 1) % 4];
                unsigned char* px = output + 3 * (static_cast<size_t>(p.row) * width + p.col);
                px[0] = colour[0], px[1] = colour[1], px[2] = colour[2];
            }
        }
    }
    contours->count = 0;
    contours = nullptr;
}
