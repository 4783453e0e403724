#include "api/frame_input.h"

#include <cstring>
#include <string>

namespace tovrak {

namespace {

// Larger frames than any webcam gives are refused before a byte is copied.
constexpr int kMinSide = 16, kMaxSide = 8192;

}  // namespace

std::string checkFrame(const ImageView& f) {
    if (!f.data) return "the frame has no pixels";
    if (f.width < kMinSide || f.height < kMinSide)
        return "the frame is " + std::to_string(f.width) + " x " + std::to_string(f.height) + "; at least " +
               std::to_string(kMinSide) + " x " + std::to_string(kMinSide) + " is needed";
    if (f.width > kMaxSide || f.height > kMaxSide)
        return "the frame is " + std::to_string(f.width) + " x " + std::to_string(f.height) + "; at most " +
               std::to_string(kMaxSide) + " on a side is taken";
    const std::ptrdiff_t packed = static_cast<std::ptrdiff_t>(f.width) * f.channels();
    if (f.stride != 0 && f.stride < packed)
        return "the frame's rows are " + std::to_string(f.stride) + " bytes apart, fewer than the " +
               std::to_string(packed) + " a row holds";
    return {};
}

void frameToSteps(const ImageView& f, std::vector<unsigned char>& bgr) {
    const size_t bytes = static_cast<size_t>(f.width) * f.height * 3;
    if (bgr.size() != bytes) bgr.assign(bytes, 0);
    const std::ptrdiff_t stride = f.rowBytes();
    for (int r = 0; r < f.height; ++r) {
        // The steps count rows up from the bottom.
        const int source = f.rows == RowOrder::TopFirst ? f.height - 1 - r : r;
        const unsigned char* in = f.data + stride * source;
        unsigned char* out = &bgr[static_cast<size_t>(r) * f.width * 3];
        switch (f.format) {
            case PixelFormat::Bgr: std::memcpy(out, in, static_cast<size_t>(f.width) * 3); break;
            case PixelFormat::Rgb:
                for (int c = 0; c < f.width; ++c) out[3 * c] = in[3 * c + 2], out[3 * c + 1] = in[3 * c + 1], out[3 * c + 2] = in[3 * c];
                break;
            case PixelFormat::Grey:
                for (int c = 0; c < f.width; ++c) out[3 * c] = out[3 * c + 1] = out[3 * c + 2] = in[c];
                break;
        }
    }
}

Image imageFromSteps(const unsigned char* bgr, int width, int height) {
    Image image;
    image.width = width, image.height = height;
    image.pixels.resize(static_cast<size_t>(width) * height * 3);
    const size_t row = static_cast<size_t>(width) * 3;
    for (int r = 0; r < height; ++r) std::memcpy(&image.pixels[r * row], bgr + static_cast<size_t>(height - 1 - r) * row, row);
    return image;
}

double frameRow(const ImageView& f, double stepsRow) { return f.rows == RowOrder::TopFirst ? f.height - 1 - stepsRow : stepsRow; }

}  // namespace tovrak
