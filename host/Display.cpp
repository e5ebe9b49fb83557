// The display peer. The user's actions (from the window or from a script)
// are ScriptCommand records; RunCommand turns each into messages, so the
// window and a script send exactly the same frames.
#include "host/Display.h"

#include "core/Bytes.h"
#include "core/Fifo.h"
#include "core/Image.h"
#include "core/Misc.h"
#include "core/Msg.h"
#include "core/Msghand.h"
#include "host/DisplayWindow.h"
#include "host/KernelLink.h"
#include "host/Screenshot.h"
#include "host/Script.h"
#include "host/Shapes.h"
#include "host/Sorbane.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <functional>
#include <map>
#include <poll.h>
#include <string>
#include <unistd.h>
#include <vector>

namespace
{

constexpr int32_t STATE_BUTTON2 = 512;

// Toolbox description of 1033: one group at offset 4, its tools from 148.
constexpr int TOOLBOX_GROUPS = 0, TOOLBOX_GROUP = 4;
constexpr int GROUP_TOOL_COUNT = 144, GROUP_TOOLS = 148, TOOL_SIZE = 236;
constexpr int TOOL_INDEX = 0, TOOL_CALLBACK = 4, TOOL_CLIENT = 8;
constexpr int TOOL_SLOTS = 4;
constexpr int TOOLS = 3; // brush, fill, pipette

struct Tool {
    uint32_t callback, client;
};

struct Peer {
    int kernel = 0, program = 0, pid = 0;
    int fifo = -1, programFifo = -1, kernelFifo = -1;
    Image *image = nullptr;
    std::string path;
    DisplayWindow *window = nullptr;
    bool scripted = false;
    // What dabstone told us.
    bool haveToolbox = false;
    Tool tools[TOOLS] = {};
    bool motionForbidden = false;
    // What the user does.
    int tool = SCRIPT_TOOL_BRUSH;
    uint32_t rawHandle = 0;
    int held = 0;          // the button held down, 0 for none
    bool moveHeld = false; // a window motion held back by motion control
    int moveX = 0, moveY = 0;
    std::vector<Shape> shapes; // the selection; empty: the whole image
    // Each change of the shapes goes to the kernel with the next serial; a
    // 1043 is answered once the kernel has done the latest (its mask is
    // then in dabstone's FIFO before our 1041 records).
    int32_t shapesSent = 0, shapesDone = 0;
    bool selectionAsked = false;
    // Arrivals per code, and how many `wait` has taken.
    std::map<int32_t, long> arrived, taken;
    bool ended = false;       // the program left us, or the kernel said to end
    bool programGone = false; // do not write to the program any more
    bool refining = false;    // the window's picture is not final yet
};

Peer P;

// ---- Sending ----------------------------------------------------------------

void ToProgram(int32_t code, const void *payload, int length)
{
    if (!P.programGone)
        KernelLink_SendOrDrop(&P.programFifo, P.kernel, P.program, code, payload, length);
}

void ToKernel(int32_t code, const void *payload, int length)
{
    KernelLink_SendOrDrop(&P.kernelFifo, P.kernel, P.kernel, code, payload, length);
}

void SendPid(int32_t code, bool toKernel)
{
    unsigned char pid[MSG_PID_SIZE];
    Bytes_PutS32(pid, P.pid);
    if (toKernel)
        ToKernel(code, pid, sizeof pid);
    else
        ToProgram(code, pid, sizeof pid);
}

// 1008 and 1009: own id, then the image's path.
void SendDisplayPath(int32_t code)
{
    unsigned char p[MSG_DISPLAY_SIZE];
    Bytes_PutS32(p, P.pid);
    Msg_PutPath(p + MSG_DISPLAY_PATH, P.path.c_str());
    ToProgram(code, p, sizeof p);
}

int32_t ButtonMask(int button)
{
    return button == 1 ? MSG_STATE_BUTTON1 : button == 3 ? MSG_STATE_BUTTON3 : STATE_BUTTON2;
}

bool CurrentTool(Tool *out)
{
    if (P.tool == SCRIPT_TOOL_RAW) {
        *out = {P.rawHandle, 0};
        return true;
    }
    if (!P.haveToolbox)
        return false;
    *out = P.tools[P.tool];
    return true;
}

// One pointer event record (1037) naming the current tool.
void SendEvent(int32_t kind, int x, int y, int button, const int32_t rect[4] = nullptr, int32_t shown = 0,
               int32_t reset = 0)
{
    Tool t{};
    CurrentTool(&t);
    unsigned char ev[MSG_EVENT_SIZE] = {};
    Msg_PutWord(ev, MSG_EV_KIND, kind);
    Msg_PutWord(ev, MSG_EV_CALLBACK, int32_t(t.callback));
    Msg_PutWord(ev, MSG_EV_CLIENT, int32_t(t.client));
    Msg_PutWord(ev, MSG_EV_WINDOW, P.window ? int32_t(DisplayWindow_Id(P.window)) : 0);
    Msg_PutWord(ev, MSG_EV_X, x);
    Msg_PutWord(ev, MSG_EV_Y, y);
    Msg_PutWord(ev, MSG_EV_BUTTON, button);
    Msg_PutWord(ev, MSG_EV_STATE, button ? ButtonMask(button) : 0);
    if (rect) {
        for (int i = 0; i < 4; i++)
            Msg_PutWord(ev, MSG_EV_RECT_X + i, rect[i]);
        Msg_PutWord(ev, MSG_EV_FLAG1, shown);
        Msg_PutWord(ev, MSG_EV_FLAG2, reset);
    }
    ToProgram(MSG_POINTER, ev, sizeof ev);
}

void SendAction(int32_t action, int32_t target)
{
    unsigned char p[MSG_ACTION_SIZE] = {};
    Msg_PutPath(p, P.path.c_str());
    Bytes_PutS32(p + MSG_PATH_SIZE, action);
    Bytes_PutS32(p + MSG_PATH_SIZE + 4, 0);
    Bytes_PutS32(p + MSG_PATH_SIZE + 8, target);
    ToProgram(MSG_ACTION, p, sizeof p);
}

// ---- Messages received -----------------------------------------------------------

void OnToolbox(const unsigned char *p, const MsgHeader *h)
{
    if (h->length != MSG_TOOLBOX_SIZE || Bytes_GetS32(p + TOOLBOX_GROUPS) < 1) {
        KernelLink_Say("toolbox of %d bytes without a group ignored", int(h->length));
        return;
    }
    const unsigned char *group = p + TOOLBOX_GROUP;
    int32_t count = Bytes_GetS32(group + GROUP_TOOL_COUNT);
    for (int32_t i = 0; i < count && i < TOOL_SLOTS; i++) {
        const unsigned char *tool = group + GROUP_TOOLS + TOOL_SIZE * i;
        int32_t index = Bytes_GetS32(tool + TOOL_INDEX);
        if (index >= 0 && index < TOOLS)
            P.tools[index] = {Bytes_Get32(tool + TOOL_CALLBACK), Bytes_Get32(tool + TOOL_CLIENT)};
    }
    P.haveToolbox = true;
}

void SendHeldMove()
{
    if (!P.moveHeld || P.motionForbidden || !P.held)
        return;
    P.moveHeld = false;
    SendEvent(MSG_EVK_MOTION, P.moveX, P.moveY, P.held);
}

// 1038: modes 0 (a step is being painted) and -1 (a job without motion)
// forbid motion; 1 and 99 allow it again.
void OnMotionControl(const unsigned char *p, const MsgHeader *h)
{
    if (h->length < 4)
        return;
    const int32_t mode = Msg_Word(p, 0);
    P.motionForbidden = mode == MSG_MOTION_HOLD || mode == MSG_MOTION_NONE;
    SendHeldMove();
}

// 1042: the size of the brush position box is the cursor's size; both paths
// empty in a whole description take the cursor away.
void OnBrushCursor(const unsigned char *p, const MsgHeader *h)
{
    if (h->length != MSG_BRUSH_SIZE || !P.window)
        return;
    int32_t change = Bytes_GetS32(p + MSG_BR_CHANGE);
    int32_t width = Bytes_GetS32(p + MSG_BR_POS_BOX + 16), height = Bytes_GetS32(p + MSG_BR_POS_BOX + 20);
    if (change == MSG_BRC_ALL && !p[MSG_BR_PATH] && !p[MSG_BR_PATH2])
        DisplayWindow_SetBrush(P.window, 0, 0);
    else if (change == MSG_BRC_ALL || change == MSG_BRC_POSITION)
        DisplayWindow_SetBrush(P.window, width, height);
}

// The selection as 1041 records, the last with the more flag 0, once dabstone
// has asked (1043) and the kernel has written the mask of the latest shapes.
// Without a kernel to wait for, at once.
void AnswerSelection()
{
    if (P.kernelFifo < 0)
        P.shapesDone = P.shapesSent;
    if (!P.selectionAsked || P.shapesDone != P.shapesSent)
        return;
    P.selectionAsked = false;
    for (const ShapeRecord &r : Shapes_Records(P.shapes, Image_Width(P.image), Image_Height(P.image))) {
        unsigned char rec[MSG_SELECTION_SIZE];
        for (size_t k = 0; k < r.size(); k++)
            Bytes_PutS32(rec + 4 * k, r[k]);
        ToProgram(MSG_SELECTION, rec, sizeof rec);
    }
}

void OnAskSelection(const unsigned char *, const MsgHeader *)
{
    P.selectionAsked = true;
    AnswerSelection();
}

void OnShapesDone(const unsigned char *p, const MsgHeader *h)
{
    if (h->length != 4)
        return;
    P.shapesDone = Bytes_GetS32(p);
    AnswerSelection();
}

void OnRedraw(const unsigned char *p, const MsgHeader *h)
{
    if (h->length != MSG_RECT_SIZE || !P.window)
        return;
    DisplayWindow_Redraw(P.window, Bytes_GetS32(p), Bytes_GetS32(p + 4), Bytes_GetS32(p + 8),
                         Bytes_GetS32(p + 12));
}

// 2010 forwarded by the kernel: rows of our image changed (count 0: all).
void OnRowsChanged(const unsigned char *p, const MsgHeader *h)
{
    const std::string path = Msg_Path(p, h->length, 0);
    if (h->length != MSG_ROWS_SIZE || path.empty() || P.path != path || !P.window)
        return;
    int32_t first = Bytes_GetS32(p + MSG_PATH_SIZE), count = Bytes_GetS32(p + MSG_PATH_SIZE + 4);
    if (count == 0)
        DisplayWindow_Redraw(P.window, 0, 0, Image_Width(P.image), Image_Height(P.image));
    else
        DisplayWindow_Redraw(P.window, 0, first, Image_Width(P.image), count);
}

// 1003 from the program (it leaves us) or 1001 from the kernel (the session
// is over): either way the program is not to be written to any more.
void OnEnd(const unsigned char *, const MsgHeader *)
{
    P.programGone = true;
    P.ended = true;
}

void OnNothing(const unsigned char *, const MsgHeader *) {}

struct Receive {
    int32_t code;
    void (*handle)(const unsigned char *, const MsgHeader *);
};

const Receive receiveTable[] = {
    {MSG_HELLO, OnNothing},
    {MSG_DISPLAY_INIT, OnNothing},
    {MSG_TOOLBOX, OnToolbox},
    {MSG_MOTION, OnMotionControl},
    {MSG_BRUSH_CURSOR, OnBrushCursor},
    {MSG_ASK_SELECTION, OnAskSelection},
    {KERNEL_SHAPES_DONE, OnShapesDone},
    {MSG_REDRAW_NOW, OnRedraw},
    {MSG_REDRAW, OnRedraw},
    {MSG_ROWS_CHANGED, OnRowsChanged},
    {MSG_DISPLAY_LEAVE, OnEnd},
    {MSG_EXIT, OnEnd},
};

void OnFrame(const unsigned char *payload, const MsgHeader *h, void *)
{
    KernelLink_LogReceived(h, payload);
    P.arrived[h->code]++;
    for (const Receive &r : receiveTable)
        if (r.code == h->code) {
            r.handle(payload, h);
            return;
        }
}

// Waits up to timeoutMs (-1: no bound) for the FIFO or the X connection.
// The kernel's FIFO reports an error once its reader has gone: the kernel
// ended without telling us, and so do we. (When dabstone ends, the kernel
// tells us with 1001.)
void NoticeKernelGone(const struct pollfd &kernel)
{
    if (!(kernel.revents & (POLLERR | POLLHUP)))
        return;
    KernelLink_Say("the kernel has gone");
    Fifo_CloseWrite(P.kernel, P.kernel, P.kernelFifo);
    P.kernelFifo = -1;
    P.ended = true;
}

// The log tells when the window's picture has become final, for whoever
// reads the window back.
void NoteRefinement()
{
    const bool refining = DisplayWindow_Refining(P.window);
    if (P.refining && !refining)
        KernelLink_LogLine("picture final");
    P.refining = refining;
}

void Pump(int timeoutMs)
{
    struct pollfd fds[3] = {
        {P.fifo, POLLIN, 0}, {P.kernelFifo, 0, 0}, {P.window ? DisplayWindow_Fd(P.window) : -1, POLLIN, 0}};
    // Events Xlib has already read would not wake poll(); a refinement pass
    // due must not wait for an event either.
    const int timeout = P.window ? DisplayWindow_Timeout(P.window, timeoutMs) : timeoutMs;
    const bool queued = P.window && DisplayWindow_Pending(P.window); // after: the toolkit may read some
    const int ready = poll(fds, P.window ? 3 : 2, queued ? 0 : timeout);
    if (ready > 0 && (fds[0].revents & POLLIN))
        KernelLink_ReadFifo(P.fifo, "fifo");
    if (ready > 0)
        NoticeKernelGone(fds[1]);
    if (P.window && P.scripted) { // a window shown beside a script: drawn, not used
        std::vector<ScriptCommand> ignored;
        DisplayWindow_Poll(P.window, &ignored);
        NoteRefinement();
    }
}

// Pumps until the condition holds, the session ends, or seconds pass.
bool WaitFor(const std::function<bool()> &condition, int seconds)
{
    long long deadline = KernelLink_Now() + 1000LL * seconds;
    KernelLink_ReadFifo(P.fifo, "fifo");
    while (!condition()) {
        long long left = deadline - KernelLink_Now();
        if (P.ended || left <= 0)
            return false;
        Pump(int(left));
    }
    return true;
}

// ---- Commands --------------------------------------------------------------------------

// Shows the new shapes, tells dabstone that the selection it holds is
// stale (1016: its next job asks again with 1043) and hands the kernel the
// polygons for their mask.
void ShapesChanged()
{
    if (P.window)
        DisplayWindow_SetSelection(P.window, P.shapes);
    ToProgram(MSG_NO_MASK, nullptr, 0);
    const std::vector<unsigned char> payload = Shapes_Encode(++P.shapesSent, P.shapes);
    ToKernel(KERNEL_SHAPES, payload.data(), int(payload.size()));
}

// select, select all, polygon and the window's edits of one shape.
std::string EditShapes(const ScriptCommand &c)
{
    const int32_t *a = c.arg;
    const bool known = a[0] >= 0 && size_t(a[0]) < P.shapes.size();
    switch (c.op) {
    case SCRIPT_SELECT:
        P.shapes.push_back(Shape_Rect(a[0], a[1], a[2], a[3]));
        break;
    case SCRIPT_POLYGON:
        P.shapes.push_back({SHAPE_POLYGON, c.points});
        break;
    case SCRIPT_SELECT_ALL:
        if (P.shapes.empty())
            return ""; // the whole image already: nothing changes
        P.shapes.clear();
        break;
    case SCRIPT_SHAPE_SET:
        if (!known)
            return "no shape " + std::to_string(a[0]);
        P.shapes[size_t(a[0])] = {ShapeKind(a[1]), c.points};
        break;
    default:
        if (!known)
            return "no shape " + std::to_string(a[0]);
        P.shapes.erase(P.shapes.begin() + a[0]);
        break;
    }
    ShapesChanged();
    return "";
}

// Runs one command; an empty string, or why it could not run.
std::string RunCommand(const ScriptCommand &c)
{
    const int32_t *a = c.arg;
    Tool tool{};
    switch (c.op) {
    case SCRIPT_TOOL:
        P.tool = a[0];
        P.rawHandle = uint32_t(a[1]);
        return "";
    case SCRIPT_PRESS:
        if (P.held)
            return "press while button " + std::to_string(P.held) + " is held";
        if (!CurrentTool(&tool) &&
            !(P.scripted && WaitFor([] { return P.haveToolbox; }, SCRIPT_DEFAULT_WAIT)))
            return "no toolbox from dabstone";
        P.held = a[2];
        SendEvent(MSG_EVK_PRESS, a[0], a[1], P.held);
        return "";
    case SCRIPT_MOVE:
        if (!P.held)
            return "move without a pressed button";
        if (P.motionForbidden && !P.scripted) { // the latest position goes when motion is allowed
            P.moveHeld = true;
            P.moveX = a[0];
            P.moveY = a[1];
            return "";
        }
        if (!WaitFor([] { return !P.motionForbidden; }, SCRIPT_DEFAULT_WAIT))
            return "motion still forbidden after " + std::to_string(SCRIPT_DEFAULT_WAIT) + " s";
        SendEvent(MSG_EVK_MOTION, a[0], a[1], P.held);
        return "";
    case SCRIPT_RELEASE:
        if (!P.held)
            return "release without a pressed button";
        P.moveHeld = false;
        SendEvent(MSG_EVK_RELEASE, a[0], a[1], P.held);
        P.held = 0;
        return "";
    case SCRIPT_BRUSH: {
        int32_t rect[4] = {a[0], a[1], a[2], a[3]};
        SendEvent(MSG_EVK_BRUSH_RECT, a[0] + a[2] / 2, a[1] + a[3] / 2, 0, rect, 1, 0);
        return "";
    }
    case SCRIPT_UNBRUSH: {
        int32_t rect[4] = {};
        SendEvent(MSG_EVK_BRUSH_RECT, 0, 0, 0, rect, 0, 1);
        return "";
    }
    case SCRIPT_SELECT:
    case SCRIPT_SELECT_ALL:
    case SCRIPT_POLYGON:
    case SCRIPT_SHAPE_SET:
    case SCRIPT_SHAPE_DELETE:
        return EditShapes(c);
    case SCRIPT_UNDO:
        SendAction(MSG_ACTION_UNDO, MSG_APPLY_NONE);
        return "";
    case SCRIPT_APPLY: {
        int32_t target = a[0];
        if (target == SCRIPT_APPLY_FROM_TOOL)
            target = P.tool == SCRIPT_TOOL_FILL ? MSG_APPLY_FILL : MSG_APPLY_BRUSH;
        SendAction(MSG_ACTION_APPLY, target);
        return "";
    }
    case SCRIPT_PASTE: {
        unsigned char p[MSG_PASTE_SIZE];
        Msg_PutPath(p, c.path.c_str());
        Bytes_PutS32(p + MSG_PATH_SIZE, a[0]);
        ToProgram(MSG_PASTE, p, sizeof p);
        return "";
    }
    case SCRIPT_DROP: {
        unsigned char p[KERNEL_DROP_SIZE];
        Bytes_PutS32(p, a[0]);
        Msg_PutPath(p + 4, c.path.c_str());
        ToKernel(KERNEL_DROP, p, sizeof p);
        return "";
    }
    case SCRIPT_WAIT: {
        int32_t code = a[0];
        if (!WaitFor([code] { return P.arrived[code] > P.taken[code]; }, a[1]))
            return "no message " + std::to_string(code) + " within " + std::to_string(a[1]) + " s";
        P.taken[code]++;
        return "";
    }
    case SCRIPT_QUIT:
        SendDisplayPath(MSG_DISPLAY_CLOSE);
        ToKernel(KERNEL_END_SESSION, nullptr, 0);
        P.programGone = true;
        P.ended = true;
        return "";
    case SCRIPT_LEAVE:
        P.ended = true;
        return "";
    case SCRIPT_CLOSE: // we stay until the kernel ends the session: dabstone may refuse
        ToKernel(KERNEL_CLOSED, nullptr, 0);
        return "";
    case SCRIPT_VANISH:
        P.programGone = true; // no 1009: the program finds out when it writes
        P.ended = true;
        return "";
    case SCRIPT_SETTINGS: {
        unsigned char p[MSG_SETTINGS_IN_SIZE] = {}; // status 0, then the record
        for (size_t i = 0; i < c.settings.size(); i++)
            Bytes_PutS32(p + 4 + 4 * i, c.settings[i]);
        ToProgram(MSG_SETTINGS, p, sizeof p);
        return "";
    }
    case SCRIPT_ZOOM: // only what the window shows: script coordinates stay image pixels
        if (P.window)
            DisplayWindow_SetZoom(P.window, a[0], a[1]);
        return "";
    case SCRIPT_SCREENSHOT: {
        if (P.window && !c.arg[0]) {
            DisplayWindow_PlaceBeside(P.window);
            Pump(0);
            if (!WaitFor([] { return !DisplayWindow_Refining(P.window); }, SCRIPT_DEFAULT_WAIT))
                return "the picture is still being refined after " + std::to_string(SCRIPT_DEFAULT_WAIT) +
                       " s";
        }
        if (P.window)
            DisplayWindow_Sync(P.window);
        std::string reason;
        if (int rc = Screenshot_Write(c.path.c_str(), &reason))
            return "can't take the screenshot " + c.path + " : " +
                   (reason.empty() ? Sorbane_ErrorText(rc) : reason);
        return "";
    }
    }
    return "";
}

int RunScript(const std::vector<ScriptCommand> &commands)
{
    for (const ScriptCommand &c : commands) {
        KernelLink_ReadFifo(P.fifo, "fifo");
        if (P.ended)
            break;
        std::string problem = RunCommand(c);
        if (P.ended)
            break; // the session ended under a waiting command: nothing went wrong
        if (!problem.empty()) {
            KernelLink_Say("script line %d: %s", c.line, problem.c_str());
            return 1;
        }
    }
    return 0;
}

// The X server went away: the goodbyes of the end of a session, without X.
void LostDisplay()
{
    KernelLink_Say("lost the X display; the display ends");
    if (!P.programGone && P.programFifo >= 0)
        SendDisplayPath(MSG_DISPLAY_CLOSE);
    if (P.kernelFifo >= 0)
        SendPid(KERNEL_DISPLAY_BYE, true);
    if (P.fifo >= 0)
        Fifo_CloseRead(P.kernel, P.pid, P.fifo);
    KernelLink_CloseLog();
}

void RunWindow()
{
    while (!P.ended) {
        std::vector<ScriptCommand> commands;
        DisplayWindow_Poll(P.window, &commands);
        NoteRefinement();
        for (const ScriptCommand &c : commands) {
            std::string problem = RunCommand(c);
            if (!problem.empty())
                KernelLink_Say("%s", problem.c_str());
            if (P.ended)
                return;
        }
        Pump(-1);
    }
}

int Fail(const char *what, const char *text)
{
    KernelLink_Say("%s : %s", what, text);
    return 1;
}

} // namespace

