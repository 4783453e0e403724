// The library's tracker called from C++ on the virtual camera's 640 x 480 frames: the figure the
// Python module's call is compared with (bench/python_overhead.py runs both on the same frames).
#include <benchmark/benchmark.h>

#include <vector>

#include "tovrak/tovrak.h"

namespace {

void BM_LibraryTrack(benchmark::State& state) {
    tovrak::VirtualCamera film = tovrak::VirtualCamera::create("size=640x480,noise=2").value();
    std::vector<tovrak::Image> frames;
    for (int n = 0; n < 30; ++n) frames.push_back(film.frame(3 * n));
    tovrak::Tracker tracker(film.camera());
    size_t i = 0;
    int found = 0;
    for (auto _ : state) {
        found += tracker.track(frames[i].view()).value().found;
        i = (i + 1) % frames.size();
    }
    state.counters["found"] = benchmark::Counter(found, benchmark::Counter::kAvgIterations);
}
BENCHMARK(BM_LibraryTrack)->Unit(benchmark::kMicrosecond);

}  // namespace
