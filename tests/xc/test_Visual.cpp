// Visual records on the test script's server: screen 0 has a 24-bit
// TrueColor root, screen 1 an 8-bit PseudoColor root and no 24-bit visual.
#include <gtest/gtest.h>

#include "xc/Visual.h"

#include <X11/Shell.h>
#include <X11/StringDefs.h>
#include <cstdlib>
#include <tuple>

namespace
{
Display *dpy = XOpenDisplay(nullptr);

// What the accessors show (and the colour level); the record is freed.
auto Seen(XcVisual *v)
{
    auto seen = std::tuple(XcDisplayOfVisual(v), XcScreenOfVisual(v), XcScreenNumOfVisual(v),
                           XcVisualOfVisual(v), XcColormapOfVisual(v), XcClassOfVisual(v), XcDepthOfVisual(v),
                           XcRootOfVisual(v), XcVisualIDOfVisual(v), v->colorLevel);
    XcDestroyVisual(v);
    return seen;
}
} // namespace

TEST(Visual, PreferencesFallToTheRootVisualWhereNoneIsBetterAndTheLevelComesFromTheEnvironment)
{
    if (!dpy || ScreenCount(dpy) < 2 || DefaultDepth(dpy, 1) != 8)
        GTEST_SKIP() << "needs scripts/xvfb.sh's X display";
    unsetenv("SORBANEDEBUGCOLORS");
    unsetenv("SORBANECOLORS");
    for (int s : {0, 1}) {
        Visual *root = DefaultVisual(dpy, s);
        const auto want = std::tuple(dpy, ScreenOfDisplay(dpy, s), s, root, DefaultColormap(dpy, s),
                                     s ? PseudoColor : TrueColor, s ? 8 : 24, RootWindow(dpy, s),
                                     XVisualIDFromVisual(root), 2);
        for (XcVisualPreference p : {XcVisualBest, XcVisualFast, XcVisualDefault})
            EXPECT_EQ(Seen(XcOpenVisual(dpy, s, p)), want) << "screen " << s << " preference " << p;
    }
    // A widget's record is its screen's.
    XtToolkitInitialize();
    int argc = 0;
    XtDisplayInitialize(XtCreateApplicationContext(), dpy, "test_xc", "Test", nullptr, 0, &argc, nullptr);
    Widget shell = XtVaAppCreateShell("test_xc", "Test", applicationShellWidgetClass, dpy, XtNscreen,
                                      ScreenOfDisplay(dpy, 1), nullptr);
    EXPECT_EQ(Seen(XcOpenFastVisual(shell)), Seen(XcOpenVisual(dpy, 1, XcVisualDefault)));
    XtDestroyWidget(shell);

    setenv("SORBANECOLORS", "4", 1);
    EXPECT_EQ(std::get<9>(Seen(XcOpenVisual(dpy, 0, XcVisualDefault))), 4);
    setenv("SORBANEDEBUGCOLORS", "0", 1);
    EXPECT_EQ(std::get<9>(Seen(XcOpenVisual(dpy, 0, XcVisualDefault))), 0);
    setenv("SORBANEDEBUGCOLORS", "-7", 1);
    EXPECT_EQ(std::get<9>(Seen(XcOpenVisual(dpy, 1, XcVisualFast))), -1);
    unsetenv("SORBANEDEBUGCOLORS");
    unsetenv("SORBANECOLORS");
}
