// Motif pulldown, popup and option menus built from a static table.
#pragma once
#include <X11/Intrinsic.h>

// One entry; a table ends with an entry whose label is null.
struct MenuItem {
    const char *label;
    WidgetClass *wclass; // e.g. &xmPushButtonGadgetClass
    char mnemonic;       // 0 for none
    const char *accelerator;
    const char *accelText;
    XtCallbackProc callback; // value-changed for toggle buttons, else activate
    XtPointer clientData;
    XtPointer userData; // stored in the entry's XmNuserData
    MenuItem *submenu;  // makes the entry a cascade to a pulldown of this table
};

// kind XmMENU_PULLDOWN (2): a managed cascade button over a pulldown;
// XmMENU_POPUP (3): the popup menu; XmMENU_OPTION (4): an option menu; any
// other kind: null. Entry widgets go to out[i] when out is given.
Widget Menu_BuildMenu(Widget parent, int kind, const char *title, char mnemonic, MenuItem *items,
                      Widget *out);
