#include "app/frame_rate.h"

#include <GL/freeglut.h>

#include "app/calibration_run.h"
#include "app/message.h"

void updateFrameRate(AppState& app) {
    double (*clock)() = app.clock ? app.clock : timeNow;
    if (!app.s_fps_started) {
        app.s_fps_last_time = clock();
        app.s_fps_started = true;
    }
    ++app.s_frame_count;
    if (app.s_frame_count % kFrameRatePasses == 0) {
        const double t = clock();
        app.s_fps = (t == app.s_fps_last_time) ? 0.0 : kFrameRatePasses / (t - app.s_fps_last_time);
        app.s_fps_last_time = t;
    }
}

void drawFrameRate(AppState& app) {
    updateFrameRate(app);
    Message text(-0.9f, 0.9f);
    text.setFont(7);
    text.setColor(0.0f, 1.0f, 0.0f);
    text.setPosition(-0.9f, -0.9f);
    text.print("%.1f fps\n", app.s_fps);
    if (app.s_views) {  // key v: how the collection stands
        text.setColor(1.0f, 1.0f, 0.0f);
        text.setPosition(-0.9f, 0.85f);
        const int taken = static_cast<int>(app.s_views->views.size());
        text.print("views %d/%d, %.0f %% of the picture", taken, kWindowCalibrationViews,
                   100 * viewCoverage(app.s_views->views, app.s_width, app.s_height));
    }
}
