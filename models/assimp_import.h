// The import itself: assimp reads a model file, and what it found becomes an ImportedModel
// (models/imported_model.h) in the file's own axes, with its textures decoded. Run it where a
// runaway cannot hurt: models/import_process.h runs it in a child process under limits.
//
// What is made of the file:
//   axes        as the file has them: the import's own turn of a 3DS file's z-up into y-up is
//               undone, and Collada files keep their axes (their declared up becomes `up`)
//   up          declared by the file (FBX and Collada metadata), else by its format's convention:
//               +z for 3DS, STL and PLY, +y for the rest (glTF and OBJ by definition)
//   meshes      triangles only (points and lines are dropped; a file of nothing else is refused);
//               normals made smooth where the file has none and equal vertices welded into one
//               (models/mesh_welding.h); the first colour set as vertex
//               colours; texture coordinates of the texture's own channel, made from the
//               material's mapping (sphere, cylinder, box, plane) where the file asks for one,
//               its UV transform applied
//   textures    the diffuse (or base colour) texture of each material: a picture the file carries
//               inside (compressed or raw), or a file looked up under the model's folder
//               (models/model_folder.h); each picture decoded once, all of them sharing a budget
//               of kTextureBudgetPixels decoded pixels; a texture that cannot be had is named once
//               in `warnings` and its material drawn without it
//   materials   a black or nearly black ambient colour becomes the diffuse colour, and a textured
//               material whose diffuse colour is black draws its texture in white light, as the
//               files' authors saw them
//   nodes       parents before children, the tree at most kMaxNodeDepth deep: deeper nodes hang
//               from their ancestor at that depth with the transforms between folded in
#pragma once

#include <string>

#include "models/imported_model.h"

constexpr long long kTextureBudgetPixels = 64ll << 20;
constexpr int kMaxNodeDepth = 64;

// False with the reason in `why` ("has only points or lines, nothing to draw", "is incomplete
// (...)", "cannot be read as a model (...)").
// `assets`: a folder the model may also read from (--assets), or empty.
bool importWithAssimp(const std::string& file, ImportedModel& out, std::string& why, const std::string& assets = "");
