// Selection objects: regions of an image in image coordinates, drawn with
// their handles over a picture, hit-tested, edited point by point or by
// their rectangle's edges, listed as window boxes for refresh and written
// into 8-bit masks.
//
// Two classes share one record shape and one instance shape: "Selection"
// (a rectangle, made from its 4 corners, closed) and "Vectorial Selection"
// (a polygon), whose superclass is "Selection". An operation looks its slot
// up in the object's class, then up the superclass chain. "Selection" fills
// initialize and destroy (which set up and free the common part and the
// points that every selection is drawn from); every other slot of both
// records holds the polygon's operations, so a rectangle is edited as a
// polygon whose first corner is its one key point.
//
// Coordinates. Points and the bounding box are image coordinates, held to
// +-SELECTION_COORD_MAX so that every span and box size fits 32 bits;
// pointer positions, clip boxes and box lists are window coordinates of the
// view given. A null clip stands for the view's destination rectangle: the
// clip bounds the work of drawing or listing a segment, however long.
#pragma once
#include "brush/Box.h"
#include "core/List.h"
#include "xc/View.h"
#include "xc/XcImage.h"

#include <X11/Intrinsic.h>
#include <cstddef>
#include <cstdint>

struct Image;

constexpr int32_t SELECTION_COORD_MAX = (1 << 30) - 1;

// Control codes: one bit per edge; a corner has two. Point indexes
// (0..count - 1) and codes share one integer space; -1 means nothing.
enum : int32_t {
    SELECTION_NONE = -1,
    SELECTION_TOP = 0x2000000,
    SELECTION_RIGHT = 0x4000000,
    SELECTION_BOTTOM = 0x8000000,
    SELECTION_LEFT = 0x10000000,
    SELECTION_TOP_LEFT = 0x12000000,
    SELECTION_TOP_RIGHT = 0x6000000,
    SELECTION_BOTTOM_RIGHT = 0xC000000,
    SELECTION_BOTTOM_LEFT = 0x18000000,
    SELECTION_MOVE = 0x20000000
};

// One point of an outline (image coordinates).
struct SelectionPoint {
    int32_t x, y;
    int32_t key; // 1: a key point (drawn with a handle, hit by the pointer)
};

// A control point of the rectangle (window coordinates).
struct SelectionControl {
    int32_t x, y;
    int32_t enabled;
};

// Where and how SelectionDraw draws. With a gc the outline goes to the
// widget's window (XDrawLine, XDrawRectangle; the caller sets the gc's
// function, colours and clip). Without one it goes into image with
// XcImage_DrawLine and XcImage_DrawRect: invert complements the pixels,
// pixel is a pixel value or -1 for the dash pattern (restarted before each
// outline); handles are white, black, white (colour slots 15 and 0) unless
// invert is set. The context is not changed.
struct SelectionDrawContext {
    Widget widget;
    GC gc;          // null: draw into image
    XcImage *image; // the widget's X image
    int invert;
    long pixel;
};

struct Selection;
struct SelectionClassRec;
struct SelectionBackup;

// The slots, in record order.
using SelectionClassInitializeFn = void (*)();
using SelectionInitializeFn = int (*)(Selection *sel, const int32_t *points, int32_t count, int closed);
using SelectionDestroyFn = void (*)(Selection *sel);
using SelectionDrawFn = void (*)(Selection *sel, const View *view, const SelectionDrawContext *target,
                                 const Box *clip, int withControls);
using SelectionMaskFn = int (*)(Selection *sel, Image *mask);
using SelectionBoxListFn = List *(*)(Selection *sel, const View *view, const Box *clip, int withControls);
using SelectionGetBackupFn = SelectionBackup *(*)(Selection *sel, int32_t which);
using SelectionSetBackupFn = int (*)(Selection *sel, const SelectionBackup *backup);
using SelectionDestroyBackupFn = void (*)(Selection *sel, SelectionBackup *backup);
using SelectionGetPointFn = int32_t (*)(Selection *sel, const View *view, int32_t x, int32_t y);
using SelectionGetPointValueFn = void (*)(Selection *sel, int32_t which, int32_t *x, int32_t *y);
using SelectionSetPointFn = int32_t (*)(Selection *sel, int32_t which, int32_t x, int32_t y);
using SelectionSetPointsFn = void (*)(Selection *sel, const int32_t *points, int32_t count);
using SelectionAddPointFn = int32_t (*)(Selection *sel, int32_t index, int32_t x, int32_t y);
using SelectionRemPointFn = int32_t (*)(Selection *sel, int32_t index);
using SelectionCloseFn = void (*)(Selection *sel);

// A class record. A null slot is inherited from the superclass chain.
// classInitialize runs once (superclass first) before the first instance;
// initialize runs superclass first and returns 0 on failure; destroy runs
// subclass first.
struct SelectionClassRec {
    SelectionClassRec *superclass;
    const char *className;
    size_t instanceSize; // at least sizeof(Selection)
    SelectionClassInitializeFn classInitialize;
    int classInited;
    SelectionInitializeFn initialize;
    SelectionDestroyFn destroy;
    void *reserved1[4];
    SelectionDrawFn draw;
    void *reserved2;
    SelectionMaskFn fillMask, markMask, contourMask;
    void *reserved3;
    SelectionBoxListFn bigBoxList, fineBoxList;
    SelectionGetBackupFn getBackup;
    SelectionSetBackupFn setBackup;
    SelectionDestroyBackupFn destroyBackup;
    void *reserved4[3];
    // The polygon's extension.
    SelectionGetPointFn getPoint;
    SelectionGetPointValueFn getPointValue;
    SelectionSetPointFn setPoint;
    void *reserved5;
    SelectionSetPointsFn setPoints;
    SelectionAddPointFn addPoint;
    SelectionRemPointFn remPoint;
    SelectionCloseFn close;
    void *reserved6;
};

