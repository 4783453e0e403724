#include "imageio/dib_file.h"

#include <algorithm>
#include <cstdio>

namespace {

constexpr char kUnknownFormat[] = "Unknown DIB file format.";
constexpr char kConversionError[] = "Image file conversion error.";
constexpr uint32_t kRgb = 0, kRle8 = 1, kRle4 = 2, kBitfields = 3;
// Pictures beyond this many pixels are refused rather than allocated.
constexpr int64_t kMaxPixels = int64_t{1} << 26;  // 8192 x 8192, as every picture reader takes

uint16_t u16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }
uint32_t u32(const uint8_t* p) { return p[0] | p[1] << 8 | p[2] << 16 | static_cast<uint32_t>(p[3]) << 24; }

struct Header {
    int64_t width = 0, height = 0;  // height < 0: rows stored top-down
    int bitCount = 0;
    uint32_t compression = kRgb;
    uint32_t colours = 0;
    uint32_t masks[3] = {0, 0, 0};
};

// One mask's field: shift, and the scale that stretches it to 8 bits.
struct Field {
    int shift = 0;
    uint32_t max = 0;
    explicit Field(uint32_t mask) {
        if (!mask) return;
        while (!(mask & 1)) mask >>= 1, ++shift;
        max = mask;
    }
    uint8_t of(uint32_t v) const { return max ? static_cast<uint8_t>(((v >> shift) & max) * 255 / max) : 0; }
};

class Decoder {
public:
    Decoder(const std::vector<uint8_t>& f, DibImage& img, std::string& detail) : file(f), image(img), detail(detail) {}

    const char* run() {
        size_t pos = 0;
        size_t pixelOffset = 0;
        bool haveFileHeader = false;
        if (file.size() >= 2 && file[0] == 'B' && file[1] == 'M') {
            if (file.size() < 14) return fail(kUnknownFormat, "the file header is cut short");
            pixelOffset = u32(&file[10]);
            haveFileHeader = true;
            pos = 14;
        }
        if (file.size() < pos + 4) return fail(kUnknownFormat, "there is no bitmap header");
        const uint32_t headerSize = u32(&file[pos]);
        if (headerSize != 12 && headerSize != 40)
            return fail(kUnknownFormat, "the bitmap header has " + std::to_string(headerSize) + " bytes, not 12 or 40");
        if (file.size() < pos + headerSize) return fail(kConversionError, "the bitmap header is cut short");
        Header h;
        const uint8_t* p = &file[pos];
        size_t paletteEntry;
        if (headerSize == 12) {
            h.width = u16(p + 4);
            h.height = u16(p + 6);
            h.bitCount = u16(p + 10);
            paletteEntry = 3;
        } else {
            h.width = static_cast<int32_t>(u32(p + 4));
            h.height = static_cast<int32_t>(u32(p + 8));
            h.bitCount = u16(p + 14);
            h.compression = u32(p + 16);
            h.colours = u32(p + 32);
            paletteEntry = 4;
        }
        pos += headerSize;
        if (h.compression == kBitfields && headerSize == 40) {
            if (file.size() < pos + 12) return fail(kConversionError, "the colour masks are cut short");
            for (int i = 0; i < 3; ++i) h.masks[i] = u32(&file[pos + 4 * i]);
            pos += 12;
        }
        const uint32_t defaultColours = h.bitCount == 1 ? 2 : h.bitCount == 4 ? 16 : h.bitCount == 8 ? 256 : 0;
        uint32_t colours = (headerSize == 40 && h.colours) ? h.colours : defaultColours;
        colours &= 0xffff;  // the count is a 16-bit value
        if (h.bitCount <= 8 && colours > (1u << h.bitCount)) colours = 1u << h.bitCount;
        if (file.size() < pos + colours * paletteEntry) return fail(kConversionError, "the palette is cut short");
        for (uint32_t i = 0; i < colours; ++i) {
            const uint8_t* e = &file[pos + i * paletteEntry];
            palette.push_back({e[2], e[1], e[0]});
        }
        pos += colours * paletteEntry;
        if (haveFileHeader) {
            if (pixelOffset < pos || pixelOffset > file.size())
                return fail(kConversionError, "the pixel data offset " + std::to_string(pixelOffset) + " lies outside the file");
            pos = pixelOffset;
        }

        if (h.width <= 0 || h.height == 0)
            return fail(kConversionError, "the picture is " + std::to_string(h.width) + " x " + std::to_string(h.height));
        const int64_t rows = h.height < 0 ? -h.height : h.height;
        if (h.width * rows > kMaxPixels) return fail(kConversionError, "the picture is too large");
        image.width = static_cast<int>(h.width);
        image.height = static_cast<int>(rows);
        // Rows as stored; the picture's bottom row goes first in the result either way.
        // (docs/conventions.md, "Frames")
        auto outRow = [&](int64_t stored) { return h.height < 0 ? rows - 1 - stored : stored; };

        const char* result = nullptr;
        switch (h.compression) {
            case kRgb:
            case kBitfields: result = decodeRows(h, pos, rows, outRow); break;
            case kRle8:
            case kRle4:
                if ((h.compression == kRle8) != (h.bitCount == 8) || (h.compression == kRle4) != (h.bitCount == 4) ||
                    h.height < 0)
                    return fail(kConversionError, "run-length encoding does not fit this bit count");
                result = decodeRle(h, pos, rows, outRow);
                break;
            default: return fail(kConversionError, "compression " + std::to_string(h.compression) + " is not supported");
        }
        return result;
    }

private:
    struct Rgb {
        uint8_t r, g, b;
    };
    const std::vector<uint8_t>& file;
    DibImage& image;
    std::string& detail;
    std::vector<Rgb> palette;

