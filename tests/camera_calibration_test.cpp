// The camera's calibration from views of the target against the virtual camera's own numbers,
// the camera file in OpenCV's layout both ways, bad files, and the pose through a calibrated
// lens.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <csignal>
#include <iterator>

#include <cmath>
#include <fstream>
#include <string>
#include <vector>

#include "app/calibration_run.h"
#include "app/frame_loop.h"
#include "harness/tracking_run.h"
#include "camera/camera_file.h"
#include "camera/target_calibration.h"
#include "scratch_dir.h"
#include "vision/target_finder.h"
#include "vision/tracker.h"

namespace {

// Views of the target as --calibrate-from takes them from the virtual camera's path (the target
// going round in front of the camera, tilted 7 to 37 degrees), as many as it takes.
std::vector<CalibrationView> takeViews(const VirtualCameraOptions& o) {
    VirtualCamera camera(o);
    std::vector<unsigned char> frame(camera.frameBytes());
    Tracker t;
    t.setFrameSize(o.height, o.width);
    TargetFinder finder;
    std::vector<CalibrationView> views;
    for (int n = 0; n < 480 && static_cast<int>(views.size()) < kMaxCalibrationViews; n += 4) {
        camera.render(n, frame.data());
        t.input = frame.data();
        takeView(t, finder, views);
    }
    return views;
}

}  // namespace

TEST(CameraCalibration, RecoversTheVirtualCamerasLensAndItsIdealCamera) {
    VirtualCameraOptions lens;
    std::string error;
    ASSERT_TRUE(parseVirtualCameraOptions("size=640x480,fx=600,fy=600,cx=331.7,cy=228.4,k1=-0.21,k2=0.06,noise=2", lens, error));
    VirtualCameraOptions ideal;
    ASSERT_TRUE(parseVirtualCameraOptions("size=640x480,noise=2", ideal, error));
    for (const VirtualCameraOptions& o : {lens, ideal}) {
        const std::vector<CalibrationView> views = takeViews(o);
        ViewCalibration fit;
        ASSERT_TRUE(calibrateFromViews(views, o.width, o.height, true, fit, error)) << error;
        const CameraIntrinsics truth = VirtualCamera(o).intrinsics(), &c = fit.camera;
        std::printf("%d views: fx %.3f fy %.3f (truth %.1f), principal point (%.2f, %.2f) (truth %.2f, %.2f), k1 %.4f "
                    "(%.2f) k2 %.4f (%.2f), rms %.3f px\n",
                    fit.views, c.fx, c.fy, truth.fx, c.cx, c.cy, truth.cx, truth.cy, c.k1, truth.k1, c.k2, truth.k2, fit.rmsPx);
        // Measured: 0.02 to 0.11 % (the views vary with the frames taken), 0.3 px, 0.004.
        EXPECT_NEAR(c.fx, truth.fx, 0.002 * truth.fx);
        EXPECT_NEAR(c.fy, truth.fy, 0.002 * truth.fy);
        EXPECT_NEAR(c.cx, truth.cx, 1.0);
        EXPECT_NEAR(c.cy, truth.cy, 1.0);
        EXPECT_NEAR(c.k1, truth.k1, 0.02);
        EXPECT_LT(fit.rmsPx, 0.3);
    }
}

