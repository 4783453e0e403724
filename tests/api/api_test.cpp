// The library as a caller sees it (include/tovrak/ only): poses against the virtual camera's
// truth in every frame layout a caller may hand in, two trackers on two threads, calibration,
// the image steps, the camera's conversions, and every bad input answered with a reason.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <thread>
#include <vector>

#include "tovrak/tovrak.h"

namespace {

double angleBetween(const double* A, const double* B) {
    double trace = 0;
    for (int i = 0; i < 9; ++i) trace += A[i] * B[i];
    return std::acos(std::clamp((trace - 1) / 2, -1.0, 1.0)) * 180 / M_PI;
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? NAN : v[v.size() / 2];
}

std::vector<tovrak::TargetPose> trackAll(tovrak::Tracker& tracker, const std::vector<tovrak::Image>& frames) {
    std::vector<tovrak::TargetPose> poses;
    for (const tovrak::Image& f : frames) {
        const auto pose = tracker.track(f.view());
        EXPECT_TRUE(pose.ok()) << pose.error();
        poses.push_back(pose.value());
    }
    return poses;
}

bool samePoses(const std::vector<tovrak::TargetPose>& a, const std::vector<tovrak::TargetPose>& b) {
    if (a.size() != b.size()) return false;
    for (size_t n = 0; n < a.size(); ++n)
        if (a[n].found != b[n].found || !std::equal(a[n].rotation, a[n].rotation + 9, b[n].rotation) ||
            !std::equal(a[n].translation, a[n].translation + 3, b[n].translation))
            return false;
    return true;
}

struct Film {
    tovrak::VirtualCamera camera = tovrak::VirtualCamera::create("noise=2").value();
    std::vector<tovrak::Image> frames;
    explicit Film(int count) {
        for (int n = 0; n < count; ++n) frames.push_back(camera.frame(3 * n));
    }
};

}  // namespace

TEST(Library, PosesAndCornersMatchTheTruthInEveryFrameLayout) {
    Film film(90);
    tovrak::Tracker tracker(film.camera.camera());
    const auto poses = trackAll(tracker, film.frames);
    std::vector<double> rotation, translation, corner;
    int visible = 0, found = 0;
    for (size_t n = 0; n < poses.size(); ++n) {
        const tovrak::TargetPose truth = film.camera.truth(3 * static_cast<int>(n));
        if (!truth.found) continue;
        ++visible;
        if (!poses[n].found) continue;
        ++found;
        rotation.push_back(angleBetween(poses[n].measuredRotation, truth.rotation));
        const double* t = truth.translation;
        const double* m = poses[n].measuredTranslation;
        translation.push_back(100 * std::hypot(m[0] - t[0], m[1] - t[1], m[2] - t[2]) / std::hypot(t[0], t[1], t[2]));
        for (int i = 0; i < 8; ++i)
            corner.push_back(std::hypot(poses[n].corners[i][0] - truth.corners[i][0], poses[n].corners[i][1] - truth.corners[i][1]));
    }
    std::printf("found %d of %d, rotation median %.3f deg, translation %.3f %%, corners %.3f px\n", found, visible,
                median(rotation), median(translation), median(corner));
    EXPECT_GE(found, visible * 98 / 100);
    EXPECT_LT(median(rotation), 0.15);
    EXPECT_LT(median(translation), 0.05);
    EXPECT_LT(median(corner), 0.1);  // in the frame's own rows, top first

    // The same frames as R G B, as rows from the bottom, and with padded rows: the same poses.
    std::vector<std::vector<uint8_t>> rgb, bottomFirst, padded;
    std::vector<tovrak::ImageView> views[3];
    for (const tovrak::Image& f : film.frames) {
        const int w = f.width, h = f.height;
        rgb.emplace_back(f.pixels);
        for (size_t k = 0; k < rgb.back().size(); k += 3) std::swap(rgb.back()[k], rgb.back()[k + 2]);
        bottomFirst.emplace_back(f.pixels.size());
        padded.emplace_back(static_cast<size_t>(w * 3 + 7) * h, 0);
        for (int r = 0; r < h; ++r) {
            std::copy_n(&f.pixels[static_cast<size_t>(r) * w * 3], w * 3, &bottomFirst.back()[static_cast<size_t>(h - 1 - r) * w * 3]);
            std::copy_n(&f.pixels[static_cast<size_t>(r) * w * 3], w * 3, &padded.back()[static_cast<size_t>(r) * (w * 3 + 7)]);
        }
        views[0].push_back({rgb.back().data(), w, h, 0, tovrak::PixelFormat::Rgb});
        views[1].push_back({bottomFirst.back().data(), w, h, 0, tovrak::PixelFormat::Bgr, tovrak::RowOrder::BottomFirst});
        views[2].push_back({padded.back().data(), w, h, w * 3 + 7, tovrak::PixelFormat::Bgr});
    }
    for (const auto& layout : views) {
        tovrak::Tracker other(film.camera.camera());
        std::vector<tovrak::TargetPose> again;
        for (const tovrak::ImageView& v : layout) again.push_back(other.track(v).value());
        EXPECT_TRUE(samePoses(poses, again));
    }
}

