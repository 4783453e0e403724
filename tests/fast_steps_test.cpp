// The fast steps of the target chain against the plain reference (tests/reference_chain.h), on
// virtual-camera frames at 320 x 240, 640 x 480 and 1280 x 720, clean and noisy: every byte of
// the picture after each step, the label plane, the label sizes, the closed-outline counts and
// the outlines' pixel lists must be the same. And the chain allocates nothing once warmed up.
#include <gtest/gtest.h>

#include <cstring>

#include "capture/virtual_camera.h"
#include "tests/reference_chain.h"
#include "vision/target_chain.h"

namespace {

struct Case {
    int width, height;
    double noise;
};

std::vector<unsigned char> frameOf(const Case& c, int index) {
    VirtualCameraOptions o;
    o.width = c.width, o.height = c.height, o.noise = c.noise;
    VirtualCamera camera(o);
    std::vector<unsigned char> frame(camera.frameBytes());
    camera.render(index * 41, frame.data());
    return frame;
}

}  // namespace

TEST(FastSteps, EveryStepMatchesTheReferenceByteForByte) {
    const Case cases[] = {{320, 240, 0}, {320, 240, 2.5}, {640, 480, 1.5}, {1280, 720, 2.0}};
    Tracker t;
    for (const Case& c : cases)
        for (int frame = 0; frame < 3; ++frame) {
            SCOPED_TRACE(std::to_string(c.width) + "x" + std::to_string(c.height) + " noise " +
                         std::to_string(c.noise) + " frame " + std::to_string(frame));
            std::vector<unsigned char> input = frameOf(c, frame);
            const int W = c.width, H = c.height, n = W * H;
            std::vector<unsigned char> expected(input.size());

            t.setFrameSize(H, W);
            t.input = input.data();
            t.markOutputAbsent();
            t.smoothImage();
            reference::smoothFromInput(input.data(), expected.data(), W, H);
            ASSERT_EQ(0, std::memcmp(t.output, expected.data(), expected.size())) << "smoothing";
            t.convertToGrey();
            reference::grey(expected.data(), n);
            ASSERT_EQ(0, std::memcmp(t.output, expected.data(), expected.size())) << "grey";
            t.sobelEdges(240);
            reference::sobel(expected.data(), W, H, 240);
            ASSERT_EQ(0, std::memcmp(t.output, expected.data(), expected.size())) << "Sobel";
            t.smoothGreySobel(240);
            ASSERT_EQ(0, std::memcmp(t.output, expected.data(), expected.size())) << "smoothing, grey and Sobel in one";

            t.labelContours();
            reference::Contours ref;
            reference::labelContours(expected.data(), W, H, ref);
            ASSERT_EQ(0, std::memcmp(t.output, expected.data(), expected.size())) << "whitened";
            ASSERT_EQ(t.labels, ref.labels);
            ASSERT_EQ(t.labelSizes, ref.labelSizes);
            ASSERT_EQ(t.closedHits, ref.closedHits);
            ASSERT_EQ(t.contours->count, static_cast<int>(ref.selected.size()));
            for (int i = 0; i < t.contours->count; ++i) {
                const Contour& ct = t.contours->items[i];
                ASSERT_EQ(ct.pointCount, static_cast<int>(ref.points[i].size()));
                for (int k = 0; k < ct.pointCount; ++k) {
                    ASSERT_EQ(ct.points[k].row, ref.points[i][k].row);
                    ASSERT_EQ(ct.points[k].col, ref.points[i][k].col);
                    ASSERT_EQ(ct.points[k].value, ref.points[i][k].value);
                }
            }
        }
}

// Odd sizes and every kind of threshold: the row ends that fall between whole vectors, and both
// ways of judging the sum of squares (16-bit up to 255, 32-bit above).
TEST(FastSteps, OddSizesAndAllThresholdsMatchTheReference) {
    const int sizes[][2] = {{3, 3}, {5, 4}, {37, 29}, {333, 250}};
    const int thresholds[] = {-5, 0, 1, 100, 240, 255, 256, 400, 1500};
    uint32_t seed = 12345;
    auto random = [&seed] { return static_cast<uint8_t>((seed = seed * 1103515245u + 12345u) >> 23); };
    Tracker t;
    for (const auto& size : sizes) {
        const int W = size[0], H = size[1], n = W * H;
        std::vector<unsigned char> input(3 * n);
        // Broad patches with noise, so that every threshold finds edges and flat parts.
        for (int k = 0; k < n; ++k)
            for (int ch = 0; ch < 3; ++ch) input[3 * k + ch] = static_cast<uint8_t>(((k % W) / 7 + (k / W) / 5) % 2 ? 200 : 30) + random() % 40;
        t.setFrameSize(H, W);
        t.input = input.data();
        for (int threshold : thresholds) {
            SCOPED_TRACE(std::to_string(W) + "x" + std::to_string(H) + " threshold " + std::to_string(threshold));
            std::vector<unsigned char> expected(input.size());
            reference::smoothFromInput(input.data(), expected.data(), W, H);
            reference::grey(expected.data(), n);
            std::vector<unsigned char> grey = expected;
            std::vector<int32_t> dRow, dCol;
            reference::sobel(expected.data(), W, H, threshold, &dRow, &dCol);

            t.markOutputAbsent();
            t.ensureOutput();
            std::memcpy(t.output, grey.data(), grey.size());
            t.sobelEdges(threshold);
            ASSERT_EQ(0, std::memcmp(t.output, expected.data(), expected.size())) << "Sobel";
            ASSERT_EQ(t.sobelRow, dRow) << "the Sobel step's row derivative";
            ASSERT_EQ(t.sobelCol, dCol) << "the Sobel step's column derivative";
            t.smoothGreySobel(threshold);
            ASSERT_EQ(0, std::memcmp(t.output, expected.data(), expected.size())) << "smoothing, grey and Sobel in one";
        }
    }
}
