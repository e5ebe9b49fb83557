// `sorbane render`: a store image drawn through the display library as the
// picture widget draws it (a view at a zoom, the image filler and the no
// man's land filler, an X image of the default visual), and that X image's
// pixels written back as colours into an RGB PNG.
#include "host/Png.h"
#include "host/Sorbane.h"

#include "core/Image.h"
#include "xc/FillTev2X.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <string>

namespace
{
constexpr int NO_MEMORY = 12;
constexpr int CANNOT_HANDLE = 1045;
constexpr int BAD_PARAMETER = 1046;
constexpr int TOO_LARGE = 1050;
constexpr int DISPLAY_NOT_FOUND = 1051;
constexpr int UNSUPPORTED_VISUAL = 1079;
// X requests carry 16-bit sizes. With both terms of a zoom at most kMaxTerm,
// the view's products of a term and a coordinate stay within 32 bits.
constexpr int kMaxSide = 32767;
constexpr int kMaxTerm = 65535;

struct RenderOptions {
    const char *in = nullptr, *out = nullptr;
    bool hasBox = false, average = false, show = false, hasPhase = false;
    int box[4] = {};
    ViewZoom zoom[2] = {{1, 1}, {1, 1}};
    int precision = 0; // 0: every pixel
    int phase[2] = {};
    int background[3] = {};
};

// A decimal integer that starts at *p (a digit or a minus sign); *p moves past it.
bool ParseInt(const char **p, long low, long high, int *out)
{
    if (!isdigit(static_cast<unsigned char>(**p)) && **p != '-')
        return false;
    char *end;
    errno = 0;
    const long v = strtol(*p, &end, 10);
    if (end == *p || errno || v < low || v > high)
        return false;
    *p = end;
    *out = static_cast<int>(v);
    return true;
}

// Exactly n integers in [low, high] separated by commas.
bool ParseList(const char *text, int n, long low, long high, int *out)
{
    for (int i = 0; i < n; ++i)
        if (!ParseInt(&text, low, high, &out[i]) || *text++ != (i + 1 < n ? ',' : '\0'))
            return false;
    return true;
}

// "NUM/DEN" or "NUM/DEN,NUM/DEN" (x, then y; y is x's when not given).
bool ParseZoom(const char *text, ViewZoom zoom[2])
{
    for (int axis = 0; axis < 2; ++axis) {
        int num, den;
        if (!ParseInt(&text, 1, kMaxTerm, &num) || *text++ != '/' || !ParseInt(&text, 1, kMaxTerm, &den))
            return false;
        zoom[axis] = zoom[1] = ViewMakeAbstract(num, den);
        if (!*text)
            return true;
        if (axis == 1 || *text++ != ',')
            return false;
    }
    return false;
}

// 0, or 2 with the usage line for anything malformed.
int ParseRender(int argc, char **argv, RenderOptions *o)
{
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        const char *value = i + 1 < argc ? argv[i + 1] : nullptr;
        bool ok = true;
        if (a == "--box" && value)
            ok = (o->hasBox = ParseList(argv[++i], 4, INT_MIN, INT_MAX, o->box)) && o->box[2] > 0 &&
                 o->box[3] > 0;
        else if (a == "--zoom" && value)
            ok = ParseZoom(argv[++i], o->zoom);
        else if (a == "--precision" && value)
            ok = ParseList(argv[++i], 1, 1, INT_MAX, &o->precision);
        else if (a == "--phase" && value)
            ok = (o->hasPhase = ParseList(argv[++i], 2, 0, INT_MAX, o->phase));
        else if (a == "--background" && value)
            ok = ParseList(argv[++i], 3, 0, 255, o->background);
        else if (a == "--average")
            o->average = true;
        else if (a == "--show")
            o->show = true;
        else if (a.rfind("--", 0) != 0 && !o->in)
            o->in = argv[i];
        else if (a.rfind("--", 0) != 0 && !o->out)
            o->out = argv[i];
        else
            ok = false;
        if (!ok)
            return Sorbane_Usage("render");
    }
    // A phase names a pixel of a precision block.
    const bool phaseOk = !o->hasPhase || (o->phase[0] < o->precision && o->phase[1] < o->precision);
    return o->in && o->out && phaseOk ? 0 : Sorbane_Usage("render");
}

// One line on stderr for a refused input; the status for it.
int Refuse(const char *what, int code, const std::string &detail = "")
{
    Sorbane_Error(what, code, detail.c_str());
    return 2;
}

// One line on stderr for a failure the arguments did not cause; its status.
int Fail(const char *what, int code, const std::string &detail = "")
{
    Sorbane_Error(what, code, detail.c_str());
    return 1;
}

// Every object of one rendering, released in the reverse order of making.
struct Render {
    Image *image = nullptr;
    Display *dpy = nullptr;
    XcVisual *visual = nullptr;
    View *view = nullptr;
    XcImage *ximage = nullptr;
    Fill *fill = nullptr, *nomans = nullptr;
    Box box{}, srcRef{}, dstRef{}, whole{};
    int shm = 1;
    XColor cells[256]; // PseudoColor: the colormap as the server holds it

