// Every Tev2Tev table against the reference fill: seeded random images of
// every mode, depth and alpha case, random views (zooms, phases), boxes, ops,
// planes, masks and thresholds; the bytes must be equal.
#include "MemImage.h"
#include "Reference.h"
#include "xc/FillTev2Tev.h"
#include "xc/View.h"
#include "xc/kernels/Span.h"
#include "xc/kernels/Tev2Tev.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <random>
#include <sstream>
#include <string>

namespace
{

const char *ModeName(int m)
{
    return m == 1 ? "GRAY" : m == 2 ? "RGB" : m == 3 ? "CMYK" : "CST";
}

// The name the selection must compose, written out independently.
std::string TableName(int sm, int sd, int dm, int dd, bool alpha)
{
    std::string a = alpha ? "ALPHA" : "NOALPHA";
    if (sm == 99)
        return "Tev2Tev_CST" + a + "8_" + ModeName(dm) + "ALPHA" + std::to_string(dd);
    return "Tev2Tev_" + std::string(ModeName(sm)) + a + std::to_string(sd) + "_" + ModeName(dm) + a +
           std::to_string(dd);
}

struct Format {
    int sm, sd, dm, dd;
    bool alpha;
};

// The 180 formats: every source mode and depth (or a constant colour)
// onto every destination mode and depth, with alpha and without.
std::vector<Format> AllFormats()
{
    std::vector<Format> out;
    for (int dm : {1, 2, 3})
        for (int dd : {1, 8, 16})
            for (int sm : {1, 2, 3, 99})
                for (int sd : {1, 8, 16})
                    for (bool a : {false, true})
                        if (sm != 99 || sd == 8)
                            out.push_back({sm, sd, dm, dd, a});
    return out;
}

struct CaseResult {
    std::string selected, difference, description;
    int painted = 0;
};

// One random case of one format: builds the images and the options that must
// select its table, paints a random box through a random view with the fill
// object and with the reference, and compares every plane.
CaseResult RunCase(std::mt19937 &rng, const Format &f)
{
    bool cst = f.sm == 99;
    ref::Config c{};
    c.op = std::vector<int>{1, 2, 3, 0, 2, 2}[rng() % 6];
    c.quality = rng() % 3 ? 1 : 0;
    c.dithering = int(rng() % 2);
    c.threshold = std::vector<double>{0.5, 0.0, 1.0, 0.3, 0.77, 1.7, -0.2}[rng() % 7]; // clamped to 0..1
    c.fgValues.mode = 2;
    for (int *v : {&c.fgValues.red, &c.fgValues.green, &c.fgValues.blue, &c.fgValues.cyan,
                   &c.fgValues.magenta, &c.fgValues.yellow, &c.fgValues.black, &c.fgValues.grey})
        *v = int(MemImage::Biased(rng, 8));
    int sw = RandIn(rng, 1, 24), sh = RandIn(rng, 1, 24), dw = RandIn(rng, 1, 40), dh = RandIn(rng, 1, 40);

    // Which alpha sources are in play.
    bool srcAlpha = false, dstAlpha = false, srcMask = false, dstMask = false;
    if (f.alpha) {
        do {
            srcAlpha = rng() % 2;
            dstAlpha = rng() % 2;
            srcMask = rng() % 3 == 0;
            dstMask = rng() % 3 == 0;
        } while (cst ? !(srcAlpha || srcMask || dstMask || (dstAlpha && c.op == 3))
                     : !(srcAlpha || dstAlpha || srcMask || dstMask));
    } else if (cst) {
        dstAlpha = rng() % 2;
        if (c.op == 3)
            c.op = 1;
    }
    c.floating = cst;
    int srcMode = cst ? RandIn(rng, 1, 3) : f.sm,
        srcDepth = cst ? std::vector<int>{1, 8, 16}[rng() % 3] : f.sd;
    // An alpha plane present but switched off must not count.
    bool srcHasAlpha = srcAlpha || (!f.alpha && rng() % 3 == 0);
    bool dstHasAlpha = dstAlpha || (!f.alpha && !cst && rng() % 3 == 0);
    SideImage src = MakeSide(rng, srcMode, srcDepth, srcHasAlpha, sw, sh);
    SideImage dst = MakeSide(rng, f.dm, f.dd, dstHasAlpha, dw, dh);
    srcHasAlpha = Image_AlphaPlanes(*src.img) != 0;
    dstHasAlpha = Image_AlphaPlanes(*dst.img) != 0;
    c.noSrcAlpha = srcHasAlpha && !srcAlpha;
    c.noDstAlpha = dstHasAlpha && !dstAlpha;
    c.srcPlane = cst ? -1 : src.plane;
    // A shown alpha plane drops that side's alpha: keep the table's alpha case.
    bool srcUsed = srcAlpha && !(c.srcPlane >= 0 && c.srcPlane == Image_AlphaPlane(*src.img));
    bool dstUsed = dstAlpha && !(dst.plane >= 0 && dst.plane == Image_AlphaPlane(*dst.img));
    if (f.alpha && !(srcUsed || srcMask || dstMask || (dstUsed && (!cst || c.op == 3))))
        srcMask = true;
    c.dstPlane = dst.plane;
    std::unique_ptr<MemImage> sm, dm;
    if (srcMask) {
        sm = std::make_unique<MemImage>(sw, sh, 1, 8, rng() % 2);
        sm->Randomize(rng);
        c.srcMask = *sm;
        c.srcMaskPlane = int(rng() % sm->Planes());
    }
    if (dstMask) {
        dm = std::make_unique<MemImage>(dw, dh, 1, 8, false);
        dm->Randomize(rng);
        c.dstMask = *dm;
    }

    Fill *fill = FillTev2TevCreate(*src.img, *dst.img, &c, ref::kAllOptions);
    auto *data = static_cast<FillTev2TevData *>(fill->data);
    CaseResult r;
    r.selected = data->kernels ? data->kernels->name : "(none)";

    // The view: the source's own box (sometimes a part of it, or more than
    // the image holds) mapped at a random zoom and phase.
    Zoom zx = RandomZoom(rng), zy = RandomZoom(rng);
    Box srcBox = B(0, 0, sw - 1, sh - 1);
    if (rng() % 8 == 0)
        srcBox = B(RandIn(rng, -2, sw - 1), RandIn(rng, -2, sh - 1), RandIn(rng, 0, sw + 3),
                   RandIn(rng, 0, sh + 3));
    Box dstBox = B(0, 0, dw - 1, dh - 1);
    View *view = NViewCreate(&srcBox, &dstBox, nullptr, fill, nullptr, 0);
    Box box = ref::MapAndBox(rng, view, zx, zy, dw, dh);

    MemImage want(dw, dh, Image_Mode(*dst.img), Image_PlaneBits(*dst.img, 0),
                  Image_AlphaPlanes(*dst.img) != 0);
    want.CopyFrom(*dst.img);
    r.painted = ref::Filler(view, *src.img, *dst.img, want, c).FillDst(box);
    ViewFillDst(view, &box);
    r.difference = FirstDifference(*dst.img, want);

    // Enough to rebuild the case by hand; the seed replays it.
    std::ostringstream d;
    d << "src " << ModeName(srcMode) << srcDepth << (srcHasAlpha ? "+a " : " ") << sw << "x" << sh
      << " plane " << c.srcPlane << ", dst " << f.dd << (dstHasAlpha ? "+a " : " ") << dw << "x" << dh
      << " plane " << c.dstPlane << ", zoom " << zx.num << "/" << zx.den << " x " << zy.num << "/" << zy.den
      << ", box (" << box.x1 << "," << box.y1 << ")-(" << box.x2 << "," << box.y2 << "), op " << c.op
      << " quality " << c.quality << " masks " << srcMask << dstMask;
    r.description = d.str();
    ViewDestroy(view);
    FillTev2TevDestroy(fill);
    return r;
}

} // namespace

