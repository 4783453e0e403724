// Recorded input and recording: pictures keep their orientation and colours through image
// sequences, the recorder and playback, and bad files are refused.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <vector>

#include "scratch_dir.h"
#include "capture/capture.h"
#include "capture/media_file.h"
#include "imageio/png_file.h"

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
        ASSERT_TRUE(writePng(scratchDir() + name, orientationPicture(w, h, i * 60), error));
    }
    CaptureDevice* dev = playFile(scratchDir() + "frame%04d.png", true);
    ASSERT_NE(dev, nullptr);
    std::vector<unsigned char> f(w * h * 3);
    for (int i = 0; i < 5; ++i) {
        ASSERT_EQ(captureGrabFrame(dev, f.data(), f.size(), -1), 1);
        expectOriented(f, w, h, (i % 3 + 1) * 60, 0);
    }
    captureDestroy(dev);

    // The recorder takes bottom-up BGR frames; its file, played back, is the same picture
    // (checked above to play the right way up), within the codec's loss.
    const std::string video = scratchDir() + "oriented.mkv";
    {
        VideoRecorder recorder;
        std::string error;
        ASSERT_TRUE(recorder.open(video, w, h, 30, error)) << error;
        ASSERT_TRUE(recorder.write(f.data(), w, h, error)) << error;
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
    EXPECT_EQ(createMediaFileBackend(scratchDir() + "no-such.mkv", false, error), nullptr);
    EXPECT_FALSE(error.empty());
    const std::string junk = scratchDir() + "junk.mkv";
    std::FILE* j = std::fopen(junk.c_str(), "wb");
    std::fputs("not a video at all", j);
    std::fclose(j);
    EXPECT_EQ(createMediaFileBackend(junk, false, error), nullptr);
    VideoRecorder recorder;
    EXPECT_FALSE(recorder.open(scratchDir() + "out.unknownext", 320, 240, 30, error));
}
