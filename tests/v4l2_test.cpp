#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include "capture/capture.h"
#include "capture/properties.h"
#include "fake_v4l2.h"

namespace {

struct Webcam {
    std::shared_ptr<FakeCamera> cam = std::make_shared<FakeCamera>();
    CaptureDevice* dev = nullptr;
    void create(int w = 320, int h = 240) { dev = captureCreateWith(createV4l2Backend(std::make_unique<FakeV4l2Io>(cam), w, h)); }
    ~Webcam() { captureDestroy(dev); }
};

}  // namespace

TEST(Webcam, ListsOnlyCapturingDevicesWithTheirNames) {
    Webcam w;
    w.cam->nodes = {{"/dev/video0", "HD Webcam C270"},
                    {"/dev/video1", "HD Webcam C270 metadata", V4L2_CAP_META_CAPTURE | V4L2_CAP_STREAMING},
                    {"/dev/video2", std::string(31, 'L')}};
    w.create();
    ASSERT_NE(w.dev, nullptr);
    EXPECT_STREQ(captureGetDeviceName(w.dev, 0), "0 - HD Webcam C270");
    EXPECT_STREQ(captureGetDeviceName(w.dev, 1), ("1 - " + std::string(31, 'L')).c_str());
    EXPECT_EQ(captureGetDeviceName(w.dev, 2), nullptr);
    EXPECT_EQ(captureSelectDevice(w.dev, 1), 1);
    EXPECT_EQ(w.cam->width, 320);  // the preferred size, which the camera offers

    Webcam none;
    none.cam->nodes.clear();
    none.create();
    EXPECT_EQ(none.dev, nullptr);
}

TEST(Webcam, ADeviceThatCannotStreamIsRefused) {
    Webcam noBgr;
    noBgr.cam->deliversBgr = false;
    noBgr.create();
    EXPECT_EQ(captureSelectDevice(noBgr.dev, 0), 0);
    Webcam noBuffers;
    noBuffers.cam->failReqbufs = true;
    noBuffers.create();
    ASSERT_EQ(captureSelectDevice(noBuffers.dev, 0), 1);
    EXPECT_EQ(captureSetRunning(noBuffers.dev, 1), 0);
    EXPECT_EQ(captureSetRunning(noBuffers.dev, -1), 0);
}

TEST(Webcam, GrabGivesTheNewestFrameBottomUpOrNothingOnTimeOut) {
    Webcam w;
    w.cam->padding = 8;  // rows padded by the driver
    w.create(300, 200);   // the nearest offered is 320 x 240
    ASSERT_EQ(captureSelectDevice(w.dev, 0), 1);
    int width, height;
    captureGetSize(w.dev, &width, &height);
    EXPECT_EQ(width, 320);
    EXPECT_EQ(height, 240);
    ASSERT_EQ(captureSetRunning(w.dev, 1), 1);
    std::vector<unsigned char> frame(320 * 240 * 3, 0xAB);
    EXPECT_EQ(captureGrabFrame(w.dev, frame.data(), frame.size(), 50), 0);
    EXPECT_EQ(frame[0], 0xAB);  // untouched on time-out
    w.cam->deliver(3);
    ASSERT_EQ(captureGrabFrame(w.dev, frame.data(), frame.size(), 50), 1);
    // Frame 3, top row r holds 3 * 16 + r: our row 0 is the camera's bottom row (239).
    EXPECT_EQ(frame[0], (3 * 16 + 239) & 0xff);
    EXPECT_EQ(frame[frame.size() - 1], 3 * 16);
    EXPECT_EQ(w.cam->queued.size(), 4u);  // every buffer back with the camera
    // A caller's buffer smaller than the frame is never overrun.
    std::vector<unsigned char> small(1000 + 16, 0x11);
    w.cam->deliver(1);
    ASSERT_EQ(captureGrabFrame(w.dev, small.data(), 1000, 50), 1);
    EXPECT_EQ(small[1000], 0x11);
}

TEST(Webcam, ASizeChangeWhileStreamingKeepsStreaming) {
    Webcam w;
    w.create();
    ASSERT_EQ(captureSelectDevice(w.dev, 0), 1);
    ASSERT_EQ(captureSetRunning(w.dev, 1), 1);
    EXPECT_EQ(captureSetSize(w.dev, 640, 480), 1);
    int width, height;
    captureGetSize(w.dev, &width, &height);
    EXPECT_EQ(width, 640);
    EXPECT_TRUE(w.cam->streaming);
    std::vector<unsigned char> frame(640 * 480 * 3);
    w.cam->deliver(1);
    EXPECT_EQ(captureGrabFrame(w.dev, frame.data(), frame.size(), 50), 1);
    EXPECT_EQ(frame[0], (16 + 479) & 0xff);
}

