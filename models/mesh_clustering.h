// A coarser copy of a very large mesh for drawing, by vertex clustering: space is cut into cubes
// of 1/kClusterCells of the mesh's largest side, every vertex in a cube becomes one (at their mean
// place, with their mean normal and colour and the first one's texture coordinates), and only the
// triangles whose corners land in three different cubes are kept, once each.
//
// At the size a model is shown on the target (its larger side some 160 mm, 100 to 200 pixels of
// the picture) a cube is under a pixel, so the copy draws the same picture; a software renderer
// spends its time per triangle, and a million-triangle scan then draws at several times the rate.
#pragma once

#include "models/imported_model.h"

constexpr int kClusterCells = 160;
// Meshes of more triangles than this are drawn through a coarse copy; smaller ones as they are.
constexpr size_t kCoarseCopyAbove = 200000;

// The coarse copy of `mesh` (which is left as it is).
ImportedMesh clusteredCopy(const ImportedMesh& mesh);