TEST(CameraFile, OursRoundTripsAndOpenCVsIsReadWithItsRowsTurned) {
    CameraIntrinsics c = idealCamera(612.5, 640, 480);
    c.cx = 331.7, c.cy = 228.4, c.k1 = -0.21, c.k2 = 0.06, c.p1 = 0.001, c.p2 = -0.002;
    const std::string path = scratchDir() + "camera.yaml";
    std::string error;
    ASSERT_TRUE(writeCameraFile(path, c, 0.12, error)) << error;
    CameraIntrinsics back;
    ASSERT_TRUE(readCameraFile(path, back, error)) << error;
    EXPECT_DOUBLE_EQ(back.fx, c.fx);
    EXPECT_DOUBLE_EQ(back.cy, c.cy);
    EXPECT_DOUBLE_EQ(back.p1, c.p1);
    EXPECT_EQ(back.height, 480);
    // As OpenCV's calibration writes it: rows from the top, p1 in its sense, data over two lines.
    const std::string opencv =
        "%YAML:1.0\n---\ncalibration_time: \"Mon Dec  7\"\nimage_width: 640\nimage_height: 480\n"
        "camera_matrix: !!opencv-matrix\n   rows: 3\n   cols: 3\n   dt: d\n"
        "   data: [ 6.0e+02, 0., 3.3e+02, 0., 6.0e+02,\n       2.5e+02, 0., 0., 1. ]\n"
        "distortion_coefficients: !!opencv-matrix\n   rows: 5\n   cols: 1\n   dt: d\n"
        "   data: [ -2.1e-01, 6.0e-02, 1.0e-03, 0., 0. ]\navg_reprojection_error: 1.5e-01\n";
    ASSERT_TRUE(parseCameraText(opencv, back, error)) << error;
    EXPECT_DOUBLE_EQ(back.cx, 330.0);
    EXPECT_DOUBLE_EQ(back.cy, 479 - 250.0);
    EXPECT_DOUBLE_EQ(back.p1, -0.001);
    EXPECT_DOUBLE_EQ(back.k1, -0.21);
}

TEST(CameraFile, BadFilesGiveOneReasonEach) {
    const std::string good = "image_width: 640\nimage_height: 480\ncamera_matrix: !!opencv-matrix\n rows: 3\n cols: 3\n"
                             " dt: d\n data: [ 600, 0, 320, 0, 600, 240, 0, 0, 1 ]\ndistortion_coefficients: !!opencv-matrix\n"
                             " rows: 1\n cols: 5\n dt: d\n data: [ 0, 0, 0, 0, 0 ]\n";
    auto with = [&](const std::string& from, const std::string& to) {
        std::string t = good;
        t.replace(t.find(from), from.size(), to);
        return t;
    };
    const std::pair<std::string, const char*> bad[] = {
        {with("image_height: 480\n", ""), "image_height"},
        {with("600, 0, 320", "-600, 0, 320"), "focal length"},
        {with("image_width: 640", "image_width: 0"), "frame size"},
        {with("0, 600, 240", "0, six, 240"), "not a number"},
        {with("[ 0, 0, 0, 0, 0 ]", "[ 0, 0, 0 ]"), "numbers for"},
        // Numbers that describe no camera.
        {with("[ 600, 0, 320", "[ 0.001, 0, 320"), "focal length"},
        {with("[ 600, 0, 320, 0, 600", "[ 1e-300, 0, 320, 0, 1e-300"), "focal length"},
        {with("[ 0, 0, 0, 0, 0 ]", "[ 1e6, 0, 0, 0, 0 ]"), "distortion"},
        {with("[ 0, 0, 0, 0, 0 ]", "[ -1e6, 0, 0, 0, 0 ]"), "distortion"},
        {with("[ 0, 0, 0, 0, 0 ]", "[ -1.2, 0, 0, 0, 0 ]"), "folds"},
        {with("[ 0, 0, 0, 0, 0 ]", "[ 0, 0, 1000, 0, 0 ]"), "distortion"},
        {with("0, 600, 240", "0, 600, 4560"), "principal point"},
        {with("[ 600, 0, 320", "[ 600, 0, -5440"), "principal point"}};
    CameraIntrinsics c;
    std::string error;
    ASSERT_TRUE(parseCameraText(good, c, error)) << error;
    for (const auto& [text, reason] : bad) {
        EXPECT_FALSE(parseCameraText(text, c, error)) << reason;
        EXPECT_NE(error.find(reason), std::string::npos) << error;
        EXPECT_EQ(error.find('\n'), std::string::npos);
    }
}

