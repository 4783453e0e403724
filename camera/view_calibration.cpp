#include "camera/view_calibration.h"

#include <Eigen/Dense>

#include <algorithm>
#include <cmath>

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

// R = exp([w]x), Rodrigues' formula, row-major.
void rotationOf(const double w[3], double R[9]) {
    const double theta = std::sqrt(w[0] * w[0] + w[1] * w[1] + w[2] * w[2]);
    double a = 1.0, b = 0.5;
    if (theta > 1e-12) a = std::sin(theta) / theta, b = (1.0 - std::cos(theta)) / (theta * theta);
    const double K[9] = {0, -w[2], w[1], w[2], 0, -w[0], -w[1], w[0], 0};
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c) {
            double k2 = 0;
            for (int i = 0; i < 3; ++i) k2 += K[3 * r + i] * K[3 * i + c];
            R[3 * r + c] = (r == c ? 1.0 : 0.0) + a * K[3 * r + c] + b * k2;
        }
}

// The rotation vector of R (its axis times its angle).
void vectorOf(const double R[9], double w[3]) {
    const double c = std::clamp((R[0] + R[4] + R[8] - 1.0) / 2.0, -1.0, 1.0), theta = std::acos(c);
    const double v[3] = {R[7] - R[5], R[2] - R[6], R[3] - R[1]};
    const double s = std::sin(theta);
    const double f = s > 1e-9 ? theta / (2 * s) : 0.5;
    for (int i = 0; i < 3; ++i) w[i] = v[i] * f;
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
    rotationOf(w, R);
    double P[8][3];
    for (int i = 0; i < 8; ++i) {
        const double X = kTargetCornerMm[i][0], Y = kTargetCornerMm[i][1];
        P[i][0] = R[0] * X + R[1] * Y + t[0], P[i][1] = R[3] * X + R[4] * Y + t[1], P[i][2] = R[6] * X + R[7] * Y + t[2];
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

// A view's pose from its homography and the camera (H ~ K [r1 r2 t]).
void startingPose(const Eigen::Matrix3d& H, double fx, double fy, double cx, double cy, double w[3], double t[3]) {
    Eigen::Matrix3d K;
    K << fx, 0, cx, 0, fy, cy, 0, 0, 1;
    const Eigen::Matrix3d M = K.inverse() * H;
    double scale = 2.0 / (M.col(0).norm() + M.col(1).norm());
    if (M(2, 2) * scale < 0) scale = -scale;  // the target in front of the camera
    Eigen::Matrix3d R;
    R.col(0) = M.col(0) * scale, R.col(1) = M.col(1) * scale, R.col(2) = R.col(0).cross(R.col(1));
    Eigen::JacobiSVD<Eigen::Matrix3d> svd(R, Eigen::ComputeFullU | Eigen::ComputeFullV);
    R = svd.matrixU() * svd.matrixV().transpose();  // the nearest rotation
    double r[9];
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) r[3 * i + j] = R(i, j);
    vectorOf(r, w);
    for (int i = 0; i < 3; ++i) t[i] = M(i, 2) * scale;
}

// Levenberg-Marquardt from `m` (in place) with a forward-difference Jacobian: a view's own
// parameters change only its own residuals, so each is differenced over its view alone. The
// distortion is free only with m.distortion. Answers the final residuals in `r`.
void refineModel(Model& m, const std::vector<CalibrationView>& views, const std::vector<int>& offsets, int width,
                 int height, double cornerWeight, int iterations, Eigen::VectorXd& r) {
    const bool distortion = m.distortion;
    const int np = static_cast<int>(m.p.size());
    Eigen::VectorXd r2;
    residuals(m, views, offsets, width, height, cornerWeight, r);
    double cost = r.squaredNorm(), lambda = 1e-3;
    Eigen::MatrixXd J = Eigen::MatrixXd::Zero(r.size(), np);
    std::vector<double> viewR(static_cast<size_t>(*std::max_element(offsets.begin(), offsets.end())));
    for (int iteration = 0; iteration < iterations; ++iteration) {
        const CameraIntrinsics c = m.camera(width, height);
        for (int k = 0; k < np; ++k) {
            if (k == 1 || (!distortion && k >= 4 && k < kCameraParameters)) continue;
            const double step = 1e-6 * std::max(1.0, std::fabs(m.p[k]));
            if (k < kCameraParameters) {
                Model d = m;
                d.p[k] += step;
                residuals(d, views, offsets, width, height, cornerWeight, r2);
                J.col(k) = (r2 - r) / step;
                continue;
            }
            const int v = (k - kCameraParameters) / 6;
            double p[6];
            for (int i = 0; i < 6; ++i) p[i] = m.p[kCameraParameters + 6 * v + i];
            p[(k - kCameraParameters) % 6] += step;
            viewResiduals(c, p, p + 3, views[v], cornerWeight, viewR.data());
            for (int i = offsets[v]; i < offsets[v + 1]; ++i) J(i, k) = (viewR[i - offsets[v]] - r[i]) / step;
        }
        const Eigen::MatrixXd JtJ = J.transpose() * J;
        const Eigen::VectorXd g = J.transpose() * r;
        bool improved = false;
        for (int attempt = 0; attempt < 10 && !improved; ++attempt) {
            Eigen::MatrixXd A = JtJ;
            for (int k = 0; k < np; ++k) A(k, k) += lambda * std::max(JtJ(k, k), 1e-12);
            const Eigen::VectorXd delta = A.ldlt().solve(-g);
            Model next = m;
            next.p += delta;
            residuals(next, views, offsets, width, height, cornerWeight, r2);
            const double nextCost = r2.squaredNorm();
            if (std::isfinite(nextCost) && nextCost < cost) {
                const bool converged = cost - nextCost < 1e-12 * cost;
                m = next, r = r2, cost = nextCost, lambda = std::max(lambda / 10, 1e-12);
                improved = true;
                if (converged) iteration = iterations;
            } else {
                lambda *= 10;
            }
        }
        if (!improved) break;
    }
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
    std::vector<Eigen::Matrix3d> H(n);
    double X[8], Y[8];
    for (int i = 0; i < 8; ++i) X[i] = kTargetCornerMm[i][0], Y[i] = kTargetCornerMm[i][1];
    for (int v = 0; v < n; ++v) {
        double x[8], y[8], h[9];
        for (int i = 0; i < 8; ++i) x[i] = views[v].xy[i][0], y[i] = views[v].xy[i][1];
        if (!fitPlaneHomography(8, X, Y, x, y, h)) {
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
