// Pictures for model textures, decoded from a file's bytes (the file on disk or the copy a model
// file carries inside): JPEG, TIFF and BMP through our own readers (imageio/image_file.h), PNG,
// TGA, PSD, GIF, HDR and PNM through the stb image library, which keeps their alpha.
//
// The result is RGBA, rows bottom row first (docs/conventions.md, "Frames"), box-filtered down to
// at most kMaxTexturePictureSide a side: a texture on a model seen at camera size needs no more,
// and the bound keeps every texture of a model within a few megabytes.
//
// The bytes are untrusted: the size a header claims is checked against `maxPixels` before any
// pixel memory is allocated.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

constexpr int kMaxTexturePictureSide = 2048;

struct TexturePicture {
    int width = 0, height = 0;
    std::vector<uint8_t> rgba;
    long long sourcePixels = 0;  // the pixels decoded, before the picture was made smaller
    bool truncated = false;      // ends early or has corrupt data: the part missing is grey
};

// False with the reason in `why` (in words that follow the file's name).
bool decodeTexturePicture(const std::vector<uint8_t>& bytes, long long maxPixels, TexturePicture& out,
                          std::string& why);
