#include "capture/virtual_camera.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "camera/matrix.h"
#include "camera/rolling_shutter.h"
#include "capture/virtual_effects.h"
#ifndef TOVRAK_NO_JPEG
#include "imageio/jpeg_codec.h"
#endif

namespace {

// What a pixel corner sees: the desk, the paper or the ink, and whether it lies in the shadow
// band (kShadowed added). Four corners that agree mean a pixel without an edge in it.
enum Region : uint8_t { kDesk = 0, kPaper = 1, kInk = 2, kShadowed = 3 };

// Two dark rectangles on the sheet's margins, left and right of the target, for the clutter
// scene: lone rectangles that must not be taken for the target.
constexpr double kClutterRects[2][4] = {{105, 135, -50, 30}, {-135, -110, 10, 70}};  // X0 X1 Y0 Y1
// The shadow band: everything at X beyond this (millimetres), a third of the target and the
// sheet and desk past it, with a sharp edge.
constexpr double kShadowFromX = 30.0;
// Sub-frames of a motion-blurred frame: one for every pixel a corner moves, within these bounds.
constexpr int kMinSubFrames = 2, kMaxSubFrames = 32;
constexpr int kColourJpegQuality = 60;
// The glare: a spot of this radius (standard deviation, millimetres on the sheet) whose peak adds
// this many grey levels at glare=1, enough to saturate the ink some 17 mm around its middle (a
// lamp's reflection on a glossy print, washing out the border's width and a corner of the hole).
constexpr double kGlareRadiusMm = 9.0, kGlarePeak = 1050.0;
constexpr double kPi = 3.14159265358979323846;

int regionAt(double X, double Y, bool clutter, bool shadow) {
    const int shaded = shadow && X > kShadowFromX ? kShadowed : 0;
    const double ax = std::fabs(X), ay = std::fabs(Y);
    if (ax > kSheetHalfX || ay > kSheetHalfY) return kDesk + shaded;
    if (clutter)
        for (const auto& r : kClutterRects)
            if (X > r[0] && X < r[1] && Y > r[2] && Y < r[3]) return kInk + shaded;
    if (ax > kTargetOuterHalfX || ay > kTargetOuterHalfY) return kPaper + shaded;
    if (X > kTargetInnerMinX && X < kTargetInnerMaxX && Y > kTargetInnerMinY && Y < kTargetInnerMaxY)
        return kPaper + shaded;
    return kInk + shaded;
}

// sin(x) to about 1e-3, without a call: the desk's grain needs no more.
float roughSin(float x) {
    const float turns = x * static_cast<float>(0.5 / kPi);
    x -= static_cast<float>(2 * kPi) * static_cast<float>(static_cast<int>(turns + (turns >= 0 ? 0.5f : -0.5f)));
    // Bhaskara-like parabola fit on [-pi, pi], refined once.
    const float y = 1.27323954f * x - 0.405284735f * x * std::fabs(x);
    return 0.225f * (y * std::fabs(y) - y) + y;
}

// Colours (B, G, R) and light of one scene, looked up by region code.
struct Palette {
    float colour[6][3];   // desk, paper, ink, then the same in the shadow
    float shadowGain[6];  // 1 for the first three codes, the shadow's light for the others
    float grain[6];       // 1 for the desk, whose grain shows, 0 for the rest
    float lit[6][3];      // colour times the shadow's light

    explicit Palette(const VirtualCameraOptions& o) {
        // The desk is light (a plain table top) so that the sheet's own edge stays far below the
        // edge detector's threshold; clutter puts the sheet on a dark wooden table.
        const float desk[3] = {170.0f, 192.0f, 208.0f}, darkDesk[3] = {52.0f, 60.0f, 74.0f};
        const float paper[3] = {232.0f, 238.0f, 242.0f}, ink[3] = {38.0f, 34.0f, 32.0f};
        for (int ch = 0; ch < 3; ++ch) {
            colour[kDesk][ch] = o.desk >= 0 ? static_cast<float>(o.desk) : o.clutter ? darkDesk[ch] : desk[ch];
            colour[kPaper][ch] = o.paper >= 0 ? static_cast<float>(o.paper) : paper[ch];
            colour[kInk][ch] = o.ink >= 0 ? static_cast<float>(o.ink) : ink[ch];
        }
        for (int code = 0; code < 6; ++code) {
            for (int ch = 0; ch < 3; ++ch) colour[code][ch] = colour[code % kShadowed][ch];
            shadowGain[code] = code >= kShadowed ? static_cast<float>(o.shadow) : 1.0f;
            grain[code] = code % kShadowed == kDesk ? 1.0f : 0.0f;
            for (int ch = 0; ch < 3; ++ch) lit[code][ch] = colour[code][ch] * shadowGain[code];
        }
    }

