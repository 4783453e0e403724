// A mesh: vertex data plus three owned lists of index sets (triangle sets, strip sets and
// further sets), drawn in that order with the vertex data bound once around them.
//
// Mesh files are the mesh's text form, written by the scene dump and read back by
// `loadMeshFile`; three sections separated by lines "--":
//   vertices   per vertex one line per attribute, the position line last, which closes the vertex:
//              "N nx ny nz", "C r g b [a]", "T<u> s [t [r [q]]]" (unit u 0..7), "V x y [z [w]]"
//   triangles  "T a b c" per triangle of every triangle set
//   strips     "S n i1 ... in" per strip set, the index count first
// A vertex takes the most recent value of each attribute; an attribute first seen after some
// vertices gives those vertices its default: normal (0, 0, 1), colour all 1, coordinates all 0.
// Further sets are not written.
//
// Reading treats the file as hostile: counts, line lengths and component numbers are checked,
// every index must name a vertex of the file, and a refused file gives one line on stderr naming
// it and the reason.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "scene/object.h"

class Mesh : public Shape {
public:
    Mesh() = default;
    const char* getClassName() const override { return "Mesh"; }
    void dump(SceneWriter& w) override;
    int lineCount() const override { return 0; }
    int faceCount() const override;
    void draw() override;

    // A coarser copy drawn in this mesh's place (owned from then on; null removes it): for meshes
    // of far more triangles than the pixels they are drawn on. Counts, bounds and the mesh file
    // stay this mesh's own.
    void setCoarseCopy(Mesh* copy) { coarse_.reset(copy); }
    const Mesh* coarseCopy() const { return coarse_.get(); }

    // The mesh owns the set from then on.
    void addTriangleSet(IndexSet* set) { triangleSets_.emplace_back(set); }
    void addStripSet(IndexSet* set) { stripSets_.emplace_back(set); }
    void addOtherSet(IndexSet* set) { otherSets_.emplace_back(set); }
    bool addAttribArray(VertexAttribArray* array) { return vertexData().add(array); }
    void copyVertexData(const Mesh& other) { vertexData().addCopies(other.vertexData()); }
    const std::vector<std::unique_ptr<IndexSet>>& triangleSets() const { return triangleSets_; }
    const std::vector<std::unique_ptr<IndexSet>>& stripSets() const { return stripSets_; }

    // False when the file cannot be written or a position is not a finite number (the part
    // written stays behind).
    bool saveMeshFile(const std::string& path) const;
    // Loads into an empty mesh; false with one message on stderr when the file is refused.
    bool loadMeshFile(const std::string& name);

private:
    std::vector<std::unique_ptr<IndexSet>> triangleSets_, stripSets_, otherSets_;
    std::unique_ptr<Mesh> coarse_;
};

// Program-wide mesh-file settings: the directory `loadMeshFile` reads from (empty: names as
// given), the name prefix the dump writes with (empty: "mesh") and the dump's file counter.
namespace MeshFiles {
void setMeshDirectory(const std::string& dir);
const std::string& meshDirectory();
void setMeshFilePrefix(const std::string& prefix);
const std::string& meshFilePrefix();
void resetMeshFileCounter();  // also clears the failure count
int takeMeshFileNumber();     // the counter, then one more
void noteWriteFailure();
int writeFailures();          // mesh files the dump could not write since the reset
}  // namespace MeshFiles

// The parsing of a mesh file's bytes (which it may change) into an empty mesh; false with the
// reason in `error`.
bool readMeshText(std::vector<uint8_t>& text, Mesh& mesh, std::string& error);

// Mesh files larger than this are refused before they are read.
constexpr long long kMaxMeshFileBytes = 512ll << 20;
