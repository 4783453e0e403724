// Model files as users bring them (our own corpus, tools/make_models.cpp): what the import makes
// of each (axes against an independent 3DS reader, the up axis, textures found and decoded,
// vertex colours, generated texture coordinates), hostile files refused in one line without a
// hang, and the import's own numerics (welding, normals, the coarse copy) against ground truth.
#include <gtest/gtest.h>
#include <lib3ds/file.h>
#include <lib3ds/mesh.h>
#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <atomic>
#include <set>
#include <thread>

#include "imageio/png_file.h"
#include "imageio/texture_picture.h"
#include "models/import_process.h"
#include "models/mesh_clustering.h"
#include "models/mesh_welding.h"
#include "models/model_factory.h"
#include "models/placement.h"
#include "scratch_dir.h"

namespace {

const std::string kCorpus = TOVRAK_BUILD_DIR "/corpus/";

ImportedModel imported(const std::string& file) {
    ImportedModel m;
    std::string why;
    EXPECT_TRUE(importInChild(file, m, why)) << file << ": " << why;
    return m;
}

std::string refusal(const std::string& file) {
    ImportedModel m;
    std::string why;
    EXPECT_FALSE(importInChild(file, m, why)) << file;
    return why;
}

// Every vertex of the model where its nodes put it (column-major transforms, parents first).
std::vector<std::array<double, 3>> placedVertices(const ImportedModel& m) {
    std::vector<std::array<double, 16>> global(m.nodes.size());
    std::vector<std::array<double, 3>> out;
    for (size_t i = 0; i < m.nodes.size(); ++i) {
        const float* t = m.nodes[i].transform;
        std::array<double, 16>& g = global[i];
        for (int c = 0; c < 4; ++c)
            for (int r = 0; r < 4; ++r) {
                if (m.nodes[i].parent < 0) {
                    g[4 * c + r] = t[4 * c + r];
                    continue;
                }
                const std::array<double, 16>& p = global[m.nodes[i].parent];
                double sum = 0;
                for (int k = 0; k < 4; ++k) sum += p[4 * k + r] * t[4 * c + k];
                g[4 * c + r] = sum;
            }
        for (int mesh : m.nodes[i].meshes) {
            const std::vector<float>& p = m.meshes[mesh].positions;
            for (size_t v = 0; v + 2 < p.size(); v += 3) {
                std::array<double, 3> q;
                for (int r = 0; r < 3; ++r) q[r] = g[r] * p[v] + g[4 + r] * p[v + 1] + g[8 + r] * p[v + 2] + g[12 + r];
                out.push_back(q);
            }
        }
    }
    return out;
}

// Points rounded to a thousandth, each once.
std::set<std::array<long, 3>> pointSet(const std::vector<std::array<double, 3>>& points) {
    std::set<std::array<long, 3>> out;
    for (const auto& p : points) out.insert({std::lround(p[0] * 1000), std::lround(p[1] * 1000), std::lround(p[2] * 1000)});
    return out;
}

// The model's extent along each axis after the turn that puts `up` up.
std::array<double, 3> turnedExtent(const ImportedModel& m) {
    double R[9];
    turnUpToY(m.up, R);
    std::array<double, 3> lo{HUGE_VAL, HUGE_VAL, HUGE_VAL}, hi{-HUGE_VAL, -HUGE_VAL, -HUGE_VAL};
    for (const auto& p : placedVertices(m))
        for (int r = 0; r < 3; ++r) {
            const double v = R[3 * r] * p[0] + R[3 * r + 1] * p[1] + R[3 * r + 2] * p[2];
            lo[r] = std::min(lo[r], v), hi[r] = std::max(hi[r], v);
        }
    return {hi[0] - lo[0], hi[1] - lo[1], hi[2] - lo[2]};
}

// Share of a picture's pixels near each of two colours.
double shareNear(const ImportedPicture& p, int r, int g, int b) {
    size_t n = 0;
    for (size_t i = 0; i + 3 < p.rgba.size(); i += 4)
        n += std::abs(p.rgba[i] - r) < 40 && std::abs(p.rgba[i + 1] - g) < 40 && std::abs(p.rgba[i + 2] - b) < 40;
    return static_cast<double>(n) / (p.rgba.size() / 4);
}

void writeText(const std::string& path, const std::string& text) { std::ofstream(path, std::ios::binary) << text; }

}  // namespace

