// Feeds arbitrary bytes through a pipe into the dispatcher, with routines
// registered for a few codes and live reply-tail and tool handles, so that
// framing, answers and event routing see hostile input. The engine's
// handlers are fuzz_engine's, with a live image.
#include "core/Bytes.h"
#include "core/Msghand.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <fcntl.h>
#include <unistd.h>

namespace
{
unsigned sink;

void touch(const unsigned char *payload, const MsgHeader *h, void *)
{
    for (int32_t i = 0; i < h->length; ++i)
        sink += payload[i];
}

void tool(void *, const unsigned char *event)
{
    sink += event[0];
}

void pointer(const unsigned char *payload, const MsgHeader *h, void *)
{
    if (h->length < MSG_EVENT_SIZE)
        return;
    void (*routine)(void *, const unsigned char *) = nullptr;
    void *data = nullptr;
    if (Msghand_FindTailFn(Bytes_Get32(payload + 4 * MSG_EV_CALLBACK), MSGHAND_TAIL_TOOL, &routine, &data))
        routine(data, payload);
}

void setUp()
{
    Msghand_Initialize(nullptr, -1);
    Msghand_AddCallback(MSG_POINTER, pointer, nullptr);
    Msghand_AddCallback(MSG_ANSWER, touch, nullptr);
    Msghand_AddCallback(MSG_WORK_CREATED, touch, nullptr);
    // Handles 0x00010001 and 0x00010002: the seeds name them.
    Msghand_NewTailFn(MSGHAND_TAIL_ANSWER, touch, nullptr);
    Msghand_NewTailFn(MSGHAND_TAIL_TOOL, tool, nullptr);
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static bool ready = (setUp(), true);
    (void)ready;
    int p[2];
    if (pipe2(p, O_NONBLOCK) != 0)
        abort();
    size_t done = 0;
    // Written in two parts so that a frame may straddle two reads.
    size_t half = size / 2;
    if (half > 0 && write(p[1], data, half) != ssize_t(half))
        abort();
    done = half;
    int rc = Msghand_ReadAll(p[0]);
    if (size > done && write(p[1], data + done, size - done) != ssize_t(size - done))
        abort();
    close(p[1]);
    if (rc == MSGHAND_OK)
        while ((rc = Msghand_ReadAll(p[0])) == MSGHAND_OK) {
        }
    Msghand_Forget(p[0]);
    close(p[0]);
    return 0;
}
