// The Tev2X tables of the CST sources, on both X image formats.
#include "xc/kernels/Tev2XWrite.h"

template const Tev2XTable *tev::XTables<tev::CST, TEV2X_PSEUDO>();
template const Tev2XTable *tev::XTables<tev::CST, TEV2X_TRUE>();