TEST(ModelCorpus, EveryTowerStandsTwiceAsTallAsItIsWideWhateverItsFormatsAxes) {
    struct Case {
        const char* file;
        AxisDirection up;
    };
    for (const Case& c : {Case{"tower.glb", {1, 1}}, Case{"tower.3ds", {2, 1}}, Case{"tower.stl", {2, 1}},
                          Case{"colours.ply", {2, 1}}}) {
        SCOPED_TRACE(c.file);
        const ImportedModel m = imported(kCorpus + c.file);
        EXPECT_EQ(m.up, c.up);
        const std::array<double, 3> e = turnedExtent(m);
        EXPECT_NEAR(e[1], 2.0, 1e-3);  // up
        EXPECT_NEAR(e[0], 1.0, 1e-3);
        EXPECT_NEAR(e[2], 1.0, 1e-3);
    }
}

TEST(ModelCorpus, ThreeDsVerticesAreWhereAnIndependentReaderFindsThem) {
    for (const std::string& file : {kCorpus + "tower.3ds", std::string(TOVRAK_BUILD_DIR "/p40/p40_2.3ds")}) {
        SCOPED_TRACE(file);
        Lib3dsFile* reference = lib3ds_file_load(file.c_str());
        ASSERT_NE(reference, nullptr);
        std::vector<std::array<double, 3>> theirs;
        for (Lib3dsMesh* mesh = reference->meshes; mesh; mesh = mesh->next)
            for (unsigned i = 0; i < mesh->points; ++i)
                theirs.push_back({mesh->pointL[i].pos[0], mesh->pointL[i].pos[1], mesh->pointL[i].pos[2]});
        lib3ds_file_free(reference);
        EXPECT_EQ(pointSet(placedVertices(imported(file))), pointSet(theirs));
    }
}

TEST(ModelCorpus, TexturesAreFoundDecodedAndMappedAsUsersHaveThem) {
    // Inside a binary glTF; beside a 3DS file; named with backslashes and the wrong case; TGA.
    struct Case {
        const char* file;
        std::array<int, 3> lower, upper;
    };
    for (const Case& c : {Case{"tower.glb", {220, 30, 30}, {30, 60, 220}}, Case{"tower.3ds", {220, 30, 30}, {30, 60, 220}},
                          Case{"crate/crate.obj", {230, 210, 30}, {30, 210, 220}},
                          Case{"house/house.obj", {30, 200, 60}, {220, 40, 200}}}) {
        SCOPED_TRACE(c.file);
        const ImportedModel m = imported(kCorpus + c.file);
        EXPECT_TRUE(m.warnings.empty()) << m.warnings.front();
        ASSERT_EQ(m.pictures.size(), 1u);
        EXPECT_TRUE(std::any_of(m.materials.begin(), m.materials.end(), [](const ImportedMaterial& mat) { return mat.picture == 0; }));
        EXPECT_GT(shareNear(m.pictures[0], c.lower[0], c.lower[1], c.lower[2]), 0.4);
        EXPECT_GT(shareNear(m.pictures[0], c.upper[0], c.upper[1], c.upper[2]), 0.4);
        if (c.lower[0] == 220) {
            // Rows bottom first: the red half is the first half of the rows.
            const ImportedPicture& p = m.pictures[0];
            EXPECT_GT(p.rgba[0], 150);
            EXPECT_GT(p.rgba[p.rgba.size() - 2], 150);  // blue, top right
        }
    }
    // A sphere whose material asks for a spherical mapping gets coordinates from it: the
    // northern half of its surface reads the upper half of the picture.
    const ImportedModel globe = imported(kCorpus + "globe.assbin");
    ASSERT_EQ(globe.meshes.size(), 1u);
    const ImportedMesh& sphere = globe.meshes[0];
    ASSERT_EQ(sphere.uv.size(), 2u * sphere.vertexCount());
    int north = 0, northUpper = 0;
    for (int v = 0; v < sphere.vertexCount(); ++v)
        if (sphere.positions[3 * v + 1] > 1.5f) ++north, northUpper += sphere.uv[2 * v + 1] > 0.5f;
    EXPECT_GT(north, 0);
    EXPECT_EQ(northUpper, north);
}

