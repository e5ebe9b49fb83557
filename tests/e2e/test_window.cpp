// The display process with its X window: the user's keys and buttons become
// the same messages a script sends.
#include "tests/e2e/E2e.h"

#include "core/Msg.h"

#include <gtest/gtest.h>
// After gtest: X's macros must not meet its templates.
#include <X11/X.h>
#include <X11/keysym.h>

#include <csignal>
#include <sstream>

using namespace e2e;

namespace {

unsigned long DisplayWindowId(const FrameLog &log)
{
    for (const std::string &line : log.Lines())
        if (line.rfind("window ", 0) == 0)
            return std::stoul(line.substr(7));
    return 0;
}

// The callback word of toolbox tool t, as the display received it.
int32_t ToolCallback(const FrameLog &log, int t)
{
    for (const Frame &f : log.Frames())
        if (!f.sent && f.code == MSG_TOOLBOX)
            return f.Word(4 + 148 + 236 * size_t(t) + 4);
    return 0;
}

} // namespace

TEST(DisplayWindow, KeysAndButtonsBecomeMessages)
{
    Session s;
    ASSERT_TRUE(s.Start());
    ASSERT_TRUE(s.displayLog.WaitFor(false, MSG_BRUSH_CURSOR)) << s.kernel.Err();
    unsigned long w = DisplayWindowId(s.displayLog);
    ASSERT_NE(w, 0u);
    auto sent = [&](int32_t code, int count) { return s.displayLog.WaitFor(true, code, count); };

    // The pipette, erasing button: press and release name its handle.
    ASSERT_TRUE(SendKey(w, XK_p));
    ASSERT_TRUE(SendButton(w, true, 3, 10, 12));
    ASSERT_TRUE(SendButton(w, false, 3, 11, 13, Button3Mask));
    ASSERT_TRUE(sent(MSG_POINTER, 2));
    std::vector<Frame> events = s.displayLog.Sent(MSG_POINTER);
    EXPECT_EQ(events[0].payload,
              Words({16, ToolCallback(s.displayLog, 2), 0, 0, int32_t(w), 10, 12, 3, 0, 1024, 0, 0, 0, 0, 0, 0}));
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
    EXPECT_EQ(std::vector<int32_t>({events[2].Word(40), events[2].Word(44), events[2].Word(48), events[2].Word(52),
                                    events[2].Word(56), events[2].Word(60)}),
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
    char fifo[64];
    std::snprintf(fifo, sizeof fifo, "/tmp/%05d#%05d", s.kernelPid, s.displayLog.Pid("display"));
    ASSERT_TRUE(WriteFifo(fifo, RawFrame(s.programPid, MSG_ASK_SELECTION, 0, 4, Words({0}))));
    ASSERT_TRUE(sent(MSG_SELECTION, 1));
    EXPECT_EQ(s.displayLog.Sent(MSG_SELECTION)[0].payload, Words({2, 0, 2, 3, 10, 11, 0}));

    // The window manager's close leaves the display; dabstone goes on.
    ASSERT_TRUE(SendWmDelete(w));
    ASSERT_TRUE(sent(MSG_DISPLAY_CLOSE, 1));
    ASSERT_TRUE(s.log.WaitFor(false, 3003)) << "the display said goodbye to the kernel";
    kill(s.kernelPid, SIGTERM);
    EXPECT_EQ(s.Finish(), 0) << s.kernel.Err();
}
