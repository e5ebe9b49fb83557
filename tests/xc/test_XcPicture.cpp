// The picture widget on both test servers (24-bit TrueColor and an 8-bit
// PseudoColor display): resources and their rules, zoom, scroll and
// conversions, the window's pixels against the image filler drawn through
// an equal view, and the speed evaluation's arithmetic on chosen samples.
#include <gtest/gtest.h> // before Xlib's macros

#include "MemImage.h"
#include "brush/Random.h"
#include "xc/FillTev2X.h"
#include "xc/PWorkProc.h"
#include "xc/Selection.h"
#include "xc/XcPicture.h"

#include <X11/IntrinsicP.h>
#include <X11/Shell.h>
#include <Xm/Xm.h>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <random>
#include <set>
#include <string>
#include <vector>

namespace
{
XtAppContext App()
{
    static XtAppContext app = [] {
        XtToolkitInitialize();
        return XtCreateApplicationContext();
    }();
    return app;
}

// The server named by an environment variable, opened once; null without it.
Display *Server(const char *var)
{
    static std::map<std::string, Display *> open;
    const char *name = getenv(var);
    if (!name)
        return nullptr;
    auto it = open.find(var);
    if (it != open.end())
        return it->second;
    static char app[] = "test_xc";
    static char *argv[] = {app, nullptr};
    int argc = 1;
    return open[var] = XtOpenDisplay(App(), name, "test_xc", "DabStone", nullptr, 0, &argc, argv);
}

// Runs the event loop until done() holds, for a generous bound.
template <typename Done> bool RunUntil(Done done)
{
    auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!done()) {
        if (std::chrono::steady_clock::now() > end)
            return false;
        XtAppProcessEvent(App(), XtIMAll);
    }
    return true;
}

void OnExpose(Widget, XtPointer seen, XEvent *e, Boolean *)
{
    if (e->type == Expose && e->xexpose.count == 0)
        *static_cast<bool *>(seen) = true;
}

// A shell on one server holding one picture widget in the best visual.
class PictureTest : public testing::TestWithParam<const char *>
{
  protected:
    void SetUp() override
    {
        dpy_ = Server(GetParam());
        if (!dpy_)
            GTEST_SKIP() << GetParam() << ": no X server";
        shell_ = XtVaAppCreateShell("test_xc", "DabStone", applicationShellWidgetClass, dpy_, nullptr);
        visual_ = XcOpenBestVisual(shell_);
        img_.Randomize(rng_);
    }
    void TearDown() override
    {
        if (shell_)
            XtDestroyWidget(shell_);
        if (visual_)
            XcDestroyVisual(visual_);
    }

    Widget Make(int width, int height, std::vector<Arg> args = {}, bool withVisual = true)
    {
        args.push_back({const_cast<char *>(XmNwidth), width});
        args.push_back({const_cast<char *>(XmNheight), height});
        args.push_back({const_cast<char *>(XcNimage), reinterpret_cast<XtArgVal>(img_.image())});
        if (withVisual)
            args.push_back({const_cast<char *>(XcNxcVisual), reinterpret_cast<XtArgVal>(visual_)});
        return XtCreateWidget("picture", xcPictureWidgetClass, shell_, args.data(), Cardinal(args.size()));
    }

    // Manages the picture, maps the shell and waits for the picture's expose.
    void Show(Widget pic)
    {
        bool exposed = false;
        XtAddEventHandler(pic, ExposureMask, False, OnExpose, &exposed);
        XtManageChild(pic);
        XtRealizeWidget(shell_);
        ASSERT_TRUE(RunUntil([&] { return exposed; }));
        XtRemoveEventHandler(pic, ExposureMask, False, OnExpose, &exposed);
    }

    std::mt19937 rng_{7};
    MemImage img_{64, 48, 2, 8, false};
    Display *dpy_ = nullptr;
    Widget shell_ = nullptr;
    XcVisual *visual_ = nullptr;
};

int GetInt(Widget w, const char *name)
{
    int v = -12345;
    XtVaGetValues(w, name, &v, nullptr);
    return v;
}

std::pair<int, int> Convert(Widget w, int from, int x, int y)
{
    int ox = -99999, oy = -99999;
    XcPictureConvert(w, from, x, y, 3 - from, &ox, &oy);
    return {ox, oy};
}

