#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <fstream>
#include <random>

#include "scratch_dir.h"
#include "bitmap/dib_reader.h"
#include "models/md2_model.h"

namespace {

void put32(std::vector<uint8_t>& b, int32_t v) {
    for (int i = 0; i < 4; ++i) b.push_back(static_cast<uint8_t>((static_cast<uint32_t>(v) >> (8 * i)) & 0xff));
}
void put16(std::vector<uint8_t>& b, int v) { b.push_back(v & 0xff), b.push_back((v >> 8) & 0xff); }
void putFloat(std::vector<uint8_t>& b, float f) {
    int32_t bits;
    std::memcpy(&bits, &f, 4);
    put32(b, bits);
}

// A tetrahedron of 4 vertices and 4 triangles, with the given frame names; frame i moves every
// vertex by i along the file's x axis.
std::vector<uint8_t> smallMd2(const std::vector<std::string>& names, int version = 8) {
    const int vertices = 4, texCoords = 3, triangles = 4, frameSize = 40 + 4 * vertices;
    const int stOffset = 68 + 64, triOffset = stOffset + 4 * texCoords, frameOffset = triOffset + 12 * triangles;
    std::vector<uint8_t> b;
    for (int v : {0x32504449, version, 64, 32, frameSize, 1, vertices, texCoords, triangles, 0,
                  static_cast<int>(names.size()), 68, stOffset, triOffset, frameOffset, 0, 0})
        put32(b, v);
    b.resize(b.size() + 64, 0);
    for (auto [s, t] : {std::pair{0, 0}, {32, 16}, {64, 32}}) put16(b, s), put16(b, t);
    for (auto tri : {std::array<int, 3>{0, 1, 2}, {0, 2, 3}, {0, 3, 1}, {1, 3, 2}}) {
        for (int v : tri) put16(b, v);
        for (int v : tri) put16(b, v % texCoords);
    }
    for (size_t i = 0; i < names.size(); ++i) {
        for (float s : {1.0f, 1.0f, 1.0f}) putFloat(b, s);
        for (float t : {static_cast<float>(i), 0.0f, 0.0f}) putFloat(b, t);
        char name[16] = {};
        std::strncpy(name, names[i].c_str(), 15);
        b.insert(b.end(), name, name + 16);
        for (auto v : {std::array<int, 3>{10, 20, 30}, {0, 0, 0}, {40, 0, 0}, {0, 40, 0}}) {
            b.insert(b.end(), {static_cast<uint8_t>(v[0]), static_cast<uint8_t>(v[1]), static_cast<uint8_t>(v[2]), 0});
        }
    }
    return b;
}

std::vector<std::string> standAndRun() {
    std::vector<std::string> names;
    char n[16];
    for (int i = 1; i <= 40; ++i) std::snprintf(n, sizeof n, "stand%02d", i), names.push_back(n);
    for (int i = 1; i <= 6; ++i) std::snprintf(n, sizeof n, "run%02d", i), names.push_back(n);
    return names;
}

double g_clock = 0.0;
double testClock() { return g_clock; }

std::string writeTemp(const std::string& name, const std::vector<uint8_t>& bytes) {
    const std::string path = scratchDir() + name;
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    return path;
}

}  // namespace

