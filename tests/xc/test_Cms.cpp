// Colour contexts against references written from the rules, on an Xvfb of
// our own. gtest comes before Xlib, whose None and Bool break it.
#include <gtest/gtest.h>

#include "xc/Cms.h"

#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <string>
#include <vector>

namespace
{

// One directory of screen files per test process, chosen before any fork.
const std::string kDir = [] {
    char tmpl[] = "/tmp/cmsXXXXXX";
    setenv("__TEV_TMP", mkdtemp(tmpl), 1);
    std::atexit([] { (void)!system(("rm -rf " + std::string(getenv("__TEV_TMP"))).c_str()); });
    return std::string(tmpl);
}();

std::string File(int n)
{
    return kDir + "/trame." + std::to_string(n);
}

// The table for n, entry [v][t] at v * 256 + t, after the file's header.
std::string Good(int n, bool header = true)
{
    std::string s = header ? std::string("ORVALDI_TRAME-V1", 17) : "";
    for (int v = 0, k = 0; v < 256; ++v, k = v * (n - 1) / 255)
        for (int t = 0; t < 256; ++t)
            s += static_cast<char>(v - k * 255 / (n - 1) > t ? k + 1 : k);
    return s;
}

// The table for n is the reference and the file on disk holds it exactly.
void ExpectTable(int n)
{
    uint8_t table[65536];
    ASSERT_EQ(XcCmsTable(n, table), 0);
    EXPECT_EQ(std::string(table, table + 65536), Good(n, false)) << n;
    std::ifstream in(File(n), std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), Good(n)) << n;
}

// Threshold (i, j) of the matrix for n: the base (at an offset in kBase),
// doubled d times into quadrants 4M, 4M + 2 / 4M + 3, 4M + 1.
int RefThreshold(int n, int i, int j)
{
    const int kBase[] = {0,  2, 3,  1, 6,  8, 4, 1, 0,  3, 5, 2, 7, 15, 0,  18, 2,  10, 8, 12, 4, 14, 6,
                         16, 3, 11, 1, 17, 9, 3, 7, 19, 5, 0, 6, 2, 8,  10, 4,  11, 5,  3, 9,  1, 7};
    const int kDims[7][4] = {{}, {}, {2, 2, 3, 0}, {3, 3, 2, 4}, {5, 4, 1, 13}, {2, 2, 2, 0}, {4, 3, 1, 33}};
    int w = kDims[n][0] << kDims[n][2], h = kDims[n][1] << kDims[n][2], add = 0, scale = 1;
    for (; w > kDims[n][0]; i %= h / 2, j %= w / 2, w /= 2, h /= 2, scale *= 4)
        add += scale * (i < h / 2 ? (j < w / 2 ? 0 : 2) : (j < w / 2 ? 3 : 1));
    return scale * kBase[kDims[n][3] + i * w + j] + add;
}

// Sides red, green, blue; the cube-map positions of a primary hold its
// intensities in ascending order, `step` levels of n apart (the first
// levels of a larger n interleave). The tables and the row blocks, walked a
// screen width from x = 20 as a kernel walks them, are the reference.
void ExpectCube(XcCms *cms, std::vector<int> sides, int n = 0, int step = 1)
{
    ASSERT_EQ((std::vector<int>{cms->sides[0], cms->sides[2], cms->sides[1], cms->allocated}),
              (std::vector<int>{sides[0], sides[1], sides[2], sides[0] * sides[1] * sides[2]}));
    for (int ch = 0; ch < 3; ++ch) {
        for (int cell = 0; cell < cms->allocated; ++cell) {
            const int p[3] = {cell / sides[2] / sides[1], cell / sides[2] % sides[1], cell % sides[2]};
            EXPECT_EQ(cms->component[ch][cms->cubeMap[p[0]][p[1]][p[2]]],
                      p[ch] * step * 255 / ((n ? n : sides[ch]) - 1));
        }
        EXPECT_EQ(std::string(cms->quant[ch], cms->quant[ch] + 65536), Good(sides[ch], false));
        int x = 20, y = cms->dither[ch].height, w = cms->dither[ch].width;
        int32_t *block = XcCmsGetDither(cms, ch, &x, &y), *first = block;
        ASSERT_EQ(std::pair(x, y), std::pair(20 % w, 0));
        for (int i = 0; i < cms->dither[ch].height; ++i, block += block[0])
            for (int j = 0; j < WidthOfScreen(cms->visual->screen); ++j)
                ASSERT_EQ(block[1 + x + j], RefThreshold(sides[ch], i, (x + j) % w));
        EXPECT_EQ(block, first);
    }
}

