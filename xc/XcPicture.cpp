#include "xc/XcPictureP.h"

#include "xc/PSel.h"
#include "xc/PWorkProc.h"

#include "brush/Clock.h"
#include "xc/Cms.h"
#include "xc/FillTev2X.h"
#include "xc/Visual.h"
#include "xc/XcImage.h"

#include <X11/extensions/XShm.h>
#include <Xm/DrawP.h>
#include <Xm/PrimitiveP.h>
#include <Xm/XmP.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

// ---------------------------------------------------------------------------
// Speed evaluation arithmetic, on plain records.

int PictureKps_Add(PictureKps *k, int32_t interval, int32_t size, int32_t width, int32_t height, int32_t ms)
{
    const int64_t area = int64_t(width) * height;
    if (area < 1000 || width < 11 || height < 11 || ms == 0)
        return KPS_IGNORED;
    while (!k->samples.empty() && (k->timeSum >= interval || k->areaSum >= size)) {
        k->areaSum -= k->samples.front().first;
        k->timeSum -= k->samples.front().second;
        k->samples.pop_front();
    }
    const int32_t a = int32_t(std::min<int64_t>(area, INT32_MAX / 2));
    k->samples.emplace_back(a, ms);
    k->areaSum += a;
    k->timeSum += ms;
    if (k->timeSum < interval && k->areaSum < size)
        return KPS_DISCARDED;
    k->kps = k->areaSum / k->timeSum;
    return KPS_NEW;
}

void PictureKps_Reset(PictureKps *k)
{
    k->samples.clear();
    k->areaSum = k->timeSum = 0;
}

int32_t NextKps(int32_t kps, int32_t prec)
{
    const int64_t p = prec;
    return int32_t(((p + 1) * (p + 1) - 1) * kps / (p * p));
}

int32_t PrevKps(int32_t kps, int32_t prec)
{
    if (prec <= 1)
        return 0;
    const int64_t p = prec;
    return int32_t((p - 1) * (p - 1) * kps / (p * p - 1));
}

namespace
{
int32_t StepDown(int32_t t, int32_t p, int32_t k, int32_t *predicted)
{
    int32_t prev = PrevKps(k, p);
    for (;;) {
        *predicted = k;
        if (t >= prev && (k - t < t - prev || p < 2))
            break;
        k = prev;
        --p;
        prev = PrevKps(prev, p);
    }
    return std::max(p, 1);
}

// The walk cannot end past the worst precision, so it stops there; a slow
// speed that truncation keeps from growing would otherwise never end it.
int32_t StepUp(int32_t t, int32_t p, int32_t k, int32_t worst, int32_t *predicted)
{
    int32_t next = NextKps(k, p);
    for (;;) {
        *predicted = k;
        if ((t <= next && t - k < next - t) || p >= worst)
            break;
        k = next;
        ++p;
        next = NextKps(next, p);
    }
    return std::min(p, worst);
}
} // namespace

int32_t PictureKps_ChoosePrec(int32_t target, int32_t prec, int32_t kps, int32_t worst, int32_t *predicted)
{
    int32_t unused;
    if (!predicted)
        predicted = &unused;
    if (target < kps)
        return StepDown(target, prec, kps, predicted);
    return StepUp(target, prec, kps, worst, predicted);
}

int32_t PictureKps_Target(int32_t wanted, int32_t displayKps, int *pinned)
{
    *pinned = wanted > displayKps / 2;
    if (*pinned)
        return displayKps;
    return int32_t(int64_t(wanted) * displayKps / (displayKps - wanted));
}

namespace
{
const Pixel kNoPixel = ~Pixel(0);

// ---------------------------------------------------------------------------
// Small helpers.

bool Same(const Box &a, const Box &b)
{
    return a.x1 == b.x1 && a.y1 == b.y1 && a.x2 == b.x2 && a.y2 == b.y2;
}

Box Empty()
{
    return Box{0, 0, -1, -1, 0, 0, 0};
}

bool Virtual(const Pic *p)
{
    return p->picture.virtualWidth && p->picture.virtualHeight;
}

// The widget, or null when it is not a live picture widget.
Pic *Live(Widget w)
{
    if (!w || !XtIsSubclass(w, xcPictureWidgetClass))
        return nullptr;
    Pic *p = reinterpret_cast<Pic *>(w);
    return p->picture.st.destroyed ? nullptr : p;
}

void CallAreaChanged(Pic *p)
{
    XcPicturePart &c = p->picture;
    if (!HasWindow(p))
        return;
    XcPictureAreaCallbackStruct data{XC_PICTURE_AREA_CHANGED, BoxDup(&c.st.shownArea)};
    XtCallCallbackList(reinterpret_cast<Widget>(p), c.areaChanged, &data);
    BoxFree(data.area);
}

void CallZoomChanged(Pic *p)
{
    XcPicturePart &c = p->picture;
    if (!HasWindow(p))
        return;
    XcPictureZoomCallbackStruct data{XC_PICTURE_ZOOM_CHANGED, c.st.zoomX.num, c.st.zoomX.den, c.st.zoomY.num,
                                     c.st.zoomY.den};
    XtCallCallbackList(reinterpret_cast<Widget>(p), c.zoomChanged, &data);
}

} // namespace

// Selections drawn over a rectangle just repainted into the X image, or
// just copied to the window.
void RedrawImageSelections(Pic *p, const Box *box)
{
    if (p->picture.st.noSelection)
        return;
    _PictureDrawSelection(p, box, 2, 2);
    _PictureDrawSelection(p, box, 2, 1);
}

void RedrawWindowSelections(Pic *p, const Box *box)
{
    if (p->picture.st.noSelection)
        return;
    _PictureDrawSelection(p, box, 1, 2);
    _PictureDrawSelection(p, box, 1, 1);
}

// ---------------------------------------------------------------------------
// Speed evaluation on the widget.

void EvalDisplayKps(Pic *p, int width, int height, int ms)
{
    XcPicturePart &c = p->picture;
    PictureEval *e = c.st.eval;
    if (!e)
        return;
    int r = PictureKps_Add(&e->display, c.displayEvalInterval, c.displayEvalSize, width, height, ms);
    if (r == KPS_DISCARDED && c.debugEval)
        std::fprintf(stderr, "EVALUATION OF DISPLAY : Discarded\n");
    if (r == KPS_NEW && c.debugEval)
        std::fprintf(stderr, "NEW EVALUATION OF DISPLAY : %d kps BASED ON %d, %d\n", e->display.kps,
                     e->display.areaSum, e->display.timeSum);
}

// Fed by the timed preview paints.
void EvalPreviewKps(Pic *p, int width, int height, int ms)
{
    XcPicturePart &c = p->picture;
    PictureEval *e = c.st.eval;
    if (!e)
        return;
    int r = PictureKps_Add(&e->preview, c.previewEvalInterval, c.previewEvalSize, width, height, ms);
    if (r == KPS_DISCARDED && c.debugEval)
        std::fprintf(stderr, "EVALUATION OF PREVIEW : Discarded\n");
    if (r != KPS_NEW)
        return;
    e->previewFresh = 1;
    if (c.debugEval)
        std::fprintf(stderr, "NEW EVALUATION OF PREVIEW : %d kps BASED ON %d, %d\n", e->preview.kps,
                     e->preview.areaSum, e->preview.timeSum);
}

static void ResetPreviewEval(Pic *p)
{
    if (PictureEval *e = p->picture.st.eval) {
        PictureKps_Reset(&e->preview);
        e->previewFresh = 0;
    }
}

int64_t PicturePixels(const Pic *p)
{
    const Box &a = p->picture.st.picture;
    return int64_t(std::max(a.width, 0)) * std::max(a.height, 0);
}

static void ComputeWanted(Pic *p)
{
    if (PictureEval *e = p->picture.st.eval)
        e->wantedKps = int32_t(PicturePixels(p) * p->picture.previewRate / 1000);
}

// The eval windows follow the picture size.
static void FollowPictureSize(Pic *p)
{
    const int64_t three = 3 * PicturePixels(p);
    p->picture.displayEvalSize = int(std::min<int64_t>(three, 1000000));
    p->picture.previewEvalSize = int(std::min<int64_t>(three, 500000));
    ComputeWanted(p);
}

static void SetPreviewPrec(Pic *p, int prec)
{
    XcPicturePart &c = p->picture;
    c.previewPrec = c.st.previewPrecX = c.st.previewPrecY = prec;
}

