// The target chain with the refined pose (keys g, s, x and k, as BM_ChainWithPose runs them) timed
// with the clock alone, so that the same source measures both builds in one run: the program's
// (native) and the page's (WebAssembly under Node, web/CMakeLists.txt). Prints one line a frame
// size: "WIDTHxHEIGHT MICROSECONDS-A-FRAME FOUND-FRACTION".
#include <chrono>
#include <cstdio>
#include <vector>

#include "camera/pose.h"
#include "capture/virtual_camera.h"
#include "tracking/target_tracker.h"
#include "vision/tracker.h"

namespace {

constexpr int kFrames = 8;        // the benchmark's frames: every fifth of the path
constexpr double kSeconds = 1.5;  // of timing a size
constexpr double kWarmUp = 0.5;   // first: a browser's compiler optimises what has run a while

void timeChain(int width, int height) {
    VirtualCameraOptions options;
    options.width = width, options.height = height;
    VirtualCamera camera(options);
    std::vector<std::vector<unsigned char>> frames(kFrames, std::vector<unsigned char>(camera.frameBytes()));
    for (int i = 0; i < kFrames; ++i) camera.render(i * 5, frames[i].data());
    Tracker tracker;
    tracker.setFrameSize(height, width);
    tracker.focalLength = 330.0f * width / 320;
    CameraModel model;
    model.poseFilter.start(PoseFilterParameters{}, model.R, model.T);
    model.ready = true;
    TargetTracker target;
    using Clock = std::chrono::steady_clock;
    long passes = 0, found = 0;
    auto timeFor = [&](double seconds) {
        passes = found = 0;
        const auto start = Clock::now();
        double elapsed = 0;
        while (elapsed < seconds) {
            for (int i = 0; i < kFrames; ++i, ++passes) {
                tracker.input = frames[i].data();
                found += target.track(tracker, &model, ChainSteps{});
                tracker.drawContours();
            }
            elapsed = std::chrono::duration<double>(Clock::now() - start).count();
        }
        return elapsed;
    };
    timeFor(kWarmUp);
    const double elapsed = timeFor(kSeconds);
    std::printf("%dx%d %.1f %.2f\n", width, height, 1e6 * elapsed / passes, static_cast<double>(found) / passes);
}

}  // namespace

int main() {
    timeChain(320, 240);
    timeChain(640, 480);
    return 0;
}
