// The engine: the one process-wide record that every subsystem reads
// (`G_dabstone`), the handlers of the host's and the display's messages,
// the brush cursor, motion control and redraw requests sent to the display,
// image change, quitting and the settings record.
//
// The engine and the main window mirror each other: every control calls an
// engine setter (Dabstone_Set...), every engine change made from elsewhere
// calls the matching Interface_ setter, which never calls back.
#pragma once
#include "brush/Box.h"
#include "core/List.h"
#include "core/Msghand.h"
#include "xc/ColorValue.h"

#include <cstdint>

struct Image;
struct XcVisual;
struct Colorer;
typedef struct _WidgetRec *Widget; // as <X11/Intrinsic.h> declares it

// Brush kinds.
enum { DAB_BRUSH_BUILDIN = 0, DAB_BRUSH_USER = 2 };

struct GG_Dabstone {
    Widget toplevel;
    XtAppContext app;
    XcVisual *defaultVisual, *bestVisual;
    int working;   // a job (stroke, fill, undo, rebuild) is running
    int dithering; // 1 dither, 0 threshold

    Image *image; // the edited image, or none
    Box imageBox; // (0, 0)-(width - 1, height - 1)
    int plane;    // -1 all planes, else a plane index
    int alpha;    // painting also affects the alpha plane

    Image *userBrush, *userBrushMask;
    int brushMaskRequested;
    int userBrushSource;
    Image *activeBrush, *activeBrush2; // what the tools paint with
    Box brushPosBox;                   // where the brush cursor stands
    Box brushImageBox;                 // the active brush image's own box
    int brushShown;                    // placed in the display (event kind 512)
    int brushLink, refWidth, refHeight;
    int brushKind; // DAB_BRUSH_*
    int aero, floating, opacity, spacing, brushWidth, brushHeight, traceMode;

    Image *buildinBrush; // work image 1
    int savedWidth, savedHeight, savedOpacity, savedAero;
    Image *rowBuffer; // work image 3
    Box rowBufferBox;
    Image *strokeBrush;  // work image 2
    Image *wheelImage;   // work image 6
    Image *previewImage; // work image 4

    Image *undoImage;
    int undoReady, undoRequest;
    List *undoBoxes;
    Image *mask;
    List *targets; // target box list
    int maskWanted, selectionInProgress, useSelection;
    int rebuildPending, rebuildCounter;
    int op;          // 0 normal; 1 forces the alpha flag on
    int applyTarget; // MSG_APPLY_*
    int applyInProgress;

    ColorValue color;      // the current colour
    ColorValue colorSlot;  // saved while editing colour planes
    ColorValue singleSlot; // saved while editing a single plane

    // Widgets of the main window (built by Interface_Create).
    Widget form, brushPreview, thumbnail; // thumbnail: the picture of the image
    Colorer *colorer;
    Image *colorImage; // work image 5

    int undoLimit; // megabytes; images not larger get undo switched on
    int announce;  // send 2011 for each new current image
};

extern GG_Dabstone *G_dabstone;

// Process-wide link state (set by start-up).
extern int kernelPid, kernelFifo, appliFifo, displayPid, displayFifo;

// Routine of a 2003/2009 answer's reply tail (MSGHAND_TAIL_IMAGE).
using DabstoneImageProc = void (*)(Image *image, void *clientData);

// ---- Start-up steps ----
void Dabstone_InitState();
void Dabstone_InitDefaults();
void Dabstone_AskWorkImages();

// ---- State ----
void Dabstone_Working(int flag);
int Dabstone_IsWorking();
void Dabstone_SetImage(Image *image);

// ---- Display process ----
void Dabstone_AllowMotion(int mode, int32_t window, int32_t stateMask, int32_t button);
void Dabstone_SetBrushInDisplay();
void Dabstone_RemBrushInDisplay();
// The 1042 payload (MSG_BRUSH_SIZE bytes) describing the active brush, with
// both paths empty when `remove` is set.
void Dabstone_BrushDescription(unsigned char *out, int change, int remove);
void Dabstone_Refresh(const Box *box);
void Dabstone_DirectRefresh(const Box *box);
void Dabstone_BigRefresh(const Box *box);
void Dabstone_RefreshList(List *boxes);
void Dabstone_BigRefreshList(List *boxes);
// Sends to the display process when one is connected. A display whose FIFO
// has lost its reader is forgotten after the one failed write.
void Dabstone_SendDisplay(int32_t code, const void *payload, int length);
// Sends to the kernel when its FIFO is open. A kernel that is gone or no
// longer reads ends the program (Dabstone_KernelGone).
void Dabstone_SendKernel(int32_t code, const void *payload, int length);
// The kernel has gone: its FIFO is closed and the program ends with 1011.
[[noreturn]] void Dabstone_KernelGone();

