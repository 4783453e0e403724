#include "capture/virtual_camera.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "camera/matrix.h"
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

// splitmix64: a tiny counter-style generator, so a frame's noise depends only on seed and frame.
struct NoiseSource {
    uint64_t state;
    NoiseSource(uint32_t seed, int frame)
        : state((static_cast<uint64_t>(seed) << 32) ^ static_cast<uint32_t>(frame) ^ 0x5bd1e995u) {}
    uint64_t next() {
        uint64_t z = (state += 0x9e3779b97f4a7c15ull);
        z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ull;
        z = (z ^ (z >> 27)) * 0x94d049bb133111ebull;
        return z ^ (z >> 31);
    }
};

// 4096 draws of a unit normal, made once: a frame's noise picks from them with 12 bits of the
// generator each, five picks a draw, which is what keeps a noisy frame cheap.
const float* normalTable() {
    static const std::vector<float> table = [] {
        std::vector<float> t(4096);
        NoiseSource source(0x7a11, 0);
        for (size_t i = 0; i < t.size(); i += 2) {
            const double u1 = (static_cast<double>(source.next() >> 11) + 0.5) / 9007199254740992.0;
            const double u2 = static_cast<double>(source.next() >> 11) / 9007199254740992.0;
            const double r = std::sqrt(-2.0 * std::log(u1));
            t[i] = static_cast<float>(r * std::cos(2 * kPi * u2));
            t[i + 1] = static_cast<float>(r * std::sin(2 * kPi * u2));
        }
        return t;
    }();
    return table.data();
}

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
    if (opts.fixedView) return lookAtPose(0, 0, opts.distance, opts.tilt, opts.azimuth, opts.roll);
    return pathPose(opts.path, frame);
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

VirtualFrameTruth VirtualCamera::truthFor(const CameraPose& pose) const {
    VirtualFrameTruth truth;
    truth.pose = pose;
    const CameraIntrinsics camera = intrinsics();
    truth.focalLength = camera.fx;
    const auto model = targetModelPoints();
    bool visible = true, visibleCorrected = true;
    auto inside = [&](double c, double r) { return c >= 3 && r >= 3 && c <= opts.width - 4 && r <= opts.height - 4; };
    for (int i = 0; i < 10; ++i) {
        const double X = model[i][0], Y = model[i][1];
        double P[3];
        planePointToCamera(pose.R, pose.T, X, Y, P);
        const double Xc = P[0], Yc = P[1], Zc = P[2];
        // The ideal point: through the undistorted camera; the image point: through the lens.
        double col = -1e9, row = -1e9, dcol = -1e9, drow = -1e9;
        const bool inFront = Zc > 1e-9;
        if (inFront) {
            col = camera.cx + camera.fx * Xc / Zc, row = camera.cy + camera.fy * Yc / Zc;
            projectToPixel(camera, Xc, Yc, Zc, dcol, drow);
            if (opts.lens) distortedPosition(lens, col, row, dcol, drow);
        }
        truth.idealPoints[i] = {row, col};
        truth.imagePoints[i] = {drow, dcol};
        const bool corner = i != 4 && i != 9;
        if (corner && (!inFront || !inside(dcol, drow))) visible = false;
        if (corner && (!inFront || !inside(col, row))) visibleCorrected = false;
    }
    truth.wholeTargetVisible = visible;
    truth.wholeTargetVisibleCorrected = visibleCorrected;
    return truth;
}

void VirtualCamera::render(int n, unsigned char* dst) {
    if (opts.motion <= 0 || opts.still || opts.fixedView) return renderPose(poseOf(n), n, dst);
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
        const CameraPose pose = poseAt(middle + span * ((k + 0.5) / subFrames - 0.5));
        shadeScene(pose);
        paintHand(pose);
        for (size_t i = 0; i < scratch.size(); ++i) scratch[i] += radiance[i];
    }
    for (size_t i = 0; i < scratch.size(); ++i) radiance[i] = scratch[i] / subFrames;
    if (opts.blur > 0.0) applyBlur();
    quantise(n, dst);
    if (opts.jpeg > 0) compressAsJpeg(dst);
}

void VirtualCamera::renderPose(const CameraPose& pose, int noiseFrame, unsigned char* dst) {
    shadeScene(pose);
    paintHand(pose);
    if (opts.blur > 0.0) applyBlur();
    quantise(noiseFrame, dst);
    if (opts.jpeg > 0) compressAsJpeg(dst);
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

void VirtualCamera::shadeScene(const CameraPose& pose) {
    const int W = opts.width, H = opts.height;
    const CameraIntrinsics camera = intrinsics();
    const PlaneMap map(pose, camera.fx, camera.fy);
    const bool throughLens = opts.lens || camera.distorted();
    const Palette palette(opts);
    const bool shadow = opts.shadow < 1.0;
    radiance.resize(frameBytes());
    region.resize(2 * static_cast<size_t>(W + 1));
    lampRow.resize(W), woodRow.resize(W);
    if (throughLens) prepareLensMaps();
    const double cx = camera.cx, cy = camera.cy;

    // Ideal (undistorted) pixel position to plane point and region; off the plane, the desk.
    auto lookAt = [&](double col, double row, double& X, double& Y) {
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
        uint8_t* reg = &region[static_cast<size_t>(W + 1) * (r % 2)];
        if (!throughLens) return cornerRegions(lineAt(-0.5 - cx, r - 0.5 - cy), map, W + 1, opts.clutter, shadow, reg);
        for (int c = 0; c <= W; ++c) {
            const float* ray = &cornerRays[2 * (static_cast<size_t>(r) * (W + 1) + c)];
            double X, Y;
            reg[c] = static_cast<uint8_t>(lookAt(ray[0], ray[1], X, Y));
        }
    };
    // The light at each pixel centre of row r: the lamp, and the lamp with the desk's grain.
    auto lightRow = [&](int r) {
        if (!throughLens) return centreLights(lineAt(-cx, r - cy), W, lampRow.data(), woodRow.data());
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
                        if (throughLens) toIdeal(col, row, col, row);
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

void VirtualCamera::quantise(int noiseFrame, unsigned char* dst) {
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

void VirtualCamera::compressAsJpeg([[maybe_unused]] unsigned char* frame) {
#ifndef TOVRAK_NO_JPEG
    // Our own frame of our own size always codes; should libjpeg fail all the same, the frame
    // keeps what it has (as rendered, or decoded up to the failure), and the process goes on.
    JpegInfo info;
    if (encodeJpeg(frame, opts.width, opts.height, ChannelOrder::Bgr, opts.jpeg, jpegBuffer))
        (void)decodeJpeg(jpegBuffer.data(), jpegBuffer.size(), ChannelOrder::Bgr, UINT64_MAX, info, frame, frameBytes());
#endif
}
