// The ruler's graduations against a literal walk of the metric rules, and on
// both test servers the window's pixels, the cursor line and the fall-back font.
#include <gtest/gtest.h> // before Xlib's macros

#include "xc/XcRuler.h"

#include <X11/Shell.h>
#include <Xm/Xm.h>
#include <chrono>
#include <climits>
#include <cmath>

namespace
{
// Position, kind and label of each graduation, in the layout's order.
std::string Describe(const std::vector<XcRulerMark> &marks)
{
    std::string s;
    for (const XcRulerMark &m : marks)
        s += std::to_string(m.position) + "abc"[m.kind] + m.label + (m.zero ? "z " : " ");
    return s;
}

std::vector<XcRulerMark> Reference(int unit, double zoom, int origin, int length)
{
    const double p = (unit == 0 ? 1 : unit == 1 ? 300 / 25.4 : unit == 2 ? 300 : 300 * 23.6 / 25.4) * zoom;
    double r = 30 / p, n = r > 1 ? 10 : 1;
    for (; r > 10; r /= 10)
        n *= 10;
    const double step = p * n;
    int m = 0, start = origin;
    while (start < 0 || start > length)
        start = int(std::floor(origin + (origin < 0 ? 1 : -1) * ++m * step + 0.5));
    std::vector<XcRulerMark> marks;
    for (int j = -2 * length; j <= 2 * length; ++j) {
        int x = int(std::floor(start + j * step / 10 + 0.5)), k = std::abs(j);
        if (x < 0 || x > length)
            continue;
        marks.push_back({x, k % 10 == 0 ? 2 : k % 10 == 5, k == 0 && m == 0, ""});
        if (k % 10 == 0 && n * (m + k / 10) < 10000)
            std::snprintf(marks.back().label, 8, "%d", int(n * (m + k / 10)));
    }
    return marks;
}
} // namespace

TEST(RulerLayout, FollowsTheMetricRulesForEveryUnitZoomAndOrigin)
{
    for (int unit : {0, 1, 2, 3})
        for (double zoom : {1.0, 2.0, 0.5, 0.013})
            for (int origin : {0, 37, 400, -250, -9850, 1234})
                EXPECT_EQ(Describe(XcRulerLayout(unit, 300, zoom, 3, origin, 400)),
                          Describe(Reference(unit, zoom, origin, 400)))
                    << "unit " << unit << " zoom " << zoom << " origin " << origin;
    // The worked figures: pixels every 10 with majors every 100, millimetres
    // labelled every 10 mm (118 pixels).
    EXPECT_EQ(Describe(XcRulerLayout(0, 300, 1, 3, 0, 100)),
              "0c0z 10a 20a 30a 40a 50b 60a 70a 80a 90a 100c100 ");
    EXPECT_EQ(Describe(XcRulerLayout(1, 300, 1, 3, 0, 120)),
              "0c0z 12a 24a 35a 47a 59b 71a 83a 94a 106a 118c10 ");
}

TEST(RulerLayout, ExtremesEndAtOnceWithGraduationsOnlyInside)
{
    // clang-format off
    for (auto [unit, resolution, zoom, spacing, origin] : {
             std::tuple{0, 300, 1e-300, 3, 0}, {1, 300, 1e300, 3, -7}, {1, 0, 1, 3, 0}, {2, -300, 1, 3, 0},
             {255, 300, 1, 3, 0}, {0, 300, 1, 0, INT_MIN}, {3, 300, 1, -3, INT_MAX}, {0, 300, 1e-9, 3, INT_MIN},
             {2, INT_MAX, 1e300, 3, INT_MAX}}) { // clang-format on
        auto marks = XcRulerLayout(unit, resolution, zoom, spacing, origin, 1000);
        for (size_t i = 1; i < marks.size(); ++i)
            EXPECT_GT(marks[i].position, marks[i - 1].position);
        EXPECT_TRUE(marks.empty() || (marks.front().position >= 0 && marks.back().position <= 1000));
        EXPECT_TRUE(unit <= 3 && resolution > 0 ? true : marks.empty());
    }
    // Far from the origin labels are too long, but graduations keep their step.
    EXPECT_EQ(Describe(XcRulerLayout(0, 300, 1, 3, INT_MIN, 60)), "2b 12a 22a 32a 42a 52c ");
}

