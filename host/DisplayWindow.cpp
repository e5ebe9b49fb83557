#include "host/DisplayWindow.h"

#include "brush/Box.h"
#include "xc/ColorValue.h"
#include "xc/Selection.h"
#include "xc/View.h"
#include "xc/Visual.h"
#include "xc/XcPicture.h"
#include "xc/XcRuler.h"

#include <X11/Intrinsic.h>
#include <X11/Shell.h>
#include <X11/keysym.h>
#include <Xm/Form.h>
#include <Xm/Protocols.h>
#include <Xm/Xm.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace
{
constexpr int DISPLAY_NOT_FOUND = 1051;
constexpr int UNSUPPORTED_VISUAL = 1079;
constexpr int SCREEN_MARGIN = 32; // a window as large as the screen would hide its neighbours
constexpr int MAX_CURSOR_SIDE = 1024;
constexpr int RULER_THICKNESS = 24;

// Zoom steps as source pixels per screen pixel, from the smallest picture.
const ViewZoom zoomSteps[] = {{16, 1}, {12, 1}, {8, 1}, {6, 1}, {4, 1}, {3, 1},  {2, 1}, {1, 1},
                              {1, 2},  {1, 3},  {1, 4}, {1, 6}, {1, 8}, {1, 12}, {1, 16}};

// DRAG_SELECT draws a new rectangle, DRAG_EDIT moves a handle or the whole
// of the selected shape.
enum Drag { DRAG_NONE, DRAG_PAINT, DRAG_PLACE, DRAG_SELECT, DRAG_EDIT, DRAG_SCROLL };

// A polygon with more points shows only its first one's handle: thousands
// of handles would hide it (and cost a box each at every redraw).
constexpr int32_t MAX_POINT_HANDLES = 1000;
// A second press this near the first (window pixels, each way) within the
// multi-click time is a double click.
constexpr int DOUBLE_CLICK_SLOP = 4;
// The edges and corners of a shape's box, which edits drag (centre excluded).
const int32_t boxControls[] = {SELECTION_TOP_LEFT,    SELECTION_TOP,          SELECTION_TOP_RIGHT,
                               SELECTION_RIGHT,       SELECTION_BOTTOM_RIGHT, SELECTION_BOTTOM,
                               SELECTION_BOTTOM_LEFT, SELECTION_LEFT};

// A store image made in memory for the brush cursor: grey and alpha, 8 bits,
// the planes page-aligned after the header as in a store file.
struct MemoryImage {
    struct Free {
        void operator()(unsigned char *p) const { std::free(p); }
    };
    std::unique_ptr<unsigned char, Free> bytes;
    Image *image() const { return reinterpret_cast<Image *>(bytes.get()); }
};

struct Outline {
    DisplayRect r; // window pixels
    unsigned long pixel;
};
} // namespace

struct DisplayWindow {
    XtAppContext app = nullptr;
    ::Display *dpy = nullptr;
    XcVisual *visual = nullptr;
    Widget shell = nullptr, form = nullptr, picture = nullptr, hRuler = nullptr, vRuler = nullptr;
    GC gc = nullptr;
    const Image *image = nullptr;
    int width = 0, height = 0;                 // of the image
    ViewZoom zoom{1, 1};                       // as the widget last reported it
    std::vector<ScriptCommand> *out = nullptr; // while Poll runs
    unsigned long placedPixel = 0;
    // The pointer, in window and image pixels.
    bool pointerIn = false;
    int px = 0, py = 0, ix = 0, iy = 0;
    // The brush cursor.
    int brushW = 0, brushH = 0;
    MemoryImage cursor;
    bool cursorShown = false, cursorStale = true;
    // Outlines, in image pixels; `drawn` is what lies on the window now.
    bool placed = false;
    DisplayRect placedBox{};
    std::vector<Outline> drawn;
    // The selection's shapes, shown by the picture as selection objects
    // (one per shape, in the same order), and the one selected or -1.
    std::vector<Shape> shapes;
    std::vector<Selection *> shown;
    int selected = -1;
    bool exposed = false;
    // A drag in progress: its start in image pixels, the last window position.
    Drag drag = DRAG_NONE;
    int dragButton = 0, sx = 0, sy = 0, lastX = 0, lastY = 0;
    bool dragAdd = false;
    DisplayRect rubber{}; // the brush's new place
    // Shapes being made: the new rectangle or the polygon being clicked
    // (with the pointer as its last point), shown as an edited selection.
    Selection *sketch = nullptr;
    std::vector<int32_t> polygon; // points clicked; empty: no polygon is being drawn
    bool polygonAdd = false;
    Time lastClick = 0;
    int lastClickX = 0, lastClickY = 0;
    // DRAG_EDIT: the point index or control code dragged, where it was at the
    // press, whether it moved, and with keep ratio the opposite corner.
    int32_t handle = SELECTION_NONE;
    int32_t hx = 0, hy = 0;
    bool edited = false, keepRatio = false;
    int32_t fixX = 0, fixY = 0;
};

