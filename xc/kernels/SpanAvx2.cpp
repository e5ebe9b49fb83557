// The span loops for AVX2, run only when the processor has it. Blocks of 8
// samples; the last partial block goes through a padded copy (weights 0
// past the span), so nothing past the span is read or written. Only
// intrinsics and this file's own static functions live here: an inline
// function of a shared header compiled for AVX2 could be picked by the
// linker for every caller.
#pragma GCC target("avx2")
#include "xc/kernels/Span.h"

#include <immintrin.h>

namespace tev
{

namespace
{

// 8 samples: trunc((1 - w) * c + w * v), c the 8 bytes at c8.
inline __m128i Formula(__m128i c8, __m256d w0, __m256d w1, __m256d v0, __m256d v1)
{
    const __m256d one = _mm256_set1_pd(1.0);
    __m256i c = _mm256_cvtepu8_epi32(c8);
    __m256d c0 = _mm256_cvtepi32_pd(_mm256_castsi256_si128(c));
    __m256d c1 = _mm256_cvtepi32_pd(_mm256_extracti128_si256(c, 1));
    __m256d r0 = _mm256_add_pd(_mm256_mul_pd(_mm256_sub_pd(one, w0), c0), _mm256_mul_pd(w0, v0));
    __m256d r1 = _mm256_add_pd(_mm256_mul_pd(_mm256_sub_pd(one, w1), c1), _mm256_mul_pd(w1, v1));
    __m128i i0 = _mm256_cvttpd_epi32(r0), i1 = _mm256_cvttpd_epi32(r1);
    __m128i words = _mm_packus_epi32(i0, i1);
    return _mm_packus_epi16(words, words); // 8 bytes in the low half
}

// 0 when every weight of the 8 is 0, 1 when every one is 1, else 2.
inline int Kind(__m256d w0, __m256d w1)
{
    const __m256d zero = _mm256_setzero_pd(), one = _mm256_set1_pd(1.0);
    int nz = _mm256_movemask_pd(_mm256_cmp_pd(w0, zero, _CMP_NEQ_UQ)) |
             _mm256_movemask_pd(_mm256_cmp_pd(w1, zero, _CMP_NEQ_UQ));
    if (nz == 0)
        return 0;
    int n1 = _mm256_movemask_pd(_mm256_cmp_pd(w0, one, _CMP_NEQ_UQ)) |
             _mm256_movemask_pd(_mm256_cmp_pd(w1, one, _CMP_NEQ_UQ));
    return n1 == 0 ? 1 : 2;
}

// One block of 8 at d (8 bytes readable and writable).
inline void Block(uint8_t *d, const double *w, const int32_t *v, int32_t vc)
{
    __m256d w0 = _mm256_loadu_pd(w), w1 = _mm256_loadu_pd(w + 4);
    int kind = Kind(w0, w1);
    if (kind == 0)
        return;
    __m256i vi = v ? _mm256_loadu_si256(reinterpret_cast<const __m256i *>(v)) : _mm256_set1_epi32(vc);
    __m128i out;
    if (kind == 1) {
        __m128i words = _mm_packus_epi32(_mm256_castsi256_si128(vi), _mm256_extracti128_si256(vi, 1));
        out = _mm_packus_epi16(words, words);
    } else {
        __m256d v0 = _mm256_cvtepi32_pd(_mm256_castsi256_si128(vi));
        __m256d v1 = _mm256_cvtepi32_pd(_mm256_extracti128_si256(vi, 1));
        out = Formula(_mm_loadl_epi64(reinterpret_cast<const __m128i *>(d)), w0, w1, v0, v1);
    }
    _mm_storel_epi64(reinterpret_cast<__m128i *>(d), out);
}

void Span(uint8_t *dst, const double *w, const int32_t *v, int32_t vc, int n)
{
    int i = 0;
    for (; i + 8 <= n; i += 8)
        Block(dst + i, w + i, v ? v + i : nullptr, vc);
    int rest = n - i;
    if (rest == 0)
        return;
    uint8_t d[8] = {};
    double wp[8] = {};
    int32_t vp[8] = {};
    for (int j = 0; j < rest; ++j) {
        d[j] = dst[i + j];
        wp[j] = w[i + j];
        vp[j] = v ? v[i + j] : vc;
    }
    Block(d, wp, vp, vc);
    for (int j = 0; j < rest; ++j)
        dst[i + j] = d[j];
}

void Blend8(uint8_t *dst, const double *w, const int32_t *v, int n)
{
    Span(dst, w, v, 0, n);
}

void Blend8Const(uint8_t *dst, const double *w, int32_t v, int n)
{
    Span(dst, w, nullptr, v, n);
}

} // namespace

const SpanOps kSpanAvx2 = {Blend8, Blend8Const};

} // namespace tev
