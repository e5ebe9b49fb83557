// Pictures of the X screen, for the demo and for people reporting what they
// see: the root window read back and written as an RGB PNG.
#pragma once
#include <string>

// The screen of $DISPLAY into path, cut to the part that the top-level
// windows cover (the whole screen when there are none), on TrueColor and
// DirectColor screens and on those with a colormap (8-bit PseudoColor...).
// 0, or an error code with a short reason (1051 no display, 1079 a colormap
// of more than 4096 cells, 12, or the PNG writer's code).
int Screenshot_Write(const char *path, std::string *reason);

// `sorbane screenshot OUT.png`.
int Sorbane_Screenshot(int argc, char **argv);
