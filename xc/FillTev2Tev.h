// The image-to-image fill object: copies, converts and composes the pixels of
// one store image into another through a view, under alpha and masks, with
// one of three operations (replace, over, under) and ordered dithering into
// 1-bit planes. It selects one two-slot kernel table (xc/kernels/Tev2Tev.h)
// whenever its options change and picks a slot, or the direct row copy, at
// every fill.
#pragma once
#include "core/Image.h"
#include "xc/ColorValue.h"
#include "xc/Fill.h"
#include "xc/View.h"

#include <cstdint>

struct Tev2TevTable;

enum {
    FT2T_OP_REPLACE = 1, // any value other than over and under
    FT2T_OP_OVER = 2,
    FT2T_OP_UNDER = 3
};
enum { FT2T_MODE_CST = 99 }; // srcMode of a constant-colour source

// Option record; the mask bits say which fields to take.
struct FillTev2TevOptions {
    double threshold;    // FT2T_TRESHOLD
    int32_t quality;     // FT2T_QUALITY: 1 area average when zoomed, else nearest
    int32_t srcPlane;    // FT2T_SRCPLANE: -1 all colour planes
    int32_t dstPlane;    // FT2T_DSTPLANE
    int32_t op;          // FT2T_OP
    int32_t floating;    // FT2T_FLOATING: the source colour is fgValues
    ColorValue fgValues; // FT2T_FGPIXEL
    Image *dstMask;      // FT2T_DSTMASK (with dstMaskPlane)
    int32_t dstMaskPlane;
    Image *srcMask; // FT2T_SRCMASK (with srcMaskPlane)
    int32_t srcMaskPlane;
    int32_t noSrcAlpha; // FT2T_NOSRCALPHA
    int32_t noDstAlpha; // FT2T_NODSTALPHA
    int32_t dithering;  // FT2T_DITHERING
};

enum {
    FT2T_TRESHOLD = 4,
    FT2T_QUALITY = 8,
    FT2T_SRCPLANE = 16,
    FT2T_DSTPLANE = 32,
    FT2T_OP = 64,
    FT2T_FLOATING = 256,
    FT2T_FGPIXEL = 512,
    FT2T_DSTMASK = 1024,
    FT2T_NOSRCALPHA = 2048,
    FT2T_NODSTALPHA = 4096,
    FT2T_SRCMASK = 8192,
    FT2T_DITHERING = 16384
};

// The filler's private record; the kernels read it. Never copied: the
// dither pointers may point at its own thresholds.
struct FillTev2TevData {
    Image *src, *dst;    // borrowed
    int32_t threshold8;  // trunc(threshold * 255)
    int32_t threshold16; // trunc(threshold * 65536)
    double threshold;    // in [0, 1]
    int32_t quality;
    int32_t srcPlane, dstPlane;
    int32_t op;
    int32_t floating;
    ColorValue fgValues;
    Image *srcMask, *dstMask; // 8-bit masks of the source's / destination's size
    int32_t srcMaskPlane, dstMaskPlane;
    int32_t noSrcAlpha, noDstAlpha;
    // Derived by the selection.
    int32_t srcShown, dstShown;           // plane read / written when single
    int32_t srcMode, dstMode;             // 1 grey, 2 RGB, 3 CMYK, 99 constant
    int32_t srcAlphaPlane, dstAlphaPlane; // 0 none
    int32_t srcDepth, dstDepth;           // 1, 8, 16; 0 for the constant
    int32_t canCopy;
    const double *weight;   // [a * 256 + d], null without alpha
    const uint8_t *opAlpha; // [a * 256 + d]
    // The kernels' copies, rows by destination alpha ([d * 256 + a]) so that
    // the cells of one destination alpha share cache lines: the weight, and
    // the alpha the pixel is left with (a where the weight is 1, d where it
    // is 0, else opAlpha).
    const double *weightByD;
    const uint8_t *alphaByD;
    const uint8_t *keepsAlpha; // [d]: 1 when no cell changes alpha d
    const uint8_t *mul;        // [a * 256 + b] = a * b / 255; with a mask only
    int32_t useAlpha;
    int32_t dithering;
    int32_t ditherW, ditherH;    // 16 x 16, or 1 x 1 for the fixed threshold
    const double *ditherFrac;    // [(x mod W) * 16 + (y mod H)]: M / 255
    const int32_t *ditherInt;    // M
    const int32_t *ditherInt256; // M * 256
    const Tev2TevTable *kernels; // null: the filler paints nothing
};

