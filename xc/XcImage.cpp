#include "xc/XcImage.h"

#include <sys/ipc.h>
#include <sys/shm.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <utility>
#include <vector>

namespace
{
// Sizes the X protocol can carry in a put or a get.
constexpr int kMaxSide = 65535;

int dashCounter = 0; // shared by every image and every primitive

int bytesPerPixel(const XcImage *xi)
{
    return xi->visual->c_class == PseudoColor ? 1 : 4;
}

// Shared memory calls run synchronously under this handler, so that a
// refused attach is known at once and never reaches the program's handler.
int shmError = 0;
int SilentHandler(Display *, XErrorEvent *)
{
    shmError = 1;
    return 0;
}

struct Silent {
    Display *display;
    XErrorHandler previous;
    explicit Silent(Display *d) : display(d)
    {
        XSync(display, False);
        shmError = 0;
        previous = XSetErrorHandler(SilentHandler);
        XSynchronize(display, True);
    }
    ~Silent()
    {
        XSynchronize(display, False);
        XSetErrorHandler(previous);
    }
};

XImage *CreateShared(XcVisual *v, int width, int height, XShmSegmentInfo *seg)
{
    if (!XShmQueryExtension(v->display))
        return nullptr;
    Silent silent(v->display);
    XImage *image = XShmCreateImage(v->display, v->visual, v->depth, ZPixmap, nullptr, seg, width, height);
    if (!image)
        return nullptr;
    seg->shmid = shmget(IPC_PRIVATE, size_t(image->bytes_per_line) * height + 4, IPC_CREAT | 0777);
    if (seg->shmid < 0) {
        XDestroyImage(image);
        return nullptr;
    }
    seg->shmaddr = static_cast<char *>(shmat(seg->shmid, nullptr, 0));
    if (seg->shmaddr == reinterpret_cast<char *>(-1)) {
        shmctl(seg->shmid, IPC_RMID, nullptr);
        XDestroyImage(image);
        return nullptr;
    }
    image->data = seg->shmaddr;
    seg->readOnly = True;
    const bool attached = XShmAttach(v->display, seg) && (XSync(v->display, False), !shmError);
    // Both sides hold it now (or the server never will): once marked, the
    // segment goes with the last detach, even if the program dies.
    shmctl(seg->shmid, IPC_RMID, nullptr);
    if (!attached) {
        image->data = image->obdata = nullptr;
        XDestroyImage(image);
        shmdt(seg->shmaddr);
        return nullptr;
    }
    return image;
}

XImage *CreateOrdinary(XcVisual *v, int width, int height)
{
    XImage *image = XCreateImage(v->display, v->visual, v->depth, ZPixmap, 0, nullptr, width, height,
                                 BitmapPad(v->display), 0);
    if (!image)
        return nullptr;
    image->data = static_cast<char *>(std::malloc(size_t(image->bytes_per_line) * height + 4));
    if (!image->data) {
        XDestroyImage(image);
        return nullptr;
    }
    return image;
}

// An image of the size into *image (and *seg); *shm in: try shared memory,
// out: got it. 0, or -1 when not even an ordinary image could be had.
int CreateMemory(XcVisual *v, int width, int height, int *shm, XImage **image, XShmSegmentInfo *seg)
{
    *image = *shm ? CreateShared(v, width, height, seg) : nullptr;
    *shm = *image != nullptr;
    if (!*image)
        *image = CreateOrdinary(v, width, height);
    return *image ? 0 : -1;
}

void FreeMemory(XcVisual *v, XImage *image, int shm, XShmSegmentInfo *seg)
{
    if (!image)
        return;
    if (!shm) {
        XDestroyImage(image);
        return;
    }
    Silent silent(v->display);
    // The data is the segment and obdata points at *seg: neither is Xlib's to free.
    image->data = image->obdata = nullptr;
    XDestroyImage(image);
    XShmDetach(v->display, seg);
    shmdt(seg->shmaddr);
}

void FreeImage(XcImage *xi)
{
    FreeMemory(xi->visual, xi->image, xi->shm, &xi->segment);
    xi->image = nullptr;
    xi->shm = 0;
}

bool BadSize(int width, int height)
{
    return width < 0 || height < 0 || width > kMaxSide || height > kMaxSide;
}

uint8_t *PixelAt(XcImage *xi, int x, int y)
{
    return reinterpret_cast<uint8_t *>(xi->image->data) + size_t(y) * xi->image->bytes_per_line +
           size_t(x) * bytesPerPixel(xi);
}

// One visited pixel: drawn when wanted and inside the image; the dash
// advances either way.
void Visit(XcImage *xi, int x, int y, bool draw, int invert, long pixel)
{
    const bool dashed = pixel == -1;
    const int phase = dashCounter;
    dashCounter = (dashCounter + 1) & 7;
    if (!draw || !xi->image || x < 0 || y < 0 || x >= xi->image->width || y >= xi->image->height)
        return;
    uint32_t value = uint32_t(pixel);
    if (dashed)
        value = xi->cms ? XcCmsGetColor(xi->cms, phase < 4 ? 15 : 0) : 0;
    uint8_t *p = PixelAt(xi, x, y);
    if (bytesPerPixel(xi) == 1) {
        *p = invert ? uint8_t(255 - *p) : uint8_t(value);
    } else {
        uint32_t word;
        std::memcpy(&word, p, 4);
        word = invert ? ~word : value;
        std::memcpy(p, &word, 4);
    }
}

// Whether a clip box (null: none) leaves the pixel drawn.
bool Inside(const Box *clip, int x, int y)
{
    return !clip || (x >= clip->x1 && x <= clip->x2 && y >= clip->y1 && y <= clip->y2);
}

// The dash moves on by n pixels that are not drawn.
void Skip(int64_t n)
{
    dashCounter = int((dashCounter + n % 8) & 7);
}

// A straight run from `from` to `to` along one axis at `fixed` on the other:
// the pixels in the image are visited, the rest only counted, so that a run
// reaching far outside costs what it draws (and never steps past INT_MAX).
void Run(XcImage *xi, bool vertical, int fixed, int64_t from, int64_t to, int invert, long pixel)
{
    const int64_t along = xi->image ? (vertical ? xi->image->height : xi->image->width) : 0;
    const int64_t across = xi->image ? (vertical ? xi->image->width : xi->image->height) : 0;
    const int64_t lo = std::max<int64_t>(from, 0), hi = std::min<int64_t>(to, along - 1);
    if (fixed < 0 || fixed >= across || lo > hi) {
        Skip(to - from + 1);
        return;
    }
    Skip(lo - from);
    for (int64_t v = lo; v <= hi; ++v)
        Visit(xi, vertical ? fixed : int(v), vertical ? int(v) : fixed, true, invert, pixel);
    Skip(to - hi);
}

// How far a resize moves the kept area for a placement (see the header);
// dw and dh are the growth of each side.
std::pair<int, int> PlacementShift(int placement, int dw, int dh)
{
    switch (placement) {
    case 3:
        return {dw, 0};
    case 5:
        return {dw / 2, dh / 2}; // integer division rounds toward zero
    case 7:
        return {dw, dh};
    case 9:
        return {0, dh};
    default:
        return {0, 0};
    }
}

// The top-right quarter of the ellipse in a w x h rectangle (w, h from 1 to
// 65535, pixel offsets from its top-left corner), from the middle of the top
// side (ceil(w / 2), 0) to the middle of the right side (w, floor(h / 2)).
// Each step goes right, down or both, to the pixel whose residual
// (u / a)^2 + (v / b)^2 - 1 is the smallest: u, v (from the centre) and the
// half-axes a, b are 16.16, so are their ratios, and the squares are kept
// in 32.32 so that nothing more is rounded.
// A middle column (even w) or row (even h) is its own mirror: the quarter
// holds one pixel of each, its first and its last, so that the four mirrored
// quarters join into one loop instead of leaving spurs on thin ellipses.
std::vector<std::pair<int, int>> Quarter(int w, int h)
{
    const int32_t a = w << 15, b = h << 15; // w / 2 and h / 2
    constexpr int64_t kBarred = INT64_MAX;
    auto residual = [&](int i, int j) {
        const int64_t p = (int64_t((2 * i - w) << 15) << 16) / a, q = (int64_t((h - 2 * j) << 15) << 16) / b;
        return std::abs(p * p + q * q - (int64_t(1) << 32));
    };
    const int iStart = (w + 1) / 2, iEnd = w, jEnd = h / 2;
    int i = iStart, j = 0;
    std::vector<std::pair<int, int>> quarter{{i, j}};
    while (i < iEnd || j < jEnd) {
        if (i == iEnd || j == jEnd) {
            (i == iEnd ? j : i) += 1;
        } else { // the diagonal wins ties: a thinner outline
            const bool middleRowNext = h % 2 == 0 && j + 1 == jEnd, middleColumn = w % 2 == 0 && i == iStart;
            const int64_t both = middleRowNext && i + 1 < iEnd ? kBarred : residual(i + 1, j + 1);
            const int64_t right = residual(i + 1, j),
                          down = middleRowNext || middleColumn ? kBarred : residual(i, j + 1);
            const bool diagonal = both <= right && both <= down;
            i += diagonal || right <= down;
            j += diagonal || down < right;
        }
        quarter.emplace_back(i, j);
    }
    return quarter;
}
} // namespace

