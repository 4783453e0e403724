// Every traversal of the scene graph runs through a NodeVisitor: `accept` of a node calls the
// visitor's enter and leave slot for its class, and the visitor's answer steers the walk:
// 0 go on, 1 stop the whole traversal, 2 skip the rest of this subtree. Each slot's default calls
// the slot of the base class, up to Item's, which does nothing and answers 0, so a visitor
// overrides only the classes it cares about. The matrix operations are what an Entity's
// transform replays while drawing; GLVisitor implements them on OpenGL's current matrix.
//
// The scene root and the view node have slots but no class of their own: a renderer that draws a
// CoordSys as the root, or a node as a view, calls those slots itself.
#pragma once

#include "scene/scene_math.h"

class Item;
class Node;
class Entity;
class Group;
class Object;
class CoordSys;
class Light;
class Shape;
class Appearance;
class DeferredLight;
class DeferredShape;

// Traversal answers.
constexpr int kVisitContinue = 0;
constexpr int kVisitStop = 1;
constexpr int kVisitSkip = 2;

class NodeVisitor {
public:
    virtual ~NodeVisitor() = default;

    virtual int enterSceneRoot(CoordSys& n);
    virtual int enterCoordSys(CoordSys& n);
    virtual int enterGroup(Group& n);
    virtual int enterViewNode(Node& n);
    virtual int enterDeferredLight(DeferredLight& n);
    virtual int enterDeferredShape(DeferredShape& n);
    virtual int enterObject(Object& n);
    virtual int enterEntity(Entity& n);
    virtual int enterLight(Light& n);
    virtual int enterNode(Node& n);
    virtual int enterShape(Shape& n);
    virtual int enterAppearance(Appearance& n);
    virtual int enterItem(Item& n);

    virtual int leaveSceneRoot(CoordSys& n);
    virtual int leaveCoordSys(CoordSys& n);
    virtual int leaveGroup(Group& n);
    virtual int leaveViewNode(Node& n);
    virtual int leaveDeferredLight(DeferredLight& n);
    virtual int leaveDeferredShape(DeferredShape& n);
    virtual int leaveObject(Object& n);
    virtual int leaveEntity(Entity& n);
    virtual int leaveLight(Light& n);
    virtual int leaveNode(Node& n);
    virtual int leaveShape(Shape& n);
    virtual int leaveAppearance(Appearance& n);
    virtual int leaveItem(Item& n);

    // Matrix operations (degrees for angles), each right-multiplying the current matrix.
    virtual void pushMatrix() = 0;
    virtual void popMatrix() = 0;
    virtual void loadIdentity() = 0;
    virtual void loadMatrix(const float* m) = 0;
    virtual void multMatrix(const float* m) = 0;
    virtual void translate(float x, float y, float z) = 0;
    virtual void scale(float x, float y, float z) = 0;
    virtual void rotate(float angle, float x, float y, float z) = 0;
    virtual void getModelview(Matrix& m) = 0;
    virtual void getProjection(Matrix& m) = 0;

    // Composite forms, in terms of the operations above.
    void translate(const Vec3& v) { translate(v.x, v.y, v.z); }
    void scale(const Vec3& v) { scale(v.x, v.y, v.z); }
    void rotate(float angle, const Vec3& axis) { rotate(angle, axis.x, axis.y, axis.z); }
    void rotate(const Quaternion& q) { rotate(quaternionAngleDeg(q), q.x, q.y, q.z); }
    void scaleAbout(const Vec3& s, const Vec3& p);
    void rotateAbout(const Quaternion& q, const Vec3& p);
    void rotateAbout(float angle, const Vec3& axis, const Vec3& p);
};

class GLVisitor : public NodeVisitor {
public:
    void pushMatrix() override;
    void popMatrix() override;
    void loadIdentity() override;
    void loadMatrix(const float* m) override;
    void multMatrix(const float* m) override;
    void translate(float x, float y, float z) override;
    void scale(float x, float y, float z) override;
    void rotate(float angle, float x, float y, float z) override;
    void getModelview(Matrix& m) override;
    void getProjection(Matrix& m) override;
    using NodeVisitor::rotate;
    using NodeVisitor::scale;
    using NodeVisitor::translate;
};
