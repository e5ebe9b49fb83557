#include "ui/Colorer.h"

#include "brush/Buildin.h"
#include "core/Image.h"
#include "ui/Intfield.h"
#include "xc/Visual.h"
#include "xc/XcPicture.h"

#include <Xm/Form.h>
#include <Xm/Label.h>
#include <Xm/ToggleB.h>
#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdio>
#include <new>
#include <utility>
#include <vector>

namespace
{

// ---- Colour spaces ----

struct Channel {
    const char *name; // empty: the channel does not exist in its space
    int fullRange;    // 0 to 255 whatever minimum and maximum say
    int32_t minimum, maximum;
    size_t word; // byte offset of the channel's word in ColorValue
};

struct Space {
    const char *name;
    int32_t code;
    Channel channels[4];
};

constexpr Channel kEmpty{"", 0, 0, 0, offsetof(ColorValue, spare)};

constexpr Space kSpaces[4] = {
    {"RGB",
     COLOR_RGB,
     {{"R", 1, 0, 255, offsetof(ColorValue, red)},
      {"G", 1, 0, 255, offsetof(ColorValue, green)},
      {"B", 1, 0, 255, offsetof(ColorValue, blue)},
      kEmpty}},
    {"CMYK",
     COLOR_CMYK,
     {{"C", 1, 0, 255, offsetof(ColorValue, cyan)},
      {"M", 1, 0, 255, offsetof(ColorValue, magenta)},
      {"Y", 1, 0, 255, offsetof(ColorValue, yellow)},
      {"K", 1, 0, 255, offsetof(ColorValue, black)}}},
    {"HSV",
     COLOR_HSV,
     {{"H", 0, 0, 360, offsetof(ColorValue, hue)},
      {"S", 0, 0, 100, offsetof(ColorValue, saturation)},
      {"V", 0, 0, 100, offsetof(ColorValue, value)},
      kEmpty}},
    {"GRAY", COLOR_GRAY, {kEmpty, kEmpty, kEmpty, {"G", 1, 0, 255, offsetof(ColorValue, grey)}}},
};
constexpr int kGrayIndex = 3;

int SpaceIndex(int32_t code)
{
    for (int i = 0; i < 4; ++i)
        if (kSpaces[i].code == code)
            return i;
    return -1;
}

int32_t *Word(ColorValue *c, size_t offset)
{
    return reinterpret_cast<int32_t *>(reinterpret_cast<char *>(c) + offset);
}

std::pair<int32_t, int32_t> Range(const Channel &ch)
{
    return ch.fullRange ? std::pair<int32_t, int32_t>{0, 255} : std::pair{ch.minimum, ch.maximum};
}

// ---- Conversions ----

int32_t Floor0(int32_t v)
{
    return std::max(0, v);
}

void RgbToHsv(const ColorValue &src, ColorValue &dst)
{
    const double r = src.red / 255.0, g = src.green / 255.0, b = src.blue / 255.0;
    const double max = std::max({r, g, b}), min = std::min({r, g, b});
    double h = 0, s = 0;
    if (max != 0 && max != min) {
        s = (max - min) / max;
        const double rc = (max - r) / (max - min), gc = (max - g) / (max - min), bc = (max - b) / (max - min);
        h = r == max ? bc - gc : g == max ? 2 + rc - bc : 4 + gc - rc;
        if (h < 0)
            h += 6;
        h /= 6;
    }
    dst.hue = int32_t(h * 360);
    dst.saturation = int32_t(s * 100);
    dst.value = int32_t(max * 100);
}

// Only the RGB words of dst are written.
void HsvToRgb(const ColorValue &src, ColorValue &dst)
{
    double h = src.hue / 360.0;
    const double s = std::clamp(src.saturation / 100.0, 0.0, 1.0),
                 v = std::clamp(src.value / 100.0, 0.0, 1.0);
    if (h >= 1 || h < 0) // a negative hue cannot come from a field; it must not pick no sector
        h = 0;
    double r = v, g = v, b = v;
    if (s != 0) {
        const int i = int(std::floor(h * 6));
        const double f = h * 6 - i, p = v * (1 - s), q = v * (1 - s * f), t = v + p - q;
        const double sectors[6][3] = {{v, t, p}, {q, v, p}, {p, v, t}, {p, q, v}, {t, p, v}, {v, p, q}};
        r = sectors[i][0], g = sectors[i][1], b = sectors[i][2];
    }
    dst.red = int32_t(r * 255);
    dst.green = int32_t(g * 255);
    dst.blue = int32_t(b * 255);
}

// Between GRAY, RGB and CMYK: words 1 to 7 and 11 travel, then the target's
// channels are computed from the source's.
void ConvertPlain(const ColorValue &src, ColorValue &dst)
{
    std::copy(&src.red, &src.black + 1, &dst.red);
    dst.grey = src.grey;
    const int32_t from = src.mode, to = dst.mode;
    if (from == COLOR_GRAY && to == COLOR_RGB) {
        dst.red = dst.green = dst.blue = src.grey;
    } else if (from == COLOR_GRAY && to == COLOR_CMYK) {
        dst.cyan = dst.magenta = dst.yellow = 0;
        dst.black = 255 - src.grey;
    } else if (from == COLOR_RGB && to == COLOR_GRAY) {
        dst.grey = (src.red + src.green + src.blue) / 3;
    } else if (from == COLOR_RGB && to == COLOR_CMYK) {
        dst.cyan = 255 - src.red, dst.magenta = 255 - src.green, dst.yellow = 255 - src.blue, dst.black = 0;
    } else if (from == COLOR_CMYK && to == COLOR_GRAY) {
        dst.grey = Floor0(255 - (src.cyan + src.magenta + src.yellow) / 3 - src.black);
    } else if (from == COLOR_CMYK && to == COLOR_RGB) {
        dst.red = Floor0(255 - (src.cyan + src.black));
        dst.green = Floor0(255 - (src.magenta + src.black));
        dst.blue = Floor0(255 - (src.yellow + src.black));
    }
}

// A copy of src converted into `space`.
ColorValue Into(const ColorValue &src, int32_t space)
{
    ColorValue out = src;
    out.mode = space;
    Colorer_Convert(&src, &out);
    return out;
}

} // namespace

