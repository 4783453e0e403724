// What the importer leaves to us for speed: normals for meshes without them, and one vertex for
// every set of equal corners. Some importers give each face corner a vertex of its own (OBJ does:
// a million-triangle file becomes three million vertices); welding them back makes the mesh a
// sixth of the size to keep and to draw.
#pragma once

#include "models/imported_model.h"

// Smooth normals: each vertex gets the normalised sum of the normals of the faces around its
// position (every vertex at the same point, whatever its other attributes), each face's normal
// weighted by its area (the cross product's length), so that small slivers do not tilt it.
// A vertex of no face, or of faces of no area, gets (0, 0, 1).
void makeSmoothNormals(ImportedMesh& mesh);

// Merges the vertices equal in every attribute they have (bit for bit; a mesh may come without
// normals, to be given them after) into one and renumbers the faces; the first of each set keeps
// its place in the order. Welding before makeSmoothNormals gives the same mesh as after it, at a
// fraction of the work, since corners equal but for their normals get equal normals.
void weldVertices(ImportedMesh& mesh);
