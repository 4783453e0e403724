// Writes the reference points the camera is calibrated from ("pontos1.txt"): a 7 x 5 grid of
// points 40 mm apart on a plane, seen at an angle by the virtual camera, with their image
// positions in pixels from the image centre. Usage: make_reference_points OUTPUT
#include <cstdio>

#include "capture/virtual_scene.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_reference_points OUTPUT\n");
        return 2;
    }
    constexpr int kWidth = 320, kHeight = 240, kCols = 7, kRows = 5;
    constexpr double kSpacing = 40.0;
    // Tilted well away from the plane's normal and turned: a view that fixes the focal length.
    const CameraPose pose = lookAtPose(10.0, -5.0, 520.0, 35.0, 30.0, 15.0);
    const double f = virtualFocalLength(kWidth);
    FILE* out = std::fopen(argv[1], "w");
    if (!out) {
        std::perror(argv[1]);
        return 1;
    }
    // Image positions in reference-point centring (docs/conventions.md, "Centring").
    std::fprintf(out, "%d\n", kCols * kRows);
    for (int i = 0; i < kRows; ++i)
        for (int j = 0; j < kCols; ++j) {
            const double X = (j - (kCols - 1) / 2.0) * kSpacing, Y = (i - (kRows - 1) / 2.0) * kSpacing;
            double col, row;
            projectPoint(pose, f, kWidth, kHeight, X, Y, col, row);
            std::fprintf(out, "%.1f %.1f %.3f %.3f\n", X, Y, col - kWidth / 2, row - kHeight / 2);
        }
    return std::fclose(out) == 0 ? 0 : 1;
}
