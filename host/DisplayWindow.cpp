#include "host/DisplayWindow.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace
{
constexpr int DISPLAY_NOT_FOUND = 1051;
constexpr int UNSUPPORTED_VISUAL = 1079;
constexpr int NO_MEMORY = 12;
constexpr int CHECKER = 8; // transparent pixels show a grey checker of this size

enum Drag { DRAG_NONE, DRAG_PAINT, DRAG_PLACE, DRAG_SELECT };
} // namespace

struct DisplayWindow {
    ::Display *dpy = nullptr;
    Window win = 0;
    GC gc = nullptr;
    XImage *ximage = nullptr; // the whole image, converted: what every repaint copies from
    Atom wmDelete = 0;
    int shift[3] = {}; // red, green, blue positions in a pixel
    const Image *image = nullptr;
    int width = 0, height = 0;
    unsigned long brushPixel = 0, placedPixel = 0, selectPixel = 0;
    // Overlays drawn over the image.
    bool pointerIn = false;
    int px = 0, py = 0;
    int brushW = 0, brushH = 0;
    bool placed = false;
    DisplayRect placedBox{};
    std::vector<DisplayRect> selection;
    Drag drag = DRAG_NONE;
    int dragButton = 0, sx = 0, sy = 0;
    bool dragAdd = false;
    DisplayRect rubber{};
    DisplayRect erase{}; // what the overlays covered before a change
};

