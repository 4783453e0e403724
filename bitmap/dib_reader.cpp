#include "bitmap/dib_reader.h"

#include <cstdio>

#include "imageio/regular_file.h"

std::unique_ptr<DibImage> loadDibImage(const std::string& fileName) {
    std::vector<uint8_t> file;
    std::string why;
    switch (readRegularFile(fileName, kMaxDibFileBytes, file, why)) {
        case FileReadResult::Ok: break;
        case FileReadResult::Missing:
            std::fprintf(stderr, "Error: Failed to open DIB file %s.\n", fileName.c_str());
            return nullptr;
        default:
            std::fprintf(stderr, "Error: Failed to open DIB file %s: it %s.\n", fileName.c_str(), why.c_str());
            return nullptr;
    }
    auto image = std::make_unique<DibImage>();
    std::string message, detail;
    if (!decodeDib(file, *image, message, detail)) {
        std::fprintf(stderr, "Error: %s (%s: %s)\n", message.c_str(), fileName.c_str(), detail.c_str());
        return nullptr;
    }
    return image;
}
