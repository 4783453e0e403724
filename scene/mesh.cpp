#include "scene/mesh.h"

#include <GL/gl.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "base/regular_file.h"
#include "base/report.h"

namespace {
std::string g_meshDirectory, g_meshFilePrefix;
int g_meshFileCounter = 0, g_meshWriteFailures = 0;
}  // namespace

void MeshFiles::setMeshDirectory(const std::string& dir) { g_meshDirectory = dir; }
const std::string& MeshFiles::meshDirectory() { return g_meshDirectory; }
void MeshFiles::setMeshFilePrefix(const std::string& prefix) { g_meshFilePrefix = prefix; }
const std::string& MeshFiles::meshFilePrefix() { return g_meshFilePrefix; }
void MeshFiles::resetMeshFileCounter() { g_meshFileCounter = 0, g_meshWriteFailures = 0; }
void MeshFiles::noteWriteFailure() { ++g_meshWriteFailures; }
int MeshFiles::writeFailures() { return g_meshWriteFailures; }
int MeshFiles::takeMeshFileNumber() { return g_meshFileCounter++; }

int Mesh::faceCount() const {
    int n = 0;
    for (const auto* list : {&triangleSets_, &stripSets_, &otherSets_})
        for (const auto& s : *list) n += s->faceCount();
    return n;
}

void Mesh::draw() {
    if (coarse_) return coarse_->draw();
    VertexData& data = vertexData();
    const int vertices = data.getVertexCount();
    // Lit, per-vertex colours show only as the material's colours.
    const bool coloured = data.find(kAttribColour) != nullptr;
    if (coloured) {
        glPushAttrib(GL_ENABLE_BIT | GL_LIGHTING_BIT);
        glColorMaterial(GL_FRONT_AND_BACK, GL_AMBIENT_AND_DIFFUSE);
        glEnable(GL_COLOR_MATERIAL);
    }
    data.bind();
    for (const auto* list : {&triangleSets_, &stripSets_, &otherSets_})
        for (const auto& s : *list)
            // A set whose indices may name vertices this mesh lacks would read past its arrays.
            if (s->vertexCount() <= vertices) s->draw();
    data.unbind();
    if (coloured) glPopAttrib();
}

// --- writing ---

namespace {

void writeTag(FILE* f, int kind) {
    if (kind == kAttribPosition) std::fputs("V", f);
    else if (kind == kAttribNormal) std::fputs("N", f);
    else if (kind == kAttribColour) std::fputs("C", f);
    else std::fprintf(f, "T%d", kind - kAttribTexCoord0);
}

bool allFinite(const float* v, int n) {
    for (int i = 0; i < n; ++i)
        if (!std::isfinite(v[i])) return false;
    return true;
}

}  // namespace

bool Mesh::saveMeshFile(const std::string& path) const {
    const VertexData& data = vertexData();
    const VertexAttribArray* positions = data.find(kAttribPosition);
    if (!positions) return false;
    FILE* f = std::fopen(path.c_str(), "w");
    if (!f) return false;
    std::vector<const VertexAttribArray*> order;
    for (const VertexAttribArray* a : data.arrays())
        if (a != positions) order.push_back(a);
    order.push_back(positions);

    bool ok = true;
    for (int i = 0; ok && i < positions->count(); ++i)
        for (const VertexAttribArray* a : order) {
            const float* v = a->vertex(i);
            if (!allFinite(v, a->components())) {
                // A vertex without a position cannot be written; other attributes fall back to
                // the value of the line before.
                if (a == positions) ok = false;
                continue;
            }
            writeTag(f, a->kind());
            for (int c = 0; c < a->components(); ++c) std::fprintf(f, " %f", v[c]);
            std::fputc('\n', f);
        }
    if (ok) {
        std::fputs("--\n", f);
        for (const auto& s : triangleSets_)
            for (int t = 0; t < s->faceCount(); ++t) {
                uint32_t a, b, c;
                s->getTriangle(t, a, b, c);
                std::fprintf(f, "T %u %u %u\n", a, b, c);
            }
        std::fputs("--\n", f);
        for (const auto& s : stripSets_) {
            std::fprintf(f, "S %d", s->count());
            for (int k = 0; k < s->count(); ++k) std::fprintf(f, " %u", s->get(k));
            std::fputc('\n', f);
        }
    }
    const bool written = !std::ferror(f);
    return std::fclose(f) == 0 && written && ok;
}

