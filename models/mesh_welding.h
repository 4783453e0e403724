// What the importer leaves to us for speed: normals for meshes without them, and one vertex for
// every set of equal corners. Some importers give each face corner a vertex of its own (OBJ does:
// a million-triangle file becomes three million vertices); welding them back makes the mesh a
// sixth of the size to keep and to draw.
#pragma once

#include "models/imported_model.h"

// Normals for a mesh whose file gives none, as modelling tools make them with a crease angle:
// each face corner gets the normalised sum of the normals of the faces at its point (every corner
// at the same position, whatever its other attributes) that meet its own face at less than
// `creaseDeg`, each weighted by its area (the cross product's length) so that slivers do not tilt
// it. A cube's edges stay sharp; a sphere's facets shade smooth. A vertex whose corners take
// different normals (a hard edge through it) is copied, one copy a normal. Made after
// weldVertices, the work is that of the welded mesh. A corner of faces of no area gets (0, 0, 1).
constexpr double kCreaseAngleDeg = 60.0;
constexpr int kMaxCreaseCorners = 64;  // beyond this many corners at one point, all faces count
void makeCreasedNormals(ImportedMesh& mesh, double creaseDeg);

// Merges the vertices equal in every attribute they have (bit for bit; a mesh may come without
// normals) into one and renumbers the faces; the first of each set keeps its place in the order.
void weldVertices(ImportedMesh& mesh);
