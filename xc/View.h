// A view maps a rectangle of a source plane onto a rectangle of a destination
// plane at a rational zoom per axis, splits the destination into the image
// area (where the source falls) and the nomans strips (where it does not), and
// paints them through its two fill objects. Conversions use floor division
// and keep the exact phase inside a source pixel, so that boxes painted one by
// one join without seams.
#pragma once
#include "brush/Box.h"
#include "core/List.h"
#include "xc/Fill.h"

#include <cstdint>

// A zoom fraction: num source units for den destination units.
struct ViewZoom {
    int32_t num;
    int32_t den;
};

ViewZoom ViewMakeAbstract(int32_t num, int32_t den);

enum {
    VIEW_ONE = 0,     // 1:1
    VIEW_MAGNIFY = 3, // num < den: one source pixel covers several
    VIEW_REDUCE = 4   // num > den
};

// One axis: dst = dstOrigin maps to src = srcOrigin at offset phase (in
// units of 1/den of a source pixel); num and den are reduced.
struct ViewMap {
    int32_t kind;
    int32_t srcOrigin;
    int32_t dstOrigin;
    int32_t num;
    int32_t den;
    int32_t phase; // 0 <= phase < den
};

// What the callback receives after every change of the mapping.
struct ViewInfo {
    int32_t reason; // always -1
    Box visibleSrc;
    int32_t numX, denX, numY, denY;
    Box imageArea;
    Box srcExtent;
    List *nomans;
};

using ViewCallbackFn = void (*)(View *view, void *data, ViewInfo *info);

// Options of NViewCreate, ViewSetOptions and ViewGetOptions; the mask says
// which groups are given.
struct ViewOptions {
    const Box *srcRef;             // VIEW_MAP; null: the view's own src
    const Box *dstRef;             // VIEW_MAP; null: the view's own dst
    ViewCallbackFn callback;       // VIEW_CALLBACK
    void *callbackData;            // VIEW_CALLBACK
    int32_t zoomModeX, zoomModeY;  // VIEW_ZOOMMODE
    int32_t ratioKeep, ratioWhich; // VIEW_RATIOMODE
};

enum { VIEW_MAP = 1, VIEW_CALLBACK = 4, VIEW_ZOOMMODE = 16, VIEW_RATIOMODE = 32 };

// Zoom anchors per axis.
enum { VIEW_ANCHOR_START = 0, VIEW_ANCHOR_CENTRE = 1, VIEW_ANCHOR_END = 2 };

struct View {
    Box dst;           // the destination rectangle the view paints
    Fill *bgFiller;    // paints the nomans boxes
    Box src;           // the extent of the source
    Fill *filler;      // paints the image area
    const Box *srcRef; // the boxes that define the mapping: &src, &dst or
    const Box *dstRef; // outside boxes (read only at the next ViewSetMap)
    Box imageArea;     // part of dst the source falls on; empty when none
    Box srcExtent;     // destination extent of the whole src; its corner
                       // anchors the kernels' block and dither grids
    Box visibleSrc;    // the source seen through dst, for the callback
    List *nomans;      // boxes of dst outside imageArea, owned by the view
    ViewMap xMap, yMap;
    int32_t zoomMode[2];  // per axis, VIEW_ANCHOR_*
    int32_t ratioMode[2]; // keep equal ratios (0 off), which wins (0 larger, 1 smaller)
    int32_t debugLevel;
    ViewCallbackFn callback;
    void *callbackData;
};

// An object whose second word points at its box (ViewCreate's arguments).
struct ViewBoxed {
    void *head;
    Box *box;
};

// Null when memory is short.
View *NViewCreate(const Box *src, const Box *dst, Fill *bgFiller, Fill *filler, const ViewOptions *options,
                  int mask);
View *ViewCreate(const ViewBoxed *src, const ViewBoxed *dst, Fill *bgFiller, Fill *filler,
                 const ViewOptions *options, int mask);
void ViewDestroy(View *view);

void ViewSetMap(View *view, const Box *srcRef, const Box *dstRef);
void ViewSetSrc(View *view, const Box *box);
void ViewSetDst(View *view, const Box *box);
// 0, or 1046 when a fraction has a term below 1 (nothing changes then).
int ViewSetZoom(View *view, ViewZoom zoomX, ViewZoom zoomY, int32_t anchorX, int32_t anchorY,
                int explicitAnchor);
void ViewScroll(View *view, int32_t dx, int32_t dy);
void ViewSetFiller(View *view, Fill *filler);
void ViewSetBgFiller(View *view, Fill *bgFiller);
void ViewSetZoomMode(View *view, int32_t x, int32_t y);
void ViewSetRatioMode(View *view, int32_t keep, int32_t which);
void ViewSetCallback(View *view, ViewCallbackFn fn, void *data);
void ViewSetOptions(View *view, const ViewOptions *options, int mask);
void ViewSetDebugLevel(View *view, int32_t level);

// New copies; the caller frees them (null when no record).
Box *ViewGetSrc(const View *view);
Box *ViewGetDst(const View *view);
Box *ViewGetDstImageArea(const View *view);
List *ViewGetNomans(const View *view);
Fill *ViewGetFiller(const View *view);
Fill *ViewGetBgFiller(const View *view);
void ViewGetOptions(const View *view, ViewOptions *options, int mask);
ViewZoom ViewGetZoomX(const View *view);
ViewZoom ViewGetZoomY(const View *view);

int32_t ViewDstToSrcX(const View *view, int32_t x);
int32_t ViewDstToSrcY(const View *view, int32_t y);
void ViewDstToSrc(const View *view, int32_t x, int32_t y, int32_t *sx, int32_t *sy);
void ViewDstToSrcPh(const View *view, int32_t x, int32_t y, int32_t *sx, int32_t *sy, int32_t *phx,
                    int32_t *phy);
// Lengths: num × d / den and den × d / num, truncated.
void ViewDstToSrcV(const View *view, int32_t dx, int32_t dy, int32_t *rx, int32_t *ry);
void ViewSrcToDstV(const View *view, int32_t dx, int32_t dy, int32_t *rx, int32_t *ry);
// The first destination pixel that shows source pixel s.
int32_t ViewSrcToDstX(const View *view, int32_t x);
int32_t ViewSrcToDstY(const View *view, int32_t y);
void ViewSrcToDst(const View *view, int32_t x, int32_t y, int32_t *dx, int32_t *dy);
// The destination pixel at the centre of the source pixel's span.
void ViewSrcToDstC(const View *view, int32_t x, int32_t y, int32_t *dx, int32_t *dy);
// Exactly the destination pixels [d1, d2] whose source lies in [s1, s2] on
// the given axis map; 1 when d1 <= d2.
int ViewSrcToDstInterval(const View *view, const ViewMap *map, int32_t s1, int32_t s2, int32_t *d1,
                         int32_t *d2);
// New boxes mapped both ways (null when no record); an empty destination
// interval gives width and height 0.
Box *ViewSrcToDstBox(const View *view, const Box *box);
Box *ViewDstToSrcBox(const View *view, const Box *box);

void ViewFill(View *view);
void ViewFillDst(View *view, const Box *box);
void ViewFillSrc(View *view, const Box *box);
void ViewFillNomans(View *view);
