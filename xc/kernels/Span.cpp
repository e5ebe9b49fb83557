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

// Runs block(d, i) over [0, n): whole vectors of the target's width, then
// the rest in halves of it down to one sample, so that nothing past the
// span is touched, and a span's weights are read back in the sizes they
// were stored in (a wide load of narrow stores would wait for them).
template <class Fn> HWY_INLINE void Ladder(int n, Fn block)
{
    int i = 0;
    auto run = [&](auto d) {
        for (const int N = int(hn::Lanes(d)); i + N <= n; i += N)
            block(d, i);
    };
    run(hn::ScalableTag<double>());
    run(hn::CappedTag<double, 4>());
    run(hn::CappedTag<double, 2>());
    run(hn::CappedTag<double, 1>());
}

void Blend8(uint8_t *dst, const double *w, const int32_t *v, int32_t vc, int n)
{
    Ladder(n, [&](auto d, int i) { Block(d, dst + i, w + i, v ? v + i : nullptr, vc); });
}

// w[i] = weight[(d ? d[i] * 256 : 0) + a[i]], gathered a vector at a time.
void Weights(const uint8_t *a, const uint8_t *dv, const double *weight, double *w, int n)
{
    Ladder(n, [&](auto d, int i) {
        const hn::Rebind<int64_t, decltype(d)> di;
        const hn::Rebind<int32_t, decltype(d)> d32;
        const hn::Rebind<uint8_t, decltype(d)> d8;
        auto k = hn::PromoteTo(di, hn::PromoteTo(d32, hn::LoadU(d8, a + i)));
        if (dv)
            k = hn::Add(k, hn::ShiftLeft<8>(hn::PromoteTo(di, hn::PromoteTo(d32, hn::LoadU(d8, dv + i)))));
        hn::StoreU(hn::GatherIndex(d, weight, k), d, w + i);
    });
}

} // namespace HWY_NAMESPACE
} // namespace tev
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
#include <cstring>

namespace tev
{

HWY_EXPORT(Blend8);
HWY_EXPORT(Weights);

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

// The weights by vector gathers, the alphas (when wanted) one by one.
void Span_Weights(const uint8_t *a, const uint8_t *d, const double *weight, const uint8_t *alphaOut,
                  double *w, uint8_t *alpha, int n)
{
    HWY_DYNAMIC_DISPATCH(Weights)(a, d, weight, w, n);
    if (!alpha)
        return;
    if (d)
        for (int i = 0; i < n; ++i)
            alpha[i] = alphaOut[d[i] * 256 + a[i]];
    else
        for (int i = 0; i < n; ++i)
            alpha[i] = alphaOut[a[i]];
}

int Span_Uniform(const uint8_t *p, int n)
{
    return n > 0 && std::memcmp(p, p + 1, size_t(n - 1)) == 0 ? p[0] : -1;
}

} // namespace tev
#endif // HWY_ONCE