namespace
{

// ---- Pixels ------------------------------------------------------------------

unsigned Sample8(const Image *image, int plane, int x, int y)
{
    uint32_t v = Image_GetSample(image, plane, x, y);
    switch (Image_PlaneBits(image, plane)) {
    case 1:
        return v ? 255 : 0;
    case 8:
        return v;
    case 16:
        return v >> 8;
    default:
        return v >> 24;
    }
}

// The colour of one pixel as 8-bit RGB, transparency over a grey checker.
void PixelRgb(const Image *image, int x, int y, unsigned rgb[3])
{
    int colours = Image_ColorPlanes(image);
    if (Image_Mode(image) == IMAGE_MODE_RGB && colours >= 3) {
        for (int c = 0; c < 3; c++)
            rgb[c] = Sample8(image, c, x, y);
    } else if (Image_Mode(image) == IMAGE_MODE_CMYK && colours >= 4) {
        unsigned k = Sample8(image, 3, x, y);
        for (int c = 0; c < 3; c++)
            rgb[c] = 255 - std::min(255u, Sample8(image, c, x, y) + k);
    } else {
        rgb[0] = rgb[1] = rgb[2] = Sample8(image, 0, x, y);
    }
    int alpha = Image_AlphaPlane(image);
    if (alpha < 0)
        return;
    unsigned a = Sample8(image, alpha, x, y);
    unsigned bg = ((x / CHECKER + y / CHECKER) & 1) ? 204 : 153;
    for (int c = 0; c < 3; c++)
        rgb[c] = (rgb[c] * a + bg * (255 - a) + 127) / 255;
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

void Convert(DisplayWindow *w, int x, int y, int width, int height)
{
    for (int j = y; j < y + height; j++)
        for (int i = x; i < x + width; i++) {
            unsigned rgb[3];
            PixelRgb(w->image, i, j, rgb);
            XPutPixel(w->ximage, i, j,
                      (rgb[0] << w->shift[0]) | (rgb[1] << w->shift[1]) | (rgb[2] << w->shift[2]));
        }
}

// ---- Overlays -------------------------------------------------------------------

bool BrushAtPointer(const DisplayWindow *w)
{
    return w->pointerIn && w->drag == DRAG_NONE && w->brushW > 0 && w->brushH > 0;
}

DisplayRect BrushBox(const DisplayWindow *w)
{
    return {w->px - w->brushW / 2, w->py - w->brushH / 2, w->brushW, w->brushH};
}

void Outline(DisplayWindow *w, unsigned long pixel, const DisplayRect &r, bool ellipse)
{
    XSetForeground(w->dpy, w->gc, pixel);
    unsigned rw = unsigned(std::max(r.width - 1, 0)), rh = unsigned(std::max(r.height - 1, 0));
    if (ellipse)
        XDrawArc(w->dpy, w->win, w->gc, r.x, r.y, rw, rh, 0, 360 * 64);
    else
        XDrawRectangle(w->dpy, w->win, w->gc, r.x, r.y, rw, rh);
}

void DrawOverlays(DisplayWindow *w)
{
    for (const DisplayRect &r : w->selection)
        Outline(w, w->selectPixel, r, false);
    if (w->placed)
        Outline(w, w->placedPixel, w->placedBox, false);
    if (w->drag == DRAG_PLACE || w->drag == DRAG_SELECT)
        Outline(w, w->drag == DRAG_PLACE ? w->placedPixel : w->selectPixel, w->rubber, false);
    if (BrushAtPointer(w))
        Outline(w, w->brushPixel, BrushBox(w), true);
}

// Everything the overlays cover, so that one repaint of it erases them.
DisplayRect OverlayBounds(const DisplayWindow *w)
{
    std::vector<DisplayRect> all = w->selection;
    if (w->placed)
        all.push_back(w->placedBox);
    if (w->drag == DRAG_PLACE || w->drag == DRAG_SELECT)
        all.push_back(w->rubber);
    if (BrushAtPointer(w))
        all.push_back(BrushBox(w));
    if (all.empty())
        return {0, 0, 0, 0};
    int x1 = all[0].x, y1 = all[0].y, x2 = x1 + all[0].width, y2 = y1 + all[0].height;
    for (const DisplayRect &r : all) {
        x1 = std::min(x1, r.x);
        y1 = std::min(y1, r.y);
        x2 = std::max(x2, r.x + r.width);
        y2 = std::max(y2, r.y + r.height);
    }
    return {x1 - 1, y1 - 1, x2 - x1 + 2, y2 - y1 + 2};
}

void Repaint(DisplayWindow *w, int x, int y, int width, int height)
{
    if (Clip(w, &x, &y, &width, &height))
        XPutImage(w->dpy, w->win, w->gc, w->ximage, x, y, x, y, unsigned(width), unsigned(height));
    DrawOverlays(w);
    XFlush(w->dpy);
}

// Call before and after an overlay changes: the old drawing is painted over.
void OverlaysChanging(DisplayWindow *w)
{
    w->erase = OverlayBounds(w);
}
void OverlaysChanged(DisplayWindow *w)
{
    Repaint(w, w->erase.x, w->erase.y, w->erase.width, w->erase.height);
}

// ---- Input -------------------------------------------------------------------------

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

DisplayRect Normalised(int x1, int y1, int x2, int y2)
{
    return {std::min(x1, x2), std::min(y1, y2), std::abs(x2 - x1) + 1, std::abs(y2 - y1) + 1};
}

void OnKey(DisplayWindow *w, XKeyEvent *e, std::vector<ScriptCommand> *out)
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
            out->push_back(Command(k.op, k.arg));
            return;
        }
    if (sym == XK_Escape && w->placed) {
        out->push_back(Command(SCRIPT_UNBRUSH));
        OverlaysChanging(w);
        w->placed = false;
        OverlaysChanged(w);
    }
}

void OnPress(DisplayWindow *w, XButtonEvent *e, std::vector<ScriptCommand> *out)
{
    if (w->drag != DRAG_NONE)
        return;
    OverlaysChanging(w);
    w->sx = e->x;
    w->sy = e->y;
    w->rubber = Normalised(e->x, e->y, e->x, e->y);
    w->dragButton = int(e->button);
    if (e->button == Button1 && (e->state & ShiftMask)) {
        w->drag = DRAG_PLACE;
    } else if (e->button == Button2) {
        w->drag = DRAG_SELECT;
        w->dragAdd = e->state & ShiftMask;
    } else if (e->button == Button1 || e->button == Button3) {
        w->drag = DRAG_PAINT;
        out->push_back(Command(SCRIPT_PRESS, e->x, e->y, int(e->button)));
    }
    OverlaysChanged(w);
}

