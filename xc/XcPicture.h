// XcPicture: the Motif primitive widget that shows one store image in a
// window at any zoom and scroll position, with a border of margins, shadow
// and highlight, and an optional floating cursor image drawn above or below
// it. Pixels come from the fill objects through the main view into the
// widget's X image, then go to the window. The widget also measures how fast
// it copies and previews pixels, to pick a preview precision that keeps up.
#pragma once
#include "brush/Box.h"
#include "core/Image.h"
#include "xc/ColorValue.h"
#include "xc/View.h"

#include <X11/Intrinsic.h>
#include <cstdint>
#include <deque>
#include <utility>

extern WidgetClass xcPictureWidgetClass;

// Resource names and classes. Margins, shadow and highlight use the
// toolkit's names (XmNmarginWidth, XmNshadowType ...); the selection shadow
// colour is XmNselectColor.
#define XcNimage "image"
#define XcCImage "Image"
#define XcNmaskImage "maskImage"
#define XcCMaskImage "MaskImage"
#define XcNsrcMainArea "srcMainArea"
#define XcCSrcMainArea "SrcMainArea"
#define XcNvirtualWidth "virtualWidth"
#define XcCVirtualWidth "VirtualWidth"
#define XcNvirtualHeight "virtualHeight"
#define XcCVirtualHeight "VirtualHeight"
#define XcNplane "plane"
#define XcCPlane "Plane"
#define XcNalpha "alpha"
#define XcCAlpha "Alpha"
#define XcNsrcArea "srcArea"
#define XcCSrcArea "SrcArea"
#define XcNxcVisual "xcVisual"
#define XcCXcVisual "XcVisual"
#define XcNcms "cms"
#define XcCCms "Cms"
#define XcNshare "share"
#define XcCShare "Share"
#define XcNtrueSize "trueSize"
#define XcCTrueSize "TrueSize"
#define XcNmarginColor "marginColor"
#define XcCMarginColor "MarginColor"
#define XcNselectionState "selectionState"
#define XcCSelectionState "SelectionState"
#define XcNareaChangedCallback "areaChangedCallback"
#define XcNzoomChangedCallback "zoomChangedCallback"
#define XcNmode "mode"
#define XcCMode "Mode"
#define XcNkeepRatio "keepRatio"
#define XcCKeepRatio "KeepRatio"
#define XcNworkProc "workProc"
#define XcCWorkProc "WorkProc"
#define XcNworkProcTimeOut "workProcTimeOut"
#define XcCWorkProcTimeOut "WorkProcTimeOut"
#define XcNworkProcPrec "workProcPrec"
#define XcCWorkProcPrec "WorkProcPrec"
#define XcNpreview "preview"
#define XcCPreview "Preview"
#define XcNpreviewPrec "previewPrec"
#define XcCPreviewPrec "PreviewPrec"
#define XcNpreviewPrecWorst "previewPrecWorst"
#define XcNpreviewRate "previewRate"
#define XcCPreviewRate "PreviewRate"
#define XcNquality "quality"
#define XcCQuality "Quality"
#define XcNselectionList "selectionList"
#define XcCSelectionList "SelectionList"
#define XcNselectionXorDrawing "selectionXorDrawing"
#define XcNselectionXorEdition "selectionXorEdition"
#define XcCSelectionXor "SelectionXor"
#define XcNselectionWindowDrawing "selectionWindowDrawing"
#define XcNselectionWindowEdition "selectionWindowEdition"
#define XcCSelectionWindow "SelectionWindow"
#define XcNshowCrossCursor "showCrossCursor"
#define XcCShowCross "ShowCross"
#define XcNverticalRuler "verticalRuler"
#define XcCVerticalRuler "VerticalRuler"
#define XcNhorizontalRuler "horizontalRuler"
#define XcChorizontalRuler "horizontalRuler"
#define XcNshowGrid "showGrid"
#define XcCShowGrid "ShowGrid"
#define XcNgridSpacing "gridSpacing"
#define XcCGridSpacing "GridSpacing"
#define XcNdebugLevel "debugLevel"
#define XcNdebugEval "debugEval"
#define XcNdebugWorkProc "debugWorkProc"
#define XcNdebugTrace "debugTrace"
#define XcCDebug "Debug"
#define XcNmoveWindow "moveWindow"
#define XcCMoveWindow "MoveWindow"
#define XcNdisplayEvalInterval "displayEvalInterval"
#define XcNdisplayEvalSize "displayEvalSize"
#define XcNpreviewEvalInterval "previewEvalInterval"
#define XcNpreviewEvalSize "previewEvalSize"
#define XcCEvalInterval "EvalInterval"
#define XcCEvalSize "EvalSize"

// Units of XcPictureConvert and XcPictureScroll.
enum { XC_PICTURE_WINDOW = 1, XC_PICTURE_SOURCE = 2 };

// Callback reasons and their records.
enum { XC_PICTURE_AREA_CHANGED = 1, XC_PICTURE_ZOOM_CHANGED = 2 };

struct XcPictureAreaCallbackStruct {
    int reason;
    Box *area; // a copy of the shown source area, freed after the call
};

struct XcPictureZoomCallbackStruct {
    int reason;
    int numX, denX; // source units per destination units, horizontally
    int numY, denY;
};