// Picks the preview precision at which preview plus copy keeps up with the
// wanted speed.
void _PictureAdaptPreview(Pic *p, const Box *box)
{
    XcPicturePart &c = p->picture;
    PictureEval *e = c.st.eval;
    if (!e || !e->display.kps || !e->preview.kps || !e->previewFresh)
        return;
    if (int64_t(box->width) * box->height < 1000 || box->width < 11 || box->height < 11)
        return;
    const int32_t d = e->display.kps, v = e->preview.kps;
    if (c.debugEval)
        std::fprintf(stderr, "Wanted kps : %d   Current_kps = %d  Display kps : %d   Preview kps : %d\n",
                     e->wantedKps, int32_t(int64_t(d) * v / (int64_t(d) + v)), d, v);
    int pinned = 0;
    const int32_t t = PictureKps_Target(e->wantedKps, d, &pinned);
    if (c.debugEval) {
        if (pinned)
            std::fprintf(stderr, "Wanted_kps too high. aligning preview to display\n");
        std::fprintf(stderr, "must upgrade preview kps to %d\n", t);
    }
    int32_t predicted = 0;
    const int32_t prec = PictureKps_ChoosePrec(t, c.previewPrec, v, c.previewPrecWorst, &predicted);
    if (prec == c.previewPrec) {
        if (c.debugEval)
            std::fprintf(stderr, "PREVIEW STABLIZED TO %d\n", c.previewPrec);
        return;
    }
    if (c.debugEval)
        std::fprintf(stderr, "UPDATING PREVIEW PRECISION TO %d .. Waited kps : %d\n", prec, predicted);
    SetPreviewPrec(p, prec);
    ResetPreviewEval(p);
}

// ---------------------------------------------------------------------------
// Shared-memory completion events.

// Fetched once for the process; 0 without the extension.
static int ShmEventBase(Display *dpy)
{
    static int base = -1;
    if (base < 0)
        base = XShmQueryExtension(dpy) ? XShmGetEventBase(dpy) : 0;
    return base;
}

int CompletionType(Display *dpy)
{
    return ShmEventBase(dpy) + ShmCompletion;
}

