// The display process with its X window: the user's keys and buttons become
// the same messages a script sends.
#include "tests/e2e/E2e.h"

#include "core/Image.h"
#include "core/Msg.h"

#include <gtest/gtest.h>
// After gtest: X's macros must not meet its templates.
#include <X11/X.h>
#include <X11/keysym.h>

using namespace e2e;

TEST(DisplayWindow, KeysAndButtonsBecomeMessages)
{
    Session s;
    ASSERT_TRUE(s.Start());
    ASSERT_TRUE(s.displayLog.WaitFor(false, MSG_BRUSH_CURSOR)) << s.kernel.Err();
    unsigned long w = s.displayLog.Window();
    ASSERT_NE(w, 0u);
    auto sent = [&](int32_t code, int count) { return s.displayLog.WaitFor(true, code, count); };

    // The pipette, erasing button: press and release name its handle.
    ASSERT_TRUE(SendKey(w, XK_p));
    ASSERT_TRUE(SendButton(w, true, 3, 10, 12));
    ASSERT_TRUE(SendButton(w, false, 3, 11, 13, Button3Mask));
    ASSERT_TRUE(sent(MSG_POINTER, 2));
    std::vector<Frame> events = s.displayLog.Sent(MSG_POINTER);
    EXPECT_EQ(events[0].payload, Words({16, int32_t(ToolboxHandle(s.displayLog.Received(s.programPid)[2], 2)),
                                        0, 0, int32_t(w), 10, 12, 3, 0, 1024, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(events[1].Word(0), 32);
    EXPECT_EQ(events[1].Word(20), 11);
    EXPECT_EQ(events[1].Word(24), 13);

    // Undo; apply with the fill chosen.
    ASSERT_TRUE(SendKey(w, XK_u));
    ASSERT_TRUE(SendKey(w, XK_f));
    ASSERT_TRUE(SendKey(w, XK_a));
    ASSERT_TRUE(sent(MSG_ACTION, 2));
    std::vector<Frame> actions = s.displayLog.Sent(MSG_ACTION);
    EXPECT_EQ(actions[0].Text(0), s.image);
    EXPECT_EQ(actions[0].Word(500), 8);
    EXPECT_EQ(actions[1].Word(500), 16);
    EXPECT_EQ(actions[1].Word(508), 1) << "apply target: the fill";

    // Shift + button 1 places the brush; Escape takes it off.
    ASSERT_TRUE(SendButton(w, true, 1, 14, 20, ShiftMask));
    ASSERT_TRUE(SendMotion(w, 8, 9, ShiftMask | Button1Mask));
    ASSERT_TRUE(SendButton(w, false, 1, 5, 6, ShiftMask | Button1Mask));
    ASSERT_TRUE(SendKey(w, XK_Escape));
    ASSERT_TRUE(sent(MSG_POINTER, 4)) << ReadFile(s.displayLog.path) << s.kernel.Err();
    events = s.displayLog.Sent(MSG_POINTER);
    EXPECT_EQ(events[2].Word(0), 512);
    EXPECT_EQ(std::vector<int32_t>({events[2].Word(40), events[2].Word(44), events[2].Word(48),
                                    events[2].Word(52), events[2].Word(56), events[2].Word(60)}),
              (std::vector<int32_t>{5, 6, 10, 15, 1, 0}));
    EXPECT_EQ(events[3].Word(0), 512);
    EXPECT_EQ(events[3].Word(56), 0);
    EXPECT_EQ(events[3].Word(60), 1);

    // Button 2 drags the selection that answers 1043. The window's events
    // are taken in order: once the undo after the drag has gone out, the
    // drag has been taken too.
    ASSERT_TRUE(SendButton(w, true, 2, 2, 3));
    ASSERT_TRUE(SendButton(w, false, 2, 11, 13, Button2Mask));
    ASSERT_TRUE(SendKey(w, XK_u));
    ASSERT_TRUE(sent(MSG_ACTION, 3));
    ASSERT_TRUE(s.ToDisplay(MSG_ASK_SELECTION, Words({0})));
    ASSERT_TRUE(sent(MSG_SELECTION, 1));
    EXPECT_EQ(s.displayLog.Sent(MSG_SELECTION)[0].payload, Words({1, 0, 2, 3, 10, 11, 0}))
        << "a rectangle, unmasked";

    // While motion is forbidden (as while a step is painted) the window holds
    // motion back; when it is allowed again only the latest position goes out.
    ASSERT_TRUE(SendKey(w, XK_p));
    size_t n = s.displayLog.Sent(MSG_POINTER).size();
    int allowed = s.displayLog.Count(false, MSG_MOTION);
    ASSERT_TRUE(s.ToDisplay(MSG_MOTION, Words({0, 0, 0, 1, 256})));
    ASSERT_TRUE(s.displayLog.WaitFor(false, MSG_MOTION, allowed + 1));
    ASSERT_TRUE(SendButton(w, true, 3, 5, 5));
    ASSERT_TRUE(SendMotion(w, 10, 10, Button3Mask));
    ASSERT_TRUE(SendMotion(w, 12, 14, Button3Mask));
    ASSERT_TRUE(SendKey(w, XK_u)); // taken after the motion: a marker
    ASSERT_TRUE(sent(MSG_ACTION, 4));
    ASSERT_EQ(s.displayLog.Sent(MSG_POINTER).size(), n + 1) << "only the press while motion is forbidden";
    ASSERT_TRUE(s.ToDisplay(MSG_MOTION, Words({1, 0, 0, 1, 256})));
    ASSERT_TRUE(sent(MSG_POINTER, int(n) + 2));
    events = s.displayLog.Sent(MSG_POINTER);
    EXPECT_EQ(std::vector<int32_t>({events[n + 1].Word(0), events[n + 1].Word(20), events[n + 1].Word(24)}),
              (std::vector<int32_t>{2, 12, 14}))
        << "one motion, the latest position";
    ASSERT_TRUE(SendButton(w, false, 3, 12, 14, Button3Mask));

    EXPECT_EQ(s.QuitByKernel(), 0) << s.kernel.Err(); // closing the window: test_close
}

namespace
{

// What the window must show of an RGB store image without alpha.
std::vector<uint32_t> Pixels(const std::string &path)
{
    std::vector<uint32_t> rgb;
    Image *image = nullptr;
    if (Image_OpenReadImage(&image, path.c_str()) != 0)
        return rgb;
    for (int y = 0; y < Image_Height(image); y++)
        for (int x = 0; x < Image_Width(image); x++)
            rgb.push_back(Image_GetSample(image, 0, x, y) << 16 | Image_GetSample(image, 1, x, y) << 8 |
                          Image_GetSample(image, 2, x, y));
    Image_CloseImage(image);
    return rgb;
}

} // namespace

// The window shows the store image's pixels, and redraws the rows the kernel
// says changed (2010); a change nobody announces stays unseen.
TEST(DisplayWindow, ShowsTheImageAndTheRowsToldChanged)
{
    Session s;
    s.image = MakeImage(s.dir.path, 64, 48, IMAGE_MODE_RGB, 8, 0);
    ASSERT_TRUE(s.Start());
    ASSERT_TRUE(s.displayLog.WaitFor(false, MSG_BRUSH_CURSOR)) << s.kernel.Err();
    unsigned long w = s.displayLog.Window();
    ASSERT_NE(w, 0u);
    ASSERT_TRUE(MoveWindow(w, -64, -48)); // the bottom right corner, clear of the others
    const std::vector<uint32_t> before = Pixels(s.image);
    auto shows = [&](const std::vector<uint32_t> &want) {
        return WaitUntil([&] { return GrabWindow(w, 64, 48) == want; });
    };
    // Refinement over: no pass left to read rows that nobody announces.
    ASSERT_TRUE(WaitUntil([&] { return Count(ReadFile(s.displayLog.path), "picture final\n") > 0; }));
    ASSERT_TRUE(shows(before));

    // Rows 30 and 31 painted red and announced; rows 40 to 47 painted, not.
    ASSERT_TRUE(EditImage(s.image, [](Image *image) {
        for (int y : {30, 31, 40, 41, 42, 43, 44, 45, 46, 47})
            for (int x = 0; x < 64; x++)
                for (int p = 0; p < 3; p++)
                    Image_SetSample(image, p, x, y, p == 0 ? 255 : 0);
    }));
    std::vector<uint32_t> want = Pixels(s.image);
    std::copy(before.begin() + 40 * 64, before.end(), want.begin() + 40 * 64);
    ASSERT_TRUE(s.ToKernel(MSG_ROWS_CHANGED, PathWords(s.image, {30, 2})));
    EXPECT_TRUE(shows(want));
    EXPECT_EQ(s.QuitByKernel(), 0) << s.kernel.Err();
}
