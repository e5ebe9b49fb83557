#include "brush/Pipette.h"

#include "PaintEngine.h"

namespace
{

using Pipette = TempStore;

// The picker's colour before a pick: every word set, to see which change.
const ColorValue kPicker{COLOR_RGB, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18};

// mode, r, g, b, c, m, y, k, h, s, v, grey, spare
std::vector<int32_t> Words(const ColorValue &c)
{
    const int32_t *w = &c.mode;
    return {w, w + 13};
}

// What a pick of one plane (or all: -1) changes in the picker's colour:
// the mode and the words of the planes read, at 8 bits (16-bit samples by
// their high byte, 1-bit ones full or nothing); an alpha or extra plane
// gives a fresh grey colour.
TEST_F(Pipette, PickChangesTheWordsOfThePlanesRead)
{
    Image *grey = Make(13, 2, IMAGE_MODE_GREY, 1, 0, 1, 16); // 1-bit grey, 16-bit extra
    Image *rgba = Make(6, 6, IMAGE_MODE_RGB, 8, 1);
    Image *cmyk = Make(4, 4, IMAGE_MODE_CMYK, 16);
    Image_SetSample(grey, 0, 9, 1, 1);
    Image_SetSample(grey, 1, 9, 1, 0xAB00);
    const uint32_t rgbaValues[] = {21, 22, 23, 99}, cmykValues[] = {0x1234, 0xFF01, 0x00FF, 0x8000};
    for (int p = 0; p < 4; ++p) {
        Image_SetSample(rgba, p, 5, 2, rgbaValues[p]);
        Image_SetSample(cmyk, p, 1, 3, cmykValues[p]);
    }
    const struct {
        Image *img;
        int plane, x, y;
        std::vector<int32_t> want;
    } cases[] = {
        {grey, -1, 9, 1, {COLOR_GRAY, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 255, 18}},
        {grey, 0, 8, 1, {COLOR_GRAY, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 0, 18}},
        {grey, 1, 9, 1, {COLOR_GRAY, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xAB, 0}},
        {rgba, -1, 5, 2, {COLOR_RGB, 21, 22, 23, 10, 11, 12, 13, 14, 15, 16, 17, 18}},
        {rgba, 1, 5, 2, {COLOR_RGB, 7, 22, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18}},
        {rgba, 3, 5, 2, {COLOR_GRAY, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 99, 0}},
        {cmyk, -1, 1, 3, {COLOR_CMYK, 7, 8, 9, 0x12, 0xFF, 0x00, 0x80, 14, 15, 16, 17, 18}},
        {cmyk, 2, 1, 2, {COLOR_CMYK, 7, 8, 9, 10, 11, 0, 13, 14, 15, 16, 17, 18}},
    };
    for (const auto &t : cases) {
        ColorValue c{};
        EXPECT_EQ(Work_PickColor(t.img, t.plane, t.x, t.y, &kPicker, &c), 1);
        EXPECT_EQ(Words(c), t.want) << "plane " << t.plane << " of a mode " << Image_Mode(t.img) << " image";
    }
    // Outside the image or past the last plane: nothing.
    ColorValue c = kPicker;
    c.red = 123;
    for (auto [plane, x, y] : {std::tuple{-1, -1, 0}, {-1, 0, -1}, {-1, 6, 0}, {-1, 0, 6}, {4, 1, 1}})
        EXPECT_EQ(Work_PickColor(rgba, plane, x, y, &kPicker, &c), 0);
    EXPECT_EQ(c.red, 123);
}

using Rebuild = PaintEngine;

// A user brush kind without its image has nothing to draw: 0, and the new
// image keeps every byte (the built-in shape was drawn in its place).
TEST_F(Rebuild, UserKindWithoutImageDrawsNothing)
{
    Image *image = Make(31, 31, IMAGE_MODE_GREY, 8, 1);
    Noise(image, 3);
    const std::vector<uint32_t> before = Samples(image);
    G_dabstone->brushKind = DAB_BRUSH_USER;
    G_dabstone->userBrush = nullptr;
    EXPECT_EQ(Work_Rebuild(image), 0);
    EXPECT_EQ(Samples(image), before);
}

} // namespace