namespace
{
void InvalidateHeld(Pic *p, const Box *box)
{
    Flag hold(p->picture.st.hold, 1);
    _PictureInvalidate(p, box);
}

// ---------------------------------------------------------------------------
// Colours, fillers and GCs.

uint32_t Swap32(uint32_t v)
{
    return __builtin_bswap32(v);
}

// The window background as a colour both ways, registered with the context.
FillPixel BackgroundPixel(Pic *p)
{
    XcPicturePart &c = p->picture;
    FillPixel f{0, 0, 0, uint32_t(p->core.background_pixel)};
    const XcVisual *v = c.xcVisual;
    if (v->c_class == TrueColor || v->c_class == DirectColor) {
        const uint32_t word = c.cms->allocated ? Swap32(f.pixel) : f.pixel;
        uint8_t comp[3];
        f.pixel = 0;
        for (int ch = 0; ch < 3; ++ch) {
            comp[ch] = uint8_t((word & uint32_t(c.cms->levels[ch])) >> c.cms->cubeStart[ch]);
            f.pixel |= uint32_t(comp[ch]) << c.cms->cubeStart[ch];
        }
        f.red = comp[0], f.green = comp[1], f.blue = comp[2];
    } else if (v->c_class == PseudoColor || v->c_class == GrayScale || v->c_class == StaticGray) {
        XColor x{};
        x.pixel = f.pixel;
        XQueryColor(v->display, v->colormap, &x);
        f.red = uint8_t(x.red >> 8), f.green = uint8_t(x.green >> 8), f.blue = uint8_t(x.blue >> 8);
    }
    XcCmsAddPixel(c.cms, f.pixel);
    return f;
}

// The cursor colour for the X fillers.
FillPixel ColourPixel(const Pic *p, const ColorValue &v)
{
    int r = 0, g = 0, b = 0;
    if (v.mode == COLOR_GRAY)
        r = g = b = v.grey;
    else if (v.mode == COLOR_RGB)
        r = v.red, g = v.green, b = v.blue;
    else if (v.mode == COLOR_CMYK) {
        r = std::max(0, 255 - (v.cyan + v.black));
        g = std::max(0, 255 - (v.magenta + v.black));
        b = std::max(0, 255 - (v.yellow + v.black));
    }
    r = std::clamp(r, 0, 255), g = std::clamp(g, 0, 255), b = std::clamp(b, 0, 255);
    FillPixel f{uint8_t(r), uint8_t(g), uint8_t(b), 0};
    const XcCms *cms = p->picture.cms;
    const int cls = p->picture.xcVisual->c_class;
    if (cls == TrueColor || cls == DirectColor)
        f.pixel = uint32_t(r) << cms->cubeStart[0] | uint32_t(g) << cms->cubeStart[1] |
                  uint32_t(b) << cms->cubeStart[2];
    return f;
}

void DestroyCursorFiller(Pic *p)
{
    PictureCursor &k = p->picture.st.cursor;
    if (k.view)
        ViewSetFiller(k.view, nullptr);
    if (k.filler)
        FillTev2XDestroy(k.filler);
    k.filler = nullptr;
}

void MakeCursorFiller(Pic *p)
{
    XcPicturePart &c = p->picture;
    PictureCursor &k = c.st.cursor;
    DestroyCursorFiller(p);
    if (!k.image || !c.st.ximage)
        return;
    FillTev2XOptions o{};
    o.bgPixel = BackgroundPixel(p);
    o.blend = k.depth == 1;
    o.fgPixel = ColourPixel(p, k.colour);
    o.floating = k.floating;
    o.mask = k.mask;
    o.maskPlane = 0;
    k.filler = FillTev2XCreate(k.image, c.st.ximage, &o,
                               FT2X_BGPIXEL | FT2X_BLEND | FT2X_FGPIXEL | FT2X_FLOATING | FT2X_MASK);
    if (k.view)
        ViewSetFiller(k.view, k.filler);
}

void DestroyFillers(Pic *p)
{
    PictureState &s = p->picture.st;
    if (s.view) {
        ViewSetFiller(s.view, nullptr);
        ViewSetBgFiller(s.view, nullptr);
    }
    if (s.virtualView)
        ViewSetFiller(s.virtualView, nullptr);
    if (s.imageFiller && s.imageFiller != s.nomansFiller)
        FillTev2XDestroy(s.imageFiller);
    if (s.nomansFiller)
        FillNull2XDestroy(s.nomansFiller);
    FillDestroy(s.relay);
    s.imageFiller = s.nomansFiller = s.relay = nullptr;
    DestroyCursorFiller(p);
}

// The image filler reached through the virtual view.
void RelayFill(View *, void *data, Box *box)
{
    PictureState &s = static_cast<Pic *>(data)->picture.st;
    if (s.imageFiller && s.virtualView)
        s.imageFiller->fill(s.virtualView, s.imageFiller->data, box);
}

void MakeImageFiller(Pic *p, const FillPixel &bg)
{
    XcPicturePart &c = p->picture;
    PictureState &s = c.st;
    FillTev2XOptions o{};
    o.bgPixel = bg;
    o.noSrcAlpha = !c.alpha;
    o.plane = c.plane;
    s.imageFiller = FillTev2XCreate(c.image, s.ximage, &o, FT2X_BGPIXEL | FT2X_NOSRCALPHA | FT2X_PLANE);
    if (s.imageFiller && c.maskImage)
        FillTev2XSetMask(s.imageFiller, c.maskImage, 0);
    if (!Virtual(p) || !s.imageFiller) {
        ViewSetFiller(s.view, s.imageFiller);
        return;
    }
    s.relay = FillCreate();
    if (s.relay) {
        s.relay->fill = RelayFill;
        s.relay->data = p;
    }
    ViewSetFiller(s.view, s.relay);
    if (s.virtualView)
        ViewSetFiller(s.virtualView, s.imageFiller);
}

// Rebuilt whenever the image, the X image or the virtual mode changes.
void MakeFillers(Pic *p)
{
    XcPicturePart &c = p->picture;
    PictureState &s = c.st;
    DestroyFillers(p);
    if (!s.ximage)
        return;
    const FillPixel bg = BackgroundPixel(p);
    const uint32_t pixel = bg.pixel;
    s.nomansFiller = FillNull2XCreate(nullptr, s.ximage, &pixel, FN2X_PIXEL);
    ViewSetBgFiller(s.view, s.nomansFiller);
    if (c.image)
        MakeImageFiller(p, bg);
    else {
        s.imageFiller = s.nomansFiller;
        ViewSetFiller(s.view, s.nomansFiller);
    }
    MakeCursorFiller(p);
}

GC PixelGC(Pic *p, Pixel pixel)
{
    XGCValues v;
    v.foreground = pixel;
    return XtGetGC(reinterpret_cast<Widget>(p), GCForeground, &v);
}

void ReleaseGC(Pic *p, GC *gc)
{
    if (*gc)
        XtReleaseGC(reinterpret_cast<Widget>(p), *gc);
    *gc = nullptr;
}

void MakeBorderGCs(Pic *p)
{
    XcPicturePart &c = p->picture;
    ReleaseGC(p, &c.st.marginGC);
    ReleaseGC(p, &c.st.selectionGC);
    c.st.marginGC = PixelGC(p, c.marginColor == kNoPixel ? p->core.background_pixel : c.marginColor);
    c.st.selectionGC = PixelGC(p, c.selectionPixel == kNoPixel ? XcCmsGetColor(c.cms, 4) : c.selectionPixel);
}

// ---------------------------------------------------------------------------
// Geometry.

void ComputeBorder(Pic *p)
{
    XcPicturePart &c = p->picture;
    const int extra = p->primitive.shadow_thickness + p->primitive.highlight_thickness;
    c.st.borderX = c.marginWidth + extra;
    c.st.borderY = c.marginHeight + extra;
}

// A border of half the window or more is dropped on that axis.
void ComputePictureArea(Pic *p)
{
    PictureState &s = p->picture.st;
    const int w = p->core.width, h = p->core.height;
    const int bx = 2 * s.borderX >= w ? 0 : s.borderX;
    const int by = 2 * s.borderY >= h ? 0 : s.borderY;
    s.picture = Box_Rect(bx, by, w - 2 * bx, h - 2 * by);
}

void ComputeMainArea(Pic *p)
{
    XcPicturePart &c = p->picture;
    c.st.mainArea = c.srcMainArea ? *c.srcMainArea : Box_OfImage(c.image);
}

void ComputeVirtualArea(Pic *p)
{
    XcPicturePart &c = p->picture;
    if (Virtual(p))
        c.st.virtualArea = Box_Rect(0, 0, c.virtualWidth, c.virtualHeight);
    else if (c.image)
        c.st.virtualArea = c.st.mainArea;
    else
        c.st.virtualArea = c.st.picture;
}

void ComputeShownArea(Pic *p)
{
    XcPicturePart &c = p->picture;
    c.st.shownArea = c.srcArea && c.mode != 1 ? *c.srcArea : c.st.virtualArea;
}

void MapShownArea(Pic *p)
{
    PictureState &s = p->picture.st;
    ViewSetMap(s.view, &s.shownArea, &s.picture);
}

void MakeVirtualView(Pic *p)
{
    PictureState &s = p->picture.st;
    if (s.virtualView || !p->picture.image)
        return;
    ViewOptions o{};
    o.dstRef = &s.whole;
    s.virtualView = NViewCreate(&s.mainArea, &s.picture, nullptr, nullptr, &o, VIEW_MAP);
    if (s.virtualView && s.imageFiller && s.relay)
        ViewSetFiller(s.virtualView, s.imageFiller);
}

// The concrete cursor view follows the main view.
void UpdateCursorViews(Pic *p)
{
    PictureState &s = p->picture.st;
    PictureCursor &k = s.cursor;
    if (!k.image || !k.view)
        return;
    Box *d = ViewSrcToDstBox(s.view, &k.area);
    if (!d)
        return;
    if (BoxEmpty(d))
        *d = Box_Rect(d->x1, d->y1, 1, 1);
    k.winArea = *d;
    BoxFree(d);
    ViewSetMap(k.view, nullptr, &k.winArea);
    k.dst = k.view->imageArea;
}

// ---------------------------------------------------------------------------
// The view callback: which of the mapping's results changed.

void ViewCB(View *, void *data, ViewInfo *info)
{
    Pic *p = static_cast<Pic *>(data);
    PictureState &s = p->picture.st;
    Trace trace(p, "ViewCB");
    if (info->numX != s.zoomX.num || info->denX != s.zoomX.den || info->numY != s.zoomY.num ||
        info->denY != s.zoomY.den) {
        s.zoomX = {info->numX, info->denX};
        s.zoomY = {info->numY, info->denY};
        CallZoomChanged(p);
    }
    if (!Same(info->visibleSrc, s.shownArea)) {
        s.shownArea = info->visibleSrc;
        CallAreaChanged(p);
        UpdateCursorViews(p);
    }
    if (!Same(info->imageArea, s.visible) || info->imageArea.width != s.visible.width) {
        s.visible = info->imageArea;
        if (p->picture.image && p->picture.workProc && HasWindow(p))
            _PictureClipWorkProcList(p);
        FollowPictureSize(p);
    }
    if (!Same(info->srcExtent, s.whole)) {
        s.whole = info->srcExtent;
        if (Virtual(p) && p->picture.image) {
            MakeVirtualView(p);
            if (s.virtualView)
                ViewSetMap(s.virtualView, nullptr, &s.whole);
        }
    }
    _PictureRulersFollow(p);
}

// ---------------------------------------------------------------------------
// Border.

void DrawMargins(Pic *p)
{
    XcPicturePart &c = p->picture;
    Display *dpy = Dpy(p);
    const int s = p->primitive.shadow_thickness + p->primitive.highlight_thickness;
    const int w = p->core.width - 2 * s, h = p->core.height - 2 * s;
    if (w <= 0 || h <= 0)
        return;
    const Window win = p->core.window;
    if (c.marginHeight > 0) {
        XFillRectangle(dpy, win, c.st.marginGC, s, s, unsigned(w), unsigned(c.marginHeight));
        XFillRectangle(dpy, win, c.st.marginGC, s, s + h - c.marginHeight, unsigned(w),
                       unsigned(c.marginHeight));
    }
    if (c.marginWidth > 0) {
        XFillRectangle(dpy, win, c.st.marginGC, s, s, unsigned(c.marginWidth), unsigned(h));
        XFillRectangle(dpy, win, c.st.marginGC, s + w - c.marginWidth, s, unsigned(c.marginWidth),
                       unsigned(h));
    }
}

void DrawShadow(Pic *p)
{
    XcPicturePart &c = p->picture;
    GC top = p->primitive.top_shadow_GC, bottom = p->primitive.bottom_shadow_GC;
    if (c.selectionState == 1)
        bottom = c.st.selectionGC;
    else if (c.selectionState == 2)
        top = bottom = c.st.selectionGC;
    else if (c.selectionState != 0)
        return;
    const int ht = p->primitive.highlight_thickness;
    const int w = p->core.width - 2 * ht, h = p->core.height - 2 * ht;
    if (w > 0 && h > 0)
        XmeDrawShadows(Dpy(p), p->core.window, top, bottom, Position(ht), Position(ht), Dimension(w),
                       Dimension(h), p->primitive.shadow_thickness, c.shadowType);
}

} // namespace

void _PictureDrawBorder(Pic *p)
{
    if (!HasWindow(p))
        return;
    DrawMargins(p);
    DrawShadow(p);
    const Dimension ht = p->primitive.highlight_thickness;
    if (p->primitive.highlighted)
        XmeDrawHighlight(Dpy(p), p->core.window, p->primitive.highlight_GC, 0, 0, p->core.width,
                         p->core.height, ht);
    else if (ht)
        XmeClearBorder(Dpy(p), p->core.window, 0, 0, p->core.width, p->core.height, ht);
}

