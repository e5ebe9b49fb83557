// The display window at other zooms than 1:1: pointer events carry image
// pixels, and the window shows what `sorbane render` draws at that zoom.
#include "tests/e2e/E2e.h"

#include "core/Image.h"
#include "core/Msg.h"

#include <gtest/gtest.h>
// After gtest: X's macros must not meet its templates.
#include <X11/X.h>
#include <X11/keysym.h>

#include <algorithm>
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
    for (int i = 0, x = 0, y = 0; i < out.width * out.height; x = ++i % out.width, y = i / out.width)
        out.px.push_back(Image_GetSample(image, 0, x, y) << 16 | Image_GetSample(image, 1, x, y) << 8 |
                         Image_GetSample(image, 2, x, y));
    Image_CloseImage(image);
    return out;
}

// `sorbane ARGS` on a display; its exit status.
int Sorbane(const std::string &display, const std::string &args)
{
    return system(
        ("env -u SORBANEDEBUGCOLORS SORBANECOLORS=2 DISPLAY=" + display + " " + SorbanePath() + " " + args)
            .c_str());
}

// On one axis, window pixel v shows image pixel (a * v + b) / c.
struct Axis {
    int a, b, c;
    int operator()(int v) const { return (a * v + b) / c; }
};

// Window pixel (x, y) shows image pixel (sx(x), sy(y)) wherever that lies in the image.
bool WindowShows(unsigned long w, const std::string &image, Axis sx, Axis sy)
{
    const Rgb img = ReadStore(image);
    return WaitUntil([&] {
        const std::vector<uint32_t> window = GrabWindow(w, img.width, img.height);
        for (size_t i = 0; i < window.size(); i++) {
            int x = sx(int(i % size_t(img.width))), y = sy(int(i / size_t(img.width)));
            if (x >= 0 && y >= 0 && x < img.width && y < img.height && window[i] != img.At(x, y))
                return false;
        }
        return !window.empty();
    });
}

// Block lies somewhere in screen.
bool Found(const Rgb &screen, const Rgb &block)
{
    for (int y = 0; y + block.height <= screen.height; y++)
        for (int x = 0; x + block.width <= screen.width; x++) {
            int j = 0;
            auto row = [&](const Rgb &r, int i, int k) { return r.px.begin() + i * r.width + k; };
            while (j < block.height &&
                   std::equal(row(block, j, 0), row(block, j + 1, 0), row(screen, y + j, x)))
                j++;
            if (j == block.height)
                return true;
        }
    return false;
}

} // namespace

// The wheel at the window's corner keeps the image's corner there (at 1:4
// window pixel x shows x / 4, at 3:1 3x) and dabs land under the pointer; 0
// fits (1:1 here), + magnifies about the centre (48, 36), 1 shows 1:1 about
// it, the right arrow and a drag with alt + button 2 scroll.
TEST(DisplayZoom, WheelAndKeysZoomAndDabsLandOnImagePixels)
{
    Session s;
    s.image = MakeImage(s.dir.path, 96, 72, IMAGE_MODE_RGB, 8, 0);
    ASSERT_TRUE(s.Start());
    ASSERT_TRUE(s.displayLog.WaitFor(false, MSG_BRUSH_CURSOR)) << s.kernel.Err();
    const unsigned long w = s.displayLog.Window();
    ASSERT_TRUE(w && MoveWindow(w, 700, 900)); // clear of other tests' windows
    ASSERT_TRUE(PointerTo(w, -20, -20));       // the brush cursor would follow a pointer left over the window
    // A dab of the default 31 x 31 black brush at window (x, y), sent at image (ix, iy).
    auto dab = [&](int x, int y, int ix, int iy) {
        const size_t n = s.displayLog.Sent(MSG_POINTER).size();
        ASSERT_TRUE(SendButton(w, true, 1, x, y));
        ASSERT_TRUE(SendButton(w, false, 1, x, y, Button1Mask));
        ASSERT_TRUE(s.displayLog.WaitFor(true, MSG_POINTER, int(n) + 2));
        for (const Frame &f : {s.displayLog.Sent(MSG_POINTER)[n], s.displayLog.Sent(MSG_POINTER)[n + 1]})
            EXPECT_EQ(std::pair(f.Word(20), f.Word(24)), std::pair(ix, iy));
        ASSERT_TRUE(s.displayLog.WaitFor(false, MSG_ROWS_CHANGED, int(n) / 2 + 1));
    };
    for (int i = 0; i < 3; i++) // 1:2, 1:3, 1:4
        ASSERT_TRUE(SendButton(w, true, Button4, 0, 0));
    EXPECT_TRUE(WindowShows(w, s.image, {1, 0, 4}, {1, 0, 4}));
    ASSERT_NO_FATAL_FAILURE(dab(42, 22, 10, 5));
    for (int i = 0; i < 5; i++) // 1:3, 1:2, 1:1, 2:1, 3:1
        ASSERT_TRUE(SendButton(w, true, Button5, 0, 0));
    EXPECT_TRUE(WindowShows(w, s.image, {3, 0, 1}, {3, 0, 1}));
    ASSERT_NO_FATAL_FAILURE(dab(20, 15, 60, 45));

    const Axis same{1, 0, 1};
    ASSERT_TRUE(SendKey(w, XK_0));
    EXPECT_TRUE(WindowShows(w, s.image, same, same));
    ASSERT_TRUE(SendKey(w, XK_plus));
    EXPECT_TRUE(WindowShows(w, s.image, {1, 48, 2}, {1, 36, 2}));
    ASSERT_TRUE(SendKey(w, XK_1));
    EXPECT_TRUE(WindowShows(w, s.image, same, same));
    ASSERT_TRUE(SendKey(w, XK_Right));
    EXPECT_TRUE(WindowShows(w, s.image, {1, 12, 1}, same));
    ASSERT_TRUE(SendButton(w, true, 2, 50, 10, Mod1Mask)); // the picture follows the pointer
    ASSERT_TRUE(SendMotion(w, 40, 7, Mod1Mask | Button2Mask));
    EXPECT_TRUE(WindowShows(w, s.image, {1, 22, 1}, {1, 3, 1}));
    EXPECT_EQ(s.QuitByKernel(), 0) << s.kernel.Err();
    EXPECT_TRUE(
        PatternOutside(s.image, {{10 - 16, 5 - 16, 10 + 16, 5 + 16}, {60 - 16, 45 - 16, 60 + 16, 45 + 16}}));
    EXPECT_EQ(ReadStore(s.image).At(10, 5), 0u);
    EXPECT_EQ(ReadStore(s.image).At(60, 45), 0u);
}

