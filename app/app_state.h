// The state the GLUT callbacks share: the point log, the capture handle, the frame buffer,
// the Tracker, the key flags and the frame-rate meter. One instance serves the window; tests
// make their own and drive the same code without one.
//
// Ownership: AppState owns `s_frame` and the capture handle (released by Esc). Everything it
// points to otherwise (the Tracker, the camera model, the model, the recorder, the open log
// and pose files) belongs to whoever set it up: the application's start-up for the window, the
// test or HeadlessApp otherwise, and outlives every frame pass.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "tracking/target_tracker.h"
#include "window/frame_rate.h"

struct CaptureDevice;
struct AnimModel;
struct ShownModel;
class VideoRecorder;
struct ViewCollection;

constexpr int kLogRecords = 400;
constexpr int kInitialCornerThreshold = 1000000;
constexpr int kCornerThresholdStep = 30000;

struct AppState {
    FILE* s_log_file = nullptr;
    CaptureDevice* s_capture = nullptr;
    int s_width = 0;
    int s_height = 0;
    std::vector<unsigned char> s_frame;  // empty until the first frame pass
    Tracker* s_tracker = nullptr;
    CameraModel* s_camera = nullptr;  // calibration and pose filter; null until start-up made it
    bool s_pose_explained = false;    // the user was told once why "k" does nothing
    int s_focal_scaled_width = 0;     // the frame size the camera was last scaled to
    double s_row_read_out = -1;       // --readout; negative: as the source says
    int s_focal_scaled_height = 0;
    FILE* s_pose_file = nullptr;      // --poses: one CSV row per processed frame
    std::string s_pose_path, s_record_path;  // their file names, for messages
    bool s_output_failed = false;     // an output could not be written: the run ends non-zero
    AnimModel* s_anim_model = nullptr;  // the character drawn with key "m"
    ShownModel* s_shown_model = nullptr;  // the platform or the user's model, key "b"
    VideoRecorder* s_recorder = nullptr;  // --record: the frames as captured
    ViewCollection* s_views = nullptr;    // key v: views of the target being taken for a calibration
    std::string s_camera_file;            // --camera: where a calibration made here is written

    uint8_t s_key_g = 0, s_key_r = 0, s_key_c = 0, s_key_s = 0, s_key_e = 0, s_key_h = 0,
            s_key_x = 0, s_key_p = 0, s_key_k = 0;
    uint8_t s_key_m = 0;
    uint8_t s_key_n = 0;
    uint8_t s_key_b = 0;
    uint8_t s_log_enabled = 0;
    int s_log_countdown = kLogRecords;
    int s_corner_threshold = kInitialCornerThreshold;
    // The target's tracking from frame to frame, with its edge ladder (key t, --edges).
    TargetTracker tracking;

    // The frame-rate meter of the window's display passes.
    FrameRateMeter frameRate;

    int processedFrames = 0;  // frame passes that processed a frame
    bool newPoseThisPass = false;  // the last frame pass computed a camera pose
};