namespace
{

// ---- Coordinates ---------------------------------------------------------------

void ToImage(const DisplayWindow *w, int x, int y, int *ix, int *iy)
{
    XcPictureConvert(w->picture, XC_PICTURE_WINDOW, x, y, XC_PICTURE_SOURCE, ix, iy);
}

// The first window pixel that shows image pixel (x, y): the widget gives the
// centre of its span.
void FirstWindowPixel(const DisplayWindow *w, int x, int y, int *wx, int *wy)
{
    XcPictureConvert(w->picture, XC_PICTURE_SOURCE, x, y, XC_PICTURE_WINDOW, wx, wy);
    *wx -= w->zoom.den / (2 * w->zoom.num);
    *wy -= w->zoom.den / (2 * w->zoom.num);
}

DisplayRect WindowRect(const DisplayWindow *w, const DisplayRect &r)
{
    int x1, y1, x2, y2;
    FirstWindowPixel(w, r.x, r.y, &x1, &y1);
    FirstWindowPixel(w, r.x + r.width, r.y + r.height, &x2, &y2);
    return {x1, y1, std::max(x2 - x1, 1), std::max(y2 - y1, 1)};
}

DisplayRect Normalised(int x1, int y1, int x2, int y2)
{
    return {std::min(x1, x2), std::min(y1, y2), std::abs(x2 - x1) + 1, std::abs(y2 - y1) + 1};
}

bool Clip(const DisplayWindow *w, int *x, int *y, int *width, int *height)
{
    // The far edge in 64 bits: a redraw request may name any 32-bit rectangle.
    int x2 = int(std::min<int64_t>(int64_t(*x) + *width, w->width));
    int y2 = int(std::min<int64_t>(int64_t(*y) + *height, w->height));
    *x = std::max(*x, 0);
    *y = std::max(*y, 0);
    *width = x2 - *x;
    *height = y2 - *y;
    return *width > 0 && *height > 0;
}

// Paints a window rectangle from the image again: the image pixels it shows,
// one more on each side since the window edges fall inside them.
void RepaintWindowRect(DisplayWindow *w, int x, int y, int width, int height)
{
    int x1, y1, x2, y2;
    ToImage(w, x, y, &x1, &y1);
    ToImage(w, x + width - 1, y + height - 1, &x2, &y2);
    Box b = Box_Rect(x1 - 1, y1 - 1, x2 - x1 + 3, y2 - y1 + 3);
    XcPictureDirectRefresh(w->picture, &b);
}

// ---- Outlines over the picture ---------------------------------------------------------

std::vector<Outline> CurrentOutlines(const DisplayWindow *w)
{
    std::vector<Outline> all;
    if (w->placed)
        all.push_back({WindowRect(w, w->placedBox), w->placedPixel});
    if (w->drag == DRAG_PLACE)
        all.push_back({WindowRect(w, w->rubber), w->placedPixel});
    return all;
}

void DrawOutlines(DisplayWindow *w)
{
    w->drawn = CurrentOutlines(w);
    for (const Outline &o : w->drawn) {
        XSetForeground(w->dpy, w->gc, o.pixel);
        XDrawRectangle(w->dpy, XtWindow(w->picture), w->gc, o.r.x, o.r.y, unsigned(o.r.width - 1),
                       unsigned(o.r.height - 1));
    }
    w->exposed = false;
}

// Paints the picture over each side of the outlines drawn.
void EraseOutlines(DisplayWindow *w)
{
    for (const Outline &o : w->drawn) {
        const DisplayRect &r = o.r;
        RepaintWindowRect(w, r.x, r.y, r.width, 1);
        RepaintWindowRect(w, r.x, r.y + r.height - 1, r.width, 1);
        RepaintWindowRect(w, r.x, r.y, 1, r.height);
        RepaintWindowRect(w, r.x + r.width - 1, r.y, 1, r.height);
    }
    w->drawn.clear();
}

// Call around a change of what is outlined.
void OutlinesChanging(DisplayWindow *w)
{
    EraseOutlines(w);
}
void OutlinesChanged(DisplayWindow *w)
{
    DrawOutlines(w);
    XFlush(w->dpy);
}

// ---- Shapes of the selection ---------------------------------------------------------

void ForgetShown(DisplayWindow *w)
{
    for (Selection *sel : w->shown)
        if (sel) {
            XcPictureRemSelection(w->picture, sel);
            SelectionDestroy(sel);
        }
    w->shown.clear();
}

// The selected shape is active: drawn with its handles.
void Select(DisplayWindow *w, int index)
{
    if (w->selected >= 0 && size_t(w->selected) < w->shown.size() && w->shown[size_t(w->selected)])
        XcPictureDeactivateSelection(w->picture, w->shown[size_t(w->selected)]);
    w->selected = index >= 0 && size_t(index) < w->shown.size() && w->shown[size_t(index)] ? index : -1;
    if (w->selected >= 0)
        XcPictureActivateSelection(w->picture, w->shown[size_t(w->selected)]);
}

Selection *SelectedShape(const DisplayWindow *w)
{
    return w->selected >= 0 ? w->shown[size_t(w->selected)] : nullptr;
}

// Shows a shape being made in place of the last one (none: nothing).
void Sketch(DisplayWindow *w, const Shape *shape)
{
    if (w->sketch) {
        XcPictureRemSelection(w->picture, w->sketch);
        SelectionDestroy(w->sketch);
    }
    w->sketch = shape ? Shape_Selection(*shape) : nullptr;
    if (w->sketch)
        XcPictureAddSelection(w->picture, w->sketch, 1, 0);
}

// The polygon clicked so far, closed through the pointer.
void SketchPolygon(DisplayWindow *w, int32_t x, int32_t y)
{
    Shape s{SHAPE_POLYGON, w->polygon};
    s.xy.insert(s.xy.end(), {x, y});
    Sketch(w, &s);
}

void EndPolygon(DisplayWindow *w)
{
    w->polygon.clear();
    Sketch(w, nullptr);
}

// A box control within the control size of window point (x, y), else -1.
int32_t BoxControlAt(DisplayWindow *w, Selection *sel, int x, int y)
{
    const int reach = sel->handleSize + sel->handleThickness;
    for (int32_t code : boxControls) {
        int32_t cx, cy, wx, wy;
        SelectionGetPointValue(sel, code, &cx, &cy);
        XcPictureConvert(w->picture, XC_PICTURE_SOURCE, cx, cy, XC_PICTURE_WINDOW, &wx, &wy);
        if (std::abs(wx - x) <= reach && std::abs(wy - y) <= reach)
            return code;
    }
    return SELECTION_NONE;
}

// What a press at window (x, y) takes hold of in a shape: a polygon's point
// (by its handle), an edge or a corner of the box, the whole shape (inside
// its box), or nothing (-1).
int32_t HandleAt(DisplayWindow *w, size_t index, int x, int y)
{
    Selection *sel = w->shown[index];
    if (!sel)
        return SELECTION_NONE;
    const int32_t point = XcPictureSelectionGetPoint(w->picture, sel, x, y);
    if (point >= 0 && point < SELECTION_TOP && w->shapes[index].kind == SHAPE_POLYGON)
        return point;
    const int32_t control = BoxControlAt(w, sel, x, y);
    return control >= 0 ? control : point >= 0 ? SELECTION_MOVE : SELECTION_NONE;
}

bool IsCorner(int32_t code)
{
    return code >= SELECTION_TOP && (code & (SELECTION_TOP | SELECTION_BOTTOM)) &&
           (code & (SELECTION_LEFT | SELECTION_RIGHT));
}

int32_t OppositeCorner(int32_t code)
{
    return (code & SELECTION_TOP ? SELECTION_BOTTOM : SELECTION_TOP) |
           (code & SELECTION_LEFT ? SELECTION_RIGHT : SELECTION_LEFT);
}

// The selection objects store the ratio but do not keep it: the dragged
// corner goes where the box from the fixed corner has the ratio and covers
// the pointer.
void KeepRatio(const DisplayWindow *w, const Selection *sel, int32_t *x, int32_t *y)
{
    const double rw = std::max(sel->ratioWidth - 1, 1), rh = std::max(sel->ratioHeight - 1, 1);
    const double dx = double(*x) - w->fixX, dy = double(*y) - w->fixY;
    const double scale = std::max(std::abs(dx) / rw, std::abs(dy) / rh);
    *x = int32_t(w->fixX + std::copysign(std::lround(rw * scale), dx));
    *y = int32_t(w->fixY + std::copysign(std::lround(rh * scale), dy));
}

// ---- Brush cursor -----------------------------------------------------------------

MemoryImage MakeGreyAlpha(int width, int height)
{
    unsigned char h[IMAGE_HEADER_SIZE] = {};
    Image_SetField(reinterpret_cast<Image *>(h), IMAGE_WIDTH, width);
    Image_SetField(reinterpret_cast<Image *>(h), IMAGE_HEIGHT, height);
    int64_t end = IMAGE_PAGE_SIZE;
    Image_InitPlane(h, 0, 8, IMAGE_KIND_GREY, "Grey", &end);
    Image_InitPlane(h, 1, 8, IMAGE_KIND_ALPHA, "Alpha", &end);
    MemoryImage m;
    m.bytes.reset(static_cast<unsigned char *>(std::aligned_alloc(IMAGE_PAGE_SIZE, size_t(end))));
    if (!m.bytes)
        return m;
    std::memset(m.bytes.get(), 0, size_t(end));
    std::memcpy(m.bytes.get(), h, sizeof h);
    Image *image = m.image();
    const std::pair<int, int32_t> fields[] = {{IMAGE_PLANES, 2},
                                              {IMAGE_COLOR_PLANES, 1},
                                              {IMAGE_ALPHA_PLANES, 1},
                                              {IMAGE_MODE, IMAGE_MODE_GREY},
                                              {IMAGE_DATA_END, int32_t(end)},
                                              {IMAGE_FILE_SIZE, int32_t(end)},
                                              {IMAGE_MAGIC_AT, int32_t(IMAGE_MAGIC)}};
    for (auto [offset, value] : fields)
        Image_SetField(image, offset, value);
    return m;
}

bool InEllipse(int x, int y, int width, int height)
{
    double dx = (x + 0.5) / width * 2 - 1, dy = (y + 0.5) / height * 2 - 1;
    return x >= 0 && y >= 0 && x < width && y < height && dx * dx + dy * dy <= 1.0;
}

// The outline of the ellipse that fills the image: opaque where a pixel of
// the ellipse touches one outside it, transparent elsewhere.
void DrawRing(Image *image)
{
    const int width = Image_Width(image), height = Image_Height(image);
    for (int y = 0; y < height; y++)
        for (int x = 0; x < width; x++) {
            bool edge = InEllipse(x, y, width, height) &&
                        (!InEllipse(x - 1, y, width, height) || !InEllipse(x + 1, y, width, height) ||
                         !InEllipse(x, y - 1, width, height) || !InEllipse(x, y + 1, width, height));
            Image_SetSample(image, 1, x, y, edge ? 255 : 0);
        }
}

Box BrushArea(const DisplayWindow *w)
{
    return Box_Rect(w->ix - w->brushW / 2, w->iy - w->brushH / 2, w->brushW, w->brushH);
}

// A new cursor image with about one pixel per screen pixel at this zoom, so
// that its outline stays thin.
void InstallCursor(DisplayWindow *w)
{
    int cw = 0, ch = 0;
    XcPictureConvertV(w->picture, XC_PICTURE_SOURCE, w->brushW, w->brushH, XC_PICTURE_WINDOW, &cw, &ch);
    MemoryImage next = MakeGreyAlpha(std::clamp(cw, 1, MAX_CURSOR_SIDE), std::clamp(ch, 1, MAX_CURSOR_SIDE));
    if (!next.bytes)
        return;
    DrawRing(next.image());
    const Box area = BrushArea(w);
    ColorValue magenta{};
    magenta.mode = COLOR_RGB;
    magenta.red = magenta.blue = 255;
    XcPictureSetCursor(w->picture, next.image(), nullptr, 1, &area, 1, &magenta, nullptr);
    w->cursor = std::move(next); // the widget has let go of the old one
    w->cursorShown = true;
    w->cursorStale = false;
}

// Shows, moves or hides the brush cursor after the pointer, the brush size,
// the zoom or a drag changed.
void FollowPointer(DisplayWindow *w)
{
    ToImage(w, w->px, w->py, &w->ix, &w->iy);
    const bool want = w->pointerIn && w->drag == DRAG_NONE && w->brushW > 0 && w->brushH > 0;
    if (!want && w->cursorShown) {
        XcPictureSetCursor(w->picture, nullptr, nullptr, 0, nullptr, 1, nullptr, nullptr);
        w->cursorShown = false;
    } else if (want && (!w->cursorShown || w->cursorStale)) {
        InstallCursor(w);
    } else if (want) {
        const Box area = BrushArea(w);
        XcPictureSetCursorArea(w->picture, &area);
    }
    DrawOutlines(w); // the cursor's repaint may have covered some
}

// ---- Zoom and scroll ------------------------------------------------------------------

// After a zoom the cursor image is made again for the new scale.
void AfterViewChange(DisplayWindow *w, bool zoomed)
{
    w->drawn.clear(); // painted over, or erased before a scroll
    w->cursorStale |= zoomed;
    FollowPointer(w);
}

void ZoomTo(DisplayWindow *w, ViewZoom z, int anchorX, int anchorY, int explicitAnchor)
{
    XcPictureSetZoom(w->picture, z, z, anchorX, anchorY, explicitAnchor);
    AfterViewChange(w, true);
}

// The next step magnifying (in) or reducing (out) from the zoom shown, which
// need not be a step after the picture was fitted to the window.
bool NextStep(ViewZoom now, bool in, ViewZoom *step)
{
    const int n = int(std::size(zoomSteps));
    for (int k = 0; k < n; k++) {
        const ViewZoom &s = zoomSteps[in ? k : n - 1 - k];
        int64_t a = int64_t(s.num) * now.den, b = int64_t(now.num) * s.den;
        if (in ? a < b : a > b) {
            *step = s;
            return true;
        }
    }
    return false;
}

void ZoomStep(DisplayWindow *w, bool in, int anchorX, int anchorY, int explicitAnchor)
{
    ViewZoom z;
    if (NextStep(w->zoom, in, &z))
        ZoomTo(w, z, anchorX, anchorY, explicitAnchor);
}

void Fit(DisplayWindow *w)
{
    const Box all = Box_Rect(0, 0, w->width, w->height);
    XcPictureSetSrcArea(w->picture, &all);
    AfterViewChange(w, true);
}

void Scroll(DisplayWindow *w, int dx, int dy)
{
    EraseOutlines(w); // the widget may move the window's pixels, outlines with them
    XcPictureScroll(w->picture, XC_PICTURE_WINDOW, &dx, &dy);
    AfterViewChange(w, false);
}

void OnZoomChanged(Widget, XtPointer data, XtPointer call)
{
    auto *z = static_cast<XcPictureZoomCallbackStruct *>(call);
    static_cast<DisplayWindow *>(data)->zoom = {z->numX, z->denX};
}

// ---- Input --------------------------------------------------------------------------

ScriptCommand Command(ScriptOp op, int32_t a = 0, int32_t b = 0, int32_t c = 0, int32_t d = 0)
{
    ScriptCommand cmd{};
    cmd.op = op;
    cmd.arg[0] = a;
    cmd.arg[1] = b;
    cmd.arg[2] = c;
    cmd.arg[3] = d;
    return cmd;
}

void Emit(DisplayWindow *w, const ScriptCommand &c)
{
    if (w->out)
        w->out->push_back(c);
}

// Keys that change the view rather than ask dabstone for something.
bool ViewKey(DisplayWindow *w, KeySym sym)
{
    Dimension pw = 0, ph = 0;
    XtVaGetValues(w->picture, XmNwidth, &pw, XmNheight, &ph, nullptr);
    const int stepX = std::max(pw / 8, 8), stepY = std::max(ph / 8, 8);
    switch (sym) {
    case XK_plus:
    case XK_equal:
    case XK_KP_Add:
        ZoomStep(w, true, 0, 0, 0);
        return true;
    case XK_minus:
    case XK_KP_Subtract:
        ZoomStep(w, false, 0, 0, 0);
        return true;
    case XK_1:
        ZoomTo(w, {1, 1}, 0, 0, 0);
        return true;
    case XK_0:
        Fit(w);
        return true;
    case XK_Left:
    case XK_Right:
        Scroll(w, sym == XK_Left ? -stepX : stepX, 0);
        return true;
    case XK_Up:
    case XK_Down:
        Scroll(w, 0, sym == XK_Up ? -stepY : stepY);
        return true;
    default:
        return false;
    }
}

void OnKey(DisplayWindow *w, XKeyEvent *e)
{
    char text[8] = {};
    KeySym sym = 0;
    XLookupString(e, text, sizeof text - 1, &sym, nullptr);
    struct Key {
        KeySym sym;
        ScriptOp op;
        int32_t arg;
    };
    static const Key keys[] = {
        {XK_b, SCRIPT_TOOL, SCRIPT_TOOL_BRUSH},
        {XK_f, SCRIPT_TOOL, SCRIPT_TOOL_FILL},
        {XK_p, SCRIPT_TOOL, SCRIPT_TOOL_PIPETTE},
        {XK_u, SCRIPT_UNDO, 0},
        {XK_a, SCRIPT_APPLY, SCRIPT_APPLY_FROM_TOOL},
        {XK_c, SCRIPT_SELECT_ALL, 0},
        {XK_q, SCRIPT_CLOSE, 0},
    };
    for (const Key &k : keys)
        if (k.sym == sym) {
            Emit(w, Command(k.op, k.arg));
            return;
        }
    if (ViewKey(w, sym))
        return;
    if (sym == XK_Delete && w->selected >= 0)
        Emit(w, Command(SCRIPT_SHAPE_DELETE, w->selected));
    if (sym == XK_Escape && !w->polygon.empty()) {
        EndPolygon(w);
    } else if (sym == XK_Escape && w->placed) {
        Emit(w, Command(SCRIPT_UNBRUSH));
        OutlinesChanging(w);
        w->placed = false;
        OutlinesChanged(w);
    }
}

Drag DragOf(const XButtonEvent *e)
{
    const bool shift = e->state & ShiftMask;
    switch (e->button) {
    case Button1:
        return shift ? DRAG_PLACE : DRAG_PAINT;
    case Button2:
        return e->state & Mod1Mask ? DRAG_SCROLL : DRAG_SELECT;
    case Button3:
        return DRAG_PAINT;
    default:
        return DRAG_NONE;
    }
}

// A click of a polygon being drawn: a new point, or with a double click the
// end of it (a polygon needs 3 points: with fewer, it is dropped).
void PolygonClick(DisplayWindow *w, const XButtonEvent *e, int32_t ix, int32_t iy)
{
    const bool twice = !w->polygon.empty() && e->time - w->lastClick <= Time(XtGetMultiClickTime(w->dpy)) &&
                       std::abs(e->x - w->lastClickX) <= DOUBLE_CLICK_SLOP &&
                       std::abs(e->y - w->lastClickY) <= DOUBLE_CLICK_SLOP;
    w->lastClick = e->time;
    w->lastClickX = e->x;
    w->lastClickY = e->y;
    if (!twice) {
        if (w->polygon.empty())
            w->polygonAdd = e->state & ShiftMask;
        w->polygon.insert(w->polygon.end(), {ix, iy});
        SketchPolygon(w, ix, iy);
        return;
    }
    if (w->polygon.size() >= 2 * SHAPE_MIN_POLYGON) {
        if (!w->polygonAdd)
            Emit(w, Command(SCRIPT_SELECT_ALL));
        ScriptCommand c = Command(SCRIPT_POLYGON);
        c.points = w->polygon;
        Emit(w, c);
    } else {
        XBell(w->dpy, 0);
    }
    EndPolygon(w);
}

// Button 2 on the selected shape's handle, or inside any shape: an edit of
// that shape begins.
bool StartEdit(DisplayWindow *w, const XButtonEvent *e)
{
    int index = w->selected;
    int32_t handle = index >= 0 ? HandleAt(w, size_t(index), e->x, e->y) : SELECTION_NONE;
    for (int i = int(w->shown.size()) - 1; i >= 0 && handle < 0; i--)
        if (HandleAt(w, size_t(i), e->x, e->y) >= 0)
            index = i, handle = SELECTION_MOVE;
    if (handle < 0)
        return false;
    Select(w, index);
    Selection *sel = SelectedShape(w);
    w->handle = handle;
    SelectionGetPointValue(sel, handle, &w->hx, &w->hy);
    w->keepRatio = (e->state & ShiftMask) && IsCorner(handle);
    SelectionSetKeepRatio(sel, w->keepRatio, nullptr);
    if (w->keepRatio)
        SelectionGetPointValue(sel, OppositeCorner(handle), &w->fixX, &w->fixY);
    w->edited = false;
    w->dragButton = int(e->button);
    w->drag = DRAG_EDIT;
    XcPictureEditSelection(w->picture, sel);
    return true;
}

// Button 2 without alt: a polygon's click (with control, or while one is
// being drawn), an edit, or else (false) a new rectangle.
bool SelectionPress(DisplayWindow *w, const XButtonEvent *e)
{
    ToImage(w, e->x, e->y, &w->sx, &w->sy);
    if (!w->polygon.empty() || (e->state & ControlMask)) {
        PolygonClick(w, e, w->sx, w->sy);
        return true;
    }
    return StartEdit(w, e);
}

void OnPress(DisplayWindow *w, XButtonEvent *e)
{
    if (w->drag != DRAG_NONE)
        return;
    if (e->button == Button4 || e->button == Button5) { // the wheel zooms about the pointer
        ZoomStep(w, e->button == Button4, e->x, e->y, 1);
        return;
    }
    Drag drag = DragOf(e);
    if (drag == DRAG_NONE || (drag == DRAG_SELECT && SelectionPress(w, e)))
        return;
    OutlinesChanging(w);
    ToImage(w, e->x, e->y, &w->sx, &w->sy);
    w->lastX = e->x;
    w->lastY = e->y;
    w->rubber = Normalised(w->sx, w->sy, w->sx, w->sy);
    w->dragButton = int(e->button);
    w->dragAdd = e->state & ShiftMask;
    w->drag = drag;
    if (drag == DRAG_PAINT)
        Emit(w, Command(SCRIPT_PRESS, w->sx, w->sy, int(e->button)));
    FollowPointer(w);
    OutlinesChanged(w);
}

// The dragged handle follows the pointer's move since the press.
void EditTo(DisplayWindow *w, int32_t ix, int32_t iy)
{
    Selection *sel = SelectedShape(w);
    int32_t x =
        int32_t(std::clamp<int64_t>(int64_t(w->hx) + ix - w->sx, -SELECTION_COORD_MAX, SELECTION_COORD_MAX));
    int32_t y =
        int32_t(std::clamp<int64_t>(int64_t(w->hy) + iy - w->sy, -SELECTION_COORD_MAX, SELECTION_COORD_MAX));
    if (w->keepRatio)
        KeepRatio(w, sel, &x, &y);
    XcPictureSelectionWillChange(w->picture, sel);
    const int32_t next =
        SelectionSetPoint(sel, w->handle, x, y); // an edge dragged past its opposite is mirrored
    XcPictureSelectionHasChanged(w->picture, sel);
    if (next >= 0)
        w->handle = next;
    w->edited = true;
}

void OnMotion(DisplayWindow *w, XMotionEvent *e)
{
    XEvent later;
    while (XCheckTypedWindowEvent(w->dpy, e->window, MotionNotify, &later)) // only the latest counts
        e = &later.xmotion;
    w->pointerIn = true;
    w->px = e->x;
    w->py = e->y;
    if (w->drag == DRAG_SCROLL) {
        Scroll(w, w->lastX - e->x, w->lastY - e->y);
        w->lastX = e->x;
        w->lastY = e->y;
        return;
    }
    int ix, iy;
    ToImage(w, e->x, e->y, &ix, &iy);
    if (w->drag == DRAG_PAINT) {
        Emit(w, Command(SCRIPT_MOVE, ix, iy));
    } else if (w->drag == DRAG_PLACE) {
        OutlinesChanging(w);
        w->rubber = Normalised(w->sx, w->sy, ix, iy);
        OutlinesChanged(w);
    } else if (w->drag == DRAG_SELECT) {
        const DisplayRect r = Normalised(w->sx, w->sy, ix, iy);
        const Shape s = Shape_Rect(r.x, r.y, r.width, r.height);
        Sketch(w, &s);
    } else if (w->drag == DRAG_EDIT) {
        EditTo(w, ix, iy);
    } else if (!w->polygon.empty()) {
        SketchPolygon(w, ix, iy);
    }
    FollowPointer(w);
}

void OnRelease(DisplayWindow *w, XButtonEvent *e)
{
    if (w->drag == DRAG_NONE || int(e->button) != w->dragButton)
        return;
    OutlinesChanging(w);
    int ix, iy;
    ToImage(w, e->x, e->y, &ix, &iy);
    DisplayRect r = Normalised(w->sx, w->sy, ix, iy);
    if (w->drag == DRAG_PAINT) {
        Emit(w, Command(SCRIPT_RELEASE, ix, iy));
    } else if (w->drag == DRAG_PLACE) {
        Emit(w, Command(SCRIPT_BRUSH, r.x, r.y, r.width, r.height));
        w->placed = true; // the window decides by it at once (Escape), before the command runs
        w->placedBox = r;
    } else if (w->drag == DRAG_SELECT) {
        Sketch(w, nullptr);
        if (r.width == 1 && r.height == 1) { // a click beside every shape
            Select(w, -1);
        } else {
            if (!w->dragAdd)
                Emit(w, Command(SCRIPT_SELECT_ALL));
            Emit(w, Command(SCRIPT_SELECT, r.x, r.y, r.width, r.height));
        }
    } else if (w->drag == DRAG_EDIT) {
        Selection *sel = SelectedShape(w);
        XcPictureUneditSelection(w->picture, sel);
        SelectionSetKeepRatio(sel, 0, nullptr);
        if (w->edited) {
            ScriptCommand c = Command(SCRIPT_SHAPE_SET, w->selected, w->shapes[size_t(w->selected)].kind);
            c.points = Shape_FromSelection(sel, w->shapes[size_t(w->selected)].kind).xy;
            Emit(w, c);
        }
    }
    w->drag = DRAG_NONE;
    FollowPointer(w);
    OutlinesChanged(w);
}

void OnCrossing(DisplayWindow *w, bool in, int x, int y)
{
    w->pointerIn = in;
    w->px = x;
    w->py = y;
    FollowPointer(w);
}

// Input reaches the picture from the server, and the shell when sent to the
// top-level window; the picture lies at the shell's origin, so both give
// the same coordinates.
void OnInput(Widget, XtPointer data, XEvent *e, Boolean *)
{
    auto *w = static_cast<DisplayWindow *>(data);
    switch (e->type) {
    case KeyPress:
        OnKey(w, &e->xkey);
        break;
    case ButtonPress:
        OnPress(w, &e->xbutton);
        break;
    case ButtonRelease:
        OnRelease(w, &e->xbutton);
        break;
    case MotionNotify:
        OnMotion(w, &e->xmotion);
        break;
    case EnterNotify:
    case LeaveNotify:
        OnCrossing(w, e->type == EnterNotify, e->xcrossing.x, e->xcrossing.y);
        break;
    default:
        break;
    }
}

// The widget repaints what was exposed from its X image, without outlines.
void OnExposed(Widget, XtPointer data, XEvent *, Boolean *)
{
    static_cast<DisplayWindow *>(data)->exposed = true;
}

void OnClose(Widget, XtPointer data, XtPointer)
{
    Emit(static_cast<DisplayWindow *>(data), Command(SCRIPT_CLOSE));
}

unsigned long AllocPixel(const DisplayWindow *w, unsigned short r, unsigned short g, unsigned short b)
{
    XColor c{};
    c.red = r;
    c.green = g;
    c.blue = b;
    if (XAllocColor(w->dpy, XcColormapOfVisual(w->visual), &c))
        return c.pixel;
    return WhitePixelOfScreen(XcScreenOfVisual(w->visual));
}

constexpr EventMask INPUT = KeyPressMask | ButtonPressMask | ButtonReleaseMask | PointerMotionMask;

// A ruler in pixels along the picture's bottom (orientation 0) or right
// edge, its graduations growing from the picture's side; the picture keeps
// it in step with its view and the pointer. It takes no keyboard focus.
Widget MakeRuler(DisplayWindow *w, const char *name, int orientation)
{
    const bool across = orientation == 0;
    Widget r = XtVaCreateManagedWidget(
        name, xcRulerWidgetClass, w->form, XcNxcVisual, w->visual, XmNorientation, orientation, XmNalignment,
        0, XcNunit, XC_RULER_PIXEL, XmNshadowThickness, 2, XmNtraversalOn, False,
        across ? XmNheight : XmNwidth, RULER_THICKNESS, XmNbottomAttachment, XmATTACH_FORM,
        XmNrightAttachment, XmATTACH_FORM, across ? XmNrightOffset : XmNbottomOffset, RULER_THICKNESS,
        across ? XmNleftAttachment : XmNtopAttachment, XmATTACH_FORM, nullptr);
    return r;
}

void MakeWidgets(DisplayWindow *w, const char *title)
{
    XcVisual *v = w->visual;
    Screen *screen = XcScreenOfVisual(v);
    w->shell =
        XtVaAppCreateShell("sorbane", "Sorbane", applicationShellWidgetClass, w->dpy, XmNvisual,
                           XcVisualOfVisual(v), XmNdepth, XcDepthOfVisual(v), XmNcolormap,
                           XcColormapOfVisual(v), XmNtitle, title, XmNdeleteResponse, XmDO_NOTHING, nullptr);
    const int width = std::min(w->width, WidthOfScreen(screen) - SCREEN_MARGIN - RULER_THICKNESS);
    const int height = std::min(w->height, HeightOfScreen(screen) - SCREEN_MARGIN - RULER_THICKNESS);
    w->form = XtVaCreateManagedWidget("form", xmFormWidgetClass, w->shell, nullptr);
    // No border; the widget's own refinement (a preview at once, then
    // timer-driven passes, run by the display's poll() loop). The rulers lie
    // below and right of the picture, so that the picture stays at the
    // window's origin: window and picture coordinates are the same.
    w->picture = XtVaCreateManagedWidget(
        "picture", xcPictureWidgetClass, w->form, XcNimage, const_cast<Image *>(w->image), XcNxcVisual, v,
        XmNdepth, XcDepthOfVisual(v), XmNcolormap, XcColormapOfVisual(v), XmNwidth, std::max(width, 1),
        XmNheight, std::max(height, 1), XmNmarginWidth, 0, XmNmarginHeight, 0, XmNshadowThickness, 0,
        XmNhighlightThickness, 0, XcNmode, 2, XmNtopAttachment, XmATTACH_FORM, XmNleftAttachment,
        XmATTACH_FORM, XmNrightAttachment, XmATTACH_FORM, XmNrightOffset, RULER_THICKNESS,
        XmNbottomAttachment, XmATTACH_FORM, XmNbottomOffset, RULER_THICKNESS, nullptr);
    w->hRuler = MakeRuler(w, "horizontalRuler", 0);
    w->vRuler = MakeRuler(w, "verticalRuler", 1);
    XtVaSetValues(w->picture, XcNhorizontalRuler, w->hRuler, XcNverticalRuler, w->vRuler, nullptr);
    XtAddCallback(w->picture, XcNzoomChangedCallback, OnZoomChanged, w);
    XtAddEventHandler(w->picture, INPUT | EnterWindowMask | LeaveWindowMask, False, OnInput, w);
    XtAddEventHandler(w->shell, INPUT, False, OnInput, w);
    // Keys sent to the window go to whichever widget the toolkit gave the
    // keyboard focus.
    for (Widget other : {w->form, w->hRuler, w->vRuler})
        XtAddEventHandler(other, KeyPressMask, False, OnInput, w);
    XtAddEventHandler(w->picture, ExposureMask, True, OnExposed, w); // with GraphicsExpose
    XmAddWMProtocolCallback(w->shell, XInternAtom(w->dpy, "WM_DELETE_WINDOW", False), OnClose, w);
    // A window smaller than the image shows it 1:1 from its top-left corner.
    XcPictureSetZoom(w->picture, {1, 1}, {1, 1}, 0, 0, 1);
}

} // namespace

