// Virtual-camera frames prepared once for the image-step benchmarks: each frame as the camera
// gives it, after smoothing and grey, and after Sobel, so that a step working in place on
// `output` can start every iteration from a copy of its own input.
#pragma once

#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

#include "capture/virtual_camera.h"
#include "vision/tracker.h"

struct PreparedFrames {
    int width, height;
    std::vector<std::vector<unsigned char>> frames, grey, edges;
    Tracker tracker;

    // `count` frames, the k-th at time k * timeStep of the camera's path.
    PreparedFrames(const VirtualCameraOptions& options, int count, int timeStep)
        : width(options.width), height(options.height) {
        VirtualCamera camera(options);
        tracker.setFrameSize(height, width);
        for (int i = 0; i < count; ++i) {
            frames.emplace_back(camera.frameBytes());
            camera.render(i * timeStep, frames.back().data());
            tracker.input = frames.back().data();
            tracker.markOutputAbsent();
            tracker.smoothImage();
            tracker.convertToGrey();
            grey.emplace_back(tracker.output, tracker.output + camera.frameBytes());
            tracker.sobelEdges(240);
            edges.emplace_back(tracker.output, tracker.output + camera.frameBytes());
        }
    }

    // Points the tracker at frame i with `output` holding `source`.
    void load(int i, const std::vector<unsigned char>& source) {
        tracker.input = frames[i].data();
        tracker.ensureOutput();
        std::memcpy(tracker.output, source.data(), source.size());
    }
};

// Runs step(fixture, i) once an iteration over the frames in turn; items are pixels.
template <typename Fixture, typename Step>
void runOverFrames(benchmark::State& state, Fixture& f, Step step) {
    const int count = static_cast<int>(f.frames.size());
    int i = 0;
    for (auto _ : state) {
        step(f, i);
        benchmark::DoNotOptimize(f.tracker.output);
        i = (i + 1) % count;
    }
    state.SetItemsProcessed(state.iterations() * f.width * f.height);
}
