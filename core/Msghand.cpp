#include "core/Msghand.h"

#include "core/Bytes.h"
#include "core/Misc.h"

#include <X11/Intrinsic.h>
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <new>
#include <unistd.h>
#include <unordered_map>
#include <vector>

namespace
{
struct Entry {
    int32_t code;
    MsghandProc routine;
    void *clientData;
};

// One frame being assembled from a descriptor.
struct Reader {
    unsigned char header[MSG_HEADER_SIZE];
    int headerHave = 0;
    bool inPayload = false;
    MsgHeader received{};
    unsigned char *buffer = nullptr; // the receive buffer: grows, never shrinks
    int32_t capacity = 0;
    int32_t payloadHave = 0;
    bool forgotten = false; // Msghand_Forget ran while this reader dispatched
    ~Reader() { std::free(buffer); }
};

constexpr int kPiece = 4096; // payloads are read in pieces of at most this
constexpr int kDone = -1;    // a header or payload is complete (not a MSGHAND_* result)
unsigned char noPayload[MSG_HEADER_SIZE];

std::vector<Entry> callbacks;
Entry fallback{0, nullptr, nullptr}; // for frames no entry takes
std::map<int, std::unique_ptr<Reader>> readers;
std::unordered_map<uint32_t, int> tailKinds; // handle -> MsghandTailKind
MsghandLinkLost linkLost = nullptr;
int handled = 0;
int dispatchDepth = 0;

void reportSystem(const char *what, int e)
{
    std::fprintf(stderr, "%s: %s: %s\n", Misc_ProgramName(), what, std::strerror(e));
}

void dispatchFrame(const unsigned char *payload, const MsgHeader *h)
{
    handled = 0;
    const uint32_t answeredBy = h->code == MSG_ANSWER && h->length >= MSG_ANSWER_CLIENT + 4
                                    ? Msg_Tail(payload, MSG_ANSWER_CALLBACK).callback
                                    : 0;
    if (answeredBy != 0) {
        // The answer names its routine; a word we never gave out is dropped.
        MsghandProc routine = nullptr;
        void *data = nullptr;
        if (Msghand_FindTailFn(answeredBy, MSGHAND_TAIL_ANSWER, &routine, &data))
            routine(payload, h, data);
        handled = 1;
        return;
    }
    // By index: a routine may register further entries while we walk.
    for (size_t i = 0; i < callbacks.size(); ++i) {
        if (callbacks[i].code != h->code)
            continue;
        Entry e = callbacks[i];
        e.routine(payload, h, e.clientData);
        handled = 1;
    }
    if (!handled && fallback.routine) {
        fallback.routine(payload, h, fallback.clientData);
        handled = 1;
    }
}

// Makes room for `need` payload bytes. The buffer grows as the payload
// arrives (doubling, up to the announced length) rather than on the length
// word alone, so a corrupt length costs nothing until data backs it.
void makeRoom(Reader &r, int32_t need)
{
    if (need <= r.capacity)
        return;
    int64_t grown = std::max<int64_t>(need, std::min<int64_t>(2 * int64_t(r.capacity), r.received.length));
    void *p = std::realloc(r.buffer, size_t(grown));
    if (!p)
        Misc_OpenFatal("can't dispatch message", ENOMEM);
    r.buffer = static_cast<unsigned char *>(p);
    r.capacity = int32_t(grown);
}

// Reads until the header is complete: kDone, or a MSGHAND_* result.
int readHeader(int fd, Reader &r)
{
    while (r.headerHave < MSG_HEADER_SIZE) {
        ssize_t n = read(fd, r.header + r.headerHave, size_t(MSG_HEADER_SIZE - r.headerHave));
        if (n > 0) {
            r.headerHave += int(n);
        } else if (n == 0) {
            return MSGHAND_EOF;
        } else if (errno == EINTR) {
            continue;
        } else if (errno == EAGAIN || errno == EWOULDBLOCK) {
            return MSGHAND_OK;
        } else {
            reportSystem("read", errno);
            return MSGHAND_BROKEN;
        }
    }
    r.received = {Bytes_GetS32(r.header + MSG_HDR_SENDER), Bytes_GetS32(r.header + MSG_HDR_CODE),
                  Bytes_GetS32(r.header + MSG_HDR_AUX), Bytes_GetS32(r.header + MSG_HDR_LENGTH)};
    if (r.received.length < 0 || r.received.length > MSG_MAX_PAYLOAD) {
        // No frame is that large: the stream is corrupt and cannot be resynchronised.
        Misc_OpenError("can't dispatch message", EMSGSIZE);
        return MSGHAND_BROKEN;
    }
    r.inPayload = true;
    r.payloadHave = 0;
    return kDone;
}

// Reads until the payload is complete: kDone, or a MSGHAND_* result.
int readPayload(int fd, Reader &r)
{
    while (r.payloadHave < r.received.length) {
        int want = r.received.length - r.payloadHave;
        if (want > kPiece)
            want = kPiece;
        makeRoom(r, r.payloadHave + want);
        errno = 0;
        ssize_t n = read(fd, r.buffer + r.payloadHave, size_t(want));
        if (n > 0) {
            r.payloadHave += int(n);
        } else if (n == 0) {
            return MSGHAND_EOF;
        } else if (errno == EINTR) {
            continue;
        } else if (errno == EAGAIN || errno == EWOULDBLOCK) {
            return MSGHAND_OK; // the writer is still filling the FIFO: come back later
        } else {
            reportSystem("xread", errno);
            return MSGHAND_BROKEN;
        }
    }
    return kDone;
}

void resetFrame(Reader &r)
{
    r.headerHave = 0;
    r.inPayload = false;
    r.payloadHave = 0;
}
} // namespace

