// Closing the display window ends the session as closing dabstone's own
// window does; a script's `leave` only takes the display away.
#include "tests/e2e/E2e.h"

#include "core/Msg.h"

#include <gtest/gtest.h>
// After gtest: X's macros must not meet its templates.
#include <X11/X.h>
#include <X11/keysym.h>

using namespace e2e;

// A stroke held: dabstone asks, and refused, both go on (the stroke ends
// through the window). Closed again, idle, the session ends with the export
// and saved settings, which the kernel's own quit (1001) would not save.
TEST(Close, AsksDuringAJobAndEndsTheSessionWhenIdle)
{
    Session s;
    std::string png = s.dir.File("result.png");
    ASSERT_TRUE(s.Start({"--export", png}));
    ASSERT_TRUE(s.displayLog.WaitFor(false, MSG_BRUSH_CURSOR)) << s.kernel.Err();
    unsigned long w = s.displayLog.Window(), top = s.MainWindow(), prompt = 0;
    ASSERT_TRUE(SendButton(w, true, 1, 10, 10) && s.displayLog.WaitFor(false, MSG_MOTION));
    ASSERT_TRUE(SendKey(w, XK_q));
    ASSERT_TRUE(WaitUntil([&] { return (prompt = DialogOf(top)) != 0; })) << s.kernel.Err();
    ASSERT_TRUE(MoveWindow(prompt, 300, 800) && TypeAt(prompt, 20, 20, XK_Escape)); // CANCEL
    ASSERT_TRUE(WaitUntil([&] { return DialogOf(top) == 0; }));
    auto jobsEnded = [&] {
        return s.displayLog.Count(false, MSG_MOTION, [](auto &f) { return f.Word(0) == 99; });
    };
    ASSERT_EQ(jobsEnded(), 0);
    ASSERT_TRUE(SendButton(w, false, 1, 20, 12, Button1Mask));
    EXPECT_TRUE(WaitUntil([&] { return jobsEnded() == 1; })) << "the stroke went on to its end";

    ASSERT_TRUE(SendWmDelete(w));
    ASSERT_EQ(s.Finish(), 0) << s.kernel.Err();
    EXPECT_TRUE(s.log.Has(false, MSG_SAVE_SETTINGS));
    EXPECT_EQ(ReadFile(png).substr(0, 4), "\x89PNG");
}

TEST(Close, LeaveKeepsDabstoneRunning)
{
    Session s;
    ASSERT_TRUE(s.Start({"--script", s.Script("wait 1042\nleave\n")}));
    ASSERT_TRUE(s.log.WaitFor(false, 3003)) << s.kernel.Err(); // the display said goodbye
    FakeDisplay d;
    EXPECT_TRUE(d.Open(s.kernelPid, s.programPid) && d.Connect(s.image)) << "dabstone takes another display";
    EXPECT_EQ(s.QuitByKernel(), 0) << s.kernel.Err();
}