namespace
{
void OnExpose(Widget, XtPointer seen, XEvent *e, Boolean *)
{
    *static_cast<bool *>(seen) |= e->type == Expose && e->xexpose.count == 0;
}

void OnUnit(Widget, XtPointer calls, XtPointer data)
{
    auto *d = static_cast<XcRulerCallbackStruct *>(data);
    *static_cast<std::string *>(calls) += std::to_string(d->reason * 10 + d->unit);
}

// Where graduations of a ruler 300 long start, inside its shadow of 4: 'c' the zero.
std::string Ticks(int origin, double zoom)
{
    std::string s(300, '.');
    for (const XcRulerMark &m : XcRulerLayout(0, 300, zoom, 3, origin, 300))
        s[size_t(m.position)] = m.zero ? 'c' : 'f';
    return s.substr(4, 292);
}

// One ruler in a shell on one server, shown.
class RulerTest : public testing::TestWithParam<const char *>
{
  protected:
    static XtAppContext App()
    {
        static XtAppContext app = (XtToolkitInitialize(), XtCreateApplicationContext());
        return app;
    }
    void SetUp() override
    {
        static int argc = 1;
        static char name[] = "test_xc", *argv[] = {name, nullptr};
        if (getenv(GetParam()))
            dpy_ = XtOpenDisplay(App(), getenv(GetParam()), "test_xc", "DabStone", nullptr, 0, &argc, argv);
        if (!dpy_)
            GTEST_SKIP() << GetParam() << ": no X server";
        shell_ = XtVaAppCreateShell("test_xc", "DabStone", applicationShellWidgetClass, dpy_, nullptr);
    }
    void TearDown() override
    {
        if (shell_)
            XtDestroyWidget(shell_);
        if (dpy_)
            XtCloseDisplay(dpy_);
    }
    void Show(std::vector<std::pair<const char *, XtArgVal>> values, int width = 300, int height = 30)
    {
        std::vector<Arg> args{{const_cast<char *>(XmNwidth), width}, {const_cast<char *>(XmNheight), height}};
        for (auto [name, value] : values)
            args.push_back({const_cast<char *>(name), value});
        ruler_ = XcCreateRuler(shell_, "ruler", args.data(), Cardinal(args.size()));
        XtAddCallback(ruler_, XcNfactorUnitChangedCallback, OnUnit, &calls_);
        bool exposed = false;
        XtAddEventHandler(ruler_, ExposureMask, False, OnExpose, &exposed);
        XtManageChild(ruler_);
        XtRealizeWidget(shell_);
        auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (!exposed && std::chrono::steady_clock::now() < end)
            XtAppProcessEvent(App(), XtIMAll);
        ASSERT_TRUE(exposed);
        XtVaGetValues(ruler_, XmNforeground, &fg_, XcNcursorColor, &cursor_, XmNbackground, &bg_, nullptr);
    }
    // The window's pixels, row by row: 'f' foreground, 'c' cursor, '.' background.
    std::string Pixels(int x, int y, int w, int h)
    {
        XImage *im = XGetImage(dpy_, XtWindow(ruler_), x, y, unsigned(w), unsigned(h), AllPlanes, ZPixmap);
        std::string s;
        for (int k = 0; k < w * h; ++k) {
            Pixel v = XGetPixel(im, k % w, k / w);
            s += v == fg_ ? 'f' : v == cursor_ ? 'c' : v == bg_ ? '.' : '?';
        }
        XDestroyImage(im);
        return s;
    }
    bool Inked(int x, int y, int w, int h) { return Pixels(x, y, w, h) != std::string(size_t(w * h), '.'); }
    // The label of the major at x of a horizontal ruler: below the half ticks.
    bool Label(int x) { return Inked(x + 1, 4 + 22 * 2 / 5 + 1, 40, 21 - 22 * 2 / 5); }

    Display *dpy_ = nullptr;
    Widget shell_ = nullptr, ruler_ = nullptr;
    Pixel fg_ = 0, cursor_ = 0, bg_ = 0;
    std::string calls_;
};
} // namespace

TEST_P(RulerTest, TheWindowShowsTheLayoutItsZeroInTheCursorColourAndItsLabels)
{
    Show({{XcNorigin, 37}});
    EXPECT_EQ(Pixels(4, 4, 292, 1), Ticks(37, 1));
    EXPECT_EQ(Pixels(37, 4, 1, 22), std::string(22, 'c'));
    EXPECT_TRUE(Label(37) && Label(137) && !Label(87));
    EXPECT_EQ(calls_, "10");
    XcRulerSetZoom(ruler_, 0);
    XcRulerSetZoom(ruler_, -2);
    EXPECT_EQ(Pixels(4, 4, 292, 1), Ticks(37, 1));
    XcRulerSetOriginAndZoom(ruler_, -19750, 2);
    EXPECT_EQ(Pixels(4, 4, 292, 1), Ticks(-19750, 2));
    // Majors every 200 at 50 and 250 read 9900 and 10000: 5 characters are too many.
    EXPECT_TRUE(Label(50) && !Label(250));
    XtVaSetValues(ruler_, XcNunit, 2, nullptr);
    EXPECT_EQ(calls_, "1012");
}

TEST_P(RulerTest, TheCursorLineStaysInsideAndLeavesTheGraduationsIntact)
{
    Show({});
    const std::string before = Pixels(0, 4, 300, 1);
    XcRulerSetCursorPosition(ruler_, 100000);
    EXPECT_EQ(Pixels(295, 0, 1, 30), "????" + std::string(22, 'c') + "????");
    XcRulerSetCursorPosition(ruler_, 0); // kept off the shadow
    EXPECT_EQ(Pixels(0, 4, 300, 1), before.substr(0, 4) + 'c' + before.substr(5));
    XcRulerSetCursorPosition(ruler_, -1);
    EXPECT_EQ(Pixels(0, 4, 300, 1), before);
}

TEST_P(RulerTest, ABogusFontFallsBackToFixedOnAVerticalRulerDrawnFromTheRight)
{
    Show({{XmNfontList, XtArgVal("-bogus-nothing-*")},
          {XmNorientation, 1},
          {XmNalignment, 1},
          {XcNorigin, 37}},
         30, 300);
    EXPECT_EQ(Pixels(25, 4, 1, 292), Ticks(37, 1));
    EXPECT_EQ(Pixels(4, 37, 22, 1), std::string(22, 'c'));
    // A minor: 2/5 of the thickness / 3 and its first pixel; labels at the border below majors.
    EXPECT_EQ(Pixels(10, 47, 16, 1), std::string(13, '.') + "fff");
    EXPECT_TRUE(Inked(4, 38, 12, 14) && Inked(4, 138, 12, 14) && !Inked(4, 88, 12, 14));
}

INSTANTIATE_TEST_SUITE_P(Servers, RulerTest, testing::Values("DISPLAY", "DAB_DISPLAY8"),
                         [](const auto &info) { return std::string(info.param); });
