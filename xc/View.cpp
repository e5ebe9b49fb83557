#include "xc/View.h"

#include "core/OrvError.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstdlib>

namespace
{

// Floor division and its remainder (b > 0): toward minus infinity, so that
// negative coordinates map like positive ones.
int64_t FloorDiv(int64_t a, int64_t b)
{
    int64_t q = a / b;
    return (a % b != 0 && a < 0) ? q - 1 : q;
}

int64_t FloorMod(int64_t a, int64_t b)
{
    int64_t r = a % b;
    return r < 0 ? r + b : r;
}

int32_t Gcd(int32_t a, int32_t b)
{
    while (b != 0) {
        int32_t t = a % b;
        a = b;
        b = t;
    }
    return a;
}

// The map taking [d, d + ld) onto [s, s + ls). An empty reference interval
// maps as if one pixel long rather than dividing by zero.
ViewMap MapFromIntervals(int32_t s, int32_t ls, int32_t d, int32_t ld, int64_t phase)
{
    if (ls < 1)
        ls = 1;
    if (ld < 1)
        ld = 1;
    int32_t g = Gcd(ls, ld);
    ViewMap m;
    m.num = ls / g;
    m.den = ld / g;
    m.srcOrigin = s;
    m.dstOrigin = d;
    m.phase = static_cast<int32_t>(FloorMod(phase, m.den));
    m.kind = m.num == m.den ? VIEW_ONE : m.num < m.den ? VIEW_MAGNIFY : VIEW_REDUCE;
    return m;
}

void DstToSrcPh(const ViewMap &m, int32_t x, int32_t *s, int32_t *ph)
{
    int64_t t = int64_t(m.num) * (int64_t(x) - m.dstOrigin) + m.phase;
    *s = static_cast<int32_t>(m.srcOrigin + FloorDiv(t, m.den));
    *ph = static_cast<int32_t>(FloorMod(t, m.den));
}

int32_t DstToSrc(const ViewMap &m, int32_t x)
{
    int32_t s, ph;
    DstToSrcPh(m, x, &s, &ph);
    return s;
}

int32_t SrcToDst(const ViewMap &m, int32_t s)
{
    int64_t t = int64_t(m.den) * (int64_t(s) - m.srcOrigin) - m.phase;
    return static_cast<int32_t>(m.dstOrigin + FloorDiv(t, m.num));
}

// The first destination pixel whose source is s or beyond: DstToSrc(d) >= s
// holds exactly when num (d - dstOrigin) + phase >= den (s - srcOrigin).
// Found by one division, whatever the zoom: a walk from SrcToDst would take
// den / num steps, thousands for a brush stretched that much.
int64_t FirstAtOrAfter(const ViewMap &m, int64_t s)
{
    int64_t t = int64_t(m.den) * (s - m.srcOrigin) - m.phase;
    return m.dstOrigin - FloorDiv(-t, m.num);
}

void SetCorners(Box *b, int32_t x1, int32_t y1, int32_t x2, int32_t y2)
{
    b->x1 = x1;
    b->y1 = y1;
    b->x2 = x2;
    b->y2 = y2;
    // Corners at both ends of the range span more than a 32-bit size holds.
    b->width = int32_t(std::min<int64_t>(int64_t(x2) - x1 + 1, INT32_MAX));
    b->height = int32_t(std::min<int64_t>(int64_t(y2) - y1 + 1, INT32_MAX));
}

// An empty box at (x, y): its far corner one short of it, unless that is
// past the end of the range.
void SetEmpty(Box *b, int32_t x, int32_t y)
{
    *b = Box{};
    SetCorners(b, x, y, x == INT32_MIN ? x : x - 1, y == INT32_MIN ? y : y - 1);
    b->width = b->height = 0;
}

// The destination pixels whose source lies in the box; width and height 0
// when there are none.
void SrcToDstBoxInto(const View *v, const Box *box, Box *out)
{
    int32_t x1, x2, y1, y2;
    int okX = ViewSrcToDstInterval(v, &v->xMap, box->x1, box->x2, &x1, &x2);
    int okY = ViewSrcToDstInterval(v, &v->yMap, box->y1, box->y2, &y1, &y2);
    *out = Box{};
    if (okX && okY)
        SetCorners(out, x1, y1, x2, y2);
    else
        SetEmpty(out, x1, y1);
}

int32_t AnchorOf(const View *v, int axis, int32_t anchor, int explicitAnchor)
{
    if (explicitAnchor)
        return anchor;
    int32_t lo = axis == 0 ? v->dst.x1 : v->dst.y1;
    int32_t hi = axis == 0 ? v->dst.x2 : v->dst.y2;
    int32_t len = axis == 0 ? v->dst.width : v->dst.height;
    switch (v->zoomMode[axis]) {
    case VIEW_ANCHOR_START:
        return lo;
    case VIEW_ANCHOR_END:
        return hi;
    default:
        return lo + len / 2;
    }
}

// Rebuilds a map for a new fraction so that the source point under the
// anchor stays under it.
void Reanchor(ViewMap *m, ViewZoom z, int32_t anchor)
{
    int32_t s, ph;
    DstToSrcPh(*m, anchor, &s, &ph);
    int64_t phase = int64_t(z.den) * ph / m->den;
    *m = MapFromIntervals(s, z.num, anchor, z.den, phase);
}

// With ratio keeping on, one axis takes the other's fraction: x's when its
// source-per-destination ratio is the larger and the larger wins (which 0),
// or the smaller or equal and the smaller wins (which 1); else y's.
void ApplyRatio(const View *v, ViewZoom *zx, ViewZoom *zy)
{
    if (!v->ratioMode[0] || (zx->num == zy->num && zx->den == zy->den))
        return;
    bool xLarger = int64_t(zx->num) * zy->den > int64_t(zy->num) * zx->den;
    if (xLarger == (v->ratioMode[1] == 0))
        *zy = *zx;
    else
        *zx = *zy;
}

void Rezoom(View *v, ViewZoom zx, ViewZoom zy, int32_t anchorX, int32_t anchorY, int explicitAnchor)
{
    Reanchor(&v->xMap, zx, AnchorOf(v, 0, anchorX, explicitAnchor));
    Reanchor(&v->yMap, zy, AnchorOf(v, 1, anchorY, explicitAnchor));
}

void ComputeMaps(View *v)
{
    const Box *s = v->srcRef, *d = v->dstRef;
    v->xMap = MapFromIntervals(s->x1, s->width, d->x1, d->width, 0);
    v->yMap = MapFromIntervals(s->y1, s->height, d->y1, d->height, 0);
    ViewZoom zx{v->xMap.num, v->xMap.den}, zy{v->yMap.num, v->yMap.den};
    ViewZoom ox = zx, oy = zy;
    ApplyRatio(v, &zx, &zy);
    if (zx.num != ox.num || zx.den != ox.den || zy.num != oy.num || zy.den != oy.den)
        Rezoom(v, zx, zy, 0, 0, 0);
}

void FreeBox(void *b)
{
    BoxFree(static_cast<Box *>(b));
}

void AppendStrip(List *l, int32_t x1, int32_t y1, int32_t x2, int32_t y2)
{
    Box *b = BoxMakeXY(x1, y1, x2, y2);
    if (b && List_Append(l, b) != LIST_OK)
        BoxFree(b);
}

// Image area and nomans strips; the corner regions belong to two strips.
void ComputeArea(View *v)
{
    List_Empty(v->nomans, FreeBox);
    SrcToDstBoxInto(v, &v->src, &v->srcExtent);
    const Box &d = v->dst;
    Box &a = v->imageArea;
    if (!BoxEmpty(&v->srcExtent) && Box_Clip(&a, &v->srcExtent, &d)) {
        a.link = 0;
        if (d.x1 < a.x1)
            AppendStrip(v->nomans, d.x1, d.y1, a.x1 - 1, d.y2);
        if (d.x2 > a.x2)
            AppendStrip(v->nomans, a.x2 + 1, d.y1, d.x2, d.y2);
        if (d.y1 < a.y1)
            AppendStrip(v->nomans, d.x1, d.y1, d.x2, a.y1 - 1);
        if (d.y2 > a.y2)
            AppendStrip(v->nomans, d.x1, a.y2 + 1, d.x2, d.y2);
        return;
    }
    SetEmpty(&a, d.x1, d.y1);
    Box *copy = Box_Dup(&d);
    if (copy && List_Append(v->nomans, copy) != LIST_OK)
        BoxFree(copy);
}

void Notify(View *v)
{
    const Box &d = v->dst;
    v->visibleSrc = Box{};
    SetCorners(&v->visibleSrc, DstToSrc(v->xMap, d.x1), DstToSrc(v->yMap, d.y1), DstToSrc(v->xMap, d.x2),
               DstToSrc(v->yMap, d.y2));
    if (!v->callback)
        return;
    ViewInfo info{-1,          v->visibleSrc, v->xMap.num,  v->xMap.den, v->yMap.num,
                  v->yMap.den, v->imageArea,  v->srcExtent, v->nomans};
    v->callback(v, v->callbackData, &info);
}

void Changed(View *v)
{
    ComputeArea(v);
    Notify(v);
}

void ApplyOptions(View *v, const ViewOptions *o, int mask)
{
    if (!o)
        return;
    if (mask & VIEW_MAP) {
        v->srcRef = o->srcRef ? o->srcRef : &v->src;
        v->dstRef = o->dstRef ? o->dstRef : &v->dst;
    }
    if (mask & VIEW_CALLBACK) {
        v->callback = o->callback;
        v->callbackData = o->callbackData;
    }
    if (mask & VIEW_ZOOMMODE) {
        v->zoomMode[0] = o->zoomModeX;
        v->zoomMode[1] = o->zoomModeY;
    }
    if (mask & VIEW_RATIOMODE) {
        v->ratioMode[0] = o->ratioKeep;
        v->ratioMode[1] = o->ratioWhich;
    }
}

void CallFill(Fill *f, View *v, const Box &box)
{
    if (!f || !f->fill || BoxEmpty(&box))
        return;
    Box b = box;
    f->fill(v, f->data, &b);
}

} // namespace

