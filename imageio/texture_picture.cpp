#include "imageio/texture_picture.h"

#include <stb/stb_image.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <climits>
#include <memory>

#include "imageio/image_file.h"

namespace {

bool startsWith(const std::vector<uint8_t>& b, std::initializer_list<uint8_t> magic) {
    return b.size() >= magic.size() && std::equal(magic.begin(), magic.end(), b.begin());
}

// Averages k x k blocks of an interleaved picture of `channels` bytes a pixel (3 or 4) into RGBA,
// where k makes the larger side at most kMaxTexturePictureSide. `topFirst` flips the rows too.
void shrinkToRgba(const uint8_t* src, int w, int h, int channels, bool topFirst, TexturePicture& out) {
    const int k = (std::max(w, h) + kMaxTexturePictureSide - 1) / kMaxTexturePictureSide;
    const int ow = std::max(1, w / k), oh = std::max(1, h / k);
    out.width = ow, out.height = oh;
    out.rgba.assign(4ull * ow * oh, 255);
    for (int y = 0; y < oh; ++y)
        for (int x = 0; x < ow; ++x) {
            unsigned sum[4] = {0, 0, 0, 0}, n = 0;
            for (int sy = y * k; sy < std::min(h, (y + 1) * k); ++sy)
                for (int sx = x * k; sx < std::min(w, (x + 1) * k); ++sx, ++n) {
                    const uint8_t* p = src + (static_cast<size_t>(sy) * w + sx) * channels;
                    for (int c = 0; c < channels; ++c) sum[c] += p[c];
                }
            const int row = topFirst ? oh - 1 - y : y;
            uint8_t* q = &out.rgba[(static_cast<size_t>(row) * ow + x) * 4];
            for (int c = 0; c < channels; ++c) q[c] = static_cast<uint8_t>((sum[c] + n / 2) / n);
        }
}

std::string sizeWords(long long w, long long h, long long maxPixels) {
    return "is " + std::to_string(w) + " x " + std::to_string(h) + " pixels, more than the " +
           std::to_string(maxPixels) + " the texture budget has left";
}

bool decodeWithOurReaders(const std::vector<uint8_t>& bytes, long long maxPixels, TexturePicture& out,
                          std::string& why) {
    int w = 0, h = 0, x = 0;
    // The JPEG header is read first, so that a picture beyond the budget is never decoded.
    if (startsWith(bytes, {0xFF, 0xD8, 0xFF}) && stbi_info_from_memory(bytes.data(), static_cast<int>(bytes.size()), &w, &h, &x) &&
        static_cast<long long>(w) * h > maxPixels) {
        why = sizeWords(w, h, maxPixels);
        return false;
    }
    std::vector<uint8_t> rgb;
    const int code = imageDecodeRGB(bytes, &w, &h, rgb, &out.truncated);
    if (code != kImageOk) {
        why = imageErrorText(code);
        return false;
    }
    if (static_cast<long long>(w) * h > maxPixels) {
        why = sizeWords(w, h, maxPixels);
        return false;
    }
    out.sourcePixels = static_cast<long long>(w) * h;
    shrinkToRgba(rgb.data(), w, h, 3, false, out);
    return true;
}

bool decodeWithStb(const std::vector<uint8_t>& bytes, long long maxPixels, TexturePicture& out, std::string& why) {
    const int n = static_cast<int>(bytes.size());
    int w = 0, h = 0, channels = 0;
    if (!stbi_info_from_memory(bytes.data(), n, &w, &h, &channels)) {
        why = "is not a picture in a format that can be read (PNG, JPEG, TIFF, BMP, TGA, PSD, GIF, HDR)";
        return false;
    }
    if (w <= 0 || h <= 0 || static_cast<long long>(w) * h > maxPixels) {
        why = sizeWords(w, h, maxPixels);
        return false;
    }
    std::unique_ptr<stbi_uc, void (*)(void*)> pixels(nullptr, stbi_image_free);
    if (stbi_is_hdr_from_memory(bytes.data(), n)) {
        // Radiance floats made bytes here with a table of 4096 steps of gamma 2.2 (what stb's own
        // conversion computes with a pow() for every channel of every pixel, twenty times slower).
        std::unique_ptr<float, void (*)(void*)> floats(stbi_loadf_from_memory(bytes.data(), n, &w, &h, &channels, 4),
                                                       stbi_image_free);
        if (floats) {
            static const std::array<uint8_t, 4097> toByte = [] {
                std::array<uint8_t, 4097> t{};
                for (size_t i = 0; i < t.size(); ++i)
                    t[i] = static_cast<uint8_t>(std::lround(255.0 * std::pow(static_cast<double>(i) / 4096.0, 1 / 2.2)));
                return t;
            }();
            const size_t values = static_cast<size_t>(w) * h * 4;
            pixels.reset(static_cast<stbi_uc*>(std::malloc(values)));
            for (size_t i = 0; pixels && i < values; ++i) {
                const float v = floats.get()[i];
                // Alpha is linear; the colours go through the table, clamped to 0..1.
                const float c = std::isfinite(v) ? std::clamp(v, 0.0f, 1.0f) : 0.0f;
                pixels.get()[i] = i % 4 == 3 ? static_cast<uint8_t>(std::lround(c * 255)) : toByte[static_cast<size_t>(c * 4096)];
            }
        }
    } else {
        pixels.reset(stbi_load_from_memory(bytes.data(), n, &w, &h, &channels, 4));
    }
    if (!pixels) {
        const char* reason = stbi_failure_reason();
        why = std::string("is damaged or truncated") + (reason ? std::string(" (") + reason + ")" : "");
        return false;
    }
    out.sourcePixels = static_cast<long long>(w) * h;
    shrinkToRgba(pixels.get(), w, h, 4, true, out);
    return true;
}

}  // namespace

bool decodeTexturePicture(const std::vector<uint8_t>& bytes, long long maxPixels, TexturePicture& out,
                          std::string& why) {
    out = TexturePicture{};
    if (bytes.empty() || bytes.size() > static_cast<size_t>(INT_MAX)) {
        why = bytes.empty() ? "is empty" : "is too large to be a picture";
        return false;
    }
    const bool ours = startsWith(bytes, {0xFF, 0xD8, 0xFF}) || startsWith(bytes, {'I', 'I', 42, 0}) ||
                      startsWith(bytes, {'M', 'M', 0, 42}) || startsWith(bytes, {'B', 'M'});
    return ours ? decodeWithOurReaders(bytes, maxPixels, out, why) : decodeWithStb(bytes, maxPixels, out, why);
}
