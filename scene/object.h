// The scene graph's leaves and the records drawn later: an Object holds shapes (each with a
// bounding-box record of its own under the object's), a Light owns one of OpenGL's eight lights,
// and the deferred records carry an object or a light with the matrix to draw it under, taken
// from a free list so that a renderer that sorts its drawing does not allocate a record a frame.
#pragma once

#include <vector>

#include "scene/node.h"
#include "scene/vertex_data.h"

// Something drawable, over vertex data of its own. A shape fills its bounding-box record when it
// is added to an object, and is told its entry's record before each visit.
class Shape : public Component {
public:
    const char* getClassName() const override { return "Shape"; }
    virtual void computeBounds(int boundsRecord) { vertexData_.computeBounds(boundsRecord); }
    virtual int accept(NodeVisitor& v);
    virtual int getVertexCount() const { return vertexData_.getVertexCount(); }
    virtual int lineCount() const = 0;
    virtual int faceCount() const = 0;
    virtual void draw() = 0;
    void setBoundsIndex(int index) { boundsIndex_ = index; }
    int getBoundsIndex() const { return boundsIndex_; }
    VertexData& vertexData() { return vertexData_; }
    const VertexData& vertexData() const { return vertexData_; }

private:
    int boundsIndex_ = -1;
    VertexData vertexData_;
};

class Object : public Entity {
public:
    using Entity::Entity;
    ~Object() override;
    const char* getClassName() const override { return "Object"; }
    void dump(SceneWriter& w) override;
    int accept(NodeVisitor& v) override;
    void updateChildBounds() override;
    void addShape(Shape* shape);
    void removeShape(Shape* shape);  // the first entry with it; nothing when none
    // Each shape in order, told its record, visited; the shapes' answers are not used.
    void visitShapes(NodeVisitor& v);
    int shapeCount() const { return static_cast<int>(entries_.size()); }
    Shape* shape(int i) const { return entries_[i].shape; }

private:
    struct ShapeEntry {
        Shape* shape;
        int bounds;
    };
    std::vector<ShapeEntry> entries_;
};

// OpenGL's eight lights, taken lowest first. A ninth light has none: it is not applied.
namespace LightSlots {
constexpr int kCount = 8;
int take();          // the slot index, or -1 when all eight are taken
void free(int slot);
}  // namespace LightSlots

class Light : public Node {
public:
    Light();
    ~Light() override;
    const char* getClassName() const override { return "Light"; }
    void dump(SceneWriter& w) override;
    int accept(NodeVisitor& v) override;
    // Loads the light's colours into its OpenGL light (subclasses add position and spot).
    virtual void apply();
    bool hasSlot() const { return slot_ >= 0; }
    unsigned glLight() const;  // GL_LIGHT0 + slot; meaningful only with a slot

    void setIntensity(float f);
    void setAmbient(float r, float g, float b, float a);
    void setDiffuse(float r, float g, float b, float a);
    void setSpecular(float r, float g, float b, float a);
    void setAmbientOn(bool on);
    void setDiffuseOn(bool on);
    void setSpecularOn(bool on);
    const float* getAmbient() const { return ambient_; }
    const float* getDiffuse() const { return diffuse_; }
    const float* getSpecular() const { return specular_; }
    const float* effectiveAmbient() const { return effAmbient_; }
    const float* effectiveDiffuse() const { return effDiffuse_; }
    const float* effectiveSpecular() const { return effSpecular_; }
    float getIntensity() const { return intensity_; }
    void setEnabled(bool on);  // glEnable or glDisable of its OpenGL light, at once

private:
    int slot_;
    float intensity_ = 1.0f;
    float ambient_[4] = {0, 0, 0, 1}, diffuse_[4] = {1, 1, 1, 1}, specular_[4] = {1, 1, 1, 1};
    float effAmbient_[4], effDiffuse_[4], effSpecular_[4];
    bool ambientOn_ = true, diffuseOn_ = true, specularOn_ = true;
    void recompute();
};

class PLight : public Light {
public:
    enum Attenuation { kConstant = 1, kLinear = 2, kQuadratic = 4 };
    PLight(float x = 0, float y = 0, float z = 0);
    const char* getClassName() const override { return "PLight"; }
    void dump(SceneWriter& w) override;
    void apply() override;
    void setPosition(float x, float y, float z);
    void setConstantAttenuation(float f) { constant_ = f, attenuation_ |= kConstant; }
    void setLinearAttenuation(float f) { linear_ = f, attenuation_ |= kLinear; }
    void setQuadraticAttenuation(float f) { quadratic_ = f, attenuation_ |= kQuadratic; }
    const float* getPosition() const { return position_; }
    int getAttenuationFlags() const { return attenuation_; }
    float getConstantAttenuation() const { return constant_; }
    float getLinearAttenuation() const { return linear_; }
    float getQuadraticAttenuation() const { return quadratic_; }

protected:
    void dumpPointLightBody(SceneWriter& w);

private:
    int attenuation_ = 0;
    float constant_ = 0, linear_ = 0, quadratic_ = 0;
    float position_[4];
};

// A spot light; it reports its class as "PLight", as spot lights always have.
class SLight : public PLight {
public:
    SLight(float x, float y, float z) : PLight(x, y, z) {}
    void dump(SceneWriter& w) override;
    void apply() override;
    void setDirection(float x, float y, float z) { direction_[0] = x, direction_[1] = y, direction_[2] = z; }
    void setCutoff(float degrees) { cutoff_ = degrees; }
    void setExponent(float e) { exponent_ = e; }
    const float* getDirection() const { return direction_; }
    float getCutoff() const { return cutoff_; }
    float getExponent() const { return exponent_; }

private:
    float direction_[3] = {0, 0, -1};
    float cutoff_ = 45.0f, exponent_ = 0.0f;
};

class DeferredShape : public Node {
public:
    // A record from the free list (or a new one): the matrix copied, the appearance referenced.
    static DeferredShape* create(const Matrix& m, Object* object, Appearance* appearance);
    // Drops the appearance and returns the record to the free list.
    void release();
    int accept(NodeVisitor& v) override;
    const Matrix& matrix() const { return matrix_; }
    Object* object() const { return object_; }
    Appearance* appearance() const { return appearance_; }

private:
    Matrix matrix_;
    Object* object_ = nullptr;
    Appearance* appearance_ = nullptr;
};

class DeferredLight : public Node {
public:
    static DeferredLight* create(const Matrix& m, Light* light);
    void release();
    int accept(NodeVisitor& v) override;
    const Matrix& matrix() const { return matrix_; }
    Light* light() const { return light_; }

private:
    Matrix matrix_;
    Light* light_ = nullptr;
};
