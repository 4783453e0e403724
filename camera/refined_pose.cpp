#include "camera/refined_pose.h"

#include <cmath>
#include <cstring>

#include "camera/levenberg_marquardt.h"
#include "camera/matrix.h"
#include "vision/homography.h"

namespace {

constexpr int kMaxIterations = 20;
void cross3(const double a[3], const double b[3], double out[3]) {
    out[0] = a[1] * b[2] - a[2] * b[1];
    out[1] = a[2] * b[0] - a[0] * b[2];
    out[2] = a[0] * b[1] - a[1] * b[0];
}

double norm3(const double v[3]) { return std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]); }

}  // namespace

double planarReprojectionRms(int n, const double* X, const double* Y, const double* x, const double* y, double f,
                             const double R[9], const double T[3]) {
    double sum = 0.0;
    for (int i = 0; i < n; ++i) {
        double P[3];
        planePointToCamera(R, T, X[i], Y[i], P);
        if (!(P[2] > 0.0)) return INFINITY;
        const double u = f * P[0] / P[2] - x[i], v = f * P[1] / P[2] - y[i];
        sum += u * u + v * v;
    }
    return std::sqrt(sum / n);
}

bool poseFromHomography(const double h[9], double fx, double fy, double cx, double cy, PlanarPose& pose) {
    // H ~ K [r1 r2 t] with K = [fx 0 cx; 0 fy cy; 0 0 1]: the columns of K^-1 H are r1, r2 and t
    // up to one scale, fixed by the unit length of r1 and r2 and the sign that puts the plane in
    // front. Column j of K^-1 H is ((h0j - cx h2j) / fx, (h1j - cy h2j) / fy, h2j).
    double m[3][3];
    for (int j = 0; j < 3; ++j) m[j][0] = (h[j] - cx * h[6 + j]) / fx, m[j][1] = (h[3 + j] - cy * h[6 + j]) / fy, m[j][2] = h[6 + j];
    const double *m1 = m[0], *m2 = m[1], *m3 = m[2];
    const double l1 = norm3(m1), l2 = norm3(m2);
    if (!(l1 > 0.0 && l2 > 0.0) || !std::isfinite(l1 + l2)) return false;
    double scale = 2.0 / (l1 + l2);
    if (m3[2] * scale < 0) scale = -scale;
    double a[3], b[3], c[3], e[3];
    for (int i = 0; i < 3; ++i) a[i] = m1[i] / l1, b[i] = m2[i] / l2;
    // The nearest orthonormal pair, symmetric in a and b: rotate both by half their excess angle.
    for (int i = 0; i < 3; ++i) c[i] = a[i] + b[i], e[i] = a[i] - b[i];
    const double lc = norm3(c), le = norm3(e);
    if (!(lc > 0.0 && le > 0.0)) return false;
    double r1[3], r2[3], r3[3];
    for (int i = 0; i < 3; ++i) {
        r1[i] = (c[i] / lc + e[i] / le) / std::sqrt(2.0);
        r2[i] = (c[i] / lc - e[i] / le) / std::sqrt(2.0);
    }
    cross3(r1, r2, r3);
    for (int i = 0; i < 3; ++i) {
        pose.R[3 * i] = r1[i], pose.R[3 * i + 1] = r2[i], pose.R[3 * i + 2] = r3[i];
        pose.T[i] = m3[i] * scale;
    }
    return pose.T[2] > 0.0;
}

namespace {

// The reprojection error of n plane points over the pose, for the one engine
// (camera/levenberg_marquardt.h): a step (w, dT) turns R to exp([w]x) R and moves T by dT. The
// cost is the rms error in pixels.
struct ReprojectionProblem {
    int n;
    const double *X, *Y, *x, *y;
    double f;
    PlanarPose current, trial;
    double JtJ[6][6], Jtr[6], step[6];

    double cost() const { return planarReprojectionRms(n, X, Y, x, y, f, current.R, current.T); }

