// Painting through the protocol: sorbane's display replays strokes, fills
// and pastes, the store file is read back once dabstone has ended, and the
// stroke's messages are checked in the peers' logs.
#include "tests/e2e/E2e.h"

#include "core/Image.h"
#include "core/Msg.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>

using namespace e2e;

namespace
{

// The session's image, read back once dabstone has ended.
struct Store {
    Image *image = nullptr;
    explicit Store(const std::string &path) { EXPECT_EQ(Image_OpenReadImage(&image, path.c_str()), 0); }
    ~Store()
    {
        if (image)
            Image_CloseImage(image);
    }
    int At(int p, int x, int y) const { return int(Image_GetSample(image, p, x, y)); }
};

// What the session image holds before painting (E2e's MakeImage).
int Pattern(int p, int x, int y)
{
    return (x + 3 * y + 7 * p) & 255;
}

// A plain image of our own: planes filled with the values.
std::string PlainImage(const std::string &dir, int w, int h, int mode, int alpha, std::vector<int> values)
{
    std::string path = MakeImage(dir, w, h, mode, 8, alpha);
    EXPECT_TRUE(EditImage(path, [&](Image *img) {
        for (int p = 0; p < Image_Planes(img); ++p)
            for (int y = 0; y < h; ++y)
                for (int x = 0; x < w; ++x)
                    Image_SetSample(img, p, x, y, uint32_t(values[size_t(p)]));
    }));
    return path;
}

void RunScript(Session &s, const std::string &script, std::vector<std::string> args = {})
{
    args.insert(args.begin(), {"--script", s.Script(script)});
    ASSERT_TRUE(s.Start(args)) << s.kernel.Err();
    ASSERT_EQ(s.Finish(), 0) << s.kernel.Err();
}

} // namespace

// A dab with button 1 and one with button 3, through the settings the
// display sends: the first draws toward the colour, the second takes alpha
// away and leaves the colours; nothing changes outside the brush. (The
// compositing values are the paint engine's unit tests'.)
TEST(Paint, AirbrushDabAndErase)
{
    Session s;
    ASSERT_NO_FATAL_FAILURE(RunScript(s, "wait 1042\n"
                                         "settings width=5 height=5 aero=1 colour=200,100,50\n"
                                         "press 20 20\nrelease 20 20\nwait 2010\n"
                                         "press 40 30 3\nrelease 40 30\nwait 2010\n"
                                         "quit\n"));
    Store st(s.image);
    ASSERT_NE(st.image, nullptr);
    const int fg[3] = {200, 100, 50};
    for (int dy = -2; dy <= 2; ++dy)
        for (int dx = -2; dx <= 2; ++dx) {
            int x = 20 + dx, y = 20 + dy;
            for (int p = 0; p < 3; ++p)
                EXPECT_LE(std::abs(st.At(p, x, y) - fg[p]), std::abs(Pattern(p, x, y) - fg[p]))
                    << p << " at " << x << "," << y;
            EXPECT_GE(st.At(3, x, y), Pattern(3, x, y));
            x = 40 + dx, y = 30 + dy;
            EXPECT_LE(st.At(3, x, y), Pattern(3, x, y));
            for (int p = 0; p < 3; ++p)
                EXPECT_EQ(st.At(p, x, y), Pattern(p, x, y));
        }
    for (int p = 0; p < 3; ++p)
        EXPECT_NEAR(st.At(p, 20, 20), fg[p], 1) << "the centre takes the colour";
    EXPECT_LT(st.At(3, 40, 30), Pattern(3, 40, 30));
    EXPECT_TRUE(PatternOutside(s.image, {{18, 18, 22, 22}, {38, 28, 42, 32}}));
}

