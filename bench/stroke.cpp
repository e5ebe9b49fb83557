// Stroke speed: straight horizontal strokes painted through the real engine
// path (Work_Brush with press, motion and release events: technique, view,
// fill object or fast kernel, refresh queue) onto a 4096 x 4096 RGB + alpha
// 8-bit store image; next to libmypaint drawing the same dabs (same centres,
// diameters, hardness 1.0 for hard and 0.5 for airbrush) on its fixed tiled
// surface, and pixman compositing the same coverage boxes (OVER, solid
// source, a8 mask, into a8r8g8b8).
//
//   stroke/<impl>/<dab31|dab101|dab201>/<hard|soft>   built-in brushes,
//                                                     spacing 25 %
//   stroke/<impl>/<pencil3|pencil15>/hard             the pencil (round hard
//                                                     built-in brush)
//   stroke/engine/<...>/4000x3000                     a width that is not a
//                                                     power of two
//
// A dab is one brush placement of the engine's walk (for the pencil, which
// paints round pieces, one per pointer event, the placements the same walk
// would make); libmypaint draws dabs at exactly those centres. Items are dab-box pixels (dabs x diameter²),
// the same for the three impls of one name; "dabs" is dabs per second. libmypaint runs on one thread, as the
// engine does. The table after the runs (console format only) gives the ratios of the medians.
#include "BenchImages.h"
#include "brush/Buildin.h"
#include "brush/Work.h"
#include "core/Dabstone.h"
#include "core/Image.h"
#include "core/Msg.h"

#include <benchmark/benchmark.h>
#include <pixman.h>
extern "C" {
#include <mypaint-fixed-tiled-surface.h>
}

#include <dlfcn.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <unistd.h>
#include <vector>

