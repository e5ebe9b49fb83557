// The kernel peer. One session per process: dabstone is spawned as our
// direct child (it takes the kernel id from its parent), every request it
// sends is answered from the table below, and a display process is started
// for the edited image once dabstone is ready and has its work images.
#include "host/Kernel.h"

#include "core/Bytes.h"
#include "core/Fifo.h"
#include "core/Image.h"
#include "core/Misc.h"
#include "core/Msg.h"
#include "core/Msghand.h"
#include "host/KernelLink.h"
#include "host/Png.h"
#include "host/Script.h"
#include "host/Shapes.h"
#include "host/Sorbane.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>
// Last: X's macros must not meet the declarations above.
#include <X11/Xlib.h>

namespace
{

constexpr int FILE_NOT_FOUND = 1014;
constexpr int BAD_PARAMETER = 1046;
constexpr int WORK_IMAGES = 6; // dabstone asks for six at start-up
constexpr int MAX_DROP_WINDOWS = 8;
constexpr int DISPLAY_END_BOUND_MS = 20000;

struct DropWindow {
    int32_t window, callback, client;
};

struct Session {
    // Options.
    std::string image, brush, script, exportPng, store, log, displayLog, mask, settings, dabstone;
    bool noDisplay = false, keep = false, show = false;
    // Link.
    int pid = 0;
    int fifo = -1;
    pid_t program = 0;
    int programFifo = -1;
    bool programRunning = false;
    int programWait = 0; // waitpid status once it has ended
    pid_t display = 0;
    int displayFifo = -1;
    bool displayRunning = false;
    int displayWait = 0;
    // Progress.
    bool ready = false;
    int workAnswered = 0;
    bool displayStarted = false;
    bool quitSent = false;
    bool haveNotice = false;
    int32_t noticeStatus = 0;
    std::vector<std::string> created; // images made for the program: ours to delete
    std::vector<DropWindow> drops;
    // The selection mask of the edited image, made on the first polygon and
    // rewritten in place after: dabstone keeps the first 1021 mapped.
    Image *selectionMask = nullptr, *maskScratch = nullptr;
};

Session S;
int signalPipe[2] = {-1, -1};

// ---- Sending ---------------------------------------------------------------

void ToProgram(int32_t code, const void *payload, int length)
{
    KernelLink_SendOrDrop(&S.programFifo, S.pid, S.program, code, payload, length);
}

void ToDisplay(int32_t code, const void *payload, int length)
{
    KernelLink_SendOrDrop(&S.displayFifo, S.pid, S.display, code, payload, length);
}

// A request that cannot be met: one console line, and 1011 (request, error)
// to the program so that it can act on it.
void Refuse(int32_t code, int32_t error, const std::string &what)
{
    KernelLink_Say("%s", what.c_str());
    unsigned char failed[MSG_FAILED_SIZE];
    Bytes_PutS32(failed, code);
    Bytes_PutS32(failed + 4, error);
    ToProgram(MSG_REQUEST_FAILED, failed, sizeof failed);
}

std::string ErrorText(int32_t code)
{
    return Sorbane_ErrorText(code);
}

// ---- Requests of the program -------------------------------------------------

using Handler = void (*)(const unsigned char *payload, const MsgHeader *h);

void ExitNotice(const unsigned char *p, const MsgHeader *h)
{
    if (h->sender != S.program)
        return;
    S.haveNotice = true;
    S.noticeStatus = Bytes_GetS32(p);
}

void Hello(const unsigned char *, const MsgHeader *h)
{
    if (h->sender != S.program || S.programFifo >= 0) {
        KernelLink_Say("hello from process %d ignored", int(h->sender));
        return;
    }
    S.programFifo = Fifo_OpenWrite(S.pid, S.program);
    if (S.programFifo < 0)
        KernelLink_Say("can't open the fifo of dabstone %d: %s", int(S.program), std::strerror(errno));
    KernelLink_CloseOnExec(S.programFifo);
}

void RegisterDrop(const unsigned char *p, const MsgHeader *)
{
    if (S.drops.size() >= MAX_DROP_WINDOWS) {
        Refuse(MSG_DROP_WINDOW, BAD_PARAMETER, "too many drop windows");
        return;
    }
    S.drops.push_back({Bytes_GetS32(p), Bytes_GetS32(p + 4), Bytes_GetS32(p + 8)});
}

// 1015 after 1012: status 0 and the record saved by the last session, or
// status 1014 and zeros when there is none.
void SendSettings()
{
    unsigned char load[MSG_SETTINGS_IN_SIZE] = {};
    int32_t status = FILE_NOT_FOUND;
    if (FILE *f = std::fopen(S.settings.c_str(), "rb")) {
        unsigned char extra;
        if (std::fread(load + 4, 1, MSG_SETTINGS_SIZE, f) == size_t(MSG_SETTINGS_SIZE) &&
            std::fread(&extra, 1, 1, f) == 0)
            status = 0;
        else
            KernelLink_Say("settings file %s is damaged; not used", S.settings.c_str());
        std::fclose(f);
    }
    if (status != 0)
        std::memset(load, 0, sizeof load);
    Bytes_PutS32(load, status);
    ToProgram(MSG_SETTINGS, load, sizeof load);
}

void MaybeStartDisplay();

void Ready(const unsigned char *, const MsgHeader *)
{
    S.ready = true;
    SendSettings();
    MaybeStartDisplay();
}

// The record is written whole under a temporary name first, so that a
// crash never leaves half a record behind.
void SaveSettings(const unsigned char *p, const MsgHeader *h)
{
    if (Bytes_GetS32(p + MSG_NAME_SIZE) != MSG_SETTINGS_MAGIC) {
        Refuse(h->code, BAD_PARAMETER, "settings record without its mark; not saved");
        return;
    }
    std::string tmp = S.settings + ".new";
    FILE *f = std::fopen(tmp.c_str(), "wb");
    bool ok = f && std::fwrite(p + MSG_NAME_SIZE, 1, MSG_SETTINGS_SIZE, f) == size_t(MSG_SETTINGS_SIZE);
    if (f && std::fclose(f) != 0)
        ok = false;
    if (!ok || std::rename(tmp.c_str(), S.settings.c_str()) != 0) {
        int e = errno ? errno : EIO;
        std::remove(tmp.c_str());
        Refuse(h->code, e, "can't save settings in " + S.settings + " : " + std::strerror(e));
    }
}

void AskMask(const unsigned char *p, const MsgHeader *)
{
    if (S.mask.empty()) {
        ToProgram(MSG_NO_MASK, nullptr, 0);
        return;
    }
    unsigned char ready[MSG_MASK_READY_SIZE];
    Msg_PutPath(ready, S.mask.c_str());
    std::memcpy(ready + MSG_PATH_SIZE, p, MSG_PATH_SIZE);
    ToProgram(MSG_MASK_READY, ready, sizeof ready);
}

// 2007 and 2002: a new store image; 2009 carries its path and the reply
// tail unchanged.
void CreateImage(const unsigned char *p, const MsgHeader *h)
{
    int32_t width = Bytes_GetS32(p + IMAGE_INFO_WIDTH), height = Bytes_GetS32(p + IMAGE_INFO_HEIGHT);
    if (width < 1 || height < 1) {
        Refuse(h->code, BAD_PARAMETER,
               "can't create an image of " + std::to_string(width) + " x " + std::to_string(height));
        return;
    }
    Image *image = nullptr;
    int rc = Image_CreateImage(&image, p);
    if (rc != 0) {
        Refuse(h->code, rc, "can't create image : " + ErrorText(rc));
        return;
    }
    unsigned char answer[MSG_PATH_TAIL_SIZE];
    Msg_PutPath(answer, Image_Path(image));
    std::memcpy(answer + MSG_PATH_SIZE, p + MSG_INFO_SIZE, MSG_TAIL_SIZE);
    S.created.push_back(Image_Path(image));
    Image_CloseImage(image);
    if (h->code == MSG_CREATE_WORK)
        S.workAnswered++;
    ToProgram(MSG_WORK_CREATED, answer, sizeof answer);
    MaybeStartDisplay();
}

// 2008 and 2001: only images made for the program are ever removed.
void DeleteImage(const unsigned char *p, const MsgHeader *h)
{
    const char *path = reinterpret_cast<const char *>(p);
    auto found = std::find(S.created.begin(), S.created.end(), path);
    if (found == S.created.end()) {
        Refuse(h->code, FILE_NOT_FOUND,
               std::string("won't delete ") + path + ": not an image made for dabstone");
        return;
    }
    if (std::remove(path) != 0)
        KernelLink_Say("can't delete %s : %s", path, std::strerror(errno));
    S.created.erase(found);
}

// 2016: the image must open; 2003 has the request's own layout.
void OpenImage(const unsigned char *p, const MsgHeader *h)
{
    const char *path = reinterpret_cast<const char *>(p);
    Image *image = nullptr;
    int rc = Image_OpenReadImage(&image, path);
    if (rc != 0) {
        Refuse(h->code, rc, std::string("can't open image ") + path + " : " + ErrorText(rc));
        return;
    }
    Image_CloseImage(image);
    ToProgram(MSG_IMAGE_OPENED, p, MSG_PATH_TAIL_SIZE);
}

void RowsChanged(const unsigned char *p, const MsgHeader *h)
{
    ToDisplay(MSG_ROWS_CHANGED, p, h->length);
}

// Nothing to do beyond the log: the image stays where it is.
void Noted(const unsigned char *, const MsgHeader *) {}

// ---- Requests of the display ---------------------------------------------------

void DisplayHello(const unsigned char *p, const MsgHeader *)
{
    pid_t pid = Bytes_GetS32(p);
    if (S.displayFifo >= 0) {
        if (pid == S.display)
            return;
        Fifo_CloseWrite(S.pid, S.display, S.displayFifo);
    }
    S.display = pid;
    S.displayFifo = Fifo_OpenWrite(S.pid, pid);
    if (S.displayFifo < 0)
        KernelLink_Say("can't open the fifo of display %d: %s", int(pid), std::strerror(errno));
    KernelLink_CloseOnExec(S.displayFifo);
}

void DisplayBye(const unsigned char *p, const MsgHeader *)
{
    if (Bytes_GetS32(p) != S.display || S.displayFifo < 0)
        return;
    Fifo_CloseWrite(S.pid, S.display, S.displayFifo);
    S.displayFifo = -1;
}

// A drop on one of the program's registered windows: 1006 to the callback
// and client data it gave with 1005, the path from offset 12.
void Drop(const unsigned char *p, const MsgHeader *h)
{
    int32_t index = Bytes_GetS32(p);
    if (index < 0 || size_t(index) >= S.drops.size()) {
        KernelLink_Say("no drop window %d registered by dabstone", int(index));
        return;
    }
    if (Msg_Path(p, h->length, 4).empty()) {
        KernelLink_Say("drop without a path");
        return;
    }
    unsigned char answer[MSG_ANSWER_DATA + MSG_PATH_SIZE] = {};
    Bytes_PutS32(answer + MSG_ANSWER_CALLBACK, S.drops[size_t(index)].callback);
    Bytes_PutS32(answer + MSG_ANSWER_CLIENT, S.drops[size_t(index)].client);
    std::memcpy(answer + MSG_ANSWER_DATA, p + 4, MSG_PATH_SIZE);
    ToProgram(MSG_ANSWER, answer, sizeof answer);
}

void QuitProgram()
{
    if (S.quitSent || !S.programRunning)
        return;
    if (S.programFifo < 0) { // not linked yet: nobody to ask
        kill(S.program, SIGTERM);
        S.quitSent = true;
        return;
    }
    unsigned char none[4] = {};
    ToProgram(MSG_EXIT, none, sizeof none);
    S.quitSent = true;
}

void EndSession(const unsigned char *, const MsgHeader *)
{
    QuitProgram();
}

int IgnoreXError(::Display *, XErrorEvent *)
{
    return 0;
}

// Asks dabstone to close as a window manager asks when its main window (the
// first it registered for drops) is closed. 1001 would end it at once; this
// way it asks its question while a job runs and saves its settings.
bool AskProgramToClose()
{
    if (S.drops.empty() || !S.programRunning)
        return false;
    ::Display *dpy = XOpenDisplay(nullptr);
    if (!dpy)
        return false;
    XSetErrorHandler(IgnoreXError); // a window already gone must not end the kernel
    XEvent e{};
    e.xclient.type = ClientMessage;
    e.xclient.window = Window(uint32_t(S.drops[0].window));
    e.xclient.message_type = XInternAtom(dpy, "WM_PROTOCOLS", False);
    e.xclient.format = 32;
    e.xclient.data.l[0] = long(XInternAtom(dpy, "WM_DELETE_WINDOW", False));
    e.xclient.data.l[1] = CurrentTime;
    bool sent = XSendEvent(dpy, e.xclient.window, False, NoEventMask, &e) != 0;
    XSync(dpy, False);
    XCloseDisplay(dpy);
    return sent;
}

// The person closed the display window: the session ends if dabstone agrees.
// Refused, both go on, and the display still shows the image.
void DisplayClosed(const unsigned char *, const MsgHeader *)
{
    if (!AskProgramToClose())
        QuitProgram();
}

// A cleared 8-bit grey store image of the edited image's size, ours to delete.
int CreateMaskImage(Image **out)
{
    Image *edited = nullptr;
    if (int rc = Image_OpenReadImage(&edited, S.image.c_str()))
        return rc;
    unsigned char info[IMAGE_INFO_SIZE];
    Image_MakeInfo(info, Image_Width(edited), Image_Height(edited), IMAGE_MODE_GREY, 8, 0);
    Image_CloseImage(edited);
    if (int rc = Image_CreateImage(out, info))
        return rc;
    S.created.push_back(Image_Path(*out));
    return 0;
}

// Writes the polygons' mask and offers it to dabstone (1021: mask, image).
void WriteMask(const std::vector<Shape> &polygons)
{
    int rc = 0;
    if (!S.selectionMask && (rc = CreateMaskImage(&S.selectionMask)) == 0)
        rc = CreateMaskImage(&S.maskScratch);
    if (rc == 0)
        rc = Shapes_FillMask(polygons, S.selectionMask, S.maskScratch);
    if (rc != 0) {
        KernelLink_Say("can't write the selection mask : %s; polygons limit by their boxes only",
                       ErrorText(rc).c_str());
        return;
    }
    unsigned char ready[MSG_MASK_READY_SIZE];
    Msg_PutPath(ready, Image_Path(S.selectionMask));
    Msg_PutPath(ready + MSG_PATH_SIZE, S.image.c_str());
    ToProgram(MSG_MASK_READY, ready, sizeof ready);
}

// The display's polygons changed: their mask first, then the answer, so
// that the 1021 is in dabstone's FIFO before the display's 1041 records.
// A damaged list is still answered: the display must not wait for ever.
void DisplayShapes(const unsigned char *p, const MsgHeader *h)
{
    int32_t serial = 0;
    std::vector<Shape> polygons;
    if (!Shapes_Decode(p, size_t(h->length), &serial, &polygons))
        KernelLink_Say("bad selection shapes from display %d ignored", int(h->sender));
    else if (!polygons.empty() || S.selectionMask)
        WriteMask(polygons);
    unsigned char done[4];
    Bytes_PutS32(done, serial);
    ToDisplay(KERNEL_SHAPES_DONE, done, sizeof done);
}

// ---- The request table -------------------------------------------------------------

enum PathCheck { NO_PATH, PATH_AT_0 };

struct Request {
    int32_t code;
    int length; // exact payload length; -1: checked by the handler
    PathCheck path;
    Handler handle;
};

const Request requestTable[] = {
    {MSG_EXIT, MSG_PID_SIZE, NO_PATH, ExitNotice},
    {MSG_HELLO, MSG_PID_SIZE, NO_PATH, Hello},
    {MSG_DROP_WINDOW, MSG_DROP_SIZE, NO_PATH, RegisterDrop},
    {MSG_READY, MSG_NAME_SIZE, NO_PATH, Ready},
    {MSG_SAVE_SETTINGS, MSG_SAVE_SETTINGS_SIZE, NO_PATH, SaveSettings},
    {MSG_ASK_MASK, MSG_PATH_SIZE, PATH_AT_0, AskMask},
    {MSG_GIVE_BACK, MSG_PATH_SIZE, PATH_AT_0, Noted},
    {MSG_DISPLAY_CONNECTED, MSG_PATH_SIZE, NO_PATH, Noted},
    {MSG_DISCARD_REBUILD, MSG_PATH_SIZE, PATH_AT_0, DeleteImage},
    {MSG_CREATE_REBUILD, MSG_CREATE_SIZE, NO_PATH, CreateImage},
    {MSG_RELEASE, MSG_RELEASE_SIZE, PATH_AT_0, Noted},
    {MSG_CREATE_WORK, MSG_CREATE_SIZE, NO_PATH, CreateImage},
    {MSG_DELETE, MSG_PATH_SIZE, PATH_AT_0, DeleteImage},
    {MSG_ROWS_CHANGED, MSG_ROWS_SIZE, PATH_AT_0, RowsChanged},
    {MSG_ANNOUNCE, MSG_PATH_SIZE, PATH_AT_0, Noted},
    {MSG_OPEN_IMAGE, MSG_PATH_TAIL_SIZE, PATH_AT_0, OpenImage},
    {KERNEL_DISPLAY_HELLO, MSG_PID_SIZE, NO_PATH, DisplayHello},
    {KERNEL_DROP, KERNEL_DROP_SIZE, NO_PATH, Drop},
    {KERNEL_END_SESSION, 0, NO_PATH, EndSession},
    {KERNEL_DISPLAY_BYE, MSG_PID_SIZE, NO_PATH, DisplayBye},
    {KERNEL_CLOSED, 0, NO_PATH, DisplayClosed},
    {KERNEL_SHAPES, -1, NO_PATH, DisplayShapes},
};

// Every frame on the kernel's FIFO comes here: logged, checked against its
// row of the table, then handled. Nothing a peer sends can end the kernel.
void OnFrame(const unsigned char *payload, const MsgHeader *h, void *)
{
    KernelLink_LogReceived(h, payload);
    for (const Request &r : requestTable) {
        if (r.code != h->code)
            continue;
        if (r.length >= 0 && h->length != r.length)
            Refuse(h->code, BAD_PARAMETER,
                   "bad request " + std::to_string(h->code) + " from " + std::to_string(h->sender) + ": " +
                       std::to_string(h->length) + " bytes, " + std::to_string(r.length) + " expected");
        else if (r.path == PATH_AT_0 && Msg_Path(payload, h->length, 0).empty())
            Refuse(h->code, BAD_PARAMETER,
                   "bad request " + std::to_string(h->code) + " from " + std::to_string(h->sender) +
                       ": no path, or one not terminated");
        else
            r.handle(payload, h);
        return;
    }
    Refuse(h->code, BAD_PARAMETER,
           "unknown request " + std::to_string(h->code) + " from " + std::to_string(h->sender) + " ignored");
}

// ---- Processes ------------------------------------------------------------------------

void OnSignal(int sig)
{
    int saved = errno;
    unsigned char b = static_cast<unsigned char>(sig);
    (void)!write(signalPipe[1], &b, 1);
    errno = saved;
}

int InstallSignals()
{
    if (pipe2(signalPipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return errno;
    struct sigaction sa {
    };
    sa.sa_handler = OnSignal;
    sa.sa_flags = SA_RESTART;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGCHLD, &sa, nullptr);
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);
    signal(SIGPIPE, SIG_IGN);
    return 0;
}

void MaybeStartDisplay()
{
    if (S.noDisplay || S.displayStarted || !S.ready || S.workAnswered < WORK_IMAGES || !S.programRunning)
        return;
    S.displayStarted = true;
    std::vector<std::string> args = {
        KernelLink_SelfPath(),     "display", "--kernel", std::to_string(S.pid), "--program",
        std::to_string(S.program), S.image};
    if (!S.script.empty())
        args.insert(args.end(), {"--script", S.script});
    if (S.show)
        args.push_back("--show");
    if (!S.displayLog.empty())
        args.insert(args.end(), {"--log", S.displayLog});
    S.display = KernelLink_Spawn(args);
    if (!S.display) {
        KernelLink_Say("can't start the display process : %s", std::strerror(errno));
        return;
    }
    S.displayRunning = true;
    KernelLink_LogLine("display %d", int(S.display));
}

void Reap()
{
    int status = 0;
    for (pid_t pid; (pid = waitpid(-1, &status, WNOHANG)) > 0;) {
        if (pid == S.program) {
            S.programRunning = false;
            S.programWait = status;
        } else if (pid == S.display) {
            S.displayRunning = false;
            S.displayWait = status;
            if (S.displayFifo >= 0)
                Fifo_CloseWrite(S.pid, S.display, S.displayFifo);
            S.displayFifo = -1;
            // A display that failed (its script went wrong) ends the session.
            if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
                KernelLink_Say("the display process failed; ending the session");
                QuitProgram();
            }
        }
    }
}