// The image drawn by a view of its own from the image onto the picture area,
// built as the widget builds its main view.
class Reference
{
  public:
    Reference(XcVisual *v, Image *image, int width, int height, const Box &area, Pixel background)
    {
        int shm = 0;
        xi_ = XcImage_Create(v, nullptr, width, height, &shm);
        const uint32_t pixel = uint32_t(background);
        bg_ = FillNull2XCreate(nullptr, xi_, &pixel, FN2X_PIXEL);
        fg_ = FillTev2XCreate(image, xi_, nullptr, 0);
        ViewOptions o{};
        o.zoomModeX = o.zoomModeY = VIEW_ANCHOR_CENTRE;
        o.ratioKeep = 1;
        const Box src = Box_OfImage(image);
        view_ = NViewCreate(&src, &area, bg_, fg_, &o, VIEW_ZOOMMODE | VIEW_RATIOMODE);
    }
    ~Reference()
    {
        ViewDestroy(view_);
        FillTev2XDestroy(fg_);
        FillNull2XDestroy(bg_);
        XcImage_Destroy(xi_);
    }
    View *view() { return view_; }
    XImage *Draw()
    {
        ViewFill(view_);
        return xi_->image;
    }
    // A cursor image drawn above at a source area, as the widget's cursor
    // filler draws it through its view onto that area's window box.
    XImage *DrawCursor(Image *cursor, const Box &area, Pixel background)
    {
        Draw();
        FillTev2XOptions o{};
        o.bgPixel.pixel = uint32_t(background);
        o.blend = 1;
        Fill *f = FillTev2XCreate(cursor, xi_, &o, FT2X_BGPIXEL | FT2X_BLEND);
        Box *win = ViewSrcToDstBox(view_, &area);
        ViewOptions m{};
        m.dstRef = win;
        const Box src = Box_OfImage(cursor);
        View *v = NViewCreate(&src, &view_->dst, nullptr, f, &m, VIEW_MAP);
        ViewFillDst(v, &v->imageArea);
        ViewDestroy(v);
        BoxFree(win);
        FillTev2XDestroy(f);
        return xi_->image;
    }

  private:
    XcImage *xi_;
    Fill *bg_, *fg_;
    View *view_;
};

// Pixels of the window's picture area that differ from the reference, and
// the first of them, once the refinement has ended.
std::string Differences(Widget pic, XImage *want, const Box &area)
{
    if (!RunUntil([&] { return XcPictureWorkPending(pic) == 0; }))
        return "the refinement never ends";
    XImage *got = XGetImage(XtDisplay(pic), XtWindow(pic), 0, 0, unsigned(want->width),
                            unsigned(want->height), AllPlanes, ZPixmap);
    if (!got)
        return "no image read back";
    long count = 0;
    char text[128] = "";
    for (int y = area.y1; y <= area.y2; ++y)
        for (int x = area.x1; x <= area.x2; ++x)
            if (XGetPixel(got, x, y) != XGetPixel(want, x, y) && !count++)
                std::snprintf(text, sizeof text, "first (%d, %d): window %lu, filler %lu", x, y,
                              XGetPixel(got, x, y), XGetPixel(want, x, y));
    XDestroyImage(got);
    return count ? std::to_string(count) + " pixels differ, " + text : "";
}
// Every refinement pass: the area's box, the phase painted, the precision.
struct Pass {
    Box box;
    int phaseX, phaseY, px, py;
};
std::vector<Pass> passes;

void OnPass(Widget, const Box *box, int phaseX, int phaseY, int px, int py)
{
    passes.push_back({*box, phaseX, phaseY, px, py});
}

// The phases of each refined area in the order they were painted.
std::map<std::vector<int>, std::vector<std::pair<int, int>>> PhasesByArea()
{
    std::map<std::vector<int>, std::vector<std::pair<int, int>>> by;
    for (const Pass &s : passes)
        by[{s.box.x1, s.box.y1, s.box.x2, s.box.y2}].emplace_back(s.phaseX, s.phaseY);
    return by;
}
} // namespace

TEST_P(PictureTest, ResourcesReadBackWithTheirDefaultsClampsAndBorderRule)
{
    Widget pic = Make(140, 120);
    EXPECT_EQ(GetInt(pic, XcNplane), -1);
    EXPECT_EQ(GetInt(pic, XcNworkProcTimeOut), 50);
    EXPECT_EQ(GetInt(pic, XcNpreviewPrecWorst), 10);
    EXPECT_EQ(GetInt(pic, XmNmarginWidth), 2);
    EXPECT_EQ(GetInt(pic, XcNmoveWindow), 1);
    Dimension shadow = 0, highlight = 9;
    unsigned char type = 0;
    Boolean alpha = 0;
    XtPointer list = nullptr;
    XtVaGetValues(pic, XmNshadowThickness, &shadow, XmNhighlightThickness, &highlight, XmNshadowType, &type,
                  XcNalpha, &alpha, XcNselectionList, &list, nullptr);
    EXPECT_EQ(shadow, 4);
    EXPECT_EQ(highlight, 0);
    EXPECT_EQ(type, XmSHADOW_ETCHED_OUT);
    EXPECT_EQ(alpha, 1);
    EXPECT_EQ(list, reinterpret_cast<XtPointer>(-1));

    // Out-of-range values are raised or replaced at creation and later.
    Widget odd = Make(140, 120,
                      {{const_cast<char *>(XcNmode), 7},
                       {const_cast<char *>(XcNworkProcPrec), 0},
                       {const_cast<char *>(XcNworkProcTimeOut), -5},
                       {const_cast<char *>(XcNpreviewRate), 0}});
    EXPECT_EQ(GetInt(odd, XcNmode), 1);
    EXPECT_EQ(GetInt(odd, XcNworkProcPrec), 1);
    EXPECT_EQ(GetInt(odd, XcNworkProcTimeOut), 0);
    EXPECT_EQ(GetInt(odd, XcNpreviewRate), 1);
    XtVaSetValues(odd, XcNmode, 2, nullptr);
    EXPECT_EQ(GetInt(odd, XcNmode), 2);
    XtVaSetValues(odd, XcNmode, -3, XcNpreviewPrec, 0, nullptr);
    EXPECT_EQ(GetInt(odd, XcNmode), 1);
    EXPECT_EQ(GetInt(odd, XcNpreviewPrec), 1);

    // Border 6 is half of 12: the picture takes the whole width, and keeps
    // its border on the 40-pixel height.
    MemImage narrow(12, 28, 2, 8, false);
    Widget thin = XtVaCreateWidget("thin", xcPictureWidgetClass, shell_, XmNwidth, 12, XmNheight, 40,
                                   XcNimage, narrow.image(), XcNxcVisual, visual_, nullptr);
    int ox = -1, oy = -1;
    XcPictureGetRulerOrigin(thin, &ox, &oy);
    EXPECT_EQ(ox, 0);
    EXPECT_EQ(oy, 6);
    EXPECT_EQ(Convert(thin, XC_PICTURE_WINDOW, 11, 33), std::pair(11, 27));

    // trueSize: the given size is the picture's; the border comes on top.
    Widget framed = Make(100, 50, {{const_cast<char *>(XcNtrueSize), True}});
    Dimension width = 0, height = 0;
    XtVaGetValues(framed, XmNwidth, &width, XmNheight, &height, nullptr);
    EXPECT_EQ(width, 112);
    EXPECT_EQ(height, 62);
}

