// The colour picker: its conversions against a computation of their own over
// the whole ranges, the picker without widgets, and the widgets driven
// through XTest on both servers.
#include "tests/TestStore.h"
#include "tests/ui/XtFixture.h" // after gtest: Xlib's macros
#include "ui/Colorer.h"
#include "xc/XcPicture.h"

#include <X11/IntrinsicP.h> // core geometry
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>
#include <Xm/TextF.h>
#include <Xm/ToggleB.h>
#include <cmath>

namespace
{

using V = std::vector<int>;

ColorValue Colour(int mode, V channels)
{
    ColorValue c{mode, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    int32_t *words = mode == COLOR_RGB    ? &c.red
                     : mode == COLOR_CMYK ? &c.cyan
                     : mode == COLOR_HSV  ? &c.hue
                                          : &c.grey;
    std::copy(channels.begin(), channels.end(), words);
    return c;
}

V Channels(const ColorValue &c)
{
    switch (c.mode) {
    case COLOR_RGB:
        return {c.red, c.green, c.blue};
    case COLOR_CMYK:
        return {c.cyan, c.magenta, c.yellow, c.black};
    case COLOR_HSV:
        return {c.hue, c.saturation, c.value};
    default:
        return {c.grey};
    }
}

V To(const V &from, int fromMode, int space)
{
    ColorValue c = Colour(fromMode, from), out = c;
    out.mode = space;
    Colorer_Convert(&c, &out);
    return Channels(out);
}

// HSV from 8-bit RGB and back, as the rules state them, in double precision.
V RefHsv(const V &rgb)
{
    double r = rgb[0] / 255.0, g = rgb[1] / 255.0, b = rgb[2] / 255.0;
    double hi = std::max({r, g, b}), lo = std::min({r, g, b}), h = 0, s = 0;
    if (hi > 0 && hi > lo) {
        s = (hi - lo) / hi;
        double rc = (hi - r) / (hi - lo), gc = (hi - g) / (hi - lo), bc = (hi - b) / (hi - lo);
        h = (r == hi ? bc - gc : g == hi ? 2 + rc - bc : 4 + gc - rc);
        h = (h < 0 ? h + 6 : h) / 6;
    }
    return {int(h * 360), int(s * 100), int(hi * 100)};
}

V RefRgb(const V &hsv)
{
    double h = hsv[0] / 360.0, s = hsv[1] / 100.0, v = hsv[2] / 100.0, r = v, g = v, b = v;
    h = h >= 1 ? 0 : h;
    if (s > 0) {
        int i = int(std::floor(h * 6));
        double f = h * 6 - i, p = v * (1 - s), q = v * (1 - s * f), t = v + p - q;
        r = (i == 0 || i == 5) ? v : i == 1 ? q : i == 4 ? t : p;
        g = (i == 1 || i == 2) ? v : i == 0 ? t : i == 3 ? q : p;
        b = (i == 3 || i == 4) ? v : i == 2 ? t : i == 5 ? q : p;
    }
    return {int(r * 255), int(g * 255), int(b * 255)};
}

int Pos(int v)
{
    return std::max(v, 0);
}

// Stops at the first difference, with its source colour.
#define EXPECT_CHANNELS(got, want, from)                                                                     \
    if (V g_ = (got), w_ = (want); g_ != w_) {                                                               \
        ADD_FAILURE() << testing::PrintToString(from) << ": " << testing::PrintToString(g_)                  \
                      << " != " << testing::PrintToString(w_);                                               \
        return;                                                                                              \
    }

TEST(ColorerConvert, EveryRgbOnAStride)
{
    for (int r = 0; r < 256; r += 5)
        for (int g = 0; g < 256; g += 5)
            for (int b = 0; b < 256; b += 5) {
                const V rgb{r, g, b};
                EXPECT_CHANNELS(To(rgb, COLOR_RGB, COLOR_CMYK), (V{255 - r, 255 - g, 255 - b, 0}), rgb);
                EXPECT_CHANNELS(To(rgb, COLOR_RGB, COLOR_GRAY), (V{(r + g + b) / 3}), rgb);
                EXPECT_CHANNELS(To(rgb, COLOR_RGB, COLOR_HSV), RefHsv(rgb), rgb);
            }
}

TEST(ColorerConvert, EveryCmykOnAStrideAndEveryGrey)
{
    for (int c = 0; c < 256; c += 15)
        for (int m = 0; m < 256; m += 15)
            for (int y = 0; y < 256; y += 15)
                for (int k = 0; k < 256; k += 15) {
                    const V cmyk{c, m, y, k}, rgb{Pos(255 - c - k), Pos(255 - m - k), Pos(255 - y - k)};
                    EXPECT_CHANNELS(To(cmyk, COLOR_CMYK, COLOR_RGB), rgb, cmyk);
                    EXPECT_CHANNELS(To(cmyk, COLOR_CMYK, COLOR_GRAY), (V{Pos(255 - (c + m + y) / 3 - k)}),
                                    cmyk);
                    EXPECT_CHANNELS(To(cmyk, COLOR_CMYK, COLOR_HSV), RefHsv(rgb), cmyk);
                }
    for (int grey = 0; grey < 256; ++grey) {
        EXPECT_CHANNELS(To({grey}, COLOR_GRAY, COLOR_RGB), (V{grey, grey, grey}), grey);
        EXPECT_CHANNELS(To({grey}, COLOR_GRAY, COLOR_CMYK), (V{0, 0, 0, 255 - grey}), grey);
    }
}

TEST(ColorerConvert, EveryHsv)
{
    for (int h = 0; h <= 360; ++h)
        for (int s = 0; s <= 100; ++s)
            for (int v = 0; v <= 100; ++v) {
                const V hsv{h, s, v}, rgb = RefRgb(hsv);
                EXPECT_CHANNELS(To(hsv, COLOR_HSV, COLOR_RGB), rgb, hsv);
                EXPECT_CHANNELS(To(hsv, COLOR_HSV, COLOR_CMYK),
                                (V{255 - rgb[0], 255 - rgb[1], 255 - rgb[2], 0}), hsv);
                EXPECT_CHANNELS(To(hsv, COLOR_HSV, COLOR_GRAY), (V{(rgb[0] + rgb[1] + rgb[2]) / 3}), hsv);
            }
}

// The named values; HSV writes its three words only, and a space copies itself whole.
TEST(ColorerConvert, NamedValuesAndTheWordsLeftAlone)
{
    EXPECT_EQ(To({255, 0, 0}, COLOR_RGB, COLOR_CMYK), (V{0, 255, 255, 0}));
    EXPECT_EQ(To({255, 0, 0}, COLOR_RGB, COLOR_HSV), (V{0, 100, 100}));
    EXPECT_EQ(To({255, 0, 0}, COLOR_RGB, COLOR_GRAY), (V{85}));
    EXPECT_EQ(To({0, 0, 0, 255}, COLOR_CMYK, COLOR_RGB), (V{0, 0, 0}));
    EXPECT_EQ(To({0, 0, 0, 255}, COLOR_CMYK, COLOR_GRAY), (V{0}));
    EXPECT_EQ(To({200, 200, 200, 100}, COLOR_CMYK, COLOR_RGB), (V{0, 0, 0}));

    ColorValue red = Colour(COLOR_RGB, {255, 0, 0}), out;
    red.spare = 9;
    std::fill_n(&out.mode, 13, 77);
    out.mode = COLOR_HSV;
    Colorer_Convert(&red, &out);
    EXPECT_EQ((V{out.red, out.black, out.grey, out.spare, out.value}), (V{77, 77, 77, 77, 100}));
    out.mode = COLOR_RGB;
    Colorer_Convert(&red, &out);
    EXPECT_EQ(out.spare, 9);
}

int calls = 0;
std::vector<ColorValue> reported;
void Remember(Colorer *, XtPointer, const ColorValue *c)
{
    ++calls;
    reported.push_back(*c);
}

// A picker without widgets: context and colour never call back; the swatch
// takes the context's colour; the wheel is a disc at the base value.
struct ColorerAlone : TempStore {
    ColorerContext context{COLOR_RGB, {}, 0, Remember, nullptr};
    Colorer *c = Colorer_Create(nullptr, "colorer", &context, COLORER_TAKE_CALLBACK);
    void TearDown() override
    {
        Colorer_Destroy(c);
        TempStore::TearDown();
    }
    V Got() const
    {
        ColorValue out;
        Colorer_GetColor(c, &out);
        V v = Channels(out);
        v.insert(v.begin(), out.mode);
        return v;
    }
};

TEST_F(ColorerAlone, FollowsItsContextAndDrawsSwatchAndWheel)
{
    calls = 0;
    EXPECT_EQ(Got(), (V{COLOR_RGB, 0, 0, 0}));
    const ColorValue red = Colour(COLOR_RGB, {255, 0, 0});
    Colorer_SetColor(c, &red);
    Colorer_ResetContext(c, COLOR_CMYK, nullptr);
    EXPECT_EQ(Got(), (V{COLOR_CMYK, 0, 255, 255, 0}));
    const ColorValue k = Colour(COLOR_CMYK, {0, 0, 0, 55});
    Colorer_ResetContext(c, COLOR_GRAY, &k);
    EXPECT_EQ(Got(), (V{COLOR_GRAY, 200}));

    Image *swatch = Make(10, 10, IMAGE_MODE_RGB, 8);
    Colorer_SetImage(c, swatch);
    EXPECT_EQ((V{int(Image_GetSample(swatch, 0, 0, 0)), int(Image_GetSample(swatch, 2, 9, 9))}),
              (V{200, 200}));

    Image *wheel = Make(89, 89, IMAGE_MODE_RGB, 8, 1);
    const ColorValue dark = Colour(COLOR_HSV, {0, 0, 40});
    Colorer_ResetContext(c, COLOR_HSV, &dark);
    Colorer_SetWheelImage(c, wheel);
    auto at = [&](int p, int x, int y) { return int(Image_GetSample(wheel, p, x, y)); };
    EXPECT_EQ((V{at(0, 44, 44), at(3, 44, 44), at(3, 0, 0), at(3, 88, 44)}), (V{102, 255, 0, 128}))
        << "centre, corner, rim";
    Colorer_ResetContext(c, COLOR_RGB, nullptr); // not HSV: every pixel at full value
    for (int y = 0; y < 89; ++y)
        for (int x = 0; x < 89; ++x)
            if (at(3, x, y) && std::max({at(0, x, y), at(1, x, y), at(2, x, y)}) != 255)
                return ADD_FAILURE() << "not at full value: " << x << ", " << y;
    EXPECT_EQ(calls, 0);
}

// ---- Widgets ----

// The store of the widget cases, which have a fixture of their own.
struct Store : TempStore {
    void TestBody() override {}
    using TempStore::Make, TempStore::SetUp, TempStore::TearDown;
};

// Each case runs on the server whose name the parameter's variable holds.
struct ColorerOn : XtFixture, testing::WithParamInterface<const char *> {
    Widget shell = nullptr;
    Colorer *c = nullptr;
    Store store;
    Image *wheel = nullptr;

    void SetUp() override
    {
        XtFixture::SetUp();
        static std::map<std::string, Display *> displays;
        const char *name = getenv(GetParam());
        int argc = 0;
        Display *&d = displays[name ? name : ""];
        if (!NoDisplay() && name && !d)
            d = XtOpenDisplay(app, name, "t", "DabStone", nullptr, 0, &argc, nullptr);
        if (!d)
            GTEST_SKIP() << "no server in $" << GetParam();
        shell = XtVaAppCreateShell("picker", "DabStone", topLevelShellWidgetClass, d, nullptr);
        ColorerContext context{0, {}, 0, Remember, nullptr};
        c = Colorer_Create(shell, "colorer", &context, COLORER_TAKE_CALLBACK);
        store.SetUp();
        wheel = store.Make(89, 89, IMAGE_MODE_RGB, 8, 1);
        Colorer_SetWheelImage(c, wheel);
        XtManageChild(Colorer_Manager(c));
        XtRealizeWidget(shell);
        calls = 0;
        reported.clear();
    }
    void TearDown() override
    {
        if (!shell)
            return;
        XtDestroyWidget(shell);
        Colorer_Destroy(c);
        store.TearDown();
    }
    Widget W(const char *path) const { return XtNameToWidget(Colorer_Manager(c), path); }
    void Click(Widget w, int x, int y)
    {
        Display *d = XtDisplay(w);
        Position rx, ry;
        XtTranslateCoords(w, Position(x), Position(y), &rx, &ry);
        XTestFakeMotionEvent(d, XScreenNumberOfScreen(XtScreen(w)), rx, ry, 0);
        XTestFakeButtonEvent(d, 1, True, 0);
        XTestFakeButtonEvent(d, 1, False, 0);
        XFlush(d);
    }
    void Click(const char *path) { Click(W(path), 4, 4); }
    // Replaces the field's text by the digits, as typed.
    void Type(const char *field, const std::string &digits)
    {
        Widget text = W((std::string("sliders.") + field + ".textfield").c_str());
        Click(text, 4, int(text->core.height / 2));
        Display *d = XtDisplay(text);
        std::vector<KeySym> keys{XK_End, XK_BackSpace, XK_BackSpace, XK_BackSpace};
        for (char digit : digits)
            keys.push_back(XK_0 + KeySym(digit - '0'));
        for (KeySym k : keys)
            for (bool press : {true, false})
                XTestFakeKeyEvent(d, XKeysymToKeycode(d, k), press, 0);
        XFlush(d);
        EXPECT_TRUE(RunUntil([&] {
            char *s = XmTextFieldGetString(text);
            bool done = digits == s;
            XtFree(s);
            return done;
        })) << field;
    }
    bool Set(const char *toggle) const { return XmToggleButtonGetState(W(toggle)); }
    int Centre() const { return int(Image_GetSample(wheel, 0, 44, 44)); }
};

// In a GRAY context only "GRAY" answers; clicking it while set leaves it set.
TEST_P(ColorerOn, AGrayContextOffersGrayAlone)
{
    Colorer_ResetContext(c, COLOR_GRAY, nullptr);
    V sensitive;
    for (const char *t :
         {"space_menu.toggle_0", "space_menu.toggle_1", "space_menu.toggle_2", "space_menu.toggle_3"})
        sensitive.push_back(XtIsSensitive(W(t)));
    EXPECT_EQ(sensitive, (V{0, 0, 0, 1}));
    Click("space_menu.toggle_0");
    Click("space_menu.toggle_3");
    Type("intfield_3", "7");
    EXPECT_TRUE(Set("space_menu.toggle_3"));
    EXPECT_FALSE(Set("space_menu.toggle_0"));
    EXPECT_EQ(Channels(reported.back()), (V{7}));
}

// A click outside the disc does nothing; one inside takes that pixel's colour.
TEST_P(ColorerOn, TheWheelAnswersInsideItsDisc)
{
    Widget w = W("wheel-form.wheel");
    int x, y;
    XcPictureConvert(w, XC_PICTURE_SOURCE, 0, 0, XC_PICTURE_WINDOW, &x, &y);
    Click(w, x, y);
    XcPictureConvert(w, XC_PICTURE_SOURCE, 60, 30, XC_PICTURE_WINDOW, &x, &y);
    Click(w, x, y);
    ASSERT_TRUE(RunUntil([] { return calls >= 2; }));
    EXPECT_EQ(calls, 2) << "press and release inside, nothing outside";
    V pixel;
    for (int p = 0; p < 3; ++p)
        pixel.push_back(int(Image_GetSample(wheel, p, 60, 30)));
    EXPECT_EQ(Channels(reported.back()), pixel);
    EXPECT_EQ(reported.back().mode, COLOR_RGB);
}

// V redraws the wheel from its base value; a typed value beyond the range reaches the client at the bound.
TEST_P(ColorerOn, SlidersRedrawTheWheelAndKeepToTheirRange)
{
    Click("space_menu.toggle_2");
    ASSERT_TRUE(RunUntil([&] { return Set("space_menu.toggle_2"); }));
    EXPECT_EQ(Centre(), 0);
    Type("intfield_2", "80");
    EXPECT_EQ(Channels(reported.back()), (V{204, 204, 204}));
    EXPECT_EQ(Centre(), 204);

    Click("space_menu.toggle_0");
    ASSERT_TRUE(RunUntil([&] { return Set("space_menu.toggle_0"); }));
    Type("intfield_0", "300");
    V reds;
    for (const ColorValue &r : reported)
        reds.push_back(r.red);
    EXPECT_EQ(V(reds.end() - 3, reds.end()), (V{3, 30, 255}));
}

INSTANTIATE_TEST_SUITE_P(Servers, ColorerOn, testing::Values("DISPLAY", "DAB_DISPLAY8"));

} // namespace
