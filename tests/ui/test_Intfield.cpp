// The integer field driven through XTest on both servers: typing, arrows, callbacks.
#include "tests/ui/XtFixture.h" // first: gtest before Xlib's macros
#include "ui/Intfield.h"
#include "xc/Visual.h"

#include <X11/IntrinsicP.h> // core geometry
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>
#include <Xm/Scale.h>
#include <Xm/TextF.h>

namespace
{

std::vector<int> calls;

// Each case runs on the server whose name the parameter's variable holds.
struct IntfieldOn : XtFixture, testing::WithParamInterface<const char *> {
    Widget shell = nullptr;
    Intfield *f = nullptr;

    void SetUp() override
    {
        XtFixture::SetUp();
        static std::map<std::string, Display *> displays;
        const char *name = getenv(GetParam());
        int argc = 0;
        Display *&d = displays[name ? name : ""];
        if (!NoDisplay() && name && !d &&
            (d = XtOpenDisplay(app, name, "t", "DabStone", nullptr, 0, &argc, nullptr))) {
            XrmDatabase db = XtDatabase(d); // Motif gives text and form one background
            XrmPutStringResource(&db, "*textfield.background", "white");
        }
        if (d)
            shell = XtVaAppCreateShell("field", "DabStone", topLevelShellWidgetClass, d, nullptr);
        calls.clear();
        if (!shell)
            GTEST_SKIP() << "no server in $" << GetParam();
    }
    void TearDown() override { shell ? XtDestroyWidget(shell) : void(); }
    void Show(int columns, int value, int minimum, int maximum, int scale)
    {
        f = Intfield_Create(
            XcOpenDefaultVisual(shell), shell, "opacity", "Opacity", columns, value, minimum, maximum,
            [](Intfield *, XtPointer, int32_t v) { calls.push_back(v); }, nullptr, 1, INTFIELD_LABEL_LEFT,
            scale);
        XtManageChild(f->form);
        XtRealizeWidget(shell); // mapped before the server takes our input events
    }
    Display *D() const { return XtDisplay(shell); }
    // Near the right end of the child: past the text's last digit.
    void Button(const char *child, unsigned button, bool press)
    {
        Widget w = XtNameToWidget(f->form, child);
        Position x, y;
        XtTranslateCoords(w, Position(w->core.width - 4), Position(w->core.height / 2), &x, &y);
        XTestFakeMotionEvent(D(), XScreenNumberOfScreen(XtScreen(w)), x, y, 0);
        XTestFakeButtonEvent(D(), button, press, 0);
        XFlush(D());
    }
    void Click(const char *child, unsigned button, int expect)
    {
        Button(child, button, true);
        Button(child, button, false);
        EXPECT_TRUE(RunUntil([&] { return f->value == expect && !f->repeatTimer; })) << child << f->value;
    }
    // The text once it has the given length.
    std::string Typed(std::initializer_list<KeySym> keys, size_t length)
    {
        for (KeySym k : keys)
            for (bool press : {true, false})
                XTestFakeKeyEvent(D(), XKeysymToKeycode(D(), k), press, 0);
        XFlush(D());
        EXPECT_TRUE(RunUntil([&] { return Text().size() == length; })) << Text();
        return Text();
    }
    std::string Text() const
    {
        char text[16] = "";
        XmTextFieldGetSubstring(f->text, 0, XmTextFieldGetLastPosition(f->text), sizeof text, text);
        return text;
    }
    bool Warns() const
    {
        Pixel p;
        XtVaGetValues(f->text, XmNbackground, &p, nullptr);
        return p == f->formBackground && p != f->textBackground;
    }
};

// A full field refuses a digit, letters are refused; an empty or out-of-range text
// takes the bound and shows the warning, which the setter clears without callback.
TEST_P(IntfieldOn, TypingKeepsDigitsAndClampsToTheBounds)
{
    Show(3, 100, 1, 100, INTFIELD_SCALE_BELOW);
    Click("textfield", 1, 100);
    EXPECT_EQ(Typed({XK_End, XK_5, XK_BackSpace}, 2), "10");
    EXPECT_EQ(Typed({XK_a, XK_5}, 3), "105");
    EXPECT_TRUE(Warns());
    EXPECT_EQ(Typed({XK_BackSpace, XK_BackSpace, XK_BackSpace}, 0), "");
    EXPECT_TRUE(Warns());

    Intfield_SetValue(f, 1);
    EXPECT_EQ(Text(), "1");
    EXPECT_FALSE(Warns());
    Intfield_SetValue(f, 250);
    EXPECT_EQ(Text(), "100");
    int slider = 0;
    XmScaleGetValue(f->scale, &slider);
    EXPECT_EQ(slider, 100);
    EXPECT_EQ(calls, (std::vector<int>{10, 100, 10, 1})) << "the setter does not call back";
}

// Button 1 steps by 1, button 3 by the big increment, within the bounds; held, they
// repeat, and with callbacks held back the client hears once, at release.
TEST_P(IntfieldOn, ArrowsStepRepeatAndHoldTheCallbackBack)
{
    Show(4, 10, -5, 45, INTFIELD_SCALE_NONE);
    Click("plus", 1, 11);
    Click("moins", 3, 1);
    Click("moins", 1, 0);
    Click("moins", 1, 0);
    Click("plus", 1, 1);
    EXPECT_EQ(calls, (std::vector<int>{11, 1, 0, 1})) << "no call at the minimum";

    Intfield_SetCBWhenDrag(f, 0);
    Button("plus", 3, true);
    EXPECT_TRUE(RunUntil([&] { return f->value == 45; }));
    EXPECT_EQ(calls.size(), 4u) << "held back";
    Button("plus", 3, false);
    EXPECT_TRUE(RunUntil([&] { return calls.size() == 5; }));
    Button("moins", 1, true);
    EXPECT_TRUE(RunUntil([&] { return f->value == 42; }));
    Intfield_SetValue(f, 20); // ends the repeat: nothing at release
    Button("moins", 1, false);
    Click("moins", 1, 19); // returns once released
    EXPECT_EQ(calls, (std::vector<int>{11, 1, 0, 1, 45, 19}));
}

INSTANTIATE_TEST_SUITE_P(Servers, IntfieldOn, testing::Values("DISPLAY", "DAB_DISPLAY8"));

} // namespace
