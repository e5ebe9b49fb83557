// The colour pipette tool and the rebuilding of the current brush into a
// new image: two more operations of the brush engine's Work module.
#pragma once
#include "xc/ColorValue.h"

struct Image;

// Pipette tool handler, called by the engine with (client data, event
// record of 1037). A press or a release picks the colour under the pointer;
// a motion picks while button 1 is held. The picked colour goes through the
// colour picker (for its own conversion) into the engine's current colour.
void Work_Pipette(void *engine, const unsigned char *event);

// Draws the current brush (the user brush image, or the built-in shape in
// the current colour) into the new image. 1 on success, 0 when there is
// nothing to draw.
int Work_Rebuild(Image *image);

// ---- The pick, on any image ----

// The value 0..255 of a sample: 255 or 0 for a 1-bit plane, the byte for 8
// bits, the high byte for 16 (and 32) bits.
int Work_SampleValue(const Image *image, int plane, int x, int y);
// The colour at (x, y) as the pipette picks it with current plane `plane`
// (-1 for all planes): for a colour plane (or all), the picker's colour in
// the image's colour mode with the word of each picked plane replaced; for
// the alpha or an extra plane, a grey colour holding that plane's value.
// 1 and *out set when (x, y) lies in the image, else 0 and *out untouched.
int Work_PickColor(const Image *image, int plane, int x, int y, const ColorValue *picker, ColorValue *out);
