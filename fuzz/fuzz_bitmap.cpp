// libFuzzer target: any bytes as a Windows bitmap file.
#include <cstdint>
#include <vector>

#include "bitmap/dib_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    DibImage image;
    std::string message, detail;
    if (decodeDib(std::vector<uint8_t>(data, data + size), image, message, detail) &&
        image.pixels.size() != static_cast<size_t>(image.width) * image.height * 3)
        __builtin_trap();  // a picture that does not hold what it says
    return 0;
}
