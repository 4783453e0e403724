#include "camera/pose.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "camera/calibration.h"
#include "camera/corner_refinement.h"
#include "vision/homography.h"
#include "vision/target_model.h"
#include "camera/matrix.h"
#include "vision/tracker.h"

namespace {

// The target points paired with the target's eight corners (kTargetCornerMm): 4 and 9 are the
// rectangles' centres.
constexpr int kModelRecords[8] = {0, 1, 2, 3, 5, 6, 7, 8};

constexpr double kNear = 0.1, kFar = 5000.0;
// Whole-pixel target points put back by the grid method's pose: about a pixel off (rms) on the
// target, several on anything else (at 320 pixels across; more at larger frames).
constexpr double kMaxGridRmsPx = 1.5;

}  // namespace

bool finite(const double* v, int n) {
    for (int i = 0; i < n; ++i)
        if (!std::isfinite(v[i])) return false;
    return true;
}

// The filtered pose becomes the model's and the display's, unless the filter gave no number.
bool keepFilteredPose(Tracker& t, CameraModel& model, const double R[9], const double T[3]) {
    if (!finite(R, 9) || !finite(T, 3)) return false;
    std::memcpy(model.R, R, sizeof model.R);
    std::memcpy(model.T, T, sizeof model.T);
    model.hasPose = true;
    const CameraIntrinsics& c = model.frameCamera;
    if (c.width == t.width && c.height == t.height && c.fx > 0) buildCameraMatrices(R, T, c, t.modelview, t.projection);
    else buildDisplayMatrices(R, T, t.focalLength, t.width, t.height, t.modelview, t.projection);
    return true;
}

bool calibrateCamera(Tracker& tracker, CameraModel& model, const std::string& pointFile) {
    model.ready = false;
    ReferencePoints points;
    std::string error;
    if (!readPointFile(pointFile, points, error)) {
        model.whyNotReady = pointFile + ": " + error;
        return false;
    }
    double f = 0.0, T[3] = {0, 0, 0}, R[9] = {0};
    // From the file's centring to the optical centre's (docs/conventions.md, "Centring").
    for (double& v : points.Xd) v += kReferenceCentreShift;
    for (double& v : points.Yd) v += kReferenceCentreShift;
    if (!calibrateCoplanar(points.count(), points.Xw.data(), points.Yw.data(), points.Xd.data(), points.Yd.data(), &f,
                           T, R)) {
        model.whyNotReady = pointFile + ": its points do not calibrate a camera (all on one line, or inconsistent)";
        return false;
    }
    // The Tracker keeps the focal length as a float: one that a float cannot hold would leave
    // the pose step silently never working. Below a pixel or above a million (a field of view
    // of a thousandth of a degree at 320 pixels) no webcam is described either.
    const float focal = static_cast<float>(f);
    if (!std::isfinite(focal) || focal < kMinFocalLength || focal > kMaxFocalLength) {
        char value[64];
        std::snprintf(value, sizeof value, "%g", f);
        model.whyNotReady = pointFile + ": its points calibrate to a focal length of " + value +
                            " pixels, which no camera has";
        return false;
    }
    tracker.focalLength = focal;
    useCamera(tracker, model, idealCamera(f, kReferenceFrameWidth, kReferenceFrameHeight), pointFile);
    // The filter starts from the calibration's own view: the pose the reference points were seen at.
    model.poseFilter.restart(R, T);
    return true;
}

int fitHomography(double h[9], int n, const double* X, const double* Y, const double* x, const double* y) {
    if (n < 4 || n > kMaxHomographyPoints || !fitPlaneHomography(n, X, Y, x, y, h)) return 0;
    // Scaled as a fit with one scale a point, the last one fixed at 1, leaves it: w = 1 there.
    const double w = h[6] * X[n - 1] + h[7] * Y[n - 1] + h[8];
    if (!(std::fabs(w) > 0.0)) return 0;
    for (int i = 0; i < 9; ++i) h[i] /= w;
    return 1;
}

