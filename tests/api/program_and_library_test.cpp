// The program and the library are one tracker: on the same frames with the same camera, the
// window's frame loop (keys g s x k) and tovrak::Tracker give the same poses to the bit.
#include <gtest/gtest.h>

#include <algorithm>

#include "app/frame_loop.h"
#include "harness/tracking_run.h"
#include "tovrak/tovrak.h"

TEST(ProgramAndLibrary, TheSameFramesGiveTheSamePoses) {
    VirtualCameraOptions options;
    options.noise = 2;
    HeadlessApp program(options, "gsxk", TOVRAK_BUILD_DIR "/pontos1.txt");
    ASSERT_TRUE(program.error.empty()) << program.error;
    const CameraIntrinsics& c = program.camera.frameCamera;
    tovrak::Camera camera = tovrak::Camera::ideal(c.fx, c.width, c.height);
    camera.cx = c.cx, camera.cy = c.cy;
    tovrak::Tracker library(camera);
    tovrak::VirtualCamera film = tovrak::VirtualCamera::create("noise=2").value();
    int compared = 0;
    for (int n = 0; n < 60; ++n) {
        ASSERT_TRUE(runFramePass(program.app));
        const tovrak::TargetPose pose = library.track(film.frame(n).view()).value();
        ASSERT_EQ(pose.found, program.app.newPoseThisPass) << n;
        if (!pose.found) continue;
        EXPECT_TRUE(std::equal(pose.rotation, pose.rotation + 9, program.camera.R)) << n;
        EXPECT_TRUE(std::equal(pose.translation, pose.translation + 3, program.camera.T)) << n;
        ++compared;
    }
    EXPECT_GT(compared, 50);
}
