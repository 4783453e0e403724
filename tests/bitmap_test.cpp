#include <gtest/gtest.h>

#include <fstream>
#include <random>

#include "bitmap/dib_reader.h"

namespace {

void put16(std::vector<uint8_t>& b, int v) { b.push_back(v & 0xff), b.push_back((v >> 8) & 0xff); }
void put32(std::vector<uint8_t>& b, int64_t v) {
    for (int i = 0; i < 4; ++i) b.push_back(static_cast<uint8_t>((v >> (8 * i)) & 0xff));
}

// A bitmap file with an info header: palette entries as B, G, R, 0; `pixels` already in the
// file's row layout; optional colour masks.
std::vector<uint8_t> infoBmp(int width, int height, int bits, int compression, const std::vector<uint32_t>& palette,
                             const std::vector<uint8_t>& pixels, const std::vector<uint32_t>& masks = {}) {
    std::vector<uint8_t> b = {'B', 'M'};
    const int offset = 14 + 40 + 4 * static_cast<int>(masks.size() + palette.size());
    put32(b, offset + static_cast<int64_t>(pixels.size()));
    put32(b, 0);
    put32(b, offset);
    put32(b, 40), put32(b, width), put32(b, height), put16(b, 1), put16(b, bits), put32(b, compression);
    put32(b, static_cast<int64_t>(pixels.size())), put32(b, 0), put32(b, 0), put32(b, static_cast<int64_t>(palette.size())), put32(b, 0);
    for (uint32_t m : masks) put32(b, m);
    for (uint32_t c : palette) put32(b, c);
    b.insert(b.end(), pixels.begin(), pixels.end());
    return b;
}

DibImage decodeOk(const std::vector<uint8_t>& file) {
    DibImage img;
    std::string message, detail;
    EXPECT_TRUE(decodeDib(file, img, message, detail)) << message << " " << detail;
    return img;
}

std::string refusal(const std::vector<uint8_t>& file) {
    DibImage img;
    std::string message, detail;
    EXPECT_FALSE(decodeDib(file, img, message, detail));
    EXPECT_TRUE(img.pixels.empty());
    return message;
}

const std::vector<uint8_t> k24bit3x2 = {
    // bottom row: blue, green, red pixels, then 3 bytes of padding
    255, 0, 0, 0, 255, 0, 0, 0, 255, 0, 0, 0,
    // top row: white, black, grey
    255, 255, 255, 0, 0, 0, 128, 128, 128, 0, 0, 0};

}  // namespace

TEST(Bitmap, TwentyFourBitRowsArePaddedAndComeOutRgbBottomRowFirst) {
    const DibImage img = decodeOk(infoBmp(3, 2, 24, 0, {}, k24bit3x2));
    ASSERT_EQ(img.pixels.size(), 18u);
    EXPECT_EQ(img.width, 3);
    EXPECT_EQ(img.height, 2);
    const std::vector<uint8_t> expected = {0, 0, 255, 0, 255, 0, 255, 0, 0, 255, 255, 255, 0, 0, 0, 128, 128, 128};
    EXPECT_EQ(img.pixels, expected);
    // Stored top-down (negative height), the same picture comes out the same way round.
    std::vector<uint8_t> topDown(k24bit3x2.begin() + 12, k24bit3x2.end());
    topDown.insert(topDown.end(), k24bit3x2.begin(), k24bit3x2.begin() + 12);
    EXPECT_EQ(decodeOk(infoBmp(3, -2, 24, 0, {}, topDown)).pixels, expected);
}

TEST(Bitmap, PalettesOfOneFourAndEightBitsAndTheCoreHeader) {
    std::vector<uint32_t> grey(256);
    for (int i = 0; i < 256; ++i) grey[i] = i * 0x010101u;
    const DibImage eight = decodeOk(infoBmp(4, 1, 8, 0, grey, {0, 7, 200, 255}));
    EXPECT_EQ(eight.pixels[3], 7);
    EXPECT_EQ(eight.pixels[6], 200);
    const DibImage four = decodeOk(infoBmp(3, 1, 4, 0, {0x000000, 0x0000ff, 0x00ff00}, {0x12, 0x00, 0, 0}));
    EXPECT_EQ(four.pixels, (std::vector<uint8_t>{0, 0, 255, 0, 255, 0, 0, 0, 0}));
    const DibImage one = decodeOk(infoBmp(10, 1, 1, 0, {0x000000, 0xffffff}, {0xa0, 0x40, 0, 0}));
    EXPECT_EQ(one.pixels[0], 255);
    EXPECT_EQ(one.pixels[3], 0);
    EXPECT_EQ(one.pixels[6], 255);
    EXPECT_EQ(one.pixels[27], 255);  // pixel 9: second byte, bit 6

    // Core header: 16-bit sizes, 3-byte palette entries, pixels right after the palette.
    std::vector<uint8_t> core;
    put32(core, 12), put16(core, 2), put16(core, 1), put16(core, 1), put16(core, 1);
    core.insert(core.end(), {10, 20, 30, 40, 50, 60});  // two palette entries, B G R
    core.insert(core.end(), {0x40, 0, 0, 0});
    const DibImage c = decodeOk(core);
    EXPECT_EQ(c.pixels, (std::vector<uint8_t>{30, 20, 10, 60, 50, 40}));
}

