// One warning or confirmation dialog at a time over the main window; the
// console reports of core/Misc.h when no dialog can be shown.
#pragma once
#include <cstdint>
#include <string>

typedef struct _WidgetRec *Widget; // as <X11/Intrinsic.h> declares it

// [0] a pointer grab is in progress (set by others: dialogs wait for it to
// end), [1] an alert dialog is shown.
extern int SystemGrabState[2];

using AlertAction = void (*)(void *clientData);

// Remembers the top-level widget and clears both flags.
void Alert_Initialize(Widget toplevel);
// A full application modal warning dialog at (400, 200) with "OK", and
// "CANCEL" when a cancel action is given; either button closes it and then
// runs its action. Nothing while one is shown; waits for a grab to end.
void Alert_Prompt(const char *text, int32_t code, AlertAction ok, AlertAction cancel, void *clientData);
// A dialog without actions, or the console when none can be shown; code
// 1073 ("Cancel") is never shown in a dialog.
void Alert_Warning(const char *text, int32_t code);
// Severity 1: a fatal error (the program ends); otherwise a warning of the code.
void Alert_Error(int32_t code, int severity);
void Alert_Erreur(int32_t code, int severity);

// The dialog's message: "name : text", then the code's text after " : ",
// or after " " when the text ends in ':' and blanks.
std::string Alert_Message(const char *text, int32_t code);
// The dialog being shown (or waiting for a grab to end), for tests.
Widget Alert_Dialog();
