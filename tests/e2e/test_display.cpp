// The display link: sorbane's display process connecting to dabstone,
// answering its requests and replaying scripts; a script's mistakes.
#include "tests/e2e/E2e.h"

#include "core/Image.h"
#include "core/Msg.h"

#include <gtest/gtest.h>

using namespace e2e;

TEST(Display, ConnectsAndGetsItsFiveMessagesInOrder)
{
    // Started in the image's folder with relative paths, as a user would:
    // every peer must still speak of the same absolute path.
    Session s;
    std::string image = MakeImage(s.dir.path, 64, 48, IMAGE_MODE_RGB, 8, 1);
    s.image = image.substr(s.dir.path.size() + 1);
    ASSERT_TRUE(s.Start({"--script", s.Script("wait 1042\nquit\n"), "--store", "."}));
    ASSERT_EQ(s.Finish(), 0) << s.kernel.Err();
    s.image = image;
    for (const Frame &created : s.log.Sent(MSG_WORK_CREATED))
        EXPECT_EQ(created.Text(0).rfind(s.dir.path + "/", 0), 0u) << created.Text(0);

    int display = s.displayLog.Pid("display");
    ASSERT_NE(display, 0);
    std::vector<Frame> sent = s.displayLog.Sent(MSG_DISPLAY_CONNECT);
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].Word(0), display);
    EXPECT_EQ(sent[0].Text(4), s.image);

    std::vector<Frame> in = s.displayLog.Received(s.programPid);
    ASSERT_GE(in.size(), 4u);
    EXPECT_EQ(in[0].code, MSG_HELLO);
    EXPECT_EQ(in[0].Word(0), s.programPid);
    EXPECT_EQ(in[1].code, MSG_DISPLAY_INIT);
    EXPECT_EQ(in[1].payload, Words({1, 26}));
    ASSERT_EQ(in[2].code, MSG_TOOLBOX);
    ASSERT_EQ(in[3].code, MSG_BRUSH_CURSOR);

    // Whole: the toolbox's and the cursor's layouts are the interface's own tests.
    EXPECT_EQ(in[2].payload.size(), 3280u);
    EXPECT_EQ(in[3].Word(1140), 1) << "a whole brush description";
    EXPECT_FALSE(in[3].Text(0).empty()) << "names the active brush image";

    // The kernel heard of the connection once, with 500 zero bytes.
    EXPECT_EQ(s.log.Count(false, MSG_DISPLAY_CONNECTED), 1);
    EXPECT_EQ(s.log.Count(false, MSG_DISPLAY_CONNECTED,
                          [](const Frame &f) { return f.payload == std::vector<unsigned char>(500, 0); }),
              1);
    // The display said goodbye to dabstone before the kernel ended it.
    EXPECT_EQ(s.displayLog.Sent(MSG_DISPLAY_CLOSE).size(), 1u);
}

TEST(Display, ScriptMistakeIsRefusedBeforeAnythingStarts)
{
    Session s;
    ASSERT_FALSE(s.Start({"--script", s.Script("wait 1042\npress 1\nquit\n")}));
    ASSERT_TRUE(s.kernel.Wait());
    EXPECT_NE(s.kernel.ExitCode(), 0);
    EXPECT_NE(s.kernel.Err().find("line 2: usage: press X Y [BUTTON]"), std::string::npos) << s.kernel.Err();
    EXPECT_FALSE(Exists(s.log.path)) << "dabstone was not started";
}

// Motion control: while dabstone forbids motion (1038 mode 0, or -1 for a
// job without motion) a scripted move waits; mode 1 or 99 lets it go. The
// 1038s come from the test here, and the events name no tool, so that
// dabstone itself stays out of it.
TEST(Display, MovesWaitWhileMotionIsForbidden)
{
    Session s;
    ASSERT_TRUE(
        s.Start({"--script", s.Script("wait 1042\ntool 0x7fff0001\n"
                                      "press 5 5\nwait 1038\nmove 6 6\nrelease 6 6\n"
                                      "press 7 7\nwait 1038\nwait 1038\nmove 8 8\nrelease 8 8\nquit\n")}));
    ASSERT_TRUE(s.displayLog.WaitFor(true, MSG_POINTER, 1)) << s.kernel.Err();
    auto motion = [&](int32_t mode) { return s.ToDisplay(MSG_MOTION, Words({mode, 0, 0, 1, 256})); };
    ASSERT_TRUE(motion(0));
    ASSERT_TRUE(s.displayLog.WaitFor(false, MSG_MOTION, 1));
    ASSERT_TRUE(motion(1));
    ASSERT_TRUE(s.displayLog.WaitFor(true, MSG_POINTER, 4));
    ASSERT_TRUE(motion(-1));
    ASSERT_TRUE(s.displayLog.WaitFor(false, MSG_MOTION, 3));
    ASSERT_TRUE(motion(99));
    ASSERT_EQ(s.Finish(), 0) << s.kernel.Err();

    // In the log's order: each move only after motion was allowed again.
    std::vector<std::string> seen;
    for (const Frame &f : s.displayLog.Frames())
        if (f.code == MSG_MOTION && !f.sent)
            seen.push_back("allow " + std::to_string(f.Word(0)));
        else if (f.code == MSG_POINTER && f.sent)
            seen.push_back("event " + std::to_string(f.Word(0)));
    EXPECT_EQ(seen, (std::vector<std::string>{"event 16", "allow 0", "allow 1", "event 2", "event 32",
                                              "event 16", "allow -1", "allow 99", "event 2", "event 32"}));
    EXPECT_EQ(uint32_t(s.displayLog.Sent(MSG_POINTER)[0].Word(4)), 0x7fff0001u) << "the raw handle";
}
