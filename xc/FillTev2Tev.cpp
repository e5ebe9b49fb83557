#include "xc/FillTev2Tev.h"

#include "xc/kernels/Tev2Tev.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

const uint8_t FillTev2Tev_BitMask[8] = {128, 64, 32, 16, 8, 4, 2, 1};

// ---- Process-wide tables (built on first need, never freed) ----

namespace
{

// The operation tables, indexed [a * 256 + d] with t = a / 255, u = d / 255:
//   replace: weight 1, alpha a;
//   over:    a = 255 or d = 0: weight 1, alpha a; else s = t + (1 - t) u,
//            weight t / s, alpha trunc(255 s);
//   under:   d = 255 or a = 0: weight 0, alpha d; else s = u + (1 - u) t,
//            weight (1 - u) t / s, alpha trunc(255 s);
// and for over and under a cell with a > 0 whose alpha would not exceed d
// gets min(d + 1, 255): any stroke with some alpha raises the destination's.
FillTev2TevOpTables BuildOp(int32_t op)
{
    auto *weight = new double[65536];
    auto *opAlpha = new uint8_t[65536];
    auto *weightByD = new double[65536];
    auto *alphaByD = new uint8_t[65536];
    auto *keepsAlpha = new uint8_t[256];
    for (int a = 0; a < 256; ++a)
        for (int d = 0; d < 256; ++d) {
            double t = a / 255.0, u = d / 255.0, w;
            int alpha;
            if (op == FT2T_OP_OVER) {
                if (a == 255 || d == 0) {
                    w = 1.0;
                    alpha = a;
                } else {
                    double s = t + (1.0 - t) * u;
                    w = t / s;
                    alpha = int(255.0 * s);
                }
            } else if (op == FT2T_OP_UNDER) {
                if (d == 255 || a == 0) {
                    w = 0.0;
                    alpha = d;
                } else {
                    double s = u + (1.0 - u) * t;
                    w = (1.0 - u) * t / s;
                    alpha = int(255.0 * s);
                }
            } else {
                w = 1.0;
                alpha = a;
            }
            if ((op == FT2T_OP_OVER || op == FT2T_OP_UNDER) && a > 0 && alpha <= d)
                alpha = std::min(d + 1, 255);
            weight[a * 256 + d] = weightByD[d * 256 + a] = w;
            opAlpha[a * 256 + d] = uint8_t(alpha);
            alphaByD[d * 256 + a] = uint8_t(w == 1.0 ? a : w == 0.0 ? d : alpha);
        }
    for (int d = 0; d < 256; ++d) {
        keepsAlpha[d] = 1;
        for (int a = 0; a < 256; ++a)
            keepsAlpha[d] &= alphaByD[d * 256 + a] == d;
    }
    return FillTev2TevOpTables{weight, opAlpha, weightByD, alphaByD, keepsAlpha};
}

struct Dither {
    int32_t i8[256];
    int32_t i256[256];
    double frac[256];
};

// M[i + 4k][j + 4l] = trunc(0.5 + 15.875 B[i][j] + 15.875 B[k][l] / 16),
// then M[0][0] = 1: values 1 .. 253, 15.875 being (255 - 1) / 16.
const Dither &DitherTables()
{
    static const Dither *d = [] {
        static const int B[4][4] = {{0, 14, 3, 13}, {11, 5, 8, 6}, {12, 2, 15, 1}, {7, 9, 4, 10}};
        auto *t = new Dither;
        for (int i = 0; i < 4; ++i)
            for (int j = 0; j < 4; ++j)
                for (int k = 0; k < 4; ++k)
                    for (int l = 0; l < 4; ++l)
                        t->i8[(i + 4 * k) * 16 + j + 4 * l] =
                            int32_t(0.5 + 15.875 * B[i][j] + 15.875 * B[k][l] / 16);
        t->i8[0] = 1;
        for (int n = 0; n < 256; ++n) {
            t->i256[n] = t->i8[n] * 256;
            t->frac[n] = t->i8[n] / 255.0;
        }
        return t;
    }();
    return *d;
}

} // namespace

FillTev2TevOpTables FillTev2Tev_OpTables(int32_t op)
{
    static const FillTev2TevOpTables over = BuildOp(FT2T_OP_OVER);
    static const FillTev2TevOpTables under = BuildOp(FT2T_OP_UNDER);
    static const FillTev2TevOpTables replace = BuildOp(FT2T_OP_REPLACE);
    return op == FT2T_OP_OVER ? over : op == FT2T_OP_UNDER ? under : replace;
}

