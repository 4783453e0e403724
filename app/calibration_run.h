// Calibrating the camera from views of the printed target (--calibrate-from SOURCE, and key v
// in the window): views are collected from frames where the whole target is found, different
// enough from those taken, and the camera is fitted to them (camera/view_calibration.h).
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "app/command_line.h"
#include "camera/view_calibration.h"
#include "tracking/calibration_views.h"

// Views from a source until it ends, or enough are taken; at most this many.
constexpr int kMaxCalibrationViews = 25;

// Fits, writes the file (`cameraFile`, or camera.yaml), and says what it found on stdout; or
// says in one line on stderr what is missing. Answers the program's exit status.
int fitAndWrite(const std::vector<CalibrationView>& views, int width, int height, const std::string& cameraFile);

// --calibrate-from: the whole run, without a window. Answers the exit status.
int runCalibration(const CommandLine& options);

// Key v in the window: views taken from the live frames while the user moves the target, on a
// Tracker of their own (the one the display shows is left alone), and the camera fitted and put
// to use once enough are in.
constexpr int kWindowCalibrationViews = 15;
struct ViewCollection {
    std::vector<CalibrationView> views;
    std::unique_ptr<Tracker> tracker;
    std::unique_ptr<TargetFinder> finder;
    ViewCollection();
    ~ViewCollection();
};
struct AppState;
// Switches collecting on (a fresh collection) or off.
void toggleViewCollection(AppState& app);
// One frame pass's part: a view taken when it is new; the fit when enough are in.
void collectView(AppState& app);
