// The hot loops of the kernel walk, one row span of one plane at a time.
// They live in their own file so that they can be compiled for several
// instruction sets and picked at run time; every variant computes the same
// doubles as the scalar expression (no contraction, no reassociation).
#pragma once
#include <cstdint>

namespace tev {

// Per span: k = a * 256 + d picks the operation's weight w and the alpha the
// pixel is left with; omw = 1 - w is kept for the colour planes. d is the
// destination alpha row, or null for an opaque destination (255).
void Span_Weights(const int32_t *a, const uint8_t *d, const double *weight, const uint8_t *alphaOut,
                  double *w, double *omw, uint8_t *alpha, int n);

// dst[i] = trunc(omw[i] * dst[i] + w[i] * v[i]) on 8-bit samples. Weight 1
// gives v and weight 0 leaves dst exactly, so no pixel needs a test.
void Span_Blend8(uint8_t *dst, const double *w, const double *omw, const int32_t *v, int n);
// The same with one value for the whole span (a constant colour).
void Span_Blend8Const(uint8_t *dst, const double *w, const double *omw, int32_t v, int n);

} // namespace tev
