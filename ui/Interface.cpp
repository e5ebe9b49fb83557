#include "ui/Interface.h"

#include "brush/Pipette.h"
#include "brush/Work.h"
#include "core/Bytes.h"
#include "core/Dabstone.h"
#include "core/DabstoneBrush.h"
#include "core/DabstoneColor.h"
#include "core/DabstonePaste.h"
#include "core/Image.h"
#include "core/Msghand.h"
#include "ui/Alert.h"
#include "ui/Colorer.h"
#include "ui/Intfield.h"
#include "ui/Menu.h"
#include "ui/Options.h"
#include "xc/Visual.h"
#include "xc/XcPicture.h"

#include <X11/cursorfont.h>
#include <Xm/Form.h>
#include <Xm/Label.h>
#include <Xm/PushB.h>
#include <Xm/PushBG.h>
#include <Xm/RowColumn.h>
#include <Xm/Scale.h>
#include <Xm/Separator.h>
#include <Xm/ToggleB.h>
#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>

namespace
{

// ---- Toolbox drawings: '#' is a set bit; rows top to bottom ----

const char *const kGroupIcon[] = {
    "................................", "................................",
    "................................", "............########............",
    "..........############..........", "........################........",
    ".......######....########.......", "......#######....#########......",
    ".....########....###....###.....", ".....########....###....###.....",
    "....###....#########....####....", "....###....#########....####....",
    "...####....##################...", "...####....##################...",
    "...##########################...", "...##########################...",
    "...##########################...", "...##########################...",
    "...####....#########....#####...", "...####....########......####...",
    "....###....#######........##....", "....###....#######........##....",
    ".....#############........#.....", ".....#############........#.....",
    "......#############......#......", ".......#############....#.......",
    "........################........", "..........############..........",
    "............########............", "................................",
    "................................", "................................",
};

const char *const kBrushIcon[] = {
    "................................", "................................",
    "..........................##....", ".........................####...",
    "........................#####...", ".......................#####....",
    "......................#####.....", ".....................#####......",
    "....................#####.......", "...................#####........",
    "..................#####.........", "...............#######..........",
    "..............#######...........", ".............#######............",
    "............########............", "...........#########............",
    "..........#########.............", "..........########..............",
    ".........########...............", "........########................",
    ".......########.................", "......#######...................",
    ".....#######....................", "....#######.....................",
    "...#######......................", "..#######.......................",
    "..######........................", "..#####.........................",
    "..####..........................", "................................",
    "................................", "................................",
};

const char *const kFillIcon[] = {
    "................................", "................................",
    ".........##########.............", "..##...##..........##...##......",
    "..##..##............##..##......", "...####..............####.......",
    "....##................##........", ".....##..............##.........",
    ".....###################........", "......#..............#..........",
    "......#..............#..........", "......#..............#..........",
    ".......#............#...........", ".......#............#....##.....",
    ".......#............#....##.....", ".......#............#....##.....",
    ".......#............#....##.....", ".......#............#...####....",
    ".......#............#..######...", "........#..........#...######...",
    "........#..........#...######...", "........#..........#...######...",
    "........#..........#....####....", "........#..........#............",
    "........#..........#............", ".........##########.............",
    "................................", "................................",
    "................................", "................................",
    "................................", "................................",
};

const char *const kPipetteIcon[] = {
    "................................", "................................",
    "......................######....", ".....................########...",
    "....................#########...", "...................##########...",
    "..................###########...", "..................###########...",
    "..................###########...", "................############....",
    "...............############.....", "...............###########......",
    "................#########.......", "................########........",
    "...............#########........", "..............#########.........",
    ".............#####..##..........", "............#####...............",
    "...........#####................", "..........#####.................",
    ".........#####..................", "........#####...................",
    ".......#####....................", "......#####.....................",
    ".....#####......................", "....#####.......................",
    "....####........................", "....###.........................",
    "...#............................", "................................",
    "................................", "................................",
};

// The pipette cursor; its hot spot is the tip, (0, 15).
const char *const kPipetteCursor[] = {
    "...........####.", "..........######", ".........#######", "........#######.",
    "........######..", ".........####...", "........#####...", ".......###.##...",
    "......###.......", ".....###........", "....###.........", "...###..........",
    "..###...........", ".###............", ".##.............", "#...............",
};

const char *const kPipetteMask[] = {
    ".........#######", "........########", ".......#########", ".......#########",
    ".......#########", ".......########.", "......########..", ".....#########..",
    "....##########..", "...#######......", "..#######.......", ".#######........",
    "#######.........", "######..........", "#####...........", "####............",
};

// A drawing: whether pixel (x, y) is set.
using Shape = std::function<bool(int x, int y)>;

Shape Rows(const char *const *rows)
{
    return [rows](int x, int y) { return rows[y][x] == '#'; };
}

// A size x size drawing as an X bitmap: rows of whole bytes, the least
// significant bit of each byte its leftmost pixel.
void PutBitmap(unsigned char *out, int size, const Shape &inside)
{
    const int stride = (size + 7) / 8;
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x)
            if (inside(x, y))
                out[y * stride + x / 8] |= static_cast<unsigned char>(1u << (x % 8));
}

struct ToolDrawing {
    const char *const *icon;
    int32_t mode1, mode2, cursorKind, cursorShape;
};
const ToolDrawing kTools[TOOL_COUNT] = {
    {kBrushIcon, 2, 1, 0, XC_pencil},
    {kFillIcon, 0, 0, 0, XC_spraycan},
    {kPipetteIcon, 0, 0, 1, 0},
};
} // namespace

