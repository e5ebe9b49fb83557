// Menus built from tables: kinds, entry widgets, callbacks and cascades.
#include "tests/ui/XtFixture.h" // first: gtest before Xlib's macros
#include "ui/Menu.h"

#include <Xm/PushBG.h>
#include <Xm/RowColumn.h>
#include <Xm/ToggleBG.h>
#include <vector>

namespace
{

std::vector<intptr_t> activated;
void Record(Widget, XtPointer client, XtPointer)
{
    activated.push_back(reinterpret_cast<intptr_t>(client));
}

Widget SubMenu(Widget w)
{
    Widget sub = nullptr;
    XtVaGetValues(w, XmNsubMenuId, &sub, nullptr);
    return sub;
}

// An entry that records its client data when chosen.
MenuItem Entry(const char *label, WidgetClass *wclass, char mnemonic, intptr_t client, intptr_t user = 0)
{
    return MenuItem{label,           wclass, mnemonic, nullptr, nullptr, Record, XtPointer(client),
                    XtPointer(user), nullptr};
}

using Menu = XtFixture;

// An option menu's entries carry their client and user data; a toggle
// reports on a change of value; a cascade's entries are reached.
TEST_F(Menu, EntriesRunTheirCallbacksWithTheirData)
{
    SKIP_WITHOUT_DISPLAY();
    activated.clear();
    // Menus hang from a manager, as in the main window; cascades from a bar.
    Widget form = XmCreateRowColumn(top, const_cast<char *>("menus"), nullptr, 0);
    Widget bar = XmCreateMenuBar(form, const_cast<char *>("bar"), nullptr, 0);
    MenuItem items[] = {Entry("Before", &xmPushButtonGadgetClass, 0, 0, 10),
                        Entry("Behind", &xmPushButtonGadgetClass, 'B', 1, 11),
                        {}};
    Widget out[2] = {};
    Widget menu = Menu_BuildMenu(form, XmMENU_OPTION, "Apply", 0, items, out);
    ASSERT_NE(menu, nullptr);
    unsigned char type = 0;
    XtVaGetValues(menu, XmNrowColumnType, &type, nullptr);
    EXPECT_EQ(type, XmMENU_OPTION);
    ASSERT_NE(out[1], nullptr);
    EXPECT_EQ(XtParent(out[1]), SubMenu(menu));
    XtPointer user = nullptr;
    XtVaGetValues(out[1], XmNuserData, &user, nullptr);
    EXPECT_EQ(user, XtPointer(11));
    XtCallCallbacks(out[1], XmNactivateCallback, nullptr);
    XtCallCallbacks(out[0], XmNactivateCallback, nullptr);

    MenuItem inner[] = {Entry("Deep", &xmPushButtonGadgetClass, 0, 7), {}};
    MenuItem more[] = {
        {"Dither", &xmToggleButtonGadgetClass, 0, "Ctrl<Key>d", "Ctrl+D", Record, XtPointer(5), nullptr,
         nullptr},
        {"More", nullptr, 'M', nullptr, nullptr, nullptr, nullptr, nullptr, inner},
        {},
    };
    ASSERT_NE(Menu_BuildMenu(bar, XmMENU_PULLDOWN, nullptr, 'F', more, out), nullptr);
    XmToggleButtonGadgetSetState(out[0], True, True);
    WidgetList children = nullptr;
    Cardinal count = 0;
    XtVaGetValues(SubMenu(out[1]), XmNchildren, &children, XmNnumChildren, &count, nullptr);
    ASSERT_EQ(count, 1u);
    XtCallCallbacks(children[0], XmNactivateCallback, nullptr);
    EXPECT_EQ(activated, (std::vector<intptr_t>{1, 0, 5, 7}));

    MenuItem none[] = {{}};
    EXPECT_EQ(Menu_BuildMenu(form, XmMENU_BAR, "x", 0, none, nullptr), nullptr);
    EXPECT_EQ(Menu_BuildMenu(form, 0, "x", 0, none, nullptr), nullptr);
    XtDestroyWidget(form);
}

} // namespace
