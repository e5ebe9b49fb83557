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

struct Point {
    int32_t x, y;
    bool operator==(const Point &) const = default;
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
Box dabBox;  // destination reference of the dab technique
Box lastDab; // the last dab painted, for the brush position box
bool dabbed = false;
int32_t rx = 1, ry = 1, peak = 0; // the large brush
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

Box Rect(int32_t x, int32_t y, int32_t width, int32_t height)
{
    return Box{x, y, x + width - 1, y + height - 1, width, height, 0};
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

// Walks the Bresenham line from a to b inclusive, making a dab every
// dabStep pixels. The counter runs over the whole stroke, so the dabs stay
// evenly spaced across segments (the shared end pixel counts twice).
template <typename Dab> void WalkSegment(Point a, Point b, Dab dab)
{
    if (a == b) {
        dab(a);
        return;
    }
    const int32_t dx = std::abs(b.x - a.x), dy = -std::abs(b.y - a.y);
    const int32_t sx = a.x < b.x ? 1 : -1, sy = a.y < b.y ? 1 : -1;
    int64_t err = int64_t(dx) + dy;
    Point p = a;
    for (;;) {
        if (++dabCounter >= dabStep) {
            dabCounter = 0;
            dab(p);
        }
        if (p == b)
            break;
        const int64_t e2 = 2 * err;
        if (e2 >= dy) {
            err += dy;
            p.x += sx;
        }
        if (e2 <= dx) {
            err += dx;
            p.y += sy;
        }
    }
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

void DabAt(Point p)
{
    const int32_t w = E().brushWidth, h = E().brushHeight;
    dabBox = Rect(p.x - w / 2, p.y - h / 2, w, h);
    lastDab = dabBox;
    dabbed = true;
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
    if (e.brushKind == 2) {
        shape = e.activeBrush;
        if (!shape)
            return false;
        shapeMask = e.activeBrush2;
        src = Rect(0, 0, Image_Width(shape), Image_Height(shape));
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
        src = Rect(0, 0, w, h);
        fast = true;
    }
    if (!MakeFill(shape, shapeMask, btn, fast, e.floating))
        return false;
    dabBox = Rect(0, 0, w, h);
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
    return true;
}

void DabSegment(Point a, Point b)
{
    WalkSegment(a, b, DabAt);
}

void DabEnd()
{
    DestroyFill();
    if (dabbed)
        E().brushPosBox = lastDab;
}

// ---- Pencil and large techniques: rows of coverage through the row buffer ----

// Composites one row of coverage at (x, y): destination (x + i, y) reads
// source (i, 0) of the row buffer at scale 1.
void WriteRow(int x, int y, int length, unsigned char *)
{
    if (length < 1)
        return;
    MapAt(x, y);
    Box row = Rect(x, y, length, 1);
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
    const Box rowBox = Rect(0, 0, Image_Width(rb), 1);
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
    Dabstone_AllowMotion(99, 0, 0, 0);
    Dabstone_Working(0);
}

// Paints from the last point to p as the trace mode says.
void MotionStep(Point p)
{
    if (p == last)
        return;
    Dabstone_AllowMotion(0, window, stateMask, button);
    switch (E().traceMode) {
    case 0:
        technique->segment(last, p);
        break;
    case 1:
        technique->segment(p, p);
        break;
    default:
        break; // "single": only the dab at the press
    }
    last = p;
    Refresh_Flush();
    Dabstone_AllowMotion(1, 0, 0, 0);
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
    Dabstone_AllowMotion(1, 0, 0, 0);
    if (pending) {
        pending = 0;
        Release(pendingPoint);
    }
}

// Press, motion and release of the recorded button. Only a press may start,
// and only while no job runs.
void BrushPress(Point p, int32_t win, int32_t btn)
{
    window = win;
    stateMask = btn == 1 ? 256 : 1024;
    button = btn;
    if (Dabstone_IsWorking())
        return;
    if (!E().undoReady) {
        Alert_Warning(kBusyUndo, 0);
        return;
    }
    technique = Choose();
    if (!technique->start(btn)) {
        Alert_Warning(kCantStart, 0);
        return;
    }
    Undo_Validate();
    Dabstone_Working(1);
    Dabstone_AllowMotion(0, window, stateMask, button);
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
    Dabstone_AllowMotion(99, 0, 0, 0);
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
    Dabstone_AllowMotion(99, 0, 0, 0);
    Dabstone_Working(0);
}

void DoFill()
{
    GG_Dabstone &e = E();
    const int floating = e.floating;
    e.floating = 1;
    if (MakeFill(e.colorImage, nullptr, button, false, 1)) {
        const Box one = Rect(0, 0, 1, 1);
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
    stateMask = btn == 1 ? 256 : 1024;
    button = btn;
    if (Dabstone_IsWorking())
        return;
    if (!E().colorImage) {
        Alert_Warning(kCantFill, 0);
        return;
    }
    if (!E().undoReady) {
        Alert_Warning(kBusyUndo, 0);
        return;
    }
    Undo_Validate();
    Dabstone_Working(1);
    Dabstone_AllowMotion(-1, window, stateMask, button);
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
    auto word = [ev](int i) { return Bytes_GetS32(ev + 4 * i); };
    return Event{word(MSG_EV_KIND), word(MSG_EV_WINDOW), word(MSG_EV_X),
                 word(MSG_EV_Y),    word(MSG_EV_BUTTON), word(MSG_EV_STATE)};
}

} // namespace

int Work_Technique()
{
    const GG_Dabstone &e = E();
    if (e.brushKind == 2)
        return WORK_DAB;
    if (!e.aero && e.brushWidth == e.brushHeight)
        return WORK_PENCIL;
    if (e.brushWidth < 202 && e.brushHeight < 202)
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
