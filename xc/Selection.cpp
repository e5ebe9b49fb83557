#include "xc/Selection.h"

#include "core/Image.h"
#include "core/OrvError.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>

namespace
{

constexpr int32_t kControlCodes[8] = {SELECTION_TOP_LEFT,    SELECTION_TOP,          SELECTION_TOP_RIGHT,
                                      SELECTION_RIGHT,       SELECTION_BOTTOM_RIGHT, SELECTION_BOTTOM,
                                      SELECTION_BOTTOM_LEFT, SELECTION_LEFT};
// Window boxes are held inside this range, far beyond any screen, so that
// their sizes fit 32 bits whatever the zoom.
constexpr int64_t kWinLimit = (int64_t(1) << 30) - 1;

struct Pt {
    int64_t x, y;
};

struct Rect {
    int64_t x1, y1, x2, y2;
};

int64_t FloorDiv(int64_t a, int64_t b)
{
    int64_t q = a / b;
    return (a % b != 0 && (a < 0) != (b < 0)) ? q - 1 : q;
}

int32_t ClampCoord(int64_t v)
{
    return int32_t(std::clamp<int64_t>(v, -SELECTION_COORD_MAX, SELECTION_COORD_MAX));
}

// ---- Class system ----

template <class F> F Slot(const Selection *sel, F SelectionClassRec::*slot)
{
    for (const SelectionClassRec *c = sel->klass; c; c = c->superclass)
        if (c->*slot)
            return c->*slot;
    return nullptr;
}

void ClassInitialize(SelectionClassRec *c)
{
    if (!c || c->classInited)
        return;
    ClassInitialize(c->superclass);
    if (c->classInitialize)
        c->classInitialize();
    c->classInited = 1;
}

int InitializeChain(SelectionClassRec *c, Selection *sel, const int32_t *points, int32_t count, int closed)
{
    if (!c)
        return 1;
    if (!InitializeChain(c->superclass, sel, points, count, closed))
        return 0;
    return !c->initialize || c->initialize(sel, points, count, closed);
}

// ---- Geometry ----

int32_t ControlSize(const Selection *sel)
{
    return sel->handleSize + sel->handleThickness;
}

void RecountKeys(Selection *sel)
{
    sel->nKeyPoints = 0;
    for (int32_t i = 0; i < sel->nPoints; ++i)
        sel->nKeyPoints += sel->points[i].key != 0;
}

void RecomputeBox(Selection *sel)
{
    int32_t x1 = sel->points[0].x, y1 = sel->points[0].y, x2 = x1, y2 = y1;
    for (int32_t i = 1; i < sel->nPoints; ++i) {
        x1 = std::min(x1, sel->points[i].x);
        x2 = std::max(x2, sel->points[i].x);
        y1 = std::min(y1, sel->points[i].y);
        y2 = std::max(y2, sel->points[i].y);
    }
    sel->box = Box{x1, y1, x2, y2, x2 - x1 + 1, y2 - y1 + 1, 0};
}

Box ToBox(const Rect &r)
{
    auto c = [](int64_t v) { return int32_t(std::clamp(v, -kWinLimit, kWinLimit)); };
    Box b{c(r.x1), c(r.y1), c(r.x2), c(r.y2), 0, 0, 0};
    b.width = b.x2 - b.x1 + 1;
    b.height = b.y2 - b.y1 + 1;
    return b;
}

Rect Grow(const Rect &r, int64_t by)
{
    return Rect{r.x1 - by, r.y1 - by, r.x2 + by, r.y2 + by};
}

bool Contains(const Rect &r, int64_t x, int64_t y)
{
    return x >= r.x1 && x <= r.x2 && y >= r.y1 && y <= r.y2;
}

// Image to window as View's ViewSrcToDst, but in 64 bits: its 32-bit
// result wraps for far points, which would turn a segment's slope.
int64_t ToWindow(const ViewMap &m, int32_t s)
{
    return m.dstOrigin + FloorDiv(int64_t(m.den) * (int64_t(s) - m.srcOrigin) - m.phase, m.num);
}

Pt WinPoint(const View *view, const SelectionPoint &p)
{
    return Pt{ToWindow(view->xMap, p.x), ToWindow(view->yMap, p.y)};
}

Rect WinBox(const Selection *sel, const View *view)
{
    return Rect{ToWindow(view->xMap, sel->box.x1), ToWindow(view->yMap, sel->box.y1),
                ToWindow(view->xMap, sel->box.x2), ToWindow(view->yMap, sel->box.y2)};
}

Rect SuperBox(const Selection *sel, const View *view)
{
    return Grow(WinBox(sel, view), ControlSize(sel));
}

Rect HandleBox(const Selection *sel, int64_t x, int64_t y)
{
    return Grow(Rect{x, y, x, y}, ControlSize(sel) - 1);
}

void RebuildControls(Selection *sel, const View *view)
{
    const Box w = ToBox(WinBox(sel, view));
    const int32_t hw = (w.x2 - w.x1) / 2, hh = (w.y2 - w.y1) / 2;
    const int32_t xs[9] = {w.x1, w.x1 + hw, w.x2, w.x2, w.x2, w.x1 + hw, w.x1, w.x1, w.x1 + hw};
    const int32_t ys[9] = {w.y1, w.y1, w.y1, w.y1 + hh, w.y2, w.y2, w.y2, w.y1 + hh, w.y1 + hh};
    for (int i = 0; i < 9; ++i)
        sel->controls[i] = SelectionControl{xs[i], ys[i], 1};
}

// Every segment of the outline; a closing segment only when it is not the
// first one drawn back.
template <class F> void ForEachSegment(const Selection *sel, bool closed, F f)
{
    for (int32_t i = 0; i + 1 < sel->nPoints; ++i)
        f(sel->points[i], sel->points[i + 1]);
    if (closed && sel->nPoints > 2)
        f(sel->points[sel->nPoints - 1], sel->points[0]);
}

// The pixels of XcImage_DrawLine's Bresenham line from a to b that lie in
// clip, as runs along the major axis (f(first, last) in stepping order).
// The minor offset of pixel i has the closed form
// floor((2 minor i + major) / (2 major)), so stepping starts where the line
// enters clip: the work is bounded by clip, not by the line's length.
template <class F> void ForEachRun(Pt a, Pt b, const Box &clip, F f)
{
    const int64_t ddx = std::abs(b.x - a.x), ddy = std::abs(b.y - a.y);
    const bool xMajor = ddx >= ddy;
    const int64_t major = xMajor ? ddx : ddy, minor = xMajor ? ddy : ddx;
    const int64_t m1 = xMajor ? a.x : a.y, n1 = xMajor ? a.y : a.x;
    const int sm = (xMajor ? b.x > a.x : b.y > a.y) ? 1 : -1, sn = (xMajor ? b.y > a.y : b.x > a.x) ? 1 : -1;
    const int64_t mLo = xMajor ? clip.x1 : clip.y1, mHi = xMajor ? clip.x2 : clip.y2;
    const int64_t nLo = xMajor ? clip.y1 : clip.x1, nHi = xMajor ? clip.y2 : clip.x2;
    const int64_t iLo = std::max<int64_t>(0, sm > 0 ? mLo - m1 : m1 - mHi);
    const int64_t iHi = std::min<int64_t>(major, sm > 0 ? mHi - m1 : m1 - mLo);
    if (iLo > iHi)
        return;
    int64_t k = 0, e = 0, twoMajor = 2 * major;
    if (major > 0) {
        const __int128 t = __int128(2) * minor * iLo + major;
        k = int64_t(t / twoMajor);
        e = int64_t(t % twoMajor);
    }
    auto pixel = [&](int64_t i, int64_t kk) {
        const int64_t m = m1 + sm * i, n = n1 + sn * kk;
        return xMajor ? Pt{m, n} : Pt{n, m};
    };
    int64_t runStart = -1, runK = 0;
    for (int64_t i = iLo; i <= iHi; ++i) {
        const int64_t n = n1 + sn * k;
        const bool in = n >= nLo && n <= nHi;
        if (runStart >= 0 && (!in || k != runK)) {
            f(pixel(runStart, runK), pixel(i - 1, runK));
            runStart = -1;
        }
        if (in && runStart < 0) {
            runStart = i;
            runK = k;
        }
        e += 2 * minor;
        if (e >= twoMajor) {
            ++k;
            e -= twoMajor;
        }
    }
    if (runStart >= 0)
        f(pixel(runStart, runK), pixel(iHi, runK));
}

// Previous and next key points; an open outline stops at its ends.
int32_t PrevKey(const Selection *sel, int32_t i)
{
    const int32_t n = sel->nPoints;
    for (int32_t s = 1; s < n; ++s) {
        int32_t j = i - s;
        if (j < 0) {
            if (!sel->closed)
                return 0;
            j += n;
        }
        if (sel->points[j].key)
            return j;
    }
    return sel->closed ? i : 0;
}

int32_t NextKey(const Selection *sel, int32_t i)
{
    const int32_t n = sel->nPoints;
    for (int32_t s = 1; s < n; ++s) {
        int32_t j = i + s;
        if (j >= n) {
            if (!sel->closed)
                return n - 1;
            j -= n;
        }
        if (sel->points[j].key)
            return j;
    }
    return sel->closed ? i : n - 1;
}

void Translate(Selection *sel, int64_t dx, int64_t dy)
{
    for (int32_t i = 0; i < sel->nPoints; ++i) {
        sel->points[i].x = ClampCoord(sel->points[i].x + dx);
        sel->points[i].y = ClampCoord(sel->points[i].y + dy);
    }
    RecomputeBox(sel);
}

// The points strictly between from and to (walking forward, wrapping) take
// the similarity that keeps a fixed and carries b to n.
void Carry(Selection *sel, int32_t from, int32_t to, SelectionPoint a, SelectionPoint b, SelectionPoint n)
{
    const __int128 ux = int64_t(b.x) - a.x, uy = int64_t(b.y) - a.y;
    const __int128 wx = int64_t(n.x) - a.x, wy = int64_t(n.y) - a.y;
    const __int128 len = ux * ux + uy * uy;
    if (from == to || len == 0)
        return;
    for (int32_t i = (from + 1) % sel->nPoints; i != to; i = (i + 1) % sel->nPoints) {
        SelectionPoint &p = sel->points[i];
        const __int128 dx = int64_t(p.x) - a.x, dy = int64_t(p.y) - a.y;
        const __int128 dot = ux * dx + uy * dy, cross = ux * dy - uy * dx;
        p.x = ClampCoord(int64_t((a.x * len + wx * dot - wy * cross) / len));
        p.y = ClampCoord(int64_t((a.y * len + wy * dot + wx * cross) / len));
    }
}

int32_t MovePoint(Selection *sel, int32_t k, int32_t x, int32_t y)
{
    SelectionPoint &pk = sel->points[k];
    const SelectionPoint old = pk, moved{ClampCoord(x), ClampCoord(y), old.key};
    if (old.key && sel->nKeyPoints < 2) {
        Translate(sel, int64_t(moved.x) - old.x, int64_t(moved.y) - old.y);
        return k;
    }
    pk = moved;
    if (old.key) {
        const int32_t p = PrevKey(sel, k), q = NextKey(sel, k);
        Carry(sel, p, k, sel->points[p], old, moved);
        Carry(sel, k, q, sel->points[q], old, moved);
    }
    RecomputeBox(sel);
    return k;
}

// The box's edges move to (x, y); a drag past the opposite edge swaps the
// edges and mirrors the code.
int32_t EditBox(Box *b, int32_t code, int32_t x, int32_t y)
{
    auto axis = [&code](int32_t *lo, int32_t *hi, int32_t v, int32_t loBit, int32_t hiBit) {
        if (code & loBit) {
            if (v > *hi) {
                *lo = *hi;
                *hi = v;
                code = (code & ~loBit) | hiBit;
            } else {
                *lo = v;
            }
        } else if (code & hiBit) {
            if (v < *lo) {
                *hi = *lo;
                *lo = v;
                code = (code & ~hiBit) | loBit;
            } else {
                *hi = v;
            }
        }
    };
    axis(&b->y1, &b->y2, y, SELECTION_TOP, SELECTION_BOTTOM);
    axis(&b->x1, &b->x2, x, SELECTION_LEFT, SELECTION_RIGHT);
    b->width = b->x2 - b->x1 + 1;
    b->height = b->y2 - b->y1 + 1;
    return code;
}

int32_t EditEdges(Selection *sel, int32_t code, int32_t x, int32_t y)
{
    const Box old = sel->box;
    Box edited = old;
    code = EditBox(&edited, code, ClampCoord(x), ClampCoord(y));
    // Old box to new box: a view whose source is the new box and whose
    // destination is the old one, read from destination to source.
    View *map = NViewCreate(&edited, &old, nullptr, nullptr, nullptr, 0);
    if (!map)
        return SELECTION_NONE;
    for (int32_t i = 0; i < sel->nPoints; ++i)
        ViewDstToSrc(map, sel->points[i].x, sel->points[i].y, &sel->points[i].x, &sel->points[i].y);
    ViewDestroy(map);
    RecomputeBox(sel);
    return code;
}

bool IsEdgeCode(int32_t code)
{
    return std::find(std::begin(kControlCodes), std::end(kControlCodes), code) != std::end(kControlCodes);
}

// ---- Drawing ----

const Box &ClipOr(const Box *clip, const View *view)
{
    return clip ? *clip : view->dst;
}

bool Inside(const Box &c, Pt p)
{
    return p.x >= c.x1 && p.x <= c.x2 && p.y >= c.y1 && p.y <= c.y2;
}

bool Meets(const Rect &r, const Box &c)
{
    return r.x1 <= c.x2 && r.x2 >= c.x1 && r.y1 <= c.y2 && r.y2 >= c.y1;
}

void DrawSegment(const SelectionDrawContext *t, Pt a, Pt b, const Box &c)
{
    if (!t->gc) {
        if (Inside(c, a) && Inside(c, b))
            XcImage_DrawLine(t->image, int(a.x), int(a.y), int(b.x), int(b.y), &c, t->invert, t->pixel);
        else
            ForEachRun(a, b, c, [t](Pt p, Pt q) {
                XcImage_DrawSLine(t->image, int(p.x), int(p.y), int(q.x), int(q.y), t->invert, t->pixel);
            });
        return;
    }
    // The window takes 16-bit coordinates: draw between the first and the
    // last pixel that the clip keeps.
    bool any = false;
    Pt first{}, last{};
    ForEachRun(a, b, c, [&](Pt p, Pt q) {
        if (!any)
            first = p;
        any = true;
        last = q;
    });
    if (any)
        XDrawLine(XtDisplay(t->widget), XtWindow(t->widget), t->gc, int(first.x), int(first.y), int(last.x),
                  int(last.y));
}

// Three nested squares from the handle box inwards: white, black, white.
void DrawHandle(const Selection *sel, const SelectionDrawContext *t, Pt at, const Box &c)
{
    const Rect outer = HandleBox(sel, at.x, at.y);
    if (!Meets(outer, c))
        return;
    for (int k = 0; k < 3; ++k) {
        const Box r = ToBox(Grow(outer, -k));
        if (t->gc) {
            XDrawRectangle(XtDisplay(t->widget), XtWindow(t->widget), t->gc, r.x1, r.y1,
                           unsigned(r.width - 1), unsigned(r.height - 1));
            continue;
        }
        long pixel = t->pixel;
        if (!t->invert)
            pixel = t->image->cms ? long(XcCmsGetColor(t->image->cms, k == 1 ? 0 : 15)) : 0;
        XcImage_DrawRect(t->image, &r, &c, t->invert, pixel);
    }
}

void Draw(Selection *sel, const View *view, const SelectionDrawContext *target, const Box *clip,
          int withControls)
{
    const Box &c = ClipOr(clip, view);
    if (!target || (!target->gc && !target->image) || !Meets(SuperBox(sel, view), c))
        return;
    if (!target->gc)
        XcImage_ReinitCounter();
    ForEachSegment(sel, sel->closed, [&](const SelectionPoint &p, const SelectionPoint &q) {
        DrawSegment(target, WinPoint(view, p), WinPoint(view, q), c);
    });
    if (!withControls)
        return;
    for (int32_t i = 0; i < sel->nPoints; ++i)
        if (sel->points[i].key)
            DrawHandle(sel, target, WinPoint(view, sel->points[i]), c);
}

// ---- Box lists ----

bool AppendClipped(List *list, const Box &b, const Box &c)
{
    Box clipped;
    if (!Box_Clip(&clipped, &b, &c))
        return true;
    Box *copy = Box_Dup(&clipped);
    if (copy && List_Append(list, copy) == LIST_OK)
        return true;
    Box_Free(copy);
    return false;
}

List *BoxList(Selection *sel, const View *view, const Box *clip, int withControls, bool fine)
{
    const Box &c = ClipOr(clip, view);
    List *list = List_New();
    if (!list)
        return nullptr;
    const Box head = ToBox(withControls ? SuperBox(sel, view) : WinBox(sel, view));
    Box visible;
    if (!Box_Clip(&visible, &head, &c))
        return list;
    bool ok = AppendClipped(list, head, c);
    ForEachSegment(sel, sel->closed, [&](const SelectionPoint &p, const SelectionPoint &q) {
        const Pt a = WinPoint(view, p), b = WinPoint(view, q);
        if (!fine) {
            ok = ok && AppendClipped(list,
                                     ToBox(Rect{std::min(a.x, b.x), std::min(a.y, b.y), std::max(a.x, b.x),
                                                std::max(a.y, b.y)}),
                                     c);
            return;
        }
        ForEachRun(a, b, c, [&](Pt r, Pt s) {
            ok = ok && AppendClipped(list,
                                     ToBox(Rect{std::min(r.x, s.x), std::min(r.y, s.y), std::max(r.x, s.x),
                                                std::max(r.y, s.y)}),
                                     c);
        });
    });
    if (withControls) {
        for (int32_t i = 0; i < sel->nPoints && ok; ++i)
            if (sel->points[i].key) {
                const Pt at = WinPoint(view, sel->points[i]);
                ok = AppendClipped(list, ToBox(HandleBox(sel, at.x, at.y)), c);
            }
        RebuildControls(sel, view);
        for (int i = 0; i < 8 && ok; ++i)
            ok = AppendClipped(list, ToBox(HandleBox(sel, sel->controls[i].x, sel->controls[i].y)), c);
    }
    if (!ok) {
        Box_DestroyList(list);
        return nullptr;
    }
    return list;
}

List *BigBoxList(Selection *sel, const View *view, const Box *clip, int withControls)
{
    return BoxList(sel, view, clip, withControls, false);
}

List *FineBoxList(Selection *sel, const View *view, const Box *clip, int withControls)
{
    return BoxList(sel, view, clip, withControls, true);
}

// ---- Masks ----

bool MaskUsable(const Image *mask)
{
    return mask && Image_Planes(mask) >= 1 && Image_PlaneBits(mask, 0) == 8;
}

// Complements, on each row an edge crosses, the first pixel at or right of
// the crossing. Rows are half-open at the lower end, so that a vertex
// between edges going the same vertical way is counted once and a turning
// vertex an even number of times.
void MarkEdges(const Selection *sel, Image *mask)
{
    const int64_t w = Image_Width(mask), h = Image_Height(mask);
    for (int32_t i = 0; i < sel->nPoints; ++i) {
        SelectionPoint a = sel->points[i], b = sel->points[(i + 1) % sel->nPoints];
        if (a.y == b.y)
            continue;
        if (a.y > b.y)
            std::swap(a, b);
        const int64_t dy = int64_t(b.y) - a.y, dx = int64_t(b.x) - a.x;
        for (int64_t y = std::max<int64_t>(a.y, 0); y < std::min<int64_t>(b.y, h); ++y) {
            const int64_t x = std::max<int64_t>(a.x - FloorDiv(-(y - a.y) * dx, dy), 0);
            if (x < w)
                Image_Row(mask, 0, int(y))[x] ^= 0xFF;
        }
    }
}

void DrawOutline(const Selection *sel, Image *mask, bool closed)
{
    const Box all = Box_OfImage(mask);
    ForEachSegment(sel, closed, [&](const SelectionPoint &p, const SelectionPoint &q) {
        ForEachRun(Pt{p.x, p.y}, Pt{q.x, q.y}, all, [&](Pt r, Pt s) {
            for (int64_t y = std::min(r.y, s.y); y <= std::max(r.y, s.y); ++y) {
                unsigned char *row = Image_Row(mask, 0, int(y));
                std::memset(row + std::min(r.x, s.x), 255, size_t(std::abs(s.x - r.x) + 1));
            }
        });
    });
}

int FillMask(Selection *sel, Image *mask)
{
    if (!MaskUsable(mask))
        return ORV_BAD_PARAMETER;
    Box area;
    const Box all = Box_OfImage(mask);
    if (!Box_Clip(&area, &sel->box, &all))
        return 0;
    for (int32_t y = area.y1; y <= area.y2; ++y)
        std::memset(Image_Row(mask, 0, y) + area.x1, 0, size_t(area.width));
    MarkEdges(sel, mask);
    for (int32_t y = area.y1; y <= area.y2; ++y) {
        unsigned char *row = Image_Row(mask, 0, y);
        bool inside = false;
        for (int32_t x = area.x1; x <= area.x2; ++x) {
            inside ^= row[x] != 0;
            row[x] = inside ? 255 : 0;
        }
    }
    DrawOutline(sel, mask, true);
    return 0;
}

int MarkMask(Selection *sel, Image *mask)
{
    if (!MaskUsable(mask))
        return ORV_BAD_PARAMETER;
    MarkEdges(sel, mask);
    return 0;
}

int ContourMask(Selection *sel, Image *mask)
{
    if (!MaskUsable(mask))
        return ORV_BAD_PARAMETER;
    DrawOutline(sel, mask, sel->closed);
    return 0;
}

// ---- Backups ----

} // namespace

