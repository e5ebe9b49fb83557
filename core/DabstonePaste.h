// The engine's operations on a whole job rather than on one pointer event:
// apply (the brush stamped once, or the fill run, without the pointer),
// paste of an image as the user brush, the target box list and the
// selection mask that limit painting, the engine side of undo (asking the
// kernel for the undo image, knowing when it is filled, undoing, giving it
// back) and the brush rebuild.
//
// Declared in core/Dabstone.h and defined here: Dabstone_MakeStdMask,
// Dabstone_DestroyMask, Dabstone_DestroyUndo, Dabstone_CreateUndo and the
// handlers of 1025, 1021, 1016, 1041 and 1040.
#pragma once
#include "core/Dabstone.h"

// Stamps the brush once at the centre of the placed brush box (apply target
// 0) or runs the fill (target 1), as a press and a release of button 1
// handed to the tool, with pointer motion forbidden throughout.
void Dabstone_Apply();
// Empties the target list and asks the display for the user's selection
// (1043); the rectangles arrive with 1041. Without a display the whole image
// is the selection at once, so a waiting stroke or fill never hangs.
void Dabstone_AskMask();
// The undo image is filled: undo and apply become available.
void Dabstone_UndoInited();
// Swaps the changed boxes between the undo image and the edited image.
void Dabstone_Undo();
// Rebuilds the current brush into a new image (2002) that becomes the user
// brush.
void Dabstone_Rebuild();
// Arrival of the rebuild image: draws the brush into it, titles it and makes
// it the user brush (or discards it when there is nothing to draw).
void Dabstone_RebuildArrived(Image *image, void *clientData);
