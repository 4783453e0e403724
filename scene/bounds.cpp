#include "scene/bounds.h"

#include <algorithm>
#include <cmath>

void BoundsBox::setFromPoints(int n, const Vec3* p) {
    reset();
    for (int i = 0; i < n; ++i) {
        minX = std::min(minX, p[i].x), maxX = std::max(maxX, p[i].x);
        minY = std::min(minY, p[i].y), maxY = std::max(maxY, p[i].y);
        minZ = std::min(minZ, p[i].z), maxZ = std::max(maxZ, p[i].z);
    }
}

void BoundsBox::merge(const BoundsBox& o) {
    if (o.isEmpty()) return;
    minX = std::min(minX, o.minX), maxX = std::max(maxX, o.maxX);
    minY = std::min(minY, o.minY), maxY = std::max(maxY, o.maxY);
    minZ = std::min(minZ, o.minZ), maxZ = std::max(maxZ, o.maxZ);
}

void BoundsBox::merge(const BoundsBox& o, const Matrix& through) {
    if (o.isEmpty()) return;
    Vec3 corners[8];
    for (int i = 0; i < 8; ++i)
        corners[i] = through.transformPoint(Vec3{i & 1 ? o.maxX : o.minX, i & 2 ? o.maxY : o.minY, i & 4 ? o.maxZ : o.minZ});
    BoundsBox moved;
    moved.setFromPoints(8, corners);
    merge(moved);
}

int BoundsBox::planeTest(float a, float b, float c, float d) const {
    // The corner farthest along the normal decides "behind"; the opposite corner "in front".
    const float fx = a >= 0 ? maxX : minX, fy = b >= 0 ? maxY : minY, fz = c >= 0 ? maxZ : minZ;
    if (a * fx + b * fy + c * fz + d < 0) return -1;
    const float nx = a >= 0 ? minX : maxX, ny = b >= 0 ? minY : maxY, nz = c >= 0 ? minZ : maxZ;
    return a * nx + b * ny + c * nz + d >= 0 ? 1 : 0;
}

Vec3 BoundsBox::centre() const { return Vec3{(minX + maxX) / 2, (minY + maxY) / 2, (minZ + maxZ) / 2}; }

float BoundsBox::radius() const {
    const Vec3 c = centre();
    return std::sqrt((maxX - c.x) * (maxX - c.x) + (maxY - c.y) * (maxY - c.y) + (maxZ - c.z) * (maxZ - c.z));
}

BoundsTable& BoundsTable::instance() {
    static BoundsTable table;
    return table;
}

int BoundsTable::create() {
    if (freeHead < 0) {
        // Double the table and chain the new records onto the free list.
        const int old = static_cast<int>(records.size()), grown = old ? 2 * old : 1;
        records.resize(grown);
        for (int i = grown - 1; i >= old; --i) records[i].nextFree = freeHead, freeHead = i;
    }
    const int r = freeHead;
    Record& rec = records[r];
    freeHead = rec.nextFree;
    rec.box.reset();
    rec.matrix.reset();
    rec.firstChild = rec.nextSibling = rec.parent = -1;
    rec.valid = true;
    rec.inUse = true;
    return r;
}

void BoundsTable::invalidateUpward(int r) {
    while (r >= 0 && records[r].valid) {
        records[r].valid = false;
        r = records[r].parent;
    }
}

void BoundsTable::link(int parent, int child) {
    records[child].parent = parent;
    records[child].nextSibling = records[parent].firstChild;
    records[parent].firstChild = child;
    invalidateUpward(parent);
}

void BoundsTable::unlink(int child) {
    const int parent = records[child].parent;
    if (parent < 0) return;
    int* link = &records[parent].firstChild;
    while (*link >= 0 && *link != child) link = &records[*link].nextSibling;
    if (*link == child) *link = records[child].nextSibling;
    records[child].parent = records[child].nextSibling = -1;
    invalidateUpward(parent);
}

void BoundsTable::setMatrix(int r, const Matrix* matrix) {
    if (!matrix) records[r].matrix.reset();
    else if (records[r].matrix) *records[r].matrix = *matrix;
    else records[r].matrix = std::make_unique<Matrix>(*matrix);
    invalidateUpward(records[r].parent);
}

void BoundsTable::release(int r) {
    if (r < 0 || r >= static_cast<int>(records.size()) || !records[r].inUse) return;
    unlink(r);
    for (int c = records[r].firstChild; c >= 0;) {
        const int next = records[c].nextSibling;
        records[c].parent = records[c].nextSibling = -1;
        c = next;
    }
    Record& rec = records[r];
    rec.matrix.reset();
    rec.firstChild = -1;
    rec.inUse = false;
    rec.nextFree = freeHead;
    freeHead = r;
}

void BoundsTable::recompute(int r) {
    if (records[r].valid) return;
    records[r].valid = true;
    records[r].box.reset();
    for (int c = records[r].firstChild; c >= 0; c = records[c].nextSibling) {
        recompute(c);
        // The child's box, read after the recursion (which may not grow the table).
        if (records[c].matrix) records[r].box.merge(records[c].box, *records[c].matrix);
        else records[r].box.merge(records[c].box);
    }
}

const BoundsBox& BoundsTable::box(int r) {
    recompute(r);
    return records[r].box;
}

void BoundsTable::beginPoints() {
    if (collecting) return;
    collecting = true;
    points.clear();
}

int BoundsTable::addPoint(float x, float y, float z) {
    if (!collecting) return -1;
    points.push_back(Vec3{x, y, z});
    return 0;
}

void BoundsTable::endPoints(int r) {
    if (!collecting) return;
    collecting = false;
    setPoints(r, static_cast<int>(points.size()), points.data());
}

void BoundsTable::setPoints(int r, int count, const Vec3* p) {
    records[r].valid = true;
    if (count >= 1) records[r].box.setFromPoints(count, p);
    invalidateUpward(records[r].parent);
}
