// Colour contexts: for one visual, which X pixel stands for which colour, and
// the tables the fill kernels need to turn 8-bit red, green and blue samples
// into pixels by look-up alone.
//
// On 8-bit PseudoColor a small colour cube is allocated in the colormap and
// dithered to; on 24-bit TrueColor and DirectColor only the place of each
// primary's byte in a pixel is recorded. Contexts are shared per display,
// visual and colormap, with a reference count.
#pragma once
#include "xc/Visual.h"

#include <cstddef>
#include <cstdint>

// Indices of the allocated sides, which are kept red, blue, green.
enum { XcCmsSideRed = 0, XcCmsSideBlue = 1, XcCmsSideGreen = 2 };

// An ordered-dither matrix laid out as row blocks; see XcCmsGetDither.
struct XcCmsDither {
    int32_t width;
    int32_t height;
    size_t size;     // bytes of the row block area
    int32_t *blocks; // null when there is none; may be shared with another primary
};

struct XcCms {
    uint32_t colors[18]; // named colours; 16 white and 17 black are not reachable by slot
    // PseudoColor: the side before growth (1, 1, 1). TrueColor: each primary's shift.
    int32_t cubeStart[3];
    // PseudoColor: levels allocated per primary. TrueColor: each primary's byte index.
    int32_t sides[3];
    // PseudoColor: levels wanted per primary. TrueColor: each primary's channel mask.
    int32_t levels[3];
    // Level of sample v under threshold t at [v * 256 + t], per primary.
    uint8_t quant[3][256 * 256];
    uint32_t cubeMap[8][8][8]; // [red][green][blue] positions in ascending intensity
    XcCmsDither dither[3];
    XcVisual *visual;
    uint32_t refCount;
    int32_t allocated;         // PseudoColor: cells in pixels. TrueColor: 1 when bytes are swapped
    uint32_t pixels[256];      // allocated cells in allocation order
    uint8_t component[3][256]; // intensity of each known cell, by pixel
};

// The shared context of the visual's display, visual id and colormap with its
// count raised, or a new one; null when it cannot be had.
XcCms *XcCmsOpen(XcVisual *visual);
void XcCmsClose(XcCms *cms);
void XcCmsCloseAll();

// Reduces *x and *y (not negative) to the matrix of the channel (0 red, 1
// green, 2 blue) and returns row block *y. Word 0 of a block is the distance
// in words to the next row's block; the threshold of column *x + j is word
// 1 + *x + j, for j up to the screen width without wrapping. Null on
// TrueColor and DirectColor, which are not dithered.
int32_t *XcCmsGetDither(XcCms *cms, int channel, int *x, int *y);
// Pixel of named colour slot 0 to 15; 0 for any other slot.
uint32_t XcCmsGetColor(const XcCms *cms, int slot);
// Records the colour of a cell the context did not allocate (PseudoColor).
void XcCmsAddPixel(XcCms *cms, uint32_t pixel);
// Stores in every free cell p the inverse of the colour of cell 255 - p, so
// that drawing with exclusive-or shows the inverse colour (PseudoColor).
void XcCmsXorBidouille(XcCms *cms);

// Byte index i as seen with the byte order swapped or not.
int subindice(int i, int swap);

// The quantisation table for n levels (2 to 6): from the screen file when it
// is sound, else computed and the file written again. 0, or -1 for a bad n.
int XcCmsTable(int n, uint8_t table[256 * 256]);
