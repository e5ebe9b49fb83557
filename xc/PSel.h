// The picture widget's drawings over its image: the shown selections, the
// pixel grid and the cross cursor, and the rulers kept in step with the
// view and the pointer. Private to the display library.
#pragma once
#include "xc/XcPictureP.h"

// The grid and the selections drawn into the X image (where 2) or the
// window (where 1), in XOR (how 1) or plain (how 2), over a window
// rectangle (null: the picture area). Only with a window.
void _PictureDrawSelection(Pic *p, const Box *box, int where, int how);
// XOR-draws the cross cursor at the pointer, clipped to box (null: the
// picture area).
void _PictureDrawCross(Pic *p, const Box *box);
// Installs the selectionList resource; whether the picture must be repainted.
bool _PictureReinitSelection(Pic *p, XtPointer list);
void _PictureDestroySelectionList(Pic *p);
// Pointer tracking for the cross cursor and the rulers' cursor lines.
void _PictureInitRulerPart(Pic *p);
// Both rulers get the view's origin and zoom.
void _PictureRulersFollow(Pic *p);