TEST_P(PictureTest, WithoutAUsableVisualTheWidgetIsInert)
{
    Widget pic = Make(50, 50, {}, false);
    XcPictureSetZoom(pic, {1, 2}, {1, 2}, 0, 0, 0);
    Show(pic);
    EXPECT_EQ(Convert(pic, XC_PICTURE_SOURCE, 3, 4), std::pair(-99999, -99999));
    int x = -7, y = -7;
    XcPictureGetRulerOrigin(pic, &x, &y);
    EXPECT_EQ(std::pair(x, y), std::pair(-7, -7));
}

TEST_P(PictureTest, ZoomScrollAndConversionsGoBothWays)
{
    Widget pic = Make(140, 120); // picture area (6, 6) 128 x 108
    // Whole-pixel zooms, where the conversions undo each other exactly
    // whatever the phase the centre anchor leaves.
    for (ViewZoom z : {ViewZoom{1, 1}, {1, 3}, {3, 1}, {1, 4}, {5, 1}}) {
        XcPictureSetZoom(pic, z, z, 0, 0, 0);
        // A source pixel covers window pixels on magnification, a window
        // pixel covers source pixels on reduction: the round trip starts
        // on the finer side.
        const int from = z.num <= z.den ? XC_PICTURE_SOURCE : XC_PICTURE_WINDOW;
        for (int s : {0, 1, 17, 63}) {
            auto [x, y] = Convert(pic, from, s, 47 - s % 48);
            EXPECT_EQ(Convert(pic, 3 - from, x, y), std::pair(s, 47 - s % 48))
                << "zoom " << z.num << "/" << z.den << " from " << from << " at " << s;
        }
        int vx = 0, vy = 0;
        XcPictureConvertV(pic, XC_PICTURE_SOURCE, 30, 12, XC_PICTURE_WINDOW, &vx, &vy);
        EXPECT_EQ(vx, z.den * 30 / z.num);
        EXPECT_EQ(vy, z.den * 12 / z.num);
    }
    // The source point under the centre stays there while zooming.
    XcPictureSetZoom(pic, {1, 1}, {1, 1}, 0, 0, 0);
    const auto centre = Convert(pic, XC_PICTURE_WINDOW, 6 + 64, 6 + 54);
    XcPictureSetZoom(pic, {1, 4}, {1, 4}, 0, 0, 0);
    EXPECT_EQ(Convert(pic, XC_PICTURE_WINDOW, 6 + 64, 6 + 54), centre);

    // Scrolling by (5, -3) window pixels: x now shows what x + 5 showed.
    const auto before = Convert(pic, XC_PICTURE_WINDOW, 45, 40);
    int dx = 5, dy = -3;
    XcPictureScroll(pic, XC_PICTURE_WINDOW, &dx, &dy);
    EXPECT_EQ(dx, 0);
    EXPECT_EQ(dy, 0);
    EXPECT_EQ(Convert(pic, XC_PICTURE_WINDOW, 40, 43), before);

    // In source units a step too small for the zoom is kept for later.
    XcPictureSetZoom(pic, {3, 1}, {3, 1}, 0, 0, 0);
    dx = 1, dy = 6;
    const auto at = Convert(pic, XC_PICTURE_WINDOW, 50, 50);
    XcPictureScroll(pic, XC_PICTURE_SOURCE, &dx, &dy);
    EXPECT_EQ(dx, 1);
    EXPECT_EQ(dy, 0);
    EXPECT_EQ(Convert(pic, XC_PICTURE_WINDOW, 50, 48), std::pair(at.first, at.second));
}

TEST_P(PictureTest, VirtualSpaceRulesConversionsAndAZeroSizeChangesNothing)
{
    Widget pic = Make(140, 120);
    int ox = 0, oy = 0;
    XcPictureGetRulerOrigin(pic, &ox, &oy);
    XcPictureSetVirtualSize(pic, 0, 500);
    int nx = 0, ny = 0;
    XcPictureGetRulerOrigin(pic, &nx, &ny);
    EXPECT_EQ(std::pair(nx, ny), std::pair(ox, oy));

    // 256 x 216 virtual pixels fit the 128 x 108 picture at 2/1.
    XcPictureSetVirtualSize(pic, 256, 216);
    XcPictureGetRulerOrigin(pic, &nx, &ny);
    EXPECT_EQ(std::pair(nx, ny), std::pair(6, 6));
    EXPECT_EQ(Convert(pic, XC_PICTURE_WINDOW, 6 + 127, 6 + 107), std::pair(254, 214));
}