TEST(ModelCorpus, VertexColoursComeThroughAndMissingOrDamagedTexturesAreNamedOnce) {
    const ImportedModel ply = imported(kCorpus + "colours.ply");
    ASSERT_EQ(ply.meshes.size(), 1u);
    const ImportedMesh& tower = ply.meshes[0];
    ASSERT_EQ(tower.colours.size(), 4u * tower.vertexCount());
    for (int v = 0; v < tower.vertexCount(); ++v) {
        const bool top = tower.positions[3 * v + 2] > 1.5f;
        EXPECT_GT(tower.colours[4 * v + (top ? 2 : 0)], 0.8f) << v;
    }

    // The house without its textures folder: one line naming the texture, drawn without it.
    const std::string dir = scratchDir() + "bare/";
    mkdir(dir.c_str(), 0755);
    for (const char* f : {"house.obj", "house.mtl"}) std::filesystem::copy_file(kCorpus + "house/" + f, dir + f);
    const ImportedModel bare = imported(dir + "house.obj");
    ASSERT_EQ(bare.warnings.size(), 1u);
    EXPECT_NE(bare.warnings[0].find("textures\\Sub\\Check.PNG is missing"), std::string::npos) << bare.warnings[0];
    EXPECT_EQ(bare.materials.back().picture, -1);

    // A JPEG cut short that claims 16384 x 2048: said once, read as far as it goes.
    const ImportedModel bomb = imported(kCorpus + "bomb/bomb.obj");
    ASSERT_EQ(bomb.warnings.size(), 1u);
    EXPECT_NE(bomb.warnings[0].find("claims.jpg is truncated"), std::string::npos) << bomb.warnings[0];
    ASSERT_EQ(bomb.pictures.size(), 1u);
    EXPECT_LE(std::max(bomb.pictures[0].width, bomb.pictures[0].height), kMaxTexturePictureSide);
}

TEST(ModelImportSafety, HostileFilesAreRefusedInOneLineOrLoadedBoundedNeverHang) {
    const std::string dir = scratchDir() + "hostile/";
    mkdir(dir.c_str(), 0755);
    // Headers that claim far more than their files hold.
    writeText(dir + "claims.off", "OFF\n100000000 100000000 0\n0 0 0\n");
    writeText(dir + "claims.ply", "ply\nformat ascii 1.0\nelement vertex 3\nproperty float x\nproperty float y\n"
                                  "property float z\nelement face 50000000\nproperty list uchar int vertex_indices\n"
                                  "end_header\n0 0 0\n1 0 0\n0 1 0\n3 0 1 2\n");
    EXPECT_NE(refusal(dir + "claims.off").find("claims 100000000 vertices"), std::string::npos);
    EXPECT_NE(refusal(dir + "claims.ply").find("claims 50000000"), std::string::npos);
    EXPECT_EQ(refusal(kCorpus + "points.ply"), "has only points or lines, nothing to draw");

    // Files a model names: outside its folder, or a FIFO that would block a reader forever.
    const std::string triangle = R"("meshes":[{"primitives":[{"attributes":{"POSITION":0}}]}],"accessors":[{"bufferView":0,)"
                                 R"("componentType":5126,"count":3,"type":"VEC3","min":[0,0,0],"max":[1,1,0]}],)"
                                 R"("bufferViews":[{"buffer":0,"byteLength":36}],)";
    auto gltf = [&](const std::string& uri, const std::string& nodes) {
        return R"({"asset":{"version":"2.0"},"scene":0,"scenes":[{"nodes":[0]}],"nodes":)" + nodes + "," + triangle +
               R"("buffers":[{"byteLength":36,"uri":")" + uri + R"("}]})";
    };
    writeText(dir + "escape.gltf", gltf("../../../../../../../../etc/passwd", R"([{"mesh":0}])"));
    EXPECT_NE(refusal(dir + "escape.gltf").find("outside the model's folder"), std::string::npos);
    ASSERT_EQ(mkfifo((dir + "pipe.bin").c_str(), 0644), 0);
    writeText(dir + "pipe.gltf", gltf("pipe.bin", R"([{"mesh":0}])"));
    EXPECT_NE(refusal(dir + "pipe.gltf").find("not a regular file"), std::string::npos);
    ASSERT_EQ(mkfifo((dir + "pipe.mtl").c_str(), 0644), 0);
    writeText(dir + "pipe.obj", "mtllib pipe.mtl\nv 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\n");
    const ImportedModel piped = imported(dir + "pipe.obj");
    ASSERT_EQ(piped.warnings.size(), 1u);
    EXPECT_NE(piped.warnings[0].find("pipe.mtl is not a regular file"), std::string::npos);

    // 18,000 nodes nested in one another: loaded, the tree folded to a depth the scene takes.
    const std::string pos = "AAAAAAAAAAAAAAAAAACAPwAAAAAAAAAAAAAAAAAAgD8AAAAA";  // (0,0,0) (1,0,0) (0,1,0)
    std::string nodes = "[";
    for (int i = 0; i < 18000; ++i) nodes += i + 1 < 18000 ? "{\"children\":[" + std::to_string(i + 1) + "]}," : "{\"mesh\":0}]";
    writeText(dir + "deep.gltf", gltf("data:application/octet-stream;base64," + pos, nodes));
    const ImportedModel deep = imported(dir + "deep.gltf");
    ASSERT_EQ(deep.nodes.size(), 18000u);
    int depth = 0;
    for (int at = static_cast<int>(deep.nodes.size()) - 1; at > 0; at = deep.nodes[at].parent) ++depth;
    EXPECT_LE(depth, 65);
}