struct SelectionBackup {
    int32_t which;
    int32_t nPoints; // the selection's count when taken
    int32_t first;   // saved range: count points from first on, wrapping
    int32_t count;
    SelectionPoint *points;
    SelectionPoint point; // the point edited, or the box's centre for a move
    Box box;
};

namespace
{

SelectionPoint Centre(const Box &b)
{
    return SelectionPoint{b.x1 + b.width / 2, b.y1 + b.height / 2, 0};
}

// The points an edit of which can change: from the previous to the next key
// point, or all of them when the whole outline moves.
void SavedRange(const Selection *sel, int32_t which, int32_t *first, int32_t *count)
{
    const int32_t n = sel->nPoints;
    *first = 0;
    *count = n;
    if (which < 0 || which >= n || (sel->points[which].key && sel->nKeyPoints < 2))
        return;
    const int32_t p = PrevKey(sel, which), q = NextKey(sel, which);
    if (sel->closed && p == q)
        return;
    *first = p;
    *count = (q - p + n) % n + 1;
}

SelectionBackup *GetBackup(Selection *sel, int32_t which)
{
    const bool isIndex = which >= 0 && which < sel->nPoints;
    if (!isIndex && which != SELECTION_MOVE && !IsEdgeCode(which))
        return nullptr;
    SelectionBackup *b = static_cast<SelectionBackup *>(std::calloc(1, sizeof(SelectionBackup)));
    if (!b)
        return nullptr;
    b->which = which;
    b->nPoints = sel->nPoints;
    b->box = sel->box;
    b->point = isIndex ? sel->points[which] : Centre(sel->box);
    if (which == SELECTION_MOVE)
        return b;
    SavedRange(sel, which, &b->first, &b->count);
    b->points = static_cast<SelectionPoint *>(std::malloc(sizeof(SelectionPoint) * size_t(b->count)));
    if (!b->points) {
        std::free(b);
        return nullptr;
    }
    for (int32_t i = 0; i < b->count; ++i)
        b->points[i] = sel->points[(b->first + i) % sel->nPoints];
    return b;
}

int SetBackup(Selection *sel, const SelectionBackup *b)
{
    if (!b || b->nPoints != sel->nPoints)
        return 0;
    if (b->which == SELECTION_MOVE) {
        const SelectionPoint now = Centre(sel->box);
        Translate(sel, int64_t(b->point.x) - now.x, int64_t(b->point.y) - now.y);
    }
    for (int32_t i = 0; i < b->count; ++i)
        sel->points[(b->first + i) % sel->nPoints] = b->points[i];
    sel->box = b->box;
    RecountKeys(sel);
    return 1;
}

void DestroyBackup(Selection *, SelectionBackup *b)
{
    if (!b)
        return;
    std::free(b->points);
    std::free(b);
}

// ---- Point operations ----

int32_t GetPoint(Selection *sel, const View *view, int32_t x, int32_t y)
{
    int32_t best = SELECTION_NONE;
    int64_t bestDistance = ControlSize(sel);
    for (int32_t i = 0; i < sel->nPoints; ++i) {
        if (!sel->points[i].key)
            continue;
        const Pt p = WinPoint(view, sel->points[i]);
        const int64_t d = std::abs(p.x - x) + std::abs(p.y - y);
        if (d < bestDistance || (d == bestDistance && best < 0)) {
            best = i;
            bestDistance = d;
        }
    }
    if (best >= 0)
        return best;
    return Contains(WinBox(sel, view), x, y) ? SELECTION_MOVE : SELECTION_NONE;
}

void GetPointValue(Selection *sel, int32_t which, int32_t *x, int32_t *y)
{
    if (which >= 0 && which < sel->nPoints) {
        *x = sel->points[which].x;
        *y = sel->points[which].y;
        return;
    }
    const Box &b = sel->box;
    const int32_t mx = b.x1 + b.width / 2, my = b.y1 + b.height / 2;
    switch (which) {
    case SELECTION_TOP:
        *x = mx, *y = b.y1;
        break;
    case SELECTION_TOP_RIGHT:
        *x = b.x2, *y = b.y1;
        break;
    case SELECTION_RIGHT:
        *x = b.x2, *y = my;
        break;
    case SELECTION_BOTTOM_RIGHT:
        *x = b.x2, *y = b.y2;
        break;
    case SELECTION_BOTTOM:
        *x = mx, *y = b.y2;
        break;
    case SELECTION_BOTTOM_LEFT:
        *x = b.x1, *y = b.y2;
        break;
    case SELECTION_LEFT:
        *x = b.x1, *y = my;
        break;
    case SELECTION_MOVE:
        *x = mx, *y = my;
        break;
    default:
        *x = b.x1, *y = b.y1;
        break;
    }
}

int32_t SetPoint(Selection *sel, int32_t which, int32_t x, int32_t y)
{
    if (which >= 0 && which < sel->nPoints)
        return MovePoint(sel, which, x, y);
    if (which == SELECTION_MOVE) {
        const SelectionPoint c = Centre(sel->box);
        Translate(sel, int64_t(x) - c.x, int64_t(y) - c.y);
        return which;
    }
    return IsEdgeCode(which) ? EditEdges(sel, which, x, y) : SELECTION_NONE;
}

int32_t AddPoint(Selection *sel, int32_t index, int32_t x, int32_t y)
{
    if (index < 0 || index >= sel->nPoints || sel->nPoints == INT32_MAX)
        return SELECTION_NONE;
    auto *grown = static_cast<SelectionPoint *>(
        std::realloc(sel->points, sizeof(SelectionPoint) * (size_t(sel->nPoints) + 1)));
    if (!grown)
        return SELECTION_NONE;
    sel->points = grown;
    std::memmove(grown + index + 2, grown + index + 1,
                 sizeof(SelectionPoint) * size_t(sel->nPoints - index - 1));
    grown[index + 1] = SelectionPoint{ClampCoord(x), ClampCoord(y), 0};
    ++sel->nPoints;
    RecomputeBox(sel);
    return index + 1;
}

int32_t RemPoint(Selection *sel, int32_t index)
{
    const int32_t n = sel->nPoints;
    if (index < 0 || index >= n || sel->nKeyPoints < (sel->points[index].key ? 3 : 2))
        return SELECTION_NONE;
    const int32_t p = PrevKey(sel, index), q = NextKey(sel, index);
    const int32_t first = (p + 1) % n;
    const int32_t count = sel->closed ? (q - p - 1 + n) % n : index - p;
    if (count <= 0 || count >= n)
        return SELECTION_NONE;
    int32_t kept = 0;
    for (int32_t i = 0; i < n; ++i)
        if ((i - first + n) % n >= count)
            sel->points[kept++] = sel->points[i];
    sel->nPoints = kept;
    RecountKeys(sel);
    RecomputeBox(sel);
    return count;
}

void Close(Selection *sel)
{
    const SelectionPoint &f = sel->points[0];
    while (sel->nPoints >= 2 && sel->points[sel->nPoints - 1].x == f.x &&
           sel->points[sel->nPoints - 1].y == f.y)
        --sel->nPoints;
    RecountKeys(sel);
    sel->closed = 1;
}

// ---- The two classes ----

// The common part and the points that every selection is drawn from.
int Initialize(Selection *sel, const int32_t *points, int32_t count, int closed)
{
    sel->handleSize = 4;
    sel->handleThickness = 3;
    sel->points = static_cast<SelectionPoint *>(std::malloc(sizeof(SelectionPoint) * size_t(count)));
    if (!sel->points)
        return 0;
    for (int32_t i = 0; i < count; ++i)
        sel->points[i] = SelectionPoint{ClampCoord(points[2 * i]), ClampCoord(points[2 * i + 1]), i == 0};
    sel->nPoints = count;
    sel->nKeyPoints = 1;
    sel->closed = closed != 0;
    RecomputeBox(sel);
    return 1;
}

void Destroy(Selection *sel)
{
    std::free(sel->points);
    sel->points = nullptr;
    sel->nPoints = 0;
}

constexpr SelectionClassRec MakeClass(SelectionClassRec *superclass, const char *name,
                                      SelectionInitializeFn initialize, SelectionDestroyFn destroy)
{
    return SelectionClassRec{superclass,  name,          sizeof(Selection), nullptr,
                             0,           initialize,    destroy,           {},
                             Draw,        nullptr,       FillMask,          MarkMask,
                             ContourMask, nullptr,       BigBoxList,        FineBoxList,
                             GetBackup,   SetBackup,     DestroyBackup,     {},
                             GetPoint,    GetPointValue, SetPoint,          nullptr,
                             nullptr,     AddPoint,      RemPoint,          Close,
                             nullptr};
}

SelectionClassRec selectionRec = MakeClass(nullptr, "Selection", Initialize, Destroy);
SelectionClassRec vectSelectionRec = MakeClass(&selectionRec, "Vectorial Selection", nullptr, nullptr);

} // namespace

