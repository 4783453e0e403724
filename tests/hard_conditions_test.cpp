// The tracker on the frames a webcam on a real desk gives, one hard condition at a time, against
// the virtual camera's truth: found where the whole target is in view, accurate, and never a
// pose more than 5 degrees off; and a target sliding out of the picture under a hand: a pose or
// nothing, never a wrong one.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <vector>
#include <string>

#include "app/frame_loop.h"
#include "harness/tracking_run.h"
#include "posed_views.h"
#include "tracking/edge_ladder.h"
#include "vision/target_chain.h"

namespace {

struct HardCondition {
    const char* name;
    const char* options;  // on top of a webcam's sensor noise of 2 grey levels
    const char* keys;
    double minFoundPct;
    double maxRotationMedianDeg;
};

class HardConditions : public testing::TestWithParam<HardCondition> {};

}  // namespace

TEST_P(HardConditions, FoundAccurateAndNeverWrong) {
    const HardCondition& c = GetParam();
    VirtualCameraOptions o;
    std::string error;
    ASSERT_TRUE(parseVirtualCameraOptions(std::string("noise=2,start=150,") + c.options, o, error)) << error;
    const TrackingRun run = runTracking(o, c.keys, 90, TOVRAK_BUILD_DIR "/pontos1.txt");
    ASSERT_TRUE(run.error.empty()) << run.error;
    const TrackingSummary s = summarise(run);
    std::printf("%s: found %.1f %% of %d frames in view; rotation median %.3f deg, 95th %.3f; filtered over measured "
                "%.2f; %d frames off by more than 5 deg\n",
                c.name, s.foundVisiblePct, s.visible, s.rotationMedianDeg, s.rotationP95Deg,
                s.rotationMedianDeg / s.measuredRotationMedianDeg, s.offBy5Deg);
    EXPECT_GE(s.foundVisiblePct, c.minFoundPct);
    EXPECT_LE(s.rotationMedianDeg, c.maxRotationMedianDeg);
    EXPECT_EQ(s.offBy5Deg, 0);
    // The filter keeps up with a fast camera rather than lagging behind what it measures.
    EXPECT_LE(s.rotationMedianDeg, 1.5 * s.measuredRotationMedianDeg);
}

// Measured over 1800 frames each (docs/accuracy.md): found 98.7 % (motion, whose most smeared
// frames give no pose rather than a doubtful one) to 100 %, rotation medians 0.03 to 0.33 deg;
// the bounds leave room for these 90 frames' own scatter. The far case starts where the path is
// 2.4 m away (0.6 to 0.7 deg there): a filter that starts with the velocity of two noisy poses
// wanders 5 to 10 deg off for a dozen frames.
INSTANTIATE_TEST_SUITE_P(
    Desk, HardConditions,
    testing::Values(HardCondition{"gradient", "light=1.3:0.45", "gsxk", 98, 0.3},
                    HardCondition{"shadow", "shadow=0.5", "gsxk", 98, 0.3},
                    HardCondition{"motion", "motion=7", "gsxk", 98, 1.0},
                    HardCondition{"defocus", "blur=1.6", "gsxk", 98, 0.3},
                    HardCondition{"jpeg", "jpeg=40", "gsxk", 98, 0.3},
                    HardCondition{"hand", "hand=0", "gsxk", 90, 0.3},
                    HardCondition{"far", "far=1,start=520", "gsxk", 98, 1.0},
                    HardCondition{"steep", "steep=1", "gsxk", 98, 0.3},
                    HardCondition{"dim", "dim=1", "gsxk", 98, 0.3},
                    HardCondition{"cluttered", "clutter=1", "gsxk", 98, 0.3},
                    HardCondition{"barrel", "lens=1", "rgsxk", 98, 0.3}),
    [](const testing::TestParamInfo<HardCondition>& info) { return std::string(info.param.name); });