TEST(ModelImportSafety, ALoadAskedToStopEndsAtOnce) {
    ImportedModel m;
    std::string why;
    EXPECT_FALSE(importInChild(kCorpus + "tower.glb", m, why, [] { return true; }));
    EXPECT_EQ(why, "was not loaded: loading was interrupted");
}

TEST(ModelImportSafety, TheResultsBytesCutOrChangedAreRefusedOrStillConsistent) {
    const std::vector<uint8_t> bytes = encodeModel(imported(kCorpus + "tower.glb"));
    ImportedModel back;
    std::string why;
    ASSERT_TRUE(decodeModel(bytes.data(), bytes.size(), back, why)) << why;
    EXPECT_EQ(encodeModel(back), bytes);
    for (size_t cut = 0; cut < bytes.size(); cut += 7) EXPECT_FALSE(decodeModel(bytes.data(), cut, back, why)) << cut;
    // Any byte changed: refused, or a model whose every index is inside its table.
    for (size_t at = 0; at < bytes.size(); at += 3) {
        std::vector<uint8_t> changed = bytes;
        changed[at] ^= 0xA5;
        if (!decodeModel(changed.data(), changed.size(), back, why)) continue;
        for (const ImportedMesh& mesh : back.meshes)
            for (uint32_t f : mesh.faces) ASSERT_LT(f, static_cast<uint32_t>(mesh.vertexCount())) << at;
    }
}

