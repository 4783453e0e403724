// Our model-file reader: the file is imported in a child process (models/import_process.h) and
// what comes back, plain data in the file's own axes, is walked here, calling the factory's
// operations:
//
//   materials   createMaterial at index i; a textured one also a texture at index materials + i
//               (createTextureFromPicture, one texture for each picture however many materials
//               show it)
//   meshes      createMeshFromArrays at index m, then addVertexColours when the mesh has colours,
//               and addCoarseCopy when it has more than kCoarseCopyAbove triangles
//   nodes       the root node as entity -1 (added to the root group), every other node as a
//               group entity with its transform, under its parent's entity; each mesh of a node
//               as an object entity under it, carrying its material, or, when textured, as an
//               object carrying the texture under a group carrying the material
//   lights      (when asked for) point and spot lights at their place in the model
//
// A node's transform is taken apart into position, rotation and scale (a shear is lost).
#include <algorithm>
#include <cctype>
#include <cmath>
#include <vector>

#include "models/import_process.h"
#include "models/mesh_clustering.h"
#include "models/model_factory.h"
#include "scene/mesh.h"
#include "scene/texture.h"

namespace {

bool (*g_cancelCheck)() = nullptr;

// Position, rotation (angle in degrees about an axis) and scale of a column-major transform
// M = T R S: the columns of the upper 3 x 3 are R's columns times the scales; a mirroring
// (negative determinant) is put in the x scale.
void decompose(const float m[16], float position[3], float& angleDeg, float axis[3], float scale[3]) {
    float r[3][3];
    for (int c = 0; c < 3; ++c) {
        const float len = std::sqrt(m[4 * c] * m[4 * c] + m[4 * c + 1] * m[4 * c + 1] + m[4 * c + 2] * m[4 * c + 2]);
        scale[c] = len;
        for (int k = 0; k < 3; ++k) r[k][c] = len > 0 ? m[4 * c + k] / len : (k == c ? 1.0f : 0.0f);
    }
    const float det = r[0][0] * (r[1][1] * r[2][2] - r[1][2] * r[2][1]) - r[0][1] * (r[1][0] * r[2][2] - r[1][2] * r[2][0]) +
                      r[0][2] * (r[1][0] * r[2][1] - r[1][1] * r[2][0]);
    if (det < 0) {
        scale[0] = -scale[0];
        for (int k = 0; k < 3; ++k) r[k][0] = -r[k][0];
    }
    for (int k = 0; k < 3; ++k) position[k] = m[12 + k];
    // The axis-angle of a rotation matrix from its quaternion, which stays exact near 0 and 180 deg.
    const float trace = r[0][0] + r[1][1] + r[2][2];
    float q[4];  // w x y z
    if (trace > 0) {
        const float s = 2 * std::sqrt(trace + 1);
        q[0] = s / 4, q[1] = (r[2][1] - r[1][2]) / s, q[2] = (r[0][2] - r[2][0]) / s, q[3] = (r[1][0] - r[0][1]) / s;
    } else if (r[0][0] > r[1][1] && r[0][0] > r[2][2]) {
        const float s = 2 * std::sqrt(1 + r[0][0] - r[1][1] - r[2][2]);
        q[0] = (r[2][1] - r[1][2]) / s, q[1] = s / 4, q[2] = (r[0][1] + r[1][0]) / s, q[3] = (r[0][2] + r[2][0]) / s;
    } else if (r[1][1] > r[2][2]) {
        const float s = 2 * std::sqrt(1 + r[1][1] - r[0][0] - r[2][2]);
        q[0] = (r[0][2] - r[2][0]) / s, q[1] = (r[0][1] + r[1][0]) / s, q[2] = s / 4, q[3] = (r[1][2] + r[2][1]) / s;
    } else {
        const float s = 2 * std::sqrt(1 + r[2][2] - r[0][0] - r[1][1]);
        q[0] = (r[1][0] - r[0][1]) / s, q[1] = (r[0][2] + r[2][0]) / s, q[2] = (r[1][2] + r[2][1]) / s, q[3] = s / 4;
    }
    const float w = std::clamp(q[0], -1.0f, 1.0f);
    angleDeg = 2.0f * std::acos(w) * 180.0f / static_cast<float>(M_PI);
    for (int k = 0; k < 3; ++k) axis[k] = std::isfinite(q[k + 1]) ? q[k + 1] : 0.0f;
    if (!std::isfinite(angleDeg)) angleDeg = 0;
}

class Builder {
public:
    Builder(ModelFactory& f, const ImportedModel& m) : f_(f), m_(m) {}

    bool run(std::string& error) {
        const int materials = static_cast<int>(m_.materials.size());
        size_t meshRefs = 0;
        for (const ImportedNode& n : m_.nodes) meshRefs += n.meshes.size();
        const size_t entities = m_.nodes.size() + 2 * meshRefs;
        if (entities > (1u << 24) || !f_.allocateAppearances(2 * materials) ||
            !f_.allocateMeshes(static_cast<int>(m_.meshes.size())) || !f_.allocateEntities(static_cast<int>(entities))) {
            error = "holds more items than a scene can take";
            return false;
        }
        for (int i = 0; i < materials; ++i) material(i);
        for (size_t i = 0; i < m_.meshes.size(); ++i) mesh(static_cast<int>(i));
        entityOf_.assign(m_.nodes.size(), -1);
        for (size_t i = 0; i < m_.nodes.size(); ++i)
            if (!node(static_cast<int>(i))) {
                error = "has a node tree the scene cannot take";
                return false;
            }
        if (f_.shouldLoadLights())
            for (const ImportedLight& l : m_.lights) light(l);
        return true;
    }

private:
    ModelFactory& f_;
    const ImportedModel& m_;
    std::vector<int> entityOf_;
    int nextEntity_ = 0;

