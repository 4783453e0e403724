#include "app/point_log.h"

#include "app/outputs.h"
#include "base/report.h"
#include "vision/tracker.h"

namespace {
constexpr int kLoggedRecords[8] = {0, 1, 2, 3, 5, 6, 7, 8};
}  // namespace

void logPoints(AppState& app) {
    if (app.s_log_countdown <= 0) {
        reportLine("acabou");
        return;
    }
    // With no stream (the log could not be opened) the countdown still runs, so that the
    // console shows the same progress as with a log.
    if (app.s_log_file) {
        const Tracker& t = *app.s_tracker;
        const std::vector<PointRecord>& points = t.targetPoints;
        for (int index : kLoggedRecords) {
            const PointRecord p = index < static_cast<int>(points.size()) ? points[index] : PointRecord{};
            // Centred as the pose step centres them (docs/conventions.md, "Centring").
            std::fprintf(app.s_log_file, "%d   %d\n", p.row - t.height / 2, p.col - t.width / 2);
        }
        std::fprintf(app.s_log_file, "\n\n");
        finishRows(app, app.s_log_file, kPointLogName, "point log");
    }
    --app.s_log_countdown;
}
