// The factory that turns a model file into scene-graph objects (the callbacks of
// models/model_factory.h), and `loadModel`, which loads a file under a new root group.
//
// Every object gets the full name "root.name" (the root group's name, a point, its own name; its
// own name alone when the root has none; none when it has none). Lights are switched on or off
// in OpenGL as they are made, and textures are uploaded at once: an OpenGL context must be current.
//
// Safety: indices outside the allocated arrays, faces naming vertices beyond the count and face
// numbers beyond the source mesh are refused (nothing is created); counts are limited to those
// of scene/vertex_data.h. Whatever the reader created but did not attach to the tree is deleted
// with the factory, so a failed load leaks nothing.
#pragma once

#include <memory>
#include <vector>

#include "models/imported_model.h"
#include "models/model_factory.h"
#include "scene/mesh.h"

// Filters and mipmapping of the textures the factory creates.
namespace TextureDefaults {
void set(unsigned minFilter, unsigned magFilter, bool mipmap);
unsigned minFilter();
unsigned magFilter();
bool mipmap();
}  // namespace TextureDefaults

class SceneFactory : public ModelFactory {
public:
    SceneFactory();
    ~SceneFactory() override;
    void setRoot(Group* root) { root_ = root; }

    bool addRootChild(Node* node) override;
    bool addEntityChild(int index, Node* node) override;
    bool allocateAppearances(int count) override;
    bool allocateMeshes(int count) override;
    bool allocateEntities(int count) override;
    Mesh* getMesh(int index) override;
    Entity* getTransformCarrier() override { return &carrier_; }
    void* getExtra() override { return extra_; }
    Light* getLastLight() override { return lastLight_; }
    Appearance* getAppearance(int index) override;
    Entity* getEntity(int index) override;
    void createEntity(int index, const char* name, Shape* shape, Entity* transform, Appearance* appearance) override;
    void createMaterial(int index, const char* name, int ignored, Colour4 ambient, Colour4 diffuse, float shininess,
                        Colour4 specular) override;
    void createTexture(int index, const char* name, int ignored, const char* file, const int (&ignoredRest)[13]) override;
    void createPointLight(const char* name, int ignored, bool on, Colour4 ambient, Colour4 diffuse, Colour4 specular,
                          float x, float y, float z) override;
    void createSpotLight(const char* name, int ignored, bool on, Colour4 ambient, Colour4 diffuse, Colour4 specular,
                         float x, float y, float z, float dx, float dy, float dz, float exponent, float cutoff) override;
    void createMeshFromFaces(int index, int ignored, Mesh* source, int faceCount, const int16_t* faceNumbers) override;
    void createMeshFromArrays(int index, int ignored, int vertexCount, const float* vertices, const float* normals,
                              int faceCount, const uint32_t* faces, const float* texCoords) override;
    void createTextureFromPicture(int index, const char* name, const char* file, int pictureKey, int width,
                                  int height, const uint8_t* rgba) override;
    void addVertexColours(int index, int vertexCount, const float* rgba) override;
    void addCoarseCopy(int index, int vertexCount, const float* vertices, const float* normals, const float* texCoords,
                       const float* colours, int faceCount, const uint32_t* faces) override;
    void setTransform(float rx, float ry, float rz, float px, float py, float pz, float angleDeg, float ax, float ay,
                      float az, float sx, float sy, float sz) override;

private:
    Group* root_ = nullptr;
    std::vector<Mesh*> meshes_;
    std::vector<Appearance*> appearances_;
    std::vector<Entity*> entities_;
    void* extra_ = nullptr;
    Entity carrier_;
    Light* lastLight_ = nullptr;
    Entity* rootEntity_ = nullptr;
    Mesh* rootMesh_ = nullptr;
    // What this factory made, so that what was never attached can be deleted with it.
    std::vector<Node*> madeNodes_;
    std::vector<Component*> madeComponents_;
    std::vector<std::pair<int, Appearance*>> pictureTextures_;  // by picture key

    std::string fullName(const char* name) const;
    template <typename T>
    T** slot(std::vector<T*>& table, T*& rootItem, int index);
    void keepNode(Node* n) { madeNodes_.push_back(n); }
    void keepComponent(Component* c) { c->addReference(), madeComponents_.push_back(c); }
    void storeMesh(int index, Mesh* mesh);
};

// Loads `file` under a new group named `entityName`; lights (and cameras) of the file are loaded
// when `skipLights` is 0. Textures are looked up from the model's own folder (`textureDir` is
// kept for the callers, who give that folder). Prints "Loading model <file>", a warning for each
// part left out, and on failure "Error loading model file <file>. It <reason>." and answers null.
// `up`, when given, gets the up axis the file declares (models/imported_model.h).
Group* loadModel(const char* entityName, const char* file, const char* textureDir, unsigned char skipLights,
                 AxisDirection* up = nullptr, std::string* upSource = nullptr, const std::string& assets = "");
