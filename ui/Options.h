// The options dialog "config": the undo size limit, whether each image set
// is announced to the host for display, and threshold or dithering for
// 1-bit planes. Each control writes its setting at once; "ok" only closes.
#pragma once

// Builds the dialog on first use and shows it, or raises it when shown.
void Options_Open();
