// The bounding volumes of the scene graph: one table of records, each the axis-aligned box of a
// node or a shape, linked into the same tree as the nodes (first child, next sibling, parent;
// -1 for none) and recomputed lazily: a change marks the record and its ancestors invalid, and a
// query recomputes what is invalid, merging each child's box through the child's matrix.
//
// Records are reused through a free list; the table doubles when it runs out. Indices stay
// valid while a record lives, pointers into the table do not (it may grow). One table serves the
// program; it is used from the OpenGL thread only.
#pragma once

#include <cfloat>
#include <memory>
#include <vector>

#include "scene/scene_math.h"

// The box kind: the extent on each axis; empty when the x minimum exceeds the x maximum.
struct BoundsBox {
    float minX = FLT_MAX, maxX = -FLT_MAX, minY = FLT_MAX, maxY = -FLT_MAX, minZ = FLT_MAX, maxZ = -FLT_MAX;

    bool isEmpty() const { return minX > maxX; }
    void reset() { *this = BoundsBox{}; }
    void setFromPoints(int n, const Vec3* points);
    void merge(const BoundsBox& other);
    void merge(const BoundsBox& other, const Matrix& through);  // each of its 8 corners transformed
    // Against the plane a x + b y + c z + d = 0: -1 wholly behind it, 1 wholly in front, 0 across.
    int planeTest(float a, float b, float c, float d) const;
    Vec3 centre() const;
    float radius() const;  // from the centre to the farthest corner
};

class BoundsTable {
public:
    static BoundsTable& instance();

    int create();  // a record of the box kind: empty, no matrix, no links, valid
    void release(int record);
    void link(int parent, int child);
    // Detaches a child from its parent without releasing it (the child keeps its record).
    void unlink(int child);
    void setMatrix(int record, const Matrix* matrix);  // null removes it
    const BoundsBox& box(int record);                  // recomputed first when invalid
    int parentOf(int record) const { return records[record].parent; }
    bool isValid(int record) const { return records[record].valid; }

    // Point collection, used by shapes to fill their record.
    void beginPoints();
    int addPoint(float x, float y, float z);  // 0, or -1 when not collecting
    void endPoints(int record);
    void setPoints(int record, int count, const Vec3* points);

private:
    struct Record {
        BoundsBox box;
        std::unique_ptr<Matrix> matrix;
        int firstChild = -1, nextSibling = -1, parent = -1;
        bool valid = true;
        bool inUse = false;
        int nextFree = -1;
    };
    std::vector<Record> records;
    int freeHead = -1;
    bool collecting = false;
    std::vector<Vec3> points;

    void invalidateUpward(int record);
    void recompute(int record);
};