// What a real webcam adds (docs/accuracy.md, 1800 frames each: found 92 % (partly out of view:
// of the frames with the hole and two outer corners in it) to 100 %, rotation medians 0.05 to
// 0.31 deg, the curled sheet 0.80 and all at once 0.84). The rolling shutter and the combination
// move the camera fast, as the motion case does; the partial view starts where the target is
// pushed past the picture's edge. The glare's stretch has the spot crossing the thin borders and
// the hole's corners: 89 % found there (15 % without reading a side past its washed-out places
// and leaving out a side read along the spot's rim).
INSTANTIATE_TEST_SUITE_P(
    Webcam, HardConditions,
    testing::Values(HardCondition{"rolling_shutter", "shutter=0.9,motion=5", "gsxk", 98, 1.0},
                    HardCondition{"glare", "glare=1,start=1350", "gsxk", 85, 0.3},
                    HardCondition{"curled_sheet", "curl=14", "gsxk", 98, 1.0},
                    HardCondition{"hunting_exposure", "exposure=0.4:2.5", "gsxk", 98, 0.3},
                    HardCondition{"colour_sensor", "colour=1", "gsxk", 98, 0.3},
                    HardCondition{"flicker", "flicker=0.3", "gsxk", 98, 0.3},
                    HardCondition{"low_light", "lowlight=1", "gsxk", 98, 0.3},
                    HardCondition{"partly_out_of_view", "outside=0.2,start=420", "gsxk", 90, 0.3},
                    HardCondition{"first_minute", "colour=1,lowlight=1,shutter=0.9,motion=3,curl=14", "gsxk", 95, 1.0}),
    [](const testing::TestParamInfo<HardCondition>& info) { return std::string(info.param.name); });

TEST(HardConditions, TheEdgesAdaptSoThatTheOutlinesShowADimPrint) {
    // What the teaching steps show: with keys g, s and x the target's outlines, found at a
    // threshold the frame chose; the fixed one (key t) shows none on a dim print.
    VirtualCameraOptions o;
    std::string error;
    ASSERT_TRUE(parseVirtualCameraOptions("noise=2,dim=1,start=150", o, error)) << error;
    HeadlessApp adaptive(o, "gsxk", TOVRAK_BUILD_DIR "/pontos1.txt"), fixed(o, "gsxkt", TOVRAK_BUILD_DIR "/pontos1.txt");
    // The threshold comes down a rung a frame while the outlines show no target.
    for (int n = 0; n < 6; ++n)
        for (HeadlessApp* h : {&adaptive, &fixed}) runFramePass(h->app);
    EXPECT_EQ(adaptive.tracker.targetFound, 1);
    EXPECT_LT(adaptive.app.tracking.edges().settled(), kSobelThreshold);
    EXPECT_EQ(fixed.tracker.targetFound, 0);
}

TEST(HardConditions, ATargetSlidingOutOfThePictureUnderAHandGivesAPoseOrNothingNeverAWrongOne) {
    VirtualCameraOptions o;
    std::string error;
    ASSERT_TRUE(parseVirtualCameraOptions("noise=2,hand=1", o, error)) << error;
    PosedViews views(o, TOVRAK_BUILD_DIR "/pontos1.txt");
    ASSERT_TRUE(views.calibrated);
    int poses = 0, wrong = 0;
    for (int n = 0; n < 60; ++n) {
        // From the target whole in view to more than half of it out at the right.
        const CameraPose truth = lookAtPose(-4.0 * n, 10, 480, 30, 20, 5);
        if (views.pass(&truth, n)) {
            ++poses;
            wrong += rotationAngleBetween(views.model.measuredR, truth.R) > 5.0;
        }
    }
    std::printf("poses on %d of 60 frames, %d of them wrong\n", poses, wrong);
    EXPECT_GT(poses, 10);
    EXPECT_EQ(wrong, 0);
}

TEST(HardConditions, FramesOfUnrelatedViewsEachGiveTheirPose) {
    // An image sequence need not be a steady path: a cut in a clip, or stills taken one by one.
    // A pose the picture settles is taken however far it is from the last one; only where the
    // picture allows two poses does the last one choose, and never by more than a hand turns.
    VirtualCameraOptions o;
    std::string error;
    ASSERT_TRUE(parseVirtualCameraOptions("noise=2", o, error)) << error;
    PosedViews stills(o, TOVRAK_BUILD_DIR "/pontos1.txt");
    ASSERT_TRUE(stills.calibrated);
    uint32_t state = 12345;
    auto uniform = [&state] { return (state = state * 1664525u + 1013904223u) / 4294967296.0; };
    int poses = 0, wrong = 0;
    const int views = 60;
    for (int n = 0; n < views; ++n) {
        const CameraPose truth = lookAtPose(-20 + 40 * uniform(), -20 + 40 * uniform(), 400 + 500 * uniform(),
                                            60 * uniform(), 360 * uniform(), -30 + 60 * uniform());
        if (stills.pass(&truth, n)) {
            ++poses;
            wrong += rotationAngleBetween(stills.model.R, truth.R) > 5.0;
        }
    }
    std::printf("poses on %d of %d unrelated views, %d of them wrong\n", poses, views, wrong);
    // All 60; 15 when every pose had to stay within a hand's turn of the last, 33 when two
    // poses a solver converges to from both sides counted as two even when they were one.
    EXPECT_GE(poses, 54);
    EXPECT_EQ(wrong, 0);
}

