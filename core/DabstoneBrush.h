// Brush parameters and user brushes: the engine setters that the main
// window, the options dialog, the display process and the settings record
// call, the switch between the built-in brush and a user brush, the user
// brush's mask, and giving brushes back to whoever owns them. Each change is
// shown in the display process (1042) and passed to the Interface_ setters.
//
// Declared in core/Dabstone.h and defined here: Dabstone_SetDims,
// Dabstone_SetUserBrush, Dabstone_ResetUserBrush, Dabstone_SetPath,
// Dabstone_SetSpacing, Dabstone_SetUseSelection, Dabstone_SetColor and
// Dabstone_DrawBuildinBrush.
#pragma once
#include "core/Dabstone.h"

// User brush sources.
enum {
    DAB_SOURCE_KERNEL = 0,  // opened through the kernel: given up with 2006 (follow-up 2021)
    DAB_SOURCE_CREATED = 1, // created for the program: deleted with 2008
    DAB_SOURCE_LENT = 2,    // lent by a peer: given back with 1026
    DAB_SOURCE_WANTED = 99  // dropped because the kernel asked for it
};

// Largest brush size either way; larger sizes are refused.
constexpr int DAB_BRUSH_MAX = 9999;

// The brush preview shows the active brush.
void Dabstone_ShowBrushInPreview();
void Dabstone_SetOpacity(int percent);
void Dabstone_SetAero(int flag);
void Dabstone_SetAlpha(int flag);
void Dabstone_SetPlane(int plane);
void Dabstone_SetOp(int op);
void Dabstone_SetType(int kind);
void Dabstone_ResetBuildinBrush();
void Dabstone_SetFloating(int flag);
void Dabstone_SetBrushLink(int flag);

// The user brush's mask has arrived (2009 for a 2007 request, or the 1021
// answer to 1020): kept when `path` is still the user brush's, else
// deleted (2008) and closed.
void Dabstone_BrushMaskArrived(Image *mask, const char *path);

// 1 when every colour plane of the image holds one value.
int Dabstone_PlainColor(const Image *image);
