// The sorbane display process: shows the edited image, forwards the user's
// pointer events to dabstone naming the tools of its toolbox, answers its
// selection requests and obeys its motion control; or replays a script of
// such events without a window.
#pragma once

// sorbane display [--kernel K] --program P IMAGE [--script FILE] [--log FILE]
// K defaults to the parent process (the kernel that started us). Returns the
// exit status: 0, or 1 when the display could not start or its script failed.
int Display_Main(int argc, char **argv);
