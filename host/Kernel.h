// The sorbane kernel: the host process that runs dabstone as its child,
// answers its requests over the FIFOs and starts a display process for the
// edited image. Also the probe, which asks dabstone for its application
// descriptor and prints it.
#pragma once
#include <string>

// sorbane run IMAGE [--brush B] [--script FILE] [--export OUT.png]
//   [--store DIR] [--log FILE] [--display-log FILE] [--mask M]
//   [--settings FILE] [--dabstone PATH] [--no-display] [--keep]
// Returns the exit status: dabstone's, or 1 when the session could not run.
int Kernel_Run(int argc, char **argv);

// sorbane probe [--raw FILE] [--dabstone PATH]
int Kernel_Probe(int argc, char **argv);

// Path of the dabstone executable: the option's value, else $SORBANE_DABSTONE,
// else app/dabstone beside sorbane's folder in the build tree, else dabstone
// beside sorbane, else "dabstone" (searched in PATH).
std::string Kernel_FindDabstone(const char *option);