int DisplayWindow_Open(const Image *image, const char *title, DisplayWindow **out)
{
    *out = nullptr;
    XtToolkitInitialize();
    XtAppContext app = XtCreateApplicationContext();
    static char name[] = "sorbane";
    static char *argv[] = {name, nullptr};
    int argc = 1;
    ::Display *dpy = XtOpenDisplay(app, nullptr, "sorbane", "Sorbane", nullptr, 0, &argc, argv);
    if (!dpy) {
        XtDestroyApplicationContext(app);
        return DISPLAY_NOT_FOUND;
    }
    auto *w = new DisplayWindow;
    w->app = app;
    w->dpy = dpy;
    w->image = image;
    w->width = Image_Width(image);
    w->height = Image_Height(image);
    w->visual = XcOpenVisual(dpy, DefaultScreen(dpy), XcVisualBest);
    if (!w->visual || !XcCheckVisual(w->visual)) {
        DisplayWindow_Close(w);
        return UNSUPPORTED_VISUAL;
    }
    MakeWidgets(w, title);
    XtRealizeWidget(w->shell);
    w->gc = XCreateGC(dpy, XtWindow(w->picture), 0, nullptr);
    w->placedPixel = AllocPixel(w, 0, 0xffff, 0xffff);
    XFlush(dpy);
    *out = w;
    return 0;
}

