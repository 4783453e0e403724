// Tracking accuracy on the virtual camera: for each condition, the detection rate, the rotation
// and translation errors of the filtered pose against the true pose, and the frame-to-frame
// jitter while the camera holds still. Usage: tovrak_accuracy [POINT_FILE] [FRAMES]
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/tracking_run.h"

namespace {

double quantile(std::vector<double> v, double q) {
    if (v.empty()) return NAN;
    std::sort(v.begin(), v.end());
    return v[static_cast<size_t>(q * (v.size() - 1))];
}

struct Condition {
    const char* name;
    const char* keys;
    VirtualCameraOptions options;
};

VirtualCameraOptions with(double noise, double blur, bool lens) {
    VirtualCameraOptions o;
    o.noise = noise;
    o.blur = blur;
    o.lens = lens;
    return o;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string points = argc > 1 ? argv[1] : "pontos1.txt";
    const int frames = argc > 2 ? std::atoi(argv[2]) : 1800;
    constexpr int kStillFrames = 150, kWarmUp = 30;
    const Condition conditions[] = {
        {"clean", "gsxk", with(0, 0, false)},
        {"noise", "gsxk", with(3, 0.7, false)},
        {"lens", "gsxk", with(1.5, 0, true)},
        {"lens_corrected", "rgsxk", with(1.5, 0, true)},
    };
    for (const Condition& c : conditions) {
        const TrackingRun run = runTracking(c.options, c.keys, frames, points);
        if (!run.error.empty()) {
            std::fprintf(stderr, "Error: %s\n", run.error.c_str());
            return 1;
        }
        std::vector<double> rot, trans, measuredRot;
        int visible = 0, found = 0, flips = 0;
        for (const TrackedFrame& f : run.frames) {
            visible += f.visible;
            if (!f.found) continue;
            ++found;
            rot.push_back(f.rotationErrorDeg);
            measuredRot.push_back(f.measuredRotationErrorDeg);
            trans.push_back(f.translationErrorPct);
            flips += f.rotationErrorDeg > 10.0;
        }
        // Still camera: how much the pose shakes from one frame to the next.
        VirtualCameraOptions still = c.options;
        still.still = true;
        still.start = 300;
        const TrackingRun hold = runTracking(still, c.keys, kStillFrames, points);
        auto rmsStep = [&](bool measured) {
            double sumSq = 0;
            int count = 0;
            for (size_t i = kWarmUp + 1; i < hold.frames.size(); ++i) {
                const TrackedFrame &a = hold.frames[i], &b = hold.frames[i - 1];
                const double s = measured ? rotationAngleBetween(a.measuredR, b.measuredR) : rotationAngleBetween(a.R, b.R);
                sumSq += s * s;
                ++count;
            }
            return count ? std::sqrt(sumSq / count) : NAN;
        };
        const double jitter = rmsStep(false), measuredJitter = rmsStep(true);

        std::printf("%s (keys %s): %d frames, target fully in view in %d, pose found in %d; "
                    "rotation error median %.2f deg, 95th %.2f deg; translation error median %.2f %%, "
                    "95th %.2f %%; frames off by more than 10 deg: %d; still-camera jitter %.3f deg rms. "
                    "Before the filter: rotation error median %.2f deg, jitter %.3f deg rms\n",
                    c.name, c.keys, frames, visible, found, quantile(rot, 0.5), quantile(rot, 0.95),
                    quantile(trans, 0.5), quantile(trans, 0.95), flips, jitter, quantile(measuredRot, 0.5),
                    measuredJitter);
        std::printf("accuracy: condition=%s frames=%d found=%d rot_med_deg=%.3f rot_p95_deg=%.3f trans_med_pct=%.3f "
                    "trans_p95_pct=%.3f jitter_deg=%.4f\n",
                    c.name, frames, found, quantile(rot, 0.5), quantile(rot, 0.95), quantile(trans, 0.5),
                    quantile(trans, 0.95), jitter);
        std::fflush(stdout);
    }
    return 0;
}
