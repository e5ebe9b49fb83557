// Smoke tests of sorbane's image tools, run as a program: each tool once
// on good input, and refusals of bad usage and damaged input that leave no
// output behind.
#include "tests/e2e/E2e.h"

#include "core/Bytes.h"
#include "core/Image.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <dirent.h>
#include <set>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>

namespace
{

struct Result {
    int status;
    std::string out, err;
};

using e2e::ReadFile;

class SorbaneTools : public ::testing::Test
{
  protected:
    void SetUp() override { ASSERT_EQ(mkdir(work.c_str(), 0777), 0); }

    Result Run(const std::string &args)
    {
        std::string cmd = e2e::SorbanePath() + " " + args + " >'" + dir + "/out' 2>'" + dir + "/err'";
        int status = system(cmd.c_str());
        return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, ReadFile(dir + "/out"), ReadFile(dir + "/err")};
    }

    std::string Path(const std::string &name) const { return work + "/" + name; }

    std::set<std::string> Listing() const
    {
        std::set<std::string> names;
        DIR *d = opendir(work.c_str());
        while (dirent *e = readdir(d))
            if (e->d_name[0] != '.')
                names.insert(e->d_name);
        closedir(d);
        return names;
    }

    // A refusal: non-zero status, exactly one line naming the file, and the
    // work directory unchanged (no output, no temporary file).
    void ExpectRefused(const std::string &args, const std::string &named, const std::string &text)
    {
        std::set<std::string> before = Listing();
        Result r = Run(args);
        EXPECT_NE(r.status, 0) << args;
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
        EXPECT_NE(r.err.find(named), std::string::npos) << r.err;
        EXPECT_NE(r.err.find(text), std::string::npos) << r.err;
        EXPECT_EQ(Listing(), before) << args;
    }

    e2e::TempDir temp;
    std::string dir = temp.path, work = dir + "/work";
};

// A test pattern exported to PNG and imported again comes back plane for
// plane, 16-bit colour and the alpha plane included.
TEST_F(SorbaneTools, ExportThenImportGivesThePlanesBack)
{
    for (const char *layout : {"--mode grey", "--mode grey --bits 16 --alpha", "--alpha", "--bits 16"}) {
        SCOPED_TRACE(layout);
        Result r = Run(std::string("new --pattern --size 37x23 ") + layout + " " + Path("a.img"));
        ASSERT_EQ(r.status, 0) << r.err;
        r = Run("export " + Path("a.img") + " " + Path("a.png"));
        ASSERT_EQ(r.status, 0) << r.err;
        std::string png = ReadFile(Path("a.png"));
        ASSERT_GT(png.size(), 33u);
        EXPECT_EQ(png.substr(0, 8), std::string("\x89PNG\r\n\x1a\n", 8));
        EXPECT_EQ(Bytes_GetS32(png.data() + 16) * 100 + Bytes_GetS32(png.data() + 20), 3723);
        r = Run("import " + Path("a.png") + " " + Path("b.img"));
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(e2e::Planes(Path("b.img")), e2e::Planes(Path("a.img")));
        EXPECT_EQ(Listing(), (std::set<std::string>{"a.img", "a.png", "b.img"}));
    }
}

TEST_F(SorbaneTools, NewMakesABlankImageThatInfoDescribes)
{
    Result r = Run("new --alpha --extra 2 --size 89x89 " + Path("rgb.img"));
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(e2e::Sample(Path("rgb.img"), 1, 88, 88), 255u) << "blank is white";
    r = Run("info " + Path("rgb.img"));
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("89 x 89"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("RGB (2), 6 planes: 3 colour, 1 alpha, 2 extra"), std::string::npos) << r.out;
    for (const char *line : {"0      4096        8     8      89         3  red       Red",
                             "5      45056       8     8      89         18 extra     Extra"})
        EXPECT_NE(r.out.find(line), std::string::npos) << line << "\n" << r.out;
}

TEST_F(SorbaneTools, BadUsageIsRefusedWithStatusTwo)
{
    for (const char *args : {"", "frobnicate", "import only-one", "new --size 0x4 x.img"})
        EXPECT_EQ(Run(args).status, 2) << args;
    EXPECT_NE(Run("--help").out.find("sorbane import"), std::string::npos);
    EXPECT_TRUE(Listing().empty());
}

// Damaged input is refused by `import`, `export` and `info`, each time with
// one line naming the file, and leaves no output behind.
TEST_F(SorbaneTools, DamagedInputIsRefusedAndLeavesNoOutput)
{
    ASSERT_EQ(Run("new --pattern --alpha --size 50x50 " + dir + "/good.img").status, 0);
    ASSERT_EQ(Run("export " + dir + "/good.img " + dir + "/good.png").status, 0);
    std::string png = ReadFile(dir + "/good.png"), img = ReadFile(dir + "/good.img");
    std::string flipped = png, badMagic = img, bigPlane = img;
    flipped[png.size() / 2] = char(flipped[png.size() / 2] ^ 0x55); // inside IDAT: checksum fails
    badMagic[IMAGE_MAGIC_AT] = 0;
    Bytes_SetField(bigPlane.data() + IMAGE_PLANE_RECORDS + IMAGE_PLANE_RECORD_SIZE * 2, IMAGE_PLANE_OFFSET,
                   1 << 30);
    const std::string notPng = "not a PNG file : Unknown file format", cut = "Cannot read the file",
                      size = "Bad size of file";
    struct Case {
        const char *tool, *name;
        std::string bytes, text;
    } cases[] = {
        {"import", "text.png", "hello, not a picture\n", notPng},
        {"import", "half.png", png.substr(0, png.size() / 2), cut},
        {"import", "bad.png", flipped, cut},
        {"export", "short.img", img.substr(0, img.size() - 4096), size},
        {"export", "magic.img", badMagic, "Unknown file format"},
        {"export", "plane.img", bigPlane, size},
        {"info", "short.img", img.substr(0, img.size() - 4096), size},
    };
    for (const Case &c : cases) {
        e2e::WriteFile(dir + "/" + c.name, c.bytes);
        std::string out =
            c.tool == std::string("info") ? "" : Path(c.tool == std::string("import") ? "o.img" : "o.png");
        ExpectRefused(std::string(c.tool) + " " + dir + "/" + c.name + " " + out, c.name, c.text);
    }
    ExpectRefused("import " + dir + "/missing.png " + Path("o.img"), "missing.png", "No such file");
    ExpectRefused("export " + dir + "/good.img " + dir + "/no/such/dir/o.png", "o.png", "No such file");
    // Nor is an existing output replaced by a failed import.
    e2e::WriteFile(Path("keep.img"), "old");
    ExpectRefused("import " + dir + "/text.png " + Path("keep.img"), "text.png", notPng);
    EXPECT_EQ(ReadFile(Path("keep.img")), "old");
}

} // namespace