TEST(CameraCalibration, ThePoseThroughTheCalibratedLensIsAsGoodAsOnTheIdealCamera) {
    // The path seen through the lens, with the camera file's numbers and without them.
    VirtualCameraOptions o;
    std::string error;
    ASSERT_TRUE(parseVirtualCameraOptions("size=640x480,fx=600,fy=600,cx=331.7,cy=228.4,k1=-0.21,k2=0.06,noise=2", o, error));
    const std::string cameraFile = scratchDir() + "lens.yaml";
    ASSERT_TRUE(writeCameraFile(cameraFile, VirtualCamera(o).intrinsics(), 0, error)) << error;
    TrackingSummary with, without;
    for (bool calibrated : {true, false}) {
        HeadlessApp headless(o, "gsxk", TOVRAK_BUILD_DIR "/pontos1.txt");
        if (calibrated) {
            CameraIntrinsics c;
            ASSERT_TRUE(readCameraFile(cameraFile, c, error)) << error;
            useCamera(headless.tracker, headless.camera, c, cameraFile);
        }
        TrackingRun run;
        for (int n = 0; n < 120; ++n) {
            TrackedFrame f;
            const VirtualFrameTruth truth = headless.virtualCamera().truthOf(n);
            f.found = runFramePass(headless.app) && headless.app.newPoseThisPass;
            f.visible = truth.wholeTargetVisible;
            std::copy(headless.camera.R, headless.camera.R + 9, f.R);
            f.rotationErrorDeg = rotationAngleBetween(f.R, truth.pose.R);
            const double* t = truth.pose.T;
            f.translationErrorPct = 100 * std::hypot(headless.camera.T[0] - t[0], headless.camera.T[1] - t[1], headless.camera.T[2] - t[2]) /
                                    std::hypot(t[0], t[1], t[2]);
            std::copy(f.R, f.R + 9, f.measuredR);
            run.frames.push_back(f);
        }
        (calibrated ? with : without) = summarise(run);
    }
    std::printf("through the lens: with its calibration %.3f deg, %.3f %%; without %.3f deg, %.3f %%\n",
                with.rotationMedianDeg, with.translationMedianPct, without.rotationMedianDeg, without.translationMedianPct);
    EXPECT_LT(with.rotationMedianDeg, 0.1);
    EXPECT_LT(with.translationMedianPct, 0.15);
    EXPECT_GT(without.translationMedianPct, 3 * with.translationMedianPct);
}

TEST(CameraCalibration, ViewsThatCannotFixACameraAreRefusedWithTheirReason) {
    VirtualCameraOptions o;
    std::string error;
    ASSERT_TRUE(parseVirtualCameraOptions("size=640x480,noise=1", o, error));
    const std::vector<CalibrationView> views = takeViews(o);
    ASSERT_GE(views.size(), 12u);
    ViewCalibration fit;
    std::string why;
    // Too few.
    const std::vector<CalibrationView> few(views.begin(), views.begin() + kMinCalibrationViews - 1);
    EXPECT_FALSE(calibrateFromViews(few, o.width, o.height, true, fit, why));
    EXPECT_NE(why.find("at least"), std::string::npos) << why;
    // Enough, but all one view: nothing fixes the principal point or the focal length.
    std::vector<CalibrationView> alike(8, views[3]);
    for (size_t k = 0; k < alike.size(); ++k)
        for (auto& p : alike[k].xy) p[0] += 0.01 * static_cast<double>(k), p[1] -= 0.01 * static_cast<double>(k);
    why.clear();
    EXPECT_FALSE(calibrateFromViews(alike, o.width, o.height, true, fit, why));
    EXPECT_FALSE(why.empty());
    // Corners that make no target: all on one line.
    std::vector<CalibrationView> flat(views.begin(), views.begin() + 8);
    for (auto& p : flat[2].xy) p[1] = 100;
    why.clear();
    EXPECT_FALSE(calibrateFromViews(flat, o.width, o.height, true, fit, why));
    EXPECT_NE(why.find("target"), std::string::npos) << why;

    // What decides which views are taken, and what the user is shown of them.
    CalibrationView moved = views[0];
    EXPECT_FALSE(differentView(views, views[0], 5.0));
    for (auto& p : moved.xy) p[0] += 40;
    EXPECT_TRUE(differentView({views[0]}, moved, 5.0));
    CalibrationView corner = views[0];
    for (auto& p : corner.xy) p[0] = 10, p[1] = 10;
    EXPECT_DOUBLE_EQ(viewCoverage({corner}, o.width, o.height), 1.0 / 16);
    EXPECT_GT(viewCoverage(views, o.width, o.height), 0.5);
}