void OnMotion(DisplayWindow *w, XMotionEvent *e, std::vector<ScriptCommand> *out)
{
    XEvent later;
    while (XCheckTypedWindowEvent(w->dpy, w->win, MotionNotify, &later)) // only the latest counts
        e = &later.xmotion;
    OverlaysChanging(w);
    w->px = e->x;
    w->py = e->y;
    w->pointerIn = true;
    if (w->drag == DRAG_PAINT)
        out->push_back(Command(SCRIPT_MOVE, e->x, e->y));
    else if (w->drag != DRAG_NONE)
        w->rubber = Normalised(w->sx, w->sy, e->x, e->y);
    OverlaysChanged(w);
}

void OnRelease(DisplayWindow *w, XButtonEvent *e, std::vector<ScriptCommand> *out)
{
    if (w->drag == DRAG_NONE || int(e->button) != w->dragButton)
        return;
    OverlaysChanging(w);
    DisplayRect r = Normalised(w->sx, w->sy, e->x, e->y);
    if (w->drag == DRAG_PAINT) {
        out->push_back(Command(SCRIPT_RELEASE, e->x, e->y));
    } else if (w->drag == DRAG_PLACE) {
        out->push_back(Command(SCRIPT_BRUSH, r.x, r.y, r.width, r.height));
        w->placed = true; // the window decides by it at once (Escape), before the command runs
        w->placedBox = r;
    } else {
        if (!w->dragAdd)
            out->push_back(Command(SCRIPT_SELECT_ALL));
        out->push_back(Command(SCRIPT_SELECT, r.x, r.y, r.width, r.height));
    }
    w->drag = DRAG_NONE;
    OverlaysChanged(w);
}

void OnCrossing(DisplayWindow *w, bool in, int x, int y)
{
    OverlaysChanging(w);
    w->pointerIn = in;
    w->px = x;
    w->py = y;
    OverlaysChanged(w);
}

unsigned long Pixel(const DisplayWindow *w, unsigned r, unsigned g, unsigned b)
{
    return (r << w->shift[0]) | (g << w->shift[1]) | (b << w->shift[2]);
}

int MaskShift(unsigned long mask)
{
    return (mask && __builtin_popcountl(mask) == 8) ? __builtin_ctzl(mask) : -1;
}

} // namespace

int DisplayWindow_Open(const Image *image, const char *title, DisplayWindow **out)
{
    *out = nullptr;
    ::Display *dpy = XOpenDisplay(nullptr);
    if (!dpy)
        return DISPLAY_NOT_FOUND;
    int screen = DefaultScreen(dpy);
    XVisualInfo want{};
    if (!XMatchVisualInfo(dpy, screen, 24, TrueColor, &want)) {
        XCloseDisplay(dpy);
        return UNSUPPORTED_VISUAL;
    }
    auto *w = new DisplayWindow;
    w->dpy = dpy;
    w->image = image;
    w->width = Image_Width(image);
    w->height = Image_Height(image);
    unsigned long masks[3] = {want.red_mask, want.green_mask, want.blue_mask};
    for (int c = 0; c < 3; c++)
        w->shift[c] = MaskShift(masks[c]);
    if (w->shift[0] < 0 || w->shift[1] < 0 || w->shift[2] < 0) {
        XCloseDisplay(dpy);
        delete w;
        return UNSUPPORTED_VISUAL;
    }
    XSetWindowAttributes attrs{};
    attrs.colormap = XCreateColormap(dpy, RootWindow(dpy, screen), want.visual, AllocNone);
    attrs.background_pixel = 0;
    attrs.border_pixel = 0;
    attrs.event_mask = ExposureMask | KeyPressMask | ButtonPressMask | ButtonReleaseMask | PointerMotionMask |
                       EnterWindowMask | LeaveWindowMask;
    w->win = XCreateWindow(dpy, RootWindow(dpy, screen), 0, 0, unsigned(w->width), unsigned(w->height), 0, 24,
                           InputOutput, want.visual, CWColormap | CWBackPixel | CWBorderPixel | CWEventMask,
                           &attrs);
    w->gc = XCreateGC(dpy, w->win, 0, nullptr);
    char *data = static_cast<char *>(std::malloc(size_t(w->width) * size_t(w->height) * 4));
    if (data)
        w->ximage = XCreateImage(dpy, want.visual, 24, ZPixmap, 0, data, unsigned(w->width),
                                 unsigned(w->height), 32, 0);
    if (!w->ximage) {
        std::free(data);
        DisplayWindow_Close(w);
        return NO_MEMORY;
    }
    w->brushPixel = Pixel(w, 255, 0, 255);
    w->placedPixel = Pixel(w, 0, 255, 255);
    w->selectPixel = Pixel(w, 255, 255, 0);
    Convert(w, 0, 0, w->width, w->height);
    XStoreName(dpy, w->win, title);
    w->wmDelete = XInternAtom(dpy, "WM_DELETE_WINDOW", False);
    XSetWMProtocols(dpy, w->win, &w->wmDelete, 1);
    XMapWindow(dpy, w->win);
    XFlush(dpy);
    *out = w;
    return 0;
}

