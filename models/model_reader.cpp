// Our model-file reader: assimp reads the file (3DS, OBJ, glTF, PLY, STL, Collada and the rest
// of its formats), and the reader walks what it found, calling the factory's operations:
//
//   materials   createMaterial at index i; a diffuse texture also createTexture at index
//               materials + i, its file looked up by its base name in the texture directory
//   meshes      createMeshFromArrays at index m (triangles only; points and lines are dropped)
//   nodes       the root node as entity -1 (added to the root group), every other node as a
//               group entity with its transform, under its parent's entity; each mesh of a node
//               as an object entity under it, carrying its material, or, when textured, as an
//               object carrying the texture under a group carrying the material
//   lights      (when asked for) point and spot lights at their place in the model; directional
//               lights become point lights far along their direction
//
// A node's transform is taken apart into position, rotation and scale (a shear is lost).
// Files are checked before assimp sees them: a regular file of at most kMaxModelFileBytes.
#include <assimp/Importer.hpp>
#include <assimp/postprocess.h>
#include <assimp/scene.h>
#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstring>
#include <vector>

#include "models/model_factory.h"
#include "scene/mesh.h"
#include "scene/texture.h"

namespace {

constexpr long long kMaxModelFileBytes = 1ll << 30;

// A file's number clamped to what OpenGL takes; `otherwise` for one that is not a number.
float clampFinite(float v, float lo, float hi, float otherwise) { return std::isfinite(v) ? std::clamp(v, lo, hi) : otherwise; }
float unit(float v) { return clampFinite(v, 0.0f, 1.0f, 0.0f); }

Colour4 colourOf(const aiMaterial& m, const char* key, unsigned type, unsigned index, Colour4 fallback) {
    aiColor4D c;
    if (m.Get(key, type, index, c) != AI_SUCCESS) return fallback;
    return {unit(c.r), unit(c.g), unit(c.b), unit(c.a)};
}

Colour4 lightColour(const aiColor3D& c) {
    // Some formats give radiometric intensities; OpenGL's lights take 0..1.
    return {unit(c.r), unit(c.g), unit(c.b), 1.0f};
}

std::string baseName(const char* path) {
    std::string p(path);
    std::replace(p.begin(), p.end(), '\\', '/');
    const size_t slash = p.rfind('/');
    return slash == std::string::npos ? p : p.substr(slash + 1);
}

aiMatrix4x4 globalTransform(const aiNode* node) {
    aiMatrix4x4 m;
    for (; node; node = node->mParent) m = node->mTransformation * m;
    return m;
}

class Walker {
public:
    Walker(ModelFactory& f, const aiScene& s) : f_(f), s_(s) {}

    bool run(std::string& error) {
        const int materials = static_cast<int>(s_.mNumMaterials);
        int nodes = 0, meshRefs = 0;
        count(s_.mRootNode, nodes, meshRefs);
        if (!f_.allocateAppearances(2 * materials) || !f_.allocateMeshes(static_cast<int>(s_.mNumMeshes)) ||
            !f_.allocateEntities(nodes + 2 * meshRefs)) {
            error = "holds more items than a scene can take";
            return false;
        }
        textured_.assign(materials, false);
        for (int i = 0; i < materials; ++i) material(i);
        for (unsigned m = 0; m < s_.mNumMeshes; ++m) mesh(static_cast<int>(m));
        if (!node(s_.mRootNode, -1, -2)) {
            error = "has a node tree the scene cannot take";
            return false;
        }
        if (f_.shouldLoadLights())
            for (unsigned l = 0; l < s_.mNumLights; ++l) light(*s_.mLights[l]);
        return true;
    }

private:
    ModelFactory& f_;
    const aiScene& s_;
    std::vector<bool> textured_;
    int nextEntity_ = 0;

    static void count(const aiNode* n, int& nodes, int& meshRefs) {
        ++nodes;
        meshRefs += static_cast<int>(n->mNumMeshes);
        for (unsigned i = 0; i < n->mNumChildren; ++i) count(n->mChildren[i], nodes, meshRefs);
    }

