// The image-to-X fillers against a reference written from the rules, slow on
// purpose: every destination pixel on its own, its source from
// ViewDstToSrcPh, averages from the shared reference sample, dither
// thresholds asked of XcCmsGetDither at the pixel's own offset from the grid
// origin. Seeded random images, views, boxes and options on both test
// visuals reach every one of the 40 tables in every slot; then the edge cases
// a random run would not pin.
#include <gtest/gtest.h> // before Xlib's macros

#include "MemImage.h"
#include "Reference.h"
#include "TestDisplay.h"
#include "xc/FillTev2X.h"
#include "xc/kernels/Tev2X.h"

#include <algorithm>
#include <cstring>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace
{

constexpr int kAllOptions = FT2X_QUALITY | FT2X_PRECISION | FT2X_PHASE | FT2X_BGPIXEL | FT2X_NOSRCALPHA |
                            FT2X_PLANE | FT2X_BLEND | FT2X_FGPIXEL | FT2X_FLOATING | FT2X_MASK;

using Bytes = std::vector<uint8_t>; // an X image's rows, bytes_per_line each

Bytes Snapshot(const XcImage *xi)
{
    const XImage *i = xi->image;
    return Bytes(i->data, i->data + size_t(i->bytes_per_line) * size_t(i->height));
}

void Restore(XcImage *xi, const Bytes &b)
{
    std::memcpy(xi->image->data, b.data(), b.size());
}

bool Pseudo(const XcImage *xi)
{
    return xi->visual->c_class == PseudoColor;
}

size_t Offset(const XcImage *xi, int x, int y)
{
    return size_t(y) * size_t(xi->image->bytes_per_line) + size_t(x) * (Pseudo(xi) ? 1 : 4);
}

uint32_t Get(const XcImage *xi, const Bytes &b, int x, int y)
{
    uint32_t w = 0;
    std::memcpy(&w, &b[Offset(xi, x, y)], Pseudo(xi) ? 1 : 4);
    return w;
}

void Put(const XcImage *xi, Bytes &b, int x, int y, uint32_t w)
{
    std::memcpy(&b[Offset(xi, x, y)], &w, Pseudo(xi) ? 1 : 4);
}

// The TrueColor word of a colour: the shifts name the bytes the server reads.
uint32_t Word(const XcCms *cms, int r, int g, int b)
{
    return uint32_t(r) << cms->cubeStart[0] | uint32_t(g) << cms->cubeStart[1] |
           uint32_t(b) << cms->cubeStart[2];
}

// The reference image-to-X fill.
class XRef
{
  public:
    XRef(View *v, Image *img, XcImage *xi, const FillTev2XOptions &o) : v_(v), img_(img), xi_(xi), o_(o)
    {
        side_ = ref::SideOf(img, std::clamp(o.plane, -1, Image_Planes(img) - 1), o.noSrcAlpha);
        useAlpha_ = side_.alpha || o.mask;
        lastX_ = std::min(v->src.x2, Image_Width(img) - 1);
        lastY_ = std::min(v->src.y2, Image_Height(img) - 1);
    }

    std::string TableName() const
    {
        static const char *modes[] = {"", "GRAY", "RGB", "CMYK"};
        std::string s = o_.floating ? "CST" : modes[side_.mode];
        return "Tev2X_" + s + (useAlpha_ ? "ALPHA" : "NOALPHA") +
               std::to_string(o_.floating ? 8 : side_.depth) +
               (Pseudo(xi_) ? "_PSEUDOCNOALPHA8" : "_TRUECNOALPHA8");
    }

    int Slot() const
    {
        const ViewMap &x = v_->xMap, &y = v_->yMap;
        const bool zoomed = !(x.num == 1 && x.den == 1 && y.num == 1 && y.den == 1);
        const bool blocks = o_.precisionX != 1 || o_.precisionY != 1;
        if (o_.quality == 2 && blocks)
            return TEV2X_BLOCKS;
        if (o_.quality == 0 && blocks) // also unzoomed: a refinement pass at 1:1
            return TEV2X_SPARSE;
        if (o_.quality == 1 && zoomed)
            return blocks ? TEV2X_SPARSE_AVERAGE : TEV2X_AVERAGE;
        return zoomed ? TEV2X_NEAREST : TEV2X_COPY;
    }

    // Paints into out what ViewFillDst(view, box) paints, from the bytes orig
    // held before; returns the number of pixels painted.
    int Paint(const Box &box, const Bytes &orig, Bytes &out) const
    {
        Box k, ximage = B(0, 0, xi_->image->width - 1, xi_->image->height - 1);
        if (!Box_Clip(&k, &box, &v_->imageArea) || !Box_SelfClip(&k, &ximage))
            return 0;
        const int slot = Slot(), ox = v_->srcExtent.x1, oy = v_->srcExtent.y1;
        int n = 0;
        for (int y = k.y1; y <= k.y2; ++y)
            for (int x = k.x1; x <= k.x2; ++x) {
                // Blocks: the corner's source, the block's first row in the
                // box built and copied down (its dither, its pixels under).
                int qx = x, qy = y, ry = y;
                if (slot == TEV2X_BLOCKS) {
                    qx = x - (x - ox) % o_.precisionX;
                    qy = y - (y - oy) % o_.precisionY;
                    ry = std::max(qy, k.y1);
                } else if ((slot == TEV2X_SPARSE || slot == TEV2X_SPARSE_AVERAGE) &&
                           !(Painted(x, k.x1, ox, o_.precisionX, o_.phaseX) &&
                             Painted(y, k.y1, oy, o_.precisionY, o_.phaseY)))
                    continue;
                const bool average = slot == TEV2X_AVERAGE || slot == TEV2X_SPARSE_AVERAGE;
                Put(xi_, out, x, y, Pixel(orig, x, ry, qx, qy, average));
                ++n;
            }
        return n;
    }

  private:
    // One pixel per block at the phase, the grid anchored at o.
    static bool Painted(int x, int x1, int o, int p, int phase)
    {
        int first = x1 - (x1 - o) % p + phase;
        if (first < x1)
            first += p;
        return x >= first && (x - first) % p == 0;
    }

    // The pixel at (x, y) showing the source of destination pixel (qx, qy).
    uint32_t Pixel(const Bytes &orig, int x, int y, int qx, int qy, bool average) const
    {
        int sx, sy, phx, phy;
        ViewDstToSrcPh(v_, qx, qy, &sx, &sy, &phx, &phy);
        auto at = [&](const Image *im, int p) {
            return ref::Sample(v_, im, p, 8, sx, sy, phx, phy, average, lastX_, lastY_);
        };
        int a = side_.alpha ? at(img_, side_.alpha) : 255;
        if (o_.mask)
            a = a * at(o_.mask, o_.maskPlane) / 255;
        const uint32_t under = Get(xi_, orig, x, y);
        if (a == 0)
            return o_.blend ? under : o_.bgPixel.pixel;
        if (o_.floating && a == 255)
            return o_.fgPixel.pixel;
        int c[3] = {o_.fgPixel.red, o_.fgPixel.green, o_.fgPixel.blue};
        if (!o_.floating) {
            std::vector<int> s;
            for (int p : ref::ColourPlanes(side_))
                s.push_back(at(img_, p));
            for (int ch = 0; ch < 3; ++ch)
                c[ch] = side_.mode == 1   ? s[0]
                        : side_.mode == 2 ? s[size_t(ch)]
                                          : std::max(0, 255 - s[3] - s[size_t(ch)]);
        }
        const int bg[3] = {o_.bgPixel.red, o_.bgPixel.green, o_.bgPixel.blue};
        const XcCms *cms = xi_->cms;
        for (int ch = 0; a != 255 && ch < 3; ++ch) {
            const double t = a / 255.0;
            const int u = !o_.blend     ? bg[ch]
                          : Pseudo(xi_) ? cms->component[ch][under]
                                        : int((under & uint32_t(cms->levels[ch])) >> cms->cubeStart[ch]);
            c[ch] = int((1 - t) * u + t * c[ch]);
        }
        return Pseudo(xi_) ? Dithered(c, x, y) : Word(cms, c[0], c[1], c[2]);
    }

    uint32_t Dithered(const int c[3], int x, int y) const
    {
        int level[3];
        for (int ch = 0; ch < 3; ++ch) {
            int dx = x - v_->srcExtent.x1, dy = y - v_->srcExtent.y1;
            const int32_t *block = XcCmsGetDither(xi_->cms, ch, &dx, &dy);
            level[ch] = xi_->cms->quant[ch][c[ch] * 256 + block[1 + dx]];
        }
        return xi_->cms->cubeMap[level[0]][level[1]][level[2]] & 255u;
    }

    View *v_;
    Image *img_;
    XcImage *xi_;
    FillTev2XOptions o_;
    ref::Side side_;
    bool useAlpha_;
    int lastX_, lastY_;
};

// The first pixel where the X image's bytes differ from want, or "".
std::string FirstDifference(const XcImage *xi, const Bytes &want)
{
    const Bytes got = Snapshot(xi);
    for (size_t i = 0; i < got.size(); ++i)
        if (got[i] != want[i]) {
            const int bpl = xi->image->bytes_per_line, x = int(i % size_t(bpl)) / (Pseudo(xi) ? 1 : 4);
            const int y = int(i / size_t(bpl));
            std::ostringstream s;
            s << "pixel (" << x << ", " << y << "): got 0x" << std::hex << Get(xi, got, x, y) << ", want 0x"
              << Get(xi, want, x, y);
            return s.str();
        }
    return "";
}

struct Format {
    int mode, depth; // mode 99: the constant colour
    bool alpha;
};

struct Case {
    std::string name, failure; // the table the case selects; what went wrong, or ""
    bool painted = false;
};

// Precision 1x1, all colour planes, everything else off.
FillTev2XOptions Plain()
{
    FillTev2XOptions o{};
    o.precisionX = o.precisionY = 1;
    o.plane = -1;
    return o;
}

// A view of the whole image onto the whole X image.
View *WholeView(Image *img, XcImage *xi, Fill *fill)
{
    Box src = Box_OfImage(img), dst = B(0, 0, xi->image->width - 1, xi->image->height - 1);
    return NViewCreate(&src, &dst, nullptr, fill, nullptr, 0);
}

FillPixel RandomPixel(std::mt19937 &rng)
{
    return {uint8_t(MemImage::Biased(rng, 8)), uint8_t(MemImage::Biased(rng, 8)),
            uint8_t(MemImage::Biased(rng, 8)), uint32_t(rng())};
}

// The options that make the dispatcher take the slot, zooms to match.
void ForSlot(std::mt19937 &rng, int slot, FillTev2XOptions *o, Zoom *zx, Zoom *zy)
{
    const bool blocks = slot >= TEV2X_BLOCKS && slot <= TEV2X_SPARSE_AVERAGE;
    do {
        o->precisionX = blocks ? RandIn(rng, 1, 5) : 1;
        o->precisionY = blocks ? RandIn(rng, 1, 5) : 1;
    } while (blocks && o->precisionX == 1 && o->precisionY == 1);
    o->phaseX = RandIn(rng, 0, o->precisionX - 1);
    o->phaseY = RandIn(rng, 0, o->precisionY - 1);
    static const int quality[] = {0, 0, FT2X_BLOCKS, FT2X_NEAREST, FT2X_AVERAGE, FT2X_AVERAGE};
    o->quality = slot == TEV2X_NEAREST ? int(rng() % 2) * 2
                 : slot == TEV2X_COPY  ? RandIn(rng, 0, 2)
                                       : quality[slot];
    do {
        *zx = slot == TEV2X_COPY ? Zoom{1, 1} : RandomZoom(rng);
        *zy = slot == TEV2X_COPY ? Zoom{1, 1} : RandomZoom(rng);
    } while (slot != TEV2X_COPY && slot != TEV2X_BLOCKS && zx->num == zx->den && zy->num == zy->den);
}

// Both test visuals with an X image each.
class FillTev2XTest : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        for (int s : {0, 1}) {
            if (!TestVisual(s, &visual[s]))
                GTEST_SKIP() << "needs scripts/xvfb.sh's X display";
            ASSERT_TRUE(xi[s] = XcImage_Create(&visual[s], nullptr, 1, 1, &shm));
        }
    }
    void TearDown() override
    {
        for (XcImage *i : xi)
            if (i)
                XcImage_Destroy(i);
        XcCmsCloseAll();
    }
    // Resized and filled with random bytes.
    XcImage *Sized(int s, int w, int h, std::mt19937 &rng)
    {
        xi[s] = XcImage_SetDims(xi[s], w, h, &shm);
        Bytes noise(size_t(xi[s]->image->bytes_per_line) * size_t(h));
        for (uint8_t &b : noise)
            b = uint8_t(rng());
        Restore(xi[s], noise);
        return xi[s];
    }

    // One random case of a format and slot on screen s: an image, options
    // and a view that must select its table and slot, a box painted by the
    // filler and by the reference, then again in two halves.
    Case RunCase(std::mt19937 &rng, int s, const Format &f, int slot)
    {
        const bool cst = f.mode == 99, alphaPlane = f.alpha && rng() % 2;
        const int sw = RandIn(rng, 1, 24), sh = RandIn(rng, 1, 24);
        SideImage img = MakeSide(rng, cst ? RandIn(rng, 1, 3) : f.mode,
                                 cst ? std::vector<int>{1, 8, 16}[rng() % 3] : f.depth,
                                 alphaPlane || rng() % 3 == 0, sw, sh);
        FillTev2XOptions o{};
        Zoom zx, zy;
        ForSlot(rng, slot, &o, &zx, &zy);
        o.bgPixel = RandomPixel(rng);
        o.fgPixel = RandomPixel(rng);
        o.floating = cst;
        o.plane = img.plane;
        o.blend = int(rng() % 2);
        // An alpha plane there but not wanted is switched off (unless it is
        // the plane shown, and no alpha then).
        const bool alphaThere = ref::SideOf(*img.img, o.plane, 0).alpha != 0;
        o.noSrcAlpha = alphaPlane ? 0 : alphaThere ? 1 : int(rng() % 2);
        std::unique_ptr<MemImage> mask;
        if (f.alpha && (!ref::SideOf(*img.img, o.plane, o.noSrcAlpha).alpha || rng() % 3 == 0)) {
            mask = std::make_unique<MemImage>(sw, sh, 1, 8, rng() % 2);
            mask->Randomize(rng);
            o.mask = *mask;
            o.maskPlane = int(rng() % uint32_t(mask->Planes()));
        }
        const int dw = RandIn(rng, 1, 40), dh = RandIn(rng, 1, 40), more = rng() % 8 ? 0 : 3;
        XcImage *x = Sized(s, dw, dh, rng);
        Fill *fill = FillTev2XCreate(*img.img, x, &o, kAllOptions);
        // The source's own box, sometimes a part of it; a destination
        // sometimes reaching past the X image.
        Box src = B(0, 0, sw - 1, sh - 1), dst = B(0, 0, dw - 1 + more, dh - 1 + more);
        if (rng() % 4 == 0) {
            src.x1 = RandIn(rng, 0, sw - 1), src.y1 = RandIn(rng, 0, sh - 1);
            src = B(src.x1, src.y1, RandIn(rng, src.x1, sw - 1), RandIn(rng, src.y1, sh - 1));
        }
        View *view = NViewCreate(&src, &dst, nullptr, fill, nullptr, 0);
        Box box = ref::MapAndBox(rng, view, zx, zy, dw, dh);
        if (const Box &ia = view->imageArea; !BoxEmpty(&ia) && rng() % 4) { // mostly inside the image area
            const int x1 = RandIn(rng, ia.x1, ia.x2), y1 = RandIn(rng, ia.y1, ia.y2);
            box = B(x1, y1, RandIn(rng, x1, ia.x2), RandIn(rng, y1, ia.y2));
        }
        XRef r(view, *img.img, x, o);
        Case c{r.TableName(), "", false};
        auto *data = static_cast<FillTev2XData *>(fill->data);
        const std::string selected = data->kernels ? data->kernels->name : "(none)";
        const Bytes orig = Snapshot(x);
        Bytes want = orig;
        c.painted = r.Paint(box, orig, want) > 0;
        ViewFillDst(view, &box);
        const Bytes whole = Snapshot(x);
        c.failure = r.Slot() != slot     ? "slot " + std::to_string(r.Slot())
                    : selected != c.name ? "selected " + selected
                                         : FirstDifference(x, want);
        // Two halves, split at a column for blocks (which copy their first
        // row in the box down, so that a split between rows moves it).
        Restore(x, orig);
        Box a = box, b = box;
        if (slot == TEV2X_BLOCKS || rng() % 2)
            a.x2 = (b.x1 = RandIn(rng, box.x1, std::max(box.x1, box.x2))) - 1;
        else
            a.y2 = (b.y1 = RandIn(rng, box.y1, std::max(box.y1, box.y2))) - 1;
        a = B(a.x1, a.y1, a.x2, a.y2), b = B(b.x1, b.y1, b.x2, b.y2);
        ViewFillDst(view, &a);
        ViewFillDst(view, &b);
        if (c.failure.empty() && !(c.failure = FirstDifference(x, whole)).empty())
            c.failure = "halves (" + std::to_string(b.x1) + ", " + std::to_string(b.y1) + "): " + c.failure;
        std::ostringstream d;
        d << " in " << c.name << " slot " << slot << ": image " << sw << "x" << sh << " plane " << o.plane
          << " noSrcAlpha " << o.noSrcAlpha << " mask " << bool(mask) << ", src (" << src.x1 << "," << src.y1
          << ")-(" << src.x2 << "," << src.y2 << "), X image " << dw << "x" << dh << ", zoom " << zx.num
          << "/" << zx.den << " x " << zy.num << "/" << zy.den << " phases " << view->xMap.phase << ","
          << view->yMap.phase << ", origin (" << view->srcExtent.x1 << "," << view->srcExtent.y1 << "), box ("
          << box.x1 << "," << box.y1 << ")-(" << box.x2 << "," << box.y2 << "), precision " << o.precisionX
          << "x" << o.precisionY << " phase " << o.phaseX << "," << o.phaseY << " blend " << o.blend;
        c.failure += c.failure.empty() ? "" : d.str();
        ViewDestroy(view);
        FillTev2XDestroy(fill);
        return c;
    }

    XcVisual visual[2];
    XcImage *xi[2] = {nullptr, nullptr};
    int shm = 0;
};

} // namespace

