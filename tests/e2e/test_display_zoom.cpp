// The display window at other zooms than 1:1: the wheel and keys change
// what it shows, pointer events still carry image pixels, and a window
// zoomed by a script shows what `sorbane render` draws at that zoom.
#include "tests/e2e/E2e.h"

#include "core/Image.h"
#include "core/Msg.h"

#include <gtest/gtest.h>
// After gtest: X's macros must not meet its templates.
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>

#include <cstdlib>

using namespace e2e;

namespace
{

struct Rgb {
    int width = 0, height = 0;
    std::vector<uint32_t> px; // 0xRRGGBB, row by row
    uint32_t At(int x, int y) const { return px[size_t(y) * size_t(width) + size_t(x)]; }
};

Rgb ReadStore(const std::string &path)
{
    Rgb out;
    Image *image = nullptr;
    if (Image_OpenReadImage(&image, path.c_str()) != 0)
        return out;
    out.width = Image_Width(image);
    out.height = Image_Height(image);
    for (int y = 0; y < out.height; y++)
        for (int x = 0; x < out.width; x++)
            out.px.push_back(Image_GetSample(image, 0, x, y) << 16 | Image_GetSample(image, 1, x, y) << 8 |
                             Image_GetSample(image, 2, x, y));
    Image_CloseImage(image);
    return out;
}

Rgb ReadPng(const std::string &png)
{
    const std::string store = png + ".img";
    return system((SorbanePath() + " import " + png + " " + store).c_str()) == 0 ? ReadStore(store) : Rgb{};
}

// Window pixel (x, y) shows image pixel (sx(x), sy(y)) wherever that lies in the image.
using Axis = int (*)(int);
bool Shows(const std::vector<uint32_t> &window, int width, const Rgb &image, Axis sx, Axis sy)
{
    for (size_t i = 0; i < window.size(); i++) {
        int x = sx(int(i % size_t(width))), y = sy(int(i / size_t(width)));
        if (x < image.width && y < image.height && window[i] != image.At(x, y))
            return false;
    }
    return !window.empty();
}

testing::AssertionResult WindowShows(unsigned long w, const std::string &image, Axis sx, Axis sy)
{
    const Rgb img = ReadStore(image);
    if (WaitUntil([&] { return Shows(GrabWindow(w, img.width, img.height), img.width, img, sx, sy); }))
        return testing::AssertionSuccess();
    return testing::AssertionFailure() << "the window does not show the image so";
}

// The image point of pointer event n of the display.
std::pair<int32_t, int32_t> EventAt(const Session &s, size_t n)
{
    std::vector<Frame> ev = s.displayLog.Sent(MSG_POINTER);
    return n < ev.size() ? std::pair{ev[n].Word(20), ev[n].Word(24)} : std::pair{-1, -1};
}

// One dab of the default 31 x 31 black brush at window (x, y).
void Dab(Session &s, unsigned long w, int x, int y, int events)
{
    ASSERT_TRUE(SendButton(w, true, 1, x, y));
    ASSERT_TRUE(SendButton(w, false, 1, x, y, Button1Mask));
    ASSERT_TRUE(s.displayLog.WaitFor(true, MSG_POINTER, events));
    ASSERT_TRUE(s.displayLog.WaitFor(false, MSG_ROWS_CHANGED, events / 2));
}

void Wheel(unsigned long w, int button, int times)
{
    for (int i = 0; i < times; i++)
        ASSERT_TRUE(SendButton(w, true, button, 0, 0));
}

class DisplayZoom : public testing::Test
{
  protected:
    void Open(int x, int y)
    {
        s.image = MakeImage(s.dir.path, 96, 72, IMAGE_MODE_RGB, 8, 0);
        ASSERT_TRUE(s.Start());
        ASSERT_TRUE(s.displayLog.WaitFor(false, MSG_BRUSH_CURSOR)) << s.kernel.Err();
        ASSERT_NE(w = s.displayLog.Window(), 0u);
        ASSERT_TRUE(MoveWindow(w, x, y)); // clear of other tests' windows
    }
    Session s;
    unsigned long w = 0;
};

} // namespace