// --- reading ---

namespace {

// Up to four finite floats from `s`, as "%f %f %f %f" would read them; -1 for a value that is not
// finite.
int readFloats(const char* s, float out[4]) {
    int n = 0;
    while (n < 4) {
        char* end;
        errno = 0;
        const float v = std::strtof(s, &end);
        if (end == s) break;
        if (!std::isfinite(v)) return -1;
        out[n++] = v;
        s = end;
    }
    return n;
}

// One index below `limit`, after optional blanks; advances `s`.
bool readIndex(const char*& s, uint32_t limit, uint32_t& out) {
    while (*s == ' ' || *s == '\t') ++s;
    if (*s < '0' || *s > '9') return false;
    char* end;
    errno = 0;
    const unsigned long v = std::strtoul(s, &end, 10);
    if (errno || v >= limit) return false;
    out = static_cast<uint32_t>(v);
    s = end;
    return true;
}

// Attribute values gathered per vertex while the vertex section is read.
struct Attribute {
    int components = 0;  // 0 until the first line of it
    float current[4] = {0, 0, 0, 0};
    std::vector<float> values;
};

class MeshFileReader {
public:
    MeshFileReader(std::vector<uint8_t>& bytes) {
        bytes.push_back('\n');
        for (size_t i = 0, start = 0; i < bytes.size(); ++i)
            if (bytes[i] == '\n') {
                if (i > start && bytes[i - 1] == '\r') bytes[i - 1] = 0;
                bytes[i] = 0;
                lines_.push_back(reinterpret_cast<const char*>(&bytes[start]));
                start = i + 1;
            }
    }

    // Fills `mesh`; on failure `error` says why and the mesh is left as it was.
    bool read(Mesh& mesh, std::string& error) {
        if (!readVertices(error) || !readTriangles(error) || !readStrips(error)) return false;
        if (triangles_.empty() && strips_.empty()) return fail(error, "it holds no triangle");
        for (int k = 0; k < kAttribKinds; ++k) {
            Attribute& a = attributes_[k];
            if (!a.components) continue;
            auto* array = new VertexAttribArray(vertices_, k, a.components);
            array->set(vertices_, a.values.data());
            mesh.addAttribArray(array);
        }
        if (!triangles_.empty()) {
            auto* set = new TriangleSet(static_cast<int>(triangles_.size() / 3), vertices_);
            set->setAll(static_cast<int>(triangles_.size()), triangles_.data());
            mesh.addTriangleSet(set);
        }
        for (const std::vector<uint32_t>& s : strips_) {
            auto* set = new TriangleStripSet(static_cast<int>(s.size()), vertices_);
            set->setAll(static_cast<int>(s.size()), s.data());
            mesh.addStripSet(set);
        }
        return true;
    }

private:
    std::vector<const char*> lines_;
    size_t next_ = 0;
    Attribute attributes_[kAttribKinds];
    int vertices_ = 0;
    std::vector<uint32_t> triangles_;
    std::vector<std::vector<uint32_t>> strips_;

    bool fail(std::string& error, std::string why) {
        error = "line " + std::to_string(next_ + 1) + ": " + why;
        return false;
    }
    bool atEnd() const { return next_ >= lines_.size() || (next_ + 1 == lines_.size() && !*lines_[next_]); }

    // One attribute line: `n` values, the same number as every earlier line of that attribute.
    bool attributeLine(int kind, int n, int minimum, int maximum, std::string& error) {
        Attribute& a = attributes_[kind];
        if (n < minimum || n > maximum) return fail(error, "a value count of " + std::to_string(n) + " is not allowed");
        if (a.components && n != a.components) return fail(error, "the value count differs from the lines before");
        if (!a.components) {
            // The vertices read so far take the attribute's default.
            const float fill = kind == kAttribColour ? 1.0f : 0.0f;
            a.components = n;
            a.values.assign(static_cast<size_t>(vertices_) * n, fill);
            if (kind == kAttribNormal)
                for (int v = 0; v < vertices_; ++v) a.values[3 * v + 2] = 1.0f;
        }
        return true;
    }

