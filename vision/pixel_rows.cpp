#include "vision/pixel_rows.h"

#include <algorithm>
#if defined(__wasm_simd128__)
#include <wasm_simd128.h>
#endif
#include <cstdlib>

// Each kernel is built twice, for AVX2 and the baseline, and picked when the program loads. The
// clones are file-local and the exported names plain functions that call them: clang, unlike GCC,
// resolves a clone only for callers that see the attribute on the declaration they call.
// WebAssembly has one vector width, chosen at compile time (-msimd128): no clones there.
#if defined(__EMSCRIPTEN__)
#define TOVRAK_VECTOR_CLONES
#else
#define TOVRAK_VECTOR_CLONES __attribute__((target_clones("avx2", "default")))
#endif

namespace {
TOVRAK_VECTOR_CLONES
void smoothBytesClones(const uint8_t* __restrict a, const uint8_t* __restrict b, const uint8_t* __restrict c,
                 uint8_t* __restrict out, size_t n) {
    // (a + 2b + c) >> 2 = half(half(a + c) + b) with half(x + y) = (x & y) + ((x ^ y) >> 1) rounding
    // down: writing a + c = 2t + e (e 0 or 1), (2t + e + 2b) / 4 and (t + b) / 2 have the same
    // floor. Everything stays in bytes, so a vector holds twice the pixels of a 16-bit sum.
    for (size_t i = 0; i < n; ++i) {
        const uint8_t t = static_cast<uint8_t>((a[i] & c[i]) + ((a[i] ^ c[i]) >> 1));
        out[i] = static_cast<uint8_t>((t & b[i]) + ((t ^ b[i]) >> 1));
    }
}

}  // namespace

void smoothBytes(const uint8_t* a, const uint8_t* b, const uint8_t* c, uint8_t* out, size_t n) {
    smoothBytesClones(a, b, c, out, n);
}

void smoothAlongRow(const uint8_t* in, uint8_t* out, size_t w) {
    const size_t bytes = 3 * w;
    for (size_t i = 0; i < 3; ++i) out[i] = in[i], out[bytes - 3 + i] = in[bytes - 3 + i];
    smoothBytes(in, in + 3, in + 6, out + 3, bytes - 6);
}

namespace {
// The interior columns 1 .. w - 2 rounded up to whole blocks.
size_t sobelColumns(size_t w) { return (w - 2 + kSobelBlock - 1) / kSobelBlock * kSobelBlock; }

TOVRAK_VECTOR_CLONES
void sobelRowSumsClones(const uint8_t* __restrict p, int16_t* __restrict across, int16_t* __restrict change, size_t w) {
    const size_t columns = sobelColumns(w);
    for (size_t i = 0; i < columns; ++i) {
        const size_t c = i + 1;
        across[c] = static_cast<int16_t>(p[c - 1] + 2 * p[c] + p[c + 1]);
        change[c] = static_cast<int16_t>(p[c + 1] - p[c - 1]);
    }
}

}  // namespace

#if defined(__wasm_simd128__)
// WebAssembly: the compiler keeps these loops scalar, so they are written in its vectors, eight
// columns a vector (sums) and sixteen a verdict, with the same arithmetic as the loops above.
void sobelRowSums(const uint8_t* p, int16_t* across, int16_t* change, size_t w) {
    const size_t columns = sobelColumns(w);
    for (size_t c = 1; c < columns + 1; c += 8) {
        const v128_t l = wasm_u16x8_load8x8(p + c - 1), m = wasm_u16x8_load8x8(p + c), r = wasm_u16x8_load8x8(p + c + 1);
        wasm_v128_store(across + c, wasm_i16x8_add(wasm_i16x8_add(l, r), wasm_i16x8_shl(m, 1)));
        wasm_v128_store(change + c, wasm_i16x8_sub(r, l));
    }
}
#else
void sobelRowSums(const uint8_t* p, int16_t* across, int16_t* change, size_t w) { sobelRowSumsClones(p, across, change, w); }
#endif