TEST(Bitmap, SixteenAndThirtyTwoBitsWithAndWithoutBitFields) {
    // 5-5-5: pure red is 0x7c00; 5-6-5 with masks: pure green is 0x07e0.
    const DibImage rgb555 = decodeOk(infoBmp(2, 1, 16, 0, {}, {0x00, 0x7c, 0x1f, 0x00}));
    EXPECT_EQ(rgb555.pixels, (std::vector<uint8_t>{255, 0, 0, 0, 0, 255}));
    const DibImage rgb565 = decodeOk(infoBmp(2, 1, 16, 3, {}, {0xe0, 0x07, 0x00, 0x00}, {0xf800, 0x07e0, 0x001f}));
    EXPECT_EQ(rgb565.pixels, (std::vector<uint8_t>{0, 255, 0, 0, 0, 0}));
    const DibImage bgra = decodeOk(infoBmp(1, 1, 32, 0, {}, {1, 2, 3, 4}));
    EXPECT_EQ(bgra.pixels, (std::vector<uint8_t>{3, 2, 1}));
}

TEST(Bitmap, RunLengthEncodedPictures) {
    std::vector<uint32_t> palette = {0x000000, 0xff0000, 0x00ff00, 0x0000ff};
    // RLE8, 6 x 2: a run of 3 colour 1, an absolute run (2, 3, 2) padded to a whole word; end
    // of line; a delta of 4 to the right; one pixel of colour 3; end of bitmap.
    const std::vector<uint8_t> rle8Data = {3, 1, 0, 3, 2, 3, 2, 0, 0, 0, 0, 2, 4, 0, 1, 3, 0, 1};
    const DibImage rle8 = decodeOk(infoBmp(6, 2, 8, 1, palette, rle8Data));
    EXPECT_EQ(rle8.pixels[0], 255);             // row 0, pixel 0: red
    EXPECT_EQ(rle8.pixels[3 * 3 + 1], 255);     // pixel 3: green
    EXPECT_EQ(rle8.pixels[3 * 4 + 2], 255);     // pixel 4: blue
    EXPECT_EQ(rle8.pixels[3 * 5 + 1], 255);     // pixel 5: green
    EXPECT_EQ(rle8.pixels[3 * 10 + 2], 255);    // row 1, pixel 4: blue
    EXPECT_EQ(rle8.pixels[3 * 6], 0);           // skipped by the delta: left black
    // RLE4: a run of 4 alternating colours 1 and 2, then an absolute run of 3 nibbles (3, 1, 2).
    const DibImage rle4 = decodeOk(infoBmp(7, 1, 4, 2, palette, {4, 0x12, 0, 3, 0x31, 0x20, 0, 1}));
    const std::vector<uint8_t> expected = {255, 0, 0, 0, 255, 0, 255, 0, 0, 0, 255, 0, 0, 0, 255, 255, 0, 0, 0, 255, 0};
    EXPECT_EQ(rle4.pixels, expected);
    EXPECT_EQ(refusal(infoBmp(5, 2, 8, 1, palette, {3, 1, 0, 0})), "Image file conversion error.");  // no end marker
    EXPECT_EQ(refusal(infoBmp(5, 1, 8, 1, palette, {2, 9, 0, 1})), "Image file conversion error.");  // colour 9
}

TEST(Bitmap, RefusalsUseTheirFixedTexts) {
    std::vector<uint8_t> v108 = infoBmp(3, 2, 24, 0, {}, k24bit3x2);
    v108[14] = 108;
    EXPECT_EQ(refusal(v108), "Unknown DIB file format.");
    std::vector<uint8_t> shortData = infoBmp(3, 2, 24, 0, {}, k24bit3x2);
    shortData.resize(shortData.size() - 1);
    EXPECT_EQ(refusal(shortData), "Image file conversion error.");
    std::vector<uint8_t> huge = infoBmp(3, 2, 24, 0, {}, k24bit3x2);
    huge[18] = 0xff, huge[19] = 0xff;  // width 65535 with the same few bytes of data
    EXPECT_EQ(refusal(huge), "Image file conversion error.");
    EXPECT_EQ(refusal(infoBmp(0, 2, 24, 0, {}, {})), "Image file conversion error.");
    EXPECT_EQ(refusal(infoBmp(2, 2, 12, 0, {}, std::vector<uint8_t>(16))), "Image file conversion error.");

    testing::internal::CaptureStderr();
    EXPECT_EQ(loadDibImage("/no/such/skin.bmp"), nullptr);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Error: Failed to open DIB file /no/such/skin.bmp.\n");
}

TEST(Bitmap, EveryTruncationAndRandomDamageIsRefusedOrRead) {
    std::vector<uint32_t> palette(16, 0x336699);
    const std::vector<std::vector<uint8_t>> files = {
        infoBmp(3, 2, 24, 0, {}, k24bit3x2), infoBmp(6, 2, 8, 1, palette, {3, 1, 0, 3, 2, 3, 2, 0, 0, 0, 0, 2, 4, 0, 1, 3, 0, 1}),
        infoBmp(7, 1, 4, 2, palette, {4, 0x12, 0, 3, 0x31, 0x20, 0, 1}),
        infoBmp(2, 1, 16, 3, {}, {0xe0, 0x07, 0x00, 0x00}, {0xf800, 0x07e0, 0x001f})};
    std::mt19937 rng(99);
    for (const auto& file : files) {
        for (size_t n = 0; n < file.size(); ++n) {
            DibImage img;
            std::string m, d;
            EXPECT_FALSE(decodeDib(std::vector<uint8_t>(file.begin(), file.begin() + n), img, m, d)) << n;
        }
        for (int i = 0; i < 1500; ++i) {
            std::vector<uint8_t> damaged = file;
            for (int k = 0; k < 3; ++k) damaged[rng() % damaged.size()] = static_cast<uint8_t>(rng());
            DibImage img;
            std::string m, d;
            if (decodeDib(damaged, img, m, d)) {
                EXPECT_EQ(img.pixels.size(), static_cast<size_t>(img.width) * img.height * 3);
            }
        }
    }
}
