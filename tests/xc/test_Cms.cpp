// Colour contexts against references written from the rules: screen files
// (bytes, damage, two writers at once), the cube grown on an 8-bit server of
// our own (levels, a short colormap, a full one, sharing, dither walks,
// exclusive-or cells) and the byte layout on a 24-bit one.
// gtest before Xlib, whose macros (None, Bool) break its headers.
#include <gtest/gtest.h>

#include "xc/Cms.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <set>
#include <string>
#include <vector>

namespace
{

const int kScut[7][6] = {
    {}, {}, {0, 255}, {0, 255, 127}, {0, 255, 170, 85}, {0, 255, 127, 63, 191}, {0, 255, 153, 102, 204, 51}};

int RefLevel(int n, int v, int t)
{
    const int k = v * (n - 1) / 255, r = v - k * 255 / (n - 1);
    return r > t ? k + 1 : k;
}

// Threshold (i, j) of the matrix for n: the base, doubled into quadrants
// 4M, 4M + 2 / 4M + 3, 4M + 1.
int RefThreshold(int n, int i, int j)
{
    struct B {
        int w, h, d;
        std::vector<int> m;
    };
    static const B kB[7] = {{},
                            {},
                            {2, 2, 3, {0, 2, 3, 1}},
                            {3, 3, 2, {6, 8, 4, 1, 0, 3, 5, 2, 7}},
                            {5, 4, 1, {15, 0, 18, 2, 10, 8, 12, 4, 14, 6, 16, 3, 11, 1, 17, 9, 3, 7, 19, 5}},
                            {2, 2, 2, {0, 2, 3, 1}},
                            {4, 3, 1, {0, 6, 2, 8, 10, 4, 11, 5, 3, 9, 1, 7}}};
    int w = kB[n].w << kB[n].d, h = kB[n].h << kB[n].d, add = 0, scale = 1;
    for (; w > kB[n].w; w /= 2, h /= 2, scale *= 4) {
        const int q[2][2] = {{0, 2}, {3, 1}};
        add += scale * q[i / (h / 2)][j / (w / 2)];
        i %= h / 2, j %= w / 2;
    }
    return scale * kB[n].m[i * w + j] + add;
}

// One directory of screen files per test process, set before the first use.
std::string Dir()
{
    static std::string dir = [] {
        char tmpl[] = "/tmp/cmsXXXXXX";
        setenv("__TEV_TMP", mkdtemp(tmpl), 1);
        std::atexit([] { (void)!system(("rm -rf " + std::string(getenv("__TEV_TMP"))).c_str()); });
        return std::string(tmpl);
    }();
    return dir;
}

std::string File(int n)
{
    return Dir() + "/trame." + std::to_string(n);
}

std::string Good(int n)
{
    std::string s("ORVALDI_TRAME-V1", 17);
    for (int v = 0; v < 256; ++v)
        for (int t = 0; t < 256; ++t)
            s += static_cast<char>(RefLevel(n, v, t));
    return s;
}

std::string Read(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// The table for n is the reference and the file on disk holds it exactly.
void ExpectTable(int n)
{
    std::vector<uint8_t> table(65536);
    ASSERT_EQ(XcCmsTable(n, table.data()), 0);
    EXPECT_EQ(std::string(table.begin(), table.end()), Good(n).substr(17)) << n;
    EXPECT_EQ(Read(File(n)), Good(n)) << n;
}

} // namespace

TEST(CmsScreenFile, BytesForEachLevelCountAndBadCounts)
{
    for (int n = 2; n <= 6; ++n) {
        unlink(File(n).c_str());
        ExpectTable(n); // computed and written
        ExpectTable(n); // read back
    }
    uint8_t table[65536];
    EXPECT_EQ(XcCmsTable(1, table), -1);
    EXPECT_EQ(XcCmsTable(7, table), -1);
}

TEST(CmsScreenFile, DamagedOrStrangeFilesAreNotTrusted)
{
    std::string wrongMagic = Good(4), wrongTable = Good(4);
    wrongMagic[15] = '2';
    std::fill(wrongTable.begin() + 17, wrongTable.end(), 9);
    for (const std::string &bytes : {wrongMagic, Good(4).substr(0, 65552), Good(4) + "x"}) {
        std::ofstream(File(4), std::ios::binary) << bytes;
        ExpectTable(4);
    }
    unlink(File(3).c_str());
    mkfifo(File(3).c_str(), 0666); // opening it for reading must not hang
    ExpectTable(3);
    unlink(File(2).c_str());
    mkdir(File(2).c_str(), 0777);
    uint8_t table[65536];
    ASSERT_EQ(XcCmsTable(2, table), 0);
    EXPECT_EQ(table[200 * 256 + 199], RefLevel(2, 200, 199));
    rmdir(File(2).c_str());
    std::ofstream(File(5), std::ios::binary) << wrongTable; // a sound header is believed
    ASSERT_EQ(XcCmsTable(5, table), 0);
    EXPECT_EQ(table[0], 9);
    unlink(File(5).c_str());
}

TEST(CmsScreenFile, TwoProcessesStartingTogetherBothEndWithAGoodFile)
{
    const std::string good = Good(6);
    int go[2];
    ASSERT_EQ(pipe(go), 0);
    pid_t kids[2];
    for (pid_t &kid : kids) {
        kid = fork();
        if (kid == 0) {
            char c;
            close(go[1]);
            bool ok = read(go[0], &c, 1) == 0;
            uint8_t table[65536];
            for (int i = 0; i < 40 && ok; ++i) {
                unlink(File(6).c_str());
                ok = XcCmsTable(6, table) == 0 && std::equal(table, table + 65536, good.begin() + 17);
            }
            _exit(ok ? 0 : 1);
        }
    }
    close(go[0]);
    close(go[1]); // both start now
    for (pid_t kid : kids) {
        int status = -1;
        waitpid(kid, &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    ExpectTable(6);
    EXPECT_EQ(system(("ls " + Dir() + " | grep -q tmp").c_str()) == 0, false) << "a temporary file left";
}

namespace
{

// An Xvfb of our own at the given depth; it picks a free display itself.
struct Server {
    pid_t pid = -1;
    Display *dpy = nullptr;
    explicit Server(const char *depth)
    {
        int fds[2];
        if (access("/usr/bin/Xvfb", X_OK) != 0 || pipe(fds) != 0)
            return;
        const std::string screen = std::string("1280x1024x") + depth, fd = std::to_string(fds[1]);
        if ((pid = fork()) == 0) {
            execl("/usr/bin/Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", screen.c_str(),
                  "-nolisten", "tcp", static_cast<char *>(nullptr));
            _exit(127);
        }
        close(fds[1]);
        char number[16] = ":";
        ssize_t got = read(fds[0], number + 1, sizeof number - 2);
        close(fds[0]);
        if (got > 0)
            dpy = XOpenDisplay(std::string(number, 1 + std::strspn(number + 1, "0123456789")).c_str());
    }
    ~Server()
    {
        if (dpy)
            XCloseDisplay(dpy);
        if (pid > 0 && kill(pid, SIGTERM) == 0)
            waitpid(pid, nullptr, 0);
    }
};

XcVisual MakeVisual(Display *dpy, int depth, int cls, int level, bool ownColormap)
{
    XVisualInfo info{};
    XMatchVisualInfo(dpy, DefaultScreen(dpy), depth, cls, &info);
    Window root = DefaultRootWindow(dpy);
    Colormap cmap =
        ownColormap ? XCreateColormap(dpy, root, info.visual, AllocNone) : DefaultColormap(dpy, 0);
    return {dpy, DefaultScreenOfDisplay(dpy), 0, cmap, depth, cls, info.visual, level, root};
}

// Takes n read-write cells of the colormap; all of them when n is 256.
std::vector<unsigned long> Take(const XcVisual &v, int n)
{
    std::vector<unsigned long> cells(n);
    EXPECT_TRUE(XAllocColorCells(v.display, v.colormap, True, nullptr, 0, cells.data(), n));
    return cells;
}

class Cms8 : public ::testing::Test
{
  protected:
    static inline Server *server;
    static void SetUpTestSuite() { server = new Server("8"); }
    static void TearDownTestSuite() { delete server; }
    void SetUp() override
    {
        Dir();
        if (access("/usr/bin/Xvfb", X_OK) != 0)
            GTEST_SKIP() << "no Xvfb to run an 8-bit PseudoColor server";
        ASSERT_TRUE(server->dpy) << "the 8-bit Xvfb did not start";
    }
    void TearDown() override { XcCmsCloseAll(); }
    XcVisual Visual(int level) { return MakeVisual(server->dpy, 8, PseudoColor, level, true); }
};

// Each primary's cube-map positions hold its levels in ascending intensity,
// those of the requested count; every cell is a distinct allocated pixel
// whose colour the server agrees with.
void ExpectCube(const XcCms *cms, const int want[3], const int requested[3])
{
    const int side[3] = {cms->sides[XcCmsSideRed], cms->sides[XcCmsSideGreen], cms->sides[XcCmsSideBlue]};
    ASSERT_EQ(std::vector<int>(side, side + 3), std::vector<int>(want, want + 3));
    ASSERT_EQ(cms->allocated, side[0] * side[1] * side[2]);
    std::set<uint32_t> seen;
    for (int p[3] = {0, 0, 0}; p[0] < side[0]; ++p[0])
        for (p[1] = 0; p[1] < side[1]; ++p[1])
            for (p[2] = 0; p[2] < side[2]; ++p[2]) {
                XColor c{};
                c.pixel = cms->cubeMap[p[0]][p[1]][p[2]];
                seen.insert(c.pixel);
                XQueryColor(cms->visual->display, cms->visual->colormap, &c);
                for (int ch = 0; ch < 3; ++ch) {
                    std::vector<int> levels(kScut[requested[ch]], kScut[requested[ch]] + side[ch]);
                    std::sort(levels.begin(), levels.end());
                    EXPECT_EQ(cms->component[ch][c.pixel], levels[p[ch]]);
                    EXPECT_EQ((&c.red)[ch] >> 8, levels[p[ch]]);
                }
            }
    EXPECT_EQ(seen, std::set<uint32_t>(cms->pixels, cms->pixels + cms->allocated));
}

// Every row block of every channel, walked one screen width from x as a
// kernel walks it, holds the reference thresholds and leads back to row 0.
void ExpectDither(XcCms *cms, int x)
{
    const int width = WidthOfScreen(cms->visual->screen);
    for (int ch = 0; ch < 3; ++ch) {
        const int n = cms->sides[ch == 0 ? XcCmsSideRed : ch == 1 ? XcCmsSideGreen : XcCmsSideBlue];
        int cx = x, cy = cms->dither[ch].height;
        int32_t *block = XcCmsGetDither(cms, ch, &cx, &cy), *first = block;
        ASSERT_EQ(cy, 0);
        for (int y = 0; y < cms->dither[ch].height; ++y, block += block[0])
            for (int j = 0; j < width; ++j)
                ASSERT_EQ(block[1 + cx + j], RefThreshold(n, y, (cx + j) % cms->dither[ch].width));
        EXPECT_EQ(block, first);
    }
}

} // namespace

TEST_F(Cms8, ColourLevelsGrowTheCubeTablesAndMatrices)
{
    const int cases[][4] = {{5, 2, 2, 2}, {4, 3, 3, 3}, {3, 4, 4, 4},  {2, 5, 5, 5},
                            {1, 5, 6, 5}, {0, 6, 6, 5}, {-5, 6, 6, 6}, {7, 6, 6, 6}};
    for (const auto &c : cases) {
        XcVisual v = Visual(c[0]);
        XcCms *cms = XcCmsOpen(&v);
        ASSERT_TRUE(cms) << c[0];
        ExpectCube(cms, c + 1, c + 1);
        ExpectDither(cms, 20);
        const uint32_t firstEight[8][3] = {{0, 0, 0},   {0, 255, 0},   {255, 0, 0},   {255, 255, 0},
                                           {0, 0, 255}, {0, 255, 255}, {255, 0, 255}, {255, 255, 255}};
        for (int k = 0; k < 8; ++k)
            for (int ch = 0; ch < 3; ++ch)
                EXPECT_EQ(cms->component[ch][cms->pixels[k]], firstEight[k][ch]) << c[0] << " cell " << k;
        for (int ch = 0; ch < 3; ++ch)
            for (int vt = 0; vt < 65536; vt += 7)
                ASSERT_EQ(cms->quant[ch][vt], RefLevel(c[1 + ch], vt / 256, vt % 256));
        XcCmsClose(cms);
    }
}

TEST_F(Cms8, ThirtyFreeCellsStopTheCubeAtThreeSidesSharingOneMatrix)
{
    XcVisual v = Visual(2);
    Take(v, 226);
    XcCms *cms = XcCmsOpen(&v);
    ASSERT_TRUE(cms);
    const int three[3] = {3, 3, 3}, five[3] = {5, 5, 5};
    ExpectCube(cms, three, five);
    EXPECT_TRUE(cms->dither[0].blocks == cms->dither[1].blocks &&
                cms->dither[1].blocks == cms->dither[2].blocks);
    EXPECT_EQ(cms->quant[2][100 * 256 + 99], RefLevel(3, 100, 99));
    EXPECT_EQ(XcCmsGetColor(cms, 1), cms->pixels[26]); // light grey: levels 3, 3, 3
    EXPECT_EQ(XcCmsGetColor(cms, 16), 0u);
    EXPECT_EQ(XcCmsGetColor(cms, -1), 0u);
}

TEST_F(Cms8, ARefusedCellFailsTheOpenAndLeavesNothingAllocated)
{
    XcVisual full = Visual(2), one = Visual(2);
    std::vector<unsigned long> cells = Take(full, 256);
    testing::internal::CaptureStderr();
    EXPECT_EQ(XcCmsOpen(&full), nullptr);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "XcCms: error: can't allocate enough colors\n");
    Take(one, 255); // black fits, the first slab does not
    testing::internal::CaptureStderr();
    EXPECT_EQ(XcCmsOpen(&one), nullptr);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    Take(one, 1); // the black cell was given back
    XFreeColors(full.display, full.colormap, cells.data(), 256, 0);
    XcVisual wrong = MakeVisual(server->dpy, 8, StaticColor, 2, false);
    EXPECT_EQ(XcCmsOpen(&wrong), nullptr);
}

TEST_F(Cms8, ContextsAreSharedPerColormapAndCounted)
{
    XcVisual a = Visual(5), again = a, b = Visual(5);
    XcCms *cms = XcCmsOpen(&a);
    ASSERT_TRUE(cms);
    EXPECT_EQ(XcCmsOpen(&again), cms);
    EXPECT_EQ(cms->refCount, 2u);
    XcCms *other = XcCmsOpen(&b);
    EXPECT_NE(other, cms);
    XcCmsClose(cms);
    EXPECT_EQ(cms->refCount, 1u);
    EXPECT_EQ(XcCmsOpen(&a), cms);
    XcCmsCloseAll();
    Take(a, 256); // every cell given back
    Take(b, 256);
}

TEST_F(Cms8, XorCellsHoldInverseColoursAndAddedPixelsAreKnown)
{
    XcVisual v = Visual(5);
    XcCms *cms = XcCmsOpen(&v);
    ASSERT_TRUE(cms);
    XcCmsXorBidouille(cms);
    for (int k = 0; k < cms->allocated; ++k) {
        XColor c{}, inverse{};
        c.pixel = cms->pixels[k];
        inverse.pixel = 255 - c.pixel;
        XQueryColor(v.display, v.colormap, &c);
        XQueryColor(v.display, v.colormap, &inverse);
        EXPECT_EQ(inverse.red + c.red, 65535);
        EXPECT_EQ(inverse.blue + c.blue, 65535);
    }
    unsigned long cell = Take(v, 1)[0];
    XColor c{cell, 0x1234, 0xab00, 0xffff, DoRed | DoGreen | DoBlue, 0};
    XStoreColor(v.display, v.colormap, &c);
    XcCmsAddPixel(cms, static_cast<uint32_t>(cell));
    EXPECT_EQ((std::vector<int>{cms->component[0][cell], cms->component[1][cell], cms->component[2][cell]}),
              (std::vector<int>{0x12, 0xab, 0xff}));
}

// On LSBFirst the bytes of a pixel are seen from the other end.
TEST(Cms24, ByteLayoutFollowsTheMasksAndTheByteOrder)
{
    Server server("24");
    if (access("/usr/bin/Xvfb", X_OK) != 0)
        GTEST_SKIP() << "no Xvfb to run a 24-bit server";
    ASSERT_TRUE(server.dpy) << "the 24-bit Xvfb did not start";
    for (int order : {LSBFirst, MSBFirst}) {
        reinterpret_cast<_XPrivDisplay>(server.dpy)->byte_order = order;
        XcVisual v = MakeVisual(server.dpy, 24, TrueColor, 2, false);
        ASSERT_EQ(v.visual->red_mask, 0xff0000u);
        XcCms *cms = XcCmsOpen(&v);
        ASSERT_TRUE(cms);
        const int swap = order == LSBFirst, red = swap ? 1 : 2, green = swap ? 2 : 1, blue = swap ? 3 : 0;
        EXPECT_EQ(cms->allocated, swap);
        EXPECT_EQ((std::vector<int>{cms->sides[0], cms->sides[1], cms->sides[2]}),
                  (std::vector<int>{red, blue, green}));
        EXPECT_EQ((std::vector<int>{cms->cubeStart[0], cms->cubeStart[1], cms->cubeStart[2]}),
                  (std::vector<int>{8 * red, 8 * green, 8 * blue}));
        EXPECT_EQ(static_cast<uint32_t>(cms->levels[0]), 255u << (8 * red));
        EXPECT_EQ(XcCmsGetColor(cms, 5), 130u << (8 * red));
        EXPECT_EQ(XcCmsGetColor(cms, 15), (255u << (8 * red)) | (255u << (8 * green)) | (255u << (8 * blue)));
        XcCmsClose(cms);
    }
}
