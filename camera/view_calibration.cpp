#include "camera/view_calibration.h"

#include <Eigen/Dense>

#include <algorithm>
#include <cmath>

#include "camera/levenberg_marquardt.h"
#include "camera/matrix.h"
#include "camera/refined_pose.h"
#include "vision/homography.h"
#include "vision/target_model.h"

namespace {

constexpr int kMaxIterations = 200, kStartIterations = 10;
// fx, (fy), cx, cy, k1, k2, p1, p2. The pixels are taken as square, as every webcam's are: fy is
// fx. A free fy trades against the principal point's height, and this target's eight sides fix
// the two apart far less well than they fix one focal length (measured on the virtual camera:
// 0.7 % off and 7 pixels against 0.1 % and 0.3 pixels).
constexpr int kCameraParameters = 8;
// With the places along the sides there, the corners (biased by a distorting lens) count this
// much of a place each.
constexpr double kCornerWeightWithPlaces = 0.03;

// A view's corners make a target only when both rectangles enclose some area (pixels^2) and
// turn the same way round.
constexpr double kMinQuadArea = 16.0;
constexpr double kDistinctViewShare = 0.02;

double quadArea(const double xy[8][2], int first) {
    double twice = 0;
    for (int i = 0; i < 4; ++i) {
        const double* a = xy[first + i];
        const double* b = xy[first + (i + 1) % 4];
        twice += a[0] * b[1] - b[0] * a[1];
    }
    return twice / 2;
}

// The parameters: the camera's, then each view's rotation vector and translation.
struct Model {
    int views;
    bool distortion;
    Eigen::VectorXd p;

