#include "xc/Visual.h"

#include <cstdlib>

namespace
{
// "SORBANEDEBUGCOLORS", else "SORBANECOLORS", as a decimal; 2 when unset.
int ColorLevel()
{
    const char *value = std::getenv("SORBANEDEBUGCOLORS");
    if (!value)
        value = std::getenv("SORBANECOLORS");
    int level = value ? std::atoi(value) : 2;
    return level < -1 ? -1 : level;
}

// The class of a visual, as the server lists it.
int ClassOf(Display *display, Visual *visual)
{
    XVisualInfo templ;
    templ.visualid = XVisualIDFromVisual(visual);
    int count = 0;
    XVisualInfo *list = XGetVisualInfo(display, VisualIDMask, &templ, &count);
    const int c_class = list && count > 0 ? list->c_class : PseudoColor;
    if (list)
        XFree(list);
    return c_class;
}

XcVisual *OpenWidget(Widget w, XcVisualPreference preference)
{
    // A gadget or other non-widget object draws on its parent's screen.
    Screen *screen = XtScreen(XtIsWidget(w) ? w : XtParent(w));
    return XcOpenVisual(DisplayOfScreen(screen), XScreenNumberOfScreen(screen), preference);
}
} // namespace

int GetBestVisual(Display *display, int screen, XVisualInfo *info)
{
    return XMatchVisualInfo(display, screen, 24, TrueColor, info) ||
           XMatchVisualInfo(display, screen, 24, DirectColor, info);
}

int GetFastVisual(Display *display, int screen, XVisualInfo *info)
{
    return XMatchVisualInfo(display, screen, 8, PseudoColor, info);
}

XcVisual *XcOpenVisual(Display *display, int screenNumber, XcVisualPreference preference)
{
    XcVisual *v = reinterpret_cast<XcVisual *>(XtMalloc(sizeof(XcVisual)));
    v->display = display;
    v->screen = ScreenOfDisplay(display, screenNumber);
    v->screenNumber = screenNumber;
    v->root = RootWindowOfScreen(v->screen);

    XVisualInfo info;
    int found = 0;
    if (preference == XcVisualBest)
        found = GetBestVisual(display, screenNumber, &info);
    else if (preference == XcVisualFast && DefaultDepthOfScreen(v->screen) == 24)
        found = GetFastVisual(display, screenNumber, &info);
    if (found) {
        v->depth = info.depth;
        v->visual = info.visual;
        v->c_class = info.c_class;
    } else {
        v->depth = DefaultDepthOfScreen(v->screen);
        v->visual = DefaultVisualOfScreen(v->screen);
        v->c_class = ClassOf(display, v->visual);
    }
    if (v->c_class == StaticGray || v->c_class == GrayScale)
        v->c_class = PseudoColor;
    v->colormap = v->visual == DefaultVisualOfScreen(v->screen)
                      ? DefaultColormapOfScreen(v->screen)
                      : XCreateColormap(display, v->root, v->visual, AllocNone);
    v->colorLevel = ColorLevel();
    return v;
}

XcVisual *XcOpenBestVisual(Widget w)
{
    return OpenWidget(w, XcVisualBest);
}
XcVisual *XcOpenFastVisual(Widget w)
{
    return OpenWidget(w, XcVisualFast);
}
XcVisual *XcOpenDefaultVisual(Widget w)
{
    return OpenWidget(w, XcVisualDefault);
}

void XcDestroyVisual(XcVisual *v)
{
    XtFree(reinterpret_cast<char *>(v));
}

int XcCheckVisual(const XcVisual *v)
{
    return (v->depth == 24 && (v->c_class == TrueColor || v->c_class == DirectColor)) ||
           (v->depth == 8 && v->c_class == PseudoColor);
}

Display *XcDisplayOfVisual(const XcVisual *v)
{
    return v->display;
}
Screen *XcScreenOfVisual(const XcVisual *v)
{
    return v->screen;
}
int XcScreenNumOfVisual(const XcVisual *v)
{
    return v->screenNumber;
}
Visual *XcVisualOfVisual(const XcVisual *v)
{
    return v->visual;
}
Colormap XcColormapOfVisual(const XcVisual *v)
{
    return v->colormap;
}
int XcClassOfVisual(const XcVisual *v)
{
    return v->c_class;
}
int XcDepthOfVisual(const XcVisual *v)
{
    return v->depth;
}
Window XcRootOfVisual(const XcVisual *v)
{
    return v->root;
}
VisualID XcVisualIDOfVisual(const XcVisual *v)
{
    return XVisualIDFromVisual(v->visual);
}
