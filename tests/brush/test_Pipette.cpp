#include "brush/Pipette.h"

#include "tests/TestStore.h"

namespace
{

using Pipette = TempStore;

// The picker's colour before a pick: every word set, to see which change.
ColorValue Picker()
{
    return ColorValue{COLOR_RGB, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18};
}

// The colour picked at (x, y) of one plane (or all: -1).
ColorValue Pick(Image *img, int plane, int x, int y)
{
    const ColorValue p = Picker();
    ColorValue c{};
    EXPECT_EQ(Work_PickColor(img, plane, x, y, &p, &c), 1);
    return c;
}

bool Same(const ColorValue &a, const ColorValue &b)
{
    return std::memcmp(&a, &b, sizeof a) == 0;
}

TEST_F(Pipette, GreyPlaneFillsTheGreyWordAndKeepsTheRest)
{
    Image *img = Make(10, 5, IMAGE_MODE_GREY, 8);
    Image_SetSample(img, 0, 3, 4, 200);
    ColorValue want = Picker();
    want.mode = COLOR_GRAY;
    want.grey = 200;
    EXPECT_TRUE(Same(Pick(img, -1, 3, 4), want));
    EXPECT_TRUE(Same(Pick(img, 0, 3, 4), want));
}

TEST_F(Pipette, RgbAllPlanesOnePlaneAndTheAlphaPlane)
{
    Image *img = Make(6, 6, IMAGE_MODE_RGB, 8, 1);
    const int values[] = {21, 22, 23, 99};
    for (int pl = 0; pl < 4; ++pl)
        Image_SetSample(img, pl, 5, 2, uint32_t(values[pl]));
    ColorValue c = Pick(img, -1, 5, 2);
    EXPECT_EQ(c.mode, COLOR_RGB);
    EXPECT_EQ((std::vector<int>{c.red, c.green, c.blue, c.grey}), (std::vector<int>{21, 22, 23, 17}));
    // Green plane only: red and blue stay the picker's.
    c = Pick(img, 1, 5, 2);
    EXPECT_EQ((std::vector<int>{c.red, c.green, c.blue}), (std::vector<int>{7, 22, 9}));
    // The alpha plane gives a fresh grey colour holding the alpha.
    EXPECT_TRUE(Same(Pick(img, 3, 5, 2), ColorValue{COLOR_GRAY, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 99, 0}));
}

TEST_F(Pipette, CmykSixteenBitsReadsTheHighBytes)
{
    Image *img = Make(4, 4, IMAGE_MODE_CMYK, 16);
    const uint32_t values[] = {0x1234, 0xFF01, 0x00FF, 0x8000};
    for (int pl = 0; pl < 4; ++pl)
        Image_SetSample(img, pl, 1, 3, values[pl]);
    ColorValue c = Pick(img, -1, 1, 3);
    EXPECT_EQ(c.mode, COLOR_CMYK);
    EXPECT_EQ((std::vector<int>{c.cyan, c.magenta, c.yellow, c.black, c.red}),
              (std::vector<int>{0x12, 0xFF, 0x00, 0x80, 7}));
    c = Pick(img, 2, 1, 2); // plane 2 alone
    EXPECT_EQ(std::pair(c.cyan, c.yellow), std::pair(10, 0));
}

TEST_F(Pipette, OneBitPlanesGiveFullOrNothing)
{
    Image *img = Make(13, 2, IMAGE_MODE_GREY, 1, 0, 1, 16); // 1-bit grey, 16-bit extra
    Image_SetSample(img, 0, 9, 1, 1);
    Image_SetSample(img, 1, 9, 1, 0xAB00);
    EXPECT_EQ(Pick(img, -1, 9, 1).grey, 255);
    EXPECT_EQ(Pick(img, -1, 8, 1).grey, 0);
    const ColorValue extra = Pick(img, 1, 9, 1);
    EXPECT_EQ(std::pair(extra.mode, extra.grey), std::pair(int(COLOR_GRAY), 0xAB));
}

TEST_F(Pipette, OutsideTheImageOrPastTheLastPlaneChangesNothing)
{
    Image *img = Make(8, 8, IMAGE_MODE_RGB, 8);
    ColorValue p = Picker(), c = Picker();
    c.red = 123;
    const int points[][3] = {{-1, -1, 0}, {-1, 0, -1}, {-1, 8, 0}, {-1, 0, 8}, {3, 1, 1}}; // plane, x, y
    for (auto &pt : points)
        EXPECT_EQ(Work_PickColor(img, pt[0], pt[1], pt[2], &p, &c), 0);
    EXPECT_EQ(c.red, 123);
}

} // namespace
