// X images on the test script's server (screen 0 TrueColor, screen 1 PseudoColor), shared and ordinary.
#include <gtest/gtest.h>

#include "TestDisplay.h"
#include "xc/XcImage.h"

#include <sys/shm.h>

#include <random>

namespace
{
shmid_ds ds;

// Parameters: screen, shared memory wanted. Test pixels are Pat's, a byte's worth that both widths hold.
class XcImageTest : public ::testing::TestWithParam<std::pair<int, int>>
{
  protected:
    static inline Display *dpy = TestDisplay();
    void SetUp() override
    {
        if (!TestVisual(GetParam().first, &visual))
            GTEST_SKIP() << "needs scripts/xvfb.sh's X display";
        XcImage_ReinitCounter();
    }
    void TearDown() override { XcCmsCloseAll(); }
    XcImage *Make(int w, int h) { return XcImage_Create(&visual, nullptr, w, h, &(shm = GetParam().second)); }
    static bool SegmentGone(int id) { return shmctl(id, IPC_STAT, &ds) < 0; }
    static uint32_t Pat(int x, int y) { return (x * 7 + y * 13) & 255; }
    int Bpp() const { return visual.depth == 8 ? 1 : 4; }
    char *At(XcImage *i, int x, int y) { return i->image->data + y * i->image->bytes_per_line + x * Bpp(); }
    uint32_t Px(XcImage *i, int x, int y) { return XGetPixel(i->image, x, y); }
    void Fill(XcImage *xi)
    {
        for (int y = 0; y < xi->image->height; ++y)
            for (int x = 0; x < xi->image->width; ++x)
                std::memcpy(At(xi, x, y), &(v = Pat(x, y)), Bpp());
    }
    uint32_t v;
    XcVisual visual;
    int shm;
};
} // namespace

TEST_P(XcImageTest, PixelsReachTheServerResizeKeepsThemAndNoSegmentOutlivesAnImage)
{
    XcImage *xi;
    ASSERT_TRUE((xi = Make(37, 23)) && shm == GetParam().second) << "Xvfb offers MIT-SHM";
    Fill(xi);
    std::memset(xi->image->data + xi->image->bytes_per_line * 23, 0xAB, 4); // the spare bytes are ours
    int id = xi->segment.shmid;
    EXPECT_TRUE(!shm || (!SegmentGone(id) && (ds.shm_perm.mode & SHM_DEST))) << "marked for removal";
    Pixmap pm = XCreatePixmap(dpy, visual.root, 37, 23, visual.depth);
    GC gc = DefaultGC(dpy, visual.screenNumber); // the visuals are the roots'
    shm ? XShmPutImage(dpy, pm, gc, xi->image, 0, 0, 0, 0, 37, 23, False)
        : XPutImage(dpy, pm, gc, xi->image, 0, 0, 0, 0, 37, 23);
    XImage *got = XGetImage(dpy, pm, 0, 0, 37, 23, AllPlanes, ZPixmap);
    for (int y = 0; y < 23; ++y)
        for (int x = 0; x < 37; ++x)
            ASSERT_EQ(XGetPixel(got, x, y), Pat(x, y)) << x << "," << y;
    XDestroyImage(got), XFreePixmap(dpy, pm);
    Box area = Box_Rect(0, 0, 37, 23); // narrower and taller: the left 20 columns stay
    ASSERT_TRUE(XcImage_CopyAndSetDims(xi, 20, 30, 1, &area, &shm) == xi && shm == GetParam().second);
    EXPECT_TRUE(area.x1 == 0 && area.y1 == 0 && area.x2 == 19 && area.y2 == 22 && (!shm || SegmentGone(id)));
    for (int y = 0; y < 23; ++y)
        for (int x = 0; x < 20; ++x)
            ASSERT_EQ(Px(xi, x, y), Pat(x, y));
    id = xi->segment.shmid;
    ASSERT_EQ(XcImage_SetDims(xi, 5, 6, &shm), xi); // the old segment goes at once, the new image is ordinary
    EXPECT_TRUE(!shm && (!GetParam().second || SegmentGone(id)) && xi->image->width == 5);
    XcImage_Destroy(xi);
}

