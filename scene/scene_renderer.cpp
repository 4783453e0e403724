#include "scene/scene_renderer.h"

#include <GL/gl.h>

int TransformVisitor::enterCoordSys(CoordSys& n) {
    if (n.getMatrix()) {
        pushMatrix();
        loadMatrix(n.getMatrix()->m);
    }
    return kVisitContinue;
}

int TransformVisitor::leaveCoordSys(CoordSys& n) {
    if (n.getMatrix()) popMatrix();
    return kVisitContinue;
}

int TransformVisitor::enterEntity(Entity& n) {
    n.pushTransform(*this);
    return kVisitContinue;
}

int TransformVisitor::leaveEntity(Entity& n) {
    n.popTransform(*this);
    return kVisitContinue;
}

int LightSetupVisitor::enterSceneRoot(CoordSys&) {
    if (!active) return kVisitStop;
    foundLight_ = false;
    return kVisitContinue;
}

int LightSetupVisitor::leaveSceneRoot(CoordSys&) {
    if (foundLight_) glEnable(GL_LIGHTING);
    return kVisitContinue;
}

int LightSetupVisitor::enterLight(Light& n) {
    n.setAmbientOn(ambientOn);
    n.setDiffuseOn(diffuseOn);
    n.setSpecularOn(specularOn);
    n.apply();
    foundLight_ = true;
    return kVisitContinue;
}

int LightSetupVisitor::leaveLight(Light& n) {
    n.setAmbientOn(true);
    n.setDiffuseOn(true);
    n.setSpecularOn(true);
    return kVisitContinue;
}

int SceneRenderer::drawRoot(CoordSys& root) {
    int r = enterSceneRoot(root);
    if (r == kVisitStop) return kVisitStop;
    r = root.accept(*this);
    leaveSceneRoot(root);
    return r;
}

int SceneRenderer::enterSceneRoot(CoordSys& n) {
    glPushAttrib(GL_ENABLE_BIT | GL_LIGHTING_BIT);
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    // The light pre-pass over the same tree, as its own scene root.
    if (lights_.enterSceneRoot(n) != kVisitStop) {
        n.accept(lights_);
        lights_.leaveSceneRoot(n);
    }
    return kVisitContinue;
}

int SceneRenderer::leaveSceneRoot(CoordSys&) {
    glMatrixMode(GL_MODELVIEW);
    glPopMatrix();
    glPopAttrib();
    return kVisitContinue;
}

int SceneRenderer::enterDeferredLight(DeferredLight& n) {
    glEnable(GL_LIGHTING);
    pushMatrix();
    multMatrix(n.matrix().m);
    if (n.light()) n.light()->apply();
    return kVisitContinue;
}

int SceneRenderer::leaveDeferredLight(DeferredLight&) {
    popMatrix();
    return kVisitContinue;
}

int SceneRenderer::enterDeferredShape(DeferredShape& n) {
    pushMatrix();
    multMatrix(n.matrix().m);
    return kVisitContinue;
}

int SceneRenderer::leaveDeferredShape(DeferredShape&) {
    popMatrix();
    return kVisitContinue;
}

int SceneRenderer::enterShape(Shape& n) {
    // A transform that mirrors (its upper 3 x 3 of negative determinant) turns the faces' winding
    // round in the picture: counter-clockwise faces then face away, and two-sided lighting would
    // light their backs. Their front is then the clockwise side.
    GLfloat m[16];
    glGetFloatv(GL_MODELVIEW_MATRIX, m);
    const float det = m[0] * (m[5] * m[10] - m[9] * m[6]) - m[4] * (m[1] * m[10] - m[9] * m[2]) + m[8] * (m[1] * m[6] - m[5] * m[2]);
    if (det < 0) glFrontFace(GL_CW);
    n.draw();
    if (det < 0) glFrontFace(GL_CCW);
    return kVisitContinue;
}

int SceneRenderer::enterAppearance(Appearance& n) {
    n.apply();
    return kVisitContinue;
}

int SceneRenderer::leaveAppearance(Appearance& n) {
    n.restore();
    return kVisitContinue;
}
