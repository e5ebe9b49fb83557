// Brush shapes: drawing the built-in brush into the 201 × 201 stroke brush
// image, soft (airbrush) and hard (anti-aliased rim), items = pixels of the
// brush box. Beside them: memset of the same plane (the floor) and, when
// libmypaint is there, one libmypaint dab of the same size (mask and
// compositing into its tiles, so an upper reference rather than a like peer).
#include "brush/Buildin.h"
#include "core/Image.h"

#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

#if __has_include(<mypaint-fixed-tiled-surface.h>)
#include <mypaint-fixed-tiled-surface.h>
#define DAB_HAVE_MYPAINT 1
#endif

namespace
{

constexpr int kSize = 201;

// A one-plane 8-bit brush image in memory: the header, then the plane.
struct BrushImage {
    std::vector<unsigned char> bytes = std::vector<unsigned char>(IMAGE_HEADER_SIZE + kSize * kSize);
    BrushImage()
    {
        Image *i = image();
        Image_SetField(i, IMAGE_WIDTH, kSize);
        Image_SetField(i, IMAGE_HEIGHT, kSize);
        Image_SetField(i, IMAGE_PLANES, 1);
        Image_SetField(i, IMAGE_COLOR_PLANES, 1);
        unsigned char *record = Image_PlaneRecord(i, 0);
        Bytes_SetField(record, IMAGE_PLANE_OFFSET, IMAGE_HEADER_SIZE);
        Bytes_SetField(record, IMAGE_PLANE_BITS, 8);
        Bytes_SetField(record, IMAGE_PLANE_DEPTH, 8);
        Bytes_SetField(record, IMAGE_PLANE_BYTES_PER_ROW, kSize);
        Bytes_SetField(record, IMAGE_PLANE_KIND, IMAGE_KIND_GREY);
    }
    Image *image() { return reinterpret_cast<Image *>(bytes.data()); }
};

void Make(benchmark::State &state, double exponent)
{
    BrushImage brush;
    for (auto _ : state) {
        if (Buildin_Make(brush.image(), 0, kSize, kSize, 1, Buildin_Peak(100), exponent) != 0)
            state.SkipWithError("Buildin_Make failed");
        benchmark::DoNotOptimize(brush.bytes.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * kSize * kSize);
}

void BM_MakeSoft(benchmark::State &state)
{
    Make(state, 1.0);
}
void BM_MakeHard(benchmark::State &state)
{
    Make(state, 0.0);
}

void BM_Memset(benchmark::State &state)
{
    BrushImage brush;
    unsigned char *plane = Image_Row(brush.image(), 0, 0);
    for (auto _ : state) {
        std::memset(plane, 254, size_t(kSize) * kSize);
        benchmark::DoNotOptimize(plane);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * kSize * kSize);
}

} // namespace

BENCHMARK(BM_MakeSoft)->Name("buildin/make/201/soft");
BENCHMARK(BM_MakeHard)->Name("buildin/make/201/hard");
BENCHMARK(BM_Memset)->Name("buildin/peer/memset/201");

#ifdef DAB_HAVE_MYPAINT
namespace
{

void Mypaint(benchmark::State &state, float hardness)
{
    MyPaintFixedTiledSurface *fixed = mypaint_fixed_tiled_surface_new(256, 256);
    MyPaintSurface *surface = mypaint_fixed_tiled_surface_interface(fixed);
    for (auto _ : state) {
        mypaint_surface_begin_atomic(surface);
        mypaint_surface_draw_dab(surface, 128, 128, kSize / 2.0f, 0, 0, 0, 1, hardness, 1, 1, 0, 0, 0);
        mypaint_surface_end_atomic(surface, nullptr);
    }
    mypaint_surface_unref(surface);
    state.SetItemsProcessed(state.iterations() * kSize * kSize);
}

void BM_MypaintSoft(benchmark::State &state)
{
    Mypaint(state, 0.05f);
}
void BM_MypaintHard(benchmark::State &state)
{
    Mypaint(state, 1.0f);
}

} // namespace

BENCHMARK(BM_MypaintSoft)->Name("buildin/peer/mypaint_dab/201/soft");
BENCHMARK(BM_MypaintHard)->Name("buildin/peer/mypaint_dab/201/hard");
#endif

BENCHMARK_MAIN();
