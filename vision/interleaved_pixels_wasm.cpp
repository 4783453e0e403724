// The kernels of vision/pixel_rows.h that read or write B G R pixels, for WebAssembly's 128-bit
// SIMD (the page's build; the program's is vision/interleaved_pixels.cpp). The same results to
// the bit: the channels of 16 pixels are taken apart with three byte shuffles each (a shuffle
// index of 16 or more gives 0, so the three parts are or-ed together) and put back the same way.
#include <wasm_simd128.h>

#include <array>
#include <cstring>

#include "vision/pixel_rows.h"

namespace {

using Indices = std::array<uint8_t, 16>;

// Where channel `ch` of pixels 0..15 lies in part `part` (bytes 16 part .. 16 part + 15) of
// their 48 bytes: byte 3k + ch holds pixel k's channel.
constexpr Indices takeApart(int ch, int part) {
    Indices idx{};
    for (int k = 0; k < 16; ++k) {
        const int at = 3 * k + ch - 16 * part;
        idx[k] = static_cast<uint8_t>(at >= 0 && at < 16 ? at : 0x80);
    }
    return idx;
}
// Which pixel each byte of part `part` of 48 interleaved bytes comes from.
constexpr Indices spread(int part) {
    Indices idx{};
    for (int i = 0; i < 16; ++i) idx[i] = static_cast<uint8_t>((16 * part + i) / 3);
    return idx;
}

constexpr Indices kApart[3][3] = {{takeApart(0, 0), takeApart(0, 1), takeApart(0, 2)},
                                  {takeApart(1, 0), takeApart(1, 1), takeApart(1, 2)},
                                  {takeApart(2, 0), takeApart(2, 1), takeApart(2, 2)}};
constexpr Indices kSpread[3] = {spread(0), spread(1), spread(2)};

inline v128_t load(const Indices& idx) { return wasm_v128_load(idx.data()); }

inline v128_t channel(const v128_t v[3], int ch) {
    return wasm_v128_or(wasm_v128_or(wasm_i8x16_swizzle(v[0], load(kApart[ch][0])), wasm_i8x16_swizzle(v[1], load(kApart[ch][1]))),
                        wasm_i8x16_swizzle(v[2], load(kApart[ch][2])));
}

inline void load48(const uint8_t* p, v128_t v[3]) {
    for (int i = 0; i < 3; ++i) v[i] = wasm_v128_load(p + 16 * i);
}

// 306 R + 601 G + 117 B = 4 (76 R + 150 G + 29 B) + (2 R + G + B); the first part is at most
// 255 x 255, so luma = (A + (B >> 2)) >> 8 with A and B in 16 bits, as vision/interleaved_pixels.cpp.
inline v128_t luma16(v128_t b, v128_t g, v128_t r) {
    const v128_t a = wasm_i16x8_add(wasm_i16x8_add(wasm_i16x8_mul(r, wasm_i16x8_splat(76)), wasm_i16x8_mul(g, wasm_i16x8_splat(150))),
                                    wasm_i16x8_mul(b, wasm_i16x8_splat(29)));
    const v128_t rest = wasm_i16x8_add(wasm_i16x8_add(wasm_i16x8_add(r, r), g), b);
    return wasm_u16x8_shr(wasm_i16x8_add(a, wasm_u16x8_shr(rest, 2)), 8);
}

inline v128_t lumaBytes(const v128_t v[3]) {
    const v128_t b = channel(v, 0), g = channel(v, 1), r = channel(v, 2);
    const v128_t lo = luma16(wasm_u16x8_extend_low_u8x16(b), wasm_u16x8_extend_low_u8x16(g), wasm_u16x8_extend_low_u8x16(r));
    const v128_t hi = luma16(wasm_u16x8_extend_high_u8x16(b), wasm_u16x8_extend_high_u8x16(g), wasm_u16x8_extend_high_u8x16(r));
    return wasm_u8x16_narrow_i16x8(lo, hi);  // values of at most 255
}

inline void store48Spread(v128_t y, uint8_t* p) {
    for (int i = 0; i < 3; ++i) wasm_v128_store(p + 16 * i, wasm_i8x16_swizzle(y, load(kSpread[i])));
}

inline uint8_t lumaOf(const uint8_t* px) {
    const uint16_t b = px[0], g = px[1], r = px[2];
    const uint16_t a = static_cast<uint16_t>(76 * r + 150 * g + 29 * b), rest = static_cast<uint16_t>(2 * r + g + b);
    return static_cast<uint8_t>(static_cast<uint16_t>(a + (rest >> 2)) >> 8);
}

// Whole vectors of 16 pixels over n, the last overlapping the one before (only for kernels that
// write elsewhere than they read); how many pixels were done: n, or 0 when n < 16.
template <class Block>
size_t wholeVectors(size_t n, Block block) {
    if (n < 16) return 0;
    size_t k = 0;
    for (; k + 16 <= n; k += 16) block(k);
    if (k < n) block(n - 16);
    return n;
}

}  // namespace

void greyPixels(uint8_t* bgr, size_t w) {
    size_t c = 0;
    for (; c + 16 <= w; c += 16) {
        v128_t v[3];
        load48(bgr + 3 * c, v);
        store48Spread(lumaBytes(v), bgr + 3 * c);
    }
    for (; c < w; ++c) bgr[3 * c] = bgr[3 * c + 1] = bgr[3 * c + 2] = lumaOf(bgr + 3 * c);
}

void greyPlane(const uint8_t* bgr, uint8_t* plane, size_t n) {
    size_t k = wholeVectors(n, [&](size_t at) {
        v128_t v[3];
        load48(bgr + 3 * at, v);
        wasm_v128_store(plane + at, lumaBytes(v));
    });
    for (; k < n; ++k) plane[k] = lumaOf(bgr + 3 * k);
}

void channelZero(const uint8_t* bgr, uint8_t* plane, size_t n) {
    size_t k = wholeVectors(n, [&](size_t at) {
        v128_t v[3];
        load48(bgr + 3 * at, v);
        wasm_v128_store(plane + at, channel(v, 0));
    });
    for (; k < n; ++k) plane[k] = bgr[3 * k];
}

void spreadToPixels(const uint8_t* v, uint8_t* bgr, size_t n) {
    size_t k = wholeVectors(n, [&](size_t at) { store48Spread(wasm_v128_load(v + at), bgr + 3 * at); });
    for (; k < n; ++k) bgr[3 * k] = bgr[3 * k + 1] = bgr[3 * k + 2] = v[k];
}

void blackBits(const uint8_t* bgr, uint8_t* bits, size_t n) {
    size_t k = 0;
    for (; k + 16 <= n; k += 16) {
        v128_t v[3];
        load48(bgr + 3 * k, v);
        const uint32_t mask = wasm_i8x16_bitmask(wasm_i8x16_eq(channel(v, 0), wasm_i8x16_splat(0)));
        bits[k / 8] = static_cast<uint8_t>(mask), bits[k / 8 + 1] = static_cast<uint8_t>(mask >> 8);
    }
    for (size_t byte = k / 8; byte < (n + 7) / 8; ++byte) bits[byte] = 0;
    for (; k < n; ++k) bits[k / 8] = static_cast<uint8_t>(bits[k / 8] | (bgr[3 * k] == 0) << (k % 8));
}
