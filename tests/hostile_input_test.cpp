// Regressions of faults found by a hostile user: files and options that crashed the program,
// hung it, made it allocate without bound, or were accepted as garbage.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <climits>
#include <fstream>
#include <functional>
#include <sstream>

#include "scratch_dir.h"
#include "app/keyboard.h"
#include "app_fixture.h"
#include "camera/pose.h"
#include "capture/capture.h"
#include "capture/frame_pacer.h"
#include "capture/media_file.h"
#include "capture/virtual_camera.h"
#include "imageio/png_file.h"

namespace {

std::string writeTemp(const std::string& name, const std::string& bytes) {
    const std::string path = scratchDir() + name;
    std::ofstream(path, std::ios::binary) << bytes;
    return path;
}

std::string fromHex(const char* hex) {
    std::string out;
    for (const char* p = hex; p[0] && p[1]; p += 2) out.push_back(static_cast<char>(std::stoi(std::string(p, 2), nullptr, 16)));
    return out;
}

// Runs `body` in a child whose address space may grow by at most `mib` MiB: a reader that
// allocates what a tiny file claims dies there. (AddressSanitizer reserves terabytes of
// address space, so under it the body runs without the limit.)
bool succeedsWithin(size_t mib, const std::function<bool()>& body) {
    const pid_t child = fork();
    if (child == 0) {
#if !defined(__SANITIZE_ADDRESS__)
        long pages = 0;
        std::ifstream("/proc/self/statm") >> pages;
        const rlim_t limit = static_cast<rlim_t>(pages) * sysconf(_SC_PAGESIZE) + (mib << 20);
        const rlimit r{limit, limit};
        setrlimit(RLIMIT_AS, &r);
#else
        (void)mib;
#endif
        _exit(body() ? 0 : 1);
    }
    int status = 0;
    waitpid(child, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// The shipped reference points with every image position scaled: the focal length scales too.
std::string scaledReferencePoints(double scale) {
    std::ifstream in(TOVRAK_DATA_DIR "/pontos1.txt");
    int n = 0;
    in >> n;
    std::ostringstream out;
    out.precision(17);
    out << n << "\n";
    for (int i = 0; i < n; ++i) {
        double X, Y, x, y;
        in >> X >> Y >> x >> y;
        out << X << " " << Y << " " << x * scale << " " << y * scale << "\n";
    }
    return out.str();
}

}  // namespace

TEST(HostileInput, Regression_CalibrationToAFocalLengthNoFloatHoldsIsRefused) {
    // 3.3e32 pixels fits a float but no camera; 3.3e42 does not fit a float.
    for (double scale : {1e30, 1e40}) {
        Tracker t;
        CameraModel model;
        EXPECT_FALSE(calibrateCamera(t, model, writeTemp("scaled.txt", scaledReferencePoints(scale)))) << scale;
        EXPECT_NE(model.whyNotReady.find("focal length"), std::string::npos) << model.whyNotReady;
        EXPECT_FALSE(model.ready);
    }
}

TEST(HostileInput, Regression_AFractionalPointCountIsRefused) {
    std::string text = scaledReferencePoints(1.0);
    text.replace(0, text.find('\n'), "5.5");
    Tracker t;
    CameraModel model;
    EXPECT_FALSE(calibrateCamera(t, model, writeTemp("fraction.txt", text)));
    EXPECT_NE(model.whyNotReady.find("whole number"), std::string::npos) << model.whyNotReady;
}

TEST(HostileInput, Regression_CornerThresholdSaturatesInsteadOfOverflowing) {
    AppFixture f;
    f.app.s_corner_threshold = INT_MAX - 10000;
    testing::internal::CaptureStdout();
    handleKey(f.app, '+');
    handleKey(f.app, '+');
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(f.app.s_corner_threshold, INT_MAX);
}

TEST(HostileInput, Regression_AbsurdRatesAndWrappedSizesAreRefused) {
    VirtualCameraOptions o;
    std::string error;
    EXPECT_FALSE(parseVirtualCameraOptions("fps=1e-10", o, error));
    // A pacer asked for such a rate waits (a frame an hour) rather than overflowing its clock
    // and running at full speed.
    FramePacer pacer;
    EXPECT_FALSE(pacer.waitFor(1, 1e-10, 0));
    int w = 1, h = 1;
    EXPECT_FALSE(parseFrameSize("4294967616x240", w, h));
    EXPECT_FALSE(parseVirtualCameraOptions("size=4294967616x240", o, error));
    EXPECT_EQ(w, 1);
    EXPECT_TRUE(parseFrameSize("640x480", w, h));
}

TEST(HostileInput, Regression_TinyPngsClaimingHugePicturesAreRefusedWithoutTheMemory) {
    // 65 bytes claiming 20000 x 20000 pixels (1.2 GB), and 68 bytes claiming 524288 x 133.
    const std::string big = writeTemp("big.png", fromHex("89504e470d0a1a0a0000000d4948445200004e2000004e2008020000006c12d16e0000000849444154789c030000000001480689d20000000049454e44ae426082"));
    const std::string wide = writeTemp("wide.png", fromHex("89504e470d0a1a0a0000000d4948445200080000000000850802000000fc9818d00000000b49444154789c6360c00500001a0001bc3ce0410000000049454e44ae426082"));
    EXPECT_TRUE(succeedsWithin(150, [&] {
        RgbImage image;
        std::string error;
        return !readPng(big, image, error) && error.find("20000 x 20000") != std::string::npos;
    }));
    EXPECT_TRUE(succeedsWithin(150, [&] {
        std::string error;
        return !createMediaFileBackend(wide, false, error) && error.find("usable size") != std::string::npos;
    }));
}

TEST(HostileInput, Regression_ShortMp4RecordingsPlayBackEveryFrame) {
    for (int frames : {4, 10}) {
        const std::string path = scratchDir() + "short" + std::to_string(frames) + ".mp4";
        std::vector<unsigned char> frame(64 * 48 * 3, 90);
        VideoRecorder recorder;
        std::string error;
        ASSERT_TRUE(recorder.open(path, 64, 48, 30, error)) << error;
        for (int i = 0; i < frames; ++i) ASSERT_TRUE(recorder.write(frame.data(), 64, 48, error)) << error;
        ASSERT_TRUE(recorder.close(error)) << error;
        CaptureDevice* dev = captureCreateWith(createMediaFileBackend(path, false, error, false));
        ASSERT_NE(dev, nullptr) << error;
        captureSelectDevice(dev, 0);
        captureSetRunning(dev, 1);
        int played = 0;
        while (captureGrabFrame(dev, frame.data(), frame.size(), -1)) ++played;
        EXPECT_EQ(played, frames);
        captureDestroy(dev);
    }
}

TEST(HostileInput, Regression_AVideoWithNoDecodableFrameIsRefusedWithAReason) {
    const std::string path = scratchDir() + "whole.mkv";
    std::vector<unsigned char> frame(64 * 48 * 3, 90);
    VideoRecorder recorder;
    std::string error;
    ASSERT_TRUE(recorder.open(path, 64, 48, 30, error)) << error;
    for (int i = 0; i < 30; ++i) ASSERT_TRUE(recorder.write(frame.data(), 64, 48, error));
    ASSERT_TRUE(recorder.close(error));
    std::ifstream in(path, std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    // The headers and the start of the first cluster, but no whole frame.
    const std::string cut = writeTemp("cut.mkv", bytes.substr(0, bytes.find("\x1f\x43\xb6\x75") + 40));
    error.clear();
    EXPECT_EQ(createMediaFileBackend(cut, false, error), nullptr);
    EXPECT_NE(error.find("no video frame"), std::string::npos) << error;
}
