#include "brush/Optimize.h"

#include "core/Image.h"
#include "xc/FillTev2Tev.h"
#include "xc/View.h"
#include "xc/kernels/Tev2Tev.h"

#include <algorithm>
#include <cstdint>
#include <immintrin.h>

int POPTIMIZE = 1;

// Per pixel, with a the brush alpha (times the mask byte when there is a
// mask) and d the destination alpha (255 when it is not used), w is the
// operation's weight of (a, d):
//
//     colour c  <-  trunc((1 - w) c + w f)     for each plane, f its component
//     alpha     <-  a when w = 1, d when w = 0, else opAlpha(a, d)
//
// w = 1 gives f and w = 0 keeps c exactly, so no pixel needs a test. The
// weights of a span are found once and used for every plane; each plane is
// then walked alone (planes of a power-of-two width alias at 4 KiB).

namespace
{

constexpr int kChunk = 256;

// An operation's tables in the order the kernels read them: indexed
// [d * 256 + a], so that for one destination alpha (an opaque image: 255)
// the 256 brush values lie together instead of 2 KiB apart, all in the same
// few cache sets. zeroKeeps[d]: a pixel of brush alpha 0 on d is left alone
// (not so for over on d = 0, which takes the colour and keeps alpha 0).
// opaqueStays: an opaque pixel stays opaque whatever the brush alpha (over
// and under), so an opaque span needs no alpha written.
struct Cells {
    const double *weight; // the fill object's table this was made from
    double w[65536];
    uint8_t alpha[65536];
    bool zeroKeeps[256];
    bool opaqueStays;
};

const Cells *CellsOf(const double *weight, const uint8_t *opAlpha)
{
    static Cells *cache[3] = {}; // over, under, replace: built once each
    Cells **slot = &cache[0];
    for (Cells *&c : cache) {
        if (c && c->weight == weight)
            return c;
        if (!c) {
            slot = &c;
            break;
        }
    }
    Cells *c = *slot ? *slot : new Cells; // more tables than operations: reuse the first
    c->weight = weight;
    for (int a = 0; a < 256; ++a)
        for (int d = 0; d < 256; ++d) {
            const int k = a * 256 + d, t = d * 256 + a;
            c->w[t] = weight[k];
            c->alpha[t] = uint8_t(weight[k] == 1.0 ? a : weight[k] == 0.0 ? d : opAlpha[k]);
        }
    for (int d = 0; d < 256; ++d)
        c->zeroKeeps[d] = c->w[d * 256] == 0.0 && c->alpha[d * 256] == d;
    c->opaqueStays = std::all_of(c->alpha + 255 * 256, c->alpha + 65536, [](uint8_t a) { return a == 255; });
    *slot = c;
    return c;
}

// The mask product mul[a][m] = a * m / 255, as 32-bit words for gathers.
const int32_t *Mul32()
{
    static const int32_t *table = [] {
        auto *t = new int32_t[65536];
        for (int k = 0; k < 65536; ++k)
            t[k] = (k >> 8) * (k & 255) / 255;
        return t;
    }();
    return table;
}

// One span of a row.
struct Span {
    const uint8_t *sa;   // brush alpha
    const uint8_t *mask; // destination mask, or null
    uint8_t *da;         // destination alpha, or null (taken as 255)
    const Cells *cells;
    const int32_t *mul;
    int n;
    alignas(64) double w[kChunk];
    alignas(64) double omw[kChunk];
    bool uniform; // one weight for the whole span, in w[0] and omw[0]
};

inline int32_t CellOf(const Span &s, int i)
{
    int32_t a = s.sa[i];
    if (s.mask)
        a = s.mul[a * 256 + s.mask[i]];
    return (s.da ? s.da[i] : 255) * 256 + a;
}

// Weights of pixels i .. n-1 one by one; the new alpha goes straight into
// the destination (the colour planes do not read it).
inline void WeightsTail(Span &s, int i, int32_t k0, bool uniform)
{
    for (; i < s.n; ++i) {
        const int32_t k = CellOf(s, i);
        uniform = uniform && k == k0;
        s.w[i] = s.cells->w[k];
        s.omw[i] = 1.0 - s.w[i];
        if (s.da)
            s.da[i] = s.cells->alpha[k];
    }
    s.uniform = uniform;
}

inline void WeightsScalar(Span &s)
{
    WeightsTail(s, 0, CellOf(s, 0), true);
}

// Eight cells at a time, then the lookups one by one (gathers are no faster
// here), then 1 - w eight at a time.
[[gnu::target("avx2")]] inline void WeightsAVX2(Span &s)
{
    const int32_t k0 = CellOf(s, 0);
    const __m256i vk0 = _mm256_set1_epi32(k0), v255 = _mm256_set1_epi32(255);
    const __m256i zero = _mm256_setzero_si256(), all = _mm256_set1_epi32(-1);
    const __m256d one = _mm256_set1_pd(1.0);
    __m256i diff = zero;
    alignas(32) int32_t ks[kChunk];
    int i = 0;
    for (; i + 8 <= s.n; i += 8) {
        __m256i a = _mm256_cvtepu8_epi32(_mm_loadl_epi64(reinterpret_cast<const __m128i *>(s.sa + i)));
        if (s.mask) {
            const __m256i m =
                _mm256_cvtepu8_epi32(_mm_loadl_epi64(reinterpret_cast<const __m128i *>(s.mask + i)));
            a = _mm256_mask_i32gather_epi32(zero, s.mul, _mm256_or_si256(_mm256_slli_epi32(a, 8), m), all, 4);
        }
        const __m256i d =
            s.da ? _mm256_cvtepu8_epi32(_mm_loadl_epi64(reinterpret_cast<const __m128i *>(s.da + i))) : v255;
        const __m256i k = _mm256_or_si256(_mm256_slli_epi32(d, 8), a);
        diff = _mm256_or_si256(diff, _mm256_xor_si256(k, vk0));
        _mm256_store_si256(reinterpret_cast<__m256i *>(ks + i), k);
    }
    const double *w = s.cells->w;
    double *sw = s.w;
    for (int j = 0; j < i; ++j)
        sw[j] = w[ks[j]];
    if (uint8_t *da = s.da) {
        const uint8_t *alpha = s.cells->alpha;
        for (int j = 0; j < i; ++j)
            da[j] = alpha[ks[j]];
    }
    for (int j = 0; j < i; j += 4)
        _mm256_store_pd(s.omw + j, _mm256_sub_pd(one, _mm256_load_pd(s.w + j)));
    WeightsTail(s, i, k0, _mm256_testz_si256(diff, diff));
}

inline void BlendScalar(uint8_t *c, const Span &s, double f)
{
    if (s.uniform) {
        const double w = s.w[0], omw = s.omw[0];
        for (int i = 0; i < s.n; ++i)
            c[i] = uint8_t(int32_t(omw * c[i] + w * f));
        return;
    }
    for (int i = 0; i < s.n; ++i)
        c[i] = uint8_t(int32_t(s.omw[i] * c[i] + s.w[i] * f));
}

// Eight pixels: products and sum rounded as in the scalar expression (no
// fused multiply-add), truncation by cvttpd.
[[gnu::target("avx2")]] inline __m128i Blend8(__m128i c8, __m256d omwLo, __m256d omwHi, __m256d wLo,
                                              __m256d wHi, __m256d f)
{
    const __m256i c32 = _mm256_cvtepu8_epi32(c8);
    const __m256d lo = _mm256_cvtepi32_pd(_mm256_castsi256_si128(c32));
    const __m256d hi = _mm256_cvtepi32_pd(_mm256_extracti128_si256(c32, 1));
    const __m128i rlo = _mm256_cvttpd_epi32(_mm256_add_pd(_mm256_mul_pd(omwLo, lo), _mm256_mul_pd(wLo, f)));
    const __m128i rhi = _mm256_cvttpd_epi32(_mm256_add_pd(_mm256_mul_pd(omwHi, hi), _mm256_mul_pd(wHi, f)));
    const __m128i r16 = _mm_packus_epi32(rlo, rhi);
    return _mm_packus_epi16(r16, r16);
}

[[gnu::target("avx2")]] inline void BlendAVX2(uint8_t *c, const Span &s, double fv)
{
    const __m256d f = _mm256_set1_pd(fv);
    int i = 0;
    if (s.uniform) {
        const __m256d w = _mm256_set1_pd(s.w[0]), omw = _mm256_set1_pd(s.omw[0]);
        for (; i + 8 <= s.n; i += 8) {
            const __m128i c8 = _mm_loadl_epi64(reinterpret_cast<const __m128i *>(c + i));
            _mm_storel_epi64(reinterpret_cast<__m128i *>(c + i), Blend8(c8, omw, omw, w, w, f));
        }
        for (; i < s.n; ++i)
            c[i] = uint8_t(int32_t(s.omw[0] * c[i] + s.w[0] * fv));
        return;
    }
    for (; i + 8 <= s.n; i += 8) {
        const __m128i c8 = _mm_loadl_epi64(reinterpret_cast<const __m128i *>(c + i));
        const __m128i r = Blend8(c8, _mm256_load_pd(s.omw + i), _mm256_load_pd(s.omw + i + 4),
                                 _mm256_load_pd(s.w + i), _mm256_load_pd(s.w + i + 4), f);
        _mm_storel_epi64(reinterpret_cast<__m128i *>(c + i), r);
    }
    for (; i < s.n; ++i)
        c[i] = uint8_t(int32_t(s.omw[i] * c[i] + s.w[i] * fv));
}

// Sixteen pixels at a time where the machine has AVX-512. (GCC 12 warns
// inside its own AVX-512 intrinsics: bug 105593.)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
[[gnu::target("avx512f,avx512bw,avx512vl")]] inline __m128i Blend16(__m128i c8, __m512d omwLo, __m512d omwHi,
                                                                    __m512d wLo, __m512d wHi, __m512d f)
{
    const __m512i c32 = _mm512_cvtepu8_epi32(c8);
    const __m512d lo = _mm512_cvtepi32_pd(_mm512_castsi512_si256(c32));
    const __m512d hi = _mm512_cvtepi32_pd(_mm512_extracti64x4_epi64(c32, 1));
    const __m256i rlo = _mm512_cvttpd_epi32(_mm512_add_pd(_mm512_mul_pd(omwLo, lo), _mm512_mul_pd(wLo, f)));
    const __m256i rhi = _mm512_cvttpd_epi32(_mm512_add_pd(_mm512_mul_pd(omwHi, hi), _mm512_mul_pd(wHi, f)));
    return _mm512_cvtepi32_epi8(_mm512_inserti64x4(_mm512_castsi256_si512(rlo), rhi, 1));
}

// The last group of a span goes through masked loads and stores: no
// scalar tail, and nothing read or written past the span.
[[gnu::target("avx512f,avx512bw,avx512vl")]] inline void BlendAVX512(uint8_t *c, const Span &s, double fv)
{
    const __m512d f = _mm512_set1_pd(fv);
    for (int i = 0; i < s.n; i += 16) {
        const int left = s.n - i;
        const __mmask16 m = left >= 16 ? __mmask16(0xFFFF) : __mmask16((1u << left) - 1);
        const __mmask8 lo = __mmask8(m), hi = __mmask8(m >> 8);
        const __m128i c8 = _mm_maskz_loadu_epi8(m, c + i);
        __m128i r;
        if (s.uniform) {
            const __m512d w = _mm512_set1_pd(s.w[0]), omw = _mm512_set1_pd(s.omw[0]);
            r = Blend16(c8, omw, omw, w, w, f);
        } else {
            r = Blend16(c8, _mm512_maskz_loadu_pd(lo, s.omw + i), _mm512_maskz_loadu_pd(hi, s.omw + i + 8),
                        _mm512_maskz_loadu_pd(lo, s.w + i), _mm512_maskz_loadu_pd(hi, s.w + i + 8), f);
        }
        _mm_mask_storeu_epi8(c + i, m, r);
    }
}

// Sixteen cells at a time, the last group masked; then the lookups one by
// one (gathers are no faster here).
[[gnu::target("avx512f,avx512bw,avx512vl")]] inline void WeightsAVX512(Span &s)
{
    const int32_t k0 = CellOf(s, 0);
    const __m512i vk0 = _mm512_set1_epi32(k0), v255 = _mm512_set1_epi32(255), zero = _mm512_setzero_si512();
    __mmask16 differ = 0;
    alignas(64) int32_t ks[kChunk];
    bool looked[kChunk / 16]; // the group took one weight for all its pixels
    const int n = s.n;        // locals: the alpha stores may alias anything
    double *sw = s.w;
    uint8_t *da = s.da;
    for (int i = 0; i < n; i += 16) {
        const int left = n - i;
        const __mmask16 m = left >= 16 ? __mmask16(0xFFFF) : __mmask16((1u << left) - 1);
        __m512i a = _mm512_cvtepu8_epi32(_mm_maskz_loadu_epi8(m, s.sa + i));
        if (s.mask) {
            const __m512i mk = _mm512_cvtepu8_epi32(_mm_maskz_loadu_epi8(m, s.mask + i));
            a = _mm512_mask_i32gather_epi32(zero, m, _mm512_or_si512(_mm512_slli_epi32(a, 8), mk), s.mul, 4);
        }
        const __m512i d = da ? _mm512_cvtepu8_epi32(_mm_maskz_loadu_epi8(m, da + i)) : v255;
        const __m512i k = _mm512_or_si512(_mm512_slli_epi32(d, 8), a);
        differ |= _mm512_mask_cmpneq_epi32_mask(m, k, vk0);
        // The inside of a hard brush: one cell for the whole group.
        const int32_t kg = _mm_cvtsi128_si32(_mm512_castsi512_si128(k));
        looked[i / 16] = _mm512_mask_cmpneq_epi32_mask(m, k, _mm512_set1_epi32(kg)) == 0;
        if (looked[i / 16]) {
            const __m512d wg = _mm512_set1_pd(s.cells->w[kg]);
            _mm512_store_pd(sw + i, wg);
            _mm512_store_pd(sw + i + 8, wg);
            if (da)
                _mm_mask_storeu_epi8(da + i, m, _mm_set1_epi8(char(s.cells->alpha[kg])));
        } else {
            _mm512_store_si512(ks + i, k);
        }
    }
    const double *w = s.cells->w;
    const uint8_t *alpha = s.cells->alpha;
    for (int i = 0; i < n; i += 16) {
        if (looked[i / 16])
            continue;
        const int end = std::min(n, i + 16);
        for (int j = i; j < end; ++j)
            sw[j] = w[ks[j]];
        if (da)
            for (int j = i; j < end; ++j)
                da[j] = alpha[ks[j]];
    }
    const __m512d one = _mm512_set1_pd(1.0);
    for (int j = 0; j < n; j += 8) {
        const int left = n - j;
        const __mmask8 m = left >= 8 ? __mmask8(0xFF) : __mmask8((1u << left) - 1);
        _mm512_mask_storeu_pd(s.omw + j, m, _mm512_sub_pd(one, _mm512_maskz_loadu_pd(m, s.w + j)));
    }
    s.uniform = differ == 0;
}
#pragma GCC diagnostic pop

int MachineLevel()
{
    if (__builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
        __builtin_cpu_supports("avx512vl"))
        return OPTIMIZE_AVX512;
    return __builtin_cpu_supports("avx2") ? OPTIMIZE_AVX2 : OPTIMIZE_SCALAR;
}

const int kMachine = MachineLevel();
int level = kMachine;

// Pixels of brush alpha 0 at both ends of a row that would be left alone
// anyway (the rim of a round brush's box): [*first, *last) is what remains.
inline void Trim(const uint8_t *sa, const uint8_t *da, const Cells *cells, int32_t width, int32_t *first,
                 int32_t *last)
{
    auto keeps = [&](int32_t i) { return sa[i] == 0 && cells->zeroKeeps[da ? da[i] : 255]; };
    int32_t a = 0, b = width;
    while (a < b && keeps(a))
        ++a;
    while (b > a && keeps(b - 1))
        --b;
    *first = a;
    *last = b;
}

// Every alpha of the span is 255.
inline bool Opaque(const uint8_t *da, int n)
{
    uint8_t all = 255;
    for (int i = 0; i < n; ++i)
        all &= da[i];
    return all == 255;
}

// What one call paints: the box's rows, found once.
template <int NP> struct Rows {
    const Box *box;
    const uint8_t *src; // brush alpha at the box's first row and column
    ptrdiff_t srcBpr;
    const uint8_t *mask; // destination mask at the box's corner, or null
    ptrdiff_t maskBpr;
    uint8_t *alpha; // destination alpha at the box's corner, or null
    ptrdiff_t alphaBpr;
    uint8_t *planes[NP]; // destination planes at the box's corner
    ptrdiff_t bpr;
    double fg[NP];
    const Cells *cells;
    const int32_t *mul;
};

// The row walk, written once and inlined into one driver per instruction
// set so that the span routines are inlined too: a narrow dab has many
// short rows, and a call per row and plane would cost as much as its pixels.
template <int NP, typename Weights, typename Blend>
[[gnu::always_inline]] inline void WalkRows(const Rows<NP> &r, Weights weights, Blend blend)
{
    Span s;
    s.cells = r.cells;
    s.mul = r.mul;
    const int32_t width = r.box->width;
    for (int32_t row = 0; row < r.box->height; ++row) {
        // Rows lie a whole row of the image apart, which the hardware does
        // not guess: the planes of a row two ahead are asked for now.
        if (row + 2 < r.box->height)
            for (int32_t x = 0; x < width; x += 64) {
                for (int p = 0; p < NP; ++p)
                    __builtin_prefetch(r.planes[p] + (row + 2) * r.bpr + x, 1);
                if (r.alpha)
                    __builtin_prefetch(r.alpha + (row + 2) * r.alphaBpr + x, 1);
            }
        const uint8_t *sa = r.src + row * r.srcBpr;
        const uint8_t *m = r.mask ? r.mask + row * r.maskBpr : nullptr;
        uint8_t *da = r.alpha ? r.alpha + row * r.alphaBpr : nullptr;
        int32_t first, last;
        Trim(sa, da, s.cells, width, &first, &last);
        for (int32_t i = first; i < last; i += kChunk) {
            s.n = std::min<int32_t>(kChunk, last - i);
            s.sa = sa + i;
            s.mask = m ? m + i : nullptr;
            s.da = da && !(s.cells->opaqueStays && Opaque(da + i, s.n)) ? da + i : nullptr;
            weights(s);
            for (int p = 0; p < NP; ++p)
                blend(r.planes[p] + row * r.bpr + i, s, r.fg[p]);
        }
    }
}

template <int NP> void RowsScalar(const Rows<NP> &r)
{
    WalkRows(r, WeightsScalar, BlendScalar);
}

template <int NP> [[gnu::target("avx2")]] void RowsAVX2(const Rows<NP> &r)
{
    WalkRows(r, WeightsAVX2, BlendAVX2);
}

template <int NP> [[gnu::target("avx512f,avx512bw,avx512vl")]] void RowsAVX512(const Rows<NP> &r)
{
    WalkRows(r, WeightsAVX512, BlendAVX512);
}

template <int NP> void Optimize(View *view, void *data, Box *box)
{
    auto *f = static_cast<FillTev2TevData *>(data);
    if (!f->weight || !f->opAlpha || !f->srcAlphaPlane || box->width < 1 || box->height < 1)
        return;
    int32_t sx, sy;
    ViewDstToSrc(view, box->x1, box->y1, &sx, &sy);

    Image *dst = f->dst;
    Rows<NP> r;
    r.box = box;
    r.src = Image_Row(f->src, f->srcAlphaPlane, sy) + sx;
    r.srcBpr = Image_PlaneBytesPerRow(f->src, f->srcAlphaPlane);
    r.mask = f->dstMask ? Image_Row(f->dstMask, f->dstMaskPlane, box->y1) + box->x1 : nullptr;
    r.maskBpr = f->dstMask ? Image_PlaneBytesPerRow(f->dstMask, f->dstMaskPlane) : 0;
    r.alpha = f->dstAlphaPlane ? Image_Row(dst, f->dstAlphaPlane, box->y1) + box->x1 : nullptr;
    r.alphaBpr = f->dstAlphaPlane ? Image_PlaneBytesPerRow(dst, f->dstAlphaPlane) : 0;
    const ColorValue &c = f->fgValues;
    if constexpr (NP == 3) {
        const int32_t rgb[3] = {c.red, c.green, c.blue};
        for (int p = 0; p < 3; ++p) {
            r.planes[p] = Image_Row(dst, p, box->y1) + box->x1;
            r.fg[p] = std::clamp(rgb[p], 0, 255);
        }
    } else {
        r.planes[0] = Image_Row(dst, f->dstShown, box->y1) + box->x1;
        r.fg[0] = std::clamp(c.grey, 0, 255);
    }
    r.bpr = Image_PlaneBytesPerRow(dst, NP == 3 ? 0 : f->dstShown);
    r.cells = CellsOf(f->weight, f->opAlpha);
    r.mul = Mul32();
    if (level >= OPTIMIZE_AVX512)
        RowsAVX512(r);
    else if (level >= OPTIMIZE_AVX2)
        RowsAVX2(r);
    else
        RowsScalar(r);
}

const Tev2TevTable kRGB = {"OptimizeRGB", {OptimizeRGB, OptimizeRGB}};
const Tev2TevTable kGRAY = {"OptimizeGRAY", {OptimizeGRAY, OptimizeGRAY}};

bool Plane8(const Image *image, int plane)
{
    return plane >= 0 && plane < Image_Planes(image) && Image_PlaneBits(image, plane) == 8;
}

} // namespace

