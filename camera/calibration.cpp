#include "camera/calibration.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <sstream>

#include "camera/matrix.h"
#include "base/regular_file.h"

namespace {

// Noise can push 1 - r1^2 - r2^2 a little below zero for a row that is really a unit vector;
// that is read as 0. Anything further below means the data describe no rotation at all.
constexpr double kRadicandTolerance = 0.05;

bool rootOf(double radicand, double& root) {
    if (!(radicand >= -kRadicandTolerance)) return false;  // also refuses NaN
    root = std::sqrt(std::max(radicand, 0.0));
    return true;
}

bool allFinite(const double* v, int n) {
    for (int i = 0; i < n; ++i)
        if (!std::isfinite(v[i])) return false;
    return true;
}

}  // namespace

bool readPointFile(const std::string& path, ReferencePoints& points, std::string& error) {
    points = ReferencePoints{};
    std::vector<uint8_t> bytes;
    if (readRegularFile(path, kMaxPointFileBytes, bytes, error) != FileReadResult::Ok) return false;
    return parsePointText(std::string(bytes.begin(), bytes.end()), points, error);
}

bool parsePointText(const std::string& text, ReferencePoints& points, std::string& error) {
    points = ReferencePoints{};
    std::istringstream in(text);
    // The count must be a whole number: "5.5" read as 5 would shift every field after it.
    std::string count;
    long long n = 0;
    char* end = nullptr;
    if (!(in >> count) || (n = std::strtoll(count.c_str(), &end, 10), end == count.c_str() || *end != '\0')) {
        error = "does not start with the number of points as a whole number";
        return false;
    }
    if (n < 5) {
        error = "gives " + std::to_string(n) + " points; at least 5 are needed";
        return false;
    }
    if (n > kMaxReferencePoints) {
        error = "holds " + std::to_string(n) + " points; at most " + std::to_string(kMaxReferencePoints) +
                " can be calibrated";
        return false;
    }
    for (long long i = 0; i < n; ++i) {
        double v[4];
        for (int j = 0; j < 4; ++j) {
            if (in >> v[j] && std::isfinite(v[j])) continue;
            if (in.eof())
                error = "ends after " + std::to_string(i) + " of its " + std::to_string(n) + " points";
            else
                error = "has a malformed number in point " + std::to_string(i + 1);
            points = ReferencePoints{};
            return false;
        }
        points.Xw.push_back(v[0]);
        points.Yw.push_back(v[1]);
        // Xd, Yd: reference-point centring of a 320 x 240 picture (docs/conventions.md, "Centring").
        points.Xd.push_back(v[2]);
        points.Yd.push_back(v[3]);
    }
    return true;
}

// The coplanar calibration (Tsai). For a point (Xw, Yw, 0) of the plane, with Pc = R Pw + T,
//     Xd = f (r1 Xw + r2 Yw + Tx) / (r7 Xw + r8 Yw + Tz),
//     Yd = f (r4 Xw + r5 Yw + Ty) / (r7 Xw + r8 Yw + Tz).
// Their ratio Xd / Yd = (r1 Xw + r2 Yw + Tx) / (r4 Xw + r5 Yw + Ty) loses f and Tz; dividing
// through by Ty and writing U = (r1, r2, Tx, r4, r5) / Ty gives one linear equation a point,
//     Yd Xw U1 + Yd Yw U2 + Yd U3 - Xd Xw U4 - Xd Yw U5 = Xd        (solveU, least squares).
// The rows (r1, r2, r3) and (r4, r5, r6) are unit and orthogonal; with only U's four rotation
// terms known up to the scale Ty, eliminating r3 and r6 gives
//     Ty^2 = (Sr - sqrt(Sr^2 - 4 D^2)) / (2 D^2),  Sr = U1^2 + U2^2 + U4^2 + U5^2,
//     D = U1 U5 - U4 U2                                                  (solveTy),
// with the simpler forms where a pair of U's vanishes. Ty's sign is the one that puts the point
// farthest from the centre on the side of the picture it is seen on (f > 0). r3 and r6 follow
// from the unit rows, r6's sign from the rows' orthogonality, and the third row is the cross
// product of the first two (solveRotation); its sign is still open, which the sign of f found by
// the linear least squares in f and Tz settles (solveFTz, and calibrateCoplanar's retry).
int solveU(int n, const double* Xw, const double* Yw, const double* Xd, const double* Yd, double U[5]) {
    if (n > kLsqMaxRows) return 0;
    double A[kLsqMaxRows * kLsqMaxVars];
    double b[kLsqMaxRows];
    for (int i = 0; i < n; ++i) {
        double* row = &A[i * kLsqMaxVars];
        row[0] = Yd[i] * Xw[i];
        row[1] = Yd[i] * Yw[i];
        row[2] = Yd[i];
        row[3] = -Xd[i] * Xw[i];
        row[4] = -Xd[i] * Yw[i];
        b[i] = Xd[i];
    }
    if (!leastSquares(n, 5, A, b)) return 0;
    for (int i = 0; i < 5; ++i) U[i] = b[i];
    return 1;
}

