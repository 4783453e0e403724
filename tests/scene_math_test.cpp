// The scene graph's transforms and bounding boxes against hand-computed results.
#include <gtest/gtest.h>

#include <cmath>

#include "scene/bounds.h"
#include "scene/scene_math.h"

namespace {

void expectPoint(const Vec3& p, float x, float y, float z) {
    EXPECT_NEAR(p.x, x, 1e-5f);
    EXPECT_NEAR(p.y, y, 1e-5f);
    EXPECT_NEAR(p.z, z, 1e-5f);
}

}  // namespace

TEST(SceneMath, RotationsAboutAPointComposeAsOpenGLDoes) {
    // An unnormalised axis is normalised; the angle comes back as 2 acos(w).
    const Quaternion q = quaternionFromAngleAxis(90, 0, 0, 5);
    EXPECT_NEAR(q.w, std::cos(M_PI / 4), 1e-6);
    EXPECT_NEAR(q.z, std::sin(M_PI / 4), 1e-6);
    EXPECT_NEAR(quaternionAngleDeg(q), 90.0f, 1e-4f);
    // A near-zero axis is used as it is.
    EXPECT_NEAR(quaternionFromAngleAxis(90, 0, 0, 1e-8f).z, 1e-8f * std::sin(M_PI / 4), 1e-12);

    // Position (1, 0, 0), then 90 degrees about z around the reference point (1, 0, 0):
    // (2, 0, 0) goes to (2, 1, 0).
    Matrix m;
    m.translate(1, 0, 0);
    m.rotateAbout(q, Vec3{1, 0, 0});
    expectPoint(m.transformPoint(Vec3{2, 0, 0}), 2, 1, 0);
    // Right-multiplication: the last operation acts first.
    Matrix s;
    s.translate(10, 0, 0);
    s.scale(2, 3, 4);
    expectPoint(s.transformPointAffine(Vec3{1, 1, 1}), 12, 3, 4);
    // The inverse undoes it; the transpose of a rotation is its inverse.
    const Matrix inv = m.inverse();
    Matrix product = m;
    product.multiply(inv);
    for (int i = 0; i < 16; ++i) EXPECT_NEAR(product.m[i], Matrix::identity().m[i], 1e-5f) << i;
    Matrix r;
    r.rotate(33, 1, 2, 3);
    Matrix rt = r;
    rt.transpose();
    r.multiply(rt);
    for (int i = 0; i < 16; ++i) EXPECT_NEAR(r.m[i], Matrix::identity().m[i], 1e-5f) << i;
    // A projective row divides by w.
    Matrix p;
    p.m[3] = 1;  // w = x + 1
    expectPoint(p.transformPoint(Vec3{1, 4, 6}), 0.5f, 2, 3);
    const Matrix basis = Matrix::fromBasis(Vec3{0, 1, 0}, Vec3{-1, 0, 0}, Vec3{0, 0, 1});
    expectPoint(basis.transformPointAffine(Vec3{1, 0, 0}), 0, 1, 0);
}

TEST(SceneBounds, ParentsMergeTheirChildrenThroughTheirMatricesAndForgetRemovedOnes) {
    BoundsTable& table = BoundsTable::instance();
    const int parent = table.create(), a = table.create(), b = table.create();
    const Vec3 cube[2] = {{-1, -1, -1}, {1, 1, 1}};
    table.setPoints(a, 2, cube);
    table.beginPoints();
    table.addPoint(5, 5, 5);
    table.addPoint(6, 7, 8);
    table.endPoints(b);
    EXPECT_EQ(table.addPoint(0, 0, 0), -1);  // not collecting
    table.link(parent, a);
    table.link(parent, b);
    Matrix shift;
    shift.translate(10, 0, 0);
    table.setMatrix(a, &shift);
    EXPECT_FALSE(table.isValid(parent));
    BoundsBox box = table.box(parent);
    EXPECT_FLOAT_EQ(box.minX, 5);
    EXPECT_FLOAT_EQ(box.maxX, 11);
    EXPECT_FLOAT_EQ(box.maxZ, 8);
    EXPECT_EQ(box.planeTest(1, 0, 0, -20), -1);  // wholly behind x = 20
    EXPECT_EQ(box.planeTest(1, 0, 0, 0), 1);     // wholly in front of x = 0
    EXPECT_EQ(box.planeTest(1, 0, 0, -8), 0);
    // A removed child keeps its record, and the parent no longer counts it.
    table.unlink(a);
    EXPECT_EQ(table.parentOf(a), -1);
    box = table.box(parent);
    EXPECT_FLOAT_EQ(box.minX, 5);
    EXPECT_FLOAT_EQ(table.box(a).maxX, 1);
    // A released record is reused, and its children are orphaned, not left pointing at it.
    table.release(parent);
    EXPECT_EQ(table.parentOf(b), -1);
    EXPECT_EQ(table.create(), parent);
    for (int r : {parent, a, b}) table.release(r);
}