void Colorer_Convert(const ColorValue *src, ColorValue *dst)
{
    if (src->mode == dst->mode) {
        *dst = *src;
    } else if (src->mode == COLOR_HSV) {
        ColorValue rgb = *src;
        rgb.mode = COLOR_RGB;
        HsvToRgb(*src, rgb);
        Colorer_Convert(&rgb, dst);
    } else if (dst->mode == COLOR_HSV) {
        RgbToHsv(Into(*src, COLOR_RGB), *dst);
    } else {
        ConvertPlain(*src, *dst);
    }
}

// ---- The record ----

struct Colorer {
    XcVisual *defaultVisual = nullptr, *bestVisual = nullptr;
    Widget manager = nullptr;
    ColorerCallback callback = nullptr;
    XtPointer clientData = nullptr;
    Widget spaceMenu = nullptr, toggles[4] = {};
    Widget sliders = nullptr;
    Intfield *fields[4] = {};
    int32_t *edits[4] = {}; // the word of `current` each field edits
    Widget pave = nullptr, thumbnail = nullptr;
    Image *swatch = nullptr;
    ColorValue swatchColour{};
    Widget wheelForm = nullptr, wheel = nullptr;
    Image *wheelImage = nullptr;
    Cursor wheelCursor = 0;
    ColorValue current{COLOR_RGB, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    ColorValue reference = current;
    int32_t contextSpace = COLOR_RGB;
    int spaceIndex = 0;
    int selecting = 0; // the fields are being set up: their callbacks are not the user's
};

namespace
{

void Report(Colorer *c)
{
    if (!c->callback)
        return;
    const ColorValue out = Into(c->current, c->contextSpace);
    c->callback(c, c->clientData, &out);
}

// ---- Swatch ----

void FillPlane(Image *image, int plane, int32_t value)
{
    for (int y = 0; y < Image_Height(image); ++y)
        for (int x = 0; x < Image_Width(image); ++x)
            Image_SetSample(image, plane, x, y, uint32_t(value));
}

// Shown as the client will get it, then in the swatch image's own model.
void RedrawSwatch(Colorer *c)
{
    if (!c->swatch)
        return;
    c->swatchColour = Into(Into(c->current, c->contextSpace), Image_Mode(c->swatch));
    const ColorValue &s = c->swatchColour;
    std::vector<int32_t> channels = {s.grey};
    if (s.mode == COLOR_RGB)
        channels = {s.red, s.green, s.blue};
    else if (s.mode == COLOR_CMYK)
        channels = {s.cyan, s.magenta, s.yellow, s.black};
    for (size_t p = 0; p < channels.size() && int(p) < Image_ColorPlanes(c->swatch); ++p)
        FillPlane(c->swatch, int(p), channels[p]);
    XcPictureRefresh(c->thumbnail, nullptr);
}

// ---- Wheel ----

int WheelAlphaPlane(const Image *wheel)
{
    return Image_AlphaPlanes(wheel) ? Image_AlphaPlane(wheel) : 0;
}

// The first octant of the digital circle of radius r, from (r, 0) towards
// the diagonal. These circles (Andres') of radius 0, 1, 2 ... tile the disc:
// every pixel is painted once, with no gap between two rings.
std::vector<std::pair<int, int>> OctantWalk(int r)
{
    std::vector<std::pair<int, int>> points;
    for (int x = r, y = 0, d = r - 1; x >= y;) {
        points.emplace_back(x, y);
        if (d >= 2 * y) {
            d -= 2 * y + 1;
            y += 1;
        } else if (d >= 2 * (r - x)) {
            d += 2 * (x - y - 1);
            y += 1;
            x -= 1;
        } else {
            d += 2 * x - 1;
            x -= 1;
        }
    }
    return points;
}

struct WheelPen {
    Image *image;
    int32_t v0, space, halfWidth, centre;
};

// Saturation grows with the radius and brightens the base value towards 100.
void PaintWheelPixel(const WheelPen &pen, int dx, int dy, int r, int32_t angle)
{
    const int x = pen.centre + dx, y = pen.centre + dy;
    if (x < 0 || y < 0 || x >= Image_Width(pen.image) || y >= Image_Height(pen.image))
        return;
    const int32_t s = r * 100 / pen.halfWidth, v = pen.v0 + s * (100 - pen.v0) / 100;
    ColorValue hsv{COLOR_HSV, 0, 0, 0, 0, 0, 0, 0, angle, s, v, 0, 0};
    ColorValue rgb = Into(hsv, COLOR_RGB);
    if (pen.space == COLOR_GRAY)
        rgb.red = rgb.green = rgb.blue = 255 - (angle * 255 / 360) * s / 100;
    for (int p = 0; p < 3; ++p)
        Image_SetSample(pen.image, p, x, y, uint32_t(p == 0 ? rgb.red : p == 1 ? rgb.green : rgb.blue));
    if (Image_AlphaPlanes(pen.image))
        Image_SetSample(pen.image, Image_AlphaPlane(pen.image), x, y, 255);
}

// One circle: each point of the octant walk and its seven mirrors.
void PaintCircle(const WheelPen &pen, int r)
{
    const auto points = OctantWalk(r);
    const int n = int(points.size());
    for (int k = 1; k <= n; ++k) {
        const auto [x, y] = points[size_t(k - 1)];
        const int32_t a = 45 * k / n;
        const int mirrors[8][3] = {{x, y, a},         {y, x, 90 - a},    {-y, x, 90 + a},  {-x, y, 180 - a},
                                   {-x, -y, 180 + a}, {-y, -x, 270 - a}, {y, -x, 270 + a}, {x, -y, 360 - a}};
        for (const auto &m : mirrors)
            PaintWheelPixel(pen, m[0], m[1], r, m[2]);
    }
}

void DrawWheel(Image *wheel, int32_t v0, int32_t space)
{
    const int w = Image_Width(wheel), radius = (w - 1) / 2;
    const WheelPen pen{wheel, v0, space, std::max(w / 2, 1), radius};
    PaintWheelPixel(pen, 0, 0, 0, 0);
    for (int r = 1; r <= radius; ++r)
        PaintCircle(pen, r);
    Buildin_Make(wheel, WheelAlphaPlane(wheel), Image_Width(wheel), Image_Height(wheel), 1, 255, 0.0);
}

// The base value is the HSV value while HSV is shown, else full.
void RedrawWheel(Colorer *c)
{
    if (!c->wheelImage)
        return;
    const int32_t space = kSpaces[c->spaceIndex].code;
    DrawWheel(c->wheelImage, space == COLOR_HSV ? c->current.value : 100, space);
    XcPictureRefresh(c->wheel, nullptr);
}

// ---- Spaces and sliders ----

void SetLabel(Widget w, const char *text)
{
    XmString s = XmStringCreateLocalized(const_cast<char *>(text));
    XtVaSetValues(w, XmNlabelString, s, nullptr);
    XmStringFree(s);
}

void ShowSpaceInField(Colorer *c, int i)
{
    const Channel &ch = kSpaces[c->spaceIndex].channels[i];
    c->edits[i] = Word(&c->current, ch.word);
    Intfield *f = c->fields[i];
    if (!f)
        return;
    Intfield_SetSensitivity(f, *ch.name != '\0');
    SetLabel(f->label, ch.name);
    const auto [minimum, maximum] = Range(ch);
    Intfield_SetValueAndBounds(f, *c->edits[i], minimum, maximum);
}

void ShowToggles(Colorer *c)
{
    for (int i = 0; i < 4; ++i) {
        if (!c->toggles[i])
            continue;
        XmToggleButtonSetState(c->toggles[i], i == c->spaceIndex, False);
        XtSetSensitive(c->toggles[i], c->contextSpace != COLOR_GRAY || i == kGrayIndex);
    }
}

void SelectSpace(Colorer *c, int index)
{
    c->spaceIndex = index;
    c->current.mode = kSpaces[index].code;
    Colorer_Convert(&c->reference, &c->current);
    c->selecting = 1;
    for (int i = 0; i < 4; ++i)
        ShowSpaceInField(c, i);
    c->selecting = 0;
    ShowToggles(c);
    RedrawSwatch(c);
    RedrawWheel(c);
}

// Into the displayed space, the fields following without callbacks.
void ShowColour(Colorer *c, const ColorValue &colour)
{
    Colorer_Convert(&colour, &c->current);
    for (int i = 0; i < 4; ++i)
        if (c->fields[i])
            Intfield_SetValue(c->fields[i], *c->edits[i]);
    c->reference = c->current;
    RedrawSwatch(c);
}

template <typename T, size_t N> int IndexOf(T *const (&items)[N], const T *item)
{
    return int(std::find(items, items + N, item) - items);
}

void SliderMoved(Intfield *field, XtPointer data, int32_t value)
{
    auto *c = static_cast<Colorer *>(data);
    const int i = IndexOf(c->fields, field);
    if (c->selecting || i >= 4 || !*kSpaces[c->spaceIndex].channels[i].name || *c->edits[i] == value)
        return;
    *c->edits[i] = value;
    c->reference = c->current;
    RedrawSwatch(c);
    if (c->edits[i] == &c->current.value)
        RedrawWheel(c);
    Report(c);
}

// A set toggle turned off is set again: one space is always chosen.
void ToggleChanged(Widget w, XtPointer data, XtPointer call)
{
    auto *c = static_cast<Colorer *>(data);
    if (!static_cast<XmToggleButtonCallbackStruct *>(call)->set)
        XmToggleButtonSetState(w, True, False);
    const int i = IndexOf(c->toggles, w);
    if (i < 4)
        SelectSpace(c, i);
}

// ---- Pointer on the wheel ----

void PickFromWheel(Colorer *c, int wx, int wy)
{
    Image *img = c->wheelImage;
    int x = -1, y = -1;
    XcPictureConvert(c->wheel, XC_PICTURE_WINDOW, wx, wy, XC_PICTURE_SOURCE, &x, &y);
    if (!img || x < 0 || y < 0 || x >= Image_Width(img) || y >= Image_Height(img) ||
        !Image_GetSample(img, WheelAlphaPlane(img), x, y))
        return;
    ColorValue rgb = c->current;
    rgb.mode = COLOR_RGB;
    rgb.red = int32_t(Image_GetSample(img, 0, x, y));
    rgb.green = int32_t(Image_GetSample(img, 1, x, y));
    rgb.blue = int32_t(Image_GetSample(img, 2, x, y));
    ShowColour(c, rgb);
    Report(c);
}

void WheelPointer(Widget, XtPointer data, XEvent *e, Boolean *)
{
    auto *c = static_cast<Colorer *>(data);
    if ((e->type == ButtonPress || e->type == ButtonRelease) && e->xbutton.button == Button1)
        PickFromWheel(c, e->xbutton.x, e->xbutton.y);
    else if (e->type == MotionNotify && (e->xmotion.state & Button1Mask))
        PickFromWheel(c, e->xmotion.x, e->xmotion.y);
}

// 16 x 16, hot spot (0, 15): a pipette whose tip is the bottom left pixel.
const char *const kWheelCursor[16] = {
    "............###.", "...........#####", "..........######", "........########",
    ".........######.", "........#.####..", ".......#...#....", "......#...#.....",
    ".....#...#......", "....#...#.......", "...#...#........", "..#...#.........",
    ".#...#..........", ".#..#...........", "#.##............", "#...............",
};

Cursor MakeWheelCursor(Widget w)
{
    unsigned char bits[32] = {};
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x)
            if (kWheelCursor[y][x] == '#')
                bits[2 * y + x / 8] |= static_cast<unsigned char>(1u << (x % 8));
    Display *d = XtDisplay(w);
    Pixmap p =
        XCreateBitmapFromData(d, RootWindowOfScreen(XtScreen(w)), reinterpret_cast<char *>(bits), 16, 16);
    XColor black{}, white{};
    white.red = white.green = white.blue = 0xFFFF;
    Cursor cursor = XCreatePixmapCursor(d, p, p, &black, &white, 0, 15);
    XFreePixmap(d, p);
    return cursor;
}

void DefineWheelCursor(Colorer *c)
{
    if (!c->wheelCursor)
        c->wheelCursor = MakeWheelCursor(c->wheel);
    XDefineCursor(XtDisplay(c->wheel), XtWindow(c->wheel), c->wheelCursor);
}

// The wheel's window exists only once realised: the cursor waits for its first map.
void WheelMapped(Widget w, XtPointer data, XEvent *e, Boolean *)
{
    if (e->type != MapNotify)
        return;
    DefineWheelCursor(static_cast<Colorer *>(data));
    XtRemoveEventHandler(w, StructureNotifyMask, False, WheelMapped, data);
}

void InstallWheelHandlers(Colorer *c)
{
    // Adding the same handler again only merges its mask.
    XtAddEventHandler(c->wheel, ButtonPressMask | ButtonReleaseMask | Button1MotionMask, False, WheelPointer,
                      c);
    if (XtIsRealized(c->wheel))
        DefineWheelCursor(c);
    else
        XtAddEventHandler(c->wheel, StructureNotifyMask, False, WheelMapped, c);
}

// ---- Widgets ----

void AttachFormSides(Widget w, bool left, bool right)
{
    XtVaSetValues(w, XmNtopAttachment, XmATTACH_FORM, XmNbottomAttachment, XmATTACH_FORM, nullptr);
    if (left)
        XtVaSetValues(w, XmNleftAttachment, XmATTACH_FORM, nullptr);
    if (right)
        XtVaSetValues(w, XmNrightAttachment, XmATTACH_FORM, nullptr);
}

// A picture in the best visual (mode 1: the whole image fits the window),
// filling its form. Not XcCreateThumbnail: that one keeps the visual of the
// first display it meets, and a picker may live on another.
Widget MakePicture(Colorer *c, Widget form, const char *name, Dimension size, int border)
{
    XcVisual *v = c->bestVisual;
    Widget w = XtVaCreateManagedWidget(name, xcPictureWidgetClass, form, XcNmode, 1, XmNcolormap, v->colormap,
                                       XmNdepth, v->depth, XcNxcVisual, v, XmNwidth, size, XmNheight, size,
                                       XmNmarginWidth, border, XmNmarginHeight, border, nullptr);
    AttachFormSides(w, true, true);
    return w;
}

Widget MakeForm(Widget parent, const char *name)
{
    return XtVaCreateManagedWidget(name, xmFormWidgetClass, parent, nullptr);
}

// Stacked from the top, each stretched across the form.
void Stack(Widget w, Widget above)
{
    XtVaSetValues(w, XmNleftAttachment, XmATTACH_FORM, XmNrightAttachment, XmATTACH_FORM, nullptr);
    if (above)
        XtVaSetValues(w, XmNtopAttachment, XmATTACH_WIDGET, XmNtopWidget, above, nullptr);
    else
        XtVaSetValues(w, XmNtopAttachment, XmATTACH_FORM, nullptr);
}

// Label, scale, text and arrows; the scale takes the width the text leaves.
void MakeSliders(Colorer *c)
{
    c->sliders = MakeForm(c->manager, "sliders");
    char name[16];
    for (int i = 0; i < 4; ++i) {
        std::snprintf(name, sizeof name, "intfield_%d", i);
        Intfield *f = Intfield_Create(c->defaultVisual, c->sliders, name, "", 3, 0, 0, 100, SliderMoved, c, 1,
                                      INTFIELD_LABEL_LEFT, INTFIELD_SCALE_LEFT);
        if (!f)
            continue;
        c->fields[i] = f;
        XtVaSetValues(f->text, XmNleftAttachment, XmATTACH_NONE, nullptr);
        XtVaSetValues(f->scale, XmNrightAttachment, XmATTACH_WIDGET, XmNrightWidget, f->text, nullptr);
        Stack(f->form, i ? c->fields[i - 1]->form : nullptr);
        XtManageChild(f->form);
    }
}

void MakeSpaceMenu(Colorer *c)
{
    c->spaceMenu = MakeForm(c->manager, "space_menu");
    char name[16];
    for (int i = 0; i < 4; ++i) {
        std::snprintf(name, sizeof name, "toggle_%d", i);
        c->toggles[i] = XtVaCreateManagedWidget(name, xmToggleButtonWidgetClass, c->spaceMenu,
                                                XmNindicatorType, XmONE_OF_MANY, nullptr);
        SetLabel(c->toggles[i], kSpaces[i].name);
        XtAddCallback(c->toggles[i], XmNvalueChangedCallback, ToggleChanged, c);
        Stack(c->toggles[i], i ? c->toggles[i - 1] : nullptr);
    }
}

// The toolkit destroys the widgets with their parent: the record forgets them.
void ManagerDestroyed(Widget, XtPointer data, XtPointer)
{
    auto *c = static_cast<Colorer *>(data);
    c->manager = c->spaceMenu = c->sliders = c->pave = c->thumbnail = c->wheelForm = c->wheel = nullptr;
    std::fill(c->toggles, c->toggles + 4, nullptr);
    for (Intfield *&f : c->fields) {
        delete f;
        f = nullptr;
    }
}

void MakeWidgets(Colorer *c, Widget parent, const char *name)
{
    c->defaultVisual = XcOpenDefaultVisual(parent);
    c->bestVisual = XcOpenBestVisual(parent);
    c->manager = XtVaCreateWidget(name, xmFormWidgetClass, parent, nullptr);
    XtAddCallback(c->manager, XmNdestroyCallback, ManagerDestroyed, c);
    c->pave = MakeForm(c->manager, "pave");
    c->thumbnail = MakePicture(c, c->pave, "thumbnail", 40, 2);
    MakeSliders(c);
    MakeSpaceMenu(c);
    c->wheelForm = MakeForm(c->manager, "wheel-form");
    c->wheel = MakePicture(c, c->wheelForm, "wheel", 89, 0);
    XtVaSetValues(c->wheel, XmNshadowThickness, 0, nullptr); // the disc is shown 1:1
    AttachFormSides(c->pave, true, false);
    AttachFormSides(c->sliders, false, false);
    XtVaSetValues(c->sliders, XmNleftAttachment, XmATTACH_WIDGET, XmNleftWidget, c->pave, XmNrightAttachment,
                  XmATTACH_WIDGET, XmNrightWidget, c->spaceMenu, nullptr);
    AttachFormSides(c->spaceMenu, false, false);
    XtVaSetValues(c->spaceMenu, XmNrightAttachment, XmATTACH_WIDGET, XmNrightWidget, c->wheelForm, nullptr);
    AttachFormSides(c->wheelForm, false, true);
}

} // namespace