    const char* fail(const char* message, const std::string& why) {
        detail = why;
        image = DibImage{};
        return message;
    }

    bool put(int64_t row, int64_t col, Rgb c) {
        if (row < 0 || row >= image.height || col < 0 || col >= image.width) return false;
        unsigned char* px = &image.pixels[(static_cast<size_t>(row) * image.width + col) * 3];
        px[0] = c.r, px[1] = c.g, px[2] = c.b;
        return true;
    }

    bool paletteColour(uint32_t index, Rgb& c) {
        if (index >= palette.size()) return false;
        c = palette[index];
        return true;
    }

    template <typename RowMap>
    const char* decodeRows(const Header& h, size_t pos, int64_t rows, RowMap outRow) {
        const int bits = h.bitCount;
        if (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32)
            return fail(kConversionError, std::to_string(bits) + " bits a pixel is not supported");
        if (h.compression == kBitfields && bits != 16 && bits != 32)
            return fail(kConversionError, "bit fields need 16 or 32 bits a pixel");
        uint32_t masks[3] = {h.masks[0], h.masks[1], h.masks[2]};
        if (h.compression != kBitfields) {
            if (bits == 16) masks[0] = 0x7c00, masks[1] = 0x03e0, masks[2] = 0x001f;
            if (bits == 32) masks[0] = 0xff0000, masks[1] = 0x00ff00, masks[2] = 0x0000ff;
        }
        const Field red(masks[0]), green(masks[1]), blue(masks[2]);
        const size_t stride = static_cast<size_t>((bits * h.width + 31) / 32 * 4);
        const size_t needed = stride * static_cast<size_t>(rows);
        if (file.size() < pos || file.size() - pos < needed)
            return fail(kConversionError, "the header claims " + std::to_string(h.width) + " x " + std::to_string(rows) +
                                              " pixels but the file holds only " + std::to_string(file.size() - std::min(pos, file.size())) +
                                              " bytes of pixel data, " + std::to_string(needed) + " are needed");
        image.pixels.assign(static_cast<size_t>(h.width * rows * 3), 0);
        for (int64_t y = 0; y < rows; ++y) {
            const uint8_t* row = &file[pos + stride * static_cast<size_t>(y)];
            const int64_t out = outRow(y);
            for (int64_t x = 0; x < h.width; ++x) {
                Rgb c{0, 0, 0};
                if (bits <= 8) {
                    const int64_t bit = x * bits;
                    const uint32_t index = (row[bit / 8] >> (8 - bits - bit % 8)) & ((1u << bits) - 1);
                    if (!paletteColour(index, c))
                        return fail(kConversionError, "pixel colour " + std::to_string(index) + " is not in the palette");
                } else if (bits == 24) {
                    c = {row[3 * x + 2], row[3 * x + 1], row[3 * x]};
                } else {
                    const uint32_t v = bits == 16 ? u16(row + 2 * x) : u32(row + 4 * x);
                    c = {red.of(v), green.of(v), blue.of(v)};
                }
                put(out, x, c);
            }
        }
        return nullptr;
    }

    template <typename RowMap>
    const char* decodeRle(const Header& h, size_t pos, int64_t rows, RowMap outRow) {
        const bool four = h.compression == kRle4;
        // Each two bytes of runs give at most 255 pixels: a picture far larger than its data
        // could ever fill is refused before it is allocated.
        if (h.width * rows > static_cast<int64_t>(file.size() - std::min(pos, file.size())) * 128 + 65536)
            return fail(kConversionError, "the picture is far larger than its run-length data");
        image.pixels.assign(static_cast<size_t>(h.width * rows * 3), 0);
        int64_t x = 0, y = 0;
        auto colourAt = [&](uint32_t index, int64_t col) {
            Rgb c;
            if (!paletteColour(index, c)) return false;
            put(outRow(y), col, c);  // runs past the row's end are clipped, as viewers do
            return true;
        };
        while (true) {
            if (pos + 2 > file.size()) return fail(kConversionError, "the run-length data ends without an end marker");
            const uint8_t count = file[pos], value = file[pos + 1];
            pos += 2;
            if (count > 0) {
                for (int i = 0; i < count; ++i, ++x) {
                    const uint32_t index = four ? ((i % 2 == 0) ? value >> 4 : value & 15) : value;
                    if (!colourAt(index, x)) return fail(kConversionError, "a run uses a colour outside the palette");
                }
                continue;
            }
            if (value == 0) {  // end of line
                x = 0;
                ++y;
            } else if (value == 1) {  // end of bitmap
                return nullptr;
            } else if (value == 2) {  // delta
                if (pos + 2 > file.size()) return fail(kConversionError, "a run-length delta is cut short");
                x += file[pos];
                y += file[pos + 1];
                pos += 2;
            } else {  // an absolute run of `value` pixels, padded to a whole 16-bit word
                const size_t bytes = four ? (value + 1u) / 2 : value;
                if (pos + bytes > file.size()) return fail(kConversionError, "an absolute run is cut short");
                for (int i = 0; i < value; ++i, ++x) {
                    const uint8_t b = file[pos + (four ? i / 2 : i)];
                    const uint32_t index = four ? ((i % 2 == 0) ? b >> 4 : b & 15) : b;
                    if (!colourAt(index, x)) return fail(kConversionError, "a run uses a colour outside the palette");
                }
                pos += (bytes + 1) & ~size_t{1};
            }
            if (y >= rows) return nullptr;  // rows beyond the picture: nothing more to draw
        }
    }
};

}  // namespace

bool decodeDib(const std::vector<uint8_t>& file, DibImage& image, std::string& message, std::string& detail) {
    image = DibImage{};
    detail.clear();
    const char* failure = Decoder(file, image, detail).run();
    if (!failure) return true;
    message = failure;
    return false;
}
