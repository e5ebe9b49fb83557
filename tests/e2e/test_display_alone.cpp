// sorbane's display process on its own: the test plays kernel and program,
// so every frame the display sends is seen exactly, whatever dabstone's
// tools do.
#include "tests/e2e/E2e.h"

#include "core/Fifo.h"
#include "core/Image.h"
#include "core/Msg.h"
#include "host/KernelLink.h" // the codes between kernel and display

#include <gtest/gtest.h>

#include <algorithm>
// After gtest: X's macros must not meet its templates.
#include <X11/X.h>
#include <X11/keysym.h>

using namespace e2e;

namespace
{

struct Alone {
    TempDir dir;
    FakeProgram peer;
    FrameLog log;
    Child display;
    std::string image;
    // Starts `sorbane display` (with a script when given) and greets it.
    bool Start(const std::string &script = "")
    {
        image = MakeImage(dir.path, 32, 24, IMAGE_MODE_RGB, 8, 0);
        log.path = dir.File("display.log");
        if (!peer.Open())
            return false;
        std::vector<std::string> argv = {SorbanePath(), "display",
                                         "--kernel",    std::to_string(peer.kernel),
                                         "--program",   std::to_string(peer.program),
                                         image,         "--log",
                                         log.path};
        if (!script.empty()) {
            WriteFile(dir.File("script"), script);
            argv.insert(argv.end(), {"--script", dir.File("script")});
        }
        return display.Start(argv, dir.path) && peer.Greet();
    }
    std::string OwnFifo() const { return Fifo_Name(peer.kernel, peer.display); }
};

std::vector<unsigned char> Motion(int32_t mode)
{
    return Words({mode, 0, 0, 1, 256});
}

} // namespace

// In the window, motion while dabstone forbids it is held back; when it is
// allowed again only the latest position goes out.
TEST(DisplayAlone, WindowHoldsMotionBackWhileForbidden)
{
    Alone a;
    ASSERT_TRUE(a.Start()) << a.display.Err();
    ASSERT_TRUE(a.log.WaitFor(false, MSG_BRUSH_CURSOR));
    unsigned long w = a.log.Window();
    ASSERT_NE(w, 0u);
    a.peer.Send(MSG_MOTION, Motion(0));
    ASSERT_TRUE(a.log.WaitFor(false, MSG_MOTION));

    ASSERT_TRUE(SendButton(w, true, 1, 5, 5));
    ASSERT_TRUE(SendMotion(w, 10, 10, Button1Mask));
    ASSERT_TRUE(SendMotion(w, 12, 14, Button1Mask));
    ASSERT_TRUE(SendKey(w, XK_u)); // taken after the motion: a marker
    ASSERT_TRUE(a.peer.WaitProgram(MSG_ACTION));
    std::vector<Frame> events = a.peer.ToProgram(MSG_POINTER);
    ASSERT_EQ(events.size(), 1u) << "only the press while motion is forbidden";
    EXPECT_EQ(events[0].payload, Words({16, 11, 0, 0, int32_t(w), 5, 5, 1, 0, 256, 0, 0, 0, 0, 0, 0}));

    a.peer.Send(MSG_MOTION, Motion(1));
    ASSERT_TRUE(a.peer.WaitProgram(MSG_POINTER, 2));
    ASSERT_TRUE(SendButton(w, false, 1, 12, 14, Button1Mask));
    ASSERT_TRUE(a.peer.WaitProgram(MSG_POINTER, 3));
    events = a.peer.ToProgram(MSG_POINTER);
    ASSERT_EQ(events.size(), 3u);
    EXPECT_EQ(events[1].Word(0), 2);
    EXPECT_EQ(events[1].Word(20), 12) << "the latest position";
    EXPECT_EQ(events[1].Word(24), 14);
    EXPECT_EQ(events[2].Word(0), 32);

    ASSERT_TRUE(SendKey(w, XK_q));
    ASSERT_TRUE(a.display.Wait());
    EXPECT_EQ(a.display.ExitCode(), 0) << a.display.Err();
}

// How a display ends: leaving says goodbye to both; quitting also asks the
// kernel to end the session; vanishing says nothing; and dabstone leaving
// (1003) or the kernel's quit (1001) end it without a goodbye to dabstone.
// Each time its FIFO is gone.
TEST(DisplayAlone, EndsAsToldAndCleansUp)
{
    struct Case {
        const char *script;
        int32_t sentByPeer; // 0: none
        int goodbyes, endSession;
    };
    const Case cases[] = {
        {"wait 1042\nleave\n", 0, 1, 0},
        {"wait 1042\n", 0, 1, 0},
        {"wait 1042\nquit\n", 0, 1, 1},
        {"wait 1042\nvanish\n", 0, 0, 0},
        {"wait 1042\nwait 4242\n", MSG_DISPLAY_LEAVE, 0, 0},
        {"wait 1042\nwait 4242\n", MSG_EXIT, 0, 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(std::string(c.script) + " / " + std::to_string(c.sentByPeer));
        Alone a;
        ASSERT_TRUE(a.Start(c.script)) << a.display.Err();
        if (c.sentByPeer) {
            ASSERT_TRUE(a.log.WaitFor(false, MSG_BRUSH_CURSOR));
            a.peer.Send(c.sentByPeer, Words({a.peer.program}));
        }
        ASSERT_TRUE(a.display.Wait());
        EXPECT_EQ(a.display.ExitCode(), 0) << a.display.Err();
        a.peer.WaitProgram(MSG_DISPLAY_CLOSE, 1, 0);
        a.peer.WaitKernel(KERNEL_END_SESSION, 1, 0);
        std::vector<Frame> goodbyes = a.peer.ToProgram(MSG_DISPLAY_CLOSE);
        ASSERT_EQ(int(goodbyes.size()), c.goodbyes);
        if (c.goodbyes) {
            EXPECT_EQ(goodbyes[0].Word(0), a.peer.display);
            EXPECT_EQ(goodbyes[0].Text(4), a.image);
        }
        EXPECT_EQ(int(std::count_if(a.peer.toKernel.begin(), a.peer.toKernel.end(),
                                    [](const Frame &f) { return f.code == KERNEL_END_SESSION; })),
                  c.endSession);
        EXPECT_FALSE(Exists(a.OwnFifo()));
    }
}
