// The picture widget's incremental refresh: every damaged window rectangle
// is painted at once as a cheap preview (or not at all), then refined in the
// background by timer-driven work procedures, one sparse pass at a time at
// the block phases of a grid permutation, until every pixel is final.
// Pending work for overlapping rectangles is merged, split, moved with
// scrolling and clipped to what the picture shows.
#pragma once
#include "xc/XcPictureP.h"

// Repaint request for a window rectangle (null: the whole picture area).
void _PictureInvalidate(Pic *p, const Box *box);
// Copies one rectangle of the X image to the window (nothing while hold).
void _PictureRefreshBox(Pic *p, const Box *box);
void _PictureRefreshAll(Pic *p);
// Queues background refinement of a window rectangle (null: all visible).
void _PictureInsertWorkProc(Pic *p, const Box *box);
// Drops pending areas outside the visible image area.
void _PictureClipWorkProcList(Pic *p);
// Pending boxes follow a scroll by (dx, dy) window pixels.
void _PictureMoveWorkProcList(Pic *p, int dx, int dy);
// Drops all pending work and cancels its timers.
void _PictureKillWorkProcList(Pic *p);
// Scrolls the view and the picture by (dx, dy) window pixels.
void _PictureScroll(Pic *p, int dx, int dy);

// The expose method and the two actions of the class.
void _PictureExpose(Widget w, XEvent *event, Region region);
void _PictureGraphicsExposeAction(Widget w, XEvent *event, String *params, Cardinal *count);
void _PictureVisibilityAction(Widget w, XEvent *event, String *params, Cardinal *count);

// Observer of every refinement pass: the area's box, the phase painted and
// the area's precision. Null removes it.
using PicturePassFn = void (*)(Widget w, const Box *box, int phaseX, int phaseY, int px, int py);
void XcPictureSetPassObserver(PicturePassFn fn);
