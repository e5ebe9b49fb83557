// The hot loops of the kernel walk, one row span of one plane at a time.
// The weights and blends are written once with Highway, compiled for several
// instruction sets and picked at run time (no -march=native). Every target
// computes the same doubles as the scalar expression: element-wise IEEE
// operations only, no fused multiply-add, no reassociation.
#pragma once
#include <cstdint>
#include <vector>

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

// dst[i] = trunc((1 - w[i]) * dst[i] + w[i] * v[i]) on 8-bit samples, v
// null meaning vc everywhere (a constant colour). Weight 1 gives v and
// weight 0 leaves dst exactly, so blocks of such weights are stored flat or
// skipped.
void Span_Blend8(uint8_t *dst, const double *w, const int32_t *v, int32_t vc, int n);

// The instruction sets the loops were compiled for that this processor
// runs, and a way to run one of them (0: the best again). For tests, which
// compare every target with the plain loop.
std::vector<int64_t> Span_Targets();
const char *Span_TargetName(int64_t target);
void Span_UseTarget(int64_t target);

} // namespace tev