    void material(int i) {
        const aiMaterial& m = *s_.mMaterials[i];
        aiString name;
        m.Get(AI_MATKEY_NAME, name);
        float shininess = 0, opacity = 1;
        m.Get(AI_MATKEY_SHININESS, shininess);
        m.Get(AI_MATKEY_OPACITY, opacity);
        // OpenGL takes a specular exponent of 0 to 128.
        shininess = clampFinite(shininess, 0.0f, 128.0f, 0.0f);
        Colour4 diffuse = colourOf(m, AI_MATKEY_COLOR_DIFFUSE, {0.8f, 0.8f, 0.8f, 1});
        diffuse.a = clampFinite(opacity, 0.0f, 1.0f, 1.0f);
        // A file without an ambient colour, or with a black one (most formats now), takes its
        // diffuse colour at a quarter, so that the sides a light does not reach keep their colour.
        const Colour4 dimmed = {0.25f * diffuse.r, 0.25f * diffuse.g, 0.25f * diffuse.b, 1};
        Colour4 ambient = colourOf(m, AI_MATKEY_COLOR_AMBIENT, dimmed);
        if (ambient.r == 0 && ambient.g == 0 && ambient.b == 0) ambient = dimmed;
        const Colour4 specular = colourOf(m, AI_MATKEY_COLOR_SPECULAR, {0, 0, 0, 1});
        f_.createMaterial(i, name.length ? name.C_Str() : nullptr, 0, ambient, diffuse, shininess, specular);

        aiString file;
        if (m.GetTexture(aiTextureType_DIFFUSE, 0, &file) != AI_SUCCESS || file.length == 0) return;
        if (file.data[0] == '*') return;  // pictures inside the model file are not read
        const std::string picture = baseName(file.C_Str());
        const int ignored[13] = {};
        f_.createTexture(static_cast<int>(s_.mNumMaterials) + i, picture.c_str(), 0, picture.c_str(), ignored);
        textured_[i] = true;
    }

    void mesh(int index) {
        const aiMesh& m = *s_.mMeshes[index];
        const int n = static_cast<int>(m.mNumVertices);
        std::vector<float> positions(3 * static_cast<size_t>(n)), normals(3 * static_cast<size_t>(n), 0.0f), uv;
        for (int v = 0; v < n; ++v) {
            positions[3 * v] = m.mVertices[v].x, positions[3 * v + 1] = m.mVertices[v].y, positions[3 * v + 2] = m.mVertices[v].z;
            if (m.mNormals) normals[3 * v] = m.mNormals[v].x, normals[3 * v + 1] = m.mNormals[v].y, normals[3 * v + 2] = m.mNormals[v].z;
            else normals[3 * v + 2] = 1.0f;
        }
        if (m.HasTextureCoords(0)) {
            uv.resize(2 * static_cast<size_t>(n));
            for (int v = 0; v < n; ++v) uv[2 * v] = m.mTextureCoords[0][v].x, uv[2 * v + 1] = m.mTextureCoords[0][v].y;
        }
        std::vector<uint32_t> faces;
        faces.reserve(3 * static_cast<size_t>(m.mNumFaces));
        for (unsigned i = 0; i < m.mNumFaces; ++i)
            if (m.mFaces[i].mNumIndices == 3) faces.insert(faces.end(), m.mFaces[i].mIndices, m.mFaces[i].mIndices + 3);
        f_.createMeshFromArrays(index, 0, n, positions.data(), normals.data(), static_cast<int>(faces.size() / 3),
                                faces.data(), uv.empty() ? nullptr : uv.data());
    }

    // The node as entity `index` (-1 for the root) under entity `parent` (-2: the root group).
    bool node(const aiNode* n, int index, int parent) {
        aiVector3D scale, position;
        aiQuaternion rotation;
        n->mTransformation.Decompose(scale, rotation, position);
        const float w = std::clamp(rotation.w, -1.0f, 1.0f);
        const float angle = 2.0f * std::acos(w) * 180.0f / static_cast<float>(M_PI);
        f_.setTransform(0, 0, 0, position.x, position.y, position.z, angle, rotation.x, rotation.y, rotation.z, scale.x,
                        scale.y, scale.z);
        f_.createEntity(index, n->mName.length ? n->mName.C_Str() : nullptr, nullptr, f_.getTransformCarrier(), nullptr);
        Entity* self = f_.getEntity(index);
        if (!self || !(parent == -2 ? f_.addRootChild(self) : f_.addEntityChild(parent, self)))
            return false;
        for (unsigned k = 0; k < n->mNumMeshes; ++k) placeMesh(n->mMeshes[k], index);
        for (unsigned c = 0; c < n->mNumChildren; ++c)
            if (!node(n->mChildren[c], nextEntity_++, index)) return false;
        return true;
    }

