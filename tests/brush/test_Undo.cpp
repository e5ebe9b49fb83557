#include "brush/Undo.h"

#include "tests/TestStore.h"

namespace
{

const auto B = BoxXY;
using UndoRows = TempStore;

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

// The planes of a with the box's bytes taken from b: 8 and 16 bits by
// column, 1 bit by whole bytes.
std::vector<unsigned char> Mixed(const Image *a, const Image *b, const Box &box)
{
    std::vector<unsigned char> out;
    for (int p = 0; p < Image_Planes(a); ++p) {
        const int bits = Image_PlaneBits(a, p);
        const int first = bits == 1 ? box.x1 / 8 : box.x1 * bits / 8;
        const int last = bits == 1 ? box.x2 / 8 : (box.x2 + 1) * bits / 8 - 1;
        for (int y = 0; y < Image_Height(a); ++y)
            for (int i = 0; i < Image_PlaneBytesPerRow(a, p); ++i) {
                const bool in = y >= box.y1 && y <= box.y2 && i >= first && i <= last;
                out.push_back(Image_Row(in ? b : a, p, y)[i]);
            }
    }
    return out;
}

// Copying and swapping touch exactly the box in every plane, whatever the
// depth; boxes reaching out are clipped, outside ones do nothing; a second
// swap restores both images.
TEST_F(UndoRows, CopyAndSwapTouchExactlyTheBox)
{
    struct Case {
        int w, h, mode, bits, alpha, extra;
        Box box;
    } cases[] = {
        {37, 23, IMAGE_MODE_RGB, 8, 1, 0, B(3, 4, 12, 9)},
        {37, 23, IMAGE_MODE_GREY, 16, 1, 0, B(3, 4, 12, 9)},
        {37, 23, IMAGE_MODE_CMYK, 8, 0, 0, B(3, 4, 12, 9)},
        {37, 23, IMAGE_MODE_GREY, 1, 0, 0, B(3, 4, 12, 9)},
        {130, 40, IMAGE_MODE_RGB, 8, 1, 0, B(3, 5, 100, 34)}, // 98-byte spans: vector chunks and a tail
        {29, 7, IMAGE_MODE_GREY, 16, 0, 1, B(9, 2, 17, 4)},   // with a 1-bit extra plane
        {20, 10, IMAGE_MODE_GREY, 8, 0, 0, B(-5, -3, 3, 2)},
        {20, 10, IMAGE_MODE_GREY, 8, 0, 0, B(25, 0, 40, 9)},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << c.w << "x" << c.h << " mode " << c.mode << " bits " << c.bits);
        Image *a = Make(c.w, c.h, c.mode, c.bits, c.alpha, c.extra, 1);
        Image *b = Make(c.w, c.h, c.mode, c.bits, c.alpha, c.extra, 1);
        Noise(a, 1);
        Noise(b, 2);
        const auto a0 = Planes(a), b0 = Planes(b), wantA = Mixed(a, b, c.box), wantB = Mixed(b, a, c.box);
        Undo_SwapBox(a, b, &c.box);
        EXPECT_EQ(Planes(a), wantA);
        EXPECT_EQ(Planes(b), wantB);
        Undo_SwapBox(a, b, &c.box);
        EXPECT_EQ(Planes(a), a0);
        EXPECT_EQ(Planes(b), b0);
        Undo_CopyBox(a, b, &c.box);
        EXPECT_EQ(Planes(a), wantA);
        EXPECT_EQ(Planes(b), b0);
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