TEST(CameraModel, EachDistortionCoefficientMovesAPointAsTheModelSays) {
    // The normalised point (0.3, 0.2) through each coefficient alone, worked out by hand from
    // the Brown-Conrady formulas (camera/camera_intrinsics.h) with fx = fy = 100 and the axis at 0.
    const struct {
        const char* name;
        double k1, k2, p1, p2, k3, u, v;
    } cases[] = {{"k1", 0.1, 0, 0, 0, 0, 30.39, 20.26},     {"k2", 0, 0.1, 0, 0, 0, 30.0507, 20.0338},
                 {"k3", 0, 0, 0, 0, 0.1, 30.006591, 20.004394}, {"p1", 0, 0, 0.01, 0, 0, 30.12, 20.21},
                 {"p2", 0, 0, 0, 0.01, 0, 30.31, 20.12}};
    for (const auto& c : cases) {
        CameraIntrinsics camera = idealCamera(100, 640, 480);
        camera.cx = camera.cy = 0;
        camera.k1 = c.k1, camera.k2 = c.k2, camera.p1 = c.p1, camera.p2 = c.p2, camera.k3 = c.k3;
        double u, v, x, y;
        ASSERT_TRUE(projectToPixel(camera, 0.3, 0.2, 1.0, u, v));
        EXPECT_NEAR(u, c.u, 1e-9) << c.name;
        EXPECT_NEAR(v, c.v, 1e-9) << c.name;
        undistortPixel(camera, u, v, x, y);  // and back
        EXPECT_NEAR(x, 0.3, 1e-7) << c.name;
        EXPECT_NEAR(y, 0.2, 1e-7) << c.name;
    }
}

TEST(CameraFile, EveryCountOfCoefficientsIsReadToTheLast) {
    const std::string head = "image_width: 640\nimage_height: 480\ncamera_matrix: !!opencv-matrix\n rows: 3\n cols: 3\n"
                             " dt: d\n data: [ 600, 0, 320, 0, 600, 240, 0, 0, 1 ]\ndistortion_coefficients: !!opencv-matrix\n"
                             " rows: 1\n cols: ";
    const double given[14] = {-0.2, 0.05, 0.001, -0.002, 0.01};
    for (int n : {4, 5, 8, 12, 14}) {
        std::string text = head + std::to_string(n) + "\n dt: d\n data: [ ";
        for (int i = 0; i < n; ++i) text += std::to_string(given[i]) + (i + 1 < n ? ", " : " ]\n");
        CameraIntrinsics c;
        std::string error;
        ASSERT_TRUE(parseCameraText(text, c, error)) << n << ": " << error;
        EXPECT_DOUBLE_EQ(c.k1, -0.2) << n;
        EXPECT_DOUBLE_EQ(c.k2, 0.05) << n;
        EXPECT_DOUBLE_EQ(c.p1, -0.001) << n;  // OpenCV's p1 with our y
        EXPECT_DOUBLE_EQ(c.p2, -0.002) << n;
        EXPECT_DOUBLE_EQ(c.k3, n > 4 ? 0.01 : 0.0) << n;
    }
}