TEST_P(PictureTest, TheWindowShowsWhatTheImageFillerDrawsThroughTheSameView)
{
    Widget pic = Make(140, 120);
    std::vector<XcPictureZoomCallbackStruct> zooms;
    XtAddCallback(
        pic, XcNzoomChangedCallback,
        [](Widget, XtPointer all, XtPointer data) {
            static_cast<std::vector<XcPictureZoomCallbackStruct> *>(all)->push_back(
                *static_cast<XcPictureZoomCallbackStruct *>(data));
        },
        &zooms);
    Show(pic);
    Pixel background = 0;
    XtVaGetValues(pic, XmNbackground, &background, nullptr);
    const Box area = B(6, 6, 133, 113);
    Reference ref(visual_, img_.image(), 140, 120, area, background);
    EXPECT_EQ(Differences(pic, ref.Draw(), area), "") << "after the expose";

    // Fitted 64 x 48 into 128 x 108 is 1/2 on both axes, told at realize.
    ASSERT_FALSE(zooms.empty());
    EXPECT_EQ(zooms.back().reason, XC_PICTURE_ZOOM_CHANGED);
    EXPECT_EQ(std::vector({zooms.back().numX, zooms.back().denX, zooms.back().numY, zooms.back().denY}),
              std::vector({1, 2, 1, 2}));

    XcPictureSetZoom(pic, {2, 3}, {2, 3}, 30, 20, 1);
    ViewSetZoom(ref.view(), {2, 3}, {2, 3}, 30, 20, 1);
    EXPECT_EQ(zooms.back().denX, 3);
    EXPECT_EQ(Differences(pic, ref.Draw(), area), "") << "after a zoom";

    int dx = -7, dy = 9;
    XcPictureScroll(pic, XC_PICTURE_WINDOW, &dx, &dy);
    ViewScroll(ref.view(), -7, 9);
    EXPECT_EQ(Differences(pic, ref.Draw(), area), "") << "after a scroll";

    // The margin, inside the shadow, is the window background.
    XImage *corner = XGetImage(dpy_, XtWindow(pic), 4, 4, 2, 2, AllPlanes, ZPixmap);
    ASSERT_NE(corner, nullptr);
    EXPECT_EQ(XGetPixel(corner, 0, 0), background);
    EXPECT_EQ(XGetPixel(corner, 1, 1), background);
    XDestroyImage(corner);
}

TEST_P(PictureTest, ImagePlaneVirtualSpaceAndCursorChangesReachTheWindow)
{
    // Shared-memory copies where the server has them, polled for completion.
    Widget pic = Make(140, 120, {{const_cast<char *>(XcNshare), 98}});
    Show(pic);
    Pixel background = 0;
    XtVaGetValues(pic, XmNbackground, &background, nullptr);
    const Box area = B(6, 6, 133, 113);

    // Another image, then one of its planes as grey.
    MemImage other(40, 30, 2, 8, false);
    other.Randomize(rng_);
    XtVaSetValues(pic, XcNimage, other.image(), nullptr);
    Reference ref(visual_, other.image(), 140, 120, area, background);
    EXPECT_EQ(Differences(pic, ref.Draw(), area), "") << "a new image";
    XcPictureSetPlane(pic, 1);
    FillTev2XSetPlane(ref.view()->filler, 1);
    EXPECT_EQ(Differences(pic, ref.Draw(), area), "") << "plane 1";
    FillTev2XSetPlane(ref.view()->filler, -1);
    XcPictureSetPlane(pic, -1);

    // A cursor image above the picture, then moved: the old place shows
    // the image again.
    MemImage cursor(8, 6, 2, 8, false);
    cursor.Randomize(rng_);
    XcPictureSetCursor(pic, cursor.image(), nullptr, 0, &area, 1, nullptr, nullptr);
    const Box at = B(10, 10, 17, 15), moved = B(13, 11, 20, 16);
    XcPictureSetCursorArea(pic, &at);
    EXPECT_EQ(Differences(pic, ref.DrawCursor(cursor.image(), at, background), area), "") << "cursor";
    XcPictureSetCursorArea(pic, &moved);
    EXPECT_EQ(Differences(pic, ref.DrawCursor(cursor.image(), moved, background), area), "") << "moved";
    XcPictureSetCursor(pic, nullptr, nullptr, 0, nullptr, 0, nullptr, nullptr);
    EXPECT_EQ(Differences(pic, ref.Draw(), area), "") << "cursor removed";

    // A virtual space of twice the image's size: the image is stretched
    // over the window rectangle of the whole space.
    XcPictureSetVirtualSize(pic, 80, 60);
    int x = 0, y = 0;
    XcPictureGetRulerOrigin(pic, &x, &y);
    int w = 0, h = 0;
    XcPictureConvertV(pic, XC_PICTURE_SOURCE, 80, 60, XC_PICTURE_WINDOW, &w, &h);
    const Box whole = Box_Rect(x, y, w, h);
    ViewSetMap(ref.view(), nullptr, &whole);
    EXPECT_EQ(Differences(pic, ref.Draw(), area), "") << "virtual space";
}

