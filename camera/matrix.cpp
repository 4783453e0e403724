#include "camera/matrix.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

float* matAlloc(int rows, int cols) { return new float[static_cast<size_t>(rows) * cols]; }
float* vecAlloc(int n) { return new float[n]; }
void matFree(float* m) { delete[] m; }
void vecFree(float* v) { delete[] v; }

void matCopy(const float* src, int rows, int cols, float* dst) {
    std::memcpy(dst, src, sizeof(float) * rows * cols);
}
void vecCopy(const float* src, int n, float* dst) { std::memcpy(dst, src, sizeof(float) * n); }

void matDiagonal(float* A, int rows, int cols, float value) {
    std::fill(A, A + rows * cols, 0.0f);
    for (int i = 0; i < rows && i < cols; ++i) A[i * cols + i] = value;
}
void matIdentity(float* A, int rows, int cols) { matDiagonal(A, rows, cols, 1.0f); }

void vecScale(const float* src, float* dst, int n, float s) {
    for (int i = 0; i < n; ++i) dst[i] = s * src[i];
}
void vecAdd(const float* a, const float* b, float* out, int n) {
    for (int i = 0; i < n; ++i) out[i] = a[i] + b[i];
}
void vecSub(const float* a, const float* b, float* out, int n) {
    for (int i = 0; i < n; ++i) out[i] = a[i] - b[i];
}
void vecDot(const float* a, const float* b, int n, float* out) {
    float sum = 0.0f;
    for (int i = 0; i < n; ++i) sum += a[i] * b[i];
    *out = sum;
}

namespace {
int checkElementwise(const float* A, const float* B, const float* M, int rows, int cols) {
    if (!A || !B || !M) return kMatNull;
    if (rows <= 0 || cols <= 0) return kMatBadSize;
    return kMatOk;
}
}  // namespace

int matAdd(const float* A, const float* B, float* M, int rows, int cols) {
    const int code = checkElementwise(A, B, M, rows, cols);
    if (code == kMatOk) vecAdd(A, B, M, rows * cols);
    return code;
}
int matSub(const float* A, const float* B, float* M, int rows, int cols) {
    const int code = checkElementwise(A, B, M, rows, cols);
    if (code == kMatOk) vecSub(A, B, M, rows * cols);
    return code;
}
int matScale(const float* A, float* M, int rows, int cols, float s) {
    const int code = checkElementwise(A, A, M, rows, cols);
    if (code == kMatOk) vecScale(A, M, rows * cols, s);
    return code;
}

int matMul(const float* A, int rowsA, int colsA, const float* B, int rowsB, int colsB, float* M) {
    if (!A || !B || !M) return kMatNull;
    if (rowsA <= 0 || colsA <= 0 || rowsB <= 0 || colsB <= 0 || colsA != rowsB) return kMatBadSize;
    for (int i = 0; i < rowsA; ++i)
        for (int j = 0; j < colsB; ++j) {
            float sum = 0.0f;
            for (int k = 0; k < colsA; ++k) sum += A[i * colsA + k] * B[k * colsB + j];
            M[i * colsB + j] = sum;
        }
    return kMatOk;
}

int matVecMul(const float* A, const float* x, float* y, int rows, int cols) {
    return matMul(A, rows, cols, x, cols, 1, y);
}

int matMulTransposed(const float* A, int rowsA, int colsA, const float* B, int rowsB, int colsB, float* M) {
    if (!A || !B || !M) return kMatNull;
    if (rowsA <= 0 || colsA <= 0 || rowsB <= 0 || colsB != colsA) return kMatBadSize;
    for (int i = 0; i < rowsA; ++i)
        for (int j = 0; j < rowsB; ++j) vecDot(A + i * colsA, B + j * colsB, colsA, &M[i * rowsB + j]);
    return kMatOk;
}

int matTranspose(const float* A, int rows, int cols, float* M) {
    if (!A || !M) return kMatNull;
    if (rows <= 0 || cols <= 0) return kMatBadSize;
    for (int i = 0; i < rows; ++i)
        for (int j = 0; j < cols; ++j) M[j * rows + i] = A[i * cols + j];
    return kMatOk;
}

float matTrace(const float* A, int n) {
    float t = 0.0f;
    for (int i = 0; i < n; ++i) t += A[i * n + i];
    return t;
}

