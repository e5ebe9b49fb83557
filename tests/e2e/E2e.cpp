#include "tests/e2e/E2e.h"

#include "core/Bytes.h"
#include "core/Fifo.h"
#include "core/Image.h"
#include "core/Msg.h"
#include "core/Msghand.h"

#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <poll.h>
#include <sstream>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace e2e
{

namespace
{
constexpr int kTick = 5; // ms between looks at a state that cannot be waited on
} // namespace

std::string BinDir()
{
    const char *env = std::getenv("DAB_BIN_DIR");
    return env && *env ? env : DAB_BIN_DIR;
}
std::string SorbanePath()
{
    return BinDir() + "/host/sorbane";
}
std::string DabstonePath()
{
    return BinDir() + "/app/dabstone";
}

bool WaitUntil(const std::function<bool()> &cond, int seconds)
{
    for (int waited = 0; waited < seconds * 1000; waited += kTick) {
        if (cond())
            return true;
        poll(nullptr, 0, kTick);
    }
    return cond();
}

TempDir::TempDir()
{
    char tmpl[] = "/tmp/dab-e2e-XXXXXX";
    char *made = mkdtemp(tmpl);
    path = made ? made : "/tmp";
}

TempDir::~TempDir()
{
    std::error_code ec;
    if (path != "/tmp")
        std::filesystem::remove_all(path, ec);
}

std::string ReadFile(const std::string &path)
{
    std::ifstream f(path, std::ios::binary);
    std::stringstream s;
    s << f.rdbuf();
    return s.str();
}

void WriteFile(const std::string &path, const std::string &text)
{
    std::ofstream f(path, std::ios::binary);
    f << text;
}

bool Exists(const std::string &path)
{
    struct stat st;
    return lstat(path.c_str(), &st) == 0;
}

std::string MakeImage(const std::string &dir, int width, int height, int mode, int bits, int alpha)
{
    Image_Init(dir.c_str(), nullptr, nullptr);
    unsigned char info[IMAGE_INFO_SIZE];
    Image_MakeInfo(info, width, height, mode, bits, alpha);
    Image *image = nullptr;
    if (Image_CreateImage(&image, info) != 0)
        return "";
    for (int p = 0; p < Image_Planes(image); p++)
        for (int y = 0; y < height; y++)
            for (int x = 0; x < width; x++)
                Image_SetSample(image, p, x, y, uint32_t((x + 3 * y + 7 * p) & 255));
    std::string path = Image_Path(image);
    Image_CloseImage(image);
    return path;
}

bool EditImage(const std::string &path, const std::function<void(Image *)> &edit)
{
    Image *image = nullptr;
    if (Image_OpenImage(&image, path.c_str()) != 0)
        return false;
    edit(image);
    return Image_CloseImage(image) == 0;
}

void WriteSettings(const std::string &path, std::initializer_list<std::pair<int, int32_t>> words)
{
    std::vector<int32_t> r(MSG_SETTINGS_WORDS, 0);
    r[0] = MSG_SETTINGS_MAGIC;
    r[SET_WIDTH] = r[SET_HEIGHT] = 31, r[SET_OPACITY] = 100, r[SET_SPACING] = 25;
    r[SET_COLOUR] = 2; // RGB, all components 0
    r[SET_DITHERING] = 1;
    for (auto [word, value] : words)
        r[size_t(word)] = value;
    std::string bytes(MSG_SETTINGS_SIZE, '\0');
    for (size_t i = 0; i < r.size(); i++)
        Bytes_PutS32(reinterpret_cast<unsigned char *>(&bytes[4 * i]), r[i]);
    WriteFile(path, bytes);
}

uint32_t Sample(const std::string &path, int plane, int x, int y)
{
    Image *img = nullptr;
    if (Image_OpenReadImage(&img, path.c_str()) != 0)
        return 0xFFFFFFFFu;
    uint32_t v = Image_GetSample(img, plane, x, y);
    Image_CloseImage(img);
    return v;
}

std::vector<unsigned char> Planes(const std::string &path)
{
    Image *img = nullptr;
    if (Image_OpenReadImage(&img, path.c_str()) != 0)
        return {};
    std::vector<unsigned char> out;
    for (int p = 0; p < Image_Planes(img); ++p)
        for (int y = 0; y < Image_Height(img); ++y) {
            const unsigned char *row = Image_Row(img, p, y);
            out.insert(out.end(), row, row + Image_PlaneBytesPerRow(img, p));
        }
    Image_CloseImage(img);
    return out;
}

testing::AssertionResult PatternOutside(const std::string &path, const std::vector<Rect> &rects)
{
    Image *img = nullptr;
    if (Image_OpenReadImage(&img, path.c_str()) != 0)
        return testing::AssertionFailure() << "can't open " << path;
    testing::AssertionResult result = testing::AssertionSuccess();
    for (int p = 0; p < Image_Planes(img) && result; ++p)
        for (int y = 0; y < Image_Height(img) && result; ++y)
            for (int x = 0; x < Image_Width(img) && result; ++x) {
                bool inside = false;
                for (const Rect &r : rects)
                    inside |= x >= r.x1 && x <= r.x2 && y >= r.y1 && y <= r.y2;
                uint32_t v = Image_GetSample(img, p, x, y);
                if (!inside && v != uint32_t((x + 3 * y + 7 * p) & 255))
                    result = testing::AssertionFailure()
                             << "plane " << p << " at " << x << "," << y << ": " << v;
            }
    Image_CloseImage(img);
    return result;
}

// ---- Processes ------------------------------------------------------------------

bool Child::Start(const std::vector<std::string> &argv, const std::string &dir,
                  const std::vector<std::string> &env)
{
    static int serial = 0;
    std::string stem = dir + "/child" + std::to_string(++serial);
    outPath = stem + ".out";
    errPath = stem + ".err";
    std::vector<char *> args;
    for (const std::string &a : argv)
        args.push_back(const_cast<char *>(a.c_str()));
    args.push_back(nullptr);
    fflush(nullptr);
    pid = fork();
    if (pid < 0)
        return false;
    if (pid == 0) {
        int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
        int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
        dup2(out, 1);
        dup2(err, 2);
        for (const std::string &x : env) {
            std::string name = x.substr(0, x.find('='));
            if (x.back() == '=')
                unsetenv(name.c_str());
            else
                setenv(name.c_str(), x.c_str() + name.size() + 1, 1);
        }
        if (chdir(dir.c_str()) != 0)
            _exit(127);
        execv(args[0], args.data());
        _exit(127);
    }
    return true;
}

bool Child::Wait(int seconds)
{
    if (!ended && pid > 0)
        ended = WaitGone(pid, seconds, &status);
    return ended;
}

int Child::ExitCode() const
{
    if (!ended)
        return -1000;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

// A test that stopped half-way leaves nothing running: asked first (a kernel
// then ends its session in order), then killed.
Child::~Child()
{
    if (pid <= 0 || ended)
        return;
    kill(pid, SIGTERM);
    if (!Wait(kBound)) {
        kill(pid, SIGKILL);
        Wait(kBound);
    }
}

bool WaitGone(pid_t pid, int seconds, int *status)
{
    int st = 0;
    bool gone = WaitUntil(
        [&] {
            pid_t r = waitpid(pid, &st, WNOHANG);
            return r == pid || (r < 0 && errno == ECHILD && kill(pid, 0) != 0);
        },
        seconds);
    if (status)
        *status = st;
    return gone;
}

void BecomeSubreaper()
{
    prctl(PR_SET_CHILD_SUBREAPER, 1);
}

// ---- Frame logs -------------------------------------------------------------------

int32_t Frame::Word(size_t offset) const
{
    return offset + 4 <= payload.size() ? Bytes_GetS32(&payload[offset]) : INT32_MIN;
}

std::string Frame::Text(size_t offset) const
{
    std::string s;
    for (size_t i = offset; i < payload.size() && payload[i]; i++)
        s += char(payload[i]);
    return s;
}

std::vector<std::string> FrameLog::Lines() const
{
    std::string text = ReadFile(path);
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t nl; (nl = text.find('\n', start)) != std::string::npos; start = nl + 1)
        lines.push_back(text.substr(start, nl - start));
    return lines;
}

std::vector<Frame> FrameLog::Frames() const
{
    std::vector<Frame> frames;
    for (const std::string &line : Lines()) {
        std::istringstream in(line);
        std::string dir, peerWord, auxWord, lenWord, hex;
        Frame f;
        int length = 0;
        if (!(in >> dir >> f.code >> peerWord >> f.peer >> auxWord >> f.aux >> lenWord >> length))
            continue;
        if (dir != "sent" && dir != "recv")
            continue;
        f.sent = dir == "sent";
        in >> hex;
        for (size_t i = 0; i + 1 < hex.size(); i += 2)
            f.payload.push_back(static_cast<unsigned char>(std::stoi(hex.substr(i, 2), nullptr, 16)));
        if (int(f.payload.size()) == length)
            frames.push_back(f);
    }
    return frames;
}

int FrameLog::Pid(const std::string &word) const
{
    std::vector<std::string> lines = Lines();
    if (lines.empty())
        return 0;
    std::istringstream in(lines[0]);
    for (std::string w; in >> w;)
        if (w == word) {
            int pid = 0;
            in >> pid;
            return pid;
        }
    return 0;
}

unsigned long FrameLog::Window() const
{
    for (const std::string &line : Lines())
        if (line.rfind("window ", 0) == 0)
            return std::stoul(line.substr(7));
    return 0;
}

std::vector<Frame> FrameLog::Received(int from) const
{
    std::vector<Frame> out;
    for (const Frame &f : Frames())
        if (!f.sent && (from == 0 || f.peer == from))
            out.push_back(f);
    return out;
}

std::vector<Frame> FrameLog::Sent(int32_t code) const
{
    std::vector<Frame> out;
    for (const Frame &f : Frames())
        if (f.sent && (code == 0 || f.code == code))
            out.push_back(f);
    return out;
}

int FrameLog::Count(bool sent, int32_t code, const std::function<bool(const Frame &)> &also) const
{
    int n = 0;
    for (const Frame &f : Frames())
        n += f.sent == sent && f.code == code && (!also || also(f));
    return n;
}

bool FrameLog::Has(bool sent, int32_t code, int count) const
{
    return Count(sent, code) >= count;
}

bool FrameLog::HasPath(bool sent, int32_t code, const std::string &path) const
{
    return Count(sent, code, [&](const Frame &f) { return f.Text(0) == path; }) > 0;
}

bool FrameLog::WaitFor(bool sent, int32_t code, int count, int seconds) const
{
    return WaitUntil([&] { return Has(sent, code, count); }, seconds);
}

// ---- Sessions -----------------------------------------------------------------------

bool Session::Start(const std::vector<std::string> &args, const std::vector<std::string> &env)
{
    if (image.empty())
        image = MakeImage(dir.path, 64, 48, IMAGE_MODE_RGB, 8, 1);
    log.path = dir.File("kernel.log");
    displayLog.path = dir.File("display.log");
    if (settings.empty())
        settings = dir.File("settings");
    std::vector<std::string> argv = {
        SorbanePath(),   "run",           image,        "--store", dir.path,     "--log",       log.path,
        "--display-log", displayLog.path, "--settings", settings,  "--dabstone", DabstonePath()};
    argv.insert(argv.end(), args.begin(), args.end());
    if (!kernel.Start(argv, dir.path, env))
        return false;
    kernelPid = kernel.pid;
    if (!WaitUntil([&] { return log.Pid("program") != 0 || (kernel.Wait(0) && kernel.ended); }))
        return false;
    programPid = log.Pid("program");
    return programPid != 0;
}

std::string Session::ProgramFifo() const
{
    return Fifo_Name(kernelPid, programPid);
}
std::string Session::KernelFifo() const
{
    return Fifo_Name(kernelPid, kernelPid);
}

std::string Session::Script(const std::string &text)
{
    script = dir.File("script");
    WriteFile(script, text);
    return script;
}

bool Session::Ready() const
{
    return log.WaitFor(true, MSG_SETTINGS);
}

int Session::Finish(int seconds)
{
    if (!kernel.Wait(seconds))
        return -1000;
    return kernel.ExitCode();
}

int Session::QuitByKernel()
{
    kill(kernelPid, SIGTERM);
    return Finish();
}

int32_t Session::NoticeStatus() const
{
    for (const Frame &f : log.Received(programPid))
        if (f.code == MSG_EXIT && f.payload.size() == 4)
            return f.Word(0);
    return INT32_MIN;
}

unsigned long Session::MainWindow() const
{
    // dabstone names its window before its X requests have reached the server.
    for (const Frame &f : log.Received(programPid))
        if (f.code == MSG_DROP_WINDOW) {
            unsigned long window = uint32_t(f.Word(0));
            return WaitUntil([&] { return WindowExists(window); }) ? window : 0;
        }
    return 0;
}

bool Session::ToProgram(int32_t code, const std::vector<unsigned char> &payload) const
{
    return WriteFifo(ProgramFifo(), RawFrame(kernelPid, code, 0, int32_t(payload.size()), payload));
}

bool Session::ToKernel(int32_t code, const std::vector<unsigned char> &payload) const
{
    return WriteFifo(KernelFifo(), RawFrame(programPid, code, 0, int32_t(payload.size()), payload));
}

bool Session::ToDisplay(int32_t code, const std::vector<unsigned char> &payload) const
{
    std::string fifo = Fifo_Name(kernelPid, displayLog.Pid("display"));
    return WriteFifo(fifo, RawFrame(programPid, code, 0, int32_t(payload.size()), payload));
}

// ---- Fake display ---------------------------------------------------------------------

namespace
{
// The open fake display, where the link's reader (one routine for all)
// puts the frames read (tests may call Msghand_ReadAll on its FIFO too).
FakeDisplay *openDisplay = nullptr;

void Collect(const unsigned char *payload, const MsgHeader *h, void *)
{
    if (!openDisplay)
        return;
    Frame f;
    f.code = h->code;
    f.peer = h->sender;
    f.aux = h->aux;
    f.payload.assign(payload, payload + h->length);
    openDisplay->got.push_back(f);
}
} // namespace

bool FakeDisplay::Open(int kernelPid, int programPid)
{
    kernel = kernelPid;
    program = programPid;
    pid = getpid();
    signal(SIGPIPE, SIG_IGN);
    fifo = Fifo_OpenRead(kernel, pid);
    programFifo = Fifo_OpenWrite(kernel, program);
    if (fifo < 0 || programFifo < 0)
        return false;
    Msghand_Initialize(nullptr, fifo);
    Msghand_SetDefault(Collect, nullptr);
    openDisplay = this;
    return true;
}

bool FakeDisplay::Connect(const std::string &path)
{
    std::vector<unsigned char> p = Words({pid});
    Append(p, PathField(path));
    Send(MSG_DISPLAY_CONNECT, p);
    return WaitCode(MSG_TOOLBOX) && WaitCode(MSG_BRUSH_CURSOR);
}

void FakeDisplay::Send(int32_t code, const std::vector<unsigned char> &payload)
{
    Msg_write(programFifo, code, 0, payload.data(), int(payload.size()));
}

bool FakeDisplay::WaitFor(const std::function<bool()> &cond, int seconds)
{
    return WaitUntil(
        [&] {
            if (fifo >= 0)
                Msghand_ReadAll(fifo);
            return cond();
        },
        seconds);
}

bool FakeDisplay::WaitCode(int32_t code, int count, int seconds)
{
    return WaitFor([&] { return Count(code) >= count; }, seconds);
}

int FakeDisplay::Count(int32_t code, const std::function<bool(const Frame &)> &also) const
{
    return int(std::count_if(got.begin(), got.end(),
                             [&](const Frame &f) { return f.code == code && (!also || also(f)); }));
}

const Frame *FakeDisplay::Last(int32_t code) const
{
    for (auto it = got.rbegin(); it != got.rend(); ++it)
        if (it->code == code)
            return &*it;
    return nullptr;
}

uint32_t ToolboxHandle(const Frame &toolbox, int tool)
{
    return uint32_t(toolbox.Word(4 + 148 + 236 * size_t(tool) + 4)); // group at 4, tools from 148
}

uint32_t FakeDisplay::ToolHandle(int index) const
{
    const Frame *toolbox = Last(MSG_TOOLBOX);
    return toolbox ? ToolboxHandle(*toolbox, index) : 0;
}

void FakeDisplay::Vanish()
{
    if (fifo >= 0) {
        Msghand_Forget(fifo);
        Fifo_CloseRead(kernel, pid, fifo);
    }
    fifo = -1;
}

FakeDisplay::~FakeDisplay()
{
    Vanish();
    if (programFifo >= 0)
        close(programFifo);
    if (openDisplay == this)
        openDisplay = nullptr;
    Msghand_SetDefault(nullptr, nullptr);
}

// ---- Bytes ------------------------------------------------------------------------------

std::vector<unsigned char> Words(std::initializer_list<int32_t> words)
{
    std::vector<unsigned char> out(4 * words.size());
    size_t i = 0;
    for (int32_t w : words)
        Bytes_PutS32(&out[4 * i++], w);
    return out;
}

std::vector<unsigned char> PathField(const std::string &path, size_t size)
{
    std::vector<unsigned char> out(size, 0);
    std::memcpy(out.data(), path.data(), std::min(path.size(), size - 1));
    return out;
}

std::vector<unsigned char> PathWords(const std::string &path, std::initializer_list<int32_t> words)
{
    std::vector<unsigned char> out = PathField(path);
    Append(out, Words(words));
    return out;
}

void Append(std::vector<unsigned char> &to, const std::vector<unsigned char> &more)
{
    to.insert(to.end(), more.begin(), more.end());
}

std::vector<unsigned char> RawFrame(int32_t sender, int32_t code, int32_t aux, int32_t length,
                                    const std::vector<unsigned char> &payload)
{
    std::vector<unsigned char> out = Words({sender, code, aux, length});
    Append(out, payload);
    return out;
}

bool WriteFifo(const std::string &path, const std::vector<unsigned char> &bytes)
{
    int fd = open(path.c_str(), O_WRONLY | O_NONBLOCK);
    if (fd < 0)
        return false;
    fcntl(fd, F_SETFL, 0);
    bool ok = write(fd, bytes.data(), bytes.size()) == ssize_t(bytes.size());
    close(fd);
    return ok;
}

int Count(const std::string &s, const std::string &text)
{
    int n = 0;
    for (size_t at = s.find(text); at != std::string::npos; at = s.find(text, at + text.size()))
        n++;
    return n;
}

namespace
{
// Runs act on the test's one connection to $DISPLAY (opened once and kept:
// a connection per look, many a second, would crowd the server's queue and
// turn away the programs under test); none when there is no display.
// A request on a window that is gone, or not there yet, fails quietly: the
// helpers' results say so, the test process goes on.
int IgnoreXError(Display *, XErrorEvent *)
{
    return 0;
}

Display *OpenDisplay()
{
    XSetErrorHandler(IgnoreXError);
    return XOpenDisplay(nullptr);
}

} // namespace

Display *TestDisplay()
{
    // Reopened when a test moves to another server ($DISPLAY changed).
    static Display *dpy = nullptr;
    static std::string name;
    const char *now = getenv("DISPLAY");
    if (!dpy || name != (now ? now : "")) {
        if (dpy)
            XCloseDisplay(dpy);
        dpy = OpenDisplay();
        name = now ? now : "";
    }
    return dpy;
}

namespace
{

template <typename T> T WithDisplay(T none, const std::function<T(Display *)> &act)
{
    Display *dpy = TestDisplay();
    if (!dpy)
        return none;
    T result = act(dpy);
    XSync(dpy, False);
    return result;
}

// Lets fill() complete the event, sends it to window.
bool SendEvent(unsigned long window, long mask, const std::function<void(Display *, XEvent &)> &fill)
{
    return WithDisplay<bool>(false, [&](Display *dpy) {
        XEvent e{};
        fill(dpy, e);
        e.xany.window = window;
        return XSendEvent(dpy, window, False, mask, &e) != 0;
    });
}

// A key, button or motion event (their records share one layout; detail
// is the button or the key's symbol) sent to window.
bool SendInput(unsigned long window, int type, unsigned long detail, int x, int y, unsigned state)
{
    long mask = type == ButtonPress     ? ButtonPressMask
                : type == ButtonRelease ? ButtonReleaseMask
                : type == MotionNotify  ? PointerMotionMask
                                        : KeyPressMask;
    return SendEvent(window, mask, [&](Display *dpy, XEvent &e) {
        XButtonEvent &b = e.xbutton;
        b.type = type;
        b.root = DefaultRootWindow(dpy);
        b.time = CurrentTime;
        b.x = b.x_root = x;
        b.y = b.y_root = y;
        b.state = state;
        b.same_screen = True;
        if (type == KeyPress)
            e.xkey.keycode = XKeysymToKeycode(dpy, detail);
        else if (type != MotionNotify)
            b.button = unsigned(detail);
    });
}

std::vector<WindowBox> Viewable(Display *dpy, Window window)
{
    std::vector<WindowBox> out;
    Window root = 0, parent = 0, *children = nullptr;
    unsigned count = 0;
    if (!XQueryTree(dpy, window, &root, &parent, &children, &count))
        return out;
    for (unsigned i = 0; i < count; i++) {
        XWindowAttributes a;
        if (XGetWindowAttributes(dpy, children[i], &a) && a.map_state == IsViewable)
            out.push_back({children[i], a.x, a.y, a.width, a.height});
    }
    XFree(children);
    return out;
}

// Moves the pointer to (x, y) of window, then lets act() send the input.
bool FakeAt(unsigned long window, int x, int y, const std::function<void(Display *)> &act)
{
    return WithDisplay<bool>(false, [&](Display *dpy) {
        int event, error, major, minor;
        Window child = 0;
        int rx = 0, ry = 0;
        if (!XTestQueryExtension(dpy, &event, &error, &major, &minor) ||
            !XTranslateCoordinates(dpy, window, DefaultRootWindow(dpy), x, y, &rx, &ry, &child))
            return false;
        XTestFakeMotionEvent(dpy, DefaultScreen(dpy), rx, ry, CurrentTime);
        XSync(dpy, False);
        act(dpy);
        return true;
    });
}

// A key pressed and released, Shift held around it when shift.
void FakeKey(Display *dpy, unsigned long keysym, bool shift)
{
    KeyCode code = XKeysymToKeycode(dpy, keysym), shiftCode = XKeysymToKeycode(dpy, XK_Shift_L);
    if (shift)
        XTestFakeKeyEvent(dpy, shiftCode, True, CurrentTime);
    XTestFakeKeyEvent(dpy, code, True, CurrentTime);
    XTestFakeKeyEvent(dpy, code, False, CurrentTime);
    if (shift)
        XTestFakeKeyEvent(dpy, shiftCode, False, CurrentTime);
}

} // namespace

bool SendWmDelete(unsigned long window)
{
    return SendEvent(window, NoEventMask, [&](Display *dpy, XEvent &e) {
        e.xclient.type = ClientMessage;
        e.xclient.message_type = XInternAtom(dpy, "WM_PROTOCOLS", False);
        e.xclient.format = 32;
        e.xclient.data.l[0] = long(XInternAtom(dpy, "WM_DELETE_WINDOW", False));
        e.xclient.data.l[1] = CurrentTime;
    });
}

bool SendButton(unsigned long window, bool press, int button, int x, int y, unsigned state)
{
    return SendInput(window, press ? ButtonPress : ButtonRelease, unsigned(button), x, y, state);
}

bool SendMotion(unsigned long window, int x, int y, unsigned state)
{
    return SendInput(window, MotionNotify, 0, x, y, state);
}

bool SendKey(unsigned long window, unsigned long keysym, unsigned state)
{
    return SendInput(window, KeyPress, keysym, 1, 1, state);
}

bool MoveWindow(unsigned long window, int x, int y)
{
    return WithDisplay<bool>(false, [&](Display *dpy) {
        if (x < 0 || y < 0) { // from the bottom right corner
            x += DisplayWidth(dpy, DefaultScreen(dpy));
            y += DisplayHeight(dpy, DefaultScreen(dpy));
        }
        XMoveWindow(dpy, window, x, y);
        XRaiseWindow(dpy, window);
        return true;
    });
}

bool WindowExists(unsigned long window)
{
    return WithDisplay<bool>(false, [window](Display *dpy) {
        XWindowAttributes a;
        return XGetWindowAttributes(dpy, window, &a) != 0;
    });
}

std::vector<WindowBox> ViewableChildren(unsigned long window)
{
    return WithDisplay<std::vector<WindowBox>>({}, [window](Display *dpy) { return Viewable(dpy, window); });
}

unsigned long DialogOf(unsigned long owner)
{
    return WithDisplay<unsigned long>(0, [owner](Display *dpy) {
        for (const WindowBox &top : Viewable(dpy, DefaultRootWindow(dpy))) {
            Window over = 0;
            if (XGetTransientForHint(dpy, top.id, &over) && over == owner)
                return top.id;
        }
        return 0ul;
    });
}

bool PointerTo(unsigned long window, int x, int y)
{
    return FakeAt(window, x, y, [](Display *) {});
}

bool ClickAt(unsigned long window, int x, int y, int button)
{
    return FakeAt(window, x, y, [button](Display *dpy) {
        XTestFakeButtonEvent(dpy, unsigned(button), True, CurrentTime);
        XTestFakeButtonEvent(dpy, unsigned(button), False, CurrentTime);
    });
}

bool PressAt(unsigned long window, int x, int y, int button)
{
    return FakeAt(window, x, y,
                  [button](Display *dpy) { XTestFakeButtonEvent(dpy, unsigned(button), True, CurrentTime); });
}

bool ReleaseButton(int button, unsigned long afterMs)
{
    return WithDisplay<bool>(false, [button, afterMs](Display *dpy) {
        return XTestFakeButtonEvent(dpy, unsigned(button), False, afterMs) != 0;
    });
}

bool TypeAt(unsigned long window, int x, int y, unsigned long keysym)
{
    return FakeAt(window, x, y, [keysym](Display *dpy) { FakeKey(dpy, keysym, false); });
}

bool TypeKey(unsigned long keysym, bool shift)
{
    return WithDisplay<bool>(false, [&](Display *dpy) {
        FakeKey(dpy, keysym, shift);
        return true;
    });
}

bool TypeText(const std::string &text)
{
    return WithDisplay<bool>(false, [&](Display *dpy) {
        for (unsigned char c : text) {
            // Printable Latin-1 keysyms are the characters' codes; a key
            // whose plain symbol is another one gives this one shifted.
            KeyCode code = XKeysymToKeycode(dpy, c);
            if (c < 0x20 || c > 0x7e || !code)
                return false;
            FakeKey(dpy, c, XkbKeycodeToKeysym(dpy, code, 0, 0) != c);
        }
        return true;
    });
}

std::vector<uint32_t> GrabWindow(unsigned long window, int width, int height)
{
    return WithDisplay<std::vector<uint32_t>>({}, [&](Display *dpy) {
        std::vector<uint32_t> rgb;
        // A window that is not viewable yet cannot be read (BadMatch): no pixels.
        XImage *image = XGetImage(dpy, window, 0, 0, unsigned(width), unsigned(height), AllPlanes, ZPixmap);
        if (!image)
            return rgb;
        auto channel = [](unsigned long pixel, unsigned long mask) {
            return uint32_t((pixel & mask) >> __builtin_ctzl(mask)) & 0xff;
        };
        for (int y = 0; y < height; y++)
            for (int x = 0; x < width; x++) {
                unsigned long p = XGetPixel(image, x, y);
                rgb.push_back(channel(p, image->red_mask) << 16 | channel(p, image->green_mask) << 8 |
                              channel(p, image->blue_mask));
            }
        XDestroyImage(image);
        return rgb;
    });
}

} // namespace e2e
