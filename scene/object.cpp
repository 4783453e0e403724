#include "scene/object.h"

#include <GL/gl.h>

#include <algorithm>
#include <cstdio>
#include <memory>

#include "base/report.h"
#include "scene/bounds.h"

int Shape::accept(NodeVisitor& v) {
    v.enterShape(*this);
    return v.leaveShape(*this);
}

// --- objects ---

Object::~Object() {
    BoundsTable& table = BoundsTable::instance();
    for (ShapeEntry& e : entries_) {
        table.release(e.bounds);
        e.shape->release();
    }
}

void Object::addShape(Shape* shape) {
    if (!shape) return;
    BoundsTable& table = BoundsTable::instance();
    const int record = table.create();
    shape->addReference();
    shape->computeBounds(record);
    table.link(getBoundsIndex(), record);
    table.setMatrix(record, boundsMatrix());
    entries_.push_back(ShapeEntry{shape, record});
}

void Object::removeShape(Shape* shape) {
    const auto it = std::find_if(entries_.begin(), entries_.end(), [&](const ShapeEntry& e) { return e.shape == shape; });
    if (it == entries_.end()) return;
    BoundsTable::instance().release(it->bounds);
    entries_.erase(it);
    shape->release();
}

void Object::updateChildBounds() {
    BoundsTable& table = BoundsTable::instance();
    for (const ShapeEntry& e : entries_) table.setMatrix(e.bounds, boundsMatrix());
}

void Object::visitShapes(NodeVisitor& v) {
    for (const ShapeEntry& e : entries_) {
        e.shape->setBoundsIndex(e.bounds);
        e.shape->accept(v);
    }
}

int Object::accept(NodeVisitor& v) {
    if (!isEnabled()) return kVisitContinue;
    return visitAround(
        v.enterObject(*this),
        [&] {
            if (getAppearance()) v.enterAppearance(*getAppearance());
            visitShapes(v);
            if (getAppearance()) v.leaveAppearance(*getAppearance());
            return kVisitContinue;
        },
        [&] { return v.leaveObject(*this); });
}

// --- lights ---

namespace {
int g_lightSlots[LightSlots::kCount];
}  // namespace

int LightSlots::take() {
    for (int i = 0; i < kCount; ++i)
        if (!g_lightSlots[i]) {
            g_lightSlots[i] = 1;
            return i;
        }
    return -1;
}

void LightSlots::free(int slot) {
    if (slot >= 0 && slot < kCount) g_lightSlots[slot] = 0;
}

Light::Light() : slot_(LightSlots::take()) {
    if (slot_ < 0) reportWarning("OpenGL has eight lights; a ninth is left out of the scene's lighting");
    recompute();
}

Light::~Light() { LightSlots::free(slot_); }

unsigned Light::glLight() const { return GL_LIGHT0 + static_cast<unsigned>(slot_ < 0 ? 0 : slot_); }

int Light::accept(NodeVisitor& v) {
    if (!isEnabled()) return kVisitContinue;
    return visitAround(v.enterLight(*this), nothingInside, [&] { return v.leaveLight(*this); });
}

void Light::recompute() {
    // Effective colour = (term on ? intensity : 0) x colour, alpha included.
    for (int i = 0; i < 4; ++i) {
        effAmbient_[i] = (ambientOn_ ? intensity_ : 0.0f) * ambient_[i];
        effDiffuse_[i] = (diffuseOn_ ? intensity_ : 0.0f) * diffuse_[i];
        effSpecular_[i] = (specularOn_ ? intensity_ : 0.0f) * specular_[i];
    }
}

void Light::setIntensity(float f) {
    intensity_ = f;
    recompute();
}

void Light::setAmbient(float r, float g, float b, float a) {
    ambient_[0] = r, ambient_[1] = g, ambient_[2] = b, ambient_[3] = a;
    recompute();
}

void Light::setDiffuse(float r, float g, float b, float a) {
    diffuse_[0] = r, diffuse_[1] = g, diffuse_[2] = b, diffuse_[3] = a;
    recompute();
}

void Light::setSpecular(float r, float g, float b, float a) {
    specular_[0] = r, specular_[1] = g, specular_[2] = b, specular_[3] = a;
    recompute();
}