int synthesizeGrid(int n, const double* X, const double* Y, const double* x, const double* y, int nx, int ny,
                   double* gridX, double* gridY, double* gridx, double* gridy) {
    double h[9];
    if (!fitHomography(h, n, X, Y, x, y)) return 0;
    double minX = X[0], maxX = X[0], minY = Y[0], maxY = Y[0];
    for (int i = 1; i < n; ++i) {
        if (X[i] > maxX) maxX = X[i];
        else if (X[i] < minX) minX = X[i];
        if (Y[i] > maxY) maxY = Y[i];
        else if (Y[i] < minY) minY = Y[i];
    }
    const double stepX = (maxX - minX) / (nx - 1), stepY = (maxY - minY) / (ny - 1);
    // Two passes over the same samples: a sample that would divide by a zero w makes the whole
    // grid unusable, and the caller's old grid must then stay as it was, so nothing is written
    // until every sample is known to be finite. The caller's arrays hold nx x ny samples.
    for (int write = 0; write < 2; ++write) {
        int k = 0;
        double gx = minX;
        for (int i = 0; i < nx; ++i, gx += stepX) {
            double gy = minY;
            for (int j = 0; j < ny; ++j, gy += stepY, ++k) {
                const double u = h[0] * gx + h[1] * gy + h[2];
                const double v = h[3] * gx + h[4] * gy + h[5];
                const double w = h[6] * gx + h[7] * gy + h[8];
                if (!write) {
                    if (w == 0.0 || !std::isfinite(u / w) || !std::isfinite(v / w)) return 0;
                    continue;
                }
                gridX[k] = gx, gridY[k] = gy, gridx[k] = u / w, gridy[k] = v / w;
            }
        }
    }
    return 1;
}

int solveTz(int n, const double* X, const double* Y, const double* x, const double* y, double f, double T[3],
            const double R[9]) {
    if (2 * n > kLsqMaxRows) return 0;
    double A[kLsqMaxRows * kLsqMaxVars];
    double b[kLsqMaxRows];
    for (int i = 0; i < n; ++i) {
        const double w = R[6] * X[i] + R[7] * Y[i];
        A[i * kLsqMaxVars] = -x[i];
        b[i] = w * x[i] - (R[0] * X[i] + R[1] * Y[i] + T[0]) * f;
        A[(n + i) * kLsqMaxVars] = -y[i];
        b[n + i] = w * y[i] - (R[3] * X[i] + R[4] * Y[i] + T[1]) * f;
    }
    if (!leastSquares(2 * n, 1, A, b)) return 0;
    T[2] = b[0];
    return 1;
}

int solveExtrinsic(int n, const double* X, const double* Y, const double* x, const double* y, double f, double T[3],
                   double R[9]) {
    double U[5];
    if (!solveU(n, X, Y, x, y, U)) return 0;
    if (!solveTy(n, x, y, X, Y, U, T) || !solveRotation(U, T, R)) return 0;
    double fSign = 0.0;
    if (!solveFTz(n, X, Y, x, y, &fSign, T, R)) return 0;
    if (fSign < 0) R[2] = -R[2], R[5] = -R[5], R[6] = -R[6], R[7] = -R[7];
    return solveTz(n, X, Y, x, y, f, T, R);
}

// The camera frame of the pose (docs/conventions.md, "Camera") has x right, y up the picture
// and z forward; OpenGL's eye frame has z backward, so the eye frame is C = diag(1, 1, -1) Pc.
// The models drawn on the target stand along +z of their own frame, towards the camera, while
// the world's Zw points away from it (the camera sits on the Zw < 0 side), so a model point is
// Pw = diag(1, 1, -1) Pm. Together
//     Peye = diag(1, 1, -1) (R diag(1, 1, -1) Pm + T),
// which negates R's third column and third row (r9 is negated twice) and Tz. OpenGL stores the
// matrix by columns: M[4 c + r] is row r, column c.
void buildModelview(const double T[3], const double R[9], double M[16]) {
    M[0] = R[0], M[4] = R[1], M[8] = -R[2], M[12] = T[0];
    M[1] = R[3], M[5] = R[4], M[9] = -R[5], M[13] = T[1];
    M[2] = -R[6], M[6] = -R[7], M[10] = R[8], M[14] = -T[2];
    M[3] = 0, M[7] = 0, M[11] = 0, M[15] = 1;
}

// A symmetric frustum whose half-width at distance `near` is (width / 2) near / f: an eye point
// at x_e / -z_e = x / f lands at NDC x / (width / 2), so the image point x pixels right of the
// frame centre lands x pixels right of the viewport centre when the viewport spans the frame.
// The frustum is centred on the frame's middle, not on a pixel centre: see docs/conventions.md
// for the half pixel this leaves between the drawing and the picture.
void buildProjection(double f, double nearPlane, double farPlane, double width, double height, double P[16]) {
    const double top = height * nearPlane / 2 / f, right = width * nearPlane / 2 / f;
    const double bottom = -top, left = -right;
    for (int i = 0; i < 16; ++i) P[i] = 0.0;
    P[0] = 2 * nearPlane / (right - left);
    P[5] = 2 * nearPlane / (top - bottom);
    P[8] = (right + left) / (right - left);
    P[9] = (top + bottom) / (top - bottom);
    P[10] = -(farPlane + nearPlane) / (farPlane - nearPlane);
    P[11] = -1;
    P[14] = -2 * farPlane * nearPlane / (farPlane - nearPlane);
}

