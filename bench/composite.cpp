// Dab compositing speed: an 8-bit grey + alpha brush image composited with
// op over and a floating colour into an RGB + alpha 8-bit store image, at
// spread positions, through FillTev2Tev and ViewFillDst as the stroke work
// does (impl "fill"); the same boxes composited by pixman (OVER, solid
// source, a8 mask, into a8r8g8b8) and copied by memcpy into the four planes
// (a write-only bound), and the memory floor of the planar store: each row
// of the four planes read and written back with minimal arithmetic. Pixels
// are the items. After the runs, in the console format, a table gives the
// medians in Mpixel/s and the ratios to pixman and to the floor on the same
// dabs.
//
//   composite/<impl>/<dab31|dab101|dab201>/<hard|soft>   4096 x 4096, 1:1
//   composite/floor/<dab31|dab101|dab201>                 the same boxes
//   composite/fill/<dab>/<kind>/4000x3000               a width that is not
//                                                       a power of two
//   composite/fill/<dab>/<kind>/zoom3:2                 brush scaled 3/2 down,
//                                                       area averaged
//
// Hard dab: the built-in brush with airbrush off, soft: with airbrush on,
// both at peak 255 (full coverage inside, where pixman's fast path stores).
#include "BenchImages.h"
#include "brush/Buildin.h"
#include "core/Image.h"
#include "xc/FillTev2Tev.h"
#include "xc/View.h"

#include <benchmark/benchmark.h>
#include <pixman.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <unistd.h>
#include <vector>