    ~Render()
    {
        if (fill)
            FillTev2XDestroy(fill);
        if (nomans)
            FillNull2XDestroy(nomans);
        if (view)
            ViewDestroy(view);
        if (ximage)
            XcImage_Destroy(ximage);
        if (visual)
            XcDestroyVisual(visual);
        if (dpy)
            XCloseDisplay(dpy);
        if (image)
            Image_CloseImage(image);
    }

    bool Pseudo() const { return visual->c_class == PseudoColor; }
    XImage *X() const { return ximage->image; }

    uint32_t PixelAt(int x, int y) const
    {
        const char *p = X()->data + size_t(y) * X()->bytes_per_line;
        if (Pseudo())
            return static_cast<uint8_t>(p[x]);
        uint32_t word;
        std::memcpy(&word, p + size_t(x) * 4, 4);
        return word;
    }

    // Every pixel; by hand, as the flat filler serves no DirectColor visual.
    void Clear(uint32_t pixel)
    {
        for (int y = 0; y < X()->height; ++y) {
            char *p = X()->data + size_t(y) * X()->bytes_per_line;
            for (int x = 0; x < X()->width; ++x)
                if (Pseudo())
                    p[x] = char(pixel);
                else
                    std::memcpy(p + size_t(x) * 4, &pixel, 4);
        }
    }

    uint8_t Channel(uint32_t pixel, int ch) const
    {
        if (Pseudo()) {
            const XColor &c = cells[pixel & 255];
            return static_cast<uint8_t>((ch == 0 ? c.red : ch == 1 ? c.green : c.blue) >> 8);
        }
        return static_cast<uint8_t>(pixel >> ximage->cms->cubeStart[ch]);
    }

    // The X pixel of a colour: its bytes placed on TrueColor, the nearest
    // cell of the colour cube on PseudoColor.
    uint32_t PixelOf(const int rgb[3]) const
    {
        if (!Pseudo()) {
            uint32_t pixel = 0;
            for (int ch = 0; ch < 3; ++ch)
                pixel |= uint32_t(rgb[ch]) << ximage->cms->cubeStart[ch];
            return pixel;
        }
        uint32_t best = 0;
        long bestDistance = LONG_MAX;
        for (int k = 0; k < ximage->cms->allocated; ++k) {
            const uint32_t p = ximage->cms->pixels[k];
            long d = 0;
            for (int ch = 0; ch < 3; ++ch)
                d += long(Channel(p, ch) - rgb[ch]) * (Channel(p, ch) - rgb[ch]);
            if (d < bestDistance)
                bestDistance = d, best = p;
        }
        return best;
    }
};

int OpenSource(const RenderOptions &o, Render *r)
{
    if (int code = Image_OpenReadImage(&r->image, o.in))
        return Refuse(o.in, code);
    const Box image = Box_OfImage(r->image);
    r->box = o.hasBox ? Box_Rect(o.box[0], o.box[1], o.box[2], o.box[3]) : image;
    if (Box_Countain(&image, &r->box) != 2)
        return Refuse("--box", BAD_PARAMETER,
                      "outside the " + std::to_string(image.width) + " x " + std::to_string(image.height) +
                          " image");
    for (int axis = 0; axis < 2; ++axis) {
        const int64_t side = axis ? r->box.height : r->box.width;
        if (side * o.zoom[axis].den / o.zoom[axis].num + 1 > kMaxSide)
            return Refuse("--zoom", TOO_LARGE,
                          "the picture would pass " + std::to_string(kMaxSide) + " pixels");
    }
    return 0;
}

// The view from the box: NUM source pixels to DEN destination pixels from
// the box's corner to (0, 0), and the destination is what the box maps to.
int OpenView(const RenderOptions &o, Render *r)
{
    r->srcRef = Box_Rect(r->box.x1, r->box.y1, o.zoom[0].num, o.zoom[1].num);
    r->dstRef = Box_Rect(0, 0, o.zoom[0].den, o.zoom[1].den);
    ViewOptions refs{};
    refs.srcRef = &r->srcRef;
    refs.dstRef = &r->dstRef;
    r->view = NViewCreate(&r->box, &r->box, nullptr, nullptr, &refs, VIEW_MAP);
    Box *dst = r->view ? ViewSrcToDstBox(r->view, &r->box) : nullptr;
    if (!dst)
        return Fail(o.in, NO_MEMORY);
    r->whole = *dst;
    BoxFree(dst);
    ViewSetDst(r->view, &r->whole);
    return 0;
}

// $DISPLAY as Xlib reads it, named even when unset.
const char *DisplayName()
{
    const char *name = XDisplayName(nullptr);
    return name && *name ? name : "$DISPLAY";
}

