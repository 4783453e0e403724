// Delivers frames at a source's own frame rate, as a camera's sensor would. A consumer that
// falls behind gets the next frame at once and the schedule restarts from there: no bursts.
#pragma once

#include <algorithm>
#include <chrono>
#include <thread>

class FramePacer {
public:
    using Clock = std::chrono::steady_clock;
    static constexpr double kSlowestPeriodSeconds = 3600.0;

    void restart(int delivered) {
        epoch = Clock::now();
        epochFrame = delivered;
    }

    // Waits until frame number `delivered` is due. False, after waiting the time-out, when it
    // is not due within it; a negative time-out waits without limit; fps <= 0 never waits.
    bool waitFor(int delivered, double fps, int timeoutMs) {
        if (fps <= 0.0) return true;
        // A frame an hour at the slowest: a longer period would overflow the clock's ticks.
        const auto period = std::chrono::duration_cast<Clock::duration>(
            std::chrono::duration<double>(std::min(1.0 / fps, kSlowestPeriodSeconds)));
        const auto due = epoch + period * (delivered - epochFrame);
        const auto now = Clock::now();
        if (now >= due) {
            if (now - due > 2 * period) restart(delivered);
            return true;
        }
        if (timeoutMs >= 0 && due - now > std::chrono::milliseconds(timeoutMs)) {
            std::this_thread::sleep_for(std::chrono::milliseconds(timeoutMs));
            return false;
        }
        std::this_thread::sleep_until(due);
        return true;
    }

private:
    Clock::time_point epoch = Clock::now();
    int epochFrame = 0;
};
