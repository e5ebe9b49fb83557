#include "xc/Fill.h"

#include <cstdlib>

Fill *FillCreate()
{
    return static_cast<Fill *>(std::calloc(1, sizeof(Fill)));
}

void FillDestroy(Fill *fill)
{
    std::free(fill);
}
