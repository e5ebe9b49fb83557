// Start-up of dabstone and its application descriptor.
//
// The kernel starts the program as its child with the argument vector
//   0 program, 1 (not read), 2 brush image path or "NULL",
//   3 image path or "NULL", 4 "INTERROGATION" for the probe;
// the kernel's process id is the parent's, never an argument.
//
// Environment:
//   DABSTONE_DELAY  delays the six work-image requests by this many
//                   milliseconds (decimal, clamped to 0..10000); unset, they
//                   are sent at once, before the ready message 1012.
//   DABSTONE_FAULT  for tests: "SEGV" or "BUS" raises that signal from the
//                   main loop once start-up is complete (after 1012), so the
//                   fault path (exit notice 1001 with 1004 or 1213, status
//                   255) can be exercised on the real program.
#pragma once
#include <cstdint>

typedef struct _WidgetRec *Widget; // as <X11/Intrinsic.h> declares them
typedef void *XtPointer;

// Application descriptor: written raw on the kernel FIFO for the probe.
// Integers big-endian.
constexpr int APPLI_DESCRIPTOR_SIZE = 32568;
constexpr int APPLI_NAME = 0, APPLI_NAME_SIZE = 100;
constexpr int APPLI_WORDS = 100; // 220, 2, 2, 0, 0, 0, 1
constexpr int APPLI_ICON = 128;  // three 100 x 100 planes, one byte per sample
constexpr int APPLI_ICON_SIDE = 100;
constexpr int APPLI_BITMAP = 30128; // 64 x 64, 8 bytes a row, LSB leftmost
constexpr int APPLI_MASK = 30640;   // same layout: the bitmap's silhouette
constexpr int APPLI_BITMAP_SIDE = 64;
constexpr int APPLI_TAIL_WORDS = 31152; // 1, 0
constexpr int APPLI_ABOUT = 31160;      // 22 lines of 64 bytes
constexpr int APPLI_ABOUT_LINES = 22, APPLI_ABOUT_LINE = 64;

// The descriptor, built on first use.
const unsigned char *Appli_Descriptor();
// "DabStone": the descriptor's name field.
const char *Appli_Name();
// Both point at the descriptor's name; console lines start with it.
extern const char *prgname;
extern const char *PrgName;

// The delay of "DABSTONE_DELAY" in milliseconds: -1 when unset (no delay
// at all), else the decimal value clamped to 0..10000 (0 for a non-number).
int Appli_DelayMs(const char *value);

// Registers the engine's routine for every message code it takes.
void Appli_RegisterHandlers();
// The whole program: start-up, then the toolkit main loop. Never returns.
[[noreturn]] void Appli_Main(int argc, char **argv);

// SIGPIPE: re-installs itself, so that a write to a FIFO whose reader has
// gone fails with EPIPE instead of ending the process.
void Dabstone_SigPipe(int signal);
// The window manager's close: Dabstone_Quit("", 0).
void Dabstone_WmDelete(Widget w, XtPointer clientData, XtPointer callData);
// Asks for the work images now, or after DABSTONE_DELAY milliseconds.
void Dabstone_DelayedStart();
