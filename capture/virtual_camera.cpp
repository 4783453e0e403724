#include "capture/virtual_camera.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "capture/capture.h"

namespace {

enum Region : uint8_t { kDesk = 0, kPaper = 1, kInk = 2 };

// Two dark rectangles on the sheet's margins, left and right of the target, for the clutter
// scene: lone rectangles that must not be taken for the target.
constexpr double kClutterRects[2][4] = {{105, 135, -50, 30}, {-135, -110, 10, 70}};  // X0 X1 Y0 Y1

Region regionAt(double X, double Y, bool clutter) {
    const double ax = std::fabs(X), ay = std::fabs(Y);
    if (ax > kSheetHalfX || ay > kSheetHalfY) return kDesk;
    if (clutter)
        for (const auto& r : kClutterRects)
            if (X > r[0] && X < r[1] && Y > r[2] && Y < r[3]) return kInk;
    if (ax > kTargetOuterHalfX || ay > kTargetOuterHalfY) return kPaper;
    if (X > kTargetInnerMinX && X < kTargetInnerMaxX && Y > kTargetInnerMinY && Y < kTargetInnerMaxY)
        return kPaper;
    return kInk;
}

// Light from a lamp off to one side: a gentle fall-off across the desk.
double illumination(double X, double Y) {
    const double dx = X - 120.0, dy = Y + 90.0;
    return 1.0 - 0.10 * (dx * dx + dy * dy) / (500.0 * 500.0);
}

// Colours in B, G, R. The desk is light (a plain table top with a faint grain) so that the
// sheet's own edge stays far below the edge detector's threshold: only the target is seen.
void shade(Region region, double X, double Y, bool darkDesk, float bgr[3]) {
    static const float kPaperColour[3] = {232.0f, 238.0f, 242.0f};
    static const float kInkColour[3] = {38.0f, 34.0f, 32.0f};
    static const float kDeskColour[3] = {170.0f, 192.0f, 208.0f};
    static const float kDarkDeskColour[3] = {52.0f, 60.0f, 74.0f};  // a dark wooden table
    double gain = illumination(X, Y);
    const float* base = kPaperColour;
    if (region == kInk) {
        base = kInkColour;
    } else if (region == kDesk) {
        base = darkDesk ? kDarkDeskColour : kDeskColour;
        gain *= 1.0 + 0.035 * std::sin(X / 6.0 + 1.7 * std::sin(Y / 45.0));
    }
    for (int ch = 0; ch < 3; ++ch) bgr[ch] = static_cast<float>(base[ch] * gain);
}

// Image-to-plane mapping of one pose: the inverse of the plane-to-image homography.
struct PlaneMap {
    double m[9];
    double r31, r32, tz;