void OnSignals()
{
    unsigned char sigs[64];
    ssize_t n = read(signalPipe[0], sigs, sizeof sigs);
    for (ssize_t i = 0; i < n; i++) {
        if (sigs[i] == SIGCHLD) {
            Reap();
        } else if (S.quitSent && S.programRunning) {
            kill(S.program, SIGTERM); // asked twice: stop waiting for an orderly end
        } else {
            QuitProgram();
        }
    }
}

// Waits for FIFO input or a signal, up to timeoutMs (-1: no bound).
void Serve(int timeoutMs)
{
    struct pollfd fds[2] = {{S.fifo, POLLIN, 0}, {signalPipe[0], POLLIN, 0}};
    if (poll(fds, 2, timeoutMs) <= 0)
        return;
    if (fds[0].revents & POLLIN)
        KernelLink_ReadFifo(S.fifo, "kernel fifo");
    if (fds[1].revents & POLLIN)
        OnSignals();
}

void EndDisplay()
{
    if (!S.displayRunning)
        return;
    unsigned char none[4] = {};
    ToDisplay(MSG_EXIT, none, sizeof none);
    for (int waited = 0; S.displayRunning && waited < DISPLAY_END_BOUND_MS; waited += 200)
        Serve(200);
    if (S.displayRunning) {
        KernelLink_Say("display %d does not end; killed", int(S.display));
        kill(S.display, SIGKILL);
        while (S.displayRunning)
            Serve(200);
    }
}

