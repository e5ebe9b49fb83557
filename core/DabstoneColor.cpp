#include "core/DabstoneColor.h"

#include "core/DabstoneLink.h"
#include "core/Image.h"
#include "core/Msg.h"
#include "ui/Colorer.h"
#include "ui/Interface.h"

#include <algorithm>

namespace
{

GG_Dabstone &E()
{
    return *G_dabstone;
}

// The colour last given to the engine, as given.
ColorValue chosen{COLOR_RGB, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};

// The main window's picker; a program without a window (the engine's tests)
// keeps the colours in a picker without widgets.
Colorer *Picker()
{
    static Colorer *windowless = Colorer_Create(nullptr, "colorer", nullptr, 0);
    return E().colorer ? E().colorer : windowless;
}

} // namespace

void Dabstone_PickerReset(int space, const ColorValue *color)
{
    Colorer_ResetContext(Picker(), space, color);
}

ColorValue Dabstone_PickerColor()
{
    ColorValue c;
    Colorer_GetColor(Picker(), &c);
    return c;
}

const ColorValue &Dabstone_ChosenColor()
{
    return chosen;
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
    const ColorValue black{COLOR_RGB, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    Dabstone_PickerReset(COLOR_RGB, &black);
    E().colorSlot = E().color = chosen = Dabstone_PickerColor();
}

void Dabstone_PickSlot(int space, const ColorValue &slot)
{
    Dabstone_PickerReset(space, &slot);
    const ColorValue c = Dabstone_PickerColor();
    Dabstone_SetColor(&c);
}

void Dabstone_PickColor(const ColorValue &color)
{
    Colorer_SetColor(Picker(), &color);
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
    // Only the current colour is cut down to the one component of a single
    // colour plane; the picker keeps the whole colour.
    chosen = *color;
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