    void placeMesh(unsigned meshIndex, int parent) {
        if (meshIndex >= s_.mNumMeshes || !f_.getMesh(static_cast<int>(meshIndex))) return;
        const aiMesh& m = *s_.mMeshes[meshIndex];
        const int mat = static_cast<int>(m.mMaterialIndex);
        const bool known = mat >= 0 && mat < static_cast<int>(s_.mNumMaterials);
        Appearance* material = known ? f_.getAppearance(mat) : nullptr;
        // Some formats number their meshes; the material's name then says more.
        aiString materialName;
        if (known) s_.mMaterials[mat]->Get(AI_MATKEY_NAME, materialName);
        const bool numbered = std::all_of(m.mName.C_Str(), m.mName.C_Str() + m.mName.length, ::isdigit);
        const aiString& label = numbered && materialName.length ? materialName : m.mName;
        const char* name = label.length ? label.C_Str() : nullptr;
        Shape* shape = f_.getMesh(static_cast<int>(meshIndex));
        if (known && textured_[mat]) {
            const int group = nextEntity_++;
            f_.createEntity(group, name, nullptr, nullptr, material);
            const int object = nextEntity_++;
            f_.createEntity(object, name, shape, nullptr, f_.getAppearance(static_cast<int>(s_.mNumMaterials) + mat));
            f_.addEntityChild(group, f_.getEntity(object));
            f_.addEntityChild(parent, f_.getEntity(group));
        } else {
            const int object = nextEntity_++;
            f_.createEntity(object, name, shape, nullptr, material);
            f_.addEntityChild(parent, f_.getEntity(object));
        }
    }

    void light(const aiLight& l) {
        const aiNode* at = s_.mRootNode->FindNode(l.mName);
        const aiMatrix4x4 m = at ? globalTransform(at) : aiMatrix4x4();
        aiMatrix3x3 turn(m);
        const aiVector3D p = m * l.mPosition;
        aiVector3D d = turn * l.mDirection;
        if (d.SquareLength() > 0) d.Normalize();
        const char* name = l.mName.length ? l.mName.C_Str() : nullptr;
        const Colour4 ambient = lightColour(l.mColorAmbient), diffuse = lightColour(l.mColorDiffuse),
                      specular = lightColour(l.mColorSpecular);
        if (l.mType == aiLightSource_SPOT) {
            const float cutoff = std::clamp(l.mAngleOuterCone * 90.0f / static_cast<float>(M_PI), 0.0f, 90.0f);
            f_.createSpotLight(name, 0, true, ambient, diffuse, specular, p.x, p.y, p.z, d.x, d.y, d.z, 0.0f, cutoff);
        } else if (l.mType == aiLightSource_POINT) {
            f_.createPointLight(name, 0, true, ambient, diffuse, specular, p.x, p.y, p.z);
        } else if (l.mType == aiLightSource_DIRECTIONAL && d.SquareLength() > 0) {
            const aiVector3D far = d * -1.0e5f;
            f_.createPointLight(name, 0, true, ambient, diffuse, specular, far.x, far.y, far.z);
        } else {
            return;
        }
        f_.addRootChild(f_.getLastLight());
    }
};

}  // namespace

bool ModelFactory::readInto(const char* file, const char* textureDir, std::string& error) {
    struct stat st;
    if (!file || stat(file, &st) != 0) {
        error = std::string("cannot be opened (") + std::strerror(errno) + ")";
        return false;
    }
    if (!S_ISREG(st.st_mode)) {
        error = "is not a regular file";
        return false;
    }
    if (st.st_size > kMaxModelFileBytes) {
        error = "is larger than the " + std::to_string(kMaxModelFileBytes) + " bytes a model file can have";
        return false;
    }
    Assimp::Importer importer;
    importer.SetPropertyInteger(AI_CONFIG_PP_SBP_REMOVE, aiPrimitiveType_POINT | aiPrimitiveType_LINE);
    const aiScene* scene = importer.ReadFile(
        file, aiProcess_Triangulate | aiProcess_GenSmoothNormals | aiProcess_JoinIdenticalVertices |
                  aiProcess_SortByPType | aiProcess_ValidateDataStructure | aiProcess_FindInvalidData);
    if (!scene || (scene->mFlags & AI_SCENE_FLAGS_INCOMPLETE) || !scene->mRootNode) {
        const char* why = importer.GetErrorString();
        error = std::string("cannot be read as a model") + (why && *why ? std::string(" (") + why + ")" : "");
        return false;
    }
    // Textures are named by the file; the texture directory is put before them while loading.
    const std::string previous = texturePath() ? texturePath() : "";
    const bool hadPath = texturePath() != nullptr;
    setTexturePath(textureDir);
    Walker walker(*this, *scene);
    const bool ok = walker.run(error);
    if (hadPath) setTexturePath(previous.c_str());
    else clearTexturePath();
    return ok;
}
