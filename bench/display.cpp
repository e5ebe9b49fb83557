// Display speed: a 1024 x 768 XcImage filled from a larger store image
// (3119 x 2333, a width that is not a power of two, large enough for every
// zoom) through a view and FillTev2X, as the picture widget paints, next to
// pixman doing the same work in the same run and memcpy of the destination
// bytes. Destination pixels are the items. After the runs, in the console
// format, a table gives the medians in Mpixel/s and the ratios the display
// is measured by.
//
//   display/<true|pseudo>/<format>/<zoom>   screen 0 TrueColor, screen 1
//                                           8-bit PseudoColor (dithered)
//     format: grey8 rgb8 rgba8 cmyk8 rgb16  (rgba8: alpha over its whole
//                                           range, most pixels composed)
//     zoom NUM_DEN: NUM source pixels per DEN destination pixels;
//       1_1 copy, 3_1 reduced, 1_3 magnified (nearest), 2_1avg and 3_2avg
//       reduced with quality 1 (area average)
//   pixman/src/1:1            a8r8g8b8 to x8r8g8b8, PIXMAN_OP_SRC
//   pixman/nearest/<zoom>     the same with a nearest-filter scale
//   pixman/box/<2_1|3_2>      a separable box convolution (area average)
//   memcpy                    the destination's 1024 * 768 * 4 bytes
//
// It needs an X server with both screens, as scripts/xvfb.sh starts it:
//
//   . scripts/xvfb.sh && dab_start_xvfb && build-bench/bench/bench_display
//     --benchmark_repetitions=5 --benchmark_report_aggregates_only=true
//     [--benchmark_filter=true/rgb8] [--benchmark_format=json]
#include "BenchImages.h"
#include "core/Bytes.h"
#include "core/Image.h"
#include "xc/FillTev2X.h"
#include "xc/View.h"
#include "xc/Visual.h"
#include "xc/XcImage.h"