TEST(Paint, StrokeMessages)
{
    Session s;
    // A second stroke's rows come after everything the first one sent; a
    // fill with button 3 ends the session.
    ASSERT_NO_FATAL_FAILURE(RunScript(
        s, "wait 1042\nsettings width=7 height=7\npress 10 10\nmove 30 12\nmove 50 30\nrelease 50 30\n"
           "wait 2010\npress 5 40\nrelease 5 40\nwait 2010\ntool fill\npress 3 4 3\nrelease 3 4\nwait "
           "2010\nquit\n"));
    // Motion control: held while each step is painted, allowed after it,
    // ended with the stroke.
    std::vector<int> modes;
    int left = -1, back = -1, n = 0;
    for (const Frame &f : s.displayLog.Received(s.programPid)) {
        ++n;
        if (f.code == MSG_MOTION && (modes.empty() || modes.back() != 99))
            modes.push_back(f.Word(0));
        // The brush cursor leaves the display while painting and comes back.
        if (f.code == MSG_BRUSH_CURSOR && left < 0 && modes.empty() && f.Text(0).empty())
            left = n;
        if (f.code == MSG_BRUSH_CURSOR && !modes.empty() && modes.back() == 99 && !f.Text(0).empty() &&
            back < 0)
            back = n;
    }
    EXPECT_EQ(modes, (std::vector<int>{0, 1, 0, 1, 0, 1, 99}));
    EXPECT_GT(s.displayLog.Count(false, MSG_MOTION, [](const Frame &f) { return f.Word(0) == -1; }), 0)
        << "the fill takes no motion";
    std::vector<Frame> events = s.displayLog.Sent(MSG_POINTER);
    EXPECT_EQ(events[1].Word(36), 256) << "motion with button 1 held";
    EXPECT_EQ(events.back().Word(36), 1024) << "release of button 3";
    EXPECT_GT(left, 0);
    EXPECT_GT(back, left);
    EXPECT_TRUE(s.displayLog.Has(false, MSG_REDRAW_NOW) || s.displayLog.Has(false, MSG_REDRAW));
    // The kernel hears the changed rows once per stroke, at its end.
    std::vector<std::pair<int, int>> rows;
    for (const Frame &f : s.log.Received(s.programPid))
        if (f.code == MSG_ROWS_CHANGED) {
            EXPECT_EQ(f.Text(0), s.image);
            rows.push_back({f.Word(500), f.Word(504)});
        }
    // Rows 7 (10 - 3) to 33 (30 + 3), then 37 to 43, then the whole image.
    EXPECT_EQ(rows, (std::vector<std::pair<int, int>>{{7, 27}, {37, 7}, {0, 48}}));
}

TEST(Paint, PencilAtHalfOpacityDoesNotBuildUp)
{
    Session s;
    s.image = PlainImage(s.dir.path, 64, 48, IMAGE_MODE_RGB, 1, {255, 255, 255, 255});
    ASSERT_NO_FATAL_FAILURE(RunScript(s, "wait 1042\nsettings width=9 height=9 opacity=50\n"
                                         "press 5 10\nmove 58 14\nmove 6 20\nmove 58 26\nmove 30 4\nmove 30 "
                                         "44\nrelease 30 44\nwait 2010\nquit\n"));
    Store st(s.image);
    // Black at 50 %, once: 255 (1 - w). The pencil's row filter keeps every
    // pixel there (a unit or two of integer rounding where rims overlap);
    // painted twice it would be near 64.
    const int single = 128; // 255 (1 - 127 / 255), the half-opacity peak
    int full = 0, painted = 0;
    for (int y = 0; y < 48; ++y)
        for (int x = 0; x < 64; ++x) {
            ASSERT_GE(st.At(0, x, y), single - 3) << x << "," << y;
            full += st.At(0, x, y) == single;
            painted += st.At(0, x, y) != 255;
            EXPECT_EQ(st.At(0, x, y), st.At(2, x, y));
        }
    EXPECT_GT(full, 300);
    EXPECT_GT(painted, full);
}

