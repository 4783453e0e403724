#include "models/assimp_import.h"

#include <assimp/DefaultLogger.hpp>
#include <assimp/IOStream.hpp>
#include <assimp/LogStream.hpp>
#include <assimp/IOSystem.hpp>
#include <assimp/Importer.hpp>
#include <assimp/postprocess.h>
#include <assimp/scene.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstring>
#include <map>
#include <memory>
#include <new>

#include "base/regular_file.h"
#include "imageio/texture_picture.h"
#include "models/model_folder.h"
#include "models/model_header_check.h"
#include "models/mesh_welding.h"

namespace {

// --- the importer's files, only from the model's folder ---

class FileStream : public Assimp::IOStream {
public:
    FileStream(FILE* f, size_t size) : f_(f), size_(size) {}
    ~FileStream() override { std::fclose(f_); }
    size_t Read(void* buffer, size_t size, size_t count) override { return size && count ? std::fread(buffer, size, count, f_) : 0; }
    size_t Write(const void*, size_t, size_t) override { return 0; }
    aiReturn Seek(size_t offset, aiOrigin origin) override {
        const int whence = origin == aiOrigin_SET ? SEEK_SET : origin == aiOrigin_CUR ? SEEK_CUR : SEEK_END;
        return fseeko(f_, static_cast<off_t>(offset), whence) == 0 ? aiReturn_SUCCESS : aiReturn_FAILURE;
    }
    size_t Tell() const override { return static_cast<size_t>(ftello(f_)); }
    size_t FileSize() const override { return size_; }
    void Flush() override {}

private:
    FILE* f_;
    size_t size_;
};

class ConfinedFiles : public Assimp::IOSystem {
public:
    ConfinedFiles(const ModelFolder& folder, std::vector<std::string>& refused) : folder_(folder), refused_(refused) {}
    bool Exists(const char* name) const override {
        std::string path, why;
        return name && folder_.resolve(name, path, why);
    }
    char getOsSeparator() const override { return '/'; }
    Assimp::IOStream* Open(const char* name, const char* mode) override {
        if (!name || !mode || std::strchr(mode, 'w') || std::strchr(mode, 'a') || std::strchr(mode, '+')) return nullptr;
        std::string path, why;
        long long size = 0;
        FILE* f = folder_.resolve(name, path, why) ? ModelFolder::openRegular(path, &size, why) : nullptr;
        if (!f) {
            // A name the importer only tries (an OBJ's own name with .mtl, say) is no news.
            const std::string line = std::string(name) + " " + why;
            if (why.find("does not exist") == std::string::npos &&
                std::find(refused_.begin(), refused_.end(), line) == refused_.end())
                refused_.push_back(line);
            return nullptr;
        }
        return new FileStream(f, static_cast<size_t>(size));
    }
    void Close(Assimp::IOStream* stream) override { delete stream; }

private:
    const ModelFolder& folder_;
    std::vector<std::string>& refused_;
};

// --- small conversions ---

float clampFinite(float v, float lo, float hi, float otherwise) { return std::isfinite(v) ? std::clamp(v, lo, hi) : otherwise; }
float unit(float v) { return clampFinite(v, 0.0f, 1.0f, 0.0f); }
float finite(float v) { return std::isfinite(v) ? v : 0.0f; }
float brightness(const Colour4& c) { return 0.3f * c.r + 0.59f * c.g + 0.11f * c.b; }

Colour4 colourOf(const aiMaterial& m, const char* key, unsigned type, unsigned index, Colour4 fallback) {
    aiColor4D c;
    if (m.Get(key, type, index, c) != AI_SUCCESS) return fallback;
    return {unit(c.r), unit(c.g), unit(c.b), unit(c.a)};
}

Colour4 lightColour(const aiColor3D& c) {
    // Some formats give radiometric intensities; OpenGL's lights take 0..1.
    return {unit(c.r), unit(c.g), unit(c.b), 1.0f};
}

std::string lowerExtension(const std::string& file) {
    const size_t dot = file.rfind('.');
    if (dot == std::string::npos || file.find('/', dot) != std::string::npos) return "";
    std::string e = file.substr(dot + 1);
    for (char& c : e) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return e;
}

void toColumnMajor(const aiMatrix4x4& m, float out[16]) {
    const float rows[4][4] = {{m.a1, m.a2, m.a3, m.a4}, {m.b1, m.b2, m.b3, m.b4}, {m.c1, m.c2, m.c3, m.c4}, {m.d1, m.d2, m.d3, m.d4}};
    for (int c = 0; c < 4; ++c)
        for (int r = 0; r < 4; ++r) out[4 * c + r] = finite(rows[r][c]);
}

// The importer turns a 3DS file's z-up into y-up by putting this turn before its root:
// (x, y, z) -> (x, z, -y). Its inverse, (x, y, z) -> (x, -z, y), puts the file's axes back.
const aiMatrix4x4 k3dsTurnBack(1, 0, 0, 0, 0, 0, -1, 0, 0, 1, 0, 0, 0, 0, 0, 1);

// A Collada file's <up_axis> (X_UP, Y_UP or Z_UP; Y_UP when it has none), read from its head.
AxisDirection colladaUp(const std::string& file) {
    std::vector<uint8_t> bytes;
    std::string why;
    FILE* f = ModelFolder::openRegular(file, nullptr, why);
    if (!f) return {1, 1};
    bytes.resize(1 << 16);
    bytes.resize(std::fread(bytes.data(), 1, bytes.size(), f));
    std::fclose(f);
    const std::string head(bytes.begin(), bytes.end());
    const size_t at = head.find("<up_axis>");
    if (at == std::string::npos) return {1, 1};
    const std::string value = head.substr(at + 9, 6);
    if (value.rfind("X_UP", 0) == 0) return {0, 1};
    if (value.rfind("Z_UP", 0) == 0) return {2, 1};
    return {1, 1};
}

// An OpenGEX file's up axis, from its `Metric (key = "up") {string {"z"}}` structure near its
// head; false when it has none.
bool openGexUp(const std::string& file, AxisDirection& up) {
    std::string why;
    FILE* f = ModelFolder::openRegular(file, nullptr, why);
    if (!f) return false;
    std::string head(1 << 16, '\0');
    head.resize(std::fread(&head[0], 1, head.size(), f));
    std::fclose(f);
    const size_t key = head.find("\"up\"");
    if (key == std::string::npos) return false;
    const size_t open = head.find('{', key), quote = open == std::string::npos ? open : head.find('"', head.find('{', open + 1));
    if (quote == std::string::npos || quote + 1 >= head.size()) return false;
    const char axis = static_cast<char>(std::tolower(static_cast<unsigned char>(head[quote + 1])));
    if (axis < 'x' || axis > 'z') return false;
    up = {axis - 'x', 1};
    return true;
}

// The up axis of each format whose files do not say, and where the rule comes from. A file's own
// metadata comes first (FBX's and others' UpAxis through the importer, Collada's <up_axis>,
// OpenGEX's Metric "up"); a format not here is y-up by its definition (glTF, OBJ) or by custom.
struct FormatUp {
    std::vector<std::string> extensions;
    AxisDirection up;
    const char* source;
};
const std::vector<FormatUp>& formatUps() {
    static const std::vector<FormatUp> table = {
        {{"3ds", "prj"}, {2, 1}, "3ds Max's convention"},
        {{"stl", "ply"}, {2, 1}, "3D printing's and scanning's convention"},
        {{"amf", "3mf"}, {2, 1}, "3D printing's convention"},
        {{"blend"}, {2, 1}, "Blender's convention"},
        {{"cob", "scn"}, {2, 1}, "trueSpace's convention"},
        {{"smd", "vta"}, {2, 1}, "Valve's convention"},
        {{"hmp"}, {2, 1}, "the terrain format's convention"},
        {{"q3o", "q3s"}, {2, 1}, "Quick3D's convention"},
        {{"xgl", "zgl"}, {2, 1}, "XGL's convention"},
    };
    return table;
}

AxisDirection declaredUp(const aiScene& s, const std::string& file, const std::string& extension, std::string& source) {
    int axis = -1, sign = 1;
    source = "file's metadata";
    if (s.mMetaData && s.mMetaData->Get("UpAxis", axis) && axis >= 0 && axis <= 2) {
        s.mMetaData->Get("UpAxisSign", sign);
        return {axis, sign < 0 ? -1 : 1};
    }
    AxisDirection up;
    if (extension == "ogex" && openGexUp(file, up)) return up;
    if (extension == "dae" || extension == "zae") {
        up = colladaUp(file);
        if (!(up == AxisDirection{})) return up;  // y-up is also Collada's own rule
        source = "Collada's convention";
        return up;
    }
    for (const FormatUp& f : formatUps())
        if (std::find(f.extensions.begin(), f.extensions.end(), extension) != f.extensions.end()) {
            source = f.source;
            return f.up;
        }
    source = "the format's convention";
    return {1, 1};
}

// Colours of (-1, -1, -1, -1) or (0, 0, 0, 0) on every vertex are an importer's way of saying
// "none" (some fill the set they must have): the material's colour is drawn instead.
bool placeholderColours(const aiColor4D* colours, size_t n) {
    if (n == 0) return true;
    const aiColor4D first = colours[0];
    const bool placeholder = (first.r == -1 && first.g == -1 && first.b == -1 && first.a == -1) ||
                             (first.r == 0 && first.g == 0 && first.b == 0 && first.a == 0);
    if (!placeholder) return false;
    for (size_t v = 1; v < n; ++v)
        if (!(colours[v] == first)) return false;
    return true;
}

// The importer's own error log: some readers (OpenGEX's) say why a file fails only there. The
// last error line is kept as the reason when the importer gives none.
class LastErrorLine final : public Assimp::LogStream {
public:
    explicit LastErrorLine(std::string& line) : line_(line) {}
    void write(const char* message) override {
        std::string m = message ? message : "";
        while (!m.empty() && (m.back() == '\n' || m.back() == '\r')) m.pop_back();
        // "Error, T0: " and the like: the logger's own prefix.
        if (const size_t colon = m.find(": "); m.rfind("Error", 0) == 0 && colon != std::string::npos) m = m.substr(colon + 2);
        if (!m.empty()) line_ = m.substr(0, 300);
    }

private:
    std::string& line_;
};

// A text file in UTF-16 (a byte-order mark first): the importer reads only 8-bit text, and would
// otherwise report an empty or unreadable file rather than the cause.
bool utf16Text(const std::vector<uint8_t>& head) {
    return head.size() >= 2 && ((head[0] == 0xFF && head[1] == 0xFE) || (head[0] == 0xFE && head[1] == 0xFF));
}

// --- the scene ---

class Converter {
public:
    Converter(const aiScene& s, const ModelFolder& folder, const std::string& modelFile, ImportedModel& out)
        : s_(s), folder_(folder), out_(out) {
        const size_t slash = modelFile.rfind('/');
        givenFolder_ = slash == std::string::npos ? "" : modelFile.substr(0, slash + 1);
    }