// Normals made for a file that gives none: a cube, welded as one vertex a corner (as a file that
// shares its corners gives it), keeps its edges sharp: each face's corners take the face's own
// normal, 24 vertices in all. A 24-sided prism's sides, 15 degrees apart, shade smooth: one
// normal a side vertex, level and within 4 degrees of straight out (its faces weigh by their area,
// two triangles of one side against one of the other: 2.5 degrees; a face's own normal would be
// 7.5 degrees off).
TEST(MeshNumerics, MadeNormalsKeepHardEdgesHardAndSoftOnesSmooth) {
    ImportedMesh cube;
    // Corner i at (i & 1, i >> 1 & 1, i >> 2 & 1); each quad counter-clockwise seen from outside.
    const int quads[6][4] = {{0, 2, 3, 1}, {4, 5, 7, 6}, {0, 1, 5, 4}, {2, 6, 7, 3}, {0, 4, 6, 2}, {1, 3, 7, 5}};
    for (int i = 0; i < 8; ++i) cube.positions.insert(cube.positions.end(), {float(i & 1), float((i >> 1) & 1), float((i >> 2) & 1)});
    for (const auto& q : quads)
        for (int k : {0, 1, 2, 0, 2, 3}) cube.faces.push_back(static_cast<uint32_t>(q[k]));
    weldVertices(cube);
    makeCreasedNormals(cube, kCreaseAngleDeg);
    ASSERT_EQ(cube.vertexCount(), 24);
    ASSERT_EQ(cube.faces.size(), 36u);
    for (size_t f = 0; f < 36; f += 3) {
        const float* p[3];
        for (int k = 0; k < 3; ++k) p[k] = &cube.positions[3 * cube.faces[f + k]];
        const float e1[3] = {p[1][0] - p[0][0], p[1][1] - p[0][1], p[1][2] - p[0][2]};
        const float e2[3] = {p[2][0] - p[0][0], p[2][1] - p[0][1], p[2][2] - p[0][2]};
        const float face[3] = {e1[1] * e2[2] - e1[2] * e2[1], e1[2] * e2[0] - e1[0] * e2[2], e1[0] * e2[1] - e1[1] * e2[0]};
        for (int k = 0; k < 3; ++k)
            for (int r = 0; r < 3; ++r) EXPECT_FLOAT_EQ(cube.normals[3 * cube.faces[f + k] + r], face[r]) << f;
    }

    ImportedMesh prism;
    const int sides = 24;
    for (int s = 0; s < sides; ++s)
        for (float z : {0.0f, 1.0f})
            prism.positions.insert(prism.positions.end(), {float(std::cos(2 * M_PI * s / sides)), float(std::sin(2 * M_PI * s / sides)), z});
    for (uint32_t s = 0; s < sides; ++s) {
        const uint32_t a = 2 * s, b = 2 * ((s + 1) % sides);
        prism.faces.insert(prism.faces.end(), {a, b, b + 1, a, b + 1, a + 1});
    }
    weldVertices(prism);
    makeCreasedNormals(prism, kCreaseAngleDeg);
    ASSERT_EQ(prism.vertexCount(), 2 * sides);
    for (int v = 0; v < prism.vertexCount(); ++v) {
        const float* p = &prism.positions[3 * v];
        const float* n = &prism.normals[3 * v];
        EXPECT_GT(n[0] * p[0] + n[1] * p[1], std::cos(4 * M_PI / 180)) << v;
        EXPECT_NEAR(n[2], 0, 1e-6) << v;
    }
}

TEST(MeshNumerics, TheCoarseCopyOfALargeSphereHasFarFewerTrianglesOnTheSameSurface) {
    ImportedMesh sphere;
    const int rings = 400, segments = 500;  // 400,000 triangles
    for (int r = 0; r <= rings; ++r)
        for (int s = 0; s <= segments; ++s) {
            const double th = M_PI * r / rings, ph = 2 * M_PI * s / segments;
            const float p[3] = {float(std::sin(th) * std::cos(ph)), float(std::cos(th)), float(std::sin(th) * std::sin(ph))};
            sphere.positions.insert(sphere.positions.end(), p, p + 3);
            sphere.normals.insert(sphere.normals.end(), p, p + 3);
        }
    for (int r = 0; r < rings; ++r)
        for (int s = 0; s < segments; ++s) {
            const uint32_t a = r * (segments + 1) + s, b = a + segments + 1;
            sphere.faces.insert(sphere.faces.end(), {a, b, a + 1, a + 1, b, b + 1});
        }
    const ImportedMesh coarse = clusteredCopy(sphere);
    EXPECT_LT(coarse.faces.size() * 2, sphere.faces.size());
    EXPECT_GT(coarse.faces.size() / 3, 20000u);
    const double cell = 2.0 / kClusterCells;
    for (int v = 0; v < coarse.vertexCount(); ++v) {
        const float* p = &coarse.positions[3 * v];
        ASSERT_NEAR(std::sqrt(p[0] * p[0] + p[1] * p[1] + p[2] * p[2]), 1.0, cell) << v;
        const float* n = &coarse.normals[3 * v];
        ASSERT_GT(n[0] * p[0] + n[1] * p[1] + n[2] * p[2], 0.9f) << v;  // still facing out
    }
    for (uint32_t f : coarse.faces) ASSERT_LT(f, static_cast<uint32_t>(coarse.vertexCount()));
}

