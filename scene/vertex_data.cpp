#include "scene/vertex_data.h"

#define GL_GLEXT_PROTOTYPES 0
#include <GL/gl.h>
#include <GL/glext.h>

#include <algorithm>
#include <cstring>

#include "scene/bounds.h"
#include "scene/gl_extensions.h"

namespace {

// --- the driver's buffer objects, looked up once ---

struct BufferProcs {
    bool looked = false;
    PFNGLBINDBUFFERARBPROC bind = nullptr;
    PFNGLBUFFERDATAARBPROC data = nullptr;
    PFNGLDELETEBUFFERSARBPROC remove = nullptr;
    PFNGLGENBUFFERSARBPROC gen = nullptr;
    bool available() const { return bind && data && remove && gen; }
};

BufferProcs& bufferProcs() {
    static BufferProcs p;
    if (!p.looked) {
        p.looked = true;
        if (GLExtensions::extensionSupported("GL_ARB_vertex_buffer_object")) {
            using GLExtensions::getProcAddress;
            p.bind = reinterpret_cast<PFNGLBINDBUFFERARBPROC>(getProcAddress("glBindBufferARB"));
            p.data = reinterpret_cast<PFNGLBUFFERDATAARBPROC>(getProcAddress("glBufferDataARB"));
            p.remove = reinterpret_cast<PFNGLDELETEBUFFERSARBPROC>(getProcAddress("glDeleteBuffersARB"));
            p.gen = reinterpret_cast<PFNGLGENBUFFERSARBPROC>(getProcAddress("glGenBuffersARB"));
        }
    }
    return p;
}

// Uploads `bytes` into a new buffer on the first call, binds it afterwards. Answers the pointer
// to draw with: null (offset 0) once the data lives in the buffer.
const void* bindBuffer(GLenum target, unsigned& buffer, const void* data, size_t bytes) {
    const BufferProcs& p = bufferProcs();
    if (!p.available()) return data;
    if (buffer == 0) {
        p.gen(1, &buffer);
        p.bind(target, buffer);
        p.data(target, static_cast<GLsizeiptrARB>(bytes), data, GL_STATIC_DRAW_ARB);
    } else {
        p.bind(target, buffer);
    }
    return nullptr;
}

void deleteBuffer(unsigned& buffer) {
    if (buffer && bufferProcs().remove) bufferProcs().remove(1, &buffer);
    buffer = 0;
}

PFNGLCLIENTACTIVETEXTUREARBPROC clientActiveTexture() {
    static bool looked = false;
    static PFNGLCLIENTACTIVETEXTUREARBPROC proc = nullptr;
    if (!looked) {
        looked = true;
        if (GLExtensions::extensionSupported("GL_ARB_multitexture"))
            proc = reinterpret_cast<PFNGLCLIENTACTIVETEXTUREARBPROC>(
                GLExtensions::getProcAddress("glClientActiveTextureARB"));
    }
    return proc;
}

struct LockProcs {
    bool looked = false;
    PFNGLLOCKARRAYSEXTPROC lock = nullptr;
    PFNGLUNLOCKARRAYSEXTPROC unlock = nullptr;
};

LockProcs& lockProcs() {
    static LockProcs p;
    if (!p.looked) {
        p.looked = true;
        if (GLExtensions::extensionSupported("GL_EXT_compiled_vertex_array")) {
            p.lock = reinterpret_cast<PFNGLLOCKARRAYSEXTPROC>(GLExtensions::getProcAddress("glLockArraysEXT"));
            p.unlock = reinterpret_cast<PFNGLUNLOCKARRAYSEXTPROC>(GLExtensions::getProcAddress("glUnlockArraysEXT"));
        }
    }
    return p;
}

// --- attribute handlers ---

void bindPosition(int components, const float* p, int, void*) {
    glVertexPointer(components, GL_FLOAT, 0, p);
    glEnableClientState(GL_VERTEX_ARRAY);
}
void bindNormal(int, const float* p, int, void*) {
    glNormalPointer(GL_FLOAT, 0, p);
    glEnableClientState(GL_NORMAL_ARRAY);
}
void bindColour(int components, const float* p, int, void*) {
    glColorPointer(components, GL_FLOAT, 0, p);
    glEnableClientState(GL_COLOR_ARRAY);
}
void bindTexCoord(int components, const float* p, int, void*) {
    glTexCoordPointer(components, GL_FLOAT, 0, p);
    glEnableClientState(GL_TEXTURE_COORD_ARRAY);
}
void unbindNothing(int, const float*, int, void*) {}

struct Handler {
    AttribHandler call;
    void* userData;
};
const AttribHandler kDefaultBind[4] = {bindPosition, bindNormal, bindColour, bindTexCoord};
Handler g_bind[4] = {{bindPosition, nullptr}, {bindNormal, nullptr}, {bindColour, nullptr}, {bindTexCoord, nullptr}};
Handler g_unbind[4] = {{unbindNothing, nullptr}, {unbindNothing, nullptr}, {unbindNothing, nullptr}, {unbindNothing, nullptr}};

int classOf(int kind) { return std::min(kind, kAttribTexCoord0); }
int unitOf(int kind) { return kind >= kAttribTexCoord0 ? kind - kAttribTexCoord0 : 0; }

}  // namespace

