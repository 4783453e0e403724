#include "window/frame_rate.h"

#include <chrono>

double timeNow() {
    using namespace std::chrono;
    const auto ms = duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
    return static_cast<double>(ms / 1000) + static_cast<double>(ms % 1000) * 0.001;
}

void updateFrameRate(FrameRateMeter& m) {
    double (*clock)() = m.clock ? m.clock : timeNow;
    if (!m.s_fps_started) {
        m.s_fps_last_time = clock();
        m.s_fps_started = true;
    }
    ++m.s_frame_count;
    if (m.s_frame_count % kFrameRatePasses == 0) {
        const double t = clock();
        m.s_fps = (t == m.s_fps_last_time) ? 0.0 : kFrameRatePasses / (t - m.s_fps_last_time);
        m.s_fps_last_time = t;
    }
}
