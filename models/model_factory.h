// The callbacks through which a model-file reader builds a scene: a reader knows nothing of the
// scene graph and calls these operations in turn; a factory (scene/SceneFactory) creates the
// scene-graph objects they describe. Items of a kind are addressed by index, -1 naming the
// single root item of that kind. The operations and their order are fixed: they are the
// published interface between readers and factories, and the ones marked "nothing" are kept for
// outside readers that call them.
//
// `readInto` runs our reader (models/model_reader.cpp) over a file: any format assimp reads.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class Node;
class Mesh;
class Entity;
class Light;
class Appearance;
class Shape;
struct ImportedModel;

struct Colour4 {
    float r, g, b, a;
};

class ModelFactory {
public:
    explicit ModelFactory(const char* name) : name_(name ? name : "") {}
    ModelFactory(const ModelFactory&) = delete;
    ModelFactory& operator=(const ModelFactory&) = delete;
    virtual ~ModelFactory() = default;

    virtual bool addRootChild(Node* node) = 0;                            // to the root group
    virtual bool addEntityChild(int index, Node* node) = 0;               // to entities[index], a group
    virtual void noteOne(int) {}                                          // nothing
    virtual void noteTwo(int, int) {}                                     // nothing
    virtual bool addRootChildAgain(Node* node) { return addRootChild(node); }
    virtual bool addEntityChildAgain(int index, Node* node) { return addEntityChild(index, node); }
    virtual bool allocateAppearances(int count) = 0;
    virtual bool allocateMeshes(int count) = 0;
    virtual bool allocateEntities(int count) = 0;
    virtual Mesh* getMesh(int index) = 0;
    virtual Entity* getTransformCarrier() = 0;
    virtual void* getExtra() = 0;
    virtual Light* getLastLight() = 0;
    virtual Appearance* getAppearance(int index) = 0;
    virtual void* getNothing() { return nullptr; }
    virtual Entity* getEntity(int index) = 0;
    virtual void createEntity(int index, const char* name, Shape* shape, Entity* transform, Appearance* appearance) = 0;
    virtual int echoFirst(int first, const int (&)[13]) { return first; }
    virtual void createMaterial(int index, const char* name, int ignored, Colour4 ambient, Colour4 diffuse,
                                float shininess, Colour4 specular) = 0;
    virtual void createTexture(int index, const char* name, int ignored, const char* file, const int (&ignoredRest)[13]) = 0;
    virtual void createPointLight(const char* name, int ignored, bool on, Colour4 ambient, Colour4 diffuse,
                                  Colour4 specular, float x, float y, float z) = 0;
    virtual void createSpotLight(const char* name, int ignored, bool on, Colour4 ambient, Colour4 diffuse,
                                 Colour4 specular, float x, float y, float z, float dx, float dy, float dz,
                                 float exponent, float cutoff) = 0;
    // Triangles picked from the source mesh's triangle list by face number.
    virtual void createMeshFromFaces(int index, int ignored, Mesh* source, int faceCount, const int16_t* faceNumbers) = 0;
    // positions and normals 3 floats a vertex, texture coordinates 2 (or null), faces 3 indices each.
    virtual void createMeshFromArrays(int index, int ignored, int vertexCount, const float* vertices,
                                      const float* normals, int faceCount, const uint32_t* faces,
                                      const float* texCoords) = 0;
    virtual void setTransform(float rx, float ry, float rz, float px, float py, float pz, float angleDeg, float ax,
                              float ay, float az, float sx, float sy, float sz) = 0;
    // Additions for model files of today: a texture named `name`, read from `file`, from a
    // picture already decoded (RGBA, bottom row first), shared by every material that gives the
    // same `pictureKey`; and per-vertex RGBA colours for a mesh already made, one a vertex.
    virtual void createTextureFromPicture(int, const char*, const char*, int, int, int, const uint8_t*) {}
    virtual void addVertexColours(int, int, const float*) {}
    // A coarser copy of mesh `index` to draw in its place (models/mesh_clustering.h): arrays as
    // createMeshFromArrays takes them, colours RGBA (or null).
    virtual void addCoarseCopy(int, int, const float*, const float*, const float*, const float*, int, const uint32_t*) {}
    virtual bool isReady() { return true; }
    virtual void noteFive(int, int, int, int, int) {}  // nothing

    void setShouldLoadCameras(bool on) { cameras_ = on; }
    void setShouldLoadLights(bool on) { lights_ = on; }
    bool shouldLoadCameras() const { return cameras_; }
    bool shouldLoadLights() const { return lights_; }
    const std::string& name() const { return name_; }

    // Reads `file` and calls the operations above: imported in a child process under limits
    // (models/import_process.h), textures looked up from the model's folder. False with `error`
    // set when the file cannot be read as a model; `warnings` gets what was left out of it.
    bool readInto(const char* file, std::string& error, std::vector<std::string>& warnings);
    // The operations for a model already imported (what readInto does after the import).
    bool buildFrom(const ImportedModel& model, std::string& error);
    // The up axis of the file last read (models/imported_model.h).
    int upAxis() const { return upAxis_; }
    int upSign() const { return upSign_; }
    const std::string& upSource() const { return upSource_; }
    // --assets: a folder the model may read from as well as its own.
    void setAssetsFolder(const std::string& folder) { assetsFolder_ = folder; }

private:
    std::string name_;
    bool cameras_ = true, lights_ = true;
    int upAxis_ = 1, upSign_ = 1;
    std::string upSource_;
    std::string assetsFolder_;
};

// A check asked ten times a second while a model file loads; true stops the load, which then
// fails with "was not loaded: loading was interrupted". Null (the default) asks nothing.
void setImportCancelCheck(bool (*cancelled)());
