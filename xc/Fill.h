// The base record of every fill object: the function a view calls to paint
// one destination box, and the filler's private data, owned by the filler.
#pragma once
#include <cstddef>
#include <cstdint>

struct Box;
struct Image;
struct View;

using FillFn = void (*)(View *view, void *data, Box *box);

struct Fill {
    FillFn fill;
    void *data;
};

// A zeroed base record, or null when the heap refuses.
Fill *FillCreate();
// Frees the base record only; each kind's destroy frees its data first.
void FillDestroy(Fill *fill);
// A base record whose data is a zeroed block of size bytes; null, with
// nothing left allocated, when the heap refuses either.
Fill *Fill_CreateWithData(size_t size);
// Frees the data block, then the base record; null is ignored.
void Fill_DestroyWithData(Fill *fill);

// Rules the image fillers share.
//
// plane clamped to [-1, planes - 1].
int32_t Fill_ClampPlane(const Image *image, int32_t plane);
// Keeps a mask only when it is an existing 8-bit plane of an image of the
// reference's size; else no mask.
void Fill_SetMask(Image **mask, int32_t *maskPlane, Image *image, int32_t plane, const Image *reference);
// The alpha plane's index when it is in use and a plain 8-bit plane; else 0.
int32_t Fill_AlphaPlane(const Image *image, int32_t ignore);
// Mode, depth and shown plane of one side (plane -1: all colour planes); the
// alpha plane drops out when it is itself the plane shown.
void Fill_Side(const Image *image, int32_t plane, int32_t *mode, int32_t *depth, int32_t *shown,
               int32_t *alpha);
// The colour planes a side's kernels touch all exist with the side's depth.
bool Fill_PlanesFit(const Image *image, int32_t mode, int32_t depth, int32_t shown);
// The part of box inside limit whose source pixels lie inside the source
// image (and not past the view's last source pixel, where the area average
// stops): what the kernels may touch. False when nothing is left.
bool Fill_ServedBox(const View *view, const Box *box, const Box &limit, const Image *src, Box *out);
