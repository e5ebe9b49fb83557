// The Tev2Tev tables whose destination is RGB 8-bit.
#include "xc/kernels/Walk.h"

template const Tev2TevTable *tev::Tables<tev::RGB, 8>();
