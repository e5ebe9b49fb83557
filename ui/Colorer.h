// The colour picker strip of the main window: a swatch, four integer
// sliders, four colour-space toggles (RGB, CMYK, HSV, GRAY) and a hue and
// saturation wheel. It converts between the spaces and reports the colour
// to its client in the context space (the colour model of the client's
// image). Without a parent it keeps colour, context and conversions only.
#pragma once
#include "xc/ColorValue.h"

#include <X11/Intrinsic.h>
#include <cstdint>

struct Colorer;
struct Image;

// Called when the user changes the colour, with the colour in the context space.
using ColorerCallback = void (*)(Colorer *colorer, XtPointer clientData, const ColorValue *colour);

// What Colorer_Create may take, as the flags below select.
struct ColorerContext {
    int32_t space;
    ColorValue colour;
    int32_t reserved;
    ColorerCallback callback;
    XtPointer clientData;
};
enum { COLORER_TAKE_SPACE = 1, COLORER_TAKE_COLOR = 2, COLORER_TAKE_CALLBACK = 4 };

// A new picker, current colour RGB black in an RGB context unless the
// context record says otherwise; the manager form (named `name`) is left
// unmanaged. Parent null: no widgets. Null when memory is short.
Colorer *Colorer_Create(Widget parent, const char *name, const ColorerContext *context, int flags);
// Destroys the widgets still alive and frees the record; not from one of
// the picker's own callbacks, since the toolkit would destroy them later.
void Colorer_Destroy(Colorer *colorer);
Widget Colorer_Manager(const Colorer *colorer);
// Nothing when the space is the context's and no colour is given; otherwise
// the colour (or the picker's own) converted into `space` becomes current,
// `space` the context, and its toggle is selected.
void Colorer_ResetContext(Colorer *colorer, int32_t space, const ColorValue *colourOrNull);
// Shows the colour in the displayed space, without calling back.
void Colorer_SetColor(Colorer *colorer, const ColorValue *colour);
// The current colour in the context space.
void Colorer_GetColor(const Colorer *colorer, ColorValue *out);
// The swatch (an RGB 10 x 10 work image), filled with the current colour.
void Colorer_SetImage(Colorer *colorer, Image *swatch);
// The wheel (a work image with alpha, 89 x 89): drawn, shown and made to
// answer button 1.
void Colorer_SetWheelImage(Colorer *colorer, Image *wheel);
// Converts src into the space dst->mode names; words that conversion does
// not produce keep dst's values (HSV writes hue, saturation and value only).
void Colorer_Convert(const ColorValue *src, ColorValue *dst);
