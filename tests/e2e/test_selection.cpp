// Selections of the display: polygons limit strokes and fills to their
// inside through the mask the kernel writes (1021), on the 24-bit and the
// 8-bit display, drawn with control + button 2 in the window as well as
// scripted; bad polygons are refused or handled within the test's bound.
#include "tests/e2e/E2e.h"

#include "core/Image.h"
#include "core/Msg.h"

#include <gtest/gtest.h>
// After gtest: X's macros must not meet its templates.
#include <X11/X.h>
#include <X11/keysym.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>

using namespace e2e;

namespace
{

using Points = std::vector<std::pair<double, double>>;

// Even-odd inside test at a point.
bool Inside(const Points &poly, double x, double y)
{
    bool in = false;
    for (size_t i = 0, j = poly.size() - 1; i < poly.size(); j = i++) {
        auto [xi, yi] = poly[i];
        auto [xj, yj] = poly[j];
        if ((yi > y) != (yj > y) && x < xi + (y - yi) * (xj - xi) / (yj - yi))
            in = !in;
    }
    return in;
}

// Distance from (x, y) to the segment a-b.
double Distance(double x, double y, std::pair<double, double> a, std::pair<double, double> b)
{
    const double vx = b.first - a.first, vy = b.second - a.second, len = vx * vx + vy * vy;
    const double t = len > 0 ? std::clamp(((x - a.first) * vx + (y - a.second) * vy) / len, 0.0, 1.0) : 0;
    return std::hypot(x - a.first - t * vx, y - a.second - t * vy);
}

// 1 inside a polygon, -1 outside all, 0 near an outline (pixel (x, y) is
// the outline's point (x, y); the mask draws outlines on whole pixels).
int Where(const std::vector<Points> &polys, int x, int y)
{
    bool in = false;
    for (const Points &p : polys) {
        for (size_t i = 0, j = p.size() - 1; i < p.size(); j = i++)
            if (Distance(x, y, p[j], p[i]) < 1.5)
                return 0;
        in = in || Inside(p, x, y);
    }
    return in ? 1 : -1;
}

bool Changed(const std::string &image, int x, int y)
{
    for (int p = 0; p < 3; p++)
        if (Sample(image, p, x, y) != uint32_t((x + 3 * y + 7 * p) & 255))
            return true;
    return false;
}

// Every pixel away from the outlines: changed inside the polygons where
// `painted` says, unchanged outside them; the first that is not is named.
testing::AssertionResult OnlyInside(const std::string &image, const std::vector<Points> &polys,
                                    const std::function<bool(int, int)> &painted)
{
    for (int y = 0; y < 48; y++)
        for (int x = 0; x < 64; x++) {
            const int where = Where(polys, x, y);
            if ((where < 0 && Changed(image, x, y)) || (where > 0 && painted(x, y) && !Changed(image, x, y)))
                return testing::AssertionFailure()
                       << "pixel " << x << "," << y << (where < 0 ? " changed" : " not painted");
        }
    return testing::AssertionSuccess();
}

const char *kSetup = "wait 1042\nsettings selection=1 width=5 height=5 colour=255,0,0\n";

} // namespace

// A stroke across a triangle paints only inside it; a fill in another,
// self-crossing polygon (a bow tie, even-odd) fills only its two halves.
TEST(Selection, PolygonsLimitStrokesAndFillsOnBothDisplays)
{
    const Points triangle = {{4, 4}, {30, 4}, {4, 30}}, bowtie = {{34, 20}, {62, 46}, {62, 20}, {34, 46}};
    for (const char *display : {getenv("DISPLAY"), getenv("DAB_DISPLAY8")}) {
        if (!display)
            continue; // the 8-bit server is scripts/xvfb.sh's
        SCOPED_TRACE(display);
        Session s;
        ASSERT_TRUE(s.Start(
            {"--show", "--script",
             s.Script(std::string(kSetup) +
                      "polygon 4 4 30 4 4 30\npress 0 10\nwait 1043\nmove 63 10\nrelease 63 10\nwait 2010\n"
                      "select all\npolygon 34 20 62 46 62 20 34 46\ntool fill\n"
                      "press 60 30\nrelease 60 30\nwait 2010\nquit\n")},
            {std::string("DISPLAY=") + display}))
            << s.kernel.Err();
        ASSERT_EQ(s.Finish(), 0) << s.kernel.Err();
        EXPECT_TRUE(OnlyInside(s.image, {triangle, bowtie},
                               [](int x, int y) { return x > 32 || (y >= 9 && y <= 11); }));
        EXPECT_TRUE(s.log.Has(true, MSG_MASK_READY, 2)) << "the mask is offered again after each change";
    }
}