    void formNormalEquations() {
        // For the camera point Pc = R P + T, a rotation step moves it by w x (R P), so
        // dPc/dw = -[R P]x; u = f xc / zc has du/dPc = (f / zc, 0, -f xc / zc^2), v likewise.
        std::memset(JtJ, 0, sizeof JtJ);
        std::memset(Jtr, 0, sizeof Jtr);
        const PlanarPose& pose = current;
        for (int i = 0; i < n; ++i) {
            const double P[3] = {pose.R[0] * X[i] + pose.R[1] * Y[i], pose.R[3] * X[i] + pose.R[4] * Y[i],
                                 pose.R[6] * X[i] + pose.R[7] * Y[i]};
            const double xc = P[0] + pose.T[0], yc = P[1] + pose.T[1], zc = P[2] + pose.T[2];
            const double iz = 1.0 / zc;
            const double du[3] = {f * iz, 0, -f * xc * iz * iz}, dv[3] = {0, f * iz, -f * yc * iz * iz};
            // -[P]x, row-major.
            const double S[9] = {0, P[2], -P[1], -P[2], 0, P[0], P[1], -P[0], 0};
            double ju[6], jv[6];
            for (int k = 0; k < 3; ++k) {
                ju[k] = du[0] * S[k] + du[1] * S[3 + k] + du[2] * S[6 + k];
                jv[k] = dv[0] * S[k] + dv[1] * S[3 + k] + dv[2] * S[6 + k];
                ju[3 + k] = du[k], jv[3 + k] = dv[k];
            }
            const double ru = f * xc * iz - x[i], rv = f * yc * iz - y[i];
            for (int r = 0; r < 6; ++r) {
                for (int c = 0; c < 6; ++c) JtJ[r][c] += ju[r] * ju[c] + jv[r] * jv[c];
                Jtr[r] += ju[r] * ru + jv[r] * rv;
            }
        }
    }

    bool solveDamped(double lambda, double minDiagonal) {
        double A[6 * kSolveStride];
        for (int r = 0; r < 6; ++r) {
            for (int c = 0; c < 6; ++c) A[r * kSolveStride + c] = JtJ[r][c];
            A[r * kSolveStride + r] += lambda * std::max(JtJ[r][r], minDiagonal);
            step[r] = -Jtr[r];
        }
        return solvedLinear(6, A, step);
    }

    double trialCost() {
        double dR[9];
        rotationFromVector(step, dR);
        mat3Mul(dR, current.R, trial.R);
        for (int k = 0; k < 3; ++k) trial.T[k] = current.T[k] + step[3 + k];
        return planarReprojectionRms(n, X, Y, x, y, f, trial.R, trial.T);
    }

    void acceptTrial() {
        std::memcpy(current.R, trial.R, sizeof current.R);
        std::memcpy(current.T, trial.T, sizeof current.T);
    }
};

}  // namespace

void minimiseReprojection(int n, const double* X, const double* Y, const double* x, const double* y, double f,
                          PlanarPose& pose) {
    ReprojectionProblem problem{n, X, Y, x, y, f, pose, pose, {}, {}, {}};
    LevenbergMarquardtSettings settings;
    settings.maxIterations = kMaxIterations;
    // The error of the pose the problem ends at, whatever stopped it.
    pose.rmsError = levenbergMarquardt(problem, settings);
    std::memcpy(pose.R, problem.current.R, sizeof pose.R);
    std::memcpy(pose.T, problem.current.T, sizeof pose.T);
}

void mirroredPose(const PlanarPose& pose, PlanarPose& other) {
    other = pose;
    // The plane's normal in camera coordinates is R's third column; v points at the plane's origin.
    const double n[3] = {pose.R[2], pose.R[5], pose.R[8]};
    const double len = norm3(pose.T);
    if (!(len > 0.0)) return;
    const double v[3] = {pose.T[0] / len, pose.T[1] / len, pose.T[2] / len};
    const double nv = n[0] * v[0] + n[1] * v[1] + n[2] * v[2];
    const double m[3] = {2 * nv * v[0] - n[0], 2 * nv * v[1] - n[1], 2 * nv * v[2] - n[2]};
    // The smallest rotation taking n to m, applied to the whole pose.
    double axis[3];
    cross3(n, m, axis);
    const double s = norm3(axis), c = n[0] * m[0] + n[1] * m[1] + n[2] * m[2];
    if (s < 1e-12) return;
    const double angle = std::atan2(s, c);
    const double w[3] = {axis[0] / s * angle, axis[1] / s * angle, axis[2] / s * angle};
    double Q[9];
    rotationFromVector(w, Q);
    mat3Mul(Q, pose.R, other.R);
}

bool planarPoseCandidates(int n, const double* X, const double* Y, const double* x, const double* y, double f,
                          PlanarPoseCandidates& candidates) {
    double h[9];
    PlanarPose first;
    if (!fitPlaneHomography(n, X, Y, x, y, h) || !poseFromHomography(h, f, f, 0, 0, first)) return false;
    minimiseReprojection(n, X, Y, x, y, f, first);
    PlanarPose second;
    mirroredPose(first, second);
    minimiseReprojection(n, X, Y, x, y, f, second);
    const bool firstOk = std::isfinite(first.rmsError), secondOk = std::isfinite(second.rmsError);
    candidates.count = firstOk + secondOk;
    if (candidates.count == 0) return false;
    const bool firstBetter = !secondOk || (firstOk && first.rmsError <= second.rmsError);
    candidates.pose[0] = firstBetter ? first : second;
    candidates.pose[1] = firstBetter ? second : first;
    return true;
}
