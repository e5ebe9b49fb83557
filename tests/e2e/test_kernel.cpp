// The kernel peer on its own: requests written straight into its FIFO, as a
// misbehaving or scripted program would send them.
#include "tests/e2e/E2e.h"

#include "core/Bytes.h"
#include "core/Msg.h"

#include <gtest/gtest.h>

using namespace e2e;

namespace
{

// A 2016 request for path with a reply tail.
std::vector<unsigned char> OpenRequest(const std::string &path)
{
    return PathWords(path, {5, 6});
}

// 1011 answers the kernel sent, as (request, error) pairs.
std::vector<std::pair<int32_t, int32_t>> Refusals(const Session &s)
{
    std::vector<std::pair<int32_t, int32_t>> out;
    for (const Frame &f : s.log.Sent(MSG_REQUEST_FAILED))
        out.push_back({f.Word(0), f.Word(4)});
    return out;
}

} // namespace

TEST(Kernel, RefusesMalformedRequestsAndGoesOn)
{
    Session s;
    ASSERT_TRUE(s.Start({"--no-display"}) && s.Ready()) << s.kernel.Err();
    int p = s.programPid;
    // Too short; a path without its NUL; an image that is not there.
    ASSERT_TRUE(s.ToKernel(MSG_OPEN_IMAGE, std::vector<unsigned char>(10, 1)));
    ASSERT_TRUE(s.ToKernel(MSG_OPEN_IMAGE, std::vector<unsigned char>(508, 'a')));
    ASSERT_TRUE(s.ToKernel(MSG_OPEN_IMAGE, OpenRequest(s.dir.File("none"))));
    ASSERT_TRUE(s.ToKernel(4242, Words({1}))); // no such request
    // A good one is still answered, with its own bytes.
    ASSERT_TRUE(s.ToKernel(MSG_OPEN_IMAGE, OpenRequest(s.image)));
    ASSERT_TRUE(s.log.WaitFor(true, MSG_IMAGE_OPENED)) << s.kernel.Err();

    std::vector<std::pair<int32_t, int32_t>> refused = Refusals(s);
    ASSERT_EQ(refused.size(), 4u) << s.kernel.Err();
    EXPECT_EQ(refused[0], std::make_pair(int32_t(MSG_OPEN_IMAGE), 1046));
    EXPECT_EQ(refused[1], std::make_pair(int32_t(MSG_OPEN_IMAGE), 1046));
    EXPECT_EQ(refused[2], std::make_pair(int32_t(MSG_OPEN_IMAGE), 2)) << "the system's ENOENT";
    EXPECT_EQ(refused[3], std::make_pair(4242, 1046));
    EXPECT_EQ(s.log.Sent(MSG_IMAGE_OPENED)[0].payload, OpenRequest(s.image));
    std::string err = s.kernel.Err();
    EXPECT_NE(err.find("sorbane: bad request 2016 from " + std::to_string(p) + ": 10 bytes, 508 expected"),
              std::string::npos)
        << err;
    EXPECT_NE(err.find("not terminated"), std::string::npos) << err;
    EXPECT_NE(err.find("unknown request 4242"), std::string::npos) << err;

    // An absurd length leaves the stream without frame boundaries: what is
    // waiting is dropped, and the next frame is read as usual.
    ASSERT_TRUE(WriteFifo(s.KernelFifo(), RawFrame(p, MSG_OPEN_IMAGE, 0, 0x7fffffff, {1, 2, 3})));
    ASSERT_TRUE(WaitUntil([&] { return s.kernel.Err().find("out of step") != std::string::npos; }));
    ASSERT_TRUE(s.ToKernel(MSG_OPEN_IMAGE, OpenRequest(s.image)));
    ASSERT_TRUE(s.log.WaitFor(true, MSG_IMAGE_OPENED, 2)) << s.kernel.Err();

    EXPECT_EQ(s.QuitByKernel(), 0) << s.kernel.Err();
}

