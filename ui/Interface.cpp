#include "ui/Interface.h"

#include "brush/Pipette.h"
#include "brush/Work.h"
#include "core/Bytes.h"
#include "core/Dabstone.h"
#include "core/DabstonePaste.h"
#include "core/Msghand.h"

#include <X11/cursorfont.h>
#include <Xm/DrawingA.h>
#include <Xm/Form.h>
#include <Xm/PushB.h>
#include <cstring>

namespace
{
InterfaceState state;

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

// A drawing of `size` rows as an X bitmap: rows of size / 8 bytes, the
// least significant bit of each byte its leftmost pixel.
void PutBitmap(unsigned char *out, const char *const *rows, int size)
{
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x)
            if (rows[y][x] == '#')
                out[y * (size / 8) + x / 8] |= static_cast<unsigned char>(1u << (x % 8));
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

Widget Top()
{
    return G_dabstone->toplevel;
}

// The bottom strip of the main window: its push buttons, right to left.
enum BarButton { BAR_QUIT, BAR_OPTIONS, BAR_REBUILD, BAR_APPLY, BAR_UNDO, BAR_COUNT };
const char *const kBarNames[BAR_COUNT] = {"quit", "options", "rebuild", "apply", "undo"};
Widget bar[BAR_COUNT];

// The one activate callback of the bar, told apart by widget.
void BarPressed(Widget w, XtPointer, XtPointer)
{
    if (w == bar[BAR_QUIT])
        Dabstone_Quit("", 0);
    else if (w == bar[BAR_REBUILD])
        Dabstone_Rebuild();
    else if (w == bar[BAR_APPLY])
        Dabstone_Apply();
    else if (w == bar[BAR_UNDO])
        Dabstone_Undo();
    // "options": least form until the options dialog exists, the button
    // stays insensitive.
}

Widget CreateBar(Widget form)
{
    Widget strip = XtVaCreateManagedWidget("bar", xmFormWidgetClass, form, XmNleftAttachment, XmATTACH_FORM,
                                           XmNrightAttachment, XmATTACH_FORM, XmNbottomAttachment,
                                           XmATTACH_FORM, nullptr);
    for (int b = 0; b < BAR_COUNT; ++b) {
        bar[b] = XtVaCreateWidget(kBarNames[b], xmPushButtonWidgetClass, strip, XmNtopAttachment,
                                  XmATTACH_FORM, XmNbottomAttachment, XmATTACH_FORM, nullptr);
        if (b == BAR_QUIT)
            XtVaSetValues(bar[b], XmNrightAttachment, XmATTACH_FORM, nullptr);
        else
            XtVaSetValues(bar[b], XmNrightAttachment, XmATTACH_WIDGET, XmNrightWidget, bar[b - 1], nullptr);
        XtAddCallback(bar[b], XmNactivateCallback, BarPressed, nullptr);
    }
    XtSetSensitive(bar[BAR_OPTIONS], False);
    XtManageChildren(bar, BAR_UNDO); // all but "undo", which starts unmanaged
    state.applyManaged = 1;
    return strip;
}

void Manage(Widget w, int flag)
{
    if (!w)
        return;
    if (flag)
        XtManageChild(w);
    else
        XtUnmanageChild(w);
}
} // namespace

const InterfaceState &Interface_State()
{
    return state;
}

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
    PutBitmap(group + TOOLBOX_GROUP_ICON, kGroupIcon, 32);
    Bytes_PutS32(group + TOOLBOX_TOOL_COUNT, TOOL_COUNT);
    for (int t = 0; t < TOOL_COUNT; ++t) {
        unsigned char *tool = group + TOOLBOX_TOOLS + TOOLBOX_TOOL_SIZE * t;
        const ToolDrawing &d = kTools[t];
        Bytes_PutS32(tool + TOOL_INDEX, t);
        Bytes_Put32(tool + TOOL_CALLBACK, Interface_ToolHandle(t));
        Bytes_PutS32(tool + TOOL_MODE1, d.mode1);
        Bytes_PutS32(tool + TOOL_MODE2, d.mode2);
        PutBitmap(tool + TOOL_ICON, d.icon, 32);
        Bytes_PutS32(tool + TOOL_CURSOR_KIND, d.cursorKind);
        Bytes_PutS32(tool + TOOL_CURSOR_SHAPE, d.cursorShape);
        if (t == TOOL_PIPETTE) {
            PutBitmap(tool + TOOL_CURSOR_BITS, kPipetteCursor, 16);
            PutBitmap(tool + TOOL_CURSOR_MASK, kPipetteMask, 16);
            Bytes_PutS32(tool + TOOL_HOT_X, 0);
            Bytes_PutS32(tool + TOOL_HOT_Y, 15);
        }
        Bytes_PutS32(tool + TOOL_END, -1);
    }
}