TEST(Library, TwoTrackersOnTwoThreadsGiveThePosesOfOneAfterTheOther) {
    Film film(40);
    tovrak::Tracker first(film.camera.camera()), second(film.camera.camera());
    const auto alone = trackAll(first, film.frames);
    first.reset();
    std::vector<tovrak::TargetPose> a, b;
    std::thread one([&] { a = trackAll(first, film.frames); });
    std::thread two([&] { b = trackAll(second, film.frames); });
    one.join(), two.join();
    EXPECT_TRUE(samePoses(alone, a));
    EXPECT_TRUE(samePoses(alone, b));
}

TEST(Library, TheOpenCVPoseProjectsTheTargetOntoItsCorners) {
    Film film(1);
    tovrak::Tracker tracker(film.camera.camera());
    const auto pose = tracker.track(film.frames[0].view());
    ASSERT_TRUE(pose.ok() && pose->found);
    double K[9], d[5], rvec[3], tvec[3];
    tracker.camera().toOpenCV(K, d);
    pose->toOpenCV(rvec, tvec);
    // Rodrigues by hand, as cv::projectPoints applies it; the target's corners in OpenCV's axes
    // are (X, -Y, 0).
    const double theta = std::hypot(rvec[0], rvec[1], rvec[2]);
    const double k[3] = {rvec[0] / theta, rvec[1] / theta, rvec[2] / theta};
    const double X[8][2] = {{56, 56}, {-68, 56}, {-68, -18}, {56, -18}, {91, 80}, {-91, 80}, {-91, -80}, {91, -80}};
    for (int i = 0; i < 8; ++i) {
        const double p[3] = {X[i][0], -X[i][1], 0};
        const double kxp[3] = {k[1] * p[2] - k[2] * p[1], k[2] * p[0] - k[0] * p[2], k[0] * p[1] - k[1] * p[0]};
        const double kp = k[0] * p[0] + k[1] * p[1] + k[2] * p[2];
        double q[3];
        for (int j = 0; j < 3; ++j)
            q[j] = p[j] * std::cos(theta) + kxp[j] * std::sin(theta) + k[j] * kp * (1 - std::cos(theta)) + tvec[j];
        EXPECT_NEAR(K[0] * q[0] / q[2] + K[2], pose->corners[i][0], 0.2) << i;  // the fit's residual
        EXPECT_NEAR(K[4] * q[1] / q[2] + K[5], pose->corners[i][1], 0.2) << i;
    }
}

TEST(Library, CalibratesTheVirtualCamerasLens) {
    auto film = tovrak::VirtualCamera::create("size=640x480,fx=600,fy=600,cx=331.7,cy=228.4,k1=-0.21,k2=0.06,noise=1");
    ASSERT_TRUE(film.ok()) << film.error();
    tovrak::Calibrator calibrator;
    for (int n = 0; n < 480 && calibrator.views() < 20; n += 4) ASSERT_TRUE(calibrator.addFrame(film.value().frame(n).view()).ok());
    const auto camera = calibrator.calibrate();
    ASSERT_TRUE(camera.ok()) << camera.error();
    const tovrak::Camera truth = film->camera();
    EXPECT_NEAR(camera->fx, truth.fx, 0.003 * truth.fx);
    EXPECT_NEAR(camera->cx, truth.cx, 1.5);
    EXPECT_NEAR(camera->cy, truth.cy, 1.5);
    EXPECT_NEAR(camera->k1, truth.k1, 0.02);
    EXPECT_GT(calibrator.coverage(), 0.5);
    // Another size, or too few views: a reason, not a camera.
    const tovrak::Image small = tovrak::VirtualCamera().frame(0);
    EXPECT_FALSE(calibrator.addFrame(small.view()).ok());
    EXPECT_FALSE(tovrak::Calibrator().calibrate().ok());
}

