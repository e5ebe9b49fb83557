// Replays message sequences from a hostile kernel and display against a live
// engine: an edited image, the work images, a connected display, and a small
// kernel that answers the engine's requests (2007, 2002, 2016, 1020) as the
// host does. Every message goes through the own FIFO and the dispatcher to
// the handlers start-up registers.
//
// An input is a sequence of steps: a code selector, a flags byte (bit 0:
// leave the frame waiting in the FIFO with the next ones), a 16-bit payload
// length and the payload. Path fields whose first byte is below 16
// name a known image (or a bad or empty path); a pointer event's callback
// below 16 names a tool. Messages whose rule is to end the program (1001, a
// failed 2007, an answer naming an image that cannot be opened) are kept
// from ending the fuzzer by the same substitutions.
#include "brush/Work.h"
#include "core/Appli.h"
#include "core/Bytes.h"
#include "core/Dabstone.h"
#include "core/DabstonePaste.h"
#include "core/Fifo.h"
#include "core/Image.h"
#include "core/Msghand.h"
#include "ui/Interface.h"

#include <X11/Intrinsic.h>

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <set>
#include <string>
#include <unistd.h>
#include <vector>

namespace
{

constexpr int kKernelPid = 7; // a kernel id no process here has
constexpr int kDisplayPid = 4242;
constexpr int kMaxPayload = 1100;
constexpr int64_t kMaxAnsweredPixels = int64_t(1) << 22; // larger requests fail

// The codes a step can send, by selector.
constexpr int32_t kCodes[16] = {MSG_POINTER,        MSG_DISPLAY_CONNECT, MSG_DISPLAY_LEAVE, MSG_DISPLAY_CLOSE,
                                MSG_REQUEST_FAILED, MSG_SETTINGS,        MSG_NO_MASK,       MSG_MASK_READY,
                                MSG_PASTE,          MSG_ACTION,          MSG_SELECTION,     MSG_IMAGE_OPENED,
                                MSG_WORK_CREATED,   MSG_WANTED,          MSG_GIVEN,         MSG_ANSWER};

// Known paths, by the index a path field's first byte gives. The first
// kOpenable ones open; the edited image of the run is index 0.
std::vector<std::string> known;
constexpr size_t kOpenable = 7;
std::vector<std::string> edited; // one image per colour model; the input picks
std::set<std::string> created;   // made by the kernel during a run
int ownWrite = -1, kernelRead = -1, displayRead = -1, displayWrite = -1;
XtAppContext app;

std::string MakeImage(int w, int h, int mode, int bits, int alpha)
{
    unsigned char info[IMAGE_INFO_SIZE];
    Image_MakeInfo(info, w, h, mode, bits, alpha);
    Image *image = nullptr;
    if (Image_CreateImage(&image, info) != 0)
        std::abort();
    std::string path = Image_Path(image);
    Image_CloseImage(image);
    return path;
}

Image *Open(const std::string &path)
{
    Image *image = nullptr;
    if (Image_OpenImage(&image, path.c_str()) != 0)
        std::abort();
    return image;
}

int Pipe(int *writeEnd)
{
    int fds[2];
    if (pipe2(fds, O_NONBLOCK) != 0)
        std::abort();
    fcntl(fds[0], F_SETPIPE_SZ, 1 << 20);
    *writeEnd = fds[1];
    return fds[0];
}

void Drain(int fd)
{
    unsigned char buf[65536];
    while (read(fd, buf, sizeof buf) > 0) {
    }
}

void RemoveOwnFifo()
{
    unlink(Fifo_Name(kKernelPid, int(getpid())));
}

void SetUp()
{
    std::signal(SIGPIPE, SIG_IGN);
    char tmpl[] = "/tmp/dab_fuzz_engine_XXXXXX";
    if (!mkdtemp(tmpl) || Image_Init(tmpl, nullptr, nullptr) != 0)
        std::abort();
    XtToolkitInitialize();
    app = XtCreateApplicationContext();
    edited = {MakeImage(160, 120, IMAGE_MODE_RGB, 8, 1), MakeImage(90, 70, IMAGE_MODE_GREY, 8, 0),
              MakeImage(80, 60, IMAGE_MODE_CMYK, 8, 1), MakeImage(70, 50, IMAGE_MODE_RGB, 16, 0)};
    known = {"",
             MakeImage(40, 30, IMAGE_MODE_RGB, 8, 1),  // lent or pasted brushes
             MakeImage(20, 20, IMAGE_MODE_GREY, 8, 0), //
             MakeImage(40, 30, IMAGE_MODE_GREY, 8, 0), // a mask that fits the first
             MakeImage(9, 3, IMAGE_MODE_GREY, 16, 0),  // a mask that fits nothing
             MakeImage(9999, 1, IMAGE_MODE_GREY, 8, 1),
             MakeImage(64, 48, IMAGE_MODE_RGB, 8, 1), // another image to edit
             "/nonexistent/dab_fuzz",
             ""};
    kernelPid = kKernelPid;
    appliFifo = Fifo_OpenRead(kKernelPid, int(getpid()));
    ownWrite = Fifo_OpenWrite(kKernelPid, int(getpid()));
    if (appliFifo < 0 || ownWrite < 0)
        std::abort();
    std::atexit(RemoveOwnFifo);
    kernelRead = Pipe(&kernelFifo);
    displayRead = Pipe(&displayWrite);
    Msghand_Initialize(nullptr, appliFifo);
    Appli_RegisterHandlers();
    Msg_SetPatience(100);
}

// A fresh engine on the chosen image, with its work images and a display.
void StartRun(int model)
{
    GG_Dabstone &e = *G_dabstone;
    e = GG_Dabstone{};
    e.app = app;
    Dabstone_InitState();
    Dabstone_InitDefaults();
    static Image *work[4] = {
        Open(MakeImage(201, 201, IMAGE_MODE_GREY, 8, 1)), Open(MakeImage(201, 201, IMAGE_MODE_GREY, 8, 1)),
        Open(MakeImage(9999, 1, IMAGE_MODE_GREY, 8, 1)), Open(MakeImage(10, 10, IMAGE_MODE_RGB, 8, 0))};
    e.buildinBrush = work[0];
    e.strokeBrush = work[1];
    e.rowBuffer = work[2];
    e.rowBufferBox = Box{0, 0, 9998, 0, 9999, 1, 0};
    e.colorImage = work[3];
    known[0] = edited[size_t(model) % edited.size()];
    Dabstone_SetImage(Open(known[0]));
    Dabstone_SetUserBrush(nullptr, 0); // the built-in brush, drawn and active
    displayPid = kDisplayPid;
    displayFifo = dup(displayWrite); // the engine closes it when it leaves the display
}

void EndRun()
{
    GG_Dabstone &e = *G_dabstone;
    if (e.working && !e.rebuildPending)
        Work_BrutalStop();
    Dabstone_DestroyUndo();
    Dabstone_DestroyMask();
    Dabstone_SetUserBrush(nullptr, 0);
    if (displayFifo >= 0)
        close(displayFifo);
    displayFifo = -1;
    displayPid = 0;
    Image_CloseImage(e.image);
    e.image = nullptr;
    e.working = 0;
    for (List *boxes : {e.targets, e.undoBoxes})
        List_Destroy(boxes, [](void *b) { Box_Free(static_cast<Box *>(b)); });
    Drain(kernelRead);
    Drain(displayRead);
    for (const std::string &path : created)
        unlink(path.c_str());
    created.clear();
}

// One turn of the toolkit: its work procedures (undo filling) run.
void Pump()
{
    XtAppAddTimeOut(
        app, 0, [](XtPointer, XtIntervalId *) {}, nullptr);
    XtAppProcessEvent(app, XtIMAll);
}

// Writes a frame into the own FIFO and, unless deferred, has it read and
// dispatched with whatever waits before it. A deferred frame waits in the
// FIFO with the next ones, as a flood from a fast display does; a full FIFO
// is read first.
void Send(int32_t code, std::vector<unsigned char> payload, bool defer = false)
{
    unsigned char header[MSG_HEADER_SIZE];
    Msg_PutHeader(header, code, 0, int32_t(payload.size()));
    payload.insert(payload.begin(), header, header + MSG_HEADER_SIZE);
    if (write(ownWrite, payload.data(), payload.size()) != ssize_t(payload.size())) {
        Msghand_ReadAll(appliFifo);
        Msg_WriteAll(ownWrite, payload.data(), payload.size());
    }
    if (!defer)
        Msghand_ReadAll(appliFifo);
}

void PutPath(unsigned char *field, const std::string &path)
{
    std::memset(field, 0, MSG_PATH_SIZE);
    std::memcpy(field, path.data(), std::min(path.size(), size_t(MSG_PATH_SIZE - 1)));
}

std::vector<unsigned char> PathAnswer(const unsigned char *path, const unsigned char *tail)
{
    std::vector<unsigned char> p(MSG_PATH_TAIL_SIZE);
    std::memcpy(p.data(), path, MSG_PATH_SIZE);
    std::memcpy(p.data() + MSG_PATH_SIZE, tail, MSG_TAIL_SIZE);
    return p;
}

// 2007 and 2002: a new image of the store, or a failure.
void AnswerCreate(const std::vector<unsigned char> &request, int32_t code)
{
    const unsigned char *info = request.data();
    int64_t pixels = int64_t(Bytes_Field(info, IMAGE_INFO_WIDTH)) * Bytes_Field(info, IMAGE_INFO_HEIGHT);
    Image *image = nullptr;
    if (pixels > kMaxAnsweredPixels || Image_CreateImage(&image, info) != 0) {
        // A failed 2007 ends the program by rule: only 2002 hears of it.
        if (code == MSG_CREATE_REBUILD) {
            unsigned char failed[MSG_FAILED_SIZE];
            Bytes_PutS32(failed, code);
            Bytes_PutS32(failed + 4, 1213);
            Send(MSG_REQUEST_FAILED, std::vector<unsigned char>(failed, failed + MSG_FAILED_SIZE));
        }
        return;
    }
    unsigned char path[MSG_PATH_SIZE];
    PutPath(path, Image_Path(image));
    created.insert(Image_Path(image));
    Image_CloseImage(image);
    Send(MSG_WORK_CREATED, PathAnswer(path, info + MSG_INFO_SIZE));
}

// The kernel's side: answers what the engine asked since the last turn.
void KernelTurn()
{
    std::vector<unsigned char> bytes;
    unsigned char buf[65536];
    for (ssize_t n; (n = read(kernelRead, buf, sizeof buf)) > 0;)
        bytes.insert(bytes.end(), buf, buf + n);
    for (size_t at = 0; at + MSG_HEADER_SIZE <= bytes.size();) {
        const int32_t code = Bytes_GetS32(&bytes[at + MSG_HDR_CODE]);
        const size_t length = size_t(Bytes_GetS32(&bytes[at + MSG_HDR_LENGTH]));
        std::vector<unsigned char> payload(bytes.begin() + long(at + MSG_HEADER_SIZE),
                                           bytes.begin() + long(at + MSG_HEADER_SIZE + length));
        at += MSG_HEADER_SIZE + length;
        if ((code == MSG_CREATE_WORK || code == MSG_CREATE_REBUILD) && length >= MSG_CREATE_SIZE) {
            AnswerCreate(payload, code);
        } else if (code == MSG_OPEN_IMAGE && length >= MSG_PATH_TAIL_SIZE) {
            const std::string path(reinterpret_cast<const char *>(payload.data()));
            if (std::find(known.begin(), known.begin() + kOpenable, path) != known.begin() + kOpenable)
                Send(MSG_IMAGE_OPENED, PathAnswer(payload.data(), payload.data() + MSG_PATH_SIZE));
        } else if (code == MSG_ASK_MASK && length >= MSG_PATH_SIZE) {
            std::vector<unsigned char> ready(2 * MSG_PATH_SIZE);
            PutPath(ready.data(), known[3]);
            std::memcpy(ready.data() + MSG_PATH_SIZE, payload.data(), MSG_PATH_SIZE);
            Send(MSG_MASK_READY, ready);
        }
    }
}

// The path fields of each code: a first byte below 16 names a known path.
// Fields that the engine opens, and ends the program when it cannot, only
// ever name images that open.
void FixPaths(int32_t code, std::vector<unsigned char> &p)
{
    auto fix = [&p](size_t at, bool mustOpen) {
        if (p.size() < at + MSG_PATH_SIZE)
            return;
        if (p[at] < 16)
            PutPath(&p[at], known[p[at] % (mustOpen ? kOpenable : known.size())]);
        else if (mustOpen)
            PutPath(&p[at], known[1]);
    };
    switch (code) {
    case MSG_DISPLAY_CONNECT:
    case MSG_DISPLAY_LEAVE:
    case MSG_DISPLAY_CLOSE:
        fix(MSG_DISPLAY_PATH, false);
        break;
    case MSG_MASK_READY:
        fix(0, true);
        fix(MSG_PATH_SIZE, false);
        break;
    case MSG_IMAGE_OPENED:
    case MSG_WORK_CREATED:
        fix(0, true);
        break;
    case MSG_ANSWER:
        fix(MSG_ANSWER_DATA, false);
        break;
    default:
        fix(0, false);
        break;
    }
}

// Small words name what only the program knows: its tools, its own pid.
void FixWords(int32_t code, std::vector<unsigned char> &p)
{
    auto word = [&p](int i) { return p.size() >= size_t(4 * i + 4) ? Bytes_Get32(&p[size_t(4 * i)]) : ~0u; };
    if (code == MSG_POINTER && word(MSG_EV_CALLBACK) < 16)
        Bytes_Put32(&p[4 * MSG_EV_CALLBACK], Interface_ToolHandle(int(word(MSG_EV_CALLBACK) % TOOL_COUNT)));
    if (code == MSG_DISPLAY_CONNECT && word(0) == 1)
        Bytes_PutS32(&p[0], int32_t(getpid()));
    if (code == MSG_REQUEST_FAILED && word(0) == uint32_t(MSG_CREATE_WORK))
        Bytes_PutS32(&p[0], MSG_CREATE_REBUILD); // a failed 2007 ends the program by rule
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static bool ready = (SetUp(), true);
    (void)ready;
    if (size < 1)
        return 0;
    StartRun(data[0]);
    for (size_t at = 1; at + 4 <= size;) {
        const int32_t code = kCodes[data[at] % 16];
        const bool defer = data[at + 1] & 1;
        const size_t length = std::min<size_t>((size_t(data[at + 2]) << 8) | data[at + 3], kMaxPayload);
        at += 4;
        std::vector<unsigned char> payload(length);
        const size_t have = std::min(length, size - at);
        if (have > 0)
            std::memcpy(payload.data(), data + at, have);
        at += have;
        FixPaths(code, payload);
        FixWords(code, payload);
        Send(code, payload, defer);
        if (defer)
            continue;
        for (int turn = 0; turn < 3; ++turn)
            KernelTurn();
        Pump();
        Drain(displayRead);
    }
    Msghand_ReadAll(appliFifo);
    EndRun();
    return 0;
}
