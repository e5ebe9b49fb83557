// The Tev2Tev tables whose destination is RGB 8-bit, and the fast kernel onto it.
#include "xc/kernels/Tev2TevWrite.h"

template const Tev2TevTable *tev::Tables<tev::RGB, 8>();

void Tev2Tev_ConstantRGB8(View *view, void *fillerData, Box *box)
{
    tev::ConstantAtScale1<tev::RGB>(view, fillerData, box);
}
