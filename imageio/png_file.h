// PNG files of 8-bit RGB pixels. The one PNG decoder of the program: screenshots and image
// sequences read it with the file's row order (top row first), texture pictures with the frames'
// (bottom row first, docs/conventions.md, "Frames").
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct RgbImage {
    int width = 0;
    int height = 0;
    std::vector<unsigned char> pixels;  // width x height x 3, R G B, first row at the top
};

enum class RowOrder { TopFirst, BottomFirst };

// What a PNG's header says of it: its size, and whether it is colour, grey or a palette (with
// the palette's size). `type` takes the values of imageio/image_file.h's kImageType*.
struct PngHeader {
    int width = 0, height = 0, type = 0, paletteSize = 0;
};

// Decodes PNG bytes: the header always, and, when `rgb` is not null, the pixels as R G B rows in
// the order asked. Answers imageio/image_file.h's kImageOk, kImageDamaged or kImageTooLarge
// (checked from the header, before any pixel memory is allocated), with `why` a short reason.
int decodePng(const std::vector<uint8_t>& bytes, RowOrder order, PngHeader& header, std::vector<unsigned char>* rgb,
              std::string& why);

// Both answer false with a one-line reason naming the file.
bool writePng(const std::string& path, const RgbImage& image, std::string& error);
bool readPng(const std::string& path, RgbImage& image, std::string& error);