TEST(HardConditions, AWebcamsRollingShutterTakenForOneStillsDoNotHave) {
    // A webcam is taken to read its rows over most of a frame; the stills of a slide show (or a
    // global-shutter camera) do not. Between unrelated views the "motion" is no hand's, and the
    // frames must be taken as they are: every pose as good as without the assumption.
    VirtualCameraOptions o;
    std::string error;
    ASSERT_TRUE(parseVirtualCameraOptions("noise=2", o, error)) << error;
    PosedViews stills(o, TOVRAK_BUILD_DIR "/pontos1.txt"), assumed(o, TOVRAK_BUILD_DIR "/pontos1.txt");
    ASSERT_TRUE(stills.calibrated && assumed.calibrated);
    assumed.model.rowReadOut = 0.8;
    uint32_t state = 777;
    auto uniform = [&state] { return (state = state * 1664525u + 1013904223u) / 4294967296.0; };
    int both = 0, worse = 0;
    for (int n = 0; n < 40; ++n) {
        // Neighbouring views a few degrees apart (a slow pan shot frame by frame) and jumps.
        const double jump = n % 4 == 0 ? 1.0 : 0.05;
        const CameraPose truth = lookAtPose(-10 + 20 * uniform() * jump, -10 + 20 * uniform() * jump, 450 + 300 * uniform() * jump,
                                            10 + 40 * uniform(), 360 * uniform() * jump, -20 + 40 * uniform() * jump);
        const bool a = stills.pass(&truth, n), b = assumed.pass(&truth, n);
        if (a && b) {
            ++both;
            worse += rotationAngleBetween(assumed.model.measuredR, truth.R) > rotationAngleBetween(stills.model.measuredR, truth.R) + 0.5;
        } else {
            EXPECT_EQ(a, b) << "view " << n;
        }
    }
    EXPECT_GE(both, 36);
    EXPECT_EQ(worse, 0);
}

TEST(EdgeLadder, StepsDownWhileNothingShowsAndBackUpWhenTheLightReturns) {
    EdgeLadder ladder;
    bool probe = false;
    // A dimming print: nothing found, a rung lower each frame, down to the lowest rung.
    std::vector<int> down;
    for (int n = 0; n < 8; ++n) {
        const int t = ladder.first(probe);
        down.push_back(t);
        ladder.settle(t, false);
    }
    EXPECT_EQ(down.front(), kSobelThreshold);
    EXPECT_TRUE(std::is_sorted(down.rbegin(), down.rend()));
    EXPECT_EQ(down.back(), ladder.parameters().lowest);
    // The light comes back: found at every threshold, the ladder climbs a rung each probe.
    int frames = 0;
    while (ladder.settled() < kSobelThreshold && frames < 100) {
        const int t = ladder.first(probe);
        ladder.settle(t, true);
        ++frames;
    }
    EXPECT_EQ(ladder.settled(), kSobelThreshold);
    EXPECT_LE(frames, 5 * ladder.parameters().probeEvery);
    // A probe that finds nothing falls back to the rung the frame settled on.
    ladder.settle(ladder.parameters().lowest, true);
    probe = false;
    for (int n = 0; n < ladder.parameters().probeEvery && !probe; ++n) ladder.first(probe);
    EXPECT_TRUE(probe);
    EXPECT_EQ(ladder.fallBack(), ladder.parameters().lowest);
    // Fixed edges: the Sobel step's own threshold, whatever is found.
    ladder.setAdaptive(false);
    ladder.settle(100, false);
    EXPECT_EQ(ladder.first(probe), kSobelThreshold);
}