// Control + button 2 clicks and a double click draw a triangle in the real
// window (shown 1:1 at its corner); a stroke with button 1 across it then
// paints only inside.
TEST(Selection, PolygonDrawnInTheWindowLimitsAStroke)
{
    Session s;
    s.settings = s.dir.File("settings");
    WriteSettings(s.settings, {{SET_SELECTION, 1}, {SET_UNDO_LIMIT, 100}});
    ASSERT_TRUE(s.Start()) << s.kernel.Err();
    ASSERT_TRUE(s.displayLog.WaitFor(false, MSG_BRUSH_CURSOR)) << s.kernel.Err();
    const unsigned long w = s.displayLog.Window();
    ASSERT_TRUE(w && MoveWindow(w, 700, 600));
    for (auto [x, y] : {std::pair(4, 4), {30, 4}, {4, 30}, {4, 30}}) {
        ASSERT_TRUE(SendButton(w, true, 2, x, y, ControlMask));
        ASSERT_TRUE(SendButton(w, false, 2, x, y, ControlMask | Button2Mask));
    }
    ASSERT_TRUE(s.log.WaitFor(true, MSG_MASK_READY)) << "the kernel offers the triangle's mask";
    ASSERT_TRUE(SendButton(w, true, 1, 0, 10));
    ASSERT_TRUE(s.displayLog.WaitFor(true, MSG_SELECTION)) << "the stroke waits for the selection";
    ASSERT_TRUE(SendMotion(w, 63, 10, Button1Mask));
    ASSERT_TRUE(SendButton(w, false, 1, 63, 10, Button1Mask));
    ASSERT_TRUE(s.displayLog.WaitFor(false, MSG_ROWS_CHANGED));
    // Button 2 inside the selected triangle (away from its handles) drags it
    // along; Delete removes it. The kernel is handed each result (3005).
    auto shapes = [&](int count) {
        EXPECT_TRUE(s.displayLog.WaitFor(true, 3005, count));
        const Frame f = s.displayLog.Sent(3005).back();
        std::vector<int32_t> words;
        for (size_t at = 4; at < f.payload.size(); at += 4)
            words.push_back(f.Word(at));
        return words;
    };
    ASSERT_TRUE(SendButton(w, true, 2, 12, 12));
    ASSERT_TRUE(SendMotion(w, 42, 22, Button2Mask));
    ASSERT_TRUE(SendButton(w, false, 2, 42, 22, Button2Mask));
    EXPECT_EQ(shapes(2), (std::vector<int32_t>{1, 3, 34, 14, 60, 14, 34, 40}));
    ASSERT_TRUE(SendKey(w, XK_Delete));
    EXPECT_EQ(shapes(3), (std::vector<int32_t>{0}));
    EXPECT_EQ(s.QuitByKernel(), 0) << s.kernel.Err();
    EXPECT_TRUE(
        OnlyInside(s.image, {{{4, 4}, {30, 4}, {4, 30}}}, [](int, int y) { return y >= 5 && y <= 15; }));
}

// A polygon of 2 points is refused before anything starts; one of 100 000
// points (a disc) and one reaching the ends of 32 bits (covering the image)
// limit fills as their outlines say.
TEST(Selection, BadPolygons)
{
    {
        Session s;
        EXPECT_FALSE(s.Start({"--script", s.Script("polygon 1 1 5 5\n")}));
        EXPECT_NE(s.kernel.Err().find("line 1: usage: polygon"), std::string::npos) << s.kernel.Err();
    }
    std::string disc = "polygon";
    Points circle;
    for (int i = 0; i < 100000; i++) {
        const double a = 2 * M_PI * i / 100000;
        const int x = int(std::lround(32 + 20 * std::cos(a))), y = int(std::lround(24 + 20 * std::sin(a)));
        disc += " " + std::to_string(x) + " " + std::to_string(y);
        circle.push_back({x, y});
    }
    const struct {
        std::string polygon;
        std::vector<Points> inside;
    } cases[] = {{disc, {circle}},
                 {"polygon -2147483648 -2147483648 2147483647 -2147483648 0 2147483647",
                  {{{-1e9, -1e9}, {1e9, -1e9}, {0, 1e9}}}}};
    for (const auto &c : cases) {
        Session s;
        ASSERT_TRUE(
            s.Start({"--script", s.Script(std::string(kSetup) + c.polygon +
                                          "\ntool fill\npress 32 24\nrelease 32 24\nwait 2010\nquit\n")}))
            << s.kernel.Err();
        ASSERT_EQ(s.Finish(), 0) << s.kernel.Err();
        EXPECT_TRUE(OnlyInside(s.image, c.inside, [](int, int) { return true; }));
    }
}
