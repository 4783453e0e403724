// The kernels of vision/pixel_rows.h that read or write B G R pixels, with Highway: the three
// channels are taken apart and put back together with the byte shuffles each instruction set
// has, chosen when the program runs. (The compiler does not vectorise three-byte strides.)
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
namespace tovrak {
namespace HWY_NAMESPACE {
namespace hn = hwy::HWY_NAMESPACE;

// 306 R + 601 G + 117 B = 4 (76 R + 150 G + 29 B) + (2 R + G + B); the first part is at most
// 255 x 255, so g = (A + (B >> 2)) >> 8 with A and B in 16 bits.
template <class D16>
hn::Vec<D16> luma16(D16 d16, hn::Vec<D16> b, hn::Vec<D16> g, hn::Vec<D16> r) {
    const auto a = hn::Add(hn::Add(hn::Mul(r, hn::Set(d16, 76)), hn::Mul(g, hn::Set(d16, 150))), hn::Mul(b, hn::Set(d16, 29)));
    const auto rest = hn::Add(hn::Add(hn::Add(r, r), g), b);
    return hn::ShiftRight<8>(hn::Add(a, hn::ShiftRight<2>(rest)));
}

void GreyPixels(uint8_t* HWY_RESTRICT bgr, size_t w) {
    size_t c = 0;
#if HWY_TARGET != HWY_SCALAR
    const hn::ScalableTag<uint8_t> d8;
    const hn::Half<decltype(d8)> dh;
    const hn::Repartition<uint16_t, decltype(d8)> d16;
    const hn::Repartition<int16_t, decltype(d8)> ds;
    const size_t N = hn::Lanes(d8);
    for (; c + N <= w; c += N) {
        hn::Vec<decltype(d8)> b, g, r;
        hn::LoadInterleaved3(d8, bgr + 3 * c, b, g, r);
        const auto lo = luma16(d16, hn::PromoteTo(d16, hn::LowerHalf(dh, b)), hn::PromoteTo(d16, hn::LowerHalf(dh, g)),
                               hn::PromoteTo(d16, hn::LowerHalf(dh, r)));
        const auto hi = luma16(d16, hn::PromoteTo(d16, hn::UpperHalf(dh, b)), hn::PromoteTo(d16, hn::UpperHalf(dh, g)),
                               hn::PromoteTo(d16, hn::UpperHalf(dh, r)));
        // Values of at most 255: as signed 16-bit lanes they narrow to bytes unchanged.
        const auto y = hn::Combine(d8, hn::DemoteTo(dh, hn::BitCast(ds, hi)), hn::DemoteTo(dh, hn::BitCast(ds, lo)));
        hn::StoreInterleaved3(y, y, y, d8, bgr + 3 * c);
    }
#endif
    for (; c < w; ++c) {
        const uint16_t b = bgr[3 * c], g = bgr[3 * c + 1], r = bgr[3 * c + 2];
        const uint16_t a = static_cast<uint16_t>(76 * r + 150 * g + 29 * b), rest = static_cast<uint16_t>(2 * r + g + b);
        bgr[3 * c] = bgr[3 * c + 1] = bgr[3 * c + 2] = static_cast<uint8_t>(static_cast<uint16_t>(a + (rest >> 2)) >> 8);
    }
}

void ChannelZero(const uint8_t* HWY_RESTRICT bgr, uint8_t* HWY_RESTRICT plane, size_t n) {
    size_t k = 0;
#if HWY_TARGET != HWY_SCALAR
    const hn::ScalableTag<uint8_t> d8;
    const size_t N = hn::Lanes(d8);
    for (; k + N <= n; k += N) {
        hn::Vec<decltype(d8)> b, g, r;
        hn::LoadInterleaved3(d8, bgr + 3 * k, b, g, r);
        hn::StoreU(b, d8, plane + k);
    }
#endif
    for (; k < n; ++k) plane[k] = bgr[3 * k];
}

void SpreadToPixels(const uint8_t* HWY_RESTRICT v, uint8_t* HWY_RESTRICT bgr, size_t n) {
    size_t k = 0;
#if HWY_TARGET != HWY_SCALAR
    const hn::ScalableTag<uint8_t> d8;
    const size_t N = hn::Lanes(d8);
    for (; k + N <= n; k += N) {
        const auto x = hn::LoadU(d8, v + k);
        hn::StoreInterleaved3(x, x, x, d8, bgr + 3 * k);
    }
#endif
    for (; k < n; ++k) bgr[3 * k] = bgr[3 * k + 1] = bgr[3 * k + 2] = v[k];
}

void BlackPixels(const uint8_t* HWY_RESTRICT bgr, uint8_t* HWY_RESTRICT black, size_t n) {
    size_t k = 0;
#if HWY_TARGET != HWY_SCALAR
    const hn::ScalableTag<uint8_t> d8;
    const size_t N = hn::Lanes(d8);
    const auto zero = hn::Zero(d8), one = hn::Set(d8, 1);
    for (; k + N <= n; k += N) {
        hn::Vec<decltype(d8)> b, g, r;
        hn::LoadInterleaved3(d8, bgr + 3 * k, b, g, r);
        hn::StoreU(hn::IfThenElseZero(hn::Eq(b, zero), one), d8, black + k);
    }
#endif
    for (; k < n; ++k) black[k] = bgr[3 * k] == 0;
}

}  // namespace HWY_NAMESPACE
}  // namespace tovrak
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
namespace tovrak {
HWY_EXPORT(GreyPixels);
HWY_EXPORT(ChannelZero);
HWY_EXPORT(SpreadToPixels);
HWY_EXPORT(BlackPixels);
}  // namespace tovrak
void greyPixels(uint8_t* bgr, size_t w) { HWY_DYNAMIC_DISPATCH(tovrak::GreyPixels)(bgr, w); }
void channelZero(const uint8_t* bgr, uint8_t* plane, size_t n) { HWY_DYNAMIC_DISPATCH(tovrak::ChannelZero)(bgr, plane, n); }
void spreadToPixels(const uint8_t* v, uint8_t* bgr, size_t n) { HWY_DYNAMIC_DISPATCH(tovrak::SpreadToPixels)(v, bgr, n); }
void blackPixels(const uint8_t* bgr, uint8_t* black, size_t n) { HWY_DYNAMIC_DISPATCH(tovrak::BlackPixels)(bgr, black, n); }
#endif
