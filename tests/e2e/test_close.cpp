// Closing the display window ends the session as closing dabstone's own
// window would: at once when idle, after dabstone's question while a job
// runs. A script's `leave` only takes the display away.
#include "tests/e2e/E2e.h"

#include "core/Msg.h"

#include <gtest/gtest.h>

#include <csignal>
// After gtest: X's macros must not meet its templates.
#include <X11/X.h>
#include <X11/keysym.h>

using namespace e2e;

namespace
{

bool IsPng(const std::string &path)
{
    return ReadFile(path).substr(0, 8) == std::string("\x89PNG\r\n\x1a\n", 8);
}

// Ended as a person's close ends it: status 0, settings saved (the kernel's
// own quit saves none), the display told to end, the result exported.
void ExpectClosedSession(Session &s, const std::string &png)
{
    ASSERT_EQ(s.Finish(), 0) << s.kernel.Err();
    EXPECT_EQ(s.NoticeStatus(), 0);
    EXPECT_TRUE(s.log.Has(false, MSG_SAVE_SETTINGS));
    EXPECT_EQ(s.log.Count(true, MSG_EXIT, [&](const Frame &f) { return f.peer == s.programPid; }), 0)
        << "dabstone ended on its own answer, not on the kernel's 1001";
    EXPECT_TRUE(s.displayLog.Has(false, MSG_EXIT)) << "the kernel ended the display";
    EXPECT_TRUE(IsPng(png));
}

} // namespace

TEST(Close, ScriptCloseEndsAnIdleSession)
{
    Session s;
    std::string png = s.dir.File("result.png");
    ASSERT_TRUE(s.Start({"--script", s.Script("wait 1042\nclose\nwait 1001\n"), "--export", png}));
    ExpectClosedSession(s, png);
}

// While a stroke is held dabstone asks; refused, dabstone and the display go
// on (the stroke ends through the window); closed again, the session ends.
TEST(Close, DuringAJobTheQuestionCanKeepBothRunning)
{
    Session s;
    std::string png = s.dir.File("result.png");
    ASSERT_TRUE(s.Start({"--export", png}));
    ASSERT_TRUE(s.displayLog.WaitFor(false, MSG_BRUSH_CURSOR)) << s.kernel.Err();
    unsigned long w = s.displayLog.Window(), top = s.MainWindow();
    ASSERT_NE(w, 0u);
    ASSERT_NE(top, 0u);
    ASSERT_TRUE(SendButton(w, true, 1, 10, 10));
    ASSERT_TRUE(s.displayLog.WaitFor(false, MSG_MOTION)) << "the stroke's job has started";

    ASSERT_TRUE(SendKey(w, XK_q));
    unsigned long prompt = 0;
    ASSERT_TRUE(WaitUntil([&] { return (prompt = DialogOf(top)) != 0; })) << s.kernel.Err();
    ASSERT_TRUE(MoveWindow(prompt, 300, 800));
    ASSERT_TRUE(TypeAt(prompt, 20, 20, XK_Escape)); // CANCEL
    ASSERT_TRUE(WaitUntil([&] { return DialogOf(top) == 0; }));

    auto jobsEnded = [&] {
        return s.displayLog.Count(false, MSG_MOTION, [](auto &f) { return f.Word(0) == 99; });
    };
    ASSERT_EQ(jobsEnded(), 0);
    ASSERT_TRUE(SendButton(w, false, 1, 20, 12, Button1Mask));
    ASSERT_TRUE(WaitUntil([&] { return jobsEnded() == 1; })) << "the refused close let the stroke go on";
    EXPECT_EQ(kill(s.programPid, 0), 0);
    EXPECT_FALSE(s.log.Has(false, MSG_EXIT));

    ASSERT_TRUE(SendWmDelete(w));
    ExpectClosedSession(s, png);
}

// `leave` takes the display away; dabstone goes on and takes another one.
TEST(Close, LeaveKeepsDabstoneRunning)
{
    Session s;
    ASSERT_TRUE(s.Start({"--script", s.Script("wait 1042\nleave\n")}));
    ASSERT_TRUE(s.log.WaitFor(false, 3003)) /* the display said goodbye */ << s.kernel.Err();
    FakeDisplay d;
    ASSERT_TRUE(d.Open(s.kernelPid, s.programPid));
    EXPECT_TRUE(d.Connect(s.image)) << "dabstone answers a new display";
    EXPECT_EQ(s.QuitByKernel(), 0) << s.kernel.Err();
    EXPECT_FALSE(s.log.Has(false, MSG_SAVE_SETTINGS)) << "ended by the kernel only";
}
