// The one walk every image-to-image kernel follows, written once and
// instantiated per source format, destination format and slot. Include only
// from xc/kernels/*.cpp.
//
// A kernel paints one destination box that the dispatcher has already cut to
// what both images can serve. Row by row and in spans of at most kChunk
// columns, it works one plane at a time (the store's planes of a power-of-two
// width alias at 4 KiB, so touching R, G, B and alpha of one pixel before the
// next thrashes the cache):
//   1. each source colour plane is read along the span into a buffer, at the
//      working scale (the destination's depth; for 1-bit destinations the
//      source's own);
//   2. with alpha, the span's weights are computed once: a = source alpha
//      (255 without), a = mul[a][dstMask], a = mul[a][srcMask],
//      d = destination alpha (255 without), w = weight[a][d];
//   3. each destination plane gets its channel: the source converted to the
//      destination mode, composed as trunc((1 - w) * dst + w * src);
//   4. the destination alpha takes the alpha of cell (a, d), unless no cell
//      of the span's one destination alpha changes it (an opaque image).
// The rows a few steps ahead are prefetched: the planes lie megabytes
// apart and every row of every plane is a page of its own.
// Source columns and rows follow the exact integer walk: run = phase,
// run += num per destination pixel, carry run / den source pixels; columns
// are walked once per box, rows once per row. The nearest slot reads the
// pixel the walk stands on; the averaging slot reads every source pixel the
// destination pixel covers, weighted by the covered fraction (units of 1/den).
#pragma once
#include "core/Image.h"
#include "xc/FillTev2Tev.h"
#include "xc/kernels/Span.h"
#include "xc/kernels/Tev2Tev.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <utility>
#include <vector>

namespace tev
{

constexpr int GRAY = 1, RGB = 2, CMYK = 3, CST = FT2T_MODE_CST;
constexpr int kChunk = 256;

constexpr int Channels(int mode)
{
    return mode == RGB ? 3 : mode == CMYK ? 4 : mode == GRAY ? 1 : 0;
}

constexpr int32_t Full(int depth)
{
    return depth == 1 ? 1 : depth == 8 ? 255 : 65535;
}

// Row y of a plane lies at base + y * bpr.
struct Plane {
    uint8_t *base = nullptr;
    ptrdiff_t bpr = 0;
    uint8_t *Row(int32_t y) const { return base + y * bpr; }
    explicit operator bool() const { return base != nullptr; }
};

inline Plane PlaneOf(Image *image, int plane)
{
    return Plane{Image_Row(image, plane, 0), Image_PlaneBytesPerRow(image, plane)};
}

template <int D> inline uint32_t Sample(const uint8_t *row, int32_t x)
{
    if constexpr (D == 8)
        return row[x];
    else if constexpr (D == 16)
        return Bytes_Get16(row + 2 * ptrdiff_t(x));
    else
        return (row[x >> 3] >> (7 - (x & 7))) & 1u;
}

// A sample of depth SD at the working depth WD: 16 to 8 keeps the high byte,
// 8 to 16 multiplies by 256, a set bit is full scale.
template <int SD, int WD> constexpr int32_t Scale(uint32_t v)
{
    if constexpr (SD == WD)
        return int32_t(v);
    else if constexpr (SD == 1)
        return v ? Full(WD) : 0;
    else if constexpr (SD == 8)
        return int32_t(v * 256);
    else
        return int32_t(v >> 8);
}

// A span of alpha 255, for a source without alpha.
inline const uint8_t *Opaque()
{
    static const std::array<uint8_t, kChunk> opaque = [] {
        std::array<uint8_t, kChunk> a;
        a.fill(255);
        return a;
    }();
    return opaque.data();
}

// Per-call scratch that outlives no call: per-column tables of the box.
inline int32_t *Scratch(size_t n)
{
    thread_local std::vector<int32_t> buf;
    if (buf.size() < n)
        buf.resize(n);
    return buf.data();
}

// One destination pixel on: the phase runs on by num and carries whole
// source pixels (the exact integer walk of a view's map).
inline void Step(int32_t &source, int32_t &phase, int32_t num, int32_t den)
{
    phase += num;
    if (phase >= den) {
        source += phase / den;
        phase %= den;
    }
}

// Where the walk starts and how far it may read.
struct Start {
    int32_t sx, sy, phx, phy;
    int32_t numX, denX, numY, denY;
    int32_t srcX2, srcY2; // last source column and row that may be read
};

// Slot 0: the source pixel the walk stands on.
class NearestSampler
{
  public:
    NearestSampler(const Start &s, int32_t width) : sy_(s.sy), phy_(s.phy), numY_(s.numY), denY_(s.denY)
    {
        unit_ = s.numX == 1 && s.denX == 1;
        sx_ = s.sx;
        first_ = s.sx;
        last_ = s.sx + width - 1;
        if (unit_)
            return;
        col_ = Scratch(size_t(width));
        int32_t x = s.sx, run = s.phx;
        for (int32_t i = 0; i < width; ++i) {
            col_[i] = x;
            Step(x, run, s.numX, s.denX);
        }
        last_ = col_[width - 1];
    }

