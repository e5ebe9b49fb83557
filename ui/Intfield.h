// A compound control for one bounded integer: a digits-only text field,
// optional "plus" and "moins" arrows with auto-repeat (button 1 steps by 1,
// button 3 by the big increment), an optional label and an optional
// horizontal scale, kept in step. Not a widget class: a record owning a form.
#pragma once
#include <X11/Intrinsic.h>
#include <cstdint>

struct XcVisual;
struct Intfield;

// Called with the new value; during auto-repeat and scale drags it can be
// held back until release (Intfield_SetCBWhenDrag).
using IntfieldCallback = void (*)(Intfield *field, XtPointer clientData, int32_t value);

// Layout codes given at creation.
enum IntfieldScalePosition {
    INTFIELD_SCALE_NONE = 0,
    INTFIELD_SCALE_LEFT = 1,
    INTFIELD_SCALE_RIGHT = 3,
    INTFIELD_SCALE_BELOW = 4
};
enum IntfieldLabelPosition { INTFIELD_LABEL_NONE = 0, INTFIELD_LABEL_LEFT = 1, INTFIELD_LABEL_ABOVE = 2 };

struct Intfield {
    Widget parent = nullptr;
    Widget form = nullptr;                  // named with the field's name
    Widget label = nullptr;                 // "label", or null
    Widget text = nullptr;                  // "textfield"
    Widget plus = nullptr, moins = nullptr; // or null
    Widget scale = nullptr;                 // "scale", or null
    int32_t minimum = 0, maximum = 0, value = 0;
    int32_t columns = 1; // text width, and the most digits that can be typed
    IntfieldCallback callback = nullptr;
    XtPointer clientData = nullptr;
    int sensitive = 1;
    int setByProgram = 0;         // the internal setter is writing the text
    int setByCaller = 0;          // Intfield_SetValue is writing the text
    int fromScale = 0;            // the scale is not set back: a scale callback or new bounds set the value
    int scaleGuard = 0;           // the module moves the scale itself
    XtIntervalId repeatTimer = 0; // 0 when no auto-repeat runs
    int32_t step = 0;
    Pixel formBackground = 0, textBackground = 0;
    int valid = 1; // the text shows its own background
    int callbackWhileDragging = 1;
    int32_t bigIncrement = 10;
    int scalePosition = 0, arrows = 0, labelPosition = 0;
};

// A new field, or null when memory is short; the arrows are drawn at the
// visual record's depth, which must be the parent's. The form is left unmanaged,
// its children are managed. Minimum raised to 0, maximum to the minimum,
// value clamped; the big increment is a tenth of the range, at least 10.
Intfield *Intfield_Create(XcVisual *visual, Widget parent, const char *name, const char *label,
                          int32_t columns, int32_t value, int32_t minimum, int32_t maximum,
                          IntfieldCallback callback, XtPointer clientData, int arrows, int labelPosition,
                          int scalePosition);
// Shows the value without calling back; stops a running auto-repeat when it
// changes the value. With the current value on an invalid text, rewrites it.
void Intfield_SetValue(Intfield *f, int32_t value);
int32_t Intfield_GetValue(const Intfield *f);
// A value outside the new range moves to the nearest bound, with the callback.
void Intfield_SetBounds(Intfield *f, int32_t minimum, int32_t maximum);
// The bounds, then the value (kept in range) with the callback when it changes.
void Intfield_SetValueAndBounds(Intfield *f, int32_t value, int32_t minimum, int32_t maximum);
void Intfield_SetSensitivity(Intfield *f, int sensitive);
// Off: auto-repeat and scale drags call back once, at release.
void Intfield_SetCBWhenDrag(Intfield *f, int on);
void Intfield_SetBigIncrement(Intfield *f, int32_t step);
void Intfield_SetNumColumns(Intfield *f, int32_t columns);
