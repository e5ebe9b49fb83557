// The Tev2Tev tables whose destination is RGB 16-bit.
#include "xc/kernels/Walk.h"

template const Tev2TevTable *tev::Tables<tev::RGB, 16>();
