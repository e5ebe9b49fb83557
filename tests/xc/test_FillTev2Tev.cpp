// The image-to-image fill object: options, selection, dispatch, the direct
// copy, the operation and dither tables, the flat fills, edge cases of the
// walk and bad input (the images here are poisoned around their planes, so
// under AddressSanitizer any access outside them fails).
#include "MemImage.h"
#include "Reference.h"
#include "xc/FillTev2Tev.h"
#include "xc/View.h"
#include "xc/kernels/Tev2Tev.h"

#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <string>

namespace
{

Box B(int x1, int y1, int x2, int y2)
{
    return Box{x1, y1, x2, y2, x2 - x1 + 1, y2 - y1 + 1, 0};
}

Box WholeOf(const MemImage &m)
{
    return B(0, 0, m.Width() - 1, m.Height() - 1);
}

FillTev2TevData *DataOf(Fill *f)
{
    return static_cast<FillTev2TevData *>(f->data);
}

std::string Selected(Fill *f)
{
    return DataOf(f)->kernels ? DataOf(f)->kernels->name : "(none)";
}

// A filler and a view from a source box onto a destination box.
struct Rig {
    Fill *fill;
    View *view;
    Box srcRef, dstRef; // the view reads them again at every ViewSetMap
    Rig(Image *src, Image *dst, const FillTev2TevOptions *o, int mask, Box sref, Box dref)
        : srcRef(sref), dstRef(dref)
    {
        fill = FillTev2TevCreate(src, dst, o, mask);
        Box s = B(0, 0, Image_Width(src) - 1, Image_Height(src) - 1);
        Box d = B(0, 0, Image_Width(dst) - 1, Image_Height(dst) - 1);
        view = NViewCreate(&s, &d, nullptr, fill, nullptr, 0);
        ViewSetMap(view, &srcRef, &dstRef);
    }
    ~Rig()
    {
        ViewDestroy(view);
        FillTev2TevDestroy(fill);
    }
};

} // namespace

TEST(FillTev2Tev, OperationTables)
{
    FillTev2TevOpTables over = FillTev2Tev_OpTables(FT2T_OP_OVER);
    FillTev2TevOpTables under = FillTev2Tev_OpTables(FT2T_OP_UNDER);
    FillTev2TevOpTables replace = FillTev2Tev_OpTables(7);
    EXPECT_EQ(over.weight[128 * 256 + 0], 1.0);
    EXPECT_EQ(over.opAlpha[128 * 256 + 0], 128);
    EXPECT_EQ(over.opAlpha[1 * 256 + 254], 255); // raised above d
    EXPECT_EQ(over.weight[0 * 256 + 0], 1.0);    // a transparent pixel takes the colour
    EXPECT_EQ(over.alphaByD[0 * 256 + 0], 0);    // and keeps alpha 0
    for (int a = 0; a < 256; ++a)
        for (int d = 0; d < 256; ++d) {
            int k = a * 256 + d;
            double w;
            int alpha;
            for (auto [op, t] : {std::pair{2, over}, std::pair{3, under}, std::pair{1, replace}}) {
                ref::Operation(op, a, d, &w, &alpha);
                ASSERT_EQ(t.weight[k], w) << op << " " << a << " " << d;
                ASSERT_EQ(t.opAlpha[k], alpha) << op << " " << a << " " << d;
                int left = t.weight[k] == 1.0 ? a : t.weight[k] == 0.0 ? d : alpha;
                ASSERT_EQ(t.alphaByD[d * 256 + a], left);
                ASSERT_EQ(t.weightByD[d * 256 + a], w);
                if (op != 1 && a > 0 && d < 255) {
                    ASSERT_GT(t.opAlpha[k], d); // every stroke raises the alpha
                }
            }
            ASSERT_EQ(under.weight[a * 256 + 255], 0.0);
            ASSERT_EQ(replace.weight[k], 1.0);
            ASSERT_EQ(FillTev2Tev_MulTable()[k], a * d / 255);
        }
}

TEST(FillTev2Tev, DitherMatrix)
{
    const int32_t *m = FillTev2Tev_DitherInt();
    EXPECT_EQ(std::vector<int>(m, m + 4), (std::vector<int>{1, 222, 48, 206})); // anchors the reference
    for (int k = 0; k < 256; ++k) {
        EXPECT_EQ(m[k], ref::DitherM(k / 16, k % 16));
        EXPECT_EQ(FillTev2Tev_DitherInt256()[k], m[k] * 256);
        EXPECT_EQ(FillTev2Tev_DitherFrac()[k], m[k] / 255.0);
    }
}