XcImage *XcImage_Create(XcVisual *visual, XcCms *cms, int width, int height, int *shm)
{
    if (!visual || !XcCheckVisual(visual) || BadSize(width, height))
        return nullptr;
    XcImage *xi = static_cast<XcImage *>(std::calloc(1, sizeof(XcImage)));
    if (!xi)
        return nullptr;
    xi->visual = visual;
    xi->cms = cms;
    if (!cms) {
        xi->cms = XcCmsOpen(visual);
        xi->ownsCms = 1;
    }
    int wantShm = shm ? *shm : 0;
    if (!xi->cms ||
        (width && height && CreateMemory(visual, width, height, &wantShm, &xi->image, &xi->segment))) {
        XcImage_Destroy(xi);
        return nullptr;
    }
    xi->shm = xi->image && wantShm;
    if (shm)
        *shm = xi->shm;
    return xi;
}

XcImage *XcImage_SetDims(XcImage *xi, int width, int height, int *shm)
{
    if (!xi)
        return nullptr;
    FreeImage(xi); // clears the shared flag: the new image is an ordinary one
    int wantShm = 0;
    if (BadSize(width, height) ||
        (width && height && CreateMemory(xi->visual, width, height, &wantShm, &xi->image, &xi->segment))) {
        XcImage_Destroy(xi);
        return nullptr;
    }
    xi->shm = xi->image && wantShm;
    if (shm)
        *shm = xi->shm;
    return xi;
}

