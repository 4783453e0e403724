// Tracks the virtual camera's frames with the installed library and checks the poses against
// their truth: exit status 0 when the target was found and placed as it should be.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

#include "tovrak/tovrak.h"

int main() {
    tovrak::VirtualCamera film = tovrak::VirtualCamera::create("noise=2").value();
    tovrak::Tracker tracker(film.camera());
    std::vector<double> errors;
    int visible = 0;
    for (int n = 0; n < 150; n += 2) {
        const tovrak::Result<tovrak::TargetPose> pose = tracker.track(film.frame(n).view());
        const tovrak::TargetPose truth = film.truth(n);
        if (!pose) return std::fprintf(stderr, "Error: %s\n", pose.error().c_str()), 1;
        if (!truth.found) continue;
        ++visible;
        if (!pose->found) continue;
        double trace = 0;
        for (int i = 0; i < 9; ++i) trace += pose->measuredRotation[i] * truth.rotation[i];
        errors.push_back(std::acos(std::min(1.0, (trace - 1) / 2)) * 180 / M_PI);
    }
    std::sort(errors.begin(), errors.end());
    const double median = errors.empty() ? 180 : errors[errors.size() / 2];
    std::printf("tovrak %s: found %zu of %d frames, rotation median %.3f deg\n", tovrak::version(), errors.size(), visible, median);
    return errors.size() >= static_cast<size_t>(visible) * 95 / 100 && median < 0.2 ? 0 : 1;
}