// Dabstone's exit code as the system gives it (128 + signal when killed).
int ProgramExitCode()
{
    if (WIFEXITED(S.programWait))
        return WEXITSTATUS(S.programWait);
    return 128 + WTERMSIG(S.programWait);
}

// One line on how dabstone ended. Its exit notice carries the whole 32-bit
// status, which the system's 8-bit exit code only truncates; after a fault
// it carries the fault's code instead (1004, 1213) while the status is -1.
void ReportProgramEnd()
{
    int code = ProgramExitCode();
    std::string notice =
        S.haveNotice ? std::to_string(S.noticeStatus) + " (" + ErrorText(S.noticeStatus) + ")" : "";
    if (WIFSIGNALED(S.programWait))
        KernelLink_Say("dabstone killed by signal %d%s%s", WTERMSIG(S.programWait),
                       S.haveNotice ? ", exit notice " : "", notice.c_str());
    else if (!S.haveNotice)
        KernelLink_Say("dabstone ended with status %d without exit notice", code);
    else if (S.noticeStatus == 0 && code == 0)
        KernelLink_Say("dabstone ended with status 0");
    else if ((S.noticeStatus & 0xff) == code)
        KernelLink_Say("dabstone ended with status %s", notice.c_str());
    else
        KernelLink_Say("dabstone ended with status %d, exit notice %s", int(int8_t(code)), notice.c_str());
    KernelLink_LogLine("exit %d", code);
}

