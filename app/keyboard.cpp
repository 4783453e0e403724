#include "app/keyboard.h"

#include <climits>
#include <cstdio>
#include <vector>

#include "app/calibration_key.h"
#include "app/calibration_run.h"
#include "models/shown_model.h"
#include "camera/pose.h"
#include "capture/capture.h"
#include "base/report.h"

namespace {

void toggle(uint8_t& flag) { flag = flag ? 0 : 1; }

}  // namespace

KeyAction handleKey(AppState& app, unsigned char key) {
    switch (key) {
        case 27:
            captureCloseDevice(app.s_capture);
            captureDestroy(app.s_capture);
            app.s_capture = nullptr;
            std::vector<unsigned char>().swap(app.s_frame);
            return KeyAction::Exit;
        case ' ':
            captureSetRunning(app.s_capture, captureSetRunning(app.s_capture, -1) ? 0 : 1);
            return KeyAction::None;
        case '+':
            reportLine("%i ", app.s_corner_threshold);
            // Saturates rather than overflowing after some 71,500 presses.
            app.s_corner_threshold = app.s_corner_threshold > INT_MAX - kCornerThresholdStep
                                         ? INT_MAX
                                         : app.s_corner_threshold + kCornerThresholdStep;
            return KeyAction::None;
        case 'b': toggle(app.s_key_b); return KeyAction::None;
        case 'c': toggle(app.s_key_c); return KeyAction::None;
        case 'a': calibrateFromView(app); return KeyAction::None;
        case 'd':
            if (captureShowSourceDialog(app.s_capture, nullptr) == -1)
                reportNote("this camera has no settings dialog here; tovrak --list-devices shows its controls");
            return KeyAction::None;
        case 'e': toggle(app.s_key_e); return KeyAction::None;
        case 'g': toggle(app.s_key_g); return KeyAction::None;
        case 'h': toggle(app.s_key_h); return KeyAction::None;
        case 'k':
            toggle(app.s_key_k);
            if (app.s_key_k && !app.s_pose_explained && !(app.s_camera && app.s_camera->ready)) {
                app.s_pose_explained = true;
                reportWarning("the pose step is disabled: %s",
                              app.s_camera ? app.s_camera->whyNotReady.c_str() : "the camera is not calibrated");
            }
            return KeyAction::None;
        case 'l':
            app.s_log_enabled = 1;
            app.s_log_countdown = kLogRecords;
            return KeyAction::None;
        case 'm': toggle(app.s_key_m); return KeyAction::None;
        case 'n': toggle(app.s_key_n); return KeyAction::None;
        case 'p': toggle(app.s_key_p); return KeyAction::None;
        case 'v': toggleViewCollection(app); return KeyAction::None;
        case 'u':
            if (app.s_shown_model) turnShownModel(*app.s_shown_model);
            return KeyAction::None;
        case 't':
            app.tracking.edges().setAdaptive(!app.tracking.edges().adaptive());
            reportNote(app.tracking.edges().adaptive() ? "edges for the target: adapted to each frame"
                                                       : "edges for the target: the Sobel step's fixed threshold %d",
                       kSobelThreshold);
            return KeyAction::None;
        case 'r': toggle(app.s_key_r); return KeyAction::None;
        case 's': toggle(app.s_key_s); return KeyAction::None;
        case 'x': toggle(app.s_key_x); return KeyAction::None;
        default: return KeyAction::Redisplay;
    }
}
