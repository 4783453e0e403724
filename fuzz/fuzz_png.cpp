// libFuzzer target: any bytes as a PNG file (through a memory file, as the reader takes a path).
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <string>

#include "imageio/png_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const int fd = memfd_create("fuzz.png", 0);
    if (ftruncate(fd, 0) != 0 || pwrite(fd, data, size, 0) != static_cast<ssize_t>(size)) return 0;
    RgbImage image;
    std::string error;
    if (readPng("/proc/self/fd/" + std::to_string(fd), image, error) &&
        image.pixels.size() != static_cast<size_t>(image.width) * image.height * 3)
        __builtin_trap();
    return 0;
}
