// Writes the platform model the program draws under the creature: FOLDER/p40_2.3ds and its
// texture FOLDER/deck.tif. The model is a square deck with four corner posts, in two materials
// ("Deck", textured with a plank pattern; "Brass"), and one lamp above it. Units are the 3DS
// file's own: the deck is 2400 across (the program draws it at 0.07, 168 mm) with its top at
// y = 0 and +y up, stored as they are. (3DS files are usually z up; this one is y up because the
// program's platform drawing turns the model's +y into the target's up, and a model is read in
// its file's own axes.)
// Usage: make_platform FOLDER
//
// The 3DS file is written by the small chunk writer below (a chunk is a 16-bit id, a 32-bit
// length that includes its 6-byte header, then its data and sub-chunks, all little-endian).
#include <tiffio.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

class Chunk {
public:
    explicit Chunk(uint16_t id) : id_(id) {}
    Chunk& u8(uint8_t v) { return raw(&v, 1); }
    Chunk& u16(uint16_t v) { return raw(&v, 2); }
    Chunk& u32(uint32_t v) { return raw(&v, 4); }
    Chunk& f32(float v) { return raw(&v, 4); }
    Chunk& str(const std::string& s) { return raw(s.c_str(), s.size() + 1); }
    Chunk& add(const Chunk& c) {
        const std::vector<uint8_t> b = c.bytes();
        return raw(b.data(), b.size());
    }
    std::vector<uint8_t> bytes() const {
        Chunk out(0);
        out.data_.clear();
        const uint32_t length = static_cast<uint32_t>(data_.size() + 6);
        out.raw(&id_, 2).raw(&length, 4).raw(data_.data(), data_.size());
        return out.data_;
    }

private:
    uint16_t id_;
    std::vector<uint8_t> data_;
    Chunk& raw(const void* p, size_t n) {
        const auto* b = static_cast<const uint8_t*>(p);
        data_.insert(data_.end(), b, b + n);
        return *this;
    }
};

// 3DS chunk ids.
enum : uint16_t {
    kMain = 0x4D4D, kVersion = 0x0002, kEditor = 0x3D3D, kMeshVersion = 0x3D3E, kMasterScale = 0x0100,
    kColourFloat = 0x0010, kColourBytes = 0x0011, kPercent = 0x0030,
    kMaterial = 0xAFFF, kMatName = 0xA000, kMatAmbient = 0xA010, kMatDiffuse = 0xA020, kMatSpecular = 0xA030,
    kMatShininess = 0xA040, kMatTexture = 0xA200, kMapFile = 0xA300,
    kObject = 0x4000, kTriMesh = 0x4100, kVertices = 0x4110, kFaces = 0x4120, kFaceMaterial = 0x4130,
    kMapCoords = 0x4140, kLocalMatrix = 0x4160, kLight = 0x4600, kMatShading = 0xA100,
    kKeyframer = 0xB000, kObjectNode = 0xB002, kLightNode = 0xB005, kNodeName = 0xB010, kPivot = 0xB013,
    kNodeId = 0xB030,
};

// The keyframer's node of an object: its id, its name and its parent's id (-1 for none). The
// importer names its scene nodes after these and builds the hierarchy from the parent ids.
Chunk node(uint16_t kind, uint16_t id, const std::string& name, int16_t parent) {
    Chunk n(kind);
    n.add(Chunk(kNodeId).u16(id));
    n.add(Chunk(kNodeName).str(name).u16(0).u16(0).u16(static_cast<uint16_t>(parent)));
    if (kind == kObjectNode) n.add(Chunk(kPivot).f32(0).f32(0).f32(0));
    return n;
}

Chunk colour(uint16_t id, uint8_t r, uint8_t g, uint8_t b) { return Chunk(id).add(Chunk(kColourBytes).u8(r).u8(g).u8(b)); }

Chunk material(const std::string& name, const uint8_t rgb[3], const char* texture) {
    Chunk m(kMaterial);
    m.add(Chunk(kMatName).str(name));
    m.add(colour(kMatAmbient, rgb[0] * 4 / 5, rgb[1] * 4 / 5, rgb[2] * 4 / 5));
    m.add(colour(kMatDiffuse, rgb[0], rgb[1], rgb[2]));
    m.add(colour(kMatSpecular, 90, 90, 90));
    m.add(Chunk(kMatShininess).add(Chunk(kPercent).u16(30)));
    m.add(Chunk(kMatShading).u16(3));  // Phong, so that the shininess counts
    if (texture) m.add(Chunk(kMatTexture).add(Chunk(kPercent).u16(100)).add(Chunk(kMapFile).str(texture)));
    return m;
}

// A box from (x0, y0, z0) to (x1, y1, z1) in y-up coordinates: 24 vertices, 12 faces, texture
// coordinates spanning each face.
struct Box {
    std::vector<float> xyz, uv;
    std::vector<uint16_t> faces;
};

Box box(float x0, float y0, float z0, float x1, float y1, float z1) {
    Box b;
    const float lo[3] = {x0, y0, z0}, hi[3] = {x1, y1, z1};
    for (int axis = 0; axis < 3; ++axis)
        for (int side = 0; side < 2; ++side) {
            const int u = (axis + 1) % 3, v = (axis + 2) % 3;
            const uint16_t base = static_cast<uint16_t>(b.xyz.size() / 3);
            const float corners[4][2] = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
            for (const auto& c : corners) {
                float p[3];
                p[axis] = side ? hi[axis] : lo[axis];
                p[u] = c[0] ? hi[u] : lo[u];
                p[v] = c[1] ? hi[v] : lo[v];
                b.xyz.insert(b.xyz.end(), {p[0], p[1], p[2]});
                b.uv.insert(b.uv.end(), {c[0], c[1]});
            }
            // Counter-clockwise seen from outside: the low side of an axis turns the other way.
            if (side) b.faces.insert(b.faces.end(), {base, uint16_t(base + 1), uint16_t(base + 2), base, uint16_t(base + 2), uint16_t(base + 3)});
            else b.faces.insert(b.faces.end(), {base, uint16_t(base + 2), uint16_t(base + 1), base, uint16_t(base + 3), uint16_t(base + 2)});
        }
    return b;
}