// Null when memory is short (nothing is left allocated).
Fill *FillTev2TevCreate(Image *src, Image *dst, const FillTev2TevOptions *options, int mask);
void FillTev2TevDestroy(Fill *filler);
void FillTev2TevSetOptions(Fill *filler, const FillTev2TevOptions *options, int mask);
void FillTev2TevSetTreshold1(Fill *filler, double t);
void FillTev2TevSetDithering(Fill *filler, int32_t dithering);
void FillTev2TevSetQuality(Fill *filler, int32_t quality);
void FillTev2TevSetOp(Fill *filler, int32_t op);
void FillTev2TevSetFloating(Fill *filler, int32_t floating);
void FillTev2TevSetSrcPlane(Fill *filler, int32_t plane);
void FillTev2TevSetDstPlane(Fill *filler, int32_t plane);
void FillTev2TevSetFgPixel(Fill *filler, const ColorValue *values);
// A mask of another size than the source (destination), or whose plane is
// not 8 bits deep, is dropped: no mask. Null clears.
void FillTev2TevSetSrcMask(Fill *filler, Image *mask, int32_t plane);
void FillTev2TevSetDstMask(Fill *filler, Image *mask, int32_t plane);

// The fill function: picks the averaged slot, the direct copy or the
// nearest slot for the part of the box both images can serve.
void FillTev2Tev_Fill(View *view, void *data, Box *box);
void FillTev2Tev_SelectKernels(FillTev2TevData *f);
void FillTev2Tev_DirectCopy(View *view, FillTev2TevData *f, const Box *box);

// Flat fills of one plane over a box (clipped to the image).
void FillTev2Tev_SetValue8(Image *image, int plane, const Box *box, int32_t value);
void FillTev2Tev_SetValue16(Image *image, int plane, const Box *box, int32_t value);
void FillTev2Tev_SetValue1(Image *image, int plane, const Box *box, int32_t bit);
// bit = 0 where value < ditherInt[(x mod ditherW) * 16 + (y mod ditherH)].
void FillTev2Tev_SetValue1_Dg(Image *image, int plane, const Box *box, int32_t value,
                              const FillTev2TevData *filler);
// Dithers only values other than 0 and 255 with the matrix on; else the
// plain threshold8 test.
void FillTev2Tev_SetValue1_Gen(Image *image, int plane, const Box *box, int32_t value,
                               const FillTev2TevData *filler);
// Every plane p to values[p], by its storage bits.
void FillTev2Tev_SetBg(Image *image, const Box *box, const int32_t *values);

// Process-wide tables, built once on first need.
void InitDithering();
struct FillTev2TevOpTables {
    const double *weight;      // [a * 256 + d]
    const uint8_t *opAlpha;    // [a * 256 + d]
    const double *weightByD;   // [d * 256 + a]
    const uint8_t *alphaByD;   // [d * 256 + a], the alpha left
    const uint8_t *keepsAlpha; // [d]: 1 when every cell of row d leaves d
};
// op 2 over, 3 under, anything else replace.
FillTev2TevOpTables FillTev2Tev_OpTables(int32_t op);
const uint8_t *FillTev2Tev_MulTable();
// The 16 x 16 matrix M[x][y] (row x, column y), values 1 .. 253.
const int32_t *FillTev2Tev_DitherInt();
const int32_t *FillTev2Tev_DitherInt256();
const double *FillTev2Tev_DitherFrac();
// 128, 64, ..., 1: the bit of column x mod 8.
extern const uint8_t FillTev2Tev_BitMask[8];
