#include "camera/lens.h"

#include <algorithm>
#include <cmath>

#include "vision/tracker.h"

namespace {
constexpr float kRadial = static_cast<float>(kLensRadial);
constexpr float kLensFocal = 100.0f;
}  // namespace

LensParameters lensParameters(int width, int height) {
    LensParameters p;
    // The lens principal point, not the frame centre (docs/conventions.md, "Centring").
    p.ox = static_cast<int>(static_cast<float>(width) / 640.0f * 286.0f);
    p.oy = static_cast<int>(static_cast<float>(height) / 480.0f * 270.0f);
    p.sx = 640.0f / static_cast<float>(width) * 0.129f;
    p.sy = 480.0f / static_cast<float>(height) * 0.127f;
    p.f = kLensFocal;
    return p;
}

void distortedPosition(const LensParameters& p, double col, double row, double& dcol, double& drow) {
    const double dx = (col - p.ox) * p.sx, dy = (row - p.oy) * p.sy;
    const double s = 1.0 + kRadial * (dx * dx + dy * dy);
    dcol = s * dx / p.sx + p.ox - 0.5;
    drow = s * dy / p.sy + p.oy - 0.5;
}

void undistortedPosition(const LensParameters& p, double dcol, double drow, double& col, double& row) {
    const double tx = (dcol + 0.5 - p.ox) * p.sx, ty = (drow + 0.5 - p.oy) * p.sy;
    // rd = ru (1 + k ru^2) for the ideal radius ru, by Newton's method from ru = rd: four steps
    // reach double precision within the frame, where 1 + 3 k ru^2 stays near 1.
    const double rd = std::sqrt(tx * tx + ty * ty);
    double ru = rd;
    for (int i = 0; i < 4; ++i) ru -= (ru + kLensRadial * ru * ru * ru - rd) / (1.0 + 3.0 * kLensRadial * ru * ru);
    const double scale = rd > 0.0 ? ru / rd : 1.0;
    col = tx * scale / p.sx + p.ox;
    row = ty * scale / p.sy + p.oy;
}

double lensLightFraction(const LensParameters& p, double col, double row) {
    const double dx = (col - p.ox) * p.sx, dy = (row - p.oy) * p.sy;
    const double c = std::cos(std::atan2(kLensVignetting * std::sqrt(dx * dx + dy * dy), p.f));
    return c * c * c * c;
}

void printLensReport(const LensParameters& p, FILE* out) {
    std::fprintf(out, "\n\nParametros da camera Creative WebCam PRO:");
    std::fprintf(out, "\nox = %i", p.ox);
    std::fprintf(out, "\noy = %i", p.oy);
    std::fprintf(out, "\nsx = %f", p.sx);
    std::fprintf(out, "\nsy = %f", p.sy);
    std::fprintf(out, "\nf = %f", p.f);
    std::fflush(out);
}

void buildLensTables(Tracker& t) {
    const int W = t.width, H = t.height, n = W * H;
    if (W < 3 || H < 3) return;
    const LensParameters p = lensParameters(W, H);
    for (auto* v : {&t.lensIndex, &t.lensIndexX, &t.lensIndexY}) v->assign(n, 0);
    for (auto* v : {&t.lensGain, &t.lensWeight, &t.lensWeightX, &t.lensWeightY}) v->assign(n, 0.0f);
    // For each corrected pixel (r, q): its offset from the principal point on the sensor,
    // (dx, dy) mm, is seen at s (dx, dy) with s = 1 + k (dx^2 + dy^2); back in pixels that is
    // the source (xs, ys). The value is interpolated from the source's pixel and one neighbour
    // along each axis, on the side the fraction (xs mod 1 - 0.5, in thousandths) points to,
    // weighted by that fraction: a three-tap stand-in for bilinear interpolation. The gain
    // 1 / cos^4(theta), theta = atan(0.85 r / f), undoes the natural fall-off of the light.
    int k = 0;
    for (int r = 0; r < H; ++r) {
        for (int q = 0; q < W; ++q, ++k) {
            const float dx = static_cast<float>(q - p.ox) * p.sx;
            const float dy = static_cast<float>(r - p.oy) * p.sy;
            const float r2 = static_cast<float>(static_cast<double>(dx) * dx + static_cast<double>(dy) * dy);
            const float s = 1.0f + kRadial * r2;
            const float xs = s * dx / p.sx + static_cast<float>(p.ox);
            const float ys = s * dy / p.sy + static_cast<float>(p.oy);
            // For the 320 x 240 webcam format every sample already lies inside the frame; other
            // sizes are kept inside so that no table entry points past it.
            const int ix = std::clamp(static_cast<int>(xs), 1, W - 2);
            const int iy = std::clamp(static_cast<int>(ys), 1, H - 2);
            const int fx = static_cast<int>(xs * 1000.0f) % 1000 - 500;
            const int fy = static_cast<int>(ys * 1000.0f) % 1000 - 500;
            if (fx >= 0) {
                t.lensIndexX[k] = (ix + 1 + W * iy) * 3;
                t.lensWeightX[k] = static_cast<float>(fx) / 1000.0f;
            } else {
                t.lensIndexX[k] = (ix - 1 + W * iy) * 3;
                t.lensWeightX[k] = static_cast<float>(-fx) / 1000.0f;
            }
            if (fy >= 0) {
                t.lensIndexY[k] = (ix + W * (iy + 1)) * 3;
                t.lensWeightY[k] = static_cast<float>(fy) / 1000.0f;
            } else {
                t.lensIndexY[k] = (ix + W * (iy - 1)) * 3;
                t.lensWeightY[k] = static_cast<float>(-fy) / 1000.0f;
            }
            t.lensWeight[k] = 1.0f - t.lensWeightX[k] - t.lensWeightY[k];
            t.lensIndex[k] = (ix + W * iy) * 3;
            const float theta = static_cast<float>(std::atan2(kLensVignetting * std::sqrt(static_cast<double>(r2)), 100.0));
            const float c = std::cos(theta);
            t.lensGain[k] = 1.0f / (c * c * c * c);
        }
    }
}

void initLensCorrection(Tracker& t) {
    printLensReport(lensParameters(t.width, t.height), stdout);
    buildLensTables(t);
}
