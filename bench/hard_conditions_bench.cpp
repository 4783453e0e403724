// The target chain and the refined pose as the frame loop runs them with keys g, s, x and k
// (edges adapted to the frame, the target looked for in the picture and near the last pose when
// its outlines do not show it), on 320 x 240 virtual-camera frames of each hard condition of a
// real desk, over a webcam's sensor noise. The argument is the condition's row in the table.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "app/app_state.h"
#include "app/frame_loop.h"
#include "app/keyboard.h"
#include "camera/pose.h"
#include "capture/virtual_camera.h"
#include "vision/tracker.h"

namespace {

constexpr const char* kConditions[][2] = {{"clean", ""},          {"gradient", "light=1.3:0.45"},
                                          {"shadow", "shadow=0.5"}, {"motion", "motion=7"},
                                          {"defocus", "blur=1.6"}, {"jpeg", "jpeg=40"},
                                          {"hand", "hand=0"},      {"far", "far=1"},
                                          {"steep", "steep=1"},    {"dim", "dim=1"}};
constexpr int kFrames = 8;

void BM_ChainWithPoseHard(benchmark::State& s) {
    const int row = static_cast<int>(s.range(0));
    VirtualCameraOptions o;
    std::string error;
    parseVirtualCameraOptions(std::string("noise=2,") + kConditions[row][1], o, error);
    VirtualCamera camera(o);
    std::vector<std::vector<unsigned char>> frames;
    for (int i = 0; i < kFrames; ++i) {
        frames.emplace_back(camera.frameBytes());
        camera.render(150 + 5 * i, frames.back().data());
    }
    Tracker tracker;
    tracker.setFrameSize(o.height, o.width);
    CameraModel model;
    AppState app;
    app.s_tracker = &tracker;
    app.s_camera = &model;
    if (!calibrateCamera(tracker, model, TOVRAK_DATA_DIR "/pontos1.txt")) s.SkipWithError("no calibration");
    for (char key : std::string("gsxk")) handleKey(app, static_cast<unsigned char>(key));
    int i = 0, found = 0;
    for (auto _ : s) {
        tracker.input = frames[i].data();
        found += runProcessingSteps(app);
        i = (i + 1) % kFrames;
    }
    s.SetLabel(kConditions[row][0]);
    s.counters["found"] = benchmark::Counter(found, benchmark::Counter::kAvgIterations);
}

}  // namespace

BENCHMARK(BM_ChainWithPoseHard)->DenseRange(0, 9)->Unit(benchmark::kMicrosecond);
