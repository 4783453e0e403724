// The virtual camera's models of what a real webcam adds to a picture, as plain functions over
// its buffers: where the sheet lies when it curls, when each row is read, how the exposure hunts
// and the mains light flickers, and the colour sensor's mosaic. Rows are bottom-up and pixel
// positions pixel-centre (docs/conventions.md); the read-out therefore starts at the last row.
//
// Light: the virtual camera's values are grey levels, which a webcam's transfer curve makes
// roughly (linear light)^(1/2.2). A gain g in linear light is therefore a factor g^(1/2.2) on a
// grey level, and saturation is the clamp at 255 that follows.
#pragma once

#include <cstdint>
#include <vector>

struct VirtualCameraOptions;

// The sheet's height towards the camera at X (millimetres, the world's -Z): a cylinder bent about
// the Y axis, 0 along X = 0 and `curl` at the sheet's X edges, (X / halfX)^2 between. Its tangent
// plane at the target's middle is the flat sheet's plane, which is therefore the truth.
double curlLift(double curl, double X);

// The first positive s with P = C + s d on the curled sheet (Z = -curlLift(X)); false when the
// ray misses it. C and d are the camera centre and a ray in world coordinates.
bool intersectCurledSheet(double curl, const double C[3], const double d[3], double& s);

// The auto-exposure's gain of frame n in linear light, between options.exposureLow and
// exposureHigh: a hunting oscillation with a frame-to-frame jolt on top (1 when off).
double exposureGain(const VirtualCameraOptions& options, int frame);

// Scales each row of a BGR float picture by the light that reached it: the exposure's gain and
// the mains flicker's band at the row's read time (frame n at 30 frames a second, 100 Hz light).
void applyRowLight(const VirtualCameraOptions& options, int frame, int width, int height, float* bgr);

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
// 4096 draws of a unit normal, made once: noise picks from them with 12 bits of a generator.
const float* normalTable();

// A colour sensor: the scene under a warm lamp with the camera's white balance off, sampled
// through an RGGB Bayer mosaic with read noise (options.noise) and shot noise that grows with
// the light, clipped at the sensor's full well, then demosaiced bilinearly into BGR bytes.
// `raw` is the caller's kept work buffer.
void sensorMosaic(const VirtualCameraOptions& options, int frame, const float* bgr, std::vector<float>& raw,
                  unsigned char* dst);
