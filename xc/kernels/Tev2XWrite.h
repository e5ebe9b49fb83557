// The image-to-X writers on the common walk (Walk.h), the six passes, and
// the Tev2X tables built from them. Include only from xc/kernels/*.cpp.
//
// Per span of samples:
//   1. the source colour is read as red, green and blue bytes (an 8-bit RGB
//      or grey row is used in place when the walk is 1:1), and the coverage
//      a = alpha * mask / 255 when the table has alpha;
//   2. each sample becomes an X pixel: TrueColor a native 32-bit word of the
//      three bytes at the context's shifts; PseudoColor, per primary, the
//      level the quantisation table gives under the dither threshold of the
//      pixel's column, and the cube cell of the three levels;
//   3. partial alpha is composed in RGB over the background pixel's bytes,
//      or over the colour the X image holds (blend), before step 2.
// The passes differ only in which destination pixels get a sample: every
// one (slots 0, 1, 5), one per precision block (3, 4), or every pixel of a
// block from its corner's sample, the block row's first row built and then
// copied (2).
#pragma once
#include "xc/FillTev2X.h"
#include "xc/kernels/Span.h"
#include "xc/kernels/Tev2X.h"
#include "xc/kernels/Walk.h"

#include <array>
#include <cstring>
#include <type_traits>
#include <utility>

