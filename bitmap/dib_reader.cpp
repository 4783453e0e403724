#include "bitmap/dib_reader.h"

#include "base/regular_file.h"
#include "base/report.h"

std::unique_ptr<DibImage> loadDibImage(const std::string& fileName, const std::string& consequence) {
    std::vector<uint8_t> file;
    std::string why;
    switch (readRegularFile(fileName, kMaxDibFileBytes, file, why)) {
        case FileReadResult::Ok: break;
        case FileReadResult::Missing:
            reportError("Failed to open DIB file %s.%s", fileName.c_str(), consequence.c_str());
            return nullptr;
        default:
            reportError("Failed to open DIB file %s: it %s.%s", fileName.c_str(), why.c_str(), consequence.c_str());
            return nullptr;
    }
    auto image = std::make_unique<DibImage>();
    std::string message, detail;
    if (!decodeDib(file, *image, message, detail)) {
        reportError("%s (%s: %s)%s", message.c_str(), fileName.c_str(), detail.c_str(), consequence.c_str());
        return nullptr;
    }
    return image;
}