    CameraIntrinsics camera(int width, int height) const {
        CameraIntrinsics c;
        c.width = width, c.height = height;
        c.fx = c.fy = p[0], c.cx = p[2], c.cy = p[3];
        if (distortion) c.k1 = p[4], c.k2 = p[5], c.p1 = p[6], c.p2 = p[7];
        return c;
    }
};

// The model corners a side runs between (camera/corner_refinement.h numbers the sides).
void sideEnds(int side, int& a, int& b) {
    a = side, b = side < 4 ? (side + 1) % 4 : 4 + (side - 3) % 4;
}

// Residuals of one view: its corners' reprojection errors (weighed down when the places along
// the sides are there to carry the fit) and each place's distance from its side's image, in
// pixels of fx.
void viewResiduals(const CameraIntrinsics& c, const double* w, const double* t, const CalibrationView& view,
                   double cornerWeight, double* r) {
    double R[9];
    rotationFromVector(w, R);
    double P[8][3];
    for (int i = 0; i < 8; ++i) {
        const double X = kTargetCornerMm[i][0], Y = kTargetCornerMm[i][1];
        planePointToCamera(R, t, X, Y, P[i]);
        double u = 1e6, v = 1e6;
        projectToPixel(c, P[i][0], P[i][1], P[i][2], u, v);
        *r++ = cornerWeight * (u - view.xy[i][0]);
        *r++ = cornerWeight * (v - view.xy[i][1]);
    }
    for (int side = 0; side < 8; ++side) {
        int a, b;
        sideEnds(side, a, b);
        // The side's image in the undistorted normalised plane: the line through its ends.
        const double ax = P[a][0] / P[a][2], ay = P[a][1] / P[a][2], bx = P[b][0] / P[b][2], by = P[b][1] / P[b][2];
        double nx = -(by - ay), ny = bx - ax;
        const double len = std::hypot(nx, ny);
        if (len > 0) nx /= len, ny /= len;
        for (int k = 0; k < view.edges.count[side]; ++k) {
            double x, y;
            undistortPixel(c, view.edges.xy[side][k][0], view.edges.xy[side][k][1], x, y);
            *r++ = c.fx * (nx * (x - ax) + ny * (y - ay));
        }
    }
}

int viewResidualCount(const CalibrationView& view) {
    int n = 16;
    for (int side = 0; side < 8; ++side) n += view.edges.count[side];
    return n;
}

// Residuals of all views, view after view (`offsets` says where each begins).
void residuals(const Model& m, const std::vector<CalibrationView>& views, const std::vector<int>& offsets, int width,
               int height, double cornerWeight, Eigen::VectorXd& r) {
    const CameraIntrinsics c = m.camera(width, height);
    r.resize(offsets.back());
    for (int v = 0; v < m.views; ++v)
        viewResiduals(c, &m.p[kCameraParameters + 6 * v], &m.p[kCameraParameters + 6 * v + 3], views[v], cornerWeight,
                      &r[offsets[v]]);
}

// Zhang's closed form: each view's homography H = K [r1 r2 t] gives two linear equations in
// B = K^-T K^-1 (symmetric, zero skew): h1' B h2 = 0 and h1' B h1 = h2' B h2.
bool startingCamera(const std::vector<Eigen::Matrix3d>& H, double& fx, double& fy, double& cx, double& cy) {
    auto v = [](const Eigen::Matrix3d& h, int i, int j) {
        Eigen::Matrix<double, 6, 1> out;
        out << h(0, i) * h(0, j), h(0, i) * h(1, j) + h(1, i) * h(0, j), h(1, i) * h(1, j),
            h(2, i) * h(0, j) + h(0, i) * h(2, j), h(2, i) * h(1, j) + h(1, i) * h(2, j), h(2, i) * h(2, j);
        return out;
    };
    Eigen::MatrixXd V(2 * H.size() + 1, 6);
    for (size_t k = 0; k < H.size(); ++k) {
        V.row(2 * k) = v(H[k], 0, 1).transpose();
        V.row(2 * k + 1) = (v(H[k], 0, 0) - v(H[k], 1, 1)).transpose();
    }
    V.row(2 * H.size()) << 0, 1, 0, 0, 0, 0;  // no skew
    Eigen::JacobiSVD<Eigen::MatrixXd> svd(V, Eigen::ComputeFullV);
    const Eigen::VectorXd b = svd.matrixV().col(5);
    const double B11 = b[0], B22 = b[2], B13 = b[3], B23 = b[4], B33 = b[5];
    // B = K^-T K^-1 up to scale: B11 = s / fx^2, B22 = s / fy^2, B13 = -s cx / fx^2,
    // B23 = -s cy / fy^2, B33 = s (cx^2 / fx^2 + cy^2 / fy^2 + 1).
    cx = -B13 / B11, cy = -B23 / B22;
    const double s = B33 - B13 * B13 / B11 - B23 * B23 / B22;
    if (!(s / B11 > 0 && s / B22 > 0)) return false;
    fx = std::sqrt(s / B11), fy = std::sqrt(s / B22);
    return std::isfinite(fx + fy + cx + cy);
}

// A view's pose from its homography and the camera, as a rotation vector and a translation.
void startingPose(const Eigen::Matrix3d& H, double fx, double fy, double cx, double cy, double w[3], double t[3]) {
    double h[9];
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c) h[3 * r + c] = H(r, c);
    PlanarPose pose;
    (void)poseFromHomography(h, fx, fy, cx, cy, pose);  // a view behind the camera: the fit moves it
    rotationVectorOf(pose.R, w);
    for (int i = 0; i < 3; ++i) t[i] = pose.T[i];
}

// The views' residuals over the camera and every view's pose, for the one engine
// (camera/levenberg_marquardt.h), with a forward-difference Jacobian: a view's own parameters
// change only its own residuals, so each is differenced over its view alone. The distortion is
// free only with m.distortion; fy stays fx.
struct CalibrationProblem {
    Model m, next;
    const std::vector<CalibrationView>& views;
    const std::vector<int>& offsets;
    int width, height;
    double cornerWeight;
    Eigen::VectorXd r, trialR, g, delta;
    Eigen::MatrixXd J, JtJ;
    std::vector<double> viewR;

    CalibrationProblem(const Model& start, const std::vector<CalibrationView>& v, const std::vector<int>& o, int w,
                       int h, double weight)
        : m(start), next(start), views(v), offsets(o), width(w), height(h), cornerWeight(weight),
          viewR(static_cast<size_t>(*std::max_element(o.begin(), o.end()))) {
        residuals(m, views, offsets, width, height, cornerWeight, r);
        J = Eigen::MatrixXd::Zero(r.size(), m.p.size());
    }

    double cost() const { return r.squaredNorm(); }

