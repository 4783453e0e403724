// Writes the small collection of model files the model-import tests read, each made to show one
// thing a user's file may do, into FOLDER:
//   tower.glb          a tower twice as tall as it is wide, +y up (glTF's convention), its
//                      texture (red lower half, blue upper half) carried inside the file
//   mirrored.glb       tower.glb under a node that mirrors it (x scaled by -1): lit as the tower is
//   tower.3ds          the same tower +z up (3DS's convention), its texture in tower.png beside it
//   tower.stl          the same tower +z up, untextured (STL has no textures)
//   colours.ply        the tower +z up with per-vertex colours: red at the foot, blue at the top
//   globe.assbin       a sphere without texture coordinates whose material asks for a spherical
//                      mapping of globe.png (blue northern half, red southern half)
//   house/house.obj    a box whose material names "textures\Sub\Check.PNG" for the file
//                      house/textures/sub/check.png (green and magenta squares)
//   crate/crate.obj    a box textured from a TGA picture (yellow lower half, cyan upper half)
//   points.ply         vertices only: nothing to draw
//   bomb/bomb.obj      a box whose texture is a 9 KB JPEG that claims 16384 x 2048 pixels
// The files in assimp's formats are written with assimp's exporter; the rest by hand.
// Usage: make_models FOLDER
#include <assimp/Exporter.hpp>
#include <assimp/material.h>
#include <assimp/scene.h>
#include <jpeglib.h>
#include <png.h>
#include <sys/stat.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

struct Rgb {
    uint8_t r, g, b;
};
constexpr Rgb kRed{220, 30, 30}, kBlue{30, 60, 220}, kGreen{30, 200, 60}, kMagenta{220, 40, 200}, kYellow{230, 210, 30},
              kCyan{30, 210, 220};

// A picture top row first, as files store them: `lower` in the bottom half, `upper` above.
std::vector<uint8_t> halves(int w, int h, Rgb lower, Rgb upper) {
    std::vector<uint8_t> p(3 * w * h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const Rgb c = y < h / 2 ? upper : lower;
            uint8_t* q = &p[3 * (y * w + x)];
            q[0] = c.r, q[1] = c.g, q[2] = c.b;
        }
    return p;
}

std::vector<uint8_t> checker(int w, int h) {
    std::vector<uint8_t> p(3 * w * h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const Rgb c = ((x / 8) + (y / 8)) % 2 ? kGreen : kMagenta;
            uint8_t* q = &p[3 * (y * w + x)];
            q[0] = c.r, q[1] = c.g, q[2] = c.b;
        }
    return p;
}

void writeFile(const std::string& path, const std::vector<uint8_t>& bytes) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f || std::fwrite(bytes.data(), 1, bytes.size(), f) != bytes.size() || std::fclose(f) != 0) {
        std::fprintf(stderr, "make_models: cannot write %s\n", path.c_str());
        std::exit(1);
    }
}

void writeText(const std::string& path, const std::string& text) { writeFile(path, std::vector<uint8_t>(text.begin(), text.end())); }

std::vector<uint8_t> png(int w, int h, const std::vector<uint8_t>& rgb) {
    std::vector<uint8_t> out;
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    image.width = static_cast<png_uint_32>(w), image.height = static_cast<png_uint_32>(h);
    image.format = PNG_FORMAT_RGB;
    png_alloc_size_t size = 0;
    png_image_write_to_memory(&image, nullptr, &size, 0, rgb.data(), 0, nullptr);
    out.resize(size);
    if (!png_image_write_to_memory(&image, out.data(), &size, 0, rgb.data(), 0, nullptr)) std::exit(1);
    out.resize(size);
    return out;
}

std::vector<uint8_t> tga(int w, int h, const std::vector<uint8_t>& rgb) {
    // Uncompressed true colour, B G R, rows bottom first (the header's origin bit left clear).
    std::vector<uint8_t> out(18, 0);
    out[2] = 2, out[12] = w & 255, out[13] = w >> 8, out[14] = h & 255, out[15] = h >> 8, out[16] = 24;
    for (int y = h - 1; y >= 0; --y)
        for (int x = 0; x < w; ++x) {
            const uint8_t* p = &rgb[3 * (y * w + x)];
            out.insert(out.end(), {p[2], p[1], p[0]});
        }
    return out;
}