ViewZoom ViewMakeAbstract(int32_t num, int32_t den)
{
    return ViewZoom{num, den};
}

View *NViewCreate(const Box *src, const Box *dst, Fill *bgFiller, Fill *filler, const ViewOptions *options,
                  int mask)
{
    View *v = static_cast<View *>(std::calloc(1, sizeof(View)));
    if (!v)
        return nullptr;
    v->nomans = List_New();
    if (!v->nomans) {
        std::free(v);
        return nullptr;
    }
    v->src = *src;
    v->dst = *dst;
    v->bgFiller = bgFiller;
    v->filler = filler;
    v->srcRef = &v->src;
    v->dstRef = &v->dst;
    v->zoomMode[0] = v->zoomMode[1] = VIEW_ANCHOR_CENTRE;
    ApplyOptions(v, options, mask);
    ComputeMaps(v);
    Changed(v);
    return v;
}

View *ViewCreate(const ViewBoxed *src, const ViewBoxed *dst, Fill *bgFiller, Fill *filler,
                 const ViewOptions *options, int mask)
{
    return NViewCreate(src->box, dst->box, bgFiller, filler, options, mask);
}

void ViewDestroy(View *view)
{
    if (!view)
        return;
    List_Destroy(view->nomans, FreeBox);
    std::free(view);
}