const uint8_t *FillTev2Tev_MulTable()
{
    static const uint8_t *mul = [] {
        auto *t = new uint8_t[65536];
        for (int a = 0; a < 256; ++a)
            for (int b = 0; b < 256; ++b)
                t[a * 256 + b] = uint8_t(a * b / 255);
        return t;
    }();
    return mul;
}

void InitDithering()
{
    DitherTables();
}

const int32_t *FillTev2Tev_DitherInt()
{
    return DitherTables().i8;
}

const int32_t *FillTev2Tev_DitherInt256()
{
    return DitherTables().i256;
}

const double *FillTev2Tev_DitherFrac()
{
    return DitherTables().frac;
}

// ---- Flat fills ----

namespace
{

// The box cut to the image; false when nothing is left or the plane does not
// exist or is shallower than what is written.
bool FlatTarget(const Image *image, int plane, const Box *box, int minBits, Box *out)
{
    if (!image || !box || plane < 0 || plane >= Image_Planes(image) ||
        Image_PlaneBits(image, plane) < minBits)
        return false;
    const Box img = Box_OfImage(image);
    return Box_Clip(out, box, &img) != 0;
}

inline void PutBit(uint8_t *row, int32_t x, bool on)
{
    uint8_t bit = FillTev2Tev_BitMask[x & 7];
    row[x >> 3] = on ? uint8_t(row[x >> 3] | bit) : uint8_t(row[x >> 3] & ~bit);
}

inline bool GetBit(const uint8_t *row, int32_t x)
{
    return (row[x >> 3] & FillTev2Tev_BitMask[x & 7]) != 0;
}

} // namespace

void FillTev2Tev_SetValue8(Image *image, int plane, const Box *box, int32_t value)
{
    Box b;
    if (!FlatTarget(image, plane, box, 8, &b))
        return;
    for (int32_t y = b.y1; y <= b.y2; ++y)
        std::memset(Image_Row(image, plane, y) + b.x1, uint8_t(value), size_t(b.width));
}

void FillTev2Tev_SetValue16(Image *image, int plane, const Box *box, int32_t value)
{
    Box b;
    if (!FlatTarget(image, plane, box, 16, &b))
        return;
    for (int32_t y = b.y1; y <= b.y2; ++y) {
        uint8_t *row = Image_Row(image, plane, y) + 2 * ptrdiff_t(b.x1);
        for (int32_t i = 0; i < b.width; ++i)
            Bytes_Put16(row + 2 * i, uint16_t(value));
    }
}

// Whole middle bytes at once, the partial bytes at both ends bit by bit.
void FillTev2Tev_SetValue1(Image *image, int plane, const Box *box, int32_t bit)
{
    Box b;
    if (!FlatTarget(image, plane, box, 1, &b))
        return;
    bool on = bit != 0;
    for (int32_t y = b.y1; y <= b.y2; ++y) {
        uint8_t *row = Image_Row(image, plane, y);
        int32_t x = b.x1;
        for (; x <= b.x2 && (x & 7); ++x)
            PutBit(row, x, on);
        int32_t bytes = (b.x2 + 1 - x) / 8;
        std::memset(row + (x >> 3), on ? 255 : 0, size_t(bytes));
        for (x += 8 * bytes; x <= b.x2; ++x)
            PutBit(row, x, on);
    }
}

void FillTev2Tev_SetValue1_Dg(Image *image, int plane, const Box *box, int32_t value,
                              const FillTev2TevData *filler)
{
    Box b;
    if (!FlatTarget(image, plane, box, 1, &b) || !filler->ditherInt)
        return;
    for (int32_t y = b.y1; y <= b.y2; ++y) {
        uint8_t *row = Image_Row(image, plane, y);
        for (int32_t x = b.x1; x <= b.x2; ++x)
            PutBit(row, x, !(value < filler->ditherInt[(x % filler->ditherW) * 16 + y % filler->ditherH]));
    }
}

void FillTev2Tev_SetValue1_Gen(Image *image, int plane, const Box *box, int32_t value,
                               const FillTev2TevData *filler)
{
    if (value != 0 && value != 255 && filler->ditherW != 1)
        FillTev2Tev_SetValue1_Dg(image, plane, box, value, filler);
    else
        FillTev2Tev_SetValue1(image, plane, box, value >= filler->threshold8);
}