// ---- Toolbox ----

uint32_t Interface_ToolHandle(int tool)
{
    using Tool = void (*)(void *, const unsigned char *);
    static const Tool routines[TOOL_COUNT] = {Work_Brush, Work_Fill, Work_Pipette};
    static uint32_t handles[TOOL_COUNT];
    if (tool < 0 || tool >= TOOL_COUNT)
        return 0;
    if (!handles[tool])
        handles[tool] = Msghand_NewTailFn(MSGHAND_TAIL_TOOL, routines[tool], nullptr);
    return handles[tool];
}

void Interface_MakeToolbox(unsigned char *buffer)
{
    std::memset(buffer, 0, MSG_TOOLBOX_SIZE);
    Bytes_PutS32(buffer, 1);
    unsigned char *group = buffer + TOOLBOX_GROUP;
    PutBitmap(group + TOOLBOX_GROUP_ICON, 32, Rows(kGroupIcon));
    Bytes_PutS32(group + TOOLBOX_TOOL_COUNT, TOOL_COUNT);
    for (int t = 0; t < TOOL_COUNT; ++t) {
        unsigned char *tool = group + TOOLBOX_TOOLS + TOOLBOX_TOOL_SIZE * t;
        const ToolDrawing &d = kTools[t];
        Bytes_PutS32(tool + TOOL_INDEX, t);
        Bytes_Put32(tool + TOOL_CALLBACK, Interface_ToolHandle(t));
        Bytes_PutS32(tool + TOOL_MODE1, d.mode1);
        Bytes_PutS32(tool + TOOL_MODE2, d.mode2);
        PutBitmap(tool + TOOL_ICON, 32, Rows(d.icon));
        Bytes_PutS32(tool + TOOL_CURSOR_KIND, d.cursorKind);
        Bytes_PutS32(tool + TOOL_CURSOR_SHAPE, d.cursorShape);
        if (t == TOOL_PIPETTE) {
            PutBitmap(tool + TOOL_CURSOR_BITS, 16, Rows(kPipetteCursor));
            PutBitmap(tool + TOOL_CURSOR_MASK, 16, Rows(kPipetteMask));
            Bytes_PutS32(tool + TOOL_HOT_X, 0);
            Bytes_PutS32(tool + TOOL_HOT_Y, 15);
        }
        Bytes_PutS32(tool + TOOL_END, -1);
    }
}

// ---- The window ----

namespace
{

GG_Dabstone &E()
{
    return *G_dabstone;
}

Widget Top()
{
    return G_dabstone->toplevel;
}

// ---- Drawings of the toggles and the link button ----

double Dist2(int x, int y, double cx, double cy)
{
    return (x - cx) * (x - cx) + (y - cy) * (y - cy);
}

// The 22 x 22 toggle drawings, around the centre (10.5, 10.5).
constexpr int kToggleSize = 22;
bool InDisc(int x, int y, double radius)
{
    return Dist2(x, y, 10.5, 10.5) <= radius * radius;
}
bool OnStroke(int x, int y)
{
    return std::abs(y - (11 + int(4 * std::sin(x / 3.5)))) <= 1 && x >= 2 && x < 20;
}
const Shape kTypeShapes[3] = {
    [](int x, int y) { return InDisc(x, y, 8); },                                      // circle
    [](int x, int y) { return InDisc(x, y, 9) && (x * 7 + y * 11 + x * y) % 5 == 0; }, // aero
    [](int x, int y) { return InDisc(x, y, 9) && !InDisc(x, y, 6.5); },                // floating
};
const Shape kPathShapes[3] = {
    [](int x, int y) { return OnStroke(x, y); },              // cont
    [](int x, int y) { return OnStroke(x, y) && x % 5 < 2; }, // dot
    [](int x, int y) { return InDisc(x, y, 3); },             // single
};

// The 7 x 7 link drawings: two chain links, joined or apart.
const char *const kLinked[] = {"..###..", ".#...#.", ".#.#.#.", "...#...", ".#.#.#.", ".#...#.", "..###.."};
const char *const kUnlinked[] = {"..###..", ".#...#.", ".......", ".......", ".......", ".#...#.", "..###.."};

// A size x size pixmap of the shape in the widget's own colours and depth.
Pixmap ShapePixmap(Widget w, int size, const Shape &inside)
{
    std::vector<unsigned char> bits(size_t((size + 7) / 8 * size), 0);
    PutBitmap(bits.data(), size, inside);
    Pixel fg = 0, bg = 0;
    int depth = 0;
    XtVaGetValues(w, XmNforeground, &fg, XmNbackground, &bg, XmNdepth, &depth, nullptr);
    return XCreatePixmapFromBitmapData(XtDisplay(w), RootWindowOfScreen(XtScreen(w)),
                                       reinterpret_cast<char *>(bits.data()), unsigned(size), unsigned(size),
                                       fg, bg, unsigned(depth));
}

// ---- Widgets and the module's state ----

enum BarButton { BAR_QUIT, BAR_OPTIONS, BAR_REBUILD, BAR_APPLY, BAR_UNDO, BAR_COUNT };
const char *const kBarNames[BAR_COUNT] = {"quit", "options", "rebuild", "apply", "undo"};

struct Controls {
    Widget system, useSel, useUndo;
    Widget brushbox, param, type, path, whForm, pictureForm, link, v, h;
    Widget typeToggles[3]; // circle, aero, floating
    Widget pathToggles[3]; // cont, dot, single
    Intfield *opacity, *spacing, *width, *height;
    Widget op, opMenu, planeMenu, alphaMenu;
    Widget opEntries[2], planeEntries[PE_COUNT], alphaEntries[2];
    Widget bar[BAR_COUNT];
    Pixmap linked, unlinked;
} w;

// Off while a setter moves an option menu or a scale: the callbacks this
// triggers must not reach the engine.
bool callbacksOn = true;
struct Suppress {
    bool was = callbacksOn;
    Suppress() { callbacksOn = false; }
    ~Suppress() { callbacksOn = was; }
};

XtIntervalId blinkTimer = 0; // the undo toggle blinks while the buffer is built
bool resizeSaved = false;    // the brush size at the first drag step of a scale
int resizeWidth = 0, resizeHeight = 0;
int previewLevel = 0; // reduction level of the preview background drawn

// What the option menus show, for the sensitivity rules.
struct Shown {
    const Image *image = nullptr;
    int plane = -1, alpha = 1, op = 0;
} shown;

void SetToggle(Widget t, int on)
{
    if (t)
        XmToggleButtonSetState(t, on ? True : False, False);
}

void SetHistory(Widget menu, Widget entry)
{
    if (!menu || !entry)
        return;
    Suppress s;
    XtVaSetValues(menu, XmNmenuHistory, entry, nullptr);
}

void SetScales(int value)
{
    Suppress s;
    for (Widget scale : {w.v, w.h})
        if (scale)
            XmScaleSetValue(scale, value);
}

// Every control shows the engine's value again.
void ShowEngine()
{
    const GG_Dabstone &e = E();
    Interface_SetType(e.brushKind, e.aero, e.floating);
    Interface_SetOpacity(e.opacity);
    Interface_SetSpacing(e.spacing);
    Interface_SetDims(e.brushWidth, e.brushHeight);
    Interface_SetBrushLink(e.brushLink);
    Interface_SetPath(e.traceMode);
    Interface_SetUseSelection(e.useSelection);
    Interface_SetOp(e.op);
    Interface_SetPlane(e.plane);
    Interface_SetAlpha(e.alpha);
    SetScales(50);
    resizeSaved = false;
}

// While the engine works a control that the user moves is put back.
bool SnappedBack()
{
    if (!Dabstone_IsWorking())
        return false;
    ShowEngine();
    return true;
}

// ---- Plane entries ----

bool HasAlpha(const Image *image)
{
    return Image_AlphaPlanes(image) > 0;
}

int Extras(const Image *image)
{
    return std::min(3, Image_Planes(image) - Image_ColorPlanes(image) - (HasAlpha(image) ? 1 : 0));
}

} // namespace

