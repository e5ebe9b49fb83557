#include "brush/Undo.h"

#include "core/Dabstone.h"
#include "core/DabstonePaste.h"

#include <X11/Intrinsic.h>

#include <cstring>

namespace
{

// Exchange of two byte spans in vector registers, which serve as the swap
// buffer: nothing to allocate, so an undo never fails for lack of memory,
// and each byte is read and written once (a heap buffer costs a third pass).
template <int N> inline void SwapChunks(unsigned char *a, unsigned char *b, size_t n)
{
    typedef unsigned char Chunk __attribute__((vector_size(N)));
    size_t i = 0;
    // Two chunks a step keep more loads in flight.
    for (; i + 2 * N <= n; i += 2 * N) {
        Chunk x0, x1, y0, y1;
        std::memcpy(&x0, a + i, N);
        std::memcpy(&x1, a + i + N, N);
        std::memcpy(&y0, b + i, N);
        std::memcpy(&y1, b + i + N, N);
        std::memcpy(a + i, &y0, N);
        std::memcpy(a + i + N, &y1, N);
        std::memcpy(b + i, &x0, N);
        std::memcpy(b + i + N, &x1, N);
    }
    for (; i + N <= n; i += N) {
        Chunk x, y;
        std::memcpy(&x, a + i, N);
        std::memcpy(&y, b + i, N);
        std::memcpy(a + i, &y, N);
        std::memcpy(b + i, &x, N);
    }
    for (; i < n; ++i) {
        unsigned char t = a[i];
        a[i] = b[i];
        b[i] = t;
    }
}

void SwapSse(unsigned char *a, unsigned char *b, size_t n)
{
    SwapChunks<16>(a, b, n);
}
__attribute__((target("avx2"))) void SwapAvx2(unsigned char *a, unsigned char *b, size_t n)
{
    SwapChunks<32>(a, b, n);
}

using SwapFn = void (*)(unsigned char *, unsigned char *, size_t);
SwapFn SwapBytes()
{
    static const SwapFn chosen = __builtin_cpu_supports("avx2") ? SwapAvx2 : SwapSse;
    return chosen;
}

// The box clipped to the image; false when nothing is left.
bool ClipToImage(Box *out, const Box *box, const Image *image)
{
    const Box whole = Box_OfImage(image);
    return Box_Clip(out, box, &whole) != 0;
}

// Calls row(a row, b row, length) for the box's span of every row of every
// plane; the spans are walked one plane at a time, the order that keeps the
// planes of a power-of-two-wide image from aliasing each other in the cache.
template <typename ImageB, typename RowFn> void ForEachSpan(Image *a, ImageB *b, const Box *box, RowFn row)
{
    Box c;
    if (!ClipToImage(&c, box, a))
        return;
    for (int p = 0; p < Image_Planes(a); ++p) {
        long first = 0;
        long length = Undo_Span(Image_PlaneBits(a, p), c.x1, c.x2, &first);
        if (length <= 0)
            continue;
        for (int y = c.y1; y <= c.y2; ++y)
            row(Image_Row(a, p, y) + first, Image_Row(b, p, y) + first, size_t(length));
    }
}

// The background copy: its work procedure and the plane and row it copies
// next.
XtWorkProcId copyProc;
int copyPlane, copyRow;

void FreeBox(void *b)
{
    Box_Free(static_cast<Box *>(b));
}

Boolean CopyStep(XtPointer)
{
    GG_Dabstone &e = *G_dabstone;
    if (!e.undoImage || !e.image) { // given up under us: nothing to finish
        copyProc = 0;
        return True;
    }
    if (!Undo_CopyRow(e.undoImage, e.image, &copyPlane, &copyRow))
        return False;
    copyProc = 0;
    Dabstone_UndoInited();
    return True;
}

} // namespace

void Undo_Init()
{
    Undo_StopInit();
    copyPlane = copyRow = 0;
    copyProc = XtAppAddWorkProc(G_dabstone->app, CopyStep, nullptr);
}

void Undo_StopInit()
{
    if (copyProc)
        XtRemoveWorkProc(copyProc);
    copyProc = 0;
}

void Undo_SetBox(const Box *box)
{
    GG_Dabstone &e = *G_dabstone;
    Box c;
    if (e.undoImage && e.undoReady && Box_Clip(&c, box, &e.imageBox))
        Box_AddBoxToList(e.undoBoxes, &c);
}

void Undo_Validate()
{
    GG_Dabstone &e = *G_dabstone;
    if (!e.undoImage || !e.undoReady || List_Cardinal(e.undoBoxes) == 0)
        return;
    for (ListNode *n = e.undoBoxes->first; n; n = n->next)
        Undo_CopyBox(e.undoImage, e.image, static_cast<const Box *>(n->element));
    List_Empty(e.undoBoxes, FreeBox);
}

void Undo_Undo()
{
    GG_Dabstone &e = *G_dabstone;
    if (!e.undoImage || List_Cardinal(e.undoBoxes) == 0)
        return;
    for (ListNode *n = e.undoBoxes->first; n; n = n->next)
        Undo_SwapBox(e.undoImage, e.image, static_cast<const Box *>(n->element));
    Dabstone_RefreshList(e.undoBoxes);
    Dabstone_BigRefreshList(e.undoBoxes);
}

int Undo_SameLayout(const Image *a, const Image *b)
{
    if (!a || !b || Image_Width(a) != Image_Width(b) || Image_Height(a) != Image_Height(b) ||
        Image_Planes(a) != Image_Planes(b))
        return 0;
    for (int p = 0; p < Image_Planes(a); ++p)
        if (Image_PlaneBits(a, p) != Image_PlaneBits(b, p) ||
            Image_PlaneBytesPerRow(a, p) != Image_PlaneBytesPerRow(b, p))
            return 0;
    return 1;
}

long Undo_Span(int bits, int x1, int x2, long *first)
{
    switch (bits) {
    case 8:
        *first = x1;
        return long(x2) - x1 + 1;
    case 16:
        *first = 2L * x1;
        return 2L * (long(x2) - x1 + 1);
    case 1:
        *first = x1 / 8;
        return x2 / 8 - x1 / 8 + 1;
    default:
        *first = 0;
        return 0;
    }
}

void Undo_CopyBox(Image *dst, const Image *src, const Box *box)
{
    ForEachSpan(dst, src, box,
                [](unsigned char *d, const unsigned char *s, size_t n) { std::memcpy(d, s, n); });
}

void Undo_SwapBox(Image *a, Image *b, const Box *box)
{
    ForEachSpan(a, b, box,
                [swap = SwapBytes()](unsigned char *x, unsigned char *y, size_t n) { swap(x, y, n); });
}

int Undo_CopyRow(Image *dst, const Image *src, int *plane, int *row)
{
    int planes = Image_Planes(src);
    int height = Image_Height(src);
    if (*plane >= planes || *plane < 0 || *row < 0 || *row >= height)
        return 1;
    std::memcpy(Image_Row(dst, *plane, *row), Image_Row(src, *plane, *row),
                size_t(Image_PlaneBytesPerRow(src, *plane)));
    if (++*row >= height) {
        *row = 0;
        ++*plane;
    }
    return *plane >= planes;
}