    PlaneMap(const CameraPose& p, double f) : r31(p.R[6]), r32(p.R[7]), tz(p.T[2]) {
        const double h[9] = {f * p.R[0], f * p.R[1], f * p.T[0], f * p.R[3], f * p.R[4],
                             f * p.T[1], p.R[6],     p.R[7],     p.T[2]};
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
    // Sum of four uniforms from one draw: close enough to a unit normal for sensor noise.
    double normal() {
        uint64_t z = (state += 0x9e3779b97f4a7c15ull);
        z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ull;
        z = (z ^ (z >> 27)) * 0x94d049bb133111ebull;
        z ^= z >> 31;
        const double sum = static_cast<double>((z & 0xffff) + ((z >> 16) & 0xffff) + ((z >> 32) & 0xffff) + (z >> 48));
        return (sum / 65536.0 - 2.0) * 1.7320508;
    }
};

}  // namespace

VirtualCamera::VirtualCamera(const VirtualCameraOptions& options)
    : opts(options), lens(options.width, options.height) {}

void VirtualCamera::setSize(int width, int height) {
    opts.width = width;
    opts.height = height;
    lens = LensModel(width, height);
}

CameraPose VirtualCamera::poseOf(int n) const {
    if (opts.fixedView) return lookAtPose(0, 0, opts.distance, opts.tilt, opts.azimuth, opts.roll);
    const int frame = opts.still ? opts.start : opts.start + n;
    return opts.upright ? uprightTrajectoryPose(frame) : trajectoryPose(frame);
}

VirtualFrameTruth VirtualCamera::truthOf(int n) const { return truthFor(poseOf(n)); }

VirtualFrameTruth VirtualCamera::truthFor(const CameraPose& pose) const {
    VirtualFrameTruth truth;
    truth.pose = pose;
    truth.focalLength = virtualFocalLength(opts.width);
    const auto model = targetModelPoints();
    bool visible = true, visibleCorrected = true;
    auto inside = [&](double c, double r) { return c >= 3 && r >= 3 && c <= opts.width - 4 && r <= opts.height - 4; };
    for (int i = 0; i < 10; ++i) {
        double col = -1e9, row = -1e9;
        const bool inFront = projectPoint(pose, truth.focalLength, opts.width, opts.height,
                                          model[i][0], model[i][1], col, row);
        truth.idealPoints[i] = {row, col};
        double dcol = col, drow = row;
        if (opts.lens && inFront) lens.distort(col, row, dcol, drow);
        truth.imagePoints[i] = {drow, dcol};
        const bool corner = i != 4 && i != 9;
        if (corner && (!inFront || !inside(dcol, drow))) visible = false;
        if (corner && (!inFront || !inside(col, row))) visibleCorrected = false;
    }
    truth.wholeTargetVisible = visible;
    truth.wholeTargetVisibleCorrected = visibleCorrected;
    return truth;
}

void VirtualCamera::render(int n, unsigned char* dst) { renderPose(poseOf(n), n, dst); }

void VirtualCamera::renderPose(const CameraPose& pose, int noiseFrame, unsigned char* dst) {
    shadeScene(pose);
    if (opts.blur > 0.0) applyBlur();
    quantise(noiseFrame, dst);
}

void VirtualCamera::prepareLensMaps() {
    const int W = opts.width, H = opts.height;
    if (centreRays.size() == static_cast<size_t>(W) * H * 2) return;
    cornerRays.resize(static_cast<size_t>(W + 1) * (H + 1) * 2);
    centreRays.resize(static_cast<size_t>(W) * H * 2);
    vignette.resize(static_cast<size_t>(W) * H);
    double col, row;
    for (int r = 0; r <= H; ++r)
        for (int c = 0; c <= W; ++c) {
            // Pixel corners lie half a pixel before the centres (docs/conventions.md, "Pixel coordinates").
            lens.undistort(c - 0.5, r - 0.5, col, row);
            cornerRays[2 * (static_cast<size_t>(r) * (W + 1) + c)] = static_cast<float>(col);
            cornerRays[2 * (static_cast<size_t>(r) * (W + 1) + c) + 1] = static_cast<float>(row);
        }
    for (int r = 0; r < H; ++r)
        for (int c = 0; c < W; ++c) {
            lens.undistort(c, r, col, row);
            const size_t k = static_cast<size_t>(r) * W + c;
            centreRays[2 * k] = static_cast<float>(col);
            centreRays[2 * k + 1] = static_cast<float>(row);
            vignette[k] = static_cast<float>(lens.vignetting(col, row));
        }
}

void VirtualCamera::shadeScene(const CameraPose& pose) {
    const int W = opts.width, H = opts.height;
    const PlaneMap map(pose, virtualFocalLength(W));
    radiance.resize(static_cast<size_t>(W) * H * 3);
    region.resize(static_cast<size_t>(W + 1) * (H + 1));
    if (opts.lens) prepareLensMaps();

    // Ideal (undistorted) pixel position to plane point.
    auto lookAt = [&](double col, double row, double& X, double& Y) {
        if (map.toPlane(col - W / 2.0, row - H / 2.0, X, Y)) return regionAt(X, Y, opts.clutter);
        X = Y = 1e6;
        return kDesk;
    };
    // Frame position to plane point, through the lens.
    auto sample = [&](double col, double row, double& X, double& Y) {
        if (opts.lens) lens.undistort(col, row, col, row);
        return lookAt(col, row, X, Y);
    };

    double X = 0.0, Y = 0.0;
    for (int r = 0; r <= H; ++r)
        for (int c = 0; c <= W; ++c) {
            const size_t k = static_cast<size_t>(r) * (W + 1) + c;
            region[k] = opts.lens ? lookAt(cornerRays[2 * k], cornerRays[2 * k + 1], X, Y) : lookAt(c - 0.5, r - 0.5, X, Y);
        }

    constexpr int kSub = 4;
    for (int r = 0; r < H; ++r) {
        for (int c = 0; c < W; ++c) {
            const size_t k = static_cast<size_t>(r) * W + c;
            const uint8_t* top = &region[static_cast<size_t>(r) * (W + 1) + c];
            const uint8_t* bottom = top + (W + 1);
            float* out = &radiance[k * 3];
            float bgr[3];
            if (top[0] == top[1] && top[0] == bottom[0] && top[0] == bottom[1]) {
                const Region reg = opts.lens ? lookAt(centreRays[2 * k], centreRays[2 * k + 1], X, Y) : lookAt(c, r, X, Y);
                shade(reg, X, Y, opts.clutter, bgr);
                out[0] = bgr[0], out[1] = bgr[1], out[2] = bgr[2];
            } else {
                // An edge crosses this pixel: average a 4 x 4 grid of samples.
                float sum[3] = {0, 0, 0};
                for (int i = 0; i < kSub; ++i) {
                    for (int j = 0; j < kSub; ++j) {
                        const Region reg = sample(c - 0.5 + (j + 0.5) / kSub, r - 0.5 + (i + 0.5) / kSub, X, Y);
                        shade(reg, X, Y, opts.clutter, bgr);
                        for (int ch = 0; ch < 3; ++ch) sum[ch] += bgr[ch];
                    }
                }
                for (int ch = 0; ch < 3; ++ch) out[ch] = sum[ch] / (kSub * kSub);
            }
            if (opts.lens)
                for (int ch = 0; ch < 3; ++ch) out[ch] *= vignette[k];
        }
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

void VirtualCamera::quantise(int noiseFrame, unsigned char* dst) const {
    NoiseSource noise(opts.seed, noiseFrame);
    const bool noisy = opts.noise > 0.0;
    for (size_t i = 0; i < radiance.size(); ++i) {
        double v = radiance[i];
        if (noisy) v += opts.noise * noise.normal();
        dst[i] = static_cast<unsigned char>(std::clamp(std::lround(v), 0L, 255L));
    }
}

bool parseVirtualCameraOptions(const std::string& text, VirtualCameraOptions& o, std::string& error) {
    size_t pos = 0;
    while (pos < text.size()) {
        size_t end = text.find(',', pos);
        if (end == std::string::npos) end = text.size();
        const std::string item = text.substr(pos, end - pos);
        pos = end + 1;
        if (item.empty()) continue;
        const size_t eq = item.find('=');
        const std::string key = item.substr(0, eq);
        const std::string value = eq == std::string::npos ? "1" : item.substr(eq + 1);
        char* rest = nullptr;
        const double number = std::strtod(value.c_str(), &rest);
        const bool numeric = !value.empty() && rest && *rest == '\0' && std::isfinite(number);
        if (key == "size") {
            int w = 0, h = 0;
            if (!parseFrameSize(value, w, h) || w > 4096 || h > 4096) {
                error = "size must be WIDTHxHEIGHT between 16 and 4096, got '" + value + "'";
                return false;
            }
            o.width = w;
            o.height = h;
        } else if (!numeric) {
            error = "option '" + key + "' needs a number, got '" + value + "'";
            return false;
        } else if (key == "noise" && number >= 0) {
            o.noise = number;
        } else if (key == "blur" && number >= 0 && number <= 20) {
            o.blur = number;
        } else if (key == "lens") {
            o.lens = number != 0;
        } else if (key == "seed" && number >= 0 && number <= 4294967295.0) {
            o.seed = static_cast<uint32_t>(number);
        } else if (key == "still") {
            o.still = number != 0;
        } else if (key == "upright") {
            o.upright = number != 0;
        } else if (key == "clutter") {
            o.clutter = number != 0;
        } else if (key == "start" && number >= 0 && number <= 1e9) {
            o.start = static_cast<int>(number);
        } else if (key == "fps" && (number == 0 || (number >= 0.1 && number <= 1000))) {
            o.fps = number;
        } else if ((key == "tilt" && number >= 0 && number <= 80) || (key == "azimuth" || key == "roll")) {
            o.fixedView = true;
            (key == "tilt" ? o.tilt : key == "azimuth" ? o.azimuth : o.roll) = number;
        } else if (key == "distance" && number >= 100 && number <= 5000) {
            o.fixedView = true;
            o.distance = number;
        } else if (key == "noise" || key == "blur" || key == "seed" || key == "start" || key == "fps" || key == "tilt" ||
                   key == "distance") {
            error = "option '" + key + "' is out of range: '" + value + "'";
            return false;
        } else {
            error = "unknown virtual camera option '" + key +
                    "' (known: size, noise, blur, lens, seed, still, upright, clutter, start, fps, tilt, azimuth, roll, "
                    "distance)";
            return false;
        }
    }
    return true;
}
