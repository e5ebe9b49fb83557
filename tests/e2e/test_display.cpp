// The display link: sorbane's display process connecting to dabstone, and
// a script's mistake refused before anything starts.
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
