// Cost of producing one virtual-camera frame: it must stay well inside a webcam's 33 ms so
// that the virtual camera, not the renderer, sets the pace.
#include <benchmark/benchmark.h>

#include <vector>

#include "capture/virtual_camera.h"

namespace {

void renderFrames(benchmark::State& state, VirtualCameraOptions options) {
    VirtualCamera camera(options);
    std::vector<unsigned char> frame(camera.frameBytes());
    int n = 0;
    for (auto _ : state) {
        camera.render(n++, frame.data());
        benchmark::DoNotOptimize(frame.data());
    }
}

VirtualCameraOptions sized(int w, int h, double noise, double blur, bool lens) {
    VirtualCameraOptions o;
    o.width = w;
    o.height = h;
    o.noise = noise;
    o.blur = blur;
    o.lens = lens;
    return o;
}

}  // namespace

BENCHMARK_CAPTURE(renderFrames, clean_320x240, sized(320, 240, 0, 0, false))->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(renderFrames, noisy_lens_320x240, sized(320, 240, 2, 0.7, true))->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(renderFrames, clean_640x480, sized(640, 480, 0, 0, false))->Unit(benchmark::kMillisecond);
