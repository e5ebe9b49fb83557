// The image-to-X fill objects: FillTev2X paints an area of a store image
// into an XcImage through a view (any zoom, nearest or averaged, partial
// passes for coarse-to-fine refinement, alpha over a background pixel or
// over what the X image holds, one plane as grey, a flat colour through the
// alpha); FillNull2X paints the no man's land in one pixel. FillTev2X selects
// one six-slot kernel table (xc/kernels/Tev2X.h) whenever its options change
// and picks a slot at every fill.
#pragma once
#include "core/Image.h"
#include "xc/Fill.h"
#include "xc/View.h"
#include "xc/XcImage.h"

#include <cstdint>

struct Tev2XTable;

// A colour both ways: the bytes for blending, the X pixel for plain stores.
struct FillPixel {
    uint8_t red, green, blue;
    uint32_t pixel;
};

// Option record; the mask bits say which fields to take.
struct FillTev2XOptions {
    int32_t precisionX, precisionY; // FT2X_PRECISION: block size of a partial pass
    int32_t phaseX, phaseY;         // FT2X_PHASE: the pixel of each block a pass paints
    int32_t quality;                // FT2X_QUALITY: 0 nearest, 1 averaged, 2 blocks
    FillPixel bgPixel;              // FT2X_BGPIXEL
    FillPixel fgPixel;              // FT2X_FGPIXEL
    int32_t floating;               // FT2X_FLOATING
    int32_t noSrcAlpha;             // FT2X_NOSRCALPHA
    int32_t plane;                  // FT2X_PLANE
    int32_t blend;                  // FT2X_BLEND
    Image *mask;                    // FT2X_MASK (with maskPlane)
    int32_t maskPlane;
};

enum {
    FT2X_QUALITY = 1,
    FT2X_PRECISION = 2,
    FT2X_PHASE = 4,
    FT2X_BGPIXEL = 8,
    FT2X_NOSRCALPHA = 16,
    FT2X_PLANE = 32,
    FT2X_BLEND = 64,
    FT2X_FGPIXEL = 128,
    FT2X_FLOATING = 256,
    FT2X_MASK = 512
};

enum { FT2X_NEAREST = 0, FT2X_AVERAGE = 1, FT2X_BLOCKS = 2 }; // quality

// The filler's private record; the kernels read it.
struct FillTev2XData {
    Image *image;    // borrowed
    XcImage *ximage; // borrowed
    int32_t precisionX, precisionY;
    int32_t phaseX, phaseY;
    int32_t quality;
    FillPixel bgPixel;
    FillPixel fgPixel;
    int32_t floating;
    int32_t plane; // -1 all colour planes, else that plane as grey
    int32_t blend; // partial alpha over the X image's pixel, not bgPixel
    int32_t noSrcAlpha;
    int32_t shownPlane; // derived
    int32_t alphaPlane; // derived; 0 none
    int32_t useAlpha;   // derived
    Image *mask;        // 8-bit, of the image's size, or null
    int32_t maskPlane;
    const uint8_t *mul; // [a * 256 + m] = a * m / 255
    const Tev2XTable *kernels;
};

// A filler whose data is a fresh record with the defaults, the masked options
// applied and a table selected; null (nothing left allocated) when memory is
// short.
Fill *FillTev2XCreate(Image *image, XcImage *ximage, const FillTev2XOptions *options, int mask);
void FillTev2XDestroy(Fill *filler);
void FillTev2XSetOptions(Fill *filler, const FillTev2XOptions *options, int mask);
void FillTev2XSetPrecision(Fill *filler, int px, int py);
void FillTev2XSetPhase(Fill *filler, int phx, int phy);
void FillTev2XSetQuality(Fill *filler, int quality);
void FillTev2XSetBgPixel(Fill *filler, const FillPixel *pixel);
void FillTev2XSetFgPixel(Fill *filler, const FillPixel *pixel);
void FillTev2XSetFloating(Fill *filler, int floating);
void FillTev2XSetNoSrcAlpha(Fill *filler, int noSrcAlpha);
void FillTev2XSetPlane(Fill *filler, int plane);
void FillTev2XSetBlend(Fill *filler, int blend);
// A mask of another size, or whose plane is not 8 bits deep, leaves no mask.
void FillTev2XSetMask(Fill *filler, Image *mask, int maskPlane);
// Chooses the table for the current options (none: the filler paints nothing).
void FillTev2X_SelectKernels(FillTev2XData *f);
// The fill function: the slot for the quality, precision and zoom, on the
// part of the box that lies in the X image and whose source lies in the image.
void FillTev2X_Fill(View *view, void *data, Box *box);

struct FillNull2XData {
    XcImage *ximage; // borrowed
    uint32_t pixel;
};

enum { FN2X_PIXEL = 1 };

// options (mask FN2X_PIXEL) points at the pixel as a 32-bit word. The fill
// function is null on a visual no table serves.
Fill *FillNull2XCreate(void *unused, XcImage *ximage, const uint32_t *options, int mask);
void FillNull2XDestroy(Fill *filler);
void FillNull2XSetOptions(Fill *filler, const uint32_t *options, int mask);
void FillNull2XSetPixel(Fill *filler, uint32_t pixel);
