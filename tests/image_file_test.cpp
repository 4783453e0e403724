// Texture pictures in every format: the right way up, in the right colours, with the right
// type; and every damaged or hostile file refused without a read outside a buffer.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "scratch_dir.h"
#include "imageio/image_file.h"

namespace {

const std::string& pictures() {
    static const std::string dir = [] {
        const std::string d = scratchDir() + "pictures";
        std::system(("mkdir -p " + d + " && " TOVRAK_TOOLS_DIR "/make_pictures " + d).c_str());
        return d;
    }();
    return dir;
}

struct Planes {
    int width = 0, height = 0, type = -1, palette = -1;
    std::vector<unsigned char> r, g, b;
};

int load(const std::string& path, Planes& p) {
    const int info = imageInfo(path.c_str(), &p.width, &p.height, &p.type, &p.palette);
    if (info != kImageOk) return info;
    const size_t n = static_cast<size_t>(p.width) * p.height;
    p.r.assign(n, 0), p.g.assign(n, 0), p.b.assign(n, 0);
    return imageLoadRGB(path.c_str(), p.width, p.height, p.r.data(), p.g.data(), p.b.data());
}

std::string bytesOf(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

std::string writeTemp(const std::string& name, const std::string& bytes) {
    const std::string path = scratchDir() + name;
    std::ofstream(path, std::ios::binary) << bytes;
    return path;
}

}  // namespace

TEST(ImageFile, EveryFormatReadsTheRightWayUpInTheRightColours) {
    const struct {
        const char* file;
        int type;
        int slack;  // JPEG is lossy; grey has no colours
    } cases[] = {{"picture.png", kImageTypeRgb, 0},     {"palette.png", kImageTypePalette, 0},
                 {"picture.jpg", kImageTypeRgb, 40},    {"picture.tif", kImageTypeRgb, 0},
                 {"picture.bmp", kImageTypeRgb, 0},     {"grey.tif", kImageTypeGrey, -1}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        Planes p;
        ASSERT_EQ(load(pictures() + "/" + c.file, p), kImageOk);
        EXPECT_EQ(p.width, 48);
        EXPECT_EQ(p.height, 32);
        EXPECT_EQ(p.type, c.type);
        if (c.type == kImageTypePalette) {
            EXPECT_EQ(p.palette, 3);
        }
        const size_t bottomRight = 4 * 48 + 40, topRight = 28 * 48 + 40, left = 16 * 48 + 1;  // row 0 is the bottom
        if (c.slack < 0) {  // grey: a third of full brightness everywhere but for the band
            EXPECT_EQ(p.r[bottomRight], p.g[bottomRight]);
            EXPECT_NEAR(p.r[topRight], 85, 1);
            continue;
        }
        EXPECT_NEAR(p.b[bottomRight], 255, c.slack);
        EXPECT_NEAR(p.r[bottomRight], 0, c.slack);
        EXPECT_NEAR(p.r[topRight], 255, c.slack);
        EXPECT_NEAR(p.b[topRight], 0, c.slack);
        EXPECT_NEAR(p.g[left], 255, c.slack);
        EXPECT_NEAR(p.r[left], 0, c.slack);
    }
}

TEST(ImageFile, UnknownMissingAndChangedFilesGiveTheirCodes) {
    EXPECT_EQ(imageInfo(writeTemp("text.txt", "just some text").c_str(), nullptr, nullptr, nullptr, nullptr),
              kImageUnknown);
    EXPECT_EQ(imageInfo("/no/such/picture.png", nullptr, nullptr, nullptr, nullptr), kImageCannotOpen);
    EXPECT_EQ(imageInfo(scratchDir().c_str(), nullptr, nullptr, nullptr, nullptr), kImageCannotOpen);
    EXPECT_EQ(imageInfo(nullptr, nullptr, nullptr, nullptr, nullptr), kImageCannotOpen);
    // Planes sized for another picture are not written past.
    std::vector<unsigned char> r(4), g(4), b(4);
    EXPECT_EQ(imageLoadRGB((pictures() + "/picture.png").c_str(), 2, 2, r.data(), g.data(), b.data()), kImageSizeChanged);
}

TEST(ImageFile, EveryTruncationAndRandomDamageIsRefusedOrReadWithinItsSize) {
    std::mt19937 rng(7);
    for (const char* name : {"picture.png", "picture.jpg", "picture.tif", "picture.bmp", "palette.png"}) {
        SCOPED_TRACE(name);
        const std::string good = bytesOf(pictures() + "/" + name);
        ASSERT_FALSE(good.empty());
        auto check = [&](const std::string& bytes) {
            const std::string path = writeTemp("damaged", bytes);
            Planes p;
            const int result = load(path, p);
            if (result == kImageOk) {
                EXPECT_LE(static_cast<long long>(p.width) * p.height, kMaxImagePixels);
            }
            return result;
        };
        for (size_t n = 0; n < good.size(); n += 1 + good.size() / 150) {
            // JPEG and PNG decoders may fill in a truncated tail; nothing may be read past the end.
            check(good.substr(0, n));
        }
        int refused = 0;
        for (int i = 0; i < 300; ++i) {
            std::string bad = good;
            for (int k = 0; k < 3; ++k) bad[rng() % bad.size()] = static_cast<char>(rng());
            refused += check(bad) != kImageOk;
        }
        EXPECT_GT(refused, 0);
    }
}

TEST(ImageFile, Regression_HeadersClaimingHugePicturesAreRefusedBeforeAllocating) {
    // A PNG header claiming 20000 x 20000 pixels, as the 65-byte file of the PNG reader's own
    // regression: refused as too large, not decoded.
    std::string png = bytesOf(pictures() + "/picture.png");
    ASSERT_GT(png.size(), 24u);
    EXPECT_EQ(imageInfo(writeTemp("huge.png", std::string("\x89PNG\r\n\x1a\n\0\0\0\x0dIHDR\0\0\x4e\x20\0\0\x4e\x20\x08\x02\0\0\0\x6c\x12\xd1\x6e", 33) + png.substr(33)).c_str(), nullptr, nullptr, nullptr, nullptr), kImageTooLarge);
}

TEST(ImageFile, Regression_TiffWhoseStripsDwarfThePictureIsRefused) {
    // A 49 x 2273 TIFF (found by fuzzing) claiming 16641 samples a pixel in one strip: libtiff
    // would allocate 1.85 GB to decode it (and then find it damaged). Refused from its header
    // alone, before any decoding.
    const unsigned char tiff[] = {
        0x49, 0x49, 0x2a, 0x00, 0x4a, 0x00, 0x00, 0x00, 0x80, 0x15, 0x60, 0x50, 0x38, 0x24, 0x16, 0x0d, 0x07, 0x84,
        0x16, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x88, 0x44, 0x62, 0x51, 0x38, 0xa4, 0x56, 0x2d, 0x17, 0x8c,
        0x46, 0x63, 0x51, 0xb8, 0xe4, 0x76, 0x3d, 0x1f, 0x90, 0x48, 0x64, 0x52, 0x39, 0x24, 0x96, 0x4d, 0x27, 0x94,
        0x4a, 0x65, 0x52, 0xb9, 0x64, 0xb6, 0x5d, 0x2f, 0x98, 0x4c, 0x66, 0x53, 0x39, 0xa4, 0xd6, 0x6d, 0x33, 0x80,
        0x80, 0x00, 0x0a, 0x00, 0x00, 0x01, 0x03, 0x00, 0x01, 0x00, 0x00, 0x00, 0x31, 0x00, 0x00, 0x00, 0x01, 0x01,
        0x03, 0x00, 0x01, 0x00, 0x00, 0x00, 0xe1, 0x08, 0x00, 0x00, 0x02, 0x01, 0x03, 0x00, 0x01, 0x00, 0x00, 0x00,
        0x08, 0x00, 0x00, 0x00, 0x03, 0x01, 0x03, 0x00, 0x01, 0x00, 0x00, 0x00, 0x05, 0x00, 0x00, 0x00, 0x06, 0x01,
        0x03, 0x00, 0x01, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x11, 0x01, 0x04, 0x00, 0x01, 0x00, 0x00, 0x00,
        0x08, 0x00, 0x00, 0x00, 0x12, 0x01, 0x03, 0x00, 0x01, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x15, 0x01,
        0x03, 0x00, 0x01, 0x00, 0x00, 0x00, 0x01, 0x41, 0x00, 0x00, 0x17, 0x01, 0x04, 0x00, 0x01, 0x00, 0x00, 0x00,
        0x41, 0x00, 0x00, 0x00, 0x1c, 0x01, 0x03, 0x00, 0x01, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00,
        0x00, 0x00};
    const std::string path = writeTemp("many-samples.tif", std::string(reinterpret_cast<const char*>(tiff), sizeof tiff));
    EXPECT_EQ(imageInfo(path.c_str(), nullptr, nullptr, nullptr, nullptr), kImageDamaged);
}