TEST_P(PictureTest, ResizingKeepsTheShownAreaInMode1AndTheZoomInMode2)
{
    for (int mode : {1, 2}) {
        Widget pic = Make(140, 120, {{const_cast<char *>(XcNmode), mode}});
        Show(pic); // without a window every resize keeps the shown area
        const auto corner = Convert(pic, XC_PICTURE_WINDOW, 6, 6);
        int before = 0, after = 0, unused = 0;
        XcPictureConvertV(pic, XC_PICTURE_SOURCE, 10, 10, XC_PICTURE_WINDOW, &before, &unused);
        XtResizeWidget(pic, 268, 228, 0); // the picture area doubles
        XcPictureConvertV(pic, XC_PICTURE_SOURCE, 10, 10, XC_PICTURE_WINDOW, &after, &unused);
        EXPECT_EQ(after, mode == 1 ? 2 * before : before) << "mode " << mode;
        if (mode == 2) {
            EXPECT_EQ(Convert(pic, XC_PICTURE_WINDOW, 6, 6), corner);
        }
        XtDestroyWidget(pic);
    }
}

// A 1 x 1 window has no border and one pixel of picture; a 10000 x 10000
// one a 400 MB X image. Neither sticks: back at its size, at the zoom it
// kept (mode 2), the window shows the image again.
TEST_P(PictureTest, ExtremeSizesLeaveAWorkingPicture)
{
    Widget pic = Make(140, 120, {{const_cast<char *>(XcNmode), 2}});
    Show(pic);
    for (auto [w, h] : {std::pair{1, 1}, {10000, 10000}, {140, 120}}) {
        XtResizeWidget(pic, Dimension(w), Dimension(h), 0);
        XcPictureRefresh(pic, nullptr);
        int zero[2] = {0, 0};
        XcPictureScroll(pic, XC_PICTURE_WINDOW, &zero[0], &zero[1]);
    }
    XSync(dpy_, False); // the exposures of the last resize, handled
    for (XtAppContext app = XtWidgetToApplicationContext(pic); XtAppPending(app);)
        XtAppProcessEvent(app, XtIMAll);
    Pixel background = 0;
    XtVaGetValues(pic, XmNbackground, &background, nullptr);
    const Box area = B(6, 6, 133, 113);
    Reference ref(visual_, img_.image(), 140, 120, area, background);
    EXPECT_EQ(Differences(pic, ref.Draw(), area), "");
}

TEST_P(PictureTest, CallbacksAndTraceLinesTellWhatChanged)
{
    Widget pic = Make(140, 120, {{const_cast<char *>(XcNshare), 1}});
    std::vector<Box> areas;
    XtAddCallback(
        pic, XcNareaChangedCallback,
        [](Widget, XtPointer all, XtPointer data) {
            auto *d = static_cast<XcPictureAreaCallbackStruct *>(data);
            if (d->reason == XC_PICTURE_AREA_CHANGED)
                static_cast<std::vector<Box> *>(all)->push_back(*d->area);
        },
        &areas);
    Show(pic);
    ASSERT_EQ(areas.size(), 1u);
    const Box corner = B(0, 0, 31, 23);
    XcPictureSetSrcArea(pic, &corner); // 1/4 wins: more rows are seen
    ASSERT_EQ(areas.size(), 2u);
    EXPECT_EQ(std::pair(areas[1].x1, areas[1].x2), std::pair(0, 31));
    EXPECT_LE(areas[1].y1, 0);
    EXPECT_GE(areas[1].y2, 23);

    testing::internal::CaptureStderr();
    XtVaSetValues(pic, XcNdebugTrace, 1, nullptr);
    XcPictureDirectRefresh(pic, nullptr);
    const std::string trace = testing::internal::GetCapturedStderr();
    EXPECT_EQ(trace, ">> LIB/XC/SOURCES/Picture \twidget picture: SetValues\n"
                     "<< LIB/XC/SOURCES/Picture  \twidget picture: SetValues\n"
                     ">> LIB/XC/SOURCES/Picture \twidget picture: XcPictureRefresh\n"
                     ">> LIB/XC/SOURCES/PWorkProc \twidget picture: Invalidate\n"
                     "<< LIB/XC/SOURCES/PWorkProc  \twidget picture: Invalidate\n"
                     "<< LIB/XC/SOURCES/Picture  \twidget picture: XcPictureRefresh\n");

    // A work procedure record told from its insertion to its end.
    XtVaSetValues(pic, XcNdebugTrace, 0, XcNdebugWorkProc, 2, nullptr);
    ASSERT_TRUE(RunUntil([&] { return XcPictureWorkPending(pic) == 0; }));
    testing::internal::CaptureStderr();
    XcPictureRefresh(pic, nullptr);
    const bool ended = RunUntil([&] { return XcPictureWorkPending(pic) == 0; });
    const std::string work = testing::internal::GetCapturedStderr();
    EXPECT_TRUE(ended);
    EXPECT_EQ(work.rfind("\tInserting new workproc ", 0), 0u) << work;
    const std::string state = "\tNew work-proc with 1 areas , total 1 work_proc\n";
    EXPECT_NE(work.find("\tBEFORE COMPACTION\n" + state + "\tAFTER COMPACTION\n" + state), std::string::npos)
        << work;
    EXPECT_TRUE(work.ends_with("\tremoving one WorkProc. Remaining : 0 WorkProcs\n")) << work;
}