// The wheel at the window's corner keeps the image's corner there: at 1:4 a
// window pixel is image pixel x / 4, at 3:1 it is 3x; a dab lands on the
// image pixel under the pointer.
TEST_F(DisplayZoom, WheelZoomsAboutThePointerAndDabsLandOnImagePixels)
{
    ASSERT_NO_FATAL_FAILURE(Open(700, 900));
    ASSERT_NO_FATAL_FAILURE(Wheel(w, Button4, 3));
    EXPECT_TRUE(WindowShows(w, s.image, [](int x) { return x / 4; }, [](int y) { return y / 4; }));
    ASSERT_NO_FATAL_FAILURE(Dab(s, w, 42, 22, 2));
    EXPECT_EQ(EventAt(s, 0), std::pair(10, 5));
    EXPECT_EQ(EventAt(s, 1), std::pair(10, 5));

    ASSERT_NO_FATAL_FAILURE(Wheel(w, Button5, 5));
    EXPECT_TRUE(WindowShows(w, s.image, [](int x) { return 3 * x; }, [](int y) { return 3 * y; }));
    ASSERT_NO_FATAL_FAILURE(Dab(s, w, 20, 15, 4));
    EXPECT_EQ(EventAt(s, 2), std::pair(60, 45));
    EXPECT_EQ(s.QuitByKernel(), 0) << s.kernel.Err();

    EXPECT_TRUE(PatternOutside(s.image, {{10 - 16, 5 - 16, 10 + 16, 5 + 16}, {60 - 16, 45 - 16, 60 + 16, 45 + 16}}));
    for (int p = 0; p < 3; p++) {
        EXPECT_EQ(Sample(s.image, p, 10, 5), 0u);
        EXPECT_EQ(Sample(s.image, p, 60, 45), 0u);
    }
}

// + magnifies about the window's centre (48, 36), 1 goes back to 1:1 about
// it, 0 fits the image to the window (1:1 here) and the right arrow scrolls
// by an eighth of the width.
TEST_F(DisplayZoom, KeysStepFitAndScroll)
{
    ASSERT_NO_FATAL_FAILURE(Open(900, 900));
    auto same = [](int v) { return v; };
    ASSERT_TRUE(SendKey(w, XK_plus));
    EXPECT_TRUE(WindowShows(w, s.image, [](int x) { return (x + 48) / 2; }, [](int y) { return (y + 36) / 2; }));
    ASSERT_TRUE(SendKey(w, XK_1));
    EXPECT_TRUE(WindowShows(w, s.image, same, same));
    ASSERT_TRUE(SendKey(w, XK_minus));
    ASSERT_TRUE(SendKey(w, XK_0));
    EXPECT_TRUE(WindowShows(w, s.image, same, same));
    ASSERT_TRUE(SendKey(w, XK_Right));
    EXPECT_TRUE(WindowShows(w, s.image, [](int x) { return x + 12; }, same));
    EXPECT_EQ(s.QuitByKernel(), 0) << s.kernel.Err();
}

namespace
{

// Where block lies in screen, or (-1, -1).
std::pair<int, int> Find(const Rgb &screen, const Rgb &block)
{
    for (int y = 0; y + block.height <= screen.height; y++)
        for (int x = 0; x + block.width <= screen.width; x++) {
            bool same = true;
            for (int j = 0; j < block.height && same; j++)
                for (int i = 0; i < block.width && same; i++)
                    same = screen.At(x + i, y + j) == block.At(i, j);
            if (same)
                return {x, y};
        }
    return {-1, -1};
}

// The top-left width x height of an image.
Rgb Crop(const Rgb &from, int width, int height)
{
    Rgb out{width, height, {}};
    for (int y = 0; y < height; y++)
        for (int x = 0; x < width; x++)
            out.px.push_back(from.At(x, y));
    return out;
}

int Render(const std::string &display, const std::string &args)
{
    return system(("env -u SORBANEDEBUGCOLORS SORBANECOLORS=2 DISPLAY=" + display + " " + SorbanePath() +
                   " render " + args)
                      .c_str());
}

struct ZoomCase {
    const char *zoom;
    int x, y;           // where the script paints, in image pixels
    int shownW, shownH; // what of the 96 x 72 window the image covers
};

void PrintTo(const ZoomCase &c, std::ostream *os)
{
    *os << c.zoom;
}

class ScriptZoom : public testing::TestWithParam<ZoomCase>
{
};

} // namespace

