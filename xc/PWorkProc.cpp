#include "xc/PWorkProc.h"
#include "xc/PSel.h"

#include "brush/Clock.h"
#include "brush/Random.h"
#include "xc/FillTev2X.h"

#include <X11/extensions/XShm.h>

#include <new>
#include <vector>

namespace
{
const char kFile[] = "PWorkProc";

struct WorkProc;

// One rectangle being refined.
struct WorkArea {
    Box box; // window coordinates
    Random phases;
    int px, py;
    double progress; // fraction of the passes done
    WorkProc *owner;
    int lost;       // share of the owner's lost pixels
    WorkArea *next; // while in the pool
};

// A group of pending rectangles with its own timer.
struct WorkProc {
    List *areas;
    XtIntervalId timer;
    Box bounds; // union of the areas' boxes
    Pic *widget;
    int lost; // pixels merging has committed to repaint without need
};

PicturePassFn passObserver = nullptr;

// ---------------------------------------------------------------------------
// Records.

// Areas come and go by the hundred while the user paints: a pool that grows
// by blocks of 30 and never shrinks.
WorkArea *freeAreas = nullptr;

WorkArea *NewArea(const WorkArea &from)
{
    if (!freeAreas) {
        constexpr int kBlock = 30;
        WorkArea *block = new (std::nothrow) WorkArea[kBlock];
        if (!block)
            return nullptr;
        for (int i = 0; i < kBlock; ++i)
            block[i].next = i + 1 < kBlock ? &block[i + 1] : nullptr;
        freeAreas = block;
    }
    WorkArea *a = freeAreas;
    freeAreas = a->next;
    *a = from;
    a->next = nullptr;
    return a;
}

void FreeArea(void *element)
{
    auto *a = static_cast<WorkArea *>(element);
    a->next = freeAreas;
    freeAreas = a;
}

int64_t Pixels(const Box &b)
{
    return BoxEmpty(&b) ? 0 : int64_t(b.width) * b.height;
}

WorkArea *AreaOf(ListNode *n)
{
    return static_cast<WorkArea *>(n->element);
}

WorkProc *RecordOf(ListNode *n)
{
    return static_cast<WorkProc *>(n->element);
}

void Unlink(List *list, ListNode *n)
{
    list->current = n;
    List_Remove(list);
}

void RecomputeBounds(WorkProc *w)
{
    ListNode *n = w->areas->first;
    if (!n)
        return;
    w->bounds = AreaOf(n)->box;
    for (n = n->next; n; n = n->next)
        Box_SelfUnion(&w->bounds, &AreaOf(n)->box);
}

void FreeRecord(WorkProc *w)
{
    if (w->timer)
        XtRemoveTimeOut(w->timer);
    List_Destroy(w->areas, FreeArea);
    delete w;
}

// Takes a record off the widget's list and frees it.
void DropRecord(Pic *p, WorkProc *w)
{
    if (List_FindFirst(p->picture.st.workProcs, w) == LIST_OK)
        List_Remove(p->picture.st.workProcs);
    FreeRecord(w);
}

int Pending(const Pic *p)
{
    const List *l = p->picture.st.workProcs;
    return l ? int(List_Cardinal(l)) : 0;
}

void DumpBox(const char *label, const Box &b)
{
    std::fprintf(stderr, "%s%d %d %d %d\n", label, b.x1, b.y1, b.x2, b.y2);
}

// ---------------------------------------------------------------------------
// Painting into the X image.

bool HasAlphaOrMask(const Image *image, const Image *mask)
{
    return mask || (image && Image_AlphaPlanes(image) > 0);
}

// The cursor's block grid is anchored to its own view: the phase that
// paints the same window pixels as the main view's.
int CursorPhase(int phase, int mainOrigin, int cursorOrigin, int prec)
{
    int q = phase + (mainOrigin - cursorOrigin) % prec;
    return q < 0 ? q + prec : q;
}

// Quality, block size and phase of the image filler and the cursor filler.
void SetFillers(Pic *p, int quality, int px, int py, int phx, int phy)
{
    XcPicturePart &c = p->picture;
    PictureCursor &k = c.st.cursor;
    if (c.image && c.st.imageFiller) {
        FillTev2XSetQuality(c.st.imageFiller, quality);
        FillTev2XSetPrecision(c.st.imageFiller, px, py);
        FillTev2XSetPhase(c.st.imageFiller, phx, phy);
    }
    if (!k.filler)
        return;
    FillTev2XSetQuality(k.filler, quality);
    FillTev2XSetPrecision(k.filler, px, py);
    if (k.view)
        FillTev2XSetPhase(k.filler, CursorPhase(phx, c.st.view->srcExtent.x1, k.view->srcExtent.x1, px),
                          CursorPhase(phy, c.st.view->srcExtent.y1, k.view->srcExtent.y1, py));
}

// Fills a window rectangle through the main view, composing the cursor
// image over or under the picture inside the cursor box.
void Paint(Pic *p, const Box *r)
{
    XcPicturePart &c = p->picture;
    PictureCursor &k = c.st.cursor;
    if (!k.image || !k.view || BoxEmpty(&k.dst)) {
        ViewFillDst(c.st.view, r);
        return;
    }
    if (List *rest = Box_Remove(r, &k.dst)) {
        // Not clipped to the visible image area: a cursor box reaching
        // into the no man's land must not leave its pixels there.
        for (ListNode *n = rest->first; n; n = n->next)
            ViewFillDst(c.st.view, static_cast<Box *>(n->element));
        Box_DestroyList(rest);
    }
    Box in;
    if (!Box_Clip(&in, r, &k.dst))
        return;
    if (k.depth == 1) {
        if (HasAlphaOrMask(k.image, k.mask))
            ViewFillDst(c.st.view, &in);
        ViewFillDst(k.view, &in);
        return;
    }
    if (HasAlphaOrMask(c.image, c.maskImage))
        ViewFillDst(k.view, &in);
    if (c.st.imageFiller) {
        FillTev2XSetBlend(c.st.imageFiller, 1);
        ViewFillDst(c.st.view, &in);
        FillTev2XSetBlend(c.st.imageFiller, 0);
    }
}

// Without preview the image part waits for the work procedures: only the
// no man's land of the rectangle is shown now.
void PaintNomans(Pic *p, const Box &r)
{
    View *view = p->picture.st.view;
    Fill *bg = view->bgFiller;
    for (ListNode *n = view->nomans ? view->nomans->first : nullptr; bg && n; n = n->next) {
        Box b;
        if (!Box_Clip(&b, &r, static_cast<Box *>(n->element)))
            continue;
        bg->fill(view, bg->data, &b);
        RedrawImageSelections(p, &b);
        _PictureRefreshBox(p, &b);
    }
}

// ---------------------------------------------------------------------------
// Refinement passes.

// One pass over an area: the next phase of every block. True when the
// area had no phase left.
bool RefreshIncremental(Pic *p, WorkArea *a)
{
    Trace trace(p, "RefreshIncremental", 2, kFile);
    int32_t phx = 0, phy = 0;
    if (!Random_Next(&a->phases, &phx, &phy))
        return true;
    SetFillers(p, p->picture.quality, a->px, a->py, phx, phy);
    Paint(p, &a->box);
    a->progress += 1.0 / (a->px * a->py);
    if (passObserver)
        passObserver(reinterpret_cast<Widget>(p), &a->box, phx, phy, a->px, a->py);
    return false;
}

void EndWorkProc(Pic *p, WorkProc *w)
{
    DropRecord(p, w);
    if (p->picture.debugWorkProc > 1)
        std::fprintf(stderr, "\tremoving one WorkProc. Remaining : %d WorkProcs\n", Pending(p));
}

void TheWorkProc(XtPointer data, XtIntervalId *)
{
    WorkProc *w = static_cast<WorkProc *>(data);
    Pic *p = w->widget;
    w->timer = 0;
    // The destroy method frees the record.
    if (p->core.being_destroyed || p->picture.st.destroyed)
        return;
    Trace trace(p, "TheWorkProc", 2, kFile);
    const long before = List_Cardinal(w->areas);
    // XOR selections in the X image go for the pass and come back after it.
    if (!p->picture.st.noSelection)
        _PictureDrawSelection(p, &w->bounds, 2, 1);
    for (ListNode *n = w->areas->first; n;) {
        ListNode *next = n->next;
        if (RefreshIncremental(p, AreaOf(n))) {
            FreeArea(AreaOf(n));
            Unlink(w->areas, n);
        }
        n = next;
    }
    RedrawImageSelections(p, &w->bounds);
    _PictureRefreshBox(p, &w->bounds);
    if (!List_Cardinal(w->areas)) {
        EndWorkProc(p, w);
        return;
    }
    w->timer = XtAppAddTimeOut(XtWidgetToApplicationContext(reinterpret_cast<Widget>(p)),
                               unsigned(p->picture.workProcTimeOut), TheWorkProc, w);
    if (List_Cardinal(w->areas) != before)
        RecomputeBounds(w);
}

// ---------------------------------------------------------------------------
// Queueing.

// A new record on its way into the widget's list.
struct Insertion {
    Pic *p;
    WorkProc *n;
    Random saved; // the phases of refinement the new record takes over
    bool hasSaved;
};

void SavePhases(Insertion &in, const WorkArea &a)
{
    if (a.progress > 0 && !in.hasSaved) {
        Random_Copy(&a.phases, &in.saved);
        in.hasSaved = true;
    }
}

// Whether the new record takes a pending area into its bounds: always for
// a tiny union, else when what it would repaint without need stays within
// a fifth of the union.
bool Absorbs(Insertion &in, const WorkArea &a)
{
    WorkProc *n = in.n;
    const XcPicturePart &c = in.p->picture;
    Box u, cl;
    Box_Union(&u, &a.box, &n->bounds);
    if (u.width < 10 && u.height < 10) {
        n->bounds = u;
        return true;
    }
    const int64_t U = Pixels(u), A = Pixels(a.box);
    const int64_t C = Box_Clip(&cl, &a.box, &n->bounds) ? Pixels(cl) : 0;
    int64_t lost = U - A - Pixels(n->bounds) + C + n->lost;
    if (c.debugWorkProc > 2) {
        DumpBox("new->area ", n->bounds);
        DumpBox("refresh->area ", a.box);
        DumpBox("reunion ", u);
    }
    if (lost > U / 5)
        return false;
    const double f = A ? double(C) / double(A) : 0;
    lost = int64_t(double(lost) + (1 - f) * a.progress * double(A));
    lost = int64_t(double(lost) + (1 - f) * a.lost);
    if (!c.preview && in.hasSaved)
        lost = int64_t(double(lost) + f * 0.5 * a.progress * double(A));
    if (c.debugWorkProc > 2)
        std::fprintf(stderr, " refresh->lost=%d new->lost=%d  lost=%d  AIRE=%d\n\n", a.lost, n->lost,
                     int(lost), int(U));
    if (lost >= U / 5)
        return false;
    n->bounds = u;
    n->lost = int(lost);
    SavePhases(in, a);
    return true;
}

void Absorb(Insertion &in)
{
    List *records = in.p->picture.st.workProcs;
    for (ListNode *rn = records->first; rn;) {
        ListNode *rnext = rn->next;
        WorkProc *r = RecordOf(rn);
        bool changed = false;
        for (ListNode *an = r->areas->first; an;) {
            ListNode *anext = an->next;
            if (Absorbs(in, *AreaOf(an))) {
                FreeArea(AreaOf(an));
                Unlink(r->areas, an);
                changed = true;
            }
            an = anext;
        }
        if (!List_Cardinal(r->areas))
            DropRecord(in.p, r);
        else if (changed)
            RecomputeBounds(r);
        rn = rnext;
    }
}

// Cuts area a of record r around the part cl that the new record repaints;
// the pieces outside stay in r (appended to pieces).
void SplitArea(Insertion &in, WorkProc *r, const WorkArea &a, const Box &cl, std::vector<WorkArea *> &pieces)
{
    const int64_t whole = Pixels(a.box);
    if (List *outside = Box_Remove(&a.box, &cl)) {
        for (ListNode *k = outside->first; k; k = k->next) {
            const Box &b = *static_cast<Box *>(k->element);
            if (WorkArea *q = NewArea(a)) {
                q->box = b;
                q->owner = r;
                q->lost = whole ? int(a.lost * Pixels(b) / whole) : 0;
                pieces.push_back(q);
            }
        }
        Box_DestroyList(outside);
    }
    if (in.p->picture.preview || a.progress <= 0) {
        SavePhases(in, a);
        return;
    }
    // Nothing of it is painted before the passes come: they go on in its
    // own block order, from a full cycle.
    if (WorkArea *m = NewArea(a)) {
        m->box = cl;
        Random_ReinitSpecial(&m->phases, a.px, a.py);
        m->progress = 0;
        m->lost = 0;
        m->owner = in.n;
        List_Append(in.n->areas, m);
    }
}

// The records that keep areas next to the new one are returned, to merge.
std::vector<WorkProc *> Split(Insertion &in)
{
    std::vector<WorkProc *> contiguous;
    List *records = in.p->picture.st.workProcs;
    for (ListNode *rn = records->first; rn;) {
        ListNode *rnext = rn->next;
        WorkProc *r = RecordOf(rn);
        rn = rnext;
        Box overlap;
        if (!Box_Clip(&overlap, &r->bounds, &in.n->bounds))
            continue;
        std::vector<WorkArea *> pieces;
        for (ListNode *an = r->areas->first; an;) {
            ListNode *anext = an->next;
            WorkArea *a = AreaOf(an);
            Box cl;
            if (Box_Clip(&cl, &a->box, &in.n->bounds)) {
                SplitArea(in, r, *a, cl, pieces);
                FreeArea(a);
                Unlink(r->areas, an);
            }
            an = anext;
        }
        for (WorkArea *q : pieces)
            List_Append(r->areas, q);
        if (!List_Cardinal(r->areas)) {
            DropRecord(in.p, r);
            continue;
        }
        RecomputeBounds(r);
        if (Box_Contig(&r->bounds, &in.n->bounds, 0.5))
            contiguous.push_back(r);
    }
    return contiguous;
}

// What of the new bounds no area covers yet gets areas of the current
// work precision.
void AddOwnAreas(Insertion &in)
{
    WorkProc *n = in.n;
    const PictureState &s = in.p->picture.st;
    List *held = List_New();
    if (!held)
        return;
    for (ListNode *k = n->areas->first; k; k = k->next)
        List_Append(held, &AreaOf(k)->box);
    List *fresh = Box_RemoveAll(&n->bounds, held);
    List_Destroy(held, nullptr);
    if (!fresh)
        return;
    const int64_t all = Pixels(n->bounds);
    for (ListNode *k = fresh->first; k; k = k->next) {
        WorkArea a{};
        a.box = *static_cast<Box *>(k->element);
        a.px = s.workPrecX;
        a.py = s.workPrecY;
        if (in.hasSaved) {
            Random_Copy(&in.saved, &a.phases);
            Random_ReinitSpecial(&a.phases, a.px, a.py);
        } else {
            Random_Init(&a.phases, a.px, a.py);
        }
        a.lost = all ? int(n->lost * Pixels(a.box) / all) : 0;
        a.owner = n;
        if (WorkArea *q = NewArea(a))
            List_Append(n->areas, q);
    }
    Box_DestroyList(fresh);
}

void TraceRecords(const Pic *p, const char *when, const WorkProc *n)
{
    if (p->picture.debugWorkProc <= 1)
        return;
    std::fprintf(stderr, "%s", when);
    std::fprintf(stderr, "\tNew work-proc with %d areas , total %d work_proc\n", int(List_Cardinal(n->areas)),
                 Pending(p));
}

void Compact(Insertion &in, const std::vector<WorkProc *> &contiguous)
{
    WorkProc *n = in.n;
    for (WorkProc *r : contiguous) {
        for (ListNode *k = r->areas->first; k; k = k->next) {
            AreaOf(k)->owner = n;
            List_Append(n->areas, AreaOf(k));
        }
        List_Empty(r->areas, nullptr);
        DropRecord(in.p, r);
    }
    if (!contiguous.empty())
        RecomputeBounds(n);
}

Box Moved(const Box &b, int dx, int dy)
{
    return Box_Rect(b.x1 - dx, b.y1 - dy, b.width, b.height);
}

} // namespace