    void run() {
        for (unsigned i = 0; i < s_.mNumMaterials; ++i) material(*s_.mMaterials[i]);
        if (!overBudget_.empty())
            warn(std::to_string(overBudget_.size()) + " texture" + (overBudget_.size() > 1 ? "s" : "") + " (" +
                 overBudget_.front() + (overBudget_.size() > 1 ? ", ..." : "") + ") would take the textures beyond their budget of " +
                 std::to_string(kTextureBudgetPixels) + " decoded pixels; drawn without them");
        for (unsigned i = 0; i < s_.mNumMeshes; ++i) mesh(*s_.mMeshes[i]);
        nodes();
        for (unsigned i = 0; i < s_.mNumLights; ++i) light(*s_.mLights[i]);
    }

private:
    const aiScene& s_;
    const ModelFolder& folder_;
    ImportedModel& out_;
    std::string givenFolder_;  // the model file's folder as its name was given, with its slash
    std::map<std::string, int> pictures_;  // by the name the materials give, -1 for one that failed
    long long budgetLeft_ = kTextureBudgetPixels;
    std::vector<std::string> overBudget_;  // textures left out for the budget

    void warn(const std::string& line) {
        if (std::find(out_.warnings.begin(), out_.warnings.end(), line) == out_.warnings.end()) out_.warnings.push_back(line);
    }