XcImage *XcImage_CopyAndSetDims(XcImage *xi, int width, int height, int placement, Box *area, int *shm)
{
    if (!xi)
        return nullptr;
    Box none{};
    if (!area)
        area = &none;
    if (!xi->image || width <= 0 || height <= 0) {
        area->width = area->height = 0;
        return XcImage_SetDims(xi, width, height, shm);
    }
    if (BadSize(width, height)) {
        XcImage_Destroy(xi);
        return nullptr;
    }
    XImage *old = xi->image;
    const int oldShm = xi->shm;
    // The new image is made straight into the record: a shared image keeps a
    // pointer to its segment record.
    const XShmSegmentInfo oldSeg = xi->segment;
    int wantShm = xi->shm;
    XImage *image;
    if (CreateMemory(xi->visual, width, height, &wantShm, &image, &xi->segment)) {
        xi->segment = oldSeg;
        XcImage_Destroy(xi);
        return nullptr;
    }
    // The area, less what the old image lacks, moves with the placement;
    // then the new image cuts it. Clipped first, its corners cannot overflow.
    Box keep = Box_Rect(area->x1, area->y1, area->width, area->height);
    const Box oldWhole = Box_Rect(0, 0, old->width, old->height), whole = Box_Rect(0, 0, width, height);
    const auto [dx, dy] = PlacementShift(placement, width - old->width, height - old->height);
    bool remains = Box_SelfClip(&keep, &oldWhole);
    if (remains) {
        keep = Box_Rect(keep.x1 + dx, keep.y1 + dy, keep.width, keep.height);
        remains = Box_SelfClip(&keep, &whole);
    }
    if (!remains) {
        area->width = area->height = 0;
    } else {
        const size_t bpp = bytesPerPixel(xi), row = size_t(keep.width) * bpp;
        for (int y = keep.y1; y <= keep.y2; ++y)
            std::memcpy(image->data + size_t(y) * image->bytes_per_line + keep.x1 * bpp,
                        old->data + size_t(y - dy) * old->bytes_per_line + (keep.x1 - dx) * bpp, row);
        *area = keep;
    }
    XShmSegmentInfo freed = oldSeg;
    FreeMemory(xi->visual, old, oldShm, &freed);
    xi->image = image;
    xi->shm = wantShm;
    if (shm)
        *shm = xi->shm;
    return xi;
}

