#include "xc/Cms.h"

#include "core/List.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <bit>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace
{

List *contexts; // the open contexts; exists only while one is open

// Intensity of the k-th allocated level of a primary of n levels (kScut[n][k])
// and its position in ascending order (kCutmap[n][k]). The first m levels of
// any row sort as row m says, so a cube that stopped growing early still
// maps its cells in intensity order.
const uint8_t kScut[7][6] = {
    {}, {}, {0, 255}, {0, 255, 127}, {0, 255, 170, 85}, {0, 255, 127, 63, 191}, {0, 255, 153, 102, 204, 51}};
const uint8_t kCutmap[7][6] = {{}, {}, {0, 1}, {0, 2, 1}, {0, 3, 2, 1}, {0, 4, 2, 1, 3}, {0, 5, 3, 2, 4, 1}};

// The allocated sides are kept red, blue, green.
const int kSideOf[3] = {XcCmsSideRed, XcCmsSideGreen, XcCmsSideBlue};

int32_t Side(const XcCms *cms, int channel)
{
    return cms->sides[kSideOf[channel]];
}

bool IsPseudoFamily(const XcCms *cms)
{
    const int c = cms->visual->c_class;
    return c == PseudoColor || c == GrayScale || c == StaticGray;
}

Display *Dpy(const XcCms *cms)
{
    return cms->visual->display;
}

Colormap Cmap(const XcCms *cms)
{
    return cms->visual->colormap;
}

// Levels wanted per primary (red, green, blue) for a colour level.
void RequestedLevels(int level, int32_t levels[3])
{
    static const int32_t kLevels[6][3] = {{6, 6, 5}, {5, 6, 5}, {5, 5, 5}, {4, 4, 4}, {3, 3, 3}, {2, 2, 2}};
    for (int ch = 0; ch < 3; ++ch)
        levels[ch] = level >= 0 && level <= 5 ? kLevels[level][ch] : 6;
}

// ---- Cube growth ----

// A block of cells: levels lo to hi (1-based, allocation order) per primary.
struct Slab {
    int lo[3];
    int hi[3];
};

// Walks the cube in the order it grows: the start cell, then one slab at a
// time on green, red, blue, green, ... while the next side stays within its
// limit and take() accepts the slab. Returns the sides reached, all 0 when
// the start cell was refused.
template <class Take> void Grow(const int32_t limit[3], int32_t reached[3], Take take)
{
    static const int kOrder[3] = {1, 0, 2};
    int side[3] = {1, 1, 1};
    if (!take(Slab{{1, 1, 1}, {1, 1, 1}})) {
        reached[0] = reached[1] = reached[2] = 0;
        return;
    }
    for (int s = 0;; ++s) {
        const int c = kOrder[s % 3];
        Slab slab{{1, 1, 1}, {side[0], side[1], side[2]}};
        slab.lo[c] = slab.hi[c] = side[c] + 1;
        if (slab.hi[c] > limit[c] || !take(slab))
            break;
        side[c] += 1;
    }
    for (int ch = 0; ch < 3; ++ch)
        reached[ch] = side[ch];
}

// Visits the cells of a slab red-major, then green, then blue; stops at the
// first cell refused.
template <class Cell> bool ForEachCell(const Slab &s, Cell cell)
{
    for (int r = s.lo[0]; r <= s.hi[0]; ++r)
        for (int g = s.lo[1]; g <= s.hi[1]; ++g)
            for (int b = s.lo[2]; b <= s.hi[2]; ++b)
                if (!cell(r, g, b))
                    return false;
    return true;
}

// Frees the cells allocated from index `from` on, in one request.
void FreeCells(XcCms *cms, int from)
{
    if (cms->allocated <= from)
        return;
    std::vector<unsigned long> cells(cms->pixels + from, cms->pixels + cms->allocated);
    XFreeColors(Dpy(cms), Cmap(cms), cells.data(), static_cast<int>(cells.size()), 0);
    std::fill(cms->pixels + from, cms->pixels + cms->allocated, 0);
    cms->allocated = from;
}

bool AllocCell(XcCms *cms, int r, int g, int b)
{
    const int level[3] = {r, g, b};
    uint8_t v[3];
    for (int ch = 0; ch < 3; ++ch)
        v[ch] = kScut[cms->levels[ch]][level[ch] - 1];
    // 255 is asked as 65280, not 65535: the high byte is what counts.
    XColor c{};
    c.red = static_cast<unsigned short>(v[0] << 8);
    c.green = static_cast<unsigned short>(v[1] << 8);
    c.blue = static_cast<unsigned short>(v[2] << 8);
    c.flags = DoRed | DoGreen | DoBlue;
    if (!XAllocColor(Dpy(cms), Cmap(cms), &c))
        return false;
    cms->pixels[cms->allocated++] = static_cast<uint32_t>(c.pixel);
    for (int ch = 0; ch < 3; ++ch)
        cms->component[ch][c.pixel & 255] = v[ch];
    return true;
}

// A slab is had whole or not at all.
bool AllocSlab(XcCms *cms, const Slab &slab)
{
    const int before = cms->allocated;
    if (ForEachCell(slab, [cms](int r, int g, int b) { return AllocCell(cms, r, g, b); }))
        return true;
    FreeCells(cms, before);
    return false;
}

bool GrowCube(XcCms *cms)
{
    int32_t reached[3];
    Grow(cms->levels, reached, [cms](const Slab &slab) { return AllocSlab(cms, slab); });
    for (int ch = 0; ch < 3; ++ch)
        cms->sides[kSideOf[ch]] = reached[ch];
    if (reached[0] == 0) {
        std::fputs("XcCms: error: can't allocate enough colors\n", stderr);
        return false;
    }
    return true;
}

// The k-th allocated cell goes where its levels sort by intensity.
void BuildCubeMap(XcCms *cms)
{
    const int32_t sides[3] = {Side(cms, 0), Side(cms, 1), Side(cms, 2)};
    const uint8_t *pr = kCutmap[sides[0]], *pg = kCutmap[sides[1]], *pb = kCutmap[sides[2]];
    int k = 0;
    int32_t reached[3];
    Grow(sides, reached, [&](const Slab &slab) {
        return ForEachCell(slab, [&](int r, int g, int b) {
            cms->cubeMap[pr[r - 1]][pg[g - 1]][pb[b - 1]] = cms->pixels[k++];
            return true;
        });
    });
}

// ---- Quantisation tables and screen files ----

constexpr size_t kTableSize = 256 * 256;
constexpr size_t kHeaderSize = 17;
const char kMagic[kHeaderSize] = "ORVALDI_TRAME-V1"; // and its zero byte

// Entry [v][t]: the level below v, or the one above when v's remainder past
// the level below exceeds the threshold t. Doubles as written: the floors
// are then the exact integer ones for every n from 2 to 6.
void ComputeTable(int n, uint8_t *table)
{
    const double step = (n - 1) / 255.0;
    for (int v = 0; v < 256; ++v) {
        const int k = static_cast<int>(std::floor(v * step));
        const int r = v - static_cast<int>(std::floor(k * (1 / step)));
        for (int t = 0; t < 256; ++t)
            table[v * 256 + t] = static_cast<uint8_t>(r > t ? k + 1 : k);
    }
}

// The screen file directory, kept once "__TEV_TMP" has been seen set.
const char *ScreenFileDir()
{
    static std::string dir;
    static bool known = false;
    if (!known) {
        if (const char *env = std::getenv("__TEV_TMP")) {
            dir = env;
            known = true;
        }
    }
    return known ? dir.c_str() : nullptr;
}

template <class Io, class Buf> bool Transfer(Io io, int fd, Buf *buf, size_t n)
{
    while (n > 0) {
        const ssize_t done = io(fd, buf, n);
        if (done < 0 && errno == EINTR)
            continue;
        if (done <= 0)
            return false;
        buf += done;
        n -= static_cast<size_t>(done);
    }
    return true;
}

bool ReadAll(int fd, void *buf, size_t n)
{
    return Transfer(::read, fd, static_cast<char *>(buf), n);
}

bool WriteAll(int fd, const void *buf, size_t n)
{
    return Transfer(::write, fd, static_cast<const char *>(buf), n);
}

// Trusted only at the exact size and with the magic. Opened without
// blocking: a FIFO put in its place must not hang us.
bool ReadScreenFile(const std::string &path, uint8_t *table)
{
    const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return false;
    struct stat st;
    char head[kHeaderSize];
    const bool ok = fstat(fd, &st) == 0 && st.st_size == static_cast<off_t>(kHeaderSize + kTableSize) &&
                    ReadAll(fd, head, kHeaderSize) && std::memcmp(head, kMagic, kHeaderSize) == 0 &&
                    ReadAll(fd, table, kTableSize);
    close(fd);
    return ok;
}

// Several processes of the suite start at once and share the file: it is
// written under a name of this process and renamed, so that no reader ever
// sees half of it.
void WriteScreenFile(const std::string &path, const uint8_t *table)
{
    const std::string tmp = path + ".tmp" + std::to_string(getpid());
    const int fd = open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd < 0)
        return;
    bool ok = WriteAll(fd, kMagic, kHeaderSize) && WriteAll(fd, table, kTableSize);
    ok = close(fd) == 0 && ok;
    if (!ok || rename(tmp.c_str(), path.c_str()) != 0)
        unlink(tmp.c_str());
}