void DisplayWindow_Close(DisplayWindow *w)
{
    if (!w)
        return;
    if (w->ximage)
        XDestroyImage(w->ximage);
    if (w->gc)
        XFreeGC(w->dpy, w->gc);
    XCloseDisplay(w->dpy);
    delete w;
}

int DisplayWindow_Fd(const DisplayWindow *w)
{
    return ConnectionNumber(w->dpy);
}

unsigned long DisplayWindow_Id(const DisplayWindow *w)
{
    return w->win;
}

void DisplayWindow_Poll(DisplayWindow *w, std::vector<ScriptCommand> *out)
{
    while (XPending(w->dpy)) {
        XEvent e;
        XNextEvent(w->dpy, &e);
        switch (e.type) {
        case Expose:
            Repaint(w, e.xexpose.x, e.xexpose.y, e.xexpose.width, e.xexpose.height);
            break;
        case KeyPress:
            OnKey(w, &e.xkey, out);
            break;
        case ButtonPress:
            OnPress(w, &e.xbutton, out);
            break;
        case ButtonRelease:
            OnRelease(w, &e.xbutton, out);
            break;
        case MotionNotify:
            OnMotion(w, &e.xmotion, out);
            break;
        case EnterNotify:
            OnCrossing(w, true, e.xcrossing.x, e.xcrossing.y);
            break;
        case LeaveNotify:
            OnCrossing(w, false, e.xcrossing.x, e.xcrossing.y);
            break;
        case ClientMessage:
            if (Atom(e.xclient.data.l[0]) == w->wmDelete)
                out->push_back(Command(SCRIPT_CLOSE));
            break;
        default:
            break;
        }
    }
}

void DisplayWindow_Redraw(DisplayWindow *w, int x, int y, int width, int height)
{
    if (!Clip(w, &x, &y, &width, &height))
        return;
    Convert(w, x, y, width, height);
    Repaint(w, x, y, width, height);
}

void DisplayWindow_SetBrush(DisplayWindow *w, int width, int height)
{
    OverlaysChanging(w);
    w->brushW = width;
    w->brushH = height;
    OverlaysChanged(w);
}

void DisplayWindow_SetSelection(DisplayWindow *w, const std::vector<DisplayRect> &rects)
{
    OverlaysChanging(w);
    w->selection = rects;
    OverlaysChanged(w);
}

void DisplayWindow_PlaceBeside(DisplayWindow *w)
{
    if (!w)
        return;
    Window root = DefaultRootWindow(w->dpy), parent = 0, *children = nullptr;
    unsigned count = 0;
    int right = 0;
    if (XQueryTree(w->dpy, root, &root, &parent, &children, &count)) {
        for (unsigned i = 0; i < count; i++) {
            XWindowAttributes a;
            if (children[i] != w->win && XGetWindowAttributes(w->dpy, children[i], &a) &&
                a.map_state == IsViewable)
                right = std::max(right, a.x + a.width + 2 * a.border_width);
        }
        XFree(children);
    }
    XMoveWindow(w->dpy, w->win, right + 8, 0);
    XSync(w->dpy, False);
    DisplayWindow_Redraw(w, 0, 0, w->width, w->height);
    XSync(w->dpy, False);
}
