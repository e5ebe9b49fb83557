#include "xc/Visual.h"

#include <cstdlib>

namespace
{
enum Preference { kBest, kFast, kDefault };

// "SORBANEDEBUGCOLORS", else "SORBANECOLORS", as a decimal; 2 when unset.
int ColorLevel()
{
    const char *value = std::getenv("SORBANEDEBUGCOLORS");
    if (!value)
        value = std::getenv("SORBANECOLORS");
    int level = value ? std::atoi(value) : 2;
    return level < -1 ? -1 : level;
}

XcVisual *Open(Widget w, Preference preference)
{
    XcVisual *v = reinterpret_cast<XcVisual *>(XtMalloc(sizeof(XcVisual)));
    // A gadget or other non-widget object draws on its parent's screen.
    Widget owner = XtIsWidget(w) ? w : XtParent(w);
    v->screen = XtScreen(owner);
    v->display = DisplayOfScreen(v->screen);
    v->screenNumber = XScreenNumberOfScreen(v->screen);
    v->root = RootWindowOfScreen(v->screen);

    XVisualInfo info;
    int found = 0;
    if (preference == kBest)
        found = GetBestVisual(v->display, v->screenNumber, &info);
    else if (preference == kFast && DefaultDepthOfScreen(v->screen) == 24)
        found = GetFastVisual(v->display, v->screenNumber, &info);
    if (found) {
        v->depth = info.depth;
        v->visual = info.visual;
        v->c_class = info.c_class;
    } else {
        v->depth = DefaultDepthOfScreen(v->screen);
        v->visual = DefaultVisualOfScreen(v->screen);
        XVisualInfo templ;
        templ.visualid = XVisualIDFromVisual(v->visual);
        int count = 0;
        XVisualInfo *list = XGetVisualInfo(v->display, VisualIDMask, &templ, &count);
        v->c_class = list && count > 0 ? list->c_class : PseudoColor;
        if (list)
            XFree(list);
    }
    if (v->c_class == StaticGray || v->c_class == GrayScale)
        v->c_class = PseudoColor;
    v->colormap = v->visual == DefaultVisualOfScreen(v->screen)
                      ? DefaultColormapOfScreen(v->screen)
                      : XCreateColormap(v->display, v->root, v->visual, AllocNone);
    v->colorLevel = ColorLevel();
    return v;
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

XcVisual *XcOpenBestVisual(Widget w)
{
    return Open(w, kBest);
}
XcVisual *XcOpenFastVisual(Widget w)
{
    return Open(w, kFast);
}
XcVisual *XcOpenDefaultVisual(Widget w)
{
    return Open(w, kDefault);
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
