// Textures from picture files: sizes rounded up to powers of two, the alpha picture, 1-D
// textures, the paletted volume's files, and the settings the dump and the upload rely on. No
// OpenGL context is needed to load; extensions then read as absent.
#include <GL/gl.h>
#include <gtest/gtest.h>

#include <fstream>

#include "scratch_dir.h"
#include "imageio/png_file.h"
#include "scene/texture.h"
#include "scene/texture_files.h"

namespace {

std::string picture(const std::string& name, int w, int h, unsigned char grey) {
    RgbImage image;
    image.width = w, image.height = h;
    image.pixels.assign(static_cast<size_t>(w) * h * 3, grey);
    // The top-left pixel is red, to see the rows come bottom row first.
    image.pixels[0] = 255, image.pixels[1] = image.pixels[2] = 0;
    const std::string path = scratchDir() + name;
    std::string error;
    EXPECT_TRUE(writePng(path, image, error)) << error;
    return path;
}

std::string textFile(const std::string& name, const std::string& text) {
    const std::string path = scratchDir() + name;
    std::ofstream(path, std::ios::binary) << text;
    return path;
}

}  // namespace

TEST(Texture, ColourPicturesBecomePowerOfTwoTextures) {
    Texture scaled;
    ASSERT_TRUE(scaled.loadColor(picture("wide.png", 100, 60, 200).c_str(), nullptr));
    EXPECT_EQ(scaled.width(), 128);
    EXPECT_EQ(scaled.height(), 64);
    EXPECT_EQ(scaled.target(), static_cast<unsigned>(GL_TEXTURE_2D));
    EXPECT_EQ(scaled.pixels().size(), 128u * 64 * 3);
    EXPECT_EQ(scaled.pixels()[3 * (128 * 32 + 64)], 200);  // a plain area stays plain
    EXPECT_TRUE(scaled.isOpaque());

    Texture exact;
    ASSERT_TRUE(exact.loadColor(picture("square.png", 64, 64, 10).c_str(), nullptr));
    EXPECT_EQ(exact.width(), 64);
    // The red corner is the top row's first pixel: the last row of the buffer.
    EXPECT_EQ(exact.pixels()[3 * 64 * 63], 255);
    EXPECT_EQ(exact.pixels()[0], 10);

    Texture line;
    ASSERT_TRUE(line.loadColor(picture("column.png", 1, 16, 0).c_str(), nullptr));
    EXPECT_EQ(line.target(), static_cast<unsigned>(GL_TEXTURE_1D));
    EXPECT_EQ(line.width(), 16);
    EXPECT_EQ(line.height(), 1);
}

TEST(Texture, AlphaPictureMustMatchAndSetsOpacity) {
    const std::string colour = picture("colour.png", 32, 32, 90);
    Texture translucent;
    ASSERT_TRUE(translucent.loadColor(colour.c_str(), picture("alpha.png", 32, 32, 128).c_str()));
    EXPECT_EQ(translucent.format(), static_cast<unsigned>(GL_RGBA));
    EXPECT_FALSE(translucent.isOpaque());
    EXPECT_EQ(translucent.pixels()[3], 127);  // 0.3 + 0.59 + 0.11 of 128, truncated

    Texture mismatched;
    EXPECT_FALSE(mismatched.loadColor(colour.c_str(), picture("small_alpha.png", 16, 32, 255).c_str()));
    Texture missing;
    EXPECT_FALSE(missing.loadColor((scratchDir() + "none.png").c_str(), nullptr));
    EXPECT_EQ(missing.target(), 0u);
    EXPECT_TRUE(missing.pixels().empty());
}

TEST(Texture, TexturePathPrefixesNames) {
    const std::string dir = scratchDir();
    picture("in_dir.png", 8, 8, 1);
    setTexturePath(dir.c_str());
    Texture t;
    EXPECT_TRUE(t.loadColor("in_dir.png", nullptr));
    EXPECT_EQ(t.colourFile(), dir + "/in_dir.png");
    clearTexturePath();
    EXPECT_EQ(texturePath(), nullptr);
}

TEST(Texture, SettingsAreKeptAsOpenGLWantsThem) {
    Texture t;
    t.setWrap(GL_CLAMP, GL_REPEAT, GL_CLAMP);
    EXPECT_EQ(t.wrap()[0], static_cast<unsigned>(GL_CLAMP_TO_EDGE));
    EXPECT_EQ(t.wrap()[1], static_cast<unsigned>(GL_REPEAT));
    EXPECT_EQ(t.wrap()[2], static_cast<unsigned>(GL_CLAMP_TO_EDGE));
    t.setAnisotropy(32);  // beyond the maximum (1 without the extension)
    EXPECT_EQ(t.anisotropy(), 1.0f);
}

TEST(TextureFiles, PaletteAndIndexFilesAreCheckedAndPlaced) {
    std::vector<uint8_t> palette;
    int entries = 0;
    bool opaque = true;
    std::string error;
    ASSERT_TRUE(readPaletteFile(textFile("p.pal", "3\n0 0 0 255\n255 0 0 128\n0 0 255 255\n"), palette, entries, opaque, error));
    EXPECT_EQ(entries, 3);
    EXPECT_FALSE(opaque);
    EXPECT_EQ(palette[5], 0);
    for (const char* bad : {"three\n", "2\n0 0 0 255\n", "1\n0 0 0 256\n", "-1\n", "99999999\n"}) {
        EXPECT_FALSE(readPaletteFile(textFile("bad.pal", bad), palette, entries, opaque, error)) << bad;
        EXPECT_NE(error.find("bad format"), std::string::npos) << bad;
    }

    // A 3 x 2 x 1 volume goes into a 4 x 2 x 1 buffer, row by row.
    std::vector<uint8_t> volume;
    int pw, ph, pd;
    const std::string index = textFile("v.idx", std::string("\x01\x02\x03\x04\x05\x06", 6));
    ASSERT_TRUE(readIndexFile(index, 3, 2, 1, volume, pw, ph, pd, error));
    EXPECT_EQ(pw * 10 + ph + pd * 100, 4 * 10 + 2 + 100);
    EXPECT_EQ(volume, (std::vector<uint8_t>{1, 2, 3, 0, 4, 5, 6, 0}));
    EXPECT_FALSE(readIndexFile(index, 3, 3, 1, volume, pw, ph, pd, error));
    EXPECT_NE(error.find("did not have 3 x 3 x 1 bytes"), std::string::npos);
    EXPECT_FALSE(readIndexFile(index, 0, 3, 1, volume, pw, ph, pd, error));
    EXPECT_FALSE(readIndexFile(index, 40000, 40000, 40000, volume, pw, ph, pd, error));
}
