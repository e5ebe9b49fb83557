#include "brush/Work.h"

#include "brush/Box.h"
#include "brush/Buildin.h"
#include "brush/Interval.h"
#include "brush/Optimize.h"
#include "brush/Refresh.h"
#include "brush/Undo.h"
#include "core/Dabstone.h"
#include "core/DabstonePaste.h"
#include "core/Image.h"
#include "core/Msg.h"
#include "ui/Alert.h"
#include "xc/FillTev2Tev.h"
#include "xc/View.h"

#include <algorithm>
#include <cstdlib>
#include <string>

double pencil_r = 1.0;
double pencil_opa = 1.0;

namespace
{

const char *const kBusyUndo = "undo buffer is beeing initiazed. Please retry later...";
const char *const kCantStart = "can't do that just now ! please retry later...";
const char *const kCantFill = "can't do that just now. Please try later...";

// Trace modes: a continuous line, one dab per pointer event, or the press only.
enum { TRACE_CONT = 0, TRACE_DOT = 1 };
// The stroke brush image's size: larger built-in brushes are drawn analytically.
constexpr int kStrokeBrushSize = 201;

struct Point {
    int32_t x, y;
    bool operator==(const Point &) const = default;
};

// A rectangle of positions in 64 bits: event coordinates plus a shape's
// reach do not always fit 32.
struct Span {
    int64_t x1, y1, x2, y2;
};

// How far a technique's shape reaches from its centre on each side.
struct Reach {
    int64_t left, right, up, down;
};

// A stroke technique: start (false when it cannot paint), segment, end.
struct Technique {
    bool (*start)(int button);
    void (*segment)(Point a, Point b);
    void (*end)();
};

// ---- Stroke state: one stroke or fill at a time ----

int stroking = 0;
int pending = 0;
Point last;
Point pendingPoint;
int32_t window = 0, stateMask = 0, button = 0;
const Technique *technique = nullptr;
void (*afterSelection)() = nullptr;
void (*brutalStop)() = nullptr;
int fillJob = 0; // a fill has started and not finished

int32_t dabStep = 1, dabCounter = 0;
Fill *fill = nullptr;
View *view = nullptr;
int fastKernel = OPTIMIZE_NONE;
Box dabBox;       // destination reference of the dab technique
Point lastCentre; // the last dab of the stroke, for the brush position box
bool dabbed = false;
int32_t rx = 1, ry = 1, peak = 0; // the large brush
Reach reach{};                    // of the dab or large shape
unsigned char *rowBuffer = nullptr;

// The stroke brush image holds this built-in brush; drawn again only when
// a parameter (or the image, known by its path) changes.
struct Built {
    int32_t width = -1, height = -1, peak = -1, aero = -1;
    std::string image;
    bool operator==(const Built &) const = default;
} built;

GG_Dabstone &E()
{
    return *G_dabstone;
}

int AlphaPlaneOf(const Image *image)
{
    return Image_AlphaPlane(image) >= 0 ? Image_AlphaPlane(image) : 0;
}

int32_t Peak()
{
    return Buildin_Peak(E().opacity);
}

// ---- Painting modes ----

// The fill options of a button: 1 paints the current colour, 3 erases
// (lowers the alpha when there is an alpha plane, else paints zero).
FillTev2TevOptions PaintOptions(int btn, Image *srcMask, int floating)
{
    const GG_Dabstone &e = E();
    Image *image = e.image;
    const int alphaPlane = Image_AlphaPlane(image); // -1 when none
    const bool onAlpha = alphaPlane >= 0 && e.plane == alphaPlane;
    FillTev2TevOptions o{};
    o.dithering = e.dithering;
    o.srcMask = srcMask;
    o.srcMaskPlane = 0;
    o.dstMask = nullptr;
    o.dstMaskPlane = 0;
    if (btn == 1) {
        o.dstPlane = e.plane;
        o.op = e.op == 1 && !onAlpha && alphaPlane >= 0 ? FT2T_OP_UNDER : FT2T_OP_OVER;
        o.floating = floating;
        o.fgValues = e.color;
        o.noDstAlpha = !e.alpha || onAlpha;
    } else {
        o.dstPlane = alphaPlane >= 0 ? alphaPlane : e.plane;
        o.op = FT2T_OP_OVER;
        o.floating = 1;
        o.fgValues = ColorValue{};
        o.fgValues.mode = alphaPlane >= 0 || e.plane >= 0 ? COLOR_GRAY : Image_Mode(image);
        o.noDstAlpha = 1;
    }
    return o;
}

constexpr int kPaintMask = FT2T_DITHERING | FT2T_SRCMASK | FT2T_NODSTALPHA | FT2T_DSTMASK | FT2T_FGPIXEL |
                           FT2T_FLOATING | FT2T_OP | FT2T_DSTPLANE;

// The fill object of a technique; the fast kernel is chosen once here.
bool MakeFill(Image *source, Image *srcMask, int btn, bool fastAllowed, int floating)
{
    FillTev2TevOptions o = PaintOptions(btn, srcMask, floating);
    fill = FillTev2TevCreate(source, E().image, &o, kPaintMask);
    if (!fill)
        return false;
    fastKernel = fastAllowed ? Optimize_Choose(fill) : OPTIMIZE_NONE;
    return true;
}

// Before each fill call: the target's mask (which makes the filler
// reselect its kernels), then the fast kernel again.
void SetTarget(const Box *target)
{
    FillTev2TevSetDstMask(fill, target->link ? E().mask : nullptr, 0);
    Optimize_Install(fill, fastKernel);
}

void DestroyFill()
{
    if (view)
        ViewDestroy(view);
    if (fill)
        FillTev2TevDestroy(fill);
    view = nullptr;
    fill = nullptr;
}

template <typename Fn> void ForEachTarget(Fn fn)
{
    List *targets = E().targets;
    if (!targets)
        return;
    for (ListNode *n = targets->first; n; n = n->next)
        fn(static_cast<const Box *>(n->element));
}

// Remembers where the stroke dabbed last.
void Dabbed(Point p)
{
    lastCentre = p;
    dabbed = true;
}

// The Bresenham line from a to b, pixel i of its major + 1 pixels in closed
// form: i steps along the major axis and Minor(i) along the other, as the
// error-term walk (x-major on ties) moves. 64-bit lengths and 128-bit products,
// so far end points neither overflow nor cost a step per pixel.
struct Line {
    Point a;
    int64_t major, minor; // |d| along each axis
    bool xMajor;
    int sx, sy;