// A grey JPEG of w x h, cut to its first `keep` bytes.
std::vector<uint8_t> jpegCut(int w, int h, size_t keep) {
    jpeg_compress_struct info;
    jpeg_error_mgr err;
    info.err = jpeg_std_error(&err);
    jpeg_create_compress(&info);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&info, &buffer, &size);
    info.image_width = w, info.image_height = h, info.input_components = 3, info.in_color_space = JCS_RGB;
    jpeg_set_defaults(&info);
    jpeg_start_compress(&info, TRUE);
    std::vector<uint8_t> row(3 * w, 128);
    while (info.next_scanline < info.image_height) {
        JSAMPROW r = row.data();
        jpeg_write_scanlines(&info, &r, 1);
    }
    jpeg_finish_compress(&info);
    std::vector<uint8_t> out(buffer, buffer + std::min<size_t>(size, keep));
    jpeg_destroy_compress(&info);
    std::free(buffer);
    return out;
}

// --- the tower ---

struct Geometry {
    std::vector<aiVector3D> positions, normals, uv;
    std::vector<aiColor4D> colours;
    std::vector<unsigned> faces;
};

// A box of 1 x 2 x 1 standing on its foot at height 0, with `up` its height axis (1 for y, 2 for
// z). Texture v and colour run from the foot (red) to the top (blue). Faces wind outwards.
Geometry tower(int up) {
    Geometry g;
    auto put = [&](float x, float height, float z, float u, float nx, float nh, float nz) {
        // The height goes on the `up` axis; with z up the depth goes on -y, which keeps the turn proper.
        g.positions.push_back(up == 1 ? aiVector3D(x, height, z) : aiVector3D(x, -z, height));
        g.normals.push_back(up == 1 ? aiVector3D(nx, nh, nz) : aiVector3D(nx, -nz, nh));
        const float v = height / 2.0f;
        g.uv.emplace_back(u, std::min(0.98f, std::max(0.02f, v)), 0.0f);
        g.colours.emplace_back(v < 0.5f ? 0.86f : 0.12f, 0.12f, v < 0.5f ? 0.12f : 0.86f, 1.0f);
    };
    auto quad = [&] {
        const unsigned b = static_cast<unsigned>(g.positions.size()) - 4;
        g.faces.insert(g.faces.end(), {b, b + 1, b + 2, b, b + 2, b + 3});
    };
    // Sides, each in two bands so that the colours split at half height.
    const float xs[5] = {-0.5f, 0.5f, 0.5f, -0.5f, -0.5f}, zs[5] = {0.5f, 0.5f, -0.5f, -0.5f, 0.5f};
    for (int s = 0; s < 4; ++s) {
        const float nx = (xs[s] + xs[s + 1]) / 2 * 2, nz = (zs[s] + zs[s + 1]) / 2 * 2;
        for (int band = 0; band < 2; ++band) {
            const float h0 = band == 0 ? 0.0f : 0.999f, h1 = band == 0 ? 0.999f : 2.0f;
            put(xs[s], h0, zs[s], 0, nx, 0, nz), put(xs[s + 1], h0, zs[s + 1], 1, nx, 0, nz);
            put(xs[s + 1], h1, zs[s + 1], 1, nx, 0, nz), put(xs[s], h1, zs[s], 0, nx, 0, nz);
            quad();
        }
    }
    put(-0.5f, 2, 0.5f, 0, 0, 1, 0), put(0.5f, 2, 0.5f, 1, 0, 1, 0), put(0.5f, 2, -0.5f, 1, 0, 1, 0), put(-0.5f, 2, -0.5f, 0, 0, 1, 0);
    quad();
    put(-0.5f, 0, -0.5f, 0, 0, -1, 0), put(0.5f, 0, -0.5f, 1, 0, -1, 0), put(0.5f, 0, 0.5f, 1, 0, -1, 0), put(-0.5f, 0, 0.5f, 0, 0, -1, 0);
    quad();
    return g;
}

// A sphere of radius 1 about (0, 1, 0), y up, without texture coordinates.
Geometry sphere() {
    Geometry g;
    const int rings = 24, segments = 32;
    for (int r = 0; r <= rings; ++r)
        for (int s = 0; s <= segments; ++s) {
            const double th = M_PI * r / rings, ph = 2 * M_PI * s / segments;
            const aiVector3D n(static_cast<float>(std::sin(th) * std::cos(ph)), static_cast<float>(std::cos(th)),
                               static_cast<float>(std::sin(th) * std::sin(ph)));
            g.positions.push_back(n + aiVector3D(0, 1, 0));
            g.normals.push_back(n);
        }
    for (int r = 0; r < rings; ++r)
        for (int s = 0; s < segments; ++s) {
            const unsigned a = r * (segments + 1) + s, b = a + segments + 1;
            g.faces.insert(g.faces.end(), {a, a + 1, b, a + 1, b + 1, b});
        }
    return g;
}