// ---- The window ----

void Interface_Create(Widget toplevel)
{
    GG_Dabstone &e = *G_dabstone;
    e.form = XtVaCreateManagedWidget("form", xmFormWidgetClass, toplevel, nullptr);
    Widget strip = CreateBar(e.form);
    // Least form until the main window's other areas exist: the brush
    // preview is a plain drawing area of the preview image's size above
    // the bar.
    e.brushPreview = XtVaCreateManagedWidget(
        "picture", xmDrawingAreaWidgetClass, e.form, XmNwidth, 89, XmNheight, 89, XmNtopAttachment,
        XmATTACH_FORM, XmNleftAttachment, XmATTACH_FORM, XmNrightAttachment, XmATTACH_FORM,
        XmNbottomAttachment, XmATTACH_WIDGET, XmNbottomWidget, strip, nullptr);
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
    state.working = flag;
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

// ---- Setters: least form, they keep the values for the controls to come ----

void Interface_SetImage(const Image *image, int plane, int alpha)
{
    state.image = image;
    Interface_SetPlane(plane);
    Interface_SetAlpha(alpha);
}
void Interface_SetPlane(int plane)
{
    state.plane = plane;
}
void Interface_SetAlpha(int flag)
{
    state.alpha = flag;
}
void Interface_SetOp(int op)
{
    state.op = op;
}
void Interface_SetType(int kind, int aero, int floating)
{
    state.kind = kind;
    state.aero = aero;
    state.floating = floating;
}
void Interface_SetFloating(int flag)
{
    state.floating = flag;
}
void Interface_SetOpacity(int value)
{
    state.opacity = value;
}
void Interface_SetSpacing(int value)
{
    state.spacing = value;
}
void Interface_SetDims(int width, int height)
{
    state.width = width;
    state.height = height;
}
void Interface_SetBrushLink(int flag)
{
    state.brushLink = flag;
}
void Interface_SetPath(int mode)
{
    state.path = mode;
}
void Interface_SetUseSelection(int flag)
{
    state.useSelection = flag;
}
void Interface_ManageApply(int flag)
{
    state.applyManaged = flag;
    Manage(bar[BAR_APPLY], flag);
}
void Interface_ManageUndo(int flag)
{
    state.undoManaged = flag;
    Manage(bar[BAR_UNDO], flag);
}
void Interface_CallApply()
{
    ++state.callApply;
    Widget apply = bar[BAR_APPLY];
    if (!apply || !XtIsRealized(apply)) {
        Dabstone_Apply(); // no window yet: what the button would do
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
    ++state.callUseUndo;
    state.useUndo = 1;
    Dabstone_CreateUndo();
}
void Interface_UndoStable(int flag)
{
    state.useUndo = flag;
}
void Interface_SetBrush(const Image *brush, const Box *, int width, int height)
{
    state.brush = brush;
    Interface_SetBrushWH(width, height);
}
void Interface_SetBrushWH(int width, int height)
{
    state.brushWidth = width;
    state.brushHeight = height;
}
void Interface_RefreshBrush(int width, int height)
{
    Interface_SetBrushWH(width, height);
    ++state.brushRefreshes;
}
void Interface_SetBrushColor(const ColorValue *color)
{
    state.brushRed = color->red;
    state.brushGreen = color->green;
    state.brushBlue = color->blue;
    state.brushGrey = color->grey;
}
void Interface_SetBrushDepth(int depth)
{
    state.brushDepth = depth;
}