SelectionClassRec *selectionClass = &selectionRec;
SelectionClassRec *vectSelectionClass = &vectSelectionRec;

// ---- Public operations: look the slot up and call it ----

Selection *SelectionCreate(const char *name, SelectionClassRec *klass, const int32_t *points, int32_t count,
                           int closed)
{
    if (!klass || !points || count < 1)
        return nullptr;
    ClassInitialize(klass);
    Selection *sel =
        static_cast<Selection *>(std::calloc(1, std::max(klass->instanceSize, sizeof(Selection))));
    if (!sel)
        return nullptr;
    sel->self = sel;
    sel->klass = klass;
    sel->name = Strdup(name ? name : "");
    if (!sel->name || !InitializeChain(klass, sel, points, count, closed)) {
        SelectionDestroy(sel);
        return nullptr;
    }
    return sel;
}

void SelectionDestroy(Selection *sel)
{
    if (!sel)
        return;
    for (SelectionClassRec *c = sel->klass; c; c = c->superclass)
        if (c->destroy)
            c->destroy(sel);
    std::free(sel->name);
    std::free(sel);
}

SelectionClassRec *SelectionGetClass(const Selection *sel)
{
    return sel ? sel->klass : nullptr;
}

const char *SelectionClassName(const Selection *sel)
{
    return sel ? sel->klass->className : nullptr;
}

