#include "core/Misc.h"
#include "core/OrvError.h"

#include <gtest/gtest.h>

#include <csignal>
#include <functional>
#include <string>

namespace
{
std::string Stderr(const std::function<void()> &report)
{
    testing::internal::CaptureStderr();
    report();
    return testing::internal::GetCapturedStderr();
}

class Misc : public testing::Test
{
  protected:
    void SetUp() override { Misc_SetProgramName("DabStone"); }
};
} // namespace

TEST_F(Misc, ReportLines)
{
    EXPECT_EQ(Stderr([] { Misc_Error(0, 0); }), "DabStone: error: \n");
    EXPECT_EQ(Stderr([] { Misc_Error(1017, 2); }), "DabStone: error: No more memory available\n");
    EXPECT_EQ(Stderr([] { Misc_OpenWarning("", 0); }), "DabStone: warning: Error not found - code -1 \n");
    EXPECT_EQ(Stderr([] { Misc_Warning(nullptr, 1066); }), "DabStone: warning: Application is not ready\n");
    EXPECT_EQ(Stderr([] { Misc_OpenError("can't write message", 12); }),
              std::string("DabStone: error: can't write message : ") + Misc_ErrorNumToString(12) + "\n");
    EXPECT_EQ(Stderr([] { Misc_OpenWarning("busy", 0); }), "DabStone: warning: busy\n");
    Misc_SetProgramName("other");
    EXPECT_EQ(Stderr([] { Misc_Report("note", "x", 1213); }), "other: note: x : The disk is full \n");
}

TEST_F(Misc, FatalPathsExitWithStatusOne)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EQ(faultChannel, -1);
    EXPECT_EXIT(Misc_Error(1004, 1), testing::ExitedWithCode(1),
                "^DabStone: fatal error: Exit with error\n$");
    EXPECT_EXIT(Misc_OpenFatal("initializing communication with Sorbane - can't open fifo", 2),
                testing::ExitedWithCode(1),
                "^DabStone: fatal error: initializing communication with Sorbane - can't open fifo : .+\n"
                "DabStone: exiting...\n$");
    EXPECT_EXIT(Misc_NotifyExit(1004), testing::ExitedWithCode(1), "^DabStone: exiting...\n$");
    EXPECT_EXIT(
        {
            Misc_InitSegv(-1, 0);
            std::raise(SIGBUS);
        },
        testing::ExitedWithCode(255), "^DabStone: unexpected exit\n$");
}