void XcImage_Destroy(XcImage *xi)
{
    if (!xi)
        return;
    FreeImage(xi);
    if (xi->ownsCms && xi->cms)
        XcCmsClose(xi->cms);
    std::free(xi->scratch);
    std::free(xi);
}

int XcImage_RecomputeCms(XcImage *xi)
{
    if (xi->cms && xi->ownsCms) // a caller's context stays the caller's
        XcCmsClose(xi->cms);
    xi->cms = XcCmsOpen(xi->visual);
    xi->ownsCms = 1;
    return xi->cms ? 0 : -1;
}

void XcImage_MoveArea(XcImage *xi, int sx, int sy, int dx, int dy, int width, int height)
{
    XImage *im = xi->image;
    if (!im || width <= 0 || height <= 0 || sx < 0 || sy < 0 || dx < 0 || dy < 0 ||
        width > im->width - std::max(sx, dx) || height > im->height - std::max(sy, dy))
        return;
    const size_t row = size_t(width) * bytesPerPixel(xi);
    auto at = [&](int x, int y) { return PixelAt(xi, x, y); };
    if (sy < dy) {
        for (int i = height - 1; i >= 0; --i)
            std::memcpy(at(dx, dy + i), at(sx, sy + i), row);
    } else if (sy > dy) {
        for (int i = 0; i < height; ++i)
            std::memcpy(at(dx, dy + i), at(sx, sy + i), row);
    } else {
        if (size_t(xi->scratchSize) < row) {
            uint8_t *grown = static_cast<uint8_t *>(std::realloc(xi->scratch, row));
            if (!grown)
                return;
            xi->scratch = grown;
            xi->scratchSize = int32_t(row);
        }
        for (int i = 0; i < height; ++i) {
            std::memcpy(xi->scratch, at(sx, sy + i), row);
            std::memcpy(at(dx, dy + i), xi->scratch, row);
        }
    }
}

void XcImage_DrawSLine(XcImage *xi, int x1, int y1, int x2, int y2, int invert, long pixel)
{
    if (x1 > x2)
        std::swap(x1, x2);
    if (y1 > y2)
        std::swap(y1, y2);
    if (y1 != y2)
        Run(xi, true, x1, y1, y2, invert, pixel);
    else
        Run(xi, false, y1, x1, x2, invert, pixel);
}

