#include "ui/Intfield.h"

#include "xc/Visual.h"

#include <Xm/Form.h>
#include <Xm/Label.h>
#include <Xm/PushB.h>
#include <Xm/Scale.h>
#include <Xm/TextF.h>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <new>

namespace
{
constexpr unsigned long kFirstRepeatMs = 500, kRepeatMs = 50;

// 8 x 6 arrows, '#' drawn in black on the form's background.
const char *const kUpArrow[] = {"...##...", "..####..", ".######.", "########", "...##...", "...##..."};
const char *const kDownArrow[] = {"...##...", "...##...", "########", ".######.", "..####..", "...##..."};

int32_t Clamp(const Intfield *f, long long v)
{
    return int32_t(std::clamp<long long>(v, f->minimum, f->maximum));
}

// Minimum at least 0, maximum at least the minimum.
void NormaliseBounds(int32_t &minimum, int32_t &maximum)
{
    minimum = std::max(minimum, 0);
    maximum = std::max(maximum, minimum);
}

void CallBack(Intfield *f)
{
    if (f->callback)
        f->callback(f, f->clientData, f->value);
}

// The scale cannot hold an empty range; a one-value field keeps a range of two.
void MoveScale(Intfield *f)
{
    if (!f->scale)
        return;
    f->scaleGuard = 1;
    XtVaSetValues(f->scale, XmNminimum, int(f->minimum), XmNmaximum,
                  int(std::max(f->maximum, f->minimum + 1)), XmNvalue, int(f->value), nullptr);
    f->scaleGuard = 0;
}

void WriteText(Intfield *f)
{
    char digits[16];
    std::snprintf(digits, sizeof digits, "%d", f->value);
    XmTextFieldSetString(f->text, digits);
    XmTextFieldSetInsertionPosition(f->text, XmTextFieldGetLastPosition(f->text));
}

void MarkValid(Intfield *f, int valid)
{
    if (valid == f->valid)
        return;
    f->valid = valid;
    XtVaSetValues(f->text, XmNbackground, valid ? f->textBackground : f->formBackground, nullptr);
}

// The text's value, or the minimum when it is empty.
long long TextValue(const Intfield *f)
{
    char *s = XmTextFieldGetString(f->text);
    long long v = *s ? std::strtoll(s, nullptr, 10) : f->minimum;
    XtFree(s);
    return v;
}

void SetInternal(Intfield *f, long long v, int fromDrag)
{
    if (v == f->value)
        return;
    f->value = Clamp(f, v);
    f->setByProgram = 1;
    if (!f->fromScale)
        MoveScale(f);
    WriteText(f);
    f->setByProgram = 0;
    if (!fromDrag || f->callbackWhileDragging)
        CallBack(f);
}

// ---- Text ----

void ModifyVerify(Widget w, XtPointer data, XtPointer call)
{
    auto *f = static_cast<Intfield *>(data);
    auto *cbs = static_cast<XmTextVerifyCallbackStruct *>(call);
    if (f->setByCaller || !cbs->text || cbs->text->length == 0 || cbs->startPos < cbs->currInsert)
        return;
    if (!f->setByProgram && XmTextFieldGetLastPosition(w) >= f->columns)
        cbs->doit = False;
    for (int i = 0; i < cbs->text->length; ++i)
        if (cbs->text->ptr[i] < '0' || cbs->text->ptr[i] > '9')
            cbs->doit = False;
}

// Value changed or activated: an out-of-range or empty text keeps its
// digits but shows the form's background, and the value takes the bound.
void TextChanged(Widget, XtPointer data, XtPointer)
{
    auto *f = static_cast<Intfield *>(data);
    if (f->setByCaller) {
        f->setByCaller = 0;
        MarkValid(f, 1);
        return;
    }
    long long v = TextValue(f);
    MarkValid(f, XmTextFieldGetLastPosition(f->text) > 0 && v >= f->minimum && v <= f->maximum);
    int32_t candidate = Clamp(f, v);
    if (candidate == f->value)
        return;
    f->value = candidate;
    MoveScale(f);
    CallBack(f);
}

// ---- Arrows ----

void Step(Intfield *f)
{
    long long v = TextValue(f);
    if ((v == f->maximum && f->step > 0) || (v == f->minimum && f->step < 0))
        return;
    SetInternal(f, std::clamp<long long>(v + f->step, INT32_MIN, INT32_MAX), 1);
}

void Repeat(XtPointer data, XtIntervalId *)
{
    auto *f = static_cast<Intfield *>(data);
    f->repeatTimer = XtAppAddTimeOut(XtWidgetToApplicationContext(f->form), kRepeatMs, Repeat, f);
    Step(f);
}

void StopRepeat(Intfield *f)
{
    if (f->repeatTimer)
        XtRemoveTimeOut(f->repeatTimer);
    f->repeatTimer = 0;
}

void Arm(Widget w, XtPointer data, XtPointer call)
{
    auto *f = static_cast<Intfield *>(data);
    const XEvent *e = static_cast<XmAnyCallbackStruct *>(call)->event;
    bool big = e && e->type == ButtonPress && e->xbutton.button == Button3;
    f->step = big ? f->bigIncrement : 1;
    if (w == f->moins)
        f->step = -f->step;
    StopRepeat(f);
    Step(f);
    f->repeatTimer = XtAppAddTimeOut(XtWidgetToApplicationContext(w), kFirstRepeatMs, Repeat, f);
}

void Disarm(Widget, XtPointer data, XtPointer)
{
    auto *f = static_cast<Intfield *>(data);
    if (!f->repeatTimer)
        return;
    StopRepeat(f);
    if (!f->callbackWhileDragging)
        CallBack(f);
}

// ---- Scale ----

void ScaleMoved(Widget, XtPointer data, XtPointer call)
{
    auto *f = static_cast<Intfield *>(data);
    if (f->scaleGuard || f->setByProgram || f->setByCaller)
        return;
    auto *cbs = static_cast<XmScaleCallbackStruct *>(call);
    bool drag = cbs->reason == XmCR_DRAG;
    f->fromScale = 1;
    SetInternal(f, cbs->value, drag);
    if (!drag && !f->callbackWhileDragging)
        CallBack(f);
    f->fromScale = 0;
    // A two-value range has no place in between: the slider snaps to an end
    // (and a one-value field's slider, whose range is two, back to its value).
    if (f->maximum - f->minimum <= 1 && !drag) {
        f->scaleGuard = 1;
        XmScaleSetValue(f->scale, cbs->value == f->minimum ? f->minimum : f->maximum);
        f->scaleGuard = 0;
    }
}

// ---- Creation ----

Pixmap ArrowPixmap(XcVisual *visual, Pixel background, const char *const rows[6])
{
    Display *d = XcDisplayOfVisual(visual);
    Pixmap p = XCreatePixmap(d, XcRootOfVisual(visual), 8, 6, unsigned(XcDepthOfVisual(visual)));
    GC gc = XCreateGC(d, p, 0, nullptr);
    XSetForeground(d, gc, background);
    XFillRectangle(d, p, gc, 0, 0, 8, 6);
    XSetForeground(d, gc, BlackPixelOfScreen(XcScreenOfVisual(visual)));
    for (int y = 0; y < 6; ++y)
        for (int x = 0; x < 8; ++x)
            if (rows[y][x] == '#')
                XDrawPoint(d, p, gc, x, y);
    XFreeGC(d, gc);
    return p;
}

// Button 3 arms as button 1 does, and a release never activates.
XtTranslations ArrowTranslations()
{
    static XtTranslations table = XtParseTranslationTable(
        "#override\n\t<Btn1Up>:Disarm()\n\t<Btn1Down>:Arm()\n\t<Btn3Up>:Disarm()\n\t<Btn3Down>:Arm()");
    return table;
}

Widget MakeArrow(Intfield *f, XcVisual *visual, const char *name, const char *const rows[6])
{
    Widget w = XtVaCreateManagedWidget(name, xmPushButtonWidgetClass, f->form, XmNlabelType, XmPIXMAP,
                                       XmNlabelPixmap, ArrowPixmap(visual, f->formBackground, rows),
                                       XmNmarginWidth, 0, XmNmarginHeight, 0, XmNborderWidth, 0, nullptr);
    XtAddCallback(w, XmNarmCallback, Arm, f);
    XtAddCallback(w, XmNdisarmCallback, Disarm, f);
    XtOverrideTranslations(w, ArrowTranslations());
    return w;
}

void MakeChildren(Intfield *f, XcVisual *visual, const char *labelText)
{
    if (f->labelPosition) {
        XmString s = XmStringCreateLocalized(const_cast<char *>(labelText ? labelText : ""));
        f->label = XtVaCreateManagedWidget("label", xmLabelWidgetClass, f->form, XmNlabelString, s, nullptr);
        XmStringFree(s);
    }
    if (f->arrows) {
        f->plus = MakeArrow(f, visual, "plus", kUpArrow);
        f->moins = MakeArrow(f, visual, "moins", kDownArrow);
    }
    f->text = XtVaCreateManagedWidget("textfield", xmTextFieldWidgetClass, f->form, XmNcolumns,
                                      int(f->columns), nullptr);
    XtVaGetValues(f->text, XmNbackground, &f->textBackground, nullptr);
    if (f->scalePosition) {
        f->scale = XtVaCreateManagedWidget("scale", xmScaleWidgetClass, f->form, XmNorientation, XmHORIZONTAL,
                                           nullptr);
        MoveScale(f);
    }
}

// Attach one side to the form's edge, or to a sibling when there is one.
void Attach(Widget w, const char *side, const char *sideWidget, Widget to)
{
    if (to)
        XtVaSetValues(w, side, XmATTACH_WIDGET, sideWidget, to, nullptr);
    else
        XtVaSetValues(w, side, XmATTACH_FORM, nullptr);
}

void AttachText(Intfield *f)
{
    bool labelLeft = f->labelPosition == INTFIELD_LABEL_LEFT,
         labelAbove = f->labelPosition == INTFIELD_LABEL_ABOVE;
    Widget right = f->plus ? f->plus : f->scalePosition == INTFIELD_SCALE_RIGHT ? f->scale : nullptr;
    Widget left = f->scalePosition == INTFIELD_SCALE_LEFT ? f->scale : labelLeft ? f->label : nullptr;
    Attach(f->text, XmNrightAttachment, XmNrightWidget, right);
    Attach(f->text, XmNleftAttachment, XmNleftWidget, left);
    Attach(f->text, XmNtopAttachment, XmNtopWidget, labelAbove ? f->label : nullptr);
    Attach(f->text, XmNbottomAttachment, XmNbottomWidget,
           f->scalePosition == INTFIELD_SCALE_BELOW ? f->scale : nullptr);
}

void AttachArrows(Intfield *f)
{
    if (!f->arrows)
        return;
    Widget right = f->scalePosition == INTFIELD_SCALE_RIGHT ? f->scale : nullptr;
    Attach(f->plus, XmNrightAttachment, XmNrightWidget, right);
    Attach(f->moins, XmNrightAttachment, XmNrightWidget, right);
    Attach(f->plus, XmNtopAttachment, XmNtopWidget,
           f->labelPosition == INTFIELD_LABEL_ABOVE ? f->label : nullptr);
    Attach(f->moins, XmNbottomAttachment, XmNbottomWidget,
           f->scalePosition == INTFIELD_SCALE_BELOW ? f->scale : nullptr);
}

void AttachScale(Intfield *f)
{
    if (!f->scale)
        return;
    int where = f->scalePosition;
    if (where != INTFIELD_SCALE_BELOW)
        Attach(f->scale, XmNtopAttachment, XmNtopWidget,
               f->labelPosition == INTFIELD_LABEL_ABOVE ? f->label : nullptr);
    if (where == INTFIELD_SCALE_LEFT)
        Attach(f->scale, XmNleftAttachment, XmNleftWidget,
               f->labelPosition == INTFIELD_LABEL_LEFT ? f->label : nullptr);
    if (where == INTFIELD_SCALE_BELOW)
        Attach(f->scale, XmNleftAttachment, XmNleftWidget, nullptr);
    if (where == INTFIELD_SCALE_BELOW || where == INTFIELD_SCALE_RIGHT)
        Attach(f->scale, XmNrightAttachment, XmNrightWidget, nullptr);
    Attach(f->scale, XmNbottomAttachment, XmNbottomWidget, nullptr);
}

void AttachLabel(Intfield *f)
{
    if (!f->label)
        return;
    Attach(f->label, XmNtopAttachment, XmNtopWidget, nullptr);
    Attach(f->label, XmNleftAttachment, XmNleftWidget, nullptr);
    if (f->labelPosition == INTFIELD_LABEL_ABOVE)
        Attach(f->label, XmNrightAttachment, XmNrightWidget, nullptr);
    else
        Attach(f->label, XmNbottomAttachment, XmNbottomWidget,
               f->scalePosition == INTFIELD_SCALE_BELOW ? f->scale : nullptr);
}

// A value outside the new range goes to the nearest bound, with the
// callback; the caller then gives the scale range and value in one call.
void StoreBounds(Intfield *f, int32_t minimum, int32_t maximum)
{
    NormaliseBounds(minimum, maximum);
    f->minimum = minimum;
    f->maximum = maximum;
    f->fromScale = 1;
    if (f->value < minimum || f->value > maximum)
        SetInternal(f, Clamp(f, f->value), 0);
    f->fromScale = 0;
}

void AddCallbacks(Intfield *f)
{
    XtAddCallback(f->text, XmNmodifyVerifyCallback, ModifyVerify, f);
    XtAddCallback(f->text, XmNvalueChangedCallback, TextChanged, f);
    XtAddCallback(f->text, XmNactivateCallback, TextChanged, f);
    if (f->scale) {
        XtAddCallback(f->scale, XmNdragCallback, ScaleMoved, f);
        XtAddCallback(f->scale, XmNvalueChangedCallback, ScaleMoved, f);
    }
}
} // namespace