TEST_P(PictureTest, RefinementPaintsEveryBlockCellOnceInThePermutationsOrder)
{
    XcPictureSetPassObserver(OnPass);
    for (int prec : {1, 3}) {
        // Without preview the image waits for the passes.
        Widget pic = Make(140, 120,
                          {{const_cast<char *>(XcNpreview), 0}, {const_cast<char *>(XcNworkProcPrec), prec}});
        passes.clear();
        Show(pic);
        Pixel background = 0;
        XtVaGetValues(pic, XmNbackground, &background, nullptr);
        const Box area = B(6, 6, 133, 113);
        Reference ref(visual_, img_.image(), 140, 120, area, background);
        EXPECT_EQ(Differences(pic, ref.Draw(), area), "") << "precision " << prec;

        Random gen;
        Random_Init(&gen, prec, prec);
        std::vector<std::pair<int, int>> order;
        for (int32_t x, y; Random_Next(&gen, &x, &y);)
            order.emplace_back(x, y);
        const auto by = PhasesByArea();
        ASSERT_FALSE(by.empty());
        for (const auto &[box, phases] : by) {
            EXPECT_EQ(phases, order) << "precision " << prec;
            EXPECT_EQ(std::set(phases.begin(), phases.end()).size(), size_t(prec * prec));
        }

        // Two small rectangles a few pixels apart are refined as one area
        // over their union (1/2: 4 x 4 and 2 x 4 window pixels).
        passes.clear();
        const Box left = B(10, 10, 11, 11), right = B(13, 10, 13, 11);
        XcPictureRefresh(pic, &left);
        XcPictureRefresh(pic, &right);
        EXPECT_EQ(XcPictureWorkPending(pic), 1);
        EXPECT_EQ(Differences(pic, ref.Draw(), area), "") << "precision " << prec;
        const auto merged = PhasesByArea();
        ASSERT_EQ(merged.size(), 1u);
        const std::vector<int> &box = merged.begin()->first;
        EXPECT_EQ(std::pair(box[2] - box[0] + 1, box[3] - box[1] + 1), std::pair(8, 4));
        XtDestroyWidget(pic);
    }
    XcPictureSetPassObserver(nullptr);
}

TEST_P(PictureTest, ARectangleInvalidatedInsideAHalfRefinedAreaSplitsIt)
{
    XcPictureSetPassObserver(OnPass);
    Widget pic = Make(140, 120, {{const_cast<char *>(XcNpreview), 0}});
    Show(pic);
    ASSERT_TRUE(RunUntil([&] { return XcPictureWorkPending(pic) == 0; }));
    passes.clear();
    XcPictureRefresh(pic, nullptr);
    ASSERT_TRUE(RunUntil([] { return passes.size() >= 4; }));
    // The image changes under a box in the middle of the pending area.
    const Box middle = B(20, 14, 39, 29);
    for (int y = middle.y1; y <= middle.y2; ++y)
        for (int x = middle.x1; x <= middle.x2; ++x)
            img_.Set(1, x, y, 255 - img_.Get(1, x, y));
    XcPictureRefresh(pic, &middle);
    EXPECT_EQ(XcPictureWorkPending(pic), 1) << "the pieces around it merge into the new record";
    passes.clear();
    Pixel background = 0;
    XtVaGetValues(pic, XmNbackground, &background, nullptr);
    const Box area = B(6, 6, 133, 113);
    Reference ref(visual_, img_.image(), 140, 120, area, background);
    EXPECT_EQ(Differences(pic, ref.Draw(), area), "");

    // The pieces go on with the area's last five phases; the middle runs a
    // whole cycle again from where the area stopped.
    Random gen;
    Random_Init(&gen, 3, 3);
    std::vector<std::pair<int, int>> order;
    for (int32_t x, y; Random_Next(&gen, &x, &y);)
        order.emplace_back(x, y);
    const std::vector rest(order.begin() + 4, order.end());
    std::vector again = rest;
    again.insert(again.end(), order.begin(), order.begin() + 4);
    const auto by = PhasesByArea();
    EXPECT_EQ(by.size(), 5u);
    for (const auto &[box, phases] : by) {
        const bool inside =
            Convert(pic, XC_PICTURE_WINDOW, box[0], box[1]) == std::pair(middle.x1, middle.y1);
        EXPECT_EQ(phases, inside ? again : rest) << box[0] << ", " << box[1];
    }
    XcPictureSetPassObserver(nullptr);
}