// ---- Message handlers (registered by start-up) ----
void Dabstone_WorkImageAnswer(const unsigned char *payload, const MsgHeader *h, void *); // 2009
void Dabstone_ImageAnswer(const unsigned char *payload, const MsgHeader *h, void *);     // 2003
void Dabstone_ImageGiven(const unsigned char *payload, const MsgHeader *h, void *);      // 2022
void Dabstone_DisplayConnect(const unsigned char *payload, const MsgHeader *h, void *);  // 1008
void Dabstone_DisplayClose(const unsigned char *payload, const MsgHeader *h, void *);    // 1003, 1009
void Dabstone_Event(const unsigned char *payload, const MsgHeader *h, void *);           // 1037
void Dabstone_KernelQuit(const unsigned char *payload, const MsgHeader *h, void *);      // 1001
void Dabstone_ImageWanted(const unsigned char *payload, const MsgHeader *h, void *);     // 2021
void Dabstone_LoadSettings(const unsigned char *payload, const MsgHeader *h, void *);    // 1015
void Dabstone_RequestFailed(const unsigned char *payload, const MsgHeader *h, void *);   // 1011
// The reply-tail words of the two drop windows of 1005 (main window, brush preview).
uint32_t Dabstone_MainDropHandle();
uint32_t Dabstone_BrushDropHandle();
// Sends 2016 for path with the reply tail `handle` (MSGHAND_TAIL_IMAGE).
void Dabstone_AskImage(const char *path, uint32_t handle);
// The tail that makes an opened image the user brush (start-up's brush argument).
uint32_t Dabstone_ChangeBrushHandle();

// ---- Quitting ----
// Asks for confirmation when text is empty, code 0 and a job runs.
void Dabstone_Quit(const char *text, int32_t code);
[[noreturn]] void Dabstone_Exit(const char *text, int32_t code);
// The exit notice 1001 (status and aux = code) when the kernel's FIFO is
// open, then both FIFOs closed and the own one removed.
void Dabstone_EndLinks(int32_t code);

// ---- Settings record ----
struct DabSettings {
    int32_t width, height, opacity, aero, traceMode, spacing, useSelection, undoLimit, announce;
    int colorValid, singleValid; // the colour record held a valid colour space
    ColorValue color, single;
    int32_t dithering;
};
// Decodes and clamps a 148-byte record; 0 when word 0 is not 1652.
int Dabstone_DecodeSettings(const unsigned char *record, DabSettings *out);
// The record of the current state (after reading the picker's colour).
void Dabstone_EncodeSettings(unsigned char *record);
void Dabstone_SaveSettings();

// ---- Brush parameters (built out by the brush parameter work) ----
void Dabstone_SetDims(int width, int height, int fromDisplay);
void Dabstone_SetUserBrush(Image *image, int code);
void Dabstone_ResetUserBrush();
void Dabstone_SetPath(int mode);
void Dabstone_SetSpacing(int spacing);
void Dabstone_SetUseSelection(int flag);
void Dabstone_SetColor(const ColorValue *color);
// Draws the built-in brush of the current parameters into its work image.
void Dabstone_DrawBuildinBrush();

// ---- Apply, paste, masks and undo (built out by that work) ----
void Dabstone_MakeStdMask();
void Dabstone_DestroyMask();
void Dabstone_DestroyUndo();
int Dabstone_CreateUndo();
void Dabstone_Paste(const unsigned char *payload, const MsgHeader *h, void *);          // 1025
void Dabstone_MaskReady(const unsigned char *payload, const MsgHeader *h, void *);      // 1021
void Dabstone_MaskNotPending(const unsigned char *payload, const MsgHeader *h, void *); // 1016
void Dabstone_Selection(const unsigned char *payload, const MsgHeader *h, void *);      // 1041
void Dabstone_Action(const unsigned char *payload, const MsgHeader *h, void *);         // 1040
