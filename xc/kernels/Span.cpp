// Compiled once per Highway target: this file includes itself through
// foreach_target.h, and the code outside HWY_ONCE is each target's.
#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "xc/kernels/Span.cpp"
#include <hwy/foreach_target.h> // must come before highway.h
#include <hwy/highway.h>

#include "xc/kernels/Span.h"

HWY_BEFORE_NAMESPACE();
namespace tev
{
namespace HWY_NAMESPACE
{
namespace hn = hwy::HWY_NAMESPACE;

// The scalar expression; the vector loop must give its bytes.
inline uint8_t BlendOne(uint8_t c, double w, int32_t v)
{
    return uint8_t(int32_t((1.0 - w) * c + w * v));
}

// Blocks of as many samples as the target holds doubles: products and sum
// rounded one by one (Mul, Add: never MulAdd), truncated by the demotion.
void Blend8(uint8_t *dst, const double *w, const int32_t *v, int32_t vc, int n)
{
    const hn::ScalableTag<double> d;
    const hn::Rebind<int32_t, decltype(d)> di;
    const hn::Rebind<uint8_t, decltype(d)> d8;
    const int N = int(hn::Lanes(d));
    const auto one = hn::Set(d, 1.0), zero = hn::Zero(d), flat = hn::Set(d, double(vc));
    int i = 0;
    for (; i + N <= n; i += N) {
        const auto wv = hn::LoadU(d, w + i);
        if (hn::AllTrue(d, hn::Eq(wv, zero)))
            continue;
        const auto value = v ? hn::PromoteTo(d, hn::LoadU(di, v + i)) : flat;
        auto r = value;
        if (!hn::AllTrue(d, hn::Eq(wv, one))) {
            const auto c = hn::PromoteTo(d, hn::PromoteTo(di, hn::LoadU(d8, dst + i)));
            r = hn::Add(hn::Mul(hn::Sub(one, wv), c), hn::Mul(wv, value));
        }
        hn::StoreU(hn::DemoteTo(d8, hn::DemoteTo(di, r)), d8, dst + i);
    }
    for (; i < n; ++i)
        dst[i] = BlendOne(dst[i], w[i], v ? v[i] : vc);
}

} // namespace HWY_NAMESPACE
} // namespace tev
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
#include <cstring>

namespace tev
{

HWY_EXPORT(Blend8);

void Span_Blend8(uint8_t *dst, const double *w, const int32_t *v, int32_t vc, int n)
{
    HWY_DYNAMIC_DISPATCH(Blend8)(dst, w, v, vc, n);
}

std::vector<int64_t> Span_Targets()
{
    return hwy::SupportedAndGeneratedTargets();
}

const char *Span_TargetName(int64_t target)
{
    return hwy::TargetName(target);
}

void Span_UseTarget(int64_t target)
{
    hwy::SetSupportedTargetsForTest(target);
}

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

} // namespace tev
#endif // HWY_ONCE
