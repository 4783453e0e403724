// A software camera that films the printed target: anti-aliased edges, optional blur, sensor
// noise, radial lens distortion and vignetting; the same seed and frame number always give
// the same picture. It also reports the truth of each frame for tests and measurements.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "capture/virtual_scene.h"

struct VirtualCameraOptions {
    int width = 320;
    int height = 240;
    double noise = 0.0;    // standard deviation of the sensor noise, in grey levels
    double blur = 0.0;     // standard deviation of the optical blur, in pixels
    bool lens = false;     // radial distortion and vignetting of the webcam lens model
    uint32_t seed = 1;     // noise seed
    bool still = false;    // hold the camera at the start frame
    bool upright = false;  // a path that keeps the target within 2 degrees of upright
    bool clutter = false;  // the sheet on a dark table, with two more dark rectangles on it
    int start = 0;         // first frame of the path
    double fps = 30.0;     // frame rate the backend paces to; 0 delivers as fast as asked
    // A fixed view instead of the path (any of tilt, azimuth, roll, distance given).
    bool fixedView = false;
    double tilt = 20.0, azimuth = 0.0, roll = 0.0, distance = 500.0;  // degrees, millimetres
};

// Parses "key=value,key=value" (keys: size=WxH, noise, blur, lens, seed, still, upright,
// clutter, start, fps, tilt, azimuth, roll, distance).
// Answers false with a one-line reason on a malformed or unknown option.
bool parseVirtualCameraOptions(const std::string& text, VirtualCameraOptions& options,
                               std::string& error);

struct VirtualFrameTruth {
    CameraPose pose;
    double focalLength = 0.0;
    // The ten target points as they appear in the frame ((row, col), pixel-centre
    // coordinates) and where an ideal lens would put them.
    std::array<std::array<double, 2>, 10> imagePoints{};
    std::array<std::array<double, 2>, 10> idealPoints{};
    bool wholeTargetVisible = false;  // all eight corners at least 3 pixels inside the frame
    // The same in the lens-corrected picture (the ideal points), which loses the frame's rim.
    bool wholeTargetVisibleCorrected = false;
};

class VirtualCamera {
public:
    explicit VirtualCamera(const VirtualCameraOptions& options);

    const VirtualCameraOptions& options() const { return opts; }
    void setSize(int width, int height);
    size_t frameBytes() const { return static_cast<size_t>(opts.width) * opts.height * 3; }

    // The pose of frame number n (counted from the first frame delivered).
    CameraPose poseOf(int n) const;
    VirtualFrameTruth truthOf(int n) const;
    VirtualFrameTruth truthFor(const CameraPose& pose) const;

    // Renders frame n into dst (frameBytes() bytes, BGR, row 0 first).
    void render(int n, unsigned char* dst);
    void renderPose(const CameraPose& pose, int noiseFrame, unsigned char* dst);

private:
    VirtualCameraOptions opts;
    LensModel lens;
    std::vector<float> radiance;  // 3 floats a pixel, kept between frames
    std::vector<float> scratch;
    std::vector<uint8_t> region;  // scene region at each pixel corner
    // The lens never changes, so where each pixel corner and centre looks through it, and how
    // much light reaches each pixel, are computed once per frame size.
    std::vector<float> cornerRays;  // ideal (col, row) of each pixel corner
    std::vector<float> centreRays;  // ideal (col, row) of each pixel centre
    std::vector<float> vignette;

    void prepareLensMaps();

    void shadeScene(const CameraPose& pose);
    void applyBlur();
    void quantise(int noiseFrame, unsigned char* dst) const;
};
