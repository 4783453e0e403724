// The scene graph's own vector, quaternion and matrix types, in single precision as OpenGL
// takes them. A Matrix is 16 floats in OpenGL's column-major order: element 4 c + r is row r of
// column c, the translation is elements 12, 13 and 14 (docs/conventions.md, "OpenGL matrices").
// Every operation that combines right-multiplies the matrix it is called on, as OpenGL does:
// M.translate(t) makes M = M T, so T acts on a point first. Angles are in degrees, rotations
// right-handed about their axis (counter-clockwise looking down the axis towards the origin).
#pragma once

#include <cstdio>

struct Vec3 {
    float x = 0, y = 0, z = 0;
};

// A rotation as a unit quaternion w + x i + y j + z k.
struct Quaternion {
    float w = 1, x = 0, y = 0, z = 0;
};

// The quaternion of a rotation by `angleDeg` about (x, y, z): half = angle x pi / 360, w =
// cos(half), the axis normalised times sin(half). An axis of length 1e-7 or less is used as it is.
Quaternion quaternionFromAngleAxis(float angleDeg, float x, float y, float z);
// The rotation angle 2 acos(w) in degrees.
float quaternionAngleDeg(const Quaternion& q);

struct Matrix {
    float m[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};

    static const Matrix& identity();
    void setIdentity() { *this = Matrix{}; }
    void multiply(const Matrix& n);  // M = M N
    void translate(float x, float y, float z);
    void scale(float x, float y, float z);
    void rotate(float angleDeg, float x, float y, float z);  // as glRotatef
    void rotate(const Quaternion& q);                         // rotate(2 acos(w), x, y, z)
    void rotateAbout(const Quaternion& q, const Vec3& p);     // about the point p
    void scaleAbout(const Vec3& s, const Vec3& p);
    // Columns 0, 1, 2 are the three vectors, the bottom row (0, 0, 0, 1).
    static Matrix fromBasis(const Vec3& a, const Vec3& b, const Vec3& c);
    // The adjugate over the determinant, in single precision; no test for a zero determinant.
    Matrix inverse() const;
    void transpose();
    // (x, y, z, 1) transformed, divided by the resulting w.
    Vec3 transformPoint(const Vec3& p) const;
    // (x, y, z, 1) transformed, without the division.
    Vec3 transformPointAffine(const Vec3& p) const;
    // Row vector v times M: component k is column k dotted with v.
    void multiplyRow(const float v[4], float out[4]) const;
    // An optional title line, then four lines: line r holds elements r, r + 4, r + 8, r + 12.
    void print(FILE* out, const char* title) const;
};