    bool readVertices(std::string& error) {
        for (; next_ < lines_.size(); ++next_) {
            const char* line = lines_[next_];
            if (std::strcmp(line, "--") == 0) {
                ++next_;
                if (!vertices_) return fail(error, "it holds no vertex");
                return true;
            }
            float v[4];
            int kind;
            const char* values = line + 1;
            if (line[0] == 'V') kind = kAttribPosition;
            else if (line[0] == 'N') kind = kAttribNormal;
            else if (line[0] == 'C') kind = kAttribColour;
            else if (line[0] == 'T' && line[1] >= '0' && line[1] <= '7') kind = kAttribTexCoord0 + (line[1] - '0'), ++values;
            else return fail(error, "a line of the vertex section starts with neither V, N, C nor T0 to T7");
            const int n = readFloats(values, v);
            if (n < 0) return fail(error, "a value is not a finite number");
            const bool ok = kind == kAttribPosition ? attributeLine(kind, n, 2, 4, error)
                            : kind == kAttribNormal ? attributeLine(kind, std::min(n, 3), 3, 3, error)
                            : kind == kAttribColour ? attributeLine(kind, n, 3, 4, error)
                                                    : attributeLine(kind, n, 1, 4, error);
            if (!ok) return false;
            Attribute& a = attributes_[kind];
            std::copy(v, v + a.components, a.current);
            if (kind != kAttribPosition) continue;
            if (vertices_ == kMaxMeshVertices) return fail(error, "it holds too many vertices");
            ++vertices_;
            for (Attribute& b : attributes_)
                if (b.components) b.values.insert(b.values.end(), b.current, b.current + b.components);
        }
        return fail(error, "the vertex section does not end with \"--\"");
    }

    bool readTriangles(std::string& error) {
        for (; next_ < lines_.size(); ++next_) {
            const char* line = lines_[next_];
            if (std::strcmp(line, "--") == 0) {
                ++next_;
                return true;
            }
            if (atEnd()) return true;
            if (line[0] != 'T') return fail(error, "a line of the triangle section is not \"T a b c\"");
            const char* p = line + 1;
            uint32_t t[3];
            for (uint32_t& i : t)
                if (!readIndex(p, static_cast<uint32_t>(vertices_), i))
                    return fail(error, "a triangle's index is missing or names no vertex of the file");
            if (triangles_.size() + 3 > static_cast<size_t>(kMaxMeshIndices)) return fail(error, "it holds too many triangles");
            triangles_.insert(triangles_.end(), t, t + 3);
        }
        return true;
    }

    bool readStrips(std::string& error) {
        for (; next_ < lines_.size() && lines_[next_][0] == 'S'; ++next_) {
            const char* p = lines_[next_] + 1;
            uint32_t count;
            if (!readIndex(p, static_cast<uint32_t>(kMaxMeshIndices) + 1, count) || count < 3)
                return fail(error, "a strip does not start with an index count of at least 3");
            std::vector<uint32_t> strip;
            for (uint32_t k = 0; k < count; ++k) {
                uint32_t i;
                if (!readIndex(p, static_cast<uint32_t>(vertices_), i))
                    return fail(error, "a strip's index is missing or names no vertex of the file");
                strip.push_back(i);
            }
            strips_.push_back(std::move(strip));
        }
        return true;
    }
};

}  // namespace

bool readMeshText(std::vector<uint8_t>& text, Mesh& mesh, std::string& error) {
    MeshFileReader reader(text);
    return reader.read(mesh, error);
}

bool Mesh::loadMeshFile(const std::string& name) {
    const std::string path = MeshFiles::meshDirectory().empty() ? name : MeshFiles::meshDirectory() + "/" + name;
    reportLine("Loading mesh file %s", path.c_str());
    std::vector<uint8_t> bytes;
    std::string error;
    if (readRegularFile(path, kMaxMeshFileBytes, bytes, error) != FileReadResult::Ok) {
        reportError("mesh file %s: %s", path.c_str(), error.c_str());
        return false;
    }
    if (!readMeshText(bytes, *this, error)) {
        reportError("mesh file %s: is damaged (%s)", path.c_str(), error.c_str());
        return false;
    }
    return true;
}
