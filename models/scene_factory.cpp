#include "models/scene_factory.h"

#include <GL/gl.h>

#include <cstdio>
#include <new>

#include "base/report.h"
#include "scene/gl_extensions.h"
#include "scene/material.h"
#include "scene/texture.h"

namespace {
unsigned g_minFilter = GL_NEAREST, g_magFilter = GL_NEAREST;
bool g_mipmap = false;

// Names go to a trace hook that prints nothing; a debugger can stop here.
void trace(const char* /*format*/, const char* /*name*/) {}
}  // namespace

void TextureDefaults::set(unsigned minFilter, unsigned magFilter, bool mipmap) {
    g_minFilter = minFilter, g_magFilter = magFilter, g_mipmap = mipmap;
}
unsigned TextureDefaults::minFilter() { return g_minFilter; }
unsigned TextureDefaults::magFilter() { return g_magFilter; }
bool TextureDefaults::mipmap() { return g_mipmap; }

SceneFactory::SceneFactory() : ModelFactory("Orla Factory") {}

SceneFactory::~SceneFactory() {
    // Nodes never attached have no parent; collected first, since deleting one deletes its subtree.
    std::vector<Node*> loose;
    for (Node* n : madeNodes_)
        if (!n->getParent() && n != root_) loose.push_back(n);
    for (Node* n : loose) delete n;
    for (Component* c : madeComponents_) c->release();
}

std::string SceneFactory::fullName(const char* name) const {
    if (!name) return std::string();
    const char* rootName = root_ ? root_->getName() : nullptr;
    return rootName ? std::string(rootName) + "." + name : std::string(name);
}

// The table entry for `index`, the root item's for -1, null outside the table.
template <typename T>
T** SceneFactory::slot(std::vector<T*>& table, T*& rootItem, int index) {
    if (index == -1) return &rootItem;
    if (index < 0 || index >= static_cast<int>(table.size())) return nullptr;
    return &table[index];
}

bool SceneFactory::addRootChild(Node* node) { return root_ && root_->addChild(node); }

bool SceneFactory::addEntityChild(int index, Node* node) {
    Entity** e = slot(entities_, rootEntity_, index);
    Group* group = e && *e ? dynamic_cast<Group*>(*e) : nullptr;
    return group && group->addChild(node);
}

namespace {
// Tables are limited like meshes; a count beyond it (or negative) is refused.
template <typename T>
bool allocateTable(std::vector<T*>& table, int count) {
    if (count < 0 || count > kMaxMeshVertices) return false;
    table.assign(static_cast<size_t>(count), nullptr);
    return true;
}
}  // namespace

bool SceneFactory::allocateAppearances(int count) { return allocateTable(appearances_, count); }
bool SceneFactory::allocateMeshes(int count) { return allocateTable(meshes_, count); }
bool SceneFactory::allocateEntities(int count) { return allocateTable(entities_, count); }

Mesh* SceneFactory::getMesh(int index) {
    Mesh** m = slot(meshes_, rootMesh_, index);
    return m ? *m : nullptr;
}

Appearance* SceneFactory::getAppearance(int index) {
    return index >= 0 && index < static_cast<int>(appearances_.size()) ? appearances_[index] : nullptr;
}

Entity* SceneFactory::getEntity(int index) {
    Entity** e = slot(entities_, rootEntity_, index);
    return e ? *e : nullptr;
}

void SceneFactory::createEntity(int index, const char* name, Shape* shape, Entity* transform, Appearance* appearance) {
    trace("Setting entity name: %s\n", name);
    Entity** target = slot(entities_, rootEntity_, index);
    if (!target) return;
    Vec3 position, reference, scale{1, 1, 1};
    float angle = 0, ax = 0, ay = 0, az = 0;
    if (transform) {
        position = transform->getPosition();
        reference = transform->getReference();
        transform->getRotation(angle, ax, ay, az);
        scale = transform->getScale();
    }
    Object* object = nullptr;
    if (shape) {
        object = new Object(appearance);
        object->addShape(shape);
    }
    Entity* e = object ? static_cast<Entity*>(object) : new Group(index == -1 ? nullptr : appearance);
    keepNode(e);
    *target = e;
    if (transform) {
        e->setPosition(position.x, position.y, position.z);
        e->setReference(reference.x, reference.y, reference.z);
        e->setRotation(angle, ax, ay, az);
        e->setScale(scale.x, scale.y, scale.z);
    }
    if (name) e->setName(fullName(name).c_str());
}