void FillTev2Tev_SetBg(Image *image, const Box *box, const int32_t *values)
{
    for (int p = 0; p < Image_Planes(image); ++p) {
        switch (Image_PlaneBits(image, p)) {
        case 8:
            FillTev2Tev_SetValue8(image, p, box, values[p]);
            break;
        case 16:
            FillTev2Tev_SetValue16(image, p, box, values[p]);
            break;
        default:
            FillTev2Tev_SetValue1(image, p, box, values[p]);
            break;
        }
    }
}

// ---- Selection ----

namespace
{

FillTev2TevData *DataOf(Fill *filler)
{
    return static_cast<FillTev2TevData *>(filler->data);
}

} // namespace

void FillTev2Tev_SelectKernels(FillTev2TevData *f)
{
    f->kernels = nullptr;
    if (!f->src || !f->dst)
        return;
    f->srcAlphaPlane = Fill_AlphaPlane(f->src, f->noSrcAlpha);
    f->dstAlphaPlane = Fill_AlphaPlane(f->dst, f->noDstAlpha);
    Fill_Side(f->src, f->srcPlane, &f->srcMode, &f->srcDepth, &f->srcShown, &f->srcAlphaPlane);
    Fill_Side(f->dst, f->dstPlane, &f->dstMode, &f->dstDepth, &f->dstShown, &f->dstAlphaPlane);
    bool srcFits = Fill_PlanesFit(f->src, f->srcMode, f->srcDepth, f->srcShown);
    bool masked = f->srcMask || f->dstMask;
    f->useAlpha = f->srcAlphaPlane != 0 || f->dstAlphaPlane != 0 || masked;
    if (f->floating) {
        f->srcMode = FT2T_MODE_CST;
        f->srcDepth = 0;
        srcFits = true;
        if (f->srcAlphaPlane == 0 && !masked && f->op != FT2T_OP_UNDER)
            f->useAlpha = 0;
    }
    bool blends = f->op == FT2T_OP_OVER || f->op == FT2T_OP_UNDER;
    f->canCopy = f->srcMode == f->dstMode && f->srcDepth == f->dstDepth && !(blends && f->useAlpha);

    FillTev2TevOpTables t{};
    if (f->useAlpha)
        t = FillTev2Tev_OpTables(f->op);
    f->weight = t.weight;
    f->opAlpha = t.opAlpha;
    f->weightByD = t.weightByD;
    f->alphaByD = t.alphaByD;
    f->keepsAlpha = t.keepsAlpha;
    f->mul = masked ? FillTev2Tev_MulTable() : nullptr;
    if (f->dithering) {
        InitDithering();
        f->ditherW = f->ditherH = 16;
        f->ditherFrac = FillTev2Tev_DitherFrac();
        f->ditherInt = FillTev2Tev_DitherInt();
        f->ditherInt256 = FillTev2Tev_DitherInt256();
    } else {
        f->ditherW = f->ditherH = 1;
        f->ditherFrac = &f->threshold;
        f->ditherInt = &f->threshold8;
        f->ditherInt256 = &f->threshold16;
    }

    if (srcFits && Fill_PlanesFit(f->dst, f->dstMode, f->dstDepth, f->dstShown))
        f->kernels = Tev2Tev_Select(f->srcMode, f->srcDepth, f->dstMode, f->dstDepth, f->useAlpha != 0);
}

// ---- Creation and options ----

