#include "xc/FillTev2X.h"

#include "xc/FillTev2Tev.h"
#include "xc/kernels/Tev2X.h"

#include <algorithm>
#include <cstring>

// ---- FillTev2X ----

namespace
{

FillTev2XData *DataOf(Fill *filler)
{
    return static_cast<FillTev2XData *>(filler->data);
}

// Which table family the X image's visual takes, or -1 for none.
int FormatOf(const XcImage *xi)
{
    const XcVisual *v = xi ? xi->visual : nullptr;
    if (!v)
        return -1;
    if (v->c_class == PseudoColor && v->depth == 8)
        return TEV2X_PSEUDO;
    if ((v->c_class == TrueColor || v->c_class == DirectColor) && v->depth == 24)
        return TEV2X_TRUE;
    return -1;
}

void Apply(FillTev2XData *f, const FillTev2XOptions *o, int mask)
{
    if (!o)
        return;
    if (mask & FT2X_PRECISION) {
        f->precisionX = o->precisionX;
        f->precisionY = o->precisionY;
    }
    if (mask & FT2X_PHASE) {
        f->phaseX = o->phaseX;
        f->phaseY = o->phaseY;
    }
    if (mask & FT2X_QUALITY)
        f->quality = o->quality;
    if (mask & FT2X_BGPIXEL)
        f->bgPixel = o->bgPixel;
    if (mask & FT2X_FGPIXEL)
        f->fgPixel = o->fgPixel;
    if (mask & FT2X_FLOATING)
        f->floating = o->floating;
    if (mask & FT2X_NOSRCALPHA)
        f->noSrcAlpha = o->noSrcAlpha;
    if (mask & FT2X_PLANE)
        f->plane = Fill_ClampPlane(f->image, o->plane);
    if (mask & FT2X_BLEND)
        f->blend = o->blend;
    if (mask & FT2X_MASK)
        Fill_SetMask(&f->mask, &f->maskPlane, o->mask, o->maskPlane, f->image);
}

// Stores a value and selects the kernels again when it changed.
void SetAndSelect(FillTev2XData *f, int32_t *field, int32_t value)
{
    if (*field == value)
        return;
    *field = value;
    FillTev2X_SelectKernels(f);
}

} // namespace

void FillTev2X_SelectKernels(FillTev2XData *f)
{
    f->kernels = nullptr;
    if (!f->image)
        return;
    int32_t mode, depth;
    f->alphaPlane = Fill_AlphaPlane(f->image, f->noSrcAlpha);
    Fill_Side(f->image, f->plane, &mode, &depth, &f->shownPlane, &f->alphaPlane);
    bool fits = Fill_PlanesFit(f->image, mode, depth, f->shownPlane);
    if (f->floating) {
        mode = FT2T_MODE_CST;
        depth = 8;
        fits = true;
    }
    f->useAlpha = f->alphaPlane != 0 || f->mask != nullptr;
    f->mul = f->mask ? FillTev2Tev_MulTable() : nullptr;
    int format = FormatOf(f->ximage);
    if (fits && format >= 0)
        f->kernels = Tev2X_Select(mode, depth, f->useAlpha, format);
}

Fill *FillTev2XCreate(Image *image, XcImage *ximage, const FillTev2XOptions *options, int mask)
{
    Fill *fill = Fill_CreateWithData(sizeof(FillTev2XData));
    if (!fill)
        return nullptr;
    auto *f = DataOf(fill);
    f->image = image;
    f->ximage = ximage;
    f->precisionX = f->precisionY = 1;
    f->plane = -1;
    Apply(f, options, mask);
    FillTev2X_SelectKernels(f);
    fill->fill = FillTev2X_Fill;
    return fill;
}

void FillTev2XDestroy(Fill *filler)
{
    Fill_DestroyWithData(filler);
}

void FillTev2XSetOptions(Fill *filler, const FillTev2XOptions *options, int mask)
{
    Apply(DataOf(filler), options, mask);
    FillTev2X_SelectKernels(DataOf(filler));
}

void FillTev2XSetPrecision(Fill *filler, int px, int py)
{
    DataOf(filler)->precisionX = px < 1 ? 1 : px;
    DataOf(filler)->precisionY = py < 1 ? 1 : py;
}

void FillTev2XSetPhase(Fill *filler, int phx, int phy)
{
    DataOf(filler)->phaseX = phx;
    DataOf(filler)->phaseY = phy;
}

void FillTev2XSetQuality(Fill *filler, int quality)
{
    DataOf(filler)->quality = quality;
}

void FillTev2XSetBgPixel(Fill *filler, const FillPixel *pixel)
{
    DataOf(filler)->bgPixel = *pixel;
}

void FillTev2XSetFgPixel(Fill *filler, const FillPixel *pixel)
{
    DataOf(filler)->fgPixel = *pixel;
}

void FillTev2XSetFloating(Fill *filler, int floating)
{
    SetAndSelect(DataOf(filler), &DataOf(filler)->floating, floating);
}

void FillTev2XSetNoSrcAlpha(Fill *filler, int noSrcAlpha)
{
    SetAndSelect(DataOf(filler), &DataOf(filler)->noSrcAlpha, noSrcAlpha);
}

