#include "vision/geometry.h"

namespace {

inline long long turn(const PointRecord& a, const PointRecord& b, const PointRecord& c) {
    return static_cast<long long>(b.row - a.row) * (c.col - a.col) -
           static_cast<long long>(c.row - a.row) * (b.col - a.col);
}

}  // namespace

int convexHull(const PointRecord* P, int n, PointRecord* hull) {
    if (n <= 0) return 0;
    const int minmin = 0;
    int minmax = 0;
    while (minmax + 1 < n && P[minmax + 1].row == P[0].row) ++minmax;
    if (minmax == n - 1) {
        int top = 0;
        hull[top++] = P[minmin];
        if (P[minmax].col != P[minmin].col) hull[top++] = P[minmax];
        hull[top++] = P[minmin];
        return top;
    }
    const int maxmax = n - 1;
    int maxmin = n - 1;
    while (maxmin > 0 && P[maxmin - 1].row == P[n - 1].row) --maxmin;

    int top = 0;
    hull[top++] = P[minmin];
    for (int i = minmax + 1; i <= maxmin; ++i) {
        if (turn(P[minmin], P[maxmin], P[i]) >= 0 && i < maxmin) continue;
        while (top >= 2 && turn(hull[top - 2], hull[top - 1], P[i]) <= 0) --top;
        hull[top++] = P[i];
    }
    if (maxmax != maxmin) hull[top++] = P[maxmax];
    const int bottom = top;
    for (int i = maxmin - 1; i >= minmax; --i) {
        if (turn(P[maxmax], P[minmax], P[i]) >= 0 && i > minmax) continue;
        while (top > bottom && turn(hull[top - 2], hull[top - 1], P[i]) <= 0) --top;
        hull[top++] = P[i];
    }
    if (minmax != minmin) hull[top++] = P[minmin];
    return top;
}

PointRecord intersectLines(const PointRecord& p1, const PointRecord& p2, const PointRecord& p3,
                           const PointRecord& p4) {
    const int32_t den = p1.row * (p4.col - p3.col) + p2.row * (p3.col - p4.col) +
                        p4.row * (p2.col - p1.col) + p3.row * (p1.col - p2.col);
    if (den == 0) return PointRecord{0, 0, 0, 0, -1};
    const int32_t num = p1.row * (p4.col - p3.col) + p3.row * (p1.col - p4.col) + p4.row * (p3.col - p1.col);
    const float s = static_cast<float>(num) / static_cast<float>(den);
    return PointRecord{static_cast<int32_t>((1.0f - s) * p1.row + s * p2.row),
                       static_cast<int32_t>((1.0f - s) * p1.col + s * p2.col), 0, 0, 0};
}
