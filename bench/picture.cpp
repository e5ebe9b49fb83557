// Picture widget refresh speed: a 1024 x 768 XcPicture (a top-level shell,
// realized and mapped on screen 0, share 1 so that it copies through shared
// memory as the floor does) over a 6000 x 4000 RGB 8-bit store image, at
// three zooms. Per iteration the whole picture is invalidated through the
// widget's own invalidation (what zooming, scrolling and resizing call; it
// paints the preview, where XcPictureRefresh with work procedures on paints
// none) and the time is taken to the first complete preview in the window
// and to the end of the last refinement pass, each followed by XSync so
// that the server has the pixels. Beside it, in the same run, the floor:
// one fill of the whole X image at final quality through a view of the same
// zoom, one XShmPutImage and XSync. After the runs, in the console format, a
// table gives the medians (ms) and the ratios to the floor.
//
//   picture/<zoom>/preview           invalidation to the preview on screen
//   picture/<zoom>/final             invalidation to the last pass on screen
//   picture/<zoom>/refresh           XcPictureRefresh (work procedures on:
//                                    no preview, the passes paint it all) to
//                                    the last pass on screen
//   picture/<zoom>/adaptive/<preview|final>   the same with preview 2
//   picture/floor/<zoom>             fill + put + XSync
//   picture/<zoom>/parts/<preview|pass>   the same for one preview (quality
//                                    2, blocks of 5) and one refinement pass
//                                    (blocks of 3, one phase), by hand
//     zoom: 1_1; 1_4avg (4 source pixels per window pixel, quality 1, area
//     averaged); 3_1 (3 window pixels per source pixel)
//
// The widget keeps its default refinement settings (work precision 3,
// preview 1 at precision 5) except workProcTimeOut, set to 0 so that the
// passes follow each other at once: the figures are work, not timer sleeps.
// Counters: ms (the measured interval, per iteration), passes (refinement
// passes per iteration), pass_ms (mean time of one pass with its copy to the
// window), tick_aligned (share of the passes that end in the first tenth of
// a millisecond of the time of day: 0.1 by chance, near 1 when the widget's
// millisecond timing of its copies spins until the clock moves), prec
// (preview precision in force after the runs), display_kps and preview_kps
// (the widget's own estimates); for the floor and the parts fill_ms and
// put_ms.
//
// It needs an X server with a 24-bit TrueColor screen 0 and MIT-SHM:
//
//   . scripts/xvfb.sh && dab_start_xvfb && build-bp/bench/bench_picture
//     --benchmark_repetitions=5 [--benchmark_filter=1_4avg]
#include "BenchImages.h"
#include "core/Image.h"
#include "xc/FillTev2X.h"
#include "xc/PWorkProc.h"
#include "xc/View.h"
#include "xc/Visual.h"
#include "xc/XcImage.h"
#include "xc/XcPicture.h"

#include <X11/Shell.h>
#include <X11/extensions/XShm.h>
#include <Xm/Xm.h>
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <sys/time.h>
#include <vector>

namespace
{

constexpr int kW = 1024, kH = 768;             // the window and the floor's X image
constexpr int kSrcW = 6000, kSrcH = 4000;      // the store image
constexpr int kPictureIterations = 12;         // each one runs every pass
constexpr int kPreviewPrec = 5, kWorkPrec = 3; // the widget's defaults

struct Zoom {
    const char *name;
    int num, den; // num source pixels per den window pixels
    int quality;  // of the final passes (the widget's quality resource)
};
constexpr Zoom kZooms[] = {
    {"1_1", 1, 1, FT2X_NEAREST}, {"1_4avg", 4, 1, FT2X_AVERAGE}, {"3_1", 1, 3, FT2X_NEAREST}};

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point a, Clock::time_point b)
{
    return std::chrono::duration<double>(b - a).count();
}

XtAppContext App()
{
    static XtAppContext app = [] {
        XtToolkitInitialize();
        return XtCreateApplicationContext();
    }();
    return app;
}

Display *TheDisplay()
{
    static Display *dpy = [] {
        static char name[] = "bench_picture";
        static char *argv[] = {name, nullptr};
        int argc = 1;
        return XtOpenDisplay(App(), nullptr, "bench_picture", "DabStone", nullptr, 0, &argc, argv);
    }();
    return dpy;
}

