// The image steps on virtual-camera frames, each alone and as the target chain (g + s + x),
// at the webcam's 320 x 240 and at 640 x 480. A step that works in place on `output` starts
// each iteration from a prepared copy; that copy (BM_RestoreOutput) is part of its time.
#include <benchmark/benchmark.h>

#include <cstdio>

#include "bench/prepared_frames.h"
#include "camera/lens.h"
#include "vision/target_chain.h"

namespace {

constexpr int kFrames = 16;

VirtualCameraOptions cameraOptions(int w, int h) {
    VirtualCameraOptions o;
    o.width = w;
    o.height = h;
    o.noise = 1.5;
    return o;
}

struct Fixture : PreparedFrames {
    FILE* sink = std::fopen("/dev/null", "w");

    Fixture(int w, int h) : PreparedFrames(cameraOptions(w, h), kFrames, 37) {
        buildLensTables(tracker);
        tracker.console = sink;
    }
    ~Fixture() { std::fclose(sink); }
};

Fixture& fixture(int width) {
    static Fixture small(320, 240), large(640, 480);
    return width == 320 ? small : large;
}

template <typename Step>
void runStep(benchmark::State& state, Step step) {
    runOverFrames(state, fixture(static_cast<int>(state.range(0))), step);
}

void BM_RestoreOutput(benchmark::State& s) { runStep(s, [](Fixture& f, int i) { f.load(i, f.grey[i]); }); }
void BM_SmoothGrey(benchmark::State& s) {
    runStep(s, [](Fixture& f, int i) {
        f.tracker.input = f.frames[i].data();
        f.tracker.markOutputAbsent();
        f.tracker.smoothImage();
        f.tracker.convertToGrey();
    });
}
void BM_LensCorrection(benchmark::State& s) {
    runStep(s, [](Fixture& f, int i) {
        f.tracker.input = f.frames[i].data();
        f.tracker.applyLensCorrection();
    });
}
void BM_ThinEdges(benchmark::State& s) { runStep(s, [](Fixture& f, int i) { f.load(i, f.grey[i]); f.tracker.thinEdges(150, 100); }); }
void BM_SobelEdges(benchmark::State& s) { runStep(s, [](Fixture& f, int i) { f.load(i, f.grey[i]); f.tracker.sobelEdges(240); }); }
void BM_TargetContours(benchmark::State& s) {
    runStep(s, [](Fixture& f, int i) {
        f.load(i, f.edges[i]);
        f.tracker.labelContours();
        f.tracker.identifyTarget();
        f.tracker.drawContours();
    });
}
void BM_Regions(benchmark::State& s) {
    runStep(s, [](Fixture& f, int i) {
        f.load(i, f.edges[i]);
        f.tracker.labelRegions();
        f.tracker.markExtremes();
    });
}
void BM_Corners(benchmark::State& s) { runStep(s, [](Fixture& f, int i) { f.load(i, f.edges[i]); f.tracker.detectCorners(1000000, 9); }); }
void BM_Hough(benchmark::State& s) { runStep(s, [](Fixture& f, int i) { f.load(i, f.edges[i]); f.tracker.houghLines(400, 100); }); }
void BM_TargetChain(benchmark::State& s) {
    runStep(s, [](Fixture& f, int i) {
        f.tracker.input = f.frames[i].data();
        runTargetChain(f.tracker);
    });
}

}  // namespace

#define SIZES ->Arg(320)->Arg(640)->Unit(benchmark::kMicrosecond)
BENCHMARK(BM_RestoreOutput) SIZES;
BENCHMARK(BM_LensCorrection) SIZES;
BENCHMARK(BM_SmoothGrey) SIZES;
BENCHMARK(BM_ThinEdges) SIZES;
BENCHMARK(BM_SobelEdges) SIZES;
BENCHMARK(BM_TargetContours) SIZES;
BENCHMARK(BM_Regions) SIZES;
BENCHMARK(BM_Corners) SIZES;
BENCHMARK(BM_Hough) SIZES;
BENCHMARK(BM_TargetChain) SIZES;
