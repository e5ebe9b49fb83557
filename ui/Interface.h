// The main window and the toolbox description of message 1033.
//
// The engine calls the Interface_ setters when a value changes from
// elsewhere; they update the controls and never call the engine back.
//
// The window: "form" with the "system" column (selection and undo toggles,
// the thumbnail of the image), the colour picker, the "brushbox" (opacity,
// type, spacing and trace toggles, width and height, the brush preview with
// its resize scales and link button), the "op" column of option menus and
// the "bar" of push buttons. A control moved while the engine works is put
// back to the engine's value.
#pragma once
#include "brush/Box.h"
#include "xc/ColorValue.h"

#include <cstdint>

struct Image;
typedef struct _WidgetRec *Widget; // as <X11/Intrinsic.h> declares it

// Builds the main window under the top-level shell (once, at start-up).
void Interface_Create(Widget toplevel);
// Raises the top-level window; 1 when the top-level shell is realised.
void Interface_Raise();
int Interface_IsRealized();

void Interface_SetImage(const Image *image, int plane, int alpha);
void Interface_SetPlane(int plane);
void Interface_SetAlpha(int flag);
void Interface_SetOp(int op);
void Interface_SetType(int kind, int aero, int floating);
void Interface_SetFloating(int flag);
void Interface_SetOpacity(int value);
void Interface_SetSpacing(int value);
void Interface_SetDims(int width, int height);
void Interface_SetBrushLink(int flag);
void Interface_SetPath(int mode);
void Interface_SetUseSelection(int flag);
void Interface_ManageApply(int flag);
void Interface_ManageUndo(int flag);
void Interface_CallApply();
// Turns "use_undo" on as if clicked: the engine starts building the undo buffer.
void Interface_CallUseUndo();
void Interface_UndoStable(int flag);
// Set: the watch cursor on the main window; clear: the window's own cursor.
void Interface_Working(int flag);
// The preview shows the brush (image, coverage mask or null, the brush's
// box in its image) at its size or reduced by powers of two, floating in
// the colour when it is floating.
void Interface_SetBrush(Image *brush, Image *mask, const Box *brushBox, int width, int height, int floating,
                        const ColorValue *color);
void Interface_SetBrushWH(int width, int height);
// The preview redrawn over the brush box, then whole; the preview cursor's
// colour (a floating brush) and depth (-1 for "Behind", else 1).
void Interface_RefreshBrush(int width, int height);
void Interface_SetBrushColor(const ColorValue *color);
void Interface_SetBrushDepth(int depth);

// The brush preview's box in the preview image for a brush of width x
// height, and its reduction level (1 for the real size, one more per halving).
Box Interface_PreviewBox(int width, int height, int previewWidth, int previewHeight, int *level);
// The preview background: an embossed grid whose cells shrink as the level grows.
void FillBg(Image *preview, int level);

// Entries of the plane menu, in their order.
enum PlaneEntry {
    PE_NATIVE,
    PE_RED,
    PE_GREEN,
    PE_BLUE,
    PE_CYAN,
    PE_MAGENTA,
    PE_YELLOW,
    PE_BLACK,
    PE_GRAY,
    PE_ALPHA,
    PE_EXTRA1,
    PE_EXTRA2,
    PE_EXTRA3,
    PE_COUNT
};
// Whether the entry is offered for the image, the plane it chooses (-1 all
// planes or none), and the entry that shows a plane.
bool Interface_EntryShown(const Image *image, int entry);
int Interface_PlaneOfEntry(const Image *image, int entry);
int Interface_EntryOfPlane(const Image *image, int plane);

// ---- Toolbox description (payload of 1033) ----
constexpr int TOOLBOX_GROUP = 4; // group 0
constexpr int TOOLBOX_GROUP_SIZE = 1092;
constexpr int TOOLBOX_GROUP_ICON = 16;  // in the group: 32 x 32 bitmap, 128 bytes
constexpr int TOOLBOX_TOOL_COUNT = 144; // in the group
constexpr int TOOLBOX_TOOLS = 148;      // in the group: tool slots
constexpr int TOOLBOX_TOOL_SIZE = 236;
// Fields of a tool.
constexpr int TOOL_INDEX = 0, TOOL_CALLBACK = 4, TOOL_CLIENT = 8, TOOL_MODE1 = 12, TOOL_MODE2 = 16,
              TOOL_ICON = 24, TOOL_CURSOR_KIND = 152, TOOL_CURSOR_SHAPE = 156, TOOL_CURSOR_BITS = 160,
              TOOL_CURSOR_MASK = 192, TOOL_HOT_X = 224, TOOL_HOT_Y = 228, TOOL_END = 232;
// Tools in their order.
enum { TOOL_BRUSH = 0, TOOL_FILL = 1, TOOL_PIPETTE = 2, TOOL_COUNT = 3 };

// Fills the 3280-byte description: one group of three tools whose callback
// words are the fixed handles of Work_Brush, Work_Fill and Work_Pipette.
void Interface_MakeToolbox(unsigned char *buffer);
// The handle the toolbox gives a tool; the same for the life of the process.
uint32_t Interface_ToolHandle(int tool);
