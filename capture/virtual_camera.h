// A software camera that films the printed target: anti-aliased edges, optional blur, sensor
// noise, radial lens distortion and vignetting, the hard conditions of a real desk (uneven
// light, a cast shadow, motion blur, JPEG compression, a hand over a corner, a dim print, far
// and steep views, clutter) and what a real webcam adds (a rolling shutter, glare on a glossy
// print, a curled sheet, auto-exposure hunting, a colour sensor's mosaic and MJPEG, mains
// flicker, low light, the target partly out of the picture). The same options, seed and frame number always give the same
// picture. It also reports the truth of each frame for tests and measurements.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "camera/camera_intrinsics.h"
#include "camera/lens.h"
#include "capture/virtual_scene.h"

struct VirtualCameraOptions {
    int width = 320;
    int height = 240;
    double noise = 0.0;    // standard deviation of the sensor noise, in grey levels
    double blur = 0.0;     // standard deviation of the optical blur (defocus), in pixels
    bool lens = false;     // radial distortion and vignetting of the webcam lens model
    uint32_t seed = 1;     // noise seed
    bool still = false;    // hold the camera at the start frame
    VirtualPath path = VirtualPath::Standard;  // upright=1, far=1, steep=1 choose another
    bool clutter = false;  // the sheet on a dark table, with two more dark rectangles on it
    int start = 0;         // first frame of the path
    double fps = 30.0;     // frame rate the backend paces to; 0 delivers as fast as asked
    // A fixed view instead of the path (any of tilt, azimuth, roll, distance given).
    bool fixedView = false;
    double tilt = 20.0, azimuth = 0.0, roll = 0.0, distance = 500.0;  // degrees, millimetres

    // The hard conditions, all off by default.
    double lightLeft = 1.0, lightRight = 1.0;  // light=A:B, gain falling from A at the picture's
                                               // left edge to B at its right
    double shadow = 1.0;   // shadow=F: the light left in a shadow band over the target's +X third
    double motion = 0.0;   // motion=S: the path S times faster, exposed for the whole frame interval
    int jpeg = 0;          // jpeg=Q: each frame through JPEG compression at quality Q (1 to 100)
    int hand = -1;         // hand=K: a hand (grey 150) over outer corner K (0 to 3, as the target
                           // points 5 to 8 give them)
    // Grey levels of the ink, the paper and the desk (ink=, paper=, desk=; dim=1 gives 110, 165
    // and 140); negative: the colours of the clean scene.
    double ink = -1, paper = -1, desk = -1;
    // A real lens (fx=, fy=, cx=, cy=, k1=, k2=, p1=, p2=; camera/camera_intrinsics.h): focal
    // lengths in pixels (0: the ideal camera's 330 x width / 320), principal point in pixel-centre
    // coordinates with rows bottom-up (negative: the picture's centre), Brown-Conrady distortion.
    double fx = 0, fy = 0, cx = -1, cy = -1, k1 = 0, k2 = 0, p1 = 0, p2 = 0;

    // What a real webcam adds, all off by default (capture/virtual_effects.h has the models).
    double shutter = 0.0;   // shutter=F: a rolling shutter reading the rows, top first, over F of the
                            // frame interval (0 to 1); the truth is the middle row's pose
    double glare = 0.0;     // glare=S: a specular spot of a lamp on a glossy print, drifting over the
                            // target, S times a peak that saturates some 2 spot radii (0 to 4)
    double curl = 0.0;      // curl=MM: the sheet bent like a page, its X edges lifted MM towards the
                            // camera (0 to 40); the truth is the tangent plane at the target's middle
    double exposureLow = 1.0, exposureHigh = 1.0;  // exposure=A:B: the gain hunting between A and B
                                                   // in linear light from frame to frame
    bool colour = false;    // colour=1: a warm white balance, a Bayer mosaic demosaiced, shot noise
                            // and MJPEG (quality 60 unless jpeg= says) with 4:2:0 chroma
    double flicker = 0.0;   // flicker=A: 100 Hz mains light of +-A (0 to 1) seen through the rolling
                            // shutter as drifting horizontal bands
    double outside = 0.0;   // outside=F: the camera turned so that up to F of the target's width lies
                            // beyond an edge of the picture (0 to 0.5), round all four edges in turn
};