int32_t SelectionGetNPoints(const Selection *sel)
{
    return sel ? sel->nPoints : 0;
}

Box SelectionGetBox(const Selection *sel)
{
    return sel ? sel->box : Box{};
}

void SelectionSetKeepRatio(Selection *sel, int flag, const Box *ratio)
{
    sel->keepRatio = flag != 0;
    if (!flag)
        return;
    const bool given = ratio && ratio->width > 0 && ratio->height > 0;
    sel->ratioWidth = given ? ratio->width : sel->box.width;
    sel->ratioHeight = given ? ratio->height : sel->box.height;
}

void SelectionSetKeepCenter(Selection *sel, int flag)
{
    sel->keepCenter = flag != 0;
}

void SelectionDraw(Selection *sel, const View *view, const SelectionDrawContext *target, const Box *clip,
                   int withControls)
{
    if (auto f = Slot(sel, &SelectionClassRec::draw))
        f(sel, view, target, clip, withControls);
}

int SelectionFillMask(Selection *sel, Image *mask)
{
    auto f = Slot(sel, &SelectionClassRec::fillMask);
    return f ? f(sel, mask) : 0;
}

int SelectionMarkMask(Selection *sel, Image *mask)
{
    auto f = Slot(sel, &SelectionClassRec::markMask);
    return f ? f(sel, mask) : 0;
}