TEST(Md2, ReadsFramesAxesTextureCoordinatesAndClips) {
    AnimModel m;
    std::string error;
    ASSERT_TRUE(parseMd2(smallMd2(standAndRun()), m, error)) << error;
    ASSERT_EQ(m.objectCount, 46);
    const AnimFrame& f0 = m.objects[0];
    // File vertex (10, 20, 30): the file's z becomes y, its y becomes -z.
    EXPECT_FLOAT_EQ(f0.vertices[0], 10.0f);
    EXPECT_FLOAT_EQ(f0.vertices[1], 30.0f);
    EXPECT_FLOAT_EQ(f0.vertices[2], -20.0f);
    EXPECT_FLOAT_EQ(m.objects[5].vertices[0], 15.0f);
    // Texture coordinate (0, 0) is (u, v) = (0, 1); (32, 16) on a 64 x 32 skin is (0.5, 0.5).
    EXPECT_FLOAT_EQ(f0.texVertices[0], 0.0f);
    EXPECT_FLOAT_EQ(f0.texVertices[1], 1.0f);
    EXPECT_FLOAT_EQ(f0.texVertices[2], 0.5f);
    EXPECT_FLOAT_EQ(f0.texVertices[3], 0.5f);
    EXPECT_EQ(f0.faces.size(), 4u);
    EXPECT_TRUE(m.objects[1].faces.empty());
    ASSERT_EQ(m.animationCount, 2);
    EXPECT_EQ(m.animations[0].name, "stand");
    EXPECT_EQ(m.animations[0].startFrame, 0);
    EXPECT_EQ(m.animations[0].endFrame, 40);
    EXPECT_EQ(m.animations[1].name, "run");
    EXPECT_EQ(m.animations[1].startFrame, 40);
    EXPECT_EQ(m.animations[1].endFrame, 45);
}

TEST(Md2, PlaybackStepsEvery200MillisecondsAndLoopsItsClip) {
    AnimModel m;
    std::string error;
    ASSERT_TRUE(parseMd2(smallMd2(standAndRun()), m, error));
    m.clockMs = testClock;
    g_clock = 5000.0;
    EXPECT_FLOAT_EQ(advanceAnimTime(m, 1), 0.0f);  // the first call starts the clock
    g_clock += 100.0;
    EXPECT_FLOAT_EQ(advanceAnimTime(m, 1), 0.5f);  // halfway to the next frame
    EXPECT_EQ(m.currentFrame, 0);
    g_clock += 100.0;
    EXPECT_FLOAT_EQ(advanceAnimTime(m, 1), 1.0f);
    EXPECT_EQ(m.currentFrame, 1);
    m.currentFrame = 39;
    EXPECT_EQ(nextAnimFrame(m), 0);
    m.currentFrame = 38;
    EXPECT_EQ(nextAnimFrame(m), 39);
    // A quarter of the way from frame 38 to 39 is drawn a quarter of the way, not from 39 back.
    float from[3], to[3], drawn[3];
    m.currentFrame = 38;
    blendedVertex(m, 39, 0.0f, 2, from);
    blendedVertex(m, 39, 1.0f, 2, to);
    blendedVertex(m, 39, 0.25f, 2, drawn);
    ASSERT_GT(std::hypot(to[0] - from[0], to[1] - from[1], to[2] - from[2]), 1e-3f);
    for (int k = 0; k < 3; ++k) {
        EXPECT_FLOAT_EQ(from[k], m.objects[38].vertices[6 + k]);
        EXPECT_FLOAT_EQ(drawn[k], from[k] + 0.25f * (to[k] - from[k]));
    }
}

TEST(Md2, WrongVersionMissingFileAndBrokenCountsAreRefusedWithAMessage) {
    AnimModel m;
    const std::string v7 = writeTemp("Ogros.md2", smallMd2({"a01", "a02"}, 7));
    testing::internal::CaptureStderr();
    EXPECT_FALSE(importMd2(m, v7, "OGRO.bmp"));
    EXPECT_FALSE(importMd2(m, "/no/such/Ogros.md2", "OGRO.bmp"));
    const std::string said = testing::internal::GetCapturedStderr();
    EXPECT_NE(said.find("Error: Invalid file format (Version not 8): " + v7 + "!\n"), std::string::npos);
    EXPECT_NE(said.find("Error: Unable to find the file: /no/such/Ogros.md2!\n"), std::string::npos);
    EXPECT_TRUE(m.objects.empty());

    const std::vector<uint8_t> good = smallMd2({"a01", "a02"});
    auto refuse = [&](int byte, int32_t value, const char* why) {
        std::vector<uint8_t> bad = good;
        for (int i = 0; i < 4; ++i) bad[byte + i] = static_cast<uint8_t>((static_cast<uint32_t>(value) >> (8 * i)) & 0xff);
        std::string error;
        AnimModel model;
        EXPECT_FALSE(parseMd2(bad, model, error)) << why;
        EXPECT_FALSE(error.empty());
        EXPECT_TRUE(model.objects.empty());
    };
    refuse(16, 8324, "frame size beyond the frame buffer");
    refuse(16, 20, "frame size too small for its vertices");
    refuse(8, 0, "skin width 0");
    refuse(40, 1000, "more frames than the file holds");
    refuse(56, 1 << 30, "frame offset past the end");
    refuse(24, -5, "negative vertex count");
    std::vector<uint8_t> badIndex = good;
    badIndex[68 + 64 + 12] = 9;  // first triangle's first vertex: 9 of 4
    std::string error;
    EXPECT_FALSE(parseMd2(badIndex, m, error));
}