float matDeterminant(const float* A, int n) {
    std::vector<float> W(A, A + n * n);
    float det = 1.0f;
    for (int i = 0; i < n; ++i) {
        int j = i;
        while (j < n && W[j * n + i] == 0.0f) ++j;
        if (j == n) return 0.0f;
        if (j != i) {
            for (int c = 0; c < n; ++c) std::swap(W[i * n + c], W[j * n + c]);
            det = -det;
        }
        det *= W[i * n + i];
        for (int r = i + 1; r < n; ++r) {
            const float q = W[r * n + i] / W[i * n + i];
            for (int c = i; c < n; ++c) W[r * n + c] -= q * W[i * n + c];
        }
    }
    return det;
}

int matInverse(const float* A, int n, float* Inv) {
    if (!A || !Inv) return kMatNull;
    if (n <= 0) return kMatBadSize;
    // The work matrix is kept between calls: the filter inverts every frame.
    static std::vector<float> work;
    if (work.size() < static_cast<size_t>(n) * n) work.resize(static_cast<size_t>(n) * n);
    float* W = work.data();
    matCopy(A, n, n, W);
    matIdentity(Inv, n, n);
    auto eliminate = [&](int r, int i) {
        const float q = W[r * n + i];
        W[r * n + i] = 0.0f;
        for (int c = i + 1; c < n; ++c) W[r * n + c] -= q * W[i * n + c];
        for (int c = 0; c < n; ++c) Inv[r * n + c] -= q * Inv[i * n + c];
    };
    for (int i = 0; i < n; ++i) {
        int j = i;
        while (j < n && W[j * n + i] == 0.0f) ++j;
        if (j == n) return kMatSingular;
        if (j != i)
            for (int c = 0; c < n; ++c) {
                std::swap(W[i * n + c], W[j * n + c]);
                std::swap(Inv[i * n + c], Inv[j * n + c]);
            }
        const float p = 1.0f / W[i * n + i];
        W[i * n + i] = 1.0f;
        for (int c = i + 1; c < n; ++c) W[i * n + c] *= p;
        for (int c = 0; c < n; ++c) Inv[i * n + c] *= p;
        for (int r = i + 1; r < n; ++r) eliminate(r, i);
    }
    for (int i = n - 1; i >= 1; --i)
        for (int r = i - 1; r >= 0; --r) eliminate(r, i);
    return kMatOk;
}

int solveLinear(int n, double* A, double* b) {
    constexpr double eps = 1e-10;
    auto a = [A](int i, int j) -> double& { return A[i * kSolveStride + j]; };
    for (int k = 0; k < n - 1; ++k) {
        double ratio = 0.0;
        int p = k;
        for (int i = k; i < n; ++i) {
            double s = 0.0;
            for (int j = k; j < n; ++j)
                if (std::fabs(a(i, j)) > s) s = std::fabs(a(i, j));
            if (s < eps) return -1;
            if (ratio * s < std::fabs(a(i, k)) && std::fabs(a(i, k)) >= eps) {
                ratio = std::fabs(a(i, k)) / s;
                p = i;
            }
        }
        if (std::fabs(a(p, k)) < eps) return 1;
        if (p != k) {
            for (int j = k; j < n; ++j) std::swap(a(p, j), a(k, j));
            std::swap(b[p], b[k]);
        }
        for (int i = k + 1; i < n; ++i) {
            const double m = a(i, k) / a(k, k);
            for (int j = k + 1; j < n; ++j) a(i, j) -= m * a(k, j);
            b[i] -= m * b[k];
        }
    }
    if (std::fabs(a(n - 1, n - 1)) <= eps) return -1;
    b[n - 1] /= a(n - 1, n - 1);
    for (int i = n - 2; i >= 0; --i) {
        for (int j = i + 1; j < n; ++j) b[i] -= a(i, j) * b[j];
        b[i] /= a(i, i);
    }
    return 0;
}

int leastSquares(int m, int k, const double* A, double* b) {
    if (m <= 0 || k <= 0 || m > kLsqMaxRows || k > kLsqMaxVars) return 0;
    double N[kLsqMaxVars * kSolveStride];
    double v[kLsqMaxVars];
    for (int i = 0; i < k; ++i) {
        for (int j = 0; j < k; ++j) {
            double sum = A[i] * A[j];
            for (int r = 1; r < m; ++r) sum += A[r * kLsqMaxVars + i] * A[r * kLsqMaxVars + j];
            N[i * kSolveStride + j] = sum;
        }
        double sum = A[i] * b[0];
        for (int r = 1; r < m; ++r) sum += A[r * kLsqMaxVars + i] * b[r];
        v[i] = sum;
    }
    if (!solvedLinear(k, N, v)) return 0;
    for (int i = 0; i < k; ++i) b[i] = v[i];
    return 1;
}