void setAttribBindHandler(AttribClass c, AttribHandler handler, void* userData) {
    const int i = static_cast<int>(c);
    g_bind[i] = {handler ? handler : kDefaultBind[i], userData};
}

void setAttribUnbindHandler(AttribClass c, AttribHandler handler, void* userData) {
    g_unbind[static_cast<int>(c)] = {handler ? handler : unbindNothing, userData};
}

// --- attribute arrays ---

VertexAttribArray::VertexAttribArray(int count, int kind, int components)
    : kind_(std::clamp(kind, 0, kAttribKinds - 1)),
      components_(kind == kAttribNormal ? 3 : std::clamp(components, 1, 4)) {
    resize(count);
}

VertexAttribArray::VertexAttribArray(const VertexAttribArray& other)
    : Component(), kind_(other.kind_), components_(other.components_), count_(other.count_), data_(other.data_) {}

VertexAttribArray::~VertexAttribArray() { deleteBuffer(buffer_); }

bool VertexAttribArray::resize(int count) {
    if (count < 0 || count > kMaxMeshVertices) return false;
    data_.resize(static_cast<size_t>(count) * components_);
    count_ = count;
    return true;
}

bool VertexAttribArray::set(int count, const float* values) {
    if (!resize(count)) return false;
    if (count) std::memcpy(data_.data(), values, data_.size() * sizeof(float));
    return true;
}

void VertexAttribArray::bind() {
    const int c = classOf(kind_);
    const int unit = unitOf(kind_);
    const auto* pointer = static_cast<const float*>(
        bindBuffer(GL_ARRAY_BUFFER_ARB, buffer_, data_.data(), data_.size() * sizeof(float)));
    if (c == kAttribTexCoord0 && clientActiveTexture()) clientActiveTexture()(GL_TEXTURE0_ARB + unit);
    g_bind[c].call(components_, pointer, unit, g_bind[c].userData);
}

void VertexAttribArray::unbind() {
    const int c = classOf(kind_);
    g_unbind[c].call(components_, nullptr, unitOf(kind_), g_unbind[c].userData);
}

// --- vertex data ---

VertexData::~VertexData() {
    for (VertexAttribArray* a : arrays_) a->release();
}

bool VertexData::add(VertexAttribArray* array) {
    if (!array || find(array->kind())) return false;
    if (!arrays_.empty() && array->count() != vertexCount_) return false;
    vertexCount_ = array->count();
    array->addReference();
    arrays_.push_back(array);
    return true;
}

void VertexData::addCopies(const VertexData& other) {
    for (const VertexAttribArray* a : other.arrays_) {
        auto* copy = new VertexAttribArray(*a);
        if (!add(copy)) delete copy;
    }
}

const VertexAttribArray* VertexData::find(int kind) const {
    for (const VertexAttribArray* a : arrays_)
        if (a->kind() == kind) return a;
    return nullptr;
}

void VertexData::bind() {
    glPushClientAttrib(GL_CLIENT_VERTEX_ARRAY_BIT);
    for (VertexAttribArray* a : arrays_) a->bind();
    if (lockProcs().lock && vertexCount_ > 0) lockProcs().lock(0, vertexCount_);
}

void VertexData::unbind() {
    for (VertexAttribArray* a : arrays_) a->unbind();
    if (lockProcs().unlock && vertexCount_ > 0) lockProcs().unlock();
    glPopClientAttrib();
}

void VertexData::computeBounds(int record) const {
    const VertexAttribArray* positions = find(kAttribPosition);
    if (!positions) return;
    BoundsTable& table = BoundsTable::instance();
    table.beginPoints();
    const int n = positions->components();
    for (int i = 0; i < positions->count(); ++i) {
        const float* v = positions->vertex(i);
        table.addPoint(v[0], n > 1 ? v[1] : 0.0f, n > 2 ? v[2] : 0.0f);
    }
    table.endPoints(record);
}

// --- index sets ---

IndexSet::~IndexSet() { deleteBuffer(buffer_); }

int IndexSet::elementSize() const { return type_ == GL_UNSIGNED_BYTE ? 1 : type_ == GL_UNSIGNED_SHORT ? 2 : 4; }

