// Report lines, fatal exits, and the exit notices that fatal errors and
// faults send to the kernel.
#include "core/Misc.h"
#include "core/OrvError.h"
#include "tests/TestStore.h"

#include <csignal>

namespace
{
class Misc : public testing::Test
{
  protected:
    void SetUp() override { Misc_SetProgramName("DabStone"); }
};
} // namespace

TEST_F(Misc, ReportLines)
{
    EXPECT_EQ(Stderr([] { Misc_Error(1017, 2); }), "DabStone: error: No more memory available\n");
    EXPECT_EQ(Stderr([] { Misc_OpenWarning("", 0); }), "DabStone: warning: Error not found - code -1 \n");
    EXPECT_EQ(Stderr([] { Misc_OpenError("can't write message", 12); }),
              std::string("DabStone: error: can't write message : ") + Misc_ErrorNumToString(12) + "\n");
    EXPECT_EQ(Stderr([] { Misc_OpenWarning("busy", 0); }), "DabStone: warning: busy\n");
}

// The frame a child process left in the pipe before it ended: one 1001 with
// the code in its payload and the channel's aux.
void ExpectNotice(int fd, int32_t aux, int32_t code)
{
    const std::vector<Frame> frames = Frames(fd);
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(frames[0].code, MSG_EXIT);
    EXPECT_EQ(frames[0].aux, aux);
    EXPECT_EQ(frames[0].payload, Words({code}));
}

// Faults end with status -1 and a fatal error with 1, each after its exit
// notice; without a channel only the console hears of it.
TEST_F(Misc, FaultsAndFatalErrorsSendTheirCodeAndExit)
{
    GTEST_FLAG_SET(death_test_style, "fast"); // fork only: the child writes into our pipe
    int p[2];
    ASSERT_EQ(pipe2(p, O_NONBLOCK), 0);
    EXPECT_EXIT(
        {
            Misc_InitSegv(p[1], 7);
            std::raise(SIGSEGV);
        },
        testing::ExitedWithCode(255), "^DabStone: unexpected exit\n$");
    ExpectNotice(p[0], 7, 1004);
    EXPECT_EXIT(
        {
            Misc_InitSegv(p[1], 0);
            Misc_OpenFatal("can't dispatch message", 12);
        },
        testing::ExitedWithCode(1), "^DabStone: fatal error: can't dispatch message : .+\nDabStone: exiting...\n$");
    ExpectNotice(p[0], 12, 12);
    close(p[0]);
    close(p[1]);
    EXPECT_EXIT(Misc_Error(1004, 1), testing::ExitedWithCode(1), "^DabStone: fatal error: Exit with error\n$");
}
