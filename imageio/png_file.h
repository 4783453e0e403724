// PNG files of 8-bit RGB pixels, rows top to bottom.
#pragma once

#include <string>
#include <vector>

struct RgbImage {
    int width = 0;
    int height = 0;
    std::vector<unsigned char> pixels;  // width x height x 3, R G B, first row at the top
};

// Pictures larger than this are refused before any pixel memory is allocated.
constexpr unsigned kMaxPngSide = 16384;
constexpr unsigned long long kMaxPngPixels = 32ull << 20;

// Both answer false with a one-line reason naming the file.
bool writePng(const std::string& path, const RgbImage& image, std::string& error);
bool readPng(const std::string& path, RgbImage& image, std::string& error);