int SelectionContourMask(Selection *sel, Image *mask)
{
    auto f = Slot(sel, &SelectionClassRec::contourMask);
    return f ? f(sel, mask) : 0;
}

List *SelectionGetBigBoxList(Selection *sel, const View *view, const Box *clip, int withControls)
{
    auto f = Slot(sel, &SelectionClassRec::bigBoxList);
    return f ? f(sel, view, clip, withControls) : List_New();
}

List *SelectionGetFineBoxList(Selection *sel, const View *view, const Box *clip, int withControls)
{
    auto f = Slot(sel, &SelectionClassRec::fineBoxList);
    return f ? f(sel, view, clip, withControls) : List_New();
}

int32_t SelectionInclude(const Selection *sel, const View *view, int32_t x, int32_t y)
{
    const Rect s = SuperBox(sel, view);
    if (!Contains(s, x, y))
        return -1;
    const int64_t cx = s.x1 + (s.x2 - s.x1 + 1) / 2, cy = s.y1 + (s.y2 - s.y1 + 1) / 2;
    return int32_t(std::min<int64_t>(std::abs(x - cx) + std::abs(y - cy), INT32_MAX));
}

SelectionBackup *SelectionGetBackup(Selection *sel, int32_t which)
{
    auto f = Slot(sel, &SelectionClassRec::getBackup);
    return f ? f(sel, which) : nullptr;
}