    // The source columns read, and the first source row k rows ahead.
    int32_t FirstColumn() const { return first_; }
    int32_t LastColumn() const { return last_; }
    int32_t RowAhead(int k) const { return sy_ + (phy_ + k * numY_) / denY_; }

    template <int SD, int WD> void Read(const Plane &p, int32_t i0, int n, int32_t *out) const
    {
        const uint8_t *row = p.Row(sy_);
        if (unit_)
            for (int i = 0; i < n; ++i)
                out[i] = Scale<SD, WD>(Sample<SD>(row, sx_ + i0 + i));
        else
            for (int i = 0; i < n; ++i)
                out[i] = Scale<SD, WD>(Sample<SD>(row, col_[i0 + i]));
    }

    // An 8-bit plane (alpha, mask) along the span: the row itself when the
    // walk is 1:1, else gathered into buf.
    const uint8_t *Bytes(const Plane &p, int32_t i0, int n, uint8_t *buf) const
    {
        const uint8_t *row = p.Row(sy_);
        if (unit_)
            return row + sx_ + i0;
        for (int i = 0; i < n; ++i)
            buf[i] = row[col_[i0 + i]];
        return buf;
    }

    void NextRow() { Step(sy_, phy_, numY_, denY_); }

  private:
    bool unit_;
    int32_t sx_, first_, last_;
    int32_t *col_ = nullptr;
    int32_t sy_, phy_, numY_, denY_;
};

// The source pixels one destination pixel covers along one axis, starting at
// (s, ph) for num units of 1/den: the first gets min(m, den - ph), the ones
// in between m = min(num, den), the last the end's remainder; the end is
// clamped to last + 1 with remainder 0. Pixels of weight 0 are not read.
struct Cover {
    int32_t first, last;   // source pixels read, inclusive
    int32_t wFirst, wLast; // weights of first and last (when different)
    int32_t total;         // sum of the weights
};

inline Cover CoverOf(int32_t s, int32_t ph, int32_t num, int32_t den, int32_t limit)
{
    int32_t m = std::min(num, den);
    Cover c;
    c.first = s;
    c.wFirst = std::min(m, den - ph);
    int32_t end = s + (ph + num) / den, rem = (ph + num) % den;
    if (end > limit + 1 || (end == limit + 1 && rem > 0)) {
        end = limit + 1;
        rem = 0;
    }
    if (rem > 0) {
        c.last = end;
        c.wLast = rem;
    } else {
        c.last = std::max(end - 1, s);
        c.wLast = m;
    }
    if (c.last == c.first)
        c.total = c.wFirst;
    else
        c.total = c.wFirst + (c.last - c.first - 1) * m + c.wLast;
    return c;
}

// Slot 1: the area average. Each channel = sum(w * value) / sum(w) with
// w = wx * wy, computed in double precision and truncated. The sums are
// taken in 64-bit integers: they are exact integers below 2^53 for any
// fraction whose terms stay below 2^18, so the one division is the same
// double the formula gives.
class AverageSampler
{
  public:
    AverageSampler(const Start &s, int32_t width)
        : sy_(s.sy), phy_(s.phy), numY_(s.numY), denY_(s.denY), srcY2_(s.srcY2),
          mX_(std::min(s.numX, s.denX)), mY_(std::min(s.numY, s.denY))
    {
        int32_t *t = Scratch(size_t(width) * 5);
        first_ = t;
        last_ = t + width;
        wFirst_ = t + 2 * width;
        wLast_ = t + 3 * width;
        total_ = t + 4 * width;
        int32_t x = s.sx, run = s.phx;
        for (int32_t i = 0; i < width; ++i) {
            Cover c = CoverOf(x, run, s.numX, s.denX, s.srcX2);
            first_[i] = c.first;
            last_[i] = c.last;
            wFirst_[i] = c.wFirst;
            wLast_[i] = c.wLast;
            total_[i] = c.total;
            Step(x, run, s.numX, s.denX);
        }
        rows_ = CoverOf(sy_, phy_, numY_, denY_, srcY2_);
        width_ = width;
    }