TEST(Library, TheStepsShowWhatTheirKeysShow) {
    const tovrak::Image frame = tovrak::VirtualCamera().frame(100);
    auto count = [](const tovrak::Image& image, uint8_t b, uint8_t g, uint8_t r) {
        int n = 0;
        for (size_t k = 0; k < image.pixels.size(); k += 3) n += image.pixels[k] == b && image.pixels[k + 1] == g && image.pixels[k + 2] == r;
        return n;
    };
    using Step = tovrak::Result<tovrak::Image> (*)(const tovrak::ImageView&);
    const Step steps[] = {tovrak::smooth, tovrak::grey, [](const tovrak::ImageView& f) { return tovrak::sobelEdges(f); },
                          [](const tovrak::ImageView& f) { return tovrak::thinEdges(f); }, tovrak::contours,
                          [](const tovrak::ImageView& f) { return tovrak::corners(f); }, tovrak::regions,
                          [](const tovrak::ImageView& f) { return tovrak::hough(f); }};
    for (Step step : steps) {
        const auto image = step(frame.view());
        ASSERT_TRUE(image.ok()) << image.error();
        EXPECT_EQ(image->width, frame.width);
        EXPECT_EQ(image->pixels.size(), frame.pixels.size());
        EXPECT_FALSE(step(tovrak::ImageView{}).ok());
    }
    // The edges are black on white; the target's outlines are drawn in green and magenta.
    const tovrak::Image edges = tovrak::sobelEdges(frame.view()).value();
    EXPECT_GT(count(edges, 0, 0, 0), 200);
    EXPECT_GT(count(edges, 255, 255, 255), edges.width * edges.height / 2);
    const tovrak::Image outlines = tovrak::contours(frame.view()).value();
    EXPECT_GT(count(outlines, 0, 255, 0), 100);
}

TEST(Library, BadInputIsAnsweredWithItsReason) {
    std::vector<uint8_t> pixels(320 * 240 * 3, 128);
    tovrak::Tracker tracker(tovrak::Camera::ideal(330, 320, 240));
    const struct {
        tovrak::ImageView view;
        const char* says;
    } cases[] = {{{nullptr, 320, 240}, "no pixels"},
                 {{pixels.data(), 8, 240}, "at least"},
                 {{pixels.data(), 20000, 240}, "at most"},
                 {{pixels.data(), 320, 240, 100}, "fewer than"}};
    for (const auto& c : cases) {
        const auto pose = tracker.track(c.view);
        EXPECT_FALSE(pose.ok());
        EXPECT_NE(pose.error().find(c.says), std::string::npos) << pose.error();
    }
    EXPECT_FALSE(tracker.track({pixels.data(), 320, 240}).value().found);
    tovrak::Tracker noCamera(tovrak::Camera{});
    EXPECT_NE(noCamera.track({pixels.data(), 320, 240}).error().find("camera"), std::string::npos);
    EXPECT_NE(tovrak::Camera::fromFile("/nonexistent/camera.yaml").error().find("/nonexistent/camera.yaml"), std::string::npos);
    EXPECT_FALSE(tovrak::VirtualCamera::create("noise=banana").ok());
}

