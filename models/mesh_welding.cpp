#include "models/mesh_welding.h"

#include <cmath>
#include <cstring>
#include <vector>

namespace {

// Open addressing over vertex numbers: a table of twice the count (a power of two), -1 empty.
class VertexTable {
public:
    explicit VertexTable(size_t count) {
        size_t size = 16;
        while (size < 2 * count) size *= 2;
        slots_.assign(size, -1);
        mask_ = size - 1;
    }
    // The number in the table that `same` accepts, probing from `hash`; otherwise `added`, which
    // is put in the table.
    template <typename Same>
    int32_t findOrAdd(uint64_t hash, int32_t added, Same same) {
        for (size_t i = hash & mask_;; i = (i + 1) & mask_) {
            if (slots_[i] < 0) return slots_[i] = added;
            if (same(slots_[i])) return slots_[i];
        }
    }

private:
    std::vector<int32_t> slots_;
    size_t mask_;
};

// Some floats' bits mixed a 32-bit word at a time (multiply and fold, as splitmix does): equal
// floats hash alike, and neighbouring values spread over the table.
uint64_t hashFloats(uint64_t h, const float* f, int n) {
    for (int i = 0; i < n; ++i) {
        uint32_t w;
        std::memcpy(&w, f + i, 4);
        h = (h ^ w) * 0x9E3779B97F4A7C15ull;
        h ^= h >> 32;
    }
    return h;
}
constexpr uint64_t kHashStart = 0x243F6A8885A308D3ull;

// Bit for bit: -0 and 0 stay apart, and a NaN (none reach here) would equal itself.
bool sameFloats(const std::vector<float>& a, size_t i, size_t j, int n) {
    for (int k = 0; k < n; ++k) {
        uint32_t x, y;
        std::memcpy(&x, &a[n * i + k], 4), std::memcpy(&y, &a[n * j + k], 4);
        if (x != y) return false;
    }
    return true;
}

}  // namespace

void makeCreasedNormals(ImportedMesh& mesh, double creaseDeg) {
    const size_t n = mesh.positions.size() / 3, corners = mesh.faces.size(), faces = corners / 3;
    // Each face's cross product (twice its area times its unit normal) and its unit normal.
    std::vector<float> area(3 * faces), unit(3 * faces, 0.0f);
    for (size_t f = 0; f < faces; ++f) {
        const float* p[3];
        for (int k = 0; k < 3; ++k) p[k] = &mesh.positions[3 * static_cast<size_t>(mesh.faces[3 * f + k])];
        const float e1[3] = {p[1][0] - p[0][0], p[1][1] - p[0][1], p[1][2] - p[0][2]};
        const float e2[3] = {p[2][0] - p[0][0], p[2][1] - p[0][1], p[2][2] - p[0][2]};
        float* c = &area[3 * f];
        c[0] = e1[1] * e2[2] - e1[2] * e2[1], c[1] = e1[2] * e2[0] - e1[0] * e2[2], c[2] = e1[0] * e2[1] - e1[1] * e2[0];
        const float len = std::sqrt(c[0] * c[0] + c[1] * c[1] + c[2] * c[2]);
        if (len > 0 && std::isfinite(len))
            for (int k = 0; k < 3; ++k) unit[3 * f + k] = c[k] / len;
    }
    // The corners at each point (every vertex there, whatever its other attributes), together:
    // counted by the point's first vertex, then placed.
    VertexTable table(n);
    std::vector<int32_t> at(n);
    for (size_t v = 0; v < n; ++v)
        at[v] = table.findOrAdd(hashFloats(kHashStart, &mesh.positions[3 * v], 3), static_cast<int32_t>(v),
                                [&](int32_t other) { return sameFloats(mesh.positions, other, v, 3); });
    std::vector<int32_t> start(n + 1, 0), order(corners);
    for (size_t c = 0; c < corners; ++c) ++start[at[mesh.faces[c]] + 1];
    for (size_t v = 0; v < n; ++v) start[v + 1] += start[v];
    {
        std::vector<int32_t> next(start.begin(), start.end() - 1);
        for (size_t c = 0; c < corners; ++c) order[next[at[mesh.faces[c]]]++] = static_cast<int32_t>(c);
    }
    // Corner c of face f: the sum of the area-weighted normals of the faces at its point whose
    // normal is within the crease angle of f's (f's own always), normalised. Every corner of a
    // smooth point sums the same faces in the same order, so their normals are equal to the bit.
    // Past kMaxCreaseCorners at one point (a fan of slivers) every face there counts, as smooth
    // shading does, so that the work stays linear.
    const float cosCrease = static_cast<float>(std::cos(creaseDeg * M_PI / 180.0));
    // Each vertex takes the normal of the first of its corners met; a corner whose normal differs
    // (a hard edge through the vertex) takes a copy of the vertex with its own normal, one copy a
    // normal. Corners are met point by point, so no normal is stored for every corner.
    mesh.normals.assign(3 * n, 0.0f);
    std::vector<int32_t> copyOf(n, -1);  // the next copy of a vertex, -1 for none
    std::vector<uint8_t> assigned(n, 0);
    auto give = [&](size_t c, const float nc[3]) {
        const uint32_t v = mesh.faces[c];
        if (!assigned[v]) {
            assigned[v] = 1;
            std::memcpy(&mesh.normals[3 * static_cast<size_t>(v)], nc, 12);
            return;
        }
        size_t w = v;
        while (std::memcmp(&mesh.normals[3 * w], nc, 12) != 0) {
            if (copyOf[w] >= 0) {
                w = static_cast<size_t>(copyOf[w]);
                continue;
            }
            const size_t u = mesh.positions.size() / 3;
            copyOf[w] = static_cast<int32_t>(u);
            copyOf.push_back(-1);
            auto copy = [&](std::vector<float>& values, int width) {
                if (!values.empty())
                    for (int k = 0; k < width; ++k) values.push_back(values[width * static_cast<size_t>(v) + k]);
            };
            copy(mesh.positions, 3), copy(mesh.uv, 2), copy(mesh.colours, 4);
            mesh.normals.insert(mesh.normals.end(), nc, nc + 3);
            w = u;
        }
        mesh.faces[c] = static_cast<uint32_t>(w);
    };
    for (size_t point = 0; point < n; ++point) {
        const int32_t first = start[point], last = start[point + 1];
        const bool all = last - first > kMaxCreaseCorners;
        for (int32_t i = first; i < last; ++i) {
            const size_t c = static_cast<size_t>(order[i]), f = c / 3;
            float nc[3] = {0, 0, 0};
            for (int32_t j = first; j < last; ++j) {
                const size_t g = static_cast<size_t>(order[j]) / 3;
                const float cosine = unit[3 * f] * unit[3 * g] + unit[3 * f + 1] * unit[3 * g + 1] + unit[3 * f + 2] * unit[3 * g + 2];
                if (all || g == f || cosine >= cosCrease)
                    nc[0] += area[3 * g], nc[1] += area[3 * g + 1], nc[2] += area[3 * g + 2];
            }
            const float len = std::sqrt(nc[0] * nc[0] + nc[1] * nc[1] + nc[2] * nc[2]);
            if (len > 0 && std::isfinite(len)) nc[0] /= len, nc[1] /= len, nc[2] /= len;
            else nc[0] = 0, nc[1] = 0, nc[2] = 1;
            give(c, nc);
        }
    }
}