bool estimatePose(Tracker& t, CameraModel& model) {
    if (!t.targetFound || !model.ready || !model.poseFilter.started() || !(t.focalLength > 0.0f)) return false;
    const int n = t.targetPointCount - 2;
    if (n != 8 || static_cast<int>(t.targetPoints.size()) < t.targetPointCount) return false;
    double X[8], Y[8], x[8], y[8];
    for (int i = 0; i < n; ++i) {
        const PointRecord& p = t.targetPoints[kModelRecords[i]];
        X[i] = kTargetCornerMm[i][0];
        Y[i] = kTargetCornerMm[i][1];
        // Whole-pixel centring with the halves truncated (docs/conventions.md, "Centring").
        x[i] = static_cast<double>(p.col - t.width / 2);
        y[i] = static_cast<double>(p.row - t.height / 2);
    }
    // A frame whose grid or extrinsic solve fails keeps the last matrices and leaves the filter
    // alone, rather than feeding it a stale grid or a half-made pose.
    if (!synthesizeGrid(n, X, Y, x, y, kGridSide, kGridSide, model.gridX, model.gridY, model.gridx, model.gridy))
        return false;
    double R[9], T[3];
    const double f = t.focalLength;
    if (!solveExtrinsic(kGridPoints, model.gridX, model.gridY, model.gridx, model.gridy, f, T, R)) return false;
    if (!finite(R, 9) || !finite(T, 3)) return false;
    // A pose that does not put the eight points back where they were seen (within a few whole
    // pixels) came from points that are not the target's: no pose is better than that one.
    if (!(planarReprojectionRms(n, X, Y, x, y, f, R, T) <= kMaxGridRmsPx * t.width / kReferenceFrameWidth)) return false;
    std::memcpy(model.measuredR, R, sizeof R);
    std::memcpy(model.measuredT, T, sizeof T);
    if (!model.poseFilter.update(R, T)) return false;
    return keepFilteredPose(t, model, R, T);
}

void scaleCameraToFrame(Tracker& t, CameraModel& model) {
    if (t.width <= 0 || t.height <= 0 || model.camera.width <= 0) return;
    model.frameCamera = scaledCamera(model.camera, t.width, t.height);
    t.focalLength = static_cast<float>(model.frameCamera.fx);
}

void useCamera(Tracker& t, CameraModel& model, const CameraIntrinsics& camera, const std::string& source) {
    model.camera = camera;
    model.frameCamera = camera;
    model.cameraSource = source;
    t.focalLength = static_cast<float>(camera.fx);
    scaleCameraToFrame(t, model);
    const double R[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1}, T[3] = {0, 0, 500};
    model.poseFilter.start(model.method == PoseMethod::Grid ? gridPoseFilterParameters() : PoseFilterParameters{}, R, T);
    ++model.cameraChanges;
    model.ready = true;
    model.whyNotReady.clear();
}

void buildDisplayMatrices(const double R[9], const double T[3], double f, int width, int height, double modelview[16],
                          double projection[16]) {
    buildModelview(T, R, modelview);
    buildProjection(f, kNear, kFar, width, height, projection);
}

void buildCameraMatrices(const double R[9], const double T[3], const CameraIntrinsics& c, double modelview[16],
                         double P[16]) {
    buildModelview(T, R, modelview);
    // The frustum whose window at distance `near` is the frame's own edges seen through the
    // camera: pixel-centre coordinates run from -0.5 to w - 0.5, so the left edge lies
    // (cx + 0.5) / fx to the left of the axis in normalised units, and so on; OpenGL's frustum
    // matrix of those (left, right, bottom, top).
    const double left = -(c.cx + 0.5) * kNear / c.fx, right = (c.width - 0.5 - c.cx) * kNear / c.fx;
    const double bottom = -(c.cy + 0.5) * kNear / c.fy, top = (c.height - 0.5 - c.cy) * kNear / c.fy;
    for (int i = 0; i < 16; ++i) P[i] = 0.0;
    P[0] = 2 * kNear / (right - left);
    P[5] = 2 * kNear / (top - bottom);
    P[8] = (right + left) / (right - left);
    P[9] = (top + bottom) / (top - bottom);
    P[10] = -(kFar + kNear) / (kFar - kNear);
    P[11] = -1;
    P[14] = -2 * kFar * kNear / (kFar - kNear);
}