    int picture(const std::string& name) {
        const auto known = pictures_.find(name);
        if (known != pictures_.end()) return known->second;
        int& index = pictures_[name];
        index = -1;
        TexturePicture decoded;
        std::string why, file = name;
        bool ok = false;
        const std::pair<const aiTexture*, int> embedded = s_.GetEmbeddedTextureAndIndex(name.c_str());
        if (const aiTexture* t = embedded.first) {
            ok = embeddedPicture(*t, decoded, why);
        } else {
            std::string path;
            std::vector<uint8_t> bytes;
            if (!folder_.findTexture(name, path, why)) {
                // Kept out by the folder rule, not lost: said so (models/model_folder.h).
                why = why.find("outside") != std::string::npos
                          ? "refused: outside the model's folder (--assets DIR allows a folder of yours as well)"
                          : "is missing: it " + why;
            } else if (readRegularFile(path, static_cast<size_t>(kMaxModelPartBytes), bytes, why) != FileReadResult::Ok) {
                why = "cannot be read: it " + why;
            } else {
                ok = decodeTexturePicture(bytes, budgetLeft_, decoded, why);
                file = givenFolder_ + path.substr(std::min(path.size(), folder_.root().size() + 1));
            }
        }
        if (!ok) {
            // Past the budget every further texture would say the same: they share one line.
            if (why.find("budget") != std::string::npos) {
                overBudget_.push_back(name);
                return -1;
            }
            warn("texture " + name + " " + why + "; drawn without it");
            return -1;
        }
        if (decoded.truncated) warn("texture " + name + " is truncated or damaged; the part missing is drawn grey");
        budgetLeft_ -= decoded.sourcePixels;
        index = static_cast<int>(out_.pictures.size());
        out_.pictures.push_back({name, file, decoded.width, decoded.height, std::move(decoded.rgba)});
        return index;
    }

