// The test script's X server (scripts/xvfb.sh): screen 0 is 24-bit
// TrueColor, screen 1 8-bit PseudoColor.
#pragma once
#include "xc/Visual.h"

#include <cstdlib>
#include <unistd.h>

// The display, or null without one. The server turns clients away while it
// resets, as it does between two test processes.
inline Display *TestDisplay()
{
    static Display *dpy = [] {
        Display *d = nullptr;
        for (int i = 0; i < 50 && getenv("DISPLAY") && !(d = XOpenDisplay(nullptr)); ++i)
            usleep(20000);
        return d;
    }();
    return dpy;
}

// A visual record for screen s (0 TrueColor, 1 PseudoColor) with a colormap
// of its own, colour level 2; false without the server. The colormap must
// outlive the contexts opened on the record.
inline bool TestVisual(int s, XcVisual *visual)
{
    Display *dpy = TestDisplay();
    XVisualInfo info;
    if (!dpy || ScreenCount(dpy) < 2 ||
        !XMatchVisualInfo(dpy, s, s ? 8 : 24, s ? PseudoColor : TrueColor, &info))
        return false;
    Colormap cm = XCreateColormap(dpy, RootWindow(dpy, s), info.visual, AllocNone);
    *visual = {dpy, ScreenOfDisplay(dpy, s), s, cm, info.depth, info.c_class, info.visual,
               2,   RootWindow(dpy, s)};
    return true;
}
