// The probe: dabstone writes its application descriptor, raw, on the
// kernel's FIFO and exits without a FIFO of its own.
#include "tests/e2e/E2e.h"

#include <gtest/gtest.h>

#include <ctime>
#include <dirent.h>
#include <sys/stat.h>

using namespace e2e;

namespace
{

// FIFOs left in /tmp under a kernel id, made since a time: an older one is
// another process's that had the same id before.
int FifosOf(int kernelPid, time_t since)
{
    char prefix[32];
    std::snprintf(prefix, sizeof prefix, "%05d#", kernelPid);
    int n = 0;
    DIR *dir = opendir("/tmp");
    struct stat st;
    for (dirent *e; dir && (e = readdir(dir));)
        n += std::string(e->d_name).rfind(prefix, 0) == 0 &&
             stat(("/tmp/" + std::string(e->d_name)).c_str(), &st) == 0 && st.st_mtime >= since;
    if (dir)
        closedir(dir);
    return n;
}

} // namespace

TEST(Probe, DescriptorArrivesWholeAndIsReported)
{
    TempDir dir;
    Child probe;
    const time_t start = std::time(nullptr);
    ASSERT_TRUE(probe.Start(
        {SorbanePath(), "probe", "--raw", dir.File("descriptor"), "--dabstone", DabstonePath()}, dir.path));
    ASSERT_TRUE(probe.Wait());
    ASSERT_EQ(probe.ExitCode(), 0) << probe.Err();

    // The descriptor came whole over the kernel's FIFO (its layout is the
    // start-up code's own test); the report reads it.
    std::string d = ReadFile(dir.File("descriptor"));
    ASSERT_EQ(d.size(), 32568u);
    EXPECT_EQ(std::string(d.c_str()), "DabStone");
    std::string out = probe.Out();
    EXPECT_NE(out.find("name: \"DabStone\""), std::string::npos) << out;
    EXPECT_NE(out.find("words: 220 2 2 0 0 0 1"), std::string::npos) << out;
    EXPECT_NE(out.find("DabStone, 07/1995"), std::string::npos) << out;
    // Neither the probing kernel nor dabstone leaves a FIFO behind.
    EXPECT_EQ(FifosOf(probe.pid, start), 0);
}

TEST(Probe, MissingProgramIsReportedNotHung)
{
    TempDir dir;
    Child probe;
    const time_t start = std::time(nullptr);
    ASSERT_TRUE(probe.Start({SorbanePath(), "probe", "--dabstone", dir.File("no-such-program")}, dir.path));
    ASSERT_TRUE(probe.Wait());
    EXPECT_NE(probe.ExitCode(), 0);
    EXPECT_NE(probe.Err().find("sorbane: "), std::string::npos);
    EXPECT_EQ(FifosOf(probe.pid, start), 0);
}