    // The light at plane point (X, Y) of a region: a lamp off to one side gives a gentle fall-off
    // across the desk, the shadow band takes most of it away, the desk has a faint grain.
    static float lamp(float X, float Y) {
        const float dx = X - 120.0f, dy = Y + 90.0f;
        return 1.0f - 0.10f * (dx * dx + dy * dy) / (500.0f * 500.0f);
    }
    static float wood(float X, float Y) { return 1.0f + 0.035f * roughSin(X / 6.0f + 1.7f * roughSin(Y / 45.0f)); }
    float light(int region, float lampGain, float woodGain) const {
        return lampGain * shadowGain[region] * (1.0f + grain[region] * (woodGain - 1.0f));
    }
    void shade(int region, float X, float Y, float bgr[3]) const {
        const float gain = light(region, lamp(X, Y), wood(X, Y));
        for (int ch = 0; ch < 3; ++ch) bgr[ch] = colour[region][ch] * gain;
    }
};

// Image-to-plane mapping of one pose: the inverse of the plane-to-image homography.
struct PlaneMap {
    double m[9];
    double r31, r32, tz;

    // For image points measured from the principal point, in pixels (x right, y up).
    PlaneMap(const CameraPose& p, double fx, double fy) : r31(p.R[6]), r32(p.R[7]), tz(p.T[2]) {
        const double h[9] = {fx * p.R[0], fx * p.R[1], fx * p.T[0], fy * p.R[3], fy * p.R[4],
                             fy * p.T[1], p.R[6],      p.R[7],      p.T[2]};
        const double c0 = h[4] * h[8] - h[5] * h[7];
        const double c1 = h[5] * h[6] - h[3] * h[8];
        const double c2 = h[3] * h[7] - h[4] * h[6];
        const double det = h[0] * c0 + h[1] * c1 + h[2] * c2;
        const double inv = det != 0.0 ? 1.0 / det : 0.0;
        m[0] = c0 * inv;
        m[1] = (h[2] * h[7] - h[1] * h[8]) * inv;
        m[2] = (h[1] * h[5] - h[2] * h[4]) * inv;
        m[3] = c1 * inv;
        m[4] = (h[0] * h[8] - h[2] * h[6]) * inv;
        m[5] = (h[2] * h[3] - h[0] * h[5]) * inv;
        m[6] = c2 * inv;
        m[7] = (h[1] * h[6] - h[0] * h[7]) * inv;
        m[8] = (h[0] * h[4] - h[1] * h[3]) * inv;
    }

    // Plane point seen at centred image point (x, y); false when the ray misses the plane.
    bool toPlane(double x, double y, double& X, double& Y) const {
        const double w = m[6] * x + m[7] * y + m[8];
        if (w == 0.0) return false;
        X = (m[0] * x + m[1] * y + m[2]) / w;
        Y = (m[3] * x + m[4] * y + m[5]) / w;
        return r31 * X + r32 * Y + tz > 0.0;
    }
};

// One row of pixel corners. Along an image row the plane point (u / w, v / w) runs with
// u = u0 + c du, v = v0 + c dv, w = w0 + c dw; while w keeps its sign it is monotonic in c, so
// the region can change only where X or Y passes one of the scene's boundary values, at
// c = (T w0 - u0) / (du - T dw): the row is cut there and each piece takes the region of its
// first corner. The light (the lamp and the desk's grain, both smooth) is computed at every
// eighth pixel centre and interpolated between.
struct PlaneLine {
    double u0, du, v0, dv, w0, dw;
};

void cornerRegions(const PlaneLine& row, const PlaneMap& map, int n, bool clutter, bool shadow, uint8_t* region) {
    auto at = [&](int c) {
        const double w = row.w0 + c * row.dw;
        if (w == 0.0) return static_cast<int>(kDesk);
        const double X = (row.u0 + c * row.du) / w, Y = (row.v0 + c * row.dv) / w;
        return map.r31 * X + map.r32 * Y + map.tz > 0.0 ? regionAt(X, Y, clutter, shadow) : static_cast<int>(kDesk);
    };
    const double wFirst = row.w0, wLast = row.w0 + (n - 1) * row.dw;
    if (!(wFirst > 0 && wLast > 0) && !(wFirst < 0 && wLast < 0)) {
        for (int c = 0; c < n; ++c) region[c] = static_cast<uint8_t>(at(c));  // the horizon crosses the row
        return;
    }
    double cuts[32];
    int count = 0;
    auto cut = [&](double T, double u0, double du) {
        const double den = du - T * row.dw;
        if (den == 0.0) return;
        const double c = (T * row.w0 - u0) / den;
        if (c > 0 && c < n - 1 && count < 32) cuts[count++] = c;
    };
    for (double T : {-kSheetHalfX, kSheetHalfX, -kTargetOuterHalfX, kTargetOuterHalfX, kTargetInnerMinX, kTargetInnerMaxX})
        cut(T, row.u0, row.du);
    for (double T : {-kSheetHalfY, kSheetHalfY, -kTargetOuterHalfY, kTargetOuterHalfY, kTargetInnerMinY, kTargetInnerMaxY})
        cut(T, row.v0, row.dv);
    if (shadow) cut(kShadowFromX, row.u0, row.du);
    if (clutter)
        for (const auto& q : kClutterRects) cut(q[0], row.u0, row.du), cut(q[1], row.u0, row.du), cut(q[2], row.v0, row.dv), cut(q[3], row.v0, row.dv);
    std::sort(cuts, cuts + count);
    int c = 0;
    for (int k = 0; k <= count; ++k) {
        const int end = k < count ? static_cast<int>(std::ceil(cuts[k])) : n;  // first corner past the cut
        if (c >= end) continue;
        const uint8_t code = static_cast<uint8_t>(at(c));
        std::fill(region + c, region + end, code);
        // A corner lying exactly on a cut is looked at again on its own.
        if (k < count && static_cast<double>(end) == cuts[k] && end < n) region[end] = static_cast<uint8_t>(at(end)), c = end + 1;
        else c = end;
    }
}

void centreLights(const PlaneLine& line, int n, float* __restrict lamp, float* __restrict wood) {
    constexpr int kStep = 8;
    float l[2] = {0, 0}, g[2] = {0, 0};
    auto sample = [&](int c, float& lampGain, float& woodGain) {
        const double w = line.w0 + c * line.dw;
        const float X = w != 0.0 ? static_cast<float>((line.u0 + c * line.du) / w) : 1e6f;
        const float Y = w != 0.0 ? static_cast<float>((line.v0 + c * line.dv) / w) : 1e6f;
        lampGain = Palette::lamp(X, Y), woodGain = lampGain * Palette::wood(X, Y);
    };
    sample(0, l[1], g[1]);
    for (int c0 = 0; c0 < n - 1; c0 += kStep) {
        const int c1 = std::min(c0 + kStep, n - 1);
        l[0] = l[1], g[0] = g[1];
        sample(c1, l[1], g[1]);
        const float dl = (l[1] - l[0]) / (c1 - c0), dg = (g[1] - g[0]) / (c1 - c0);
        for (int c = c0; c < c1; ++c) lamp[c] = l[0] + (c - c0) * dl, wood[c] = g[0] + (c - c0) * dg;
    }
    lamp[n - 1] = l[1], wood[n - 1] = g[1];
}

}  // namespace