TEST(MeshNumerics, WeldingKeepsTheHardEdgesAFileGives) {
    // A cube whose file gives each face its own normal: corners equal in place but not in normal
    // stay apart, so its edges stay sharp and its normals are the file's.
    ImportedMesh cube;
    const int quads[6][4] = {{0, 2, 3, 1}, {4, 5, 7, 6}, {0, 1, 5, 4}, {2, 6, 7, 3}, {0, 4, 6, 2}, {1, 3, 7, 5}};
    const float normals[6][3] = {{0, 0, -1}, {0, 0, 1}, {0, -1, 0}, {0, 1, 0}, {-1, 0, 0}, {1, 0, 0}};
    for (int q = 0; q < 6; ++q)
        for (int k : {0, 1, 2, 0, 2, 3}) {
            const int i = quads[q][k];
            cube.positions.insert(cube.positions.end(), {float(i & 1), float((i >> 1) & 1), float((i >> 2) & 1)});
            cube.normals.insert(cube.normals.end(), normals[q], normals[q] + 3);
            cube.faces.push_back(static_cast<uint32_t>(cube.faces.size()));
        }
    const ImportedMesh given = cube;
    weldVertices(cube);
    EXPECT_EQ(cube.vertexCount(), 24);  // four corners a face
    for (size_t f = 0; f < cube.faces.size(); ++f)
        for (int k = 0; k < 3; ++k) {
            EXPECT_EQ(cube.normals[3 * cube.faces[f] + k], given.normals[3 * given.faces[f] + k]);
            EXPECT_EQ(cube.positions[3 * cube.faces[f] + k], given.positions[3 * given.faces[f] + k]);
        }
}

TEST(MeshNumerics, TheCoarseCopyNeverMergesVerticesFromCubesApart) {
    // A vertex on the mesh's far face (its cube index along y is kClusterCells itself) and one in
    // the next cube along x would share a key if the key's digits were too narrow: each vertex of
    // the copy must stay within a cube of the vertices it stands for.
    ImportedMesh mesh;
    const float height = 1.25f, side = height / kClusterCells;  // exact in binary: the far face's index is kClusterCells
    auto triangle = [&](float x, float y, float z) {
        const uint32_t first = static_cast<uint32_t>(mesh.positions.size() / 3);
        mesh.positions.insert(mesh.positions.end(), {x, y, z, x + 0.2f * side, y, z, x, y, z + 0.2f * side});
        mesh.normals.insert(mesh.normals.end(), {0, 1, 0, 0, 1, 0, 0, 1, 0});
        mesh.faces.insert(mesh.faces.end(), {first, first + 1, first + 2});
    };
    for (int k = 0; k < 40; ++k) {
        triangle(k * 0.02f, height, k * 0.02f);        // on the far face in y
        triangle(k * 0.02f + side * 1.1f, 0.0f, k * 0.02f);  // a cube along x, at the near face
    }
    const ImportedMesh coarse = clusteredCopy(mesh);
    for (int v = 0; v < coarse.vertexCount(); ++v) {
        const float* p = &coarse.positions[3 * v];
        double nearest = 1e9;
        for (int w = 0; w < mesh.vertexCount(); ++w) {
            const float* q = &mesh.positions[3 * w];
            nearest = std::min(nearest, static_cast<double>(std::hypot(p[0] - q[0], p[1] - q[1], p[2] - q[2])));
        }
        ASSERT_LT(nearest, 2 * side) << v;
    }
}