// Every function does nothing on a destroyed (or inert) widget.
void XcPictureSetZoom(Widget w, ViewZoom zoomX, ViewZoom zoomY, int anchorX, int anchorY, int explicitAnchor);
// dx, dy in window pixels, or in source units when unit is XC_PICTURE_SOURCE;
// a component is set to 0 once it has been scrolled.
void XcPictureScroll(Widget w, int unit, int *dx, int *dy);
void XcPictureConvert(Widget w, int from, int x, int y, int to, int *ox, int *oy);
void XcPictureConvertV(Widget w, int from, int x, int y, int to, int *ox, int *oy);
void XcPictureSetSrcArea(Widget w, const Box *box);
void XcPictureSetVirtualSize(Widget w, int width, int height);
void XcPictureSetVirtualSizeAndImage(Widget w, int width, int height, Image *image);
// Window position of the source space's origin, for the rulers.
void XcPictureGetRulerOrigin(Widget w, int *x, int *y);
// Repaints a source box (null: all).
void XcPictureRefresh(Widget w, const Box *box);
// The same at final quality at once, untimed.
void XcPictureDirectRefresh(Widget w, const Box *box);
void XcPictureSetSelectionState(Widget w, int state);

// Selections shown over the picture (the caller owns the objects). Each is
// drawn in XOR or plainly, into the window or the X image, as the
// selection resources say for an edited or a resting one. Around a change
// of a shown selection object the caller calls WillChange, then HasChanged.
struct Selection;
struct ShownSelection;
void XcPictureAddSelection(Widget w, Selection *selection, int edited, int active);
void XcPictureRemSelection(Widget w, Selection *selection);
void XcPictureRemAllSelections(Widget w);
void XcPictureActivateSelection(Widget w, Selection *selection);
void XcPictureDeactivateSelection(Widget w, Selection *selection);
void XcPictureEditSelection(Widget w, Selection *selection);
void XcPictureUneditSelection(Widget w, Selection *selection);
void XcPictureSelectionWillChange(Widget w, Selection *selection);
void XcPictureSelectionHasChanged(Widget w, Selection *selection);
// -1 on a destroyed widget, 0 for a selection not shown, else the
// selection's answer for the window point.
int XcPictureSelectionInclude(Widget w, Selection *selection, int x, int y);
int XcPictureSelectionGetPoint(Widget w, Selection *selection, int x, int y);
// The shown record of a selection, or null.
ShownSelection *GetGSel(Widget w, const Selection *selection);
void XcPictureSetAlpha(Widget w, Boolean alpha);
void XcPictureSetPlane(Widget w, int plane);
void XcPictureSetMask(Widget w, Image *mask);
// Installs (image not null) or removes the cursor image: area in source
// coordinates, depth 1 above the picture, -1 below; srcArea null: the whole
// cursor image; colour used when floating.
void XcPictureSetCursor(Widget w, Image *image, Image *mask, int floating, const Box *area, int depth,
                        const ColorValue *colour, const Box *srcArea);
void XcPictureSetCursorArea(Widget w, const Box *area);
void XcPictureSetCursorDepth(Widget w, int depth);
void XcPictureSetCursorPixel(Widget w, const ColorValue *colour);
int XcPictureShared(Widget w);
int XcPictureDisplayKps(Widget w);
int XcPicturePreviewKps(Widget w);
// Number of pending refinement records (0 for any other widget): what the
// window shows is final once it is 0.
int XcPictureWorkPending(Widget w);
// Frees the X image and leaves the widget inert, for a display that is gone.
void XcPictureHardDestroy(Widget w);
// Runs the destroy method now; the toolkit's later destroy finds nothing left.
void XcPictureStdDestroy(Widget w);

// A picture widget (not managed) in the process's best visual, mode 1.
Widget XcCreateThumbnail(Widget parent, const char *name, ArgList args, Cardinal count);

// Speed evaluation. One sliding window of samples (pixels, milliseconds),
// bounded in time and in pixels; kps is pixels per millisecond.
struct PictureKps {
    std::deque<std::pair<int32_t, int32_t>> samples;
    int32_t areaSum = 0;
    int32_t timeSum = 0;
    int32_t kps = 0;
};

enum { KPS_IGNORED = -1, KPS_DISCARDED = 0, KPS_NEW = 1 };

// Adds a sample: KPS_IGNORED for one too small to mean anything,
// KPS_DISCARDED while the window holds too little, else KPS_NEW with kps set.
int PictureKps_Add(PictureKps *k, int32_t interval, int32_t size, int32_t width, int32_t height, int32_t ms);
void PictureKps_Reset(PictureKps *k);
// Predicted preview speed at precision prec + 1 and prec - 1.
int32_t NextKps(int32_t kps, int32_t prec);
int32_t PrevKps(int32_t kps, int32_t prec);
// The precision whose predicted speed is nearest to target, walking from
// prec at speed kps; a tie takes one more step. *predicted: its speed.
int32_t PictureKps_ChoosePrec(int32_t target, int32_t prec, int32_t kps, int32_t worst, int32_t *predicted);
// Preview speed at which preview plus copy runs at wanted; the display speed
// itself (and *pinned set) when wanted is above half of it.
int32_t PictureKps_Target(int32_t wanted, int32_t displayKps, int *pinned);