    void formNormalEquations() {
        const CameraIntrinsics c = m.camera(width, height);
        const int np = static_cast<int>(m.p.size());
        for (int k = 0; k < np; ++k) {
            if (k == 1 || (!m.distortion && k >= 4 && k < kCameraParameters)) continue;
            const double step = 1e-6 * std::max(1.0, std::fabs(m.p[k]));
            if (k < kCameraParameters) {
                Model d = m;
                d.p[k] += step;
                residuals(d, views, offsets, width, height, cornerWeight, trialR);
                J.col(k) = (trialR - r) / step;
                continue;
            }
            const int v = (k - kCameraParameters) / 6;
            double p[6];
            for (int i = 0; i < 6; ++i) p[i] = m.p[kCameraParameters + 6 * v + i];
            p[(k - kCameraParameters) % 6] += step;
            viewResiduals(c, p, p + 3, views[v], cornerWeight, viewR.data());
            for (int i = offsets[v]; i < offsets[v + 1]; ++i) J(i, k) = (viewR[i - offsets[v]] - r[i]) / step;
        }
        JtJ = J.transpose() * J;
        g = J.transpose() * r;
    }

    bool solveDamped(double lambda, double minDiagonal) {
        Eigen::MatrixXd A = JtJ;
        for (int k = 0; k < A.rows(); ++k) A(k, k) += lambda * std::max(JtJ(k, k), minDiagonal);
        delta = A.ldlt().solve(-g);
        return true;
    }

    double trialCost() {
        next = m;
        next.p += delta;
        residuals(next, views, offsets, width, height, cornerWeight, trialR);
        return trialR.squaredNorm();
    }

    void acceptTrial() {
        std::swap(m, next);
        r.swap(trialR);
    }
};

// Levenberg-Marquardt from `m` (in place) for up to `iterations` iterations; the final residuals
// in `r`.
void refineModel(Model& m, const std::vector<CalibrationView>& views, const std::vector<int>& offsets, int width,
                 int height, double cornerWeight, int iterations, Eigen::VectorXd& r) {
    CalibrationProblem problem(m, views, offsets, width, height, cornerWeight);
    LevenbergMarquardtSettings settings;
    settings.maxIterations = iterations;
    settings.attempts = 10;
    settings.minLambda = 1e-12;
    settings.minDiagonal = 1e-12;
    settings.converged = 1e-12;
    settings.convergedOffset = 0.0;
    levenbergMarquardt(problem, settings);
    m = problem.m;
    r = problem.r;
}

}  // namespace

