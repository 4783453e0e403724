// Frames of the virtual camera as a Y4M video (4:2:0, full-range BT.601), the format a browser
// plays as a fake webcam in tests:
//   make_fake_camera OUT.y4m "tilt=30,distance=450" FRAMES
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "capture/virtual_camera.h"

namespace {

unsigned char clampByte(double v) { return static_cast<unsigned char>(v < 0 ? 0 : v > 255 ? 255 : v + 0.5); }

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: make_fake_camera OUT.y4m VIRTUAL_OPTIONS FRAMES\n");
        return 2;
    }
    VirtualCameraOptions options;
    std::string error;
    if (!parseVirtualCameraOptions(argv[2], options, error)) {
        std::fprintf(stderr, "Error: %s\n", error.c_str());
        return 2;
    }
    const int frames = std::atoi(argv[3]);
    FILE* out = std::fopen(argv[1], "wb");
    if (!out || frames <= 0) {
        std::fprintf(stderr, "Error: cannot write %s\n", argv[1]);
        return 1;
    }
    VirtualCamera camera(options);
    const int w = options.width, h = options.height;
    std::fprintf(out, "YUV4MPEG2 W%d H%d F30:1 Ip A1:1 C420jpeg XCOLORRANGE=FULL\n", w, h);
    std::vector<unsigned char> bgr(camera.frameBytes()), y(static_cast<size_t>(w) * h), u(y.size() / 4), v(y.size() / 4);
    for (int n = 0; n < frames; ++n) {
        camera.render(n, bgr.data());
        // The frame's row 0 is its bottom row (docs/conventions.md, "Frames"); Y4M starts at the top.
        for (int row = 0; row < h; ++row)
            for (int col = 0; col < w; ++col) {
                const unsigned char* p = &bgr[3 * (static_cast<size_t>(h - 1 - row) * w + col)];
                y[static_cast<size_t>(row) * w + col] = clampByte(0.299 * p[2] + 0.587 * p[1] + 0.114 * p[0]);
            }
        for (int row = 0; row < h / 2; ++row)
            for (int col = 0; col < w / 2; ++col) {
                double r = 0, g = 0, b = 0;
                for (int k = 0; k < 4; ++k) {
                    const unsigned char* p = &bgr[3 * (static_cast<size_t>(h - 1 - (2 * row + k / 2)) * w + 2 * col + k % 2)];
                    b += p[0] / 4.0, g += p[1] / 4.0, r += p[2] / 4.0;
                }
                u[static_cast<size_t>(row) * (w / 2) + col] = clampByte(128 - 0.168736 * r - 0.331264 * g + 0.5 * b);
                v[static_cast<size_t>(row) * (w / 2) + col] = clampByte(128 + 0.5 * r - 0.418688 * g - 0.081312 * b);
            }
        std::fputs("FRAME\n", out);
        std::fwrite(y.data(), 1, y.size(), out);
        std::fwrite(u.data(), 1, u.size(), out);
        std::fwrite(v.data(), 1, v.size(), out);
    }
    return std::fclose(out) == 0 ? 0 : 1;
}
