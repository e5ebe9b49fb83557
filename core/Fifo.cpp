#include "core/Fifo.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace
{
char fifoName[64];
}

const char *Fifo_Name(int kernelPid, int ownerPid)
{
    std::snprintf(fifoName, sizeof fifoName, "/tmp/%05d#%05d", kernelPid, ownerPid);
    return fifoName;
}

int Fifo_OpenRead(int kernelPid, int ownPid)
{
    const char *name = Fifo_Name(kernelPid, ownPid);
    if (mkfifo(name, 0666) != 0) {
        // A FIFO left by an earlier run is fine; anything else in its place is not.
        struct stat st;
        if (errno != EEXIST || stat(name, &st) != 0 || !S_ISFIFO(st.st_mode)) {
            if (errno == 0)
                errno = EEXIST;
            return -1;
        }
    }
    return open(name, O_RDWR | O_NONBLOCK | O_CLOEXEC);
}

int Fifo_OpenWrite(int kernelPid, int readerPid)
{
    // Non-blocking: the open fails (ENXIO) instead of waiting for ever for
    // a reader that died and left its FIFO behind, and Msg_WriteAll bounds
    // the wait on a reader that stopped reading.
    return open(Fifo_Name(kernelPid, readerPid), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
}

int Fifo_CloseRead(int kernelPid, int ownPid, int fd)
{
    errno = 0;
    close(fd);
    int e = errno;
    unlink(Fifo_Name(kernelPid, ownPid));
    return e;
}

int Fifo_CloseWrite(int, int, int fd)
{
    errno = 0;
    close(fd);
    return errno;
}
