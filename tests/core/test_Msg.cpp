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

TEST_F(MsgWriteTest, FrameIsBigEndianHeaderThenPayload)
{
    unsigned char payload[5] = {'a', 'b', 'c', 'd', 'e'};
    ASSERT_EQ(Msg_write(p[1], MSG_HELLO, -3, payload, 5), 0);
    EXPECT_EQ(GlobalFifoValue, p[1]);
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
    got = drain(p[0]);
    ASSERT_EQ(got.size(), 16u);
    EXPECT_EQ(Bytes_GetS32(&got[12]), 0);
}

TEST_F(MsgWriteTest, SmallerSendReusesTheBufferAndWritesOnlyItsOwnBytes)
{
    std::vector<unsigned char> big(600, 0xAA), small(100, 0x55);
    ASSERT_EQ(Msg_write(p[1], 1014, 0, big.data(), 600), 0);
    int capacity = 0;
    const unsigned char *buffer = Msg_SendBuffer(&capacity);
    EXPECT_GE(capacity, 600);
    drain(p[0]);
    ASSERT_EQ(Msg_write(p[1], 1020, 0, small.data(), 100), 0);
    int after = 0;
    EXPECT_EQ(Msg_SendBuffer(&after), buffer);
    EXPECT_EQ(after, capacity);
    EXPECT_EQ(buffer[116], 0xAA); // the old payload stays behind the new one
    auto got = drain(p[0]);
    ASSERT_EQ(got.size(), 116u);
    EXPECT_EQ(got.back(), 0x55);
}

TEST_F(MsgWriteTest, ReaderGoneIsReportedAndReturned)
{
    close(p[0]);
    p[0] = -1;
    testing::internal::CaptureStderr();
    int32_t word = 1;
    EXPECT_EQ(Msg_write(p[1], MSG_EXIT, 0, &word, 4), EPIPE);
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("can't write message"), std::string::npos) << err;
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
    struct stat st;
    ASSERT_EQ(stat(Fifo_Name(kernel, owner), &st), 0);
    EXPECT_TRUE(S_ISFIFO(st.st_mode));
    unsigned char buf[4];
    EXPECT_EQ(read(rd, buf, 4), -1); // read-write: no end-of-file, no blocking
    EXPECT_EQ(errno, EAGAIN);

    int wr = Fifo_OpenWrite(kernel, owner);
    ASSERT_GE(wr, 0);
    EXPECT_EQ(fcntl(wr, F_GETFL) & O_NONBLOCK, 0);
    EXPECT_EQ(write(wr, "ping", 4), 4);
    EXPECT_EQ(read(rd, buf, 4), 4);
    EXPECT_EQ(Fifo_CloseWrite(kernel, owner, wr), 0);

    // A second open of an existing FIFO is accepted.
    int again = Fifo_OpenRead(kernel, owner);
    ASSERT_GE(again, 0);
    close(again);
    EXPECT_EQ(Fifo_CloseRead(kernel, owner, rd), 0);
    EXPECT_NE(access(Fifo_Name(kernel, owner), F_OK), 0);
}

TEST(Fifo, SomethingElseInThePlaceOfTheFifoIsRefused)
{
    int kernel = getpid(), owner = 99992;
    const char *name = Fifo_Name(kernel, owner);
    int fd = open(name, O_CREAT | O_WRONLY | O_TRUNC, 0600);
    ASSERT_GE(fd, 0);
    close(fd);
    EXPECT_EQ(Fifo_OpenRead(kernel, owner), -1);
    unlink(Fifo_Name(kernel, owner));
}

} // namespace