// ---- Dither matrices ----

// The base matrix of each n and how many times it is doubled.
struct Base {
    int width;
    int height;
    int doublings;
    int32_t m[20];
};
const Base kBases[7] = {
    {},
    {},
    {2, 2, 3, {0, 2, 3, 1}},
    {3, 3, 2, {6, 8, 4, 1, 0, 3, 5, 2, 7}},
    // 3 twice and no 13: the suite dithers with this matrix as it is, so keep it.
    {5, 4, 1, {15, 0, 18, 2, 10, 8, 12, 4, 14, 6, 16, 3, 11, 1, 17, 9, 3, 7, 19, 5}},
    {2, 2, 2, {0, 2, 3, 1}},
    {4, 3, 1, {0, 6, 2, 8, 10, 4, 11, 5, 3, 9, 1, 7}},
};

struct Matrix {
    int width;
    int height;
    int32_t m[16 * 16];
};

// Doubling turns M into [4M, 4M + 2; 4M + 3, 4M + 1].
void Double(Matrix &mat)
{
    static const int kAdd[2][2] = {{0, 2}, {3, 1}};
    const Matrix old = mat;
    mat.width *= 2;
    mat.height *= 2;
    for (int i = 0; i < mat.height; ++i)
        for (int j = 0; j < mat.width; ++j)
            mat.m[i * mat.width + j] =
                4 * old.m[(i % old.height) * old.width + j % old.width] + kAdd[i / old.height][j / old.width];
}

