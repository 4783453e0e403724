#include "scene/node_visitor.h"

#include <GL/gl.h>

#include "scene/node.h"
#include "scene/object.h"

// Each slot's default is its base class's slot; Item's does nothing.
int NodeVisitor::enterSceneRoot(CoordSys& n) { return enterCoordSys(n); }
int NodeVisitor::enterCoordSys(CoordSys& n) { return enterNode(n); }
int NodeVisitor::enterGroup(Group& n) { return enterEntity(n); }
int NodeVisitor::enterViewNode(Node& n) { return enterNode(n); }
int NodeVisitor::enterDeferredLight(DeferredLight& n) { return enterNode(n); }
int NodeVisitor::enterDeferredShape(DeferredShape& n) { return enterNode(n); }
int NodeVisitor::enterObject(Object& n) { return enterEntity(n); }
int NodeVisitor::enterEntity(Entity& n) { return enterNode(n); }
int NodeVisitor::enterLight(Light& n) { return enterNode(n); }
int NodeVisitor::enterNode(Node& n) {
    enterItem(n);
    return kVisitContinue;
}
int NodeVisitor::enterShape(Shape& n) { return enterItem(n); }
int NodeVisitor::enterAppearance(Appearance& n) { return enterItem(n); }
int NodeVisitor::enterItem(Item&) { return kVisitContinue; }

int NodeVisitor::leaveSceneRoot(CoordSys& n) { return leaveCoordSys(n); }
int NodeVisitor::leaveCoordSys(CoordSys& n) { return leaveNode(n); }
int NodeVisitor::leaveGroup(Group& n) { return leaveEntity(n); }
int NodeVisitor::leaveViewNode(Node& n) { return leaveNode(n); }
int NodeVisitor::leaveDeferredLight(DeferredLight& n) { return leaveNode(n); }
int NodeVisitor::leaveDeferredShape(DeferredShape& n) { return leaveNode(n); }
int NodeVisitor::leaveObject(Object& n) { return leaveEntity(n); }
int NodeVisitor::leaveEntity(Entity& n) { return leaveNode(n); }
int NodeVisitor::leaveLight(Light& n) { return leaveNode(n); }
int NodeVisitor::leaveNode(Node& n) { return leaveItem(n); }
int NodeVisitor::leaveShape(Shape& n) { return leaveItem(n); }
int NodeVisitor::leaveAppearance(Appearance& n) { return leaveItem(n); }
int NodeVisitor::leaveItem(Item&) { return kVisitContinue; }

void NodeVisitor::scaleAbout(const Vec3& s, const Vec3& p) {
    translate(p);
    scale(s);
    translate(-p.x, -p.y, -p.z);
}

void NodeVisitor::rotateAbout(const Quaternion& q, const Vec3& p) {
    translate(p);
    rotate(q);
    translate(-p.x, -p.y, -p.z);
}

void NodeVisitor::rotateAbout(float angle, const Vec3& axis, const Vec3& p) {
    translate(p);
    rotate(angle, axis);
    translate(-p.x, -p.y, -p.z);
}

void GLVisitor::pushMatrix() { glPushMatrix(); }
void GLVisitor::popMatrix() { glPopMatrix(); }
void GLVisitor::loadIdentity() { glLoadIdentity(); }
void GLVisitor::loadMatrix(const float* m) { glLoadMatrixf(m); }
void GLVisitor::multMatrix(const float* m) { glMultMatrixf(m); }
void GLVisitor::translate(float x, float y, float z) { glTranslatef(x, y, z); }
void GLVisitor::scale(float x, float y, float z) { glScalef(x, y, z); }
void GLVisitor::rotate(float angle, float x, float y, float z) { glRotatef(angle, x, y, z); }
void GLVisitor::getModelview(Matrix& m) { glGetFloatv(GL_MODELVIEW_MATRIX, m.m); }
void GLVisitor::getProjection(Matrix& m) { glGetFloatv(GL_PROJECTION_MATRIX, m.m); }