Intfield *Intfield_Create(XcVisual *visual, Widget parent, const char *name, const char *label,
                          int32_t columns, int32_t value, int32_t minimum, int32_t maximum,
                          IntfieldCallback callback, XtPointer clientData, int arrows, int labelPosition,
                          int scalePosition)
{
    NormaliseBounds(minimum, maximum);
    auto *f = new (std::nothrow) Intfield;
    if (!f)
        return nullptr;
    f->parent = parent;
    f->minimum = minimum;
    f->maximum = maximum;
    f->value = Clamp(f, value);
    f->columns = columns;
    f->callback = callback;
    f->clientData = clientData;
    f->bigIncrement = std::max((maximum - minimum) / 10, 10);
    f->scalePosition = scalePosition;
    f->arrows = arrows;
    f->labelPosition = labelPosition;
    f->form = XtVaCreateWidget(name, xmFormWidgetClass, parent, nullptr);
    XtVaGetValues(f->form, XmNbackground, &f->formBackground, nullptr);
    MakeChildren(f, visual, label);
    AttachText(f);
    AttachArrows(f);
    AttachScale(f);
    AttachLabel(f);
    WriteText(f);
    AddCallbacks(f);
    return f;
}

void Intfield_SetValue(Intfield *f, int32_t value)
{
    if (value == f->value && f->valid)
        return;
    if (value != f->value)
        StopRepeat(f);
    f->value = Clamp(f, value);
    f->setByCaller = 1;
    MoveScale(f);
    WriteText(f);
}