    bool embeddedPicture(const aiTexture& t, TexturePicture& decoded, std::string& why) {
        if (t.mHeight == 0) {  // a picture file's bytes, mWidth of them
            if (!t.pcData || t.mWidth == 0) {
                why = "is empty";
                return false;
            }
            const auto* bytes = reinterpret_cast<const uint8_t*>(t.pcData);
            return decodeTexturePicture(std::vector<uint8_t>(bytes, bytes + t.mWidth), budgetLeft_, decoded, why);
        }
        const long long pixels = static_cast<long long>(t.mWidth) * t.mHeight;
        if (!t.pcData || pixels > budgetLeft_ || t.mWidth > 16384 || t.mHeight > 16384) {
            why = "is larger than the texture budget has left";  // "budget": counted with the rest
            return false;
        }
        // Raw texels, B G R A, top row first; kept as they are (a raw texture is small).
        std::vector<uint8_t> rgba(4 * static_cast<size_t>(pixels));
        for (unsigned y = 0; y < t.mHeight; ++y)
            for (unsigned x = 0; x < t.mWidth; ++x) {
                const aiTexel& p = t.pcData[static_cast<size_t>(y) * t.mWidth + x];
                uint8_t* q = &rgba[4 * ((static_cast<size_t>(t.mHeight - 1 - y)) * t.mWidth + x)];
                q[0] = p.r, q[1] = p.g, q[2] = p.b, q[3] = p.a;
            }
        decoded.width = static_cast<int>(t.mWidth), decoded.height = static_cast<int>(t.mHeight);
        decoded.rgba = std::move(rgba);
        decoded.sourcePixels = pixels;
        return true;
    }