// A script zooms, paints in image pixels and takes a screenshot: the window
// in it shows what `sorbane render` draws of the painted image at that zoom.
// The cases run one after the other: two windows placed beside the others
// at once could cover each other.
TEST(ScriptZoom, ScreenshotShowsTheRenderAtThatZoom)
{
    const struct {
        const char *zoom, *box; // box: the part of the image the 96 x 72 window shows
        int x, y;               // where the script paints, in image pixels
        const char *display;
    } cases[] = {{"1/4", "0,0,24,18", 10, 5, getenv("DISPLAY")},
                 {"3/1", "0,0,96,72", 60, 45, getenv("DISPLAY")},
                 {"1/4", "0,0,24,18", 10, 5, getenv("DAB_DISPLAY8")}};
    for (const auto &c : cases) {
        if (!c.display)
            continue; // the 8-bit server is scripts/xvfb.sh's
        SCOPED_TRACE(std::string(c.zoom) + " on " + c.display);
        Session s;
        s.image = MakeImage(s.dir.path, 96, 72, IMAGE_MODE_RGB, 8, 0);
        const std::string shot = s.dir.File("shot.png"), render = s.dir.File("render.png");
        const std::string at = std::to_string(c.x) + " " + std::to_string(c.y) + "\n";
        ASSERT_TRUE(s.Start(
            {"--show", "--script",
             s.Script("wait 1042\nsettings width=5 height=5 colour=255,0,0\nzoom " + std::string(c.zoom) +
                      "\npress " + at + "release " + at + "wait 2010\nscreenshot " + shot + "\nquit\n")},
            {std::string("DISPLAY=") + c.display, "SORBANEDEBUGCOLORS=", "SORBANECOLORS=2"}))
            << s.kernel.Err();
        ASSERT_EQ(s.Finish(), 0) << s.kernel.Err();
        EXPECT_TRUE(PatternOutside(s.image, {{c.x - 2, c.y - 2, c.x + 2, c.y + 2}}));
        EXPECT_GE(ReadStore(s.image).At(c.x, c.y), 0xfa0000u) << "red, at the brush's peak";

        ASSERT_EQ(
            Sorbane(c.display, "render " + s.image + " " + render + " --zoom " + c.zoom + " --box " + c.box),
            0);
        for (const std::string &png : {shot, render})
            ASSERT_EQ(Sorbane(c.display, "import " + png + " " + png + ".img"), 0);
        EXPECT_TRUE(Found(ReadStore(shot + ".img"), ReadStore(render + ".img")));
    }
}

// A zoom shows a coarse preview at once, refined in the background: the
// window as it is right after the zoom is not yet the render, once final it is.
TEST(ScriptZoom, PreviewAtOnceThenTheRefinedPicture)
{
    for (const char *display : {getenv("DISPLAY"), getenv("DAB_DISPLAY8")}) {
        if (!display)
            continue; // the 8-bit server is scripts/xvfb.sh's
        Session s;
        s.image = MakeImage(s.dir.path, 640, 480, IMAGE_MODE_RGB, 8, 0);
        const std::string early = s.dir.File("early.png"), shot = s.dir.File("shot.png"),
                          render = shot + ".r.png";
        ASSERT_TRUE(s.Start(
            {"--show", "--script",
             s.Script("wait 1042\nzoom 1/2\nscreenshot " + early + " now\nscreenshot " + shot + "\nquit\n")},
            {std::string("DISPLAY=") + display, "SORBANEDEBUGCOLORS=", "SORBANECOLORS=2"}));
        ASSERT_EQ(s.Finish(), 0) << display << s.kernel.Err();
        ASSERT_EQ(Sorbane(display, "render " + s.image + " " + render + " --zoom 1/2 --box 0,0,320,240"), 0);
        for (const std::string &png : {early, shot, render})
            ASSERT_EQ(Sorbane(display, "import " + png + " " + png + ".img"), 0);
        EXPECT_FALSE(Found(ReadStore(early + ".img"), ReadStore(render + ".img"))) << display;
        EXPECT_TRUE(Found(ReadStore(shot + ".img"), ReadStore(render + ".img"))) << display;
    }
}
