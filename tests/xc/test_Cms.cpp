// Colour contexts against references from the rules. gtest before Xlib, whose None and Bool break it.
#include <gtest/gtest.h>

#include "xc/Cms.h"

#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <deque>
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

// The screen file for n, or its table alone: entry [v][t] at v * 256 + t.
std::string Good(int n, bool header = true)
{
    std::string s = header ? std::string("ORVALDI_TRAME-V1", 17) : "";
    for (int v = 0, k = 0; v < 256; ++v, k = v * (n - 1) / 255)
        for (int t = 0; t < 256; ++t)
            s += static_cast<char>(v - k * 255 / (n - 1) > t ? k + 1 : k);
    return s;
}

void ExpectTable(int n) // the table and the file on disk, both exact
{
    uint8_t table[65536];
    ASSERT_EQ(XcCmsTable(n, table), 0);
    EXPECT_TRUE(std::string(table, table + 65536) == Good(n, false)) << "table " << n;
    std::ifstream in(File(n), std::ios::binary);
    EXPECT_TRUE(std::string(std::istreambuf_iterator<char>(in), {}) == Good(n)) << "file " << n;
}

// Threshold (i, j) of the w x h dither matrix for n levels: its base, or the matrix of half the size
// doubled into the quadrants 4M, 4M + 2 / 4M + 3, 4M + 1.
int Threshold(int n, int i, int j, int w, int h)
{
    static const std::vector<int> k2 = {0, 2, 3, 1}, k3 = {6, 8, 4, 1, 0, 3, 5, 2, 7},
                                  k4 = {15, 0, 18, 2, 10, 8, 12, 4, 14, 6, 16, 3, 11, 1, 17, 9, 3, 7, 19, 5},
                                  k6 = {0, 6, 2, 8, 10, 4, 11, 5, 3, 9, 1, 7},
                                  *kBase[7] = {0, 0, &k2, &k3, &k4, &k2, &k6};
    if (w * h == static_cast<int>(kBase[n]->size()))
        return (*kBase[n])[i * w + j];
    const int quadrant[2][2] = {{0, 2}, {3, 1}};
    return 4 * Threshold(n, i % (h / 2), j % (w / 2), w / 2, h / 2) + quadrant[i >= h / 2][j >= w / 2];
}

// Sides red, green, blue. Cube-map positions hold intensities `step` levels of n apart, ascending; the
// tables and matrices are the reference; each row block holds its row a screen width from x, then the next.
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
        EXPECT_TRUE(std::string(cms->quant[ch], cms->quant[ch] + 65536) == Good(sides[ch], false)) << ch;
        const int side = sides[ch], kWidth[7] = {0, 0, 16, 12, 10, 8, 8},
                  kHeight[7] = {0, 0, 16, 12, 8, 8, 6};
        int x = 20, y = cms->dither[ch].height, w = cms->dither[ch].width, h = y;
        ASSERT_EQ(std::pair(w, h), std::pair(kWidth[side], kHeight[side]));
        int32_t *block = XcCmsGetDither(cms, ch, &x, &y), *first = block;
        ASSERT_EQ(std::pair(x, y), std::pair(20 % w, 0));
        for (int i = 0; i < h; ++i, block += block[0])
            for (int j = 0; j < WidthOfScreen(cms->visual->screen); ++j)
                ASSERT_EQ(block[1 + x + j], Threshold(side, i, (x + j) % w, w, h)) << side;
        EXPECT_EQ(block, first);
    }
}

// The test script's X server: screen 0 is 24-bit TrueColor, screen 1 8-bit
// PseudoColor.
class Cms : public ::testing::Test
{
  protected:
    static inline Display *dpy;
    static void SetUpTestSuite() { dpy = XOpenDisplay(nullptr); }
    void SetUp() override
    {
        XVisualInfo info;
        if (!dpy || ScreenCount(dpy) < 2 || !XMatchVisualInfo(dpy, 1, 8, PseudoColor, &info))
            GTEST_SKIP() << "needs an X display whose screen 1 is 8-bit PseudoColor (scripts/xvfb.sh)";
    }
    void TearDown() override { XcCmsCloseAll(); }

    // A record with a colormap of its own; PseudoColor on screen 1, TrueColor on 0.
    // Kept by the fixture: a context points at its record until the
    // TearDown closes them all.
    XcVisual &Visual(int level, int screen = 1)
    {
        XVisualInfo info{};
        XMatchVisualInfo(dpy, screen, screen ? 8 : 24, screen ? PseudoColor : TrueColor, &info);
        Colormap cm = XCreateColormap(dpy, RootWindow(dpy, screen), info.visual, AllocNone);
        return visuals.emplace_back(XcVisual{dpy, ScreenOfDisplay(dpy, screen), screen, cm, info.depth,
                                             info.c_class, info.visual, level, 0});
    }
    void Take(Colormap cm, int n) { EXPECT_TRUE(XAllocColorCells(dpy, cm, True, nullptr, 0, cells, n)) << n; }
    unsigned long cells[256];
    std::deque<XcVisual> visuals;
};

} // namespace