namespace
{

constexpr int kX0 = 150, kX1 = 3950; // every stroke runs from x0 to x1
constexpr int kMotion = 16;          // pixels between two pointer events
constexpr int kSpacing = 25;

struct Shape {
    const char *name;
    int diameter;
    bool pencil;
};
const Shape kShapes[] = {{"dab31", 31, false},
                         {"dab101", 101, false},
                         {"dab201", 201, false},
                         {"pencil3", 3, true},
                         {"pencil15", 15, true}};

int Step(int diameter)
{
    return std::max(1, diameter * kSpacing / 100);
}

// The motion events of one stroke after the press at kX0: every kMotion
// pixels, and the end point.
std::vector<int> Motions()
{
    std::vector<int> xs;
    for (int x = kX0 + kMotion; x < kX1; x += kMotion)
        xs.push_back(x);
    xs.push_back(kX1);
    return xs;
}

// The dab centres of one stroke as the engine places them: one at the
// press, then one every step pixels of the walk, whose counter runs over the
// whole stroke and counts the first pixel of each segment again.
std::vector<int> Centres(int diameter)
{
    std::vector<int> xs{kX0};
    int counter = 0, last = kX0;
    for (int to : Motions()) {
        for (int x = last; x <= to; ++x)
            if (++counter >= Step(diameter)) {
                counter = 0;
                xs.push_back(x);
            }
        last = to;
    }
    return xs;
}

// Rows of strokes down the canvas, far enough apart not to overlap.
std::vector<int> Rows(int diameter, int height)
{
    std::vector<int> ys;
    for (int y = diameter / 2 + 4; y + diameter / 2 + 4 < height && ys.size() < 12; y += diameter + 40)
        ys.push_back(y);
    return ys;
}

void Count(benchmark::State &state, int64_t dabs, int diameter)
{
    state.SetItemsProcessed(dabs * diameter * diameter);
    state.counters["dabs"] = benchmark::Counter(double(dabs), benchmark::Counter::kIsRate);
}

// ---- The engine ----

// The engine state of a running program with its work images and an
// opaque canvas, no display and no kernel.
struct Engine {
    Image *canvas;
    int width, height;
    Engine(int w, int h) : width(w), height(h)
    {
        Dabstone_InitState();
        Dabstone_InitDefaults();
        GG_Dabstone &e = *G_dabstone;
        e.strokeBrush = bench::Create(201, 201, IMAGE_MODE_GREY, true);
        e.rowBuffer = bench::Create(9999, 1, IMAGE_MODE_GREY, true);
        e.rowBufferBox = Box{0, 0, 9998, 0, 9999, 1, 0};
        canvas = bench::CreateCanvas(w, h);
        e.image = canvas;
        e.imageBox = Box{0, 0, w - 1, h - 1, w, h, 0};
        e.plane = -1;
        e.alpha = 1;
        Dabstone_MakeStdMask();
        e.color = ColorValue{COLOR_RGB, 200, 100, 50, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    }
    ~Engine() { Image_DestroyImage(canvas); }

    void Brush(int diameter, bool soft)
    {
        GG_Dabstone &e = *G_dabstone;
        e.brushWidth = e.brushHeight = diameter;
        e.aero = soft;
        e.opacity = 100;
        e.spacing = kSpacing;
        e.traceMode = 0;
    }

    static void Event(int kind, int x, int y)
    {
        unsigned char ev[MSG_EVENT_SIZE] = {};
        Bytes_PutS32(ev + 4 * MSG_EV_KIND, kind);
        Bytes_PutS32(ev + 4 * MSG_EV_X, x);
        Bytes_PutS32(ev + 4 * MSG_EV_Y, y);
        Bytes_PutS32(ev + 4 * MSG_EV_BUTTON, 1);
        Bytes_PutS32(ev + 4 * MSG_EV_STATE, MSG_STATE_BUTTON1);
        Work_Brush(nullptr, ev);
    }

    // One stroke: a press, a motion event every kMotion pixels, a release.
    void Stroke(int y)
    {
        Event(MSG_EVK_PRESS, kX0, y);
        for (int x : Motions())
            Event(MSG_EVK_MOTION, x, y);
        Event(MSG_EVK_RELEASE, kX1, y);
    }
};

Engine &EngineOf(int w)
{
    static Engine big(4096, 4096);
    static Engine odd(4000, 3000);
    Engine &e = w == 4096 ? big : odd;
    G_dabstone->image = e.canvas;
    G_dabstone->imageBox = Box{0, 0, e.width - 1, e.height - 1, e.width, e.height, 0};
    Dabstone_MakeStdMask();
    return e;
}

void EngineStrokes(benchmark::State &state, Shape shape, bool soft, int w, int h)
{
    Engine &engine = EngineOf(w);
    engine.Brush(shape.diameter, soft);
    // The dab technique for every built-in dab size: a round hard brush
    // would otherwise be painted by the pencil.
    Work_ForceTechnique(shape.pencil ? WORK_PENCIL : WORK_DAB);
    const std::vector<int> ys = Rows(shape.diameter, h);
    const int64_t perStroke = int64_t(Centres(shape.diameter).size());
    int64_t dabs = 0;
    for (auto _ : state)
        for (int y : ys) {
            engine.Stroke(y);
            dabs += perStroke;
        }
    Work_ForceTechnique(-1);
    Count(state, dabs, shape.diameter);
}

// ---- libmypaint ----

void MyPaintStrokes(benchmark::State &state, Shape shape, bool soft)
{
    static MyPaintFixedTiledSurface *fixed = mypaint_fixed_tiled_surface_new(4096, 4096);
    MyPaintSurface *surface = mypaint_fixed_tiled_surface_interface(fixed);
    const std::vector<int> xs = Centres(shape.diameter), ys = Rows(shape.diameter, 4096);
    const float radius = shape.diameter / 2.0f, hardness = soft ? 0.5f : 1.0f;
    int64_t dabs = 0;
    for (auto _ : state)
        for (int y : ys) {
            mypaint_surface_begin_atomic(surface);
            for (int x : xs)
                mypaint_surface_draw_dab(surface, x + 0.5f, y + 0.5f, radius, 200 / 255.0f, 100 / 255.0f,
                                         50 / 255.0f, 1.0f, hardness, 1.0f, 1.0f, 0.0f, 0.0f, 0.0f);
            MyPaintRectangle roi;
            mypaint_surface_end_atomic(surface, &roi);
            dabs += int64_t(xs.size());
        }
    Count(state, dabs, shape.diameter);
}

// ---- pixman ----

// One coverage box with its a8 mask.
struct Cover {
    int x, y, w, h;
    pixman_image_t *mask;
};

std::vector<Cover> *recording = nullptr;
std::vector<std::vector<uint8_t>> maskBits;

void Record(int x, int y, int length, unsigned char *buffer)
{
    maskBits.emplace_back();
    recording->push_back(Cover{x, y, length, 1, bench::A8Mask(maskBits.back(), buffer, length, length, 1)});
}

// The engine's coverage boxes of one stroke at y = 0: every dab box with the
// built-in brush's shape, or every row of the pencil's round pieces.
std::vector<Cover> Covers(Shape shape, bool soft)
{
    std::vector<Cover> covers;
    maskBits.reserve(100000);
    const int d = shape.diameter;
    if (!shape.pencil) {
        Image *brush = bench::Create(d, d, IMAGE_MODE_GREY, true);
        Buildin_Make(brush, 1, d, d, 1, Buildin_Peak(100), soft ? 1.0 : 0.0);
        maskBits.emplace_back();
        pixman_image_t *mask =
            bench::A8Mask(maskBits.back(), Image_Row(brush, 1, 0), Image_PlaneBytesPerRow(brush, 1), d, d);
        for (int x : Centres(d))
            covers.push_back(Cover{x - d / 2, -d / 2, d, d, mask});
        Image_DestroyImage(brush);
        return covers;
    }
    std::vector<unsigned char> buffer(9999);
    const Box clip{0, -d, 4095, d, 4096, 2 * d + 1, 0};
    recording = &covers;
    int last = kX0;
    FastWire(&clip, buffer.data(), Record, last, 0, last, 0, d, d, 0);
    for (int to : Motions()) {
        FastWire(&clip, buffer.data(), Record, last, 0, to, 0, d, d, 0);
        last = to;
    }
    recording = nullptr;
    return covers;
}

void PixmanStrokes(benchmark::State &state, Shape shape, bool soft)
{
    bench::PixmanCanvas canvas;
    const std::vector<Cover> covers = Covers(shape, soft);
    const std::vector<int> ys = Rows(shape.diameter, 4096);
    const int64_t perStroke = int64_t(Centres(shape.diameter).size());
    int64_t dabs = 0;
    for (auto _ : state)
        for (int y : ys) {
            for (const Cover &c : covers)
                canvas.Over(c.mask, c.x, c.y + y, c.w, c.h);
            dabs += perStroke;
        }
    Count(state, dabs, shape.diameter);
}

// ---- Summary ----

// stroke/<impl>/<shape>/<kind>[/variant]: the same name with another impl.
std::string Peer(const std::string &name, const char *impl)
{
    size_t a = name.find('/', 7), b = name.find('/', name.find('/', a + 1) + 1);
    return std::string("stroke/") + impl + name.substr(a, b == std::string::npos ? std::string::npos : b - a);
}

void PrintSummary(const bench::Rates &rates)
{
    std::printf("\n%-40s %12s %10s %11s %10s\n", "benchmark (medians)", "dabs/s", "Mpixel/s", "/ mypaint",
                "/ pixman");
    for (const std::string &name : rates.Names()) {
        double dabs = rates.Of(name, "dabs");
        std::printf("%-40s %12.0f %10.1f", name.c_str(), dabs, rates.Of(name, "items_per_second") / 1e6);
        for (const char *peer : {"mypaint", "pixman"}) {
            double p = rates.Of(Peer(name, peer), "dabs");
            if (p > 0 && name.rfind("stroke/engine", 0) == 0)
                std::printf(" %10.2f", dabs / p);
            else
                std::printf(" %10s", "");
        }
        std::printf("\n");
    }
}

void Register()
{
    for (const Shape &s : kShapes)
        for (bool soft : {false, true}) {
            if (s.pencil && soft)
                continue; // the pencil is the hard round brush
            std::string tail = std::string("/") + s.name + (soft ? "/soft" : "/hard");
            benchmark::RegisterBenchmark(("stroke/engine" + tail).c_str(), EngineStrokes, s, soft, 4096,
                                         4096);
            benchmark::RegisterBenchmark(("stroke/mypaint" + tail).c_str(), MyPaintStrokes, s, soft);
            benchmark::RegisterBenchmark(("stroke/pixman" + tail).c_str(), PixmanStrokes, s, soft);
            benchmark::RegisterBenchmark(("stroke/engine" + tail + "/4000x3000").c_str(), EngineStrokes, s,
                                         soft, 4000, 3000);
        }
}

// libmypaint's tile work is parallel with OpenMP; the engine paints on one
// thread, so the peer does too.
void OneThreadForMyPaint()
{
    using SetThreads = void (*)(int);
    if (auto set = reinterpret_cast<SetThreads>(dlsym(RTLD_DEFAULT, "omp_set_num_threads")))
        set(1);
}

} // namespace

int main(int argc, char **argv)
{
    OneThreadForMyPaint();
    Register();
    return bench::RunWithSummary(argc, argv, PrintSummary);
}
