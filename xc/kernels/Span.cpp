#include "xc/kernels/Span.h"

#include <cstring>

namespace tev
{

namespace
{

void Blend8(uint8_t *dst, const double *w, const int32_t *v, int n)
{
    for (int i = 0; i < n; ++i)
        dst[i] = uint8_t(int32_t((1.0 - w[i]) * dst[i] + w[i] * v[i]));
}

void Blend8Const(uint8_t *dst, const double *w, int32_t v, int n)
{
    for (int i = 0; i < n; ++i)
        dst[i] = uint8_t(int32_t((1.0 - w[i]) * dst[i] + w[i] * v));
}

int BestLevel()
{
    __builtin_cpu_init();
    if (__builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
        __builtin_cpu_supports("avx512vl") && __builtin_cpu_supports("avx512dq"))
        return SPAN_AVX512;
    if (__builtin_cpu_supports("avx2"))
        return SPAN_AVX2;
    return SPAN_PLAIN;
}

const SpanOps *OpsOf(int level)
{
    return level == SPAN_AVX512 ? &kSpanAvx512 : level == SPAN_AVX2 ? &kSpanAvx2 : &kSpanPlain;
}

struct Current {
    int level = BestLevel();
    const SpanOps *ops = OpsOf(level);
};

Current &Chosen()
{
    static Current c;
    return c;
}

} // namespace

const SpanOps kSpanPlain = {Blend8, Blend8Const};

namespace
{

// The 16 alphas at a all equal a[0]: a run inside a hard brush or outside
// any brush.
inline bool Run16(const uint8_t *a)
{
    uint64_t lo, hi, rep = a[0] * 0x0101010101010101ull;
    std::memcpy(&lo, a, 8);
    std::memcpy(&hi, a + 8, 8);
    return lo == rep && hi == rep;
}

} // namespace

// A lookup per pixel (no vector unit looks tables up faster here), and one
// per run of 16 equal alphas under one destination alpha.
void Span_Weights(const uint8_t *a, const uint8_t *d, const double *weight, const uint8_t *alphaOut,
                  double *w, uint8_t *alpha, int n)
{
    if (d) {
        for (int i = 0; i < n; ++i) {
            int k = d[i] * 256 + a[i];
            w[i] = weight[k];
            alpha[i] = alphaOut[k];
        }
        return;
    }
    int i = 0;
    for (; i + 16 <= n; i += 16) {
        if (Run16(a + i)) {
            double wv = weight[a[i]];
            for (int j = 0; j < 16; ++j)
                w[i + j] = wv;
            if (alpha)
                std::memset(alpha + i, alphaOut[a[i]], 16);
            continue;
        }
        for (int j = i; j < i + 16; ++j)
            w[j] = weight[a[j]];
        if (alpha)
            for (int j = i; j < i + 16; ++j)
                alpha[j] = alphaOut[a[j]];
    }
    for (; i < n; ++i) {
        w[i] = weight[a[i]];
        if (alpha)
            alpha[i] = alphaOut[a[i]];
    }
}

int Span_Uniform(const uint8_t *p, int n)
{
    return n > 0 && std::memcmp(p, p + 1, size_t(n - 1)) == 0 ? p[0] : -1;
}

const SpanOps &Span_Ops()
{
    return *Chosen().ops;
}

bool Span_Select(int level)
{
    static const int best = BestLevel();
    if (level < SPAN_PLAIN || level > best)
        return false;
    Chosen().level = level;
    Chosen().ops = OpsOf(level);
    return true;
}

int Span_Level()
{
    return Chosen().level;
}

} // namespace tev
