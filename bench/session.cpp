// Session stroke speed: the real dabstone under the real sorbane kernel
// paints one long stroke into a 1024 x 768 RGB store image while its main
// window is on the X server, mapped or iconified.
//
//   session/stroke/<dab31|dab101>/<mapped|iconified>
//
// Built-in airbrush (the dab technique), spacing 25 %: a zigzag with a
// pointer event every 16 pixels, long enough for about 3000 dabs. The time
// is the whole stroke, from the press to dabstone's end of the job (motion
// control 99); "dabs" is dabs per stroke, as the engine's walk places them.
//
// This process is the display peer (the e2e FakeDisplay): like sorbane's
// display, it sends the next motion only when dabstone allows it (1038
// mode 1), but it draws nothing itself, so only dabstone's work is timed,
// and it sees each allow the moment it arrives. One session per brush size
// serves all of its runs; only the stroke is timed.
//
// Without a window manager nobody acts on the iconify request, so the
// window is then unmapped as the manager would; either way every stroke
// checks the window's map state first.
//
// It needs an X server in DISPLAY, e.g.
//   . scripts/xvfb.sh && dab_start_xvfb && build/bench/bench_session
//     --benchmark_filter=session/stroke --benchmark_repetitions=3
#include "tests/e2e/E2e.h"

#include "core/Bytes.h"
#include "core/Image.h"
#include "core/Msg.h"
#include "core/Msghand.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <iterator>
#include <memory>
#include <poll.h>
#include <string>
#include <vector>

using namespace e2e;

namespace
{

constexpr int kWidth = 1024, kHeight = 768;
constexpr int kSpacing = 25; // percent of the brush size
constexpr int kMotion = 16;  // pixels between two pointer events
constexpr int kDabs = 3000;  // at least, per stroke

struct Point {
    int x, y;
};

// ---- X server ----

int IgnoreXError(Display *, XErrorEvent *)
{
    return 0;
}

// Our own connection, for map states; none when DISPLAY is unset or dead.
Display *X()
{
    static Display *dpy = [] {
        XSetErrorHandler(IgnoreXError);
        return XOpenDisplay(nullptr);
    }();
    return dpy;
}

int MapState(unsigned long window)
{
    XWindowAttributes a;
    return XGetWindowAttributes(X(), window, &a) ? a.map_state : -1;
}

// Some client (a window manager) redirects the root's map requests.
bool HaveWindowManager()
{
    XWindowAttributes a;
    return XGetWindowAttributes(X(), DefaultRootWindow(X()), &a) &&
           (a.all_event_masks & SubstructureRedirectMask);
}

// Maps or iconifies the top-level window; true once its map state says so.
bool Show(unsigned long window, bool mapped)
{
    if (mapped)
        XMapWindow(X(), window);
    else if (XIconifyWindow(X(), window, DefaultScreen(X())) && !HaveWindowManager())
        XUnmapWindow(X(), window);
    XFlush(X());
    const int want = mapped ? IsViewable : IsUnmapped;
    return WaitUntil([&] { return MapState(window) == want; });
}

// ---- The stroke ----

int Step(int diameter)
{
    return std::max(1, kSpacing * diameter / 100);
}

// The dabs of a stroke through the points, as the engine's walk places them:
// one at the press, then one every step pixels along the major axis of each
// segment, the counter running over the stroke and counting the first pixel
// of each segment again.
int64_t Dabs(const std::vector<Point> &points, int step)
{
    int64_t dabs = 1, counter = 0;
    for (size_t i = 1; i < points.size(); ++i) {
        const int64_t major =
            std::max(std::abs(points[i].x - points[i - 1].x), std::abs(points[i].y - points[i - 1].y));
        dabs += (counter + major + 1) / step;
        counter = (counter + major + 1) % step;
    }
    return dabs;
}

// Legs from side to side, each a little lower (higher on the way back up)
// than the last, until the stroke makes kDabs dabs.
std::vector<Point> Zigzag(int diameter)
{
    const int left = 40, right = kWidth - 40, top = 60, bottom = kHeight - 60, drop = 23;
    std::vector<Point> points{{left, top}};
    int y = top, dy = drop, dx = kMotion;
    while (Dabs(points, Step(diameter)) < kDabs) {
        if (y + dy < top || y + dy > bottom)
            dy = -dy;
        const int y0 = y, x0 = points.back().x;
        const int x1 = dx > 0 ? right : left;
        y += dy;
        for (int x = x0 + dx; dx > 0 ? x < x1 : x > x1; x += dx)
            points.push_back({x, y0 + dy * (x - x0) / (x1 - x0)});
        points.push_back({x1, y});
        dx = -dx;
    }
    return points;
}

std::vector<unsigned char> SettingsRecord(int diameter)
{
    std::vector<unsigned char> rec(MSG_SETTINGS_SIZE, 0);
    // Airbrush, continuous trace, no selection, no undo (its copy is not
    // the stroke's cost), no announce; dithering on.
    const int32_t words[] = {MSG_SETTINGS_MAGIC, diameter, diameter, 100, 1, 0, kSpacing, 0, 0, 0};
    for (size_t i = 0; i < std::size(words); ++i)
        Bytes_PutS32(rec.data() + 4 * i, words[i]);
    Bytes_PutS32(rec.data() + 4 * 36, 1);
    return rec;
}

// A dabstone session with this process as its display.
struct Painter {
    int diameter = 0;
    Session s;
    FakeDisplay d;
    uint32_t brush = 0; // the brush tool's handle
    unsigned long top = 0;
    size_t seen = 0; // frames of d.got already looked at
    int mapped = -1; // the window state the last stroke ran in

