// The visual record: which X visual, depth, class and colormap a picture is
// drawn with, chosen once per widget tree with a preference (best, fast or
// default), and the colour level that sizes the colour cube.
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

enum XcVisualPreference { XcVisualBest, XcVisualFast, XcVisualDefault };

// A new record for a screen of an open display, for programs without
// widgets; the widget openers below come here with the widget's screen.
// Best: the 24-bit TrueColor, else DirectColor visual. Fast: the 8-bit
// PseudoColor one, only on a screen whose root depth is 24. Otherwise, or
// when none is found, the root visual.
XcVisual *XcOpenVisual(Display *display, int screenNumber, XcVisualPreference preference);
XcVisual *XcOpenBestVisual(Widget w);
XcVisual *XcOpenFastVisual(Widget w);
XcVisual *XcOpenDefaultVisual(Widget w);
void XcDestroyVisual(XcVisual *v);
Display *XcDisplayOfVisual(const XcVisual *v);
Screen *XcScreenOfVisual(const XcVisual *v);
int XcScreenNumOfVisual(const XcVisual *v);
Visual *XcVisualOfVisual(const XcVisual *v);
Colormap XcColormapOfVisual(const XcVisual *v);
int XcClassOfVisual(const XcVisual *v);
int XcDepthOfVisual(const XcVisual *v);
Window XcRootOfVisual(const XcVisual *v);
VisualID XcVisualIDOfVisual(const XcVisual *v);
// 1 for a 24-bit TrueColor or DirectColor or an 8-bit PseudoColor visual.
int XcCheckVisual(const XcVisual *v);
// 1 with the screen's 24-bit TrueColor visual, else its 24-bit DirectColor one.
int GetBestVisual(Display *display, int screen, XVisualInfo *info);
// 1 with the screen's 8-bit PseudoColor visual.
int GetFastVisual(Display *display, int screen, XVisualInfo *info);
