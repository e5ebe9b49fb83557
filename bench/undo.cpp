// Undo store speed: validation (copy of the changed boxes into the undo
// image) and undo (exchange of the boxes) next to memcpy of the same row
// spans in the same run, and the background copy in rows per second.
#include "brush/Undo.h"
#include "BenchImages.h"
#include "core/Dabstone.h"
#include "core/Image.h"

#include <X11/Intrinsic.h>
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>

namespace
{

// Two RGB + alpha 8-bit images of one size.
struct Pair {
    Image *image = nullptr;
    Image *undo = nullptr;
    int width = 0, height = 0;

    Pair(int w, int h) : width(w), height(h)
    {
        image = bench::Create(w, h, IMAGE_MODE_RGB, true);
        undo = bench::Create(w, h, IMAGE_MODE_RGB, true);
        // Touch every page once so that the timings leave out first faults.
        for (int p = 0; p < Image_Planes(image); ++p)
            for (int y = 0; y < h; ++y) {
                std::memset(Image_Row(image, p, y), (p * 31 + y) & 255, size_t(w));
                std::memset(Image_Row(undo, p, y), 0, size_t(w));
            }
    }
    ~Pair()
    {
        Image_DestroyImage(image);
        Image_DestroyImage(undo);
    }
};

Pair &Big()
{
    static Pair pair(4096, 4096);
    return pair;
}
Pair &Odd()
{
    static Pair pair(4000, 3000);
    return pair;
}

// A centred square box of the given side (clipped to the image).
Box Square(const Pair &p, int side)
{
    int x1 = (p.width - side) / 2, y1 = (p.height - side) / 2;
    if (x1 < 0)
        x1 = 0;
    if (y1 < 0)
        y1 = 0;
    int x2 = std::min(p.width, x1 + side) - 1, y2 = std::min(p.height, y1 + side) - 1;
    return Box{x1, y1, x2, y2, x2 - x1 + 1, y2 - y1 + 1, 0};
}

void Bytes(benchmark::State &state, const Box &b)
{
    state.SetBytesProcessed(int64_t(state.iterations()) * 4 * b.width * b.height);
}

// The engine state with the pair as edited and undo image, undo ready.
GG_Dabstone &Engine(Pair &p)
{
    // An input source as quiet as the program's own FIFO between
    // messages: the toolkit polls it between work procedure calls.
    static XtAppContext app = [] {
        XtToolkitInitialize();
        XtAppContext a = XtCreateApplicationContext();
        static int quiet[2];
        if (pipe(quiet) != 0)
            std::abort();
        XtAppAddInput(
            a, quiet[0], XtPointer(XtInputReadMask), [](XtPointer, int *, XtInputId *) {}, nullptr);
        return a;
    }();
    static bool started = [] {
        Dabstone_InitState();
        return true;
    }();
    (void)started;
    GG_Dabstone &e = *G_dabstone;
    e.app = app;
    e.image = p.image;
    e.undoImage = p.undo;
    e.undoReady = 1;
    e.imageBox = Box{0, 0, p.width - 1, p.height - 1, p.width, p.height, 0};
    return e;
}

// Validation of one operation's box: recorded, then copied.
template <Pair &(*P)()> void BM_Validate(benchmark::State &state)
{
    Pair &p = P();
    Engine(p);
    Box b = Square(p, int(state.range(0)));
    for (auto _ : state) {
        Undo_SetBox(&b);
        Undo_Validate();
        benchmark::ClobberMemory();
    }
    Bytes(state, b);
}

// Undo of one operation's box (the redraw requests go nowhere).
template <Pair &(*P)()> void BM_Undo(benchmark::State &state)
{
    Pair &p = P();
    Engine(p);
    Box b = Square(p, int(state.range(0)));
    Undo_SetBox(&b);
    for (auto _ : state) {
        Undo_Undo();
        benchmark::ClobberMemory();
    }
    Undo_Validate();
    Bytes(state, b);
}

// The floor: memcpy of the same row spans, plane after plane.
template <Pair &(*P)()> void BM_Memcpy(benchmark::State &state)
{
    Pair &p = P();
    Box b = Square(p, int(state.range(0)));
    for (auto _ : state) {
        for (int pl = 0; pl < 4; ++pl)
            for (int y = b.y1; y <= b.y2; ++y)
                std::memcpy(Image_Row(p.undo, pl, y) + b.x1, Image_Row(p.image, pl, y) + b.x1,
                            size_t(b.width));
        benchmark::ClobberMemory();
    }
    Bytes(state, b);
}

// The whole background copy as the program runs it: the work procedure
// called by the toolkit between events, one row per call, until the undo
// image is ready. Idle time: nothing else is waiting.
template <Pair &(*P)()> void BM_BackgroundCopy(benchmark::State &state)
{
    Pair &p = P();
    GG_Dabstone &e = Engine(p);
    int64_t rows = 0;
    for (auto _ : state) {
        e.undoReady = 0;
        Undo_Init();
        while (!e.undoReady) {
            XtAppAddTimeOut(
                e.app, 1, [](XtPointer, XtIntervalId *) {}, nullptr);
            XtAppProcessEvent(e.app, XtIMAll);
        }
        rows += int64_t(Image_Planes(p.image)) * p.height;
    }
    state.counters["rows/s"] = benchmark::Counter(double(rows), benchmark::Counter::kIsRate);
    state.SetBytesProcessed(int64_t(state.iterations()) * 4 * int64_t(p.width) * p.height);
}

} // namespace

BENCHMARK(BM_Validate<Big>)->Name("Validate/4096x4096")->Arg(64)->Arg(512)->Arg(4096);
BENCHMARK(BM_Undo<Big>)->Name("Undo/4096x4096")->Arg(64)->Arg(512)->Arg(4096);
BENCHMARK(BM_Memcpy<Big>)->Name("memcpy/4096x4096")->Arg(64)->Arg(512)->Arg(4096);
BENCHMARK(BM_Validate<Odd>)->Name("Validate/4000x3000")->Arg(64)->Arg(512)->Arg(4096);
BENCHMARK(BM_Undo<Odd>)->Name("Undo/4000x3000")->Arg(64)->Arg(512)->Arg(4096);
BENCHMARK(BM_Memcpy<Odd>)->Name("memcpy/4000x3000")->Arg(64)->Arg(512)->Arg(4096);
BENCHMARK(BM_BackgroundCopy<Big>)->Name("BackgroundCopy/4096x4096")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BackgroundCopy<Odd>)->Name("BackgroundCopy/4000x3000")->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