int OpenDisplay(const RenderOptions &, Render *r)
{
    if (!(r->dpy = XOpenDisplay(nullptr)))
        return Refuse(DisplayName(), DISPLAY_NOT_FOUND, "no X display");
    r->visual = XcOpenVisual(r->dpy, DefaultScreen(r->dpy), XcVisualDefault);
    if (!XcCheckVisual(r->visual))
        return Refuse(DisplayName(), UNSUPPORTED_VISUAL, "8-bit PseudoColor or 24-bit TrueColor wanted");
    if (!(r->ximage = XcImage_Create(r->visual, nullptr, r->whole.width, r->whole.height, &r->shm)))
        return Fail(DisplayName(), NO_MEMORY,
                    "no X image of " + std::to_string(r->whole.width) + " x " +
                        std::to_string(r->whole.height));
    if (r->Pseudo()) {
        for (int p = 0; p < 256; ++p)
            r->cells[p].pixel = static_cast<unsigned long>(p);
        XQueryColors(r->dpy, r->visual->colormap, r->cells, 256);
    }
    return 0;
}

int OpenFillers(const RenderOptions &o, Render *r)
{
    FillTev2XOptions options{};
    options.quality = o.average ? FT2X_AVERAGE : FT2X_NEAREST;
    options.bgPixel = {uint8_t(o.background[0]), uint8_t(o.background[1]), uint8_t(o.background[2]),
                       r->PixelOf(o.background)};
    int mask = FT2X_QUALITY | FT2X_BGPIXEL;
    if (o.precision) {
        options.precisionX = options.precisionY = o.precision;
        options.phaseX = o.phase[0];
        options.phaseY = o.phase[1];
        mask |= FT2X_PRECISION | FT2X_PHASE;
    }
    r->fill = FillTev2XCreate(r->image, r->ximage, &options, mask);
    r->nomans = FillNull2XCreate(nullptr, r->ximage, &options.bgPixel.pixel, FN2X_PIXEL);
    if (!r->fill || !r->nomans)
        return Fail(o.in, NO_MEMORY);
    if (!static_cast<FillTev2XData *>(r->fill->data)->kernels)
        return Refuse(o.in, CANNOT_HANDLE, "no pixel kernel for its planes");
    ViewSetFiller(r->view, r->fill);
    ViewSetBgFiller(r->view, r->nomans);
    return 0;
}

int WritePng(const RenderOptions &o, const Render &r)
{
    PngImage png;
    png.width = r.whole.width;
    png.height = r.whole.height;
    png.channels = 3;
    png.bits = 8;
    int code = Png_Allocate(&png);
    for (int y = 0; !code && y < png.height; ++y)
        for (int x = 0; x < png.width; ++x)
            for (int ch = 0; ch < 3; ++ch)
                Png_SetSample(png, x, y, ch, r.Channel(r.PixelAt(x, y), ch));
    std::string reason;
    if (code || (code = Png_Write(o.out, png, &reason))) {
        Sorbane_Error(o.out, code, reason.c_str());
        return 1;
    }
    return 0;
}

void Put(const Render &r, Window w, GC gc, const XExposeEvent &e)
{
    if (r.shm)
        XShmPutImage(r.dpy, w, gc, r.X(), e.x, e.y, e.x, e.y, unsigned(e.width), unsigned(e.height), False);
    else
        XPutImage(r.dpy, w, gc, r.X(), e.x, e.y, e.x, e.y, unsigned(e.width), unsigned(e.height));
}

// The picture in a plain window until a key or the window manager's close.
void Show(const RenderOptions &o, const Render &r)
{
    Window w = XCreateSimpleWindow(r.dpy, r.visual->root, 0, 0, unsigned(r.whole.width),
                                   unsigned(r.whole.height), 0, 0, 0);
    Atom del = XInternAtom(r.dpy, "WM_DELETE_WINDOW", False);
    XSetWMProtocols(r.dpy, w, &del, 1);
    XStoreName(r.dpy, w, o.in);
    XSelectInput(r.dpy, w, ExposureMask | KeyPressMask);
    XMapWindow(r.dpy, w);
    GC gc = XCreateGC(r.dpy, w, 0, nullptr);
    for (XEvent e;;) {
        XNextEvent(r.dpy, &e);
        if (e.type == Expose)
            Put(r, w, gc, e.xexpose);
        else if (e.type == KeyPress || (e.type == ClientMessage && Atom(e.xclient.data.l[0]) == del))
            break;
    }
    XFreeGC(r.dpy, gc);
    XDestroyWindow(r.dpy, w);
}
} // namespace

int Sorbane_Render(int argc, char **argv)
{
    RenderOptions o;
    if (int usage = ParseRender(argc, argv, &o))
        return usage;
    Render r;
    for (auto step : {OpenSource, OpenView, OpenDisplay, OpenFillers})
        if (int status = step(o, &r))
            return status;
    // Pixels a partial pass leaves alone keep the background.
    r.Clear(static_cast<FillNull2XData *>(r.nomans->data)->pixel);
    ViewFill(r.view);
    int status = WritePng(o, r);
    if (!status && o.show)
        Show(o, r);
    return status;
}
