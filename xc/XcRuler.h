// XcRuler: the Motif primitive widget that draws a graduated ruler along one
// side of the picture widget, in pixels, millimetres, inches or a fourth
// unit of 23.6 mm, for the image's resolution and the current zoom, with its
// zero at a movable origin and a cursor line that follows the pointer.
#pragma once
#include <X11/Intrinsic.h>
#include <vector>

extern WidgetClass xcRulerWidgetClass;

// Resource names and classes. The resize policy, alignment, orientation,
// colours, font and shadow use the toolkit's names (XmNresizePolicy,
// XmNalignment, XmNorientation, XmNforeground, XmNfontList, XmNshadowType,
// XmNshadowThickness), but alignment and orientation are plain numbers here:
// 0 is the top or left edge and horizontal, anything else the other one.
#define XcNunit "unit"
#define XcCUnit "Unit"
#define XcNfactorUnitChangedCallback "factorUnitChangedCallback"
#define XcNresolution "resolution"
#define XcCResolution "Resolution"
#define XcNgradSpacing "grad_spacing"
#define XcCGradSpacing "Grad_Spacing"
#define XcNorigin "origin"
#define XcCOrigin "Origin"
#define XcNcursorColor "cursorColor"
#define XcCCursorColor "CursorColor"
#define XcNdebugLevel "debugLevel"
#define XcCDebugLevel "DebugLevel"
#define XcNxcVisual "xcVisual"
#define XcCXcVisual "XcVisual"

// Values of "unit"; others draw nothing.
enum { XC_RULER_PIXEL = 0, XC_RULER_MM = 1, XC_RULER_INCH = 2, XC_RULER_UNIT4 = 3 };

// Callback reason and record of "factorUnitChangedCallback", called when the
// widget is realized and when "unit" changes.
enum { XC_RULER_FACTOR_UNIT_CHANGED = 1 };

struct XcRulerCallbackStruct {
    int reason;
    int factor;
    int unit;
};

// Creates the ruler, not managed.
Widget XcCreateRuler(Widget parent, const char *name, ArgList args, Cardinal count);
// A zoom that is unchanged, not positive or not a number is ignored.
void XcRulerSetZoom(Widget w, double zoom);
void XcRulerSetOrigin(Widget w, int origin);
// Redraws once when either changes.
void XcRulerSetOriginAndZoom(Widget w, int origin, double zoom);
// Window position along the ruler, kept inside the border; below 0: no line.
void XcRulerSetCursorPosition(Widget w, int position);

// The graduations of a ruler of a given length, as drawn: position along the
// ruler, kind, and the label of a major graduation ("" when none, as for
// labels longer than 4 characters). zero marks the graduation of the value 0.
enum { XC_RULER_MINOR = 0, XC_RULER_HALF = 1, XC_RULER_MAJOR = 2 };

struct XcRulerMark {
    int position;
    int kind;
    bool zero;
    char label[8];
};

std::vector<XcRulerMark> XcRulerLayout(int unit, int resolution, double zoom, int gradSpacing, int origin,
                                       int length);