void SceneFactory::createMaterial(int index, const char* name, int, Colour4 ambient, Colour4 diffuse, float shininess,
                                  Colour4 specular) {
    trace("Setting material name: %s\n", name);
    if (index < 0 || index >= static_cast<int>(appearances_.size())) return;
    auto* m = new Material;
    keepComponent(m);
    appearances_[index] = m;
    if (name) m->setName(fullName(name).c_str());
    m->setAmbient(ambient.r, ambient.g, ambient.b, ambient.a);
    m->setDiffuse(diffuse.r, diffuse.g, diffuse.b, diffuse.a);
    m->setSpecular(specular.r, specular.g, specular.b, specular.a);
    m->setShininess(shininess);
}

void SceneFactory::createTexture(int index, const char* name, int, const char* file, const int (&)[13]) {
    trace("Setting texture name: %s\n", name);
    if (index < 0 || index >= static_cast<int>(appearances_.size())) return;
    auto* t = new Texture;
    keepComponent(t);
    appearances_[index] = t;
    t->loadColor(file, nullptr);  // a texture whose picture cannot be read draws untextured
    if (name) t->setName(fullName(name).c_str());
    t->setInternalFormat(GL_RGB);
    t->setPixelFormat(GL_RGB);
    t->setEnvMode(GL_MODULATE);
    t->setFilters(TextureDefaults::minFilter(), TextureDefaults::magFilter(), TextureDefaults::mipmap());
    if (GLExtensions::contextCurrent()) t->upload();  // else when first drawn
}

void SceneFactory::createTextureFromPicture(int index, const char* name, const char* file, int pictureKey,
                                            int width, int height, const uint8_t* rgba) {
    if (index < 0 || index >= static_cast<int>(appearances_.size())) return;
    for (const auto& [key, made] : pictureTextures_)
        if (key == pictureKey) {
            keepComponent(made);
            appearances_[index] = made;
            return;
        }
    auto* t = new Texture;
    if (!t->loadPixels(file, width, height, rgba)) {
        delete t;
        return;
    }
    keepComponent(t);
    appearances_[index] = t;
    pictureTextures_.emplace_back(pictureKey, t);
    if (name) t->setName(fullName(name).c_str());
    t->setEnvMode(GL_MODULATE);
    t->setFilters(TextureDefaults::minFilter(), TextureDefaults::magFilter(), TextureDefaults::mipmap());
    if (GLExtensions::contextCurrent()) t->upload();  // else when first drawn
}

void SceneFactory::addVertexColours(int index, int vertexCount, const float* rgba) {
    Mesh* mesh = getMesh(index);
    if (!mesh || !rgba || vertexCount != mesh->getVertexCount()) return;
    auto* colours = new VertexAttribArray(vertexCount, kAttribColour, 4);
    colours->set(vertexCount, rgba);
    if (!mesh->addAttribArray(colours)) delete colours;
}

void SceneFactory::createPointLight(const char* name, int, bool on, Colour4 ambient, Colour4 diffuse, Colour4 specular,
                                    float x, float y, float z) {
    trace("Setting pointlight name: %s\n", name);
    auto* light = new PLight(x, y, z);
    keepNode(light);
    lastLight_ = light;
    if (name) light->setName(fullName(name).c_str());
    light->setAmbient(ambient.r, ambient.g, ambient.b, ambient.a);
    light->setDiffuse(diffuse.r, diffuse.g, diffuse.b, diffuse.a);
    light->setSpecular(specular.r, specular.g, specular.b, specular.a);
    light->setEnabled(on);
}

void SceneFactory::createSpotLight(const char* name, int, bool on, Colour4 ambient, Colour4 diffuse, Colour4 specular,
                                   float x, float y, float z, float dx, float dy, float dz, float exponent,
                                   float cutoff) {
    trace("Setting spotlight name: %s\n", name);
    auto* light = new SLight(x, y, z);
    keepNode(light);
    lastLight_ = light;
    if (name) light->setName(fullName(name).c_str());
    light->setDirection(dx, dy, dz);
    light->setCutoff(cutoff);
    light->setExponent(exponent);
    light->setAmbient(ambient.r, ambient.g, ambient.b, ambient.a);
    light->setDiffuse(diffuse.r, diffuse.g, diffuse.b, diffuse.a);
    light->setSpecular(specular.r, specular.g, specular.b, specular.a);
    light->setEnabled(on);
}

void SceneFactory::storeMesh(int index, Mesh* mesh) {
    Mesh** target = slot(meshes_, rootMesh_, index);
    if (!target) {
        if (mesh) delete mesh;
        return;
    }
    if (mesh) keepComponent(mesh);
    *target = mesh;
}

