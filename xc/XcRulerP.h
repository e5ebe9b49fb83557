// The ruler widget's record, for the widget (xc/XcRuler.cpp) and for
// subclasses. Private to the display library.
#pragma once
#include "xc/XcRuler.h"

#include "xc/Visual.h"

#include <Xm/PrimitiveP.h>

struct XcRulerRec;
// Draws the graduations into the pixmap.
using XcRulerDrawProc = void (*)(XcRulerRec *r);

struct XcRulerPart {
    // Resources.
    unsigned char resizePolicy;
    unsigned char alignment;
    unsigned char orientation;
    unsigned char unit;
    XtCallbackList factorUnitChanged;
    int resolution;
    int gradSpacing;
    int origin;
    Pixel cursorColor;
    int debugLevel;
    XcVisual *xcVisual;
    String fontList;
    unsigned char shadowType;
    // State.
    double zoom;
    int cursor; // -1: no line
    XFontStruct *font;
    GC gc, cursorGC;
    Pixmap pixmap;
    int borderX, borderY;
    int factor;
    XcRulerDrawProc draw;
};

struct XcRulerRec {
    CorePart core;
    XmPrimitivePart primitive;
    XcRulerPart ruler;
};

extern XmPrimitiveClassRec xcRulerClassRec;
