#include "imageio/png_file.h"

#include <png.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>

#include "imageio/image_file.h"
#include "base/regular_file.h"

namespace {

struct FileCloser {
    void operator()(FILE* f) const { std::fclose(f); }
};
using FilePtr = std::unique_ptr<FILE, FileCloser>;

// libpng would print its own line as well; our caller says it once, naming the file.
void quietError(png_structp png, png_const_charp) { png_longjmp(png, 1); }
void quietWarning(png_structp, png_const_charp) {}

}  // namespace

bool writePng(const std::string& path, const RgbImage& image, std::string& error) {
    if (image.width <= 0 || image.height <= 0 ||
        image.pixels.size() != static_cast<size_t>(image.width) * image.height * 3) {
        error = path + ": no picture to write";
        return false;
    }
    FilePtr file(std::fopen(path.c_str(), "wb"));
    if (!file) {
        error = path + ": cannot create file: " + std::strerror(errno);
        return false;
    }
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, quietError, quietWarning);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!info) {
        png_destroy_write_struct(&png, nullptr);
        error = path + ": out of memory";
        return false;
    }
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        error = path + ": write failed (" + std::strerror(errno ? errno : EIO) + ")";
        return false;
    }
    png_init_io(png, file.get());
    png_set_IHDR(png, info, image.width, image.height, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    for (int r = 0; r < image.height; ++r) {
        png_write_row(png, const_cast<png_bytep>(&image.pixels[static_cast<size_t>(r) * image.width * 3]));
    }
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    // The last buffered bytes reach the disk only now: a full disk shows here.
    FILE* f = file.release();
    if (std::ferror(f) | std::fclose(f)) {
        error = path + ": write failed: " + std::strerror(errno);
        return false;
    }
    return true;
}

int decodePng(const std::vector<uint8_t>& bytes, RowOrder order, PngHeader& header, std::vector<unsigned char>* rgb,
              std::string& why) {
    png_image img;
    std::memset(&img, 0, sizeof img);
    img.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&img, bytes.data(), bytes.size())) {
        why = img.message;
        return kImageDamaged;
    }
    header.width = static_cast<int>(img.width), header.height = static_cast<int>(img.height);
    header.type = img.format & PNG_FORMAT_FLAG_COLORMAP ? kImageTypePalette
                  : img.format & PNG_FORMAT_FLAG_COLOR  ? kImageTypeRgb
                                                        : kImageTypeGrey;
    header.paletteSize = img.format & PNG_FORMAT_FLAG_COLORMAP ? static_cast<int>(img.colormap_entries) : 0;
    // The header alone says how much the picture needs; a tiny file may claim gigabytes.
    if (img.width > static_cast<unsigned>(kMaxImageSide) || img.height > static_cast<unsigned>(kMaxImageSide) ||
        static_cast<uint64_t>(img.width) * img.height > static_cast<uint64_t>(kMaxImagePixels)) {
        why = "the picture is " + std::to_string(img.width) + " x " + std::to_string(img.height) +
              " pixels, more than can be read";
        png_image_free(&img);
        return kImageTooLarge;
    }
    if (!rgb) {
        png_image_free(&img);
        return kImageOk;
    }
    img.format = PNG_FORMAT_RGB;
    rgb->assign(PNG_IMAGE_SIZE(img), 0);
    // A negative row stride makes libpng write the top row last: bottom row first.
    const png_int_32 rowBytes = static_cast<png_int_32>(PNG_IMAGE_ROW_STRIDE(img));
    if (!png_image_finish_read(&img, nullptr, rgb->data(), order == RowOrder::TopFirst ? rowBytes : -rowBytes,
                               nullptr)) {
        why = img.message;
        png_image_free(&img);
        return kImageDamaged;
    }
    return kImageOk;
}

bool readPng(const std::string& path, RgbImage& image, std::string& error) {
    std::vector<uint8_t> bytes;
    std::string why;
    if (readRegularFile(path, kMaxImageFileBytes, bytes, why) != FileReadResult::Ok) {
        error = path + ": " + why;
        return false;
    }
    PngHeader header;
    if (decodePng(bytes, RowOrder::TopFirst, header, &image.pixels, why) != kImageOk) {
        error = path + ": " + why;
        return false;
    }
    image.width = header.width, image.height = header.height;
    return true;
}