// Every table in every slot on random cases against the reference.
TEST_F(FillTev2XTest, EveryTableAndSlotMatchesTheReference)
{
    const char *env = std::getenv("DAB_KERNEL_SEED");
    const uint32_t seed = env ? uint32_t(std::strtoul(env, nullptr, 10)) : 20240612u;
    SCOPED_TRACE("seed " + std::to_string(seed));
    std::mt19937 rng(seed);
    std::vector<Format> formats{{99, 8, false}, {99, 8, true}};
    for (int m : {1, 2, 3})
        for (int d : {1, 8, 16})
            for (bool a : {false, true})
                formats.push_back({m, d, a});
    std::set<std::string> seen;
    for (int s : {0, 1})
        for (const Format &f : formats)
            for (int slot = 0; slot < 6; ++slot)
                for (int i = 0, painting = 0; painting < 3; ++i) { // cases that paint something
                    ASSERT_LT(i, 40) << "screen " << s << " slot " << slot << ": too few cases paint";
                    const Case c = RunCase(rng, s, f, slot);
                    ASSERT_EQ(c.failure, "") << "case " << i;
                    seen.insert(c.name);
                    painting += c.painted;
                }
    ASSERT_EQ(Tev2X_Count(), 40);
    for (int i = 0; i < Tev2X_Count(); ++i)
        EXPECT_EQ(seen.count(Tev2X_At(i)->name), 1u) << Tev2X_At(i)->name;
}

