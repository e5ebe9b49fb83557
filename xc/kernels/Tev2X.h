// The image-to-X kernel tables: one table of six kernels per source format
// and X image format, named Tev2X_ + source word + _ + visual word
// ("Tev2X_RGBALPHA8_TRUECNOALPHA8", "Tev2X_CSTNOALPHA8_PSEUDOCNOALPHA8").
// The FillTev2X dispatcher picks the slot.
#pragma once
#include <cstddef>

struct Box;
struct View;

using Tev2XKernel = void (*)(View *view, void *fillerData, Box *box);

enum {
    TEV2X_NEAREST = 0,        // zoomed, every pixel its nearest source pixel
    TEV2X_COPY = 1,           // unzoomed, every pixel
    TEV2X_BLOCKS = 2,         // partial pass: each block replicates its corner's pixel
    TEV2X_SPARSE = 3,         // partial pass: one nearest pixel per block
    TEV2X_SPARSE_AVERAGE = 4, // partial pass: one averaged pixel per block
    TEV2X_AVERAGE = 5         // zoomed, every pixel the average of the area it covers
};

enum { TEV2X_PSEUDO = 0, TEV2X_TRUE = 1 }; // the X image formats, in table order

struct Tev2XTable {
    char name[48];
    Tev2XKernel slot[6];
};

// The table of a source (mode 1 grey, 2 RGB, 3 CMYK at depth 1, 8 or 16;
// 99 the constant colour at depth 8) on an X image format; null when there
// is none.
const Tev2XTable *Tev2X_Select(int mode, int depth, bool alpha, int format);
// The name of that table; false when the words do not exist.
bool Tev2X_Name(char *out, size_t size, int mode, int depth, bool alpha, int format);
// Every table, for tests: count and the i-th table.
int Tev2X_Count();
const Tev2XTable *Tev2X_At(int i);
