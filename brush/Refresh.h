// The refresh queue: every rectangle painted by a stroke or a fill goes
// through Refresh_AddBox. Small neighbouring rectangles are merged into one
// refresh box that is sent to the display at once (1050) as soon as merging
// further would redraw too much that was never painted; a second, big box
// grows over everything the operation painted and is sent to the kernel,
// the engine's own picture and the undo store when the operation ends.
#pragma once
#include "brush/Box.h"

void Refresh_AddBox(const Box *box);
// Sends the refresh box, if any, with Dabstone_DirectRefresh.
void Refresh_Flush();
// Refresh_Flush, then sends the big box with Dabstone_BigRefresh and records
// it with Undo_SetBox.
void Refresh_End();
