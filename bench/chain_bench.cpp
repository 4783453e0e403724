// The target chain step by step and whole, with the refined pose, on virtual-camera frames at
// 320 x 240, 640 x 480 and 1280 x 720, clean (noise 0) and noisy (sensor noise 2 grey levels).
// Arguments: frame width, then 0 for clean or 1 for noisy. A step that works in place starts
// from a prepared copy of its input, and that copy is part of its time (BM_ChainCopy shows it).
#include <benchmark/benchmark.h>

#include <map>
#include <memory>
#include <vector>

#include "bench/prepared_frames.h"
#include "camera/pose.h"
#include "capture/virtual_camera.h"
#include "tracking/target_tracker.h"
#include "vision/target_chain.h"

namespace {

constexpr int kFrames = 8;

VirtualCameraOptions cameraOptions(int w, bool noisy) {
    VirtualCameraOptions o;
    o.width = w, o.height = w == 320 ? 240 : w == 640 ? 480 : 720, o.noise = noisy ? 2.0 : 0.0;
    return o;
}

struct ChainFixture : PreparedFrames {
    CameraModel model;
    TargetTracker target;

    ChainFixture(int w, bool noisy) : PreparedFrames(cameraOptions(w, noisy), kFrames, 5) {
        tracker.focalLength = 330.0f * w / 320;
        model.poseFilter.start(PoseFilterParameters{}, model.R, model.T);
        model.ready = true;
    }
};

ChainFixture& fixture(const benchmark::State& s) {
    static std::map<std::pair<int, int>, std::unique_ptr<ChainFixture>> all;
    auto& f = all[{static_cast<int>(s.range(0)), static_cast<int>(s.range(1))}];
    if (!f) f = std::make_unique<ChainFixture>(static_cast<int>(s.range(0)), s.range(1) != 0);
    return *f;
}

template <typename Step>
void run(benchmark::State& s, Step step) {
    runOverFrames(s, fixture(s), step);
}

void BM_ChainCopy(benchmark::State& s) { run(s, [](ChainFixture& f, int i) { f.load(i, f.grey[i]); }); }
void BM_ChainSmoothGrey(benchmark::State& s) {
    run(s, [](ChainFixture& f, int i) {
        f.tracker.input = f.frames[i].data();
        f.tracker.markOutputAbsent();
        f.tracker.smoothImage();
        f.tracker.convertToGrey();
    });
}
void BM_ChainSobel(benchmark::State& s) { run(s, [](ChainFixture& f, int i) { f.load(i, f.grey[i]); f.tracker.sobelEdges(240); }); }
// The three steps above as the chain runs them, in one pass over the frame.
void BM_ChainSmoothGreySobel(benchmark::State& s) {
    run(s, [](ChainFixture& f, int i) {
        f.tracker.input = f.frames[i].data();
        f.tracker.smoothGreySobel(240);
    });
}
void BM_ChainContours(benchmark::State& s) {
    run(s, [](ChainFixture& f, int i) {
        f.load(i, f.edges[i]);
        f.tracker.labelContours();
        f.tracker.identifyTarget();
        f.tracker.drawContours();
    });
}
// Keys g, s, x and k as the frame loop runs them: the whole chain and the refined pose.
void BM_ChainWithPose(benchmark::State& s) {
    int found = 0;
    run(s, [&](ChainFixture& f, int i) {
        f.tracker.input = f.frames[i].data();
        found += f.target.track(f.tracker, &f.model, ChainSteps{});
        f.tracker.drawContours();
    });
    s.counters["found"] = benchmark::Counter(found, benchmark::Counter::kAvgIterations);
}

}  // namespace

#define CHAIN_SIZES ->ArgsProduct({{320, 640, 1280}, {0, 1}})->Unit(benchmark::kMicrosecond)
BENCHMARK(BM_ChainCopy) CHAIN_SIZES;
BENCHMARK(BM_ChainSmoothGrey) CHAIN_SIZES;
BENCHMARK(BM_ChainSobel) CHAIN_SIZES;
BENCHMARK(BM_ChainSmoothGreySobel) CHAIN_SIZES;
BENCHMARK(BM_ChainContours) CHAIN_SIZES;
BENCHMARK(BM_ChainWithPose) CHAIN_SIZES;

// The frame loop as a whole without a window: the virtual camera rendering each frame (fps=0, as
// fast as asked), keys g, s, x and k, the pose and its filter. Items per second are frames per
// second; rendering the picture is most of it.
#include "harness/tracking_run.h"

namespace {
void BM_FrameLoopHeadless(benchmark::State& s) {
    VirtualCameraOptions o;
    o.width = static_cast<int>(s.range(0));
    o.height = o.width * 3 / 4;
    o.noise = 1.5;
    o.fps = 0;
    constexpr int kLoopFrames = 30;
    for (auto _ : s) {
        TrackingRun run = runTracking(o, "gsxk", kLoopFrames, TOVRAK_DATA_DIR "/pontos1.txt");
        benchmark::DoNotOptimize(run.frames.data());
    }
    s.SetItemsProcessed(s.iterations() * kLoopFrames);
}
}  // namespace
BENCHMARK(BM_FrameLoopHeadless)->Arg(320)->Arg(640)->Unit(benchmark::kMillisecond);
