// The image-to-image kernel tables: one table of two kernels per combination
// of source format and destination format, named Tev2Tev_ + source word + _ +
// destination word ("Tev2Tev_RGBALPHA8_CMYKALPHA16",
// "Tev2Tev_CSTNOALPHA8_GRAYALPHA16"). Slot 0 takes the nearest source pixel,
// slot 1 averages the source area under each destination pixel.
#pragma once
#include <cstddef>

struct Box;
struct View;

using Tev2TevKernel = void (*)(View *view, void *fillerData, Box *box);

enum { TEV2TEV_NEAREST = 0, TEV2TEV_AVERAGE = 1 };

struct Tev2TevTable {
    char name[40];
    Tev2TevKernel slot[2];
};

// The table of that name, or null when the combination has none.
const Tev2TevTable *Tev2Tev_Find(const char *name);
// The name of a table: mode 1 grey, 2 RGB, 3 CMYK, 99 constant colour (whose
// destination word always carries ALPHA); false when the words do not exist.
bool Tev2Tev_Name(char *out, size_t size, int srcMode, int srcDepth, int dstMode, int dstDepth, bool alpha);
// Every table, for tests: count and the i-th table.
int Tev2Tev_Count();
const Tev2TevTable *Tev2Tev_At(int i);