void weldVertices(ImportedMesh& mesh) {
    const size_t n = mesh.positions.size() / 3;
    const int normalN = mesh.normals.empty() ? 0 : 3, uvN = mesh.uv.empty() ? 0 : 2, colourN = mesh.colours.empty() ? 0 : 4;
    VertexTable table(n);
    std::vector<uint32_t> renumber(n);
    size_t kept = 0;
    // Vertex v is compared with the vertices kept so far, already moved down to their new places
    // (0 .. kept - 1); v itself is still at v, since every move goes to a place below it.
    for (size_t v = 0; v < n; ++v) {
        uint64_t h = hashFloats(kHashStart, &mesh.positions[3 * v], 3);
        if (normalN) h = hashFloats(h, &mesh.normals[3 * v], 3);
        if (uvN) h = hashFloats(h, &mesh.uv[2 * v], 2);
        if (colourN) h = hashFloats(h, &mesh.colours[4 * v], 4);
        const int32_t index = table.findOrAdd(h, static_cast<int32_t>(kept), [&](int32_t k) {
            return sameFloats(mesh.positions, k, v, 3) && sameFloats(mesh.normals, k, v, normalN) &&
                   sameFloats(mesh.uv, k, v, uvN) && sameFloats(mesh.colours, k, v, colourN);
        });
        renumber[v] = static_cast<uint32_t>(index);
        if (static_cast<size_t>(index) != kept) continue;
        if (kept != v) {
            for (int k = 0; k < 3; ++k) mesh.positions[3 * kept + k] = mesh.positions[3 * v + k];
            for (int k = 0; k < normalN; ++k) mesh.normals[3 * kept + k] = mesh.normals[3 * v + k];
            for (int k = 0; k < uvN; ++k) mesh.uv[2 * kept + k] = mesh.uv[2 * v + k];
            for (int k = 0; k < colourN; ++k) mesh.colours[4 * kept + k] = mesh.colours[4 * v + k];
        }
        ++kept;
    }
    for (uint32_t& f : mesh.faces) f = renumber[f];
    mesh.positions.resize(3 * kept);
    if (normalN) mesh.normals.resize(3 * kept);
    if (uvN) mesh.uv.resize(2 * kept);
    if (colourN) mesh.colours.resize(4 * kept);
}
