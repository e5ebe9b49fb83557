// The visual record: which X visual, depth, class and colormap a picture is
// drawn with, chosen once per widget tree with a preference (best, fast or
// default), and the colour level that sizes the colour cube.
//
// Least form until the display library's X images exist: the record and
// the three openings that start-up and the widgets need; XcImage comes with
// that work. The colour contexts (xc/Cms.h) take the record as it is.
#pragma once
#include <X11/Intrinsic.h>
#include <X11/Xutil.h>

struct XcVisual {
    Display *display;
    Screen *screen;
    int screenNumber;
    Colormap colormap; // the screen's default for its root visual, else our own
    int depth;
    int c_class; // StaticGray and GrayScale are recorded as PseudoColor
    Visual *visual;
    int colorLevel; // -1 or more, default 2
    Window root;
};

XcVisual *XcOpenBestVisual(Widget w);
XcVisual *XcOpenFastVisual(Widget w);
XcVisual *XcOpenDefaultVisual(Widget w);
void XcDestroyVisual(XcVisual *v);
// 1 for a 24-bit TrueColor or DirectColor or an 8-bit PseudoColor visual.
int XcCheckVisual(const XcVisual *v);
// 1 with the screen's 24-bit TrueColor visual, else its 24-bit DirectColor one.
int GetBestVisual(Display *display, int screen, XVisualInfo *info);
// 1 with the screen's 8-bit PseudoColor visual.
int GetFastVisual(Display *display, int screen, XVisualInfo *info);