VirtualCamera::VirtualCamera(const VirtualCameraOptions& options)
    : opts(options), lens(lensParameters(options.width, options.height)) {}

void VirtualCamera::setSize(int width, int height) {
    opts.width = width;
    opts.height = height;
    lens = lensParameters(width, height);
}

double VirtualCamera::pathFrame(int n) const {
    const double speed = opts.motion > 0 ? opts.motion : 1.0;
    return opts.still ? opts.start : opts.start + speed * n;
}

CameraPose VirtualCamera::poseAt(double frame) const {
    const CameraPose pose = opts.fixedView ? lookAtPose(0, 0, opts.distance, opts.tilt, opts.azimuth, opts.roll)
                                           : pathPose(opts.path, frame);
    return opts.outside > 0 ? turnedTowardsEdge(pose, frame) : pose;
}

CameraPose VirtualCamera::turnedTowardsEdge(const CameraPose& pose, double frame) const {
    // The camera turns about its own centre (R' = Q R, T' = Q T) so that the target's middle moves
    // from direction a to direction b, Q the shortest rotation between them (Rodrigues: with
    // v = a x b and c = a . b, Q = I + [v]x + [v]x^2 / (1 + c)). b is chosen along a direction u
    // that goes round the picture every 9 s, so far that the target's extent along u passes the
    // edge by a share of its width swinging between 0.4 of `outside` and all of it.
    const CameraIntrinsics camera = intrinsics();
    const double t = frame / 30.0;
    const double psi = 2 * kPi * t / 9.0, u[2] = {std::cos(psi), std::sin(psi)};
    const double share = opts.outside * (0.7 + 0.3 * std::sin(2 * kPi * t / 3.1));
    double centre[2] = {0, 0}, reach = 0;
    auto image = [&](double X, double Y, double xy[2]) {
        double P[3];
        planePointToCamera(pose.R, pose.T, X, Y, P);
        if (!(P[2] > 1e-9)) return false;
        xy[0] = camera.fx * P[0] / P[2], xy[1] = camera.fy * P[1] / P[2];
        return true;
    };
    if (!image(0, 0, centre)) return pose;
    for (const auto& corner : {kTargetCornerMm[4], kTargetCornerMm[5], kTargetCornerMm[6], kTargetCornerMm[7]}) {
        double xy[2];
        if (!image(corner[0], corner[1], xy)) return pose;
        reach = std::max(reach, u[0] * (xy[0] - centre[0]) + u[1] * (xy[1] - centre[1]));
    }
    const double edge = std::min(0.5 * opts.width / std::max(1e-9, std::fabs(u[0])), 0.5 * opts.height / std::max(1e-9, std::fabs(u[1])));
    const double along = edge - reach + 2 * reach * share;
    double a[3] = {centre[0] / camera.fx, centre[1] / camera.fy, 1.0}, b[3] = {along * u[0] / camera.fx, along * u[1] / camera.fy, 1.0};
    const double na = std::sqrt(a[0] * a[0] + a[1] * a[1] + 1), nb = std::sqrt(b[0] * b[0] + b[1] * b[1] + 1);
    for (int i = 0; i < 3; ++i) a[i] /= na, b[i] /= nb;
    const double v[3] = {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]};
    const double c = a[0] * b[0] + a[1] * b[1] + a[2] * b[2];
    const double K[9] = {0, -v[2], v[1], v[2], 0, -v[0], -v[1], v[0], 0};
    double Q[9];
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) {
            double kk = 0;
            for (int m = 0; m < 3; ++m) kk += K[3 * i + m] * K[3 * m + j];
            Q[3 * i + j] = (i == j) + K[3 * i + j] + kk / (1 + c);
        }
    CameraPose turned;
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j)
            turned.R[3 * i + j] = Q[3 * i] * pose.R[j] + Q[3 * i + 1] * pose.R[3 + j] + Q[3 * i + 2] * pose.R[6 + j];
        turned.T[i] = Q[3 * i] * pose.T[0] + Q[3 * i + 1] * pose.T[1] + Q[3 * i + 2] * pose.T[2];
    }
    return turned;
}

