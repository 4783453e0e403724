#include "models/mesh_clustering.h"

#include <algorithm>
#include <cmath>
#include <unordered_map>
#include <unordered_set>

namespace {

// A triangle's three cluster numbers, smallest first, packed for the set of those kept.
struct TriangleKey {
    uint32_t a, b, c;
    bool operator==(const TriangleKey& o) const { return a == o.a && b == o.b && c == o.c; }
};
struct TriangleHash {
    size_t operator()(const TriangleKey& k) const {
        return (static_cast<size_t>(k.a) * 0x9E3779B97F4A7C15ull) ^ (static_cast<size_t>(k.b) * 0xC2B2AE3D27D4EB4Full) ^ k.c;
    }
};

}  // namespace

ImportedMesh clusteredCopy(const ImportedMesh& mesh) {
    ImportedMesh out;
    out.name = mesh.name;
    out.material = mesh.material;
    const size_t n = mesh.positions.size() / 3;
    if (n == 0) return out;
    float lo[3] = {mesh.positions[0], mesh.positions[1], mesh.positions[2]}, hi[3] = {lo[0], lo[1], lo[2]};
    for (size_t v = 0; v < n; ++v)
        for (int k = 0; k < 3; ++k) lo[k] = std::min(lo[k], mesh.positions[3 * v + k]), hi[k] = std::max(hi[k], mesh.positions[3 * v + k]);
    const double side = std::max({hi[0] - lo[0], hi[1] - lo[1], hi[2] - lo[2], 1e-30f}) / kClusterCells;

    // Cube of each vertex -> cluster number, and the clusters' sums.
    std::unordered_map<uint64_t, uint32_t> clusterOf;
    clusterOf.reserve(n / 4);
    std::vector<uint32_t> cluster(n);
    std::vector<double> sums;  // x y z nx ny nz r g b a, then the count
    const bool uv = !mesh.uv.empty(), colours = !mesh.colours.empty();
    for (size_t v = 0; v < n; ++v) {
        uint64_t key = 0;
        for (int k = 0; k < 3; ++k)
            key = key * (kClusterCells + 2) + static_cast<uint64_t>(std::floor((mesh.positions[3 * v + k] - lo[k]) / side));
        const auto [it, added] = clusterOf.emplace(key, static_cast<uint32_t>(out.positions.size() / 3));
        cluster[v] = it->second;
        if (added) {
            out.positions.insert(out.positions.end(), {0, 0, 0});
            out.normals.insert(out.normals.end(), {0, 0, 0});
            if (uv) out.uv.insert(out.uv.end(), {mesh.uv[2 * v], mesh.uv[2 * v + 1]});
            sums.insert(sums.end(), 11, 0.0);
        }
        double* s = &sums[11 * static_cast<size_t>(it->second)];
        for (int k = 0; k < 3; ++k) s[k] += mesh.positions[3 * v + k], s[3 + k] += mesh.normals[3 * v + k];
        if (colours)
            for (int k = 0; k < 4; ++k) s[6 + k] += mesh.colours[4 * v + k];
        s[10] += 1;
    }
    const size_t m = out.positions.size() / 3;
    if (colours) out.colours.resize(4 * m);
    for (size_t c = 0; c < m; ++c) {
        const double* s = &sums[11 * c];
        for (int k = 0; k < 3; ++k) out.positions[3 * c + k] = static_cast<float>(s[k] / s[10]);
        const double len = std::sqrt(s[3] * s[3] + s[4] * s[4] + s[5] * s[5]);
        for (int k = 0; k < 3; ++k) out.normals[3 * c + k] = len > 0 ? static_cast<float>(s[3 + k] / len) : (k == 2 ? 1.0f : 0.0f);
        if (colours)
            for (int k = 0; k < 4; ++k) out.colours[4 * c + k] = static_cast<float>(s[6 + k] / s[10]);
    }
    std::unordered_set<TriangleKey, TriangleHash> kept;
    kept.reserve(mesh.faces.size() / 6);
    for (size_t f = 0; f + 2 < mesh.faces.size(); f += 3) {
        const uint32_t a = cluster[mesh.faces[f]], b = cluster[mesh.faces[f + 1]], c = cluster[mesh.faces[f + 2]];
        if (a == b || b == c || a == c) continue;
        TriangleKey key{a, b, c};
        if (key.a > key.b) std::swap(key.a, key.b);
        if (key.b > key.c) std::swap(key.b, key.c);
        if (key.a > key.b) std::swap(key.a, key.b);
        if (kept.insert(key).second) out.faces.insert(out.faces.end(), {a, b, c});
    }
    return out;
}
