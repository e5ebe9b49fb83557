// Bad input on dabstone's FIFO: unknown codes, empty payloads, absurd
// lengths, stray handles, a display that disappears.
// Dabstone never crashes, never spins, and reports in one clear line.
#include "tests/e2e/E2e.h"

#include "core/Fifo.h"
#include "core/Msg.h"

#include <gtest/gtest.h>

#include <unistd.h>

using namespace e2e;

TEST(BadInput, UnknownCodesEmptyPayloadsAndStrayHandlesAreSurvived)
{
    Session s;
    ASSERT_TRUE(s.Start({"--no-display"}) && s.Ready()) << s.kernel.Err();
    std::vector<unsigned char> bytes;
    Append(bytes, RawFrame(s.kernelPid, 4242, 0, 8, Words({1, 2})));
    // Every code dabstone handles except the quit, each without its payload.
    for (int32_t code : {0, -7, 2009, 2003, 2022, 1008, 1009, 1003, 1037, 1021, 1016, 1041, 1025, 1040, 2021,
                         1015, 1011, 1006})
        Append(bytes, RawFrame(s.kernelPid, code, 0, 0, {}));
    ASSERT_TRUE(WriteFifo(s.ProgramFifo(), bytes));

    // Still reading and dispatching: a display can connect.
    FakeDisplay d;
    ASSERT_TRUE(d.Open(s.kernelPid, s.programPid));
    ASSERT_TRUE(d.Connect(s.image)) << s.kernel.Err();
    // Pointer events naming no tool (none, a stranger, a drop routine's
    // handle, a stale one) start nothing.
    uint32_t dropHandle = uint32_t(s.log.Received(s.programPid)[1].Word(4));
    for (uint32_t handle : {0u, 0xdeadbeefu, dropHandle, d.ToolHandle(0) + 1000u})
        for (int32_t kind : {MSG_EVK_PRESS, MSG_EVK_MOTION, MSG_EVK_RELEASE})
            d.Send(MSG_POINTER, Words({kind, int32_t(handle), 0, 0, 0, 5, 5, 1, 0, 256, 0, 0, 0, 0, 0, 0}));
    size_t before = d.got.size();
    EXPECT_EQ(s.QuitByKernel(), 0) << s.kernel.Err();
    d.WaitCode(MSG_EXIT, 1, 0);
    for (size_t i = before; i < d.got.size(); i++)
        EXPECT_NE(d.got[i].code, MSG_MOTION) << "a tool ran";
    EXPECT_EQ(s.kernel.Err().find("fatal"), std::string::npos) << s.kernel.Err();
}

TEST(BadInput, OverLargeLengthClosesTheLinkInOrder)
{
    Session s;
    ASSERT_TRUE(s.Start({"--no-display"}) && s.Ready()) << s.kernel.Err();
    std::string fifo = s.ProgramFifo();
    ASSERT_TRUE(WriteFifo(fifo, RawFrame(s.kernelPid, MSG_DISPLAY_CONNECT, 0, 0x7fffffff, Words({1, 2, 3}))));
    // The program does not spin on the broken stream: it ends, in order.
    ASSERT_NE(s.Finish(), -1000) << "dabstone did not end";
    EXPECT_EQ(Count(s.kernel.Err(), "can't dispatch message"), 1) << s.kernel.Err();
    EXPECT_NE(s.NoticeStatus(), INT32_MIN) << "exit notice";
    EXPECT_FALSE(Exists(fifo));
}

TEST(BadInput, VanishedDisplayCostsOneLine)
{
    Session s;
    ASSERT_TRUE(s.Start({"--no-display"}) && s.Ready()) << s.kernel.Err();
    {
        FakeDisplay gone;
        ASSERT_TRUE(gone.Open(s.kernelPid, s.programPid));
        ASSERT_TRUE(gone.Connect(s.image));
        gone.Vanish(); // no 1009
    }
    // A second display connects: dabstone tells the first one it leaves
    // (that write fails) and serves the new one.
    int other = getpid() + 100000;
    int fifo = Fifo_OpenRead(s.kernelPid, other);
    ASSERT_GE(fifo, 0);
    std::vector<unsigned char> connect = Words({other});
    Append(connect, PathField(s.image));
    ASSERT_TRUE(WriteFifo(s.ProgramFifo(),
                          RawFrame(other, MSG_DISPLAY_CONNECT, 0, int32_t(connect.size()), connect)));
    ASSERT_TRUE(s.log.WaitFor(false, MSG_DISPLAY_CONNECTED, 2)) << s.kernel.Err();
    EXPECT_EQ(s.QuitByKernel(), 0) << s.kernel.Err();
    Fifo_CloseRead(s.kernelPid, other, fifo);
    EXPECT_EQ(Count(s.kernel.Err(), "can't write message"), 1) << s.kernel.Err();
}