// --export: the edited image as it is at the end, as a PNG.
bool ExportPng()
{
    Image *image = nullptr;
    PngImage png;
    std::string reason;
    int rc = Image_OpenReadImage(&image, S.image.c_str());
    if (rc == 0) {
        rc = Png_FromImage(image, &png);
        Image_CloseImage(image);
    }
    if (rc == 0)
        rc = Png_Write(S.exportPng.c_str(), png, &reason);
    if (rc != 0)
        KernelLink_Say("can't export %s to %s : %s%s%s", S.image.c_str(), S.exportPng.c_str(),
                       ErrorText(rc).c_str(), reason.empty() ? "" : " - ", reason.c_str());
    return rc == 0;
}

void CleanUp()
{
    for (Image **image : {&S.selectionMask, &S.maskScratch})
        if (*image)
            Image_CloseImage(*image);
    S.selectionMask = S.maskScratch = nullptr;
    if (!S.keep)
        for (const std::string &path : S.created)
            std::remove(path.c_str());
    S.created.clear();
    if (S.programFifo >= 0)
        Fifo_CloseWrite(S.pid, S.program, S.programFifo);
    S.programFifo = -1;
    Msghand_Forget(S.fifo);
    Fifo_CloseRead(S.pid, S.pid, S.fifo);
    S.fifo = -1;
}