aiMesh* meshOf(const Geometry& g, bool uv, bool colours) {
    auto* m = new aiMesh;
    m->mPrimitiveTypes = aiPrimitiveType_TRIANGLE;
    m->mNumVertices = static_cast<unsigned>(g.positions.size());
    m->mVertices = new aiVector3D[m->mNumVertices];
    m->mNormals = new aiVector3D[m->mNumVertices];
    std::copy(g.positions.begin(), g.positions.end(), m->mVertices);
    std::copy(g.normals.begin(), g.normals.end(), m->mNormals);
    if (uv && !g.uv.empty()) {
        m->mTextureCoords[0] = new aiVector3D[m->mNumVertices];
        std::copy(g.uv.begin(), g.uv.end(), m->mTextureCoords[0]);
        m->mNumUVComponents[0] = 2;
    }
    if (colours && !g.colours.empty()) {
        m->mColors[0] = new aiColor4D[m->mNumVertices];
        std::copy(g.colours.begin(), g.colours.end(), m->mColors[0]);
    }
    m->mNumFaces = static_cast<unsigned>(g.faces.size() / 3);
    m->mFaces = new aiFace[m->mNumFaces];
    for (unsigned i = 0; i < m->mNumFaces; ++i) {
        m->mFaces[i].mNumIndices = 3;
        m->mFaces[i].mIndices = new unsigned[3]{g.faces[3 * i], g.faces[3 * i + 1], g.faces[3 * i + 2]};
    }
    m->mMaterialIndex = 0;
    return m;
}

// A scene of one mesh under the root, one material with `texture` as its diffuse texture.
aiScene* sceneOf(aiMesh* mesh, const std::string& texture, int mapping = aiTextureMapping_UV) {
    auto* s = new aiScene;
    s->mRootNode = new aiNode;
    s->mRootNode->mName = "Tower";
    s->mRootNode->mNumMeshes = 1;
    s->mRootNode->mMeshes = new unsigned[1]{0};
    s->mNumMeshes = 1;
    s->mMeshes = new aiMesh*[1]{mesh};
    auto* mat = new aiMaterial;
    const aiString name("Stone");
    mat->AddProperty(&name, AI_MATKEY_NAME);
    const aiColor3D white(1, 1, 1);
    mat->AddProperty(&white, 1, AI_MATKEY_COLOR_DIFFUSE);
    if (!texture.empty()) {
        const aiString file(texture);
        mat->AddProperty(&file, AI_MATKEY_TEXTURE_DIFFUSE(0));
        mat->AddProperty(&mapping, 1, AI_MATKEY_MAPPING_DIFFUSE(0));
    }
    s->mNumMaterials = 1;
    s->mMaterials = new aiMaterial*[1]{mat};
    return s;
}

void exportScene(const aiScene& scene, const char* format, const std::string& path) {
    Assimp::Exporter exporter;
    if (exporter.Export(&scene, format, path) != AI_SUCCESS) {
        std::fprintf(stderr, "make_models: %s: %s\n", path.c_str(), exporter.GetErrorString());
        std::exit(1);
    }
}

// An OBJ box (x, z from -0.5 to 0.5, y from 0 to 1) with texture coordinates, its material
// taking its texture from `map`.
void writeBoxObj(const std::string& folder, const std::string& name, const std::string& map) {
    std::string obj = "mtllib " + name + ".mtl\n";
    const float c[8][3] = {{-0.5f, 0, -0.5f}, {0.5f, 0, -0.5f}, {0.5f, 0, 0.5f}, {-0.5f, 0, 0.5f},
                           {-0.5f, 1, -0.5f}, {0.5f, 1, -0.5f}, {0.5f, 1, 0.5f}, {-0.5f, 1, 0.5f}};
    char line[128];
    for (const auto& v : c) std::snprintf(line, sizeof line, "v %g %g %g\n", v[0], v[1], v[2]), obj += line;
    obj += "vt 0 0.02\nvt 1 0.02\nvt 1 0.98\nvt 0 0.98\nusemtl Skin\n";
    obj += "f 1/1 2/2 6/3 5/4\nf 2/1 3/2 7/3 6/4\nf 3/1 4/2 8/3 7/4\nf 4/1 1/2 5/3 8/4\nf 5/4 6/4 7/4 8/4\nf 4/1 3/1 2/1 1/1\n";
    writeText(folder + "/" + name + ".obj", obj);
    writeText(folder + "/" + name + ".mtl", "newmtl Skin\nKd 1 1 1\nmap_Kd " + map + "\n");
}