TEST_P(XcImageTest, ZeroSizeWaitsAndBadSizesAreRefused)
{
    XcImage *xi = XcImage_Create(&visual, nullptr, 0, 80, &shm);
    ASSERT_TRUE(xi && !xi->image && !shm && XcImage_SetDims(xi, 3, 80, &shm) == xi && xi->image);
    EXPECT_EQ(XcImage_CopyAndSetDims(xi, -3, 4, 1, nullptr, &shm), nullptr);
    EXPECT_TRUE(!XcImage_SetDims(Make(5, 5), 4, -4, &shm) && !XcImage_Create(&visual, nullptr, -1, 5, &shm) &&
                !XcImage_Create(&visual, nullptr, 5, 70000, &shm));
    visual.depth = 16; // not a depth the library draws in
    EXPECT_EQ(XcImage_Create(&visual, nullptr, 5, 5, &shm), nullptr);
}

TEST_P(XcImageTest, MoveAreaOverlappingEveryWay)
{
    XcImage *xi;
    ASSERT_TRUE((xi = Make(40, 30)));
    const int moves[][5] = {
        {2, 3, 5, 9, 20}, {5, 9, 2, 3, 20}, {4, 7, 1, 7, 20}, {1, 7, 6, 7, 20}, {30, 0, 0, 0, 11}};
    for (auto &m : moves) { // down, up, left, right, and one reaching past the right edge: refused
        Fill(xi);
        XcImage_MoveArea(xi, m[0], m[1], m[2], m[3], m[4], 15);
        for (int y = 0; y < 30; ++y)
            for (int x = 0; x < 40; ++x) {
                const bool in = m[4] == 20 && x >= m[2] && x < m[2] + 20 && y >= m[3] && y < m[3] + 15;
                ASSERT_EQ(Px(xi, x, y), in ? Pat(x - m[2] + m[0], y - m[3] + m[1]) : Pat(x, y)) << x;
            }
    }
    XcImage_Destroy(xi);
}

TEST_P(XcImageTest, DashedInvertedAndClippedOutlines)
{
    XcImage *xi;
    ASSERT_TRUE((xi = Make(20, 12)));
    std::memset(xi->image->data, 0, xi->image->bytes_per_line * 12);
    const uint32_t bits = Bpp() == 1 ? 255 : 0xFFFFFF; // as Xlib reads pixels back
    const uint32_t w = XcCmsGetColor(xi->cms, 15) & bits, b = XcCmsGetColor(xi->cms, 0) & bits;
    Box rect = Box_Rect(2, 2, 10, 6);
    XcImage_DrawRect(xi, &rect, nullptr, 0, -1);
    for (int x = 2; x < 11; ++x) // (11, 2) is the right side's last
        EXPECT_EQ(Px(xi, x, 2), (x - 2) % 8 < 4 ? w : b) << x;
    // The left side goes on from the top's count of 10; the bottom, given right to left, starts at (2, 7).
    EXPECT_TRUE(Px(xi, 2, 3) == w && Px(xi, 2, 4) == b && Px(xi, 4, 7) == w);
    XcImage_ReinitCounter();
    Box clip = Box_Rect(0, 0, 3, 3); // (3, 2) and (4, 2) are clipped away but still counted
    XcImage_DrawLine(xi, 0, 0, 4, 2, &clip, 1, 0);
    // The dash goes on at 5: a line in white and black shows three black, then white.
    XcImage_DrawLine(xi, 0, 10, 3, 10, nullptr, 0, -1);
    EXPECT_TRUE(Px(xi, 0, 10) == b && Px(xi, 2, 10) == b && Px(xi, 3, 10) == w);
    // A run reaching the ends of the range counts what lies outside (10^9 + 3 pixels: phase 3 at x = 0).
    XcImage_ReinitCounter();
    XcImage_DrawSLine(xi, -1000000003, 11, INT32_MAX, 11, 0, -1);
    EXPECT_TRUE(Px(xi, 0, 11) == w && Px(xi, 1, 11) == b);
    EXPECT_TRUE(Px(xi, 0, 0) == bits && Px(xi, 1, 1) == bits && Px(xi, 2, 1) == bits && Px(xi, 3, 2) == w);
    XcImage_Destroy(xi);
}