// An image dropped on the brush preview (1005, answered by 1006) is opened
// through the kernel (2016, 2003) and paints at its own size as the user
// brush; pasted, it paints scaled to the brush size, and the lent image
// goes back when another takes its place.
TEST(Paint, DroppedAndPastedImagesPaint)
{
    Session s;
    // Two 4 x 4 brushes of sixteen colours, opaque.
    std::string brush = MakeImage(s.dir.path, 4, 4, IMAGE_MODE_RGB, 8, 1),
                pasted = MakeImage(s.dir.path, 4, 4, IMAGE_MODE_RGB, 8, 1);
    for (const std::string &b : {brush, pasted})
        ASSERT_TRUE(EditImage(b, [](Image *b) {
            for (int y = 0; y < 4; ++y)
                for (int x = 0; x < 4; ++x) {
                    Image_SetSample(b, 0, x, y, uint32_t(60 * x));
                    Image_SetSample(b, 1, x, y, uint32_t(60 * y));
                    Image_SetSample(b, 3, x, y, 255);
                }
        }));
    const std::string other = MakeImage(s.dir.path, 3, 3, IMAGE_MODE_GREY, 8, 0);
    // The second 1042 is the dropped brush shown.
    ASSERT_NO_FATAL_FAILURE(RunScript(s, "wait 1042\ndrop brush " + brush +
                                             "\nwait 1042\npress 30 30\nrelease 30 30\nwait 2010\n"
                                             "settings trace=single\npaste " +
                                             pasted +
                                             " lend\nbrush 0 0 8 8\npress 20 20\nrelease 20 20\nwait 2010\n"
                                             "paste " +
                                             other + " lend\nquit\n"));
    Store st(s.image);
    for (int y = 16; y < 24; ++y)
        for (int x = 16; x < 24; ++x) {
            EXPECT_EQ(st.At(0, x, y), 60 * ((x - 16) / 2)) << x << "," << y;
            EXPECT_EQ(st.At(1, x, y), 60 * ((y - 16) / 2)) << x << "," << y;
            EXPECT_EQ(st.At(2, x, y), Pattern(2, (x - 16) / 2, (y - 16) / 2)); // the brush's own pattern
        }
    for (int y = 28; y < 32; ++y)
        for (int x = 28; x < 32; ++x)
            EXPECT_EQ(std::vector<int>({st.At(0, x, y), st.At(1, x, y), st.At(2, x, y)}),
                      std::vector<int>({60 * (x - 28), 60 * (y - 28), Pattern(2, x - 28, y - 28)}))
                << x << "," << y;
    EXPECT_TRUE(PatternOutside(s.image, {{16, 16, 23, 23}, {28, 28, 31, 31}}));
    EXPECT_TRUE(s.log.HasPath(false, MSG_GIVE_BACK, pasted));
    EXPECT_TRUE(s.log.HasPath(false, MSG_OPEN_IMAGE, brush));
    // The drop was answered to the callback and client data the brush
    // preview registered (the second 1005), the path from offset 12.
    std::vector<Frame> windows, answers = s.log.Sent(MSG_ANSWER);
    for (const Frame &f : s.log.Received(s.programPid))
        if (f.code == MSG_DROP_WINDOW)
            windows.push_back(f);
    ASSERT_EQ(windows.size(), 2u);
    ASSERT_EQ(answers.size(), 1u);
    std::vector<unsigned char> expected = Words({0, windows[1].Word(4), windows[1].Word(8)});
    Append(expected, PathField(brush));
    EXPECT_EQ(answers[0].payload, expected);
}

TEST(Paint, BadStrokesAndPastes)
{
    Session s;
    ASSERT_NO_FATAL_FAILURE(
        RunScript(s, "wait 1042\nsettings trace=cont\n"
                     // Far outside the image: a stroke, nothing painted.
                     "press -500 -900\nmove 9000 -900\nmove 90000 70000\nrelease 90000 70000\n"
                     // Not a store image: refused.
                     "paste /etc/hostname lend\n"
                     // A 1 x 1 brush, then 9999 x 1.
                     "brush 0 0 1 1\npress 3 3\nrelease 3 3\nwait 2010\n"
                     "brush 0 0 9999 1\npress 30 40\nrelease 30 40\nwait 2010\nquit\n"));
    Store st(s.image);
    // The settings colour is black: a 1 x 1 pencil's disc darkens its pixel.
    EXPECT_LT(st.At(0, 3, 3), Pattern(0, 3, 3));
    // 9999 x 1: the large brush, rx 4999, ry 1; only row 40 gets coverage.
    EXPECT_LT(st.At(0, 30, 40), Pattern(0, 30, 40));
    EXPECT_TRUE(PatternOutside(s.image, {{2, 2, 4, 4}, {0, 40, 63, 40}}));
}