int32_t Intfield_GetValue(const Intfield *f)
{
    return f->value;
}

void Intfield_SetBounds(Intfield *f, int32_t minimum, int32_t maximum)
{
    StoreBounds(f, minimum, maximum);
    MoveScale(f);
}

void Intfield_SetValueAndBounds(Intfield *f, int32_t value, int32_t minimum, int32_t maximum)
{
    StoreBounds(f, minimum, maximum);
    f->fromScale = 1;
    SetInternal(f, Clamp(f, value), 0);
    f->fromScale = 0;
    MoveScale(f);
}

void Intfield_SetSensitivity(Intfield *f, int sensitive)
{
    if (sensitive == f->sensitive)
        return;
    f->sensitive = sensitive;
    for (Widget w : {f->plus, f->moins, f->label, f->scale, f->text})
        if (w)
            XtSetSensitive(w, sensitive ? True : False);
}

void Intfield_SetCBWhenDrag(Intfield *f, int on)
{
    f->callbackWhileDragging = on;
}

void Intfield_SetBigIncrement(Intfield *f, int32_t step)
{
    f->bigIncrement = step;
}

void Intfield_SetNumColumns(Intfield *f, int32_t columns)
{
    if (columns == f->columns)
        return;
    f->columns = std::max(columns, 1);
    XtVaSetValues(f->text, XmNcolumns, int(f->columns), nullptr);
}
