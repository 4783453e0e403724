#include "scene/material.h"

#include <GL/gl.h>

namespace {

// OpenGL's own material defaults: a value equal to them need not be sent.
constexpr float kDefaultAmbient[4] = {0.2f, 0.2f, 0.2f, 1.0f};
constexpr float kDefaultDiffuse[4] = {0.8f, 0.8f, 0.8f, 1.0f};
constexpr float kDefaultSpecular[4] = {0.0f, 0.0f, 0.0f, 1.0f};
constexpr float kDefaultEmission[4] = {0.0f, 0.0f, 0.0f, 1.0f};
constexpr float kDefaultShininess = 0.0f;

bool same(const float* a, const float* b) { return a[0] == b[0] && a[1] == b[1] && a[2] == b[2] && a[3] == b[3]; }

}  // namespace

Material::Material(float r, float g, float b, float a) : flags_(kAmbientIsDiffuse) {
    ambient_[0] = diffuse_[0] = r, ambient_[1] = diffuse_[1] = g;
    ambient_[2] = diffuse_[2] = b, ambient_[3] = diffuse_[3] = a;
}

void Material::set(float* colour, const float* defaults, int bit, float r, float g, float b, float a) {
    colour[0] = r, colour[1] = g, colour[2] = b, colour[3] = a;
    setFlag(bit, !same(colour, defaults));
}

void Material::setAmbient(float r, float g, float b, float a) {
    set(ambient_, kDefaultAmbient, kAmbient, r, g, b, a);
    setFlag(kAmbientIsDiffuse, same(ambient_, diffuse_));
}

void Material::setDiffuse(float r, float g, float b, float a) {
    set(diffuse_, kDefaultDiffuse, kDiffuse, r, g, b, a);
    setFlag(kAmbientIsDiffuse, same(ambient_, diffuse_));
}

void Material::setSpecular(float r, float g, float b, float a) { set(specular_, kDefaultSpecular, kSpecular, r, g, b, a); }

void Material::setEmission(float r, float g, float b, float a) { set(emission_, kDefaultEmission, kEmission, r, g, b, a); }

void Material::setShininess(float s) {
    shininess_ = s;
    setFlag(kShininess, s != kDefaultShininess);
}

void Material::apply() {
    if (!isEnabled()) return;
    glPushAttrib(GL_LIGHTING_BIT);
    if (flags_ & kAmbientIsDiffuse) {
        glMaterialfv(GL_FRONT_AND_BACK, GL_AMBIENT_AND_DIFFUSE, ambient_);
    } else {
        if (flags_ & kAmbient) glMaterialfv(GL_FRONT_AND_BACK, GL_AMBIENT, ambient_);
        if (flags_ & kDiffuse) glMaterialfv(GL_FRONT_AND_BACK, GL_DIFFUSE, diffuse_);
    }
    if (flags_ & kSpecular) glMaterialfv(GL_FRONT_AND_BACK, GL_SPECULAR, specular_);
    if (flags_ & kEmission) glMaterialfv(GL_FRONT_AND_BACK, GL_EMISSION, emission_);
    if (flags_ & kShininess) glMaterialf(GL_FRONT_AND_BACK, GL_SHININESS, shininess_);
}

void Material::restore() {
    if (isEnabled()) glPopAttrib();
}

bool Material::isOpaque() const {
    if (flags_ & kAmbientIsDiffuse) {
        if (ambient_[3] != 1.0f) return false;
    } else {
        if ((flags_ & kAmbient) && ambient_[3] != 1.0f) return false;
        if ((flags_ & kDiffuse) && diffuse_[3] != 1.0f) return false;
    }
    if ((flags_ & kSpecular) && specular_[3] != 1.0f) return false;
    if ((flags_ & kEmission) && emission_[3] != 1.0f) return false;
    return true;
}
