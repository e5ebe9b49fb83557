// The colour picker: its conversions against a computation of their own over
// the whole ranges, and its widgets driven through XTest on both servers.
#include "tests/TestStore.h"
#include "tests/ui/XtFixture.h" // after gtest: Xlib's macros
#include "ui/Colorer.h"
#include "xc/XcPicture.h"

#include <X11/IntrinsicP.h> // core geometry
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>
#include <Xm/TextF.h>
#include <Xm/ToggleB.h>
#include <algorithm>
#include <cmath>

namespace
{

using V = std::vector<int>; // a space code, then its channels

// Where a space's channels start, in words after the mode.
int Word(int mode)
{
    return mode == COLOR_RGB ? 1 : mode == COLOR_CMYK ? 4 : mode == COLOR_HSV ? 8 : 11;
}

V Channels(const ColorValue &c)
{
    const int32_t *w = &c.mode + Word(c.mode);
    V v(w, w + (c.mode == COLOR_CMYK ? 4 : c.mode == COLOR_GRAY ? 1 : 3));
    return v.insert(v.begin(), c.mode), v;
}

V To(const V &from, int space)
{
    ColorValue c{from[0], 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}, out;
    std::copy(from.begin() + 1, from.end(), &c.mode + Word(c.mode));
    out = c, out.mode = space;
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

// Each source into each space: itself, the values given, else through its RGB.
// The named values among them.
TEST(ColorerConvert, EveryColourIntoEverySpace)
{
    auto check = [&](const V &from, const V &rgb, const std::vector<V> &given) {
        if (HasFailure())
            return; // the first difference is enough
        for (int space : {COLOR_GRAY, COLOR_RGB, COLOR_CMYK, COLOR_HSV}) {
            V want = space == from[0] ? from : FromRgb(rgb, space);
            for (const V &g : given)
                want = g[0] == space ? g : want;
            EXPECT_EQ(To(from, space), want) << testing::PrintToString(from);
        }
    };
    check({COLOR_RGB, 255, 0, 0}, {COLOR_RGB, 255, 0, 0},
          {{COLOR_CMYK, 0, 255, 255, 0}, {COLOR_HSV, 0, 100, 100}, {COLOR_GRAY, 85}});
    check({COLOR_CMYK, 0, 0, 0, 255}, {COLOR_RGB, 0, 0, 0}, {{COLOR_GRAY, 0}});
    check({COLOR_CMYK, 200, 200, 200, 100}, {COLOR_RGB, 0, 0, 0}, {{COLOR_GRAY, 0}});
    auto pos = [](int v) { return std::max(v, 0); };
    for (int g = 0; g < 256; ++g)
        check({COLOR_GRAY, g}, {COLOR_RGB, g, g, g}, {{COLOR_CMYK, 0, 0, 0, 255 - g}});
    for (int r = 0; r < 256; r += 5)
        for (int g = 0; g < 256; g += 5)
            for (int b = 0; b < 256; b += 5)
                check({COLOR_RGB, r, g, b}, {COLOR_RGB, r, g, b}, {});
    for (int c = 0; c < 256; c += 15)
        for (int m = 0; m < 256; m += 15)
            for (int y = 0; y < 256; y += 15)
                for (int k = 0; k < 256; k += 15)
                    check({COLOR_CMYK, c, m, y, k},
                          {COLOR_RGB, pos(255 - c - k), pos(255 - m - k), pos(255 - y - k)},
                          {{COLOR_GRAY, pos(255 - (c + m + y) / 3 - k)}});
    for (int h = 0; h <= 360; ++h)
        for (int s = 0; s <= 100; ++s)
            for (int v = 0; v <= 100; ++v)
                check({COLOR_HSV, h, s, v}, RefRgb(h, s, v), {});
}

// Without widgets the picker keeps its context and colour, and takes images.
TEST(ColorerAlone, KeepsContextAndColour)
{
    const ColorValue red{COLOR_RGB, 255, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    ColorValue out;
    Colorer *c = Colorer_Create(nullptr, "colorer", nullptr, 0);
    Colorer_SetColor(c, &red);
    Colorer_ResetContext(c, COLOR_CMYK, nullptr);
    Colorer_SetImage(c, nullptr);
    Colorer_SetWheelImage(c, nullptr);
    Colorer_GetColor(c, &out);
    EXPECT_EQ(Channels(out), (V{COLOR_CMYK, 0, 255, 255, 0}));
    Colorer_Destroy(c);
}

std::vector<ColorValue> reported;

// Each case runs on the server whose name the parameter's variable holds.
struct ColorerOn : XtFixture, testing::WithParamInterface<const char *> {
    Colorer *c = nullptr;
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
    // Replaces the field's text with the digits, typed, until the client has the colour.
    void Type(int field, const std::string &digits, const V &want)
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
        EXPECT_TRUE(RunUntil([&] { return !reported.empty() && Channels(reported.back()) == want; }))
            << field;
    }
    Widget Toggle(int i) const { return W("space_menu.toggle_" + std::to_string(i)); }
    void Choose(int i)
    {
        Click(Toggle(i));
        ASSERT_TRUE(RunUntil([&] { return XmToggleButtonGetState(Toggle(i)); }));
    }
    static V At(Image *image, int x, int y, int planes = 3)
    {
        V v;
        for (int p = 0; p < planes; ++p)
            v.push_back(int(Image_GetSample(image, p, x, y)));
        return v;
    }
};

// The wheel answers inside its disc only, with the pixel's colour. In HSV it
// is drawn at the base value, which V sets; elsewhere at full value, no ring
// left out. A typed value beyond the range reaches the client and the swatch
// at the bound. A GRAY context offers "GRAY" alone, which stays set when clicked.
TEST_P(ColorerOn, WheelSlidersTogglesAndContext)
{
    const char *name = getenv(GetParam());
    int argc = 0;
    Display *d = NoDisplay() || !name ? nullptr
                                      : XtOpenDisplay(app, name, "t", "DabStone", nullptr, 0, &argc, nullptr);
    if (!d)
        GTEST_SKIP() << "no server in $" << GetParam();
    Widget shell = XtVaAppCreateShell("picker", "DabStone", topLevelShellWidgetClass, d, nullptr);
    ColorerContext context{
        0, {}, 0, [](Colorer *, XtPointer, const ColorValue *v) { reported.push_back(*v); }, nullptr};
    c = Colorer_Create(shell, "colorer", &context, COLORER_TAKE_CALLBACK);
    Image *wheel = nullptr, *swatch = nullptr;
    Image_Init(testing::TempDir().c_str(), nullptr, nullptr);
    Image_CreateImage(&wheel, ImageInfo(89, 89, IMAGE_MODE_RGB, 8, 1).data());
    Image_CreateImage(&swatch, ImageInfo(10, 10, IMAGE_MODE_RGB, 8).data());
    ASSERT_TRUE(wheel && swatch);
    Colorer_SetWheelImage(c, wheel);
    Colorer_SetImage(c, swatch);
    XtManageChild(Colorer_Manager(c));
    XtRealizeWidget(shell);
    reported.clear();

    Widget w = W("wheel-form.wheel");
    int x, y;
    XcPictureConvert(w, XC_PICTURE_SOURCE, 0, 0, XC_PICTURE_WINDOW, &x, &y);
    Click(w, x, y);
    XcPictureConvert(w, XC_PICTURE_SOURCE, 60, 30, XC_PICTURE_WINDOW, &x, &y);
    Click(w, x, y);
    ASSERT_TRUE(RunUntil([] { return reported.size() >= 2; }));
    EXPECT_EQ(reported.size(), 2u) << "press and release inside, nothing outside";
    const V pixel = At(wheel, 60, 30);
    EXPECT_EQ(Channels(reported.back()), (V{COLOR_RGB, pixel[0], pixel[1], pixel[2]}));

    const ColorValue black{COLOR_RGB, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    Colorer_SetColor(c, &black);
    Choose(2);
    EXPECT_EQ(At(wheel, 44, 44, 4), (V{0, 0, 0, 255}));
    EXPECT_EQ((V{At(wheel, 0, 0, 4)[3], At(wheel, 88, 44, 4)[3]}), (V{0, 128})) << "corner, rim";
    Type(2, "80", {COLOR_RGB, 204, 204, 204});
    EXPECT_EQ(At(wheel, 44, 44), (V{204, 204, 204}));
    Choose(0);
    for (int y = 0; y < 89; ++y)
        for (int x = 0; x < 89; ++x)
            if (At(wheel, x, y, 4)[3] && std::ranges::max(At(wheel, x, y)) != 255)
                return ADD_FAILURE() << "not at full value: " << x << ", " << y;
    Type(0, "300", {COLOR_RGB, 255, 204, 204});
    const size_t n = reported.size();
    EXPECT_EQ((V{reported[n - 3].red, reported[n - 2].red, reported[n - 1].red}), (V{3, 30, 255}));
    EXPECT_EQ(At(swatch, 9, 9), (V{255, 204, 204}));

    Colorer_ResetContext(c, COLOR_GRAY, nullptr);
    EXPECT_EQ((V{XtIsSensitive(Toggle(0)), XtIsSensitive(Toggle(1)), XtIsSensitive(Toggle(2)),
                 XtIsSensitive(Toggle(3))}),
              (V{0, 0, 0, 1}));
    Click(Toggle(0));
    Click(Toggle(3));
    Type(3, "7", {COLOR_GRAY, 7});
    EXPECT_EQ((V{XmToggleButtonGetState(Toggle(0)), XmToggleButtonGetState(Toggle(3))}), (V{0, 1}));
    XtDestroyWidget(shell);
    Colorer_Destroy(c);
    Image_DestroyImage(wheel);
    Image_DestroyImage(swatch);
}

INSTANTIATE_TEST_SUITE_P(Servers, ColorerOn, testing::Values("DISPLAY", "DAB_DISPLAY8"));

} // namespace