void XcImage_DrawRect(XcImage *xi, const Box *r, const Box *c, int invert, long pixel)
{
    if (!c) {
        XcImage_DrawSLine(xi, r->x1, r->y1, r->x2, r->y1, invert, pixel);
        XcImage_DrawSLine(xi, r->x1, r->y1, r->x1, r->y2, invert, pixel);
        XcImage_DrawSLine(xi, r->x2, r->y2, r->x2, r->y1, invert, pixel);
        XcImage_DrawSLine(xi, r->x2, r->y2, r->x1, r->y2, invert, pixel);
        return;
    }
    const int cx1 = std::max(r->x1, c->x1), cx2 = std::min(r->x2, c->x2);
    const int cy1 = std::max(r->y1, c->y1), cy2 = std::min(r->y2, c->y2);
    auto inRows = [&](int y) { return y >= c->y1 && y <= c->y2; };
    auto inColumns = [&](int x) { return x >= c->x1 && x <= c->x2; };
    if (inRows(r->y1) && cx1 <= cx2)
        XcImage_DrawSLine(xi, cx1, r->y1, cx2, r->y1, invert, pixel);
    if (inRows(r->y2) && cx1 <= cx2)
        XcImage_DrawSLine(xi, cx1, r->y2, cx2, r->y2, invert, pixel);
    if (inColumns(r->x1) && cy1 <= cy2)
        XcImage_DrawSLine(xi, r->x1, cy1, r->x1, cy2, invert, pixel);
    if (inColumns(r->x2) && cy1 <= cy2)
        XcImage_DrawSLine(xi, r->x2, cy1, r->x2, cy2, invert, pixel);
}

void XcImage_DrawLine(XcImage *xi, int x1, int y1, int x2, int y2, const Box *clip, int invert, long pixel)
{
    if (x1 == x2 && y1 == y2)
        return;
    // In 64 bits: the distances and twice them overflow for far-apart ends.
    const int64_t ddx = std::abs(int64_t(x2) - x1), ddy = std::abs(int64_t(y2) - y1);
    const int sx = x2 > x1 ? 1 : -1, sy = y2 > y1 ? 1 : -1;
    const bool xMajor = ddx >= ddy;
    const int64_t major = xMajor ? ddx : ddy, minor = xMajor ? ddy : ddx;
    int64_t error = 2 * minor - major;
    int x = x1, y = y1;
    for (int64_t i = 0; i <= major; ++i) {
        Visit(xi, x, y, Inside(clip, x, y), invert, pixel);
        while (error >= 0 && minor) {
            (xMajor ? y : x) += xMajor ? sy : sx;
            error -= 2 * major;
        }
        (xMajor ? x : y) += xMajor ? sx : sy;
        error += 2 * minor;
    }
}

void XcImage_DrawEllipse(XcImage *xi, int x1, int y1, int x2, int y2, const Box *clip, int invert, long pixel)
{
    if (x1 > x2)
        std::swap(x1, x2);
    if (y1 > y2)
        std::swap(y1, y2);
    const int64_t w = int64_t(x2) - x1, h = int64_t(y2) - y1;
    if (w > kMaxSide || h > kMaxSide)
        return;
    auto visit = [&](int x, int y) { Visit(xi, x, y, Inside(clip, x, y), invert, pixel); };
    if (!w || !h) {
        for (int k = 0; k <= w + h; ++k)
            visit(x1 + (w ? k : 0), y1 + (h ? k : 0));
        return;
    }
    // The quarter mirrored into the other three, in turn around the outline;
    // the middle column (even w) or row (even h) is its own mirror and is
    // visited once, where the quarters meet.
    const auto q = Quarter(int(w), int(h));
    const int n = int(q.size()), evenW = w % 2 == 0, evenH = h % 2 == 0;
    for (int k = 0; k < n; ++k)
        visit(x1 + q[k].first, y1 + q[k].second);
    for (int k = n - 1 - evenH; k >= 0; --k)
        visit(x1 + q[k].first, y2 - q[k].second);
    for (int k = evenW; k < n; ++k)
        visit(x2 - q[k].first, y2 - q[k].second);
    for (int k = n - 1 - evenH; k >= evenW; --k)
        visit(x2 - q[k].first, y1 + q[k].second);
}

void XcImage_ReinitCounter()
{
    dashCounter = 0;
}
