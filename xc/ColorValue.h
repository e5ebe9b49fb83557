// The one colour record of the program: the engine's current colour and
// slots, the brush description's colour, the constant colour of the
// image-to-image fill and the picture widget's cursor colour. 13 words.
#pragma once
#include <cstdint>

enum { COLOR_GRAY = 1, COLOR_RGB = 2, COLOR_CMYK = 3, COLOR_HSV = 98 };

struct ColorValue {
    int32_t mode;                         // COLOR_*
    int32_t red, green, blue;             // 0..255
    int32_t cyan, magenta, yellow, black; // 0..255
    int32_t hue, saturation, value;       // 0..360, 0..100, 0..100
    int32_t grey;                         // 0..255
    int32_t spare;                        // target of a space's empty channels
};
static_assert(sizeof(ColorValue) == 13 * 4);