int solveTy(int n, const double* Xd, const double* Yd, const double* Xw, const double* Yw, const double U[5],
            double T[3]) {
    constexpr double eps = 1e-8;
    auto small = [](double v) { return std::fabs(v) < eps; };
    double ty2;
    if (small(U[0]) && small(U[1])) {
        ty2 = 1.0 / (U[3] * U[3] + U[4] * U[4]);
    } else if (small(U[3]) && small(U[4])) {
        ty2 = 1.0 / (U[0] * U[0] + U[1] * U[1]);
    } else if (small(U[0]) && small(U[3])) {
        ty2 = 1.0 / (U[1] * U[1] + U[4] * U[4]);
    } else if (small(U[1]) && small(U[4])) {
        ty2 = 1.0 / (U[0] * U[0] + U[3] * U[3]);
    } else {
        const double sr = U[0] * U[0] + U[1] * U[1] + U[3] * U[3] + U[4] * U[4];
        const double d = U[0] * U[4] - U[3] * U[1];
        double root;
        // sr >= 2 |d| always holds in exact arithmetic; rounding may leave a tiny negative.
        if (!rootOf(sr * sr - 4.0 * d * d, root)) return 0;
        ty2 = (sr - root) / (2.0 * d * d);
    }
    if (!(ty2 > 0.0) || !std::isfinite(ty2)) return 0;
    double ty = std::sqrt(ty2);

    int ref = 0;
    double best = 0.0;
    for (int i = 0; i < n; ++i) {
        const double d2 = Xd[i] * Xd[i] + Yd[i] * Yd[i];
        if (d2 > best) {
            best = d2;
            ref = i;
        }
    }
    const double r1 = U[0] * ty, r2 = U[1] * ty, tx = U[2] * ty, r4 = U[3] * ty, r5 = U[4] * ty;
    const double x = r1 * Xw[ref] + r2 * Yw[ref] + tx;
    const double y = r4 * Xw[ref] + r5 * Yw[ref] + ty;
    if (!((x <= 0) == (Xd[ref] <= 0) && (y <= 0) == (Yd[ref] <= 0))) ty = -ty;
    T[0] = U[2] * ty;
    T[1] = ty;
    return 1;
}

int solveRotation(const double U[5], const double T[3], double R[9]) {
    const double ty = T[1];
    const double r1 = U[0] * ty, r2 = U[1] * ty, r4 = U[3] * ty, r5 = U[4] * ty;
    double r3, r6;
    if (!rootOf(1.0 - r1 * r1 - r2 * r2, r3) || !rootOf(1.0 - r4 * r4 - r5 * r5, r6)) return 0;
    if (r1 * r4 + r2 * r5 > 0) r6 = -r6;
    R[0] = r1, R[1] = r2, R[2] = r3;
    R[3] = r4, R[4] = r5, R[5] = r6;
    R[6] = r2 * r6 - r3 * r5;
    R[7] = r3 * r4 - r1 * r6;
    R[8] = r1 * r5 - r2 * r4;
    return 1;
}

int solveFTz(int n, const double* Xw, const double* Yw, const double* Xd, const double* Yd, double* f, double T[3],
             const double R[9]) {
    if (2 * n > kLsqMaxRows) return 0;
    double A[kLsqMaxRows * kLsqMaxVars];
    double b[kLsqMaxRows];
    for (int i = 0; i < n; ++i) {
        const double w = R[6] * Xw[i] + R[7] * Yw[i];
        A[i * kLsqMaxVars] = R[0] * Xw[i] + R[1] * Yw[i] + T[0];
        A[i * kLsqMaxVars + 1] = -Xd[i];
        b[i] = w * Xd[i];
        A[(n + i) * kLsqMaxVars] = R[3] * Xw[i] + R[4] * Yw[i] + T[1];
        A[(n + i) * kLsqMaxVars + 1] = -Yd[i];
        b[n + i] = w * Yd[i];
    }
    if (!leastSquares(2 * n, 2, A, b)) return 0;
    *f = b[0];
    T[2] = b[1];
    return 1;
}

int calibrateCoplanar(int n, const double* Xw, const double* Yw, const double* Xd, const double* Yd, double* f,
                      double T[3], double R[9]) {
    double U[5];
    if (!solveU(n, Xw, Yw, Xd, Yd, U)) return 0;
    if (!solveTy(n, Xd, Yd, Xw, Yw, U, T) || !solveRotation(U, T, R)) return 0;
    if (!solveFTz(n, Xw, Yw, Xd, Yd, f, T, R)) return 0;
    if (*f < 0) {
        R[2] = -R[2], R[5] = -R[5], R[6] = -R[6], R[7] = -R[7];
        if (!solveFTz(n, Xw, Yw, Xd, Yd, f, T, R)) return 0;
    }
    // A calibration is only of use for a real camera: positive focal length, plane in front.
    if (!(*f > 0.0) || !(T[2] > 0.0) || !allFinite(R, 9) || !allFinite(T, 3) || !std::isfinite(*f)) return 0;
    return 1;
}
