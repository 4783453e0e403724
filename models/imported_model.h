// A model as the importer hands it over: plain data, no assimp and no OpenGL, so that it can be
// made in another process and passed back as bytes (models/import_process.h), and built into a
// scene (models/model_reader.cpp) by code that trusts nothing in it.
//
// Everything is in the file's own axes and units (docs/conventions.md, "Model files"); `up` says
// which of the file's axes points up, as the file or its format declares it.
//
// Bytes: `encodeModel` writes a little-endian stream (a magic word, then each table as a count
// and its items); `decodeModel` reads it back treating it as hostile: every count is checked
// against the bytes left before anything is allocated, every index against its table.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "models/model_factory.h"

// One of the six axis directions: axis 0, 1, 2 for x, y, z and sign +1 or -1.
struct AxisDirection {
    int axis = 1;
    int sign = 1;
    bool operator==(const AxisDirection& o) const { return axis == o.axis && sign == o.sign; }
};

// A picture decoded for a texture: RGBA, rows bottom row first.
struct ImportedPicture {
    std::string name;  // as the model names it
    std::string file;  // the file it was read from, as the model file's name was given, then the
                       // rest of the way from its folder ("models/tex/wood.png"); or the name of a
                       // picture inside the model file
    int width = 0, height = 0;
    std::vector<uint8_t> rgba;
};

struct ImportedMaterial {
    std::string name;
    Colour4 ambient{0, 0, 0, 1}, diffuse{0.8f, 0.8f, 0.8f, 1}, specular{0, 0, 0, 1};
    float shininess = 0;
    int picture = -1;  // into ImportedModel::pictures, or -1
};

struct ImportedMesh {
    std::string name;
    int material = -1;
    std::vector<float> positions, normals;  // 3 a vertex
    std::vector<float> uv;                  // 2 a vertex, or none
    std::vector<float> colours;             // RGBA a vertex, or none
    std::vector<uint32_t> faces;            // 3 a triangle
    int vertexCount() const { return static_cast<int>(positions.size() / 3); }
};

struct ImportedNode {
    std::string name;
    int parent = -1;  // an earlier node, or -1 for the root (node 0 only)
    float transform[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};  // column-major, to the parent
    std::vector<int> meshes;
};

struct ImportedLight {
    std::string name;
    int kind = 0;  // kPointLight or kSpotLight
    Colour4 ambient{0, 0, 0, 1}, diffuse{1, 1, 1, 1}, specular{1, 1, 1, 1};
    float position[3] = {0, 0, 0}, direction[3] = {0, 0, -1};
    float cutoffDeg = 180;
};
constexpr int kPointLight = 0;
constexpr int kSpotLight = 1;

struct ImportedModel {
    AxisDirection up;
    std::string upSource;  // why `up` is up: "file's metadata", "Blender's convention", ...
    std::vector<ImportedPicture> pictures;
    std::vector<ImportedMaterial> materials;
    std::vector<ImportedMesh> meshes;
    std::vector<ImportedNode> nodes;  // parents before their children
    std::vector<ImportedLight> lights;
    std::vector<std::string> warnings;  // what was left out, one line each
};

// Each node's transform to the model's own axes: the product of the transforms from the root
// down (column-major; nodes come parents first, so one pass does it).
std::vector<std::array<float, 16>> nodeWorldTransforms(const ImportedModel& model);

std::vector<uint8_t> encodeModel(const ImportedModel& model);
// False with the reason in `why` when the bytes are not a whole, consistent model.
bool decodeModel(const uint8_t* bytes, size_t size, ImportedModel& model, std::string& why);
