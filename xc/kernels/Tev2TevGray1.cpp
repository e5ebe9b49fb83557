// The Tev2Tev tables whose destination is grey 1-bit.
#include "xc/kernels/Tev2TevWrite.h"

template const Tev2TevTable *tev::Tables<tev::GRAY, 1>();
