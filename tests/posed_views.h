// The refined pose over single frames the virtual camera renders at chosen poses, in the order a
// test gives them: for what a camera path does not show (a target sliding out of the picture, a
// cut, unrelated stills, a target that comes back elsewhere).
#pragma once

#include <algorithm>
#include <vector>

#include "camera/pose.h"
#include "tracking/target_tracker.h"
#include "capture/virtual_camera.h"
#include "vision/tracker.h"

struct PosedViews {
    VirtualCamera camera;
    std::vector<unsigned char> frame;
    Tracker tracker;
    CameraModel model;
    TargetTracker target;
    bool calibrated = false;

    explicit PosedViews(const VirtualCameraOptions& options, const char* pointFile)
        : camera(options), frame(camera.frameBytes()) {
        tracker.setFrameSize(options.height, options.width);
        calibrated = calibrateCamera(tracker, model, pointFile);
    }

    // One pass of the outlines and the refined pose over the frame of the camera at `pose` (frame
    // number n, for the sensor noise), or over a blank frame: true when it gave a new pose.
    bool pass(const CameraPose* pose, int n) {
        if (pose) camera.renderPose(*pose, n, frame.data());
        else std::fill(frame.begin(), frame.end(), 180);
        tracker.input = frame.data();
        const bool found = target.track(tracker, &model, ChainSteps{});
        tracker.drawContours();
        return found;
    }
};