namespace
{

void SetThreshold(FillTev2TevData *f, double t)
{
    f->threshold = t < 0.0 ? 0.0 : t > 1.0 ? 1.0 : t;
    f->threshold8 = int32_t(f->threshold * 255);
    f->threshold16 = int32_t(f->threshold * 65536);
}

// Applies the masked fields; true when the kernels must be selected again.
bool Apply(FillTev2TevData *f, const FillTev2TevOptions *o, int mask)
{
    if (!o)
        return false;
    if (mask & FT2T_TRESHOLD)
        SetThreshold(f, o->threshold);
    if (mask & FT2T_QUALITY)
        f->quality = o->quality;
    if (mask & FT2T_SRCPLANE)
        f->srcPlane = Fill_ClampPlane(f->src, o->srcPlane);
    if (mask & FT2T_DSTPLANE)
        f->dstPlane = Fill_ClampPlane(f->dst, o->dstPlane);
    if (mask & FT2T_OP)
        f->op = o->op;
    if (mask & FT2T_FLOATING)
        f->floating = o->floating;
    if (mask & FT2T_FGPIXEL)
        f->fgValues = o->fgValues;
    if (mask & FT2T_DSTMASK)
        Fill_SetMask(&f->dstMask, &f->dstMaskPlane, o->dstMask, o->dstMaskPlane, f->dst);
    if (mask & FT2T_SRCMASK)
        Fill_SetMask(&f->srcMask, &f->srcMaskPlane, o->srcMask, o->srcMaskPlane, f->src);
    if (mask & FT2T_NOSRCALPHA)
        f->noSrcAlpha = o->noSrcAlpha;
    if (mask & FT2T_NODSTALPHA)
        f->noDstAlpha = o->noDstAlpha;
    if (mask & FT2T_DITHERING)
        f->dithering = o->dithering;
    const int reselect = FT2T_SRCPLANE | FT2T_DSTPLANE | FT2T_OP | FT2T_FLOATING | FT2T_DSTMASK |
                         FT2T_SRCMASK | FT2T_NOSRCALPHA | FT2T_NODSTALPHA | FT2T_DITHERING;
    return (mask & reselect) != 0;
}

} // namespace

Fill *FillTev2TevCreate(Image *src, Image *dst, const FillTev2TevOptions *options, int mask)
{
    Fill *fill = Fill_CreateWithData(sizeof(FillTev2TevData));
    if (!fill)
        return nullptr;
    auto *f = DataOf(fill);
    f->src = src;
    f->dst = dst;
    SetThreshold(f, 0.5);
    f->quality = 1;
    f->srcPlane = f->dstPlane = -1;
    f->op = FT2T_OP_REPLACE;
    f->dithering = 1;
    Apply(f, options, mask);
    FillTev2Tev_SelectKernels(f);
    fill->fill = FillTev2Tev_Fill;
    return fill;
}

void FillTev2TevDestroy(Fill *filler)
{
    Fill_DestroyWithData(filler);
}

void FillTev2TevSetOptions(Fill *filler, const FillTev2TevOptions *options, int mask)
{
    if (Apply(DataOf(filler), options, mask))
        FillTev2Tev_SelectKernels(DataOf(filler));
}

void FillTev2TevSetTreshold1(Fill *filler, double t)
{
    SetThreshold(DataOf(filler), t);
}

namespace
{
void SetAndSelect(FillTev2TevData *f, int32_t *field, int32_t value)
{
    if (*field == value)
        return;
    *field = value;
    FillTev2Tev_SelectKernels(f);
}
} // namespace

void FillTev2TevSetDithering(Fill *filler, int32_t dithering)
{
    SetAndSelect(DataOf(filler), &DataOf(filler)->dithering, dithering);
}

void FillTev2TevSetQuality(Fill *filler, int32_t quality)
{
    SetAndSelect(DataOf(filler), &DataOf(filler)->quality, quality);
}

void FillTev2TevSetOp(Fill *filler, int32_t op)
{
    SetAndSelect(DataOf(filler), &DataOf(filler)->op, op);
}

void FillTev2TevSetFloating(Fill *filler, int32_t floating)
{
    SetAndSelect(DataOf(filler), &DataOf(filler)->floating, floating);
}

void FillTev2TevSetSrcPlane(Fill *filler, int32_t plane)
{
    FillTev2TevData *f = DataOf(filler);
    SetAndSelect(f, &f->srcPlane, Fill_ClampPlane(f->src, plane));
}

void FillTev2TevSetDstPlane(Fill *filler, int32_t plane)
{
    FillTev2TevData *f = DataOf(filler);
    SetAndSelect(f, &f->dstPlane, Fill_ClampPlane(f->dst, plane));
}

void FillTev2TevSetFgPixel(Fill *filler, const ColorValue *values)
{
    DataOf(filler)->fgValues = *values;
}

void FillTev2TevSetSrcMask(Fill *filler, Image *mask, int32_t plane)
{
    FillTev2TevData *f = DataOf(filler);
    if (mask == f->srcMask && plane == f->srcMaskPlane)
        return;
    Fill_SetMask(&f->srcMask, &f->srcMaskPlane, mask, plane, f->src);
    FillTev2Tev_SelectKernels(f);
}

void FillTev2TevSetDstMask(Fill *filler, Image *mask, int32_t plane)
{
    FillTev2TevData *f = DataOf(filler);
    if (mask == f->dstMask && plane == f->dstMaskPlane)
        return;
    Fill_SetMask(&f->dstMask, &f->dstMaskPlane, mask, plane, f->dst);
    FillTev2Tev_SelectKernels(f);
}

