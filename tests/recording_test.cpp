// Recording virtual-camera frames to a video file and playing the file back as a capture
// device: the target is found on the replayed frames as on the originals.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <vector>

#include "capture/capture.h"
#include "capture/media_file.h"
#include "capture/virtual_camera.h"
#include "imageio/png_file.h"
#include "vision/target_chain.h"

namespace {

struct Detection {
    bool found = false;
    PointRecord points[10];
};

Detection detect(Tracker& t, unsigned char* frame) {
    t.input = frame;
    runTargetChain(t);
    Detection d;
    d.found = t.targetFound;
    for (int i = 0; i < 10; ++i) d.points[i] = t.targetPoints[i];
    return d;
}

}  // namespace

TEST(Recording, ReplayedVideoTracksLikeTheOriginal) {
    const int frames = 60;
    const std::string path = testing::TempDir() + "virtual.mkv";
    VirtualCameraOptions o;
    o.noise = 1.5;
    VirtualCamera camera(o);
    std::vector<unsigned char> frame(camera.frameBytes());
    Tracker t;
    t.setFrameSize(240, 320);
    std::vector<Detection> original;
    {
        VideoRecorder recorder;
        std::string error;
        ASSERT_TRUE(recorder.open(path, 320, 240, 30, error)) << error;
        for (int n = 0; n < frames; ++n) {
            camera.render(n, frame.data());
            ASSERT_TRUE(recorder.write(frame.data(), 320, 240));
            original.push_back(detect(t, frame.data()));
        }
        EXPECT_FALSE(recorder.write(frame.data(), 160, 120));  // another size is not mixed in
        recorder.close();
    }

    std::string error;
    CaptureDevice* dev = captureCreateWith(createMediaFileBackend(path, false, error));
    ASSERT_NE(dev, nullptr) << error;
    ASSERT_EQ(captureSelectDevice(dev, 0), 1);
    int w = 0, h = 0;
    captureGetSize(dev, &w, &h);
    ASSERT_EQ(w, 320);
    ASSERT_EQ(h, 240);
    ASSERT_EQ(captureSetRunning(dev, 1), 1);
    int replayed = 0, agree = 0, bothFound = 0;
    double worst = 0;
    std::vector<unsigned char> back(frame.size());
    while (captureGrabFrame(dev, back.data(), back.size(), -1)) {
        ASSERT_LT(replayed, frames);
        const Detection d = detect(t, back.data());
        const Detection& o2 = original[replayed];
        agree += d.found == o2.found;
        if (d.found && o2.found) {
            ++bothFound;
            for (int i = 0; i < 10; ++i)
                worst = std::max(worst, std::hypot(d.points[i].row - o2.points[i].row, d.points[i].col - o2.points[i].col));
        }
        ++replayed;
    }
    std::printf("replayed %d frames: detection agrees on %d, both found %d, worst point shift %.1f px\n", replayed, agree,
                bothFound, worst);
    EXPECT_EQ(replayed, frames);
    EXPECT_GE(agree, frames - 2);
    EXPECT_LE(worst, 4.0);
    // The end of the recording stops capture.
    EXPECT_EQ(captureSetRunning(dev, -1), 0);
    captureDestroy(dev);
}

TEST(Recording, ImageSequencesPlayAndBadFilesAreRefused) {
    // Three PNG frames frame0001.png .. frame0003.png, played in order.
    for (int i = 1; i <= 3; ++i) {
        RgbImage img;
        img.width = 32;
        img.height = 16;
        img.pixels.assign(32 * 16 * 3, static_cast<unsigned char>(i * 60));
        char name[64];
        std::snprintf(name, sizeof name, "frame%04d.png", i);
        std::string error;
        ASSERT_TRUE(writePng(testing::TempDir() + name, img, error));
    }
    std::string error;
    CaptureDevice* dev = captureCreateWith(createMediaFileBackend(testing::TempDir() + "frame%04d.png", true, error));
    ASSERT_NE(dev, nullptr) << error;
    captureSelectDevice(dev, 0);
    captureSetRunning(dev, 1);
    std::vector<unsigned char> f(32 * 16 * 3);
    std::vector<int> seen;
    for (int i = 0; i < 5; ++i) {
        ASSERT_EQ(captureGrabFrame(dev, f.data(), f.size(), -1), 1);
        seen.push_back(f[0]);
    }
    EXPECT_EQ(seen, (std::vector<int>{60, 120, 180, 60, 120}));  // looping
    captureDestroy(dev);

    EXPECT_EQ(createMediaFileBackend(testing::TempDir() + "no-such.mkv", false, error), nullptr);
    EXPECT_FALSE(error.empty());
    const std::string junk = testing::TempDir() + "junk.mkv";
    std::FILE* j = std::fopen(junk.c_str(), "wb");
    std::fputs("not a video at all", j);
    std::fclose(j);
    EXPECT_EQ(createMediaFileBackend(junk, false, error), nullptr);
    VideoRecorder recorder;
    EXPECT_FALSE(recorder.open(testing::TempDir() + "out.unknownext", 320, 240, 30, error));
}