Matrix DitherMatrix(int n)
{
    const Base &base = kBases[n];
    Matrix mat{base.width, base.height, {}};
    std::copy(base.m, base.m + base.width * base.height, mat.m);
    for (int d = 0; d < base.doublings; ++d)
        Double(mat);
    return mat;
}

// h blocks of 1 + S + w words: the step to the next block, then the row
// repeated far enough that a walk of one screen width never wraps.
bool BuildDither(XcCmsDither *d, int n, int screenWidth)
{
    const Matrix mat = DitherMatrix(n);
    const size_t stride = 1 + static_cast<size_t>(screenWidth) + static_cast<size_t>(mat.width);
    d->blocks = static_cast<int32_t *>(std::malloc(stride * mat.height * sizeof(int32_t)));
    if (!d->blocks)
        return false;
    d->width = mat.width;
    d->height = mat.height;
    d->size = stride * mat.height * sizeof(int32_t);
    for (int i = 0; i < mat.height; ++i) {
        int32_t *block = d->blocks + i * stride;
        const int32_t step = static_cast<int32_t>(stride);
        block[0] = i < mat.height - 1 ? step : -step * (mat.height - 1);
        for (size_t j = 0; j + 1 < stride; ++j)
            block[1 + j] = mat.m[i * mat.width + static_cast<int>(j % mat.width)];
    }
    return true;
}