bool Interface_EntryShown(const Image *image, int entry)
{
    const int mode = Image_Mode(image);
    if (entry == PE_NATIVE)
        return true;
    if (entry <= PE_BLUE)
        return mode == IMAGE_MODE_RGB;
    if (entry <= PE_BLACK)
        return mode == IMAGE_MODE_CMYK;
    if (entry == PE_GRAY)
        return mode == IMAGE_MODE_GREY;
    if (entry == PE_ALPHA)
        return HasAlpha(image);
    return entry - PE_EXTRA1 < Extras(image);
}

int Interface_PlaneOfEntry(const Image *image, int entry)
{
    const int colour = Image_ColorPlanes(image), alpha = HasAlpha(image) ? 1 : 0;
    if (entry >= PE_RED && entry <= PE_BLUE)
        return entry - PE_RED;
    if (entry >= PE_CYAN && entry <= PE_BLACK)
        return entry - PE_CYAN;
    if (entry == PE_GRAY)
        return 0;
    if (entry == PE_ALPHA)
        return alpha ? colour : -1;
    if (entry >= PE_EXTRA1) {
        int plane = colour + alpha + entry - PE_EXTRA1;
        return plane < Image_Planes(image) ? plane : -1;
    }
    return -1;
}

int Interface_EntryOfPlane(const Image *image, int plane)
{
    if (plane < 0 || !image)
        return PE_NATIVE;
    const int colour = Image_ColorPlanes(image), alpha = HasAlpha(image) ? 1 : 0;
    if (alpha && plane == colour)
        return PE_ALPHA;
    if (plane >= colour + alpha && plane < Image_Planes(image))
        return std::min<int>(PE_EXTRA3, PE_EXTRA1 + plane - colour - alpha);
    switch (Image_Mode(image)) {
    case IMAGE_MODE_GREY:
        return PE_GRAY;
    case IMAGE_MODE_RGB:
        return plane < 3 ? PE_RED + plane : PE_NATIVE;
    case IMAGE_MODE_CMYK:
        return plane < 4 ? PE_CYAN + plane : PE_NATIVE;
    }
    return PE_NATIVE;
}