TEST(Kernel, DeletesOnlyImagesMadeForTheProgram)
{
    Session s;
    ASSERT_TRUE(s.Start({"--no-display"}) && s.Ready()) << s.kernel.Err();
    // Two images of our own (dabstone's work images stay out of it: it may
    // not have opened them yet). Their reply tails name nothing dabstone
    // knows, so it ignores the answers.
    std::vector<unsigned char> info = Words({4, 4, 1, 8}); // 4 x 4 grey, 8 bits
    info.resize(576);
    ASSERT_TRUE(s.ToKernel(MSG_CREATE_WORK, info));
    ASSERT_TRUE(s.ToKernel(MSG_CREATE_REBUILD, info));
    ASSERT_TRUE(s.log.WaitFor(true, MSG_WORK_CREATED, 8)) << s.kernel.Err();
    std::vector<Frame> made = s.log.Sent(MSG_WORK_CREATED);
    std::string work = made[6].Text(0), rebuild = made[7].Text(0);
    ASSERT_TRUE(Exists(work));
    ASSERT_TRUE(Exists(rebuild));

    ASSERT_TRUE(s.ToKernel(MSG_DELETE, PathField(s.image)));
    ASSERT_TRUE(s.ToKernel(MSG_DELETE, PathField(work)));
    ASSERT_TRUE(s.ToKernel(MSG_DISCARD_REBUILD, PathField(rebuild)));
    ASSERT_TRUE(WaitUntil([&] { return !Exists(work) && !Exists(rebuild); })) << s.kernel.Err();
    EXPECT_TRUE(Exists(s.image)) << "the edited image is not the kernel's to delete";
    std::vector<std::pair<int32_t, int32_t>> refused = Refusals(s);
    ASSERT_EQ(refused.size(), 1u);
    EXPECT_EQ(refused[0], std::make_pair(int32_t(MSG_DELETE), 1014));
    EXPECT_EQ(s.QuitByKernel(), 0) << s.kernel.Err();
}

TEST(Kernel, MaskRequestsAnsweredByConfiguration)
{
    for (bool masked : {false, true}) {
        Session s;
        std::string mask = MakeImage(s.dir.path, 64, 48, 1, 8, 0);
        ASSERT_TRUE(s.Start(masked ? std::vector<std::string>{"--no-display", "--mask", mask}
                                   : std::vector<std::string>{"--no-display"}) &&
                    s.Ready())
            << s.kernel.Err();
        ASSERT_TRUE(s.ToKernel(MSG_ASK_MASK, PathField(s.image)));
        int32_t answer = masked ? MSG_MASK_READY : MSG_NO_MASK;
        ASSERT_TRUE(s.log.WaitFor(true, answer));
        std::vector<unsigned char> expected = PathField(mask);
        Append(expected, PathField(s.image));
        EXPECT_EQ(s.log.Sent(answer)[0].payload, masked ? expected : std::vector<unsigned char>{});
        EXPECT_EQ(s.QuitByKernel(), 0);
    }
}

TEST(Kernel, RowChangesAreForwardedToTheDisplay)
{
    Session s;
    ASSERT_TRUE(s.Start({"--script", s.Script("wait 2010\nquit\n")}));
    ASSERT_TRUE(s.log.WaitFor(false, 3000)) << "the display said hello";
    std::vector<unsigned char> rows = PathWords(s.image, {3, 2});
    ASSERT_TRUE(s.ToKernel(MSG_ROWS_CHANGED, rows));
    ASSERT_EQ(s.Finish(), 0) << s.kernel.Err();
    std::vector<Frame> got = s.displayLog.Received(s.kernelPid);
    ASSERT_FALSE(got.empty());
    EXPECT_EQ(got[0].code, MSG_ROWS_CHANGED);
    EXPECT_EQ(got[0].payload, rows);
}

TEST(Kernel, ExportsTheImageAsPngAtTheEnd)
{
    Session s;
    std::string png = s.dir.File("out.png");
    ASSERT_TRUE(s.Start({"--no-display", "--export", png}) && s.Ready()) << s.kernel.Err();
    ASSERT_EQ(s.QuitByKernel(), 0) << s.kernel.Err();
    std::string bytes = ReadFile(png);
    ASSERT_GT(bytes.size(), 33u);
    EXPECT_EQ(bytes.substr(0, 8), std::string("\x89PNG\r\n\x1a\n", 8));
    EXPECT_EQ(bytes.substr(12, 4), "IHDR");
    EXPECT_EQ(Bytes_GetS32(bytes.data() + 16), 64);
    EXPECT_EQ(Bytes_GetS32(bytes.data() + 20), 48);
    EXPECT_EQ(bytes[25], 6) << "RGB with alpha";
}
