// The colour picker: its conversions against a computation of their own over
// the whole ranges, the picker without widgets, and its widgets driven
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
#include <memory>

namespace
{

using V = std::vector<int>; // a space code, then its channels

// A space's channels: the word after the mode where they start, and how many.
int Word(int mode)
{
    return mode == COLOR_RGB ? 1 : mode == COLOR_CMYK ? 4 : mode == COLOR_HSV ? 8 : 11;
}

ColorValue Colour(const V &v)
{
    ColorValue c{v[0], 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    std::copy(v.begin() + 1, v.end(), &c.mode + Word(c.mode));
    return c;
}

V Channels(const ColorValue &c)
{
    const int32_t *w = &c.mode + Word(c.mode);
    V v(w, w + (c.mode == COLOR_CMYK ? 4 : c.mode == COLOR_GRAY ? 1 : 3));
    return v.insert(v.begin(), c.mode), v;
}

V To(const V &from, int space)
{
    ColorValue c = Colour(from), out = c;
    out.mode = space;
    Colorer_Convert(&c, &out);
    return Channels(out);
}

// HSV of 8-bit RGB and back, in double precision, truncated.
V RefHsv(double r, double g, double b)
{
    double hi = std::max({r, g, b}), lo = std::min({r, g, b}), d = hi - lo, h = 0;
    if (hi > 0 && d > 0)
        h = r == hi   ? (hi - b) / d - (hi - g) / d
            : g == hi ? 2 + (hi - r) / d - (hi - b) / d
                      : 4 + (hi - g) / d - (hi - r) / d;
    return {COLOR_HSV, int((h < 0 ? h + 6 : h) / 6 * 360), int(hi > 0 ? d / hi * 100 : 0), int(hi * 100)};
}

V RefRgb(int hue, int sat, int val)
{
    double h = hue < 360 ? hue / 360.0 : 0, s = sat / 100.0, v = val / 100.0;
    int i = int(std::floor(h * 6));
    double f = h * 6 - i, p = v * (1 - s), q = v * (1 - s * f), t = v + p - q;
    double rgb[6][3] = {{v, t, p}, {q, v, p}, {p, v, t}, {p, q, v}, {t, p, v}, {v, p, q}};
    return {COLOR_RGB, int(rgb[i][0] * 255), int(rgb[i][1] * 255), int(rgb[i][2] * 255)}; // s = 0: all v
}

V FromRgb(const V &c, int space)
{
    if (space == COLOR_CMYK)
        return {space, 255 - c[1], 255 - c[2], 255 - c[3], 0};
    if (space == COLOR_GRAY)
        return {space, (c[1] + c[2] + c[3]) / 3};
    return space == COLOR_HSV ? RefHsv(c[1] / 255.0, c[2] / 255.0, c[3] / 255.0) : c;
}

// Each source into each space: itself, its own rule (`direct`), else through its RGB.
TEST(ColorerConvert, EveryColourIntoEverySpace)
{
    int failures = 0;
    auto check = [&](const V &from, const V &rgb, const V &direct) {
        for (int space : {COLOR_GRAY, COLOR_RGB, COLOR_CMYK, COLOR_HSV}) {
            const V want = space == from[0] ? from : space == direct[0] ? direct : FromRgb(rgb, space);
            if (To(from, space) != want && failures++ < 5)
                ADD_FAILURE() << testing::PrintToString(from) << " into " << space << " gives "
                              << testing::PrintToString(To(from, space));
        }
    };
    auto pos = [](int v) { return std::max(v, 0); };
    for (int g = 0; g < 256; ++g)
        check({COLOR_GRAY, g}, {COLOR_RGB, g, g, g}, {COLOR_CMYK, 0, 0, 0, 255 - g});
    for (int r = 0; r < 256; r += 5)
        for (int g = 0; g < 256; g += 5)
            for (int b = 0; b < 256; b += 5)
                check({COLOR_RGB, r, g, b}, {COLOR_RGB, r, g, b}, {0});
    for (int c = 0; c < 256; c += 15)
        for (int m = 0; m < 256; m += 15)
            for (int y = 0; y < 256; y += 15)
                for (int k = 0; k < 256; k += 15)
                    check({COLOR_CMYK, c, m, y, k},
                          {COLOR_RGB, pos(255 - c - k), pos(255 - m - k), pos(255 - y - k)},
                          {COLOR_GRAY, pos(255 - (c + m + y) / 3 - k)});
    for (int h = 0; h <= 360; ++h)
        for (int s = 0; s <= 100; ++s)
            for (int v = 0; v <= 100; ++v)
                check({COLOR_HSV, h, s, v}, RefRgb(h, s, v), {0});
}

// Named values, also through a picker without widgets, and the words a
// conversion leaves: HSV writes its three only.
TEST(ColorerConvert, NamedValuesAndTheWordsLeftAlone)
{
    EXPECT_EQ(To({COLOR_RGB, 255, 0, 0}, COLOR_HSV), (V{COLOR_HSV, 0, 100, 100}));
    EXPECT_EQ(To({COLOR_CMYK, 200, 200, 200, 100}, COLOR_RGB), (V{COLOR_RGB, 0, 0, 0}));
    ColorValue red = Colour({COLOR_RGB, 255, 0, 0}), out;
    Colorer *alone = Colorer_Create(nullptr, "colorer", nullptr, 0);
    Colorer_SetColor(alone, &red);
    Colorer_ResetContext(alone, COLOR_CMYK, nullptr);
    Colorer_GetColor(alone, &out);
    EXPECT_EQ(Channels(out), (V{COLOR_CMYK, 0, 255, 255, 0}));
    Colorer_Destroy(alone);
    std::fill_n(&out.mode, 13, 77);
    out.mode = COLOR_HSV;
    Colorer_Convert(&red, &out);
    EXPECT_EQ((V{out.red, out.black, out.grey, out.spare, out.value}), (V{77, 77, 77, 77, 100}));
}

std::vector<ColorValue> reported;
void Remember(Colorer *, XtPointer, const ColorValue *c)
{
    reported.push_back(*c);
}

struct Store : TempStore {
    void TestBody() override {}
    using TempStore::Make, TempStore::SetUp, TempStore::TearDown;
};

// Each case runs on the server whose name the parameter's variable holds.
struct ColorerOn : XtFixture, testing::WithParamInterface<const char *> {
    Widget shell = nullptr;
    Colorer *c = nullptr;
    Store store;
    Image *wheel = nullptr, *swatch = nullptr;

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
        Colorer_SetWheelImage(c, wheel = store.Make(89, 89, IMAGE_MODE_RGB, 8, 1));
        Colorer_SetImage(c, swatch = store.Make(10, 10, IMAGE_MODE_RGB, 8));
        XtManageChild(Colorer_Manager(c));
        XtRealizeWidget(shell);
        reported.clear();
    }
    void TearDown() override
    {
        shell ? XtDestroyWidget(shell), Colorer_Destroy(c), store.TearDown() : void();
    }
    Widget W(const std::string &path) const { return XtNameToWidget(Colorer_Manager(c), path.c_str()); }
    void Click(Widget w, int x = 4, int y = 4)
    {
        Position rx, ry;
        XtTranslateCoords(w, Position(x), Position(y), &rx, &ry);
        XTestFakeMotionEvent(XtDisplay(w), XScreenNumberOfScreen(XtScreen(w)), rx, ry, 0);
        XTestFakeButtonEvent(XtDisplay(w), 1, True, 0);
        XTestFakeButtonEvent(XtDisplay(w), 1, False, 0);
        XFlush(XtDisplay(w));
    }
    // Replaces the field's text with the digits, typed; each one calls back.
    void Type(int field, const std::string &digits)
    {
        Widget text = W("sliders.intfield_" + std::to_string(field) + ".textfield");
        Click(text);
        std::vector<KeySym> keys{XK_End, XK_BackSpace, XK_BackSpace, XK_BackSpace};
        for (char digit : digits)
            keys.push_back(XK_0 + KeySym(digit - '0'));
        for (KeySym k : keys)
            for (bool press : {true, false})
                XTestFakeKeyEvent(XtDisplay(text), XKeysymToKeycode(XtDisplay(text), k), press, 0);
        XFlush(XtDisplay(text));
        auto typed = [&] {
            std::unique_ptr<char, void (*)(char *)> t(XmTextFieldGetString(text), [](char *p) { XtFree(p); });
            return digits == t.get();
        };
        EXPECT_TRUE(RunUntil(typed));
    }
    Widget Toggle(int i) const { return W("space_menu.toggle_" + std::to_string(i)); }
    void Choose(int i)
    {
        Click(Toggle(i));
        ASSERT_TRUE(RunUntil([&] { return XmToggleButtonGetState(Toggle(i)); }));
    }
    int At(Image *image, int p, int x, int y) const { return int(Image_GetSample(image, p, x, y)); }
};

// A click outside the disc does nothing; one inside takes that pixel's colour.
TEST_P(ColorerOn, TheWheelAnswersInsideItsDisc)
{
    Widget w = W("wheel-form.wheel");
    int x, y;
    XcPictureConvert(w, XC_PICTURE_SOURCE, 0, 0, XC_PICTURE_WINDOW, &x, &y);
    Click(w, x, y);
    XcPictureConvert(w, XC_PICTURE_SOURCE, 60, 30, XC_PICTURE_WINDOW, &x, &y);
    Click(w, x, y);
    ASSERT_TRUE(RunUntil([] { return reported.size() >= 2; }));
    EXPECT_EQ(reported.size(), 2u) << "press and release inside, nothing outside";
    EXPECT_EQ(Channels(reported.back()),
              (V{COLOR_RGB, At(wheel, 0, 60, 30), At(wheel, 1, 60, 30), At(wheel, 2, 60, 30)}));
}

// In HSV the wheel is a disc at the base value, which V sets; elsewhere at full
// value, no ring left out. A typed value beyond the range reaches the client
// at the bound, and the swatch. A GRAY context offers "GRAY" alone, which
// stays set when clicked.
TEST_P(ColorerOn, SlidersTogglesAndContext)
{
    Choose(2);
    EXPECT_EQ((V{At(wheel, 0, 44, 44), At(wheel, 3, 44, 44), At(wheel, 3, 0, 0), At(wheel, 3, 88, 44)}),
              (V{0, 255, 0, 128}))
        << "centre, corner, rim";
    Type(2, "80");
    EXPECT_EQ(Channels(reported.back()), (V{COLOR_RGB, 204, 204, 204}));
    EXPECT_EQ(At(wheel, 0, 44, 44), 204);

    Choose(0);
    for (int y = 0; y < 89; ++y)
        for (int x = 0; x < 89; ++x)
            if (At(wheel, 3, x, y) &&
                std::max({At(wheel, 0, x, y), At(wheel, 1, x, y), At(wheel, 2, x, y)}) != 255)
                return ADD_FAILURE() << "not at full value: " << x << ", " << y;
    Type(0, "300");
    const size_t n = reported.size();
    EXPECT_EQ((V{reported[n - 3].red, reported[n - 2].red, reported[n - 1].red}), (V{3, 30, 255}));
    EXPECT_EQ((V{At(swatch, 0, 0, 0), At(swatch, 1, 9, 9)}), (V{255, 204}));

    Colorer_ResetContext(c, COLOR_GRAY, nullptr);
    EXPECT_EQ((V{XtIsSensitive(Toggle(0)), XtIsSensitive(Toggle(1)), XtIsSensitive(Toggle(2)),
                 XtIsSensitive(Toggle(3))}),
              (V{0, 0, 0, 1}));
    Click(Toggle(0));
    Click(Toggle(3));
    Type(3, "7");
    EXPECT_EQ((V{XmToggleButtonGetState(Toggle(0)), XmToggleButtonGetState(Toggle(3))}), (V{0, 1}));
    EXPECT_EQ(Channels(reported.back()), (V{COLOR_GRAY, 7}));
}

INSTANTIATE_TEST_SUITE_P(Servers, ColorerOn, testing::Values("DISPLAY", "DAB_DISPLAY8"));

} // namespace
