#include "app/pose_log.h"

#include "app/outputs.h"
#include "camera/pose.h"

void writePoseHeader(FILE* file) { std::fprintf(file, "frame,found,r1,r2,r3,r4,r5,r6,r7,r8,r9,tx,ty,tz\n"); }

void logPose(AppState& app, bool newPose) {
    if (!app.s_pose_file) return;
    static const CameraModel kNoPose;
    const CameraModel& m = app.s_camera ? *app.s_camera : kNoPose;
    std::fprintf(app.s_pose_file, "%d,%d", app.processedFrames, newPose ? 1 : 0);
    for (double r : m.R) std::fprintf(app.s_pose_file, ",%.9g", r);
    for (double t : m.T) std::fprintf(app.s_pose_file, ",%.9g", t);
    std::fputc('\n', app.s_pose_file);
    finishRows(app, app.s_pose_file, app.s_pose_path, "pose log");
}