// ---------------------------------------------------------------------------
// Copies to the window.

namespace
{
Bool IsCompletion(Display *, XEvent *ev, XPointer arg)
{
    return ev->type == *reinterpret_cast<int *>(arg);
}

// The X image must not change before the server has read it.
void WaitCompletion(Pic *p)
{
    Display *dpy = Dpy(p);
    int type = CompletionType(dpy);
    XEvent ev;
    if (p->picture.share == 99)
        return;
    if (p->picture.share == 98) {
        while (!XCheckTypedWindowEvent(dpy, p->core.window, type, &ev)) {
        }
        return;
    }
    if (HasWindow(p))
        XIfEvent(dpy, &ev, IsCompletion, reinterpret_cast<XPointer>(&type));
}
} // namespace

void _PictureRefreshBox(Pic *p, const Box *box)
{
    XcPicturePart &c = p->picture;
    XcImage *xi = c.st.ximage;
    if (c.st.hold || !HasWindow(p) || !xi || !xi->image)
        return;
    Trace trace(p, "_PictureRefreshBox", 2, kFile);
    Box r;
    const Box limit = Box_Rect(0, 0, xi->image->width, xi->image->height);
    if (!Box_Clip(&r, box, &c.st.picture) || !Box_SelfClip(&r, &limit))
        return;
    const bool timed = Pixels(r) * 10 > PicturePixels(p);
    if (timed)
        PushClock();
    Display *dpy = Dpy(p);
    if (c.share && xi->shm) {
        XShmPutImage(dpy, p->core.window, c.st.gc, xi->image, r.x1, r.y1, r.x1, r.y1, unsigned(r.width),
                     unsigned(r.height), True);
        WaitCompletion(p);
    } else {
        XPutImage(dpy, p->core.window, c.st.gc, xi->image, r.x1, r.y1, r.x1, r.y1, unsigned(r.width),
                  unsigned(r.height));
    }
    if (timed)
        EvalDisplayKps(p, r.width, r.height, PopNonNullClock());
    RedrawWindowSelections(p, &r);
}

