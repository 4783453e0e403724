// What a person sees: things drawn with the display's matrices land on the picture where the
// camera put the target, at every frame size, and the character stands upright on it.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "app/frame_loop.h"
#include "window/shown_model.h"
#include "harness/tracking_run.h"
#include "camera/pose.h"
#include "capture/virtual_scene.h"
#include "models/md2_draw.h"
#include "models/md2_model.h"

namespace {

struct SlotPoint {
    double x, y;       // slot pixels from the slot's bottom-left corner (docs/conventions.md)
    double depth = 0;  // normalised depth: -1 at the near plane, 1 at the far one
};

// Where OpenGL puts model point (X, Y, Z) (Z towards the camera) in the 320 x 240 slot.
SlotPoint drawnAt(const double modelview[16], const double projection[16], double X, double Y, double Z) {
    double eye[4], clip[4];
    const double p[4] = {X, Y, Z, 1.0};
    for (int r = 0; r < 4; ++r) eye[r] = modelview[r] * p[0] + modelview[4 + r] * p[1] + modelview[8 + r] * p[2] + modelview[12 + r];
    for (int r = 0; r < 4; ++r)
        clip[r] = projection[r] * eye[0] + projection[4 + r] * eye[1] + projection[8 + r] * eye[2] + projection[12 + r] * eye[3];
    return {(clip[0] / clip[3] + 1.0) * 160.0, (clip[1] / clip[3] + 1.0) * 120.0, clip[2] / clip[3]};
}

// Where the virtual camera films model point (X, Y, Z): the world has Zw = -Z.
SlotPoint filmedAt(const CameraPose& pose, double f, int width, int height, double X, double Y, double Z) {
    const double Pw[3] = {X, Y, -Z};
    double Pc[3];
    for (int r = 0; r < 3; ++r) Pc[r] = pose.R[3 * r] * Pw[0] + pose.R[3 * r + 1] * Pw[1] + pose.R[3 * r + 2] * Pw[2] + pose.T[r];
    // The optical axis meets the picture at its geometric centre (docs/conventions.md).
    const double col = f * Pc[0] / Pc[2] + (width - 1) / 2.0, row = f * Pc[1] / Pc[2] + (height - 1) / 2.0;
    // Pixel (row, col) covers [col, col + 1) of the frame; the slot scales the frame.
    return {(col + 0.5) * 320.0 / width, (row + 0.5) * 240.0 / height};
}

double distance(SlotPoint a, SlotPoint b) { return std::hypot(a.x - b.x, a.y - b.y); }

struct View {
    int width, height;
    double tilt, azimuth, roll;
};

constexpr View kViews[] = {{320, 240, 35, 30, 10}, {640, 480, 35, 30, 10}, {320, 240, 50, -60, -20},
                           {1280, 720, 45, 150, 5}};

// The eight target corners and a point 100 mm above the target's middle.
constexpr double kProbes[9][3] = {{56, 56, 0},  {-68, 56, 0},  {-68, -18, 0}, {56, -18, 0}, {91, 80, 0},
                                  {-91, 80, 0}, {-91, -80, 0}, {91, -80, 0},  {0, 0, 100}};

}  // namespace

TEST(Registration, TargetCornersAndAPointAboveItAreDrawnWhereTheCameraFilmsThem) {
    for (const View& v : kViews) {
        SCOPED_TRACE(testing::Message() << v.width << "x" << v.height << " tilt " << v.tilt << " azimuth " << v.azimuth);
        VirtualCameraOptions o;
        o.width = v.width, o.height = v.height;
        o.fixedView = true, o.tilt = v.tilt, o.azimuth = v.azimuth, o.roll = v.roll;
        HeadlessApp headless(o, "gsxk", TOVRAK_BUILD_DIR "/pontos1.txt");
        ASSERT_TRUE(headless.error.empty()) << headless.error;
        for (int n = 0; n < 30; ++n) runFramePass(headless.app);
        ASSERT_TRUE(headless.camera.hasPose);
        const VirtualFrameTruth truth = headless.virtualCamera().truthOf(0);

        // The display's matrices from the true pose draw exactly where the camera films.
        double mv[16], proj[16];
        buildDisplayMatrices(truth.pose.R, truth.pose.T, truth.focalLength, v.width, v.height, mv, proj);
        const double halfPixel = 1e-6;
        // The tracked pose, as the window draws it.
        const Tracker& t = headless.tracker;
        double cornerWorst = 0, aboveError = 0;
        for (int i = 0; i < 9; ++i) {
            const double* p = kProbes[i];
            const SlotPoint truthAt = filmedAt(truth.pose, truth.focalLength, v.width, v.height, p[0], p[1], p[2]);
            const SlotPoint drawn = drawnAt(mv, proj, p[0], p[1], p[2]);
            EXPECT_LE(distance(drawn, truthAt), halfPixel) << "probe " << i;
            EXPECT_TRUE(drawn.depth > -1 && drawn.depth < 1) << "probe " << i << " outside the depth range";
            const double e = distance(drawnAt(t.modelview, t.projection, p[0], p[1], p[2]), truthAt);
            if (i < 8) cornerWorst = std::max(cornerWorst, e);
            else aboveError = e;
        }
        // What is nearer the camera is drawn in front: the point above the target before its middle.
        EXPECT_LT(drawnAt(mv, proj, 0, 0, 100).depth, drawnAt(mv, proj, 0, 0, 0).depth);
        std::printf("%dx%d: tracked corners within %.2f slot px, the point 100 mm above within %.2f\n", v.width,
                    v.height, cornerWorst, aboveError);
        // The refined pose: up to 0.8 slot pixels measured (the half pixel of the frustum
        // included).
        EXPECT_LT(cornerWorst, 1.2);
        EXPECT_LT(aboveError, 1.2);
    }
}

