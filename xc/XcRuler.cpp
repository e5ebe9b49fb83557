#include "xc/XcRulerP.h"

#include <Xm/DrawP.h>
#include <Xm/XmP.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>

// ---------------------------------------------------------------------------
// Layout.

namespace
{

// Pixels per unit at zoom 1; 0 for a unit that draws nothing.
double UnitPixels(int unit, int resolution)
{
    switch (unit) {
    case XC_RULER_PIXEL:
        return 1.0;
    case XC_RULER_MM:
        return resolution / 25.4;
    case XC_RULER_INCH:
        return resolution;
    case XC_RULER_UNIT4:
        return resolution * 23.6 / 25.4;
    default:
        return 0.0;
    }
}

// The label factor n: the least power of ten whose major step keeps minor
// graduations at least gradSpacing apart (1 when a unit is already enough).
double LabelFactor(double p, int gradSpacing)
{
    const double want = gradSpacing * 10.0;
    if (!(want > p))
        return 1.0;
    double r = want / p, n = 10.0;
    for (; r > 10.0 && std::isfinite(n); r /= 10.0)
        n *= 10.0;
    return n;
}

double Round(double x)
{
    return std::floor(x + 0.5);
}

struct Start {
    double position; // may lie outside the ruler when no major does
    double index;    // major steps from the origin
};

// The major graduation the walk starts from: the origin when inside, else the
// first one reached stepping from the origin toward the ruler. Computed, not
// stepped: an origin far away may be billions of steps off.
Start FindStart(int origin, int length, double step)
{
    if (origin >= 0 && origin <= length)
        return {double(origin), 0.0};
    const double o = origin, dir = origin < 0 ? 1.0 : -1.0;
    const double target = origin < 0 ? 0.0 : double(length);
    double m = std::max(1.0, std::ceil(std::fabs(target - o) / step) - 1.0);
    auto inside = [&](double k) {
        double x = Round(o + dir * k * step);
        return origin < 0 ? x >= 0 : x <= length;
    };
    while (!inside(m)) // at most two turns: the estimate is one short at worst
        m += 1.0;
    return {Round(o + dir * m * step), m};
}

void AddMark(std::vector<XcRulerMark> &marks, double position, long j, double index, double n)
{
    const long place = std::labs(j) % 10;
    XcRulerMark mark{int(position),
                     place == 0   ? XC_RULER_MAJOR
                     : place == 5 ? XC_RULER_HALF
                                  : XC_RULER_MINOR,
                     false, ""};
    if (place == 0) {
        const double value = n * (index + double(std::labs(j) / 10));
        mark.zero = value == 0.0;
        if (value < 9999.5) // longer labels are not drawn
            std::snprintf(mark.label, sizeof mark.label, "%d", int(value));
    }
    marks.push_back(mark);
}

} // namespace

std::vector<XcRulerMark> XcRulerLayout(int unit, int resolution, double zoom, int gradSpacing, int origin,
                                       int length)
{
    std::vector<XcRulerMark> marks;
    const double p = UnitPixels(unit, resolution) * zoom;
    if (!(p > 0.0) || !std::isfinite(p) || length < 0)
        return marks;
    // A spacing below one pixel would put graduations on every pixel at
    // best and on the same pixels at worst.
    const double n = LabelFactor(p, std::max(gradSpacing, 1));
    const double step = p * n;
    if (!std::isfinite(step))
        return marks;
    const Start start = FindStart(origin, length, step);
    const double minor = step / 10.0;
    // Graduation j lies at start + j * minor: only those inside are visited.
    const double lo = std::ceil((-0.5 - start.position) / minor);
    const double hi = std::floor((length + 0.5 - start.position) / minor);
    for (double j = std::max(lo, -1e9); j <= std::min(hi, 1e9); j += 1.0) {
        const double x = Round(start.position + j * minor);
        if (x >= 0 && x <= length)
            AddMark(marks, x, long(j), start.index, n);
    }
    return marks;
}

// ---------------------------------------------------------------------------
// Helpers.