TEST(CameraCalibration, RecoversEveryCoefficientItFits) {
    // A lens with all four fitted coefficients: a coefficient left out of the fit stays at 0 and
    // misses its truth by more than the bound (measured: fx 0.11 %, centre 1.0 / 0.5 px, k1 0.001,
    // k2 0.021, p1 0.0002, p2 0.0002).
    VirtualCameraOptions o;
    std::string error;
    ASSERT_TRUE(parseVirtualCameraOptions(
        "size=640x480,fx=600,fy=600,cx=331.7,cy=228.4,k1=-0.21,k2=0.06,p1=0.002,p2=-0.0015,noise=2", o, error));
    ViewCalibration fit;
    ASSERT_TRUE(calibrateFromViews(takeViews(o), o.width, o.height, true, fit, error)) << error;
    const CameraIntrinsics truth = VirtualCamera(o).intrinsics(), &c = fit.camera;
    EXPECT_NEAR(c.fx, truth.fx, 0.003 * truth.fx);
    EXPECT_NEAR(c.cx, truth.cx, 2.0);
    EXPECT_NEAR(c.cy, truth.cy, 2.0);
    EXPECT_NEAR(c.k1, truth.k1, 0.01);
    EXPECT_NEAR(c.k2, truth.k2, 0.035);
    EXPECT_NEAR(c.p1, truth.p1, 0.0006);
    EXPECT_NEAR(c.p2, truth.p2, 0.0006);
}

TEST(CameraFile, AFailedSaveLeavesTheOldCalibrationWhole) {
    // A disk that fills while the file is written (a file-size limit stands in for it), and a
    // FIFO in the file's place: the save fails with its reason, and what was there stays.
    const std::string path = scratchDir() + "saved_camera.yaml", points = scratchDir() + "saved_pontos1.txt";
    CameraIntrinsics c = idealCamera(612.5, 640, 480);
    std::string error;
    ASSERT_TRUE(writeCameraFile(path, c, 0.1, error)) << error;
    TargetCalibration calibration;
    calibration.focalLength = 330;
    calibration.pose.T[2] = 500;
    ASSERT_TRUE(writeReferencePoints(points, calibration, 320, error)) << error;
    auto contents = [](const std::string& p) {
        std::ifstream in(p);
        return std::string(std::istreambuf_iterator<char>(in), {});
    };
    const std::string before = contents(path), pointsBefore = contents(points);
    rlimit old{}, small{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
    small = old;
    small.rlim_cur = 100;
    const auto previous = std::signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    c.fx = c.fy = 700;
    const bool saved = writeCameraFile(path, c, 0.1, error);
    calibration.focalLength = 400;
    const bool pointsSaved = writeReferencePoints(points, calibration, 320, error);
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, previous);
    EXPECT_FALSE(saved);
    EXPECT_FALSE(pointsSaved);
    EXPECT_EQ(contents(path), before);
    EXPECT_EQ(contents(points), pointsBefore);

    const std::string fifo = scratchDir() + "fifo_camera.yaml";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0644), 0);
    EXPECT_FALSE(writeCameraFile(fifo, c, 0.1, error));
    EXPECT_NE(error.find("not a regular file"), std::string::npos) << error;
}

TEST(CameraFile, ACameraServesOnlyFramesItsPictureCanGive) {
    // Calibrated at 320 x 100, its axis off the middle: 320 x 240 frames are no part of that picture
    // (taken as its middle band, the poses were 9 degrees and 21 % off on every frame).
    CameraIntrinsics c = idealCamera(330, 320, 100);
    c.cx = 161;
    EXPECT_FALSE(frameProblem(c, 320, 240).empty());
    EXPECT_TRUE(frameProblem(c, 640, 200).empty());  // the same picture, larger
    CameraIntrinsics wide = idealCamera(330, 320, 240);
    wide.cx = 161;
    EXPECT_TRUE(frameProblem(wide, 320, 180).empty());  // a 16:9 band of a 4:3 picture
    EXPECT_TRUE(frameProblem(idealCamera(330, 320, 100), 320, 240).empty());  // an ideal camera serves any
}
