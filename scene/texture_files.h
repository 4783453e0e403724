// The two files of a paletted volume texture, read as hostile input:
//   palette  text: the entry count, then per entry "r g b a", each 0 to 255
//   index    raw bytes, one palette index per voxel, x fastest, then y, then z
// Both answer false with `error` set to the line to print.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Palettes hold at most this many entries (16-bit indices); volumes at most this many voxels
// once each side is rounded up to a power of two.
constexpr int kMaxPaletteEntries = 1 << 16;
constexpr long long kMaxVolumeVoxels = 32ll << 20;

// Four bytes r, g, b, a per entry; `opaque` is false when an alpha is not 255.
bool readPaletteFile(const std::string& path, std::vector<uint8_t>& palette, int& entries, bool& opaque,
                     std::string& error);

// The palette file's text (which gets a terminating zero); false when it is malformed.
bool parsePaletteText(std::vector<uint8_t>& bytes, std::vector<uint8_t>& palette, int& entries, bool& opaque);

// w x h x d indices from the file, placed into a zero-filled volume whose sides are the powers of
// two not below w, h and d (given back in pw, ph, pd).
bool readIndexFile(const std::string& path, int w, int h, int d, std::vector<uint8_t>& volume, int& pw,
                   int& ph, int& pd, std::string& error);

// The smallest power of two not below n (1 for n <= 1).
int powerOfTwoAtLeast(int n);

// Resamples an 8-bit plane by averaging the source area under each destination pixel.
void scalePlane(const uint8_t* src, int w, int h, uint8_t* dst, int dw, int dh);