TEST(Webcam, UnpluggedMidStreamStopsCaptureWithOneLine) {
    Webcam w;
    w.create();
    ASSERT_EQ(captureSelectDevice(w.dev, 0), 1);
    ASSERT_EQ(captureSetRunning(w.dev, 1), 1);
    std::vector<unsigned char> frame(320 * 240 * 3, 7);
    w.cam->unplugged = true;
    testing::internal::CaptureStderr();
    EXPECT_EQ(captureGrabFrame(w.dev, frame.data(), frame.size(), 50), 0);
    EXPECT_EQ(captureGrabFrame(w.dev, frame.data(), frame.size(), 50), 0);
    const std::string said = testing::internal::GetCapturedStderr();
    EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 1);
    EXPECT_NE(said.find("/dev/video0"), std::string::npos);
    EXPECT_EQ(captureSetRunning(w.dev, -1), 0);
    EXPECT_EQ(captureSetRunning(w.dev, 1), 0);
    EXPECT_EQ(frame[0], 7);
}

TEST(CameraProperties, PercentOfTheRangeOnTheStepGrid) {
    Webcam w;
    w.cam->controls[V4L2_CID_BRIGHTNESS] = {0, 255, 1, 128, 0};
    w.cam->controls[V4L2_CID_CONTRAST] = {0, 255, 10, 128, 0};
    w.cam->controls[V4L2_CID_GAIN] = {-50, 50, 1, 0, 0};
    w.cam->controls[V4L2_CID_SHARPNESS] = {7, 7, 1, 7, 7};
    w.cam->controls[V4L2_CID_VFLIP] = {0, 1, 1, 0, 0};
    w.cam->controls[V4L2_CID_EXPOSURE_ABSOLUTE] = {3, 2047, 1, 250, 250};
    w.cam->controls[V4L2_CID_EXPOSURE_AUTO] = {0, 3, 1, 3, V4L2_EXPOSURE_APERTURE_PRIORITY};
    w.create();
    ASSERT_EQ(captureSelectDevice(w.dev, 0), 1);
    EXPECT_EQ(captureSetProperty(w.dev, "VideoBrightness", 50), 1);
    EXPECT_EQ(w.cam->controls[V4L2_CID_BRIGHTNESS].value, 127);
    EXPECT_EQ(captureSetProperty(w.dev, "VideoContrast", 50), 1);
    EXPECT_EQ(w.cam->controls[V4L2_CID_CONTRAST].value, 130);
    double v = -1;
    for (double p : {0.0, 100.0}) {
        ASSERT_EQ(captureSetProperty(w.dev, "VideoGain", p), 1);
        ASSERT_EQ(captureGetProperty(w.dev, "VideoGain", &v), 1);
        EXPECT_EQ(v, p);
    }
    EXPECT_EQ(captureGetProperty(w.dev, "VideoSharpness", &v), 1);  // empty range: 0, no division
    EXPECT_EQ(v, 0.0);
    EXPECT_EQ(captureSetProperty(w.dev, "videobrightness", 50), 0);
    EXPECT_EQ(captureGetProperty(w.dev, "VideoHue", &v), 0);  // no such control on this camera
    // A flip set, then its "automatic" mode: the picture is unflipped again.
    EXPECT_EQ(captureSetProperty(w.dev, "FlipVertical", 1.0), 1);
    ASSERT_EQ(captureGetProperty(w.dev, "FlipVertical", &v), 1);
    EXPECT_EQ(v, 100.0);
    EXPECT_EQ(captureSetPropertyAuto(w.dev, "FlipVertical", 1), 1);
    EXPECT_EQ(w.cam->controls[V4L2_CID_VFLIP].value, 0);
    // Exposure: a manual value turns the automatic mode off; automatic turns it back on.
    EXPECT_EQ(captureSetProperty(w.dev, "CameraExposure", 10), 1);
    EXPECT_EQ(w.cam->controls[V4L2_CID_EXPOSURE_AUTO].value, V4L2_EXPOSURE_MANUAL);
    EXPECT_EQ(captureSetPropertyAuto(w.dev, "CameraExposure", 1), 1);
    EXPECT_EQ(w.cam->controls[V4L2_CID_EXPOSURE_AUTO].value, V4L2_EXPOSURE_APERTURE_PRIORITY);
    EXPECT_EQ(captureSetPropertyAuto(w.dev, "VideoContrast", 1), 1);  // no automatic mode: the default
    EXPECT_EQ(w.cam->controls[V4L2_CID_CONTRAST].value, 128);
}