namespace
{

// "Behind", "Preserve" and "Alpha" are offered only where they mean something.
void SensitivityRules()
{
    const Image *image = shown.image;
    if (!image || !w.opMenu)
        return;
    const bool alpha = HasAlpha(image);
    const bool onAlpha = alpha && shown.plane == Image_ColorPlanes(image);
    XtSetSensitive(w.opEntries[1], alpha && !onAlpha && shown.alpha);
    XtSetSensitive(w.alphaEntries[1], alpha && !onAlpha && shown.op == 0);
    if (alpha)
        XtSetSensitive(w.planeEntries[PE_ALPHA], shown.op == 0 && shown.alpha);
}

// ---- Callbacks ----

bool ToggleSet(XtPointer call)
{
    return static_cast<XmToggleButtonCallbackStruct *>(call)->set != 0;
}

void OnCircle(Widget t, XtPointer, XtPointer call)
{
    if (SnappedBack())
        return;
    if (ToggleSet(call)) {
        Dabstone_SetUserBrush(nullptr, 0);
    } else {
        Dabstone_ResetBuildinBrush();
        SetToggle(t, 1);
    }
}

void OnAero(Widget, XtPointer, XtPointer call)
{
    if (!SnappedBack())
        Dabstone_SetAero(ToggleSet(call));
}

void OnFloating(Widget, XtPointer, XtPointer call)
{
    if (!SnappedBack())
        Dabstone_SetFloating(ToggleSet(call));
}

void OnPath(Widget, XtPointer mode, XtPointer call)
{
    if (SnappedBack())
        return;
    if (ToggleSet(call))
        Dabstone_SetPath(int(reinterpret_cast<intptr_t>(mode)));
    else
        Interface_SetPath(E().traceMode); // one trace mode stays chosen
}

void OnUseSelection(Widget, XtPointer, XtPointer call)
{
    if (!SnappedBack())
        Dabstone_SetUseSelection(ToggleSet(call));
}

void OnLink(Widget, XtPointer, XtPointer)
{
    if (!SnappedBack())
        Dabstone_SetBrushLink(!E().brushLink);
}

// The four fields: client data says which.
void OnField(Intfield *field, XtPointer, int32_t value)
{
    if (SnappedBack())
        return;
    const GG_Dabstone &e = E();
    if (field == w.opacity)
        Dabstone_SetOpacity(value);
    else if (field == w.spacing)
        Dabstone_SetSpacing(value);
    else if (field == w.width)
        Dabstone_SetDims(value, e.brushHeight, 0);
    else if (field == w.height)
        Dabstone_SetDims(e.brushWidth, value, 0);
}

// The resize scales scale the size the brush had at the first drag step:
// by 0.5 at 0, 1 at 50 and 2 at 100.
void OnScale(Widget scale, XtPointer, XtPointer call)
{
    if (!callbacksOn || SnappedBack())
        return;
    const auto *cbs = static_cast<XmScaleCallbackStruct *>(call);
    GG_Dabstone &e = E();
    if (cbs->reason != XmCR_DRAG) {
        SetScales(50);
        resizeSaved = false;
        return;
    }
    if (!resizeSaved) {
        resizeWidth = e.brushWidth;
        resizeHeight = e.brushHeight;
        resizeSaved = true;
    }
    const int s = cbs->value;
    const double f = s < 50 ? 0.5 + s / 50.0 * 0.5 : s / 50.0;
    int width = resizeWidth, height = resizeHeight;
    Widget other = scale == w.v ? w.h : w.v;
    if (e.brushLink) {
        Suppress guard;
        XmScaleSetValue(other, s);
    }
    if (scale == w.v)
        height = int(resizeHeight * f);
    else
        width = int(resizeWidth * f);
    Dabstone_SetDims(width, height, 0);
}

void OnOp(Widget, XtPointer op, XtPointer)
{
    if (callbacksOn && !SnappedBack())
        Dabstone_SetOp(int(reinterpret_cast<intptr_t>(op)));
}

void OnPlane(Widget entry, XtPointer, XtPointer)
{
    if (!callbacksOn || SnappedBack() || !shown.image)
        return;
    const Widget *begin = w.planeEntries, *end = begin + PE_COUNT, *found = std::find(begin, end, entry);
    if (found != end)
        Dabstone_SetPlane(Interface_PlaneOfEntry(shown.image, int(found - begin)));
}

void OnAlpha(Widget, XtPointer preserve, XtPointer)
{
    if (callbacksOn && !SnappedBack())
        Dabstone_SetAlpha(preserve ? 0 : 1);
}

void OnColor(Colorer *colorer, XtPointer, const ColorValue *colour)
{
    if (Dabstone_IsWorking())
        Colorer_SetColor(colorer, &Dabstone_ChosenColor());
    else
        Dabstone_SetColor(colour);
}

// ---- The undo toggle ----

void Blink(XtPointer, XtIntervalId *)
{
    XmToggleButtonSetState(w.useUndo, !XmToggleButtonGetState(w.useUndo), False);
    blinkTimer = XtAppAddTimeOut(E().app, 500, Blink, nullptr);
}

void StopBlink()
{
    if (blinkTimer)
        XtRemoveTimeOut(blinkTimer);
    blinkTimer = 0;
}

void UndoDestroyConfirmed(void *)
{
    StopBlink();
    SetToggle(w.useUndo, 0);
    if (w.useUndo)
        XmUpdateDisplay(w.useUndo);
    Dabstone_DestroyUndo();
}

void UndoDestroyCancelled(void *)
{
    if (!blinkTimer)
        SetToggle(w.useUndo, 1);
}

void AskDestroyUndo()
{
    Alert_Prompt("Please confirm destruction of undo buffer", 0, UndoDestroyConfirmed, UndoDestroyCancelled,
                 nullptr);
}

void UndoTurnedOn()
{
    if (Dabstone_CreateUndo() && w.useUndo && E().app && !blinkTimer)
        blinkTimer = XtAppAddTimeOut(E().app, 500, Blink, nullptr);
}

void OnUseUndo(Widget, XtPointer, XtPointer call)
{
    if (blinkTimer) {
        // The buffer is being built: only one that already exists can go.
        if (E().undoImage)
            AskDestroyUndo();
        return;
    }
    if (SnappedBack()) {
        SetToggle(w.useUndo, E().undoImage != nullptr);
        return;
    }
    if (ToggleSet(call))
        UndoTurnedOn();
    else
        AskDestroyUndo();
}

// The one activate callback of the bar, told apart by widget.
void OnBar(Widget b, XtPointer, XtPointer)
{
    if (b == w.bar[BAR_QUIT])
        Dabstone_Quit("", 0);
    else if (b == w.bar[BAR_OPTIONS])
        Options_Open(Top(), E().defaultVisual, {&E().undoLimit, &E().announce, &E().dithering});
    else if (b == w.bar[BAR_REBUILD])
        Dabstone_Rebuild();
    else if (b == w.bar[BAR_APPLY])
        Dabstone_Apply();
    else if (b == w.bar[BAR_UNDO])
        Dabstone_Undo();
}

// ---- Construction ----

enum Side { TOP, BOTTOM, LEFT, RIGHT };

// Attaches a side of a form child to the form (to = null) or to a sibling.
void Attach(Widget child, Side side, Widget to = nullptr)
{
    static const char *const attachment[] = {XmNtopAttachment, XmNbottomAttachment, XmNleftAttachment,
                                             XmNrightAttachment};
    static const char *const widget[] = {XmNtopWidget, XmNbottomWidget, XmNleftWidget, XmNrightWidget};
    if (to)
        XtVaSetValues(child, attachment[side], XmATTACH_WIDGET, widget[side], to, nullptr);
    else
        XtVaSetValues(child, attachment[side], XmATTACH_FORM, nullptr);
}

void AttachAll(Widget child, std::initializer_list<Side> sides)
{
    for (Side side : sides)
        Attach(child, side);
}

// Children stacked from the top (or from the bottom), each as wide as the form.
void Stack(std::initializer_list<Widget> children, Side from)
{
    Widget previous = nullptr;
    for (Widget child : children) {
        AttachAll(child, {LEFT, RIGHT});
        Attach(child, from, previous);
        previous = child;
    }
}

// Buttons in a row from the left, as high as the form.
void Row(const Widget *buttons, int count)
{
    for (int i = 0; i < count; ++i) {
        AttachAll(buttons[i], {TOP, BOTTOM});
        Attach(buttons[i], LEFT, i ? buttons[i - 1] : nullptr);
    }
}

Widget Form(const char *name, Widget parent)
{
    return XtVaCreateManagedWidget(name, xmFormWidgetClass, parent, nullptr);
}

Widget Toggle(const char *name, Widget parent, XtCallbackProc callback, XtPointer data, const Shape *shape)
{
    Widget t = XtVaCreateManagedWidget(name, xmToggleButtonWidgetClass, parent, nullptr);
    if (shape) {
        Pixmap p = ShapePixmap(t, kToggleSize, *shape);
        XtVaSetValues(t, XmNlabelType, XmPIXMAP, XmNlabelPixmap, p, XmNselectPixmap, p, XmNindicatorOn, False,
                      XmNshadowThickness, 2, nullptr);
    }
    XtAddCallback(t, XmNvalueChangedCallback, callback, data);
    return t;
}

Intfield *Field(Widget parent, const char *name, const char *label, int columns, int value, int minimum,
                int maximum)
{
    Intfield *f = Intfield_Create(E().defaultVisual, parent, name, label, columns, value, minimum, maximum,
                                  OnField, nullptr, 1, INTFIELD_LABEL_LEFT, INTFIELD_SCALE_NONE);
    XtManageChild(f->form);
    return f;
}

Widget CreateSystem(Widget form)
{
    GG_Dabstone &e = E();
    w.system = Form("system", form);
    w.useSel = Toggle("use_sel", w.system, OnUseSelection, nullptr, nullptr);
    w.useUndo = Toggle("use_undo", w.system, OnUseUndo, nullptr, nullptr);
    Arg size[2];
    XtSetArg(size[0], const_cast<char *>(XmNwidth), 96);
    XtSetArg(size[1], const_cast<char *>(XmNheight), 96);
    e.thumbnail = XcCreateThumbnail(w.system, "thumbnail", size, 2);
    XtManageChild(e.thumbnail);
    Stack({w.useSel, w.useUndo}, BOTTOM);
    AttachAll(e.thumbnail, {TOP, LEFT, RIGHT});
    Attach(e.thumbnail, BOTTOM, w.useUndo);
    return w.system;
}

void CreateParam(Widget brushbox)
{
    static const char *const typeNames[3] = {"circle", "aero", "floating"};
    static const XtCallbackProc typeCallbacks[3] = {OnCircle, OnAero, OnFloating};
    static const char *const pathNames[3] = {"cont", "dot", "single"};
    w.param = Form("param", brushbox);
    w.opacity = Field(w.param, "opacity", "Opacity", 3, 100, 1, 100);
    w.type = Form("type", w.param);
    for (int i = 0; i < 3; ++i)
        w.typeToggles[i] = Toggle(typeNames[i], w.type, typeCallbacks[i], nullptr, &kTypeShapes[i]);
    w.spacing = Field(w.param, "spacing", "Spacing", 3, 25, 0, 200);
    w.path = Form("path", w.param);
    for (int i = 0; i < 3; ++i)
        w.pathToggles[i] =
            Toggle(pathNames[i], w.path, OnPath, reinterpret_cast<XtPointer>(intptr_t(i)), &kPathShapes[i]);
    Row(w.typeToggles, 3);
    Row(w.pathToggles, 3);
    Stack({w.opacity->form, w.type}, TOP);
    Stack({w.path, w.spacing->form}, BOTTOM);
}

Widget Scale(const char *name, Widget parent, unsigned char orientation)
{
    Widget s = XtVaCreateManagedWidget(name, xmScaleWidgetClass, parent, XmNorientation, orientation,
                                       XmNminimum, 0, XmNmaximum, 100, XmNvalue, 50, nullptr);
    XtAddCallback(s, XmNdragCallback, OnScale, nullptr);
    XtAddCallback(s, XmNvalueChangedCallback, OnScale, nullptr);
    return s;
}

void CreatePictureForm(Widget brushbox)
{
    GG_Dabstone &e = E();
    w.pictureForm = Form("picture_form", brushbox);
    w.link = XtVaCreateManagedWidget("l", xmPushButtonWidgetClass, w.pictureForm, nullptr);
    w.linked = ShapePixmap(w.link, 7, Rows(kLinked));
    w.unlinked = ShapePixmap(w.link, 7, Rows(kUnlinked));
    XtVaSetValues(w.link, XmNlabelType, XmPIXMAP, XmNlabelPixmap, w.linked, nullptr);
    XtAddCallback(w.link, XmNactivateCallback, OnLink, nullptr);
    w.v = Scale("v", w.pictureForm, XmVERTICAL);
    w.h = Scale("h", w.pictureForm, XmHORIZONTAL);
    Arg size[2];
    XtSetArg(size[0], const_cast<char *>(XmNwidth), 89);
    XtSetArg(size[1], const_cast<char *>(XmNheight), 89);
    e.brushPreview = XcCreateThumbnail(w.pictureForm, "picture", size, 2);
    XtManageChild(e.brushPreview);
    AttachAll(w.link, {LEFT, BOTTOM});
    AttachAll(w.v, {LEFT, TOP});
    Attach(w.v, BOTTOM, w.link);
    AttachAll(w.h, {RIGHT, BOTTOM});
    Attach(w.h, LEFT, w.link);
    AttachAll(e.brushPreview, {TOP, RIGHT});
    Attach(e.brushPreview, LEFT, w.v);
    Attach(e.brushPreview, BOTTOM, w.h);
}

Widget CreateBrushbox(Widget form)
{
    w.brushbox = Form("brushbox", form);
    CreateParam(w.brushbox);
    w.whForm = Form("wh_form", w.brushbox);
    w.width = Field(w.whForm, "width", "Width", 4, 10, 1, 9999);
    w.height = Field(w.whForm, "height", "Height", 4, 10, 1, 9999);
    Intfield_SetBigIncrement(w.width, 10);
    Intfield_SetBigIncrement(w.height, 10);
    Stack({w.width->form, w.height->form}, TOP);
    CreatePictureForm(w.brushbox);
    AttachAll(w.param, {LEFT, TOP, BOTTOM});
    AttachAll(w.whForm, {RIGHT, BOTTOM});
    Attach(w.whForm, LEFT, w.param);
    AttachAll(w.pictureForm, {RIGHT, TOP});
    Attach(w.pictureForm, LEFT, w.param);
    Attach(w.pictureForm, BOTTOM, w.whForm);
    return w.brushbox;
}

#define ENTRY(label, callback, data)                                                                         \
    {                                                                                                        \
        label, &xmPushButtonGadgetClass, 0, nullptr, nullptr, callback, reinterpret_cast<XtPointer>(data),   \
            nullptr, nullptr                                                                                 \
    }
MenuItem opItems[] = {ENTRY("Before", OnOp, 0), ENTRY("Behind", OnOp, 1), ENTRY(nullptr, nullptr, 0)};
MenuItem planeItems[] = {
    ENTRY("Native", OnPlane, 0), ENTRY("Red", OnPlane, 0),    ENTRY("Green", OnPlane, 0),
    ENTRY("Blue", OnPlane, 0),   ENTRY("Cyan", OnPlane, 0),   ENTRY("Magenta", OnPlane, 0),
    ENTRY("Yellow", OnPlane, 0), ENTRY("Black", OnPlane, 0),  ENTRY("Gray", OnPlane, 0),
    ENTRY("Alpha", OnPlane, 0),  ENTRY("Extra1", OnPlane, 0), ENTRY("Extra2", OnPlane, 0),
    ENTRY("Extra3", OnPlane, 0), ENTRY(nullptr, nullptr, 0)};
MenuItem alphaItems[] = {ENTRY("Work on", OnAlpha, 0), ENTRY("Preserve", OnAlpha, 1),
                         ENTRY(nullptr, nullptr, 0)};
#undef ENTRY

Widget OptionMenu(Widget parent, MenuItem *items, Widget *entries)
{
    Widget menu = Menu_BuildMenu(parent, XmMENU_OPTION, nullptr, 0, items, entries);
    XtVaSetValues(entries[0], XmNwidth, 80, XmNrecomputeSize, False, nullptr);
    XtManageChild(menu);
    return menu;
}

Widget Label(const char *name, const char *text, Widget parent)
{
    XmString s = XmStringCreateLocalized(const_cast<char *>(text));
    Widget l = XtVaCreateManagedWidget(name, xmLabelWidgetClass, parent, XmNlabelString, s, nullptr);
    XmStringFree(s);
    return l;
}

Widget CreateOp(Widget form)
{
    w.op = Form("op", form);
    Widget apply = Label("apply_label", "Apply", w.op);
    w.opMenu = OptionMenu(w.op, opItems, w.opEntries);
    Widget on = Label("plane_label1", "on the", w.op);
    w.planeMenu = OptionMenu(w.op, planeItems, w.planeEntries);
    Widget and_ = Label("plane_label2", "plane and", w.op);
    w.alphaMenu = OptionMenu(w.op, alphaItems, w.alphaEntries);
    Widget channel = Label("alpha_label2", "alpha-channel", w.op);
    Stack({apply, w.opMenu, on, w.planeMenu, and_, w.alphaMenu, channel}, TOP);
    return w.op;
}

Widget CreateBar(Widget form)
{
    Widget strip = Form("bar", form);
    for (int b = 0; b < BAR_COUNT; ++b) {
        w.bar[b] = XtVaCreateWidget(kBarNames[b], xmPushButtonWidgetClass, strip, nullptr);
        AttachAll(w.bar[b], {TOP, BOTTOM});
        Attach(w.bar[b], RIGHT, b ? w.bar[b - 1] : nullptr);
        XtAddCallback(w.bar[b], XmNactivateCallback, OnBar, nullptr);
    }
    XtManageChildren(w.bar, BAR_UNDO); // all but "undo", which starts unmanaged
    return strip;
}

Widget Separator(const char *name, Widget form, unsigned char orientation)
{
    return XtVaCreateManagedWidget(name, xmSeparatorWidgetClass, form, XmNorientation, orientation, nullptr);
}

void Manage(Widget widget, int flag)
{
    if (!widget)
        return;
    if (flag)
        XtManageChild(widget);
    else
        XtUnmanageChild(widget);
}

// The preview cursor's box for the engine's brush, redrawing the
// background when the reduction level changes.
bool PreviewBox(int width, int height, Box *box)
{
    Image *preview = E().previewImage;
    if (!E().brushPreview || !preview)
        return false;
    int level = 0;
    *box = Interface_PreviewBox(width, height, Image_Width(preview), Image_Height(preview), &level);
    if (level != previewLevel) {
        FillBg(preview, level);
        previewLevel = level;
        XcPictureRefresh(E().brushPreview, nullptr);
    }
    return true;
}

// The value of a ridge at signed distance d from its line (negative:
// above or left), in a colour plane or in the alpha plane.
int Ridge(bool alphaPlane, int d, int r)
{
    if (alphaPlane)
        return 255;
    const double t = 1.0 - double(std::abs(d)) / r;
    return d <= 0 ? int(150 + t * 105) : int(80 + t * 175);
}

} // namespace