CameraPose VirtualCamera::rowPose(const CameraPose& framePose, double frame, double row) const {
    if (!(opts.shutter > 0) || std::isnan(frame) || opts.still || opts.fixedView) return framePose;
    const double speed = opts.motion > 0 ? opts.motion : 1.0;
    return poseAt(frame + speed * rowReadTime(opts.shutter, opts.height, row));
}

CameraPose VirtualCamera::poseOf(int n) const { return poseAt(pathFrame(n)); }

VirtualFrameTruth VirtualCamera::truthOf(int n) const { return truthFor(poseOf(n)); }

CameraIntrinsics VirtualCamera::intrinsics() const {
    CameraIntrinsics c = idealCamera(virtualFocalLength(opts.width), opts.width, opts.height);
    if (opts.fx > 0) c.fx = opts.fx;
    if (opts.fy > 0) c.fy = opts.fy;
    if (opts.cx >= 0) c.cx = opts.cx;
    if (opts.cy >= 0) c.cy = opts.cy;
    c.k1 = opts.k1, c.k2 = opts.k2, c.p1 = opts.p1, c.p2 = opts.p2;
    return c;
}

void VirtualCamera::toIdeal(double col, double row, double& idealCol, double& idealRow) const {
    idealCol = col, idealRow = row;
    const CameraIntrinsics c = intrinsics();
    if (c.distorted()) {
        double x, y;
        undistortPixel(c, col, row, x, y);
        idealCol = c.cx + c.fx * x, idealRow = c.cy + c.fy * y;
    } else if (opts.lens) {
        undistortedPosition(lens, col, row, idealCol, idealRow);
    }
}

bool VirtualCamera::imageOf(const CameraPose& pose, double X, double Y, double& col, double& row, double& idealCol,
                            double& idealRow) const {
    const CameraIntrinsics camera = intrinsics();
    double P[3];
    planePointToCamera(pose.R, pose.T, X, Y, P);
    // A curled sheet lifts the point towards the camera, along the world's -Z (R's third column).
    const double lift = curlLift(opts.curl, X);
    for (int i = 0; i < 3; ++i) P[i] -= lift * pose.R[3 * i + 2];
    col = row = idealCol = idealRow = -1e9;
    if (!(P[2] > 1e-9)) return false;
    // The ideal point: through the undistorted camera; the image point: through the lens.
    idealCol = camera.cx + camera.fx * P[0] / P[2], idealRow = camera.cy + camera.fy * P[1] / P[2];
    projectToPixel(camera, P[0], P[1], P[2], col, row);
    if (opts.lens) distortedPosition(lens, idealCol, idealRow, col, row);
    return true;
}

VirtualFrameTruth VirtualCamera::truthFor(const CameraPose& pose) const {
    VirtualFrameTruth truth;
    truth.pose = pose;
    truth.focalLength = intrinsics().fx;
    const auto model = targetModelPoints();
    bool visible = true, visibleCorrected = true, hole = true;
    int outerInView = 0;
    auto inside = [&](double c, double r) { return c >= 3 && r >= 3 && c <= opts.width - 4 && r <= opts.height - 4; };
    for (int i = 0; i < 10; ++i) {
        double col, row, idealCol, idealRow;
        const bool inFront = imageOf(pose, model[i][0], model[i][1], col, row, idealCol, idealRow);
        truth.idealPoints[i] = {idealRow, idealCol};
        truth.imagePoints[i] = {row, col};
        const bool corner = i != 4 && i != 9, seen = inFront && inside(col, row);
        if (corner && !seen) visible = false;
        if (corner && (!inFront || !inside(idealCol, idealRow))) visibleCorrected = false;
        if (i < 4 && !seen) hole = false;
        if (i >= 5 && i < 9 && seen) ++outerInView;
    }
    truth.wholeTargetVisible = visible;
    truth.wholeTargetVisibleCorrected = visibleCorrected;
    truth.holeAndTwoCornersVisible = hole && outerInView >= 2;
    return truth;
}