#include <benchmark/benchmark.h>
#include <pixman.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace
{

constexpr int kW = 1024, kH = 768;        // the destination
constexpr int kSrcW = 3119, kSrcH = 2333; // the source
constexpr int kX0 = 17, kY0 = 13;         // source pixel under destination (0, 0)

struct Zoom {
    const char *name;
    int num, den;
    bool average;
};
constexpr Zoom kZooms[] = {{"1_1", 1, 1, false},
                           {"3_1", 3, 1, false},
                           {"1_3", 1, 3, false},
                           {"2_1avg", 2, 1, true},
                           {"3_2avg", 3, 2, true}};

struct Format {
    const char *name;
    int mode, bits;
    bool alpha;
};
constexpr Format kFormats[] = {{"grey8", IMAGE_MODE_GREY, 8, false},
                               {"rgb8", IMAGE_MODE_RGB, 8, false},
                               {"rgba8", IMAGE_MODE_RGB, 8, true},
                               {"cmyk8", IMAGE_MODE_CMYK, 8, false},
                               {"rgb16", IMAGE_MODE_RGB, 16, false}};

// A pattern that varies along both axes and between planes, so that
// averages and dithering see changing values.
uint32_t Pattern(int p, int x, int y)
{
    return uint32_t(x * (3 + p) + y * (5 + 2 * p) + ((x ^ y) & 63) * p) & 0xffff;
}

Image *Source(const Format &f)
{
    Image *image = bench::Create(kSrcW, kSrcH, f.mode, f.alpha, f.bits);
    const int colour = f.mode == IMAGE_MODE_GREY ? 1 : f.mode == IMAGE_MODE_RGB ? 3 : 4;
    for (int p = 0; p < colour + (f.alpha ? 1 : 0); ++p)
        for (int y = 0; y < kSrcH; ++y) {
            uint8_t *row = Image_Row(image, p, y);
            for (int x = 0; x < kSrcW; ++x)
                if (f.bits == 16 && p < colour)
                    Bytes_Put16(row + 2 * x, uint16_t(Pattern(p, x, y) * 97));
                else
                    row[x] = uint8_t(Pattern(p, x, y));
        }
    return image;
}

Display *TheDisplay()
{
    static Display *d = XOpenDisplay(nullptr);
    return d;
}

// Screen 0's TrueColor visual or screen 1's PseudoColor one (its root
// visual) and a 1024 x 768 X image on it; null when the server has no such
// screen.
XcImage *ScreenImage(bool pseudo)
{
    static XcImage *images[2];
    XcImage *&image = images[pseudo ? 1 : 0];
    const int n = pseudo ? 1 : 0;
    if (image || !TheDisplay() || ScreenCount(TheDisplay()) <= n)
        return image;
    XcVisual *v = XcOpenVisual(TheDisplay(), n, pseudo ? XcVisualDefault : XcVisualBest);
    if (!v || v->c_class != (pseudo ? PseudoColor : TrueColor) || v->depth != (pseudo ? 8 : 24))
        return nullptr;
    int shm = 0;
    image = XcImage_Create(v, nullptr, kW, kH, &shm);
    return image;
}

// The view puts source pixel (kX0, kY0) on destination (0, 0) and steps
// num source pixels per den destination pixels on both axes.
void Paint(benchmark::State &state, bool pseudo, Format format, Zoom zoom)
{
    XcImage *xi = ScreenImage(pseudo);
    if (!xi) {
        state.SkipWithError(pseudo ? "no 8-bit PseudoColor screen 1" : "no 24-bit TrueColor screen 0");
        return;
    }
    Image *image = Source(format);
    FillTev2XOptions o{};
    o.quality = zoom.average ? FT2X_AVERAGE : FT2X_NEAREST;
    o.bgPixel = FillPixel{40, 80, 120, 0};
    Fill *fill = FillTev2XCreate(image, xi, &o, FT2X_QUALITY | FT2X_BGPIXEL);
    const Box src = Box_Rect(0, 0, kSrcW, kSrcH), dst = Box_Rect(0, 0, kW, kH);
    View *view = bench::ZoomView(state, src, dst, kX0, kY0, zoom.num, zoom.den, fill);
    for (auto _ : state) {
        ViewFillDst(view, &dst);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * kW * kH);
    ViewDestroy(view);
    FillTev2XDestroy(fill);
    Image_DestroyImage(image);
}

// pixman's side: the source as a8r8g8b8 and an x8r8g8b8 destination.
struct PixmanPair {
    std::vector<uint32_t> srcBits, dstBits;
    pixman_image_t *src, *dst;
    PixmanPair() : srcBits(size_t(kSrcW) * kSrcH), dstBits(size_t(kW) * kH)
    {
        for (int y = 0; y < kSrcH; ++y)
            for (int x = 0; x < kSrcW; ++x)
                srcBits[size_t(y) * kSrcW + x] = 0xff000000u | (Pattern(0, x, y) & 255) << 16 |
                                                 (Pattern(1, x, y) & 255) << 8 | (Pattern(2, x, y) & 255);
        src = pixman_image_create_bits(PIXMAN_a8r8g8b8, kSrcW, kSrcH, srcBits.data(), kSrcW * 4);
        dst = pixman_image_create_bits(PIXMAN_x8r8g8b8, kW, kH, dstBits.data(), kW * 4);
    }
    ~PixmanPair()
    {
        pixman_image_unref(src);
        pixman_image_unref(dst);
    }
    // Destination (x, y) samples source (kX0 + x * num / den, ...).
    void Scale(int num, int den)
    {
        pixman_f_transform ft;
        pixman_f_transform_init_scale(&ft, double(num) / den, double(num) / den);
        pixman_f_transform_translate(&ft, nullptr, kX0, kY0);
        pixman_transform t;
        pixman_transform_from_pixman_f_transform(&t, &ft);
        pixman_image_set_transform(src, &t);
    }
    void Composite(int sx, int sy)
    {
        pixman_image_composite32(PIXMAN_OP_SRC, src, nullptr, dst, sx, sy, 0, 0, 0, 0, kW, kH);
    }
};

void PixmanRun(benchmark::State &state, PixmanPair &p, int sx, int sy)
{
    for (auto _ : state) {
        p.Composite(sx, sy);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * kW * kH);
}

void PixmanSrc(benchmark::State &state)
{
    PixmanPair p;
    PixmanRun(state, p, kX0, kY0);
}

void PixmanNearest(benchmark::State &state, Zoom zoom)
{
    PixmanPair p;
    p.Scale(zoom.num, zoom.den);
    pixman_image_set_filter(p.src, PIXMAN_FILTER_NEAREST, nullptr, 0);
    PixmanRun(state, p, 0, 0);
}

// The area average: each source pixel a box (reconstruction), each
// destination pixel's footprint a box of num / den source pixels (sampling).
void PixmanBox(benchmark::State &state, Zoom zoom)
{
    PixmanPair p;
    p.Scale(zoom.num, zoom.den);
    const pixman_fixed_t scale = pixman_double_to_fixed(double(zoom.num) / zoom.den);
    int n = 0;
    pixman_fixed_t *params = pixman_filter_create_separable_convolution(
        &n, scale, scale, PIXMAN_KERNEL_BOX, PIXMAN_KERNEL_BOX, PIXMAN_KERNEL_BOX, PIXMAN_KERNEL_BOX, 1, 1);
    pixman_image_set_filter(p.src, PIXMAN_FILTER_SEPARABLE_CONVOLUTION, params, n);
    free(params);
    PixmanRun(state, p, 0, 0);
}

void Memcpy(benchmark::State &state)
{
    std::vector<uint32_t> from(size_t(kW) * kH, 0x00336699u), to(size_t(kW) * kH);
    for (auto _ : state) {
        std::memcpy(to.data(), from.data(), to.size() * 4);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * kW * kH);
}

void Register()
{
    for (bool pseudo : {false, true})
        for (const Format &f : kFormats)
            for (const Zoom &z : kZooms)
                benchmark::RegisterBenchmark(
                    (std::string("display/") + (pseudo ? "pseudo/" : "true/") + f.name + "/" + z.name)
                        .c_str(),
                    Paint, pseudo, f, z);
    benchmark::RegisterBenchmark("pixman/src/1:1", PixmanSrc);
    for (const Zoom &z : kZooms)
        if (z.num != z.den && !z.average)
            benchmark::RegisterBenchmark((std::string("pixman/nearest/") + z.name).c_str(), PixmanNearest, z);
    for (const Zoom &z : kZooms)
        if (z.average) {
            const std::string name = std::string(z.name).substr(0, std::strlen(z.name) - 3);
            benchmark::RegisterBenchmark(("pixman/box/" + name).c_str(), PixmanBox, z);
        }
    benchmark::RegisterBenchmark("memcpy", Memcpy);
}

// The peer a display run is measured against, and the goal of that ratio:
// the blit for 1:1, the nearest scale for the nearest zooms, the box
// convolution for the averaged reductions.
std::string PeerOf(const std::string &zoom, double *goal)
{
    if (zoom == "1_1") {
        *goal = 0.8;
        return "pixman/src/1:1";
    }
    *goal = 1.0;
    if (zoom.size() > 3 && zoom.compare(zoom.size() - 3, 3, "avg") == 0)
        return "pixman/box/" + zoom.substr(0, zoom.size() - 3);
    return "pixman/nearest/" + zoom;
}

void PrintSummary(const bench::Rates &rates)
{
    const std::string ips = "items_per_second";
    std::printf("\n%-34s %10s %10s %6s %12s\n", "benchmark (medians)", "Mpixel/s", "/ pixman", "goal",
                "pseudo/true");
    for (const std::string &name : rates.Names()) {
        const double rate = rates.Of(name, ips);
        std::printf("%-34s %10.1f", name.c_str(), rate / 1e6);
        if (name.rfind("display/", 0) != 0) {
            std::printf("\n");
            continue;
        }
        // display/<kind>/<format>/<zoom>
        const size_t k = name.find('/', 8), z = name.rfind('/');
        const bool pseudo = name.compare(8, k - 8, "pseudo") == 0;
        double goal = 0.0;
        const double peer = rates.Of(PeerOf(name.substr(z + 1), &goal), ips);
        if (!pseudo && peer > 0)
            std::printf(" %10.2f %6.1f", rate / peer, goal);
        else
            std::printf(" %10s %6s", "", "");
        const double truth = rates.Of("display/true" + name.substr(k), ips);
        if (pseudo && truth > 0)
            std::printf(" %12.2f (goal 0.5)", rate / truth);
        std::printf("\n");
    }
}

} // namespace

int main(int argc, char **argv)
{
    if (!getenv("DISPLAY") || !TheDisplay()) {
        std::fprintf(stderr, "bench_display needs an X server with a 24-bit TrueColor screen 0 and an 8-bit "
                             "PseudoColor screen 1: run it as\n"
                             "  . scripts/xvfb.sh && dab_start_xvfb && build-bench/bench/bench_display "
                             "--benchmark_repetitions=5\n");
        return 2;
    }
    Register();
    return bench::RunWithSummary(argc, argv, PrintSummary);
}