// What a random run would not pin: the conversions' corners, precision on an
// unzoomed view, and a sparse pass whose one pixel per block lies outside.
TEST_F(FillTev2XTest, ConversionsAndPassesAtTheirEdges)
{
    std::mt19937 rng(5);
    // The X image's bytes before and after painting box of a w x h X image on
    // screen 0 with the whole image.
    auto paint = [&](Image *img, const FillTev2XOptions &o, int w, int h, Box box) {
        XcImage *x = Sized(0, w, h, rng);
        const Bytes before = Snapshot(x);
        Fill *fill = FillTev2XCreate(img, x, &o, kAllOptions);
        View *view = WholeView(img, x, fill);
        ViewFillDst(view, &box);
        ViewDestroy(view);
        FillTev2XDestroy(fill);
        return std::pair(before, Snapshot(x));
    };
    const XcCms *cms = xi[0]->cms;
    MemImage cmyk(2, 1, 3, 8, false), grey16(1, 1, 1, 16, false), grey(8, 8, 1, 8, false);
    cmyk.Set(3, 0, 0, 255); // black ink alone, then cyan alone
    cmyk.Set(0, 1, 0, 255);
    Bytes got = paint(cmyk, Plain(), 2, 1, B(0, 0, 1, 0)).second;
    EXPECT_EQ(Get(xi[0], got, 0, 0), Word(cms, 0, 0, 0));
    EXPECT_EQ(Get(xi[0], got, 1, 0), Word(cms, 0, 255, 255));
    grey16.Set(0, 0, 0, 0x1234);
    EXPECT_EQ(Get(xi[0], paint(grey16, Plain(), 1, 1, B(0, 0, 0, 0)).second, 0, 0),
              Word(cms, 0x12, 0x12, 0x12));

    // Unzoomed, quality 0 at precision 4x4 is still a sparse pass: the pixel
    // at the phase of each block, (1, 2), (5, 2), (1, 6), (5, 6).
    grey.Randomize(rng);
    FillTev2XOptions o = Plain();
    o.precisionX = o.precisionY = 4;
    o.phaseX = 1, o.phaseY = 2;
    got = paint(grey, o, 8, 8, B(0, 0, 7, 7)).second;
    int copied = 0;
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x) {
            const int g = int(grey.Get(0, x, y));
            copied += Get(xi[0], got, x, y) == Word(cms, g, g, g) ? (x % 4 == 1 && y % 4 == 2 ? 1 : 100) : 0;
        }
    EXPECT_EQ(copied, 4);
    // Magnified 2x, phase (3, 3) of 4x4 blocks: a block-aligned 2x2 box holds
    // no painted pixel; a 4x4 one holds one, at (3, 3).
    o.phaseX = o.phaseY = 3;
    auto [before, after] = paint(grey, o, 16, 16, B(4, 8, 5, 9));
    EXPECT_EQ(before, after);
    std::tie(before, after) = paint(grey, o, 16, 16, B(4, 8, 7, 11));
    const int g = int(grey.Get(0, 3, 5));
    Put(xi[0], before, 7, 11, Word(cms, g, g, g));
    EXPECT_EQ(before, after);
}

