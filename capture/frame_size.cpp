#include "capture/frame_size.h"

bool parseFrameSize(const std::string& text, int& width, int& height) {
    // Digits only, at most five of them, so that no size can wrap round on its way in.
    auto whole = [](const std::string& digits, int& value) {
        if (digits.empty() || digits.size() > 5) return false;
        value = 0;
        for (char c : digits) {
            if (c < '0' || c > '9') return false;
            value = value * 10 + (c - '0');
        }
        return true;
    };
    const size_t x = text.find('x');
    int w = 0, h = 0;
    if (x == std::string::npos || !whole(text.substr(0, x), w) || !whole(text.substr(x + 1), h)) return false;
    if (w < 16 || h < 16 || w > 8192 || h > 8192) return false;
    width = w;
    height = h;
    return true;
}