void FreeDithers(XcCms *cms)
{
    for (int ch = 0; ch < 3; ++ch) {
        int32_t *blocks = cms->dither[ch].blocks;
        for (int other = ch + 1; other < 3; ++other)
            if (cms->dither[other].blocks == blocks)
                cms->dither[other].blocks = nullptr;
        std::free(blocks);
        cms->dither[ch].blocks = nullptr;
    }
}

// A primary whose side equals an earlier one's shares its table and matrix.
bool BuildTables(XcCms *cms)
{
    const int screenWidth = WidthOfScreen(cms->visual->screen);
    for (int ch = 0; ch < 3; ++ch) {
        const int n = Side(cms, ch);
        int same = 0;
        while (same < ch && Side(cms, same) != n)
            ++same;
        if (same < ch) {
            std::memcpy(cms->quant[ch], cms->quant[same], kTableSize);
            cms->dither[ch] = cms->dither[same];
        } else if (XcCmsTable(n, cms->quant[ch]) != 0 || !BuildDither(&cms->dither[ch], n, screenWidth)) {
            return false;
        }
    }
    return true;
}

// ---- Named colours ----

const uint8_t kNamedRgb[18][3] = {
    {0, 0, 0},     {200, 200, 200}, {255, 255, 0},   {102, 102, 0},   {255, 0, 0},     {130, 0, 0},
    {0, 255, 255}, {0, 130, 130},   {0, 255, 0},     {0, 130, 0},     {255, 0, 255},   {130, 0, 130},
    {0, 0, 255},   {0, 0, 130},     {130, 130, 130}, {255, 255, 255}, {255, 255, 255}, {0, 0, 0}};

// Index in the pixels list of each slot for a largest side L of at most 2,
// 3, 4, and 5 or more; -1 where no cell is named for that size.
const int16_t kNamedIndex[18][4] = {
    {0, 0, 0, 0}, {7, 26, -1, 124}, {3, 3, 3, 3},    {0, 16, 16, 45}, {2, 2, 2, 2}, {2, 12, 12, 12},
    {5, 5, 5, 5}, {5, 20, 20, 20},  {1, 1, 1, 1},    {1, 8, 8, 8},    {6, 6, 6, 6}, {6, 24, 24, 24},
    {4, 4, 4, 4}, {4, 18, 18, 18},  {0, 26, 26, 26}, {7, 7, 7, 7},    {7, 7, 7, 7}, {0, 0, 0, 0}};

// The allocated cell nearest a colour, for the slots whose named cell the
// cube does not have: the drawing code expects a real grey or dark shade.
uint32_t NearestCell(const XcCms *cms, const uint8_t rgb[3])
{
    uint32_t best = cms->pixels[0];
    long bestDistance = LONG_MAX;
    for (int k = 0; k < cms->allocated; ++k) {
        const uint32_t p = cms->pixels[k] & 255;
        long distance = 0;
        for (int ch = 0; ch < 3; ++ch)
            distance += (cms->component[ch][p] - rgb[ch]) * (cms->component[ch][p] - rgb[ch]);
        if (distance < bestDistance) {
            best = cms->pixels[k];
            bestDistance = distance;
        }
    }
    return best;
}

