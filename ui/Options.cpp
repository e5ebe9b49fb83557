#include "ui/Options.h"

#include "ui/Intfield.h"
#include "ui/Menu.h"

#include <Xm/DialogS.h>
#include <Xm/Form.h>
#include <Xm/Label.h>
#include <Xm/PushB.h>
#include <Xm/PushBG.h>
#include <Xm/RowColumn.h>
#include <Xm/Separator.h>
#include <Xm/ToggleB.h>

namespace
{

Widget shell = nullptr, form = nullptr;
OptionsSettings target{};

void OnSize(Intfield *, XtPointer, int32_t value)
{
    *target.undoLimit = value;
}

void OnDisplay(Widget, XtPointer, XtPointer call)
{
    *target.announce = static_cast<XmToggleButtonCallbackStruct *>(call)->set ? 1 : 0;
}

void OnDithering(Widget, XtPointer dithering, XtPointer)
{
    *target.dithering = dithering ? 1 : 0;
}

void OnOk(Widget, XtPointer, XtPointer)
{
    XtUnmanageChild(form);
}

MenuItem ditheringItems[] = {
    {"Treshold", &xmPushButtonGadgetClass, 0, nullptr, nullptr, OnDithering, nullptr, nullptr, nullptr},
    {"Dithering", &xmPushButtonGadgetClass, 0, nullptr, nullptr, OnDithering, reinterpret_cast<XtPointer>(1),
     nullptr, nullptr},
    {nullptr, nullptr, 0, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr}};

Widget Child(const char *name, WidgetClass cls)
{
    return XtVaCreateManagedWidget(name, cls, form, nullptr);
}

void Build(Widget toplevel, XcVisual *visual)
{
    shell = XtVaCreatePopupShell("config", xmDialogShellWidgetClass, toplevel, XmNtitle, "Dabstone Options",
                                 XmNdeleteResponse, XmUNMAP, nullptr);
    form = XtVaCreateWidget("form", xmFormWidgetClass, shell, XmNautoUnmanage, True, nullptr);
    Widget label1 = Child("label1", xmLabelWidgetClass);
    Intfield *size = Intfield_Create(visual, form, "size", nullptr, 3, *target.undoLimit, 0, 999, OnSize,
                                     nullptr, 1, INTFIELD_LABEL_NONE, INTFIELD_SCALE_NONE);
    XtManageChild(size->form);
    Widget label2 = Child("label2", xmLabelWidgetClass);
    Widget display = Child("display", xmToggleButtonWidgetClass);
    XmToggleButtonSetState(display, *target.announce ? True : False, False);
    XtAddCallback(display, XmNvalueChangedCallback, OnDisplay, nullptr);
    Widget label3 = Child("label3", xmLabelWidgetClass);
    Widget entries[2];
    Widget menu = Menu_BuildMenu(form, XmMENU_OPTION, nullptr, 0, ditheringItems, entries);
    XtVaSetValues(menu, XmNmenuHistory, entries[*target.dithering ? 1 : 0], nullptr);
    XtManageChild(menu);
    Widget sep = Child("sep", xmSeparatorWidgetClass);
    Widget ok = Child("ok", xmPushButtonWidgetClass);
    XtAddCallback(ok, XmNactivateCallback, OnOk, nullptr);
    XtVaSetValues(form, XmNdefaultButton, ok, nullptr);

    XtVaSetValues(label1, XmNtopAttachment, XmATTACH_FORM, XmNleftAttachment, XmATTACH_FORM, nullptr);
    XtVaSetValues(size->form, XmNtopAttachment, XmATTACH_FORM, XmNleftAttachment, XmATTACH_WIDGET,
                  XmNleftWidget, label1, nullptr);
    XtVaSetValues(label2, XmNtopAttachment, XmATTACH_FORM, XmNleftAttachment, XmATTACH_WIDGET, XmNleftWidget,
                  size->form, XmNrightAttachment, XmATTACH_FORM, nullptr);
    XtVaSetValues(display, XmNleftAttachment, XmATTACH_FORM, XmNrightAttachment, XmATTACH_FORM,
                  XmNtopAttachment, XmATTACH_WIDGET, XmNtopWidget, size->form, nullptr);
    XtVaSetValues(label3, XmNtopAttachment, XmATTACH_WIDGET, XmNtopWidget, display, XmNleftAttachment,
                  XmATTACH_FORM, nullptr);
    XtVaSetValues(menu, XmNrightAttachment, XmATTACH_FORM, XmNtopAttachment, XmATTACH_WIDGET, XmNtopWidget,
                  display, XmNleftAttachment, XmATTACH_WIDGET, XmNleftWidget, label3, nullptr);
    XtVaSetValues(sep, XmNorientation, XmHORIZONTAL, XmNleftAttachment, XmATTACH_FORM, XmNrightAttachment,
                  XmATTACH_FORM, XmNtopAttachment, XmATTACH_WIDGET, XmNtopWidget, label3, nullptr);
    XtVaSetValues(ok, XmNrightAttachment, XmATTACH_FORM, XmNbottomAttachment, XmATTACH_FORM, XmNtopAttachment,
                  XmATTACH_WIDGET, XmNtopWidget, sep, nullptr);
}

} // namespace

void Options_Open(Widget toplevel, XcVisual *visual, const OptionsSettings &settings)
{
    if (!shell) {
        target = settings;
        Build(toplevel, visual);
    }
    if (XtIsManaged(form) && XtIsRealized(shell))
        XMapRaised(XtDisplay(shell), XtWindow(shell));
    else
        XtManageChild(form);
}
