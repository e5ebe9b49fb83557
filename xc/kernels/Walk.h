// The walk every pixel kernel follows, written once: where a box's source
// pixels lie (the exact integer walk of a view's map), how they are sampled
// (nearest or area average), how they are converted to the destination's
// mode, and the loop over rows and spans. The destination writers (image
// targets: Tev2TevWrite.h) plug into it. Include only from xc/kernels/.
//
// A kernel paints one destination box that its dispatcher has already cut
// to what both images can serve. Row by row and in spans of at most kChunk
// columns, it works one plane at a time (the store's planes of a
// power-of-two width alias at 4 KiB, so touching R, G, B and alpha of one
// pixel before the next thrashes the cache). The rows a few steps ahead are
// prefetched: the planes lie megabytes apart and every row of every plane is
// a page of its own.
// Source columns and rows follow the exact integer walk: run = phase,
// run += num per destination pixel, carry run / den source pixels; columns
// are walked once per box, rows once per row. The nearest sampler reads the
// pixel the walk stands on; the averaging sampler reads every source pixel
// the destination pixel covers, weighted by the covered fraction (units of
// 1/den).
#pragma once
#include "core/Image.h"
#include "xc/View.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace tev
{

constexpr int GRAY = 1, RGB = 2, CMYK = 3, CST = 99; // CST: one constant colour
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

// A sample at the working depth straight from the row: 16 to 8 bits keeps
// the high byte, which the store holds first.
template <int SD, int WD> inline int32_t Value(const uint8_t *row, int32_t x)
{
    if constexpr (SD == 16 && WD == 8)
        return row[2 * ptrdiff_t(x)];
    else
        return Scale<SD, WD>(Sample<SD>(row, x));
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

// Per-call scratch that outlives no call: per-column tables of the box
// (Use 0) and the averaging sampler's sums (Use 1).
template <class T, int Use = 0> inline T *Scratch(size_t n)
{
    thread_local std::vector<T> buf;
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

// Where the walk starts and how far it may read. A partial pass samples
// every stride-th destination pixel: the walk then steps stride * num units
// per sample, while an averaged sample still covers num units.
struct Start {
    int32_t sx, sy, phx, phy;
    int32_t numX, denX, numY, denY;
    int32_t srcX2, srcY2;         // last source column and row that may be read
    int32_t srcX1 = 0, srcY1 = 0; // first ones (nearest samples are clamped to them)
    int32_t strideX = 1, strideY = 1;
};

// Slot 0: the source pixel the walk stands on.
class NearestSampler
{
  public:
    // width: the number of samples along a row. Samples off the source
    // (the corners of a block pass) read its nearest edge.
    NearestSampler(const Start &s, int32_t width)
        : sy_(s.sy), phy_(s.phy), numY_(s.numY * s.strideY), denY_(s.denY), y1_(s.srcY1), y2_(s.srcY2)
    {
        const int32_t numX = s.numX * s.strideX;
        unit_ = numX == 1 && s.denX == 1;
        sx_ = s.sx;
        first_ = s.sx;
        last_ = s.sx + width - 1;
        if (unit_)
            return;
        col_ = Scratch<int32_t>(size_t(width));
        int32_t x = s.sx, run = s.phx;
        for (int32_t i = 0; i < width; ++i) {
            col_[i] = std::clamp(x, s.srcX1, s.srcX2);
            Step(x, run, numX, s.denX);
        }
        first_ = col_[0];
        last_ = col_[width - 1];
    }

    // The source columns read, and the first source row k rows ahead.
    int32_t FirstColumn() const { return first_; }
    int32_t LastColumn() const { return last_; }
    int32_t RowAhead(int k) const { return std::clamp(sy_ + (phy_ + k * numY_) / denY_, y1_, y2_); }

    template <int SD, int WD> void Read(const Plane &p, int32_t i0, int n, int32_t *out) const
    {
        const uint8_t *row = p.Row(Row());
        if (unit_)
            for (int i = 0; i < n; ++i)
                out[i] = Scale<SD, WD>(Sample<SD>(row, sx_ + i0 + i));
        else
            for (int i = 0; i < n; ++i)
                out[i] = Scale<SD, WD>(Sample<SD>(row, col_[i0 + i]));
    }

    // An 8-bit plane (alpha, mask) along the span: the row itself when the
    // walk is 1:1, else gathered into buf. A 16-bit plane gives its high
    // bytes (8-bit samples), which the store holds first.
    template <int SD = 8> const uint8_t *Bytes(const Plane &p, int32_t i0, int n, uint8_t *buf) const
    {
        // Locals: a byte store may alias any member, which would be read
        // again at every pixel.
        constexpr int B = SD / 8;
        const uint8_t *row = p.Row(Row());
        if (unit_ && B == 1)
            return row + sx_ + i0;
        if (unit_) {
            const uint8_t *q = row + B * (ptrdiff_t(sx_) + i0);
            for (int i = 0; i < n; ++i)
                buf[i] = q[B * i];
        } else {
            const int32_t *col = col_ + i0;
            for (int i = 0; i < n; ++i)
                buf[i] = row[B * ptrdiff_t(col[i])];
        }
        return buf;
    }

    // For writers that read the walk in place: the source row of plane p,
    // the first column, and the column of each sample (null when 1:1).
    const uint8_t *RowOf(const Plane &p) const { return p.Row(Row()); }
    int32_t Column0() const { return sx_; }
    const int32_t *Columns() const { return unit_ ? nullptr : col_; }

    void NextRow() { Step(sy_, phy_, numY_, denY_); }

  private:
    int32_t Row() const { return std::clamp(sy_, y1_, y2_); }

    bool unit_;
    int32_t sx_, first_, last_;
    int32_t *col_ = nullptr;
    int32_t sy_, phy_, numY_, denY_, y1_, y2_;
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
// taken in integers: they are exact below 2^53 for any fraction whose terms
// stay below 2^18, so the one division is the same double the formula
// gives. They never pass numX * numY * full scale (the weights of one
// destination pixel add up to at most num per axis), so 32 bits hold them
// for every usual fraction, and 64 bits take the rest.
class AverageSampler
{
  public:
    AverageSampler(const Start &s, int32_t width)
        : sy_(s.sy), phy_(s.phy), numX_(s.numX), numY_(s.numY), denY_(s.denY), srcY2_(s.srcY2),
          stepY_(s.numY * s.strideY), mX_(std::min(s.numX, s.denX)), mY_(std::min(s.numY, s.denY))
    {
        int32_t *t = Scratch<int32_t>(size_t(width) * 6);
        first_ = t;
        last_ = t + width;
        wFirst_ = t + 2 * width;
        wLast_ = t + 3 * width;
        total_ = t + 4 * width;
        midFrom_ = t + 5 * width;
        int32_t x = s.sx, run = s.phx;
        bool gaps = false;
        for (int32_t i = 0; i < width; ++i) {
            Cover c = CoverOf(x, run, s.numX, s.denX, s.srcX2);
            gaps = gaps || (i > 0 && c.first > last_[i - 1] + 1);
            first_[i] = c.first;
            last_[i] = c.last;
            wFirst_[i] = c.wFirst;
            wLast_[i] = c.last > c.first ? c.wLast : 0;
            total_[i] = c.total;
            middle_ = middle_ || c.last > c.first + 1;
            Step(x, run, s.numX * s.strideX, s.denX);
        }
        if (gaps)
            Gather(width);
        for (int32_t i = 0; i < width; ++i)
            midFrom_[i] = std::min(first_[i] + 1, last_[i]);
        rows_ = CoverOf(sy_, phy_, numY_, denY_, srcY2_);
        width_ = width;
    }

    int32_t FirstColumn() const { return Column(first_[0]); }
    int32_t LastColumn() const { return Column(last_[width_ - 1]); }
    int32_t RowAhead(int k) const { return std::min(sy_ + (phy_ + k * stepY_) / denY_, srcY2_); }

    template <int SD, int WD> void Read(const Plane &p, int32_t i0, int n, int32_t *out) const
    {
        if (int64_t(numX_) * numY_ * Full(WD) < (int64_t(1) << 31))
            Average<int32_t, SD, WD>(p, i0, n, out);
        else
            Average<int64_t, SD, WD>(p, i0, n, out);
    }

    template <int SD = 8> const uint8_t *Bytes(const Plane &p, int32_t i0, int n, uint8_t *buf) const
    {
        int32_t v[kChunk];
        Read<SD, 8>(p, i0, n, v);
        for (int i = 0; i < n; ++i)
            buf[i] = uint8_t(v[i]);
        return buf;
    }

    void NextRow()
    {
        Step(sy_, phy_, stepY_, denY_);
        rows_ = CoverOf(sy_, phy_, numY_, denY_, srcY2_);
    }

  private:
    // A sparse pass (one point every few destination pixels) covers columns
    // with gaps between them: the columns read are listed once, ascending,
    // and first_ and last_ become positions in that list, so that the gaps
    // are never summed.
    void Gather(int32_t width)
    {
        size_t n = 0;
        for (int32_t i = 0; i < width; ++i)
            n += size_t(last_[i] - first_[i] + 1);
        cols_ = Scratch<int32_t, 2>(n);
        int32_t count = 0, lastColumn = INT32_MIN;
        for (int32_t i = 0; i < width; ++i) {
            const int32_t from = std::max(first_[i], lastColumn + 1);
            // Points go left to right: the columns before `from` are the
            // last ones listed.
            const int32_t at = count - (from - first_[i]);
            for (int32_t c = from; c <= last_[i]; ++c)
                cols_[count++] = c;
            lastColumn = std::max(lastColumn, last_[i]);
            last_[i] = at + (last_[i] - first_[i]);
            first_[i] = at;
        }
    }

    int32_t Column(int32_t k) const { return cols_ ? cols_[k] : k; }

    // The covered rows are summed once per source column of the span (a
    // separable pass), and each destination pixel then weighs the sums of
    // its columns: its first and last by their weights, the ones between
    // (reductions beyond 2:1) by m through running sums. A magnified axis
    // reads each source pixel once, not once per destination pixel that
    // covers it. The same integer sums in any order.
    template <class Acc, int SD, int WD> void Average(const Plane &p, int32_t i0, int n, int32_t *out) const
    {
        const int32_t c1 = first_[i0], nc = last_[i0 + n - 1] - c1 + 1;
        Acc *col = Scratch<Acc, 1>(2 * size_t(nc) + 1), *run = col + nc;
        Columns<Acc, SD, WD>(p, c1, nc, col);
        if (middle_) {
            run[0] = 0;
            for (int32_t c = 0; c < nc; ++c)
                run[c + 1] = run[c] + col[c];
        }
        alignas(64) Acc sum[kChunk];
        for (int i = 0; i < n; ++i) {
            const int32_t j = i0 + i, a = first_[j] - c1, l = last_[j] - c1;
            Acc v = Acc(wFirst_[j]) * col[a] + Acc(wLast_[j]) * col[l];
            if (middle_)
                v += Acc(mX_) * (run[l] - run[midFrom_[j] - c1]);
            sum[i] = v;
        }
        const Acc ty = rows_.total;
        for (int i = 0; i < n; ++i)
            out[i] = int32_t(double(sum[i]) / double(Acc(total_[i0 + i]) * ty));
    }

    // col[c] = sum over the covered rows of wy * value at column c1 + c
    // (listed column c1 + c when the columns are gathered).
    template <class Acc, int SD, int WD> void Columns(const Plane &p, int32_t c1, int32_t nc, Acc *col) const
    {
        Weigh<false, Acc, SD, WD>(p.Row(rows_.first), c1, nc, rows_.wFirst, col);
        if (rows_.last == rows_.first)
            return;
        for (int32_t r = rows_.first + 1; r < rows_.last; ++r)
            Weigh<true, Acc, SD, WD>(p.Row(r), c1, nc, mY_, col);
        Weigh<true, Acc, SD, WD>(p.Row(rows_.last), c1, nc, rows_.wLast, col);
    }

    template <bool Add, class Acc, int SD, int WD>
    void Weigh(const uint8_t *row, int32_t c1, int32_t nc, int32_t w, Acc *col) const
    {
        if (!cols_) {
            WeighRun<Add, Acc, SD, WD>(row, c1, nc, w, col);
            return;
        }
        const int32_t *cols = cols_ + c1;
        for (int32_t c = 0; c < nc; ++c) {
            const Acc v = Acc(w) * Value<SD, WD>(row, cols[c]);
            col[c] = Add ? Acc(col[c] + v) : v;
        }
    }

    // col[c] = (or +=) w * value at column c1 + c. An 8-bit row under a
    // weight up to 257 multiplies in 16 bits (the product fits), one
    // instruction where 32 bits take several without SSE4.
    template <bool Add, class Acc, int SD, int WD>
    static void WeighRun(const uint8_t *row, int32_t c1, int32_t nc, int32_t w, Acc *col)
    {
        if constexpr (SD == 8 && WD == 8) {
            if (w <= 257) {
                const uint8_t *r = row + c1;
                const uint16_t w16 = uint16_t(w);
                for (int32_t c = 0; c < nc; ++c) {
                    const uint16_t v = uint16_t(w16 * r[c]);
                    col[c] = Add ? Acc(col[c] + v) : Acc(v);
                }
                return;
            }
        }
        for (int32_t c = 0; c < nc; ++c) {
            const Acc v = Acc(w) * Value<SD, WD>(row, c1 + c);
            col[c] = Add ? Acc(col[c] + v) : v;
        }
    }

    int32_t sy_, phy_, numX_, numY_, denY_, srcY2_, stepY_;
    int32_t mX_, mY_;
    int32_t *first_, *last_, *wFirst_, *wLast_, *total_, *midFrom_;
    int32_t *cols_ = nullptr; // the columns read, when gathered
    bool middle_ = false;     // some pixel covers more than two columns
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

// The walk of box b through the view, reading from image src.
inline Start StartOf(const View *view, const Image *src, const Box &b)
{
    Start s;
    ViewDstToSrcPh(view, b.x1, b.y1, &s.sx, &s.sy, &s.phx, &s.phy);
    s.numX = view->xMap.num;
    s.denX = view->xMap.den;
    s.numY = view->yMap.num;
    s.denY = view->yMap.den;
    s.srcX2 = std::min(view->src.x2, Image_Width(src) - 1);
    s.srcY2 = std::min(view->src.y2, Image_Height(src) - 1);
    s.srcX1 = std::max(view->src.x1, 0);
    s.srcY1 = std::max(view->src.y1, 0);
    return s;
}

// Converts the source channels of one span (NS = Channels(SM) planes of
// depth SD) to the working depth WD.
template <int SM, int SD, int WD, class Sampler>
void ReadSource(const Sampler &sampler, const Plane *src, int32_t i0, int n, int32_t (*S)[kChunk])
{
    if constexpr (SM != CST)
        for (int p = 0; p < Channels(SM); ++p)
            sampler.template Read<SD, WD>(src[p], i0, n, S[p]);
}

// The coverage of one span: a = source alpha (255 without),
// a = mul[a][dstMask] (destination row y from column x0), then
// a = mul[a][srcMask]. Returns a buffer of n bytes (the source alpha row
// itself when nothing changes it and the walk is 1:1).
template <class Sampler>
const uint8_t *Coverage(const Sampler &sampler, const Plane &srcAlpha, const Plane &dstMask,
                        const Plane &srcMask, const uint8_t *mul, int32_t y, int32_t x0, int32_t i0, int n,
                        uint8_t *abuf, uint8_t *mbuf, uint8_t *masked)
{
    const uint8_t *a = srcAlpha ? sampler.Bytes(srcAlpha, i0, n, abuf) : Opaque();
    if (dstMask) {
        const uint8_t *m = dstMask.Row(y) + x0;
        for (int i = 0; i < n; ++i)
            masked[i] = mul[a[i] * 256 + m[i]];
        a = masked;
    }
    if (srcMask) {
        const uint8_t *m = sampler.Bytes(srcMask, i0, n, mbuf);
        for (int i = 0; i < n; ++i)
            masked[i] = mul[a[i] * 256 + m[i]];
        a = masked;
    }
    return a;
}

// The loop over the box: body.Ahead(y, sy) asks for destination row y and
// source row sy a few rows ahead, body.Span(y, x0, i0, n) paints the span
// of n pixels from column x0 (i0 = x0 - box.x1) of row y; the sampler
// moves to the next source row after each row.
template <class Sampler, class Body> void ForEachSpan(const Box &b, Sampler &sampler, Body &body)
{
    for (int32_t y = b.y1; y <= b.y2; ++y) {
        if (y + kAhead <= b.y2)
            body.Ahead(y + kAhead, sampler.RowAhead(kAhead));
        for (int32_t x0 = b.x1; x0 <= b.x2; x0 += kChunk) {
            int n = std::min(kChunk, b.x2 - x0 + 1);
            body.Span(y, x0, x0 - b.x1, n);
        }
        sampler.NextRow();
    }
}

} // namespace tev
