// The rectangle of the whole program and lists of rectangles. Both corners
// are inclusive; width and height are always x2 - x1 + 1 and y2 - y1 + 1,
// held to the 32-bit range (so far corners are computed the same way); a box
// is empty when either is below 1 (clipping may leave x1 > x2; such a box is
// only ever tested for emptiness). A box list is a List of Box pointers.
// The Box_ operations expect valid pointers; most Box short forms accept null.
#pragma once
#include "core/List.h"

#include <cstdint>

struct Image;

struct Box {
    int32_t x1, y1, x2, y2;
    int32_t width, height;
    // 0 when handed out; then the owner's word (the target box list keeps
    // there whether the mask applies inside the box).
    intptr_t link;
};

// Records come from a pool of 50-record blocks; null when the heap refuses
// a block. Box_New leaves the coordinates undefined.
Box *Box_New();
Box *Box_Dup(const Box *b);
void Box_Free(Box *b);
Box *BoxNew();
// Corners given in the wrong order are swapped.
Box *BoxMakeXY(int32_t x1, int32_t y1, int32_t x2, int32_t y2);
Box *BoxMakeWH(int32_t x, int32_t y, int32_t width, int32_t height);
// The box of a rectangle given by its corner and size (the far corner in 64
// bits first, so that it never wraps), and the whole of an image:
// (0, 0)-(width - 1, height - 1), or the empty box of none.
Box Box_Rect(int32_t x, int32_t y, int32_t width, int32_t height);
Box Box_OfImage(const Image *image);
Box *BoxDup(const Box *b);
void BoxFree(Box *b);

// a becomes a ∩ c; 1 when not empty.
int Box_SelfClip(Box *a, const Box *c);
// o becomes a copy of a (link included) clipped by c; 1 when not empty.
int Box_Clip(Box *o, const Box *a, const Box *c);
// o (may be a or b) becomes the bounding box; 1 when a and b share a pixel.
int Box_Union(Box *o, const Box *a, const Box *b);
int Box_SelfUnion(Box *a, const Box *b);
// 1 when factor × area(bounding box) <= area(a) + area(b): merging wastes little.
int Box_Contig(const Box *a, const Box *b, double factor);
// 0 b wholly outside a, 1 overlapping but reaching out, 2 wholly inside (or a null).
int Box_Countain(const Box *a, const Box *b);
// 0 when the points' rectangle lies outside c; else x1, y1 raised to 0 and
// x2, y2 lowered to c's far corner, and 1.
int Box_ClipSLine(const Box *c, int32_t *x1, int32_t *y1, int32_t *x2, int32_t *y2);
// 2 both end points inside c, 1 one inside or the segment crosses c, else 0.
int Box_CountainLine(const Box *c, int32_t x1, int32_t y1, int32_t x2, int32_t y2);
int Box_Check(const Box *b);
int BoxCheck(const Box *b);
int BoxEmpty(const Box *b);
void Box_Dump(const Box *b);
void BoxDump(const Box *b, int flag);
void Box_SetDebugLevel(int level);

void Box_DestroyList(List *list);
void BoxDestroyList(List *list);
// Clips every box in place by c (null: nothing) and frees those left empty.
List *Box_ClipList(List *list, const Box *c);
// One-pixel-wide boxes drawing the outline of r, trimmed to c when given.
List *Box_BoxListOfRect(const Box *r, const Box *c);
// At most four disjoint new boxes covering exactly a minus b, in the order
// top band, left piece, right piece, bottom band. Null when no memory.
List *Box_Remove(const Box *a, const Box *b);
// Disjoint new boxes covering a minus every box of l. Null when no memory.
List *Box_RemoveAll(const Box *a, List *l);
// Appends new boxes covering the part of a that no box of l covers; a list
// built only this way stays disjoint. 0, or LIST_NOMEM with l unchanged.
int Box_AddBoxToList(List *l, const Box *a);

PoolStats Box_PoolStats();