namespace
{

void _PictureUnhighlightBorder(Widget w)
{
    Pic *p = reinterpret_cast<Pic *>(w);
    p->primitive.highlighted = False;
    p->primitive.highlight_drawn = False;
    if (HasWindow(p) && p->primitive.highlight_thickness)
        XmeClearBorder(Dpy(p), p->core.window, 0, 0, p->core.width, p->core.height,
                       p->primitive.highlight_thickness);
}

// ---------------------------------------------------------------------------
// Cursor image.

// Repaints the change from the old to the new cursor box, untimed.
void RepaintCursorChange(Pic *p, const Box &old, const Box &now)
{
    Flag untimed(p->picture.st.noTiming, 1);
    const bool oe = BoxEmpty(&old), ne = BoxEmpty(&now);
    if (oe || ne) {
        if (!oe || !ne)
            _PictureInvalidate(p, oe ? &now : &old);
        return;
    }
    if (Box_Countain(&now, &old) == 0) {
        _PictureInvalidate(p, &old);
        _PictureInvalidate(p, &now);
        return;
    }
    if (Box_Countain(&now, &old) == 2 || Box_Countain(&old, &now) == 2) {
        _PictureInvalidate(p, Box_Countain(&now, &old) == 2 ? &now : &old);
        return;
    }
    {
        Flag hold(p->picture.st.hold, 1);
        _PictureInvalidate(p, &now);
        if (List *rest = Box_Remove(&old, &now)) {
            for (ListNode *n = rest->first; n; n = n->next)
                _PictureInvalidate(p, static_cast<Box *>(n->element));
            Box_DestroyList(rest);
        }
    }
    Box u;
    if (Box_Contig(&old, &now, 0.3)) {
        Box_Union(&u, &old, &now);
        _PictureRefreshBox(p, &u);
    } else {
        _PictureRefreshBox(p, &old);
        _PictureRefreshBox(p, &now);
    }
}

void DestroyCursorViews(PictureCursor &k)
{
    if (k.abstract)
        ViewDestroy(k.abstract);
    if (k.view)
        ViewDestroy(k.view);
    k.abstract = k.view = nullptr;
}

void BuildCursorViews(Pic *p)
{
    PictureState &s = p->picture.st;
    PictureCursor &k = s.cursor;
    DestroyCursorViews(k);
    ViewOptions o{};
    o.dstRef = &k.area;
    k.abstract = NViewCreate(&k.srcArea, &k.area, nullptr, nullptr, &o, VIEW_MAP);
    k.winArea = Box_Rect(0, 0, 1, 1);
    o.dstRef = &k.winArea;
    k.view = NViewCreate(&k.srcArea, &s.picture, nullptr, k.filler, &o, VIEW_MAP);
    k.dst = Empty();
    UpdateCursorViews(p);
}

// ---------------------------------------------------------------------------
// Virtual space and image changes.

void SetVirtual(Pic *p, int width, int height, bool replace, Image *image)
{
    XcPicturePart &c = p->picture;
    PictureState &s = c.st;
    _PictureKillWorkProcList(p); // the whole picture is repainted below
    c.virtualWidth = width;
    c.virtualHeight = height;
    s.virtualArea = Box_Rect(0, 0, width, height);
    if (replace) {
        c.image = image;
        s.mainArea = Box_OfImage(image);
        if (s.virtualView)
            ViewSetSrc(s.virtualView, &s.mainArea);
    }
    MakeVirtualView(p);
    ViewSetSrc(s.view, &s.virtualArea);
    if (HasWindow(p))
        MakeFillers(p);
    s.shownArea = s.virtualArea;
    MapShownArea(p);
    if (s.virtualView)
        ViewSetMap(s.virtualView, nullptr, &s.whole);
    _PictureInvalidate(p, nullptr);
}

// ---------------------------------------------------------------------------
// Methods.

void ClampResources(XcPicturePart &c)
{
    c.workProcPrec = std::max(c.workProcPrec, 1);
    c.workProcTimeOut = std::max(c.workProcTimeOut, 0);
    c.previewPrec = std::max(c.previewPrec, 1);
    c.previewPrecWorst = std::max(c.previewPrecWorst, 1);
    c.previewRate = std::max(c.previewRate, 1);
    if (c.mode != 1 && c.mode != 2)
        c.mode = 1;
}

// Shared memory only for a display on this host.
void CheckShared(Pic *p)
{
    XcPicturePart &c = p->picture;
    if (!c.share)
        return;
    std::string host = DisplayString(Dpy(p));
    host = host.substr(0, host.find(':'));
    char name[256] = "";
    gethostname(name, sizeof name - 1);
    // An empty host name is the local display too.
    if (!host.empty() && host != name && host != "shm" && host != "local")
        c.share = 0;
    if (ShmEventBase(Dpy(p)) <= 0)
        c.share = 0;
    if (c.debugTrace > 0)
        std::fprintf(stderr, "XcPicture : Completion Type = %d\n", CompletionType(Dpy(p)));
}

bool MakeMainView(Pic *p)
{
    XcPicturePart &c = p->picture;
    PictureState &s = c.st;
    ViewOptions o{};
    o.callback = ViewCB;
    o.callbackData = p;
    o.zoomModeX = o.zoomModeY = VIEW_ANCHOR_CENTRE;
    o.ratioKeep = c.keepRatio;
    s.view = NViewCreate(&s.virtualArea, &s.picture, nullptr, nullptr, &o,
                         VIEW_CALLBACK | VIEW_ZOOMMODE | VIEW_RATIOMODE);
    if (!s.view)
        return false;
    ViewSetDebugLevel(s.view, c.debugLevel);
    if (c.debugLevel)
        Box_SetDebugLevel(c.debugLevel);
    ComputeShownArea(p);
    MapShownArea(p);
    if (Virtual(p))
        MakeVirtualView(p);
    return true;
}

void Initialize(Widget rw, Widget nw, ArgList, Cardinal *)
{
    Pic *p = reinterpret_cast<Pic *>(nw);
    XcPicturePart &c = p->picture;
    std::memset(&c.st, 0, sizeof c.st);
    c.st.crossX = c.st.crossY = -1;
    Trace trace(p, "Initialize");
    if (!c.xcVisual || !XcCheckVisual(c.xcVisual)) {
        c.st.destroyed = 1;
        return;
    }
    ClampResources(c);
    if (!c.cms) {
        c.cms = XcCmsOpen(c.xcVisual);
        if (!c.cms) {
            c.st.destroyed = 1;
            return;
        }
        c.st.ownsCms = 1;
    }
    CheckShared(p);
    for (auto [size, margin] :
         {std::pair{&p->core.width, c.marginWidth}, {&p->core.height, c.marginHeight}}) {
        if (*size == 0)
            *size = Dimension(std::max(margin, 0));
        if (*size == 0)
            *size = 1;
    }
    ComputeBorder(p);
    MakeBorderGCs(p);
    XGCValues v;
    v.graphics_exposures = True;
    c.st.gc = XtGetGC(nw, GCGraphicsExposures, &v);
    _PictureReinitSelection(p, c.selectionList);
    _PictureInitRulerPart(p);
    const Pic *req = reinterpret_cast<Pic *>(rw);
    if (c.trueSize && req->core.width)
        p->core.width = Dimension(p->core.width + 2 * c.st.borderX);
    if (c.trueSize && req->core.height)
        p->core.height = Dimension(p->core.height + 2 * c.st.borderY);
    c.st.workPrecX = c.st.workPrecY = c.workProcPrec;
    c.st.previewPrecX = c.st.previewPrecY = c.previewPrec;
    c.st.eval = new (std::nothrow) PictureEval;
    c.st.workProcs = List_New();
    ComputePictureArea(p);
    ComputeMainArea(p);
    ComputeVirtualArea(p);
    if (!c.st.eval || !c.st.workProcs || !MakeMainView(p))
        c.st.destroyed = 1;
    c.srcMainArea = nullptr;
    c.srcArea = nullptr;
}

void Realize(Widget w, XtValueMask *mask, XSetWindowAttributes *attrs)
{
    Pic *p = reinterpret_cast<Pic *>(w);
    XcPicturePart &c = p->picture;
    attrs->bit_gravity = c.mode == 2 ? NorthWestGravity : ForgetGravity;
    *mask |= CWBitGravity;
    if (DoesBackingStore(p->core.screen) != NotUseful) {
        attrs->backing_store = Always;
        *mask |= CWBackingStore;
    }
    Visual *visual = CopyFromParent;
    if (c.xcVisual && c.xcVisual->depth == int(p->core.depth) && c.xcVisual->colormap == p->core.colormap)
        visual = c.xcVisual->visual;
    XtCreateWindow(w, InputOutput, visual, *mask, attrs);
    if (c.st.destroyed)
        return;
    Trace trace(p, "Realize");
    if (c.debugTrace > 1)
        std::fprintf(stderr, "\tdimensions: width = %d, height = %d\n", p->core.width, p->core.height);
    int shm = c.share != 0;
    c.st.ximage = XcImage_Create(c.xcVisual, c.cms, p->core.width, p->core.height, &shm);
    if (!c.st.ximage)
        return;
    if (!shm)
        c.share = 0;
    MakeFillers(p);
    _PictureRulersFollow(p);
    if (c.workProc && !c.preview && c.image && c.st.nomansFiller) {
        Box all = Box_Rect(0, 0, p->core.width, p->core.height);
        c.st.nomansFiller->fill(c.st.view, c.st.nomansFiller->data, &all);
    }
    InvalidateHeld(p, nullptr);
    CallZoomChanged(p);
    CallAreaChanged(p);
    XInstallColormap(Dpy(p), c.xcVisual->colormap);
}

void Destroy(Widget w)
{
    Pic *p = reinterpret_cast<Pic *>(w);
    XcPicturePart &c = p->picture;
    PictureState &s = c.st;
    _PictureKillWorkProcList(p);
    if (s.workProcs)
        List_Destroy(s.workProcs, nullptr);
    s.workProcs = nullptr;
    DestroyFillers(p);
    DestroyCursorViews(s.cursor);
    if (s.virtualView)
        ViewDestroy(s.virtualView);
    if (s.view)
        ViewDestroy(s.view);
    s.view = s.virtualView = nullptr;
    if (s.ximage)
        XcImage_Destroy(s.ximage);
    s.ximage = nullptr;
    if (s.ownsCms && c.cms)
        XcCmsClose(c.cms);
    s.ownsCms = 0;
    ReleaseGC(p, &s.gc);
    ReleaseGC(p, &s.marginGC);
    ReleaseGC(p, &s.selectionGC);
    _PictureDestroySelectionList(p);
    delete s.eval;
    s.eval = nullptr;
    XtRemoveAllCallbacks(w, const_cast<String>(XcNareaChangedCallback));
    XtRemoveAllCallbacks(w, const_cast<String>(XcNzoomChangedCallback));
    s.destroyed = 1;
}

// A size change keeps the shown area (mode 1) or the zoom and the old
// pixels (mode 2).
void ResizeImage(Pic *p, const Box &oldArea)
{
    XcPicturePart &c = p->picture;
    PictureState &s = c.st;
    int shm = c.share != 0;
    XcImage *xi = s.ximage;
    if (c.mode == 2) {
        Box keep = oldArea;
        xi = XcImage_CopyAndSetDims(xi, p->core.width, p->core.height, 1, &keep, &shm);
    } else {
        xi = XcImage_SetDims(xi, p->core.width, p->core.height, &shm);
    }
    if (!xi) { // the record is gone: nothing may keep pointing at it
        s.ximage = nullptr;
        DestroyFillers(p);
        return;
    }
    s.ximage = xi;
    if (c.workProc && !c.preview && s.nomansFiller) {
        Box all = Box_Rect(0, 0, p->core.width, p->core.height);
        s.nomansFiller->fill(s.view, s.nomansFiller->data, &all);
    }
}

// Mode 2: only what the old picture area did not cover is painted; the
// old border strips that now lie inside the picture are copied back.
void RepaintGrown(Pic *p, const Box &oldArea)
{
    PictureState &s = p->picture.st;
    List *fresh = Box_Remove(&s.picture, &oldArea);
    const long n = fresh ? List_Cardinal(fresh) : 0;
    if (p->picture.debugTrace > 0) {
        if (n)
            std::fprintf(stderr, "Picture RESIZE : %ld regions to invalidate\n", n);
        else
            std::fprintf(stderr, "Picture RESIZE : NO REGION TO INVALIDATE\n");
    }
    for (ListNode *k = fresh ? fresh->first : nullptr; k; k = k->next)
        _PictureInvalidate(p, static_cast<Box *>(k->element));
    if (fresh)
        Box_DestroyList(fresh);
    if (!n)
        _PictureDrawBorder(p);
    const Box ring = Box_Rect(oldArea.x1 - s.borderX, oldArea.y1 - s.borderY, oldArea.width + 2 * s.borderX,
                              oldArea.height + 2 * s.borderY);
    if (List *strips = Box_Remove(&ring, &oldArea)) {
        for (ListNode *k = strips->first; k; k = k->next)
            _PictureRefreshBox(p, static_cast<Box *>(k->element));
        Box_DestroyList(strips);
    }
}

void Resize(Widget w)
{
    Pic *p = reinterpret_cast<Pic *>(w);
    XcPicturePart &c = p->picture;
    PictureState &s = c.st;
    if (s.destroyed)
        return;
    Trace trace(p, "Resize");
    if (c.debugTrace > 0)
        std::fprintf(stderr, "Picture RESIZE : new width = %d  new height = %d\n", p->core.width,
                     p->core.height);
    const Box oldArea = s.picture;
    ComputePictureArea(p);
    if (c.debugTrace > 0)
        std::fprintf(stderr, "Picture RESIZE : adj width = %d  adj height = %d\n", s.picture.width,
                     s.picture.height);
    if (HasWindow(p) && s.ximage) {
        ResizeImage(p, oldArea);
    } else if (HasWindow(p)) {
        // An earlier size had no X image (memory refused): try again.
        int shm = c.share != 0;
        if ((s.ximage = XcImage_Create(c.xcVisual, c.cms, p->core.width, p->core.height, &shm)))
            MakeFillers(p);
    }
    if (s.virtualView)
        ViewSetDst(s.virtualView, &s.picture);
    if (s.cursor.view)
        ViewSetDst(s.cursor.view, &s.picture);
    // The new destination alone changes what is seen; mode 1 maps what
    // was seen before onto it.
    const Box shown = s.shownArea;
    ViewSetDst(s.view, &s.picture);
    if (c.mode == 1 || !HasWindow(p)) {
        s.shownArea = shown;
        MapShownArea(p);
    }
    if (!HasWindow(p))
        return;
    if (c.mode != 2)
        InvalidateHeld(p, nullptr);
    else
        RepaintGrown(p, oldArea);
    if (c.showCrossCursor)
        _PictureDrawCross(p, nullptr);
}

// ---------------------------------------------------------------------------
// Set values, one reaction per group of resources.

// No refinement left to do: what the window shows is final.
bool DisplayComplete(const XcPicturePart &c)
{
    return (c.workProc && !List_Cardinal(c.st.workProcs)) || (!c.workProc && !c.preview) ||
           (c.preview && c.previewPrec < 2);
}

void SizeForTrueSize(const Pic *o, Pic *n)
{
    XcPicturePart &c = n->picture;
    if (!c.trueSize || (n->core.width == o->core.width && n->core.height == o->core.height))
        return;
    if (c.debugTrace > 0) {
        std::fprintf(stderr, "\tchanging dims\n");
        std::fprintf(stderr, "\tCurrent dims : %d %d\n", o->core.width, o->core.height);
        std::fprintf(stderr, "\tRequest dims : %d %d\n", n->core.width, n->core.height);
    }
    if (n->core.width != o->core.width)
        n->core.width = Dimension(n->core.width + 2 * c.st.borderX);
    if (n->core.height != o->core.height)
        n->core.height = Dimension(n->core.height + 2 * c.st.borderY);
}

// Pending work was queued for the old settings: it is dropped, and the
// picture repainted unless it was final already.
bool ReactToRefinement(const XcPicturePart &o, Pic *w)
{
    XcPicturePart &n = w->picture;
    const bool work = n.workProc != o.workProc || n.workProcPrec != o.workProcPrec;
    const bool preview = n.preview != o.preview || n.previewPrec != o.previewPrec;
    const bool repaint = (work || preview) && !DisplayComplete(o);
    if (work || preview)
        _PictureKillWorkProcList(w);
    if (work)
        n.st.workPrecX = n.st.workPrecY = n.workProcPrec;
    if (preview)
        n.st.previewPrecX = n.st.previewPrecY = n.previewPrec;
    if (n.previewPrecWorst != o.previewPrecWorst && n.previewPrecWorst < n.previewPrec)
        n.previewPrec = n.st.previewPrecX = n.st.previewPrecY = n.previewPrecWorst;
    return repaint || n.quality != o.quality;
}

bool ReactToImage(const Pic *o, Pic *n)
{
    XcPicturePart &c = n->picture;
    PictureState &s = c.st;
    if (c.image == o->picture.image && !c.srcMainArea) {
        if (!c.srcArea || c.mode == 1)
            return false;
        s.shownArea = *c.srcArea;
        MapShownArea(n);
        return true;
    }
    // Pending passes belong to the old image's places; the repaint queues
    // the new ones.
    _PictureKillWorkProcList(n);
    ComputeMainArea(n);
    if (!c.image && !Virtual(n)) {
        s.virtualArea = s.picture;
        ViewSetSrc(s.view, &s.virtualArea);
    } else if (c.image && !Virtual(n)) {
        s.virtualArea = s.mainArea;
        ViewSetSrc(s.view, &s.virtualArea);
    } else if (c.image) {
        MakeVirtualView(n);
        if (s.virtualView)
            ViewSetSrc(s.virtualView, &s.mainArea);
    }
    ComputeShownArea(n);
    MapShownArea(n);
    if (HasWindow(n))
        MakeFillers(n);
    return true;
}

void ReactToBorder(const Pic *o, Pic *n)
{
    const XcPicturePart &a = o->picture;
    XcPicturePart &c = n->picture;
    const bool colours = c.marginColor != a.marginColor || c.selectionPixel != a.selectionPixel;
    if (colours)
        MakeBorderGCs(n);
    if (colours || c.selectionState != a.selectionState)
        _PictureDrawBorder(n);
}

// Margins, shadow or highlight of another width move the picture area.
bool ReactToBorderWidths(Pic *n)
{
    PictureState &s = n->picture.st;
    const int bx = s.borderX, by = s.borderY;
    ComputeBorder(n);
    if (bx == s.borderX && by == s.borderY)
        return false;
    ComputePictureArea(n);
    ViewSetDst(s.view, &s.picture);
    if (s.virtualView)
        ViewSetDst(s.virtualView, &s.picture);
    MapShownArea(n);
    _PictureDrawBorder(n);
    return true;
}

bool GridVisible(const XcPicturePart &c)
{
    return c.showGrid && c.st.zoomX.num > 0 && c.st.zoomX.den / c.st.zoomX.num >= c.gridSpacing;
}

Boolean SetValues(Widget cw, Widget, Widget nw, ArgList, Cardinal *)
{
    const Pic *o = reinterpret_cast<Pic *>(cw);
    Pic *n = reinterpret_cast<Pic *>(nw);
    XcPicturePart &c = n->picture;
    if (c.st.destroyed)
        return False;
    Trace trace(n, "SetValues");
    ClampResources(c);
    SizeForTrueSize(o, n);
    bool repaint = ReactToRefinement(o->picture, n);
    repaint |= ReactToImage(o, n);
    c.srcMainArea = nullptr;
    c.srcArea = nullptr;
    if (c.previewRate != o->picture.previewRate)
        ComputeWanted(n);
    ReactToBorder(o, n);
    repaint |= ReactToBorderWidths(n);
    if (c.showCrossCursor != o->picture.showCrossCursor || c.verticalRuler != o->picture.verticalRuler ||
        c.horizontalRuler != o->picture.horizontalRuler) {
        if (o->picture.showCrossCursor)
            _PictureDrawCross(n, nullptr); // XOR: drawn again, it goes
        _PictureInitRulerPart(n);
        if (c.showCrossCursor)
            _PictureDrawCross(n, nullptr);
        _PictureRulersFollow(n);
    }
    if (c.selectionList != kUnchangedList)
        repaint |= _PictureReinitSelection(n, c.selectionList);
    if (!repaint && GridVisible(c) != GridVisible(o->picture))
        repaint = true;
    if (repaint)
        _PictureInvalidate(n, nullptr);
    return False;
}

// ---------------------------------------------------------------------------
// Class record.

#define S(x) const_cast<String>(x)
#define OFF(f) XtOffsetOf(XcPictureRec, picture.f)
#define IMM(v) reinterpret_cast<XtPointer>(static_cast<intptr_t>(v))

XtResource resources[] = {
    {S(XcNimage), S(XcCImage), S(XtRPointer), sizeof(Image *), OFF(image), S(XtRImmediate), nullptr},
    {S(XcNmaskImage), S(XcCMaskImage), S(XtRPointer), sizeof(Image *), OFF(maskImage), S(XtRImmediate),
     nullptr},
    {S(XcNsrcMainArea), S(XcCSrcMainArea), S(XtRPointer), sizeof(Box *), OFF(srcMainArea), S(XtRImmediate),
     nullptr},
    {S(XcNvirtualWidth), S(XcCVirtualWidth), S(XtRInt), sizeof(int), OFF(virtualWidth), S(XtRImmediate),
     IMM(0)},
    {S(XcNvirtualHeight), S(XcCVirtualHeight), S(XtRInt), sizeof(int), OFF(virtualHeight), S(XtRImmediate),
     IMM(0)},
    {S(XcNplane), S(XcCPlane), S(XtRInt), sizeof(int), OFF(plane), S(XtRImmediate), IMM(-1)},
    {S(XcNalpha), S(XcCAlpha), S(XtRBoolean), sizeof(Boolean), OFF(alpha), S(XtRImmediate), IMM(1)},
    {S(XcNsrcArea), S(XcCSrcArea), S(XtRPointer), sizeof(Box *), OFF(srcArea), S(XtRImmediate), nullptr},
    {S(XcNxcVisual), S(XcCXcVisual), S(XtRPointer), sizeof(XcVisual *), OFF(xcVisual), S(XtRImmediate),
     nullptr},
    {S(XcNcms), S(XcCCms), S(XtRPointer), sizeof(XcCms *), OFF(cms), S(XtRImmediate), nullptr},
    {S(XcNshare), S(XcCShare), S(XtRInt), sizeof(int), OFF(share), S(XtRImmediate), IMM(0)},
    {S(XcNtrueSize), S(XcCTrueSize), S(XtRBoolean), sizeof(Boolean), OFF(trueSize), S(XtRImmediate), IMM(0)},
    {S(XmNmarginWidth), S(XmCMarginWidth), S(XtRInt), sizeof(int), OFF(marginWidth), S(XtRImmediate), IMM(2)},
    {S(XmNmarginHeight), S(XmCMarginHeight), S(XtRInt), sizeof(int), OFF(marginHeight), S(XtRImmediate),
     IMM(2)},
    {S(XcNmarginColor), S(XcCMarginColor), S(XtRPixel), sizeof(Pixel), OFF(marginColor), S(XtRImmediate),
     IMM(-1)},
    {S(XmNselectColor), S(XmCSelectColor), S(XtRPixel), sizeof(Pixel), OFF(selectionPixel), S(XtRImmediate),
     IMM(-1)},
    {S(XcNselectionState), S(XcCSelectionState), S(XtRInt), sizeof(int), OFF(selectionState), S(XtRImmediate),
     IMM(0)},
    {S(XcNareaChangedCallback), S(XtCCallback), S(XtRCallback), sizeof(XtCallbackList), OFF(areaChanged),
     S(XtRCallback), nullptr},
    {S(XcNzoomChangedCallback), S(XtCCallback), S(XtRCallback), sizeof(XtCallbackList), OFF(zoomChanged),
     S(XtRCallback), nullptr},
    {S(XcNmode), S(XcCMode), S(XtRInt), sizeof(int), OFF(mode), S(XtRImmediate), IMM(1)},
    {S(XcNkeepRatio), S(XcCKeepRatio), S(XtRBoolean), sizeof(Boolean), OFF(keepRatio), S(XtRImmediate),
     IMM(1)},
    {S(XcNworkProc), S(XcCWorkProc), S(XtRInt), sizeof(int), OFF(workProc), S(XtRImmediate), IMM(1)},
    {S(XcNworkProcTimeOut), S(XcCWorkProcTimeOut), S(XtRInt), sizeof(int), OFF(workProcTimeOut),
     S(XtRImmediate), IMM(50)},
    {S(XcNworkProcPrec), S(XcCWorkProcPrec), S(XtRInt), sizeof(int), OFF(workProcPrec), S(XtRImmediate),
     IMM(3)},
    {S(XcNpreview), S(XcCPreview), S(XtRInt), sizeof(int), OFF(preview), S(XtRImmediate), IMM(1)},
    {S(XcNpreviewPrec), S(XcCPreviewPrec), S(XtRInt), sizeof(int), OFF(previewPrec), S(XtRImmediate), IMM(5)},
    {S(XcNpreviewPrecWorst), S(XcCPreviewPrec), S(XtRInt), sizeof(int), OFF(previewPrecWorst),
     S(XtRImmediate), IMM(10)},
    {S(XcNpreviewRate), S(XcCPreviewRate), S(XtRInt), sizeof(int), OFF(previewRate), S(XtRImmediate),
     IMM(100)},
    {S(XcNquality), S(XcCQuality), S(XtRInt), sizeof(int), OFF(quality), S(XtRImmediate), IMM(0)},
    {S(XmNshadowType), S(XmCShadowType), S(XmRShadowType), sizeof(unsigned char), OFF(shadowType),
     S(XtRImmediate), IMM(6)},
    {S(XmNshadowThickness), S(XmCShadowThickness), S(XmRHorizontalDimension), sizeof(Dimension),
     XtOffsetOf(XcPictureRec, primitive.shadow_thickness), S(XtRImmediate), IMM(4)},
    {S(XmNhighlightThickness), S(XmCHighlightThickness), S(XmRHorizontalDimension), sizeof(Dimension),
     XtOffsetOf(XcPictureRec, primitive.highlight_thickness), S(XtRImmediate), IMM(0)},
    {S(XcNselectionList), S(XcCSelectionList), S(XtRPointer), sizeof(XtPointer), OFF(selectionList),
     S(XtRImmediate), IMM(-1)},
    {S(XcNselectionXorDrawing), S(XcCSelectionXor), S(XtRBoolean), sizeof(Boolean), OFF(selXorDrawing),
     S(XtRImmediate), IMM(0)},
    {S(XcNselectionXorEdition), S(XcCSelectionXor), S(XtRBoolean), sizeof(Boolean), OFF(selXorEdition),
     S(XtRImmediate), IMM(1)},
    {S(XcNselectionWindowDrawing), S(XcCSelectionWindow), S(XtRBoolean), sizeof(Boolean),
     OFF(selWindowDrawing), S(XtRImmediate), IMM(0)},
    {S(XcNselectionWindowEdition), S(XcCSelectionWindow), S(XtRBoolean), sizeof(Boolean),
     OFF(selWindowEdition), S(XtRImmediate), IMM(1)},
    {S(XcNshowCrossCursor), S(XcCShowCross), S(XtRBoolean), sizeof(Boolean), OFF(showCrossCursor),
     S(XtRImmediate), IMM(0)},
    {S(XcNverticalRuler), S(XcCVerticalRuler), S(XtRPointer), sizeof(Widget), OFF(verticalRuler),
     S(XtRImmediate), nullptr},
    {S(XcNhorizontalRuler), S(XcChorizontalRuler), S(XtRPointer), sizeof(Widget), OFF(horizontalRuler),
     S(XtRImmediate), nullptr},
    {S(XcNshowGrid), S(XcCShowGrid), S(XtRBoolean), sizeof(Boolean), OFF(showGrid), S(XtRImmediate), IMM(0)},
    {S(XcNgridSpacing), S(XcCGridSpacing), S(XtRInt), sizeof(int), OFF(gridSpacing), S(XtRImmediate),
     IMM(10)},
    {S(XcNdebugLevel), S(XcCDebug), S(XtRInt), sizeof(int), OFF(debugLevel), S(XtRImmediate), IMM(0)},
    {S(XcNdebugEval), S(XcCDebug), S(XtRInt), sizeof(int), OFF(debugEval), S(XtRImmediate), IMM(0)},
    {S(XcNdebugWorkProc), S(XcCDebug), S(XtRInt), sizeof(int), OFF(debugWorkProc), S(XtRImmediate), IMM(0)},
    {S(XcNdebugTrace), S(XcCDebug), S(XtRInt), sizeof(int), OFF(debugTrace), S(XtRImmediate), IMM(0)},
    {S(XcNmoveWindow), S(XcCMoveWindow), S(XtRInt), sizeof(int), OFF(moveWindow), S(XtRImmediate), IMM(1)},
    {S(XcNdisplayEvalInterval), S(XcCEvalInterval), S(XtRInt), sizeof(int), OFF(displayEvalInterval),
     S(XtRImmediate), IMM(1000)},
    {S(XcNdisplayEvalSize), S(XcCEvalSize), S(XtRInt), sizeof(int), OFF(displayEvalSize), S(XtRImmediate),
     IMM(1000000)},
    {S(XcNpreviewEvalInterval), S(XcCEvalInterval), S(XtRInt), sizeof(int), OFF(previewEvalInterval),
     S(XtRImmediate), IMM(1000)},
    {S(XcNpreviewEvalSize), S(XcCEvalSize), S(XtRInt), sizeof(int), OFF(previewEvalSize), S(XtRImmediate),
     IMM(500000)},
};
static_assert(sizeof resources / sizeof resources[0] == 51);

XtActionsRec actions[] = {
    {S("graphics-expose"), _PictureGraphicsExposeAction},
    {S("visibility-notify"), _PictureVisibilityAction},
};

char defaultTranslations[] =
    "\t<GraphicsExpose>: graphics-expose()\t\t\n\t<VisibilityNotify>: visibility-notify()";

} // namespace