// A script zooms, paints in image pixels and takes a screenshot: the window
// in it shows what `sorbane render` draws of the painted image at that zoom.
TEST_P(ScriptZoom, ScreenshotShowsTheRenderAtThatZoom)
{
    const ZoomCase c = GetParam();
    Session s;
    s.image = MakeImage(s.dir.path, 96, 72, IMAGE_MODE_RGB, 8, 0);
    const std::string shot = s.dir.File("shot.png"), render = s.dir.File("render.png");
    const std::string at = std::to_string(c.x) + " " + std::to_string(c.y) + "\n";
    ASSERT_TRUE(s.Start({"--show", "--script",
                         s.Script("wait 1042\nsettings width=5 height=5 colour=255,0,0\nzoom " +
                                  std::string(c.zoom) + "\npress " + at + "release " + at +
                                  "wait 2010\nscreenshot " + shot + "\nquit\n")}))
        << s.kernel.Err();
    ASSERT_EQ(s.Finish(), 0) << s.kernel.Err();
    EXPECT_TRUE(PatternOutside(s.image, {{c.x - 2, c.y - 2, c.x + 2, c.y + 2}}));
    EXPECT_GE(ReadStore(s.image).At(c.x, c.y), 0xfa0000u) << "red, at the brush's peak";

    ASSERT_EQ(Render(getenv("DISPLAY"), s.image + " " + render + " --zoom " + c.zoom), 0);
    const Rgb screen = ReadPng(shot), drawn = ReadPng(render);
    ASSERT_GE(drawn.width, c.shownW);
    EXPECT_NE(Find(screen, Crop(drawn, c.shownW, c.shownH)), std::pair(-1, -1));
}

INSTANTIATE_TEST_SUITE_P(Zooms, ScriptZoom,
                         testing::Values(ZoomCase{"1/4", 10, 5, 96, 72}, ZoomCase{"3/1", 60, 45, 32, 24}),
                         [](const auto &info) { return info.param.zoom[0] == '1' ? "Quarter" : "Third"; });

// On a display whose only visual is 8-bit PseudoColor the window shows the
// image through the dithered colour cube, as `sorbane render` does there.
TEST(DisplayEightBit, WindowShowsWhatRenderDraws)
{
    const char *eight = getenv("DAB_DISPLAY8");
    if (!eight)
        GTEST_SKIP() << "needs scripts/xvfb.sh's 8-bit server";
    Session s;
    s.image = MakeImage(s.dir.path, 96, 72, IMAGE_MODE_RGB, 8, 0);
    ASSERT_TRUE(s.Start({}, {std::string("DISPLAY=") + eight, "SORBANEDEBUGCOLORS=", "SORBANECOLORS=2"}));
    ASSERT_TRUE(s.displayLog.WaitFor(false, MSG_BRUSH_CURSOR)) << s.kernel.Err();
    const unsigned long w = s.displayLog.Window();
    const std::string render = s.dir.File("render.png");
    ASSERT_EQ(Render(eight, s.image + " " + render), 0);
    const Rgb drawn = ReadPng(render);

    Display *dpy = XOpenDisplay(eight);
    ASSERT_NE(dpy, nullptr);
    XMoveWindow(dpy, w, 400, 400);
    XWindowAttributes a;
    ASSERT_TRUE(XGetWindowAttributes(dpy, w, &a));
    auto grab = [&] {
        Rgb got{96, 72, {}};
        XImage *image = XGetImage(dpy, w, 0, 0, 96, 72, AllPlanes, ZPixmap);
        for (int y = 0; image && y < 72; y++)
            for (int x = 0; x < 96; x++) {
                XColor c{};
                c.pixel = XGetPixel(image, x, y);
                XQueryColor(dpy, a.colormap, &c);
                got.px.push_back(uint32_t(c.red >> 8) << 16 | uint32_t(c.green >> 8) << 8 | (c.blue >> 8));
            }
        if (image)
            XDestroyImage(image);
        return got.px;
    };
    EXPECT_TRUE(WaitUntil([&] { return grab() == drawn.px; }));
    XCloseDisplay(dpy);
    EXPECT_EQ(s.QuitByKernel(), 0) << s.kernel.Err();
}

TEST(ZoomScript, FractionOutsideItsRangeIsRefused)
{
    for (const char *zoom : {"0/1", "1/257", "2", "1/2/3"}) {
        Session s;
        ASSERT_FALSE(s.Start({"--script", s.Script(std::string("wait 1042\nzoom ") + zoom + "\n")}));
        ASSERT_TRUE(s.kernel.Wait());
        EXPECT_NE(s.kernel.Err().find("line 2: usage: zoom NUM/DEN"), std::string::npos) << zoom;
    }
}