namespace
{

using Ruler = XcRulerRec;

Widget W(Ruler *r)
{
    return reinterpret_cast<Widget>(r);
}

Display *Dpy(const Ruler *r)
{
    return DisplayOfScreen(r->core.screen);
}

bool Realized(Ruler *r)
{
    return XtIsRealized(W(r)) && r->core.window && r->ruler.pixmap;
}

Ruler *Live(Widget w)
{
    return w && XtIsSubclass(w, xcRulerWidgetClass) ? reinterpret_cast<Ruler *>(w) : nullptr;
}

bool Horizontal(const Ruler *r)
{
    return r->ruler.orientation == 0;
}

int Length(const Ruler *r)
{
    return Horizontal(r) ? r->core.width : r->core.height;
}

int Thickness(const Ruler *r)
{
    return Horizontal(r) ? r->core.height - 2 * r->ruler.borderY : r->core.width - 2 * r->ruler.borderX;
}

int Border(const Ruler *r)
{
    return Horizontal(r) ? r->ruler.borderY : r->ruler.borderX;
}

// Entry and exit lines of the widget's methods on the standard output.
class Trace
{
  public:
    Trace(const Ruler *r, const char *name) : r_(r), name_(name), on_(r->ruler.debugLevel >= 1)
    {
        if (on_)
            std::printf(">> XcRuler widget %s: %s\n", r_->core.name, name_);
        if (r->ruler.debugLevel >= 2)
            std::printf("\tdimensions: width = %d, height = %d\n", r->core.width, r->core.height);
    }
    ~Trace()
    {
        if (on_)
            std::printf("<< XcRuler widget %s: %s\n", r_->core.name, name_);
    }
    Trace(const Trace &) = delete;
    Trace &operator=(const Trace &) = delete;