void VirtualCamera::render(int n, unsigned char* dst) {
    if (opts.motion <= 0 || opts.still || opts.fixedView) return renderFrame(poseOf(n), pathFrame(n), n, dst);
    // The shutter is open for the whole frame interval, the path running `motion` frames in it:
    // the frame is the mean of sub-frames spread over the interval, as many as the corners move
    // pixels, and the truth is the pose at its middle.
    const double middle = pathFrame(n), span = opts.motion;
    const VirtualFrameTruth a = truthFor(poseAt(middle - span / 2)), b = truthFor(poseAt(middle + span / 2));
    double reach = 0;
    for (int i = 0; i < 10; ++i)
        reach = std::max(reach, std::hypot(a.imagePoints[i][0] - b.imagePoints[i][0], a.imagePoints[i][1] - b.imagePoints[i][1]));
    const int subFrames = std::clamp(static_cast<int>(std::ceil(reach)), kMinSubFrames, kMaxSubFrames);
    scratch.assign(frameBytes(), 0.0f);
    for (int k = 0; k < subFrames; ++k) {
        const double at = middle + span * ((k + 0.5) / subFrames - 0.5);
        const CameraPose pose = poseAt(at);
        shadeScene(pose, at);
        paintGlare(pose, at);
        paintHand(pose);
        for (size_t i = 0; i < scratch.size(); ++i) scratch[i] += radiance[i];
    }
    for (size_t i = 0; i < scratch.size(); ++i) radiance[i] = scratch[i] / subFrames;
    finishFrame(n, dst);
}

void VirtualCamera::renderPose(const CameraPose& pose, int noiseFrame, unsigned char* dst) {
    renderFrame(pose, NAN, noiseFrame, dst);
}

void VirtualCamera::renderFrame(const CameraPose& pose, double frame, int noiseFrame, unsigned char* dst) {
    shadeScene(pose, frame);
    paintGlare(pose, std::isnan(frame) ? 0.0 : frame);
    paintHand(pose);
    finishFrame(noiseFrame, dst);
}

// The optics and the sensor after the scene: defocus, the light of each row, the sensor's noise
// and quantisation (through the colour mosaic), and the compression.
void VirtualCamera::finishFrame(int noiseFrame, unsigned char* dst) {
    if (opts.blur > 0.0) applyBlur();
    applyLightGradient();
    applyRowLight(opts, noiseFrame, opts.width, opts.height, radiance.data());
    if (opts.colour) sensorMosaic(opts, noiseFrame, radiance.data(), mosaic, dst);
    else quantise(noiseFrame, dst);
    // A colour webcam's frames come as MJPEG; quality 60 is a typical one's at 640 x 480.
    const int quality = opts.jpeg > 0 ? opts.jpeg : opts.colour ? kColourJpegQuality : 0;
    if (quality > 0) compressAsJpeg(dst, quality);
}

void VirtualCamera::prepareLensMaps() {
    const int W = opts.width, H = opts.height;
    if (vignette.size() == static_cast<size_t>(W) * H) return;
    cornerRays.resize(static_cast<size_t>(W + 1) * (H + 1) * 2);
    centreRays.resize(static_cast<size_t>(W) * H * 2);
    vignette.resize(static_cast<size_t>(W) * H);
    double col, row;
    for (int r = 0; r <= H; ++r)
        for (int c = 0; c <= W; ++c) {
            // Pixel corners lie half a pixel before the centres (docs/conventions.md, "Pixel coordinates").
            toIdeal(c - 0.5, r - 0.5, col, row);
            cornerRays[2 * (static_cast<size_t>(r) * (W + 1) + c)] = static_cast<float>(col);
            cornerRays[2 * (static_cast<size_t>(r) * (W + 1) + c) + 1] = static_cast<float>(row);
        }
    for (int r = 0; r < H; ++r)
        for (int c = 0; c < W; ++c) {
            toIdeal(c, r, col, row);
            const size_t k = static_cast<size_t>(r) * W + c;
            centreRays[2 * k] = static_cast<float>(col), centreRays[2 * k + 1] = static_cast<float>(row);
            vignette[k] = opts.lens ? static_cast<float>(lensLightFraction(lens, col, row)) : 1.0f;
        }
}