void writePly(const std::string& path, const Geometry& g, bool faces) {
    std::string text = "ply\nformat ascii 1.0\nelement vertex " + std::to_string(g.positions.size()) +
                       "\nproperty float x\nproperty float y\nproperty float z\nproperty uchar red\n"
                       "property uchar green\nproperty uchar blue\n";
    if (faces) text += "element face " + std::to_string(g.faces.size() / 3) + "\nproperty list uchar int vertex_indices\n";
    text += "end_header\n";
    char line[160];
    for (size_t i = 0; i < g.positions.size(); ++i) {
        const aiVector3D& p = g.positions[i];
        const aiColor4D& c = g.colours[i];
        std::snprintf(line, sizeof line, "%g %g %g %d %d %d\n", p.x, p.y, p.z, static_cast<int>(c.r * 255),
                      static_cast<int>(c.g * 255), static_cast<int>(c.b * 255));
        text += line;
    }
    if (faces)
        for (size_t i = 0; i < g.faces.size(); i += 3) {
            std::snprintf(line, sizeof line, "3 %u %u %u\n", g.faces[i], g.faces[i + 1], g.faces[i + 2]);
            text += line;
        }
    writeText(path, text);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_models FOLDER\n");
        return 2;
    }
    const std::string dir = argv[1];
    for (const char* sub : {"", "/house", "/house/textures", "/house/textures/sub", "/crate", "/bomb"})
        mkdir((dir + sub).c_str(), 0755);

    const std::vector<uint8_t> towerPng = png(64, 64, halves(64, 64, kRed, kBlue));
    writeFile(dir + "/tower.png", towerPng);
    {
        aiScene* s = sceneOf(meshOf(tower(1), true, false), "*0");
        auto* t = new aiTexture;
        t->mWidth = static_cast<unsigned>(towerPng.size()), t->mHeight = 0;
        std::strcpy(t->achFormatHint, "png");
        t->pcData = new aiTexel[(towerPng.size() + 3) / 4];
        std::memcpy(t->pcData, towerPng.data(), towerPng.size());
        s->mNumTextures = 1;
        s->mTextures = new aiTexture*[1]{t};
        exportScene(*s, "glb2", dir + "/tower.glb");
        // The same tower seen in a mirror: its root node turns its faces' winding round.
        s->mRootNode->mTransformation = aiMatrix4x4(-1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1);
        exportScene(*s, "glb2", dir + "/mirrored.glb");
        delete s;
    }
    {
        aiScene* s = sceneOf(meshOf(tower(2), true, false), "tower.png");
        exportScene(*s, "3ds", dir + "/tower.3ds");
        delete s;
    }
    {
        aiScene* s = sceneOf(meshOf(tower(2), false, false), "");
        exportScene(*s, "stlb", dir + "/tower.stl");
        delete s;
    }
    writePly(dir + "/colours.ply", tower(2), true);
    writePly(dir + "/points.ply", tower(2), false);
    {
        writeFile(dir + "/globe.png", png(64, 64, halves(64, 64, kRed, kBlue)));
        aiScene* s = sceneOf(meshOf(sphere(), false, false), "globe.png", aiTextureMapping_SPHERE);
        exportScene(*s, "assbin", dir + "/globe.assbin");
        delete s;
    }
    writeFile(dir + "/house/textures/sub/check.png", png(64, 64, checker(64, 64)));
    writeBoxObj(dir + "/house", "house", "textures\\Sub\\Check.PNG");
    writeFile(dir + "/crate/crate.tga", tga(32, 32, halves(32, 32, kYellow, kCyan)));
    writeBoxObj(dir + "/crate", "crate", "crate.tga");
    writeFile(dir + "/bomb/claims.jpg", jpegCut(16384, 2048, 9000));
    writeBoxObj(dir + "/bomb", "bomb", "claims.jpg");
    return 0;
}