namespace
{
void (*lostDisplay)() = nullptr;

int OnIoError(Display *)
{
    if (lostDisplay)
        lostDisplay();
    std::_Exit(1);
}
} // namespace

void DisplayWindow_OnLost(void (*lost)())
{
    lostDisplay = lost;
    XSetIOErrorHandler(OnIoError);
}

void DisplayWindow_Close(DisplayWindow *w)
{
    if (!w)
        return;
    if (w->picture) {
        Sketch(w, nullptr);
        ForgetShown(w);
    }
    if (w->gc)
        XFreeGC(w->dpy, w->gc);
    if (w->shell)
        XtDestroyWidget(w->shell);
    if (w->visual)
        XcDestroyVisual(w->visual);
    XtDestroyApplicationContext(w->app); // closes the display
    delete w;
}

int DisplayWindow_Fd(const DisplayWindow *w)
{
    return ConnectionNumber(w->dpy);
}

bool DisplayWindow_Pending(const DisplayWindow *w)
{
    return XEventsQueued(w->dpy, QueuedAlready) > 0;
}

int DisplayWindow_Timeout(const DisplayWindow *w, int timeoutMs)
{
    if (XtAppPending(w->app) & XtIMTimer) // a pass is due now
        return 0;
    if (!XcPictureWorkPending(w->picture))
        return timeoutMs;
    int pass = 0;
    XtVaGetValues(w->picture, XcNworkProcTimeOut, &pass, nullptr);
    return timeoutMs < 0 ? pass : std::min(timeoutMs, pass);
}

