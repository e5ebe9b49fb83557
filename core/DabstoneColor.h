// The engine's colours: the current colour, the two slots kept for colour
// planes and for single planes, and what the colour picker holds.
//
// The picker is the main window's colour picker (Colorer); the engine
// reads and resets it as the image and the plane change.
//
// Declared in core/Dabstone.h and defined here: Dabstone_SetColor.
#pragma once
#include "core/Dabstone.h"

// The picker's context space becomes `space` and its colour the given one
// (or its own) converted into it.
void Dabstone_PickerReset(int space, const ColorValue *color);
// The picker's colour, in its context space.
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
// The colour set into the picker, read back in its context space and made
// the current colour.
void Dabstone_PickColor(const ColorValue &color);
// The colour last given to Dabstone_SetColor, whole.
const ColorValue &Dabstone_ChosenColor();
// After an image change: the picker's context becomes the new image's
// colour mode with the colour slot, which takes the converted colour.
void Dabstone_ColorsForImage(const Image *image);
