#include "brush/Pipette.h"

#include "tests/TestStore.h"

namespace
{

using Pipette = TempStore;

ColorValue Picker()
{
    ColorValue c{};
    c.mode = COLOR_RGB;
    c.red = 7, c.green = 8, c.blue = 9;
    c.cyan = 10, c.magenta = 11, c.yellow = 12, c.black = 13;
    c.hue = 14, c.saturation = 15, c.value = 16, c.grey = 17, c.spare = 18;
    return c;
}

TEST_F(Pipette, GreyPlaneFillsTheGreyWordAndKeepsTheRest)
{
    Image *img = Make(10, 5, IMAGE_MODE_GREY, 8);
    Image_SetSample(img, 0, 3, 4, 200);
    ColorValue p = Picker(), c{};
    ASSERT_EQ(Work_PickColor(img, -1, 3, 4, &p, &c), 1);
    ColorValue want = p;
    want.mode = COLOR_GRAY;
    want.grey = 200;
    EXPECT_EQ(0, memcmp(&c, &want, sizeof c));
    ASSERT_EQ(Work_PickColor(img, 0, 3, 4, &p, &c), 1);
    EXPECT_EQ(0, memcmp(&c, &want, sizeof c));
}

TEST_F(Pipette, RgbAllPlanesOnePlaneAndTheAlphaPlane)
{
    Image *img = Make(6, 6, IMAGE_MODE_RGB, 8, 1);
    const int values[] = {21, 22, 23, 99};
    for (int pl = 0; pl < 4; ++pl)
        Image_SetSample(img, pl, 5, 2, uint32_t(values[pl]));
    ColorValue p = Picker(), c{};

    ASSERT_EQ(Work_PickColor(img, -1, 5, 2, &p, &c), 1);
    EXPECT_EQ(c.mode, COLOR_RGB);
    EXPECT_EQ(c.red, 21);
    EXPECT_EQ(c.green, 22);
    EXPECT_EQ(c.blue, 23);
    EXPECT_EQ(c.grey, 17); // untouched picker words

    // Green plane only: red and blue stay the picker's.
    ASSERT_EQ(Work_PickColor(img, 1, 5, 2, &p, &c), 1);
    EXPECT_EQ(c.red, 7);
    EXPECT_EQ(c.green, 22);
    EXPECT_EQ(c.blue, 9);

    // The alpha plane gives a fresh grey colour holding the alpha.
    ASSERT_EQ(Work_PickColor(img, 3, 5, 2, &p, &c), 1);
    ColorValue grey{};
    grey.mode = COLOR_GRAY;
    grey.grey = 99;
    EXPECT_EQ(0, memcmp(&c, &grey, sizeof c));
}

TEST_F(Pipette, CmykSixteenBitsReadsTheHighBytes)
{
    Image *img = Make(4, 4, IMAGE_MODE_CMYK, 16);
    const uint32_t values[] = {0x1234, 0xFF01, 0x00FF, 0x8000};
    for (int pl = 0; pl < 4; ++pl)
        Image_SetSample(img, pl, 1, 3, values[pl]);
    ColorValue p = Picker(), c{};
    ASSERT_EQ(Work_PickColor(img, -1, 1, 3, &p, &c), 1);
    EXPECT_EQ(c.mode, COLOR_CMYK);
    EXPECT_EQ(c.cyan, 0x12);
    EXPECT_EQ(c.magenta, 0xFF);
    EXPECT_EQ(c.yellow, 0x00);
    EXPECT_EQ(c.black, 0x80);
    EXPECT_EQ(c.red, 7);
    // Plane 2 alone.
    ASSERT_EQ(Work_PickColor(img, 2, 1, 2, &p, &c), 1);
    EXPECT_EQ(c.cyan, 10);
    EXPECT_EQ(c.yellow, 0);
}

TEST_F(Pipette, OneBitPlanesGiveFullOrNothing)
{
    Image *img = Make(13, 2, IMAGE_MODE_GREY, 1, 0, 1, 16); // 1-bit grey, 16-bit extra
    Image_SetSample(img, 0, 9, 1, 1);
    Image_SetSample(img, 1, 9, 1, 0xAB00);
    ColorValue p = Picker(), c{};
    ASSERT_EQ(Work_PickColor(img, -1, 9, 1, &p, &c), 1);
    EXPECT_EQ(c.grey, 255);
    ASSERT_EQ(Work_PickColor(img, -1, 8, 1, &p, &c), 1);
    EXPECT_EQ(c.grey, 0);
    ASSERT_EQ(Work_PickColor(img, 1, 9, 1, &p, &c), 1); // the extra plane
    EXPECT_EQ(c.mode, COLOR_GRAY);
    EXPECT_EQ(c.grey, 0xAB);
}

TEST_F(Pipette, OutsideTheImageOrPastTheLastPlaneChangesNothing)
{
    Image *img = Make(8, 8, IMAGE_MODE_RGB, 8);
    ColorValue p = Picker(), c = Picker();
    c.red = 123;
    const int points[][2] = {{-1, 0}, {0, -1}, {8, 0}, {0, 8}};
    for (auto &pt : points)
        EXPECT_EQ(Work_PickColor(img, -1, pt[0], pt[1], &p, &c), 0);
    EXPECT_EQ(Work_PickColor(img, 3, 1, 1, &p, &c), 0); // no plane 3
    EXPECT_EQ(c.red, 123);
}

} // namespace
