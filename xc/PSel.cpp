#include "xc/PSel.h"

#include "xc/XcRuler.h"

#include <algorithm>

namespace
{

Widget W(Pic *p)
{
    return reinterpret_cast<Widget>(p);
}

// The XOR GC (all ones) and the plain one (colours 0 and 15 of the colour
// context, double dashed), made on first need: both take clip rectangles.
void _PictureCreateSelectionGC(Pic *p)
{
    PictureState &s = p->picture.st;
    if (s.xorGC || !HasWindow(p))
        return;
    XGCValues v;
    v.function = GXxor;
    v.foreground = ~0UL;
    s.xorGC = XCreateGC(Dpy(p), p->core.window, GCFunction | GCForeground, &v);
    v.foreground = XcCmsGetColor(p->picture.cms, 0);
    v.background = XcCmsGetColor(p->picture.cms, 15);
    v.line_width = 0;
    v.line_style = LineDoubleDash;
    s.plainGC =
        XCreateGC(Dpy(p), p->core.window, GCForeground | GCBackground | GCLineWidth | GCLineStyle, &v);
}

void ClipGC(Pic *p, GC gc, const Box &r)
{
    XRectangle rect{short(r.x1), short(r.y1), static_cast<unsigned short>(r.width),
                    static_cast<unsigned short>(r.height)};
    XSetClipRectangles(Dpy(p), gc, 0, 0, &rect, 1, Unsorted);
}

void PointerMoved(Widget w, XtPointer, XEvent *event, Boolean *)
{
    Pic *p = reinterpret_cast<Pic *>(w);
    XcPicturePart &c = p->picture;
    if (c.showCrossCursor)
        _PictureDrawCross(p, nullptr);
    if (event->type == LeaveNotify) {
        c.st.crossX = c.st.crossY = -1;
    } else {
        c.st.crossX = event->xmotion.x;
        c.st.crossY = event->xmotion.y;
        if (c.showCrossCursor)
            _PictureDrawCross(p, nullptr);
    }
    if (c.verticalRuler)
        XcRulerSetCursorPosition(c.verticalRuler, c.st.crossY);
    if (c.horizontalRuler)
        XcRulerSetCursorPosition(c.horizontalRuler, c.st.crossX);
}

} // namespace

void _PictureDrawCross(Pic *p, const Box *box)
{
    PictureState &s = p->picture.st;
    if (!HasWindow(p) || s.crossX < 0 || s.crossY < 0)
        return;
    _PictureCreateSelectionGC(p);
    Box r;
    if (!Box_Clip(&r, box ? box : &s.picture, &s.picture))
        return;
    ClipGC(p, s.xorGC, r);
    const Box &a = s.picture;
    XDrawLine(Dpy(p), p->core.window, s.xorGC, s.crossX, a.y1, s.crossX, a.y2);
    XDrawLine(Dpy(p), p->core.window, s.xorGC, a.x1, s.crossY, a.x2, s.crossY);
}

void _PictureInitRulerPart(Pic *p)
{
    XcPicturePart &c = p->picture;
    const EventMask mask = PointerMotionMask | LeaveWindowMask;
    XtRemoveEventHandler(W(p), mask, False, PointerMoved, nullptr);
    c.st.crossX = c.st.crossY = -1;
    if (!c.showCrossCursor && !c.verticalRuler && !c.horizontalRuler)
        return;
    XtAddEventHandler(W(p), mask, False, PointerMoved, nullptr);
    if (!HasWindow(p))
        return;
    Window root, child;
    int rx, ry, x, y;
    unsigned keys;
    if (XQueryPointer(Dpy(p), p->core.window, &root, &child, &rx, &ry, &x, &y, &keys) && x >= 0 && y >= 0 &&
        x < p->core.width && y < p->core.height) {
        c.st.crossX = x;
        c.st.crossY = y;
    }
}

void _PictureRulersFollow(Pic *p)
{
    XcPicturePart &c = p->picture;
    const PictureState &s = c.st;
    if (c.horizontalRuler && s.zoomX.num > 0)
        XcRulerSetOriginAndZoom(c.horizontalRuler, s.whole.x1, double(s.zoomX.den) / s.zoomX.num);
    if (c.verticalRuler && s.zoomY.num > 0)
        XcRulerSetOriginAndZoom(c.verticalRuler, s.whole.y1, double(s.zoomY.den) / s.zoomY.num);
}

namespace
{

// Grid lines at the left edge of every source column, and the top edge of
// every source row, that the rectangle meets, once the zoom spreads them
// gridSpacing window pixels apart (columns) or more (rows).
void DrawGrid(Pic *p, const Box &r)
{
    const XcPicturePart &c = p->picture;
    const PictureState &s = c.st;
    if (!c.showGrid || !s.ximage || s.zoomX.num <= 0 || s.zoomY.num <= 0)
        return;
    const int32_t zx = s.zoomX.den / s.zoomX.num, zy = s.zoomY.den / s.zoomY.num;
    if (zx >= std::max(1, c.gridSpacing))
        for (int32_t sx = ViewDstToSrcX(s.view, r.x1);; ++sx) {
            const int32_t x = ViewSrcToDstX(s.view, sx);
            if (x > r.x2)
                break;
            if (x < r.x1)
                continue;
            XcImage_ReinitCounter();
            XcImage_DrawSLine(s.ximage, x, r.y1, x, r.y2, 0, -1);
        }
    if (zy > std::max(0, c.gridSpacing))
        for (int32_t sy = ViewDstToSrcY(s.view, r.y1);; ++sy) {
            const int32_t y = ViewSrcToDstY(s.view, sy);
            if (y > r.y2)
                break;
            if (y < r.y1)
                continue;
            XcImage_ReinitCounter();
            XcImage_DrawSLine(s.ximage, r.x1, y, r.x2, y, 0, -1);
        }
}

} // namespace

void _PictureDrawSelection(Pic *p, const Box *box, int where, int how)
{
    PictureState &s = p->picture.st;
    Box r;
    if (!HasWindow(p) || !Box_Clip(&r, box ? box : &s.picture, &s.picture))
        return;
    if (where == 2 && how == 2)
        DrawGrid(p, r);
    if (where == 1 && how == 1)
        _PictureDrawCross(p, &r);
}

bool _PictureReinitSelection(Pic *p, XtPointer)
{
    p->picture.selectionList = kUnchangedList;
    return false;
}

void _PictureDestroySelectionList(Pic *p)
{
    PictureState &s = p->picture.st;
    if (s.xorGC)
        XFreeGC(Dpy(p), s.xorGC);
    if (s.plainGC)
        XFreeGC(Dpy(p), s.plainGC);
    s.xorGC = s.plainGC = nullptr;
}