void SceneFactory::createMeshFromFaces(int index, int, Mesh* source, int faceCount, const int16_t* faceNumbers) {
    if (faceCount <= 0 || !source || !faceNumbers || source->triangleSets().empty()) return storeMesh(index, nullptr);
    const IndexSet& faces = *source->triangleSets()[0];
    auto* picked = new TriangleSet(faceCount, source->getVertexCount());
    for (int i = 0; i < faceCount; ++i) {
        uint32_t a, b, c;
        if (faceNumbers[i] < 0 || faceNumbers[i] >= faces.faceCount()) {
            reportError("model face number %d is beyond the %d faces of its mesh; the mesh is left out",
                         faceNumbers[i], faces.faceCount());
            delete picked;
            return storeMesh(index, nullptr);
        }
        faces.getTriangle(faceNumbers[i], a, b, c);
        picked->setTriangle(i, a, b, c);
    }
    auto* mesh = new Mesh;
    mesh->addTriangleSet(picked);
    // The arrays are shared, each holding one more reference.
    for (VertexAttribArray* array : source->vertexData().arrays()) mesh->addAttribArray(array);
    storeMesh(index, mesh);
}

namespace {

// A mesh of the given arrays, or null (after one message) when they are beyond the limits or a
// face names a vertex beyond the count.
Mesh* meshOfArrays(int vertexCount, const float* vertices, const float* normals, const float* texCoords,
                   const float* colours, int faceCount, const uint32_t* faces) {
    if (vertexCount <= 0 || faceCount <= 0 || !vertices || !normals || !faces) return nullptr;
    if (vertexCount > kMaxMeshVertices || faceCount > kMaxMeshIndices / 3) {
        reportError("a model mesh of %d vertices and %d faces is beyond the limits; it is left out",
                     vertexCount, faceCount);
        return nullptr;
    }
    auto* triangles = new TriangleSet(faceCount, vertexCount);
    for (int i = 0; i < faceCount; ++i)
        if (!triangles->setTriangle(i, faces[3 * i], faces[3 * i + 1], faces[3 * i + 2])) {
            reportError("a model face names a vertex beyond the %d of its mesh; the mesh is left out",
                         vertexCount);
            delete triangles;
            return nullptr;
        }
    auto* mesh = new Mesh;
    auto add = [&](int kind, int components, const float* values) {
        auto* a = new VertexAttribArray(vertexCount, kind, components);
        a->set(vertexCount, values);
        mesh->addAttribArray(a);
    };
    add(kAttribPosition, 3, vertices);
    add(kAttribNormal, 3, normals);
    if (texCoords) add(kAttribTexCoord0, 2, texCoords);
    if (colours) add(kAttribColour, 4, colours);
    mesh->addTriangleSet(triangles);
    return mesh;
}

}  // namespace

void SceneFactory::createMeshFromArrays(int index, int, int vertexCount, const float* vertices, const float* normals,
                                        int faceCount, const uint32_t* faces, const float* texCoords) {
    storeMesh(index, meshOfArrays(vertexCount, vertices, normals, texCoords, nullptr, faceCount, faces));
}

void SceneFactory::addCoarseCopy(int index, int vertexCount, const float* vertices, const float* normals,
                                 const float* texCoords, const float* colours, int faceCount, const uint32_t* faces) {
    Mesh* mesh = getMesh(index);
    if (mesh) mesh->setCoarseCopy(meshOfArrays(vertexCount, vertices, normals, texCoords, colours, faceCount, faces));
}

void SceneFactory::setTransform(float rx, float ry, float rz, float px, float py, float pz, float angleDeg, float ax,
                                float ay, float az, float sx, float sy, float sz) {
    carrier_.setPosition(px, py, pz);
    carrier_.setReference(rx, ry, rz);
    carrier_.setRotation(angleDeg, ax, ay, az);
    carrier_.setScale(sx, sy, sz);
}

Group* loadModel(const char* entityName, const char* file, const char* /*textureDir*/, unsigned char skipLights,
                 AxisDirection* up, std::string* upSource, const std::string& assets) {
    auto* root = new Group;
    root->setName(entityName);
    reportLine("Loading model %s", file ? file : "");
    std::string error;
    std::vector<std::string> warnings;
    bool ok;
    {
        SceneFactory factory;
        factory.setShouldLoadLights(skipLights == 0);
        factory.setShouldLoadCameras(skipLights == 0);
        factory.setRoot(root);
        factory.setAssetsFolder(assets);
        try {
            ok = file && factory.readInto(file, error, warnings);
        } catch (const std::bad_alloc&) {
            // What the import passed back was within its limits; building the scene of it was not.
            ok = false;
            error = "needs more memory than is left to build its scene";
        }
        if (up) *up = {factory.upAxis(), factory.upSign()};
        if (upSource) *upSource = factory.upSource();
    }  // what the reader made but did not attach goes with the factory, before the root
    for (const std::string& w : warnings) reportWarning("model %s: %s", file, w.c_str());
    if (ok) return root;
    // The program's error line for a model, exactly as it has always been, and the reason after it.
    reportLine("Error loading model file %s.", file ? file : "");
    reportLine("It %s.", error.empty() ? "cannot be read" : error.c_str());
    delete root;
    return nullptr;
}