TEST_F(FillTev2XTest, PlanesAreClampedAndBadMasksRefused)
{
    MemImage rgba(6, 5, 2, 8, true), wide(7, 5, 1, 8, false), deep(6, 5, 1, 16, false),
        good(6, 5, 1, 8, false);
    FillTev2XOptions o = Plain();
    o.plane = 9;
    o.mask = wide;
    Fill *fill = FillTev2XCreate(rgba, xi[0], &o, kAllOptions);
    ASSERT_TRUE(fill);
    auto *d = static_cast<FillTev2XData *>(fill->data);
    EXPECT_TRUE(d->plane == 3 && d->mask == nullptr); // the alpha plane shown: opaque grey
    EXPECT_STREQ(d->kernels->name, "Tev2X_GRAYNOALPHA8_TRUECNOALPHA8");
    FillTev2XSetPlane(fill, -5);
    EXPECT_EQ(d->plane, -1);
    FillTev2XSetPlane(fill, 7);
    EXPECT_EQ(d->plane, 3);
    FillTev2XSetPlane(fill, -1);
    EXPECT_STREQ(d->kernels->name, "Tev2X_RGBALPHA8_TRUECNOALPHA8");
    FillTev2XSetNoSrcAlpha(fill, 1);
    for (MemImage *m : {&wide, &deep}) {
        FillTev2XSetMask(fill, *m, 0);
        EXPECT_EQ(d->mask, nullptr);
        EXPECT_STREQ(d->kernels->name, "Tev2X_RGBNOALPHA8_TRUECNOALPHA8");
    }
    FillTev2XSetMask(fill, good, 0);
    EXPECT_EQ(d->mask, good.image());
    EXPECT_STREQ(d->kernels->name, "Tev2X_RGBALPHA8_TRUECNOALPHA8");
    FillTev2XDestroy(fill);
}

