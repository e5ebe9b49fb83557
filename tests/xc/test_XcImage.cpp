// X images on the test script's server (screen 0 TrueColor, screen 1 PseudoColor), shared and ordinary.
#include <gtest/gtest.h>

#include "TestDisplay.h"
#include "xc/XcImage.h"

#include <sys/shm.h>

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

INSTANTIATE_TEST_SUITE_P(ScreensAndMemories, XcImageTest,
                         ::testing::Values(std::pair(0, 1), std::pair(0, 0), std::pair(1, 1),
                                           std::pair(1, 0)));
