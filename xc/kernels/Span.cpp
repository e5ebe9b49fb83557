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

// Blocks of as many samples as the target holds doubles: products and sum
// rounded one by one (Mul, Add: never MulAdd), truncated by the demotion.
// Weight 0 leaves the block, weight 1 stores the values.
template <class D> HWY_INLINE void Block(D d, uint8_t *dst, const double *w, const int32_t *v, int32_t vc)
{
    const hn::Rebind<int32_t, D> di;
    const hn::Rebind<uint8_t, D> d8;
    const auto one = hn::Set(d, 1.0);
    const auto wv = hn::LoadU(d, w);
    if (hn::AllTrue(d, hn::Eq(wv, hn::Zero(d))))
        return;
    auto r = v ? hn::PromoteTo(d, hn::LoadU(di, v)) : hn::Set(d, double(vc));
    if (!hn::AllTrue(d, hn::Eq(wv, one))) {
        const auto c = hn::PromoteTo(d, hn::PromoteTo(di, hn::LoadU(d8, dst)));
        r = hn::Add(hn::Mul(hn::Sub(one, wv), c), hn::Mul(wv, r));
    }
    // In 0..255 already: the low byte of each word is the sample.
    const hn::Rebind<uint32_t, D> du;
    hn::StoreU(hn::TruncateTo(d8, hn::BitCast(du, hn::DemoteTo(di, r))), d8, dst);
}

// Whole blocks of the target's width, then the rest in halves of it down
// to one sample: nothing past the span is read or written.
template <class D>
HWY_INLINE int Blocks(D d, uint8_t *dst, const double *w, const int32_t *v, int32_t vc, int i, int n)
{
    const int N = int(hn::Lanes(d));
    for (; i + N <= n; i += N)
        Block(d, dst + i, w + i, v ? v + i : nullptr, vc);
    return i;
}

void Blend8(uint8_t *dst, const double *w, const int32_t *v, int32_t vc, int n)
{
    int i = Blocks(hn::ScalableTag<double>(), dst, w, v, vc, 0, n);
    i = Blocks(hn::CappedTag<double, 4>(), dst, w, v, vc, i, n);
    i = Blocks(hn::CappedTag<double, 2>(), dst, w, v, vc, i, n);
    Blocks(hn::CappedTag<double, 1>(), dst, w, v, vc, i, n);
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
