#include "app/point_log.h"

#include "vision/tracker.h"

namespace {
// Readers of the log expect points centred on a 320 x 240 frame, whatever the frame size.
constexpr int kLogCentreRow = 120;
constexpr int kLogCentreCol = 160;
constexpr int kLoggedRecords[8] = {0, 1, 2, 3, 5, 6, 7, 8};
}  // namespace

void logPoints(AppState& app) {
    if (app.s_log_countdown <= 0) {
        std::printf("acabou\n");
        return;
    }
    // With no stream (the log could not be opened) the countdown still runs, so that the
    // console shows the same progress as with a log.
    if (app.s_log_file) {
        const std::vector<PointRecord>& points = app.s_tracker->targetPoints;
        for (int index : kLoggedRecords) {
            const PointRecord p = index < static_cast<int>(points.size()) ? points[index] : PointRecord{};
            std::fprintf(app.s_log_file, "%d   %d\n", p.row - kLogCentreRow, p.col - kLogCentreCol);
        }
        std::fprintf(app.s_log_file, "\n\n");
    }
    --app.s_log_countdown;
}