void VirtualCamera::shadeScene(const CameraPose& framePose, double frame) {
    const int W = opts.width, H = opts.height;
    const CameraIntrinsics camera = intrinsics();
    const bool rolling = opts.shutter > 0 && !std::isnan(frame) && !opts.still && !opts.fixedView;
    const bool curled = opts.curl > 0;
    // Through a lens, or onto a curled sheet, each pixel corner is looked at on its own; a flat
    // sheet through a pinhole is cut along rows (cornerRegions).
    const bool perCorner = opts.lens || camera.distorted() || curled;
    const Palette palette(opts);
    const bool shadow = opts.shadow < 1.0;
    radiance.resize(frameBytes());
    region.resize(2 * static_cast<size_t>(W + 1));
    lampRow.resize(W), woodRow.resize(W);
    if (perCorner) prepareLensMaps();
    const double cx = camera.cx, cy = camera.cy;

    // The view of the rows being shaded: with a rolling shutter each row has its own pose.
    CameraPose pose = framePose;
    PlaneMap map(pose, camera.fx, camera.fy);
    double centre[3] = {0, 0, 0};  // the camera's centre in the world, -R' T
    auto setCentre = [&] {
        for (int i = 0; i < 3; ++i) centre[i] = -(pose.R[i] * pose.T[0] + pose.R[3 + i] * pose.T[1] + pose.R[6 + i] * pose.T[2]);
    };
    setCentre();
    auto viewRow = [&](double row) {
        if (!rolling) return;
        pose = rowPose(framePose, frame, row), map = PlaneMap(pose, camera.fx, camera.fy);
        setCentre();
    };
    // Ideal (undistorted) pixel position to sheet point and region; off the sheet, the desk.
    auto lookAt = [&](double col, double row, double& X, double& Y) {
        if (curled) {
            // The ray through the pixel in world coordinates, d = R' (x / fx, y / fy, 1), meets the
            // curled sheet; the print is taken at the point's X and Y (along the bent sheet it
            // lies 0.2 mm further out at the target's corners with 14 mm of curl).
            const double x = (col - cx) / camera.fx, y = (row - cy) / camera.fy;
            double d[3], s;
            for (int i = 0; i < 3; ++i) d[i] = pose.R[i] * x + pose.R[3 + i] * y + pose.R[6 + i];
            if (intersectCurledSheet(opts.curl, centre, d, s)) {
                X = centre[0] + s * d[0], Y = centre[1] + s * d[1];
                if (std::fabs(X) <= kSheetHalfX && std::fabs(Y) <= kSheetHalfY) return regionAt(X, Y, opts.clutter, shadow);
            }
            // Past the sheet: the desk, also where it lies under the lifted sheet.
            if (!map.toPlane(col - cx, row - cy, X, Y)) X = Y = 1e6;
            return shadow && X > kShadowFromX ? kDesk + kShadowed : static_cast<int>(kDesk);
        }
        if (map.toPlane(col - cx, row - cy, X, Y)) return regionAt(X, Y, opts.clutter, shadow);
        X = Y = 1e6;
        return static_cast<int>(kDesk);
    };
    // The row of an image line y (centred) as the plane map runs along it.
    auto lineAt = [&](double x0, double y) {
        return PlaneLine{map.m[0] * x0 + map.m[1] * y + map.m[2], map.m[0], map.m[3] * x0 + map.m[4] * y + map.m[5],
                         map.m[3], map.m[6] * x0 + map.m[7] * y + map.m[8], map.m[6]};
    };
    // One row of pixel corners (corner row r lies at row r - 0.5), into slot r % 2.
    auto cornerRow = [&](int r) {
        viewRow(r - 0.5);
        uint8_t* reg = &region[static_cast<size_t>(W + 1) * (r % 2)];
        if (!perCorner) return cornerRegions(lineAt(-0.5 - cx, r - 0.5 - cy), map, W + 1, opts.clutter, shadow, reg);
        for (int c = 0; c <= W; ++c) {
            const float* ray = &cornerRays[2 * (static_cast<size_t>(r) * (W + 1) + c)];
            double X, Y;
            reg[c] = static_cast<uint8_t>(lookAt(ray[0], ray[1], X, Y));
        }
    };
    // The light at each pixel centre of row r: the lamp, and the lamp with the desk's grain.
    auto lightRow = [&](int r) {
        viewRow(r);
        if (!perCorner) return centreLights(lineAt(-cx, r - cy), W, lampRow.data(), woodRow.data());
        for (int c = 0; c < W; ++c) {
            const float* ray = &centreRays[2 * (static_cast<size_t>(r) * W + c)];
            double X, Y;
            lookAt(ray[0], ray[1], X, Y);
            lampRow[c] = Palette::lamp(static_cast<float>(X), static_cast<float>(Y));
            woodRow[c] = lampRow[c] * Palette::wood(static_cast<float>(X), static_cast<float>(Y));
        }
    };

    constexpr int kSub = 4;
    cornerRow(0);
    for (int r = 0; r < H; ++r) {
        cornerRow(r + 1);
        lightRow(r);
        const uint8_t* top = &region[static_cast<size_t>(W + 1) * (r % 2)];
        const uint8_t* bottom = &region[static_cast<size_t>(W + 1) * ((r + 1) % 2)];
        float* out = &radiance[3 * static_cast<size_t>(r) * W];
        for (int c = 0; c < W; ++c, out += 3) {
            const int code = top[c];
            if (code == top[c + 1] && code == bottom[c] && code == bottom[c + 1]) {
                // No edge in the pixel: its region's colour in the light at its centre.
                const float gain = palette.grain[code] > 0 ? woodRow[c] : lampRow[c];
                const float* colour = palette.lit[code];
                out[0] = colour[0] * gain, out[1] = colour[1] * gain, out[2] = colour[2] * gain;
            } else {
                // An edge crosses this pixel: the mean of a 4 x 4 grid of samples' colours, in the
                // light at its centre (the light changes little across a pixel; only the region
                // does).
                float sum[3] = {0, 0, 0};
                for (int i = 0; i < kSub; ++i)
                    for (int j = 0; j < kSub; ++j) {
                        double col = c - 0.5 + (j + 0.5) / kSub, row = r - 0.5 + (i + 0.5) / kSub, X, Y;
                        if (perCorner) toIdeal(col, row, col, row);
                        const int sample = lookAt(col, row, X, Y);
                        const float gain = palette.grain[sample] > 0 ? woodRow[c] : lampRow[c];
                        for (int ch = 0; ch < 3; ++ch) sum[ch] += palette.lit[sample][ch] * gain;
                    }
                for (int ch = 0; ch < 3; ++ch) out[ch] = sum[ch] / (kSub * kSub);
            }
        }
        if (opts.lens) {
            float* row = &radiance[3 * static_cast<size_t>(r) * W];
            const float* gain = &vignette[static_cast<size_t>(r) * W];
            for (int c = 0; c < W; ++c)
                for (int ch = 0; ch < 3; ++ch) row[3 * c + ch] *= gain[c];
        }
    }
}