// Parses "key=value,key=value" (keys: size=WxH, noise, blur, lens, seed, still, upright, far,
// steep, clutter, start, fps, tilt, azimuth, roll, distance, light=A:B, shadow, motion, jpeg,
// hand, ink, paper, desk, dim, fx, fy, cx, cy, k1, k2, p1, p2, shutter, glare, curl,
// exposure=A:B, colour, flicker, lowlight, outside). lowlight=1 is the print at about a third of
// its light (ink 28, paper 95, desk 75) under the noise of a high gain (7 grey levels). Answers false with a one-line
// reason on a malformed or unknown option.
bool parseVirtualCameraOptions(const std::string& text, VirtualCameraOptions& options,
                               std::string& error);

struct VirtualFrameTruth {
    CameraPose pose;  // with motion blur, the pose at the middle of the exposure
    double focalLength = 0.0;
    // The ten target points as they appear in the frame ((row, col), pixel-centre
    // coordinates) and where an ideal lens would put them.
    std::array<std::array<double, 2>, 10> imagePoints{};
    std::array<std::array<double, 2>, 10> idealPoints{};
    bool wholeTargetVisible = false;  // all eight corners at least 3 pixels inside the frame
    // The same in the lens-corrected picture (the ideal points), which loses the frame's rim.
    bool wholeTargetVisibleCorrected = false;
    // The hole's four corners in view, with at least two of the outer ones: what a pose needs
    // when the target is partly out of the picture.
    bool holeAndTwoCornersVisible = false;
};

class VirtualCamera {
public:
    explicit VirtualCamera(const VirtualCameraOptions& options);

    const VirtualCameraOptions& options() const { return opts; }
    void setSize(int width, int height);
    size_t frameBytes() const { return static_cast<size_t>(opts.width) * opts.height * 3; }

    // The camera's own numbers (the real lens, or the ideal camera), truth for calibration.
    CameraIntrinsics intrinsics() const;

    // The pose of frame number n (counted from the first frame delivered).
    CameraPose poseOf(int n) const;
    VirtualFrameTruth truthOf(int n) const;
    VirtualFrameTruth truthFor(const CameraPose& pose) const;

    // Renders frame n into dst (frameBytes() bytes, BGR, row 0 first).
    void render(int n, unsigned char* dst);
    void renderPose(const CameraPose& pose, int noiseFrame, unsigned char* dst);

private:
    VirtualCameraOptions opts;
    LensParameters lens;  // the webcam lens model (camera/lens.h)
    std::vector<float> radiance;  // 3 floats a pixel, kept between frames
    std::vector<float> scratch;   // the blur's rows; the motion blur's sum of sub-frames
    std::vector<float> lampRow, woodRow;  // one row of pixel centres' light, without and with the desk's grain
    std::vector<uint8_t> region;  // scene region at each pixel corner
    // The lens never changes, so where each pixel corner and centre looks through it, and how
    // much light reaches each pixel, are computed once per frame size.
    std::vector<float> cornerRays;  // ideal (col, row) of each pixel corner
    std::vector<float> centreRays;  // ideal (col, row) of each pixel centre
    std::vector<float> vignette;
    std::vector<float> columnLight;          // the light gradient's gain of each column
    std::vector<unsigned char> jpegBuffer;   // a frame's JPEG bytes
    std::vector<float> mosaic;               // the colour sensor's raw samples

    double pathFrame(int n) const;
    bool realLens() const { return intrinsics().distorted(); }
    // Where a frame position looks, as an undistorted position of the picture (through the real
    // lens, or the webcam lens model, or as it is).
    void toIdeal(double col, double row, double& idealCol, double& idealRow) const;
    CameraPose poseAt(double frame) const;
    CameraPose turnedTowardsEdge(const CameraPose& pose, double frame) const;
    // The pose row `row` was exposed with: the frame's, or with a rolling shutter on a moving
    // camera the path's at the row's read time (frame: the path frame; NaN for a given pose).
    CameraPose rowPose(const CameraPose& framePose, double frame, double row) const;
    // Where sheet point (X, Y) appears, through the lens and with the sheet's curl; false behind.
    bool imageOf(const CameraPose& pose, double X, double Y, double& col, double& row, double& idealCol,
                 double& idealRow) const;
    void prepareLensMaps();
    void renderFrame(const CameraPose& pose, double frame, int noiseFrame, unsigned char* dst);
    void shadeScene(const CameraPose& pose, double frame);
    void paintGlare(const CameraPose& pose, double frame);
    void paintHand(const CameraPose& pose);
    void finishFrame(int noiseFrame, unsigned char* dst);
    void applyBlur();
    void applyLightGradient();
    void quantise(int noiseFrame, unsigned char* dst);
    void compressAsJpeg(unsigned char* frame, int quality);
};