// Screen 0 is 8-bit PseudoColor, screen 1 24-bit TrueColor; the server
// picks a free display itself and tells it when ready.
class Cms : public ::testing::Test
{
  protected:
    static inline int pid = 0, number = -1;
    static inline Display *dpy;
    static void SetUpTestSuite()
    {
        FILE *out = popen("echo $$; exec Xvfb -displayfd 1 -nolisten tcp -screen 0 1280x1024x8 "
                          "-screen 1 1280x1024x24 2>/dev/null",
                          "r");
        if (fscanf(out, "%d %d", &pid, &number) == 2)
            dpy = XOpenDisplay((":" + std::to_string(number)).c_str());
    }
    static void TearDownTestSuite() { pid > 0 && kill(pid, SIGTERM); }
    void SetUp() override
    {
        if (system("command -v Xvfb >/dev/null") != 0)
            GTEST_SKIP() << "no Xvfb to run the 8 and 24-bit servers";
        ASSERT_TRUE(dpy) << "Xvfb did not start";
    }
    void TearDown() override { XcCmsCloseAll(); }

    // A record with a colormap of its own; PseudoColor on screen 0, TrueColor on 1.
    XcVisual Visual(int level, int screen = 0)
    {
        XVisualInfo info{};
        XMatchVisualInfo(dpy, screen, screen ? 24 : 8, screen ? TrueColor : PseudoColor, &info);
        Colormap cmap = XCreateColormap(dpy, RootWindow(dpy, screen), info.visual, AllocNone);
        return {dpy, ScreenOfDisplay(dpy, screen), screen, cmap, info.depth, info.c_class, info.visual, level,
                0};
    }
    void Take(const XcVisual &v, int cells)
    {
        std::vector<unsigned long> pixels(cells);
        EXPECT_TRUE(XAllocColorCells(dpy, v.colormap, True, nullptr, 0, pixels.data(), cells)) << cells;
    }
};

} // namespace

TEST(CmsScreenFile, BytesForEachCountAndDamagedOrStrangeFilesRewritten)
{
    for (int n = 2; n <= 6; ++n) {
        unlink(File(n).c_str());
        ExpectTable(n); // computed and written
        ExpectTable(n); // read back
    }
    uint8_t table[65536];
    EXPECT_EQ(XcCmsTable(1, table) + XcCmsTable(7, table), -2);
    std::string wrongMagic = Good(4);
    wrongMagic[15] = '2';
    for (const std::string &bytes : {wrongMagic, Good(4).substr(0, 65552), Good(4) + "x"}) {
        std::ofstream(File(4), std::ios::binary) << bytes;
        ExpectTable(4);
    }
    unlink(File(3).c_str());
    mkfifo(File(3).c_str(), 0666); // opening it for reading must not hang
    ExpectTable(3);
    unlink(File(2).c_str());
    mkdir(File(2).c_str(), 0777);
    ASSERT_EQ(XcCmsTable(2, table), 0);
    EXPECT_EQ(std::string(table, table + 65536), Good(2, false));
}

