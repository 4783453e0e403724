// Tracking accuracy on the virtual camera: for each condition, the detection rate, the rotation
// and translation errors of the filtered pose against the true pose, the lag of the filter
// behind the camera, and the frame-to-frame jitter while the camera holds still. Conditions
// without a suffix use the refined pose; "_grid" ones the homography-grid method.
// Usage: tovrak_accuracy [POINT_FILE] [FRAMES] [CONDITION...] (all conditions when none is named)
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "harness/tracking_run.h"

namespace {

struct Condition {
    std::string name;
    const char* keys;
    VirtualCameraOptions options;
    PoseMethod method;
};

VirtualCameraOptions with(double noise, double blur, bool lens) {
    VirtualCameraOptions o;
    o.noise = noise;
    o.blur = blur;
    o.lens = lens;
    return o;
}

// One hard condition of a real desk, over a webcam's sensor noise (2 grey levels).
VirtualCameraOptions hard(const char* options) {
    VirtualCameraOptions o;
    std::string error;
    if (!parseVirtualCameraOptions(std::string("noise=2,") + options, o, error)) {
        std::fprintf(stderr, "Error: %s\n", error.c_str());
        std::exit(2);
    }
    return o;
}

// How many frames the filtered translation trails the camera: the shift of the true path, in
// tenths of a frame from 0 to 5, that brings it nearest to the filtered one.
double lagFrames(const TrackingRun& run, const VirtualCameraOptions& options) {
    const VirtualCamera camera(options);
    double bestShift = 0, bestError = INFINITY;
    for (int tenth = 0; tenth <= 50; ++tenth) {
        const double shift = tenth / 10.0;
        double sum = 0;
        int count = 0;
        for (size_t n = 10; n < run.frames.size(); ++n) {
            if (!run.frames[n].found) continue;
            const double at = n - shift;
            const int a = static_cast<int>(std::floor(at));
            const double w = at - a;
            const VirtualFrameTruth ta = camera.truthOf(a), tb = camera.truthOf(a + 1);
            double d2 = 0;
            for (int k = 0; k < 3; ++k) {
                const double truth = (1 - w) * ta.pose.T[k] + w * tb.pose.T[k];
                d2 += (run.frames[n].T[k] - truth) * (run.frames[n].T[k] - truth);
            }
            sum += std::sqrt(d2), ++count;
        }
        if (count && sum / count < bestError) bestError = sum / count, bestShift = shift;
    }
    return bestShift;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string points = argc > 1 ? argv[1] : "pontos1.txt";
    const int frames = argc > 2 ? std::atoi(argv[2]) : 1800;
    constexpr int kStillFrames = 150, kWarmUp = 30;
    VirtualCameraOptions upright, clutter;
    upright.path = VirtualPath::Upright;
    clutter.clutter = true;
    std::vector<Condition> conditions;
    for (PoseMethod method : {PoseMethod::Refined, PoseMethod::Grid}) {
        const std::string suffix = method == PoseMethod::Grid ? "_grid" : "";
        conditions.push_back({"clean" + suffix, "gsxk", with(0, 0, false), method});
        conditions.push_back({"noise" + suffix, "gsxk", with(3, 0.7, false), method});
        conditions.push_back({"lens" + suffix, "gsxk", with(1.5, 0, true), method});
        conditions.push_back({"lens_corrected" + suffix, "rgsxk", with(1.5, 0, true), method});
    }
    conditions.push_back({"upright", "gsxk", upright, PoseMethod::Refined});
    conditions.push_back({"clutter", "gsxk", clutter, PoseMethod::Refined});
    // The hard conditions, one at a time (README, "Tracking on a real desk").
    const struct {
        const char* name;
        const char* options;
    } hardOnes[] = {{"gradient", "light=1.3:0.45"}, {"shadow", "shadow=0.5"}, {"motion", "motion=7"},
                    {"defocus", "blur=1.6"},         {"jpeg", "jpeg=40"},      {"hand", "hand=0"},
                    {"far", "far=1"},                {"steep", "steep=1"},     {"dim", "dim=1"},
                    {"cluttered", "clutter=1"},      {"barrel", "lens=1"},
                    // What a real webcam adds (README, "Tracking on a real desk"), and the first
                    // minute of a user's: several at once.
                    {"rolling", "shutter=0.9,motion=5"}, {"glare", "glare=1"}, {"curl", "curl=14"},
                    {"exposure", "exposure=0.4:2.5"},  {"colour", "colour=1"}, {"flicker", "flicker=0.3"},
                    {"lowlight", "lowlight=1"},         {"partial", "outside=0.2"},
                    {"webcam", "colour=1,lowlight=1,shutter=0.9,motion=3,curl=14"},
                    // Harder paths than the far and motion rows: faster, and far while moving.
                    {"motion_fast", "motion=10"}, {"far_moving", "far=1,motion=3"}};
    // The lens: corrected by the lens tables (key r); the uncorrected lens is the "lens" row above.
    for (const auto& h : hardOnes)
        conditions.push_back({h.name, std::string(h.name) == "barrel" ? "rgsxk" : "gsxk", hard(h.options), PoseMethod::Refined});
    conditions.push_back({"hand_grid", "gsxk", hard("hand=0"), PoseMethod::Grid});
    std::vector<std::string> only(argv + std::min(argc, 3), argv + argc);
    for (const Condition& c : conditions) {
        if (!only.empty() && std::find(only.begin(), only.end(), c.name) == only.end()) continue;
        const TrackingRun run = runTracking(c.options, c.keys, frames, points, c.method);
        if (!run.error.empty()) {
            std::fprintf(stderr, "Error: %s\n", run.error.c_str());
            return 1;
        }
        const TrackingSummary sum = summarise(run);
        // Still camera: how much the pose shakes from one frame to the next.
        VirtualCameraOptions still = c.options;
        still.still = true;
        still.start = 300;
        const TrackingRun hold = runTracking(still, c.keys, kStillFrames, points, c.method);
        const double jitter = jitterDeg(hold, kWarmUp, false), measuredJitter = jitterDeg(hold, kWarmUp, true);
        const double lag = lagFrames(run, c.options);

        std::printf("%s (keys %s): %d frames, target fully in view in %d, pose found in %d (%d of those in view, "
                    "%.1f %%); rotation error median %.3f deg, 95th %.3f deg; translation error median %.3f %%, "
                    "95th %.3f %%; frames off by more than 5 deg: %d, by more than 10 deg: %d; filter lag %.1f frames; "
                    "still-camera jitter %.4f deg rms. Before the filter: rotation error median %.3f deg, translation "
                    "%.3f %%, jitter %.4f deg rms\n",
                    c.name.c_str(), c.keys, frames, sum.visible, sum.found, sum.foundVisible, sum.foundVisiblePct,
                    sum.rotationMedianDeg, sum.rotationP95Deg, sum.translationMedianPct, sum.translationP95Pct,
                    sum.offBy5Deg, sum.offBy10Deg, lag, jitter, sum.measuredRotationMedianDeg,
                    sum.measuredTranslationMedianPct, measuredJitter);
        std::printf("accuracy: condition=%s frames=%d visible=%d found=%d found_visible_pct=%.2f rot_med_deg=%.3f "
                    "rot_p95_deg=%.3f trans_med_pct=%.3f trans_p95_pct=%.3f off5=%d lag_frames=%.1f jitter_deg=%.4f "
                    "filtered_over_measured=%.2f\n",
                    c.name.c_str(), frames, sum.visible, sum.found, sum.foundVisiblePct, sum.rotationMedianDeg,
                    sum.rotationP95Deg, sum.translationMedianPct, sum.translationP95Pct, sum.offBy5Deg, lag, jitter,
                    sum.rotationMedianDeg / sum.measuredRotationMedianDeg);
        std::fflush(stdout);
    }
    return 0;
}