  private:
    const Ruler *r_;
    const char *name_;
    bool on_;
};

bool ValidPolicy(int v)
{
    return v == 0 || v == 1 || v == 2 || v == 10;
}

void CallFactorUnit(Ruler *r)
{
    XcRulerCallbackStruct data{XC_RULER_FACTOR_UNIT_CHANGED, r->ruler.factor, r->ruler.unit};
    XtCallCallbackList(W(r), r->ruler.factorUnitChanged, &data);
}

// ---------------------------------------------------------------------------
// Font and graphics contexts.

// The first of at most 10 fonts matching the name, else "fixed", else none
// (the ruler then draws graduations without labels).
XFontStruct *LoadFont(Display *dpy, const char *name)
{
    int count = 0;
    char **names = name ? XListFonts(dpy, name, 10, &count) : nullptr;
    XFontStruct *font = count > 0 ? XLoadQueryFont(dpy, names[0]) : nullptr;
    if (names)
        XFreeFontNames(names);
    return font ? font : XLoadQueryFont(dpy, "fixed");
}

void FreeFont(Ruler *r)
{
    if (r->ruler.font)
        XFreeFont(Dpy(r), r->ruler.font);
    r->ruler.font = nullptr;
}

void ReleaseGC(Ruler *r, GC *gc)
{
    if (*gc)
        XtReleaseGC(W(r), *gc);
    *gc = nullptr;
}

void MakeGCs(Ruler *r)
{
    XcRulerPart &c = r->ruler;
    ReleaseGC(r, &c.gc);
    ReleaseGC(r, &c.cursorGC);
    XGCValues v;
    v.graphics_exposures = False;
    XtGCMask mask = GCForeground | GCGraphicsExposures;
    if (c.font) {
        v.font = c.font->fid;
        mask |= GCFont;
    }
    v.foreground = r->primitive.foreground;
    c.gc = XtGetGC(W(r), mask, &v);
    v.foreground = c.cursorColor;
    c.cursorGC = XtGetGC(W(r), mask, &v);
}

void MakePixmap(Ruler *r)
{
    if (r->ruler.pixmap)
        XFreePixmap(Dpy(r), r->ruler.pixmap);
    r->ruler.pixmap = XCreatePixmap(Dpy(r), r->core.window, std::max<unsigned>(r->core.width, 1),
                                    std::max<unsigned>(r->core.height, 1), r->core.depth);
}

// ---------------------------------------------------------------------------
// Drawing.

void DrawLabel(Ruler *r, GC gc, int position, const char *text)
{
    const XFontStruct *f = r->ruler.font;
    const int border = Border(r), t = Thickness(r), len = int(std::strlen(text));
    const bool begin = r->ruler.alignment == 0;
    int x, y;
    if (Horizontal(r)) {
        x = position + 2;
        y = begin ? t + border - f->descent + 1 : f->ascent + border;
    } else {
        const int width = XTextWidth(const_cast<XFontStruct *>(f), text, len);
        x = begin ? t + border - 2 - width : border;
        y = position + f->ascent + 1;
    }
    XDrawString(Dpy(r), r->ruler.pixmap, gc, x, y, text, len);
}

// The metric ruler.
void DrawMetric(Ruler *r)
{
    XcRulerPart &c = r->ruler;
    const int t = Thickness(r), border = Border(r);
    if (t < 1)
        return;
    const int t1 = 2 * t / 5, t2 = std::max(t1 / 3, 1), s = c.alignment == 0 ? 1 : -1;
    const int base = c.alignment == 0 ? border : t + border - 1;
    const int lengths[] = {s * t2, s * t1, s * (t - 1)};
    for (const XcRulerMark &m :
         XcRulerLayout(c.unit, c.resolution, c.zoom, c.gradSpacing, c.origin, Length(r))) {
        GC gc = m.zero ? c.cursorGC : c.gc;
        const int end = base + lengths[m.kind];
        if (Horizontal(r))
            XDrawLine(Dpy(r), c.pixmap, gc, m.position, base, m.position, end);
        else
            XDrawLine(Dpy(r), c.pixmap, gc, base, m.position, end, m.position);
        if (m.label[0] && c.font)
            DrawLabel(r, gc, m.position, m.label);
    }
}

void DrawShadow(Ruler *r)
{
    const Dimension ht = r->primitive.highlight_thickness;
    const int w = r->core.width - 2 * ht, h = r->core.height - 2 * ht;
    if (w > 0 && h > 0)
        XmeDrawShadows(Dpy(r), r->core.window, r->primitive.top_shadow_GC, r->primitive.bottom_shadow_GC,
                       Position(ht), Position(ht), Dimension(w), Dimension(h), r->primitive.shadow_thickness,
                       r->ruler.shadowType);
}

// Copies the pixmap's strip at a position along the ruler to the window, or
// draws the cursor line there, between the borders.
void CursorStrip(Ruler *r, int position, bool draw)
{
    const XcRulerPart &c = r->ruler;
    const int border = Border(r), t = Thickness(r);
    if (position < 0 || t < 1)
        return;
    int x = position, y = border, w = 1, h = t;
    if (!Horizontal(r)) {
        std::swap(x, y);
        std::swap(w, h);
    }
    if (draw)
        XFillRectangle(Dpy(r), r->core.window, c.cursorGC, x, y, unsigned(w), unsigned(h));
    else
        XCopyArea(Dpy(r), c.pixmap, r->core.window, c.gc, x, y, unsigned(w), unsigned(h), x, y);
}

void CopyPixmap(Ruler *r)
{
    XCopyArea(Dpy(r), r->ruler.pixmap, r->core.window, r->ruler.gc, 0, 0, r->core.width, r->core.height, 0,
              0);
}

void Redraw(Ruler *r)
{
    if (!Realized(r))
        return;
    XGCValues v;
    v.foreground = r->core.background_pixel;
    GC bg = XtGetGC(W(r), GCForeground, &v);
    XFillRectangle(Dpy(r), r->ruler.pixmap, bg, 0, 0, r->core.width, r->core.height);
    XtReleaseGC(W(r), bg);
    if (r->ruler.draw)
        r->ruler.draw(r);
    CopyPixmap(r);
    CursorStrip(r, r->ruler.cursor, true);
}

// ---------------------------------------------------------------------------
// Methods.

void Initialize(Widget, Widget nw, ArgList, Cardinal *)
{
    Ruler *r = reinterpret_cast<Ruler *>(nw);
    XcRulerPart &c = r->ruler;
    Trace trace(r, "Initialize");
    if (!ValidPolicy(c.resizePolicy))
        c.resizePolicy = 2;
    if (r->core.width == 0)
        r->core.width = 10;
    if (r->core.height == 0)
        r->core.height = 10;
    c.zoom = 1.0;
    c.cursor = -1;
    c.font = nullptr;
    c.gc = c.cursorGC = nullptr;
    c.pixmap = None;
    c.borderX = c.borderY = r->primitive.shadow_thickness;
    c.factor = 0;
    c.draw = DrawMetric;
    // The font name is read again when it changes: keep a copy of our own.
    c.fontList = XtNewString(c.fontList);
}

void Realize(Widget w, XtValueMask *mask, XSetWindowAttributes *attrs)
{
    Ruler *r = reinterpret_cast<Ruler *>(w);
    XcRulerPart &c = r->ruler;
    Trace trace(r, "Realize");
    attrs->bit_gravity = ForgetGravity;
    *mask |= CWBitGravity;
    Visual *visual = CopyFromParent;
    if (c.xcVisual && c.xcVisual->depth == int(r->core.depth) && c.xcVisual->colormap == r->core.colormap)
        visual = c.xcVisual->visual;
    XtCreateWindow(w, InputOutput, visual, *mask, attrs);
    c.font = LoadFont(Dpy(r), c.fontList);
    MakeGCs(r);
    MakePixmap(r);
    Redraw(r);
    CallFactorUnit(r);
    DrawShadow(r);
}

void Resize(Widget w)
{
    Ruler *r = reinterpret_cast<Ruler *>(w);
    Trace trace(r, "Resize");
    if (!Realized(r))
        return;
    MakePixmap(r);
    Redraw(r);
}

void Redisplay(Widget w, XEvent *, Region)
{
    Ruler *r = reinterpret_cast<Ruler *>(w);
    Trace trace(r, "Redisplay");
    if (!Realized(r))
        return;
    CopyPixmap(r);
    CursorStrip(r, r->ruler.cursor, true);
    DrawShadow(r);
}

void Destroy(Widget w)
{
    Ruler *r = reinterpret_cast<Ruler *>(w);
    Trace trace(r, "Destroy");
    FreeFont(r);
    if (r->ruler.pixmap)
        XFreePixmap(Dpy(r), r->ruler.pixmap);
    r->ruler.pixmap = None;
    ReleaseGC(r, &r->ruler.gc);
    ReleaseGC(r, &r->ruler.cursorGC);
    XtFree(r->ruler.fontList);
    r->ruler.fontList = nullptr;
}

// Takes a changed font name; true when the font changed.
bool ReactToFont(const Ruler *o, Ruler *n)
{
    XcRulerPart &c = n->ruler;
    if (c.fontList == o->ruler.fontList)
        return false;
    XtFree(o->ruler.fontList);
    c.fontList = XtNewString(c.fontList);
    if (!XtIsRealized(W(n)))
        return false;
    FreeFont(n);
    c.font = LoadFont(Dpy(n), c.fontList);
    return true;
}

Boolean SetValues(Widget cw, Widget, Widget nw, ArgList, Cardinal *)
{
    const Ruler *o = reinterpret_cast<Ruler *>(cw);
    Ruler *n = reinterpret_cast<Ruler *>(nw);
    const XcRulerPart &a = o->ruler;
    XcRulerPart &c = n->ruler;
    Trace trace(n, "SetValues");
    if (!ValidPolicy(c.resizePolicy))
        c.resizePolicy = a.resizePolicy;
    const bool colours = c.cursorColor != a.cursorColor || n->primitive.foreground != o->primitive.foreground;
    const bool font = ReactToFont(o, n);
    c.borderX = c.borderY = n->primitive.shadow_thickness;
    if (XtIsRealized(nw) && (colours || font))
        MakeGCs(n);
    if (c.unit != a.unit) {
        c.factor = 0;
        CallFactorUnit(n);
    }
    const bool redraw = colours || font || c.alignment != a.alignment || c.orientation != a.orientation ||
                        c.unit != a.unit || c.resolution != a.resolution || c.origin != a.origin ||
                        c.gradSpacing != a.gradSpacing || c.borderX != a.borderX ||
                        n->core.background_pixel != o->core.background_pixel;
    if (redraw)
        Redraw(n);
    // The window is cleared and exposed again for a new shadow or background.
    return c.shadowType != a.shadowType || c.borderX != a.borderX ||
           n->core.background_pixel != o->core.background_pixel;
}

// ---------------------------------------------------------------------------
// Class record.

#define S(x) const_cast<String>(x)
#define OFF(f) XtOffsetOf(XcRulerRec, ruler.f)
#define IMM(v) reinterpret_cast<XtPointer>(static_cast<intptr_t>(v))

char defaultFont[] = "-adobe-helvetica-medium-r-normal-*-8-*-*-*-*-*-*-*";

XtResource resources[] = {
    {S(XmNresizePolicy), S(XmCResizePolicy), S(XmRResizePolicy), sizeof(unsigned char), OFF(resizePolicy),
     S(XtRImmediate), IMM(2)},
    {S(XmNalignment), S(XmCAlignment), S(XtRUnsignedChar), sizeof(unsigned char), OFF(alignment),
     S(XtRImmediate), IMM(0)},
    {S(XmNorientation), S(XmCOrientation), S(XtRUnsignedChar), sizeof(unsigned char), OFF(orientation),
     S(XtRImmediate), IMM(0)},
    {S(XcNunit), S(XcCUnit), S(XtRUnsignedChar), sizeof(unsigned char), OFF(unit), S(XtRImmediate), IMM(0)},
    {S(XcNfactorUnitChangedCallback), S(XtCCallback), S(XtRCallback), sizeof(XtCallbackList),
     OFF(factorUnitChanged), S(XtRCallback), nullptr},
    {S(XcNresolution), S(XcCResolution), S(XtRInt), sizeof(int), OFF(resolution), S(XtRImmediate), IMM(300)},
    {S(XcNgradSpacing), S(XcCGradSpacing), S(XtRInt), sizeof(int), OFF(gradSpacing), S(XtRImmediate), IMM(3)},
    {S(XcNorigin), S(XcCOrigin), S(XtRInt), sizeof(int), OFF(origin), S(XtRImmediate), IMM(0)},
    {S(XcNcursorColor), S(XcCCursorColor), S(XtRPixel), sizeof(Pixel), OFF(cursorColor), S(XtRString),
     S("red")},
    {S(XmNforeground), S(XmCForeground), S(XtRPixel), sizeof(Pixel),
     XtOffsetOf(XcRulerRec, primitive.foreground), S(XtRString), S("black")},
    {S(XcNdebugLevel), S(XcCDebugLevel), S(XtRInt), sizeof(int), OFF(debugLevel), S(XtRImmediate), IMM(0)},
    {S(XcNxcVisual), S(XcCXcVisual), S(XtRPointer), sizeof(XcVisual *), OFF(xcVisual), S(XtRImmediate),
     nullptr},
    {S(XmNfontList), S(XmCFontList), S(XtRString), sizeof(String), OFF(fontList), S(XtRImmediate),
     defaultFont},
    {S(XmNshadowType), S(XmCShadowType), S(XmRShadowType), sizeof(unsigned char), OFF(shadowType),
     S(XtRImmediate), IMM(6)},
    {S(XmNshadowThickness), S(XmCShadowThickness), S(XmRHorizontalDimension), sizeof(Dimension),
     XtOffsetOf(XcRulerRec, primitive.shadow_thickness), S(XtRImmediate), IMM(4)},
    // The border is the shadow alone: no focus highlight around a ruler.
    {S(XmNhighlightThickness), S(XmCHighlightThickness), S(XmRHorizontalDimension), sizeof(Dimension),
     XtOffsetOf(XcRulerRec, primitive.highlight_thickness), S(XtRImmediate), IMM(0)},
};

} // namespace