TEST_P(XcImageTest, EachPlacementMovesTheKeptAreaWhenGrowingAndShrinking)
{
    // Placement, new size, expected shift of 37 x 23's content; 2 is taken as 1.
    const int cases[][5] = {{1, 50, 30, 0, 0},    {3, 50, 30, 13, 0},  {5, 50, 30, 6, 3},
                            {7, 50, 30, 13, 7},   {9, 50, 30, 0, 7},   {2, 50, 30, 0, 0},
                            {1, 20, 16, 0, 0},    {3, 20, 16, -17, 0}, {5, 20, 16, -8, -3},
                            {7, 20, 16, -17, -7}, {9, 20, 16, 0, -7},  {2, 20, 16, 0, 0}};
    for (auto [placement, w, h, dx, dy] : cases) {
        XcImage *xi = Make(37, 23);
        Box area = Box_Rect(5, 4, 30, 15), want = Box_Rect(5 + dx, 4 + dy, 30, 15),
            whole = Box_Rect(0, 0, w, h);
        ASSERT_TRUE(xi && (Fill(xi), XcImage_CopyAndSetDims(xi, w, h, placement, &area, &shm) == xi));
        ASSERT_TRUE(Box_SelfClip(&want, &whole) && !std::memcmp(&area, &want, sizeof(Box)))
            << placement << " " << w;
        for (int y = want.y1; y <= want.y2; ++y)
            for (int x = want.x1; x <= want.x2; ++x)
                ASSERT_EQ(Px(xi, x, y), Pat(x - dx, y - dy)) << placement << " " << w;
        XcImage_Destroy(xi);
    }
}

TEST_P(XcImageTest, EllipsesAreSymmetricClosedOutlinesEachPixelVisitedOnce)
{
    XcImage *xi;
    ASSERT_TRUE((xi = Make(64, 48)));
    const size_t size = xi->image->bytes_per_line * 48;
    const uint32_t bits = Bpp() == 1 ? 255 : 0xFFFFFF;
    const Box nowhere = Box_Rect(-9, -9, 1, 1);
    std::mt19937 rng(7);
    for (int t = 0; t < 300; ++t) { // inverted on black: a pixel visited twice would be black again
        std::memset(xi->image->data, 0, size);
        const int x1 = 1 + rng() % 62, x2 = 1 + rng() % 62, y1 = 1 + rng() % 38, y2 = 1 + rng() % 38;
        SCOPED_TRACE(testing::Message() << x1 << "," << y1 << " " << x2 << "," << y2);
        XcImage_DrawEllipse(xi, x1, y1, x2, y2, nullptr, 1, 0);
        int n = 0, lone = 0, left = 64, top = 48; // mirrored both ways, the right and bottom sides follow
        for (int y = 0; y < 48; ++y)
            for (int x = 0; x < 64; ++x)
                if (Px(xi, x, y) && ++n) { // 8-connected loop: two neighbours or more (none off the image)
                    ASSERT_TRUE(Px(xi, x1 + x2 - x, y) && Px(xi, x, y1 + y2 - y));
                    int near = -1;
                    for (int k = 0; k < 9; ++k)
                        near += Px(xi, x + k % 3 - 1, y + k / 3 - 1) != 0;
                    lone += near < 2, left = std::min(left, x), top = std::min(top, y);
                }
        EXPECT_TRUE(left == std::min(x1, x2) && top == std::min(y1, y2) && (x1 == x2 || y1 == y2 || !lone));
        XcImage_DrawEllipse(xi, x1, y1, x2, y2, nullptr, 1, 0); // restores
        XcImage_ReinitCounter();
        XcImage_DrawEllipse(xi, x1, y1, x2, y2, &nowhere, 1, 0); // counted, not drawn
        ASSERT_EQ(std::string(xi->image->data, size), std::string(size, '\0'));
        XcImage_DrawSLine(xi, 0, 47, 7, 47, 0, -1); // at phase n: white from 8 - n % 8, black before it
        ASSERT_TRUE(Px(xi, (8 - n % 8) % 8, 47) == (XcCmsGetColor(xi->cms, 15) & bits) &&
                    Px(xi, (15 - n % 8) % 8, 47) == (XcCmsGetColor(xi->cms, 0) & bits))
            << n;
    }
    XcImage_Destroy(xi);
}

INSTANTIATE_TEST_SUITE_P(ScreensAndMemories, XcImageTest,
                         ::testing::Values(std::pair(0, 1), std::pair(0, 0), std::pair(1, 1),
                                           std::pair(1, 0)));
