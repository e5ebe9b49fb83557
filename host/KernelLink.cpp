#include "host/KernelLink.h"

#include "core/Fifo.h"
#include "core/Misc.h"

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

namespace
{
FILE *logFile = nullptr;

void LogFrame(const char *direction, const char *peerWord, int peer, int32_t code, int32_t aux,
              const unsigned char *payload, int length)
{
    if (!logFile)
        return;
    std::fprintf(logFile, "%s %d %s %d aux %d len %d ", direction, int(code), peerWord, peer, int(aux),
                 length);
    for (int i = 0; i < length; i++)
        std::fprintf(logFile, "%02x", payload[i]);
    std::fputc('\n', logFile);
    std::fflush(logFile);
}
} // namespace

int KernelLink_OpenLog(const char *path, const char *firstLine)
{
    KernelLink_CloseLog();
    if (!path || !*path)
        return 0;
    logFile = std::fopen(path, "w");
    if (!logFile)
        return errno ? errno : EIO;
    KernelLink_LogLine("%s", firstLine);
    return 0;
}

void KernelLink_LogLine(const char *format, ...)
{
    if (!logFile)
        return;
    va_list args;
    va_start(args, format);
    std::vfprintf(logFile, format, args);
    va_end(args);
    std::fputc('\n', logFile);
    std::fflush(logFile);
}

void KernelLink_LogReceived(const MsgHeader *header, const unsigned char *payload)
{
    LogFrame("recv", "from", header->sender, header->code, header->aux, payload, header->length);
}

void KernelLink_CloseLog()
{
    if (logFile)
        std::fclose(logFile);
    logFile = nullptr;
}

int KernelLink_Send(int fd, int toPid, int32_t code, int32_t aux, const void *payload, int length)
{
    int rc = Msg_write(fd, code, aux, payload, length);
    if (rc == 0) {
        static const unsigned char none[1] = {0};
        LogFrame("sent", "to", toPid, code, aux, payload ? static_cast<const unsigned char *>(payload) : none,
                 payload ? length : 0);
    }
    return rc;
}

int KernelLink_ReaderGone(int fd)
{
    struct pollfd p = {fd, 0, 0};
    return poll(&p, 1, 0) == 1 && (p.revents & (POLLERR | POLLHUP)) ? 1 : 0;
}

void KernelLink_SendOrDrop(int *fd, int kernel, int pid, int32_t code, const void *payload, int length)
{
    if (*fd >= 0 && KernelLink_ReaderGone(*fd)) { // known gone: nothing to say
        Fifo_CloseWrite(kernel, pid, *fd);
        *fd = -1;
    }
    if (*fd >= 0 && KernelLink_Send(*fd, pid, code, 0, payload, length) == EPIPE) {
        Fifo_CloseWrite(kernel, pid, *fd);
        *fd = -1;
    }
}

void KernelLink_ReadFifo(int fd, const char *what)
{
    if (Msghand_ReadAll(fd) != MSGHAND_BROKEN)
        return;
    Msghand_Forget(fd);
    long dropped = 0;
    unsigned char junk[4096];
    for (ssize_t n; (n = read(fd, junk, sizeof junk)) > 0;)
        dropped += n;
    KernelLink_Say("%s out of step; %ld waiting bytes dropped", what, dropped);
}

std::string KernelLink_ParseOptions(int argc, char **argv, const KernelLinkOption *table, size_t count,
                                    std::string *positional)
{
    for (int i = 0; i < argc; i++) {
        std::string a = argv[i];
        if (a.rfind("--", 0) != 0) {
            if (!positional || !positional->empty())
                return "unexpected argument " + a;
            *positional = a;
            continue;
        }
        const KernelLinkOption *o = table;
        while (o < table + count && a != o->name)
            o++;
        if (o == table + count)
            return "unknown option " + a;
        if (o->flag) {
            *o->flag = true;
        } else {
            if (i + 1 >= argc)
                return "option " + a + " needs a value";
            *o->value = argv[++i];
        }
    }
    return "";
}

int KernelLink_ResolvePath(const std::string &path, std::string *absolute)
{
    size_t slash = path.rfind('/');
    std::string dir = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
    std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    char real[PATH_MAX];
    if (!realpath(dir.c_str(), real))
        return errno;
    std::string folder = real;
    if (name.empty() || name == "." || name == "..") {
        if (!realpath(path.c_str(), real))
            return errno;
        *absolute = real;
        return 0;
    }
    *absolute = (folder == "/" ? "" : folder) + "/" + name;
    return 0;
}

std::string KernelLink_AbsolutePath(const std::string &path)
{
    std::string absolute;
    return path.empty() || KernelLink_ResolvePath(path, &absolute) ? path : absolute;
}

long long KernelLink_Now()
{
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return (long long)t.tv_sec * 1000 + t.tv_nsec / 1000000;
}

void KernelLink_Say(const char *format, ...)
{
    va_list args;
    va_start(args, format);
    std::fprintf(stderr, "%s: ", Misc_ProgramName());
    std::vfprintf(stderr, format, args);
    std::fputc('\n', stderr);
    va_end(args);
}

pid_t KernelLink_Spawn(const std::vector<std::string> &args)
{
    std::vector<char *> argv;
    for (const std::string &a : args)
        argv.push_back(const_cast<char *>(a.c_str()));
    argv.push_back(nullptr);
    std::fflush(nullptr);
    pid_t pid = fork();
    if (pid < 0)
        return 0;
    if (pid == 0) {
        for (int sig : {SIGCHLD, SIGINT, SIGTERM, SIGPIPE})
            signal(sig, SIG_DFL);
        execvp(argv[0], argv.data());
        std::fprintf(stderr, "sorbane: can't run %s : %s\n", argv[0], std::strerror(errno));
        _exit(127);
    }
    return pid;
}

std::string KernelLink_SelfPath()
{
    char buf[4096];
    ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n <= 0)
        return "sorbane";
    buf[n] = 0;
    return buf;
}

void KernelLink_CloseOnExec(int fd)
{
    if (fd >= 0)
        fcntl(fd, F_SETFD, fcntl(fd, F_GETFD) | FD_CLOEXEC);
}
