// Helpers of the end-to-end tests: they run the real dabstone under the real
// sorbane kernel (and display) and look at what went over the FIFOs (the
// peers' frame logs), at the store files and at the console.
//
// Nothing here sleeps for a fixed time: every wait is for a message or a
// state, bounded generously (kBound) so that a hang fails instead of
// blocking the run.
#pragma once
#include <cstdint>
#include <functional>
#include <gtest/gtest.h>
#include <string>
#include <sys/types.h>
#include <vector>

struct Image;
struct _XDisplay; // as <X11/Xlib.h> declares Display

namespace e2e
{

constexpr int kBound = 60; // seconds: generous, for a loaded machine

std::string BinDir();

std::string SorbanePath();
std::string DabstonePath();

// Waits until cond() holds or seconds pass; the last value of cond().
bool WaitUntil(const std::function<bool()> &cond, int seconds = kBound);

// A fresh directory under /tmp, removed with everything in it.
struct TempDir {
    std::string path;
    TempDir();
    ~TempDir();
    std::string File(const std::string &name) const { return path + "/" + name; }
};

std::string ReadFile(const std::string &path);
void WriteFile(const std::string &path, const std::string &text);
bool Exists(const std::string &path);

// A store image made with the store's own routines, filled with a pattern
// (sample = (x + 3y + 7p) & 255 on 8-bit planes); its path.
std::string MakeImage(const std::string &dir, int width, int height, int mode, int bits, int alpha);
// Opens a store image for writing, lets edit change it and closes it; false
// when it cannot be opened.
bool EditImage(const std::string &path, const std::function<void(Image *)> &edit);
// Words of the settings record.
enum SettingsWord {
    SET_WIDTH = 1,
    SET_HEIGHT,
    SET_OPACITY,
    SET_AERO,
    SET_TRACE,
    SET_SPACING,
    SET_SELECTION,
    SET_UNDO_LIMIT,
    SET_ANNOUNCE,
    SET_COLOUR,
    SET_DITHERING = 36
};
// A settings file for a session to load at start: a fresh program's
// defaults (31 x 31, opacity 100, spacing 25, black, dithering) with the
// words given changed.
void WriteSettings(const std::string &path, std::initializer_list<std::pair<int, int32_t>> words);
// One sample of a store image, or 0xFFFFFFFF when it cannot be read.
uint32_t Sample(const std::string &path, int plane, int x, int y);
// Every row of every plane of a store image, plane after plane.
std::vector<unsigned char> Planes(const std::string &path);
// Every sample of an 8-bit store image outside the rectangles (corners
// included) still holds MakeImage's pattern; the first that does not is named.
struct Rect {
    int x1, y1, x2, y2;
};
testing::AssertionResult PatternOutside(const std::string &path, const std::vector<Rect> &rects);

// A child process run in a directory, with its output in files there.
struct Child {
    pid_t pid = 0;
    int status = 0;
    bool ended = false;
    std::string outPath, errPath;
    // env: extra "NAME=value" entries ("NAME=" with nothing removes NAME).
    bool Start(const std::vector<std::string> &argv, const std::string &dir,
               const std::vector<std::string> &env = {});
    bool Wait(int seconds = kBound); // true when it ended within the bound
    int ExitCode() const;            // exit status, or 128 + signal
    std::string Out() const { return ReadFile(outPath); }
    std::string Err() const { return ReadFile(errPath); }
    ~Child();
};

// Waits for a process that is not (or no longer) our child to end: with the
// test process as subreaper, orphans become our children and are reaped.
bool WaitGone(pid_t pid, int seconds, int *status = nullptr);
void BecomeSubreaper();

// One frame of a peer's log.
struct Frame {
    bool sent = false; // false: received
    int32_t code = 0;
    int peer = 0; // the sender of a received frame, the reader of a sent one
    int32_t aux = 0;
    std::vector<unsigned char> payload;
    int32_t Word(size_t offset) const;     // big-endian word at a byte offset
    std::string Text(size_t offset) const; // NUL-terminated text at an offset
};

// A peer's frame log ("--log FILE"): the first line names the processes.
struct FrameLog {
    std::string path;
    std::vector<Frame> Frames() const; // complete lines only
    std::vector<std::string> Lines() const;
    // The number after `word` on the first line ("kernel", "program", "display").
    int Pid(const std::string &word) const;
    // The display's X window as its log names it ("window ID"), or 0.
    unsigned long Window() const;
    std::vector<Frame> Received(int from = 0) const; // 0: from anybody
    std::vector<Frame> Sent(int32_t code = 0) const; // 0: all codes
    // Frames of code in one direction that also pass `also` (when given).
    int Count(bool sent, int32_t code, const std::function<bool(const Frame &)> &also = nullptr) const;
    bool Has(bool sent, int32_t code, int count = 1) const;
    // A frame of code whose payload starts with path.
    bool HasPath(bool sent, int32_t code, const std::string &path) const;
    bool WaitFor(bool sent, int32_t code, int count = 1, int seconds = kBound) const;
};

// `sorbane run` on an image of its own in a temporary store.
struct Session {
    TempDir dir;
    std::string image, script, settings;
    FrameLog log, displayLog;
    Child kernel;
    int kernelPid = 0, programPid = 0;
    // Makes the image (RGB 64 x 48, 8 bits, alpha) unless one is set.
    bool Start(const std::vector<std::string> &args = {}, const std::vector<std::string> &env = {});
    // The path of the program's own FIFO (it reads it).
    std::string ProgramFifo() const;
    std::string KernelFifo() const;
    // Writes a display script into the session's folder: its path, for --script.
    std::string Script(const std::string &text);
    // dabstone has started and been sent its settings (1015).
    bool Ready() const;
    // Waits for the kernel to end; its exit code or -1000 on timeout.
    int Finish(int seconds = kBound);
    // Asks the kernel to end the session (SIGTERM), then Finish().
    int QuitByKernel();
    // The status word of the program's exit notice (1001) to the kernel, or
    // INT32_MIN when none came.
    int32_t NoticeStatus() const;
    // The first window dabstone registered for drops (1005): its main window.
    unsigned long MainWindow() const;
    // A frame written to dabstone's FIFO as the kernel, or to the kernel's as dabstone.
    bool ToProgram(int32_t code, const std::vector<unsigned char> &payload) const;
    bool ToKernel(int32_t code, const std::vector<unsigned char> &payload) const;
    // A frame written to the display process's FIFO as dabstone.
    bool ToDisplay(int32_t code, const std::vector<unsigned char> &payload) const;
};

// The test process as a display process for dabstone: its own FIFO under
// the session's kernel, frames read with the link's reader.
struct FakeDisplay {
    int kernel = 0, program = 0, pid = 0;
    int fifo = -1, programFifo = -1;
    std::vector<Frame> got;
    bool Open(int kernelPid, int programPid);
    // Sends 1008 for path, then waits for the toolbox and the brush cursor.
    bool Connect(const std::string &path);
    void Send(int32_t code, const std::vector<unsigned char> &payload);
    // Reads what arrives until cond() holds or seconds pass.
    bool WaitFor(const std::function<bool()> &cond, int seconds = kBound);
    // Reads what has arrived; then waits up to seconds for `count` frames of code.
    bool WaitCode(int32_t code, int count = 1, int seconds = kBound);
    int Count(int32_t code, const std::function<bool(const Frame &)> &also = nullptr) const;
    const Frame *Last(int32_t code) const;
    uint32_t ToolHandle(int index) const; // from the toolbox, 0 when none
    // Disappears without a word: closes and removes its FIFO.
    void Vanish();
    ~FakeDisplay();
};

// The callback handle of tool t in a toolbox (1033) frame.
uint32_t ToolboxHandle(const Frame &toolbox, int tool);

// Payload builders, big-endian words.
std::vector<unsigned char> Words(std::initializer_list<int32_t> words);
std::vector<unsigned char> PathField(const std::string &path, size_t size = 500);
// A path field followed by words.
std::vector<unsigned char> PathWords(const std::string &path, std::initializer_list<int32_t> words);
void Append(std::vector<unsigned char> &to, const std::vector<unsigned char> &more);

// A raw frame (header + payload) for writing by hand.
std::vector<unsigned char> RawFrame(int32_t sender, int32_t code, int32_t aux, int32_t length,
                                    const std::vector<unsigned char> &payload);
// Writes bytes to a FIFO (opened for this write only); true when all went.
bool WriteFifo(const std::string &path, const std::vector<unsigned char> &bytes);

// How many times text occurs in s.
int Count(const std::string &s, const std::string &text);

// Sends the window manager's delete request (WM_PROTOCOLS, WM_DELETE_WINDOW)
// to an X window, as a window manager would.
bool SendWmDelete(unsigned long window);

// Synthetic input sent straight to a window (independent of stacking and
// focus): a button press or release, pointer motion, a key by its keysym.
// state is the X modifier and button mask at the time of the event.
bool SendButton(unsigned long window, bool press, int button, int x, int y, unsigned state = 0);
bool SendMotion(unsigned long window, int x, int y, unsigned state);
bool SendKey(unsigned long window, unsigned long keysym, unsigned state = 0);

// The window is known to the X server.
bool WindowExists(unsigned long window);
// A window and where it lies inside its parent.
struct WindowBox {
    unsigned long id = 0;
    int x = 0, y = 0, width = 0, height = 0;
};
// The viewable children of a window, bottom of the stack first.
std::vector<WindowBox> ViewableChildren(unsigned long window);
// A viewable top-level window transient for owner (a dialog of its program), or 0.
unsigned long DialogOf(unsigned long owner);
// Moves a top-level window to (x, y) of the screen (negative: from the
// bottom right corner) and raises it.
bool MoveWindow(unsigned long window, int x, int y);
// Real input through the XTest extension, as a user gives it: the pointer
// moves to (x, y) of the window, then a button is clicked (pressed and
// released), pressed only (held: see ReleaseButton) or a key typed.
bool PointerTo(unsigned long window, int x, int y);
bool ClickAt(unsigned long window, int x, int y, int button = 1);
bool PressAt(unsigned long window, int x, int y, int button = 1);
// afterMs: the server holds the release that long, as a hand holds the button.
bool ReleaseButton(int button = 1, unsigned long afterMs = 0);
bool TypeAt(unsigned long window, int x, int y, unsigned long keysym);
// Keys typed wherever the focus is: one keysym (with Shift held when
// shift), or printable ASCII text, Shift held for the characters that need it.
bool TypeKey(unsigned long keysym, bool shift = false);
bool TypeText(const std::string &text);
// The test's one connection to $DISPLAY, kept open (a new one when $DISPLAY
// changes); null when there is none.
// Its X errors are ignored: helpers tell failure by their results.
_XDisplay *TestDisplay();
// The window's pixels as 0xRRGGBB, row by row; empty when it cannot be read.
std::vector<uint32_t> GrabWindow(unsigned long window, int width, int height);

} // namespace e2e
