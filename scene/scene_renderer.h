// Drawing a scene graph with OpenGL. SceneRenderer replays each entity's transform and each
// coordinate system's matrix, applies and restores appearances around what they cover, and draws
// the shapes; a scene root (a CoordSys drawn through `drawRoot`) first runs LightSetupVisitor over
// the same tree, which applies every light under its transforms and switches lighting on when it
// met one. Lights in the tree are otherwise passed through untouched.
//
// OpenGL state is left as it was found: the root and the view push and pop the enable and lighting
// attributes and the matrices they change.
#pragma once

#include "scene/object.h"

// Replays each entity's transform and each coordinate system's matrix on OpenGL's.
class TransformVisitor : public GLVisitor {
public:
    int enterCoordSys(CoordSys& n) override;
    int leaveCoordSys(CoordSys& n) override;
    int enterEntity(Entity& n) override;
    int leaveEntity(Entity& n) override;
};

class LightSetupVisitor : public TransformVisitor {
public:
    int enterSceneRoot(CoordSys& n) override;
    int leaveSceneRoot(CoordSys& n) override;
    int enterLight(Light& n) override;
    int leaveLight(Light& n) override;

    bool active = true;
    bool ambientOn = true, diffuseOn = true, specularOn = true;

private:
    bool foundLight_ = false;
};

class SceneRenderer : public TransformVisitor {
public:
    // Draws `root` as the scene root: lights first, then everything.
    int drawRoot(CoordSys& root);

    int enterSceneRoot(CoordSys& n) override;
    int leaveSceneRoot(CoordSys& n) override;
    int enterDeferredLight(DeferredLight& n) override;
    int leaveDeferredLight(DeferredLight& n) override;
    int enterDeferredShape(DeferredShape& n) override;
    int leaveDeferredShape(DeferredShape& n) override;
    int enterShape(Shape& n) override;
    int enterAppearance(Appearance& n) override;
    int leaveAppearance(Appearance& n) override;

    LightSetupVisitor& lightSetup() { return lights_; }

private:
    LightSetupVisitor lights_;
};