    bool textured(int material) const { return material >= 0 && m_.materials[material].picture >= 0; }

    void material(int i) {
        const ImportedMaterial& m = m_.materials[i];
        f_.createMaterial(i, m.name.empty() ? nullptr : m.name.c_str(), 0, m.ambient, m.diffuse, m.shininess, m.specular);
        if (m.picture < 0) return;
        const ImportedPicture& p = m_.pictures[m.picture];
        f_.createTextureFromPicture(static_cast<int>(m_.materials.size()) + i, p.name.c_str(), p.file.c_str(),
                                    m.picture, p.width, p.height, p.rgba.data());
    }

    void mesh(int index) {
        const ImportedMesh& m = m_.meshes[index];
        const int n = m.vertexCount();
        f_.createMeshFromArrays(index, 0, n, m.positions.data(), m.normals.data(), static_cast<int>(m.faces.size() / 3),
                                m.faces.data(), m.uv.empty() ? nullptr : m.uv.data());
        if (!m.colours.empty()) f_.addVertexColours(index, n, m.colours.data());
        if (m.faces.size() / 3 > kCoarseCopyAbove) {
            const ImportedMesh c = clusteredCopy(m);
            f_.addCoarseCopy(index, c.vertexCount(), c.positions.data(), c.normals.data(), c.uv.empty() ? nullptr : c.uv.data(),
                             c.colours.empty() ? nullptr : c.colours.data(), static_cast<int>(c.faces.size() / 3),
                             c.faces.data());
        }
    }

    bool node(int i) {
        const ImportedNode& n = m_.nodes[i];
        float position[3], angle, axis[3], scale[3];
        decompose(n.transform, position, angle, axis, scale);
        f_.setTransform(0, 0, 0, position[0], position[1], position[2], angle, axis[0], axis[1], axis[2], scale[0],
                        scale[1], scale[2]);
        const int index = i == 0 ? -1 : nextEntity_++;
        entityOf_[i] = index;
        f_.createEntity(index, n.name.empty() ? nullptr : n.name.c_str(), nullptr, f_.getTransformCarrier(), nullptr);
        Entity* self = f_.getEntity(index);
        if (!self || !(i == 0 ? f_.addRootChild(self) : f_.addEntityChild(entityOf_[n.parent], self))) return false;
        for (int mesh : n.meshes) placeMesh(mesh, index);
        return true;
    }

    void placeMesh(int meshIndex, int parent) {
        Shape* shape = f_.getMesh(meshIndex);
        if (!shape) return;
        const ImportedMesh& m = m_.meshes[meshIndex];
        const int mat = m.material;
        Appearance* material = mat >= 0 ? f_.getAppearance(mat) : nullptr;
        // Some formats number their meshes; the material's name then says more.
        const bool numbered = std::all_of(m.name.begin(), m.name.end(), [](char c) { return std::isdigit(static_cast<unsigned char>(c)); });
        const std::string& label = numbered && mat >= 0 && !m_.materials[mat].name.empty() ? m_.materials[mat].name : m.name;
        const char* name = label.empty() ? nullptr : label.c_str();
        if (textured(mat) && f_.getAppearance(static_cast<int>(m_.materials.size()) + mat)) {
            const int group = nextEntity_++;
            f_.createEntity(group, name, nullptr, nullptr, material);
            const int object = nextEntity_++;
            f_.createEntity(object, name, shape, nullptr, f_.getAppearance(static_cast<int>(m_.materials.size()) + mat));
            f_.addEntityChild(group, f_.getEntity(object));
            f_.addEntityChild(parent, f_.getEntity(group));
        } else {
            const int object = nextEntity_++;
            f_.createEntity(object, name, shape, nullptr, material);
            f_.addEntityChild(parent, f_.getEntity(object));
        }
    }

    void light(const ImportedLight& l) {
        const char* name = l.name.empty() ? nullptr : l.name.c_str();
        const float* p = l.position;
        const float* d = l.direction;
        if (l.kind == kSpotLight)
            f_.createSpotLight(name, 0, true, l.ambient, l.diffuse, l.specular, p[0], p[1], p[2], d[0], d[1], d[2], 0.0f,
                               l.cutoffDeg);
        else
            f_.createPointLight(name, 0, true, l.ambient, l.diffuse, l.specular, p[0], p[1], p[2]);
        f_.addRootChild(f_.getLastLight());
    }
};

}  // namespace

void setImportCancelCheck(bool (*cancelled)()) { g_cancelCheck = cancelled; }

bool ModelFactory::readInto(const char* file, std::string& error, std::vector<std::string>& warnings) {
    if (!file) {
        error = "has no name";
        return false;
    }
    ImportedModel model;
    if (!importInChild(file, model, error, g_cancelCheck, assetsFolder_)) return false;
    warnings = model.warnings;
    return buildFrom(model, error);
}

bool ModelFactory::buildFrom(const ImportedModel& model, std::string& error) {
    upAxis_ = model.up.axis, upSign_ = model.up.sign;
    upSource_ = model.upSource;
    return Builder(*this, model).run(error);
}