bool IndexSet::allocate(int count, int vertexCount) {
    if (count < 0 || count > kMaxMeshIndices || vertexCount < 0 || vertexCount > kMaxMeshVertices) return false;
    if (count <= capacity_) return true;
    const unsigned type = vertexCount < 257 ? GL_UNSIGNED_BYTE : vertexCount > 65536 ? GL_UNSIGNED_INT : GL_UNSIGNED_SHORT;
    // The indices already written are carried over in the new type.
    std::vector<uint32_t> old(count_);
    for (int i = 0; i < count_; ++i) old[i] = get(i);
    type_ = type;
    vertexCount_ = vertexCount;
    data_.assign(static_cast<size_t>(count) * elementSize(), 0);
    capacity_ = count;
    const int kept = count_;
    count_ = 0;
    for (int i = 0; i < kept; ++i) set(i, old[i]);
    return true;
}

bool IndexSet::set(int i, uint32_t index) {
    if (i < 0 || i >= capacity_ || index >= static_cast<uint32_t>(vertexCount_)) return false;
    unsigned char* p = data_.data() + static_cast<size_t>(i) * elementSize();
    if (type_ == GL_UNSIGNED_BYTE) *p = static_cast<unsigned char>(index);
    else if (type_ == GL_UNSIGNED_SHORT) {
        const uint16_t v = static_cast<uint16_t>(index);
        std::memcpy(p, &v, 2);
    } else {
        std::memcpy(p, &index, 4);
    }
    count_ = std::max(count_, i + 1);
    return true;
}

bool IndexSet::append(uint32_t index) { return set(count_, index); }

bool IndexSet::setAll(int n, const uint32_t* indices) {
    if (n < 0 || n > capacity_) return false;
    for (int i = 0; i < n; ++i)
        if (indices[i] >= static_cast<uint32_t>(vertexCount_)) return false;
    for (int i = 0; i < n; ++i) set(i, indices[i]);
    return true;
}

uint32_t IndexSet::get(int i) const {
    if (i < 0 || i >= count_) return 0;
    const unsigned char* p = data_.data() + static_cast<size_t>(i) * elementSize();
    if (type_ == GL_UNSIGNED_BYTE) return *p;
    if (type_ == GL_UNSIGNED_SHORT) {
        uint16_t v;
        std::memcpy(&v, p, 2);
        return v;
    }
    uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
}

bool IndexSet::setTriangle(int t, uint32_t a, uint32_t b, uint32_t c) {
    const uint32_t v[3] = {a, b, c};
    if (t < 0 || t > (capacity_ - 3) / 3) return false;
    for (uint32_t x : v)
        if (x >= static_cast<uint32_t>(vertexCount_)) return false;
    for (int k = 0; k < 3; ++k) set(3 * t + k, v[k]);
    return true;
}

void IndexSet::getTriangle(int t, uint32_t& a, uint32_t& b, uint32_t& c) const {
    a = get(3 * t), b = get(3 * t + 1), c = get(3 * t + 2);
}

bool IndexSet::setQuad(int q, uint32_t a, uint32_t b, uint32_t c, uint32_t d) {
    const uint32_t v[4] = {a, b, c, d};
    if (q < 0 || q > (capacity_ - 4) / 4) return false;
    for (uint32_t x : v)
        if (x >= static_cast<uint32_t>(vertexCount_)) return false;
    for (int k = 0; k < 4; ++k) set(4 * q + k, v[k]);
    return true;
}

void IndexSet::getQuad(int q, uint32_t& a, uint32_t& b, uint32_t& c, uint32_t& d) const {
    a = get(4 * q), b = get(4 * q + 1), c = get(4 * q + 2), d = get(4 * q + 3);
}

void IndexSet::drawElements(unsigned mode) {
    if (count_ == 0) return;
    const void* pointer =
        bindBuffer(GL_ELEMENT_ARRAY_BUFFER_ARB, buffer_, data_.data(), static_cast<size_t>(count_) * elementSize());
    glDrawElements(mode, count_, type_, pointer);
}

void TriangleSet::draw() { drawElements(GL_TRIANGLES); }
void TriangleStripSet::draw() { drawElements(GL_TRIANGLE_STRIP); }
void LineSet::draw() { drawElements(GL_LINES); }
void LineStripSet::draw() { drawElements(GL_LINE_STRIP); }
void QuadSet::draw() { drawElements(GL_QUADS); }
void GridStripSet::draw() { drawElements(GL_TRIANGLE_STRIP); }

GridStripSet::GridStripSet(int w, int h) {
    if (w < 2 || h < 2 || static_cast<long long>(w) * h > kMaxMeshVertices) return;
    // Per column pair 2h indices, and two repeats between consecutive pairs.
    if (!allocate(2 * h * (w - 1) + 2 * (w - 2), w * h)) return;
    for (int c = 0; c + 1 < w; ++c) {
        if (c > 0) append(static_cast<uint32_t>(c));  // repeat the pair's first vertex
        for (int y = 0; y < h; ++y) {
            append(static_cast<uint32_t>(y * w + c));
            append(static_cast<uint32_t>(y * w + c + 1));
        }
        if (c + 2 < w) append(static_cast<uint32_t>((h - 1) * w + c + 1));  // repeat the last
    }
}
