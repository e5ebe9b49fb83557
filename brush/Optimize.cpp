#include "brush/Optimize.h"

#include "core/Image.h"
#include "xc/FillTev2Tev.h"
#include "xc/View.h"
#include "xc/kernels/Tev2Tev.h"

int POPTIMIZE = 1;

// Per pixel, with a the brush alpha (times the mask byte when there is a
// mask) and d the destination alpha (255 when it is not used), w is the
// operation's weight of (a, d):
//
//     colour c  <-  trunc((1 - w) c + w f)     for each plane, f its component
//     alpha     <-  a when w = 1, d when w = 0, else opAlpha(a, d)
//
// The display library's walk does exactly this at scale 1, one span of one
// plane at a time with the weights found once per span.

namespace
{

const Tev2TevTable kRGB = {"OptimizeRGB", {OptimizeRGB, OptimizeRGB}};
const Tev2TevTable kGRAY = {"OptimizeGRAY", {OptimizeGRAY, OptimizeGRAY}};

bool Plane8(const Image *image, int plane)
{
    return plane >= 0 && plane < Image_Planes(image) && Image_PlaneBits(image, plane) == 8;
}

} // namespace

void OptimizeRGB(View *view, void *data, Box *box)
{
    Tev2Tev_ConstantRGB8(view, data, box);
}

void OptimizeGRAY(View *view, void *data, Box *box)
{
    Tev2Tev_ConstantGRAY8(view, data, box);
}

int Optimize_Choose(const Fill *filler)
{
    if (!POPTIMIZE || !filler || !filler->data)
        return OPTIMIZE_NONE;
    auto *f = static_cast<const FillTev2TevData *>(filler->data);
    if (!f->floating || !f->srcAlphaPlane || f->srcMask || !f->kernels || !f->weight ||
        !Plane8(f->src, f->srcAlphaPlane) || (f->dstAlphaPlane && !Plane8(f->dst, f->dstAlphaPlane)))
        return OPTIMIZE_NONE;
    if (f->fgValues.mode == COLOR_RGB && f->dstMode == COLOR_RGB && f->dstPlane == -1 && Plane8(f->dst, 0) &&
        Plane8(f->dst, 1) && Plane8(f->dst, 2))
        return OPTIMIZE_RGB;
    if (f->fgValues.mode == COLOR_GRAY && f->dstMode == COLOR_GRAY && Plane8(f->dst, f->dstShown))
        return OPTIMIZE_GRAY;
    return OPTIMIZE_NONE;
}

void Optimize_Install(Fill *filler, int kind)
{
    if (!filler || !filler->data || kind == OPTIMIZE_NONE)
        return;
    static_cast<FillTev2TevData *>(filler->data)->kernels = kind == OPTIMIZE_RGB ? &kRGB : &kGRAY;
}
