// The fast kernels against the fill object's own constant-colour kernels:
// random dabs (sizes, positions half outside, ops, planes, alpha, masks,
// bytes biased toward 0, 1, 254, 255) must leave exactly the same bytes.
#include "brush/Optimize.h"

#include "tests/xc/MemImage.h"
#include "xc/FillTev2Tev.h"
#include "xc/View.h"

#include <gtest/gtest.h>

#include <random>

namespace
{

Box Rect(int32_t x, int32_t y, int32_t w, int32_t h)
{
    return Box{x, y, x + w - 1, y + h - 1, w, h, 0};
}

struct Case {
    int mode;      // of the destination: 1 grey, 2 RGB
    bool dstAlpha; // the destination has an alpha plane
    int dstPlane;  // -1 or a plane index
    int op;
    int noDstAlpha;
    bool mask;
    int bw, bh; // brush size
    int x, y;   // dab corner
};

ColorValue Colour(std::mt19937 &rng, int mode)
{
    ColorValue c{};
    c.mode = mode;
    c.red = int(MemImage::Biased(rng, 8));
    c.green = int(MemImage::Biased(rng, 8));
    c.blue = int(MemImage::Biased(rng, 8));
    c.grey = int(MemImage::Biased(rng, 8));
    return c;
}

// Paints one dab through a fresh filler, fast or not; returns the kernel kind.
int Paint(const Case &k, const ColorValue &fg, MemImage &brush, MemImage &dst, MemImage *mask, bool fast)
{
    FillTev2TevOptions o{};
    o.dstPlane = k.dstPlane;
    o.op = k.op;
    o.floating = 1;
    o.fgValues = fg;
    o.noDstAlpha = k.noDstAlpha;
    o.dithering = 1;
    o.dstMask = mask ? mask->image() : nullptr;
    o.dstMaskPlane = 0;
    Fill *fill = FillTev2TevCreate(brush, dst, &o,
                                   FT2T_DSTPLANE | FT2T_OP | FT2T_FLOATING | FT2T_FGPIXEL | FT2T_NODSTALPHA |
                                       FT2T_DITHERING | FT2T_DSTMASK);
    EXPECT_NE(fill, nullptr);
    int kind = Optimize_Choose(fill);
    if (fast)
        Optimize_Install(fill, kind);
    const Box src = Rect(0, 0, k.bw, k.bh), imageBox = Rect(0, 0, dst.Width(), dst.Height());
    const Box dab = Rect(k.x, k.y, k.bw, k.bh);
    ViewOptions vo{};
    vo.dstRef = &dab;
    View *view = NViewCreate(&src, &imageBox, nullptr, fill, &vo, VIEW_MAP);
    Box part;
    if (Box_Clip(&part, &dab, &imageBox))
        ViewFillDst(view, &part);
    ViewDestroy(view);
    FillTev2TevDestroy(fill);
    return kind;
}

class OptimizeLevels : public testing::TestWithParam<int>
{
  protected:
    void SetUp() override
    {
        if (Optimize_SetLevel(GetParam()) != GetParam())
            GTEST_SKIP() << "this machine lacks instruction set level " << GetParam();
    }
    void TearDown() override { Optimize_SetLevel(OPTIMIZE_AVX512); }
};

INSTANTIATE_TEST_SUITE_P(Isa, OptimizeLevels,
                         testing::Values(OPTIMIZE_SCALAR, OPTIMIZE_AVX2, OPTIMIZE_AVX512));

TEST_P(OptimizeLevels, FastKernelsGiveTheFillObjectsBytes)
{
    std::mt19937 rng(20240611 + GetParam());
    int used[3] = {0, 0, 0};
    for (int round = 0; round < 2000; ++round) {
        Case k{};
        k.mode = rng() % 2 ? 2 : 1;
        k.dstAlpha = rng() % 4 != 0;
        const int colour = k.mode == 2 ? 3 : 1;
        const int planes = colour + (k.dstAlpha ? 1 : 0);
        // All planes, or one plane (a colour plane or the alpha plane).
        k.dstPlane = rng() % 2 ? -1 : int(rng() % planes);
        k.op = rng() % 2 ? FT2T_OP_OVER : FT2T_OP_UNDER;
        k.noDstAlpha = rng() % 3 == 0;
        k.mask = rng() % 3 == 0;
        // Widths across the vector lengths and the 256-pixel spans.
        k.bw = rng() % 8 ? 1 + int(rng() % 40) : 250 + int(rng() % 20);
        k.bh = 1 + int(rng() % 40);
        const int W = 300, H = 37;
        k.x = int(rng() % (W + k.bw)) - k.bw + 1 - 3;
        k.y = int(rng() % (H + k.bh)) - k.bh + 1 - 3;
        const ColorValue fg = Colour(rng, k.dstPlane == -1 ? k.mode : 1);

        MemImage brush(k.bw, k.bh, 1, 8, true);
        brush.Randomize(rng);
        if (rng() % 4 == 0) { // the flat inside of a hard brush, and its rim
            const uint32_t inside = MemImage::Biased(rng, 8);
            for (int y = 0; y < k.bh; ++y)
                for (int x = 1; x + 1 < k.bw; ++x)
                    brush.Set(1, x, y, inside);
        }
        MemImage slow(W, H, k.mode, 8, k.dstAlpha), fast(W, H, k.mode, 8, k.dstAlpha);
        slow.Randomize(rng);
        if (k.dstAlpha && rng() % 3 == 0) // an opaque image: the alpha stays
            for (int y = 0; y < H; ++y)
                for (int x = 0; x < W; ++x)
                    slow.Set(colour, x, y, 255);
        fast.CopyFrom(slow);
        MemImage mask(W, H, 1, 8, false);
        mask.Randomize(rng);

        Paint(k, fg, brush, slow, k.mask ? &mask : nullptr, false);
        int kind = Paint(k, fg, brush, fast, k.mask ? &mask : nullptr, true);
        ++used[kind];
        ASSERT_EQ(FirstDifference(fast, slow), "") << "round " << round;
    }
    // Both fast kernels took part, many times.
    EXPECT_GT(used[OPTIMIZE_RGB], 200);
    EXPECT_GT(used[OPTIMIZE_GRAY], 200);
}

TEST(Optimize, ChosenOnlyWhereTheyApply)
{
    MemImage brush(8, 8, 1, 8, true), plain(8, 8, 1, 8, false);
    MemImage rgb(16, 16, 2, 8, true), rgb16(16, 16, 2, 16, true), cmyk(16, 16, 3, 8, true);
    auto choose = [](Image *src, Image *dst, int plane, int floating, int mode, Image *srcMask) {
        FillTev2TevOptions o{};
        o.dstPlane = plane;
        o.op = FT2T_OP_OVER;
        o.floating = floating;
        o.fgValues.mode = mode;
        o.srcMask = srcMask;
        Fill *f = FillTev2TevCreate(src, dst, &o,
                                    FT2T_DSTPLANE | FT2T_OP | FT2T_FLOATING | FT2T_FGPIXEL | FT2T_SRCMASK);
        int kind = Optimize_Choose(f);
        FillTev2TevDestroy(f);
        return kind;
    };
    EXPECT_EQ(choose(brush, rgb, -1, 1, COLOR_RGB, nullptr), OPTIMIZE_RGB);
    EXPECT_EQ(choose(brush, rgb, 1, 1, COLOR_GRAY, nullptr), OPTIMIZE_GRAY);
    EXPECT_EQ(choose(brush, rgb, 3, 1, COLOR_GRAY, nullptr), OPTIMIZE_GRAY); // erasing the alpha
    // Not floating, a source without alpha, a source mask, 16 bits, CMYK, a
    // colour record that does not fit the planes written: the fill's own.
    EXPECT_EQ(choose(brush, rgb, -1, 0, COLOR_RGB, nullptr), OPTIMIZE_NONE);
    EXPECT_EQ(choose(plain, rgb, -1, 1, COLOR_RGB, nullptr), OPTIMIZE_NONE);
    EXPECT_EQ(choose(brush, rgb, -1, 1, COLOR_RGB, plain), OPTIMIZE_NONE);
    EXPECT_EQ(choose(brush, rgb16, -1, 1, COLOR_RGB, nullptr), OPTIMIZE_NONE);
    EXPECT_EQ(choose(brush, cmyk, -1, 1, COLOR_CMYK, nullptr), OPTIMIZE_NONE);
    EXPECT_EQ(choose(brush, rgb, -1, 1, COLOR_GRAY, nullptr), OPTIMIZE_NONE);
    POPTIMIZE = 0;
    EXPECT_EQ(choose(brush, rgb, -1, 1, COLOR_RGB, nullptr), OPTIMIZE_NONE);
    POPTIMIZE = 1;
}

} // namespace