TEST_P(PictureTest, AScrollDuringRefinementLeavesNoStaleOrUnpaintedPixel)
{
    XcPictureSetPassObserver(OnPass);
    for (int move : {0, 1}) {
        Widget pic = Make(140, 120, {{const_cast<char *>(XcNmoveWindow), move}});
        Show(pic);
        Pixel background = 0;
        XtVaGetValues(pic, XmNbackground, &background, nullptr);
        const Box area = B(6, 6, 133, 113);
        Reference ref(visual_, img_.image(), 140, 120, area, background);
        XcPictureSetZoom(pic, {1, 3}, {1, 3}, 0, 0, 0);
        ViewSetZoom(ref.view(), {1, 3}, {1, 3}, 0, 0, 0);
        ASSERT_TRUE(RunUntil([&] { return XcPictureWorkPending(pic) == 0; }));
        // The image changes under a source box, as when the user paints,
        // and is scrolled while that box is refined: by a step that keeps
        // most of the picture, then by one wider than it.
        const Box painted = B(10, 8, 29, 25);
        for (auto [x, y] : {std::pair{7, -5}, {-300, 4}}) {
            passes.clear();
            for (int py = painted.y1; py <= painted.y2; ++py)
                for (int px = painted.x1; px <= painted.x2; ++px)
                    img_.Set(0, px, py, 255 - img_.Get(0, px, py));
            XcPictureRefresh(pic, &painted);
            ASSERT_TRUE(RunUntil([] { return passes.size() >= 2; }));
            ASSERT_GT(XcPictureWorkPending(pic), 0);
            int dx = x, dy = y;
            XcPictureScroll(pic, XC_PICTURE_WINDOW, &dx, &dy);
            ViewScroll(ref.view(), x, y);
            EXPECT_EQ(Differences(pic, ref.Draw(), area), "")
                << "moveWindow " << move << " by " << x << ", " << y;
        }
        XtDestroyWidget(pic);
    }
    XcPictureSetPassObserver(nullptr);
}

TEST_P(PictureTest, AnImageReplacedDuringRefinementTakesItsPendingWorkAlong)
{
    XcPictureSetPassObserver(OnPass);
    Widget pic = Make(140, 120);
    Show(pic);
    auto old = std::make_unique<MemImage>(40, 30, 2, 8, false);
    old->Randomize(rng_);
    passes.clear();
    XtVaSetValues(pic, XcNimage, old->image(), nullptr);
    ASSERT_TRUE(RunUntil([] { return !passes.empty(); }));
    ASSERT_GT(XcPictureWorkPending(pic), 0);
    XtVaSetValues(pic, XcNimage, nullptr, nullptr);
    EXPECT_EQ(XcPictureWorkPending(pic), 0) << "no image, nothing to refine";

    XtVaSetValues(pic, XcNimage, old->image(), nullptr);
    MemImage fresh(50, 20, 2, 8, false);
    fresh.Randomize(rng_);
    XtVaSetValues(pic, XcNimage, fresh.image(), nullptr);
    old.reset(); // a pass still reaching it fails under the sanitizers
    Pixel background = 0;
    XtVaGetValues(pic, XmNbackground, &background, nullptr);
    const Box area = B(6, 6, 133, 113);
    Reference ref(visual_, fresh.image(), 140, 120, area, background);
    EXPECT_EQ(Differences(pic, ref.Draw(), area), "");
    XcPictureSetPassObserver(nullptr);
}

// Each of the four ways of drawing a selection (XOR or plain, into the
// window or the X image) has its own way of erasing it: after a selection
// is added, moved and removed, the window and the X image are byte for
// byte what they were.
TEST_P(PictureTest, SelectionsLeaveNoTraceInTheWindowOrTheXImage)
{
    Widget pic = Make(140, 120);
    Show(pic);
    ASSERT_TRUE(RunUntil([&] { return XcPictureWorkPending(pic) == 0; }));
    auto window = [&] {
        XImage *im = XGetImage(dpy_, XtWindow(pic), 0, 0, 140, 120, AllPlanes, ZPixmap);
        std::vector<unsigned long> px;
        for (int y = 0; y < 120; ++y)
            for (int x = 0; x < 140; ++x)
                px.push_back(XGetPixel(im, x, y));
        XDestroyImage(im);
        return px;
    };
    auto ximage = [&] {
        const XImage *im = reinterpret_cast<XcPictureRec *>(pic)->picture.st.ximage->image;
        return std::vector<char>(im->data, im->data + im->bytes_per_line * im->height);
    };
    const auto window0 = window();
    const auto ximage0 = ximage();
    const int32_t corners[] = {10, 8, 40, 8, 40, 30, 10, 30};
    for (Boolean inXor : {False, True})
        for (Boolean inWindow : {False, True}) {
            SCOPED_TRACE(testing::Message() << "xor " << int(inXor) << " window " << int(inWindow));
            XtVaSetValues(pic, XcNselectionXorDrawing, inXor, XcNselectionWindowDrawing, inWindow, nullptr);
            Selection *sel = SelectionCreate("r", selectionClass, corners, 4, 1);
            XcPictureAddSelection(pic, sel, 0, 1);
            EXPECT_NE(window(), window0) << "drawn";
            XcPictureSelectionWillChange(pic, sel);
            SelectionSetPoint(sel, SELECTION_MOVE, 30, 25);
            XcPictureSelectionHasChanged(pic, sel);
            XcPictureEditSelection(pic, sel);
            XcPictureUneditSelection(pic, sel);
            XcPictureRemSelection(pic, sel);
            EXPECT_EQ(window(), window0);
            EXPECT_EQ(ximage(), ximage0);
            EXPECT_EQ(XcPictureSelectionInclude(pic, sel, 20, 20), 0) << "no longer shown";
            SelectionDestroy(sel);
        }
}

