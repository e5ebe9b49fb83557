// The integer field driven as a person would, through XTest, on the 24-bit
// and the 8-bit test server: typing, clamping, arrow steps, auto-repeat and
// when the client is called back.
#include "tests/ui/XtFixture.h" // first: gtest before Xlib's macros
#include "ui/Intfield.h"
#include "xc/Visual.h"

#include <X11/extensions/XTest.h>
#include <X11/keysym.h>
#include <Xm/Scale.h>
#include <Xm/TextF.h>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

namespace
{

std::vector<int> calls;
void Record(Intfield *, XtPointer, int32_t value)
{
    calls.push_back(value);
}

// Each case runs on the server whose name the parameter's variable holds.
struct IntfieldOn : XtFixture, testing::WithParamInterface<const char *> {
    Widget shell = nullptr;
    Intfield *f = nullptr;

    void SetUp() override
    {
        XtFixture::SetUp();
        static std::map<std::string, Display *> displays;
        const char *name = std::getenv(GetParam());
        if (NoDisplay() || !name)
            return;
        Display *&d = displays[name];
        int argc = 0;
        if (!d && (d = XtOpenDisplay(app, name, "test_ui", "DabStone", nullptr, 0, &argc, nullptr))) {
            // Motif gives text and form one background; the warning needs two.
            XrmDatabase db = XtDatabase(d);
            XrmPutStringResource(&db, "*textfield.background", "white");
        }
        if (d)
            shell = XtVaAppCreateShell("field", "DabStone", topLevelShellWidgetClass, d, nullptr);
        calls.clear();
    }
    void TearDown() override
    {
        if (shell)
            XtDestroyWidget(shell);
    }
    void Show(int columns, int value, int minimum, int maximum, int scale)
    {
        f = Intfield_Create(XcOpenDefaultVisual(shell), shell, "opacity", "Opacity", columns, value, minimum,
                            maximum, Record, nullptr, 1, INTFIELD_LABEL_LEFT, scale);
        XtManageChild(f->form);
        XtRealizeWidget(shell);
        ASSERT_TRUE(RunUntil([this] {
            XWindowAttributes a;
            return XGetWindowAttributes(XtDisplay(shell), XtWindow(f->text), &a) && a.map_state == IsViewable;
        }));
    }
    Display *D() const { return XtDisplay(shell); }
    void Button(const char *child, unsigned button, bool press)
    {
        Widget w = XtNameToWidget(f->form, child);
        int x, y;
        Dimension width = 0, height = 0;
        Window ignored;
        XtVaGetValues(w, XmNwidth, &width, XmNheight, &height, nullptr);
        XTranslateCoordinates(D(), XtWindow(w), RootWindowOfScreen(XtScreen(w)), width - 4, height / 2, &x, &y,
                              &ignored);
        XTestFakeMotionEvent(D(), XScreenNumberOfScreen(XtScreen(w)), x, y, 0);
        XTestFakeButtonEvent(D(), button, press, 0);
        XFlush(D());
    }
    void Click(const char *child, unsigned button, int expect)
    {
        Button(child, button, true);
        Button(child, button, false);
        EXPECT_TRUE(RunUntil([&] { return f->value == expect && !f->repeatTimer; })) << child << " gives " << f->value;
    }
    void Type(std::initializer_list<KeySym> keys)
    {
        for (KeySym k : keys)
            for (bool press : {true, false})
                XTestFakeKeyEvent(D(), XKeysymToKeycode(D(), k), press, 0);
        XFlush(D());
    }
    std::string Text() const
    {
        char *s = XmTextFieldGetString(f->text);
        std::string t = s;
        XtFree(s);
        return t;
    }
    bool Warns() const
    {
        Pixel p;
        XtVaGetValues(f->text, XmNbackground, &p, nullptr);
        return p == f->formBackground && p != f->textBackground;
    }
};

#define SKIP_WITHOUT_SERVER()                                                                                \
    do {                                                                                                     \
        if (!shell)                                                                                          \
            GTEST_SKIP() << "no server in $" << GetParam();                                                  \
    } while (0)

// A full field refuses a digit, letters are refused anywhere; an empty or
// out-of-range text takes the bound and the warning background, the setter
// puts both right without calling back.
TEST_P(IntfieldOn, TypingKeepsDigitsAndClampsToTheBounds)
{
    SKIP_WITHOUT_SERVER();
    Show(3, 100, 1, 100, INTFIELD_SCALE_BELOW);
    Click("textfield", 1, 100);
    Type({XK_End, XK_5, XK_BackSpace});
    ASSERT_TRUE(RunUntil([&] { return Text().size() == 2; }));
    EXPECT_EQ(Text(), "10");
    Type({XK_a, XK_5});
    ASSERT_TRUE(RunUntil([&] { return Text().size() == 3; }));
    EXPECT_EQ(Text(), "105");
    EXPECT_TRUE(Warns());
    Type({XK_BackSpace, XK_BackSpace, XK_BackSpace});
    ASSERT_TRUE(RunUntil([&] { return Text().empty(); }));
    EXPECT_EQ(calls, (std::vector<int>{10, 100, 10, 1}));
    EXPECT_TRUE(Warns());

    Intfield_SetValue(f, 1);
    EXPECT_EQ(Text(), "1");
    EXPECT_FALSE(Warns());
    Intfield_SetValue(f, 250);
    EXPECT_EQ(Text(), "100");
    int slider = 0;
    XmScaleGetValue(f->scale, &slider);
    EXPECT_EQ(slider, 100);
    EXPECT_EQ(calls.size(), 4u) << "the setter does not call back";
}

// Button 1 steps by 1, button 3 by the big increment; held down the arrows
// repeat to the bound, and with callbacks held back the client hears once,
// at release, with the final value.
TEST_P(IntfieldOn, ArrowsStepRepeatAndHoldTheCallbackBack)
{
    SKIP_WITHOUT_SERVER();
    Show(4, 10, -5, 45, INTFIELD_SCALE_NONE);
    EXPECT_EQ(f->minimum, 0);
    EXPECT_EQ(f->bigIncrement, 10);
    Click("plus", 1, 11);
    Click("moins", 3, 1);
    Click("moins", 1, 0);
    Click("moins", 1, 0);
    Click("plus", 1, 1);
    EXPECT_EQ(calls, (std::vector<int>{11, 1, 0, 1})) << "no call at the minimum";

    Intfield_SetCBWhenDrag(f, 0);
    Button("plus", 3, true);
    EXPECT_TRUE(RunUntil([&] { return f->value == 45; }));
    EXPECT_EQ(Text(), "45");
    EXPECT_EQ(calls.size(), 4u) << "held back";
    Button("plus", 3, false);
    EXPECT_TRUE(RunUntil([&] { return calls.size() == 5; }));
    Button("moins", 1, true);
    EXPECT_TRUE(RunUntil([&] { return f->value == 42; }));
    Intfield_SetValue(f, 20); // ends the repeat: nothing at release
    Button("moins", 1, false);
    Click("moins", 1, 19);
    EXPECT_TRUE(RunUntil([&] { return calls.size() == 6; }));
    EXPECT_EQ(calls, (std::vector<int>{11, 1, 0, 1, 45, 19}));

    Intfield_SetValueAndBounds(f, 80, 5, 60);
    Intfield_SetBounds(f, 0, 30);
    EXPECT_EQ(calls, (std::vector<int>{11, 1, 0, 1, 45, 19, 60, 30}));
}

INSTANTIATE_TEST_SUITE_P(Servers, IntfieldOn, testing::Values("DISPLAY", "DAB_DISPLAY8"));

} // namespace