XmPrimitiveClassRec xcPictureClassRec = {
    {
        /* superclass */ reinterpret_cast<WidgetClass>(&xmPrimitiveClassRec),
        /* class_name */ S("XcPicture"),
        /* widget_size */ sizeof(XcPictureRec),
        /* class_initialize */ nullptr,
        /* class_part_initialize */ nullptr,
        /* class_inited */ False,
        /* initialize */ Initialize,
        /* initialize_hook */ nullptr,
        /* realize */ Realize,
        /* actions */ actions,
        /* num_actions */ XtNumber(actions),
        /* resources */ resources,
        /* num_resources */ XtNumber(resources),
        /* xrm_class */ NULLQUARK,
        /* compress_motion */ True,
        /* compress_exposure */ XtExposeNoCompress,
        /* compress_enterleave */ True,
        /* visible_interest */ False,
        /* destroy */ Destroy,
        /* resize */ Resize,
        /* expose */ _PictureExpose,
        /* set_values */ SetValues,
        /* set_values_hook */ nullptr,
        /* set_values_almost */ XtInheritSetValuesAlmost,
        /* get_values_hook */ nullptr,
        /* accept_focus */ nullptr,
        /* version */ XtVersion,
        /* callback_private */ nullptr,
        /* tm_table */ defaultTranslations,
        /* query_geometry */ nullptr,
        /* display_accelerator */ XtInheritDisplayAccelerator,
        /* extension */ nullptr,
    },
    {
        /* border_highlight */ XmInheritBorderHighlight,
        /* border_unhighlight */ _PictureUnhighlightBorder,
        /* translations */ XtInheritTranslations,
        /* arm_and_activate */ nullptr,
        /* syn_resources */ nullptr,
        /* num_syn_resources */ 0,
        /* extension */ nullptr,
    },
};

