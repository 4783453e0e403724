// Raster image files as 8-bit RGB planes, for textures: PNG (libpng), JPEG (libjpeg), TIFF
// (libtiff) and Windows bitmaps (our own reader). Rows come bottom row first, as OpenGL takes
// them (docs/conventions.md, "Frames"). Palette and grey pictures are converted to RGB.
//
// Every file is untrusted: the size its header claims is checked against the limits below before
// any pixel memory is allocated, and a damaged file is refused, never read past its end.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// Result codes.
constexpr int kImageOk = 0;
constexpr int kImageCannotOpen = 1;   // missing, unreadable, or not a regular file
constexpr int kImageDamaged = 2;      // a recognised format whose content cannot be decoded
constexpr int kImageTooLarge = 3;     // beyond kMaxImageSide or kMaxImagePixels
constexpr int kImageUnknown = 4;      // no reader recognises the file
constexpr int kImageSizeChanged = 5;  // imageLoadRGB: not the size imageInfo gave

constexpr int kMaxImageSide = 16384;
constexpr long long kMaxImagePixels = 64ll << 20;  // 8192 x 8192: a model's whole texture budget
// The largest picture file read: an uncompressed TIFF of the largest picture, with room for its tags.
constexpr size_t kMaxImageFileBytes = static_cast<size_t>(kMaxImagePixels) * 4 + (1u << 20);

// Picture types reported by imageInfo.
constexpr int kImageTypeRgb = 0;
constexpr int kImageTypeGrey = 1;
constexpr int kImageTypePalette = 2;

// The picture's size, type and palette size (0 without a palette); any pointer may be null.
int imageInfo(const char* file, int* width, int* height, int* type, int* paletteSize);

// Fills three planes of width x height bytes each, bottom row first. The planes must be as large
// as imageInfo said; the file is read again, and one whose size differs from `width` x `height`
// (changed in between) is refused rather than written past the planes.
int imageLoadRGB(const char* file, int width, int height, unsigned char* red, unsigned char* green,
                 unsigned char* blue);

// The same readers over a file's bytes already in memory, R G B interleaved, bottom row first.
// `truncated` (may be null) is set when a JPEG ends before its last row or has corrupt data:
// what it lacks is grey and the picture is still returned.
int imageDecodeRGB(const std::vector<uint8_t>& bytes, int* width, int* height, std::vector<uint8_t>& rgb,
                   bool* truncated);

// A one-line description of a result code, for messages.
const char* imageErrorText(int code);
