// Plane geometry on (row, col) point records.
#pragma once

#include "vision/tracker.h"

// Closed convex hull (first point repeated at the end) of points sorted by row, then col.
// Writes at most n + 1 entries; the hull of an empty list is empty.
int convexHull(const PointRecord* points, int n, PointRecord* hull);

// The line through p1 and p2 with the line through p3 and p4; value 0 when they meet,
// (0, 0, 0, 0, -1) when they are parallel.
PointRecord intersectLines(const PointRecord& p1, const PointRecord& p2, const PointRecord& p3,
                           const PointRecord& p4);
