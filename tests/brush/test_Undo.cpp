#include "brush/Undo.h"

#include "tests/TestStore.h"

namespace
{

const auto B = BoxXY;
using UndoRows = TempStore;

TEST_F(UndoRows, SameLayoutComparesEveryPlane)
{
    Image *a = Make(40, 30, IMAGE_MODE_RGB, 8, 1);
    EXPECT_TRUE(Undo_SameLayout(a, Make(40, 30, IMAGE_MODE_RGB, 8, 1)));
    for (Image *b :
         {Make(41, 30, IMAGE_MODE_RGB, 8, 1), Make(40, 31, IMAGE_MODE_RGB, 8, 1),
          Make(40, 30, IMAGE_MODE_RGB, 8, 0), Make(40, 30, IMAGE_MODE_RGB, 16, 1), (Image *)nullptr})
        EXPECT_FALSE(Undo_SameLayout(a, b));
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

} // namespace