    bool Start(int size)
    {
        diameter = size;
        s.image = MakeImage(s.dir.path, kWidth, kHeight, IMAGE_MODE_RGB, 8, 0);
        s.settings = s.dir.File("settings");
        const std::vector<unsigned char> rec = SettingsRecord(size);
        WriteFile(s.settings, std::string(rec.begin(), rec.end()));
        // The settings reach dabstone before the display connects.
        if (!s.Start({"--no-display"}) || !s.Ready() || !d.Open(s.kernelPid, s.programPid) ||
            !d.Connect(s.image))
            return false;
        brush = d.ToolHandle(0);
        top = s.MainWindow();
        return brush != 0 && top != 0;
    }

    void Event(int32_t kind, Point p)
    {
        d.Send(MSG_POINTER,
               Words({kind, int32_t(brush), 0, 0, 7, p.x, p.y, 1, 0, MSG_STATE_BUTTON1, 0, 0, 0, 0, 0, 0}));
    }

    // Blocks on the FIFO until a motion control of mode comes (bounded).
    bool Await(int32_t mode)
    {
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(kBound);
        for (;;) {
            while (seen < d.got.size()) {
                const Frame &f = d.got[seen++];
                if (f.code == MSG_MOTION && f.Word(0) == mode)
                    return true;
            }
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
            if (left.count() <= 0)
                return false;
            pollfd p{d.fifo, POLLIN, 0};
            poll(&p, 1, int(left.count()));
            Msghand_ReadAll(d.fifo);
        }
    }

    // One stroke, each motion sent once the last step is painted.
    bool Stroke(const std::vector<Point> &points)
    {
        d.got.clear();
        seen = 0;
        Event(MSG_EVK_PRESS, points[0]);
        if (!Await(MSG_MOTION_ALLOW))
            return false;
        for (size_t i = 1; i < points.size(); ++i) {
            Event(MSG_EVK_MOTION, points[i]);
            if (!Await(MSG_MOTION_ALLOW))
                return false;
        }
        Event(MSG_EVK_RELEASE, points.back());
        return Await(MSG_MOTION_END);
    }

    ~Painter()
    {
        d.Vanish();
        s.QuitByKernel();
    }
};

// The session of the last brush size asked for; one runs at a time.
std::unique_ptr<Painter> painter;

Painter *PainterFor(int diameter)
{
    if (painter && painter->diameter == diameter)
        return painter.get();
    painter.reset();
    painter = std::make_unique<Painter>();
    if (!painter->Start(diameter))
        painter.reset();
    return painter.get();
}

void SessionStroke(benchmark::State &state, int diameter, bool mapped)
{
    if (!X()) {
        state.SkipWithError("no X server: set DISPLAY to a running one (scripts/xvfb.sh starts Xvfb)");
        return;
    }
    Painter *p = PainterFor(diameter);
    if (!p) {
        state.SkipWithError("the dabstone session did not start");
        return;
    }
    const std::vector<Point> points = Zigzag(diameter);
    // The first stroke in a new session or window state pays for faulting
    // in the image and for the window's change: it is not timed.
    if (p->mapped != int(mapped)) {
        if (!Show(p->top, mapped)) {
            state.SkipWithError("dabstone's main window did not reach the map state");
            return;
        }
        p->mapped = int(mapped);
        if (!p->Stroke(points)) {
            state.SkipWithError("the stroke did not end");
            return;
        }
    }
    const int64_t dabs = Dabs(points, Step(diameter));
    const int want = mapped ? IsViewable : IsUnmapped;
    for (auto _ : state) {
        if (MapState(p->top) != want) {
            state.SkipWithError("dabstone's main window changed its map state");
            break;
        }
        const auto start = std::chrono::steady_clock::now();
        if (!p->Stroke(points)) {
            state.SkipWithError("the stroke did not end");
            break;
        }
        state.SetIterationTime(
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    }
    state.counters["dabs"] = double(dabs);
    state.counters["dabs_per_second"] =
        benchmark::Counter(double(dabs) * double(state.iterations()), benchmark::Counter::kIsRate);
}

} // namespace

int main(int argc, char **argv)
{
    for (int diameter : {31, 101})
        for (bool mapped : {true, false}) {
            const std::string name =
                "session/stroke/dab" + std::to_string(diameter) + (mapped ? "/mapped" : "/iconified");
            benchmark::RegisterBenchmark(name.c_str(), SessionStroke, diameter, mapped)
                ->UseManualTime()
                ->Unit(benchmark::kMillisecond);
        }
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    painter.reset();
    benchmark::Shutdown();
    return 0;
}
