// An application state over a fake capture device, as the window would hold it.
#pragma once

#include <memory>

#include "app/app_state.h"
#include "capture/capture.h"
#include "fake_backend.h"
#include "vision/tracker.h"

struct AppFixture {
    std::shared_ptr<FakeDevice> device = std::make_shared<FakeDevice>();
    Tracker tracker;
    AppState app;

    AppFixture() {
        app.s_tracker = &tracker;
        app.s_capture = captureCreateWith(makeFake(device));
        captureSelectDevice(app.s_capture, 0);
        captureSetRunning(app.s_capture, 1);
    }
    ~AppFixture() { captureDestroy(app.s_capture); }
};