// Every table against the reference (the span loops at every target are
// compared with the plain loop below).
TEST(Kernels, EveryTableMatchesTheReference)
{
    // DAB_KERNEL_SEED picks another reproducible run.
    const char *env = std::getenv("DAB_KERNEL_SEED");
    const uint32_t seed = env ? uint32_t(std::strtoul(env, nullptr, 10)) : 20240611u;
    const int casesPerTable = 14;
    SCOPED_TRACE("seed " + std::to_string(seed));
    std::mt19937 rng(seed);
    for (const Format &f : AllFormats()) {
        std::string name = TableName(f.sm, f.sd, f.dm, f.dd, f.alpha);
        int painting = 0;
        for (int i = 0; i < casesPerTable; ++i) {
            CaseResult r = RunCase(rng, f);
            ASSERT_EQ(r.selected, name) << r.description;
            ASSERT_EQ(r.difference, "") << name << " case " << i << ": " << r.description;
            painting += r.painted > 0;
        }
        EXPECT_GE(painting, 2) << name << ": too few cases painted anything";
    }
    EXPECT_EQ(Tev2Tev_Count(), int(AllFormats().size()));
}

// The span loops of every target Highway compiled that this processor runs
// against the plain formula, at every length up to a few vectors, with runs
// of weight 0 and 1 where blocks are skipped or stored flat, weights of the
// operation tables, and many v == c (where the double expression may land
// just below c); the bytes around the span stay as they were. The span's
// weights, gathered from a table, are those of the plain lookup.
TEST(Kernels, SpanLoopsAgreeAtEveryTarget)
{
    std::mt19937 rng(29);
    const FillTev2TevOpTables over = FillTev2Tev_OpTables(FT2T_OP_OVER),
                              under = FillTev2Tev_OpTables(FT2T_OP_UNDER);
    const std::vector<int64_t> targets = tev::Span_Targets();
    EXPECT_GE(targets.size(), 2u); // a vector target and the portable one at least
    for (int64_t target : targets) {
        tev::Span_UseTarget(target);
        for (int n = 0; n <= 70; ++n)
            for (int round = 0; round < 20; ++round) {
                std::vector<double> w(static_cast<size_t>(n) + 1);
                std::vector<int32_t> v(size_t(n) + 1);
                std::vector<uint8_t> base(size_t(n) + 32);
                for (auto &b : base)
                    b = uint8_t(MemImage::Biased(rng, 8));
                int run = int(rng() % 3); // 0: all weights 0, 1: all 1, 2: mixed
                for (int i = 0; i < n; ++i) {
                    int kind = round % 4 == 0 ? run : int(rng() % 4);
                    const double *table = rng() % 2 ? over.weight : under.weight;
                    w[size_t(i)] = kind == 0 ? 0.0 : kind == 1 ? 1.0 : table[rng() % 65536];
                    v[size_t(i)] = rng() % 3 ? int32_t(MemImage::Biased(rng, 8)) : base[size_t(i) + 16];
                }
                int32_t vc = int32_t(MemImage::Biased(rng, 8));
                for (bool flat : {false, true}) {
                    std::vector<uint8_t> want = base, got = base;
                    for (int i = 0; i < n; ++i) {
                        uint8_t &c = want[size_t(i) + 16];
                        double wi = w[size_t(i)];
                        c = uint8_t(int32_t((1.0 - wi) * c + wi * (flat ? vc : v[size_t(i)])));
                    }
                    tev::Span_Blend8(got.data() + 16, w.data(), flat ? nullptr : v.data(), vc, n);
                    ASSERT_EQ(got, want) << tev::Span_TargetName(target) << " n " << n << " flat " << flat;
                }
                // The weights and alphas of cells (d, a), or of one row d.
                const bool row = round % 2;
                std::vector<uint8_t> a(base.begin(), base.begin() + n), d(base.begin() + 16, base.end());
                std::vector<double> gotW(size_t(n) + 1, -1.0);
                std::vector<uint8_t> gotA(size_t(n) + 1), wantA(size_t(n) + 1);
                const int r = row ? base[0] * 256 : 0;
                tev::Span_Weights(a.data(), row ? nullptr : d.data(), over.weightByD + r, over.alphaByD + r,
                                  gotW.data(), gotA.data(), n);
                for (int i = 0; i < n; ++i) {
                    int k = (row ? 0 : d[size_t(i)] * 256) + a[size_t(i)];
                    ASSERT_EQ(gotW[size_t(i)], over.weightByD[r + k]) << tev::Span_TargetName(target);
                    ASSERT_EQ(gotA[size_t(i)], over.alphaByD[r + k]) << tev::Span_TargetName(target);
                }
                ASSERT_EQ(gotW[size_t(n)], -1.0); // nothing past the span
            }
    }
    tev::Span_UseTarget(0);
}