void VirtualCamera::paintGlare(const CameraPose& pose, double frame) {
    if (!(opts.glare > 0)) return;
    // The lamp's reflection wanders over the target as the camera moves (a slow figure of eight
    // over the whole print, its border and its hole). Near its middle the spot is drawn as the
    // sheet maps it: the image positions one spot radius along X and Y give the local Jacobian J,
    // and a pixel q lies at u = J^-1 (q - p0) spot radii from the middle.
    const double t = frame / 30.0;
    const double X0 = 80.0 * std::sin(2 * kPi * t / 6.1), Y0 = 68.0 * std::sin(2 * kPi * t / 4.3 + 1.0);
    double p0[2], px[2], py[2], ideal[2];
    if (!imageOf(pose, X0, Y0, p0[0], p0[1], ideal[0], ideal[1]) ||
        !imageOf(pose, X0 + kGlareRadiusMm, Y0, px[0], px[1], ideal[0], ideal[1]) ||
        !imageOf(pose, X0, Y0 + kGlareRadiusMm, py[0], py[1], ideal[0], ideal[1]))
        return;
    const double J[4] = {px[0] - p0[0], py[0] - p0[0], px[1] - p0[1], py[1] - p0[1]};  // (col, row) per radius
    const double det = J[0] * J[3] - J[1] * J[2];
    if (!(std::fabs(det) > 1e-9)) return;
    const double reach = 3.5 * (std::hypot(J[0], J[2]) + std::hypot(J[1], J[3]));
    const int c0 = std::max(0, static_cast<int>(p0[0] - reach)), c1 = std::min(opts.width - 1, static_cast<int>(p0[0] + reach) + 1);
    const int r0 = std::max(0, static_cast<int>(p0[1] - reach)), r1 = std::min(opts.height - 1, static_cast<int>(p0[1] + reach) + 1);
    const float peak = static_cast<float>(opts.glare * kGlarePeak);
    for (int r = r0; r <= r1; ++r)
        for (int c = c0; c <= c1; ++c) {
            const double dc = c - p0[0], dr = r - p0[1];
            const double ux = (J[3] * dc - J[1] * dr) / det, uy = (-J[2] * dc + J[0] * dr) / det;
            const double d2 = ux * ux + uy * uy;
            if (d2 > 12.25) continue;
            const float add = peak * static_cast<float>(std::exp(-0.5 * d2));
            float* p = &radiance[3 * (static_cast<size_t>(r) * opts.width + c)];
            p[0] += add, p[1] += add, p[2] += add;
        }
}

void VirtualCamera::paintHand(const CameraPose& pose) {
    if (opts.hand < 0 || opts.hand > 3) return;
    // A hand reaching in over outer corner K: a grey blob, its long axis pointing from the
    // target's middle through the corner, sized with the target in the picture (40 x 68 pixels
    // on a target 200 pixels across the diagonal), its middle a little outside the corner, so
    // that it hides the corner and the ends of its two sides but not the hole.
    const VirtualFrameTruth truth = truthFor(pose);
    const auto& corner = truth.imagePoints[5 + opts.hand];
    const auto& centre = truth.imagePoints[9];
    const auto& opposite = truth.imagePoints[5 + (opts.hand + 2) % 4];
    const double diagonal = std::hypot(corner[0] - opposite[0], corner[1] - opposite[1]);
    const double a = 0.1 * diagonal, b = 0.17 * diagonal;  // semi-axes across and along
    double ur = corner[0] - centre[0], uc = corner[1] - centre[1];
    const double len = std::hypot(ur, uc);
    if (!(len > 0) || !(diagonal > 0)) return;
    ur /= len, uc /= len;
    const double mr = corner[0] + 0.35 * b * ur, mc = corner[1] + 0.35 * b * uc;
    const int r0 = std::max(0, static_cast<int>(mr - b - 2)), r1 = std::min(opts.height - 1, static_cast<int>(mr + b + 2));
    const int c0 = std::max(0, static_cast<int>(mc - b - 2)), c1 = std::min(opts.width - 1, static_cast<int>(mc + b + 2));
    for (int r = r0; r <= r1; ++r)
        for (int c = c0; c <= c1; ++c) {
            const double along = (r - mr) * ur + (c - mc) * uc, across = -(r - mr) * uc + (c - mc) * ur;
            const double s = std::hypot(along / b, across / a);
            // About a pixel of soft edge, as a real hand out of focus shows.
            const float cover = static_cast<float>(std::clamp((1.0 - s) * a + 0.5, 0.0, 1.0));
            if (cover <= 0) continue;
            float* p = &radiance[3 * (static_cast<size_t>(r) * opts.width + c)];
            for (int ch = 0; ch < 3; ++ch) p[ch] += cover * (150.0f - p[ch]);
        }
}