void ViewSetMap(View *view, const Box *srcRef, const Box *dstRef)
{
    view->srcRef = srcRef ? srcRef : &view->src;
    view->dstRef = dstRef ? dstRef : &view->dst;
    ComputeMaps(view);
    Changed(view);
}

void ViewSetSrc(View *view, const Box *box)
{
    view->src = *box;
    Changed(view);
}

void ViewSetDst(View *view, const Box *box)
{
    view->dst = *box;
    Changed(view);
}

int ViewSetZoom(View *view, ViewZoom zoomX, ViewZoom zoomY, int32_t anchorX, int32_t anchorY,
                int explicitAnchor)
{
    if (zoomX.num < 1 || zoomX.den < 1 || zoomY.num < 1 || zoomY.den < 1)
        return ORV_BAD_PARAMETER;
    int32_t g = Gcd(zoomX.num, zoomX.den);
    zoomX = ViewZoom{zoomX.num / g, zoomX.den / g};
    g = Gcd(zoomY.num, zoomY.den);
    zoomY = ViewZoom{zoomY.num / g, zoomY.den / g};
    ApplyRatio(view, &zoomX, &zoomY);
    Rezoom(view, zoomX, zoomY, anchorX, anchorY, explicitAnchor);
    Changed(view);
    return 0;
}

