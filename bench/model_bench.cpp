// The model import's own work on a large mesh: a 1,000,000-triangle sphere given one vertex a
// face corner, as an OBJ comes from the importer: smooth normals, welding, and the coarse copy
// drawn in its place.
#include <benchmark/benchmark.h>

#include <cmath>

#include "models/mesh_clustering.h"
#include "models/mesh_welding.h"

namespace {

ImportedMesh cornerSphere() {
    const int rings = 500, segments = 1000;
    std::vector<float> grid;
    for (int r = 0; r <= rings; ++r)
        for (int s = 0; s <= segments; ++s) {
            const double th = M_PI * r / rings, ph = 2 * M_PI * s / segments;
            grid.insert(grid.end(), {float(std::sin(th) * std::cos(ph)), float(std::cos(th)), float(std::sin(th) * std::sin(ph))});
        }
    ImportedMesh m;
    auto corner = [&](int r, int s) {
        const float* p = &grid[3 * (r * (segments + 1) + s)];
        m.positions.insert(m.positions.end(), p, p + 3);
        m.uv.insert(m.uv.end(), {float(s) / segments, float(r) / rings});
        m.faces.push_back(static_cast<uint32_t>(m.faces.size()));
    };
    for (int r = 0; r < rings; ++r)
        for (int s = 0; s < segments; ++s) {
            corner(r, s), corner(r + 1, s), corner(r, s + 1);
            corner(r, s + 1), corner(r + 1, s), corner(r + 1, s + 1);
        }
    return m;
}

void BM_NormalsAndWelding(benchmark::State& state) {
    const ImportedMesh corners = cornerSphere();
    for (auto _ : state) {
        state.PauseTiming();  // the copy of 3M corners is the benchmark's, not the import's
        ImportedMesh m = corners;
        state.ResumeTiming();
        weldVertices(m);
        makeCreasedNormals(m, kCreaseAngleDeg);
        benchmark::DoNotOptimize(m.positions.data());
    }
    state.SetLabel("1M triangles, 3M corners");
}
BENCHMARK(BM_NormalsAndWelding)->Unit(benchmark::kMillisecond);

void BM_CoarseCopy(benchmark::State& state) {
    ImportedMesh m = cornerSphere();
    weldVertices(m);
    makeCreasedNormals(m, kCreaseAngleDeg);
    size_t triangles = 0;
    for (auto _ : state) {
        const ImportedMesh coarse = clusteredCopy(m);
        triangles = coarse.faces.size() / 3;
    }
    state.SetLabel(std::to_string(triangles) + " triangles kept of 1M");
}
BENCHMARK(BM_CoarseCopy)->Unit(benchmark::kMillisecond);

}  // namespace