    int32_t FirstColumn() const { return first_[0]; }
    int32_t LastColumn() const { return last_[width_ - 1]; }
    int32_t RowAhead(int k) const { return std::min(sy_ + (phy_ + k * numY_) / denY_, srcY2_); }

    template <int SD, int WD> void Read(const Plane &p, int32_t i0, int n, int32_t *out) const
    {
        int64_t acc[kChunk] = {};
        for (int32_t r = rows_.first; r <= rows_.last; ++r) {
            int64_t wy = r == rows_.first ? rows_.wFirst : r == rows_.last ? rows_.wLast : mY_;
            const uint8_t *row = p.Row(r);
            for (int i = 0; i < n; ++i) {
                int32_t j = i0 + i, c0 = first_[j], c1 = last_[j];
                int64_t sum = int64_t(wFirst_[j]) * Scale<SD, WD>(Sample<SD>(row, c0));
                if (c1 > c0) {
                    for (int32_t c = c0 + 1; c < c1; ++c)
                        sum += int64_t(mX_) * Scale<SD, WD>(Sample<SD>(row, c));
                    sum += int64_t(wLast_[j]) * Scale<SD, WD>(Sample<SD>(row, c1));
                }
                acc[i] += wy * sum;
            }
        }
        for (int i = 0; i < n; ++i) {
            double total = double(int64_t(total_[i0 + i]) * rows_.total);
            out[i] = int32_t(double(acc[i]) / total);
        }
    }

    const uint8_t *Bytes(const Plane &p, int32_t i0, int n, uint8_t *buf) const
    {
        int32_t v[kChunk];
        Read<8, 8>(p, i0, n, v);
        for (int i = 0; i < n; ++i)
            buf[i] = uint8_t(v[i]);
        return buf;
    }

    void NextRow()
    {
        Step(sy_, phy_, numY_, denY_);
        rows_ = CoverOf(sy_, phy_, numY_, denY_, srcY2_);
    }