void Interface_Create(Widget toplevel)
{
    GG_Dabstone &e = E();
    e.form = XtVaCreateManagedWidget("form", xmFormWidgetClass, toplevel, nullptr);
    Widget system = CreateSystem(e.form);
    ColorerContext context{};
    context.callback = OnColor;
    e.colorer = Colorer_Create(e.form, "colorer", &context, COLORER_TAKE_CALLBACK);
    Widget colorer = Colorer_Manager(e.colorer);
    Widget brushbox = CreateBrushbox(e.form);
    Widget op = CreateOp(e.form);
    Widget bar = CreateBar(e.form);
    Widget sep1 = Separator("sep1", e.form, XmHORIZONTAL), sep2 = Separator("sep2", e.form, XmHORIZONTAL);
    Widget sep12 = Separator("sep12", e.form, XmVERTICAL), sep3 = Separator("sep3", e.form, XmVERTICAL);
    AttachAll(bar, {LEFT, RIGHT, BOTTOM});
    AttachAll(sep1, {LEFT, RIGHT});
    Attach(sep1, BOTTOM, bar);
    AttachAll(colorer, {LEFT, RIGHT});
    Attach(colorer, BOTTOM, sep1);
    AttachAll(sep2, {LEFT, RIGHT});
    Attach(sep2, BOTTOM, colorer);
    for (Widget column : {brushbox, sep12, op, sep3, system}) {
        Attach(column, TOP);
        Attach(column, BOTTOM, sep2);
    }
    Attach(brushbox, RIGHT);
    Attach(sep12, RIGHT, brushbox);
    Attach(op, RIGHT, sep12);
    Attach(sep3, RIGHT, op);
    AttachAll(system, {LEFT});
    Attach(system, RIGHT, sep3);
    XtManageChild(colorer);
}