// Screen 0's best visual, when it is the 24-bit TrueColor one asked for.
XcVisual *TheVisual()
{
    static XcVisual *v = [] {
        XcVisual *found = TheDisplay() ? XcOpenVisual(TheDisplay(), 0, XcVisualBest) : nullptr;
        return found && found->c_class == TrueColor && found->depth == 24 ? found : nullptr;
    }();
    return v;
}

// A pattern that varies along both axes and between planes, so that the
// averages see changing values; every page is touched once.
Image *Source()
{
    static Image *image = [] {
        Image *i = bench::Create(kSrcW, kSrcH, IMAGE_MODE_RGB, false);
        for (int p = 0; p < 3; ++p)
            for (int y = 0; y < kSrcH; ++y) {
                uint8_t *row = Image_Row(i, p, y);
                for (int x = 0; x < kSrcW; ++x)
                    row[x] = uint8_t(x * (3 + p) + y * (5 + 2 * p) + ((x ^ y) & 63) * p);
            }
        return i;
    }();
    return image;
}

// Refinement passes seen since the last reset.
int passes = 0;
void OnPass(Widget, const Box *, int, int, int, int)
{
    ++passes;
}

void OnExpose(Widget, XtPointer seen, XEvent *e, Boolean *)
{
    if (e->type == Expose && e->xexpose.count == 0)
        *static_cast<bool *>(seen) = true;
}

void Drain(Widget pic)
{
    while (XcPictureWorkPending(pic))
        XtAppProcessEvent(App(), XtIMAll);
    XSync(TheDisplay(), False);
}

// A shell holding one picture widget at a zoom, on screen, with nothing
// left to refine.
class Window
{
  public:
    Window(const Zoom &z, int preview)
    {
        shell_ = XtVaAppCreateShell("bench_picture", "DabStone", applicationShellWidgetClass, TheDisplay(),
                                    nullptr);
        Arg args[] = {{const_cast<char *>(XmNwidth), kW},
                      {const_cast<char *>(XmNheight), kH},
                      {const_cast<char *>(XcNimage), reinterpret_cast<XtArgVal>(Source())},
                      {const_cast<char *>(XcNxcVisual), reinterpret_cast<XtArgVal>(TheVisual())},
                      {const_cast<char *>(XcNshare), 1},
                      {const_cast<char *>(XcNworkProcTimeOut), 0},
                      {const_cast<char *>(XcNquality), z.quality},
                      {const_cast<char *>(XcNpreview), preview}};
        pic_ = XtCreateWidget("picture", xcPictureWidgetClass, shell_, args, XtNumber(args));
        bool exposed = false;
        XtAddEventHandler(pic_, ExposureMask, False, OnExpose, &exposed);
        XtManageChild(pic_);
        XtRealizeWidget(shell_);
        while (!exposed)
            XtAppProcessEvent(App(), XtIMAll);
        XtRemoveEventHandler(pic_, ExposureMask, False, OnExpose, &exposed);
        XcPictureSetZoom(pic_, {z.num, z.den}, {z.num, z.den}, 0, 0, 0);
        Drain(pic_);
    }
    ~Window() { XtDestroyWidget(shell_); }
    Window(const Window &) = delete;
    Window &operator=(const Window &) = delete;
    Widget pic() const { return pic_; }

  private:
    Widget shell_ = nullptr, pic_ = nullptr;
};

int GetInt(Widget w, const char *name)
{
    int v = 0;
    XtVaGetValues(w, name, &v, nullptr);
    return v;
}

bool Ready(benchmark::State &state)
{
    if (!TheVisual()) {
        state.SkipWithError("no 24-bit TrueColor screen 0");
        return false;
    }
    return true;
}

enum class Call { Invalidate, Refresh };
enum class Until { Preview, Final };