void ViewScroll(View *view, int32_t dx, int32_t dy)
{
    view->xMap.dstOrigin -= dx;
    view->yMap.dstOrigin -= dy;
    Changed(view);
}

void ViewSetFiller(View *view, Fill *filler)
{
    view->filler = filler;
}

void ViewSetBgFiller(View *view, Fill *bgFiller)
{
    view->bgFiller = bgFiller;
}

void ViewSetZoomMode(View *view, int32_t x, int32_t y)
{
    view->zoomMode[0] = x;
    view->zoomMode[1] = y;
}

void ViewSetRatioMode(View *view, int32_t keep, int32_t which)
{
    view->ratioMode[0] = keep;
    view->ratioMode[1] = which;
}

void ViewSetCallback(View *view, ViewCallbackFn fn, void *data)
{
    view->callback = fn;
    view->callbackData = data;
}

void ViewSetOptions(View *view, const ViewOptions *options, int mask)
{
    ApplyOptions(view, options, mask);
    if (options && (mask & VIEW_MAP)) {
        ComputeMaps(view);
        Changed(view);
    }
}

void ViewSetDebugLevel(View *view, int32_t level)
{
    view->debugLevel = level;
}

Box *ViewGetSrc(const View *view)
{
    return Box_Dup(&view->src);
}

Box *ViewGetDst(const View *view)
{
    return Box_Dup(&view->dst);
}

Box *ViewGetDstImageArea(const View *view)
{
    return Box_Dup(&view->imageArea);
}

List *ViewGetNomans(const View *view)
{
    return view->nomans;
}

Fill *ViewGetFiller(const View *view)
{
    return view->filler;
}

Fill *ViewGetBgFiller(const View *view)
{
    return view->bgFiller;
}

void ViewGetOptions(const View *view, ViewOptions *options, int mask)
{
    if (mask & VIEW_CALLBACK) {
        options->callback = view->callback;
        options->callbackData = view->callbackData;
    }
    if (mask & VIEW_ZOOMMODE) {
        options->zoomModeX = view->zoomMode[0];
        options->zoomModeY = view->zoomMode[1];
    }
    if (mask & VIEW_RATIOMODE) {
        options->ratioKeep = view->ratioMode[0];
        options->ratioWhich = view->ratioMode[1];
    }
}

ViewZoom ViewGetZoomX(const View *view)
{
    return ViewZoom{view->xMap.num, view->xMap.den};
}

ViewZoom ViewGetZoomY(const View *view)
{
    return ViewZoom{view->yMap.num, view->yMap.den};
}

int32_t ViewDstToSrcX(const View *view, int32_t x)
{
    return DstToSrc(view->xMap, x);
}

int32_t ViewDstToSrcY(const View *view, int32_t y)
{
    return DstToSrc(view->yMap, y);
}

void ViewDstToSrc(const View *view, int32_t x, int32_t y, int32_t *sx, int32_t *sy)
{
    *sx = DstToSrc(view->xMap, x);
    *sy = DstToSrc(view->yMap, y);
}

