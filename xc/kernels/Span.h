// The hot loops of the kernel walk, one row span of one plane at a time,
// written for three instruction set levels (plain x86-64, AVX2, AVX-512) and
// picked once at run time from what the processor has (no -march=native).
// Every level computes the same doubles as the scalar expression: only
// element-wise IEEE operations, no contraction, no reassociation.
#pragma once
#include <cstdint>

namespace tev
{

// Per span: the cell (d, a) of the operation gives the weight w and the
// alpha the pixel is left with. The tables are indexed [d * 256 + a]; with
// d null they are the one row of a destination alpha shared by the whole
// span ([a]). With alpha null the alphas are not wanted.
void Span_Weights(const uint8_t *a, const uint8_t *d, const double *weight, const uint8_t *alphaOut,
                  double *w, uint8_t *alpha, int n);

// The value every byte of the span holds, or -1 when they differ.
int Span_Uniform(const uint8_t *p, int n);

struct SpanOps {
    // dst[i] = trunc((1 - w[i]) * dst[i] + w[i] * v[i]) on 8-bit samples.
    // Weight 1 gives v and weight 0 leaves dst exactly: blocks whose
    // weights are all 0 are skipped, all 1 are stored flat.
    void (*blend8)(uint8_t *dst, const double *w, const int32_t *v, int n);
    // The same with one value for the whole span (a constant colour).
    void (*blend8Const)(uint8_t *dst, const double *w, int32_t v, int n);
};

enum { SPAN_PLAIN = 0, SPAN_AVX2 = 1, SPAN_AVX512 = 2 };

// The loops in use: the best level of this processor unless a test chose.
const SpanOps &Span_Ops();
// Uses the loops of one level; false (nothing changes) when the processor
// lacks it. For tests, which run every level against the reference.
bool Span_Select(int level);
int Span_Level();

// The levels, defined in Span.cpp, SpanAvx2.cpp and SpanAvx512.cpp.
extern const SpanOps kSpanPlain, kSpanAvx2, kSpanAvx512;

} // namespace tev