// Averages at fractions of large terms, where the sums of one destination
// pixel come near 2^31 (summed in 32 bits) or pass it (64 bits): grey images
// at full scale, which give the largest sums, and random ones, against the
// reference.
TEST(Kernels, AveragesAtLargeFractionsMatchTheReference)
{
    std::mt19937 rng(31);
    const Zoom zooms[] = {{2901, 2900}, {2903, 2902}, {2900, 2901}, {181, 180}, {182, 181}};
    for (int depth : {8, 16})
        for (const Zoom &z : zooms)
            for (bool full : {true, false}) {
                MemImage src(37, 29, 1, depth, false), dst(40, 31, 1, depth, false),
                    want(40, 31, 1, depth, false);
                src.Randomize(rng);
                for (int y = 0; full && y < src.Height(); ++y)
                    for (int x = 0; x < src.Width(); ++x)
                        src.Set(0, x, y, uint32_t(ref::Full(depth)));
                dst.Randomize(rng);
                want.CopyFrom(dst);
                ref::Config c{};
                c.op = FT2T_OP_REPLACE;
                c.quality = 1;
                c.srcPlane = c.dstPlane = -1;
                Fill *fill = FillTev2TevCreate(src, dst, &c, ref::kAllOptions);
                Box srcBox = B(0, 0, 36, 28), dstBox = B(0, 0, 39, 30);
                View *view = NViewCreate(&srcBox, &dstBox, nullptr, fill, nullptr, 0);
                Box box = ref::MapAndBox(rng, view, z, z, 40, 31);
                ref::Filler(view, src, dst, want, c).FillDst(box);
                ViewFillDst(view, &box);
                EXPECT_EQ(FirstDifference(dst, want), "")
                    << "depth " << depth << " zoom " << z.num << "/" << z.den << (full ? " full scale" : "");
                ViewDestroy(view);
                FillTev2TevDestroy(fill);
            }
}
