// Every way a session ends: the kernel's quit message, the window manager,
// an error exit, the kernel dying. Each orderly end sends the exit notice
// and removes dabstone's FIFO.
#include "tests/e2e/E2e.h"

#include "core/Msg.h"

#include <gtest/gtest.h>

#include <csignal>
#include <unistd.h>
#include <utility>

using namespace e2e;

namespace
{

bool Ready(Session &s)
{
    return s.log.WaitFor(true, MSG_SETTINGS);
}

unsigned long MainWindow(const Session &s)
{
    for (const Frame &f : s.log.Received(s.programPid))
        if (f.code == MSG_DROP_WINDOW)
            return static_cast<unsigned long>(uint32_t(f.Word(0)));
    return 0;
}

} // namespace

TEST(Quit, FromTheKernel)
{
    Session s;
    ASSERT_TRUE(s.Start({"--no-display"}));
    ASSERT_TRUE(Ready(s)) << s.kernel.Err();
    std::string fifo = s.ProgramFifo();
    ASSERT_TRUE(Exists(fifo));
    kill(s.kernelPid, SIGTERM); // the kernel asks dabstone to quit with 1001
    ASSERT_EQ(s.Finish(), 0) << s.kernel.Err();
    ASSERT_EQ(s.log.Sent(MSG_EXIT).size(), 1u);
    std::vector<Frame> storage;
    const Frame *notice = s.Notice(storage);
    ASSERT_NE(notice, nullptr);
    EXPECT_EQ(notice->Word(0), 0);
    EXPECT_EQ(notice->aux, 0);
    EXPECT_TRUE(s.log.Sent(MSG_SAVE_SETTINGS).empty()) << "no settings on the kernel's quit";
    EXPECT_FALSE(Exists(fifo));
    EXPECT_FALSE(Exists(s.KernelFifo()));
    EXPECT_NE(s.kernel.Err().find("sorbane: dabstone ended with status 0"), std::string::npos);
}

TEST(Quit, FromTheWindowManager)
{
    Session s;
    ASSERT_TRUE(s.Start({"--no-display"}));
    ASSERT_TRUE(Ready(s)) << s.kernel.Err();
    std::string fifo = s.ProgramFifo();
    ASSERT_NE(MainWindow(s), 0u);
    ASSERT_TRUE(SendWmDelete(MainWindow(s)));
    ASSERT_EQ(s.Finish(), 0) << s.kernel.Err();
    std::vector<Frame> storage;
    const Frame *notice = s.Notice(storage);
    ASSERT_NE(notice, nullptr);
    EXPECT_EQ(notice->Word(0), 0);
    EXPECT_TRUE(s.log.Has(false, MSG_SAVE_SETTINGS)) << "an idle quit saves the settings";
    EXPECT_FALSE(Exists(fifo));
}

// The kernel cannot create a work image: dabstone gives up with 1017
// ("No more memory available"), says so in its exit notice and ends.
TEST(Quit, OnAFailedWorkImage)
{
    Session s;
    ASSERT_TRUE(s.Start({"--no-display"}));
    ASSERT_TRUE(Ready(s)) << s.kernel.Err();
    std::string fifo = s.ProgramFifo();
    std::vector<unsigned char> info(576, 0); // width 0: refused
    ASSERT_TRUE(WriteFifo(s.KernelFifo(), RawFrame(s.programPid, MSG_CREATE_WORK, 0, 576, info)));
    EXPECT_EQ(s.Finish(), 1017 & 0xff) << s.kernel.Err();
    std::vector<Frame> storage;
    const Frame *notice = s.Notice(storage);
    ASSERT_NE(notice, nullptr);
    EXPECT_EQ(notice->Word(0), 1017);
    EXPECT_FALSE(Exists(fifo));
    std::string err = s.kernel.Err();
    EXPECT_NE(err.find("dabstone ended with status 1017 (No more memory available)"), std::string::npos)
        << err;
}

TEST(Quit, KernelDeathEndsDabstoneAndTheDisplayInOrder)
{
    BecomeSubreaper();
    Session s;
    ASSERT_TRUE(s.Start());
    ASSERT_TRUE(s.displayLog.WaitFor(false, MSG_BRUSH_CURSOR)) << s.kernel.Err();
    int display = s.displayLog.Pid("display");
    char displayFifo[64];
    std::snprintf(displayFifo, sizeof displayFifo, "/tmp/%05d#%05d", s.kernelPid, display);
    std::string fifo = s.ProgramFifo();
    kill(s.kernelPid, SIGKILL);
    ASSERT_TRUE(s.kernel.Wait());
    EXPECT_TRUE(WaitGone(s.programPid, kBound)) << "dabstone outlived its kernel";
    EXPECT_TRUE(WaitGone(display, kBound)) << "the display outlived its kernel";
    EXPECT_FALSE(Exists(fifo));
    EXPECT_FALSE(Exists(displayFifo));
    unlink(s.KernelFifo().c_str()); // the killed kernel could not remove its own
}

// An image argument that names no store file: dabstone ends at once with the
// system's error code as its status and in its exit notice.
TEST(Quit, MissingImageEndsWithTheSystemError)
{
    Session s;
    s.image = s.dir.File("missing");
    ASSERT_TRUE(s.Start({"--no-display"}));
    EXPECT_EQ(s.Finish(), 2) << s.kernel.Err();
    std::vector<Frame> storage;
    const Frame *notice = s.Notice(storage);
    ASSERT_NE(notice, nullptr);
    EXPECT_EQ(notice->Word(0), 2);
    EXPECT_FALSE(s.log.Has(false, MSG_READY));
    std::string err = s.kernel.Err();
    EXPECT_NE(err.find("dabstone ended with status 2 (No such file or directory)"), std::string::npos) << err;
    EXPECT_FALSE(Exists(s.ProgramFifo()));
}

// Faults: the handler's exit notice carries 1004 for a segmentation fault
// and 1213 for a bus error (a full disk under a mapped image), status -1.
TEST(Quit, FaultsSendTheirCodeAndEndWithMinusOne)
{
    for (auto [fault, code] : {std::pair<const char *, int>{"SEGV", 1004}, {"BUS", 1213}}) {
        SCOPED_TRACE(fault);
        Session s;
        ASSERT_TRUE(s.Start({"--no-display"}, {std::string("DABSTONE_FAULT=") + fault}));
        EXPECT_EQ(s.Finish(), 255) << s.kernel.Err();
        std::vector<Frame> storage;
        const Frame *notice = s.Notice(storage);
        ASSERT_NE(notice, nullptr);
        EXPECT_EQ(notice->Word(0), code);
        EXPECT_EQ(notice->payload.size(), 4u);
        std::string err = s.kernel.Err();
        EXPECT_NE(err.find("DabStone: unexpected exit"), std::string::npos) << err;
        EXPECT_NE(err.find("dabstone ended with status -1, exit notice " + std::to_string(code)),
                  std::string::npos)
            << err;
    }
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
    char own[64];
    std::snprintf(own, sizeof own, "/tmp/%05d#%05d", int(getpid()), int(program.pid));
    EXPECT_FALSE(Exists(own));
}
