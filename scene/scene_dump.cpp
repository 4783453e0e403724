// Every item's scene description (scene/scene_writer.h), and the text writer.
#include <GL/gl.h>

#include <cerrno>
#include <cmath>
#include <cstdarg>
#include <cstring>

#include "base/report.h"
#include "scene/material.h"
#include "scene/mesh.h"
#include "scene/scene_writer.h"
#include "scene/texture.h"

// --- the text writer ---

void TextSceneWriter::write(const char* format, ...) {
    char small[256];
    va_list args;
    va_start(args, format);
    va_list again;
    va_copy(again, args);
    const int n = std::vsnprintf(small, sizeof small, format, args);
    va_end(args);
    std::string element;
    if (n >= static_cast<int>(sizeof small)) {
        element.resize(static_cast<size_t>(n) + 1);
        std::vsnprintf(&element[0], element.size(), format, again);
        element.resize(static_cast<size_t>(n));
    } else if (n > 0) {
        element = small;
    }
    va_end(again);

    // "name = " waits for the value that follows it.
    if (element.size() >= 2 && element.compare(element.size() - 2, 2, "= ") == 0) {
        pending_ += element;
        return;
    }
    element.insert(0, pending_);
    pending_.clear();
    if (element == "," && !text_.empty() && text_.back() == '\n') {
        text_.insert(text_.size() - 1, ",");
        return;
    }
    if (!element.empty() && element[0] == '}' && depth_ > 0) --depth_;
    text_.append(2 * depth_, ' ').append(element).push_back('\n');
    if (!element.empty() && element.back() == '{') ++depth_;
}

void dumpScene(Node& root, SceneWriter& w) {
    w.write("appearances = {");
    for (int i = 1; i < AppearanceRegistry::size(); ++i)
        if (Appearance* a = AppearanceRegistry::lookup(i)) {
            w.write("[%d] = ", i + 1);
            a->dump(w);
            w.write(",");
        }
    w.write("}");
    // A coordinate system writes its children without braces of its own.
    w.write("scene = {");
    root.dump(w);
    w.write("}");
}

bool writeSceneFile(Node& root, const std::string& path, const std::string& meshPrefix, std::string& error) {
    const std::string previous = MeshFiles::meshFilePrefix();
    MeshFiles::setMeshFilePrefix(meshPrefix);
    MeshFiles::resetMeshFileCounter();
    TextSceneWriter w;
    dumpScene(root, w);
    MeshFiles::setMeshFilePrefix(previous);
    if (MeshFiles::writeFailures()) {
        error = std::to_string(MeshFiles::writeFailures()) + " of its mesh files could not be written";
        return false;
    }
    FILE* f = std::fopen(path.c_str(), "w");
    if (!f) {
        error = std::string("cannot be created (") + std::strerror(errno) + ")";
        return false;
    }
    const bool written = std::fwrite(w.text().data(), 1, w.text().size(), f) == w.text().size();
    if (std::fclose(f) != 0 || !written) {
        error = "cannot be written (the disk may be full)";
        return false;
    }
    return true;
}

// --- items and entities ---

void Item::dump(SceneWriter& w) {
    if (getName()) w.write("name = \"%s\",", getName());
}

void Entity::dump(SceneWriter& w) {
    Item::dump(w);
    if (getAppearance()) w.write("appearance = appearances[%d],", getAppearance()->registryIndex() + 1);
    const int flags = getFlags();
    if (!flags) return;
    w.write("transform={");
    if (flags & kPosition) w.write("position  = {%f,%f,%f},", position_.x, position_.y, position_.z);
    if (flags & (kScale | kRotation)) {
        if (flags & kReference) w.write("reference = {%f,%f,%f},", reference_.x, reference_.y, reference_.z);
        if (flags & kRotation) {
            float angle, x, y, z;
            getRotation(angle, x, y, z);
            w.write("rotation  = {angle=%f, x=%f, y=%f, z=%f},", angle, x, y, z);
        }
        if (flags & kScale) w.write("scale     = {%f,%f,%f},", scale_.x, scale_.y, scale_.z);
    }
    w.write("},");
}

void Group::dump(SceneWriter& w) {
    w.write("Group{");
    Entity::dump(w);
    w.write(";");
    for (Node* child : children()) {
        child->dump(w);
        w.write(",");
    }
    w.write("}");
}

void Object::dump(SceneWriter& w) {
    w.write("Object{");
    Entity::dump(w);
    w.write(";");
    for (int i = 0; i < shapeCount(); ++i) {
        shape(i)->dump(w);
        w.write(",");
    }
    w.write("}");
}

void CoordSys::dump(SceneWriter& w) {
    for (Node* child : children()) {
        child->dump(w);
        w.write(",");
    }
    w.write(";");
    Item::dump(w);
}

// --- lights ---

void Light::dump(SceneWriter& w) {
    const float* a = getAmbient();
    const float* d = getDiffuse();
    const float* s = getSpecular();
    w.write("ambient   = { %f, %f, %f, %f },", a[0], a[1], a[2], a[3]);
    w.write("diffuse   = { %f, %f, %f, %f },", d[0], d[1], d[2], d[3]);
    w.write("specular  = { %f, %f, %f, %f },", s[0], s[1], s[2], s[3]);
    if (getIntensity() != 1.0f) w.write("intensity = %f,", getIntensity());
}

