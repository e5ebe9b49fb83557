// The image-to-image fill object: the operation and dither tables, plane
// options, the bit copy, seams between boxes, masks and bad boxes (the
// images here are poisoned around their planes, so under AddressSanitizer
// any access outside them fails).
#include "MemImage.h"
#include "Reference.h"
#include "xc/FillTev2Tev.h"
#include "xc/View.h"
#include "xc/kernels/Tev2Tev.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

namespace
{

FillTev2TevData *DataOf(Fill *f)
{
    return static_cast<FillTev2TevData *>(f->data);
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
    EXPECT_EQ(over.weight[0 * 256 + 0], 1.0); // a transparent pixel takes the colour
    EXPECT_EQ(over.alphaByD[0 * 256 + 0], 0); // and keeps alpha 0
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

// Planes are clamped; a 32-bit extra plane has no table: the filler paints
// nothing. (Shown alpha planes select their grey tables in test_Kernels.)
TEST(FillTev2Tev, PlaneOptions)
{
    MemImage rgba(8, 8, 2, 8, true), rgba4(8, 8, 2, 8, true, 1, 32);
    Fill *f = FillTev2TevCreate(rgba4, rgba, nullptr, 0);
    FillTev2TevSetSrcPlane(f, 7);
    EXPECT_EQ(DataOf(f)->srcPlane, 4);
    FillTev2TevSetSrcPlane(f, -5);
    EXPECT_EQ(DataOf(f)->srcPlane, -1);
    FillTev2TevSetSrcPlane(f, 3);
    ASSERT_NE(DataOf(f)->kernels, nullptr);
    FillTev2TevSetSrcPlane(f, 4);
    EXPECT_EQ(DataOf(f)->kernels, nullptr);
    FillTev2TevDestroy(f);
}

// Bit planes copied at every pair of bit offsets and widths.
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
}

TEST(FillTev2Tev, SetBgFillsEveryPlaneInTheBox)
{
    MemImage img(21, 3, 2, 1, true, 1, 16); // 3 bit planes, alpha, one 16-bit extra
    const int32_t values[] = {1, 0, 1, 77, 4660};
    const Box box = B(3, 1, 19, 1);
    FillTev2Tev_SetBg(img, &box, values);
    for (int p = 0; p < 5; ++p)
        for (int y = 0; y < 3; ++y)
            for (int x = 0; x < 21; ++x)
                ASSERT_EQ(img.Get(p, x, y), y == 1 && x >= 3 && x <= 19 ? uint32_t(values[p]) : 0u)
                    << p << " " << x;
}

TEST(FillTev2Tev, MasksOfTheWrongShapeAreDropped)
{
    MemImage src(6, 5, 2, 8, true), dst(7, 4, 2, 8, true);
    MemImage okSrc(6, 5, 1, 8, true), wrongSize(5, 6, 1, 8, false), deep(6, 5, 1, 16, false),
        okDst(7, 4, 1, 8, false);
    Fill *f = FillTev2TevCreate(src, dst, nullptr, 0);
    FillTev2TevSetSrcMask(f, okSrc, 1);
    EXPECT_EQ(std::pair(DataOf(f)->srcMask, DataOf(f)->srcMaskPlane), std::pair(okSrc.image(), 1));
    // Another size (the destination's too), 16 bits, no such plane.
    for (auto [mask, plane] :
         {std::pair{wrongSize.image(), 0}, {deep.image(), 0}, {okSrc.image(), 2}, {okDst.image(), 0}}) {
        FillTev2TevSetSrcMask(f, mask, plane);
        EXPECT_EQ(DataOf(f)->srcMask, nullptr) << plane;
    }
    FillTev2TevSetDstMask(f, okDst, 0);
    EXPECT_EQ(DataOf(f)->dstMask, okDst.image());
    FillTev2TevOptions o{};
    o.dstMask = wrongSize;
    FillTev2TevSetOptions(f, &o, FT2T_DSTMASK);
    EXPECT_EQ(DataOf(f)->dstMask, nullptr);
    FillTev2TevDestroy(f);
}

// Boxes outside either image, empty or huge boxes, views whose source box
// reaches past the source image: nothing outside the planes is touched and
// only pixels whose source lies in the source image change.
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
}