void Light::setAmbientOn(bool on) {
    if (on != ambientOn_) ambientOn_ = on, recompute();
}

void Light::setDiffuseOn(bool on) {
    if (on != diffuseOn_) diffuseOn_ = on, recompute();
}

void Light::setSpecularOn(bool on) {
    if (on != specularOn_) specularOn_ = on, recompute();
}

void Light::setEnabled(bool on) {
    if (!hasSlot()) return;
    if (on) glEnable(glLight());
    else glDisable(glLight());
}

void Light::apply() {
    if (!hasSlot()) return;
    glLightfv(glLight(), GL_AMBIENT, effAmbient_);
    glLightfv(glLight(), GL_DIFFUSE, effDiffuse_);
    glLightfv(glLight(), GL_SPECULAR, effSpecular_);
}

PLight::PLight(float x, float y, float z) : position_{x, y, z, 1.0f} {}

void PLight::setPosition(float x, float y, float z) { position_[0] = x, position_[1] = y, position_[2] = z; }

void PLight::apply() {
    if (!hasSlot()) return;
    Light::apply();
    glEnable(glLight());
    // Taken in the current modelview: a visitor applies a light after the transforms above it.
    glLightfv(glLight(), GL_POSITION, position_);
    if (attenuation_ & kConstant) glLightf(glLight(), GL_CONSTANT_ATTENUATION, constant_);
    if (attenuation_ & kLinear) glLightf(glLight(), GL_LINEAR_ATTENUATION, linear_);
    if (attenuation_ & kQuadratic) glLightf(glLight(), GL_QUADRATIC_ATTENUATION, quadratic_);
}

void SLight::apply() {
    if (!hasSlot()) return;
    glLightf(glLight(), GL_SPOT_CUTOFF, cutoff_);
    glLightfv(glLight(), GL_SPOT_DIRECTION, direction_);
    glLightf(glLight(), GL_SPOT_EXPONENT, exponent_);
    PLight::apply();
}

// --- deferred records and their free lists ---

namespace {

// A free list that deletes what it holds when the program ends.
template <typename T>
struct FreeList {
    std::vector<T*> items;
    // The records are nodes, whose destructors release bounds records: the table must outlive
    // the list, so it is made first (statics end in the reverse order they were made).
    FreeList() { BoundsTable::instance(); }
    ~FreeList() {
        for (T* t : items) delete t;
    }
    T* take() {
        if (items.empty()) return nullptr;
        T* t = items.back();
        items.pop_back();
        return t;
    }
};

FreeList<DeferredShape>& shapeRecords() {
    static FreeList<DeferredShape> list;
    return list;
}

FreeList<DeferredLight>& lightRecords() {
    static FreeList<DeferredLight> list;
    return list;
}

}  // namespace

DeferredShape* DeferredShape::create(const Matrix& m, Object* object, Appearance* appearance) {
    DeferredShape* d = shapeRecords().take();
    if (!d) d = new DeferredShape;
    d->matrix_ = m;
    d->object_ = object;
    d->appearance_ = appearance;
    if (appearance) appearance->addReference();
    return d;
}

void DeferredShape::release() {
    if (appearance_) appearance_->release();
    appearance_ = nullptr;
    object_ = nullptr;
    shapeRecords().items.push_back(this);
}

int DeferredShape::accept(NodeVisitor& v) {
    return visitAround(
        v.enterDeferredShape(*this),
        [&] {
            if (appearance_) v.enterAppearance(*appearance_);
            if (object_) object_->visitShapes(v);
            if (appearance_) v.leaveAppearance(*appearance_);
            return kVisitContinue;
        },
        [&] { return v.leaveDeferredShape(*this); });
}

DeferredLight* DeferredLight::create(const Matrix& m, Light* light) {
    DeferredLight* d = lightRecords().take();
    if (!d) d = new DeferredLight;
    d->matrix_ = m;
    d->light_ = light;
    return d;
}

void DeferredLight::release() {
    light_ = nullptr;
    lightRecords().items.push_back(this);
}

int DeferredLight::accept(NodeVisitor& v) {
    return visitAround(v.enterDeferredLight(*this), nothingInside, [&] { return v.leaveDeferredLight(*this); });
}
