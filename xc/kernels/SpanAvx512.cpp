// The span loops for AVX-512 (F, BW, VL, DQ), run only when the processor
// has it. Blocks of 16 samples; the last block is masked, so nothing past
// the span is read or written. Only intrinsics and this file's own static
// functions live here: an inline function of a shared header compiled for
// AVX-512 could be picked by the linker for every caller.
#pragma GCC target("avx512f,avx512bw,avx512vl,avx512dq")
// GCC 12's AVX-512 headers build their undefined vectors from themselves,
// which its own flow analysis then reports.
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#include "xc/kernels/Span.h"

#include <immintrin.h>

namespace tev
{

namespace
{

inline __mmask16 MaskOf(int rest)
{
    return rest >= 16 ? __mmask16(0xFFFF) : __mmask16((1u << rest) - 1);
}

// One block: trunc((1 - w) * c + w * v) for 16 samples, v as two vectors
// of 8 doubles.
inline __m128i Formula(__m128i c8, __m512d w0, __m512d w1, __m512d v0, __m512d v1)
{
    const __m512d one = _mm512_set1_pd(1.0);
    __m512i c = _mm512_cvtepu8_epi32(c8);
    __m512d c0 = _mm512_cvtepi32_pd(_mm512_castsi512_si256(c));
    __m512d c1 = _mm512_cvtepi32_pd(_mm512_extracti64x4_epi64(c, 1));
    __m512d r0 = _mm512_add_pd(_mm512_mul_pd(_mm512_sub_pd(one, w0), c0), _mm512_mul_pd(w0, v0));
    __m512d r1 = _mm512_add_pd(_mm512_mul_pd(_mm512_sub_pd(one, w1), c1), _mm512_mul_pd(w1, v1));
    __m512i r =
        _mm512_inserti64x4(_mm512_castsi256_si512(_mm512_cvttpd_epi32(r0)), _mm512_cvttpd_epi32(r1), 1);
    return _mm512_cvtepi32_epi8(r);
}

// Returns 0 when every weight of the block is 0, 1 when every one is 1,
// else 2.
inline int Kind(__m512d w0, __m512d w1, __mmask16 m)
{
    const __m512d zero = _mm512_setzero_pd(), one = _mm512_set1_pd(1.0);
    __mmask16 nz = __mmask16(_mm512_cmp_pd_mask(w0, zero, _CMP_NEQ_UQ) |
                             (unsigned(_mm512_cmp_pd_mask(w1, zero, _CMP_NEQ_UQ)) << 8));
    if ((nz & m) == 0)
        return 0;
    __mmask16 n1 = __mmask16(_mm512_cmp_pd_mask(w0, one, _CMP_NEQ_UQ) |
                             (unsigned(_mm512_cmp_pd_mask(w1, one, _CMP_NEQ_UQ)) << 8));
    return (n1 & m) == 0 ? 1 : 2;
}

// The span with its values at v, or vc everywhere when v is null.
__attribute__((always_inline)) inline void Span(uint8_t *dst, const double *w, const int32_t *v, int32_t vc,
                                                int n)
{
    for (int i = 0; i < n; i += 16) {
        __mmask16 m = MaskOf(n - i);
        __m512d w0 = _mm512_maskz_loadu_pd(__mmask8(m), w + i);
        __m512d w1 = _mm512_maskz_loadu_pd(__mmask8(m >> 8), w + i + 8);
        int kind = Kind(w0, w1, m);
        if (kind == 0)
            continue;
        __m512i vi = v ? _mm512_maskz_loadu_epi32(m, v + i) : _mm512_set1_epi32(vc);
        if (kind == 1) {
            _mm_mask_storeu_epi8(dst + i, m, _mm512_cvtepi32_epi8(vi));
            continue;
        }
        __m512d v0 = _mm512_cvtepi32_pd(_mm512_castsi512_si256(vi));
        __m512d v1 = _mm512_cvtepi32_pd(_mm512_extracti64x4_epi64(vi, 1));
        _mm_mask_storeu_epi8(dst + i, m, Formula(_mm_maskz_loadu_epi8(m, dst + i), w0, w1, v0, v1));
    }
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

const SpanOps kSpanAvx512 = {Blend8, Blend8Const};

} // namespace tev
