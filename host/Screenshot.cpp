#include "host/Screenshot.h"

#include "host/Png.h"
#include "host/Sorbane.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <algorithm>
#include <vector>

namespace
{
constexpr int DISPLAY_NOT_FOUND = 1051;
constexpr int UNSUPPORTED_VISUAL = 1079;
constexpr int NO_MEMORY = 12;

// The 8-bit value of a channel under its mask.
unsigned Channel(unsigned long pixel, unsigned long mask)
{
    if (!mask)
        return 0;
    int shift = 0;
    while (!((mask >> shift) & 1))
        ++shift;
    const unsigned long max = mask >> shift;
    return unsigned(((pixel & mask) >> shift) * 255 / max);
}

// The 8-bit red, green and blue of pixel values: from the masks on
// TrueColor and DirectColor, else from the default colormap's cells.
struct PixelColours {
    const Visual *visual;
    std::vector<XColor> cells;
    PixelColours(Display *dpy, int screen, const Visual *v) : visual(v)
    {
        if (v->c_class == TrueColor || v->c_class == DirectColor)
            return;
        cells.resize(size_t(v->map_entries));
        for (size_t i = 0; i < cells.size(); i++)
            cells[i].pixel = i;
        XQueryColors(dpy, DefaultColormap(dpy, screen), cells.data(), int(cells.size()));
    }
    unsigned Get(unsigned long pixel, int c) const
    {
        if (cells.empty())
            return Channel(pixel, c == 0   ? visual->red_mask
                                  : c == 1 ? visual->green_mask
                                           : visual->blue_mask);
        if (pixel >= cells.size())
            return 0;
        const XColor &x = cells[pixel];
        return (c == 0 ? x.red : c == 1 ? x.green : x.blue) >> 8;
    }
};

// The part of the screen the mapped top-level windows cover (without a
// window manager they sit at the top left), or the whole screen.
void Covered(Display *dpy, int screen, int *w, int *h)
{
    Window root = RootWindow(dpy, screen), parent = 0, *children = nullptr;
    unsigned count = 0;
    int right = 0, bottom = 0;
    if (XQueryTree(dpy, root, &root, &parent, &children, &count)) {
        for (unsigned i = 0; i < count; i++) {
            XWindowAttributes a;
            if (XGetWindowAttributes(dpy, children[i], &a) && a.map_state == IsViewable) {
                right = std::max(right, a.x + a.width + 2 * a.border_width);
                bottom = std::max(bottom, a.y + a.height + 2 * a.border_width);
            }
        }
        XFree(children);
    }
    if (right > 0 && bottom > 0) {
        *w = std::min(*w, right);
        *h = std::min(*h, bottom);
    }
}
} // namespace

int Screenshot_Write(const char *path, std::string *reason)
{
    Display *dpy = XOpenDisplay(nullptr);
    if (!dpy) {
        *reason = "no X display";
        return DISPLAY_NOT_FOUND;
    }
    const int screen = DefaultScreen(dpy);
    Visual *visual = DefaultVisual(dpy, screen);
    int w = DisplayWidth(dpy, screen), h = DisplayHeight(dpy, screen);
    Covered(dpy, screen, &w, &h);
    int rc = 0;
    if (visual->map_entries > 4096) {
        *reason = "the screen's colormap is too large";
        rc = UNSUPPORTED_VISUAL;
    } else if (XImage *image = XGetImage(dpy, RootWindow(dpy, screen), 0, 0, unsigned(w), unsigned(h),
                                         AllPlanes, ZPixmap)) {
        PngImage png;
        png.width = w;
        png.height = h;
        png.channels = 3;
        png.bits = 8;
        rc = Png_Allocate(&png);
        const PixelColours colours(dpy, screen, visual);
        for (int y = 0; rc == 0 && y < h; ++y)
            for (int x = 0; x < w; ++x) {
                const unsigned long pixel = XGetPixel(image, x, y);
                for (int c = 0; c < 3; c++)
                    Png_SetSample(png, x, y, c, colours.Get(pixel, c));
            }
        XDestroyImage(image);
        if (rc == 0)
            rc = Png_Write(path, png, reason);
        else
            *reason = "no memory for the picture";
    } else {
        *reason = "can't read the screen";
        rc = NO_MEMORY;
    }
    XCloseDisplay(dpy);
    return rc;
}

int Sorbane_Screenshot(int argc, char **argv)
{
    if (argc != 2)
        return Sorbane_Usage("screenshot");
    std::string reason;
    if (int rc = Screenshot_Write(argv[1], &reason)) {
        Sorbane_Error(argv[1], rc, reason.empty() ? nullptr : reason.c_str());
        return 1;
    }
    return 0;
}
