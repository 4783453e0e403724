// The geometry under a mesh: per-vertex attribute arrays and index sets in client memory, moved
// into OpenGL buffer objects on their first bind or draw where the driver offers
// GL_ARB_vertex_buffer_object, and drawn with glDrawElements from then on. The client copy stays
// as it was (the mesh writer reads it); a change made after the upload does not reach the buffer.
//
// Safety: an index set knows the vertex count its indices were chosen for, refuses indices at or
// beyond it and writes beyond its allocation, and a mesh draws only the sets its vertices cover,
// so glDrawElements never reads past the attribute arrays.
//
// OpenGL thread only; the extension answers and entry points are looked up once per process.
#pragma once

#include <cstdint>
#include <vector>

#include "scene/node.h"

class BoundsTable;

// Attribute kinds: 0 position, 1 normal, 2 colour, 3 + u texture coordinates of unit u (0..7).
constexpr int kAttribPosition = 0;
constexpr int kAttribNormal = 1;
constexpr int kAttribColour = 2;
constexpr int kAttribTexCoord0 = 3;
constexpr int kMaxTextureUnits = 8;
constexpr int kAttribKinds = kAttribTexCoord0 + kMaxTextureUnits;

// Vertices and indices one mesh may hold; larger counts are refused before anything is allocated.
constexpr int kMaxMeshVertices = 1 << 24;
constexpr int kMaxMeshIndices = 1 << 26;

class VertexAttribArray : public Component {
public:
    // `count` vertices of `components` floats each (1..4; normals 3), zero-filled.
    VertexAttribArray(int count, int kind, int components);
    VertexAttribArray(const VertexAttribArray& other);  // kind, components, count and data; no buffer
    ~VertexAttribArray() override;
    const char* getClassName() const override { return "VertexAttribArray"; }

    // Keeps the contents below the new count. False (nothing changed) for a negative count or one
    // beyond kMaxMeshVertices.
    bool resize(int count);
    bool set(int count, const float* values);  // count x components floats
    int kind() const { return kind_; }
    int components() const { return components_; }
    int count() const { return count_; }
    float* data() { return data_.data(); }
    const float* data() const { return data_.data(); }
    const float* vertex(int i) const { return data_.data() + static_cast<size_t>(i) * components_; }
    bool isUploaded() const { return buffer_ != 0; }

    void bind();    // uploads on the first bind with buffer objects, then calls the kind's handler
    void unbind();  // the kind's unbind handler

private:
    int kind_, components_, count_ = 0;
    std::vector<float> data_;
    unsigned buffer_ = 0;
};

// Handlers that hand an array to OpenGL; `pointer` is the client copy or, once uploaded, the offset
// 0 in the bound buffer. The defaults call gl*Pointer and enable the client state; the default
// unbind does nothing (VertexData's glPopClientAttrib restores it). A null handler reinstates the
// default.
enum class AttribClass { kPosition, kNormal, kColour, kTexCoord };
using AttribHandler = void (*)(int components, const float* pointer, int unit, void* userData);
void setAttribBindHandler(AttribClass c, AttribHandler handler, void* userData);
void setAttribUnbindHandler(AttribClass c, AttribHandler handler, void* userData);

// The attribute arrays of one mesh, one per kind, all of the same vertex count.
class VertexData {
public:
    VertexData() = default;
    VertexData(const VertexData&) = delete;
    VertexData& operator=(const VertexData&) = delete;
    ~VertexData();

    // False (nothing added) for null, a kind already present, or a count other than the common one
    // (the first array sets it). Takes a reference on success.
    bool add(VertexAttribArray* array);
    void addCopies(const VertexData& other);
    const VertexAttribArray* find(int kind) const;
    const std::vector<VertexAttribArray*>& arrays() const { return arrays_; }
    int getVertexCount() const { return vertexCount_; }