TEST(CmsScreenFile, TwoProcessesStartingTogetherBothEndWithAGoodFile)
{
    const pid_t kid = fork();
    bool ok = true;
    for (int i = 0; i < 40 && ok; ++i) {
        uint8_t table[65536];
        unlink(File(6).c_str());
        ok = XcCmsTable(6, table) == 0 && std::string(table, table + 65536) == Good(6, false);
    }
    if (kid == 0)
        _exit(ok ? 0 : 1);
    int status = -1;
    EXPECT_TRUE(ok && waitpid(kid, &status, 0) == kid && status == 0);
    ExpectTable(6);
    EXPECT_NE(system(("ls " + kDir + " | grep -q tmp").c_str()), 0) << "a temporary file left";
}

TEST_F(Cms, ColourLevelsGiveTheCubeTablesAndMatrices)
{
    const int cases[][4] = {{5, 2, 2, 2}, {4, 3, 3, 3}, {3, 4, 4, 4},  {2, 5, 5, 5},
                            {1, 5, 6, 5}, {0, 6, 6, 5}, {-5, 6, 6, 6}, {7, 6, 6, 6}};
    for (const auto &c : cases) {
        XcVisual v = Visual(c[0]);
        XcCms *cms = XcCmsOpen(&v);
        ASSERT_TRUE(cms) << c[0];
        ExpectCube(cms, {c[1], c[2], c[3]});
        XcCmsClose(cms); // before its visual record goes
    }
}

TEST_F(Cms, ShortColormapsStopTheCubeOrFailTheOpenWithNothingLeft)
{
    XcVisual thirty = Visual(2), full = Visual(2), one = Visual(2);
    Take(thirty, 226);
    XcCms *cms = XcCmsOpen(&thirty);
    ASSERT_TRUE(cms);
    ExpectCube(cms, {3, 3, 3}, 5, 2); // levels 0, 127 and 255 of five
    EXPECT_TRUE(cms->dither[0].blocks == cms->dither[1].blocks &&
                cms->dither[1].blocks == cms->dither[2].blocks);
    EXPECT_EQ(cms->component[1][XcCmsGetColor(cms, 1)], 127); // light grey
    Take(full, 256);
    testing::internal::CaptureStderr();
    EXPECT_EQ(XcCmsOpen(&full), nullptr);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "XcCms: error: can't allocate enough colors\n");
    Take(one, 255); // black fits, the first slab does not: no message
    testing::internal::CaptureStderr();
    EXPECT_EQ(XcCmsOpen(&one), nullptr);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    Take(one, 1); // black was given back
}

TEST_F(Cms, ContextsAreSharedPerColormapAndCounted)
{
    XcVisual a = Visual(5), again = a, b = Visual(5);
    XcCms *cms = XcCmsOpen(&a);
    ASSERT_TRUE(cms);
    EXPECT_EQ(XcCmsOpen(&again), cms);
    EXPECT_NE(XcCmsOpen(&b), cms);
    XcCmsClose(cms);
    EXPECT_EQ(cms->refCount, 1u);
    XcCmsCloseAll();
    Take(a, 256); // every cell given back
}

// On LSBFirst the bytes of a pixel are seen from the other end.
TEST_F(Cms, TrueColorByteLayoutFollowsTheMasksAndTheByteOrder)
{
    for (int swap : {1, 0}) {
        reinterpret_cast<_XPrivDisplay>(dpy)->byte_order = swap ? LSBFirst : MSBFirst;
        XcVisual v = Visual(2, 1);
        XcCms *cms = XcCmsOpen(&v);
        ASSERT_TRUE(cms && v.visual->red_mask == 0xff0000u);
        const int r = swap ? 1 : 2, g = swap ? 2 : 1, b = swap ? 3 : 0;
        EXPECT_EQ((std::vector<int>{cms->allocated, cms->sides[0], cms->sides[1], cms->sides[2],
                                    cms->cubeStart[0], cms->cubeStart[2], cms->levels[2]}),
                  (std::vector<int>{swap, r, b, g, 8 * r, 8 * b, static_cast<int>(255u << 8 * b)}));
        EXPECT_EQ(XcCmsGetColor(cms, 15) + XcCmsGetColor(cms, 16),
                  255u << 8 * r | 255u << 8 * g | 255u << 8 * b);
        XcCmsClose(cms);
    }
}
