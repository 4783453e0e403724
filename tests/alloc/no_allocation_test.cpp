// The target chain and the refined pose allocate nothing per frame once their buffers have grown:
// every operator new between the marks is counted, over frames the chain has seen before.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>

#include "camera/pose.h"
#include "capture/virtual_camera.h"
#include "tracking/target_tracker.h"

namespace {
std::atomic<bool> g_counting{false};
std::atomic<long> g_allocations{0};
}  // namespace

void* operator new(std::size_t n) {
    if (g_counting) ++g_allocations;
    if (void* p = std::malloc(n ? n : 1)) return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }

TEST(NoAllocation, ChainAndPoseAfterTheFirstPass) {
    for (int width : {320, 640}) {
        VirtualCameraOptions o;
        o.width = width, o.height = width * 3 / 4, o.noise = 2.0;
        VirtualCamera camera(o);
        std::vector<std::vector<unsigned char>> frames;
        for (int i = 0; i < 12; ++i) {
            frames.emplace_back(camera.frameBytes());
            camera.render(i * 7, frames.back().data());
        }
        Tracker t;
        t.setFrameSize(o.height, o.width);
        t.focalLength = 330.0f * width / 320;
        CameraModel model;
        model.poseFilter.start(PoseFilterParameters{}, model.R, model.T);
        model.ready = true;
        TargetTracker target;
        int found = 0;
        for (int pass = 0; pass < 2; ++pass) {
            // Both passes from the same state, so that the second takes the same paths as the first.
            target.forget();
            g_counting = pass == 1;
            for (auto& frame : frames) {
                t.input = frame.data();
                found += target.track(t, &model, ChainSteps{});
                t.drawContours();
            }
            g_counting = false;
        }
        EXPECT_GT(found, 12) << width;
        EXPECT_EQ(g_allocations.load(), 0) << width;
        g_allocations = 0;
    }
}