void PLight::dumpPointLightBody(SceneWriter& w) {
    Light::dump(w);
    w.write("position  = { %f, %f, %f },", position_[0], position_[1], position_[2]);
    if (attenuation_ & kConstant) w.write("constant_att  = %f,", constant_);
    if (attenuation_ & kLinear) w.write("linear_att    = %f,", linear_);
    if (attenuation_ & kQuadratic) w.write("quadratic_att = %f,", quadratic_);
}

void PLight::dump(SceneWriter& w) {
    w.write("PLight{");
    dumpPointLightBody(w);
    w.write("}");
}

void SLight::dump(SceneWriter& w) {
    w.write("SLight{");
    dumpPointLightBody(w);
    w.write("cutoff    = %f,", cutoff_);
    w.write("exponent  = %f,", exponent_);
    w.write("direction = { %f, %f, %f },", direction_[0], direction_[1], direction_[2]);
    w.write("}");
}

// --- appearances ---

void Material::dump(SceneWriter& w) {
    w.write("Material{");
    Item::dump(w);
    const float* a = ambient_;
    if (flags_ & kAmbientIsDiffuse) {
        w.write("ambient  = {%f,%f,%f,%f},", a[0], a[1], a[2], a[3]);
        w.write("diffuse  = {%f,%f,%f,%f},", a[0], a[1], a[2], a[3]);
    } else {
        if (flags_ & kAmbient) w.write("ambient  = {%f,%f,%f,%f},", a[0], a[1], a[2], a[3]);
        const float* d = diffuse_;
        if (flags_ & kDiffuse) w.write("diffuse  = {%f,%f,%f,%f},", d[0], d[1], d[2], d[3]);
    }
    const float* s = specular_;
    const float* e = emission_;
    if (flags_ & kSpecular) w.write("specular = {%f,%f,%f,%f},", s[0], s[1], s[2], s[3]);
    if (flags_ & kEmission) w.write("emission = {%f,%f,%f,%f},", e[0], e[1], e[2], e[3]);
    if (flags_ & kShininess) w.write("shininess= %f,", shininess_);
    w.write("}");
}

void Texture::dump(SceneWriter& w) {
    w.write("Texture{");
    Item::dump(w);
    if (!colourFile_.empty()) {
        w.write("color_file = \"%s\",", colourFile_.c_str());
        if (!alphaFile_.empty()) w.write("alpha_file = \"%s\",", alphaFile_.c_str());
    } else {
        w.write("palette_file = \"%s\",", paletteFile_.c_str());
        w.write("index_file   = \"%s\",", indexFile_.c_str());
    }
    static const char* const kGenNames[4] = {"gen_tex_s", "gen_tex_t", "gen_tex_r", "gen_tex_q"};
    for (int i = 0; i < 4; ++i) {
        if (!gen_[i]) continue;
        w.write("%s = {", kGenNames[i]);
        if (gen_[i] == GL_OBJECT_LINEAR || gen_[i] == GL_EYE_LINEAR) {
            w.write(gen_[i] == GL_OBJECT_LINEAR ? "mode = GL_OBJECT_LINEAR," : "mode = GL_EYE_LINEAR,");
            w.write("a    = %f,", planes_[i][0]);
            w.write("b    = %f,", planes_[i][1]);
            w.write("c    = %f,", planes_[i][2]);
            w.write("d    = %f,", planes_[i][3]);
        } else if (gen_[i] == GL_SPHERE_MAP) {
            w.write("mode = GL_SPHERE_MAP,");
        }
        w.write("},");
    }
    if (depth_) w.write("depth          = %d,", depth_);
    if (wrap_[0] != GL_REPEAT) w.write("wrap_s         = %d,", static_cast<int>(wrap_[0]));
    if (wrap_[1] != GL_REPEAT) w.write("wrap_t         = %d,", static_cast<int>(wrap_[1]));
    if (wrap_[2] != GL_REPEAT) w.write("wrap_r         = %d,", static_cast<int>(wrap_[2]));
    if (minFilter_ != GL_NEAREST) w.write("min_filter     = %d,", static_cast<int>(minFilter_));
    if (magFilter_ != GL_NEAREST) w.write("mag_filter     = %d,", static_cast<int>(magFilter_));
    if (mipmap_) w.write("mipmap         = %s,", "true");
    if (envMode_ != GL_MODULATE) w.write("env_mode       = %d,", static_cast<int>(envMode_));
    if (anisotropy_ != 1.0f) w.write("anisotropy     = %f,", anisotropy_);
    if (envMode_ == GL_BLEND)
        w.write("env_color      = { %f, %f, %f, %f },", envColour_[0], envColour_[1], envColour_[2], envColour_[3]);
    w.write("}");
}

// --- meshes ---

void Mesh::dump(SceneWriter& w) {
    w.write("Mesh{");
    const std::string& prefix = MeshFiles::meshFilePrefix();
    const std::string path = (prefix.empty() ? "mesh" : prefix) + std::to_string(MeshFiles::takeMeshFileNumber()) + ".msh";
    w.write("mshfile=\"%s\"", path.c_str());
    w.write("}");
    if (!saveMeshFile(path)) {
        reportError("mesh file %s: could not be written", path.c_str());
        MeshFiles::noteWriteFailure();
    }
}