// The rules a reader finds in one place: each format's up axis with its source, a file's
// placeholder colours left out, a texture kept out by the folder rule named as refused.
TEST(ModelCorpus, UpAxesPlaceholderColoursAndRefusedTexturesAreSaidAsTheyAre) {
    const std::string dir = scratchDir() + "rules/";
    mkdir(dir.c_str(), 0755);
    const ImportedModel glb = imported(kCorpus + "tower.glb");
    EXPECT_EQ(glb.up, (AxisDirection{1, 1}));
    EXPECT_EQ(glb.upSource, "the format's convention");
    const ImportedModel stl = imported(kCorpus + "tower.stl");
    EXPECT_EQ(stl.up, (AxisDirection{2, 1}));
    EXPECT_EQ(stl.upSource, "3D printing's and scanning's convention");
    writeText(dir + "z-up.dae",
              "<?xml version=\"1.0\"?><COLLADA xmlns=\"http://www.collada.org/2005/11/COLLADASchema\" version=\"1.4.1\">"
              "<asset><up_axis>Z_UP</up_axis></asset><library_geometries><geometry id=\"g\"><mesh>"
              "<source id=\"p\"><float_array id=\"pa\" count=\"9\">0 0 0 1 0 0 0 0 1</float_array><technique_common>"
              "<accessor source=\"#pa\" count=\"3\" stride=\"3\"><param name=\"X\" type=\"float\"/><param name=\"Y\" type=\"float\"/>"
              "<param name=\"Z\" type=\"float\"/></accessor></technique_common></source><vertices id=\"v\">"
              "<input semantic=\"POSITION\" source=\"#p\"/></vertices><triangles count=\"1\"><input semantic=\"VERTEX\" "
              "source=\"#v\" offset=\"0\"/><p>0 1 2</p></triangles></mesh></geometry></library_geometries>"
              "<library_visual_scenes><visual_scene id=\"s\"><node id=\"n\"><instance_geometry url=\"#g\"/></node></visual_scene>"
              "</library_visual_scenes><scene><instance_visual_scene url=\"#s\"/></scene></COLLADA>");
    const ImportedModel dae = imported(dir + "z-up.dae");
    EXPECT_EQ(dae.up, (AxisDirection{2, 1}));
    EXPECT_EQ(dae.upSource, "file's metadata");
    const std::string ogexMesh = "GeometryNode $n { ObjectRef {ref {$g}} }\nGeometryObject $g { Mesh (primitive = \"triangles\") "
                                 "{ VertexArray (attrib = \"position\") { float[3] { {0,0,0},{1,0,0},{0,1,0} } } "
                                 "IndexArray { unsigned_int32[3] { {0,1,2} } } } }\n";
    writeText(dir + "z-up.ogex", "Metric (key = \"up\") {string {\"z\"}}\n" + ogexMesh);
    const ImportedModel ogex = imported(dir + "z-up.ogex");
    EXPECT_EQ(ogex.up, (AxisDirection{2, 1}));
    EXPECT_EQ(ogex.upSource, "file's metadata");

    // Refusals with their cause: the reader's own words from its log, and a text encoding.
    writeText(dir + "broken.ogex", "Metric (key = \"up\") {string {\"z\"}\nGeometryNode $n { broken");
    EXPECT_NE(refusal(dir + "broken.ogex").find("Invalid token"), std::string::npos) << refusal(dir + "broken.ogex");
    writeText(dir + "wide.ase", std::string("\xff\xfe*\0003\0D\0", 8));
    EXPECT_NE(refusal(dir + "wide.ase").find("UTF-16"), std::string::npos) << refusal(dir + "wide.ase");

    // Every vertex (0, 0, 0, 0): no colours, the material's colour drawn; one real colour keeps them.
    const std::string head = "ply\nformat ascii 1.0\nelement vertex 3\nproperty float x\nproperty float y\nproperty float z\n"
                             "property uchar red\nproperty uchar green\nproperty uchar blue\nproperty uchar alpha\n"
                             "element face 1\nproperty list uchar int vertex_indices\nend_header\n";
    writeText(dir + "placeholder.ply", head + "0 0 0 0 0 0 0\n1 0 0 0 0 0 0\n0 1 0 0 0 0 0\n3 0 1 2\n");
    writeText(dir + "coloured.ply", head + "0 0 0 0 0 0 0\n1 0 0 255 0 0 255\n0 1 0 0 0 0 0\n3 0 1 2\n");
    ASSERT_EQ(imported(dir + "placeholder.ply").meshes.size(), 1u);
    EXPECT_TRUE(imported(dir + "placeholder.ply").meshes[0].colours.empty());
    EXPECT_FALSE(imported(dir + "coloured.ply").meshes[0].colours.empty());

    // A texture in a sibling folder ("../textures/wood.png"): refused, and said to be.
    mkdir((dir + "textures").c_str(), 0755);
    std::filesystem::copy_file(kCorpus + "tower.png", dir + "textures/wood.png", std::filesystem::copy_options::overwrite_existing);
    mkdir((dir + "model").c_str(), 0755);
    writeText(dir + "model/m.mtl", "newmtl wood\nKd 1 1 1\nmap_Kd ../textures/wood.png\n");
    writeText(dir + "model/m.obj", "mtllib m.mtl\nv 0 0 0\nv 1 0 0\nv 0 1 0\nvt 0 0\nvt 1 0\nvt 0 1\nusemtl wood\nf 1/1 2/2 3/3\n");
    const ImportedModel sibling = imported(dir + "model/m.obj");
    ASSERT_EQ(sibling.warnings.size(), 1u);
    EXPECT_NE(sibling.warnings[0].find("refused: outside the model's folder"), std::string::npos) << sibling.warnings[0];
    // --assets names that folder: the texture is read, and nothing beside it.
    ImportedModel allowed;
    std::string why;
    ASSERT_TRUE(importInChild(dir + "model/m.obj", allowed, why, nullptr, dir + "textures")) << why;
    EXPECT_TRUE(allowed.warnings.empty()) << allowed.warnings[0];
    EXPECT_EQ(allowed.pictures.size(), 1u);
    writeText(dir + "model/m.mtl", "newmtl wood\nKd 1 1 1\nmap_Kd ../placeholder.ply\n");
    ASSERT_TRUE(importInChild(dir + "model/m.obj", allowed, why, nullptr, dir + "textures")) << why;
    ASSERT_EQ(allowed.warnings.size(), 1u);
    EXPECT_NE(allowed.warnings[0].find("refused"), std::string::npos) << allowed.warnings[0];
}

