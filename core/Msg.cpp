#include "core/Msg.h"

#include "core/Bytes.h"
#include "core/Misc.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

int GlobalFifoValue = -1;

namespace
{
unsigned char *sendBuffer = nullptr; // header + payload
int sendCapacity = 0;                // payload bytes the buffer holds
} // namespace

void Msg_PutHeader(unsigned char *header, int32_t code, int32_t aux, int32_t length)
{
    Bytes_PutS32(header + MSG_HDR_SENDER, int32_t(getpid()));
    Bytes_PutS32(header + MSG_HDR_CODE, code);
    Bytes_PutS32(header + MSG_HDR_AUX, aux);
    Bytes_PutS32(header + MSG_HDR_LENGTH, length);
}

int Msg_write(int fd, int32_t code, int32_t aux, const void *payload, int length)
{
    GlobalFifoValue = fd;
    if (length < 0)
        length = 0;
    if (length > sendCapacity || !sendBuffer) {
        void *grown = std::realloc(sendBuffer, size_t(length) + MSG_HEADER_SIZE);
        if (!grown) {
            Misc_OpenError("can't write message", ENOMEM);
            return ENOMEM;
        }
        sendBuffer = static_cast<unsigned char *>(grown);
        sendCapacity = length;
        std::memset(sendBuffer, 0, size_t(length) + MSG_HEADER_SIZE);
    }
    Msg_PutHeader(sendBuffer, code, aux, length);
    if (length > 0 && payload)
        std::memcpy(sendBuffer + MSG_HEADER_SIZE, payload, size_t(length));

    size_t total = size_t(length) + MSG_HEADER_SIZE;
    errno = 0;
    ssize_t written = write(fd, sendBuffer, total);
    if (written != ssize_t(total)) {
        // A short write without an error (a full non-blocking FIFO) has no
        // errno of its own; call it what it is.
        int e = written < 0 ? errno : (errno ? errno : EAGAIN);
        Misc_OpenError("can't write message", e);
        return e;
    }
    return 0;
}

const unsigned char *Msg_SendBuffer(int *capacity)
{
    if (capacity)
        *capacity = sendCapacity;
    return sendBuffer;
}
