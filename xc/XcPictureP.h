// The picture widget's record and the functions its modules share: the
// widget itself (xc/XcPicture.cpp) and its incremental refresh
// (xc/PWorkProc.cpp). Private to the display library.
#pragma once
#include "xc/XcPicture.h"

#include "xc/Cms.h"
#include "xc/Fill.h"
#include "xc/Visual.h"
#include "xc/XcImage.h"

#include <Xm/PrimitiveP.h>
#include <cstdio>

struct PictureEval {
    PictureKps display, preview;
    int previewFresh = 0;
    int32_t wantedKps = 0;
};

struct PictureCursor {
    Image *image, *mask;
    int floating;
    Box area;    // in the widget's source space
    Box srcArea; // of the cursor image
    Box winArea; // the area converted to the window
    ColorValue colour;
    int depth; // 1 above the picture, -1 below
    View *abstract, *view;
    Box dst; // the concrete view's image area
    Fill *filler;
};

// Everything that is not a resource; zeroed at creation.
struct PictureState {
    int destroyed, ownsCms;
    int hold, noTiming, noSelection; // set around one call only
    int visibility;
    int borderX, borderY;
    Box picture;     // window area inside the border
    Box mainArea;    // of the image
    Box virtualArea; // the main view's source space
    Box shownArea;   // source seen through the picture area
    Box visible;     // window area showing image pixels
    Box whole;       // window rectangle of the whole source space
    ViewZoom zoomX, zoomY;
    View *view, *virtualView;
    XcImage *ximage;
    Fill *nomansFiller, *imageFiller, *relay;
    GC gc, marginGC, selectionGC;
    int workPrecX, workPrecY, previewPrecX, previewPrecY;
    PictureEval *eval;
    PictureCursor cursor;
    int crossX, crossY;                   // the pointer in the window, or -1
    GC xorGC, plainGC;                    // selections and cross cursor (xc/PSel)
    struct PictureSelections *selections; // the shown selections
    List *workProcs;                      // pending refinement records (xc/PWorkProc)
};

struct XcPicturePart {
    Image *image;
    Image *maskImage;
    Box *srcMainArea;
    int virtualWidth, virtualHeight;
    int plane;
    Boolean alpha;
    Box *srcArea;
    XcVisual *xcVisual;
    XcCms *cms;
    int share;
    Boolean trueSize;
    int marginWidth, marginHeight;
    Pixel marginColor;
    Pixel selectionPixel;
    int selectionState;
    XtCallbackList areaChanged, zoomChanged;
    int mode;
    Boolean keepRatio;
    int workProc, workProcTimeOut, workProcPrec;
    int preview, previewPrec, previewPrecWorst, previewRate;
    int quality;
    unsigned char shadowType;
    XtPointer selectionList;
    Boolean selXorDrawing, selXorEdition, selWindowDrawing, selWindowEdition;
    Boolean showCrossCursor;
    Widget verticalRuler, horizontalRuler;
    Boolean showGrid;
    int gridSpacing;
    int debugLevel, debugEval, debugWorkProc, debugTrace;
    int moveWindow;
    int displayEvalInterval, displayEvalSize, previewEvalInterval, previewEvalSize;
    PictureState st;
};

struct XcPictureRec {
    CorePart core;
    XmPrimitivePart primitive;
    XcPicturePart picture;
};

using Pic = XcPictureRec;

inline bool HasWindow(const Pic *p)
{
    return XtIsRealized(reinterpret_cast<Widget>(const_cast<Pic *>(p))) && p->core.window;
}

inline Display *Dpy(const Pic *p)
{
    return DisplayOfScreen(p->core.screen);
}

// Entry and exit lines of the widget functions.
class Trace
{
  public:
    Trace(const Pic *p, const char *name, int level = 1, const char *file = "Picture")
        : p_(p), name_(name), file_(file), on_(p->picture.debugTrace >= level)
    {
        if (on_)
            std::fprintf(stderr, ">> LIB/XC/SOURCES/%s \twidget %s: %s\n", file_, p_->core.name, name_);
    }
    ~Trace()
    {
        if (on_)
            std::fprintf(stderr, "<< LIB/XC/SOURCES/%s  \twidget %s: %s\n", file_, p_->core.name, name_);
    }
    Trace(const Trace &) = delete;
    Trace &operator=(const Trace &) = delete;

  private:
    const Pic *p_;
    const char *name_;
    const char *file_;
    bool on_;
};

// Sets a flag for the length of one call.
class Flag
{
  public:
    Flag(int &f, int value) : f_(f), old_(f) { f_ = value; }
    ~Flag() { f_ = old_; }
    Flag(const Flag &) = delete;
    Flag &operator=(const Flag &) = delete;

  private:
    int &f_;
    int old_;
};

// The selectionList resource when no new list is given.
inline const XtPointer kUnchangedList = reinterpret_cast<XtPointer>(-1);

// Shared between the widget and its refresh (xc/XcPicture.cpp).
int CompletionType(Display *dpy);
int64_t PicturePixels(const Pic *p);
void EvalDisplayKps(Pic *p, int width, int height, int ms);
void EvalPreviewKps(Pic *p, int width, int height, int ms);
void _PictureAdaptPreview(Pic *p, const Box *box);
// Selections over a rectangle just repainted into the X image, or just
// copied to the window (nothing while noSelection is set).
void RedrawImageSelections(Pic *p, const Box *box);
void RedrawWindowSelections(Pic *p, const Box *box);
void _PictureDrawBorder(Pic *p);