bool DisplayWindow_Refining(const DisplayWindow *w)
{
    return XcPictureWorkPending(w->picture) > 0;
}

void DisplayWindow_Sync(DisplayWindow *w)
{
    XSync(w->dpy, False);
}

unsigned long DisplayWindow_Id(const DisplayWindow *w)
{
    return XtWindow(w->shell);
}

void DisplayWindow_Poll(DisplayWindow *w, std::vector<ScriptCommand> *out)
{
    w->out = out;
    const bool refining = DisplayWindow_Refining(w); // a pass paints over the outlines
    while (XtInputMask pending = XtAppPending(w->app))
        XtAppProcessEvent(w->app, pending);
    w->out = nullptr;
    if (w->exposed || refining)
        DrawOutlines(w);
    XFlush(w->dpy);
}

void DisplayWindow_Redraw(DisplayWindow *w, int x, int y, int width, int height)
{
    if (!Clip(w, &x, &y, &width, &height))
        return;
    const Box b = Box_Rect(x, y, width, height);
    XcPictureRefresh(w->picture, &b);
    DrawOutlines(w);
    XFlush(w->dpy);
}

void DisplayWindow_SetBrush(DisplayWindow *w, int width, int height)
{
    w->brushW = width;
    w->brushH = height;
    w->cursorStale = true;
    FollowPointer(w);
    XFlush(w->dpy);
}