// Invalidation of the whole picture as zooming, scrolling or a resize makes
// it (preview first), or as the application asks after painting
// (XcPictureRefresh: with work procedures on the passes paint it all).
void Picture(benchmark::State &state, Zoom z, int preview, Call call, Until until)
{
    if (!Ready(state))
        return;
    Window win(z, preview);
    Widget pic = win.pic();
    if (!XcPictureShared(pic)) {
        state.SkipWithError("no shared-memory copies");
        return;
    }
    Pic *p = reinterpret_cast<Pic *>(pic);
    // The adaptive preview needs a few whole repaints to settle on a
    // precision: each change restarts its estimate.
    if (preview == 2)
        for (int i = 0; i < 30; ++i) {
            _PictureInvalidate(p, nullptr);
            Drain(pic);
        }
    XcPictureSetPassObserver(OnPass);
    double measured = 0, refining = 0;
    long allPasses = 0, ticks = 0, aligned = 0;
    for (auto _ : state) {
        passes = 0;
        const auto t0 = Clock::now();
        if (call == Call::Invalidate)
            _PictureInvalidate(p, nullptr);
        else
            XcPictureRefresh(pic, nullptr);
        XSync(TheDisplay(), False);
        const auto t1 = Clock::now();
        // Each timer tick is one pass of the record; where in the time of
        // day's millisecond it ends tells whether the widget's millisecond
        // timing of its copies waits for the clock to move.
        while (XcPictureWorkPending(pic)) {
            const int before = passes;
            XtAppProcessEvent(App(), XtIMAll);
            if (passes == before)
                continue;
            timeval tv{};
            gettimeofday(&tv, nullptr);
            ++ticks;
            aligned += tv.tv_usec % 1000 < 100;
        }
        XSync(TheDisplay(), False);
        const auto t2 = Clock::now();
        const double s = until == Until::Preview ? Seconds(t0, t1) : Seconds(t0, t2);
        state.SetIterationTime(s);
        measured += s;
        refining += Seconds(t1, t2);
        allPasses += passes;
    }
    XcPictureSetPassObserver(nullptr);
    const double n = double(state.iterations());
    state.counters["ms"] = 1e3 * measured / n;
    state.counters["passes"] = double(allPasses) / n;
    state.counters["pass_ms"] = allPasses ? 1e3 * refining / double(allPasses) : 0;
    state.counters["tick_aligned"] = ticks ? double(aligned) / double(ticks) : 0;
    state.counters["prec"] = GetInt(pic, XcNpreviewPrec);
    state.counters["display_kps"] = XcPictureDisplayKps(pic);
    state.counters["preview_kps"] = XcPicturePreviewKps(pic);
}

// The least the widget can do for a final picture: one fill of the whole
// X image at final quality through a view of the same zoom, one put. With a
// block size above 1 the same for one piece of the widget's work: a preview
// (quality 2) or one refinement pass (the phases taken in turn).
void Floor(benchmark::State &state, Zoom z, int quality, int prec)
{
    if (!Ready(state))
        return;
    Window win(z, 1);
    Display *dpy = TheDisplay();
    int shm = 1;
    XcImage *xi = XcImage_Create(TheVisual(), nullptr, kW, kH, &shm);
    if (!xi || !xi->shm) {
        state.SkipWithError("no shared-memory X image");
        if (xi)
            XcImage_Destroy(xi);
        return;
    }
    FillTev2XOptions o{};
    o.quality = quality;
    o.precisionX = o.precisionY = prec;
    Fill *fill = FillTev2XCreate(Source(), xi, &o, FT2X_QUALITY | FT2X_PRECISION);
    // The source pixel under the window's corner, as the widget shows it.
    int sx = 0, sy = 0;
    XcPictureConvert(win.pic(), XC_PICTURE_WINDOW, 0, 0, XC_PICTURE_SOURCE, &sx, &sy);
    const Box src = Box_OfImage(Source()), dst = Box_Rect(0, 0, kW, kH);
    View *view = bench::ZoomView(state, src, dst, sx, sy, z.num, z.den, fill);
    GC gc = XCreateGC(dpy, XtWindow(win.pic()), 0, nullptr);
    double filling = 0, putting = 0;
    int phase = 0;
    for (auto _ : state) {
        FillTev2XSetPhase(fill, phase % prec, phase / prec % prec);
        ++phase;
        const auto t0 = Clock::now();
        ViewFillDst(view, &dst);
        const auto t1 = Clock::now();
        XShmPutImage(dpy, XtWindow(win.pic()), gc, xi->image, 0, 0, 0, 0, kW, kH, False);
        XSync(dpy, False);
        const auto t2 = Clock::now();
        state.SetIterationTime(Seconds(t0, t2));
        filling += Seconds(t0, t1);
        putting += Seconds(t1, t2);
    }
    const double n = double(state.iterations());
    state.counters["ms"] = 1e3 * (filling + putting) / n;
    state.counters["fill_ms"] = 1e3 * filling / n;
    state.counters["put_ms"] = 1e3 * putting / n;
    XFreeGC(dpy, gc);
    ViewDestroy(view);
    FillTev2XDestroy(fill);
    XcImage_Destroy(xi);
}