Chunk object(const std::string& name, const Box& b, const std::string& materialName) {
    Chunk mesh(kTriMesh);
    Chunk vertices(kVertices);
    vertices.u16(static_cast<uint16_t>(b.xyz.size() / 3));
    for (float f : b.xyz) vertices.f32(f);
    mesh.add(vertices);
    Chunk uv(kMapCoords);
    uv.u16(static_cast<uint16_t>(b.uv.size() / 2));
    for (float f : b.uv) uv.f32(f);
    mesh.add(uv);
    Chunk local(kLocalMatrix);
    const float identity[12] = {1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0};
    for (float f : identity) local.f32(f);
    mesh.add(local);
    Chunk faces(kFaces);
    const uint16_t count = static_cast<uint16_t>(b.faces.size() / 3);
    faces.u16(count);
    for (size_t i = 0; i < b.faces.size(); i += 3) faces.u16(b.faces[i]).u16(b.faces[i + 1]).u16(b.faces[i + 2]).u16(7);
    Chunk group(kFaceMaterial);
    group.str(materialName).u16(count);
    for (uint16_t i = 0; i < count; ++i) group.u16(i);
    faces.add(group);
    mesh.add(faces);
    return Chunk(kObject).str(name).add(mesh);
}

Chunk lamp(const std::string& name, float x, float y, float z) {
    Chunk light(kLight);
    light.f32(x).f32(y).f32(z);
    light.add(Chunk(kColourFloat).f32(1.0f).f32(0.95f).f32(0.85f));
    return Chunk(kObject).str(name).add(light);
}

// Planks: warm brown boards with darker seams and a grain that varies along each board.
bool writeDeckTexture(const std::string& path) {
    constexpr int kSize = 128;
    TIFF* tif = TIFFOpen(path.c_str(), "w");
    if (!tif) return false;
    TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, kSize);
    TIFFSetField(tif, TIFFTAG_IMAGELENGTH, kSize);
    TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, 3);
    TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 8);
    TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
    TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(tif, TIFFTAG_ORIENTATION, ORIENTATION_TOPLEFT);
    TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, kSize);
    std::vector<uint8_t> row(kSize * 3);
    bool ok = true;
    for (int y = 0; y < kSize && ok; ++y) {
        for (int x = 0; x < kSize; ++x) {
            const int board = y / 16;
            const bool seam = y % 16 == 0 || (x + board * 37) % 128 == 0;
            const int grain = ((x * 7 + board * 53) / 5 + y * 3) % 11;
            const int shade = seam ? 60 : 150 + grain * 6 - (board % 2) * 18;
            row[3 * x] = static_cast<uint8_t>(shade);
            row[3 * x + 1] = static_cast<uint8_t>(shade * 0.62);
            row[3 * x + 2] = static_cast<uint8_t>(shade * 0.33);
        }
        ok = TIFFWriteScanline(tif, row.data(), static_cast<uint32_t>(y), 0) >= 0;
    }
    TIFFClose(tif);
    return ok;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "Usage: make_platform FOLDER\n");
        return 2;
    }
    const std::string folder = argv[1];
    const uint8_t wood[3] = {255, 240, 220}, brass[3] = {200, 160, 60};
    Chunk editor(kEditor);
    editor.add(Chunk(kMeshVersion).u32(3)).add(Chunk(kMasterScale).f32(1.0f));
    editor.add(material("Deck", wood, "deck.tif")).add(material("Brass", brass, nullptr));
    editor.add(object("Deck", box(-1200, -120, -1200, 1200, 0, 1200), "Deck"));
    const char* const posts[4] = {"PostNE", "PostNW", "PostSW", "PostSE"};
    const float corners[4][2] = {{1050, -1050}, {-1050, -1050}, {-1050, 1050}, {1050, 1050}};
    for (int i = 0; i < 4; ++i)
        editor.add(object(posts[i], box(corners[i][0] - 70, 0, corners[i][1] - 70, corners[i][0] + 70, 500, corners[i][1] + 70), "Brass"));
    editor.add(lamp("Lamp", 0, 3000, 1500));
    // The posts stand on the deck: they are its children.
    Chunk keyframer(kKeyframer);
    keyframer.add(node(kObjectNode, 0, "Deck", -1));
    for (uint16_t i = 0; i < 4; ++i) keyframer.add(node(kObjectNode, static_cast<uint16_t>(i + 1), posts[i], 0));
    keyframer.add(node(kLightNode, 5, "Lamp", -1));
    Chunk main(kMain);
    main.add(Chunk(kVersion).u32(3)).add(editor).add(keyframer);

    const std::vector<uint8_t> bytes = main.bytes();
    const std::string modelPath = folder + "/p40_2.3ds";
    FILE* f = std::fopen(modelPath.c_str(), "wb");
    const bool written = f && std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    if (!f || std::fclose(f) != 0 || !written) {
        std::fprintf(stderr, "Error: cannot write %s\n", modelPath.c_str());
        return 1;
    }
    if (!writeDeckTexture(folder + "/deck.tif")) {
        std::fprintf(stderr, "Error: cannot write %s/deck.tif\n", folder.c_str());
        return 1;
    }
    return 0;
}