void DisplayWindow_SetZoom(DisplayWindow *w, int num, int den)
{
    ZoomTo(w, {num, den}, 0, 0, 1);
    XFlush(w->dpy);
}

void DisplayWindow_SetSelection(DisplayWindow *w, const std::vector<Shape> &shapes)
{
    const size_t before = w->shapes.size();
    ForgetShown(w);
    w->shapes = shapes;
    for (const Shape &shape : shapes) {
        Selection *sel = Shape_Selection(shape);
        const bool handles = sel && shape.kind == SHAPE_POLYGON && sel->nPoints <= MAX_POINT_HANDLES;
        for (int32_t i = 1; handles && i < sel->nPoints; i++)
            VectSelectSetKeyPoint(sel, i, 1); // every point has its handle
        w->shown.push_back(sel);
        if (sel)
            XcPictureAddSelection(w->picture, sel, 0, 0);
    }
    if (shapes.size() != before)
        w->selected = shapes.size() > before ? int(shapes.size()) - 1 : -1;
    Select(w, w->selected);
    XFlush(w->dpy);
}

// The child of the root that holds window win: a window manager's frame
// around it, or the window itself.
static Window TopLevelOf(Display *dpy, Window win)
{
    Window root = 0, parent = 0, *children = nullptr;
    unsigned count = 0;
    while (XQueryTree(dpy, win, &root, &parent, &children, &count)) {
        if (children)
            XFree(children);
        if (parent == root || parent == 0)
            break;
        win = parent;
    }
    return win;
}

void DisplayWindow_PlaceBeside(DisplayWindow *w)
{
    if (!w)
        return;
    const Window self = XtWindow(w->shell), frame = TopLevelOf(w->dpy, self);
    Window root = DefaultRootWindow(w->dpy), parent = 0, *children = nullptr;
    unsigned count = 0;
    int right = 0;
    if (XQueryTree(w->dpy, root, &root, &parent, &children, &count)) {
        for (unsigned i = 0; i < count; i++) {
            XWindowAttributes a;
            if (children[i] != frame && XGetWindowAttributes(w->dpy, children[i], &a) &&
                a.map_state == IsViewable)
                right = std::max(right, a.x + a.width + 2 * a.border_width);
        }
        XFree(children);
    }
    // A window manager places a window where its hints say the user wants it.
    XSizeHints hints{};
    hints.flags = USPosition | PPosition;
    hints.x = right + 8;
    XSetWMNormalHints(w->dpy, self, &hints);
    XMoveWindow(w->dpy, self, right + 8, 0);
    XSync(w->dpy, False);
    XcPictureRefresh(w->picture, nullptr);
    DrawOutlines(w);
    XSync(w->dpy, False);
}
