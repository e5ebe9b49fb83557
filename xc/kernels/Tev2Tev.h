// The image-to-image kernel tables: one table of two kernels per combination
// of source format and destination format, named Tev2Tev_ + source word + _ +
// destination word ("Tev2Tev_RGBALPHA8_CMYKALPHA16",
// "Tev2Tev_CSTNOALPHA8_GRAYALPHA16"). Slot 0 takes the nearest source pixel,
// slot 1 averages the source area under each destination pixel.
#pragma once
#include <cstddef>

struct Box;
struct View;

using Tev2TevKernel = void (*)(View *view, void *fillerData, Box *box);

enum { TEV2TEV_NEAREST = 0, TEV2TEV_AVERAGE = 1 };

struct Tev2TevTable {
    char name[40];
    Tev2TevKernel slot[2];
};

namespace tev
{
// The formats the tables are generated from, in table order: per destination
// mode and depth, every image source (mode, depth, then without and with
// alpha), then the constant colour without and with alpha.
constexpr int kModes[] = {1, 2, 3}; // grey, RGB, CMYK
constexpr int kDepths[] = {1, 8, 16};
constexpr int kModeCount = int(sizeof kModes / sizeof kModes[0]);
constexpr int kDepthCount = int(sizeof kDepths / sizeof kDepths[0]);
constexpr int kTablesPerDst = kModeCount * kDepthCount * 2 + 2;
constexpr int kTableCount = kModeCount * kDepthCount * kTablesPerDst;
static_assert(kTableCount == 180, "162 image-to-image tables and 18 constant-colour ones");
} // namespace tev

// The table of a combination (mode 1 grey, 2 RGB, 3 CMYK, 99 constant
// colour), found by index; null when the combination has none.
const Tev2TevTable *Tev2Tev_Select(int srcMode, int srcDepth, int dstMode, int dstDepth, bool alpha);
// The name of a table: the constant colour's destination word always carries
// ALPHA; false when the words do not exist.
bool Tev2Tev_Name(char *out, size_t size, int srcMode, int srcDepth, int dstMode, int dstDepth, bool alpha);
// A constant colour through the source's alpha at scale 1 (whatever the
// view's zoom) onto the three 8-bit colour planes, or onto the one 8-bit
// plane shown: the fast kernels of the brush engine.
void Tev2Tev_ConstantRGB8(View *view, void *fillerData, Box *box);
void Tev2Tev_ConstantGRAY8(View *view, void *fillerData, Box *box);
// Every table, for tests: count and the i-th table.
int Tev2Tev_Count();
const Tev2TevTable *Tev2Tev_At(int i);