  private:
    int32_t sy_, phy_, numY_, denY_, srcY2_;
    int32_t mX_, mY_;
    int32_t *first_, *last_, *wFirst_, *wLast_, *total_;
    int32_t width_;
    Cover rows_;
};

// One destination channel from the source channels S (working scale F):
// grey -> RGB repeats; CMYK -> RGB = max(0, F - K - C) ...; RGB -> grey is
// the truncated mean; CMYK -> grey = (F - K) - (C + M + Y) / 3 in doubles,
// raised to 0; RGB -> CMYK = F - R, F - G, F - B, 0; grey -> CMYK = 0, 0, 0,
// F - g. Returns the buffer that holds the channel.
template <int SM, int DM, int WD> const int32_t *ToChannel(int ch, int32_t (*S)[kChunk], int32_t *tmp, int n)
{
    constexpr int32_t F = Full(WD);
    if constexpr (SM == DM) {
        return S[ch];
    } else if constexpr (SM == GRAY && DM == RGB) {
        return S[0];
    } else if constexpr (SM == CMYK && DM == RGB) {
        for (int i = 0; i < n; ++i)
            tmp[i] = std::max(0, F - S[3][i] - S[ch][i]);
    } else if constexpr (SM == RGB && DM == GRAY) {
        for (int i = 0; i < n; ++i)
            tmp[i] = (S[0][i] + S[1][i] + S[2][i]) / 3;
    } else if constexpr (SM == CMYK && DM == GRAY) {
        for (int i = 0; i < n; ++i) {
            double g = double(F - S[3][i]) - double(S[0][i] + S[1][i] + S[2][i]) / 3.0;
            tmp[i] = g < 0.0 ? 0 : int32_t(g);
        }
    } else if constexpr (SM == RGB && DM == CMYK) {
        for (int i = 0; i < n; ++i)
            tmp[i] = ch < 3 ? F - S[ch][i] : 0;
    } else if constexpr (SM == GRAY && DM == CMYK) {
        for (int i = 0; i < n; ++i)
            tmp[i] = ch < 3 ? 0 : F - S[0][i];
    }
    return tmp;
}

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
void WriteSpan(const SpanOps &ops, uint8_t *row, int32_t x0, int32_t y, int n, const int32_t *v, int32_t vc,
               const double *w, const Threshold<WD> &thr)
{
    if constexpr (DD == 8) {
        uint8_t *d = row + x0;
        if constexpr (A) {
            if (v)
                ops.blend8(d, w, v, n);
            else
                ops.blend8Const(d, w, vc, n);
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

// Asks for the cache lines of a row span of a plane ahead of their use. The
// planes lie megabytes apart and rows a page apart, so the hardware finds
// no stream to follow; without this every row of every plane waits for
// memory in turn.
// Always inlined: a function holding only prefetches counts as one without
// effect, and its calls would be dropped.
template <bool Write>
__attribute__((always_inline)) inline void Prefetch(const Plane &p, int32_t row, int32_t x1, int32_t x2,
                                                    int depth)
{
    if (!p)
        return;
    ptrdiff_t b1 = depth == 1 ? x1 / 8 : ptrdiff_t(x1) * depth / 8;
    ptrdiff_t b2 = depth == 1 ? x2 / 8 : (ptrdiff_t(x2) + 1) * depth / 8 - 1;
    const uint8_t *q = p.Row(row) + b1;
    ptrdiff_t lines = ((uintptr_t(q) & 63) + (b2 - b1)) / 64 + 1;
    for (ptrdiff_t i = 0; i < lines; ++i)
        __builtin_prefetch(q + 64 * i, Write ? 1 : 0);
}

constexpr int kAhead = 2; // rows

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

inline Start StartOf(View *view, const FillTev2TevData *f, const Box &b)
{
    Start s;
    ViewDstToSrcPh(view, b.x1, b.y1, &s.sx, &s.sy, &s.phx, &s.phy);
    s.numX = view->xMap.num;
    s.denX = view->xMap.den;
    s.numY = view->yMap.num;
    s.denY = view->yMap.den;
    s.srcX2 = std::min(view->src.x2, Image_Width(f->src) - 1);
    s.srcY2 = std::min(view->src.y2, Image_Height(f->src) - 1);
    return s;
}

template <int SM, int SD, int DM, int DD, bool A, class Sampler>
void Walk(View *view, FillTev2TevData *f, const Box &b)
{
    constexpr int SW = SM == CST ? 8 : SD; // the constant colour is 8-bit
    constexpr int WD = DD == 1 ? SW : DD;
    constexpr int NS = SM == CST ? 0 : Channels(SM);
    constexpr int ND = Channels(DM);
    const Planes<SM, DM> pl(f);
    const Threshold<WD> thr(f);
    const SpanOps &ops = Span_Ops();
    Sampler sampler(StartOf(view, f, b), b.width);
    int32_t cst[4];
    for (int p = 0; p < ND; ++p)
        cst[p] = Scale < 8, WD == 1 ? 8 : WD > (uint32_t(pl.cst[p]));

    int32_t S[4][kChunk], tmp[kChunk];
    double w[kChunk];
    uint8_t alpha[kChunk], abuf[kChunk], mbuf[kChunk], masked[kChunk];
    const int32_t sc1 = sampler.FirstColumn(), sc2 = sampler.LastColumn();
    for (int32_t y = b.y1; y <= b.y2; ++y) {
        if (y + kAhead <= b.y2) {
            for (int p = 0; p < ND; ++p)
                Prefetch<true>(pl.dst[p], y + kAhead, b.x1, b.x2, DD);
            Prefetch<true>(pl.dstAlpha, y + kAhead, b.x1, b.x2, 8);
            Prefetch<false>(pl.dstMask, y + kAhead, b.x1, b.x2, 8);
            int32_t sy = sampler.RowAhead(kAhead);
            for (int p = 0; p < NS; ++p)
                Prefetch<false>(pl.src[p], sy, sc1, sc2, SD);
            Prefetch<false>(pl.srcAlpha, sy, sc1, sc2, 8);
            Prefetch<false>(pl.srcMask, sy, sc1, sc2, 8);
        }
        for (int32_t x0 = b.x1; x0 <= b.x2; x0 += kChunk) {
            int n = std::min(kChunk, b.x2 - x0 + 1);
            int32_t i0 = x0 - b.x1;
            bool keep = false; // the destination alpha stays as it is
            for (int p = 0; p < NS; ++p)
                sampler.template Read<SD, WD>(pl.src[p], i0, n, S[p]);
            if constexpr (A) {
                const uint8_t *a = pl.srcAlpha ? sampler.Bytes(pl.srcAlpha, i0, n, abuf) : Opaque();
                if (pl.dstMask) {
                    const uint8_t *m = pl.dstMask.Row(y) + x0;
                    for (int i = 0; i < n; ++i)
                        masked[i] = f->mul[a[i] * 256 + m[i]];
                    a = masked;
                }
                if (pl.srcMask) {
                    const uint8_t *m = sampler.Bytes(pl.srcMask, i0, n, mbuf);
                    for (int i = 0; i < n; ++i)
                        masked[i] = f->mul[a[i] * 256 + m[i]];
                    a = masked;
                }
                // A destination alpha the same along the span (an opaque
                // image: 255) reads one row of the tables, and when no cell
                // of that row changes it, the alpha plane is left alone.
                const uint8_t *d = pl.dstAlpha ? pl.dstAlpha.Row(y) + x0 : nullptr;
                int dv = d ? Span_Uniform(d, n) : 255;
                keep = dv >= 0 && (!d || f->keepsAlpha[dv]);
                if (dv >= 0)
                    Span_Weights(a, nullptr, f->weightByD + dv * 256, f->alphaByD + dv * 256, w,
                                 keep ? nullptr : alpha, n);
                else
                    Span_Weights(a, d, f->weightByD, f->alphaByD, w, alpha, n);
            }
            for (int ch = 0; ch < ND; ++ch) {
                const int32_t *v = nullptr;
                if constexpr (SM != CST)
                    v = ToChannel<SM, DM, WD>(ch, S, tmp, n);
                WriteSpan<DD, WD, A>(ops, pl.dst[ch].Row(y), x0, y, n, v, cst[ch], w, thr);
            }
            if constexpr (A)
                if (pl.dstAlpha && !keep)
                    std::memcpy(pl.dstAlpha.Row(y) + x0, alpha, size_t(n));
        }
        sampler.NextRow();
    }
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
        Walk<SM, SD, DM, DD, A, NearestSampler>(view, static_cast<FillTev2TevData *>(data), *box);
    }
    static void Average(View *view, void *data, Box *box)
    {
        Walk<SM, SD, DM, DD, A, AverageSampler>(view, static_cast<FillTev2TevData *>(data), *box);
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

constexpr int kSrcModes[] = {GRAY, RGB, CMYK};
constexpr int kDepths[] = {1, 8, 16};
constexpr int kTablesPerDst = 3 * 3 * 2 + 2; // image sources, then the constant colour

template <int DM, int DD, size_t... I>
std::array<Tev2TevTable, kTablesPerDst> TablesOf(std::index_sequence<I...>)
{
    return {TableOf<kSrcModes[I / 6], kDepths[I / 2 % 3], DM, DD, I % 2 == 1>()...,
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
