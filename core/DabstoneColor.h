// The engine's colours: the current colour, the two slots kept for colour
// planes and for single planes, and what the colour picker holds.
//
// Least form until the colour picker exists: the picker's colour, its
// context space and its conversions between GRAY, RGB and CMYK are kept
// here as the picker would keep them, so that the engine reads and resets
// "the picker" exactly where it will call Colorer_GetColor and
// Colorer_ResetContext.
//
// Declared in core/Dabstone.h and defined here: Dabstone_SetColor.
#pragma once
#include "core/Dabstone.h"

// The colour record converted into the colour space `space` (GRAY, RGB or
// CMYK; any other space leaves it as it is), by the picker's rules.
ColorValue Dabstone_ConvertColor(const ColorValue &color, int space);

// Colorer_ResetContext: the picker's space becomes `space` and its colour
// the given one (or its own) converted into it.
void Dabstone_PickerReset(int space, const ColorValue *color);
// Colorer_GetColor: the picker's colour, in its context space.
ColorValue Dabstone_PickerColor();

// 1 when colour planes are edited: no image, all planes or a colour plane.
int Dabstone_EditingColorPlanes();
// The picker's colour into the slot of the plane kind being edited.
void Dabstone_SaveColorToSlot(int colorPlanes);
// The picker's default colour in the colour slot and as current colour.
void Dabstone_InitColors();
// The picker set to `slot` in `space`, read back and made the current
// colour (Dabstone_SetColor).
void Dabstone_PickSlot(int space, const ColorValue &slot);
// After an image change: the picker's context becomes the new image's
// colour mode with the colour slot, which takes the converted colour.
void Dabstone_ColorsForImage(const Image *image);