void _PictureRefreshAll(Pic *p)
{
    _PictureRefreshBox(p, &p->picture.st.picture);
}

// ---------------------------------------------------------------------------
// Invalidation.

void _PictureInvalidate(Pic *p, const Box *box)
{
    XcPicturePart &c = p->picture;
    PictureState &s = c.st;
    Trace trace(p, "Invalidate", 1, kFile);
    if (!HasWindow(p) || !s.ximage || !s.ximage->image)
        return;
    Box r;
    if (!Box_Clip(&r, box ? box : &s.picture, &s.picture))
        return;
    if (!c.image) {
        ViewFillDst(s.view, &r);
        RedrawImageSelections(p, &r);
        _PictureRefreshBox(p, &r);
        return;
    }
    if (c.preview) {
        if (c.preview == 2 && !s.noTiming)
            _PictureAdaptPreview(p, &r);
        SetFillers(p, FT2X_BLOCKS, s.previewPrecX, s.previewPrecY, 0, 0);
    } else {
        SetFillers(p, c.quality, 1, 1, 0, 0);
    }
    if (!c.preview && c.workProc) {
        PaintNomans(p, r);
        _PictureInsertWorkProc(p, &r);
        return;
    }
    // Only the adaptive preview uses the time: a measure costs up to a
    // millisecond of waiting for the clock to move.
    const bool timed = c.preview == 2 && !s.noTiming;
    if (timed)
        PushClock();
    Paint(p, &r);
    const int ms = timed ? PopNonNullClock() : 0;
    RedrawImageSelections(p, &r);
    _PictureRefreshBox(p, &r);
    if (timed)
        EvalPreviewKps(p, r.width, r.height, ms);
    const bool final = c.preview && s.previewPrecX == 1 && s.previewPrecY == 1 && c.quality == FT2X_BLOCKS;
    if (c.workProc && !final)
        _PictureInsertWorkProc(p, &r);
}