    void material(const aiMaterial& m) {
        ImportedMaterial out;
        aiString name;
        if (m.Get(AI_MATKEY_NAME, name) == AI_SUCCESS) out.name = name.C_Str();
        float shininess = 0, opacity = 1;
        m.Get(AI_MATKEY_SHININESS, shininess);
        m.Get(AI_MATKEY_OPACITY, opacity);
        out.shininess = clampFinite(shininess, 0.0f, 128.0f, 0.0f);  // OpenGL's exponents: 0 to 128
        out.diffuse = colourOf(m, AI_MATKEY_COLOR_DIFFUSE, {0.8f, 0.8f, 0.8f, 1});
        out.diffuse.a = clampFinite(opacity, 0.0f, 1.0f, 1.0f);
        out.specular = colourOf(m, AI_MATKEY_COLOR_SPECULAR, {0, 0, 0, 1});
        aiString file;
        const bool textured = (m.GetTexture(aiTextureType_DIFFUSE, 0, &file) == AI_SUCCESS ||
                               m.GetTexture(aiTextureType_BASE_COLOR, 0, &file) == AI_SUCCESS) &&
                              file.length > 0;
        if (textured) out.picture = picture(file.C_Str());
        // The texture is multiplied by the lit colour: a black diffuse colour (which some
        // exporters write beside a texture) would hide it.
        if (out.picture >= 0 && brightness(out.diffuse) < 0.05f) out.diffuse = {1, 1, 1, out.diffuse.a};
        // Most formats now leave the ambient colour black, and a few write 0.05 grey; either
        // would leave the sides a light does not reach black.
        out.ambient = colourOf(m, AI_MATKEY_COLOR_AMBIENT, {0, 0, 0, 1});
        if (brightness(out.ambient) < 0.1f) out.ambient = out.diffuse;
        out.ambient.a = 1;
        out_.materials.push_back(std::move(out));
    }

    void mesh(const aiMesh& m) {
        ImportedMesh out;
        out.name = m.mName.C_Str();
        out.material = m.mMaterialIndex < s_.mNumMaterials ? static_cast<int>(m.mMaterialIndex) : -1;
        const size_t n = m.mNumVertices;
        out.positions.resize(3 * n), out.normals.resize(m.mNormals ? 3 * n : 0);
        for (size_t v = 0; v < n; ++v) {
            const aiVector3D& p = m.mVertices[v];
            out.positions[3 * v] = finite(p.x), out.positions[3 * v + 1] = finite(p.y), out.positions[3 * v + 2] = finite(p.z);
            if (!m.mNormals) continue;
            const aiVector3D& q = m.mNormals[v];
            out.normals[3 * v] = finite(q.x), out.normals[3 * v + 1] = finite(q.y), out.normals[3 * v + 2] = finite(q.z);
        }
        // The channel the material's texture reads.
        int channel = 0;
        if (out.material >= 0) {
            const aiMaterial& mat = *s_.mMaterials[out.material];
            if (mat.Get(AI_MATKEY_UVWSRC(aiTextureType_DIFFUSE, 0), channel) != AI_SUCCESS &&
                mat.Get(AI_MATKEY_UVWSRC(aiTextureType_BASE_COLOR, 0), channel) != AI_SUCCESS)
                channel = 0;
            if (channel < 0 || channel >= AI_MAX_NUMBER_OF_TEXTURECOORDS || !m.HasTextureCoords(channel)) channel = 0;
        }
        if (m.HasTextureCoords(channel)) {
            out.uv.resize(2 * n);
            for (size_t v = 0; v < n; ++v)
                out.uv[2 * v] = finite(m.mTextureCoords[channel][v].x), out.uv[2 * v + 1] = finite(m.mTextureCoords[channel][v].y);
        }
        if (m.HasVertexColors(0) && !placeholderColours(m.mColors[0], n)) {
            out.colours.resize(4 * n);
            for (size_t v = 0; v < n; ++v) {
                const aiColor4D& c = m.mColors[0][v];
                out.colours[4 * v] = unit(c.r), out.colours[4 * v + 1] = unit(c.g), out.colours[4 * v + 2] = unit(c.b);
                out.colours[4 * v + 3] = clampFinite(c.a, 0.0f, 1.0f, 1.0f);
            }
        }
        out.faces.reserve(3 * static_cast<size_t>(m.mNumFaces));
        for (unsigned i = 0; i < m.mNumFaces; ++i) {
            const aiFace& f = m.mFaces[i];
            if (f.mNumIndices == 3 && f.mIndices[0] < n && f.mIndices[1] < n && f.mIndices[2] < n)
                out.faces.insert(out.faces.end(), f.mIndices, f.mIndices + 3);
        }
        // A file's own normals are kept as they are; a mesh without them is welded, then given
        // normals that keep its hard edges hard (models/mesh_welding.h).
        weldVertices(out);
        if (!m.mNormals) makeCreasedNormals(out, kCreaseAngleDeg);
        out_.meshes.push_back(std::move(out));
    }

