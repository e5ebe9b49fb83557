// The options dialog "config": the undo size limit, whether each image set
// is announced to the host for display, and threshold or dithering for
// 1-bit planes. Each control writes its setting at once; "ok" only closes.
#pragma once

#include <X11/Intrinsic.h>

struct XcVisual;

// The settings the dialog writes, where they live for the whole process.
struct OptionsSettings {
    int *undoLimit; // megabytes
    int *announce;  // announce each image set for display
    int *dithering; // 1 dither 1-bit planes, 0 cut at a threshold
};

// Builds the dialog under the top-level shell on first use and shows it, or
// raises it when shown.
void Options_Open(Widget toplevel, XcVisual *visual, const OptionsSettings &settings);
