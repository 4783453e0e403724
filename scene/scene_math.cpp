#include "scene/scene_math.h"

#include <cmath>

namespace {

constexpr float kHalfDegreeInRadians = 0.0087266397f;  // pi / 360
constexpr double kTwiceRadiansInDegrees = 114.59165149857508;  // 360 / pi

}  // namespace

Quaternion quaternionFromAngleAxis(float angleDeg, float x, float y, float z) {
    const float half = angleDeg * kHalfDegreeInRadians;
    const float len = std::sqrt(x * x + y * y + z * z);
    if (len > 1e-7f) x /= len, y /= len, z /= len;
    const float s = std::sin(half);
    return Quaternion{std::cos(half), x * s, y * s, z * s};
}

float quaternionAngleDeg(const Quaternion& q) {
    return static_cast<float>(std::acos(static_cast<double>(q.w)) * kTwiceRadiansInDegrees);
}

const Matrix& Matrix::identity() {
    static const Matrix kIdentity;
    return kIdentity;
}

void Matrix::multiply(const Matrix& n) {
    float out[16];
    for (int c = 0; c < 4; ++c)
        for (int r = 0; r < 4; ++r) {
            float sum = 0;
            for (int k = 0; k < 4; ++k) sum += m[4 * k + r] * n.m[4 * c + k];
            out[4 * c + r] = sum;
        }
    for (int i = 0; i < 16; ++i) m[i] = out[i];
}

void Matrix::translate(float x, float y, float z) {
    Matrix t;
    t.m[12] = x, t.m[13] = y, t.m[14] = z;
    multiply(t);
}

void Matrix::scale(float x, float y, float z) {
    Matrix s;
    s.m[0] = x, s.m[5] = y, s.m[10] = z;
    multiply(s);
}

void Matrix::rotate(float angleDeg, float x, float y, float z) {
    // glRotate's matrix: with the axis normalised to (x, y, z), c = cos, s = sin of the angle,
    // R = x x' (1 - c) + c I + s [axis]x.
    const float len = std::sqrt(x * x + y * y + z * z);
    if (len > 0) x /= len, y /= len, z /= len;
    const float a = angleDeg * kHalfDegreeInRadians * 2.0f;
    const float c = std::cos(a), s = std::sin(a), k = 1 - c;
    Matrix r;
    r.m[0] = x * x * k + c, r.m[4] = x * y * k - z * s, r.m[8] = x * z * k + y * s;
    r.m[1] = y * x * k + z * s, r.m[5] = y * y * k + c, r.m[9] = y * z * k - x * s;
    r.m[2] = x * z * k - y * s, r.m[6] = y * z * k + x * s, r.m[10] = z * z * k + c;
    multiply(r);
}

void Matrix::rotate(const Quaternion& q) { rotate(quaternionAngleDeg(q), q.x, q.y, q.z); }

void Matrix::rotateAbout(const Quaternion& q, const Vec3& p) {
    translate(p.x, p.y, p.z);
    rotate(q);
    translate(-p.x, -p.y, -p.z);
}

void Matrix::scaleAbout(const Vec3& s, const Vec3& p) {
    translate(p.x, p.y, p.z);
    scale(s.x, s.y, s.z);
    translate(-p.x, -p.y, -p.z);
}

Matrix Matrix::fromBasis(const Vec3& a, const Vec3& b, const Vec3& c) {
    Matrix out;
    const Vec3* v[3] = {&a, &b, &c};
    for (int col = 0; col < 3; ++col) out.m[4 * col] = v[col]->x, out.m[4 * col + 1] = v[col]->y, out.m[4 * col + 2] = v[col]->z;
    return out;
}