TEST(FillTev2Tev, SelectionNamesTheTable)
{
    MemImage rgba(8, 8, 2, 8, true), cmyk16a(8, 8, 3, 16, true), rgba4(8, 8, 2, 8, true, 1, 32);
    FillTev2TevOptions o{};
    Fill *f = FillTev2TevCreate(rgba, cmyk16a, nullptr, 0);
    EXPECT_EQ(Selected(f), "Tev2Tev_RGBALPHA8_CMYKALPHA16");
    o.floating = 1;
    FillTev2TevSetOptions(f, &o, FT2T_FLOATING);
    EXPECT_EQ(Selected(f), "Tev2Tev_CSTALPHA8_CMYKALPHA16");
    o.noSrcAlpha = 1;
    FillTev2TevSetOptions(f, &o, FT2T_NOSRCALPHA);
    EXPECT_EQ(Selected(f), "Tev2Tev_CSTNOALPHA8_CMYKALPHA16");
    FillTev2TevSetOp(f, FT2T_OP_UNDER); // under needs the destination's alpha
    EXPECT_EQ(Selected(f), "Tev2Tev_CSTALPHA8_CMYKALPHA16");
    FillTev2TevDestroy(f);

    // Planes are clamped; a shown alpha plane is an opaque grey plane.
    f = FillTev2TevCreate(rgba4, rgba, nullptr, 0);
    FillTev2TevSetSrcPlane(f, 7);
    EXPECT_EQ(DataOf(f)->srcPlane, 4);
    FillTev2TevSetSrcPlane(f, -5);
    EXPECT_EQ(DataOf(f)->srcPlane, -1);
    FillTev2TevSetSrcPlane(f, 3);
    FillTev2TevSetDstPlane(f, 3);
    EXPECT_EQ(Selected(f), "Tev2Tev_GRAYNOALPHA8_GRAYNOALPHA8");
    EXPECT_EQ(DataOf(f)->canCopy, 1);
    // A 32-bit extra plane has no table: the filler paints nothing.
    FillTev2TevSetSrcPlane(f, 4);
    EXPECT_EQ(DataOf(f)->kernels, nullptr);
    FillTev2TevDestroy(f);
}

// The last destination pixel of a 3/1 reduction covers columns 3, 4 and 5 of
// a 4-column source: the end is clamped, column 3 alone is read (a read of
// column 4 would leave the plane, which the poisoned image catches).
TEST(FillTev2Tev, AverageStopsAtTheImageEdge)
{
    MemImage src(4, 2, 1, 8, true), dst(2, 1, 1, 8, true);
    for (int x = 0; x < 4; ++x)
        for (int y = 0; y < 2; ++y) {
            src.Set(0, x, y, uint32_t(x * 50 + y));
            src.Set(1, x, y, 255);
        }
    Rig s(src, dst, nullptr, 0, B(0, 0, 5, 1), B(0, 0, 1, 0));
    ASSERT_EQ(s.view->xMap.num, 3);
    ASSERT_EQ(s.view->yMap.num, 2);
    ViewFill(s.view);
    EXPECT_EQ(dst.Get(0, 0, 0), 50u);  // (0 + 50 + 100 + 1 + 51 + 101) / 6
    EXPECT_EQ(dst.Get(0, 1, 0), 150u); // (150 + 151) / 2
    EXPECT_EQ(dst.Get(1, 1, 0), 255u);
}

TEST(FillTev2Tev, BitCopyAtEveryOffset)
{
    std::mt19937 rng(11);
    for (int sx = 0; sx < 12; ++sx)
        for (int dx = 0; dx < 12; ++dx)
            for (int w : {1, 5, 8, 9, 16, 23, 30}) {
                MemImage src(sx + w + 3, 2, 1, 1, false), dst(dx + w + (dx + w) % 3, 2, 1, 1, false);
                src.Randomize(rng);
                dst.Randomize(rng);
                MemImage want(dst.Width(), 2, 1, 1, false);
                want.CopyFrom(dst);
                for (int y = 0; y < 2; ++y)
                    for (int i = 0; i < w; ++i)
                        want.Set(0, dx + i, y, src.Get(0, sx + i, y));
                Rig s(src, dst, nullptr, 0, B(sx, 0, sx + w - 1, 1), B(dx, 0, dx + w - 1, 1));
                ASSERT_EQ(DataOf(s.fill)->canCopy, 1);
                Box box = B(dx, 0, dx + w - 1, 1);
                ViewFillDst(s.view, &box);
                ASSERT_EQ(FirstDifference(dst, want), "") << "sx " << sx << " dx " << dx << " w " << w;
            }
    // The whole destination width from byte-aligned columns: whole bytes,
    // the last one partial.
    MemImage src(21, 3, 1, 1, false), dst(13, 3, 1, 1, false);
    src.Randomize(rng);
    Rig s(src, dst, nullptr, 0, B(8, 0, 20, 2), WholeOf(dst));
    ViewFill(s.view);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 13; ++x)
            ASSERT_EQ(dst.Get(0, x, y), src.Get(0, x + 8, y));
}