// ---------------------------------------------------------------------------
// The work procedure list.

void _PictureInsertWorkProc(Pic *p, const Box *box)
{
    PictureState &s = p->picture.st;
    Trace trace(p, "_PictureInsertWorkProc", 2, kFile);
    Box b;
    if (!s.workProcs || BoxEmpty(&s.visible) || !Box_Clip(&b, box ? box : &s.visible, &s.visible))
        return;
    WorkProc *n = new (std::nothrow) WorkProc{List_New(), 0, b, p, 0};
    if (!n || !n->areas) {
        delete n;
        return;
    }
    if (p->picture.debugWorkProc > 1)
        DumpBox("\tInserting new workproc ", b);
    Insertion in{p, n, {}, false};
    Absorb(in);
    const std::vector<WorkProc *> contiguous = Split(in);
    AddOwnAreas(in);
    n->timer = XtAppAddTimeOut(XtWidgetToApplicationContext(reinterpret_cast<Widget>(p)),
                               unsigned(p->picture.workProcTimeOut), TheWorkProc, n);
    List_Append(s.workProcs, n);
    TraceRecords(p, "\tBEFORE COMPACTION\n", n);
    Compact(in, contiguous);
    TraceRecords(p, "\tAFTER COMPACTION\n", n);
}

void _PictureClipWorkProcList(Pic *p)
{
    PictureState &s = p->picture.st;
    Trace trace(p, "_PictureClipWorkProcList", 2, kFile);
    if (!s.workProcs)
        return;
    for (ListNode *rn = s.workProcs->first; rn;) {
        ListNode *rnext = rn->next;
        WorkProc *r = RecordOf(rn);
        for (ListNode *an = r->areas->first; an;) {
            ListNode *anext = an->next;
            Box cl;
            if (BoxEmpty(&s.visible) || !Box_Clip(&cl, &AreaOf(an)->box, &s.visible)) {
                FreeArea(AreaOf(an));
                Unlink(r->areas, an);
            }
            an = anext;
        }
        if (!List_Cardinal(r->areas))
            DropRecord(p, r);
        else
            RecomputeBounds(r);
        rn = rnext;
    }
}