int SelectionSetBackup(Selection *sel, const SelectionBackup *backup)
{
    auto f = Slot(sel, &SelectionClassRec::setBackup);
    return f ? f(sel, backup) : 0;
}

void SelectionDestroyBackup(Selection *sel, SelectionBackup *backup)
{
    if (auto f = Slot(sel, &SelectionClassRec::destroyBackup))
        f(sel, backup);
}

int32_t SelectionGetPoint(Selection *sel, const View *view, int32_t x, int32_t y)
{
    auto f = Slot(sel, &SelectionClassRec::getPoint);
    return f ? f(sel, view, x, y) : SELECTION_NONE;
}

void SelectionGetPointValue(Selection *sel, int32_t which, int32_t *x, int32_t *y)
{
    *x = *y = 0;
    if (auto f = Slot(sel, &SelectionClassRec::getPointValue))
        f(sel, which, x, y);
}

int SelectionIsKeyPoint(const Selection *sel, int32_t index)
{
    bool vectorial = false;
    for (const SelectionClassRec *c = sel->klass; c; c = c->superclass)
        vectorial = vectorial || c == vectSelectionClass;
    return vectorial && index >= 0 && index < sel->nPoints ? sel->points[index].key : 1;
}

int32_t SelectionSetPoint(Selection *sel, int32_t which, int32_t x, int32_t y)
{
    auto f = Slot(sel, &SelectionClassRec::setPoint);
    return f ? f(sel, which, x, y) : SELECTION_NONE;
}

void SelectionSetPoints(Selection *sel, const int32_t *points, int32_t count)
{
    if (auto f = Slot(sel, &SelectionClassRec::setPoints))
        f(sel, points, count);
}

int32_t SelectionAddPoint(Selection *sel, int32_t index, int32_t x, int32_t y)
{
    auto f = Slot(sel, &SelectionClassRec::addPoint);
    return f ? f(sel, index, x, y) : SELECTION_NONE;
}

int32_t SelectionRemPoint(Selection *sel, int32_t index)
{
    auto f = Slot(sel, &SelectionClassRec::remPoint);
    return f ? f(sel, index) : SELECTION_NONE;
}

void SelectionClose(Selection *sel)
{
    if (auto f = Slot(sel, &SelectionClassRec::close))
        f(sel);
}

int VectSelectSetKeyPoint(Selection *sel, int32_t index, int flag)
{
    if (!sel || index < 0 || index >= sel->nPoints)
        return 0;
    sel->points[index].key = flag != 0;
    RecountKeys(sel);
    return 1;
}