Matrix Matrix::inverse() const {
    // Cofactor expansion: inv[j][i] = cofactor(i, j) / det, with the 2 x 2 minors of the top and
    // bottom row pairs shared between the cofactors.
    auto at = [&](int r, int c) { return m[4 * c + r]; };
    const float s0 = at(0, 0) * at(1, 1) - at(1, 0) * at(0, 1), s1 = at(0, 0) * at(1, 2) - at(1, 0) * at(0, 2);
    const float s2 = at(0, 0) * at(1, 3) - at(1, 0) * at(0, 3), s3 = at(0, 1) * at(1, 2) - at(1, 1) * at(0, 2);
    const float s4 = at(0, 1) * at(1, 3) - at(1, 1) * at(0, 3), s5 = at(0, 2) * at(1, 3) - at(1, 2) * at(0, 3);
    const float c5 = at(2, 2) * at(3, 3) - at(3, 2) * at(2, 3), c4 = at(2, 1) * at(3, 3) - at(3, 1) * at(2, 3);
    const float c3 = at(2, 1) * at(3, 2) - at(3, 1) * at(2, 2), c2 = at(2, 0) * at(3, 3) - at(3, 0) * at(2, 3);
    const float c1 = at(2, 0) * at(3, 2) - at(3, 0) * at(2, 2), c0 = at(2, 0) * at(3, 1) - at(3, 0) * at(2, 1);
    const float inv = 1.0f / (s0 * c5 - s1 * c4 + s2 * c3 + s3 * c2 - s4 * c1 + s5 * c0);
    const float r[4][4] = {
        {(at(1, 1) * c5 - at(1, 2) * c4 + at(1, 3) * c3), (-at(0, 1) * c5 + at(0, 2) * c4 - at(0, 3) * c3),
         (at(3, 1) * s5 - at(3, 2) * s4 + at(3, 3) * s3), (-at(2, 1) * s5 + at(2, 2) * s4 - at(2, 3) * s3)},
        {(-at(1, 0) * c5 + at(1, 2) * c2 - at(1, 3) * c1), (at(0, 0) * c5 - at(0, 2) * c2 + at(0, 3) * c1),
         (-at(3, 0) * s5 + at(3, 2) * s2 - at(3, 3) * s1), (at(2, 0) * s5 - at(2, 2) * s2 + at(2, 3) * s1)},
        {(at(1, 0) * c4 - at(1, 1) * c2 + at(1, 3) * c0), (-at(0, 0) * c4 + at(0, 1) * c2 - at(0, 3) * c0),
         (at(3, 0) * s4 - at(3, 1) * s2 + at(3, 3) * s0), (-at(2, 0) * s4 + at(2, 1) * s2 - at(2, 3) * s0)},
        {(-at(1, 0) * c3 + at(1, 1) * c1 - at(1, 2) * c0), (at(0, 0) * c3 - at(0, 1) * c1 + at(0, 2) * c0),
         (-at(3, 0) * s3 + at(3, 1) * s1 - at(3, 2) * s0), (at(2, 0) * s3 - at(2, 1) * s1 + at(2, 2) * s0)}};
    Matrix out;
    for (int row = 0; row < 4; ++row)
        for (int col = 0; col < 4; ++col) out.m[4 * col + row] = r[row][col] * inv;
    return out;
}

void Matrix::transpose() {
    for (int r = 0; r < 4; ++r)
        for (int c = r + 1; c < 4; ++c) {
            const float t = m[4 * c + r];
            m[4 * c + r] = m[4 * r + c];
            m[4 * r + c] = t;
        }
}

Vec3 Matrix::transformPoint(const Vec3& p) const {
    const Vec3 a = transformPointAffine(p);
    const float w = m[3] * p.x + m[7] * p.y + m[11] * p.z + m[15];
    return Vec3{a.x / w, a.y / w, a.z / w};
}

Vec3 Matrix::transformPointAffine(const Vec3& p) const {
    return Vec3{m[0] * p.x + m[4] * p.y + m[8] * p.z + m[12], m[1] * p.x + m[5] * p.y + m[9] * p.z + m[13],
                m[2] * p.x + m[6] * p.y + m[10] * p.z + m[14]};
}

void Matrix::multiplyRow(const float v[4], float out[4]) const {
    for (int k = 0; k < 4; ++k) out[k] = m[4 * k] * v[0] + m[4 * k + 1] * v[1] + m[4 * k + 2] * v[2] + m[4 * k + 3] * v[3];
}

void Matrix::print(FILE* out, const char* title) const {
    if (title) std::fprintf(out, "%s\n", title);
    for (int r = 0; r < 4; ++r) {
        for (int c = 0; c < 4; ++c) std::fprintf(out, "%f ", m[4 * c + r]);
        std::fprintf(out, "\n");
    }
}