void NamePseudoColors(XcCms *cms)
{
    const int32_t largest = std::max({Side(cms, 0), Side(cms, 1), Side(cms, 2)});
    const int column = largest <= 2 ? 0 : largest >= 5 ? 3 : largest - 2;
    for (int slot = 0; slot < 18; ++slot) {
        const int index = kNamedIndex[slot][column];
        cms->colors[slot] =
            index >= 0 && index < cms->allocated ? cms->pixels[index] : NearestCell(cms, kNamedRgb[slot]);
    }
}

void NameTrueColors(XcCms *cms)
{
    for (int slot = 0; slot < 18; ++slot) {
        uint32_t pixel = 0;
        for (int ch = 0; ch < 3; ++ch)
            pixel |= static_cast<uint32_t>(kNamedRgb[slot][ch]) << cms->cubeStart[ch];
        cms->colors[slot] = pixel;
    }
}

// ---- Set-up by visual class ----

// Index of the lowest byte of a mask with a bit set.
int LowestByte(unsigned long mask)
{
    int i = 0;
    while (i < 3 && !(mask & (0xffUL << (8 * i))))
        ++i;
    return i;
}

void SetByteLayout(XcCms *cms)
{
    const Visual *v = cms->visual->visual;
    const unsigned long masks[3] = {v->red_mask, v->green_mask, v->blue_mask};
    // Swapped when the X image's byte order is not this machine's: the
    // kernels store pixels as native 32-bit words, so a shift must name the
    // byte where the server will look for the primary.
    const int hostOrder = std::endian::native == std::endian::little ? LSBFirst : MSBFirst;
    cms->allocated = ImageByteOrder(Dpy(cms)) != hostOrder ? 1 : 0;
    for (int ch = 0; ch < 3; ++ch) {
        const int index = subindice(LowestByte(masks[ch]), cms->allocated);
        cms->sides[kSideOf[ch]] = index;
        cms->cubeStart[ch] = index * 8;
        cms->levels[ch] = static_cast<int32_t>(255u << (index * 8));
    }
}

// Cube, named colours, cube map and tables; on failure nothing stays allocated.
bool SetUpCube(XcCms *cms)
{
    if (!GrowCube(cms))
        return false;
    if (Side(cms, 0) < 2 || Side(cms, 1) < 2 || Side(cms, 2) < 2) {
        FreeCells(cms, 0);
        return false;
    }
    NamePseudoColors(cms);
    BuildCubeMap(cms);
    if (!BuildTables(cms)) {
        FreeDithers(cms);
        FreeCells(cms, 0);
        return false;
    }
    return true;
}

bool SetUp(XcCms *cms)
{
    if (IsPseudoFamily(cms))
        return SetUpCube(cms);
    if (cms->visual->c_class != TrueColor && cms->visual->c_class != DirectColor)
        return false;
    SetByteLayout(cms);
    NameTrueColors(cms);
    return true;
}

// Frees what the context holds in the server and on the heap, and the record.
void Release(XcCms *cms)
{
    FreeDithers(cms);
    if (IsPseudoFamily(cms))
        FreeCells(cms, 0);
    std::free(cms);
}

int SameTarget(void *element, void *arg)
{
    const XcVisual *a = static_cast<XcCms *>(element)->visual;
    const XcVisual *b = static_cast<const XcVisual *>(arg);
    return a->display == b->display && a->colormap == b->colormap &&
           XVisualIDFromVisual(a->visual) == XVisualIDFromVisual(b->visual);
}

} // namespace

int subindice(int i, int swap)
{
    return swap ? 3 - i : i;
}

int XcCmsTable(int n, uint8_t table[256 * 256])
{
    if (n < 2 || n > 6)
        return -1;
    const char *dir = ScreenFileDir();
    const std::string path = dir ? std::string(dir) + "/trame." + std::to_string(n) : std::string();
    if (dir && ReadScreenFile(path, table))
        return 0;
    ComputeTable(n, table);
    if (dir)
        WriteScreenFile(path, table);
    return 0;
}