TEST(FillTev2Tev, FlatFills)
{
    MemImage img(21, 3, 2, 1, true, 1, 16); // 3 bit planes, alpha, one 16-bit extra
    int32_t values[] = {1, 0, 1, 77, 4660};
    Box box = B(3, 1, 19, 1);
    FillTev2Tev_SetBg(img, &box, values);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 21; ++x) {
            bool in = y == 1 && x >= 3 && x <= 19;
            ASSERT_EQ(img.Get(0, x, y), in ? 1u : 0u) << x;
            ASSERT_EQ(img.Get(1, x, y), 0u);
            ASSERT_EQ(img.Get(3, x, y), in ? 77u : 0u);
            ASSERT_EQ(img.Get(4, x, y), in ? 4660u : 0u);
        }
    // Dithering only between 0 and 255.
    MemImage src(1, 1, 1, 8, false), bits(32, 32, 1, 1, false);
    Fill *f = FillTev2TevCreate(src, bits, nullptr, 0);
    Box all = WholeOf(bits);
    FillTev2Tev_SetValue1_Gen(bits, 0, &all, 255, DataOf(f));
    for (int k = 0; k < 32 * 32; ++k)
        ASSERT_EQ(bits.Get(0, k % 32, k / 32), 1u);
    FillTev2Tev_SetValue1_Gen(bits, 0, &all, 0, DataOf(f));
    for (int k = 0; k < 32 * 32; ++k)
        ASSERT_EQ(bits.Get(0, k % 32, k / 32), 0u);
    FillTev2Tev_SetValue1_Gen(bits, 0, &all, 128, DataOf(f));
    for (int k = 0; k < 32 * 32; ++k) {
        int x = k % 32, y = k / 32;
        ASSERT_EQ(bits.Get(0, x, y), 128 < ref::DitherM(x % 16, y % 16) ? 0u : 1u);
    }
    FillTev2TevSetDithering(f, 0);
    FillTev2Tev_SetValue1_Gen(bits, 0, &all, 128, DataOf(f));
    for (int k = 0; k < 32 * 32; ++k)
        ASSERT_EQ(bits.Get(0, k % 32, k / 32), 1u); // 128 >= 127
    FillTev2TevDestroy(f);
}

// A box painted in one call and the same box painted as a grid of smaller
// boxes give the same bytes: the walk restarts at every box with the phase
// the view gives, at every zoom.
TEST(FillTev2Tev, AdjacentBoxesJoinWithoutSeams)
{
    std::mt19937 rng(17);
    const int zooms[][2] = {{1, 1}, {3, 1}, {1, 3}, {7, 5}, {5, 7}, {2, 3}, {9, 4}};
    for (auto zx : zooms)
        for (auto zy : zooms)
            for (int quality : {0, 1}) {
                MemImage src(13, 11, 2, 8, true), a(40, 36, 3, 8, true), b(40, 36, 3, 8, true);
                src.Randomize(rng);
                a.Randomize(rng);
                b.CopyFrom(a);
                FillTev2TevOptions o{};
                o.op = FT2T_OP_OVER;
                o.quality = quality;
                int mask = FT2T_OP | FT2T_QUALITY;
                Box sref = B(1, 2, 1 + 2 * zx[0] - 1, 2 + 2 * zy[0] - 1);
                Box dref = B(3, 1, 3 + 2 * zx[1] - 1, 1 + 2 * zy[1] - 1);
                Rig one(src, a, &o, mask, sref, dref), many(src, b, &o, mask, sref, dref);
                one.view->xMap.phase = int(rng() % uint32_t(one.view->xMap.den));
                one.view->yMap.phase = int(rng() % uint32_t(one.view->yMap.den));
                many.view->xMap.phase = one.view->xMap.phase;
                many.view->yMap.phase = one.view->yMap.phase;
                ViewScroll(one.view, 0, 0);
                ViewScroll(many.view, 0, 0);
                ViewFill(one.view);
                for (int y = 0; y < 36;) {
                    int h = 1 + int(rng() % 7);
                    for (int x = 0; x < 40;) {
                        int w = 1 + int(rng() % 9);
                        Box box = B(x, y, x + w - 1, y + h - 1);
                        ViewFillDst(many.view, &box);
                        x += w;
                    }
                    y += h;
                }
                ASSERT_EQ(FirstDifference(b, a), "")
                    << zx[0] << "/" << zx[1] << " x " << zy[0] << "/" << zy[1] << " q " << quality;
            }
}

