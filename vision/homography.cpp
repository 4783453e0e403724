#include "vision/homography.h"

#include <cmath>
#include <utility>

namespace {

// Centroid and scale that bring points to a mean distance of sqrt(2) from the origin (Hartley's
// normalisation): without it the normal equations mix millimetres squared with ones and lose
// half their digits.
void normaliser(int n, const double* a, const double* b, double& ca, double& cb, double& s) {
    ca = cb = 0.0;
    for (int i = 0; i < n; ++i) ca += a[i] / n, cb += b[i] / n;
    double mean = 0.0;
    for (int i = 0; i < n; ++i) mean += std::hypot(a[i] - ca, b[i] - cb) / n;
    s = mean > 0.0 ? std::sqrt(2.0) / mean : 1.0;
}

// A (8 x 8) v = b by Gaussian elimination with partial pivoting; false for a pivot that is zero
// next to the matrix's own scale.
bool solve8(double A[8][8], double b[8]) {
    double scale = 0.0;
    for (int r = 0; r < 8; ++r)
        for (int c = 0; c < 8; ++c) scale = std::fmax(scale, std::fabs(A[r][c]));
    if (!(scale > 0.0)) return false;
    for (int col = 0; col < 8; ++col) {
        int pivot = col;
        for (int r = col + 1; r < 8; ++r)
            if (std::fabs(A[r][col]) > std::fabs(A[pivot][col])) pivot = r;
        if (!(std::fabs(A[pivot][col]) > 1e-12 * scale)) return false;
        std::swap(A[pivot], A[col]);
        std::swap(b[pivot], b[col]);
        for (int r = col + 1; r < 8; ++r) {
            const double factor = A[r][col] / A[col][col];
            for (int c = col; c < 8; ++c) A[r][c] -= factor * A[col][c];
            b[r] -= factor * b[col];
        }
    }
    for (int r = 7; r >= 0; --r) {
        for (int c = r + 1; c < 8; ++c) b[r] -= A[r][c] * b[c];
        b[r] /= A[r][r];
    }
    return true;
}

void mul3(const double A[9], const double B[9], double M[9]) {
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c) M[3 * r + c] = A[3 * r] * B[c] + A[3 * r + 1] * B[3 + c] + A[3 * r + 2] * B[6 + c];
}

}  // namespace

bool fitPlaneHomography(int n, const double* X, const double* Y, const double* x, const double* y, double h[9]) {
    if (n < 4) return false;
    double cX, cY, sM, cx, cy, sI;
    normaliser(n, X, Y, cX, cY, sM);
    normaliser(n, x, y, cx, cy, sI);
    // With h8 = 1 each point (P, Q) -> (u, v), normalised, gives two equations linear in h0..h7:
    //     h0 P + h1 Q + h2 - u h6 P - u h7 Q = u,   h3 P + h4 Q + h5 - v h6 P - v h7 Q = v;
    // their normal equations are 8 x 8 for any n (exact for n = 4). Fixing h8 = 1 excludes only
    // homographies that send the plane's centroid to infinity, which no camera in front does.
    double A[8][8] = {}, b[8] = {};
    for (int i = 0; i < n; ++i) {
        const double P = (X[i] - cX) * sM, Q = (Y[i] - cY) * sM, u = (x[i] - cx) * sI, v = (y[i] - cy) * sI;
        const double ru[8] = {P, Q, 1, 0, 0, 0, -u * P, -u * Q};
        const double rv[8] = {0, 0, 0, P, Q, 1, -v * P, -v * Q};
        for (int r = 0; r < 8; ++r) {
            for (int c = 0; c < 8; ++c) A[r][c] += ru[r] * ru[c] + rv[r] * rv[c];
            b[r] += ru[r] * u + rv[r] * v;
        }
    }
    if (!solve8(A, b)) return false;
    // Back from normalised coordinates: H = Ti^-1 Hn Tm, with Tm = [sM 0 -sM cX; 0 sM -sM cY; 0 0 1]
    // and Ti likewise for the image.
    const double Hn[9] = {b[0], b[1], b[2], b[3], b[4], b[5], b[6], b[7], 1.0};
    const double Tm[9] = {sM, 0, -sM * cX, 0, sM, -sM * cY, 0, 0, 1};
    const double TiInv[9] = {1 / sI, 0, cx, 0, 1 / sI, cy, 0, 0, 1};
    double tmp[9];
    mul3(Hn, Tm, tmp);
    mul3(TiInv, tmp, h);
    if (!(std::fabs(h[8]) > 1e-300)) return false;
    const double h8 = h[8];
    for (int i = 0; i < 9; ++i) h[i] /= h8;
    for (int i = 0; i < 9; ++i)
        if (!std::isfinite(h[i])) return false;
    return true;
}

bool applyHomography(const double h[9], const double in[2], double out[2]) {
    const double w = h[6] * in[0] + h[7] * in[1] + h[8];
    if (w == 0.0) return false;
    out[0] = (h[0] * in[0] + h[1] * in[1] + h[2]) / w;
    out[1] = (h[3] * in[0] + h[4] * in[1] + h[5]) / w;
    return std::isfinite(out[0]) && std::isfinite(out[1]);
}
