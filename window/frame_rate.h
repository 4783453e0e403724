// The frame-rate meter: counts display passes and recomputes the rate every 20 passes, from a
// clock of seconds that tests may replace.
#pragma once

constexpr int kFrameRatePasses = 20;

struct FrameRateMeter {
    int s_frame_count = 0;
    double s_fps = 0.0;
    double s_fps_last_time = 0.0;
    bool s_fps_started = false;
    double (*clock)() = nullptr;  // seconds; null: the wall clock (timeNow)
};

// Wall-clock seconds since 1970 with millisecond resolution.
double timeNow();
// Counts one display pass and updates the rate; no drawing.
void updateFrameRate(FrameRateMeter& meter);
// Counts the pass and shows the rate in green in the lower-left corner, and `status` (may be
// null) in yellow at the top.
void drawFrameRate(FrameRateMeter& meter, const char* status);