INSTANTIATE_TEST_SUITE_P(Servers, PictureTest, testing::Values("DISPLAY", "DAB_DISPLAY8"),
                         [](const auto &info) { return std::string(info.param); });

TEST(PictureThumbnail, IsAPictureInTheBestVisualWhateverModeIsAsked)
{
    Display *dpy = Server("DISPLAY");
    if (!dpy)
        GTEST_SKIP() << "no X server";
    Widget shell = XtVaAppCreateShell("test_xc", "DabStone", applicationShellWidgetClass, dpy, nullptr);
    Arg args[] = {{const_cast<char *>(XcNmode), 2}};
    Widget thumb = XcCreateThumbnail(shell, "thumbnail", args, 1);
    EXPECT_TRUE(XtIsSubclass(thumb, xcPictureWidgetClass));
    EXPECT_FALSE(XtIsManaged(thumb));
    EXPECT_EQ(GetInt(thumb, XcNmode), 1);
    XcVisual *v = nullptr;
    XtVaGetValues(thumb, XcNxcVisual, &v, nullptr);
    ASSERT_NE(v, nullptr);
    EXPECT_EQ(v->depth, 24);
    EXPECT_EQ(GetInt(thumb, XmNdepth), 24);
    XtDestroyWidget(shell);
}

TEST(PictureKps, SamplesTooSmallAreIgnoredAndTheWindowSlidesOnTime)
{
    PictureKps k;
    EXPECT_EQ(PictureKps_Add(&k, 1000, 1000000, 30, 30, 400), KPS_IGNORED);
    EXPECT_EQ(PictureKps_Add(&k, 1000, 1000000, 2000, 10, 400), KPS_IGNORED);
    EXPECT_EQ(PictureKps_Add(&k, 1000, 1000000, 100, 100, 0), KPS_IGNORED);
    EXPECT_TRUE(k.samples.empty());

    EXPECT_EQ(PictureKps_Add(&k, 1000, 1000000, 100, 100, 400), KPS_DISCARDED);
    EXPECT_EQ(PictureKps_Add(&k, 1000, 1000000, 100, 200, 400), KPS_DISCARDED);
    EXPECT_EQ(k.kps, 0);
    EXPECT_EQ(PictureKps_Add(&k, 1000, 1000000, 100, 300, 400), KPS_NEW);
    EXPECT_EQ(k.timeSum, 1200);
    EXPECT_EQ(k.kps, 60000 / 1200);
    // The fourth drops the oldest (10000 pixels) first.
    EXPECT_EQ(PictureKps_Add(&k, 1000, 1000000, 100, 400, 400), KPS_NEW);
    EXPECT_EQ(k.samples.size(), 3u);
    EXPECT_EQ(k.areaSum, 90000);
    EXPECT_EQ(k.kps, 90000 / 1200);

    // The pixel bound ends a window as well.
    PictureKps s;
    EXPECT_EQ(PictureKps_Add(&s, 100000, 25000, 100, 100, 5), KPS_DISCARDED);
    EXPECT_EQ(PictureKps_Add(&s, 100000, 25000, 100, 150, 5), KPS_NEW);
    EXPECT_EQ(s.kps, 2500);
    PictureKps_Reset(&s);
    EXPECT_EQ(s.areaSum + s.timeSum, 0);
    EXPECT_EQ(PictureKps_Add(&s, 100000, 25000, 100, 100, 5), KPS_DISCARDED);
}

TEST(PictureKps, PrecisionIsTheNearestPredictedSpeedATieTakingOneMoreStep)
{
    EXPECT_EQ(NextKps(100, 5), 140);
    EXPECT_EQ(PrevKps(140, 6), 100);
    EXPECT_EQ(PrevKps(500, 1), 0);

    int32_t predicted = 0;
    // At precision 1 a lower target keeps 1.
    EXPECT_EQ(PictureKps_ChoosePrec(10, 1, 50, 10, &predicted), 1);
    // Down from 2 at 99: precision 1 predicts 33; 66 is halfway.
    EXPECT_EQ(PictureKps_ChoosePrec(67, 2, 99, 10, &predicted), 2);
    EXPECT_EQ(predicted, 99);
    EXPECT_EQ(PictureKps_ChoosePrec(66, 2, 99, 10, &predicted), 1);
    EXPECT_EQ(predicted, 33);
    // Up from 5 at 100: precision 6 predicts 140; 120 is halfway.
    EXPECT_EQ(PictureKps_ChoosePrec(119, 5, 100, 10, &predicted), 5);
    EXPECT_EQ(PictureKps_ChoosePrec(120, 5, 100, 10, &predicted), 6);
    EXPECT_EQ(predicted, 140);
    // Never past the worst, even for a speed truncation keeps at 1.
    EXPECT_EQ(PictureKps_ChoosePrec(100000, 5, 100, 7, &predicted), 7);
    EXPECT_EQ(PictureKps_ChoosePrec(50, 3, 1, 10, &predicted), 10);

    int pinned = 0;
    EXPECT_EQ(PictureKps_Target(25, 100, &pinned), 33);
    EXPECT_FALSE(pinned);
    EXPECT_EQ(PictureKps_Target(50, 100, &pinned), 100);
    EXPECT_FALSE(pinned);
    EXPECT_EQ(PictureKps_Target(51, 100, &pinned), 100);
    EXPECT_TRUE(pinned);
}