void rotationToAngles(const double R[9], double angles[3]) {
    const double g = std::atan2(R[3], R[0]);
    const double sg = std::sin(g), cg = std::cos(g);
    const double b = std::atan2(-R[6], R[0] * cg + R[3] * sg);
    const double a = std::atan2(R[2] * sg - R[5] * cg, R[4] * cg - R[1] * sg);
    angles[0] = a;
    angles[1] = b;
    angles[2] = g;
}

void anglesToRotation(const double angles[3], double R[9]) {
    const double sa = std::sin(angles[0]), ca = std::cos(angles[0]);
    const double sb = std::sin(angles[1]), cb = std::cos(angles[1]);
    const double sg = std::sin(angles[2]), cg = std::cos(angles[2]);
    R[0] = cb * cg;
    R[1] = cg * sa * sb - ca * sg;
    R[2] = sa * sg + ca * cg * sb;
    R[3] = cb * sg;
    R[4] = sa * sb * sg + ca * cg;
    R[5] = ca * sb * sg - cg * sa;
    R[6] = -sb;
    R[7] = cb * sa;
    R[8] = ca * cb;
}

void mat3Transpose(const double in[9], double out[9]) {
    double t[9];
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) t[i * 3 + j] = in[j * 3 + i];
    std::memcpy(out, t, sizeof t);
}

double rotationAngleBetween(const double A[9], const double B[9]) {
    double trace = 0.0;  // trace of A B': the sum of the elementwise products
    for (int i = 0; i < 9; ++i) trace += A[i] * B[i];
    return std::acos(std::fmax(-1.0, std::fmin(1.0, (trace - 1.0) / 2.0))) * 180.0 / M_PI;
}

void mat3Mul(const double A[9], const double B[9], double M[9]) {
    double t[9];
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) t[i * 3 + j] = A[i * 3] * B[j] + A[i * 3 + 1] * B[3 + j] + A[i * 3 + 2] * B[6 + j];
    std::memcpy(M, t, sizeof t);
}

void rotationFromVector(const double w[3], double R[9]) {
    const double theta = std::sqrt(w[0] * w[0] + w[1] * w[1] + w[2] * w[2]);
    // R = I + a K + b K^2 with K = [w]x, a = sin(theta) / theta, b = (1 - cos(theta)) / theta^2;
    // below 1e-9 rad their limits 1 and 1/2 are exact to double precision.
    double a = 1.0, b = 0.5;
    if (theta > 1e-9) a = std::sin(theta) / theta, b = (1.0 - std::cos(theta)) / (theta * theta);
    const double K[9] = {0, -w[2], w[1], w[2], 0, -w[0], -w[1], w[0], 0};
    double K2[9];
    mat3Mul(K, K, K2);
    for (int i = 0; i < 9; ++i) R[i] = (i % 4 == 0 ? 1.0 : 0.0) + a * K[i] + b * K2[i];
}

void rotationVectorOf(const double R[9], double w[3]) {
    // trace R = 1 + 2 cos(theta) and R - R' = 2 sin(theta) [axis]x.
    const double c = std::clamp((R[0] + R[4] + R[8] - 1.0) / 2.0, -1.0, 1.0), theta = std::acos(c);
    const double v[3] = {R[7] - R[5], R[2] - R[6], R[3] - R[1]};
    const double s = std::sin(theta);
    if (c < 0 && s < 1e-4) {
        // Near a half turn R - R' vanishes; R = 2 a a' - I there, so a_k^2 = (R_kk + 1) / 2 from
        // the largest diagonal entry and a_j = (R_kj + R_jk) / (4 a_k); the sign is v's.
        int k = 0;
        for (int i = 1; i < 3; ++i)
            if (R[4 * i] > R[4 * k]) k = i;
        double a[3];
        a[k] = std::sqrt(std::max(0.0, (R[4 * k] + 1.0) / 2.0));
        for (int j = 0; j < 3; ++j)
            if (j != k) a[j] = (R[3 * k + j] + R[3 * j + k]) / (4 * a[k]);
        const double sign = a[0] * v[0] + a[1] * v[1] + a[2] * v[2] < 0 ? -1.0 : 1.0;
        for (int i = 0; i < 3; ++i) w[i] = sign * a[i] * theta;
        return;
    }
    const double f = s > 1e-9 ? theta / (2 * s) : 0.5;
    for (int i = 0; i < 3; ++i) w[i] = v[i] * f;
}
