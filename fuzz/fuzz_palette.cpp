// libFuzzer target: any bytes as a texture palette file.
#include <cstdint>
#include <vector>

#include "scene/texture_files.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<uint8_t> text(data, data + size), palette;
    int entries = 0;
    bool opaque = true;
    if (parsePaletteText(text, palette, entries, opaque) && palette.size() != static_cast<size_t>(entries) * 4)
        __builtin_trap();
    return 0;
}
