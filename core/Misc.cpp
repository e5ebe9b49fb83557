#include "core/Misc.h"

#include "core/Bytes.h"
#include "core/Msg.h"
#include "core/OrvError.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <initializer_list>
#include <unistd.h>

int faultChannel = -1;
int32_t faultAux = 0;

namespace
{
char programName[100] = "DabStone";

bool Empty(const char *text)
{
    return !text || !*text;
}

// The program name and a suffix in one write, without stdio, so that a
// signal handler may use it too.
void WriteLine(const char *suffix)
{
    char line[sizeof programName + 32];
    size_t n = 0;
    for (const char *part : {static_cast<const char *>(programName), suffix})
        for (; *part && n < sizeof line - 1; ++part)
            line[n++] = *part;
    line[n++] = '\n';
    ssize_t written = write(STDERR_FILENO, line, n);
    (void)written; // nothing more can be reported
}

[[noreturn]] void ExitFatal(int32_t code)
{
    if (faultChannel != -1)
        Misc_NotifyExit(code);
    std::exit(1);
}
} // namespace

void Misc_SetProgramName(const char *name)
{
    std::snprintf(programName, sizeof programName, "%s", name ? name : "");
}

const char *Misc_ProgramName()
{
    return programName;
}

const char *Misc_ErrorNumToString(int32_t code)
{
    return OrvError_NumToString(code);
}

void Misc_Report(const char *kind, const char *text, int32_t code)
{
    if (Empty(text))
        std::fprintf(stderr, "%s: %s: %s\n", programName, kind, OrvError_NumToString(code ? code : -1));
    else if (code)
        std::fprintf(stderr, "%s: %s: %s : %s\n", programName, kind, text, OrvError_NumToString(code));
    else
        std::fprintf(stderr, "%s: %s: %s\n", programName, kind, text);
}

void Misc_Error(int32_t code, int fatal)
{
    std::fprintf(stderr, fatal == 1 ? "%s: fatal error: %s\n" : "%s: error: %s\n", programName,
                 OrvError_NumToString(code));
    if (fatal == 1)
        ExitFatal(code);
}

void Misc_Warning(const char *text, int32_t code)
{
    Misc_Report("warning", text, code);
}
void Misc_OpenWarning(const char *text, int32_t code)
{
    Misc_Report("warning", text, code);
}
void Misc_OpenError(const char *text, int32_t code)
{
    Misc_Report("error", text, code);
}

void Misc_OpenFatal(const char *text, int32_t code)
{
    Misc_Report("fatal error", text, code);
    if (faultChannel == -1)
        WriteLine(": exiting...");
    ExitFatal(code);
}

void Misc_NotifyExit(int32_t code)
{
    unsigned char status[4];
    Bytes_PutS32(status, code);
    if (faultChannel != -1)
        Msg_write(faultChannel, MSG_EXIT, code, status, 4);
    WriteLine(": exiting...");
    std::exit(1);
}

void Misc_InitSegv(int descriptor, int32_t aux)
{
    faultChannel = descriptor;
    faultAux = aux;
    std::signal(SIGSEGV, Misc_SegvHandler);
    std::signal(SIGBUS, Misc_SegvHandler);
}

// A signal handler: the notice is framed on the stack and sent with one
// write(2), without the allocating Msg_write.
void Misc_SegvHandler(int signal)
{
    int32_t code = signal == SIGSEGV ? 1004 : 1213;
    if (faultChannel != -1) {
        unsigned char frame[MSG_HEADER_SIZE + 4];
        Msg_PutHeader(frame, MSG_EXIT, faultAux, 4);
        Bytes_PutS32(frame + MSG_HEADER_SIZE, code);
        if (write(faultChannel, frame, sizeof frame) != ssize_t(sizeof frame))
            WriteLine(": error: can't write message");
    }
    WriteLine(": unexpected exit");
    _exit(-1);
}
