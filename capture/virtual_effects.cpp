#include "capture/virtual_effects.h"

#include <algorithm>
#include <cmath>

#include "camera/rolling_shutter.h"
#include "capture/virtual_camera.h"

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kPathFps = 30.0;  // the paths' frame rate (capture/virtual_scene.h)
constexpr double kMainsHz = 100.0;  // twice 50 Hz mains: lamps flicker at twice the supply
// A webcam without a rolling-shutter setting reads its rows over most of the frame interval.
constexpr double kDefaultReadOut = 0.9;
constexpr double kEncoding = 1.0 / 2.2;  // grey level = (linear light)^(1/2.2)
// Shot noise: variance in grey levels squared per grey level, some 4 levels at white.
constexpr float kShotVariance = 0.067f;
// The lamp's colour against the white balance (B, G, R): a warm tungsten cast.
constexpr float kWhiteBalance[3] = {0.80f, 1.0f, 1.12f};

}  // namespace

double curlLift(double curl, double X) {
    const double u = X / kSheetHalfX;
    return curl * u * u;
}

bool intersectCurledSheet(double curl, const double C[3], const double d[3], double& s) {
    // Z = -c X^2 with c = curl / halfX^2, along the ray: c dx^2 s^2 + (2 c Cx dx + dz) s + (Cz + c Cx^2) = 0.
    const double c = curl / (kSheetHalfX * kSheetHalfX);
    const double a = c * d[0] * d[0], b = 2 * c * C[0] * d[0] + d[2], k = C[2] + c * C[0] * C[0];
    if (std::fabs(a) < 1e-15) {
        if (b == 0) return false;
        s = -k / b;
        return s > 0;
    }
    const double disc = b * b - 4 * a * k;
    if (disc < 0) return false;
    // The two roots without cancellation; the nearer positive one is the surface the camera sees.
    const double q = -0.5 * (b + std::copysign(std::sqrt(disc), b));
    double r1 = q / a, r2 = q != 0 ? k / q : r1;
    if (r1 > r2) std::swap(r1, r2);
    s = r1 > 0 ? r1 : r2;
    return s > 0;
}

double exposureGain(const VirtualCameraOptions& o, int frame) {
    if (o.exposureLow == 1.0 && o.exposureHigh == 1.0) return 1.0;
    // In log gain: a swing of about a third of a second, overshooting as an auto-exposure does,
    // plus a jolt from frame to frame; clipped to the range.
    NoiseSource jolt(o.seed ^ 0xe7u, frame);
    const double u = static_cast<double>(jolt.next() >> 11) / 9007199254740992.0;
    const double swing = 0.8 * std::sin(2 * kPi * frame / 9.5) + 0.6 * (u - 0.5);
    const double mid = 0.5 * (std::log(o.exposureLow) + std::log(o.exposureHigh));
    const double half = 0.5 * (std::log(o.exposureHigh) - std::log(o.exposureLow));
    return std::exp(mid + half * std::clamp(swing, -1.0, 1.0));
}

void applyRowLight(const VirtualCameraOptions& o, int frame, int width, int height, float* bgr) {
    const double exposure = exposureGain(o, frame);
    if (exposure == 1.0 && o.flicker <= 0) return;
    const double readOut = o.shutter > 0 ? o.shutter : kDefaultReadOut;
    for (int r = 0; r < height; ++r) {
        double light = exposure;
        if (o.flicker > 0) {
            // The lamp's phase at the row's read time; 100 Hz against 30 frames a second drifts the
            // bands by a third of a cycle a frame.
            const double t = (frame + rowReadTime(readOut, height, r)) / kPathFps;
            light *= std::max(0.0, 1.0 + o.flicker * std::sin(2 * kPi * kMainsHz * t));
        }
        const float gain = static_cast<float>(std::pow(light, kEncoding));
        float* row = bgr + 3 * static_cast<size_t>(r) * width;
        for (int i = 0; i < 3 * width; ++i) row[i] *= gain;
    }
}

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

void sensorMosaic(const VirtualCameraOptions& o, int frame, const float* bgr, std::vector<float>& raw,
                  unsigned char* dst) {
    const int W = o.width, H = o.height;
    raw.resize(static_cast<size_t>(W) * H);
    // RGGB from the first row: channel (B 0, G 1, R 2) of the site at (r, c).
    auto site = [](int r, int c) { return (r & 1) == 0 ? ((c & 1) == 0 ? 2 : 1) : ((c & 1) == 0 ? 1 : 0); };
    const float* normals = normalTable();
    const float read = static_cast<float>(o.noise * o.noise);
    NoiseSource noise(o.seed, frame);
    uint64_t bits = 0;
    int left = 0;
    for (int r = 0; r < H; ++r)
        for (int c = 0; c < W; ++c) {
            const size_t k = static_cast<size_t>(r) * W + c;
            const int ch = site(r, c);
            const float v = std::max(0.0f, bgr[3 * k + ch] * kWhiteBalance[ch]);
            if (left == 0) bits = noise.next(), left = 5;
            const float sigma = std::sqrt(read + kShotVariance * v);
            raw[k] = std::clamp(v + sigma * normals[bits & 4095], 0.0f, 255.0f);
            bits >>= 12, --left;
        }
    // Bilinear demosaicing: each missing channel is the mean of its sites among the 3 x 3
    // neighbours (two or four of them), the frame's edge repeated.
    for (int r = 0; r < H; ++r)
        for (int c = 0; c < W; ++c) {
            float sum[3] = {0, 0, 0};
            int count[3] = {0, 0, 0};
            const int own = site(r, c);
            for (int dr = -1; dr <= 1; ++dr)
                for (int dc = -1; dc <= 1; ++dc) {
                    const int rr = std::clamp(r + dr, 0, H - 1), cc = std::clamp(c + dc, 0, W - 1);
                    const int ch = site(rr, cc);
                    if (ch == own && (dr || dc)) continue;
                    sum[ch] += raw[static_cast<size_t>(rr) * W + cc], ++count[ch];
                }
            unsigned char* out = dst + 3 * (static_cast<size_t>(r) * W + c);
            for (int ch = 0; ch < 3; ++ch)
                out[ch] = static_cast<unsigned char>(count[ch] ? sum[ch] / count[ch] + 0.5f : 0);
        }
}