    // Parents before children, without recursion (a file may nest its nodes thousands deep).
    void nodes() {
        struct Pending {
            const aiNode* node;
            int parent, depth;
            aiMatrix4x4 before;  // transforms of folded ancestors between `parent` and `node`
        };
        std::vector<Pending> stack{{s_.mRootNode, -1, 0, aiMatrix4x4()}};
        while (!stack.empty()) {
            const Pending p = stack.back();
            stack.pop_back();
            ImportedNode out;
            out.name = p.node->mName.C_Str();
            out.parent = p.parent;
            const aiMatrix4x4 local = p.before * p.node->mTransformation;
            toColumnMajor(local, out.transform);
            for (unsigned k = 0; k < p.node->mNumMeshes; ++k)
                if (p.node->mMeshes[k] < s_.mNumMeshes) out.meshes.push_back(static_cast<int>(p.node->mMeshes[k]));
            const int index = static_cast<int>(out_.nodes.size());
            out_.nodes.push_back(std::move(out));
            // Below the deepest level kept, children hang from this node's parent with this
            // node's transform folded into theirs.
            const bool fold = p.depth >= kMaxNodeDepth;
            for (unsigned c = p.node->mNumChildren; c-- > 0;)
                if (const aiNode* child = p.node->mChildren[c])
                    stack.push_back(fold ? Pending{child, p.parent, p.depth, local} : Pending{child, index, p.depth + 1, aiMatrix4x4()});
        }
    }

    void light(const aiLight& l) {
        aiMatrix4x4 m;
        if (const aiNode* at = s_.mRootNode->FindNode(l.mName))
            for (const aiNode* n = at; n; n = n->mParent) m = n->mTransformation * m;
        const aiVector3D p = m * l.mPosition;
        aiVector3D d = aiMatrix3x3(m) * l.mDirection;
        if (d.SquareLength() > 0) d.Normalize();
        ImportedLight out;
        out.name = l.mName.C_Str();
        out.ambient = lightColour(l.mColorAmbient), out.diffuse = lightColour(l.mColorDiffuse);
        out.specular = lightColour(l.mColorSpecular);
        aiVector3D at = p;
        if (l.mType == aiLightSource_SPOT) {
            out.kind = kSpotLight;
            out.cutoffDeg = std::clamp(l.mAngleOuterCone * 90.0f / static_cast<float>(M_PI), 0.0f, 90.0f);
        } else if (l.mType == aiLightSource_DIRECTIONAL && d.SquareLength() > 0) {
            at = d * -1.0e5f;  // a point light far along the direction
        } else if (l.mType != aiLightSource_POINT) {
            return;
        }
        out.position[0] = finite(at.x), out.position[1] = finite(at.y), out.position[2] = finite(at.z);
        out.direction[0] = finite(d.x), out.direction[1] = finite(d.y), out.direction[2] = finite(d.z);
        out_.lights.push_back(std::move(out));
    }
};

// Faces of three or more corners, before they are made triangles.
bool hasFaces(const aiScene& s) {
    for (unsigned i = 0; i < s.mNumMeshes; ++i) {
        const aiMesh* m = s.mMeshes[i];
        if (!m) continue;
        if (m->mPrimitiveTypes & (aiPrimitiveType_TRIANGLE | aiPrimitiveType_POLYGON)) return true;
        for (unsigned f = 0; f < m->mNumFaces && !m->mPrimitiveTypes; ++f)
            if (m->mFaces[f].mNumIndices >= 3) return true;
    }
    return false;
}

}  // namespace

