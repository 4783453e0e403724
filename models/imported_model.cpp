#include "models/imported_model.h"

#include <cmath>
#include <cstring>

namespace {

constexpr uint32_t kMagic = 0x32444d54;  // "TMD2"
// No more items of a kind than a scene takes (scene/vertex_data.h bounds the meshes' own sizes).
constexpr uint32_t kMaxItems = 1u << 24;

class Writer {
public:
    std::vector<uint8_t> bytes;
    void u32(uint32_t v) { raw(&v, 4); }
    void f32(float v) { raw(&v, 4); }
    void text(const std::string& s) { u32(static_cast<uint32_t>(s.size())), raw(s.data(), s.size()); }
    void colour(const Colour4& c) { f32(c.r), f32(c.g), f32(c.b), f32(c.a); }
    template <typename T>
    void array(const std::vector<T>& v) { u32(static_cast<uint32_t>(v.size())), raw(v.data(), v.size() * sizeof(T)); }
    void raw(const void* p, size_t n) {
        const auto* b = static_cast<const uint8_t*>(p);
        bytes.insert(bytes.end(), b, b + n);
    }
};

// Reads until the first fault, then returns zeros; `ok` says whether every read was whole.
class Reader {
public:
    Reader(const uint8_t* p, size_t n) : p_(p), left_(n) {}
    bool ok = true;
    std::string why;

    uint32_t u32() {
        uint32_t v = 0;
        raw(&v, 4);
        return v;
    }
    float f32() {
        float v = 0;
        raw(&v, 4);
        return std::isfinite(v) ? v : 0.0f;
    }
    // A count of items of `itemBytes` each that the bytes left can hold.
    uint32_t count(size_t itemBytes, const char* what) {
        const uint32_t n = u32();
        if (ok && (n > kMaxItems || static_cast<size_t>(n) * itemBytes > left_)) fail(std::string("too many ") + what);
        return ok ? n : 0;
    }
    std::string text() {
        const uint32_t n = count(1, "characters");
        std::string s(n, '\0');
        raw(s.data(), n);
        return s;
    }
    Colour4 colour() { return {f32(), f32(), f32(), f32()}; }
    template <typename T>
    void array(std::vector<T>& v, const char* what) {
        v.resize(count(sizeof(T), what));
        raw(v.data(), v.size() * sizeof(T));
    }
    void fail(const std::string& reason) {
        if (ok) why = reason;
        ok = false;
    }
    size_t left() const { return left_; }

private:
    const uint8_t* p_;
    size_t left_;
    void raw(void* out, size_t n) {
        if (!ok || n > left_) {
            if (n) std::memset(out, 0, n);
            if (n > left_) fail("ends early");
            return;
        }
        if (n) std::memcpy(out, p_, n);
        p_ += n, left_ -= n;
    }
};

bool validIndex(int i, size_t size) { return i >= 0 && static_cast<size_t>(i) < size; }

// The checks a builder relies on: sizes that agree and indices inside their tables.
void check(const ImportedModel& m, Reader& r) {
    if (m.up.axis < 0 || m.up.axis > 2 || (m.up.sign != 1 && m.up.sign != -1)) r.fail("an up axis that is none");
    for (const ImportedPicture& p : m.pictures)
        if (p.width <= 0 || p.height <= 0 || p.rgba.size() != 4ull * p.width * p.height) r.fail("a picture of the wrong size");
    for (const ImportedMaterial& mat : m.materials)
        if (mat.picture != -1 && !validIndex(mat.picture, m.pictures.size())) r.fail("a material naming no picture");
    for (const ImportedMesh& mesh : m.meshes) {
        const size_t n = mesh.positions.size() / 3;
        if (mesh.positions.size() % 3 || mesh.normals.size() != 3 * n || (!mesh.uv.empty() && mesh.uv.size() != 2 * n) ||
            (!mesh.colours.empty() && mesh.colours.size() != 4 * n) || mesh.faces.size() % 3)
            r.fail("a mesh whose arrays disagree");
        for (uint32_t f : mesh.faces)
            if (f >= n) {
                r.fail("a face naming a vertex its mesh lacks");
                break;
            }
        if (mesh.material != -1 && !validIndex(mesh.material, m.materials.size())) r.fail("a mesh naming no material");
    }
    for (size_t i = 0; i < m.nodes.size(); ++i) {
        const ImportedNode& node = m.nodes[i];
        if (i == 0 ? node.parent != -1 : !validIndex(node.parent, i)) r.fail("a node tree out of order");
        for (int mesh : node.meshes)
            if (!validIndex(mesh, m.meshes.size())) r.fail("a node naming no mesh");
    }
    if (m.nodes.empty()) r.fail("no root node");
    for (const ImportedLight& l : m.lights)
        if (l.kind != kPointLight && l.kind != kSpotLight) r.fail("a light of no kind");
}

}  // namespace