void ViewDstToSrcPh(const View *view, int32_t x, int32_t y, int32_t *sx, int32_t *sy, int32_t *phx,
                    int32_t *phy)
{
    DstToSrcPh(view->xMap, x, sx, phx);
    DstToSrcPh(view->yMap, y, sy, phy);
}

void ViewDstToSrcV(const View *view, int32_t dx, int32_t dy, int32_t *rx, int32_t *ry)
{
    *rx = static_cast<int32_t>(int64_t(view->xMap.num) * dx / view->xMap.den);
    *ry = static_cast<int32_t>(int64_t(view->yMap.num) * dy / view->yMap.den);
}

void ViewSrcToDstV(const View *view, int32_t dx, int32_t dy, int32_t *rx, int32_t *ry)
{
    *rx = static_cast<int32_t>(int64_t(view->xMap.den) * dx / view->xMap.num);
    *ry = static_cast<int32_t>(int64_t(view->yMap.den) * dy / view->yMap.num);
}

int32_t ViewSrcToDstX(const View *view, int32_t x)
{
    return SrcToDst(view->xMap, x);
}

int32_t ViewSrcToDstY(const View *view, int32_t y)
{
    return SrcToDst(view->yMap, y);
}

void ViewSrcToDst(const View *view, int32_t x, int32_t y, int32_t *dx, int32_t *dy)
{
    *dx = SrcToDst(view->xMap, x);
    *dy = SrcToDst(view->yMap, y);
}

void ViewSrcToDstC(const View *view, int32_t x, int32_t y, int32_t *dx, int32_t *dy)
{
    *dx = SrcToDst(view->xMap, x) + view->xMap.den / (2 * view->xMap.num);
    *dy = SrcToDst(view->yMap, y) + view->yMap.den / (2 * view->yMap.num);
}

int ViewSrcToDstInterval(const View *, const ViewMap *map, int32_t s1, int32_t s2, int32_t *d1, int32_t *d2)
{
    // In 64 bits, then cut to the destination coordinates that exist.
    const int64_t first = std::max<int64_t>(FirstAtOrAfter(*map, s1), INT32_MIN);
    const int64_t last = std::min<int64_t>(FirstAtOrAfter(*map, int64_t(s2) + 1) - 1, INT32_MAX);
    *d1 = int32_t(std::min<int64_t>(first, INT32_MAX));
    *d2 = int32_t(std::max<int64_t>(last, INT32_MIN));
    return first <= last;
}

Box *ViewSrcToDstBox(const View *view, const Box *box)
{
    Box *b = Box_New();
    if (!b)
        return nullptr;
    SrcToDstBoxInto(view, box, b);
    return b;
}

Box *ViewDstToSrcBox(const View *view, const Box *box)
{
    Box *b = Box_New();
    if (!b)
        return nullptr;
    *b = Box{};
    SetCorners(b, ViewDstToSrcX(view, box->x1), ViewDstToSrcY(view, box->y1), ViewDstToSrcX(view, box->x2),
               ViewDstToSrcY(view, box->y2));
    return b;
}

void ViewFill(View *view)
{
    CallFill(view->filler, view, view->imageArea);
    ViewFillNomans(view);
}

void ViewFillDst(View *view, const Box *box)
{
    if (!box) {
        ViewFill(view);
        return;
    }
    Box c;
    if (view->filler && Box_Clip(&c, box, &view->imageArea))
        CallFill(view->filler, view, c);
    if (!view->bgFiller)
        return;
    for (ListNode *n = view->nomans->first; n; n = n->next)
        if (Box_Clip(&c, box, static_cast<Box *>(n->element)))
            CallFill(view->bgFiller, view, c);
}

void ViewFillSrc(View *view, const Box *box)
{
    if (!box) {
        CallFill(view->filler, view, view->imageArea);
        return;
    }
    Box *d = ViewSrcToDstBox(view, box);
    if (!d)
        return;
    ViewFillDst(view, d);
    BoxFree(d);
}

void ViewFillNomans(View *view)
{
    for (ListNode *n = view->nomans->first; n; n = n->next)
        CallFill(view->bgFiller, view, *static_cast<Box *>(n->element));
}
