// The settings record (1014 out, 1015 in) and the two settings that act on
// each new image: the announce flag and the undo size limit.
//
// Declared in core/Dabstone.h and defined here: Dabstone_DecodeSettings,
// Dabstone_EncodeSettings, Dabstone_SaveSettings, Dabstone_LoadSettings.
#pragma once
#include "core/Dabstone.h"

// Sends 2011 with the current image's path when the announce flag is set.
void Dabstone_AnnounceImage();
// 1 when the image is not larger than the undo size limit.
bool Dabstone_SmallEnoughForUndo(const Image *image);