std::vector<uint8_t> encodeModel(const ImportedModel& m) {
    Writer w;
    w.u32(kMagic);
    w.u32(static_cast<uint32_t>(m.up.axis)), w.u32(static_cast<uint32_t>(m.up.sign));
    w.text(m.upSource);
    w.u32(static_cast<uint32_t>(m.pictures.size()));
    for (const ImportedPicture& p : m.pictures)
        w.text(p.name), w.text(p.file), w.u32(static_cast<uint32_t>(p.width)), w.u32(static_cast<uint32_t>(p.height)), w.array(p.rgba);
    w.u32(static_cast<uint32_t>(m.materials.size()));
    for (const ImportedMaterial& mat : m.materials) {
        w.text(mat.name), w.colour(mat.ambient), w.colour(mat.diffuse), w.colour(mat.specular);
        w.f32(mat.shininess), w.u32(static_cast<uint32_t>(mat.picture));
    }
    w.u32(static_cast<uint32_t>(m.meshes.size()));
    for (const ImportedMesh& mesh : m.meshes) {
        w.text(mesh.name), w.u32(static_cast<uint32_t>(mesh.material));
        w.array(mesh.positions), w.array(mesh.normals), w.array(mesh.uv), w.array(mesh.colours), w.array(mesh.faces);
    }
    w.u32(static_cast<uint32_t>(m.nodes.size()));
    for (const ImportedNode& node : m.nodes) {
        w.text(node.name), w.u32(static_cast<uint32_t>(node.parent));
        w.raw(node.transform, sizeof node.transform);
        w.array(node.meshes);
    }
    w.u32(static_cast<uint32_t>(m.lights.size()));
    for (const ImportedLight& l : m.lights) {
        w.text(l.name), w.u32(static_cast<uint32_t>(l.kind));
        w.colour(l.ambient), w.colour(l.diffuse), w.colour(l.specular);
        w.raw(l.position, sizeof l.position), w.raw(l.direction, sizeof l.direction), w.f32(l.cutoffDeg);
    }
    w.u32(static_cast<uint32_t>(m.warnings.size()));
    for (const std::string& s : m.warnings) w.text(s);
    return std::move(w.bytes);
}

bool decodeModel(const uint8_t* bytes, size_t size, ImportedModel& m, std::string& why) {
    m = ImportedModel{};
    Reader r(bytes, size);
    if (r.u32() != kMagic) r.fail("not a model");
    m.up.axis = static_cast<int>(r.u32()), m.up.sign = static_cast<int>(r.u32());
    m.upSource = r.text();
    // The smallest item of each kind bounds its count by the bytes left.
    m.pictures.resize(r.count(20, "pictures"));
    for (ImportedPicture& p : m.pictures) {
        p.name = r.text();
        p.file = r.text();
        p.width = static_cast<int>(r.u32()), p.height = static_cast<int>(r.u32());
        r.array(p.rgba, "picture bytes");
    }
    m.materials.resize(r.count(60, "materials"));
    for (ImportedMaterial& mat : m.materials) {
        mat.name = r.text();
        mat.ambient = r.colour(), mat.diffuse = r.colour(), mat.specular = r.colour();
        mat.shininess = r.f32(), mat.picture = static_cast<int>(r.u32());
    }
    m.meshes.resize(r.count(28, "meshes"));
    for (ImportedMesh& mesh : m.meshes) {
        mesh.name = r.text();
        mesh.material = static_cast<int>(r.u32());
        r.array(mesh.positions, "positions"), r.array(mesh.normals, "normals"), r.array(mesh.uv, "texture coordinates");
        r.array(mesh.colours, "colours"), r.array(mesh.faces, "faces");
    }
    m.nodes.resize(r.count(76, "nodes"));
    for (ImportedNode& node : m.nodes) {
        node.name = r.text();
        node.parent = static_cast<int>(r.u32());
        for (float& v : node.transform) v = r.f32();
        r.array(node.meshes, "node meshes");
    }
    m.lights.resize(r.count(80, "lights"));
    for (ImportedLight& l : m.lights) {
        l.name = r.text();
        l.kind = static_cast<int>(r.u32());
        l.ambient = r.colour(), l.diffuse = r.colour(), l.specular = r.colour();
        for (float& v : l.position) v = r.f32();
        for (float& v : l.direction) v = r.f32();
        l.cutoffDeg = r.f32();
    }
    m.warnings.resize(r.count(4, "warnings"));
    for (std::string& s : m.warnings) s = r.text();
    if (r.ok && r.left() != 0) r.fail("has bytes after its end");
    if (r.ok) check(m, r);
    if (!r.ok) {
        why = r.why;
        m = ImportedModel{};
    }
    return r.ok;
}
