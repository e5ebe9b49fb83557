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

constexpr int kOptions = FT2T_DSTPLANE | FT2T_OP | FT2T_FLOATING | FT2T_FGPIXEL | FT2T_NODSTALPHA |
                         FT2T_DITHERING | FT2T_DSTMASK | FT2T_SRCMASK;

// Paints the brush with its corner at (x, y) through a fresh filler, fast
// or not; returns the kernel kind.
int Paint(FillTev2TevOptions o, MemImage &brush, MemImage &dst, int x, int y, bool fast)
{
    Fill *fill = FillTev2TevCreate(brush, dst, &o, kOptions);
    EXPECT_NE(fill, nullptr);
    const int kind = Optimize_Choose(fill);
    if (fast)
        Optimize_Install(fill, kind);
    const Box src = B(0, 0, brush.Width() - 1, brush.Height() - 1),
              imageBox = B(0, 0, dst.Width() - 1, dst.Height() - 1);
    const Box dab = B(x, y, x + brush.Width() - 1, y + brush.Height() - 1);
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

TEST(Optimize, FastKernelsGiveTheFillObjectsBytes)
{
    std::mt19937 rng(20240611);
    int used[3] = {0, 0, 0};
    for (int round = 0; round < 2000; ++round) {
        const int mode = rng() % 2 ? 2 : 1; // grey or RGB
        const bool dstAlpha = rng() % 4 != 0;
        const int colour = mode == 2 ? 3 : 1;
        FillTev2TevOptions o{};
        // All planes, or one plane (a colour plane or the alpha plane).
        o.dstPlane = rng() % 2 ? -1 : int(rng() % uint32_t(colour + dstAlpha));
        o.op = rng() % 2 ? FT2T_OP_OVER : FT2T_OP_UNDER;
        o.floating = 1;
        o.noDstAlpha = rng() % 3 == 0;
        o.dithering = 1;
        o.fgValues.mode = o.dstPlane == -1 ? mode : 1;
        for (int *v : {&o.fgValues.red, &o.fgValues.green, &o.fgValues.blue, &o.fgValues.grey})
            *v = int(MemImage::Biased(rng, 8));
        // Widths across the vector lengths and the 256-pixel spans.
        const int bw = rng() % 8 ? 1 + int(rng() % 40) : 250 + int(rng() % 20), bh = 1 + int(rng() % 40);
        const int W = 300, H = 37;
        const int x = int(rng() % (W + bw)) - bw - 2, y = int(rng() % (H + bh)) - bh - 2;

        MemImage brush(bw, bh, 1, 8, true);
        brush.Randomize(rng);
        if (rng() % 4 == 0) { // the flat inside of a hard brush, and its rim
            const uint32_t inside = MemImage::Biased(rng, 8);
            for (int by = 0; by < bh; ++by)
                for (int bx = 1; bx + 1 < bw; ++bx)
                    brush.Set(1, bx, by, inside);
        }
        MemImage slow(W, H, mode, 8, dstAlpha), fast(W, H, mode, 8, dstAlpha), mask(W, H, 1, 8, false);
        slow.Randomize(rng);
        if (dstAlpha && rng() % 3 == 0) // an opaque image: the alpha stays
            for (int iy = 0; iy < H; ++iy)
                for (int ix = 0; ix < W; ++ix)
                    slow.Set(colour, ix, iy, 255);
        fast.CopyFrom(slow);
        mask.Randomize(rng);
        o.dstMask = rng() % 3 == 0 ? mask.image() : nullptr;

        Paint(o, brush, slow, x, y, false);
        ++used[Paint(o, brush, fast, x, y, true)];
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
        Fill *f = FillTev2TevCreate(src, dst, &o, kOptions);
        int kind = Optimize_Choose(f);
        FillTev2TevDestroy(f);
        return kind;
    };
    // (All planes and one colour plane are counted in the random test.)
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