Colorer *Colorer_Create(Widget parent, const char *name, const ColorerContext *context, int flags)
{
    auto *c = new (std::nothrow) Colorer;
    if (!c)
        return nullptr;
    if (context && (flags & COLORER_TAKE_CALLBACK)) {
        c->callback = context->callback;
        c->clientData = context->clientData;
    }
    if (parent)
        MakeWidgets(c, parent, name);
    SelectSpace(c, 0);
    if (context && (flags & (COLORER_TAKE_SPACE | COLORER_TAKE_COLOR)))
        Colorer_ResetContext(c, (flags & COLORER_TAKE_SPACE) ? context->space : c->contextSpace,
                             (flags & COLORER_TAKE_COLOR) ? &context->colour : nullptr);
    return c;
}

void Colorer_Destroy(Colorer *c)
{
    if (!c)
        return;
    if (c->manager)
        XtDestroyWidget(c->manager); // its destroy callback frees the fields
    if (c->wheelCursor && c->bestVisual)
        XFreeCursor(XcDisplayOfVisual(c->bestVisual), c->wheelCursor);
    for (XcVisual *v : {c->defaultVisual, c->bestVisual})
        if (v)
            XcDestroyVisual(v);
    delete c;
}

Widget Colorer_Manager(const Colorer *c)
{
    return c->manager;
}

void Colorer_ResetContext(Colorer *c, int32_t space, const ColorValue *colour)
{
    const int index = SpaceIndex(space);
    if (index < 0 || (space == c->contextSpace && !colour))
        return;
    c->current = c->reference = Into(colour ? *colour : c->reference, space);
    c->contextSpace = space;
    SelectSpace(c, index);
}

void Colorer_SetColor(Colorer *c, const ColorValue *colour)
{
    ShowColour(c, *colour);
}

void Colorer_GetColor(const Colorer *c, ColorValue *out)
{
    *out = Into(c->current, c->contextSpace);
}

void Colorer_SetImage(Colorer *c, Image *swatch)
{
    c->swatch = swatch;
    RedrawSwatch(c);
    if (c->thumbnail)
        XtVaSetValues(c->thumbnail, XcNimage, swatch, nullptr);
}

void Colorer_SetWheelImage(Colorer *c, Image *wheel)
{
    c->wheelImage = wheel;
    if (wheel)
        RedrawWheel(c);
    if (!c->wheel)
        return;
    XtVaSetValues(c->wheel, XcNimage, wheel, nullptr);
    InstallWheelHandlers(c);
}
