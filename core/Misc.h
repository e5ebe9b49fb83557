// Console reporting: one line per report on standard error, prefixed with
// the program name. The fatal variants tell the kernel that the program
// ends before they exit; faults (segmentation, bus error) do the same.
#pragma once
#include <cstdint>

// The fault channel given to Misc_InitSegv: the kernel FIFO's descriptor
// (−1 until set) and the aux word of the exit notice.
extern int faultChannel;
extern int32_t faultAux;

// The name every console line starts with ("DabStone" until set).
void Misc_SetProgramName(const char *name);
const char *Misc_ProgramName();

// The text of a code, as OrvError_NumToString.
const char *Misc_ErrorNumToString(int32_t code);

// "name: kind: text : code text", or without the code's text when the code
// is 0, or only the code's text when there is no text (code 0 then reads −1).
void Misc_Report(const char *kind, const char *text, int32_t code);
// "name: error: code text"; with fatal 1 "name: fatal error: ..." and the end.
void Misc_Error(int32_t code, int fatal);
void Misc_Warning(const char *text, int32_t code);
void Misc_OpenWarning(const char *text, int32_t code);
void Misc_OpenError(const char *text, int32_t code);
[[noreturn]] void Misc_OpenFatal(const char *text, int32_t code);

// Ends the process after a fatal error, telling the kernel (exit status 1).
[[noreturn]] void Misc_NotifyExit(int32_t code);
// Sets the fault channel and catches SIGSEGV and SIGBUS.
void Misc_InitSegv(int descriptor, int32_t aux);
// A fault: 1004 for SIGSEGV, 1213 for a bus error (a full disk under a
// mapped image); "name: unexpected exit", exit status −1.
[[noreturn]] void Misc_SegvHandler(int signal);
