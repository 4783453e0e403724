#include "app/outputs.h"

#include <cerrno>
#include <cstring>

#include "capture/media_file.h"
#include "base/report.h"

namespace {

void say(const std::string& name, const std::string& reason, const char* what) {
    reportError("cannot write %s (%s); %s stopped", name.c_str(), reason.c_str(), what);
}

}  // namespace

void failOutput(AppState& app, FILE*& file, const std::string& name, const char* what) {
    say(name, std::strerror(errno ? errno : EIO), what);
    std::fclose(file);
    file = nullptr;
    app.s_output_failed = true;
}

void finishRows(AppState& app, FILE*& file, const std::string& name, const char* what) {
    if (!file) return;
    errno = 0;
    if (std::ferror(file) || std::fflush(file) != 0) failOutput(app, file, name, what);
}

void recordFrame(AppState& app) {
    if (!app.s_recorder) return;
    std::string reason;
    if (app.s_recorder->write(app.s_frame.data(), app.s_width, app.s_height, reason)) return;
    say(app.s_record_path, reason, "recording");
    app.s_recorder->close();
    app.s_recorder = nullptr;
    app.s_output_failed = true;
}

bool closeOutputs(AppState& app) {
    if (app.s_recorder) {
        std::string reason;
        if (!app.s_recorder->close(reason)) {
            say(app.s_record_path, reason, "recording");
            app.s_output_failed = true;
        }
        app.s_recorder = nullptr;
    }
    for (auto [file, name] : {std::pair{&app.s_pose_file, app.s_pose_path}, {&app.s_log_file, std::string(kPointLogName)}}) {
        if (!*file) continue;
        errno = 0;
        const bool bad = std::ferror(*file) | (std::fclose(*file) != 0);
        *file = nullptr;
        if (bad) {
            say(name, std::strerror(errno ? errno : EIO), "output");
            app.s_output_failed = true;
        }
    }
    return !app.s_output_failed;
}