XmPrimitiveClassRec xcRulerClassRec = {
    {
        /* superclass */ reinterpret_cast<WidgetClass>(&xmPrimitiveClassRec),
        /* class_name */ S("XcRuler"),
        /* widget_size */ sizeof(XcRulerRec),
        /* class_initialize */ nullptr,
        /* class_part_initialize */ nullptr,
        /* class_inited */ False,
        /* initialize */ Initialize,
        /* initialize_hook */ nullptr,
        /* realize */ Realize,
        /* actions */ nullptr,
        /* num_actions */ 0,
        /* resources */ resources,
        /* num_resources */ XtNumber(resources),
        /* xrm_class */ NULLQUARK,
        /* compress_motion */ True,
        /* compress_exposure */ XtExposeCompressMaximal,
        /* compress_enterleave */ True,
        /* visible_interest */ False,
        /* destroy */ Destroy,
        /* resize */ Resize,
        /* expose */ Redisplay,
        /* set_values */ SetValues,
        /* set_values_hook */ nullptr,
        /* set_values_almost */ XtInheritSetValuesAlmost,
        /* get_values_hook */ nullptr,
        /* accept_focus */ nullptr,
        /* version */ XtVersion,
        /* callback_private */ nullptr,
        /* tm_table */ XtInheritTranslations,
        /* query_geometry */ nullptr,
        /* display_accelerator */ XtInheritDisplayAccelerator,
        /* extension */ nullptr,
    },
    {
        /* border_highlight */ XmInheritBorderHighlight,
        /* border_unhighlight */ XmInheritBorderUnhighlight,
        /* translations */ XtInheritTranslations,
        /* arm_and_activate */ nullptr,
        /* syn_resources */ nullptr,
        /* num_syn_resources */ 0,
        /* extension */ nullptr,
    },
};

