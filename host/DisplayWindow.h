// The display process's X window: shows a store image 1:1 on a 24-bit
// TrueColor visual, draws the brush cursor and the selection over it, and
// turns the user's keys and pointer into the commands a script would give
// (the same ScriptCommand records), so that both paths send the same
// messages.
//
// Keys: b brush, f fill, p pipette, u undo, a apply, c whole-image selection,
// Escape takes the brush off, q leaves. Buttons 1 and 3 paint and erase with
// the chosen tool; shift + button 1 drags the brush's place and size;
// button 2 drags a selection rectangle (with shift, adds one).
#pragma once
#include "core/Image.h"
#include "host/Script.h"

#include <vector>

struct DisplayWindow;

struct DisplayRect {
    int x, y, width, height;
};

// Opens the window for a mapped image; 0 or an error code (1051 "Display
// not found", 1079 for a visual that is not 24-bit TrueColor, 12).
int DisplayWindow_Open(const Image *image, const char *title, DisplayWindow **out);
void DisplayWindow_Close(DisplayWindow *w);

// The X connection's descriptor, to wait on beside the FIFO.
int DisplayWindow_Fd(const DisplayWindow *w);
// The X window id (word 4 of pointer events).
unsigned long DisplayWindow_Id(const DisplayWindow *w);

// Handles every X event waiting and appends what the user asked for.
void DisplayWindow_Poll(DisplayWindow *w, std::vector<ScriptCommand> *out);

// Reads a rectangle of the image again and shows it (clipped to the image).
void DisplayWindow_Redraw(DisplayWindow *w, int x, int y, int width, int height);

// The brush cursor: its size, or 0 x 0 for none. It follows the pointer
// while the pointer is in the window and no button is held; a brush placed
// with shift + button 1 is outlined where it was placed until Escape.
void DisplayWindow_SetBrush(DisplayWindow *w, int width, int height);

// Moves the window right of every other top-level window (without a window
// manager they all open at the top left) and draws it whole again.
void DisplayWindow_PlaceBeside(DisplayWindow *w);

// The selection rectangles to outline (none: the whole image).
void DisplayWindow_SetSelection(DisplayWindow *w, const std::vector<DisplayRect> &rects);
