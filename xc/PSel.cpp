#include "xc/PSel.h"

#include "xc/PWorkProc.h"
#include "xc/Selection.h"
#include "xc/XcRuler.h"

#include <algorithm>
#include <vector>

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

// The window position of every source line's edge from `from` to `to`,
// along one axis, each drawn with its dash pattern restarted.
template <typename Draw>
void GridLines(const View *v, int32_t from, int32_t to, int32_t (*toSrc)(const View *, int32_t),
               int32_t (*toDst)(const View *, int32_t), Draw draw)
{
    for (int32_t src = toSrc(v, from);; ++src) {
        const int32_t at = toDst(v, src);
        if (at > to)
            break;
        if (at < from)
            continue;
        XcImage_ReinitCounter();
        draw(at);
    }
}

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
        GridLines(s.view, r.x1, r.x2, ViewDstToSrcX, ViewSrcToDstX,
                  [&](int32_t x) { XcImage_DrawSLine(s.ximage, x, r.y1, x, r.y2, 0, -1); });
    if (zy > std::max(0, c.gridSpacing))
        GridLines(s.view, r.y1, r.y2, ViewDstToSrcY, ViewSrcToDstY,
                  [&](int32_t y) { XcImage_DrawSLine(s.ximage, r.x1, y, r.x2, y, 0, -1); });
}

} // namespace

// One shown selection.
struct ShownSelection {
    Selection *selection;
    bool edited, active;
    int how;   // 1 XOR, 2 plain
    int where; // 1 window, 2 X image
    List *savedBig, *savedFine;
};

struct PictureSelections {
    std::vector<ShownSelection *> shown;
};

