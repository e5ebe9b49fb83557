// The image-to-image destination writers on the common walk (Walk.h), and
// the Tev2Tev tables built from them. Include only from xc/kernels/*.cpp.
//
// Per span of a row:
//   1. each source colour plane is read along the span into a buffer, at the
//      working scale (the destination's depth; for 1-bit destinations the
//      source's own);
//   2. with alpha, the span's weights are computed once: a = the coverage
//      (Walk.h), d = destination alpha (255 without), w = weight[a][d];
//   3. each destination plane gets its channel: the source converted to the
//      destination mode, composed as trunc((1 - w) * dst + w * src);
//   4. the destination alpha takes the alpha of cell (a, d), unless no cell
//      of the span's one destination alpha changes it (an opaque image).
#pragma once
#include "xc/FillTev2Tev.h"
#include "xc/kernels/Span.h"
#include "xc/kernels/Tev2Tev.h"
#include "xc/kernels/Walk.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <utility>

namespace tev
{

// The 1-bit threshold of destination pixel (x, y) at the working scale:
// the matrix as fractions for 0/1 values, as integers for 8-bit values, times
// 256 for 16-bit values; a 1 x 1 "matrix" is the fixed threshold.
template <int WD> struct Threshold {
    explicit Threshold(const FillTev2TevData *f)
        : w(f->ditherW), h(f->ditherH), frac(f->ditherFrac), i8(f->ditherInt), i16(f->ditherInt256)
    {
    }
    bool Set(int32_t v, int32_t x, int32_t y) const
    {
        int k = (x % w) * 16 + (y % h);
        if constexpr (WD == 1)
            return !(double(v) < frac[k]);
        else if constexpr (WD == 8)
            return !(v < i8[k]);
        else
            return !(v < i16[k]);
    }
    int32_t w, h;
    const double *frac;
    const int32_t *i8, *i16;
};

// Writes one destination channel along a span: v is the converted source
// (vc when the source is one constant colour).
template <int DD, int WD, bool A>
void WriteSpan(uint8_t *row, int32_t x0, int32_t y, int n, const int32_t *v, int32_t vc, const double *w,
               const Threshold<WD> &thr)
{
    if constexpr (DD == 8) {
        uint8_t *d = row + x0;
        if constexpr (A) {
            Span_Blend8(d, w, v, vc, n);
        } else {
            for (int i = 0; i < n; ++i)
                d[i] = uint8_t(v ? v[i] : vc);
        }
    } else if constexpr (DD == 16) {
        uint8_t *d = row + 2 * ptrdiff_t(x0);
        for (int i = 0; i < n; ++i) {
            int32_t s = v ? v[i] : vc;
            if constexpr (A)
                s = int32_t((1.0 - w[i]) * Bytes_Get16(d + 2 * i) + w[i] * s);
            Bytes_Put16(d + 2 * i, uint16_t(s));
        }
    } else {
        for (int i = 0; i < n; ++i) {
            int32_t x = x0 + i, s = v ? v[i] : vc;
            uint8_t *byte = row + (x >> 3), bit = uint8_t(0x80u >> (x & 7));
            if constexpr (A) {
                if (w[i] == 0.0)
                    continue; // leave the pixel
                if (w[i] != 1.0) {
                    int32_t c = (*byte & bit) ? Full(WD) : 0;
                    s = int32_t((1.0 - w[i]) * c + w[i] * s);
                }
            }
            if (thr.Set(s, x, y))
                *byte = uint8_t(*byte | bit);
            else
                *byte = uint8_t(*byte & ~bit);
        }
    }
}

// The planes a kernel touches, found once per call.
template <int SM, int DM> struct Planes {
    Plane src[4], srcAlpha, srcMask;
    Plane dst[4], dstAlpha, dstMask;
    int32_t cst[4] = {}; // the constant colour's channels, 0..255

    explicit Planes(const FillTev2TevData *f)
    {
        for (int p = 0; p < Channels(SM); ++p)
            src[p] = PlaneOf(f->src, SM == GRAY ? f->srcShown : p);
        for (int p = 0; p < Channels(DM); ++p)
            dst[p] = PlaneOf(f->dst, DM == GRAY ? f->dstShown : p);
        if (f->srcAlphaPlane)
            srcAlpha = PlaneOf(f->src, f->srcAlphaPlane);
        if (f->dstAlphaPlane)
            dstAlpha = PlaneOf(f->dst, f->dstAlphaPlane);
        if (f->srcMask)
            srcMask = PlaneOf(f->srcMask, f->srcMaskPlane);
        if (f->dstMask)
            dstMask = PlaneOf(f->dstMask, f->dstMaskPlane);
        const ColorValue &c = f->fgValues;
        int32_t rgb[3] = {c.red, c.green, c.blue}, cmyk[4] = {c.cyan, c.magenta, c.yellow, c.black};
        for (int p = 0; p < Channels(DM); ++p) {
            int32_t v = DM == GRAY ? c.grey : DM == RGB ? rgb[p] : cmyk[p];
            cst[p] = std::clamp(v, 0, 255);
        }
    }
};

// The body of the walk (ForEachSpan) for one format pair.
template <int SM, int SD, int DM, int DD, bool A, class Sampler> class Writer
{
    static constexpr int SW = SM == CST ? 8 : SD; // the constant colour is 8-bit
    static constexpr int WD = DD == 1 ? SW : DD;
    static constexpr int NS = SM == CST ? 0 : Channels(SM);
    static constexpr int ND = Channels(DM);
    static constexpr int CD = WD == 1 ? 8 : WD; // the constant colour's working depth

  public:
    Writer(const FillTev2TevData *f, const Start &s, const Box &b)
        : f_(f), pl_(f), thr_(f), sampler_(s, b.width), x1_(b.x1), x2_(b.x2)
    {
        for (int p = 0; p < ND; ++p)
            cst_[p] = Scale<8, CD>(uint32_t(pl_.cst[p]));
        sc1_ = sampler_.FirstColumn();
        sc2_ = sampler_.LastColumn();
    }

    void Run(const Box &b) { ForEachSpan(b, sampler_, *this); }

    // Inlined into the loop: a function holding only prefetches counts as
    // one without effect, and its calls would be dropped.
    [[gnu::always_inline]] void Ahead(int32_t y, int32_t sy) const
    {
        for (int p = 0; p < ND; ++p)
            Prefetch<true>(pl_.dst[p], y, x1_, x2_, DD);
        Prefetch<true>(pl_.dstAlpha, y, x1_, x2_, 8);
        Prefetch<false>(pl_.dstMask, y, x1_, x2_, 8);
        for (int p = 0; p < NS; ++p)
            Prefetch<false>(pl_.src[p], sy, sc1_, sc2_, SD);
        Prefetch<false>(pl_.srcAlpha, sy, sc1_, sc2_, 8);
        Prefetch<false>(pl_.srcMask, sy, sc1_, sc2_, 8);
    }

    void Span(int32_t y, int32_t x0, int32_t i0, int n)
    {
        bool keep = false; // the destination alpha stays as it is
        ReadSource<SM, SD, WD>(sampler_, pl_.src, i0, n, S_);
        if constexpr (A) {
            const uint8_t *a = Coverage(sampler_, pl_.srcAlpha, pl_.dstMask, pl_.srcMask, f_->mul, y, x0, i0,
                                        n, abuf_, mbuf_, masked_);
            // A destination alpha the same along the span (an opaque
            // image: 255) reads one row of the tables, and when no cell of
            // that row changes it, the alpha plane is left alone.
            const uint8_t *d = pl_.dstAlpha ? pl_.dstAlpha.Row(y) + x0 : nullptr;
            int dv = d ? Span_Uniform(d, n) : 255;
            keep = dv >= 0 && (!d || f_->keepsAlpha[dv]);
            if (dv >= 0)
                Span_Weights(a, nullptr, f_->weightByD + dv * 256, f_->alphaByD + dv * 256, w_,
                             keep ? nullptr : alpha_, n);
            else
                Span_Weights(a, d, f_->weightByD, f_->alphaByD, w_, alpha_, n);
        }
        for (int ch = 0; ch < ND; ++ch) {
            const int32_t *v = nullptr;
            if constexpr (SM != CST)
                v = ToChannel<SM, DM, WD>(ch, S_, tmp_, n);
            WriteSpan<DD, WD, A>(pl_.dst[ch].Row(y), x0, y, n, v, cst_[ch], w_, thr_);
        }
        if constexpr (A)
            if (pl_.dstAlpha && !keep)
                std::memcpy(pl_.dstAlpha.Row(y) + x0, alpha_, size_t(n));
    }

  private:
    const FillTev2TevData *f_;
    const Planes<SM, DM> pl_;
    const Threshold<WD> thr_;
    Sampler sampler_;
    int32_t x1_, x2_, sc1_, sc2_;
    int32_t cst_[4];
    // Whole vectors never straddle a cache line.
    alignas(64) double w_[kChunk];
    alignas(64) int32_t S_[4][kChunk];
    alignas(64) int32_t tmp_[kChunk];
    alignas(64) uint8_t alpha_[kChunk];
    alignas(64) uint8_t abuf_[kChunk];
    alignas(64) uint8_t mbuf_[kChunk];
    alignas(64) uint8_t masked_[kChunk];
};

template <int SM, int SD, int DM, int DD, bool A, class Sampler>
void Paint(const FillTev2TevData *f, const Start &s, const Box &b)
{
    Writer<SM, SD, DM, DD, A, Sampler> writer(f, s, b);
    writer.Run(b);
}

// A constant colour without alpha: the colour planes are set flat, the
// destination alpha (when in use) to 255. Both slots.
template <int DM, int DD> void CstFlat(View *, void *data, Box *box)
{
    auto *f = static_cast<FillTev2TevData *>(data);
    const Planes<CST, DM> pl(f);
    for (int p = 0; p < Channels(DM); ++p) {
        int plane = DM == GRAY ? f->dstShown : p;
        if constexpr (DD == 8)
            FillTev2Tev_SetValue8(f->dst, plane, box, pl.cst[p]);
        else if constexpr (DD == 16)
            FillTev2Tev_SetValue16(f->dst, plane, box, pl.cst[p] * 256);
        else
            FillTev2Tev_SetValue1_Gen(f->dst, plane, box, pl.cst[p], f);
    }
    if (f->dstAlphaPlane)
        FillTev2Tev_SetValue8(f->dst, f->dstAlphaPlane, box, 255);
}

template <int SM, int SD, int DM, int DD, bool A> struct Kernel {
    static void Nearest(View *view, void *data, Box *box)
    {
        auto *f = static_cast<const FillTev2TevData *>(data);
        Paint<SM, SD, DM, DD, A, NearestSampler>(f, StartOf(view, f->src, *box), *box);
    }
    static void Average(View *view, void *data, Box *box)
    {
        auto *f = static_cast<const FillTev2TevData *>(data);
        Paint<SM, SD, DM, DD, A, AverageSampler>(f, StartOf(view, f->src, *box), *box);
    }
};

template <int SM, int SD, int DM, int DD, bool A> Tev2TevTable TableOf()
{
    Tev2TevTable t{};
    Tev2Tev_Name(t.name, sizeof t.name, SM, SD, DM, DD, A);
    if constexpr (SM == CST && !A) {
        t.slot[TEV2TEV_NEAREST] = t.slot[TEV2TEV_AVERAGE] = &CstFlat<DM, DD>;
    } else {
        t.slot[TEV2TEV_NEAREST] = &Kernel<SM, SD, DM, DD, A>::Nearest;
        t.slot[TEV2TEV_AVERAGE] = &Kernel<SM, SD, DM, DD, A>::Average;
    }
    return t;
}

// A constant colour through the source's alpha onto 8-bit planes at scale
// 1, whatever the view's zoom: the brush engine's fast kernels.
template <int DM> void ConstantAtScale1(View *view, void *data, Box *box)
{
    auto *f = static_cast<const FillTev2TevData *>(data);
    if (!f->weight || !f->srcAlphaPlane || box->width < 1 || box->height < 1)
        return;
    Start s{};
    ViewDstToSrc(view, box->x1, box->y1, &s.sx, &s.sy);
    s.numX = s.denX = s.numY = s.denY = 1;
    s.srcX2 = Image_Width(f->src) - 1;
    s.srcY2 = Image_Height(f->src) - 1;
    Paint<CST, 8, DM, 8, true, NearestSampler>(f, s, *box);
}

template <int DM, int DD, size_t... I>
std::array<Tev2TevTable, kTablesPerDst> TablesOf(std::index_sequence<I...>)
{
    return {TableOf<kModes[I / (2 * kDepthCount)], kDepths[I / 2 % kDepthCount], DM, DD, I % 2 == 1>()...,
            TableOf<CST, 8, DM, DD, false>(), TableOf<CST, 8, DM, DD, true>()};
}

// Every table whose destination is mode DM at depth DD; each instantiation
// lives in its own file of xc/kernels/ so that they compile in parallel.
template <int DM, int DD> const Tev2TevTable *Tables()
{
    static const std::array<Tev2TevTable, kTablesPerDst> tables =
        TablesOf<DM, DD>(std::make_index_sequence<kTablesPerDst - 2>());
    return tables.data();
}

} // namespace tev