void Register()
{
    for (const Zoom &z : kZooms) {
        const std::string at = std::string("picture/") + z.name;
        struct {
            const char *name;
            int preview;
            Call call;
            Until until;
        } runs[] = {{"/preview", 1, Call::Invalidate, Until::Preview},
                    {"/final", 1, Call::Invalidate, Until::Final},
                    {"/refresh", 1, Call::Refresh, Until::Final},
                    {"/adaptive/preview", 2, Call::Invalidate, Until::Preview},
                    {"/adaptive/final", 2, Call::Invalidate, Until::Final}};
        for (const auto &r : runs)
            benchmark::RegisterBenchmark((at + r.name).c_str(), Picture, z, r.preview, r.call, r.until)
                ->UseManualTime()
                ->Unit(benchmark::kMillisecond)
                ->Iterations(kPictureIterations);
        benchmark::RegisterBenchmark((std::string("picture/floor/") + z.name).c_str(), Floor, z, z.quality, 1)
            ->UseManualTime()
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark((at + "/parts/preview").c_str(), Floor, z, int(FT2X_BLOCKS),
                                     kPreviewPrec)
            ->UseManualTime()
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark((at + "/parts/pass").c_str(), Floor, z, z.quality, kWorkPrec)
            ->UseManualTime()
            ->Unit(benchmark::kMillisecond);
    }
}

void PrintSummary(const bench::Rates &rates)
{
    std::printf("\nworkProcTimeOut 0: the passes run back to back, the times are work, not timer sleeps.\n");
    std::printf("goals: preview / floor <= 0.25, final / floor <= 1.5\n\n");
    std::printf("%-7s %-9s %9s %9s %9s %8s %8s %7s %8s %5s\n", "zoom", "run", "prev(ms)", "final(ms)",
                "floor(ms)", "prev/fl", "final/fl", "passes", "pass(ms)", "prec");
    for (const Zoom &z : kZooms) {
        const std::string at = std::string("picture/") + z.name,
                          floorName = std::string("picture/floor/") + z.name;
        const double floor = rates.Of(floorName, "ms");
        const auto ratio = [floor](double v) { return floor > 0 ? v / floor : 0.0; };
        for (const char *mode : {"", "/adaptive"}) {
            const std::string base = at + mode;
            const double pv = rates.Of(base + "/preview", "ms"), fn = rates.Of(base + "/final", "ms");
            if (pv <= 0 && fn <= 0)
                continue;
            std::printf("%-7s %-9s %9.2f %9.2f %9.2f %8.2f %8.2f %7.0f %8.2f %5.0f\n", z.name,
                        *mode ? "adaptive" : "preview", pv, fn, floor, ratio(pv), ratio(fn),
                        rates.Of(base + "/final", "passes"), rates.Of(base + "/final", "pass_ms"),
                        rates.Of(base + "/final", "prec"));
        }
        const double rf = rates.Of(at + "/refresh", "ms");
        if (rf > 0)
            std::printf("%-7s %-9s %9s %9.2f %9.2f %8s %8.2f %7.0f %8.2f\n", z.name, "refresh", "-", rf,
                        floor, "-", ratio(rf), rates.Of(at + "/refresh", "passes"),
                        rates.Of(at + "/refresh", "pass_ms"));
    }
    // The same work done by hand, without the widget: what a preview and a
    // pass cost in filling and in copying, and the final picture they add
    // up to (a preview and workProcPrec^2 passes).
    std::printf("\n%-7s %-22s %-22s %-22s %10s\n", "zoom", "floor fill + put", "preview fill + put",
                "pass fill + put", "sum(ms)");
    for (const Zoom &z : kZooms) {
        const std::string at = std::string("picture/") + z.name;
        const std::string names[] = {std::string("picture/floor/") + z.name, at + "/parts/preview",
                                     at + "/parts/pass"};
        if (rates.Of(names[0], "ms") <= 0 && rates.Of(names[1], "ms") <= 0)
            continue;
        std::printf("%-7s", z.name);
        for (const std::string &n : names)
            std::printf(" %8.2f + %-11.2f", rates.Of(n, "fill_ms"), rates.Of(n, "put_ms"));
        std::printf(" %10.2f\n", rates.Of(names[1], "ms") + kWorkPrec * kWorkPrec * rates.Of(names[2], "ms"));
    }
}

} // namespace

int main(int argc, char **argv)
{
    Register();
    return bench::RunWithSummary(argc, argv, PrintSummary);
}