    Line(Point from, Point to) : a(from)
    {
        const int64_t dx = std::abs(int64_t(to.x) - from.x), dy = std::abs(int64_t(to.y) - from.y);
        xMajor = dx >= dy;
        major = std::max(dx, dy);
        minor = std::min(dx, dy);
        sx = from.x < to.x ? 1 : -1;
        sy = from.y < to.y ? 1 : -1;
    }
    int64_t Minor(int64_t i) const { return int64_t((__int128(2) * minor * i + major) / (2 * major)); }
    Point At(int64_t i) const
    {
        const int64_t m = Minor(i);
        return xMajor ? Point{int32_t(a.x + sx * i), int32_t(a.y + sy * m)}
                      : Point{int32_t(a.x + sx * m), int32_t(a.y + sy * i)};
    }
    // First pixel whose minor step count is at least k, 0 <= k <= minor.
    int64_t FirstReaching(int64_t k) const
    {
        return k == 0 ? 0 : CeilDiv(__int128(major) * (2 * k - 1), 2 * minor);
    }
    // Last pixel whose minor step count is at most k, 0 <= k <= minor.
    int64_t LastWithin(int64_t k) const
    {
        return k >= minor ? major : CeilDiv(__int128(major) * (2 * k + 1), 2 * minor) - 1;
    }
    static int64_t CeilDiv(__int128 n, int64_t d) { return int64_t((n + d - 1) / d); }

