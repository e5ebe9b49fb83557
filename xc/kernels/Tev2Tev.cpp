#include "xc/kernels/Tev2Tev.h"

#include <cstdio>

namespace tev
{
// Defined in xc/kernels/Tev2TevWrite.h, instantiated one destination format per file.
template <int DM, int DD> const Tev2TevTable *Tables();
} // namespace tev

namespace
{

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

// Position in tev::kModes / tev::kDepths, or -1.
int ModeIndex(int mode)
{
    return mode >= 1 && mode <= tev::kModeCount ? mode - 1 : -1;
}

int DepthIndex(int depth)
{
    for (int i = 0; i < tev::kDepthCount; ++i)
        if (tev::kDepths[i] == depth)
            return i;
    return -1;
}

// The destination formats, in the order of tev::kModes x tev::kDepths.
using TablesFn = const Tev2TevTable *(*)();
constexpr TablesFn kDstFormats[] = {
    tev::Tables<1, 1>,  tev::Tables<1, 8>, tev::Tables<1, 16>, tev::Tables<2, 1>,  tev::Tables<2, 8>,
    tev::Tables<2, 16>, tev::Tables<3, 1>, tev::Tables<3, 8>,  tev::Tables<3, 16>,
};
static_assert(sizeof kDstFormats / sizeof kDstFormats[0] == tev::kModeCount * tev::kDepthCount);

} // namespace

bool Tev2Tev_Name(char *out, size_t size, int srcMode, int srcDepth, int dstMode, int dstDepth, bool alpha)
{
    const char *dst = ModeWord(dstMode);
    if (!dst || DepthIndex(dstDepth) < 0)
        return false;
    const char *a = alpha ? "ALPHA" : "NOALPHA";
    int n;
    if (srcMode == 99) {
        n = std::snprintf(out, size, "Tev2Tev_CST%s8_%sALPHA%d", a, dst, dstDepth);
    } else {
        const char *src = ModeWord(srcMode);
        if (!src || DepthIndex(srcDepth) < 0)
            return false;
        n = std::snprintf(out, size, "Tev2Tev_%s%s%d_%s%s%d", src, a, srcDepth, dst, a, dstDepth);
    }
    return n > 0 && size_t(n) < size;
}

const Tev2TevTable *Tev2Tev_Select(int srcMode, int srcDepth, int dstMode, int dstDepth, bool alpha)
{
    int dm = ModeIndex(dstMode), dd = DepthIndex(dstDepth);
    if (dm < 0 || dd < 0)
        return nullptr;
    int i;
    if (srcMode == 99) {
        i = tev::kTablesPerDst - 2;
    } else {
        int sm = ModeIndex(srcMode), sd = DepthIndex(srcDepth);
        if (sm < 0 || sd < 0)
            return nullptr;
        i = (sm * tev::kDepthCount + sd) * 2;
    }
    return kDstFormats[dm * tev::kDepthCount + dd]() + i + (alpha ? 1 : 0);
}

int Tev2Tev_Count()
{
    return tev::kTableCount;
}

const Tev2TevTable *Tev2Tev_At(int i)
{
    if (i < 0 || i >= tev::kTableCount)
        return nullptr;
    return kDstFormats[i / tev::kTablesPerDst]() + i % tev::kTablesPerDst;
}
