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

} // namespace

TEST(Kernel, RefusesMalformedRequestsAndGoesOn)
{
    Session s;
    ASSERT_TRUE(s.Start({"--no-display"}) && s.Ready()) << s.kernel.Err();
    int p = s.programPid;
    ASSERT_TRUE(s.ToKernel(MSG_OPEN_IMAGE, std::vector<unsigned char>(10, 1))); // too short
    ASSERT_TRUE(s.ToKernel(4242, Words({1})));                                  // no such request
    // A good one is still answered, with its own bytes.
    ASSERT_TRUE(s.ToKernel(MSG_OPEN_IMAGE, OpenRequest(s.image)));
    ASSERT_TRUE(s.log.WaitFor(true, MSG_IMAGE_OPENED)) << s.kernel.Err();
    std::vector<Frame> refused = s.log.Sent(MSG_REQUEST_FAILED); // 1011: the request, then the error
    ASSERT_EQ(refused.size(), 2u);
    EXPECT_EQ(refused[0].payload, Words({MSG_OPEN_IMAGE, 1046}));
    EXPECT_EQ(refused[1].payload, Words({4242, 1046}));
    EXPECT_EQ(s.log.Sent(MSG_IMAGE_OPENED)[0].payload, OpenRequest(s.image));
    std::string err = s.kernel.Err();
    EXPECT_NE(err.find("sorbane: bad request 2016 from " + std::to_string(p) + ": 10 bytes, 508 expected"),
              std::string::npos)
        << err;

    // An absurd length leaves the stream without frame boundaries: what is
    // waiting is dropped, and the next frame is read as usual.
    ASSERT_TRUE(WriteFifo(s.KernelFifo(), RawFrame(p, MSG_OPEN_IMAGE, 0, 0x7fffffff, {1, 2, 3})));
    ASSERT_TRUE(WaitUntil([&] { return s.kernel.Err().find("out of step") != std::string::npos; }));
    ASSERT_TRUE(s.ToKernel(MSG_OPEN_IMAGE, OpenRequest(s.image)));
    ASSERT_TRUE(s.log.WaitFor(true, MSG_IMAGE_OPENED, 2)) << s.kernel.Err();

    EXPECT_EQ(s.QuitByKernel(), 0) << s.kernel.Err();
}

// The options of `run`: the mask answers dabstone's request, and the image
// is exported as PNG when the session ends.
TEST(Kernel, AnswersWithTheMaskAndExportsAtTheEnd)
{
    Session s;
    std::string mask = MakeImage(s.dir.path, 64, 48, 1, 8, 0), png = s.dir.File("out.png");
    ASSERT_TRUE(s.Start({"--no-display", "--mask", mask, "--export", png}) && s.Ready()) << s.kernel.Err();
    ASSERT_TRUE(s.ToKernel(MSG_ASK_MASK, PathField(s.image)));
    ASSERT_TRUE(s.log.WaitFor(true, MSG_MASK_READY));
    std::vector<unsigned char> expected = PathField(mask);
    Append(expected, PathField(s.image));
    EXPECT_EQ(s.log.Sent(MSG_MASK_READY)[0].payload, expected);
    ASSERT_EQ(s.QuitByKernel(), 0) << s.kernel.Err();
    std::string bytes = ReadFile(png);
    ASSERT_GT(bytes.size(), 33u);
    EXPECT_EQ(bytes.substr(0, 8), std::string("\x89PNG\r\n\x1a\n", 8));
    EXPECT_EQ(Bytes_GetS32(bytes.data() + 16) * 100 + Bytes_GetS32(bytes.data() + 20), 6448);
    EXPECT_EQ(bytes[25], 6) << "RGB with alpha";
}