void _PictureMoveWorkProcList(Pic *p, int dx, int dy)
{
    List *records = p->picture.st.workProcs;
    Trace trace(p, "_PictureMoveWorkProcList", 2, kFile);
    for (ListNode *rn = records ? records->first : nullptr; rn; rn = rn->next) {
        WorkProc *r = RecordOf(rn);
        r->bounds = Moved(r->bounds, dx, dy);
        for (ListNode *an = r->areas->first; an; an = an->next)
            AreaOf(an)->box = Moved(AreaOf(an)->box, dx, dy);
    }
}

void _PictureKillWorkProcList(Pic *p)
{
    List *records = p->picture.st.workProcs;
    Trace trace(p, "_PictureKillWorkProcList", 2, kFile);
    while (records && records->first) {
        WorkProc *r = RecordOf(records->first);
        Unlink(records, records->first);
        FreeRecord(r);
    }
}

// ---------------------------------------------------------------------------
// Scrolling.

namespace
{
// The picture area less the strips that scrolling uncovers.
Box KeptArea(const Box &a, int dx, int dy)
{
    Box k = a;
    (dx > 0 ? k.x2 : k.x1) -= dx;
    (dy > 0 ? k.y2 : k.y1) -= dy;
    return Box_Rect(k.x1, k.y1, k.x2 - k.x1 + 1, k.y2 - k.y1 + 1);
}

void InvalidateStrips(Pic *p, const Box &kept)
{
    if (List *strips = Box_Remove(&p->picture.st.picture, &kept)) {
        for (ListNode *n = strips->first; n; n = n->next)
            _PictureInvalidate(p, static_cast<Box *>(n->element));
        Box_DestroyList(strips);
    }
}
} // namespace

