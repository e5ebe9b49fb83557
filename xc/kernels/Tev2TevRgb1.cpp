// The Tev2Tev tables whose destination is RGB 1-bit.
#include "xc/kernels/Tev2TevWrite.h"

template const Tev2TevTable *tev::Tables<tev::RGB, 1>();