int Interface_IsRealized()
{
    return Top() && XtIsRealized(Top());
}

void Interface_Raise()
{
    if (Interface_IsRealized())
        XMapRaised(XtDisplay(Top()), XtWindow(Top()));
}

void Interface_Working(int flag)
{
    if (!Interface_IsRealized())
        return;
    Display *display = XtDisplay(Top());
    if (flag) {
        static Cursor watch = XCreateFontCursor(display, XC_watch);
        XDefineCursor(display, XtWindow(Top()), watch);
        XFlush(display);
    } else {
        XUndefineCursor(display, XtWindow(Top()));
    }
}

// ---- Engine to window: none of these calls the engine ----

void Interface_SetImage(const Image *image, int plane, int alpha)
{
    shown.image = image;
    if (w.planeMenu && image) {
        for (int entry = 0; entry < PE_COUNT; ++entry)
            Manage(w.planeEntries[entry], Interface_EntryShown(image, entry));
        XtSetSensitive(w.alphaMenu, HasAlpha(image));
    }
    Interface_SetPlane(plane);
    Interface_SetAlpha(alpha);
}

void Interface_SetPlane(int plane)
{
    shown.plane = plane;
    SetHistory(w.planeMenu, w.planeEntries[Interface_EntryOfPlane(shown.image, plane)]);
    SensitivityRules();
}

