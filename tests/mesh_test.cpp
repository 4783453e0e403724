// Meshes: index types and bounds, vertex data rules, and the mesh file written by the dump and
// read back, with every damaged file refused without a read outside a buffer.
#include <GL/gl.h>
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <random>
#include <sstream>

#include "scratch_dir.h"
#include "scene/bounds.h"
#include "scene/mesh.h"

namespace {

std::string tempPath(const std::string& name) { return scratchDir() + name; }

std::string bytesOf(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

void writeFile(const std::string& path, const std::string& text) { std::ofstream(path, std::ios::binary) << text; }

VertexAttribArray* arrayOf(int kind, int components, std::vector<float> values) {
    auto* a = new VertexAttribArray(static_cast<int>(values.size()) / components, kind, components);
    a->set(a->count(), values.data());
    return a;
}

// A quad of four vertices with normals, colours (the third one not a number) and texture
// coordinates of unit 1, as two triangles and one strip.
std::unique_ptr<Mesh> quad() {
    auto mesh = std::make_unique<Mesh>();
    const float nan = std::nanf("");
    EXPECT_TRUE(mesh->addAttribArray(arrayOf(kAttribNormal, 3, {0, 0, 1, 0, 0, 1, 0, 0, 1, 0, 0, 1})));
    EXPECT_TRUE(mesh->addAttribArray(arrayOf(kAttribColour, 3, {1, 0, 0, 0, 1, 0, nan, 0, 1, 0.5f, 0.5f, 0.5f})));
    EXPECT_TRUE(mesh->addAttribArray(arrayOf(kAttribTexCoord0 + 1, 2, {0, 0, 1, 0, 1, 1, 0, 1})));
    EXPECT_TRUE(mesh->addAttribArray(arrayOf(kAttribPosition, 3, {0, 0, 0, 10, 0, 0, 10, 10, 0, 0, 10, 0})));
    auto* triangles = new TriangleSet(2, 4);
    triangles->setTriangle(0, 0, 1, 2);
    triangles->setTriangle(1, 0, 2, 3);
    mesh->addTriangleSet(triangles);
    auto* strip = new TriangleStripSet(4, 4);
    for (uint32_t i : {1u, 2u, 0u, 3u}) strip->append(i);
    mesh->addStripSet(strip);
    return mesh;
}

}  // namespace

TEST(IndexSet, TypeFollowsTheVertexCountAndWritesStayInside) {
    EXPECT_EQ(TriangleSet(1, 256).type(), static_cast<unsigned>(GL_UNSIGNED_BYTE));
    EXPECT_EQ(TriangleSet(1, 257).type(), static_cast<unsigned>(GL_UNSIGNED_SHORT));
    EXPECT_EQ(TriangleSet(1, 65536).type(), static_cast<unsigned>(GL_UNSIGNED_SHORT));
    EXPECT_EQ(TriangleSet(1, 65537).type(), static_cast<unsigned>(GL_UNSIGNED_INT));

    TriangleSet t(4, 300);
    for (uint32_t i = 0; i < 12; ++i) ASSERT_TRUE(t.append(i * 20));
    EXPECT_EQ(t.faceCount(), 4);
    EXPECT_EQ(t.lineCount(), 0);
    EXPECT_EQ(t.get(11), 220u);  // a short index survives beyond a byte
    EXPECT_FALSE(t.append(0));                 // beyond the allocation
    EXPECT_FALSE(t.set(0, 300));               // names no vertex
    EXPECT_FALSE(t.setTriangle(4, 0, 1, 2));   // past the last triangle
    EXPECT_FALSE(t.setTriangle(-1, 0, 1, 2));
    TriangleStripSet s(6, 10);
    for (uint32_t i = 0; i < 6; ++i) s.append(i);
    EXPECT_EQ(s.faceCount(), 4);
    EXPECT_FALSE(TriangleSet(1, 10).allocate(-1, 10));
    EXPECT_FALSE(TriangleSet(1, 10).allocate(kMaxMeshIndices + 1, 10));
}

TEST(VertexData, RefusesASecondKindAndAMismatchedCount) {
    VertexData data;
    auto* positions = arrayOf(kAttribPosition, 3, std::vector<float>(36));
    auto* second = arrayOf(kAttribPosition, 3, std::vector<float>(36));
    auto* colours = arrayOf(kAttribColour, 3, std::vector<float>(30));
    EXPECT_TRUE(data.add(positions));
    EXPECT_FALSE(data.add(second));
    EXPECT_FALSE(data.add(colours));
    EXPECT_EQ(data.getVertexCount(), 12);
    delete second;
    delete colours;
}

TEST(MeshFile, DumpedMeshReadsBackTheSame) {
    std::unique_ptr<Mesh> mesh = quad();
    const std::string path = tempPath("quad.msh");
    ASSERT_TRUE(mesh->saveMeshFile(path));
    const std::string text = bytesOf(path);
    // Per vertex the other attributes in the order added, the position last; the colour that is
    // not a number is left out and the vertex keeps the colour before it.
    EXPECT_EQ(text.substr(0, text.find("V 10")),
              "N 0.000000 0.000000 1.000000\nC 1.000000 0.000000 0.000000\nT1 0.000000 0.000000\n"
              "V 0.000000 0.000000 0.000000\nN 0.000000 0.000000 1.000000\nC 0.000000 1.000000 0.000000\n"
              "T1 1.000000 0.000000\n");
    EXPECT_NE(text.find("N 0.000000 0.000000 1.000000\nT1 1.000000 1.000000\nV 10"), std::string::npos);
    EXPECT_NE(text.find("--\nT 0 1 2\nT 0 2 3\n--\nS 4 1 2 0 3\n"), std::string::npos);

    Mesh back;
    ASSERT_TRUE(back.loadMeshFile(path));
    EXPECT_EQ(back.getVertexCount(), 4);
    EXPECT_EQ(back.faceCount(), 4);
    const VertexAttribArray* c = back.vertexData().find(kAttribColour);
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(c->vertex(2)[1], 1.0f);  // the second vertex's colour, carried
    const VertexAttribArray* t = back.vertexData().find(kAttribTexCoord0 + 1);
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(t->vertex(2)[0], 1.0f);
    uint32_t a, b, d;
    back.triangleSets()[0]->getTriangle(1, a, b, d);
    EXPECT_EQ(a + b * 10 + d * 100, 0u + 20 + 300);
    ASSERT_EQ(back.stripSets().size(), 1u);
    EXPECT_EQ(back.stripSets()[0]->get(3), 3u);

    // Written again, the text is the same but for the colour that was left out.
    const std::string again = tempPath("quad2.msh");
    ASSERT_TRUE(back.saveMeshFile(again));
    EXPECT_EQ(bytesOf(again).size(), text.size() + std::string("C 0.000000 1.000000 0.000000\n").size());
}

TEST(MeshFile, AttributesFirstSeenLateGiveEarlierVerticesTheirDefaults) {
    const std::string path = tempPath("late.msh");
    writeFile(path, "V 0 0 0\nN 1 0 0\nC 0.5 0.5 0.5 0.5\nT0 0.25\nV 1 0 0\nV 0 1 0\n--\nT 0 1 2\n--\n");
    Mesh m;
    ASSERT_TRUE(m.loadMeshFile(path));
    EXPECT_EQ(m.vertexData().find(kAttribNormal)->vertex(0)[2], 1.0f);
    EXPECT_EQ(m.vertexData().find(kAttribNormal)->vertex(1)[0], 1.0f);
    EXPECT_EQ(m.vertexData().find(kAttribColour)->vertex(0)[3], 1.0f);
    EXPECT_EQ(m.vertexData().find(kAttribTexCoord0)->vertex(0)[0], 0.0f);
    EXPECT_EQ(m.vertexData().find(kAttribTexCoord0)->vertex(2)[0], 0.25f);
}

TEST(MeshFile, DamagedFilesAreRefused) {
    const char* const bad[] = {
        "",                                           // nothing
        "V 0 0\nV 1 0 0\n--\nT 0 0 0\n--\n",          // position components differ
        "X 1 2 3\nV 0 0 0\n--\nT 0 0 0\n--\n",        // unknown line
        "V 0 0 0\nV 1 0 0\nV 0 1 0\n--\nT 0 1 3\n--\n",  // index beyond the vertices
        "V 0 0 0\nV 1 0 0\nV 0 1 0\n--\nT 0 1\n--\n",    // two indices
        "V 0 0 0\nV 1 0 0\nV 0 1 0\n--\n--\nS 9 0 1 2\n",  // a count beyond the indices given
        "V 0 0 0\nV 1 0 0\nV 0 1 0\n--\n--\nS 2 0 1\n",    // a strip of two
        "V 0 0 0\nV 1 0 0\nV 0 1 0\n--\n--\n",             // no triangle at all
        "V 0 0 nan\nV 1 0 0\nV 0 1 0\n--\nT 0 1 2\n--\n",  // not a number
        "V 0 0 0\nV 1 0 0\nV 0 1 0\nT 0 1 2\n",             // no section end
        "V 0 0 0\nV 0 1 0\nV 1 0 0\n--\nT 0 1 99999999999999999999\n--\n",
    };
    for (const char* text : bad) {
        SCOPED_TRACE(text);
        const std::string path = tempPath("bad.msh");
        writeFile(path, text);
        Mesh m;
        EXPECT_FALSE(m.loadMeshFile(path));
        EXPECT_EQ(m.getVertexCount(), 0);
    }
    Mesh m;
    EXPECT_FALSE(m.loadMeshFile(scratchDir()));  // a directory
}

TEST(MeshFile, EveryTruncationAndRandomDamageLoadsSoundlyOrIsRefused) {
    std::unique_ptr<Mesh> mesh = quad();
    const std::string good = tempPath("good.msh"), path = tempPath("damaged.msh");
    ASSERT_TRUE(mesh->saveMeshFile(good));
    const std::string text = bytesOf(good);
    std::mt19937 random(7);
    auto check = [&](const std::string& bytes) {
        writeFile(path, bytes);
        Mesh m;
        if (!m.loadMeshFile(path)) return;
        // What loads is consistent: every index names a vertex.
        for (const auto* sets : {&m.triangleSets(), &m.stripSets()})
            for (const auto& s : *sets)
                for (int i = 0; i < s->count(); ++i) ASSERT_LT(s->get(i), static_cast<uint32_t>(m.getVertexCount()));
    };
    for (size_t n = 0; n < text.size(); ++n) check(text.substr(0, n));
    for (int round = 0; round < 300; ++round) {
        std::string bytes = text;
        for (int k = 0; k < 4; ++k) bytes[random() % bytes.size()] = static_cast<char>("0123456789 -\n.eVTNCS"[random() % 21]);
        check(bytes);
    }
}
