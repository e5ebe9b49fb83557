// The Tev2Tev tables whose destination is CMYK 8-bit.
#include "xc/kernels/Tev2TevWrite.h"

template const Tev2TevTable *tev::Tables<tev::CMYK, 8>();