namespace
{

void Style(const Pic *p, ShownSelection *r)
{
    const XcPicturePart &c = p->picture;
    r->where = (r->edited ? c.selWindowEdition : c.selWindowDrawing) ? 1 : 2;
    r->how = (r->edited ? c.selXorEdition : c.selXorDrawing) ? 1 : 2;
}

std::vector<ShownSelection *> &Shown(Pic *p)
{
    PictureState &s = p->picture.st;
    if (!s.selections)
        s.selections = new PictureSelections;
    return s.selections->shown;
}

ShownSelection *Find(Pic *p, const Selection *selection)
{
    for (ShownSelection *r : Shown(p))
        if (r->selection == selection)
            return r;
    return nullptr;
}

void DrawOne(Pic *p, ShownSelection *r, const Box &clip)
{
    PictureState &s = p->picture.st;
    SelectionDrawContext target{W(p), nullptr, s.ximage, r->how == 1, -1};
    if (r->where == 1) {
        _PictureCreateSelectionGC(p);
        target.gc = r->how == 1 ? s.xorGC : s.plainGC;
        ClipGC(p, target.gc, clip);
    }
    SelectionDraw(r->selection, s.view, &target, &clip, r->active);
}

List *BigBoxes(Pic *p, const ShownSelection *r)
{
    return SelectionGetBigBoxList(r->selection, p->picture.st.view, &p->picture.st.picture, r->active);
}

List *FineBoxes(Pic *p, const ShownSelection *r)
{
    return SelectionGetFineBoxList(r->selection, p->picture.st.view, &p->picture.st.picture, r->active);
}

void FreeBoxes(List **list)
{
    if (*list)
        Box_DestroyList(*list);
    *list = nullptr;
}

// The boxes after the first, which is their bounding box.
template <typename Fn> void ForDetail(List *list, Fn fn)
{
    for (ListNode *n = list && list->first ? list->first->next : nullptr; n; n = n->next)
        fn(static_cast<Box *>(n->element));
}

const Box *Head(List *list)
{
    return list && list->first ? static_cast<Box *>(list->first->element) : nullptr;
}

// Pixels under the boxes come back from the image into the X image only,
// at once and without the selections.
void RepaintFromImage(Pic *p, List *list)
{
    XcPicturePart &c = p->picture;
    if (!Head(list))
        return;
    Flag workProc(c.workProc, 0), preview(c.preview, 0);
    Flag hold(c.st.hold, 1), noSelection(c.st.noSelection, 1), noTiming(c.st.noTiming, 1);
    if (List_Cardinal(list) >= 1000)
        _PictureInvalidate(p, Head(list));
    else
        ForDetail(list, [p](const Box *b) { _PictureInvalidate(p, b); });
}

void CopyToWindow(Pic *p, List *list)
{
    if (!Head(list))
        return;
    Flag noSelection(p->picture.st.noSelection, 1);
    if (List_Cardinal(list) < 50 && !p->picture.share)
        ForDetail(list, [p](const Box *b) { _PictureRefreshBox(p, b); });
    else
        _PictureRefreshBox(p, Head(list));
}

// XOR drawings go before a change: in the X image when the selection is
// drawn there, then in the window.
void EraseXor(Pic *p, const ShownSelection *r)
{
    if (r->where == 2)
        _PictureDrawSelection(p, nullptr, 2, 1);
    _PictureDrawSelection(p, nullptr, 1, 1);
}

void RedrawImage(Pic *p)
{
    _PictureDrawSelection(p, nullptr, 2, 2);
    _PictureDrawSelection(p, nullptr, 2, 1);
}

void RedrawWindow(Pic *p)
{
    _PictureDrawSelection(p, nullptr, 1, 2);
    _PictureDrawSelection(p, nullptr, 1, 1);
}

bool PlainInImage(const ShownSelection *r)
{
    return r->where == 2 && r->how == 2;
}

Pic *LivePic(Widget w)
{
    Pic *p = reinterpret_cast<Pic *>(w);
    return w && XtIsSubclass(w, xcPictureWidgetClass) && !p->picture.st.destroyed ? p : nullptr;
}

void FreeRecord(ShownSelection *r)
{
    FreeBoxes(&r->savedBig);
    FreeBoxes(&r->savedFine);
    delete r;
}

// Sets edited or active, as a change the window follows.
void Restyle(Pic *p, ShownSelection *r, bool edited, bool active)
{
    r->edited = edited;
    r->active = active;
    Style(p, r);
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
    if (s.selections)
        for (ShownSelection *sel : s.selections->shown)
            if (sel->where == where && sel->how == how)
                DrawOne(p, sel, r);
    if (where == 1 && how == 1)
        _PictureDrawCross(p, &r);
}

bool _PictureReinitSelection(Pic *p, XtPointer list)
{
    std::vector<ShownSelection *> &shown = Shown(p);
    const bool had = !shown.empty();
    for (ShownSelection *r : shown)
        FreeRecord(r);
    shown.clear();
    if (List *selections = list == kUnchangedList ? nullptr : static_cast<List *>(list))
        for (ListNode *n = selections->first; n; n = n->next) {
            auto *r = new ShownSelection{
                static_cast<Selection *>(n->element), false, false, 0, 0, nullptr, nullptr};
            Style(p, r);
            shown.push_back(r);
        }
    p->picture.selectionList = kUnchangedList;
    return had || !shown.empty();
}

void _PictureDestroySelectionList(Pic *p)
{
    PictureState &s = p->picture.st;
    if (s.selections) {
        for (ShownSelection *r : s.selections->shown)
            FreeRecord(r);
        delete s.selections;
        s.selections = nullptr;
    }
    if (s.xorGC)
        XFreeGC(Dpy(p), s.xorGC);
    if (s.plainGC)
        XFreeGC(Dpy(p), s.plainGC);
    s.xorGC = s.plainGC = nullptr;
}

// ---------------------------------------------------------------------------
// Public functions.

void XcPictureAddSelection(Widget w, Selection *selection, int edited, int active)
{
    Pic *p = LivePic(w);
    if (!p || !selection)
        return;
    auto *r = new ShownSelection{selection, edited != 0, active != 0, 0, 0, nullptr, nullptr};
    Style(p, r);
    if (!HasWindow(p)) {
        Shown(p).push_back(r);
        return;
    }
    EraseXor(p, r);
    Shown(p).push_back(r);
    if (r->where == 2) {
        List *big = BigBoxes(p, r);
        if (r->how == 2)
            DrawOne(p, r, p->picture.st.picture);
        _PictureDrawSelection(p, nullptr, 2, 1);
        CopyToWindow(p, big);
        FreeBoxes(&big);
    } else if (r->how == 2) {
        DrawOne(p, r, p->picture.st.picture);
    }
    _PictureDrawSelection(p, nullptr, 1, 1);
}

void XcPictureRemSelection(Widget w, Selection *selection)
{
    Pic *p = LivePic(w);
    ShownSelection *r = p ? Find(p, selection) : nullptr;
    if (!r)
        return;
    if (HasWindow(p)) {
        EraseXor(p, r);
        if (PlainInImage(r)) {
            List *fine = FineBoxes(p, r);
            RepaintFromImage(p, fine);
            FreeBoxes(&fine);
        }
    }
    std::vector<ShownSelection *> &shown = Shown(p);
    shown.erase(std::find(shown.begin(), shown.end(), r));
    if (HasWindow(p)) {
        if (r->where == 2 || r->how == 2) {
            List *big = BigBoxes(p, r);
            RedrawImage(p);
            CopyToWindow(p, big);
            FreeBoxes(&big);
        }
        RedrawWindow(p);
    }
    FreeRecord(r);
}

void XcPictureRemAllSelections(Widget w)
{
    Pic *p = LivePic(w);
    if (!p || Shown(p).empty())
        return;
    for (ShownSelection *r : Shown(p))
        FreeRecord(r);
    Shown(p).clear();
    _PictureInvalidate(p, nullptr);
}

void XcPictureSelectionWillChange(Widget w, Selection *selection)
{
    Pic *p = LivePic(w);
    ShownSelection *r = p ? Find(p, selection) : nullptr;
    if (!r || !HasWindow(p))
        return;
    EraseXor(p, r);
    FreeBoxes(&r->savedBig);
    FreeBoxes(&r->savedFine);
    if (r->where == 2 || r->how == 2)
        r->savedBig = BigBoxes(p, r);
    if (PlainInImage(r))
        r->savedFine = FineBoxes(p, r);
}

void XcPictureSelectionHasChanged(Widget w, Selection *selection)
{
    Pic *p = LivePic(w);
    ShownSelection *r = p ? Find(p, selection) : nullptr;
    if (!r || !HasWindow(p))
        return;
    if (PlainInImage(r))
        RepaintFromImage(p, r->savedFine);
    FreeBoxes(&r->savedFine);
    if (r->where == 2)
        RedrawImage(p);
    if (r->where == 2 || r->how == 2) {
        CopyToWindow(p, r->savedBig);
        if (r->where == 2) {
            List *big = BigBoxes(p, r);
            CopyToWindow(p, big);
            FreeBoxes(&big);
        }
    }
    FreeBoxes(&r->savedBig);
    RedrawWindow(p);
}

namespace
{

void SetActive(Widget w, Selection *selection, bool active)
{
    Pic *p = LivePic(w);
    ShownSelection *r = p ? Find(p, selection) : nullptr;
    if (!r || r->active == active)
        return;
    if (!HasWindow(p)) {
        Restyle(p, r, r->edited, active);
        return;
    }
    XcPictureSelectionWillChange(w, selection);
    Restyle(p, r, r->edited, active);
    XcPictureSelectionHasChanged(w, selection);
}

void SetEdited(Widget w, Selection *selection, bool edited)
{
    Pic *p = LivePic(w);
    ShownSelection *r = p ? Find(p, selection) : nullptr;
    if (!r || r->edited == edited)
        return;
    if (!HasWindow(p)) {
        Restyle(p, r, edited, r->active);
        return;
    }
    EraseXor(p, r);
    if (PlainInImage(r)) {
        List *fine = FineBoxes(p, r);
        RepaintFromImage(p, fine);
        FreeBoxes(&fine);
    }
    const ShownSelection old = *r;
    Restyle(p, r, edited, r->active);
    if (old.where == 2 || r->where == 2)
        RedrawImage(p);
    if (old.where == 2 || old.how == 2 || r->where == 2 || r->how == 2) {
        List *big = BigBoxes(p, r);
        CopyToWindow(p, big);
        FreeBoxes(&big);
    }
    RedrawWindow(p);
}

} // namespace

void XcPictureActivateSelection(Widget w, Selection *selection)
{
    SetActive(w, selection, true);
}

void XcPictureDeactivateSelection(Widget w, Selection *selection)
{
    SetActive(w, selection, false);
}

void XcPictureEditSelection(Widget w, Selection *selection)
{
    SetEdited(w, selection, true);
}

void XcPictureUneditSelection(Widget w, Selection *selection)
{
    SetEdited(w, selection, false);
}

int XcPictureSelectionInclude(Widget w, Selection *selection, int x, int y)
{
    Pic *p = LivePic(w);
    if (!p)
        return -1;
    return Find(p, selection) ? SelectionInclude(selection, p->picture.st.view, x, y) : 0;
}

int XcPictureSelectionGetPoint(Widget w, Selection *selection, int x, int y)
{
    Pic *p = LivePic(w);
    if (!p)
        return -1;
    return Find(p, selection) ? SelectionGetPoint(selection, p->picture.st.view, x, y) : 0;
}

ShownSelection *GetGSel(Widget w, const Selection *selection)
{
    Pic *p = LivePic(w);
    return p ? Find(p, selection) : nullptr;
}
