// sorbane: the host peers (kernel, display) and the image tools. Each
// command is a function called with the arguments from its own name on
// (argv[0] is the command name) and returns the exit status: 0 success,
// 1 failure, 2 bad usage. The command table lives in Sorbane.cpp: a new
// command declares its function here and adds one row there.
#pragma once

struct SorbaneCommand {
    const char *name;
    int (*run)(int argc, char **argv);
    const char *usage;   // arguments after the name
    const char *summary; // one line for --help
};

// Image tools (Sorbane.cpp).
int Sorbane_Import(int argc, char **argv);
int Sorbane_Export(int argc, char **argv);
int Sorbane_New(int argc, char **argv);
int Sorbane_Info(int argc, char **argv);

// A store image drawn through the display library into a PNG (Render.cpp).
int Sorbane_Render(int argc, char **argv);

// The text of an error code (system or suite).
const char *Sorbane_ErrorText(int code);
// One line on stderr: "sorbane: error: WHAT: DETAIL : TEXT", or
// "sorbane: error: WHAT: TEXT" without a detail.
void Sorbane_Error(const char *what, int code, const char *detail = nullptr);
// "sorbane: usage: sorbane NAME USAGE" for a command; returns 2.
int Sorbane_Usage(const char *name);
