// The refined tracking's own cost on top of the contour chain: finding the target among the
// outlines, refining its corners to sub-pixel, and the refined, filtered pose, on virtual-camera
// frames with sensor noise at 320 x 240 and 640 x 480.
#include <benchmark/benchmark.h>

#include <memory>
#include <vector>

#include "camera/pose.h"
#include "capture/virtual_camera.h"
#include "tracking/target_tracker.h"
#include "vision/target_chain.h"

namespace {

constexpr int kFrames = 16;

// One Tracker a frame, each left holding that frame's contour list, so that every iteration
// times only the refined pose step.
struct TrackingFixture {
    std::vector<std::vector<unsigned char>> frames;
    std::vector<std::unique_ptr<Tracker>> trackers;
    CameraModel model;
    TargetTracker target;

    TrackingFixture(int w, int h) {
        VirtualCameraOptions o;
        o.width = w, o.height = h, o.noise = 1.5;
        VirtualCamera camera(o);
        for (int i = 0; i < kFrames; ++i) {
            frames.emplace_back(camera.frameBytes());
            camera.render(i * 3, frames.back().data());
            auto t = std::make_unique<Tracker>();
            t->setFrameSize(h, w);
            t->input = frames.back().data();
            findOutlines(*t);
            t->focalLength = 330.0f;
            trackers.push_back(std::move(t));
        }
        model.poseFilter.start(PoseFilterParameters{}, model.R, model.T);
        model.ready = true;
    }
};

void BM_RefinedPose(benchmark::State& state) {
    static TrackingFixture small(320, 240), large(640, 480);
    TrackingFixture& f = state.range(0) == 320 ? small : large;
    int i = 0, found = 0;
    for (auto _ : state) {
        found += f.target.trackOutlines(*f.trackers[i], f.model, nullptr);
        i = (i + 1) % kFrames;
    }
    state.counters["found"] = benchmark::Counter(found, benchmark::Counter::kAvgIterations);
}
BENCHMARK(BM_RefinedPose)->Arg(320)->Arg(640)->Unit(benchmark::kMicrosecond);

}  // namespace