void Interface_SetAlpha(int flag)
{
    shown.alpha = flag;
    SetHistory(w.alphaMenu, w.alphaEntries[flag ? 0 : 1]);
    SensitivityRules();
}

void Interface_SetOp(int op)
{
    shown.op = op;
    SetHistory(w.opMenu, w.opEntries[op ? 1 : 0]);
    SensitivityRules();
}

void Interface_SetType(int kind, int aero, int floating)
{
    SetToggle(w.typeToggles[0], kind == DAB_BRUSH_BUILDIN);
    SetToggle(w.typeToggles[1], aero);
    SetToggle(w.typeToggles[2], floating);
    if (w.opacity)
        Intfield_SetCBWhenDrag(w.opacity, kind != DAB_BRUSH_USER);
}

void Interface_SetFloating(int flag)
{
    SetToggle(w.typeToggles[2], flag);
}

void Interface_SetOpacity(int value)
{
    if (w.opacity)
        Intfield_SetValue(w.opacity, value);
}

void Interface_SetSpacing(int value)
{
    if (w.spacing)
        Intfield_SetValue(w.spacing, value);
}

void Interface_SetDims(int width, int height)
{
    if (w.width) {
        Intfield_SetValue(w.width, width);
        Intfield_SetValue(w.height, height);
    }
}

