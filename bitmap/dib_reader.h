// Reads Windows bitmap (.bmp) files into packed 8-bit RGB pixels: 1-, 4-, 8-, 16-, 24- and
// 32-bit, uncompressed, bit fields or run-length encoded, bottom-up or top-down, with the core
// (12-byte) or the info (40-byte) header.
#pragma once

#include <cstddef>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// The largest bitmap file read: 4096 x 4096 pixels of 32 bits, with headers and palette.
constexpr size_t kMaxDibFileBytes = (64u << 20) + 4096;

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

// Reads a bitmap file; on failure prints one line "Error: ..." on stderr naming the file and
// answers null.
std::unique_ptr<DibImage> loadDibImage(const std::string& fileName);