int Display_Main(int argc, char **argv)
{
    Misc_SetProgramName("sorbane: display");
    std::string kernel, program, script, log;
    bool show = false;
    const KernelLinkOption options[] = {{"--kernel", &kernel, nullptr},
                                        {"--program", &program, nullptr},
                                        {"--script", &script, nullptr},
                                        {"--log", &log, nullptr},
                                        {"--show", nullptr, &show}};
    std::string problem = KernelLink_ParseOptions(argc - 1, argv + 1, options, std::size(options), &P.path);
    if (problem.empty() && (P.path.empty() || program.empty()))
        problem = "an image and --program are needed";
    if (!problem.empty()) {
        KernelLink_Say("%s", problem.c_str());
        return Sorbane_Usage("display");
    }
    P.path = KernelLink_AbsolutePath(P.path); // compared with dabstone's as text
    P.kernel = kernel.empty() ? int(getppid()) : std::atoi(kernel.c_str());
    P.program = std::atoi(program.c_str());
    P.pid = int(getpid());
    P.scripted = !script.empty();
    std::vector<ScriptCommand> commands;
    if (P.scripted) {
        std::string error;
        if (Script_Load(script.c_str(), &commands, &error) != 0)
            return Fail(script.c_str(), error.c_str());
    }
    signal(SIGPIPE, SIG_IGN);
    if (int rc = Image_OpenReadImage(&P.image, P.path.c_str()))
        return Fail(("can't open image " + P.path).c_str(), Sorbane_ErrorText(rc));
    if (!P.scripted || show) {
        if (int rc = DisplayWindow_Open(P.image, ("sorbane display: " + P.path).c_str(), &P.window))
            return Fail("can't open the window",
                        rc == 1079 ? "no 24-bit TrueColor or 8-bit PseudoColor visual" : "no X display");
        DisplayWindow_PlaceBeside(P.window); // dabstone's window is up: not on top of it
        DisplayWindow_OnLost(LostDisplay);
    }
    P.fifo = Fifo_OpenRead(P.kernel, P.pid);
    if (P.fifo < 0)
        return Fail(Fifo_Name(P.kernel, P.pid), std::strerror(errno));
    P.kernelFifo = Fifo_OpenWrite(P.kernel, P.kernel);
    P.programFifo = Fifo_OpenWrite(P.kernel, P.program);
    int status = 0;
    if (P.kernelFifo < 0 || P.programFifo < 0) {
        status = Fail("can't reach the kernel or dabstone", std::strerror(errno));
    } else {
        if (int rc = KernelLink_OpenLog(log.c_str(),
                                        ("display " + std::to_string(P.pid) + " kernel " +
                                         std::to_string(P.kernel) + " program " + std::to_string(P.program))
                                            .c_str()))
            KernelLink_Say("can't write log %s : %s", log.c_str(), std::strerror(rc));
        if (P.window)
            KernelLink_LogLine("window %lu", DisplayWindow_Id(P.window));
        Msghand_Initialize(nullptr, P.fifo);
        Msghand_SetDefault(OnFrame, nullptr); // every frame is logged and counted
        SendPid(KERNEL_DISPLAY_HELLO, true);
        SendDisplayPath(MSG_DISPLAY_CONNECT);
        if (P.scripted)
            status = RunScript(commands);
        else
            RunWindow();
        if (!P.programGone)
            SendDisplayPath(MSG_DISPLAY_CLOSE);
        SendPid(KERNEL_DISPLAY_BYE, true);
    }
    if (P.programFifo >= 0)
        Fifo_CloseWrite(P.kernel, P.program, P.programFifo);
    if (P.kernelFifo >= 0)
        Fifo_CloseWrite(P.kernel, P.kernel, P.kernelFifo);
    Msghand_Forget(P.fifo);
    Fifo_CloseRead(P.kernel, P.pid, P.fifo);
    DisplayWindow_Close(P.window);
    Image_CloseImage(P.image);
    KernelLink_CloseLog();
    return status;
}
