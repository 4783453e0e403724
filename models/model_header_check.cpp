#include "models/model_header_check.h"

#include <sstream>
#include <string>
#include <vector>

namespace {

int bytesOfType(const std::string& t) {
    if (t == "char" || t == "uchar" || t == "int8" || t == "uint8") return 1;
    if (t == "short" || t == "ushort" || t == "int16" || t == "uint16") return 2;
    if (t == "int" || t == "uint" || t == "float" || t == "int32" || t == "uint32" || t == "float32") return 4;
    if (t == "double" || t == "float64") return 8;
    return 1;
}

std::string claim(long long count, const std::string& what, long long fileBytes) {
    return "claims " + std::to_string(count) + " " + what + " in a file of " + std::to_string(fileBytes) + " bytes";
}

// PLY: "element NAME COUNT" lines, each followed by its properties; a list property counts its
// length field and at least one entry (a face has three, but lists of other elements may be empty).
bool plyFits(const std::string& head, long long fileBytes, std::string& why) {
    const size_t end = head.find("end_header");
    if (end == std::string::npos) return true;  // the importer says what is wrong with it
    std::istringstream lines(head.substr(0, end));
    const bool ascii = head.find("format ascii") != std::string::npos;
    std::string line, name;
    long double needed = 0;
    long long count = 0;
    long double itemBytes = 0;
    auto close = [&] { needed += static_cast<long double>(count) * (itemBytes > 0 ? itemBytes : 1); };
    while (std::getline(lines, line)) {
        std::istringstream words(line);
        std::string key;
        words >> key;
        if (key == "element") {
            close();
            words >> name >> count;
            if (!words || count < 0) count = 0;
            itemBytes = 0;
        } else if (key == "property") {
            std::string type, lengthType, entryType;
            words >> type;
            if (type == "list") {
                words >> lengthType >> entryType;
                itemBytes += ascii ? 2 : bytesOfType(lengthType);
            } else {
                itemBytes += ascii ? 2 : bytesOfType(type);
            }
        }
        if (needed > fileBytes) break;
    }
    close();
    if (needed <= fileBytes) return true;
    why = claim(count, "items of its last element (" + name + ")", fileBytes);
    return false;
}

// OFF: "OFF" then "V F E"; a vertex takes at least 6 bytes ("0 0 0\n"), a face 8 ("3 0 1 2\n").
bool offFits(const std::string& head, long long fileBytes, std::string& why) {
    std::istringstream words(head);
    std::string magic;
    words >> magic;
    if (magic.size() < 3 || magic.compare(magic.size() - 3, 3, "OFF") != 0) return true;
    long long v = 0, f = 0;
    words >> v >> f;
    if (!words || v < 0 || f < 0) return true;
    if (static_cast<long double>(v) * 6 + static_cast<long double>(f) * 8 <= fileBytes) return true;
    why = claim(v, "vertices and " + std::to_string(f) + " faces", fileBytes);
    return false;
}

}  // namespace

bool headerFitsFile(const uint8_t* head, size_t headBytes, long long fileBytes, std::string& why) {
    const std::string text(reinterpret_cast<const char*>(head), headBytes);
    if (text.rfind("ply", 0) == 0) return plyFits(text, fileBytes, why);
    if (text.find("OFF") != std::string::npos && text.find("OFF") < 8) return offFits(text, fileBytes, why);
    return true;
}
