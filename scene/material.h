// A material: the OpenGL material colours and shininess applied around what it covers. Only the
// values that differ from OpenGL's own defaults are sent (and dumped); when ambient and diffuse
// are the same colour they go in one call.
#pragma once

#include "scene/node.h"

class Material : public Appearance {
public:
    enum Flags { kAmbient = 1, kDiffuse = 2, kSpecular = 4, kEmission = 8, kShininess = 16, kAmbientIsDiffuse = 32 };

    Material() = default;
    // Ambient and diffuse both (r, g, b, a), in one call; the rest at the defaults.
    Material(float r, float g, float b, float a);
    const char* getClassName() const override { return "Material"; }
    void dump(SceneWriter& w) override;

    void setAmbient(float r, float g, float b, float a);
    void setDiffuse(float r, float g, float b, float a);
    void setSpecular(float r, float g, float b, float a);
    void setEmission(float r, float g, float b, float a);
    void setShininess(float s);
    int getFlags() const { return flags_; }
    const float* getAmbient() const { return ambient_; }
    const float* getDiffuse() const { return diffuse_; }
    const float* getSpecular() const { return specular_; }
    const float* getEmission() const { return emission_; }
    float getShininess() const { return shininess_; }

    // Pushes the lighting attributes and sends the flagged values (nothing when disabled).
    void apply() override;
    // Pops what apply pushed (nothing when disabled).
    void restore() override;
    // False when a colour that apply would send has an alpha other than 1.
    bool isOpaque() const override;

private:
    int flags_ = 0;
    float ambient_[4] = {0.2f, 0.2f, 0.2f, 1.0f};
    float diffuse_[4] = {0.8f, 0.8f, 0.8f, 1.0f};
    float specular_[4] = {0.0f, 0.0f, 0.0f, 1.0f};
    float emission_[4] = {0.0f, 0.0f, 0.0f, 1.0f};
    float shininess_ = 0.0f;

    void setFlag(int bit, bool on) { flags_ = on ? flags_ | bit : flags_ & ~bit; }
    void set(float* colour, const float* defaults, int bit, float r, float g, float b, float a);
};