void FillTev2XSetPlane(Fill *filler, int plane)
{
    FillTev2XData *f = DataOf(filler);
    SetAndSelect(f, &f->plane, Fill_ClampPlane(f->image, plane));
}

void FillTev2XSetBlend(Fill *filler, int blend)
{
    DataOf(filler)->blend = blend;
}

void FillTev2XSetMask(Fill *filler, Image *mask, int maskPlane)
{
    FillTev2XData *f = DataOf(filler);
    if (mask == f->mask && maskPlane == f->maskPlane)
        return;
    Fill_SetMask(&f->mask, &f->maskPlane, mask, maskPlane, f->image);
    FillTev2X_SelectKernels(f);
}

namespace
{

// The slot for the quality, the precision and the zoom.
int SlotOf(const View *view, const FillTev2XData *f)
{
    const bool unzoomed =
        view->xMap.num == 1 && view->xMap.den == 1 && view->yMap.num == 1 && view->yMap.den == 1;
    const bool partial = f->precisionX != 1 || f->precisionY != 1;
    if (f->quality == FT2X_BLOCKS && partial)
        return TEV2X_BLOCKS;
    if (f->quality == FT2X_NEAREST && partial)
        return TEV2X_SPARSE;
    if (f->quality == FT2X_AVERAGE && !unzoomed)
        return partial ? TEV2X_SPARSE_AVERAGE : TEV2X_AVERAGE;
    return unzoomed ? TEV2X_COPY : TEV2X_NEAREST;
}

// The walk steps num * precision units per sample in 32 bits: blocks of at
// least one pixel, and no step near the end of the range (no display zooms
// or refines by anything near 2^28).
bool Walkable(const View *view, const FillTev2XData *f)
{
    constexpr int64_t kLimit = int64_t(1) << 28;
    const int64_t px = f->precisionX, py = f->precisionY;
    return px >= 1 && py >= 1 && px * view->xMap.num < kLimit && py * view->yMap.num < kLimit &&
           view->xMap.den < kLimit && view->yMap.den < kLimit;
}

Box ImageBox(const XImage *image)
{
    return Box_Rect(0, 0, image->width, image->height);
}

} // namespace

void FillTev2X_Fill(View *view, void *data, Box *box)
{
    auto *f = static_cast<FillTev2XData *>(data);
    const XcImage *xi = f->ximage;
    Box b;
    if (!f->kernels || !xi->image || !xi->cms ||
        !Fill_ServedBox(view, box, ImageBox(xi->image), f->image, &b))
        return;
    if (!Walkable(view, f))
        return;
    f->kernels->slot[SlotOf(view, f)](view, f, &b);
}

// ---- FillNull2X ----

namespace
{

// Calls row(data + offset of (b.x1, y), width) for each row of the box
// inside the X image.
template <class Row> void ForEachRow(const FillNull2XData *f, const Box *box, Row row)
{
    const XImage *im = f->ximage->image;
    Box b;
    if (!im)
        return;
    const Box limit = ImageBox(im);
    if (!Box_Clip(&b, box, &limit))
        return;
    const int bytes = im->bits_per_pixel / 8;
    for (int32_t y = b.y1; y <= b.y2; ++y)
        row(im->data + ptrdiff_t(y) * im->bytes_per_line + ptrdiff_t(b.x1) * bytes, b.width);
}

void FillBytes(View *, void *data, Box *box)
{
    auto *f = static_cast<FillNull2XData *>(data);
    ForEachRow(f, box, [f](char *p, int32_t n) { std::memset(p, int(f->pixel & 255u), size_t(n)); });
}

void FillWords(View *, void *data, Box *box)
{
    auto *f = static_cast<FillNull2XData *>(data);
    ForEachRow(f, box, [f](char *p, int32_t n) {
        auto *w = reinterpret_cast<uint32_t *>(p);
        std::fill(w, w + n, f->pixel);
    });
}

FillFn Null2XFunction(const XcImage *xi)
{
    switch (FormatOf(xi)) {
    case TEV2X_PSEUDO:
        return FillBytes;
    case TEV2X_TRUE:
        return FillWords;
    default:
        return nullptr;
    }
}

} // namespace

Fill *FillNull2XCreate(void *, XcImage *ximage, const uint32_t *options, int mask)
{
    Fill *fill = Fill_CreateWithData(sizeof(FillNull2XData));
    if (!fill)
        return nullptr;
    static_cast<FillNull2XData *>(fill->data)->ximage = ximage;
    FillNull2XSetOptions(fill, options, mask);
    fill->fill = Null2XFunction(ximage);
    return fill;
}

void FillNull2XDestroy(Fill *filler)
{
    Fill_DestroyWithData(filler);
}

void FillNull2XSetOptions(Fill *filler, const uint32_t *options, int mask)
{
    if (options && (mask & FN2X_PIXEL))
        FillNull2XSetPixel(filler, options[0]);
}

void FillNull2XSetPixel(Fill *filler, uint32_t pixel)
{
    static_cast<FillNull2XData *>(filler->data)->pixel = pixel;
}
