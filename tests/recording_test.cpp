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
    const int frames = 20;
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
    CaptureDevice* dev = captureCreateWith(createMediaFileBackend(path, false, error, false));
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

namespace {

// A picture whose top half is red and bottom half blue, with a green left column: wrong row
// order, mirrored columns or swapped channels each show.
RgbImage orientationPicture(int width, int height, int shade) {
    RgbImage img;
    img.width = width, img.height = height;
    img.pixels.assign(static_cast<size_t>(width) * height * 3, 0);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            unsigned char* p = &img.pixels[3 * (static_cast<size_t>(y) * width + x)];
            if (x < width / 8) p[1] = 255;
            else if (y < height / 2) p[0] = static_cast<unsigned char>(shade);
            else p[2] = static_cast<unsigned char>(shade);
        }
    return img;
}

// Checks a bottom-up BGR frame of orientationPicture, within `slack` grey levels.
void expectOriented(const std::vector<unsigned char>& bgr, int width, int height, int shade, int slack) {
    auto at = [&](int row, int col) { return &bgr[3 * (static_cast<size_t>(row) * width + col)]; };
    const unsigned char* bottomRight = at(height / 8, width - width / 8);  // row 0 is the bottom
    const unsigned char* topRight = at(height - height / 8, width - width / 8);
    const unsigned char* left = at(height / 2, width / 32);
    EXPECT_NEAR(bottomRight[0], shade, slack);  // blue at the bottom
    EXPECT_NEAR(bottomRight[2], 0, slack);
    EXPECT_NEAR(topRight[2], shade, slack);  // red at the top
    EXPECT_NEAR(topRight[0], 0, slack);
    EXPECT_NEAR(left[1], 255, slack);  // green on the left
    EXPECT_NEAR(left[0], 0, slack);
}

CaptureDevice* playFile(const std::string& path, bool loop) {
    std::string error;
    CaptureDevice* dev = captureCreateWith(createMediaFileBackend(path, loop, error, false));
    EXPECT_NE(dev, nullptr) << error;
    if (!dev) return nullptr;
    captureSelectDevice(dev, 0);
    captureSetRunning(dev, 1);
    return dev;
}

}  // namespace

TEST(Recording, PlaybackAndRecordingKeepRowOrderColumnsAndChannels) {
    // Three PNG frames frame0001.png .. frame0003.png (written top row first, as PNG stores
    // them), played in order and looped.
    const int w = 64, h = 48;
    for (int i = 1; i <= 3; ++i) {
        char name[64];
        std::snprintf(name, sizeof name, "frame%04d.png", i);
        std::string error;
        ASSERT_TRUE(writePng(testing::TempDir() + name, orientationPicture(w, h, i * 60), error));
    }
    CaptureDevice* dev = playFile(testing::TempDir() + "frame%04d.png", true);
    ASSERT_NE(dev, nullptr);
    std::vector<unsigned char> f(w * h * 3);
    for (int i = 0; i < 5; ++i) {
        ASSERT_EQ(captureGrabFrame(dev, f.data(), f.size(), -1), 1);
        expectOriented(f, w, h, (i % 3 + 1) * 60, 0);
    }
    captureDestroy(dev);

    // The recorder takes bottom-up BGR frames; its file, played back, is the same picture
    // (checked above to play the right way up), within the codec's loss.
    const std::string video = testing::TempDir() + "oriented.mkv";
    {
        VideoRecorder recorder;
        std::string error;
        ASSERT_TRUE(recorder.open(video, w, h, 30, error)) << error;
        ASSERT_TRUE(recorder.write(f.data(), w, h));
        recorder.close();
    }
    dev = playFile(video, false);
    ASSERT_NE(dev, nullptr);
    ASSERT_EQ(captureGrabFrame(dev, f.data(), f.size(), -1), 1);
    expectOriented(f, w, h, 120, 24);
    captureDestroy(dev);
}

TEST(Recording, BadFilesAreRefused) {
    std::string error;
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