WidgetClass xcPictureWidgetClass = reinterpret_cast<WidgetClass>(&xcPictureClassRec);

// ---------------------------------------------------------------------------
// Public functions.

void XcPictureSetZoom(Widget w, ViewZoom zoomX, ViewZoom zoomY, int anchorX, int anchorY, int explicitAnchor)
{
    Pic *p = Live(w);
    if (!p)
        return;
    Trace trace(p, "XcPictureSetZoom");
    if (ViewSetZoom(p->picture.st.view, zoomX, zoomY, anchorX, anchorY, explicitAnchor) == 0)
        _PictureInvalidate(p, nullptr);
}

void XcPictureScroll(Widget w, int unit, int *dx, int *dy)
{
    Pic *p = Live(w);
    if (!p)
        return;
    Trace trace(p, "XcPictureScroll");
    int x = *dx, y = *dy;
    if (unit == XC_PICTURE_SOURCE)
        ViewSrcToDstV(p->picture.st.view, *dx, *dy, &x, &y);
    if (unit != XC_PICTURE_SOURCE || x)
        *dx = 0;
    if (unit != XC_PICTURE_SOURCE || y)
        *dy = 0;
    if (x || y)
        _PictureScroll(p, x, y);
}

void XcPictureConvert(Widget w, int from, int x, int y, int to, int *ox, int *oy)
{
    Pic *p = Live(w);
    if (!p)
        return;
    Trace trace(p, "XcPictureConvert", 2);
    int32_t rx = x, ry = y;
    if (from == XC_PICTURE_WINDOW && to == XC_PICTURE_SOURCE)
        ViewDstToSrc(p->picture.st.view, x, y, &rx, &ry);
    else if (from == XC_PICTURE_SOURCE && to == XC_PICTURE_WINDOW)
        ViewSrcToDstC(p->picture.st.view, x, y, &rx, &ry);
    *ox = rx;
    *oy = ry;
}