TEST(Registration, TheCharacterStandsUprightOnTheTarget) {
    AnimModel creature;
    ASSERT_TRUE(importMd2(creature, TOVRAK_BUILD_DIR "/Ogros.md2", ""));
    const std::vector<float>& vertices = creature.objects[0].vertices;
    for (const View& v : kViews) {
        const CameraPose pose = lookAtPose(0, 0, 500, v.tilt, v.azimuth, v.roll);
        const double f = virtualFocalLength(v.width);
        double mv[16], proj[16], placed[16];
        buildDisplayMatrices(pose.R, pose.T, f, v.width, v.height, mv, proj);
        registeredModelMatrix(mv, placed);
        // "Up" in the picture is the picture's up along the target's normal: the direction in
        // which a point above the target's middle moves.
        const SlotPoint base = filmedAt(pose, f, v.width, v.height, 0, 0, 0);
        const SlotPoint top = filmedAt(pose, f, v.width, v.height, 0, 0, 100);
        const double ux = (top.x - base.x) / distance(top, base), uy = (top.y - base.y) / distance(top, base);
        double highest = -1e9, lowest = 1e9;
        for (size_t i = 0; i + 2 < vertices.size(); i += 3) {
            const SlotPoint s = drawnAt(placed, proj, vertices[i], vertices[i + 1], vertices[i + 2]);
            const double up = (s.x - base.x) * ux + (s.y - base.y) * uy;
            highest = std::max(highest, up);
            lowest = std::min(lowest, up);
        }
        // Head well above the target (the character is 120 mm tall), and nothing far below it
        // (its feet reach forward a little): hanging under the table, or lying on it, fails.
        EXPECT_GT(highest, 0.9 * distance(top, base)) << v.width << " tilt " << v.tilt;
        EXPECT_GT(lowest, -0.3 * highest) << v.width << " tilt " << v.tilt;
    }
}

TEST(Registration, AUserModelStandsOnItsBaseWithItsTopUp) {
    // A model 3 units high along its own +y, fitted at 50 mm a unit with its base's middle (1, 0, 2)
    // as the anchor: its base lands on the target's middle, its top 150 mm above it.
    ShownModel shown;
    shown.scale = 50;
    shown.anchor[0] = 1, shown.anchor[2] = 2;
    const double model[3][3] = {{1, 0, 2}, {1, 3, 2}, {2, 0, 2}}, target[3][3] = {{0, 0, 0}, {0, 0, 150}, {50, 0, 0}};
    for (const View& v : kViews) {
        const CameraPose pose = lookAtPose(0, 0, 500, v.tilt, v.azimuth, v.roll);
        const double f = virtualFocalLength(v.width);
        double mv[16], proj[16], placed[16];
        buildDisplayMatrices(pose.R, pose.T, f, v.width, v.height, mv, proj);
        shownModelMatrix(shown, mv, placed);
        for (int i = 0; i < 3; ++i) {
            const SlotPoint drawn = drawnAt(placed, proj, model[i][0], model[i][1], model[i][2]);
            const SlotPoint filmed = filmedAt(pose, f, v.width, v.height, target[i][0], target[i][1], target[i][2]);
            EXPECT_LT(distance(drawn, filmed), 1.0) << v.width << " tilt " << v.tilt << " point " << i;
        }
    }
}