XcCms *XcCmsOpen(XcVisual *visual)
{
    if (contexts && List_FindFirstP(contexts, SameTarget, visual) == LIST_OK) {
        XcCms *shared = static_cast<XcCms *>(List_Current(contexts));
        ++shared->refCount;
        return shared;
    }
    XcCms *cms = static_cast<XcCms *>(std::calloc(1, sizeof(XcCms)));
    if (!cms)
        return nullptr;
    cms->visual = visual;
    cms->refCount = 1;
    cms->cubeStart[0] = cms->cubeStart[1] = cms->cubeStart[2] = 1;
    RequestedLevels(visual->colorLevel, cms->levels);
    if (!SetUp(cms)) {
        std::free(cms);
        return nullptr;
    }
    if (!contexts)
        contexts = List_New();
    if (!contexts || List_Append(contexts, cms) != LIST_OK) {
        Release(cms);
        return nullptr;
    }
    return cms;
}

void XcCmsClose(XcCms *cms)
{
    if (!cms || cms->refCount == 0)
        return;
    if (--cms->refCount > 0)
        return;
    if (List_FindFirst(contexts, cms) == LIST_OK)
        List_Remove(contexts);
    Release(cms);
    if (List_Cardinal(contexts) == 0) {
        List_Destroy(contexts, nullptr);
        contexts = nullptr;
    }
}

void XcCmsCloseAll()
{
    while (contexts && contexts->first) {
        XcCms *cms = static_cast<XcCms *>(contexts->first->element);
        cms->refCount = 1;
        XcCmsClose(cms);
    }
}

int32_t *XcCmsGetDither(XcCms *cms, int channel, int *x, int *y)
{
    const XcCmsDither &d = cms->dither[channel];
    if (!d.blocks)
        return nullptr;
    *x %= d.width;
    *y %= d.height;
    const size_t stride = d.size / sizeof(int32_t) / static_cast<size_t>(d.height);
    return d.blocks + static_cast<size_t>(*y) * stride;
}

uint32_t XcCmsGetColor(const XcCms *cms, int slot)
{
    return slot >= 0 && slot < 16 ? cms->colors[slot] : 0;
}

void XcCmsAddPixel(XcCms *cms, uint32_t pixel)
{
    if (!IsPseudoFamily(cms) || pixel > 255)
        return;
    XColor c{};
    c.pixel = pixel;
    XQueryColor(Dpy(cms), Cmap(cms), &c);
    cms->component[0][pixel] = static_cast<uint8_t>(c.red >> 8);
    cms->component[1][pixel] = static_cast<uint8_t>(c.green >> 8);
    cms->component[2][pixel] = static_cast<uint8_t>(c.blue >> 8);
}

void XcCmsXorBidouille(XcCms *cms)
{
    if (!IsPseudoFamily(cms))
        return;
    Display *dpy = Dpy(cms);
    std::vector<unsigned long> taken;
    unsigned long p;
    while (XAllocColorCells(dpy, Cmap(cms), True, nullptr, 0, &p, 1)) {
        taken.push_back(p);
        XColor c{};
        c.pixel = 255 - (p & 255);
        XQueryColor(dpy, Cmap(cms), &c);
        c.pixel = p;
        c.red = static_cast<unsigned short>(~c.red);
        c.green = static_cast<unsigned short>(~c.green);
        c.blue = static_cast<unsigned short>(~c.blue);
        c.flags = DoRed | DoGreen | DoBlue;
        XStoreColor(dpy, Cmap(cms), &c);
    }
    if (!taken.empty())
        XFreeColors(dpy, Cmap(cms), taken.data(), static_cast<int>(taken.size()), 0);
}
