// Frames in and images out.
//
// A frame is someone else's pixels, viewed, never copied by the view: 8 bits a channel, B G R,
// R G B or grey, rows `stride` bytes apart, top row first (as OpenCV, NumPy and most image
// libraries hold them) unless `rows` says otherwise. Images the library makes are packed B G R,
// top row first.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "tovrak/export.h"

namespace tovrak {

enum class PixelFormat { Bgr, Rgb, Grey };
enum class RowOrder { TopFirst, BottomFirst };

struct ImageView {
    const std::uint8_t* data = nullptr;
    int width = 0, height = 0;
    std::ptrdiff_t stride = 0;  // bytes from one row to the next; 0: packed rows
    PixelFormat format = PixelFormat::Bgr;
    RowOrder rows = RowOrder::TopFirst;

    int channels() const { return format == PixelFormat::Grey ? 1 : 3; }
    std::ptrdiff_t rowBytes() const { return stride ? stride : static_cast<std::ptrdiff_t>(width) * channels(); }
};

struct Image {
    int width = 0, height = 0;
    std::vector<std::uint8_t> pixels;  // width x height x 3, B G R, top row first

    ImageView view() const { return ImageView{pixels.data(), width, height, 0, PixelFormat::Bgr, RowOrder::TopFirst}; }
};

// A value or the reason there is none: every call that can fail answers one of these; nothing
// in the library throws or ends the process.
template <typename T>
class Result {
public:
    Result(T value) : value_(std::move(value)), ok_(true) {}
    static Result failure(std::string why) {
        Result r;
        r.error_ = std::move(why);
        return r;
    }
    bool ok() const { return ok_; }
    explicit operator bool() const { return ok_; }
    const T& value() const& { return value_; }
    T& value() & { return value_; }
    T&& value() && { return std::move(value_); }
    const T* operator->() const { return &value_; }
    const std::string& error() const { return error_; }

private:
    Result() = default;
    T value_{};
    std::string error_;
    bool ok_ = false;
};

// Why a frame cannot be read, or empty when it can.
TOVRAK_API std::string checkFrame(const ImageView& frame);

}  // namespace tovrak
