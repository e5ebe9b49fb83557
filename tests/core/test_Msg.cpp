// Frames as they leave the process, and the FIFOs they travel on.
#include "core/Bytes.h"
#include "core/Fifo.h"
#include "core/Msg.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace
{

std::vector<unsigned char> drain(int fd)
{
    std::vector<unsigned char> out;
    unsigned char buf[8192];
    ssize_t n;
    while ((n = read(fd, buf, sizeof buf)) > 0)
        out.insert(out.end(), buf, buf + n);
    return out;
}

struct PipeFixture : testing::Test {
    int p[2] = {-1, -1};
    void SetUp() override
    {
        ASSERT_EQ(pipe2(p, O_NONBLOCK), 0);
        signal(SIGPIPE, SIG_IGN);
    }
    void TearDown() override
    {
        for (int fd : p)
            if (fd >= 0)
                close(fd);
    }
};

using MsgWriteTest = PipeFixture;

// A header of four big-endian words, then the payload; a smaller frame after
// a larger one carries only its own bytes.
TEST_F(MsgWriteTest, FrameIsBigEndianHeaderThenPayload)
{
    std::vector<unsigned char> big(600, 0xAA);
    ASSERT_EQ(Msg_write(p[1], 1014, 0, big.data(), 600), 0);
    drain(p[0]);
    unsigned char payload[5] = {'a', 'b', 'c', 'd', 'e'};
    ASSERT_EQ(Msg_write(p[1], MSG_HELLO, -3, payload, 5), 0);
    auto got = drain(p[0]);
    ASSERT_EQ(got.size(), 21u);
    EXPECT_EQ(Bytes_GetS32(&got[0]), int32_t(getpid()));
    EXPECT_EQ(got[4], 0x00);
    EXPECT_EQ(got[6], 0x03); // 1004 = 0x03EC, most significant byte first
    EXPECT_EQ(got[7], 0xEC);
    EXPECT_EQ(Bytes_GetS32(&got[8]), -3);
    EXPECT_EQ(Bytes_GetS32(&got[12]), 5);
    EXPECT_EQ(std::string(got.begin() + 16, got.end()), "abcde");
    ASSERT_EQ(Msg_write(p[1], MSG_NO_MASK, 0, nullptr, 0), 0);
    EXPECT_EQ(drain(p[0]).size(), 16u);
}

TEST(Fifo, NameIsZeroPaddedKernelThenOwner)
{
    EXPECT_STREQ(Fifo_Name(812, 4711), "/tmp/00812#04711");
    EXPECT_STREQ(Fifo_Name(1234567, 5), "/tmp/1234567#00005");
}

TEST(Fifo, OwnFifoIsCreatedReadWriteAndRemovedOnClose)
{
    signal(SIGPIPE, SIG_IGN);
    int kernel = getpid(), owner = 99991;
    unlink(Fifo_Name(kernel, owner));
    // Nobody reads yet: the writer is refused instead of waiting forever.
    EXPECT_EQ(Fifo_OpenWrite(kernel, owner), -1);

    int rd = Fifo_OpenRead(kernel, owner);
    ASSERT_GE(rd, 0);
    unsigned char buf[4];
    EXPECT_EQ(read(rd, buf, 4), -1); // read-write: no end-of-file, no blocking
    EXPECT_EQ(errno, EAGAIN);

    int wr = Fifo_OpenWrite(kernel, owner);
    ASSERT_GE(wr, 0);
    EXPECT_EQ(write(wr, "ping", 4), 4);
    EXPECT_EQ(read(rd, buf, 4), 4);
    EXPECT_EQ(Fifo_CloseWrite(kernel, owner, wr), 0);

    EXPECT_EQ(Fifo_CloseRead(kernel, owner, rd), 0);
    EXPECT_NE(access(Fifo_Name(kernel, owner), F_OK), 0);

    // Something else in the place of the FIFO is refused.
    close(open(Fifo_Name(kernel, owner), O_CREAT | O_WRONLY | O_TRUNC, 0600));
    EXPECT_EQ(Fifo_OpenRead(kernel, owner), -1);
    unlink(Fifo_Name(kernel, owner));
}

} // namespace