namespace tev
{

// a mod m for m > 0, never negative.
inline int32_t Mod(int64_t a, int32_t m)
{
    int64_t r = a % m;
    return int32_t(r < 0 ? r + m : r);
}

// Red, green and blue bytes of a span of samples, and their coverage.
struct RgbSpan {
    const uint8_t *c[3];
    const uint8_t *a; // null without alpha
    alignas(64) uint8_t buf[3][kChunk];
    alignas(64) uint8_t abuf[kChunk], mbuf[kChunk], masked[kChunk];
    alignas(64) uint8_t kbuf[kChunk], cbuf[kChunk];
    alignas(64) int32_t S[4][kChunk];
    alignas(64) int32_t tmp[kChunk];
};

// Per-thread scratch shared by every kernel (one per instantiation would
// cost each thread megabytes): two spans and the corners of a block row.
struct Scratch2X {
    RgbSpan span, corners;
    std::vector<uint8_t> row[4];
};

inline Scratch2X &ScratchOf()
{
    thread_local Scratch2X s;
    return s;
}

// Where the destination pixels of a pass lie: the first painted pixel and
// the step between painted ones, per axis.
struct Grid {
    int32_t x0, y0, stepX, stepY, nx, ny;
};

// The X image's side: where pixels go and how a colour becomes a pixel.
template <int FMT> class Target
{
  public:
    Target(const FillTev2XData *f, const View *view)
        : f_(f), image_(f->ximage->image), cms_(f->ximage->cms), originX_(view->srcExtent.x1),
          originY_(view->srcExtent.y1)
    {
        for (int ch = 0; ch < 3; ++ch)
            shift_[ch] = cms_->cubeStart[ch];
        bpl_ = image_->bytes_per_line & ~3;
    }

    uint8_t *Row(int32_t y) const { return reinterpret_cast<uint8_t *>(image_->data) + ptrdiff_t(y) * bpl_; }
    ptrdiff_t RowBytes(int32_t n) const { return ptrdiff_t(n) * (FMT == TEV2X_TRUE ? 4 : 1); }
    uint8_t *At(int32_t x, int32_t y) const { return Row(y) + RowBytes(x); }

    // n pixels of row y from column x, every step-th: the colours c (bytes,
    // index i), composed through coverage a when A; cst: the colour is the
    // foreground pixel, stored as it is where no blending is needed.
    template <bool A, bool Cst> void Put(int32_t x, int32_t y, int32_t step, int n, const RgbSpan &s) const
    {
        if constexpr (FMT == TEV2X_TRUE)
            PutTrue<A, Cst>(reinterpret_cast<uint32_t *>(At(x, y)), step, n, s);
        else
            PutPseudo<A, Cst>(x, y, step, n, s);
    }

    // Nearest samples of a source without alpha, n pixels of row y from
    // column x (TrueColor, every pixel): each source pixel's bytes are read
    // where they lie and packed once for the run of destination pixels that
    // shows it. False (nothing written) where the gathers and the vector
    // loops are faster: reduced grey spans, and CMYK unless magnified.
    template <int SM, int SD>
    bool PutNearest(int32_t x, int32_t y, int32_t i0, int n, const NearestSampler &sm, const Plane *src) const
    {
        const int32_t *col = sm.Columns();
        if (col)
            col += i0;
        const bool magnified = col && col[n - 1] - col[0] < n - 1;
        if (!magnified && (SM == CMYK || (SM == GRAY && col)))
            return false;
        constexpr int B = SD / 8; // the high byte comes first
        uint32_t *d = reinterpret_cast<uint32_t *>(At(x, y));
        const uint8_t *r = sm.RowOf(src[0]);
        const uint8_t *g = SM == GRAY ? r : sm.RowOf(src[1]);
        const uint8_t *b = SM == GRAY ? r : sm.RowOf(src[2]);
        const uint8_t *k = SM == CMYK ? sm.RowOf(src[3]) : r;
        const uint32_t sr = uint32_t(shift_[0]), sg = uint32_t(shift_[1]), sb = uint32_t(shift_[2]);
        auto word = [=](ptrdiff_t c) {
            if constexpr (SM == CMYK) {
                // max(0, 255 - K - C) is 255 - K less C, saturated at 0.
                const uint32_t w = 255u - k[B * c];
                auto less = [w](uint32_t v) { return w > v ? w - v : 0u; };
                return less(r[B * c]) << sr | less(g[B * c]) << sg | less(b[B * c]) << sb;
            }
            return uint32_t(r[B * c]) << sr | uint32_t(g[B * c]) << sg | uint32_t(b[B * c]) << sb;
        };
        if (!col) {
            const ptrdiff_t c0 = ptrdiff_t(sm.Column0()) + i0;
            for (int i = 0; i < n; ++i)
                d[i] = word(c0 + i);
            return true;
        }
        if (!magnified) {
            for (int i = 0; i < n; ++i)
                d[i] = word(col[i]);
            return true;
        }
        // Magnified: each source pixel's word once, then spread.
        alignas(64) uint32_t words[kChunk];
        const int32_t c0 = col[0], nc = col[n - 1] - c0 + 1;
        for (int32_t c = 0; c < nc; ++c)
            words[c] = word(c0 + c);
        for (int i = 0; i < n; ++i)
            d[i] = words[col[i] - c0];
        return true;
    }

  private:
    uint32_t Word(uint32_t r, uint32_t g, uint32_t b) const
    {
        return r << shift_[0] | g << shift_[1] | b << shift_[2];
    }

    // The colour under a partially covered pixel: the background's bytes,
    // or with blend the colour the X image holds.
    template <int Ch> uint32_t Under(uint32_t held) const
    {
        if (!f_->blend) {
            const FillPixel &bg = f_->bgPixel;
            return Ch == 0 ? bg.red : Ch == 1 ? bg.green : bg.blue;
        }
        if constexpr (FMT == TEV2X_TRUE)
            return (held >> shift_[Ch]) & 255u;
        else
            return cms_->component[Ch][held & 255u];
    }

    // The colours of a span composed over what lies under them: with
    // t = a / 255, (1 - t) * under + t * source per channel, truncated,
    // worked in vectors of doubles by the same operations as the scalar
    // formula (Span_Blend8). under is the background's bytes, or with blend
    // the colour each pixel holds (held(i)). Samples of alpha 0 or, for the
    // constant colour, 255 come out as they may: their pixels are stored
    // flat.
    template <bool Cst, class Held>
    void Composed(const RgbSpan &s, int n, Held held, uint8_t (*rgb)[kChunk]) const
    {
        alignas(64) double w[kChunk];
        alignas(64) int32_t v[kChunk];
        Span_Weights(s.a, nullptr, Fractions(), nullptr, w, nullptr, n);
        const uint8_t bg[3] = {f_->bgPixel.red, f_->bgPixel.green, f_->bgPixel.blue};
        const uint8_t fg[3] = {f_->fgPixel.red, f_->fgPixel.green, f_->fgPixel.blue};
        for (int ch = 0; ch < 3; ++ch) {
            uint8_t *u = rgb[ch];
            if (!f_->blend)
                std::memset(u, bg[ch], size_t(n));
            else if (ch == 0)
                for (int i = 0; i < n; ++i)
                    u[i] = uint8_t(Under<0>(held(i)));
            else if (ch == 1)
                for (int i = 0; i < n; ++i)
                    u[i] = uint8_t(Under<1>(held(i)));
            else
                for (int i = 0; i < n; ++i)
                    u[i] = uint8_t(Under<2>(held(i)));
            if constexpr (Cst) {
                Span_Blend8(u, w, nullptr, fg[ch], n);
            } else {
                const uint8_t *c = s.c[ch];
                for (int i = 0; i < n; ++i)
                    v[i] = c[i];
                Span_Blend8(u, w, v, 0, n);
            }
        }
    }

    // t = a / 255 by alpha, as the formula's double division gives it.
    static const double *Fractions()
    {
        static const std::array<double, 256> t = [] {
            std::array<double, 256> f;
            for (int a = 0; a < 256; ++a)
                f[size_t(a)] = a / 255.0;
            return f;
        }();
        return t.data();
    }

    template <bool A, bool Cst> void PutTrue(uint32_t *d, int32_t step, int n, const RgbSpan &s) const
    {
        if constexpr (Cst && !A) {
            for (int i = 0; i < n; ++i)
                d[ptrdiff_t(i) * step] = f_->fgPixel.pixel;
        } else if constexpr (!A) {
            // The shifts in locals: a store through d may alias them.
            const uint8_t *r = s.c[0], *g = s.c[1], *b = s.c[2];
            const uint32_t sr = uint32_t(shift_[0]), sg = uint32_t(shift_[1]), sb = uint32_t(shift_[2]);
            if (step == 1)
                for (int i = 0; i < n; ++i)
                    d[i] = uint32_t(r[i]) << sr | uint32_t(g[i]) << sg | uint32_t(b[i]) << sb;
            else
                for (int i = 0; i < n; ++i)
                    d[ptrdiff_t(i) * step] =
                        uint32_t(r[i]) << sr | uint32_t(g[i]) << sg | uint32_t(b[i]) << sb;
        } else {
            alignas(64) uint8_t rgb[3][kChunk];
            Composed<Cst>(
                s, n, [&](int i) { return d[ptrdiff_t(i) * step]; }, rgb);
            const uint8_t *a = s.a;
            const uint32_t sr = uint32_t(shift_[0]), sg = uint32_t(shift_[1]), sb = uint32_t(shift_[2]);
            const uint32_t bg = f_->bgPixel.pixel, fg = f_->fgPixel.pixel;
            const uint8_t *r = rgb[0], *g = rgb[1], *b = rgb[2];
            // Masks rather than branches, so that the loops run in vectors.
            auto word = [=](int i) {
                const uint32_t w = uint32_t(r[i]) << sr | uint32_t(g[i]) << sg | uint32_t(b[i]) << sb;
                if constexpr (Cst) {
                    const uint32_t full = 0u - uint32_t(a[i] == 255);
                    return (w & ~full) | (fg & full);
                }
                return w;
            };
            auto zero = [=](int i) { return 0u - uint32_t(a[i] == 0); };
            if (step == 1 && !f_->blend)
                for (int i = 0; i < n; ++i)
                    d[i] = (word(i) & ~zero(i)) | (bg & zero(i));
            else if (step == 1)
                for (int i = 0; i < n; ++i)
                    d[i] = (word(i) & ~zero(i)) | (d[i] & zero(i));
            else
                for (int i = 0; i < n; ++i) {
                    uint32_t &px = d[ptrdiff_t(i) * step];
                    px = a[i] == 0 ? (f_->blend ? px : bg) : word(i);
                }
        }
    }

    // The dither thresholds of row y from column x: per primary a pointer
    // whose entry j is the threshold of column x + j, valid for j < *room.
    void Thresholds(int32_t x, int32_t y, const int32_t *t[3], int32_t *room) const
    {
        *room = INT32_MAX;
        for (int ch = 0; ch < 3; ++ch) {
            const XcCmsDither &d = cms_->dither[ch];
            int cx = Mod(int64_t(x) - originX_, d.width), cy = Mod(int64_t(y) - originY_, d.height);
            const int32_t *block = XcCmsGetDither(cms_, ch, &cx, &cy);
            int32_t words = int32_t(d.size / sizeof(int32_t) / size_t(d.height)) - 1;
            t[ch] = block + 1 + cx;
            *room = std::min(*room, words - cx);
        }
    }

    uint8_t Dithered(const int32_t *const t[3], int32_t j, uint32_t r, uint32_t g, uint32_t b) const
    {
        const int lr = cms_->quant[0][r * 256 + uint32_t(t[0][j])];
        const int lg = cms_->quant[1][g * 256 + uint32_t(t[1][j])];
        const int lb = cms_->quant[2][b * 256 + uint32_t(t[2][j])];
        return uint8_t(cms_->cubeMap[lr][lg][lb]);
    }

    // m pixels from sample i of a grey span under one dither matrix that
    // the three primaries share: one sample and one threshold per pixel,
    // the tables in locals (a byte store may alias any member). Returns the
    // next sample.
    int PutGrey(uint8_t *d, int32_t step, int i, int m, const uint8_t *v, const int32_t *t) const
    {
        const uint8_t *q0 = cms_->quant[0], *q1 = cms_->quant[1], *q2 = cms_->quant[2];
        const uint32_t *cube = &cms_->cubeMap[0][0][0];
        for (int k = 0; k < m; ++k, ++i) {
            const uint32_t o = uint32_t(v[i]) * 256 + uint32_t(t[k * step]);
            d[ptrdiff_t(i) * step] = uint8_t(cube[q0[o] * 64u + q1[o] * 8u + q2[o]]);
        }
        return i;
    }

    template <bool A, bool Cst>
    void PutPseudo(int32_t x, int32_t y, int32_t step, int n, const RgbSpan &s) const
    {
        uint8_t *d = At(x, y);
        if constexpr (Cst && !A) {
            for (int i = 0; i < n; ++i)
                d[ptrdiff_t(i) * step] = uint8_t(f_->fgPixel.pixel);
            return;
        }
        alignas(64) uint8_t rgb[3][kChunk];
        if constexpr (A)
            Composed<Cst>(
                s, n, [&](int i) { return uint32_t(d[ptrdiff_t(i) * step]); }, rgb);
        // The dither rows are long but not endless: a run past their end
        // starts again from its own column.
        for (int i = 0; i < n;) {
            const int32_t *t[3];
            int32_t room;
            Thresholds(x + i * step, y, t, &room);
            const int m = int(std::min<int64_t>(n - i, (int64_t(room) - 1) / step + 1));
            if (!A && s.c[0] == s.c[1] && s.c[1] == s.c[2] && t[0] == t[1] && t[1] == t[2]) {
                i = PutGrey(d, step, i, m, s.c[0], t[0]);
                continue;
            }
            for (int k = 0; k < m; ++k, ++i) {
                uint8_t &px = d[ptrdiff_t(i) * step];
                const int32_t j = k * step;
                if constexpr (!A) {
                    px = Dithered(t, j, s.c[0][i], s.c[1][i], s.c[2][i]);
                } else if (s.a[i] == 0) {
                    if (!f_->blend)
                        px = uint8_t(f_->bgPixel.pixel);
                } else if (Cst && s.a[i] == 255) {
                    px = uint8_t(f_->fgPixel.pixel);
                } else {
                    px = Dithered(t, j, rgb[0][i], rgb[1][i], rgb[2][i]);
                }
            }
        }
    }

    const FillTev2XData *f_;
    XImage *image_;
    XcCms *cms_;
    int32_t originX_, originY_;
    int32_t shift_[3];
    ptrdiff_t bpl_;
};

// The image's side: the planes a table reads and how a span of samples
// becomes bytes.
template <int SM, int SD, bool A> class Source
{
  public:
    explicit Source(const FillTev2XData *f) : f_(f)
    {
        if constexpr (SM != CST)
            for (int p = 0; p < Channels(SM); ++p)
                src_[p] = PlaneOf(f->image, SM == GRAY ? f->shownPlane : p);
        if (f->alphaPlane)
            alpha_ = PlaneOf(f->image, f->alphaPlane);
        if (f->mask)
            mask_ = PlaneOf(f->mask, f->maskPlane);
        fg_[0] = f->fgPixel.red;
        fg_[1] = f->fgPixel.green;
        fg_[2] = f->fgPixel.blue;
    }

    template <class Sampler> void Read(const Sampler &sampler, int32_t i0, int n, RgbSpan &s) const
    {
        if constexpr (SM == CST) {
            for (int ch = 0; ch < 3; ++ch) {
                std::memset(s.buf[ch], fg_[ch], size_t(n));
                s.c[ch] = s.buf[ch];
            }
        } else if constexpr (SD != 1 && SM != CMYK) {
            for (int ch = 0; ch < 3; ++ch)
                s.c[ch] =
                    SM == GRAY && ch > 0 ? s.c[0] : sampler.template Bytes<SD>(src_[ch], i0, n, s.buf[ch]);
        } else if constexpr (SD != 1) {
            // max(0, 255 - K - C) is 255 - K less C, saturated at 0.
            const uint8_t *k = sampler.template Bytes<SD>(src_[3], i0, n, s.kbuf);
            for (int ch = 0; ch < 3; ++ch) {
                const uint8_t *c = sampler.template Bytes<SD>(src_[ch], i0, n, s.cbuf);
                for (int i = 0; i < n; ++i) {
                    const uint8_t w = uint8_t(255 - k[i]);
                    s.buf[ch][i] = uint8_t(w > c[i] ? w - c[i] : 0);
                }
                s.c[ch] = s.buf[ch];
            }
        } else {
            ReadSource<SM, SD, 8>(sampler, src_, i0, n, s.S);
            for (int ch = 0; ch < 3; ++ch) {
                const int32_t *v = ToChannel<SM, RGB, 8>(ch, s.S, s.tmp, n);
                for (int i = 0; i < n; ++i)
                    s.buf[ch][i] = uint8_t(v[i]);
                s.c[ch] = s.buf[ch];
            }
        }
        s.a = nullptr;
        if constexpr (A)
            s.a = Coverage(sampler, alpha_, Plane{}, mask_, f_->mul, 0, 0, i0, n, s.abuf, s.mbuf, s.masked);
    }

    // The source rows a sampler will read k rows ahead, asked for early.
    template <class Sampler> void Ahead(const Sampler &sampler, int32_t k) const
    {
        const int32_t row = sampler.RowAhead(k), c1 = sampler.FirstColumn(), c2 = sampler.LastColumn();
        if constexpr (SM != CST)
            for (int p = 0; p < Channels(SM); ++p)
                Prefetch<false>(src_[p], row, c1, c2, SD);
        Prefetch<false>(alpha_, row, c1, c2, 8);
        Prefetch<false>(mask_, row, c1, c2, 8);
    }

    const Plane *Planes() const { return src_; }

  private:
    const FillTev2XData *f_;
    Plane src_[4], alpha_, mask_;
    uint8_t fg_[3];
};

// Repeats sample j over the destination columns of its block that lie in
// [x1, x1 + n): block j covers columns bx + j * px .. + px - 1.
inline void Replicate(const uint8_t *in, uint8_t *out, int32_t bx, int32_t px, int32_t x1, int n)
{
    for (int i = 0; i < n; ++i)
        out[i] = in[(x1 + i - bx) / px];
}

template <int SM, int SD, bool A, int FMT> struct Pass {
    static constexpr bool Cst = SM == CST;
    // Nearest samples without alpha go straight into words.
    template <class Sampler>
    static constexpr bool kDirect =
        FMT == TEV2X_TRUE && !A && SM != CST && SD != 1 && std::is_same_v<Sampler, NearestSampler>;

    // Every sample of the grid into its own pixel (slots 0, 1, 3, 4, 5).
    template <class Sampler>
    static void Points(const FillTev2XData *f, const View *view, const Start &s, const Grid &g)
    {
        const Source<SM, SD, A> src(f);
        const Target<FMT> dst(f, view);
        Sampler sampler(s, g.nx);
        RgbSpan &span = ScratchOf().span;
        for (int32_t r = 0; r < g.ny; ++r) {
            if (r + kAhead < g.ny)
                src.Ahead(sampler, kAhead);
            const int32_t y = g.y0 + r * g.stepY;
            for (int32_t i0 = 0; i0 < g.nx; i0 += kChunk) {
                const int n = std::min(kChunk, g.nx - i0);
                if constexpr (kDirect<Sampler>) {
                    if (g.stepX == 1 &&
                        dst.template PutNearest<SM, SD>(g.x0 + i0, y, i0, n, sampler, src.Planes()))
                        continue;
                }
                src.Read(sampler, i0, n, span);
                dst.template Put<A, Cst>(g.x0 + i0 * g.stepX, y, g.stepX, n, span);
            }
            sampler.NextRow();
        }
    }

    // Slot 2: each block's corner sample over the block's pixels in the box.
    static void Blocks(const FillTev2XData *f, const View *view, const Start &s, const Grid &g, const Box &b)
    {
        const Source<SM, SD, A> src(f);
        const Target<FMT> dst(f, view);
        NearestSampler sampler(s, g.nx);
        Scratch2X &scratch = ScratchOf();
        RgbSpan &corners = scratch.corners, &span = scratch.span;
        std::vector<uint8_t> *row = scratch.row;
        for (int k = 0; k < 4; ++k)
            row[k].resize(size_t(g.nx));
        for (int32_t r = 0; r < g.ny; ++r) {
            // The samples of the whole block row, then the box's columns.
            for (int32_t i0 = 0; i0 < g.nx; i0 += kChunk) {
                const int n = std::min(kChunk, g.nx - i0);
                src.Read(sampler, i0, n, corners);
                for (int ch = 0; ch < 3; ++ch)
                    std::memcpy(row[ch].data() + i0, corners.c[ch], size_t(n));
                if constexpr (A)
                    std::memcpy(row[3].data() + i0, corners.a, size_t(n));
            }
            const int32_t by = g.y0 + r * g.stepY;
            const int32_t y1 = std::max(by, b.y1), y2 = std::min(by + g.stepY - 1, b.y2);
            for (int32_t x = b.x1; x <= b.x2; x += kChunk) {
                const int n = std::min<int32_t>(kChunk, b.x2 - x + 1);
                for (int ch = 0; ch < 3; ++ch) {
                    Replicate(row[ch].data(), span.buf[ch], g.x0, g.stepX, x, n);
                    span.c[ch] = span.buf[ch];
                }
                span.a = nullptr;
                if constexpr (A) {
                    Replicate(row[3].data(), span.abuf, g.x0, g.stepX, x, n);
                    span.a = span.abuf;
                }
                dst.template Put<A, Cst>(x, y1, 1, n, span);
            }
            for (int32_t y = y1 + 1; y <= y2; ++y)
                std::memcpy(dst.At(b.x1, y), dst.At(b.x1, y1), size_t(dst.RowBytes(b.width)));
            sampler.NextRow();
        }
    }
};

// The sparse grid of a partial pass: the first painted column is
// x1 - ((x1 - origin) mod p) + phase, one block on when that is left of x1.
// A phase outside the block is taken modulo p, so that nothing outside the
// box is ever painted.
inline bool SparseAxis(int32_t a1, int32_t a2, int32_t origin, int32_t p, int32_t phase, int32_t &first,
                       int32_t &count)
{
    int64_t x = int64_t(a1) - Mod(int64_t(a1) - origin, p) + Mod(phase, p);
    if (x < a1)
        x += p;
    if (x > a2)
        return false;
    first = int32_t(x);
    count = int32_t((a2 - x) / p + 1);
    return true;
}

// The start of the walk at destination pixel (x, y), stepping stride pixels.
inline Start StartAt(const View *view, const Image *image, int32_t x, int32_t y, int32_t sx, int32_t sy)
{
    const Box at = Box_Rect(x, y, 1, 1);
    Start s = StartOf(view, image, at);
    s.strideX = sx;
    s.strideY = sy;
    return s;
}

template <int SM, int SD, bool A, int FMT> struct XKernel {
    using P = Pass<SM, SD, A, FMT>;
    static const FillTev2XData *Data(void *d) { return static_cast<const FillTev2XData *>(d); }

    template <class Sampler> static void Full(View *view, void *data, Box *box)
    {
        const Box &b = *box;
        P::template Points<Sampler>(Data(data), view, StartAt(view, Data(data)->image, b.x1, b.y1, 1, 1),
                                    Grid{b.x1, b.y1, 1, 1, b.width, b.height});
    }

    template <class Sampler> static void Sparse(View *view, void *data, Box *box)
    {
        const FillTev2XData *f = Data(data);
        const int32_t px = f->precisionX, py = f->precisionY;
        Grid g{0, 0, px, py, 0, 0};
        if (!SparseAxis(box->x1, box->x2, view->srcExtent.x1, px, f->phaseX, g.x0, g.nx) ||
            !SparseAxis(box->y1, box->y2, view->srcExtent.y1, py, f->phaseY, g.y0, g.ny))
            return;
        P::template Points<Sampler>(f, view, StartAt(view, f->image, g.x0, g.y0, px, py), g);
    }

    static void Blocks(View *view, void *data, Box *box)
    {
        const FillTev2XData *f = Data(data);
        const Box &b = *box;
        const int32_t px = f->precisionX, py = f->precisionY;
        const int32_t bx = b.x1 - Mod(int64_t(b.x1) - view->srcExtent.x1, px);
        const int32_t by = b.y1 - Mod(int64_t(b.y1) - view->srcExtent.y1, py);
        const Grid g{bx, by, px, py, (b.x2 - bx) / px + 1, (b.y2 - by) / py + 1};
        P::Blocks(f, view, StartAt(view, f->image, bx, by, px, py), g, b);
    }
};

template <int SM, int SD, bool A, int FMT> Tev2XTable TableOf()
{
    using K = XKernel<SM, SD, A, FMT>;
    Tev2XTable t{};
    Tev2X_Name(t.name, sizeof t.name, SM, SD, A, FMT);
    t.slot[TEV2X_NEAREST] = &K::template Full<NearestSampler>;
    t.slot[TEV2X_COPY] = &K::template Full<NearestSampler>;
    t.slot[TEV2X_BLOCKS] = &K::Blocks;
    t.slot[TEV2X_SPARSE] = &K::template Sparse<NearestSampler>;
    t.slot[TEV2X_SPARSE_AVERAGE] = &K::template Sparse<AverageSampler>;
    t.slot[TEV2X_AVERAGE] = &K::template Full<AverageSampler>;
    return t;
}

// The tables of one source mode on one X image format, in table order:
// depths 1, 8, 16 without alpha, then with alpha; the constant colour
// without and with alpha.
template <int SM, int FMT> const Tev2XTable *XTables()
{
    if constexpr (SM == CST) {
        static const std::array<Tev2XTable, 2> t = {TableOf<CST, 8, false, FMT>(),
                                                    TableOf<CST, 8, true, FMT>()};
        return t.data();
    } else {
        static const std::array<Tev2XTable, 6> t = {
            TableOf<SM, 1, false, FMT>(), TableOf<SM, 8, false, FMT>(), TableOf<SM, 16, false, FMT>(),
            TableOf<SM, 1, true, FMT>(),  TableOf<SM, 8, true, FMT>(),  TableOf<SM, 16, true, FMT>()};
        return t.data();
    }
}

} // namespace tev