void _PictureScroll(Pic *p, int dx, int dy)
{
    XcPicturePart &c = p->picture;
    PictureState &s = c.st;
    _PictureMoveWorkProcList(p, dx, dy);
    ViewScroll(s.view, dx, dy);
    // The visible area may be the same: areas pushed out of the picture
    // would still be refined for nothing.
    _PictureClipWorkProcList(p);
    const Box kept = KeptArea(s.picture, dx, dy);
    if (BoxEmpty(&kept) || !HasWindow(p) || !s.ximage) {
        _PictureInvalidate(p, nullptr);
        return;
    }
    const bool moveWindow = c.moveWindow && s.visibility == VisibilityUnobscured;
    // The window's old pixels come back from the X image when they cannot
    // be moved on the screen, so the X image must follow then too.
    if (c.moveWindow < 2 || !moveWindow)
        XcImage_MoveArea(s.ximage, kept.x1 + dx, kept.y1 + dy, kept.x1, kept.y1, kept.width, kept.height);
    if (!moveWindow) {
        {
            Flag hold(s.hold, 1);
            InvalidateStrips(p, kept);
        }
        _PictureRefreshAll(p);
        return;
    }
    if (c.showCrossCursor)
        _PictureDrawCross(p, nullptr);
    XCopyArea(Dpy(p), p->core.window, p->core.window, s.gc, kept.x1 + dx, kept.y1 + dy, unsigned(kept.width),
              unsigned(kept.height), kept.x1, kept.y1);
    if (c.showCrossCursor)
        _PictureDrawCross(p, nullptr);
    Flag untimed(s.noTiming, 1);
    InvalidateStrips(p, kept);
}

