// JPEG through libjpeg, with every error returned to the caller: libjpeg's own handler prints and
// ends the process, ours jumps back and answers Damaged. Pixels are 3 bytes each, rows bottom-up
// (docs/conventions.md, "Frames"), in RGB or in B G R order; a JPEG file's first row is the
// picture's top.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

enum class JpegResult { Ok, Damaged, TooLarge };
enum class ChannelOrder { Rgb, Bgr };

struct JpegInfo {
    int width = 0, height = 0;
    int components = 0;      // 1 grey, 3 colour
    bool truncated = false;  // the data ended early or was corrupt: libjpeg filled in grey
};

// Reads the header into `info`; with `pixels`, decodes into it (width x height x 3 bytes at most
// `capacity`, else TooLarge). A picture of more than maxPixels pixels is TooLarge before anything
// is decoded.
JpegResult decodeJpeg(const uint8_t* data, size_t size, ChannelOrder order, uint64_t maxPixels, JpegInfo& info,
                      uint8_t* pixels = nullptr, size_t capacity = 0);

// Encodes width x height pixels at `quality` (1 to 100) into `out`. False on a libjpeg error.
bool encodeJpeg(const uint8_t* pixels, int width, int height, ChannelOrder order, int quality,
                std::vector<uint8_t>& out);