TEST(Library, TheCameraSurvivesItsFileAndOpenCVsLayout) {
    tovrak::Camera c = tovrak::Camera::ideal(600, 640, 480);
    c.cx = 331.7, c.cy = 228.4, c.k1 = -0.21, c.k2 = 0.06, c.p1 = 0.001, c.p2 = -0.002;
    double K[9], d[5];
    c.toOpenCV(K, d);
    EXPECT_DOUBLE_EQ(K[5], 479 - 228.4);  // rows from the top
    const tovrak::Camera back = tovrak::Camera::fromOpenCV(K, d, 5, 640, 480);
    EXPECT_DOUBLE_EQ(back.cy, c.cy);
    EXPECT_DOUBLE_EQ(back.p1, c.p1);
    const std::string path = testing::TempDir() + "tovrak_api_camera.yaml";
    std::string error;
    ASSERT_TRUE(c.save(path, &error)) << error;
    const auto read = tovrak::Camera::fromFile(path);
    ASSERT_TRUE(read.ok()) << read.error();
    EXPECT_NEAR(read->cy, c.cy, 1e-6);
    EXPECT_NEAR(read->p1, c.p1, 1e-9);
    EXPECT_STREQ(tovrak::version(), TOVRAK_VERSION_STRING);
}

TEST(Library, ATargetPartlyOutOfThePictureHasItsHiddenCornersWhereThePosePutsThem) {
    // The camera turned so that up to a fifth of the target lies past the picture's edge: the
    // pose comes from the hole and the outer corners in view, and the corners past the edge are
    // reported where it puts them, outside the frame.
    tovrak::VirtualCamera camera = tovrak::VirtualCamera::create("noise=2,outside=0.2,start=420").value();
    tovrak::Tracker tracker(camera.camera());
    int outside = 0, found = 0;
    std::vector<double> corner, rotation;
    for (int n = 0; n < 90; ++n) {
        const tovrak::TargetPose truth = camera.truth(n);
        const tovrak::Image frame = camera.frame(n);
        const auto pose = tracker.track(frame.view());
        ASSERT_TRUE(pose.ok()) << pose.error();
        bool cut = false;
        for (int i = 4; i < 8; ++i)
            cut = cut || truth.corners[i][0] < 0 || truth.corners[i][1] < 0 || truth.corners[i][0] > frame.width - 1 ||
                  truth.corners[i][1] > frame.height - 1;
        if (!cut) continue;
        ++outside;
        if (!pose.value().found) continue;
        ++found;
        rotation.push_back(angleBetween(pose.value().measuredRotation, truth.rotation));
        for (int i = 0; i < 8; ++i)
            corner.push_back(std::hypot(pose.value().corners[i][0] - truth.corners[i][0], pose.value().corners[i][1] - truth.corners[i][1]));
    }
    std::printf("a corner out of the picture in %d frames: found %d, rotation median %.3f deg, worst corner %.2f px\n",
                outside, found, median(rotation), corner.empty() ? NAN : *std::max_element(corner.begin(), corner.end()));
    EXPECT_GE(found, outside / 2);  // the frames whose hole is cut too give nothing
    EXPECT_LT(median(rotation), 0.3);
    EXPECT_LT(*std::max_element(corner.begin(), corner.end()), 2.0);
}

TEST(Library, ARollingShuttersShearIsUndoneWhenTheTrackerKnowsHowTheRowsAreRead) {
    // A fast camera through a shutter that reads the rows over 0.9 of a frame: told so, the
    // tracker measures the pose at the middle row's time; not told, it finds fewer poses (those
    // whose sheared corners fit no pose are refused) and leans on the shear.
    tovrak::VirtualCamera camera = tovrak::VirtualCamera::create("noise=2,shutter=0.9,motion=5,start=150").value();
    std::vector<tovrak::Image> frames;
    for (int n = 0; n < 60; ++n) frames.push_back(camera.frame(n));
    int found[2] = {0, 0};
    double rotationMedian[2];
    for (int told = 0; told < 2; ++told) {
        tovrak::Tracker tracker(camera.camera());
        if (told) tracker.setRowReadOut(0.9);
        std::vector<double> rotation;
        for (int n = 0; n < 60; ++n) {
            const tovrak::TargetPose pose = tracker.track(frames[n].view()).value();
            if (!pose.found) continue;
            ++found[told];
            rotation.push_back(angleBetween(pose.measuredRotation, camera.truth(n).rotation));
        }
        rotationMedian[told] = median(rotation);
    }
    std::printf("not told: %d poses, %.2f deg; told: %d poses, %.2f deg\n", found[0], rotationMedian[0], found[1], rotationMedian[1]);
    EXPECT_GE(found[1], 55);
    EXPECT_LT(rotationMedian[1], 0.6);
    EXPECT_LT(rotationMedian[1], 0.5 * rotationMedian[0]);
}