// A 16-bit TrueColor visual gets no kernels and no null filler; the null
// filler writes a byte per pixel on PseudoColor and a word on TrueColor,
// inside the box only.
TEST_F(FillTev2XTest, OtherDepthsPaintNothingAndTheNullFillerFillsBoxes)
{
    std::mt19937 rng(7);
    MemImage grey(4, 4, 1, 8, false);
    grey.Randomize(rng);
    XcImage *x = Sized(0, 4, 4, rng);
    XcVisual *real = x->visual, fake = *real;
    fake.depth = 16;
    x->visual = &fake;
    const FillTev2XOptions o = Plain();
    Fill *fill = FillTev2XCreate(grey, x, &o, kAllOptions), *null = FillNull2XCreate(nullptr, x, nullptr, 0);
    ASSERT_TRUE(fill && null);
    EXPECT_TRUE(!static_cast<FillTev2XData *>(fill->data)->kernels && !null->fill);
    const Bytes before = Snapshot(x);
    View *view = WholeView(grey, x, fill);
    Box box = B(0, 0, 3, 3);
    FillTev2X_Fill(view, fill->data, &box);
    EXPECT_EQ(FirstDifference(x, before), "");
    x->visual = real;
    FillNull2XDestroy(null);
    const uint32_t pixel = 0x89ABCDEF;
    for (int s : {0, 1}) {
        x = Sized(s, 9, 7, rng);
        null = FillNull2XCreate(nullptr, x, &pixel, FN2X_PIXEL);
        Bytes want = Snapshot(x);
        box = B(2, 1, 6, 5);
        for (int y = box.y1; y <= box.y2; ++y)
            for (int c = box.x1; c <= box.x2; ++c)
                Put(x, want, c, y, pixel); // the low byte on PseudoColor
        null->fill(view, null->data, &box);
        EXPECT_EQ(FirstDifference(x, want), "") << "screen " << s;
        FillNull2XDestroy(null);
    }
    ViewDestroy(view);
    FillTev2XDestroy(fill);
}