TEST(FillTev2Tev, MasksOfTheWrongShapeAreDropped)
{
    MemImage src(6, 5, 2, 8, true), dst(7, 4, 2, 8, true);
    MemImage okSrc(6, 5, 1, 8, true), wrongSize(5, 6, 1, 8, false), deep(6, 5, 1, 16, false),
        okDst(7, 4, 1, 8, false);
    Fill *f = FillTev2TevCreate(src, dst, nullptr, 0);
    FillTev2TevSetSrcMask(f, okSrc, 1);
    EXPECT_EQ(DataOf(f)->srcMask, okSrc.image());
    EXPECT_EQ(DataOf(f)->srcMaskPlane, 1);
    EXPECT_NE(DataOf(f)->mul, nullptr);
    // Another size (the destination's too), 16 bits, no such plane.
    for (auto [mask, plane] :
         {std::pair{wrongSize.image(), 0}, {deep.image(), 0}, {okSrc.image(), 2}, {okDst.image(), 0}}) {
        FillTev2TevSetSrcMask(f, mask, plane);
        EXPECT_EQ(DataOf(f)->srcMask, nullptr) << plane;
    }
    FillTev2TevSetDstMask(f, okDst, 0);
    EXPECT_EQ(DataOf(f)->dstMask, okDst.image());
    FillTev2TevSetDstMask(f, nullptr, 0);
    EXPECT_EQ(DataOf(f)->dstMask, nullptr);
    EXPECT_EQ(DataOf(f)->mul, nullptr);
    FillTev2TevOptions o{};
    o.dstMask = wrongSize;
    FillTev2TevSetOptions(f, &o, FT2T_DSTMASK);
    EXPECT_EQ(DataOf(f)->dstMask, nullptr);
    FillTev2TevDestroy(f);
}

// Boxes outside either image, empty boxes, views whose source box reaches
// past the source image, one-pixel images: nothing outside the planes is
// touched (the poisoned images fail under AddressSanitizer) and nothing
// outside the box changes.
TEST(FillTev2Tev, BadBoxesStayInsideTheImages)
{
    std::mt19937 rng(23);
    const Box boxes[] = {B(-50, -50, -10, -10),      B(-3, -3, 2, 2), B(5, 5, 200, 200),
                         B(100, 0, 120, 3),          B(4, 4, 3, 3),   B(-1000000, 0, 1000000, 1),
                         B(0, -1000000, 2, 1000000), B(0, 0, 0, 0)};
    for (int zoom = 0; zoom < 4; ++zoom)
        for (int quality : {0, 1})
            for (int op : {1, 2}) {
                MemImage src(5, 4, 2, 8, true), dst(9, 7, 3, 16, true), before(9, 7, 3, 16, true);
                src.Randomize(rng);
                dst.Randomize(rng);
                before.CopyFrom(dst);
                FillTev2TevOptions o{};
                o.quality = quality;
                o.op = op;
                const int den[] = {1, 3, 1, 2}, num[] = {1, 1, 3, 5};
                // The view's source box is larger than the source image.
                Box sref = B(-2, -2, -2 + 4 * num[zoom] - 1, -2 + 4 * num[zoom] - 1);
                Box dref = B(-1, 0, -1 + 4 * den[zoom] - 1, 4 * den[zoom] - 1);
                Rig s(src, dst, &o, FT2T_QUALITY | FT2T_OP, sref, dref);
                Box big = B(-5, -5, 30, 30);
                ViewSetSrc(s.view, &big);
                for (const Box &b : boxes) {
                    Box box = b;
                    FillTev2Tev_Fill(s.view, s.fill->data, &box);
                    ViewFillDst(s.view, &box);
                }
                // Only pixels whose source lies in the source image changed.
                for (int p = 0; p < dst.Planes(); ++p)
                    for (int y = 0; y < 7; ++y)
                        for (int x = 0; x < 9; ++x) {
                            int sx = ViewDstToSrcX(s.view, x), sy = ViewDstToSrcY(s.view, y);
                            if (sx < 0 || sy < 0 || sx >= 5 || sy >= 4) {
                                ASSERT_EQ(dst.Get(p, x, y), before.Get(p, x, y));
                            }
                        }
            }
    // One-pixel images both ways, every slot.
    MemImage one(1, 1, 1, 1, false), many(3, 3, 2, 8, true);
    for (int q : {0, 1}) {
        FillTev2TevOptions o{};
        o.quality = q;
        Rig a(one, many, &o, FT2T_QUALITY, B(0, 0, 0, 0), B(0, 0, 2, 2));
        ViewFill(a.view);
        Rig b(many, one, &o, FT2T_QUALITY, B(0, 0, 2, 2), B(0, 0, 0, 0));
        ViewFill(b.view);
    }
}
