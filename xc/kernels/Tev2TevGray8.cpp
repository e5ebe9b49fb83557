// The Tev2Tev tables whose destination is grey 8-bit, and the fast kernel onto it.
#include "xc/kernels/Tev2TevWrite.h"

template const Tev2TevTable *tev::Tables<tev::GRAY, 8>();

void Tev2Tev_ConstantGRAY8(View *view, void *fillerData, Box *box)
{
    tev::ConstantAtScale1<tev::GRAY>(view, fillerData, box);
}