TEST(Md2, EveryTruncationAndThousandsOfByteFlipsAreRefusedOrRead) {
    const std::vector<uint8_t> good = smallMd2(standAndRun());
    for (size_t n = 0; n < good.size(); n += (n < 400 ? 1 : 7)) {
        AnimModel m;
        std::string error;
        EXPECT_FALSE(parseMd2(std::vector<uint8_t>(good.begin(), good.begin() + n), m, error)) << n;
    }
    std::mt19937 rng(4);
    int loaded = 0;
    for (int i = 0; i < 4000; ++i) {
        std::vector<uint8_t> bad = good;
        const int flips = 1 + rng() % 4;
        for (int k = 0; k < flips; ++k) {
            // Mostly the header and tables, where a flip changes the most.
            const size_t at = (rng() % 3 == 0) ? rng() % bad.size() : rng() % std::min<size_t>(bad.size(), 300);
            bad[at] ^= static_cast<uint8_t>(1u << (rng() % 8));
        }
        AnimModel m;
        std::string error;
        if (!parseMd2(bad, m, error)) continue;
        ++loaded;
        for (const TriFace& f : m.objects[0].faces)
            for (int k = 0; k < 3; ++k) {
                ASSERT_LT(f.vertIndex[k], m.objects[0].vertexCount);
                ASSERT_LT(f.coordIndex[k], std::max(1, m.objects[0].texVertexCount));
            }
        for (int frame = 0; frame < 3; ++frame) m.currentFrame = nextAnimFrame(m);
        ASSERT_LT(m.currentFrame, m.objectCount);
    }
    EXPECT_GT(loaded, 100);
}

TEST(Md2, OurCreatureStandsOnTheTargetAndItsSkinReads) {
    AnimModel m;
    ASSERT_TRUE(importMd2(m, TOVRAK_BUILD_DIR "/Ogros.md2", TOVRAK_BUILD_DIR "/OGRO.bmp"));
    EXPECT_EQ(m.objectCount, 46);
    ASSERT_EQ(m.animations.size(), 2u);
    EXPECT_EQ(m.animations[0].name, "stand");
    EXPECT_EQ(m.animations[1].name, "run");
    // Drawn at 4.5 mm a unit: feet on the target plane, 10 to 15 cm tall, inside the target.
    float lowY = 1e9f, highY = -1e9f, widest = 0;
    for (const AnimFrame& f : m.objects)
        for (int v = 0; v < f.vertexCount; ++v) {
            lowY = std::min(lowY, f.vertices[3 * v + 1]);
            highY = std::max(highY, f.vertices[3 * v + 1]);
            widest = std::max({widest, std::fabs(f.vertices[3 * v]), std::fabs(f.vertices[3 * v + 2])});
        }
    EXPECT_NEAR(lowY, 0.0f, 0.2f);
    EXPECT_GT(highY * 4.5f, 100.0f);
    EXPECT_LT(highY * 4.5f, 150.0f);
    EXPECT_LT(widest * 4.5f, 80.0f);
    const auto skin = loadDibImage(TOVRAK_BUILD_DIR "/OGRO.bmp");
    ASSERT_NE(skin, nullptr);
    EXPECT_EQ(skin->width, 256);
    EXPECT_EQ(skin->height, 256);
}
