#include "xc/kernels/Tev2X.h"

#include <cstdio>

namespace tev
{
// Defined in xc/kernels/Tev2XWrite.h, instantiated one source mode per file.
template <int SM, int FMT> const Tev2XTable *XTables();
} // namespace tev

namespace
{

// Per X image format: the three image modes' six tables each, then the
// constant colour's two.
constexpr int kPerFormat = 3 * 6 + 2;
constexpr int kFormats = 2;
static_assert(kPerFormat * kFormats == 40, "40 image-to-X tables");

using TablesFn = const Tev2XTable *(*)();
constexpr TablesFn kModes[kFormats][4] = {
    {tev::XTables<1, TEV2X_PSEUDO>, tev::XTables<2, TEV2X_PSEUDO>, tev::XTables<3, TEV2X_PSEUDO>,
     tev::XTables<99, TEV2X_PSEUDO>},
    {tev::XTables<1, TEV2X_TRUE>, tev::XTables<2, TEV2X_TRUE>, tev::XTables<3, TEV2X_TRUE>,
     tev::XTables<99, TEV2X_TRUE>},
};

int DepthIndex(int depth)
{
    return depth == 1 ? 0 : depth == 8 ? 1 : depth == 16 ? 2 : -1;
}

const char *ModeWord(int mode)
{
    return mode == 1 ? "GRAY" : mode == 2 ? "RGB" : mode == 3 ? "CMYK" : mode == 99 ? "CST" : nullptr;
}

} // namespace

bool Tev2X_Name(char *out, size_t size, int mode, int depth, bool alpha, int format)
{
    const char *m = ModeWord(mode);
    if (!m || DepthIndex(depth) < 0 || (mode == 99 && depth != 8) ||
        (format != TEV2X_PSEUDO && format != TEV2X_TRUE))
        return false;
    int n = std::snprintf(out, size, "Tev2X_%s%s%d_%s", m, alpha ? "ALPHA" : "NOALPHA", depth,
                          format == TEV2X_TRUE ? "TRUECNOALPHA8" : "PSEUDOCNOALPHA8");
    return n > 0 && size_t(n) < size;
}

const Tev2XTable *Tev2X_Select(int mode, int depth, bool alpha, int format)
{
    if (format != TEV2X_PSEUDO && format != TEV2X_TRUE)
        return nullptr;
    if (mode == 99)
        return depth == 8 ? kModes[format][3]() + (alpha ? 1 : 0) : nullptr;
    int d = DepthIndex(depth);
    if (mode < 1 || mode > 3 || d < 0)
        return nullptr;
    return kModes[format][mode - 1]() + (alpha ? 3 : 0) + d;
}

int Tev2X_Count()
{
    return kPerFormat * kFormats;
}

const Tev2XTable *Tev2X_At(int i)
{
    if (i < 0 || i >= Tev2X_Count())
        return nullptr;
    int format = i / kPerFormat, k = i % kPerFormat;
    return k < 18 ? kModes[format][k / 6]() + k % 6 : kModes[format][3]() + (k - 18);
}