// The whole texture budget in one picture (8192 x 8192) loads, and every model of the corpus
// loads while both cores are kept busy: the import's time is the child's own CPU time.
TEST(ModelImportSafety, ABudgetsWorthOfTextureAndABusyMachineLoadAsAnIdleOneDoes) {
    const std::string dir = scratchDir() + "budget/";
    mkdir(dir.c_str(), 0755);
    RgbImage big;
    big.width = big.height = 8192;
    big.pixels.assign(static_cast<size_t>(8192) * 8192 * 3, 0);
    for (size_t row = 0; row < 8192; ++row)  // red above, blue below, as a texture shows it
        for (size_t x = 0; x < 8192; ++x) big.pixels[3 * (row * 8192 + x) + (row < 4096 ? 0 : 2)] = 255;
    std::string error;
    ASSERT_TRUE(writePng(dir + "big.png", big, error)) << error;
    big = RgbImage{};
    writeText(dir + "m.mtl", "newmtl t\nKd 1 1 1\nmap_Kd big.png\n");
    writeText(dir + "m.obj", "mtllib m.mtl\nv 0 0 0\nv 1 0 0\nv 0 1 0\nvt 0 0\nvt 1 0\nvt 0 1\nusemtl t\nf 1/1 2/2 3/3\n");
    const ImportedModel textured = imported(dir + "m.obj");
    EXPECT_TRUE(textured.warnings.empty()) << textured.warnings[0];
    ASSERT_EQ(textured.pictures.size(), 1u);
    EXPECT_EQ(textured.pictures[0].width, kMaxTexturePictureSide);

    std::atomic<bool> stop{false};
    std::vector<std::thread> busy;
    for (int i = 0; i < 2; ++i)
        busy.emplace_back([&] {
            volatile double x = 1;
            while (!stop) x = x * 1.0000001 + 1e-9;
        });
    for (const char* m : {"tower.glb", "mirrored.glb", "tower.3ds", "tower.stl", "colours.ply", "globe.assbin", "house/house.obj",
                          "crate/crate.obj", "bomb/bomb.obj"}) {
        ImportedModel model;
        std::string why;
        EXPECT_TRUE(importInChild(kCorpus + m, model, why)) << m << ": " << why;
    }
    ImportedModel again;
    EXPECT_TRUE(importInChild(dir + "m.obj", again, error)) << error;
    stop = true;
    for (std::thread& t : busy) t.join();
}