WidgetClass xcRulerWidgetClass = reinterpret_cast<WidgetClass>(&xcRulerClassRec);

// ---------------------------------------------------------------------------
// Public functions.

Widget XcCreateRuler(Widget parent, const char *name, ArgList args, Cardinal count)
{
    return XtCreateWidget(name, xcRulerWidgetClass, parent, args, count);
}

void XcRulerSetZoom(Widget w, double zoom)
{
    Ruler *r = Live(w);
    if (!r || zoom == r->ruler.zoom || !(zoom > 0.0))
        return;
    r->ruler.zoom = zoom;
    Redraw(r);
}

void XcRulerSetOrigin(Widget w, int origin)
{
    Ruler *r = Live(w);
    if (!r || origin == r->ruler.origin)
        return;
    r->ruler.origin = origin;
    Redraw(r);
}

void XcRulerSetOriginAndZoom(Widget w, int origin, double zoom)
{
    Ruler *r = Live(w);
    if (!r)
        return;
    bool changed = false;
    if (origin != r->ruler.origin) {
        r->ruler.origin = origin;
        changed = true;
    }
    if (zoom != r->ruler.zoom && zoom > 0.0) {
        r->ruler.zoom = zoom;
        changed = true;
    }
    if (changed)
        Redraw(r);
}

void XcRulerSetCursorPosition(Widget w, int position)
{
    Ruler *r = Live(w);
    if (!r || position == r->ruler.cursor)
        return;
    const int border = r->ruler.orientation == 0 ? r->ruler.borderX : r->ruler.borderY;
    if (position >= 0)
        position = std::max(border, std::min(position, Length(r) - border - 1));
    if (Realized(r))
        CursorStrip(r, r->ruler.cursor, false);
    r->ruler.cursor = position < 0 ? -1 : position;
    if (Realized(r))
        CursorStrip(r, r->ruler.cursor, true);
}
