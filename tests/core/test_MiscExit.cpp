// The exit notices that fatal errors and faults send to the kernel.
#include "core/Bytes.h"
#include "core/Misc.h"
#include "core/Msg.h"

#include <gtest/gtest.h>

#include <csignal>
#include <fcntl.h>
#include <unistd.h>
#include <vector>

namespace
{

// The bytes a child process left in the pipe before it ended.
std::vector<unsigned char> Drain(int fd)
{
    std::vector<unsigned char> out(64);
    ssize_t n = read(fd, out.data(), out.size());
    out.resize(n > 0 ? size_t(n) : 0);
    return out;
}

struct ExitNotice : testing::Test {
    int p[2];
    void SetUp() override
    {
        GTEST_FLAG_SET(death_test_style, "fast"); // fork only: the child writes into our pipe
        ASSERT_EQ(pipe2(p, O_NONBLOCK), 0);
    }
    void TearDown() override
    {
        close(p[0]);
        close(p[1]);
    }
    void ExpectNotice(int32_t aux, int32_t code)
    {
        std::vector<unsigned char> frame = Drain(p[0]);
        ASSERT_EQ(frame.size(), 20u) << "one 1001 frame with a 4-byte payload";
        EXPECT_EQ(Bytes_GetS32(&frame[MSG_HDR_CODE]), MSG_EXIT);
        EXPECT_EQ(Bytes_GetS32(&frame[MSG_HDR_AUX]), aux);
        EXPECT_EQ(Bytes_GetS32(&frame[MSG_HDR_LENGTH]), 4);
        EXPECT_EQ(Bytes_GetS32(&frame[16]), code);
    }
};

TEST_F(ExitNotice, FaultsSendTheirCodeWithTheChannelsAux)
{
    EXPECT_EXIT(
        {
            Misc_InitSegv(p[1], 7);
            std::raise(SIGSEGV);
        },
        testing::ExitedWithCode(255), "unexpected exit");
    ExpectNotice(7, 1004);
    EXPECT_EXIT(
        {
            Misc_InitSegv(p[1], 0);
            std::raise(SIGBUS);
        },
        testing::ExitedWithCode(255), "unexpected exit");
    ExpectNotice(0, 1213);
}

TEST_F(ExitNotice, FatalErrorsCarryTheirCodeInAuxAndPayload)
{
    EXPECT_EXIT(
        {
            Misc_InitSegv(p[1], 0);
            Misc_OpenFatal("can't dispatch message", 12);
        },
        testing::ExitedWithCode(1), "fatal error: can't dispatch message .*\n.*exiting...");
    ExpectNotice(12, 12);
}

} // namespace
