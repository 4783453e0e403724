// The per-pixel loops of the target chain, a row (or a plane) at a time. Those on planes are plain
// loops the compiler vectorises, built for AVX2 and for the baseline with the loader picking the
// one the processor runs (GCC's target_clones, vision/pixel_rows.cpp); those that read or write
// B G R pixels use Highway's interleaved loads and stores (vision/interleaved_pixels.cpp).
//
// Pictures are B G R, 3 bytes a pixel; planes are one byte a pixel.
#pragma once

#include <cstddef>
#include <cstdint>

// out[i] = (a[i] + 2 b[i] + c[i]) >> 2 for i < n.
void smoothBytes(const uint8_t* a, const uint8_t* b, const uint8_t* c, uint8_t* out, size_t n);
// The 1-2-1 smoothing along one row of w >= 3 pixels: out = smoothBytes of each byte's left
// neighbour, itself and its right neighbour; the first and last pixel are copied.
void smoothAlongRow(const uint8_t* in, uint8_t* out, size_t w);
// g = (306 R + 601 G + 117 B) >> 10 into all three channels of w pixels.
void greyPixels(uint8_t* bgr, size_t w);
// plane[k] = the same g of pixel k, for n pixels.
void greyPlane(const uint8_t* bgr, uint8_t* plane, size_t n);
// plane[k] = channel 0 of pixel k, for n pixels.
void channelZero(const uint8_t* bgr, uint8_t* plane, size_t n);
// All three channels of pixel k = v[k], for n pixels.
void spreadToPixels(const uint8_t* v, uint8_t* bgr, size_t n);
// Bit k % 8 of bits[k / 8] = 1 when channel 0 of pixel k is 0, for n pixels; the last byte's
// bits past n are 0.
void blackBits(const uint8_t* bgr, uint8_t* bits, size_t n);
// The Sobel sums taken apart (vision/edges.cpp): per row, for the interior columns c,
//   across[c] = p[c-1] + 2 p[c] + p[c+1]   and   change[c] = p[c+1] - p[c-1];
// then sobelRow = across(r+1) - across(r-1) and sobelCol = change(r-1) + 2 change(r) + change(r+1),
// and the verdict of an interior pixel is 0 where sobelRow^2 + sobelCol^2 >= limit, else 255.
//
// Both work on whole blocks of kSobelBlock columns, so that no column is left to a slow scalar
// tail: they read p and write across, change and verdict up to kSobelBlock entries past column
// w - 1, and those buffers (the plane too, past its last row) carry that much more.
constexpr size_t kSobelBlock = 32;
void sobelRowSums(const uint8_t* p, int16_t* across, int16_t* change, size_t w);
void sobelVerdicts(const int16_t* acrossUp, const int16_t* acrossDown, const int16_t* changeUp,
                   const int16_t* changeMid, const int16_t* changeDown, uint8_t* verdict, size_t w, int32_t limit);