bool importWithAssimp(const std::string& file, ImportedModel& out, std::string& why, const std::string& assets) {
    out = ImportedModel{};
    const ModelFolder folder(file, assets);
    std::string path;
    long long size = 0;
    FILE* f = ModelFolder::openRegular(file, &size, why);
    if (!f) return false;
    std::vector<uint8_t> head(4096);
    head.resize(std::fread(head.data(), 1, head.size(), f));
    std::fclose(f);
    if (!headerFitsFile(head.data(), head.size(), size, why)) return false;
    if (utf16Text(head)) {
        why = "is UTF-16 text, which the importer cannot read (saved as UTF-8 or ASCII it loads)";
        return false;
    }

    std::string logged;  // the importer's last error line
    Assimp::DefaultLogger::create(nullptr, Assimp::Logger::NORMAL, 0);
    Assimp::DefaultLogger::get()->attachStream(new LastErrorLine(logged), Assimp::Logger::Err);
    struct KillLogger {
        ~KillLogger() { Assimp::DefaultLogger::kill(); }
    } killLogger;
    std::vector<std::string> refused;
    Assimp::Importer importer;
    importer.SetIOHandler(new ConfinedFiles(folder, refused));
    importer.SetPropertyInteger(AI_CONFIG_PP_SBP_REMOVE, aiPrimitiveType_POINT | aiPrimitiveType_LINE);
    importer.SetPropertyBool(AI_CONFIG_IMPORT_COLLADA_IGNORE_UP_DIRECTION, true);
    // Read first as the file is, to tell a file of points or lines from one that cannot be read,
    // then made into what the scene draws.
    const aiScene* scene = importer.ReadFile(file, 0);
    auto reason = [&] {
        const char* importerWhy = importer.GetErrorString();
        std::string r = importerWhy && *importerWhy ? importerWhy : logged;
        if (!refused.empty()) r += (r.empty() ? "" : "; ") + refused.front();
        return r;
    };
    if (!scene || !scene->mRootNode) {
        const std::string r = reason();
        // The importer catches its own allocation failures and says only this.
        if (r.find("bad_alloc") != std::string::npos) throw std::bad_alloc();
        why = "cannot be read as a model (" + (r.empty() ? std::string("no reason given") : r) + ")";
        return false;
    }
    if (scene->mNumMeshes > 0 && !hasFaces(*scene)) {
        why = "has only points or lines, nothing to draw";
        return false;
    }
    if ((scene->mFlags & AI_SCENE_FLAGS_INCOMPLETE) || scene->mNumMeshes == 0) {
        const std::string r = reason();
        why = "is incomplete" + (r.empty() ? std::string(": it holds no meshes") : " (" + r + ")");
        return false;
    }
    // Normals and the welding of equal vertices are ours (models/mesh_welding.h): the importer's
    // own take three times the time and twice the memory on large files. What the importer
    // hands over is checked as it is converted, and the child process bounds the rest.
    scene = importer.ApplyPostProcessing(aiProcess_Triangulate | aiProcess_SortByPType | aiProcess_GenUVCoords |
                                         aiProcess_TransformUVCoords);
    if (!scene || !scene->mRootNode || scene->mNumMeshes == 0) {
        const std::string r = reason();
        if (r.find("bad_alloc") != std::string::npos) throw std::bad_alloc();
        why = "cannot be read as a model (" + (r.empty() ? std::string("no reason given") : r) + ")";
        return false;
    }
    for (const std::string& r : refused) out.warnings.push_back("the file " + r + "; it was not read");

    const std::string extension = lowerExtension(file);
    aiNode* root = scene->mRootNode;
    if (extension == "3ds" || extension == "prj") root->mTransformation = k3dsTurnBack * root->mTransformation;
    out.up = declaredUp(*scene, file, extension, out.upSource);
    Converter(*scene, folder, file, out).run();
    return true;
}