void Interface_SetBrushLink(int flag)
{
    if (w.link)
        XtVaSetValues(w.link, XmNlabelPixmap, flag ? w.linked : w.unlinked, nullptr);
}

void Interface_SetPath(int mode)
{
    for (int i = 0; i < 3; ++i)
        SetToggle(w.pathToggles[i], i == mode);
}

void Interface_SetUseSelection(int flag)
{
    SetToggle(w.useSel, flag);
}

void Interface_ManageApply(int flag)
{
    Manage(w.bar[BAR_APPLY], flag);
}

void Interface_ManageUndo(int flag)
{
    Manage(w.bar[BAR_UNDO], flag);
}

void Interface_CallApply()
{
    Widget apply = w.bar[BAR_APPLY];
    if (!apply || !XtIsRealized(apply)) {
        Dabstone_Apply(); // no window: what the button would do
        return;
    }
    XEvent press{};
    press.xbutton.type = ButtonPress;
    press.xbutton.display = XtDisplay(apply);
    press.xbutton.window = XtWindow(apply);
    press.xbutton.button = Button1;
    press.xbutton.time = XtLastTimestampProcessed(XtDisplay(apply));
    XtCallActionProc(apply, "ArmAndActivate", &press, nullptr, 0);
}

void Interface_CallUseUndo()
{
    if (w.useUndo)
        XmToggleButtonSetState(w.useUndo, True, True);
    else
        UndoTurnedOn(); // no window: what the toggle would do
}

void Interface_UndoStable(int flag)
{
    StopBlink();
    SetToggle(w.useUndo, flag);
}

Box Interface_PreviewBox(int width, int height, int previewWidth, int previewHeight, int *level)
{
    int n = 1;
    while (width > previewWidth && height > previewHeight) {
        width /= 2;
        height /= 2;
        ++n;
    }
    width = std::max(width, 1);
    height = std::max(height, 1);
    *level = n;
    return Box_Rect(previewWidth / 2 - width / 2, previewHeight / 2 - height / 2, width, height);
}

void FillBg(Image *preview, int level)
{
    const int width = Image_Width(preview), height = Image_Height(preview);
    const int cw = width / (level + 2), ch = height / (level + 2), r = std::max(1, 6 - level);
    const int alpha = std::max(0, Image_AlphaPlane(preview));
    for (int y = 0; y < height; ++y)
        std::memset(Image_Row(preview, alpha, y), 0, size_t(Image_PlaneBytesPerRow(preview, alpha)));
    for (int p = 0; p < Image_Planes(preview); ++p) {
        if (Image_PlaneBits(preview, p) != 8)
            continue; // the preview is an 8-bit work image
        const bool isAlpha = p == Image_AlphaPlane(preview);
        for (int line = ch + 1; line < height; line += ch + 1)
            for (int j = std::max(line - r, 0); j <= std::min(line + r, height - 1); ++j)
                std::memset(Image_Row(preview, p, j), Ridge(isAlpha, j - line, r), size_t(width));
        for (int line = cw + 1; line < width; line += cw + 1)
            for (int j = std::max(line - r, 0); j <= std::min(line + r, width - 1); ++j)
                for (int y = 0; y < height; ++y)
                    Image_Row(preview, p, y)[j] = static_cast<unsigned char>(Ridge(isAlpha, j - line, r));
    }
}

void Interface_SetBrush(Image *brush, Image *mask, const Box *brushBox, int width, int height, int floating,
                        const ColorValue *color)
{
    Box box;
    if (!brush || !PreviewBox(width, height, &box))
        return;
    XcPictureSetCursor(E().brushPreview, brush, mask, floating, &box, E().op ? -1 : 1, color, brushBox);
    XcPictureRefresh(E().brushPreview, nullptr);
}

void Interface_SetBrushWH(int width, int height)
{
    Box box;
    if (PreviewBox(width, height, &box))
        XcPictureSetCursorArea(E().brushPreview, &box);
}

void Interface_RefreshBrush(int width, int height)
{
    Box box;
    if (!PreviewBox(width, height, &box))
        return;
    XcPictureRefresh(E().brushPreview, &box);
    XcPictureRefresh(E().brushPreview, nullptr);
}

void Interface_SetBrushColor(const ColorValue *color)
{
    if (E().brushPreview)
        XcPictureSetCursorPixel(E().brushPreview, color);
}

void Interface_SetBrushDepth(int depth)
{
    if (E().brushPreview)
        XcPictureSetCursorDepth(E().brushPreview, depth);
}
