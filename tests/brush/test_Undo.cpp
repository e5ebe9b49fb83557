#include "brush/Undo.h"

#include "test_UndoStore.h"

namespace
{

Box B(int x1, int y1, int x2, int y2)
{
    return Box{x1, y1, x2, y2, x2 - x1 + 1, y2 - y1 + 1, 0};
}

using UndoRows = UndoStore;

TEST(UndoSpan, ByteSpansOfEachDepth)
{
    long first = -1;
    EXPECT_EQ(Undo_Span(8, 5, 9, &first), 5);
    EXPECT_EQ(first, 5);
    EXPECT_EQ(Undo_Span(16, 5, 9, &first), 10);
    EXPECT_EQ(first, 10);
    // Columns 3 to 12 of a 1-bit plane lie in bytes 0 and 1.
    EXPECT_EQ(Undo_Span(1, 3, 12, &first), 2);
    EXPECT_EQ(first, 0);
    EXPECT_EQ(Undo_Span(1, 8, 8, &first), 1);
    EXPECT_EQ(first, 1);
    EXPECT_EQ(Undo_Span(32, 0, 9, &first), 0);
}

TEST_F(UndoRows, SameLayoutComparesEveryPlane)
{
    Image *a = Make(40, 30, IMAGE_MODE_RGB, 8, 1);
    EXPECT_TRUE(Undo_SameLayout(a, Make(40, 30, IMAGE_MODE_RGB, 8, 1)));
    EXPECT_FALSE(Undo_SameLayout(a, Make(41, 30, IMAGE_MODE_RGB, 8, 1)));
    EXPECT_FALSE(Undo_SameLayout(a, Make(40, 31, IMAGE_MODE_RGB, 8, 1)));
    EXPECT_FALSE(Undo_SameLayout(a, Make(40, 30, IMAGE_MODE_RGB, 8, 0)));
    EXPECT_FALSE(Undo_SameLayout(a, Make(40, 30, IMAGE_MODE_RGB, 16, 1)));
    EXPECT_FALSE(Undo_SameLayout(a, nullptr));
}

// Copying touches exactly the box in every plane, whatever the depth: 8 and
// 16 bits by column, 1 bit by whole bytes.
TEST_F(UndoRows, CopyBoxTouchesOnlyTheBox)
{
    struct Case {
        int mode, bits, alpha;
    } cases[] = {
        {IMAGE_MODE_RGB, 8, 1}, {IMAGE_MODE_GREY, 16, 1}, {IMAGE_MODE_CMYK, 8, 0}, {IMAGE_MODE_GREY, 1, 0}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.bits);
        Image *src = Make(37, 23, c.mode, c.bits, c.alpha);
        Image *dst = Make(37, 23, c.mode, c.bits, c.alpha);
        Noise(src, 1);
        Noise(dst, 2);
        Box box = B(3, 4, 12, 9);
        Undo_CopyBox(dst, src, &box);
        // The reference: the old destination with the box's pixels taken
        // from the source one by one.
        Image *ref = Make(37, 23, c.mode, c.bits, c.alpha);
        Noise(ref, 2);
        for (int p = 0; p < Image_Planes(ref); ++p) {
            bool oneBit = Image_PlaneBits(ref, p) == 1;
            for (int y = 4; y <= 9; ++y)
                for (int x = oneBit ? 0 : 3; x <= (oneBit ? 15 : 12); ++x)
                    Image_SetSample(ref, p, x, y, Image_GetSample(src, p, x, y));
        }
        EXPECT_EQ(Planes(ref), Planes(dst));
    }
}

// Spans of 98 bytes: whole vector chunks and a byte tail.
TEST_F(UndoRows, SwapExchangesTheBoxAndASecondSwapRestores)
{
    const int w = 130, h = 40;
    Image *a = Make(w, h, IMAGE_MODE_RGB, 8, 1);
    Image *b = Make(w, h, IMAGE_MODE_RGB, 8, 1);
    Noise(a, 3);
    Noise(b, 4);
    auto a0 = Planes(a), b0 = Planes(b);
    Box box = B(3, 5, 100, 34);
    Undo_SwapBox(a, b, &box);
    for (int p = 0; p < 4; ++p)
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                bool in = x >= 3 && x <= 100 && y >= 5 && y <= 34;
                size_t at = (size_t(p) * h + y) * w + x;
                ASSERT_EQ(Image_GetSample(a, p, x, y), in ? b0[at] : a0[at]);
                ASSERT_EQ(Image_GetSample(b, p, x, y), in ? a0[at] : b0[at]);
            }
    Undo_SwapBox(a, b, &box);
    EXPECT_EQ(Planes(a), a0);
    EXPECT_EQ(Planes(b), b0);
}

