// Placeholder of the colour picker until its module lands: keeps the colour and converts between GRAY, RGB and CMYK; no widgets but an empty form.
#pragma once
#include "xc/ColorValue.h"
#include <X11/Intrinsic.h>
#include <cstdint>
struct Image;
struct Colorer;
using ColorerCallback = void (*)(Colorer *colorer, XtPointer clientData, const ColorValue *colour);
struct ColorerContext { int32_t space; ColorValue colour; int32_t reserved; ColorerCallback callback; XtPointer clientData; };
enum { COLORER_TAKE_SPACE = 1, COLORER_TAKE_COLOR = 2, COLORER_TAKE_CALLBACK = 4 };
Colorer *Colorer_Create(Widget parent, const char *name, const ColorerContext *context, int flags);
void Colorer_Destroy(Colorer *);
Widget Colorer_Manager(const Colorer *);
void Colorer_ResetContext(Colorer *, int32_t space, const ColorValue *colourOrNull);
void Colorer_SetColor(Colorer *, const ColorValue *colour);
void Colorer_GetColor(const Colorer *, ColorValue *out);
void Colorer_SetImage(Colorer *, Image *swatch);
void Colorer_SetWheelImage(Colorer *, Image *wheel);
void Colorer_Convert(const ColorValue *src, ColorValue *dst);