void XcPictureConvertV(Widget w, int from, int x, int y, int to, int *ox, int *oy)
{
    Pic *p = Live(w);
    if (!p)
        return;
    Trace trace(p, "XcPictureConvertV", 2);
    int32_t rx = x, ry = y;
    if (from == XC_PICTURE_WINDOW && to == XC_PICTURE_SOURCE)
        ViewDstToSrcV(p->picture.st.view, x, y, &rx, &ry);
    else if (from == XC_PICTURE_SOURCE && to == XC_PICTURE_WINDOW)
        ViewSrcToDstV(p->picture.st.view, x, y, &rx, &ry);
    *ox = rx;
    *oy = ry;
}

void XcPictureSetSrcArea(Widget w, const Box *box)
{
    Pic *p = Live(w);
    if (!p || !box)
        return;
    Trace trace(p, "XcPictureSetSrcArea");
    p->picture.st.shownArea = *box;
    MapShownArea(p);
    _PictureInvalidate(p, nullptr);
}

void XcPictureSetVirtualSize(Widget w, int width, int height)
{
    Pic *p = Live(w);
    if (!p)
        return;
    Trace trace(p, "XcPictureSetVirtualSize");
    if (!width || !height || (width == p->picture.virtualWidth && height == p->picture.virtualHeight))
        return;
    SetVirtual(p, width, height, false, nullptr);
}