TEST_F(UndoRows, SixteenBitAndOneBitPlanesSwapTheirByteSpans)
{
    // 16-bit grey with a 1-bit extra plane; refA and refB keep the old pixels.
    Image *a = Make(29, 7, IMAGE_MODE_GREY, 16, 0, 1, 1);
    Image *b = Make(29, 7, IMAGE_MODE_GREY, 16, 0, 1, 1);
    Image *refA = Make(29, 7, IMAGE_MODE_GREY, 16, 0, 1, 1);
    Image *refB = Make(29, 7, IMAGE_MODE_GREY, 16, 0, 1, 1);
    ASSERT_EQ(Image_PlaneBits(a, 1), 1);
    Noise(a, 5), Noise(refA, 5);
    Noise(b, 6), Noise(refB, 6);
    Box box = B(9, 2, 17, 4);
    Undo_SwapBox(a, b, &box);
    for (int p = 0; p < 2; ++p)
        for (int y = 0; y < 7; ++y)
            for (int x = 0; x < 29; ++x) {
                // 16 bits by column; 1 bit by bytes 1 and 2 (columns 8..23).
                bool in = y >= 2 && y <= 4 && (p == 0 ? x >= 9 && x <= 17 : x >= 8 && x <= 23);
                ASSERT_EQ(Image_GetSample(a, p, x, y), Image_GetSample(in ? refB : refA, p, x, y))
                    << p << x << y;
                ASSERT_EQ(Image_GetSample(b, p, x, y), Image_GetSample(in ? refA : refB, p, x, y))
                    << p << x << y;
            }
    Undo_SwapBox(a, b, &box);
    EXPECT_EQ(Planes(a), Planes(refA));
    EXPECT_EQ(Planes(b), Planes(refB));
}

TEST_F(UndoRows, BoxesReachingOutAreClippedAndOutsideOnesDoNothing)
{
    Image *a = Make(20, 10, IMAGE_MODE_GREY, 8);
    Image *b = Make(20, 10, IMAGE_MODE_GREY, 8);
    Noise(a, 7);
    Noise(b, 8);
    auto a0 = Planes(a), b0 = Planes(b);
    Box outside = B(25, 0, 40, 9);
    Undo_CopyBox(a, b, &outside);
    Undo_SwapBox(a, b, &outside);
    EXPECT_EQ(Planes(a), a0);
    EXPECT_EQ(Planes(b), b0);

    Box reaching = B(-5, -3, 3, 2);
    Undo_CopyBox(a, b, &reaching);
    for (int y = 0; y < 10; ++y)
        for (int x = 0; x < 20; ++x) {
            bool in = x <= 3 && y <= 2;
            ASSERT_EQ(Image_GetSample(a, 0, x, y), (in ? b0 : a0)[size_t(y) * 20 + x]);
        }
}

TEST_F(UndoRows, BackgroundCopyGoesRowByRowThroughEveryPlane)
{
    Image *src = Make(33, 17, IMAGE_MODE_RGB, 8, 1, 1, 1); // RGB + alpha + a 1-bit plane
    Image *dst = Make(33, 17, IMAGE_MODE_RGB, 8, 1, 1, 1);
    Noise(src, 9);
    int plane = 0, row = 0, calls = 0, done = 0;
    while (!done) {
        int p = plane, y = row;
        ASSERT_NE(0,
                  memcmp(Image_Row(dst, p, y), Image_Row(src, p, y), size_t(Image_PlaneBytesPerRow(src, p))));
        done = Undo_CopyRow(dst, src, &plane, &row);
        ASSERT_EQ(0,
                  memcmp(Image_Row(dst, p, y), Image_Row(src, p, y), size_t(Image_PlaneBytesPerRow(src, p))));
        ASSERT_EQ(plane * 17 + row, p * 17 + y + 1); // one row per call, planes in turn
        ASSERT_LE(++calls, 5 * 17);
    }
    EXPECT_EQ(calls, 5 * 17);
    EXPECT_EQ(Planes(dst), Planes(src));
    EXPECT_EQ(Undo_CopyRow(dst, src, &plane, &row), 1); // nothing left: still done
}

} // namespace