// ---- Options ------------------------------------------------------------------------

std::string DefaultStore()
{
    if (const char *env = std::getenv("SORBANE_STORE"); env && *env)
        return env;
    return "/tmp/sorbane-" + std::to_string(getuid());
}

int PrepareStore()
{
    if (mkdir(S.store.c_str(), 0777) != 0 && errno != EEXIST)
        return errno;
    if (int rc = Image_Init(S.store.c_str(), nullptr, nullptr))
        return rc;
    return Image_InitRealTmp(S.store.c_str());
}

} // namespace

std::string Kernel_FindDabstone(const char *option)
{
    if (option && *option)
        return option;
    if (const char *env = std::getenv("SORBANE_DABSTONE"); env && *env)
        return env;
    std::string self = KernelLink_SelfPath();
    std::string dir = self.substr(0, self.rfind('/') + 1);
    for (const std::string &candidate : {dir + "../app/dabstone", dir + "dabstone"})
        if (access(candidate.c_str(), X_OK) == 0)
            return candidate;
    return "dabstone";
}

int Kernel_Run(int argc, char **argv)
{
    Misc_SetProgramName("sorbane");
    const KernelLinkOption options[] = {
        {"--brush", &S.brush, nullptr},       {"--script", &S.script, nullptr},
        {"--export", &S.exportPng, nullptr},  {"--store", &S.store, nullptr},
        {"--log", &S.log, nullptr},           {"--display-log", &S.displayLog, nullptr},
        {"--mask", &S.mask, nullptr},         {"--settings", &S.settings, nullptr},
        {"--dabstone", &S.dabstone, nullptr}, {"--no-display", nullptr, &S.noDisplay},
        {"--keep", nullptr, &S.keep},         {"--show", nullptr, &S.show},
    };
    std::string problem = KernelLink_ParseOptions(argc - 1, argv + 1, options, std::size(options), &S.image);
    if (problem.empty() && S.image.empty())
        problem = "no image given";
    if (!problem.empty()) {
        KernelLink_Say("run: %s", problem.c_str());
        return Sorbane_Usage("run");
    }
    // A script with a mistake is refused before anything starts.
    if (!S.script.empty()) {
        std::vector<ScriptCommand> commands;
        std::string error;
        if (Script_Load(S.script.c_str(), &commands, &error) != 0) {
            KernelLink_Say("%s: %s", S.script.c_str(), error.c_str());
            return 1;
        }
    }
    if (S.store.empty())
        S.store = DefaultStore();
    // dabstone, the display and the store compare paths as text: all absolute.
    for (std::string *path : {&S.image, &S.brush, &S.mask, &S.store})
        *path = KernelLink_AbsolutePath(*path);
    if (S.settings.empty())
        S.settings = S.store + "/DabStone.settings";
    if (S.displayLog.empty() && !S.log.empty())
        S.displayLog = S.log + ".display";
    if (int rc = PrepareStore()) {
        KernelLink_Say("can't use the store %s : %s", S.store.c_str(), ErrorText(rc).c_str());
        return 1;
    }

    S.pid = getpid();
    if (int rc = InstallSignals()) {
        KernelLink_Say("can't catch signals : %s", std::strerror(rc));
        return 1;
    }
    S.fifo = Fifo_OpenRead(S.pid, S.pid);
    if (S.fifo < 0) {
        KernelLink_Say("can't open fifo %s : %s", Fifo_Name(S.pid, S.pid), std::strerror(errno));
        return 1;
    }
    KernelLink_CloseOnExec(S.fifo);
    Msghand_Initialize(nullptr, S.fifo);
    Msghand_SetDefault(OnFrame, nullptr); // every frame, known or not, goes to the table

    std::string dabstone = Kernel_FindDabstone(S.dabstone.c_str());
    // The window's texts are in a resource file beside the program.
    if (size_t slash = dabstone.rfind('/'); slash != std::string::npos)
        setenv("XAPPLRESDIR", dabstone.substr(0, slash + 1).c_str(), 0);
    S.program = KernelLink_Spawn({dabstone, "sorbane", S.brush.empty() ? "NULL" : S.brush, S.image, "EDIT"});
    if (!S.program) {
        KernelLink_Say("can't start %s : %s", dabstone.c_str(), std::strerror(errno));
        CleanUp();
        return 1;
    }
    S.programRunning = true;
    if (int rc = KernelLink_OpenLog(
            S.log.c_str(),
            ("kernel " + std::to_string(S.pid) + " program " + std::to_string(S.program)).c_str()))
        KernelLink_Say("can't write log %s : %s", S.log.c_str(), std::strerror(rc));

    while (S.programRunning)
        Serve(-1);
    KernelLink_ReadFifo(S.fifo, "kernel fifo"); // the exit notice may still be waiting
    ReportProgramEnd();
    int status = ProgramExitCode();
    EndDisplay();
    if (!S.exportPng.empty() && !ExportPng() && status == 0)
        status = 1;
    if (status == 0 && S.displayStarted && (!WIFEXITED(S.displayWait) || WEXITSTATUS(S.displayWait) != 0))
        status = 1;
    CleanUp();
    KernelLink_CloseLog();
    return status;
}