// ---------------------------------------------------------------------------
// Events.

void _PictureExpose(Widget w, XEvent *event, Region)
{
    Pic *p = reinterpret_cast<Pic *>(w);
    if (p->picture.st.destroyed)
        return;
    Trace trace(p, "Refresh", 1, kFile);
    const XExposeEvent &e = event->xexpose;
    if (p->picture.debugTrace > 0)
        std::fprintf(stderr, "\tregion : %d %d %d %d\n", e.x, e.y, e.width, e.height);
    const Box r = Box_Rect(e.x, e.y, e.width, e.height);
    _PictureRefreshBox(p, &r);
    _PictureDrawBorder(p);
}

void _PictureGraphicsExposeAction(Widget w, XEvent *event, String *, Cardinal *)
{
    Pic *p = reinterpret_cast<Pic *>(w);
    if (p->picture.st.destroyed || event->type != GraphicsExpose)
        return;
    const XGraphicsExposeEvent &e = event->xgraphicsexpose;
    const Box r = Box_Rect(e.x, e.y, e.width, e.height);
    _PictureRefreshBox(p, &r);
}

void _PictureVisibilityAction(Widget w, XEvent *event, String *, Cardinal *)
{
    if (event->type == VisibilityNotify)
        reinterpret_cast<Pic *>(w)->picture.st.visibility = event->xvisibility.state;
}

int XcPictureWorkPending(Widget w)
{
    if (!w || !XtIsSubclass(w, xcPictureWidgetClass))
        return 0;
    return Pending(reinterpret_cast<Pic *>(w));
}

void XcPictureSetPassObserver(PicturePassFn fn)
{
    passObserver = fn;
}