    // Pushes the client vertex-array state, binds every array and locks them where
    // GL_EXT_compiled_vertex_array exists; unbind undoes it in that order.
    void bind();
    void unbind();
    // The positions' extent into a bounds record; nothing without positions. Two components
    // are taken with z = 0; a fourth is ignored.
    void computeBounds(int record) const;

private:
    std::vector<VertexAttribArray*> arrays_;
    int vertexCount_ = 0;
};

// Indices of one primitive batch in the smallest type the vertex count allows: fewer than 257
// vertices bytes, more than 65536 unsigned ints, otherwise shorts.
class IndexSet {
public:
    IndexSet() = default;
    IndexSet(const IndexSet&) = delete;
    IndexSet& operator=(const IndexSet&) = delete;
    virtual ~IndexSet();
    virtual int lineCount() const = 0;
    virtual int faceCount() const = 0;
    virtual void draw() = 0;

    // Room for `count` indices of vertices below `vertexCount`; a smaller request changes nothing.
    // False (nothing changed) for negative counts or counts beyond the mesh limits.
    bool allocate(int count, int vertexCount);
    // Writes are refused (false) beyond the allocation or with an index at or beyond the vertex
    // count, which the index type might not even hold.
    bool append(uint32_t index);
    bool set(int i, uint32_t index);  // raises the count to i + 1 when larger
    bool setAll(int n, const uint32_t* indices);
    uint32_t get(int i) const;  // 0 beyond the count
    bool setTriangle(int t, uint32_t a, uint32_t b, uint32_t c);
    void getTriangle(int t, uint32_t& a, uint32_t& b, uint32_t& c) const;
    bool setQuad(int q, uint32_t a, uint32_t b, uint32_t c, uint32_t d);
    void getQuad(int q, uint32_t& a, uint32_t& b, uint32_t& c, uint32_t& d) const;

    int count() const { return count_; }
    int vertexCount() const { return vertexCount_; }
    unsigned type() const { return type_; }  // GL_UNSIGNED_BYTE, _SHORT or _INT
    bool isUploaded() const { return buffer_ != 0; }

protected:
    void drawElements(unsigned mode);

private:
    int count_ = 0, vertexCount_ = 0, capacity_ = 0;
    unsigned buffer_ = 0;
    std::vector<unsigned char> data_;
    unsigned type_ = 0;
    int elementSize() const;
};

class TriangleSet : public IndexSet {
public:
    TriangleSet(int triangles, int vertexCount) { allocate(3 * triangles, vertexCount); }
    int lineCount() const override { return 0; }
    int faceCount() const override { return count() / 3; }
    void draw() override;
};

class TriangleStripSet : public IndexSet {
public:
    TriangleStripSet(int indices, int vertexCount) { allocate(indices, vertexCount); }
    int lineCount() const override { return 0; }
    int faceCount() const override { return count() >= 3 ? count() - 2 : 0; }
    void draw() override;
};

class LineSet : public IndexSet {
public:
    LineSet(int lines, int vertexCount) { allocate(2 * lines, vertexCount); }
    int lineCount() const override { return count() / 2; }
    int faceCount() const override { return 0; }
    void draw() override;
};

class LineStripSet : public IndexSet {
public:
    LineStripSet(int lines, int vertexCount) { allocate(lines + 1, vertexCount); }
    int lineCount() const override { return count() >= 2 ? count() - 1 : 0; }
    int faceCount() const override { return 0; }
    void draw() override;
};

class QuadSet : public IndexSet {
public:
    QuadSet(int quads, int vertexCount) { allocate(4 * quads, vertexCount); }
    int lineCount() const override { return 0; }
    int faceCount() const override { return count() / 4; }
    void draw() override;
};

// One strip over a w x h vertex grid (vertex (x, y) is y w + x): down each column pair from the
// top row, with two repeated indices joining one column pair to the next.
class GridStripSet : public IndexSet {
public:
    GridStripSet(int w, int h);
    int lineCount() const override { return 0; }
    int faceCount() const override { return count() >= 3 ? count() - 2 : 0; }
    void draw() override;
};
