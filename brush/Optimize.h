// The fast kernels of the brush engine. A stroke paints a floating colour
// through a brush image's alpha at scale 1 into an 8-bit image; these two
// kernels run the fill object's constant-colour walk (same tables, same
// doubles, same bytes) straight on the box, without its dispatch and
// clipping: the stroke work has clipped the box already.
#pragma once
#include "xc/Fill.h"

struct Box;
struct View;

// Global switch of the fast kernels; on by default.
extern int POPTIMIZE;

// Kernels (view, filler data of a FillTev2Tev, destination box): planes 0, 1
// and 2 with red, green and blue / the fill's one destination plane with grey.
void OptimizeRGB(View *view, void *data, Box *box);
void OptimizeGRAY(View *view, void *data, Box *box);

enum { OPTIMIZE_NONE = 0, OPTIMIZE_RGB = 1, OPTIMIZE_GRAY = 2 };

// Which fast kernel fits an image-to-image filler as it is now selected:
// floating colour, a source with alpha and no source mask, an 8-bit
// destination, and an RGB colour onto the three colour planes or a grey
// value onto one plane. OPTIMIZE_NONE when the switch is off or none fits.
int Optimize_Choose(const Fill *filler);
// Puts the chosen kernel in place of the filler's own (both slots). Must be
// repeated after anything that makes the filler reselect its kernels.
void Optimize_Install(Fill *filler, int kind);