void XcPictureSetVirtualSizeAndImage(Widget w, int width, int height, Image *image)
{
    Pic *p = Live(w);
    if (!p)
        return;
    Trace trace(p, "XcPictureSetVirtualSize");
    if (!width || !height ||
        (width == p->picture.virtualWidth && height == p->picture.virtualHeight && image == p->picture.image))
        return;
    SetVirtual(p, width, height, true, image);
}

void XcPictureGetRulerOrigin(Widget w, int *x, int *y)
{
    Pic *p = Live(w);
    if (!p)
        return;
    *x = p->picture.st.whole.x1;
    *y = p->picture.st.whole.y1;
}

namespace
{
void RefreshSource(Pic *p, const Box *box)
{
    if (!HasWindow(p))
        return;
    if (!box) {
        _PictureInvalidate(p, nullptr);
        return;
    }
    Box *d = ViewSrcToDstBox(p->picture.st.view, box);
    if (d && Box_SelfClip(d, &p->picture.st.picture))
        _PictureInvalidate(p, d);
    BoxFree(d);
}
} // namespace

void XcPictureRefresh(Widget w, const Box *box)
{
    Pic *p = Live(w);
    if (!p)
        return;
    Trace trace(p, "XcPictureRefresh");
    XcPicturePart &c = p->picture;
    Flag preview(c.preview, c.workProc ? 0 : c.preview);
    RefreshSource(p, box);
}

void XcPictureDirectRefresh(Widget w, const Box *box)
{
    Pic *p = Live(w);
    if (!p)
        return;
    Trace trace(p, "XcPictureRefresh");
    XcPicturePart &c = p->picture;
    Flag work(c.workProc, 0), preview(c.preview, 0), untimed(c.st.noTiming, 1);
    RefreshSource(p, box);
}

void XcPictureSetSelectionState(Widget w, int state)
{
    Pic *p = Live(w);
    if (!p || p->picture.selectionState == state)
        return;
    Trace trace(p, "XcPictureSetSelectionState");
    p->picture.selectionState = state;
    _PictureDrawBorder(p);
}

void XcPictureSetAlpha(Widget w, Boolean alpha)
{
    Pic *p = Live(w);
    if (!p || !p->picture.alpha == !alpha)
        return;
    Trace trace(p, "XcPictureSetAlpha");
    XcPicturePart &c = p->picture;
    c.alpha = alpha;
    if (!c.image || !HasWindow(p) || !c.st.imageFiller)
        return;
    FillTev2XSetNoSrcAlpha(c.st.imageFiller, !alpha);
    _PictureInvalidate(p, nullptr);
}

void XcPictureSetPlane(Widget w, int plane)
{
    Pic *p = Live(w);
    if (!p || p->picture.plane == plane)
        return;
    Trace trace(p, "XcPictureSetPlane");
    XcPicturePart &c = p->picture;
    c.plane = plane;
    if (!c.image || !HasWindow(p) || !c.st.imageFiller)
        return;
    FillTev2XSetPlane(c.st.imageFiller, plane);
    _PictureInvalidate(p, nullptr);
}

void XcPictureSetMask(Widget w, Image *mask)
{
    Pic *p = Live(w);
    if (!p)
        return;
    Trace trace(p, "XcPictureSetMask");
    XcPicturePart &c = p->picture;
    if (c.image && c.st.imageFiller)
        FillTev2XSetMask(c.st.imageFiller, mask, 0);
    c.maskImage = mask;
    _PictureInvalidate(p, nullptr);
}

void XcPictureSetCursor(Widget w, Image *image, Image *mask, int floating, const Box *area, int depth,
                        const ColorValue *colour, const Box *srcArea)
{
    Pic *p = Live(w);
    if (!p)
        return;
    Trace trace(p, "XcPictureSetCursor");
    PictureCursor &k = p->picture.st.cursor;
    const Box old = k.dst;
    if (image && area) {
        k.image = image;
        k.mask = mask;
        k.depth = depth;
        k.area = *area;
        k.floating = floating;
        k.colour = colour ? *colour : ColorValue{};
        k.srcArea = srcArea ? *srcArea : Box_OfImage(image);
        BuildCursorViews(p);
    } else {
        DestroyCursorFiller(p);
        DestroyCursorViews(k);
        k = PictureCursor{};
        k.dst = Empty();
    }
    if (!HasWindow(p))
        return;
    if (k.image)
        MakeCursorFiller(p);
    RepaintCursorChange(p, old, k.dst);
}

void XcPictureSetCursorArea(Widget w, const Box *area)
{
    Pic *p = Live(w);
    if (!p || !area)
        return;
    PictureCursor &k = p->picture.st.cursor;
    if (!k.image || Same(*area, k.area))
        return;
    Trace trace(p, "XcPictureSetCursorArea");
    const Box old = k.dst;
    k.area = *area;
    if (k.abstract)
        ViewSetMap(k.abstract, nullptr, &k.area);
    UpdateCursorViews(p);
    if (HasWindow(p))
        RepaintCursorChange(p, old, k.dst);
}

void XcPictureSetCursorDepth(Widget w, int depth)
{
    Pic *p = Live(w);
    if (!p)
        return;
    Trace trace(p, "XcPictureSetCursorDepth");
    PictureCursor &k = p->picture.st.cursor;
    k.depth = depth;
    if (k.filler)
        FillTev2XSetBlend(k.filler, depth == 1);
    Flag untimed(p->picture.st.noTiming, 1);
    if (!BoxEmpty(&k.dst))
        _PictureInvalidate(p, &k.dst);
}

void XcPictureSetCursorPixel(Widget w, const ColorValue *colour)
{
    Pic *p = Live(w);
    if (!p || !colour)
        return;
    PictureCursor &k = p->picture.st.cursor;
    if (!k.floating)
        return;
    Trace trace(p, "XcPictureSetCursorPixel");
    k.colour = *colour;
    if (k.filler) {
        const FillPixel f = ColourPixel(p, k.colour);
        FillTev2XSetFgPixel(k.filler, &f);
    }
    Flag untimed(p->picture.st.noTiming, 1);
    if (!BoxEmpty(&k.dst))
        _PictureInvalidate(p, &k.dst);
}

int XcPictureShared(Widget w)
{
    Pic *p = Live(w);
    return p ? p->picture.share : 0;
}

int XcPictureDisplayKps(Widget w)
{
    Pic *p = Live(w);
    return p && p->picture.st.eval ? p->picture.st.eval->display.kps : 0;
}

int XcPicturePreviewKps(Widget w)
{
    Pic *p = Live(w);
    return p && p->picture.st.eval ? p->picture.st.eval->preview.kps : 0;
}

void XcPictureHardDestroy(Widget w)
{
    Pic *p = Live(w);
    if (!p)
        return;
    Trace trace(p, "XcPictureHardDestroy");
    if (p->picture.st.ximage)
        XcImage_Destroy(p->picture.st.ximage);
    p->picture.st.ximage = nullptr;
    p->picture.st.destroyed = 1;
}

void XcPictureStdDestroy(Widget w)
{
    Pic *p = Live(w);
    if (!p)
        return;
    Trace trace(p, "XcPictureStdDestroy");
    Destroy(w);
}

Widget XcCreateThumbnail(Widget parent, const char *name, ArgList args, Cardinal count)
{
    static XcVisual *visual = XcOpenBestVisual(parent);
    std::vector<Arg> all(args, args + count);
    all.resize(count + 4);
    XtSetArg(all[count], S(XcNmode), 1);
    XtSetArg(all[count + 1], S(XmNcolormap), visual->colormap);
    XtSetArg(all[count + 2], S(XmNdepth), visual->depth);
    XtSetArg(all[count + 3], S(XcNxcVisual), visual);
    return XtCreateWidget(name, xcPictureWidgetClass, parent, all.data(), Cardinal(all.size()));
}
