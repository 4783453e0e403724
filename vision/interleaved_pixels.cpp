// The kernels of vision/pixel_rows.h that read or write B G R pixels, with Highway: the three
// channels are taken apart and put back together with the byte shuffles each instruction set
// has, chosen when the program runs. (The compiler does not vectorise three-byte strides.)
// The kernels that write elsewhere than they read finish a row with one more whole vector that
// overlaps the last (wholeVectors), rather than with up to N - 1 pixels one at a time.
// Wide AVX-512 vectors slow the clock for the rest of the frame more than they gain here.
#ifndef HWY_DISABLED_TARGETS
#define HWY_DISABLED_TARGETS (HWY_AVX3 | HWY_AVX3_DL)
#endif
#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "vision/interleaved_pixels.cpp"
#include <hwy/foreach_target.h>  // NOLINT: includes this file once per target
#include <hwy/highway.h>

#include "vision/pixel_rows.h"

HWY_BEFORE_NAMESPACE();
namespace pixel_kernels {
namespace HWY_NAMESPACE {
namespace hn = hwy::HWY_NAMESPACE;

#if HWY_TARGET != HWY_SCALAR
// GCC turns a multiplication by a constant vector into a chain of shifts and adds, five or six
// instructions where one multiply would do; a weight it cannot see stays a multiply.
template <class V>
V opaque(V v) {
#if HWY_ARCH_X86 && HWY_TARGET <= HWY_SSSE3  // the x86 vector targets, not the emulated one
    auto raw = v.raw;
    asm("" : "+x"(raw));
    v.raw = raw;
#endif
    return v;
}

// 306 R + 601 G + 117 B = 4 (76 R + 150 G + 29 B) + (2 R + G + B); the first part is at most
// 255 x 255, so g = (A + (B >> 2)) >> 8 with A and B in 16 bits.
template <class D16>
hn::Vec<D16> luma16(D16 d16, hn::Vec<D16> b, hn::Vec<D16> g, hn::Vec<D16> r) {
    const auto a = hn::Add(hn::Add(hn::Mul(r, opaque(hn::Set(d16, 76))), hn::Mul(g, opaque(hn::Set(d16, 150)))),
                           hn::Mul(b, opaque(hn::Set(d16, 29))));
    const auto rest = hn::Add(hn::Add(hn::Add(r, r), g), b);
    return hn::ShiftRight<8>(hn::Add(a, hn::ShiftRight<2>(rest)));
}

// The luma of a vector of pixels' channels, as bytes.
template <class D8>
hn::Vec<D8> lumaBytes(D8 d8, hn::Vec<D8> b, hn::Vec<D8> g, hn::Vec<D8> r) {
    const hn::Half<D8> dh;
    const hn::Repartition<uint16_t, D8> d16;
    const hn::Repartition<int16_t, D8> ds;
    const auto lo = luma16(d16, hn::PromoteTo(d16, hn::LowerHalf(dh, b)), hn::PromoteTo(d16, hn::LowerHalf(dh, g)),
                           hn::PromoteTo(d16, hn::LowerHalf(dh, r)));
    const auto hi = luma16(d16, hn::PromoteTo(d16, hn::UpperHalf(dh, b)), hn::PromoteTo(d16, hn::UpperHalf(dh, g)),
                           hn::PromoteTo(d16, hn::UpperHalf(dh, r)));
    // Values of at most 255: as signed 16-bit lanes they narrow to bytes unchanged.
    return hn::Combine(d8, hn::DemoteTo(dh, hn::BitCast(ds, hi)), hn::DemoteTo(dh, hn::BitCast(ds, lo)));
}
#endif

inline uint8_t lumaOf(const uint8_t* px) {
    const uint16_t b = px[0], g = px[1], r = px[2];
    const uint16_t a = static_cast<uint16_t>(76 * r + 150 * g + 29 * b), rest = static_cast<uint16_t>(2 * r + g + b);
    return static_cast<uint8_t>(static_cast<uint16_t>(a + (rest >> 2)) >> 8);
}

#if HWY_TARGET != HWY_SCALAR
// Runs block(at) on whole vectors of N pixels over n pixels, the last one overlapping the one
// before when n is not a multiple of N (so only for kernels that write elsewhere than they read);
// returns how many pixels it did: n, or 0 when n < N, to be done one at a time.
template <class Block>
size_t wholeVectors(size_t n, size_t N, Block block) {
    if (n < N) return 0;
    size_t k = 0;
    for (; k + N <= n; k += N) block(k);
    if (k < n) block(n - N);
    return n;
}
#endif

void GreyPixels(uint8_t* HWY_RESTRICT bgr, size_t w) {
    size_t c = 0;
#if HWY_TARGET != HWY_SCALAR
    const hn::ScalableTag<uint8_t> d8;
    const size_t N = hn::Lanes(d8);
    for (; c + N <= w; c += N) {
        hn::Vec<decltype(d8)> b, g, r;
        hn::LoadInterleaved3(d8, bgr + 3 * c, b, g, r);
        const auto y = lumaBytes(d8, b, g, r);
        hn::StoreInterleaved3(y, y, y, d8, bgr + 3 * c);
    }
#endif
    for (; c < w; ++c) bgr[3 * c] = bgr[3 * c + 1] = bgr[3 * c + 2] = lumaOf(bgr + 3 * c);
}

void GreyPlane(const uint8_t* HWY_RESTRICT bgr, uint8_t* HWY_RESTRICT plane, size_t n) {
    size_t k = 0;
#if HWY_TARGET != HWY_SCALAR
    const hn::ScalableTag<uint8_t> d8;
    k = wholeVectors(n, hn::Lanes(d8), [&](size_t at) {
        hn::Vec<decltype(d8)> b, g, r;
        hn::LoadInterleaved3(d8, bgr + 3 * at, b, g, r);
        hn::StoreU(lumaBytes(d8, b, g, r), d8, plane + at);
    });
#endif
    for (; k < n; ++k) plane[k] = lumaOf(bgr + 3 * k);
}

void ChannelZero(const uint8_t* HWY_RESTRICT bgr, uint8_t* HWY_RESTRICT plane, size_t n) {
    size_t k = 0;
#if HWY_TARGET != HWY_SCALAR
    const hn::ScalableTag<uint8_t> d8;
    k = wholeVectors(n, hn::Lanes(d8), [&](size_t at) {
        hn::Vec<decltype(d8)> b, g, r;
        hn::LoadInterleaved3(d8, bgr + 3 * at, b, g, r);
        hn::StoreU(b, d8, plane + at);
    });
#endif
    for (; k < n; ++k) plane[k] = bgr[3 * k];
}

void SpreadToPixels(const uint8_t* HWY_RESTRICT v, uint8_t* HWY_RESTRICT bgr, size_t n) {
    size_t k = 0;
#if HWY_TARGET != HWY_SCALAR
    const hn::ScalableTag<uint8_t> d8;
    k = wholeVectors(n, hn::Lanes(d8), [&](size_t at) {
        const auto x = hn::LoadU(d8, v + at);
        hn::StoreInterleaved3(x, x, x, d8, bgr + 3 * at);
    });
#endif
    for (; k < n; ++k) bgr[3 * k] = bgr[3 * k + 1] = bgr[3 * k + 2] = v[k];
}

void BlackBits(const uint8_t* HWY_RESTRICT bgr, uint8_t* HWY_RESTRICT bits, size_t n) {
    size_t k = 0;
#if HWY_TARGET != HWY_SCALAR
    const hn::ScalableTag<uint8_t> d8;
    const size_t N = hn::Lanes(d8);  // a multiple of 8, so each vector fills whole bytes
    const auto zero = hn::Zero(d8);
    for (; k + N <= n; k += N) {
        hn::Vec<decltype(d8)> b, g, r;
        hn::LoadInterleaved3(d8, bgr + 3 * k, b, g, r);
        hn::StoreMaskBits(d8, hn::Eq(b, zero), bits + k / 8);
    }
#endif
    for (size_t byte = k / 8; byte < (n + 7) / 8; ++byte) bits[byte] = 0;
    for (; k < n; ++k) bits[k / 8] = static_cast<uint8_t>(bits[k / 8] | (bgr[3 * k] == 0) << (k % 8));
}

}  // namespace HWY_NAMESPACE
}  // namespace pixel_kernels
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
namespace pixel_kernels {
HWY_EXPORT(GreyPixels);
HWY_EXPORT(GreyPlane);
HWY_EXPORT(ChannelZero);
HWY_EXPORT(SpreadToPixels);
HWY_EXPORT(BlackBits);
}  // namespace pixel_kernels
// Named without their namespace: with one target (WebAssembly) the dispatch is a plain call into
// the target's namespace, which is pixel_kernels' own.
using namespace pixel_kernels;
void greyPixels(uint8_t* bgr, size_t w) { HWY_DYNAMIC_DISPATCH(GreyPixels)(bgr, w); }
void greyPlane(const uint8_t* bgr, uint8_t* plane, size_t n) { HWY_DYNAMIC_DISPATCH(GreyPlane)(bgr, plane, n); }
void channelZero(const uint8_t* bgr, uint8_t* plane, size_t n) { HWY_DYNAMIC_DISPATCH(ChannelZero)(bgr, plane, n); }
void spreadToPixels(const uint8_t* v, uint8_t* bgr, size_t n) { HWY_DYNAMIC_DISPATCH(SpreadToPixels)(v, bgr, n); }
void blackBits(const uint8_t* bgr, uint8_t* bits, size_t n) { HWY_DYNAMIC_DISPATCH(BlackBits)(bgr, bits, n); }
#endif