bool calibrateFromViews(const std::vector<CalibrationView>& views, int width, int height, bool distortion,
                        ViewCalibration& result, std::string& why) {
    const int n = static_cast<int>(views.size());
    if (n < kMinCalibrationViews) {
        why = "only " + std::to_string(n) + " usable views of the target; at least " +
              std::to_string(kMinCalibrationViews) + " are needed, from different sides and angles";
        return false;
    }
    // Views that differ by less than this share of the width are one view for the fit: many
    // copies of one view fix neither the focal length nor the principal point.
    std::vector<CalibrationView> distinct;
    for (const CalibrationView& view : views)
        if (differentView(distinct, view, kDistinctViewShare * width)) distinct.push_back(view);
    if (static_cast<int>(distinct.size()) < kMinCalibrationViews) {
        why = "the views are too alike to fix a camera: only " + std::to_string(distinct.size()) +
              " differ; show the target from different sides, tilted 20 to 60 degrees";
        return false;
    }
    std::vector<Eigen::Matrix3d> H(n);
    double X[8], Y[8];
    for (int i = 0; i < 8; ++i) X[i] = kTargetCornerMm[i][0], Y[i] = kTargetCornerMm[i][1];
    for (int v = 0; v < n; ++v) {
        double x[8], y[8], h[9];
        for (int i = 0; i < 8; ++i) x[i] = views[v].xy[i][0], y[i] = views[v].xy[i][1];
        const double inner = quadArea(views[v].xy, 0), outer = quadArea(views[v].xy, 4);
        if (!(std::fabs(inner) > kMinQuadArea && std::fabs(outer) > kMinQuadArea && inner * outer > 0) ||
            !fitPlaneHomography(8, X, Y, x, y, h)) {
            why = "a view's corners do not make a target";
            return false;
        }
        for (int r = 0; r < 3; ++r)
            for (int c = 0; c < 3; ++c) H[v](r, c) = h[3 * r + c];
    }
    std::vector<int> offsets(1, 0);
    int places = 0;
    for (const CalibrationView& view : views) offsets.push_back(offsets.back() + viewResidualCount(view));
    for (const CalibrationView& view : views) places += viewResidualCount(view) - 16;
    const double cornerWeight = places >= 40 * n ? kCornerWeightWithPlaces : 1.0;
    // A camera with the views' poses from their homographies.
    auto start = [&](double fx, double fy, double cx, double cy) {
        Model m{n, false, Eigen::VectorXd::Zero(kCameraParameters + 6 * n)};
        m.p[0] = m.p[1] = 0.5 * (fx + fy), m.p[2] = cx, m.p[3] = cy;
        for (int v = 0; v < n; ++v)
            startingPose(H[v], fx, fy, cx, cy, &m.p[kCameraParameters + 6 * v], &m.p[kCameraParameters + 6 * v + 3]);
        return m;
    };
    auto plausible = [&](const Model& m) {
        return m.p[0] > 0.1 * width && m.p[0] < 100.0 * width &&
               std::fabs(m.p[2] - width / 2.0) < 0.25 * width && std::fabs(m.p[3] - height / 2.0) < 0.25 * height;
    };
    // First without distortion, from Zhang's closed form (which a distorting lens can throw off:
    // then from a webcam's typical camera, the optical axis in the middle), then with it.
    double fx, fy, cx, cy;
    Eigen::VectorXd r;
    Model m = startingCamera(H, fx, fy, cx, cy) ? start(fx, fy, cx, cy) : start(width, width, (width - 1) / 2.0, (height - 1) / 2.0);
    // Without distortion only a start for the fit with it: run to its end, a lens that bends the
    // sides pulls an undistorted camera far off.
    const int startIterations = distortion ? kStartIterations : kMaxIterations;
    if (plausible(m)) refineModel(m, views, offsets, width, height, cornerWeight, startIterations, r);
    if (!plausible(m)) {
        m = start(width, width, (width - 1) / 2.0, (height - 1) / 2.0);
        refineModel(m, views, offsets, width, height, cornerWeight, startIterations, r);
    }
    if (!plausible(m)) {
        why = "the views are too alike to fix a camera: show the target from different sides, tilted 20 to 60 degrees";
        return false;
    }
    m.distortion = distortion;
    if (distortion) refineModel(m, views, offsets, width, height, cornerWeight, kMaxIterations, r);
    result.camera = m.camera(width, height);
    // The reprojection error of what carried the fit: the places along the sides (their
    // distances from the sides' images), or the corners when there are none.
    double sum = 0;
    int count = 0;
    for (int v = 0; v < n; ++v)
        for (int i = places > 0 ? 16 : 0; i < (places > 0 ? offsets[v + 1] - offsets[v] : 16); ++i, ++count)
            sum += r[offsets[v] + i] * r[offsets[v] + i];
    result.rmsPx = std::sqrt(sum / std::max(1, places > 0 ? count : count / 2));
    result.views = n;
    if (!(result.camera.fx > 0 && result.camera.fy > 0) || !std::isfinite(result.rmsPx)) {
        why = "no camera fits the views";
        return false;
    }
    return true;
}

bool differentView(const std::vector<CalibrationView>& taken, const CalibrationView& view, double minShiftPx) {
    for (const CalibrationView& t : taken) {
        double most = 0;
        for (int i = 0; i < 8; ++i)
            most = std::max(most, std::hypot(t.xy[i][0] - view.xy[i][0], t.xy[i][1] - view.xy[i][1]));
        if (most < minShiftPx) return false;
    }
    return true;
}

double viewCoverage(const std::vector<CalibrationView>& views, int width, int height) {
    bool cell[4][4] = {};
    for (const CalibrationView& v : views)
        for (const auto& p : v.xy) {
            const int c = std::clamp(static_cast<int>(4 * p[0] / width), 0, 3), r = std::clamp(static_cast<int>(4 * p[1] / height), 0, 3);
            cell[r][c] = true;
        }
    int covered = 0;
    for (const auto& row : cell)
        for (bool c : row) covered += c;
    return covered / 16.0;
}