void OptimizeRGB(View *view, void *data, Box *box)
{
    Optimize<3>(view, data, box);
}

void OptimizeGRAY(View *view, void *data, Box *box)
{
    Optimize<1>(view, data, box);
}

int Optimize_Choose(const Fill *filler)
{
    if (!POPTIMIZE || !filler || !filler->data)
        return OPTIMIZE_NONE;
    auto *f = static_cast<const FillTev2TevData *>(filler->data);
    if (!f->floating || !f->srcAlphaPlane || f->srcMask || !f->kernels || !f->weight ||
        !Plane8(f->src, f->srcAlphaPlane) || (f->dstAlphaPlane && !Plane8(f->dst, f->dstAlphaPlane)))
        return OPTIMIZE_NONE;
    if (f->fgValues.mode == COLOR_RGB && f->dstMode == COLOR_RGB && f->dstPlane == -1 && Plane8(f->dst, 0) &&
        Plane8(f->dst, 1) && Plane8(f->dst, 2))
        return OPTIMIZE_RGB;
    if (f->fgValues.mode == COLOR_GRAY && f->dstMode == COLOR_GRAY && Plane8(f->dst, f->dstShown))
        return OPTIMIZE_GRAY;
    return OPTIMIZE_NONE;
}

void Optimize_Install(Fill *filler, int kind)
{
    if (!filler || !filler->data || kind == OPTIMIZE_NONE)
        return;
    static_cast<FillTev2TevData *>(filler->data)->kernels = kind == OPTIMIZE_RGB ? &kRGB : &kGRAY;
}

int Optimize_SetLevel(int wanted)
{
    level = std::clamp(wanted, int(OPTIMIZE_SCALAR), kMachine);
    return level;
}
