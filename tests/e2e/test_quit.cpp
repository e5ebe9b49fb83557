// Every way a session ends: the kernel's quit message, the window manager,
// an error exit, the kernel dying. Each orderly end sends the exit notice
// and removes dabstone's FIFO.
#include "tests/e2e/E2e.h"

#include "core/Fifo.h"
#include "core/Msg.h"

#include <gtest/gtest.h>

#include <csignal>
#include <unistd.h>
#include <utility>

using namespace e2e;

TEST(Quit, FromTheKernel)
{
    Session s;
    ASSERT_TRUE(s.Start({"--no-display"}) && s.Ready()) << s.kernel.Err();
    std::string fifo = s.ProgramFifo();
    ASSERT_TRUE(Exists(fifo));
    kill(s.kernelPid, SIGTERM); // the kernel asks dabstone to quit with 1001
    ASSERT_EQ(s.Finish(), 0) << s.kernel.Err();
    ASSERT_EQ(s.log.Sent(MSG_EXIT).size(), 1u);
    EXPECT_EQ(s.log.Count(false, MSG_EXIT, [](const Frame &f) { return f.aux == 0 && f.Word(0) == 0; }), 1)
        << "the exit notice: status 0, no error";
    EXPECT_TRUE(s.log.Sent(MSG_SAVE_SETTINGS).empty()) << "no settings on the kernel's quit";
    EXPECT_FALSE(Exists(fifo));
    EXPECT_FALSE(Exists(s.KernelFifo()));
    EXPECT_NE(s.kernel.Err().find("sorbane: dabstone ended with status 0"), std::string::npos);
}

TEST(Quit, FromTheWindowManager)
{
    Session s;
    ASSERT_TRUE(s.Start({"--no-display"}) && s.Ready()) << s.kernel.Err();
    std::string fifo = s.ProgramFifo();
    ASSERT_NE(s.MainWindow(), 0u);
    ASSERT_TRUE(SendWmDelete(s.MainWindow()));
    ASSERT_EQ(s.Finish(), 0) << s.kernel.Err();
    EXPECT_EQ(s.NoticeStatus(), 0);
    EXPECT_TRUE(s.log.Has(false, MSG_SAVE_SETTINGS)) << "an idle quit saves the settings";
    EXPECT_FALSE(Exists(fifo));
}

// Error ends: the exit status, the exit notice's status and the kernel's
// report of both. A work image the kernel cannot create: 1017 ("No more
// memory available"). An image argument that names no store file: the
// system's error code. Faults: the handler's notice carries 1004 for a
// segmentation fault and 1213 for a bus error (a full disk under a mapped
// image), and the status is -1.
TEST(Quit, ErrorsEndWithTheirCodeInTheExitNotice)
{
    struct Case {
        const char *what, *fault;
        int exit;
        int32_t notice;
        const char *report;
    } cases[] = {
        {"work image", nullptr, 1017 & 0xff, 1017,
         "dabstone ended with status 1017 (No more memory available)"},
        {"missing image", nullptr, 2, 2, "dabstone ended with status 2 (No such file or directory)"},
        {"SEGV", "SEGV", 255, 1004, "dabstone ended with status -1, exit notice 1004"},
        {"BUS", "BUS", 255, 1213, "dabstone ended with status -1, exit notice 1213"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        Session s;
        std::vector<std::string> env;
        if (c.fault)
            env.push_back(std::string("DABSTONE_FAULT=") + c.fault);
        if (c.exit == 2)
            s.image = s.dir.File("missing");
        ASSERT_TRUE(s.Start({"--no-display"}, env));
        if (c.notice == 1017) {
            ASSERT_TRUE(s.Ready()) << s.kernel.Err();
            ASSERT_TRUE(s.ToKernel(MSG_CREATE_WORK, std::vector<unsigned char>(576, 0))); // width 0: refused
        }
        EXPECT_EQ(s.Finish(), c.exit) << s.kernel.Err();
        EXPECT_EQ(s.NoticeStatus(), c.notice);
        EXPECT_NE(s.kernel.Err().find(c.report), std::string::npos) << s.kernel.Err();
        EXPECT_EQ(s.kernel.Err().find("DabStone: unexpected exit") != std::string::npos, c.fault != nullptr);
        if (!c.fault) {
            EXPECT_FALSE(Exists(s.ProgramFifo()));
        }
    }
}

TEST(Quit, KernelDeathEndsDabstoneAndTheDisplayInOrder)
{
    BecomeSubreaper();
    Session s;
    ASSERT_TRUE(s.Start());
    ASSERT_TRUE(s.displayLog.WaitFor(false, MSG_BRUSH_CURSOR)) << s.kernel.Err();
    int display = s.displayLog.Pid("display");
    std::string displayFifo = Fifo_Name(s.kernelPid, display);
    std::string fifo = s.ProgramFifo();
    kill(s.kernelPid, SIGKILL);
    ASSERT_TRUE(s.kernel.Wait());
    EXPECT_TRUE(WaitGone(s.programPid, kBound)) << "dabstone outlived its kernel";
    EXPECT_TRUE(WaitGone(display, kBound)) << "the display outlived its kernel";
    EXPECT_FALSE(Exists(fifo));
    EXPECT_FALSE(Exists(displayFifo));
    unlink(s.KernelFifo().c_str()); // the killed kernel could not remove its own
}

// Without a kernel to talk to, dabstone cannot start: a fatal error, exit
// status 1, and no FIFO of its own.
TEST(Quit, FatalErrorWithoutAKernelFifo)
{
    TempDir dir;
    std::string image = MakeImage(dir.path, 8, 8, 2, 8, 0);
    Child program;
    ASSERT_TRUE(program.Start({DabstonePath(), "sorbane", "NULL", image, "EDIT"}, dir.path));
    ASSERT_TRUE(program.Wait());
    EXPECT_EQ(program.ExitCode(), 1);
    std::string err = program.Err();
    EXPECT_NE(err.find("DabStone: fatal error: initializing communication with Sorbane - can't open fifo : "
                       "No such file or directory"),
              std::string::npos)
        << err;
    EXPECT_NE(err.find("DabStone: exiting..."), std::string::npos) << err;
    EXPECT_FALSE(Exists(Fifo_Name(getpid(), program.pid)));
}