// An instance: the common part, then the polygon's.
struct Selection {
    Selection *self;
    char *name;
    SelectionClassRec *klass;
    Box box;                      // bounding box of the points
    SelectionControl controls[9]; // rebuilt before use: 0 top-left, then clockwise, 8 centre
    int32_t reserved;
    int32_t handleSize, handleThickness; // 4 and 3: the control size is 7
    int32_t keepRatio, keepCenter;       // stored for the caller; edits do not read them
    int32_t ratioWidth, ratioHeight;
    // Polygon.
    int32_t nPoints;
    int32_t nKeyPoints;
    SelectionPoint *points;
    int32_t closed;
};

extern SelectionClassRec *selectionClass;
extern SelectionClassRec *vectSelectionClass;

// Null for a missing class, points or count (count < 1), or short memory.
// points holds count (x, y) pairs; the first point is the one key point.
Selection *SelectionCreate(const char *name, SelectionClassRec *klass, const int32_t *points, int32_t count,
                           int closed);
void SelectionDestroy(Selection *sel);
SelectionClassRec *SelectionGetClass(const Selection *sel);
const char *SelectionClassName(const Selection *sel);
int32_t SelectionGetNPoints(const Selection *sel);
Box SelectionGetBox(const Selection *sel);
// When on, the ratio is ratio's size when both are positive, else the box's.
void SelectionSetKeepRatio(Selection *sel, int flag, const Box *ratio);
void SelectionSetKeepCenter(Selection *sel, int flag);

// Draws the outline (segments clipped to clip) and, with controls, a
// 13 x 13 handle at every key point. Nothing when the selection's box grown
// by the control size misses clip.
void SelectionDraw(Selection *sel, const View *view, const SelectionDrawContext *target, const Box *clip,
                   int withControls);

// Masks: store images whose plane 0 is 8 bits deep; anything outside the
// mask is clipped away. 0, or ORV_BAD_PARAMETER (nothing written) for a
// null mask or a plane 0 of another depth.
//   Fill: 255 inside the polygon (even-odd) and on its outline, 0 elsewhere
//         in the rows and columns of its bounding box; the rest untouched.
//   Mark: complements, on every row, the first pixel at or right of each
//         crossing of an edge (a pixel left of the mask stands for its
//         pixel 0); a walk along a row flipping at each non-zero byte
//         then tells inside from outside.
//   Contour: 255 on the outline's pixels.
int SelectionFillMask(Selection *sel, Image *mask);
int SelectionMarkMask(Selection *sel, Image *mask);
int SelectionContourMask(Selection *sel, Image *mask);

// New lists of new boxes in window coordinates, clipped; the caller frees
// them with Box_DestroyList. The first box bounds all the others: the box
// grown by the control size (with controls) or the box itself. Big: one
// box per segment's span, and with controls the handles of the key points
// and of the 8 rectangle controls. Fine: the same with each segment as the
// runs of its pixels. An empty list when nothing lies in clip, or no class
// has the operation; null when memory is short.
List *SelectionGetBigBoxList(Selection *sel, const View *view, const Box *clip, int withControls);
List *SelectionGetFineBoxList(Selection *sel, const View *view, const Box *clip, int withControls);

// -1 when the window point lies outside the box grown by the control size;
// else its Manhattan distance to that box's centre (held to INT32_MAX).
int32_t SelectionInclude(const Selection *sel, const View *view, int32_t x, int32_t y);

// A snapshot of what editing which can change; restoring it puts that back.
// SetBackup returns 0 when the backup does not fit the selection any more
// (points were added or removed since), else 1.
SelectionBackup *SelectionGetBackup(Selection *sel, int32_t which);
int SelectionSetBackup(Selection *sel, const SelectionBackup *backup);
void SelectionDestroyBackup(Selection *sel, SelectionBackup *backup);

// The key point within the control size (Manhattan, window coordinates;
// the earlier on ties), else SELECTION_MOVE inside the box, else -1.
int32_t SelectionGetPoint(Selection *sel, const View *view, int32_t x, int32_t y);
// The image position of a point, or of a control for a code (the box's
// top-left corner for anything else).
void SelectionGetPointValue(Selection *sel, int32_t which, int32_t *x, int32_t *y);
// The key flag of a point of a vectorial selection; 1 for anything else.
int SelectionIsKeyPoint(const Selection *sel, int32_t index);
// Moves a point (a key point carries its neighbours along), the whole
// selection (SELECTION_MOVE: the box's centre to (x, y)) or an edge or a
// corner (the points are scaled into the new box; a drag past the opposite
// edge mirrors the code). The index or the code to continue the drag with;
// -1 for anything else.
int32_t SelectionSetPoint(Selection *sel, int32_t which, int32_t x, int32_t y);
// Neither class has this operation: it does nothing.
void SelectionSetPoints(Selection *sel, const int32_t *points, int32_t count);
// A new non-key point after index: its index, or -1.
int32_t SelectionAddPoint(Selection *sel, int32_t index, int32_t x, int32_t y);
// Removes index with the non-key points between its neighbouring key
// points (open: from after the previous key point up to index): the number
// removed, or -1 (a key point needs 3 key points, a non-key point 2, and a
// point must remain).
int32_t SelectionRemPoint(Selection *sel, int32_t index);
// Drops trailing copies of the first point (keeping at least one point) and
// closes the outline.
void SelectionClose(Selection *sel);
// 0 for a bad index, else 1.
int VectSelectSetKeyPoint(Selection *sel, int32_t index, int flag);
