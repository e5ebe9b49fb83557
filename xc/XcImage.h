// The client-side X image a picture is drawn into: 8-bit PseudoColor (one
// byte per pixel) or 24-bit TrueColor or DirectColor (four bytes per pixel),
// in MIT shared memory when the server offers it, with the colour context of
// its visual. The fill kernels write straight into image->data; the picture
// widget puts it on the screen.
//
// Image memory: Z format, offset 0, bytes_per_line as Xlib chooses it, and
// 4 spare bytes after the last row. Pixel (x, y) lies at
// y * bytes_per_line + x * bits_per_pixel / 8.
#pragma once
#include "brush/Box.h"
#include "xc/Cms.h"

#include <X11/Xlib.h>
#include <X11/extensions/XShm.h>
#include <cstdint>

struct XcImage {
    XcVisual *visual; // not owned
    XImage *image;    // null while the size is 0
    XcCms *cms;
    int ownsCms;      // only then does XcImage_Destroy close it
    uint8_t *scratch; // one row for moves within the same rows
    int32_t scratchSize;
    int shm;                 // the current image lives in a shared segment
    XShmSegmentInfo segment; // valid while shm is set
};

// A new record, or null: for an unsupported visual, a negative or too large
// size, a context that cannot be opened or memory that cannot be had. The
// image is made when both sizes are non-zero, in shared memory when *shm is
// set and the server allows it; *shm tells which it got. A null cms opens one
// for the visual, which the record then owns.
XcImage *XcImage_Create(XcVisual *visual, XcCms *cms, int width, int height, int *shm);
// Frees the image, then makes an ordinary one of the new size (content
// undefined); *shm comes back 0. On
// failure, also for a negative size, the whole record is destroyed and null
// returned: the caller must drop its pointer.
XcImage *XcImage_SetDims(XcImage *xi, int width, int height, int *shm);
// Resizes keeping the content of *area (first clipped to the old image). The
// placement names the part of the old image that keeps its place, and so
// moves the area by (dx, dy), where dw = width - old width and
// dh = height - old height:
//   1  top-left corner          (0, 0)
//   3  right edge (and top)     (dw, 0)
//   5  centre                   (dw / 2, dh / 2), halves rounded toward zero
//   7  bottom and right edges   (dw, dh)
//   9  bottom and left edges    (0, dh)
// any other placement is taken as 1. The moved area is clipped to the new
// image, what is left is copied, and *area comes back as that clipped box
// (width and height 0 when nothing is left). A shared image stays shared
// where the server allows; with no image or a size of 0 this is
// XcImage_SetDims. Same failure rule.
XcImage *XcImage_CopyAndSetDims(XcImage *xi, int width, int height, int placement, Box *area, int *shm);
void XcImage_Destroy(XcImage *xi);
// Opens a new context for the visual, which the record then owns, closing
// the old one if it was the record's. 0, or -1 when none could be had (the
// record then has no context).
int XcImage_RecomputeCms(XcImage *xi);
// Moves a width x height block from (sx, sy) to (dx, dy); the two may
// overlap. Nothing happens unless both blocks lie inside the image.
void XcImage_MoveArea(XcImage *xi, int sx, int sy, int dx, int dy, int width, int height);

// Drawing primitives for selection outlines. pixel is a pixel value, or -1
// for the dash pattern: four white pixels then four black, continued over
// every pixel any primitive visits (drawn or clipped away) until
// XcImage_ReinitCounter. invert replaces each pixel by its complement.
//
// A horizontal or vertical line, end points included; no clipping.
void XcImage_DrawSLine(XcImage *xi, int x1, int y1, int x2, int y2, int invert, long pixel);
void XcImage_DrawRect(XcImage *xi, const Box *rect, const Box *clip, int invert, long pixel);
void XcImage_DrawLine(XcImage *xi, int x1, int y1, int x2, int y2, const Box *clip, int invert, long pixel);
// The ellipse whose bounding rectangle is (x1, y1)-(x2, y2), corners
// included and given in any order: a closed 8-connected outline that touches
// all four sides and is symmetric about both middle lines, each pixel visited
// once, clockwise from the middle of the top side; clipped and counted as
// DrawLine's pixels. A rectangle one pixel wide or high is a line, drawn
// from its top or left end. A side longer than 65536 pixels is beyond the 16.16
// arithmetic: nothing is drawn and the dash does not move.
void XcImage_DrawEllipse(XcImage *xi, int x1, int y1, int x2, int y2, const Box *clip, int invert,
                         long pixel);
void XcImage_ReinitCounter();