    // The pixels whose position lies in [lo, hi] on each axis: one run,
    // since both coordinates are monotonic; first > last when none.
    std::pair<int64_t, int64_t> Within(const Span &s) const
    {
        const auto [m0, m1] =
            Steps(xMajor ? a.x : a.y, xMajor ? sx : sy, xMajor ? s.x1 : s.y1, xMajor ? s.x2 : s.y2);
        const auto [k0, k1] =
            Steps(xMajor ? a.y : a.x, xMajor ? sy : sx, xMajor ? s.y1 : s.x1, xMajor ? s.y2 : s.x2);
        const int64_t kLo = std::max<int64_t>(k0, 0), kHi = std::min(k1, minor);
        if (kLo > kHi)
            return {1, 0};
        const int64_t first = minor ? FirstReaching(kLo) : 0, last = minor ? LastWithin(kHi) : major;
        return {std::max({m0, first, int64_t(0)}), std::min({m1, last, major})};
    }
    // Step counts n with from + sign × n in [lo, hi].
    static std::pair<int64_t, int64_t> Steps(int64_t from, int sign, int64_t lo, int64_t hi)
    {
        return sign > 0 ? std::pair(lo - from, hi - from) : std::pair(from - hi, from - lo);
    }
};

// Centres whose shape can touch the bounding box of the targets: the
// technique's reach on each side of its centre. Empty without targets.
Span CentreSpan()
{
    Span s{1, 1, 0, 0};
    bool any = false;
    ForEachTarget([&](const Box *t) {
        s = any ? Span{std::min<int64_t>(s.x1, t->x1), std::min<int64_t>(s.y1, t->y1),
                       std::max<int64_t>(s.x2, t->x2), std::max<int64_t>(s.y2, t->y2)}
                : Span{t->x1, t->y1, t->x2, t->y2};
        any = true;
    });
    if (!any)
        return s;
    return Span{s.x1 - reach.right, s.y1 - reach.down, s.x2 + reach.left, s.y2 + reach.up};
}

// The Bresenham line from a to b inclusive, a dab every dabStep pixels. The
// counter runs over the whole stroke, so the dabs stay evenly spaced across
// segments (the shared end pixel counts twice). Only the dabs that can touch
// a target are made; the rest of the line is counted, not walked.
template <typename Dab> void WalkSegment(Point a, Point b, Dab dab)
{
    if (a == b) {
        Dabbed(a);
        dab(a);
        return;
    }
    const Line line(a, b);
    const int64_t step = dabStep, before = dabCounter; // pixel i dabs when (before + i + 1) % step == 0
    const auto [first, last] = line.Within(CentreSpan());
    for (int64_t i = first + (step - (before + first + 1) % step) % step; i <= last; i += step)
        dab(line.At(i));
    const int64_t end = (before + line.major + 1) % step;
    if (line.major >= end)
        Dabbed(line.At(line.major - end));
    dabCounter = int32_t(end);
}

// ---- Dab technique ----

// Runs the fast kernel on a box of the destination, or the fill object.
void FillBox(Box *box)
{
    if (fastKernel == OPTIMIZE_RGB)
        OptimizeRGB(view, fill->data, box);
    else if (fastKernel == OPTIMIZE_GRAY)
        OptimizeGRAY(view, fill->data, box);
    else
        fill->fill(view, fill->data, box);
}

// Maps source (0, 0) onto destination (x, y) at scale 1. Set in place: the
// kernels read only the two axis maps, and dabs and rows come by the
// thousand (the image area and nomans strips are left as they are).
void MapAt(int32_t x, int32_t y)
{
    view->xMap = ViewMap{VIEW_ONE, 0, x, 1, 1, 0};
    view->yMap = ViewMap{VIEW_ONE, 0, y, 1, 1, 0};
}

// The dab box at centre p: the brush box with its corner at p less half the
// size, in 64 bits since p may lie anywhere.
Span DabSpan(Point p)
{
    const int64_t x1 = int64_t(p.x) - reach.left, y1 = int64_t(p.y) - reach.up;
    return Span{x1, y1, x1 + E().brushWidth - 1, y1 + E().brushHeight - 1};
}

bool FitsInt32(int64_t v)
{
    return v >= INT32_MIN && v <= INT32_MAX;
}

void DabAt(Point p)
{
    const Span s = DabSpan(p);
    // A box beyond the 32-bit range touches no image.
    if (!FitsInt32(s.x1) || !FitsInt32(s.y1) || !FitsInt32(s.x2) || !FitsInt32(s.y2))
        return;
    dabBox = Box_Rect(int32_t(s.x1), int32_t(s.y1), E().brushWidth, E().brushHeight);
    // The fast kernel runs at scale 1 only (the brush image's own size).
    if (fastKernel != OPTIMIZE_NONE)
        MapAt(dabBox.x1, dabBox.y1);
    else
        ViewSetMap(view, nullptr, &dabBox);
    ForEachTarget([](const Box *target) {
        Box part;
        if (!Box_Clip(&part, &dabBox, target))
            return;
        part.link = 0;
        SetTarget(target);
        if (fastKernel != OPTIMIZE_NONE)
            FillBox(&part);
        else
            ViewFillDst(view, &part);
        Refresh_AddBox(&part);
    });
}

bool DabStart(int btn)
{
    GG_Dabstone &e = E();
    const int32_t w = e.brushWidth, h = e.brushHeight;
    Image *shape, *shapeMask = nullptr;
    Box src;
    bool fast;
    if (e.brushKind == DAB_BRUSH_USER) {
        shape = e.activeBrush;
        if (!shape)
            return false;
        shapeMask = e.activeBrush2;
        src = Box_OfImage(shape);
        fast = Image_Width(shape) == w && Image_Height(shape) == h;
    } else {
        shape = e.strokeBrush;
        if (!shape || w > Image_Width(shape) || h > Image_Height(shape))
            return false;
        const int32_t pk = Peak(), aero = e.aero ? 1 : 0;
        const Built want{w, h, pk, aero, Image_Path(shape)};
        if (!(built == want)) {
            if (Buildin_Make(shape, AlphaPlaneOf(shape), w, h, 1, pk, aero ? 1.0 : 0.0))
                return false;
            built = want;
        }
        src = Box_Rect(0, 0, w, h);
        fast = true;
    }
    if (!MakeFill(shape, shapeMask, btn, fast, e.floating))
        return false;
    dabBox = Box_Rect(0, 0, w, h);
    ViewOptions vo{};
    vo.dstRef = &dabBox;
    view = NViewCreate(&src, &e.imageBox, nullptr, fill, &vo, VIEW_MAP);
    if (!view) {
        DestroyFill();
        return false;
    }
    dabStep = std::max(1, int32_t(e.spacing / 100.0 * std::min(w, h)));
    dabCounter = 0;
    dabbed = false;
    reach = Reach{w / 2, w - 1 - w / 2, h / 2, h - 1 - h / 2};
    return true;
}

void DabSegment(Point a, Point b)
{
    WalkSegment(a, b, DabAt);
}

// The brush box of the last dab, moved into the 32-bit range when the dab
// lay at its edge.
void DabEnd()
{
    DestroyFill();
    if (!dabbed)
        return;
    const int32_t w = E().brushWidth, h = E().brushHeight;
    const Span s = DabSpan(lastCentre);
    E().brushPosBox =
        Box_Rect(int32_t(std::clamp<int64_t>(s.x1, INT32_MIN, int64_t(INT32_MAX) - w + 1)),
                 int32_t(std::clamp<int64_t>(s.y1, INT32_MIN, int64_t(INT32_MAX) - h + 1)), w, h);
}

// ---- Pencil and large techniques: rows of coverage through the row buffer ----

// Composites one row of coverage at (x, y): destination (x + i, y) reads
// source (i, 0) of the row buffer at scale 1.
void WriteRow(int x, int y, int length, unsigned char *)
{
    if (length < 1)
        return;
    MapAt(x, y);
    Box row = Box_Rect(x, y, length, 1);
    FillBox(&row);
    Refresh_AddBox(&row);
}

// The same after removing what this stroke already painted there, so that
// overlapping pieces do not build up beyond the opacity.
void WriteFilteredRow(int x, int y, int length, unsigned char *buffer)
{
    Interval_FilterRow(pencil_opa, y, x, length, buffer);
    WriteRow(x, y, length, buffer);
}

Buildin_RowWriter rowWriter = WriteRow;

// Fill and view over the row-buffer image; false without one.
bool RowStart(int btn)
{
    GG_Dabstone &e = E();
    Image *rb = e.rowBuffer;
    if (!rb || Image_Width(e.image) > Image_Width(rb))
        return false;
    if (!MakeFill(rb, nullptr, btn, true, e.floating))
        return false;
    const Box rowBox = Box_Rect(0, 0, Image_Width(rb), 1);
    view = NViewCreate(&rowBox, &e.imageBox, nullptr, fill, nullptr, 0);
    if (!view) {
        DestroyFill();
        return false;
    }
    rowBuffer = Image_Row(rb, AlphaPlaneOf(rb), 0);
    rowWriter = WriteRow;
    return true;
}

bool PencilStart(int btn)
{
    if (!RowStart(btn))
        return false;
    pencil_r = E().brushWidth;
    pencil_opa = E().opacity / 100.0;
    if (E().opacity < 100) {
        if (Interval_PrepareRows(Image_Height(E().image))) {
            DestroyFill();
            return false;
        }
        rowWriter = WriteFilteredRow;
    }
    return true;
}

void PencilSegment(Point a, Point b)
{
    ForEachTarget([&](const Box *target) {
        SetTarget(target);
        FastWire(target, rowBuffer, rowWriter, a.x, a.y, b.x, b.y, pencil_r, pencil_r, 0);
    });
}

void PencilEnd()
{
    DestroyFill();
    if (rowWriter == WriteFilteredRow)
        Interval_FreeRows();
    rowWriter = WriteRow;
}

bool LargeStart(int btn)
{
    if (!RowStart(btn))
        return false;
    const GG_Dabstone &e = E();
    rx = std::max(1, (e.brushWidth - 1) / 2);
    ry = std::max(1, (e.brushHeight - 1) / 2);
    peak = Peak();
    dabStep = std::max(1, int32_t(e.spacing / 100.0 * (e.brushWidth + e.brushHeight) / 4));
    dabCounter = 0;
    reach = Reach{rx, rx, ry, ry};
    return true;
}

void LargeAt(Point p)
{
    ForEachTarget([&](const Box *target) {
        SetTarget(target);
        BuildIn_Wire(E().rowBuffer, AlphaPlaneOf(E().rowBuffer), rx, ry, peak, 0.0, p.x, p.y, target,
                     WriteRow);
    });
}

void LargeSegment(Point a, Point b)
{
    WalkSegment(a, b, LargeAt);
}

void LargeEnd()
{
    DestroyFill();
}

const Technique kPencil = {PencilStart, PencilSegment, PencilEnd};
const Technique kDab = {DabStart, DabSegment, DabEnd};
const Technique kLarge = {LargeStart, LargeSegment, LargeEnd};

int forced = -1; // Work_ForceTechnique

const Technique *Choose()
{
    switch (forced >= 0 ? forced : Work_Technique()) {
    case WORK_PENCIL:
        return &kPencil;
    case WORK_LARGE:
        return &kLarge;
    default:
        return &kDab;
    }
}

// ---- The brush tool ----

void ClearActions()
{
    afterSelection = nullptr;
    brutalStop = nullptr;
}

// Ends the stroke: the technique's end, the refresh of everything painted,
// and the engine free again.
void EndStroke()
{
    if (!stroking)
        return;
    technique->end();
    stroking = 0;
    pending = 0;
    ClearActions();
    Refresh_End();
    Dabstone_AllowMotion(MSG_MOTION_END, 0, 0, 0);
    Dabstone_Working(0);
}

// Paints from the last point to p as the trace mode says.
void MotionStep(Point p)
{
    if (p == last)
        return;
    Dabstone_AllowMotion(MSG_MOTION_HOLD, window, stateMask, button);
    switch (E().traceMode) {
    case TRACE_CONT:
        technique->segment(last, p);
        break;
    case TRACE_DOT:
        technique->segment(p, p);
        break;
    default:
        break; // "single": only the dab at the press
    }
    last = p;
    Refresh_Flush();
    Dabstone_AllowMotion(MSG_MOTION_ALLOW, 0, 0, 0);
}

void Release(Point p)
{
    if (E().selectionInProgress) {
        pending = 1;
        pendingPoint = p;
        return;
    }
    MotionStep(p);
    EndStroke();
}

void FirstDab()
{
    technique->segment(last, last);
    Refresh_Flush();
    Dabstone_AllowMotion(MSG_MOTION_ALLOW, 0, 0, 0);
    if (pending) {
        pending = 0;
        Release(pendingPoint);
    }
}

// Button 1 paints and 3 erases; no other has a painting mode.
bool PaintButton(int32_t btn)
{
    return btn == 1 || btn == 3;
}

// The pointer state bit of the button, which motion events must carry.
int32_t StateMask(int32_t btn)
{
    return btn == 1 ? MSG_STATE_BUTTON1 : MSG_STATE_BUTTON3;
}

// Press, motion and release of the recorded button. Only a press may start,
// and only while no job runs.
void BrushPress(Point p, int32_t win, int32_t btn)
{
    window = win;
    stateMask = StateMask(btn);
    button = btn;
    if (Dabstone_IsWorking())
        return;
    if (!E().undoReady) {
        Alert_Warning(kBusyUndo, 0);
        return;
    }
    technique = Choose();
    if (!PaintButton(btn) || !technique->start(btn)) {
        Alert_Warning(kCantStart, 0);
        return;
    }
    Undo_Validate();
    Dabstone_Working(1);
    Dabstone_AllowMotion(MSG_MOTION_HOLD, window, stateMask, button);
    stroking = 1;
    last = p;
    brutalStop = EndStroke;
    if (E().useSelection && !E().maskWanted) {
        afterSelection = FirstDab;
        Dabstone_AskMask();
        return;
    }
    FirstDab();
}

// ---- The fill tool ----

void FinishFill()
{
    if (E().selectionInProgress) {
        pending = 1;
        return;
    }
    pending = 0;
    fillJob = 0;
    ClearActions();
    Refresh_End();
    Dabstone_AllowMotion(MSG_MOTION_END, 0, 0, 0);
    Dabstone_Working(0);
}

// Abandons a fill whatever it waits for.
void StopFill()
{
    if (!fillJob)
        return;
    pending = 0;
    fillJob = 0;
    Refresh_End();
    Dabstone_AllowMotion(MSG_MOTION_END, 0, 0, 0);
    Dabstone_Working(0);
}

void DoFill()
{
    GG_Dabstone &e = E();
    const int floating = e.floating;
    e.floating = 1;
    if (MakeFill(e.colorImage, nullptr, button, false, 1)) {
        const Box one = Box_Rect(0, 0, 1, 1);
        view = NViewCreate(&one, &e.imageBox, nullptr, fill, nullptr, 0);
        if (view)
            ForEachTarget([](const Box *target) {
                SetTarget(target);
                ViewFillDst(view, target);
                Box painted = *target;
                painted.link = 0;
                Refresh_AddBox(&painted);
                Refresh_Flush();
            });
        DestroyFill();
    }
    e.floating = floating;
    FinishFill();
}

void FillPress(int32_t win, int32_t btn)
{
    window = win;
    stateMask = StateMask(btn);
    button = btn;
    if (Dabstone_IsWorking())
        return;
    if (!E().colorImage || !PaintButton(btn)) {
        Alert_Warning(kCantFill, 0);
        return;
    }
    if (!E().undoReady) {
        Alert_Warning(kBusyUndo, 0);
        return;
    }
    Undo_Validate();
    Dabstone_Working(1);
    Dabstone_AllowMotion(MSG_MOTION_NONE, window, stateMask, button);
    pending = 1;
    fillJob = 1;
    brutalStop = StopFill;
    if (E().useSelection && !E().maskWanted) {
        afterSelection = DoFill;
        Dabstone_AskMask();
        return;
    }
    DoFill();
}

struct Event {
    int32_t kind, window, x, y, button, state;
};

Event Decode(const unsigned char *ev)
{
    return Event{Msg_Word(ev, MSG_EV_KIND), Msg_Word(ev, MSG_EV_WINDOW), Msg_Word(ev, MSG_EV_X),
                 Msg_Word(ev, MSG_EV_Y),    Msg_Word(ev, MSG_EV_BUTTON), Msg_Word(ev, MSG_EV_STATE)};
}

} // namespace

