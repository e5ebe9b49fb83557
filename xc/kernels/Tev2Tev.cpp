#include "xc/kernels/Tev2Tev.h"

#include <cstdio>
#include <cstring>

namespace tev
{
// Defined in xc/kernels/Walk.h, instantiated one destination format per file.
template <int DM, int DD> const Tev2TevTable *Tables();
} // namespace tev

namespace
{

constexpr int kPerDst = 20;

const char *ModeWord(int mode)
{
    switch (mode) {
    case 1:
        return "GRAY";
    case 2:
        return "RGB";
    case 3:
        return "CMYK";
    default:
        return nullptr;
    }
}

bool ValidDepth(int depth)
{
    return depth == 1 || depth == 8 || depth == 16;
}

// The destination formats, in the order of the list below.
using TablesFn = const Tev2TevTable *(*)();
constexpr TablesFn kDstFormats[] = {
    tev::Tables<1, 1>,  tev::Tables<1, 8>, tev::Tables<1, 16>, tev::Tables<2, 1>,  tev::Tables<2, 8>,
    tev::Tables<2, 16>, tev::Tables<3, 1>, tev::Tables<3, 8>,  tev::Tables<3, 16>,
};
constexpr int kCount = int(sizeof kDstFormats / sizeof kDstFormats[0]) * kPerDst;

} // namespace

bool Tev2Tev_Name(char *out, size_t size, int srcMode, int srcDepth, int dstMode, int dstDepth, bool alpha)
{
    const char *dst = ModeWord(dstMode);
    if (!dst || !ValidDepth(dstDepth))
        return false;
    const char *a = alpha ? "ALPHA" : "NOALPHA";
    int n;
    if (srcMode == 99) {
        n = std::snprintf(out, size, "Tev2Tev_CST%s8_%sALPHA%d", a, dst, dstDepth);
    } else {
        const char *src = ModeWord(srcMode);
        if (!src || !ValidDepth(srcDepth))
            return false;
        n = std::snprintf(out, size, "Tev2Tev_%s%s%d_%s%s%d", src, a, srcDepth, dst, a, dstDepth);
    }
    return n > 0 && size_t(n) < size;
}

int Tev2Tev_Count()
{
    return kCount;
}

const Tev2TevTable *Tev2Tev_At(int i)
{
    if (i < 0 || i >= kCount)
        return nullptr;
    return kDstFormats[i / kPerDst]() + i % kPerDst;
}

const Tev2TevTable *Tev2Tev_Find(const char *name)
{
    for (int i = 0; i < kCount; ++i) {
        const Tev2TevTable *t = Tev2Tev_At(i);
        if (std::strcmp(t->name, name) == 0)
            return t;
    }
    return nullptr;
}