namespace
{

constexpr int kDabs = 256; // positions per iteration

// An opaque RGB + alpha destination, every page touched once.
struct Canvas {
    Image *image;
    int width, height;
    Canvas(int w, int h) : image(bench::CreateCanvas(w, h)), width(w), height(h) {}
    ~Canvas() { Image_DestroyImage(image); }
};

Canvas &CanvasOf(int w)
{
    static Canvas big(4096, 4096), odd(4000, 3000);
    return w == 4096 ? big : odd;
}

// A grey + alpha brush image whose alpha plane holds the built-in brush of
// diameter n at peak 255: hard (airbrush off, flat top and anti-aliased rim)
// or soft (airbrush on, linear fall-off).
Image *Brush(int n, bool soft)
{
    Image *b = bench::Create(n, n, IMAGE_MODE_GREY, true);
    for (int y = 0; y < n; ++y)
        std::memset(Image_Row(b, 0, y), 128, size_t(n));
    if (Buildin_Make(b, 1, n, n, 1, 255, soft ? 1.0 : 0.0))
        std::abort();
    return b;
}

// The brush's coverage rows, n x n.
std::vector<uint8_t> Coverage(int n, bool soft)
{
    Image *b = Brush(n, soft);
    std::vector<uint8_t> c(size_t(n) * n);
    for (int y = 0; y < n; ++y)
        std::memcpy(&c[size_t(y) * n], Image_Row(b, 1, y), size_t(n));
    Image_DestroyImage(b);
    return c;
}

// Dab boxes spread over the canvas (a fixed low-discrepancy walk).
std::vector<Box> Positions(int dab, int w, int h)
{
    std::vector<Box> out;
    for (int i = 0; i < kDabs; ++i) {
        if (getenv("SAME")) {
            out.push_back(Box{64, 64, 64 + dab - 1, 64 + dab - 1, dab, dab, 0});
            continue;
        }
        int x = int((i * 0.6180339887 - std::floor(i * 0.6180339887)) * (w - dab));
        int y = int((i * 0.7548776662 - std::floor(i * 0.7548776662)) * (h - dab));
        out.push_back(Box{x, y, x + dab - 1, y + dab - 1, dab, dab, 0});
    }
    return out;
}

Box BoxWH(int x, int y, int w, int h)
{
    return Box{x, y, x + w - 1, y + h - 1, w, h, 0};
}

// Through the fill object: one view from the brush box onto the canvas, the
// dab box as destination reference at each dab, as the stroke work does.
// zoom: the brush box covers 3/2 of the dab (a brush 3/2 the size, scaled down).
void FillDabs(benchmark::State &state, int dab, bool soft, int w, int h, bool zoom)
{
    Canvas &canvas = CanvasOf(w);
    int brushSize = zoom ? (3 * dab + 1) / 2 + 1 : dab;
    Image *brush = Brush(brushSize, soft);
    FillTev2TevOptions o{};
    o.op = FT2T_OP_OVER;
    o.floating = 1;
    o.fgValues = ColorValue{COLOR_RGB, 200, 100, 50, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    Fill *fill = FillTev2TevCreate(brush, canvas.image, &o, FT2T_OP | FT2T_FLOATING | FT2T_FGPIXEL);
    Box src = BoxWH(0, 0, brushSize, brushSize), dst = BoxWH(0, 0, w, h);
    View *view = NViewCreate(&src, &dst, nullptr, fill, nullptr, 0);
    Box srcRef = zoom ? BoxWH(0, 0, 3 * dab, 3 * dab) : src;
    std::vector<Box> boxes = Positions(dab, w, h);
    for (auto _ : state)
        for (const Box &b : boxes) {
            Box ref = zoom ? BoxWH(b.x1, b.y1, 2 * dab, 2 * dab) : b;
            ViewSetMap(view, &srcRef, &ref);
            ViewFillDst(view, &b);
        }
    state.SetItemsProcessed(int64_t(state.iterations()) * kDabs * dab * dab);
    ViewDestroy(view);
    FillTev2TevDestroy(fill);
    Image_DestroyImage(brush);
}

void Pixman(benchmark::State &state, int dab, bool soft)
{
    bench::PixmanCanvas canvas;
    std::vector<uint8_t> bits, c = Coverage(dab, soft);
    pixman_image_t *mask = bench::A8Mask(bits, c.data(), dab, dab, dab);
    std::vector<Box> boxes = Positions(dab, 4096, 4096);
    for (auto _ : state)
        for (const Box &b : boxes)
            canvas.Over(mask, b.x1, b.y1, dab, dab);
    state.SetItemsProcessed(int64_t(state.iterations()) * kDabs * dab * dab);
    pixman_image_unref(mask);
}

// The memory floor of the planar store: every row of the four planes of
// each dab box read and written back, flipping one bit per byte (eight bytes
// at a time).
void Floor(benchmark::State &state, int dab)
{
    Canvas &canvas = CanvasOf(4096);
    std::vector<Box> boxes = Positions(dab, 4096, 4096);
    for (auto _ : state) {
        for (const Box &b : boxes)
            for (int p = 0; p < 4; ++p)
                for (int y = 0; y < dab; ++y) {
                    uint8_t *row = Image_Row(canvas.image, p, b.y1 + y) + b.x1;
                    int i = 0;
                    for (; i + 8 <= dab; i += 8) {
                        uint64_t v;
                        std::memcpy(&v, row + i, 8);
                        v ^= 0x0101010101010101ull;
                        std::memcpy(row + i, &v, 8);
                    }
                    for (; i < dab; ++i)
                        row[i] ^= 1;
                }
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * kDabs * dab * dab);
}

// The bandwidth floor: the coverage rows copied into the four planes.
void Memcpy(benchmark::State &state, int dab, bool soft)
{
    Canvas &canvas = CanvasOf(4096);
    std::vector<uint8_t> c = Coverage(dab, soft);
    std::vector<Box> boxes = Positions(dab, 4096, 4096);
    for (auto _ : state) {
        for (const Box &b : boxes)
            for (int p = 0; p < 4; ++p)
                for (int y = 0; y < dab; ++y)
                    std::memcpy(Image_Row(canvas.image, p, b.y1 + y) + b.x1, &c[size_t(y) * dab],
                                size_t(dab));
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * kDabs * dab * dab);
}

void Register()
{
    for (int dab : {31, 101, 201}) {
        benchmark::RegisterBenchmark(("composite/floor/dab" + std::to_string(dab)).c_str(), Floor, dab);
        for (bool soft : {false, true}) {
            std::string tail = "/dab" + std::to_string(dab) + (soft ? "/soft" : "/hard");
            benchmark::RegisterBenchmark(("composite/fill" + tail).c_str(), FillDabs, dab, soft, 4096, 4096,
                                         false);
            benchmark::RegisterBenchmark(("composite/pixman" + tail).c_str(), Pixman, dab, soft);
            benchmark::RegisterBenchmark(("composite/memcpy" + tail).c_str(), Memcpy, dab, soft);
            benchmark::RegisterBenchmark(("composite/fill" + tail + "/4000x3000").c_str(), FillDabs, dab,
                                         soft, 4000, 3000, false);
            benchmark::RegisterBenchmark(("composite/fill" + tail + "/zoom3:2").c_str(), FillDabs, dab, soft,
                                         4096, 4096, true);
        }
    }
}

// composite/<impl>/<dab>/<kind>[/variant]: its peers on the same dabs.
std::string Peer(const std::string &name, const char *impl, bool withKind)
{
    size_t a = name.find('/', 10), dab = name.find('/', a + 1), kind = name.find('/', dab + 1);
    return std::string("composite/") + impl + name.substr(a, (withKind ? kind : dab) - a);
}

void PrintSummary(const bench::Rates &rates)
{
    std::printf("\n%-42s %12s %10s %10s\n", "benchmark (medians)", "Mpixel/s", "/ pixman", "/ floor");
    for (const std::string &name : rates.Names()) {
        double rate = rates.Of(name, "items_per_second");
        std::printf("%-42s %12.1f", name.c_str(), rate / 1e6);
        bool floor = name.rfind("composite/floor", 0) == 0;
        for (double peer : {rates.Of(Peer(name, "pixman", true), "items_per_second"),
                            rates.Of(Peer(name, "floor", false), "items_per_second")})
            if (!floor && peer > 0)
                std::printf(" %10.2f", rate / peer);
            else
                std::printf(" %10s", "");
        std::printf("\n");
    }
}

} // namespace

#include "xc/kernels/Span.h"
int main(int argc, char **argv)
{
    if (getenv("TGT"))
        tev::Span_UseTarget(strtoll(getenv("TGT"), nullptr, 0));
    Register();
    return bench::RunWithSummary(argc, argv, PrintSummary);
}