namespace {
TOVRAK_VECTOR_CLONES
void sobelVerdictsClones(const int16_t* __restrict acrossUp, const int16_t* __restrict acrossDown,
                   const int16_t* __restrict changeUp, const int16_t* __restrict changeMid,
                   const int16_t* __restrict changeDown, uint8_t* __restrict verdict, size_t w, int32_t limit) {
    const size_t columns = sobelColumns(w);
    // Both sums lie in -1020..1020. Up to a limit of 255^2, 16-bit lanes are enough: a sum of
    // 256 or more in size is an edge on its own, and clamped to 255 its square (65025) still
    // reaches the limit; below that both squares fit, and a + b >= limit is a >= limit - b with
    // the difference floored at 0. Twice the pixels a vector holds of the 32-bit sum of squares.
    if (limit <= 255 * 255) {
        const uint16_t limit16 = static_cast<uint16_t>(limit);
        for (size_t i = 0; i < columns; ++i) {
            const size_t c = i + 1;
            const int16_t dRow = static_cast<int16_t>(acrossDown[c] - acrossUp[c]);
            const int16_t dCol = static_cast<int16_t>(changeUp[c] + 2 * changeMid[c] + changeDown[c]);
            const uint16_t r = static_cast<uint16_t>(std::min<int16_t>(std::abs(dRow), 255));
            const uint16_t q = static_cast<uint16_t>(std::min<int16_t>(std::abs(dCol), 255));
            const uint16_t r2 = static_cast<uint16_t>(r * r), q2 = static_cast<uint16_t>(q * q);
            const uint16_t room = limit16 > q2 ? static_cast<uint16_t>(limit16 - q2) : uint16_t{0};
            verdict[c] = r2 >= room ? 0 : 255;
        }
        return;
    }
    for (size_t i = 0; i < columns; ++i) {
        const size_t c = i + 1;
        const int16_t dRow = static_cast<int16_t>(acrossDown[c] - acrossUp[c]);
        const int16_t dCol = static_cast<int16_t>(changeUp[c] + 2 * changeMid[c] + changeDown[c]);
        verdict[c] = int32_t{dRow} * dRow + int32_t{dCol} * dCol >= limit ? 0 : 255;
    }
}

}  // namespace

#if defined(__wasm_simd128__)
namespace {
// Eight columns' verdicts as 16-bit lanes of 0 (an edge) or 255.
v128_t verdictLanes(const int16_t* acrossUp, const int16_t* acrossDown, const int16_t* changeUp, const int16_t* changeMid,
                    const int16_t* changeDown, size_t c, int32_t limit) {
    const v128_t dRow = wasm_i16x8_sub(wasm_v128_load(acrossDown + c), wasm_v128_load(acrossUp + c));
    const v128_t dCol = wasm_i16x8_add(wasm_i16x8_add(wasm_v128_load(changeUp + c), wasm_v128_load(changeDown + c)),
                                       wasm_i16x8_shl(wasm_v128_load(changeMid + c), 1));
    v128_t edge;
    if (limit <= 255 * 255) {
        const v128_t r = wasm_i16x8_min(wasm_i16x8_abs(dRow), wasm_i16x8_splat(255));
        const v128_t q = wasm_i16x8_min(wasm_i16x8_abs(dCol), wasm_i16x8_splat(255));
        const v128_t room = wasm_u16x8_sub_sat(wasm_i16x8_splat(static_cast<int16_t>(limit)), wasm_i16x8_mul(q, q));
        edge = wasm_u16x8_ge(wasm_i16x8_mul(r, r), room);
    } else {
        const v128_t lo = wasm_i32x4_add(wasm_i32x4_extmul_low_i16x8(dRow, dRow), wasm_i32x4_extmul_low_i16x8(dCol, dCol));
        const v128_t hi = wasm_i32x4_add(wasm_i32x4_extmul_high_i16x8(dRow, dRow), wasm_i32x4_extmul_high_i16x8(dCol, dCol));
        edge = wasm_i16x8_narrow_i32x4(wasm_i32x4_ge(lo, wasm_i32x4_splat(limit)), wasm_i32x4_ge(hi, wasm_i32x4_splat(limit)));
    }
    return wasm_v128_andnot(wasm_i16x8_splat(255), edge);
}
}  // namespace

void sobelVerdicts(const int16_t* acrossUp, const int16_t* acrossDown, const int16_t* changeUp,
                   const int16_t* changeMid, const int16_t* changeDown, uint8_t* verdict, size_t w, int32_t limit) {
    const size_t columns = sobelColumns(w);
    for (size_t c = 1; c < columns + 1; c += 16)
        wasm_v128_store(verdict + c, wasm_u8x16_narrow_i16x8(
                                         verdictLanes(acrossUp, acrossDown, changeUp, changeMid, changeDown, c, limit),
                                         verdictLanes(acrossUp, acrossDown, changeUp, changeMid, changeDown, c + 8, limit)));
}
#else
void sobelVerdicts(const int16_t* acrossUp, const int16_t* acrossDown, const int16_t* changeUp,
                   const int16_t* changeMid, const int16_t* changeDown, uint8_t* verdict, size_t w, int32_t limit) {
    sobelVerdictsClones(acrossUp, acrossDown, changeUp, changeMid, changeDown, verdict, w, limit);
}
#endif
