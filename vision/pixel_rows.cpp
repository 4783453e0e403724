#include "vision/pixel_rows.h"

#define TOVRAK_VECTOR_CLONES __attribute__((target_clones("avx2", "default")))

TOVRAK_VECTOR_CLONES
void smoothBytes(const uint8_t* __restrict a, const uint8_t* __restrict b, const uint8_t* __restrict c,
                 uint8_t* __restrict out, size_t n) {
    for (size_t i = 0; i < n; ++i) out[i] = static_cast<uint8_t>((a[i] + 2u * b[i] + c[i]) >> 2);
}

TOVRAK_VECTOR_CLONES
void greyPixels(uint8_t* __restrict bgr, uint8_t* __restrict scratch, size_t w) {
    for (size_t c = 0; c < w; ++c)
        scratch[c] = static_cast<uint8_t>((306u * bgr[3 * c + 2] + 601u * bgr[3 * c + 1] + 117u * bgr[3 * c]) >> 10);
    for (size_t c = 0; c < w; ++c) bgr[3 * c] = bgr[3 * c + 1] = bgr[3 * c + 2] = scratch[c];
}

TOVRAK_VECTOR_CLONES
void channelZero(const uint8_t* __restrict bgr, uint8_t* __restrict plane, size_t n) {
    for (size_t k = 0; k < n; ++k) plane[k] = bgr[3 * k];
}

TOVRAK_VECTOR_CLONES
void spreadToPixels(const uint8_t* __restrict v, uint8_t* __restrict bgr, size_t n) {
    for (size_t k = 0; k < n; ++k) bgr[3 * k] = bgr[3 * k + 1] = bgr[3 * k + 2] = v[k];
}

TOVRAK_VECTOR_CLONES
void blackPixels(const uint8_t* __restrict bgr, uint8_t* __restrict black, size_t n) {
    for (size_t k = 0; k < n; ++k) black[k] = bgr[3 * k] == 0;
}

TOVRAK_VECTOR_CLONES
void sobelVerdicts(const uint8_t* __restrict up, const uint8_t* __restrict mid, const uint8_t* __restrict down,
                   uint8_t* __restrict verdict, size_t w, int32_t limit) {
    for (size_t c = 1; c + 1 < w; ++c) {
        const int32_t dRow = down[c - 1] + 2 * down[c] + down[c + 1] - up[c - 1] - 2 * up[c] - up[c + 1];
        const int32_t dCol = up[c + 1] + 2 * mid[c + 1] + down[c + 1] - up[c - 1] - 2 * mid[c - 1] - down[c - 1];
        verdict[c] = dRow * dRow + dCol * dCol >= limit ? 0 : 255;
    }
}