void VirtualCamera::applyBlur() {
    const int W = opts.width, H = opts.height;
    const int radius = std::max(1, static_cast<int>(std::ceil(3.0 * opts.blur)));
    std::vector<float> kernel(2 * radius + 1);
    float total = 0.0f;
    for (int i = -radius; i <= radius; ++i)
        total += kernel[i + radius] = static_cast<float>(std::exp(-0.5 * i * i / (opts.blur * opts.blur)));
    for (float& k : kernel) k /= total;

    // Rows into scratch, then columns back; the border pixel is repeated past the edge.
    scratch.assign(radiance.size(), 0.0f);
    const size_t stride = static_cast<size_t>(W) * 3;
    for (int r = 0; r < H; ++r) {
        const float* in = &radiance[r * stride];
        float* out = &scratch[r * stride];
        for (int c = 0; c < W; ++c)
            for (int i = -radius; i <= radius; ++i) {
                const float* p = in + 3 * std::clamp(c + i, 0, W - 1);
                const float w = kernel[i + radius];
                out[3 * c] += w * p[0], out[3 * c + 1] += w * p[1], out[3 * c + 2] += w * p[2];
            }
    }
    std::fill(radiance.begin(), radiance.end(), 0.0f);
    for (int r = 0; r < H; ++r) {
        float* out = &radiance[r * stride];
        for (int i = -radius; i <= radius; ++i) {
            const float* in = &scratch[std::clamp(r + i, 0, H - 1) * stride];
            const float w = kernel[i + radius];
            for (size_t x = 0; x < stride; ++x) out[x] += w * in[x];
        }
    }
}

void VirtualCamera::applyLightGradient() {
    const int W = opts.width, H = opts.height;
    const bool gradient = opts.lightLeft != 1.0 || opts.lightRight != 1.0;
    if (gradient && columnLight.size() != static_cast<size_t>(W)) {
        columnLight.resize(W);
        for (int c = 0; c < W; ++c)
            columnLight[c] = static_cast<float>(opts.lightLeft + (opts.lightRight - opts.lightLeft) * c / std::max(1, W - 1));
    }
    if (gradient)
        for (int r = 0; r < H; ++r) {
            float* row = &radiance[3 * static_cast<size_t>(r) * W];
            for (int c = 0; c < W; ++c)
                for (int ch = 0; ch < 3; ++ch) row[3 * c + ch] *= columnLight[c];
        }
}

void VirtualCamera::quantise(int noiseFrame, unsigned char* dst) {
    const size_t n = radiance.size();
    const float* in = radiance.data();
    if (opts.noise > 0) {
        const float* normals = normalTable();
        const float sigma = static_cast<float>(opts.noise);
        NoiseSource noise(opts.seed, noiseFrame);
        for (size_t i = 0; i < n; i += 5) {
            uint64_t bits = noise.next();
            for (size_t k = i; k < i + 5 && k < n; ++k, bits >>= 12)
                dst[k] = static_cast<unsigned char>(std::clamp(in[k] + sigma * normals[bits & 4095] + 0.5f, 0.0f, 255.0f));
        }
        return;
    }
    for (size_t i = 0; i < n; ++i) {
        // Through int, so that the compiler converts whole vectors (a float's own conversion to
        // a byte is one at a time).
        const int v = static_cast<int>(in[i] + 0.5f);
        dst[i] = static_cast<unsigned char>(v < 0 ? 0 : v > 255 ? 255 : v);
    }
}

void VirtualCamera::compressAsJpeg([[maybe_unused]] unsigned char* frame, [[maybe_unused]] int quality) {
#ifndef TOVRAK_NO_JPEG
    // Our own frame of our own size always codes; should libjpeg fail all the same, the frame
    // keeps what it has (as rendered, or decoded up to the failure), and the process goes on.
    JpegInfo info;
    if (encodeJpeg(frame, opts.width, opts.height, ChannelOrder::Bgr, quality, jpegBuffer))
        (void)decodeJpeg(jpegBuffer.data(), jpegBuffer.size(), ChannelOrder::Bgr, UINT64_MAX, info, frame, frameBytes());
#endif
}
