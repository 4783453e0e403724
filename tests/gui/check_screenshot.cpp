// Checks a window screenshot of the program: its size, what each image slot holds and the
// frame-rate text. Usage: check_screenshot FILE CHECK... ; prints what it found, exits 1 on
// the first failed check.
#include <algorithm>
#include <cstdio>
#include <cmath>
#include <cstdlib>
#include <string>

#include "imageio/png_file.h"

namespace {

constexpr int kSlotTop = 10, kSlotHeight = 240, kSlotWidth = 320;
constexpr int kLiveLeft = 10, kProcessedLeft = 330;

RgbImage shot;

const unsigned char* px(int row, int col) { return &shot.pixels[(static_cast<size_t>(row) * shot.width + col) * 3]; }

bool inFpsText(int row, int col) { return row >= 228 && col >= kLiveLeft && col < kLiveLeft + 120; }

double slotMean(int left) {
    double sum = 0;
    for (int r = kSlotTop; r < kSlotTop + kSlotHeight; ++r)
        for (int c = left; c < left + kSlotWidth; ++c) sum += px(r, c)[0] + px(r, c)[1] + px(r, c)[2];
    return sum / (3.0 * kSlotHeight * kSlotWidth);
}

// Pixels of a slot in a colour class: strong single hue against the other channels.
int countColour(int left, int red, int green, int blue) {
    int n = 0;
    for (int r = kSlotTop; r < kSlotTop + kSlotHeight; ++r)
        for (int c = left; c < left + kSlotWidth; ++c) {
            if (inFpsText(r, c)) continue;
            const unsigned char* p = px(r, c);
            if ((p[0] > 200) == (red != 0) && (p[1] > 200) == (green != 0) && (p[2] > 200) == (blue != 0) &&
                (red || p[0] < 60) && (green || p[1] < 60) && (blue || p[2] < 60))
                ++n;
        }
    return n;
}

// A pixel of a named hue, as lit models show them: the hue's channels well above the others.
bool hasHue(const unsigned char* p, const std::string& hue) {
    const int r = p[0], g = p[1], b = p[2];
    if (hue == "red") return r > g + 60 && r > b + 60;
    if (hue == "blue") return b > r + 60 && b > g + 30;
    if (hue == "yellow") return r > b + 80 && g > b + 80 && std::abs(r - g) < 60;
    if (hue == "cyan") return g > r + 80 && b > r + 80;
    return false;
}

bool check(const std::string& name) {
    if (name.rfind("above:", 0) == 0) {  // above:UPPER:LOWER:N, two hues on the live frame, one above the other
        const size_t a = name.find(':', 6), b = name.find(':', a + 1);
        const std::string upper = name.substr(6, a - 6), lower = name.substr(a + 1, b - a - 1);
        const int need = std::atoi(name.c_str() + b + 1);
        long rows[2] = {0, 0}, counts[2] = {0, 0};
        for (int r = kSlotTop; r < kSlotTop + kSlotHeight; ++r)
            for (int c = kLiveLeft; c < kLiveLeft + kSlotWidth; ++c) {
                if (inFpsText(r, c)) continue;
                for (int k = 0; k < 2; ++k)
                    if (hasHue(px(r, c), k == 0 ? upper : lower)) rows[k] += r, ++counts[k];
            }
        const double meanUpper = counts[0] ? double(rows[0]) / counts[0] : 0, meanLower = counts[1] ? double(rows[1]) / counts[1] : 0;
        std::printf("%s: %ld pixels about row %.1f; %s: %ld pixels about row %.1f\n", upper.c_str(), counts[0], meanUpper,
                    lower.c_str(), counts[1], meanLower);
        return counts[0] >= need && counts[1] >= need && meanUpper + 3 < meanLower;
    }
    if (name.rfind("lit:", 0) == 0) {  // lit:HUE:N, N pixels of a hue in full light (a channel of 110 or more)
        const size_t a = name.find(':', 4);
        const std::string hue = name.substr(4, a - 4);
        const int need = std::atoi(name.c_str() + a + 1);
        int n = 0;
        for (int r = kSlotTop; r < kSlotTop + kSlotHeight; ++r)
            for (int c = kLiveLeft; c < kLiveLeft + kSlotWidth; ++c) {
                const unsigned char* p = px(r, c);
                if (!inFpsText(r, c) && hasHue(p, hue) && std::max({p[0], p[1], p[2]}) >= 110) ++n;
            }
        std::printf("%s in full light: %d pixels\n", hue.c_str(), n);
        return n >= need;
    }
    if (name == "size") {
        std::printf("size %dx%d\n", shot.width, shot.height);
        return shot.width == 660 && shot.height == 260;
    }
    if (name == "slots-hold-frames") {
        const double live = slotMean(kLiveLeft), processed = slotMean(kProcessedLeft);
        std::printf("slot means: live %.1f processed %.1f\n", live, processed);
        return live > 60 && processed > 60;
    }
    if (name == "slots-equal") {
        int differing = 0;
        for (int r = kSlotTop; r < kSlotTop + kSlotHeight; ++r)
            for (int c = 0; c < kSlotWidth; ++c) {
                if (inFpsText(r, kLiveLeft + c)) continue;
                const unsigned char *a = px(r, kLiveLeft + c), *b = px(r, kProcessedLeft + c);
                differing += a[0] != b[0] || a[1] != b[1] || a[2] != b[2];
            }
        std::printf("pixels differing between the slots: %d\n", differing);
        return differing == 0;
    }
    if (name == "processed-grey") {
        int coloured = 0;
        for (int r = kSlotTop; r < kSlotTop + kSlotHeight; ++r)
            for (int c = kProcessedLeft; c < kProcessedLeft + kSlotWidth; ++c) {
                const unsigned char* p = px(r, c);
                coloured += p[0] != p[1] || p[1] != p[2];
            }
        std::printf("coloured pixels in the processed slot: %d\n", coloured);
        return coloured == 0;
    }
    if (name == "fps-text") {
        int green = 0;
        for (int r = 228; r < 260; ++r)
            for (int c = 20; c < 140; ++c) {
                const unsigned char* p = px(r, c);
                green += p[1] > 200 && p[0] < 80 && p[2] < 80;
            }
        std::printf("green text pixels: %d\n", green);
        return green > 30;
    }
    if (name.rfind("drawn-on-live:", 0) == 0 || name == "nothing-drawn-on-live") {
        // 3-D content: strongly blue pixels over the live frame.
        const bool none = name == "nothing-drawn-on-live";
        const int need = none ? 0 : std::atoi(name.c_str() + 14);
        int blue = 0;
        for (int r = kSlotTop; r < kSlotTop + kSlotHeight; ++r)
            for (int c = kLiveLeft; c < kLiveLeft + kSlotWidth; ++c) {
                const unsigned char* p = px(r, c);
                blue += p[2] > 60 && p[2] > p[0] + 50;
            }
        std::printf("blue pixels over the live frame: %d\n", blue);
        return none ? blue == 0 : blue >= need;
    }
    if (name.rfind("cone-as-in:", 0) == 0) {
        // The cone covers the same pixels as in another screenshot of the same still scene: a
        // pose that jitters moves its outline by a pixel here and there.
        RgbImage other;
        std::string error;
        if (!readPng(name.substr(11), other, error) || other.width != shot.width || other.height != shot.height) {
            std::printf("%s\n", error.c_str());
            return false;
        }
        auto blue = [](const unsigned char* p) { return p[2] > 60 && p[2] > p[0] + 50; };
        int cone = 0, moved = 0;
        for (int r = kSlotTop; r < kSlotTop + kSlotHeight; ++r)
            for (int c = kLiveLeft; c < kLiveLeft + kSlotWidth; ++c) {
                const unsigned char* q = &other.pixels[(static_cast<size_t>(r) * other.width + c) * 3];
                cone += blue(px(r, c));
                moved += blue(px(r, c)) != blue(q);
            }
        std::printf("cone pixels %d, %d of them moved\n", cone, moved);
        return cone > 100 && moved <= 10;
    }
    if (name == "cone-on-target") {
        // The cone's base (its lowest blue pixels) lies on the printed target: near the middle
        // of the dark ink's extent in the live slot.
        double inkRow = 0, inkCol = 0, baseCol = 0;
        int ink = 0, baseRow = -1, base = 0;
        for (int r = kSlotTop; r < kSlotTop + kSlotHeight; ++r)
            for (int c = kLiveLeft; c < kLiveLeft + kSlotWidth; ++c) {
                const unsigned char* p = px(r, c);
                if (p[0] < 60 && p[1] < 60 && p[2] < 60) ++ink, inkRow += r, inkCol += c;
                if (p[2] > 60 && p[2] > p[0] + 50 && r >= baseRow) {
                    if (r > baseRow) baseRow = r, baseCol = 0, base = 0;
                    baseCol += c, ++base;
                }
            }
        if (!ink || !base) return false;
        inkRow /= ink, inkCol /= ink, baseCol /= base;
        std::printf("target ink centred at (%.0f, %.0f), cone base at (%d, %.0f)\n", inkRow, inkCol, baseRow, baseCol);
        return std::abs(baseRow - inkRow) < 30 && std::abs(baseCol - inkCol) < 30;
    }
    if (name.rfind("platform:", 0) == 0) {  // the brown planks of the platform, with their grain
        const int need = std::atoi(name.c_str() + 9);
        int brown = 0;
        bool shades[256] = {};
        for (int r = kSlotTop; r < kSlotTop + kSlotHeight; ++r)
            for (int c = kLiveLeft; c < kLiveLeft + kSlotWidth; ++c) {
                const unsigned char* p = px(r, c);
                if (p[0] > p[1] + 35 && p[1] > p[2] + 25 && p[0] > 60) ++brown, shades[p[0]] = true;
            }
        int distinct = 0;
        for (bool b : shades) distinct += b;
        std::printf("platform pixels over the live frame: %d in %d shades of red\n", brown, distinct);
        return brown >= need && distinct >= 20;
    }
    if (name.rfind("red:", 0) == 0) {  // strongly red pixels over the live frame
        const int need = std::atoi(name.c_str() + 4);
        int red = 0;
        for (int r = kSlotTop; r < kSlotTop + kSlotHeight; ++r)
            for (int c = kLiveLeft; c < kLiveLeft + kSlotWidth; ++c) {
                const unsigned char* p = px(r, c);
                red += p[0] > 100 && p[0] > 2 * p[1] + 20 && p[0] > 2 * p[2] + 20;
            }
        std::printf("red pixels over the live frame: %d\n", red);
        return red >= need;
    }
    if (name.rfind("creature:", 0) == 0) {  // the green, textured character over the live frame
        const int need = std::atoi(name.c_str() + 9);
        int green = 0, light = 0;
        for (int r = kSlotTop; r < kSlotTop + kSlotHeight; ++r)
            for (int c = kLiveLeft; c < kLiveLeft + kSlotWidth; ++c) {
                if (inFpsText(r, c)) continue;
                const unsigned char* p = px(r, c);
                green += p[1] > p[0] + 25 && p[1] > p[2] + 25;
                light += p[0] > 150 && p[1] > 160 && p[2] < 150 && p[1] > p[2] + 40;  // the pale belly: a textured skin
            }
        std::printf("creature pixels over the live frame: %d green, %d light\n", green, light);
        return green >= need && light >= need / 20;
    }
    if (name.rfind("colours:", 0) == 0) {  // the contour colours, each at least N pixels
        const int need = std::atoi(name.c_str() + 8);
        const int blue = countColour(kProcessedLeft, 0, 0, 1), red = countColour(kProcessedLeft, 1, 0, 0);
        const int green = countColour(kProcessedLeft, 0, 1, 0), magenta = countColour(kProcessedLeft, 1, 0, 1);
        std::printf("processed slot: blue %d red %d green %d magenta %d\n", blue, red, green, magenta);
        return (blue >= need) + (red >= need) + (green >= need) + (magenta >= need) >= 2;
    }
    std::printf("unknown check %s\n", name.c_str());
    return false;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: check_screenshot FILE CHECK...\n");
        return 2;
    }
    std::string error;
    if (!readPng(argv[1], shot, error)) {
        std::fprintf(stderr, "Error: %s\n", error.c_str());
        return 1;
    }
    for (int i = 2; i < argc; ++i) {
        if (check(argv[i])) continue;
        std::printf("FAILED: %s on %s\n", argv[i], argv[1]);
        return 1;
    }
    return 0;
}