// ---- Fill ----

namespace
{

// Copies n bits from bit sx of one row to bit dx of another: single bits up
// to the destination's first byte boundary, whole shifted bytes through the
// middle, single bits at the end. Reads only bytes that hold copied bits.
void CopyBits(uint8_t *d, int32_t dx, const uint8_t *s, int32_t sx, int32_t n)
{
    for (; n > 0 && (dx & 7); ++dx, ++sx, --n)
        PutBit(d, dx, GetBit(s, sx));
    int sh = sx & 7;
    const uint8_t *sp = s + (sx >> 3);
    uint8_t *dp = d + (dx >> 3);
    for (; n >= 8; n -= 8, dx += 8, sx += 8, ++sp)
        *dp++ = sh ? uint8_t(sp[0] << sh | sp[1] >> (8 - sh)) : sp[0];
    for (; n > 0; ++dx, ++sx, --n)
        PutBit(d, dx, GetBit(s, sx));
}

void CopyPlane(FillTev2TevData *f, int sp, int dp, int32_t sx, int32_t sy, const Box &b)
{
    int32_t dstWidth = Image_Width(f->dst);
    for (int32_t r = 0; r < b.height; ++r) {
        const uint8_t *s = Image_Row(f->src, sp, sy + r);
        uint8_t *d = Image_Row(f->dst, dp, b.y1 + r);
        switch (f->srcDepth) {
        case 8:
            std::memmove(d + b.x1, s + sx, size_t(b.width));
            break;
        case 16:
            std::memmove(d + 2 * ptrdiff_t(b.x1), s + 2 * ptrdiff_t(sx), 2 * size_t(b.width));
            break;
        default:
            if (b.x1 % 8 == 0 && sx % 8 == 0 && (b.width % 8 == 0 || b.width == dstWidth))
                std::memmove(d + b.x1 / 8, s + sx / 8, size_t(b.width / 8 + (b.width % 8 ? 1 : 0)));
            else
                CopyBits(d, b.x1, s, sx, b.width);
            break;
        }
    }
}

} // namespace

void FillTev2Tev_DirectCopy(View *view, FillTev2TevData *f, const Box *box)
{
    const Box &b = *box;
    int32_t sx, sy;
    ViewDstToSrc(view, b.x1, b.y1, &sx, &sy);
    int count = f->srcMode == 2 ? 3 : f->srcMode == 3 ? 4 : 1;
    for (int p = 0; p < count; ++p) {
        bool single = f->srcMode == 1;
        CopyPlane(f, single ? f->srcShown : p, single ? f->dstShown : p, sx, sy, b);
    }
    if (!f->dstAlphaPlane)
        return;
    if (!f->srcAlphaPlane && !f->srcMask) {
        FillTev2Tev_SetValue8(f->dst, f->dstAlphaPlane, &b, 255);
        return;
    }
    for (int32_t r = 0; r < b.height; ++r) {
        uint8_t *d = Image_Row(f->dst, f->dstAlphaPlane, b.y1 + r) + b.x1;
        const uint8_t *a = f->srcAlphaPlane ? Image_Row(f->src, f->srcAlphaPlane, sy + r) + sx : nullptr;
        const uint8_t *m = f->srcMask ? Image_Row(f->srcMask, f->srcMaskPlane, sy + r) + sx : nullptr;
        if (a && m)
            for (int32_t i = 0; i < b.width; ++i)
                d[i] = f->mul[a[i] * 256 + m[i]];
        else
            std::memmove(d, a ? a : m, size_t(b.width));
    }
}

void FillTev2Tev_Fill(View *view, void *data, Box *box)
{
    auto *f = static_cast<FillTev2TevData *>(data);
    Box b;
    if (!f->kernels || !Fill_ServedBox(view, box, Box_OfImage(f->dst), f->src, &b))
        return;
    bool unzoomed = view->xMap.num == 1 && view->xMap.den == 1 && view->yMap.num == 1 && view->yMap.den == 1;
    if (f->quality == 1 && !unzoomed)
        f->kernels->slot[TEV2TEV_AVERAGE](view, f, &b);
    else if (unzoomed && f->canCopy)
        FillTev2Tev_DirectCopy(view, f, &b);
    else
        f->kernels->slot[TEV2TEV_NEAREST](view, f, &b);
}