// A box wider than a kernel's span (several spans per row) paints what its
// narrow strips paint one by one, on both visuals, for the formats and zooms
// the display meets most, nearest and averaged, with partial alpha over the
// background or over the X image.
TEST_F(FillTev2XTest, WideBoxesPaintWhatTheirStripsPaint)
{
    std::mt19937 rng(41);
    const int w = 700, h = 3;
    const Zoom zooms[] = {{1, 1}, {1, 3}, {3, 1}, {2, 1}, {3, 2}};
    for (int s : {0, 1})
        for (const Format &f : {Format{1, 8, false}, Format{2, 8, false}, Format{2, 8, true},
                                Format{3, 8, false}, Format{2, 16, false}})
            for (const Zoom &z : zooms) {
                MemImage img(3 * w + 5, 3 * h + 5, f.mode, f.depth, f.alpha);
                img.Randomize(rng);
                FillTev2XOptions o = Plain();
                o.quality = z.num > z.den && z.num < 3 ? FT2X_AVERAGE : FT2X_NEAREST;
                o.bgPixel = RandomPixel(rng);
                o.blend = int(rng() % 2);
                const Bytes noise = Snapshot(Sized(s, w, h, rng));
                auto paint = [&](int strip) {
                    Restore(xi[s], noise);
                    Fill *fill = FillTev2XCreate(img, xi[s], &o, kAllOptions);
                    View *view = WholeView(img, xi[s], fill);
                    const Box srcRef = B(2, 1, 1 + z.num, z.num), dstRef = B(0, 0, z.den - 1, z.den - 1);
                    ViewSetMap(view, &srcRef, &dstRef);
                    for (int x = 0; x < w; x += strip) {
                        Box box = B(x, 0, std::min(x + strip, w) - 1, h - 1);
                        ViewFillDst(view, &box);
                    }
                    ViewDestroy(view);
                    FillTev2XDestroy(fill);
                    return Snapshot(xi[s]);
                };
                EXPECT_EQ(paint(w), paint(37))
                    << "screen " << s << " mode " << f.mode << " depth " << f.depth
                    << (f.alpha ? " alpha" : "") << " zoom " << z.num << "/" << z.den;
            }
}
