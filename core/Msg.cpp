#include "core/Msg.h"

#include "core/Bytes.h"
#include "core/Misc.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <poll.h>
#include <unistd.h>

int GlobalFifoValue = -1;

namespace
{
unsigned char *sendBuffer = nullptr; // header + payload
int sendCapacity = 0;                // payload bytes the buffer holds
int patienceMs = MSG_PATIENCE_MS;

int64_t NowMs()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}
} // namespace

void Msg_SetPatience(int ms)
{
    patienceMs = ms;
}

int Msg_WriteAll(int fd, const void *data, size_t size)
{
    const unsigned char *p = static_cast<const unsigned char *>(data);
    const int64_t deadline = NowMs() + patienceMs; // 64 bits: a machine may run for months
    while (size > 0) {
        ssize_t n = write(fd, p, size);
        if (n > 0) {
            p += n;
            size -= size_t(n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK)
            return errno;
        // A full FIFO: wait for its reader, but not for ever.
        const int left = int(std::max<int64_t>(deadline - NowMs(), 0)); // at most the patience
        pollfd room = {fd, POLLOUT, 0};
        if (left <= 0 || poll(&room, 1, left) == 0)
            return ETIMEDOUT;
    }
    return 0;
}

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

    int e = Msg_WriteAll(fd, sendBuffer, size_t(length) + MSG_HEADER_SIZE);
    if (e != 0)
        Misc_OpenError("can't write message", e);
    return e;
}

void Msg_PutWords(unsigned char *out, std::initializer_list<int32_t> words)
{
    int i = 0;
    for (int32_t w : words)
        Msg_PutWord(out, i++, w);
}

std::string Msg_Path(const unsigned char *payload, int32_t length, int offset)
{
    if (offset < 0 || length <= offset)
        return {};
    const size_t room = std::min<size_t>(MSG_PATH_SIZE, size_t(length - offset));
    const char *field = reinterpret_cast<const char *>(payload + offset);
    const size_t n = strnlen(field, room);
    return n < room ? std::string(field, n) : std::string();
}

void Msg_PutPath(unsigned char *field, const char *path, int size)
{
    std::memset(field, 0, size_t(size));
    if (path)
        std::memcpy(field, path, strnlen(path, size_t(size - 1)));
}
