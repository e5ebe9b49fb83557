#include "host/Screenshot.h"

#include "host/Png.h"
#include "host/Sorbane.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <algorithm>

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
    if (visual->c_class != TrueColor && visual->c_class != DirectColor) {
        *reason = "the screen is not TrueColor";
        rc = UNSUPPORTED_VISUAL;
    } else if (XImage *image = XGetImage(dpy, RootWindow(dpy, screen), 0, 0, unsigned(w), unsigned(h),
                                         AllPlanes, ZPixmap)) {
        PngImage png;
        png.width = w;
        png.height = h;
        png.channels = 3;
        png.bits = 8;
        rc = Png_Allocate(&png);
        for (int y = 0; rc == 0 && y < h; ++y)
            for (int x = 0; x < w; ++x) {
                const unsigned long pixel = XGetPixel(image, x, y);
                Png_SetSample(png, x, y, 0, Channel(pixel, visual->red_mask));
                Png_SetSample(png, x, y, 1, Channel(pixel, visual->green_mask));
                Png_SetSample(png, x, y, 2, Channel(pixel, visual->blue_mask));
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
