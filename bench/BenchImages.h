// Scratch store images, the pixman peer's canvas and the run with a summary,
// benchmark programs (each program is one source file, so this is a header).
#pragma once

#include "core/Bytes.h"
#include "core/Image.h"
#include "xc/View.h"

#include <benchmark/benchmark.h>
#include <pixman.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <unistd.h>
#include <vector>

namespace bench
{

// The store directory of the run, made on first use and removed at exit
// with whatever images the benchmarks left in it.
inline void ScratchStore()
{
    static struct Dir {
        std::string path;
        Dir()
        {
            // In memory when the machine has it: writing back the dirty
            // pages of a disk file would time the file system, not us.
            std::string base = std::filesystem::is_directory("/dev/shm") ? "/dev/shm" : "/tmp";
            std::string tmpl = base + "/dab_bench_XXXXXX";
            if (!mkdtemp(tmpl.data()))
                std::abort();
            path = tmpl;
            Image_Init(path.c_str(), nullptr, nullptr);
        }
        ~Dir() { std::filesystem::remove_all(path); }
    } dir;
}

// A store image (8-bit unless told); a benchmark cannot go on without it.
inline Image *Create(int w, int h, int mode, bool alpha, int bits = 8)
{
    ScratchStore();
    unsigned char info[IMAGE_INFO_SIZE];
    Image_MakeInfo(info, w, h, mode, bits, alpha ? 1 : 0);
    Image *image = nullptr;
    if (Image_CreateImage(&image, info))
        std::abort();
    return image;
}

// Colour planes get a pattern and the alpha plane is opaque, so that every
// page is touched once before the timings.
inline Image *CreateCanvas(int w, int h)
{
    Image *image = Create(w, h, IMAGE_MODE_RGB, true);
    for (int p = 0; p < 3; ++p)
        for (int y = 0; y < h; ++y)
            std::memset(Image_Row(image, p, y), (p * 71 + y) & 255, size_t(w));
    for (int y = 0; y < h; ++y)
        std::memset(Image_Row(image, 3, y), 255, size_t(w));
    return image;
}

// pixman's side: a 4096 x 4096 a8r8g8b8 canvas and the solid colour the
// engine paints with (200, 100, 50).
struct PixmanCanvas {
    pixman_image_t *dst;
    pixman_image_t *solid;
    PixmanCanvas()
    {
        static std::vector<uint32_t> pixels(size_t(4096) * 4096, 0xff336699u);
        dst = pixman_image_create_bits(PIXMAN_a8r8g8b8, 4096, 4096, pixels.data(), 4096 * 4);
        pixman_color_t colour = {200 * 257, 100 * 257, 50 * 257, 0xffff};
        solid = pixman_image_create_solid_fill(&colour);
    }
    ~PixmanCanvas()
    {
        pixman_image_unref(solid);
        pixman_image_unref(dst);
    }
    void Over(pixman_image_t *mask, int x, int y, int w, int h)
    {
        pixman_image_composite32(PIXMAN_OP_OVER, solid, mask, dst, 0, 0, 0, 0, x, y, w, h);
    }
};

// An a8 mask of w x h coverage rows (row stride `pitch` in `rows`), its bits
// kept in `bits`, which must outlive the mask.
inline pixman_image_t *A8Mask(std::vector<uint8_t> &bits, const uint8_t *rows, int pitch, int w, int h)
{
    const int stride = (w + 3) & ~3;
    bits.assign(size_t(stride) * h, 0);
    for (int y = 0; y < h; ++y)
        std::memcpy(&bits[size_t(y) * stride], rows + size_t(y) * pitch, size_t(w));
    return pixman_image_create_bits(PIXMAN_a8, w, h, reinterpret_cast<uint32_t *>(bits.data()), stride);
}

// The counters of the runs, per benchmark (its registered name): the median
// of the repetitions, or the one run's value.
class Rates
{
  public:
    using Run = benchmark::BenchmarkReporter::Run;
    void Add(const Run &r)
    {
        auto &to = r.run_type == Run::RT_Aggregate ? medians_ : runs_;
        if (r.run_type == Run::RT_Aggregate && r.aggregate_name != "median")
            return;
        for (const auto &[counter, c] : r.counters)
            to[r.run_name.function_name][counter].push_back(c.value);
    }
    // 0 when the benchmark or the counter did not run.
    double Of(const std::string &name, const std::string &counter) const
    {
        for (const auto *from : {&medians_, &runs_}) {
            auto b = from->find(name);
            if (b == from->end())
                continue;
            auto c = b->second.find(counter);
            if (c == b->second.end() || c->second.empty())
                continue;
            std::vector<double> v = c->second;
            std::nth_element(v.begin(), v.begin() + long(v.size() / 2), v.end());
            return v[v.size() / 2];
        }
        return 0.0;
    }
    std::vector<std::string> Names() const
    {
        std::set<std::string> names;
        for (const auto *from : {&medians_, &runs_})
            for (const auto &b : *from)
                names.insert(b.first);
        return {names.begin(), names.end()};
    }

  private:
    std::map<std::string, std::map<std::string, std::vector<double>>> medians_, runs_;
};

// The display reporter the flags ask for, with the runs kept on the way.
class Tap : public benchmark::BenchmarkReporter
{
  public:
    explicit Tap(benchmark::BenchmarkReporter *inner) : inner_(inner) {}
    bool ReportContext(const Context &context) override { return inner_->ReportContext(context); }
    void ReportRuns(const std::vector<Run> &runs) override
    {
        for (const Run &r : runs)
            if (!r.error_occurred)
                rates.Add(r);
        inner_->ReportRuns(runs);
    }
    void Finalize() override { inner_->Finalize(); }
    bool Console() const { return dynamic_cast<benchmark::ConsoleReporter *>(inner_) != nullptr; }
    Rates rates;

  private:
    benchmark::BenchmarkReporter *inner_;
};

// Runs the registered benchmarks with Google Benchmark's own flags, then,
// in the console format only, prints the table of ratios.
template <class Print> int RunWithSummary(int argc, char **argv, Print print)
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    Tap tap(benchmark::CreateDefaultDisplayReporter());
    benchmark::RunSpecifiedBenchmarks(&tap);
    if (tap.Console())
        print(tap.rates);
    benchmark::Shutdown();
    return 0;
}

// A view from src onto dst at the zoom num/den (num source pixels on den
// destination pixels), source point (x0, y0) on the destination's origin;
// the benchmark stops with an error unless the source covers all of dst.
inline View *ZoomView(benchmark::State &state, const Box &src, const Box &dst, int x0, int y0, int num,
                      int den, Fill *fill)
{
    const Box srcRef = Box_Rect(x0, y0, num, num), dstRef = Box_Rect(dst.x1, dst.y1, den, den);
    ViewOptions vo{};
    vo.srcRef = &srcRef;
    vo.dstRef = &dstRef;
    View *view = NViewCreate(&src, &dst, nullptr, fill, &vo, VIEW_MAP);
    if (!view || view->imageArea.width != dst.width || view->imageArea.height != dst.height)
        state.SkipWithError("the source does not cover the destination");
    return view;
}

} // namespace bench
