// Undo store. The undo image has the edited image's layout and holds the
// state before the last operation; the undo box list (engine state) names
// the areas changed since the last validation. Validation copies those
// areas into the undo image; undo exchanges them between the two images, so
// a second undo redoes. The undo image is first filled in the background,
// one row per Xt work procedure call, so the user can look at the image at
// once while it fills.
#pragma once
#include "brush/Box.h"
#include "core/Image.h"

// Resets the copy position to plane 0, row 0 and registers the background
// copy as a work procedure of the engine's application context. When the
// copy is done it unregisters itself and calls Dabstone_UndoInited.
void Undo_Init();
// Removes the background copy if it is registered.
void Undo_StopInit();
// With a ready undo image: records the box (clipped to the image) in the
// undo box list. The list stays disjoint, so overlapping operations are
// never exchanged twice.
void Undo_SetBox(const Box *box);
// With a ready undo image and boxes in the list: copies every box of every
// plane from the edited image into the undo image, then empties the list.
void Undo_Validate();
// With boxes in the list: exchanges them between the undo image and the
// edited image, then asks for their redraw; the list is kept for a redo.
void Undo_Undo();

// ---- The row work, on any two images of one layout ----

// 1 when both images have the same width, height, planes, storage bits and
// bytes per row: the only images the store copies between.
int Undo_SameLayout(const Image *a, const Image *b);
// Byte span of columns x1..x2 in a row of a plane of `bits` storage bits:
// the length (0 for depths other than 1, 8 and 16) and the first byte.
long Undo_Span(int bits, int x1, int x2, long *first);
// Copies the box's byte spans of every row and plane from src into dst. The
// box is clipped to the images first.
void Undo_CopyBox(Image *dst, const Image *src, const Box *box);
// Exchanges the box's byte spans of every row and plane of a and b (clipped
// like the copy). Needs no memory, so it cannot fail half-way.
void Undo_SwapBox(Image *a, Image *b, const Box *box);
// One call of the background copy: one whole row (the plane's bytes per
// row) of plane *plane, row *row from src into dst, then the position moves
// on, to row 0 of the next plane after the last row. 1 once the last row of
// the last plane has been copied (or nothing is left to copy), else 0.
int Undo_CopyRow(Image *dst, const Image *src, int *plane, int *row);
