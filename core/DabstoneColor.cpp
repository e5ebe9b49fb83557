#include "core/DabstoneColor.h"

#include "core/DabstoneLink.h"
#include "core/Image.h"
#include "core/Msg.h"
#include "ui/Interface.h"

#include <algorithm>

namespace
{

GG_Dabstone &E()
{
    return *G_dabstone;
}

// The picker starts as RGB black in an RGB context.
constexpr ColorValue kPickerDefault{COLOR_RGB, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
ColorValue picker = kPickerDefault;

int Floor0(int v)
{
    return std::max(0, v);
}

} // namespace

ColorValue Dabstone_ConvertColor(const ColorValue &c, int space)
{
    const bool known = space == COLOR_GRAY || space == COLOR_RGB || space == COLOR_CMYK;
    if (c.mode == space || !known)
        return c;
    ColorValue o = c;
    o.mode = space;
    const int from = c.mode;
    if (from == COLOR_GRAY && space == COLOR_RGB) {
        o.red = o.green = o.blue = c.grey;
    } else if (from == COLOR_GRAY) {
        o.cyan = o.magenta = o.yellow = 0;
        o.black = 255 - c.grey;
    } else if (from == COLOR_RGB && space == COLOR_GRAY) {
        o.grey = (c.red + c.green + c.blue) / 3;
    } else if (from == COLOR_RGB) {
        o.cyan = 255 - c.red, o.magenta = 255 - c.green, o.yellow = 255 - c.blue, o.black = 0;
    } else if (from == COLOR_CMYK && space == COLOR_GRAY) {
        o.grey = Floor0(255 - (c.cyan + c.magenta + c.yellow) / 3 - c.black);
    } else if (from == COLOR_CMYK) {
        o.red = Floor0(255 - (c.cyan + c.black));
        o.green = Floor0(255 - (c.magenta + c.black));
        o.blue = Floor0(255 - (c.yellow + c.black));
    }
    return o;
}

void Dabstone_PickerReset(int space, const ColorValue *color)
{
    if (space == picker.mode && !color)
        return;
    picker = Dabstone_ConvertColor(color ? *color : picker, space);
}

ColorValue Dabstone_PickerColor()
{
    return picker;
}

int Dabstone_EditingColorPlanes()
{
    const GG_Dabstone &e = E();
    return !e.image || e.plane == -1 || e.plane < Image_ColorPlanes(e.image);
}

void Dabstone_SaveColorToSlot(int colorPlanes)
{
    (colorPlanes ? E().colorSlot : E().singleSlot) = Dabstone_PickerColor();
}

void Dabstone_InitColors()
{
    picker = kPickerDefault;
    E().colorSlot = E().color = picker;
}

void Dabstone_PickSlot(int space, const ColorValue &slot)
{
    Dabstone_PickerReset(space, &slot);
    const ColorValue c = Dabstone_PickerColor();
    Dabstone_SetColor(&c);
}

void Dabstone_ColorsForImage(const Image *image)
{
    GG_Dabstone &e = E();
    Dabstone_PickerReset(image ? Image_Mode(image) : COLOR_RGB, &e.colorSlot);
    e.colorSlot = e.color = Dabstone_PickerColor();
}

void Dabstone_SetColor(const ColorValue *color)
{
    GG_Dabstone &e = E();
    // The picker shows what was chosen; only the current colour is cut
    // down to the one component of a single colour plane.
    picker = *color;
    e.color = *color;
    if (e.image && e.plane >= 0 && e.plane < Image_ColorPlanes(e.image)) {
        const ColorValue &c = *color;
        int32_t v = c.grey;
        if (Image_Mode(e.image) == IMAGE_MODE_RGB)
            v = e.plane == 0 ? c.red : e.plane == 1 ? c.green : c.blue;
        else if (Image_Mode(e.image) == IMAGE_MODE_CMYK)
            v = e.plane == 0 ? c.cyan : e.plane == 1 ? c.magenta : e.plane == 2 ? c.yellow : c.black;
        e.color.mode = COLOR_GRAY;
        e.color.grey = v;
    }
    if (e.floating) {
        Dabstone_SendBrushChange(MSG_BRC_COLOR);
        Interface_SetBrushColor(&e.color);
    }
}
