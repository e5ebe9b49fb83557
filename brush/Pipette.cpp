#include "brush/Pipette.h"

#include "core/Image.h"

#include <algorithm>

namespace
{

// Reader of one depth: the sample at x of a row as a value 0..255.
using Reader = int (*)(const unsigned char *row, int x);

int Read1(const unsigned char *row, int x) { return (row[x >> 3] >> (7 - (x & 7))) & 1 ? 255 : 0; }
int Read8(const unsigned char *row, int x) { return row[x]; }
// 16- and 32-bit samples are big-endian: the first byte is the high one.
int Read16(const unsigned char *row, int x) { return row[2 * x]; }
int Read32(const unsigned char *row, int x) { return row[4 * x]; }

Reader ReaderOf(int bits)
{
    switch (bits) {
    case 1:
        return Read1;
    case 16:
        return Read16;
    case 32:
        return Read32;
    default:
        return Read8;
    }
}

// The words that the colour planes of each mode fill, in plane order.
struct ModeWords {
    int count;
    int32_t ColorValue::*word[4];
};

const ModeWords *WordsOf(int mode)
{
    static const ModeWords grey{1, {&ColorValue::grey}};
    static const ModeWords rgb{3, {&ColorValue::red, &ColorValue::green, &ColorValue::blue}};
    static const ModeWords cmyk{4, {&ColorValue::cyan, &ColorValue::magenta, &ColorValue::yellow, &ColorValue::black}};
    switch (mode) {
    case COLOR_GRAY:
        return &grey;
    case COLOR_RGB:
        return &rgb;
    case COLOR_CMYK:
        return &cmyk;
    default:
        return nullptr;
    }
}

} // namespace

int Work_SampleValue(const Image *image, int plane, int x, int y)
{
    return ReaderOf(Image_PlaneBits(image, plane))(Image_Row(image, plane, y), x);
}

int Work_PickColor(const Image *image, int plane, int x, int y, const ColorValue *picker, ColorValue *out)
{
    if (x < 0 || y < 0 || x >= Image_Width(image) || y >= Image_Height(image) || plane >= Image_Planes(image))
        return 0;
    int colourPlanes = Image_ColorPlanes(image);
    if (plane >= colourPlanes) {
        // Alpha or extra plane: its own value, as a grey.
        ColorValue c{};
        c.mode = COLOR_GRAY;
        c.grey = Work_SampleValue(image, plane, x, y);
        *out = c;
        return 1;
    }
    const ModeWords *words = WordsOf(Image_Mode(image));
    if (!words)
        return 0;
    // Every colour plane is read with the reader of plane 0's depth.
    Reader read = ReaderOf(Image_PlaneBits(image, 0));
    ColorValue c = *picker;
    c.mode = Image_Mode(image);
    for (int p = 0; p < std::min(words->count, colourPlanes); ++p)
        if (plane < 0 || plane == p)
            c.*(words->word[p]) = read(Image_Row(image, p, y), x);
    *out = c;
    return 1;
}

// Least form until the engine state exists: the pipette picks nothing yet.
void Work_Pipette(void *, const unsigned char *) {}
