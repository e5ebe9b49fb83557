// The link with the kernel and the display process: sending, the display's
// arrival and departure, the brush cursor and motion control shown in the
// display, and the pointer events it sends.
//
// Declared in core/Dabstone.h and defined here: Dabstone_SendKernel,
// Dabstone_KernelGone, Dabstone_SendDisplay, Dabstone_DisplayConnect,
// Dabstone_DisplayClose, Dabstone_Event, Dabstone_AllowMotion,
// Dabstone_SetBrushInDisplay and Dabstone_RemBrushInDisplay.
#pragma once
#include "core/Dabstone.h"

// Closes the display's FIFO and forgets it.
void Dabstone_ForgetDisplay();
// Tells the display we leave it (1003), then forgets it.
void Dabstone_LeaveDisplay();
// A partial brush description (change code 2, 4 or 16) for the display.
void Dabstone_SendBrushChange(int change);