TEST(CmsScreenFile, BytesForEachCountAndDamagedOrStrangeFilesRewritten)
{
    mkdir(File(2).c_str(), 0777);
    mkfifo(File(3).c_str(), 0666); // opening it for reading must not hang
    uint8_t table[65536];
    ASSERT_EQ(XcCmsTable(2, table), 0);
    EXPECT_TRUE(std::string(table, table + 65536) == Good(2, false));
    rmdir(File(2).c_str());
    for (int n = 2; n <= 6; ++n) {
        ExpectTable(n); // computed and written
        ExpectTable(n); // read back
    }
    std::string wrongMagic = Good(4);
    wrongMagic[15] = '2';
    for (const std::string &bytes : {wrongMagic, Good(4).substr(0, 65552), Good(4) + "x"}) {
        std::ofstream(File(4), std::ios::binary) << bytes;
        ExpectTable(4);
    }
}

TEST(CmsScreenFile, TwoProcessesStartingTogetherBothEndWithAGoodFile)
{
    const pid_t kid = fork();
    int ok = 1, status = -1;
    for (int i = 0; i < 40 && ok; ++i) {
        uint8_t table[65536];
        unlink(File(6).c_str());
        ok = XcCmsTable(6, table) == 0 && std::string(table, table + 65536) == Good(6, false);
    }
    if (kid == 0)
        _exit(ok ? 0 : 1);
    EXPECT_TRUE(ok && waitpid(kid, &status, 0) == kid && status == 0);
    ExpectTable(6);
    EXPECT_NE(system(("ls " + kDir + " | grep -q tmp").c_str()), 0) << "a temporary file left";
}

TEST_F(Cms, ColourLevelsGiveTheCubeTablesAndMatrices)
{
    const int cases[][4] = {{5, 2, 2, 2}, {4, 3, 3, 3}, {3, 4, 4, 4},  {2, 5, 5, 5},
                            {1, 5, 6, 5}, {0, 6, 6, 5}, {-5, 6, 6, 6}, {7, 6, 6, 6}};
    for (const auto &c : cases) {
        XcVisual &v = Visual(c[0]);
        XcCms *cms = XcCmsOpen(&v);
        ASSERT_TRUE(cms) << c[0];
        ExpectCube(cms, {c[1], c[2], c[3]});
        XcCmsClose(cms); // before its visual record goes
    }
}

TEST_F(Cms, ShortColormapsStopTheCubeOrFailTheOpenWithNothingLeft)
{
    XcVisual &thirty = Visual(2), &full = Visual(2), &one = Visual(2);
    Take(thirty.colormap, 226);
    XcCms *cms = XcCmsOpen(&thirty);
    ASSERT_TRUE(cms);
    ExpectCube(cms, {3, 3, 3}, 5, 2);                        // levels 0, 127 and 255 of five
    EXPECT_EQ(cms->dither[0].blocks, cms->dither[2].blocks); // one matrix for the three
    Take(full.colormap, 256);
    testing::internal::CaptureStderr();
    EXPECT_EQ(XcCmsOpen(&full), nullptr);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "XcCms: error: can't allocate enough colors\n");
    Take(one.colormap, 255); // black fits, the first slab does not
    EXPECT_EQ(XcCmsOpen(&one), nullptr);
    Take(one.colormap, 1); // black was given back
}

TEST_F(Cms, ContextsAreSharedPerColormapAndCounted)
{
    XcVisual &a = Visual(5), &b = Visual(5), again = a;
    XcCms *cms = XcCmsOpen(&a);
    ASSERT_TRUE(cms);
    EXPECT_EQ(XcCmsOpen(&again), cms);
    EXPECT_NE(XcCmsOpen(&b), cms);
    XcCmsClose(cms);
    EXPECT_FALSE(XAllocColorCells(dpy, a.colormap, True, nullptr, 0, cells, 256)) << "cells kept while open";
    XcCmsCloseAll();
    Take(a.colormap, 256); // every cell given back
}

// Xvfb stores pixels LSBFirst, as this machine does: a native word is the
// server's pixel, and each shift is its mask's own.
TEST_F(Cms, TrueColorByteLayoutFollowsTheMasksAndTheByteOrder)
{
    XcVisual &v = Visual(2, 0);
    XcCms *cms = XcCmsOpen(&v);
    ASSERT_TRUE(cms && v.visual->red_mask == 0xff0000u && ImageByteOrder(dpy) == LSBFirst);
    EXPECT_EQ((std::vector<int>{cms->allocated, cms->sides[0], cms->sides[1], cms->sides[2],
                                cms->cubeStart[0], cms->cubeStart[2], cms->levels[2]}),
              (std::vector<int>{0, 2, 0, 1, 16, 0, 0xff}));
    EXPECT_EQ(XcCmsGetColor(cms, 5) + XcCmsGetColor(cms, 16), 130u << 16);
    EXPECT_EQ(XcCmsGetColor(cms, 15), 0xffffffu);
}