int Work_Technique()
{
    const GG_Dabstone &e = E();
    if (e.brushKind == DAB_BRUSH_USER)
        return WORK_DAB;
    if (!e.aero && e.brushWidth == e.brushHeight)
        return WORK_PENCIL;
    if (e.brushWidth <= kStrokeBrushSize && e.brushHeight <= kStrokeBrushSize)
        return WORK_DAB;
    return WORK_LARGE;
}

void Work_ForceTechnique(int technique)
{
    forced = technique;
}

void Work_Brush(void *, const unsigned char *event)
{
    if (!event || pending || !G_dabstone || !E().image)
        return;
    const Event ev = Decode(event);
    if (ev.button == 2)
        return;
    const Point p{ev.x, ev.y};
    switch (ev.kind) {
    case MSG_EVK_PRESS:
        if (!stroking && !fillJob)
            BrushPress(p, ev.window, ev.button);
        break;
    case MSG_EVK_MOTION:
        if (stroking && (ev.state & stateMask))
            MotionStep(p);
        break;
    case MSG_EVK_RELEASE:
        if (stroking && ev.button == button)
            Release(p);
        break;
    default:
        break;
    }
}

void Work_Fill(void *, const unsigned char *event)
{
    if (!event || pending || !G_dabstone || !E().image)
        return;
    const Event ev = Decode(event);
    if (ev.button == 2)
        return;
    if (ev.kind == MSG_EVK_PRESS && !stroking && !fillJob)
        FillPress(ev.window, ev.button);
    else if (ev.kind == MSG_EVK_RELEASE && fillJob && ev.button == button)
        FinishFill();
}

void Work_AfterSelection()
{
    void (*action)() = afterSelection;
    afterSelection = nullptr;
    if (action)
        action();
}

void Work_BrutalStop()
{
    void (*action)() = brutalStop;
    ClearActions();
    if (action)
        action();
}
