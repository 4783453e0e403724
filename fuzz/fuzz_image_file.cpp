// libFuzzer target: any bytes as a texture picture (PNG, JPEG, TIFF or BMP), through a memory
// file, as the reader takes a path.
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <string>
#include <vector>

#include "imageio/image_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const int fd = memfd_create("fuzz.picture", 0);
    static const std::string path = "/proc/self/fd/" + std::to_string(fd);
    if (ftruncate(fd, 0) != 0 || pwrite(fd, data, size, 0) != static_cast<ssize_t>(size)) return 0;
    int width = 0, height = 0, type = 0, palette = 0;
    if (imageInfo(path.c_str(), &width, &height, &type, &palette) != kImageOk) return 0;
    if (static_cast<long long>(width) * height > kMaxImagePixels) __builtin_trap();  // beyond the limit
    std::vector<unsigned char> r(static_cast<size_t>(width) * height), g(r.size()), b(r.size());
    imageLoadRGB(path.c_str(), width, height, r.data(), g.data(), b.data());
    return 0;
}
