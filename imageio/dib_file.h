// Windows bitmap (.bmp) pixels in memory: 1-, 4-, 8-, 16-, 24- and 32-bit, uncompressed, bit
// fields or run-length encoded, bottom-up or top-down, with the core (12-byte) or the info
// (40-byte) header, converted to packed 8-bit RGB. This is the conversion the bitmap reader
// (bitmap/dib_reader.h) hands a file's contents to, and the texture pictures' BMP reader.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct DibImage {
    int width = 0;
    int height = 0;
    // width x height x 3 bytes, R G B, rows packed; the picture's bottom row first.
    std::vector<unsigned char> pixels;
};

// Decodes a bitmap held in memory. On failure answers false with `message` one of the fixed
// texts ("Unknown DIB file format.", "Image file conversion error.", "Out of memory.") and
// `detail` saying what exactly is wrong.
bool decodeDib(const std::vector<uint8_t>& file, DibImage& image, std::string& message, std::string& detail);
