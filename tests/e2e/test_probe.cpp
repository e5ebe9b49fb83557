// The probe: dabstone writes its application descriptor, raw, on the
// kernel's FIFO and exits without a FIFO of its own.
#include "tests/e2e/E2e.h"

#include "core/Bytes.h"

#include <gtest/gtest.h>

#include <dirent.h>

using namespace e2e;

namespace
{

int32_t WordAt(const std::string &d, size_t offset)
{
    return Bytes_GetS32(d.data() + offset);
}

bool AllZero(const std::string &d, size_t from, size_t to)
{
    for (size_t i = from; i < to; i++)
        if (d[i] != 0)
            return false;
    return true;
}

// FIFOs left in /tmp under a kernel id.
int FifosOf(int kernelPid)
{
    char prefix[32];
    std::snprintf(prefix, sizeof prefix, "%05d#", kernelPid);
    int n = 0;
    DIR *dir = opendir("/tmp");
    for (dirent *e; dir && (e = readdir(dir));)
        n += std::string(e->d_name).rfind(prefix, 0) == 0;
    if (dir)
        closedir(dir);
    return n;
}

} // namespace

TEST(Probe, DescriptorLayoutAndReadableReport)
{
    TempDir dir;
    Child probe;
    ASSERT_TRUE(probe.Start(
        {SorbanePath(), "probe", "--raw", dir.File("descriptor"), "--dabstone", DabstonePath()}, dir.path));
    ASSERT_TRUE(probe.Wait());
    ASSERT_EQ(probe.ExitCode(), 0) << probe.Err();

    std::string d = ReadFile(dir.File("descriptor"));
    ASSERT_EQ(d.size(), 32568u);
    EXPECT_EQ(std::string(d.c_str()), "DabStone");
    EXPECT_TRUE(AllZero(d, 8, 100)) << "the name field is NUL-padded";
    const int32_t numbers[] = {220, 2, 2, 0, 0, 0, 1};
    for (size_t i = 0; i < 7; i++)
        EXPECT_EQ(WordAt(d, 100 + 4 * i), numbers[i]) << "word at " << 100 + 4 * i;
    EXPECT_EQ(WordAt(d, 31152), 1);
    EXPECT_EQ(WordAt(d, 31156), 0);
    EXPECT_EQ(std::string(d.c_str() + 31160), "DabStone, 07/1995");
    EXPECT_EQ(std::string(d.c_str() + 31160 + 64), "Pixel Retouching && Image Pasting by");
    EXPECT_TRUE(AllZero(d, 31160 + 6 * 64, 32568)) << "about lines 6 to 21 are empty";

    // The mask is the filled silhouette of the bitmap: it covers every
    // pixel of it, and both hold a drawing.
    int bitmapBits = 0, uncovered = 0;
    for (int i = 0; i < 512; i++) {
        unsigned char bits = static_cast<unsigned char>(d[30128 + i]),
                      mask = static_cast<unsigned char>(d[30640 + i]);
        bitmapBits += __builtin_popcount(bits);
        uncovered += __builtin_popcount(bits & ~mask & 0xff);
    }
    EXPECT_GT(bitmapBits, 0);
    EXPECT_EQ(uncovered, 0);

    std::string out = probe.Out();
    EXPECT_NE(out.find("name: \"DabStone\""), std::string::npos) << out;
    EXPECT_NE(out.find("words: 220 2 2 0 0 0 1"), std::string::npos) << out;
    EXPECT_NE(out.find("DabStone, 07/1995"), std::string::npos) << out;
    // Neither the probing kernel nor dabstone leaves a FIFO behind.
    EXPECT_EQ(FifosOf(probe.pid), 0);
}

TEST(Probe, MissingProgramIsReportedNotHung)
{
    TempDir dir;
    Child probe;
    ASSERT_TRUE(probe.Start({SorbanePath(), "probe", "--dabstone", dir.File("no-such-program")}, dir.path));
    ASSERT_TRUE(probe.Wait());
    EXPECT_NE(probe.ExitCode(), 0);
    EXPECT_NE(probe.Err().find("sorbane: "), std::string::npos);
    EXPECT_EQ(FifosOf(probe.pid), 0);
}
