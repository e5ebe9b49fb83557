#include "xc/Fill.h"

#include "brush/Box.h"
#include "core/Image.h"
#include "xc/View.h"

#include <algorithm>
#include <cstdlib>

Fill *FillCreate()
{
    return static_cast<Fill *>(std::calloc(1, sizeof(Fill)));
}

void FillDestroy(Fill *fill)
{
    std::free(fill);
}

Fill *Fill_CreateWithData(size_t size)
{
    Fill *fill = FillCreate();
    if (!fill)
        return nullptr;
    if (!(fill->data = std::calloc(1, size))) {
        FillDestroy(fill);
        return nullptr;
    }
    return fill;
}

void Fill_DestroyWithData(Fill *fill)
{
    if (!fill)
        return;
    std::free(fill->data);
    FillDestroy(fill);
}

int32_t Fill_ClampPlane(const Image *image, int32_t plane)
{
    return std::clamp(plane, -1, image ? Image_Planes(image) - 1 : -1);
}

// Only an existing 8-bit plane of an image of the reference's size is
// accepted as a mask.
static bool MaskFits(const Image *mask, int32_t plane, const Image *reference)
{
    return mask && reference && plane >= 0 && plane < Image_Planes(mask) &&
           Image_Width(mask) == Image_Width(reference) && Image_Height(mask) == Image_Height(reference) &&
           Image_PlaneBits(mask, plane) == 8;
}

void Fill_SetMask(Image **mask, int32_t *maskPlane, Image *image, int32_t plane, const Image *reference)
{
    bool fits = MaskFits(image, plane, reference);
    *mask = fits ? image : nullptr;
    *maskPlane = fits ? plane : 0;
}

// The alpha plane's index when it is in use and a plain 8-bit plane.
int32_t Fill_AlphaPlane(const Image *image, int32_t ignore)
{
    if (ignore || Image_AlphaPlanes(image) == 0)
        return 0;
    int32_t p = Image_ColorPlanes(image);
    return p > 0 && p < Image_Planes(image) && Image_PlaneBits(image, p) == 8 ? p : 0;
}

// Mode, depth and shown plane of one side; the alpha plane drops out when it
// is itself the plane shown.
void Fill_Side(const Image *image, int32_t plane, int32_t *mode, int32_t *depth, int32_t *shown,
               int32_t *alpha)
{
    if (plane == -1) {
        *mode = Image_Mode(image);
        *depth = Image_PlaneBits(image, 0);
        *shown = 0;
    } else {
        *mode = 1;
        *depth = Image_PlaneBits(image, plane);
        *shown = plane;
        if (plane == *alpha)
            *alpha = 0;
    }
}

// The colour planes a side's kernels touch all exist with the side's depth.
bool Fill_PlanesFit(const Image *image, int32_t mode, int32_t depth, int32_t shown)
{
    int count = mode == 2 ? 3 : mode == 3 ? 4 : 1;
    for (int i = 0; i < count; ++i) {
        int p = mode == 1 ? shown : i;
        if (p >= Image_Planes(image) || Image_PlaneBits(image, p) != depth)
            return false;
    }
    return true;
}

// The part of the box inside limit whose source pixels lie
// inside the source image (and not past the view's last source pixel, where
// the area average stops): what the kernels may touch.
bool Fill_ServedBox(const View *view, const Box *box, const Box &limit, const Image *src, Box *out)
{
    if (!Box_Clip(out, box, &limit))
        return false;
    int32_t lastX = std::min(view->src.x2, Image_Width(src) - 1);
    int32_t lastY = std::min(view->src.y2, Image_Height(src) - 1);
    Box served{};
    if (!ViewSrcToDstInterval(view, &view->xMap, 0, lastX, &served.x1, &served.x2) ||
        !ViewSrcToDstInterval(view, &view->yMap, 0, lastY, &served.y1, &served.y2))
        return false;
    served.width = served.x2 - served.x1 + 1;
    served.height = served.y2 - served.y1 + 1;
    return Box_SelfClip(out, &served) != 0;
}
