#include "ui/Menu.h"

#include <Xm/CascadeBG.h>
#include <Xm/RowColumn.h>
#include <Xm/ToggleB.h>
#include <Xm/ToggleBG.h>
#include <Xm/Xm.h>

namespace
{
XmString Label(const char *text)
{
    return XmStringCreateLocalized(const_cast<char *>(text));
}

bool IsToggle(WidgetClass c)
{
    return c == xmToggleButtonWidgetClass || c == xmToggleButtonGadgetClass;
}

Widget MakeEntry(Widget menu, const MenuItem &item)
{
    if (item.submenu)
        return Menu_BuildMenu(menu, XmMENU_PULLDOWN, item.label, item.mnemonic, item.submenu, nullptr);
    XmString label = Label(item.label);
    Widget w = XtVaCreateManagedWidget("optionPane", *item.wclass, menu, XmNuserData, item.userData,
                                       XmNlabelString, label, nullptr);
    XmStringFree(label);
    if (item.mnemonic)
        XtVaSetValues(w, XmNmnemonic, KeySym(item.mnemonic), nullptr);
    if (item.accelerator)
        XtVaSetValues(w, XmNaccelerator, item.accelerator, nullptr);
    if (item.accelText) {
        XmString text = Label(item.accelText);
        XtVaSetValues(w, XmNacceleratorText, text, nullptr);
        XmStringFree(text);
    }
    if (item.callback)
        XtAddCallback(w, IsToggle(*item.wclass) ? XmNvalueChangedCallback : XmNactivateCallback,
                      item.callback, item.clientData);
    return w;
}
} // namespace

Widget Menu_BuildMenu(Widget parent, int kind, const char *title, char mnemonic, MenuItem *items, Widget *out)
{
    if (kind != XmMENU_PULLDOWN && kind != XmMENU_POPUP && kind != XmMENU_OPTION)
        return nullptr;
    if (!title)
        title = "";
    char name[] = "optionMenu";
    Widget menu = kind == XmMENU_POPUP ? XmCreatePopupMenu(parent, name, nullptr, 0)
                                       : XmCreatePulldownMenu(parent, name, nullptr, 0);
    Widget result = menu;
    XmString label = Label(title);
    if (kind == XmMENU_PULLDOWN) {
        result = XtVaCreateManagedWidget("optionMenu", xmCascadeButtonGadgetClass, parent, XmNsubMenuId, menu,
                                         XmNlabelString, label, nullptr);
        if (mnemonic)
            XtVaSetValues(result, XmNmnemonic, KeySym(mnemonic), nullptr);
    } else if (kind == XmMENU_OPTION) {
        Arg args[2];
        XtSetArg(args[0], XmNsubMenuId, menu);
        XtSetArg(args[1], XmNlabelString, label);
        result = XmCreateOptionMenu(parent, name, args, 2);
    }
    XmStringFree(label);
    for (int i = 0; items && items[i].label; ++i) {
        Widget w = MakeEntry(menu, items[i]);
        if (out)
            out[i] = w;
    }
    return result;
}
