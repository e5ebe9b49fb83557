// The Tev2X tables of the RGB sources, on both X image formats.
#include "xc/kernels/Tev2XWrite.h"

template const Tev2XTable *tev::XTables<tev::RGB, TEV2X_PSEUDO>();
template const Tev2XTable *tev::XTables<tev::RGB, TEV2X_TRUE>();
