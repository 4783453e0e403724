// Model files dropped on the page: glTF (.gltf with its .bin and pictures, or .glb) and Wavefront
// OBJ (with its .mtl and pictures), read into the importer's plain model (models/imported_model.h)
// in the file's own axes, under the page's bounds:
//   - every file the model names must be among the files dropped with it, in the model's folder
//     (a name with a folder in it, "../" or "/" is refused: outside the model's folder);
//   - the files together at most kPageModelBytes, the triangles at most kPageModelTriangles;
//   - the pictures' pixels together at most the desktop's texture budget, each side at most
//     kPagePictureSide; a picture over either is left out (one warning), the model drawn without it.
// The bounds make the time bounded too: every reader here is linear in its input.
#pragma once

#include <string>

#include "models/imported_model.h"

constexpr long long kPageModelBytes = 128ll << 20;
constexpr long long kPageModelTriangles = 4ll << 20;
constexpr int kPagePictureSide = 8192;

// False with one line in `why` when the file cannot be drawn (not a model these readers take,
// damaged, over a bound, nothing to draw).
bool importPageModel(const std::string& file, ImportedModel& model, std::string& why);
