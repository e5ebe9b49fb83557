// What the sorbane kernel and its display process share: the codes they use
// between themselves, the frame log, and sending with logging.
//
// The program's messages are the link's own (core/Msg.h). The kernel and the
// display also talk to each other; those codes lie above the link's range so
// they can never be taken for one of the program's messages.
#pragma once
#include "core/Msg.h"
#include "core/Msghand.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <sys/types.h>
#include <vector>

enum KernelLinkCode : int32_t {
    KERNEL_DISPLAY_HELLO = 3000, // display -> kernel: own pid; forward row changes here
    KERNEL_DROP = 3001,          // display -> kernel: drop window index, path (504)
    KERNEL_END_SESSION = 3002,   // display -> kernel: ask the program to quit (no payload)
    KERNEL_DISPLAY_BYE = 3003,   // display -> kernel: own pid; the display is leaving
    KERNEL_CLOSED = 3004,        // display -> kernel: the person closed the display window (no payload)
    KERNEL_SHAPES = 3005, // display -> kernel: the selection's polygons (Shapes_Encode), after each change
    KERNEL_SHAPES_DONE = 3006, // kernel -> display: serial (4); their mask is written and 1021 sent
};
constexpr int KERNEL_DROP_SIZE = 4 + MSG_PATH_SIZE;
// The kernel tells its display to end with the link's quit code (1001) and
// forwards the program's row changes with 2010 unchanged.

// Opens the frame log (one line per frame, flushed at once so that a test
// can follow it while the process runs) and writes its first line, for
// example "kernel 812 program 4711". An empty path or none keeps no log.
// 0 or the system error number.
int KernelLink_OpenLog(const char *path, const char *firstLine);
// Appends a free-form line ("display 4712", "exit 0").
void KernelLink_LogLine(const char *format, ...) __attribute__((format(printf, 1, 2)));
// "recv CODE from SENDER aux AUX len LENGTH HEX" for a frame received.
void KernelLink_LogReceived(const MsgHeader *header, const unsigned char *payload);
void KernelLink_CloseLog();

// Msg_write on fd, logged as "sent CODE to PID aux AUX len LENGTH HEX" when
// it went out; the result of Msg_write.
int KernelLink_Send(int fd, int toPid, int32_t code, int32_t aux, const void *payload, int length);

// 1 when the reader of a FIFO we write to has gone (it reports an error).
int KernelLink_ReaderGone(int fd);

// Sends on *fd (the FIFO of pid under kernel) unless its reader has gone. A
// peer whose FIFO has lost its reader is gone: one failed write says so
// ("can't write message"), the FIFO is closed and *fd becomes -1, so that
// nothing more is written to it.
void KernelLink_SendOrDrop(int *fd, int kernel, int pid, int32_t code, const void *payload, int length);

// Reads and dispatches every complete frame waiting on a FIFO we read. A
// corrupt frame (say, an absurd length) leaves the byte stream without a
// frame boundary: everything waiting is then dropped, with one line naming
// `what`, and reading starts afresh.
void KernelLink_ReadFifo(int fd, const char *what);

// Command-line options "--name value" (or "--name" alone for a flag).
struct KernelLinkOption {
    const char *name;
    std::string *value; // null for a flag
    bool *flag;
};
// Parses argv against the table, taking at most one positional argument
// (none when positional is null). An empty string, or what is wrong.
std::string KernelLink_ParseOptions(int argc, char **argv, const KernelLinkOption *table, size_t count,
                                    std::string *positional);

// A path made absolute against the working directory, its folder resolved
// as the store resolves the path it writes into an image's header, so that
// the kernel, the display and dabstone all compare the same text. The path
// itself when it cannot be resolved (it is reported where it is opened).
std::string KernelLink_AbsolutePath(const std::string &path);
// The same, or the system's error number when the folder cannot be resolved.
int KernelLink_ResolvePath(const std::string &path, std::string *absolute);

// Milliseconds of a monotonic clock, for bounded waits.
long long KernelLink_Now();

// One console line on stderr after the program name ("sorbane: ...").
void KernelLink_Say(const char *format, ...) __attribute__((format(printf, 1, 2)));

// Processes. Spawn: fork + exec (searching PATH) with the signal handling of
// a fresh process; the child's pid, or 0 with errno set.
pid_t KernelLink_Spawn(const std::vector<std::string> &args);
// The path of the running sorbane executable.
std::string KernelLink_SelfPath();
// Our descriptors are not for the programs we start.
void KernelLink_CloseOnExec(int fd);