int Msghand_Initialize(XtAppContext app, int fd)
{
    callbacks.clear();
    if (app)
        XtAppAddInput(app, fd, reinterpret_cast<XtPointer>(XtInputReadMask), Msghand_dispatch, nullptr);
    return 0;
}

int Msghand_AddCallback(int32_t code, MsghandProc routine, void *clientData)
{
    try {
        callbacks.push_back({code, routine, clientData});
    } catch (const std::bad_alloc &) {
        return ENOMEM;
    }
    return 0;
}

int Msghand_ReadAll(int fd)
{
    auto found = readers.find(fd);
    if (found == readers.end())
        found = readers.emplace(fd, std::make_unique<Reader>()).first;
    Reader &r = *found->second;
    for (;;) {
        int rc = r.inPayload ? kDone : readHeader(fd, r);
        if (rc == kDone)
            rc = readPayload(fd, r);
        if (rc != kDone) {
            if (rc != MSGHAND_OK)
                resetFrame(r);
            return rc;
        }
        MsgHeader h = r.received;
        resetFrame(r);
        ++dispatchDepth;
        dispatchFrame(h.length > 0 ? r.buffer : noPayload, &h);
        --dispatchDepth;
        if (r.forgotten) {
            if (dispatchDepth == 0)
                readers.erase(fd);
            return MSGHAND_OK;
        }
    }
}

void Msghand_Forget(int fd)
{
    auto found = readers.find(fd);
    if (found == readers.end())
        return;
    if (dispatchDepth > 0)
        found->second->forgotten = true; // its buffer is in use: erase after dispatch
    else
        readers.erase(found);
}

void Msghand_dispatch(XtPointer, int *source, XtInputId *id)
{
    int fd = *source; // *source lives in Xt's input record, gone after XtRemoveInput
    int rc = Msghand_ReadAll(fd);
    if (rc == MSGHAND_OK)
        return;
    XtRemoveInput(*id);
    Msghand_Forget(fd);
    if (linkLost)
        linkLost(fd, rc);
}

void Msghand_SetDefault(MsghandProc routine, void *clientData)
{
    fallback = {0, routine, clientData};
}

void Msghand_SetLinkLost(MsghandLinkLost routine)
{
    linkLost = routine;
}

int Msghand_Handled()
{
    return handled;
}

uint32_t Msghand_NewTail(int kind, HandleRoutine routine, void *data)
{
    uint32_t handle = Handle_New(routine, data);
    if (handle != 0)
        tailKinds[handle] = kind;
    return handle;
}

int Msghand_FindTail(uint32_t word, int kind, HandleRoutine *routine, void **data)
{
    auto found = tailKinds.find(word);
    if (word == 0 || found == tailKinds.end() || found->second != kind)
        return 0;
    return Handle_Lookup(word, routine, data);
}
