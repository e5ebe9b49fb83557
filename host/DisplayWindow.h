// The display process's X window: a top-level shell holding the display
// library's picture widget, which shows a store image at any zoom and scroll
// position on a 24-bit TrueColor or an 8-bit PseudoColor visual. The brush
// cursor is the widget's floating cursor image; selections and the placed
// brush are outlined over it. The user's keys and pointer become the
// commands a script would give (the same ScriptCommand records), with
// pointer positions in image pixels, so that both paths send the same
// messages.
//
// Keys: b brush, f fill, p pipette, u undo, a apply, c whole-image selection,
// Delete removes the selected shape, Escape drops a polygon being drawn or
// else takes the brush off, q leaves; + and - zoom by one step (the mouse
// wheel too, about the pointer), 1 shows 1:1, 0 fits the window, the arrow
// keys scroll. Buttons 1 and 3 paint and erase with the chosen tool;
// shift + button 1 drags the brush's place and size. Button 2 edits the
// selection: a drag makes a new rectangle (with shift, adds one), control +
// button 2 clicks draw a polygon that a double click closes (shift at its
// first click adds it), on a shape it selects and moves it, on a handle of
// the selected shape it drags that point, edge or corner (shift keeps the
// ratio at a corner). alt + button 2 drags the picture. Rulers below and
// right of the picture follow its view and the pointer.
#pragma once
#include "core/Image.h"
#include "host/Script.h"
#include "host/Shapes.h"

#include <vector>

struct DisplayWindow;

struct DisplayRect {
    int x, y, width, height;
};

// Opens the window for a mapped image; 0 or an error code (1051 "Display
// not found", 1079 for a display without a 24-bit TrueColor or an 8-bit
// PseudoColor visual).
int DisplayWindow_Open(const Image *image, const char *title, DisplayWindow **out);
void DisplayWindow_Close(DisplayWindow *w);
// Calls lost() when the X server goes away, then ends the process with
// status 1 (X cannot be used past that point, nor by lost()).
void DisplayWindow_OnLost(void (*lost)());

// The X connection's descriptor, to wait on beside the FIFO.
int DisplayWindow_Fd(const DisplayWindow *w);
// Events already read from the connection wait in the queue: the descriptor
// will not tell of them.
bool DisplayWindow_Pending(const DisplayWindow *w);
// How long poll() may wait (timeoutMs, -1 for no bound) before the
// picture's next refinement pass is due.
int DisplayWindow_Timeout(const DisplayWindow *w, int timeoutMs);
// The picture is still being refined: what the window shows is not final.
bool DisplayWindow_Refining(const DisplayWindow *w);
// Waits until the X server has done everything asked of it.
void DisplayWindow_Sync(DisplayWindow *w);
// The top-level window's id (word 4 of pointer events).
unsigned long DisplayWindow_Id(const DisplayWindow *w);

// Handles every X event waiting and every refinement pass due, and appends
// what the user asked for.
void DisplayWindow_Poll(DisplayWindow *w, std::vector<ScriptCommand> *out);

// Shows a rectangle of the image again (clipped to the image).
void DisplayWindow_Redraw(DisplayWindow *w, int x, int y, int width, int height);

// The brush cursor: its size in image pixels, or 0 x 0 for none. It follows
// the pointer while the pointer is in the window and no button is held; a
// brush placed with shift + button 1 is outlined where it was placed until
// Escape.
void DisplayWindow_SetBrush(DisplayWindow *w, int width, int height);

// Shows num image pixels on den screen pixels, the image's top-left corner
// at the window's.
void DisplayWindow_SetZoom(DisplayWindow *w, int num, int den);

// Moves the window right of every other top-level window (without a window
// manager they all open at the top left) and draws it whole again, refined
// in the background.
void DisplayWindow_PlaceBeside(DisplayWindow *w);

// The selection's shapes to show (none: the whole image). A shape added at
// the end becomes the selected one (drawn with its handles).
void DisplayWindow_SetSelection(DisplayWindow *w, const std::vector<Shape> &shapes);
