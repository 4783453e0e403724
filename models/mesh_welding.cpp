#include "models/mesh_welding.h"

#include <cmath>
#include <cstring>

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

void makeSmoothNormals(ImportedMesh& mesh) {
    const size_t n = mesh.positions.size() / 3;
    mesh.normals.assign(3 * n, 0.0f);
    // Vertices at one point share the first of them as their representative.
    VertexTable table(n);
    std::vector<int32_t> at(n);
    for (size_t v = 0; v < n; ++v)
        at[v] = table.findOrAdd(hashFloats(kHashStart, &mesh.positions[3 * v], 3), static_cast<int32_t>(v),
                                [&](int32_t other) { return sameFloats(mesh.positions, other, v, 3); });
    // Sum of the cross products (twice the area times the unit normal) at each representative.
    for (size_t f = 0; f + 2 < mesh.faces.size(); f += 3) {
        const float* p[3];
        for (int k = 0; k < 3; ++k) p[k] = &mesh.positions[3 * static_cast<size_t>(mesh.faces[f + k])];
        const float e1[3] = {p[1][0] - p[0][0], p[1][1] - p[0][1], p[1][2] - p[0][2]};
        const float e2[3] = {p[2][0] - p[0][0], p[2][1] - p[0][1], p[2][2] - p[0][2]};
        const float c[3] = {e1[1] * e2[2] - e1[2] * e2[1], e1[2] * e2[0] - e1[0] * e2[2], e1[0] * e2[1] - e1[1] * e2[0]};
        for (int k = 0; k < 3; ++k) {
            float* sum = &mesh.normals[3 * static_cast<size_t>(at[mesh.faces[f + k]])];
            sum[0] += c[0], sum[1] += c[1], sum[2] += c[2];
        }
    }
    // Representatives first, so that every vertex of a set copies the very same unit normal.
    for (size_t v = 0; v < n; ++v) {
        if (static_cast<size_t>(at[v]) != v) continue;
        float* s = &mesh.normals[3 * v];
        const float len = std::sqrt(s[0] * s[0] + s[1] * s[1] + s[2] * s[2]);
        if (len > 0 && std::isfinite(len)) s[0] /= len, s[1] /= len, s[2] /= len;
        else s[0] = 0, s[1] = 0, s[2] = 1;
    }
    for (size_t v = 0; v < n; ++v)
        if (static_cast<size_t>(at[v]) != v) std::memcpy(&mesh.normals[3 * v], &mesh.normals[3 * static_cast<size_t>(at[v])], 12);
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
