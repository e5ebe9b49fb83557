// View mapping: floor arithmetic and phases, image area and nomans strips
// with the fill dispatch, zoom anchoring and ratio mode, the callback.
#include "MemImage.h"
#include "xc/View.h"

#include <gtest/gtest.h>

#include <random>
#include <utility>
#include <vector>

namespace
{

struct ViewPtr {
    View *v;
    explicit ViewPtr(View *view) : v(view) {}
    ~ViewPtr() { ViewDestroy(v); }
    View *operator->() const { return v; }
    operator View *() const { return v; }
};

View *Make(Box src, Box dst)
{
    return NViewCreate(&src, &dst, nullptr, nullptr, nullptr, 0);
}

std::vector<Box> Nomans(View *v)
{
    std::vector<Box> out;
    for (ListNode *n = ViewGetNomans(v)->first; n; n = n->next)
        out.push_back(*static_cast<Box *>(n->element));
    return out;
}

using Pair = std::pair<int32_t, int32_t>;

// A point mapped by one of the two-coordinate functions.
Pair Map(void (*map)(const View *, int32_t, int32_t, int32_t *, int32_t *), const View *v, int32_t x,
         int32_t y)
{
    Pair out;
    map(v, x, y, &out.first, &out.second);
    return out;
}

Pair Z(ViewZoom z)
{
    return {z.num, z.den};
}

void ExpectBox(const Box &b, int x1, int y1, int x2, int y2)
{
    EXPECT_EQ((std::vector<int>{b.x1, b.y1, b.x2, b.y2, b.width, b.height}),
              (std::vector<int>{x1, y1, x2, y2, x2 - x1 + 1, y2 - y1 + 1}));
}

} // namespace

// For random maps, negative coordinates included: the phase identity
// num * (d - dstOrigin) + phase == den * (s - srcOrigin) + ph with
// 0 <= ph < den, and the interval is exactly the set of pixels mapping into it.
TEST(View, FloorArithmeticHoldsForRandomMaps)
{
    std::mt19937 rng(7);
    std::uniform_int_distribution<int> len(1, 40), pos(-60, 60);
    for (int iter = 0; iter < 300; ++iter) {
        int sx = pos(rng), dx = pos(rng), ls = len(rng), ld = len(rng);
        ViewPtr v(Make(B(sx, 0, sx + ls - 1, 0), B(dx, 0, dx + ld - 1, 0)));
        const ViewMap &m = v->xMap;
        EXPECT_EQ(ls * m.den, ld * m.num);
        for (int d = -150; d <= 150; ++d) {
            int32_t s, y, ph, phy;
            ViewDstToSrcPh(v, d, 0, &s, &y, &ph, &phy);
            ASSERT_GE(ph, 0);
            ASSERT_LT(ph, m.den);
            ASSERT_EQ(long(m.num) * (d - m.dstOrigin) + m.phase, long(m.den) * (s - m.srcOrigin) + ph);
        }
        int s1 = pos(rng), s2 = s1 + len(rng) - 5;
        int32_t d1, d2;
        int ok = ViewSrcToDstInterval(v, &v->xMap, s1, s2, &d1, &d2);
        int lo = 100000, hi = -100000;
        for (int d = -5000; d <= 5000; ++d) {
            int s = ViewDstToSrcX(v, d);
            if (s >= s1 && s <= s2) {
                lo = std::min(lo, d);
                hi = std::max(hi, d);
            }
        }
        EXPECT_EQ(ok, lo <= hi ? 1 : 0);
        EXPECT_TRUE(!ok || Pair(d1, d2) == Pair(lo, hi)) << d1 << ".." << d2 << " want " << lo << ".." << hi;
        // The first destination pixel of a source pixel, when one source
        // pixel spans whole destination pixels.
        if (m.num == 1)
            for (int s = -30; s <= 30; ++s) {
                int d = ViewSrcToDstX(v, s);
                EXPECT_EQ(ViewDstToSrcX(v, d), s);
                EXPECT_EQ(ViewDstToSrcX(v, d - 1), s - 1);
            }
    }
}

// Random views, scrolled, their destination or source box changed: the
// image area is exactly the destination pixels whose source lies in the
// source box, the strips cover the rest of the destination and nothing of
// the image area, and a box filled goes to the filler inside the image area
// and to the background filler in the strips.
TEST(View, ImageAreaStripsAndFillDispatchForRandomViews)
{
    std::mt19937 rng(11);
    std::uniform_int_distribution<int> len(1, 30), pos(-20, 20);
    auto randomBox = [&] {
        int x = pos(rng), y = pos(rng);
        return B(x, y, x + len(rng) - 1, y + len(rng) - 1);
    };
    for (int iter = 0; iter < 300; ++iter) {
        std::vector<Box> fg, bg;
        const auto paint = [](View *, void *data, Box *box) {
            static_cast<std::vector<Box> *>(data)->push_back(*box);
        };
        Fill ffg{paint, &fg}, fbg{paint, &bg};
        Box src = randomBox(), dst = randomBox();
        ViewPtr v(NViewCreate(&src, &dst, &fbg, &ffg, nullptr, 0));
        std::vector<int32_t> before;
        for (int x = -40; x < 60; ++x)
            before.push_back(ViewDstToSrcX(v, x));
        const int dx = pos(rng), dy = pos(rng);
        ViewScroll(v, dx, dy);
        for (int x = -40 + std::max(0, -dx); x < 60 - std::max(0, dx); ++x)
            ASSERT_EQ(ViewDstToSrcX(v, x), before[size_t(x + 40 + dx)]);
        if (iter % 3 == 1)
            dst = randomBox(), ViewSetDst(v, &dst);
        if (iter % 3 == 2)
            src = randomBox(), ViewSetSrc(v, &src);
        const Box &a = v->imageArea;
        const std::vector<Box> strips = Nomans(v);
        for (int y = dst.y1 - 2; y <= dst.y2 + 2; ++y)
            for (int x = dst.x1 - 2; x <= dst.x2 + 2; ++x) {
                const int sx = ViewDstToSrcX(v, x), sy = ViewDstToSrcY(v, y);
                const bool inDst = x >= dst.x1 && x <= dst.x2 && y >= dst.y1 && y <= dst.y2;
                const bool image = inDst && sx >= src.x1 && sx <= src.x2 && sy >= src.y1 && sy <= src.y2;
                int inStrips = 0;
                for (const Box &b : strips)
                    inStrips += x >= b.x1 && x <= b.x2 && y >= b.y1 && y <= b.y2;
                ASSERT_EQ(x >= a.x1 && x <= a.x2 && y >= a.y1 && y <= a.y2, image)
                    << iter << ": " << x << "," << y;
                ASSERT_EQ(inStrips > 0, inDst && !image) << iter << ": " << x << "," << y;
            }
        const Box req = randomBox();
        ViewFillDst(v, &req);
        Box want;
        ASSERT_EQ(fg.size(), Box_Clip(&want, &req, &a) ? 1u : 0u);
        for (const Box &b : fg)
            ExpectBox(b, want.x1, want.y1, want.x2, want.y2);
        for (const Box &b : bg) {
            EXPECT_EQ(Box_Countain(&req, &b), 2);
            EXPECT_FALSE(Box_Clip(&want, &b, &a));
        }
    }
}

TEST(View, ZoomKeepsTheAnchoredSourcePoint)
{
    for (int mode = 0; mode < 3; ++mode) {
        ViewPtr v(Make(B(0, 0, 99, 99), B(10, 20, 109, 119)));
        ViewSetZoomMode(v, mode, mode);
        int anchorX = mode == 0 ? 10 : mode == 2 ? 109 : 10 + 100 / 2;
        int anchorY = mode == 0 ? 20 : mode == 2 ? 119 : 20 + 100 / 2;
        int32_t s0x, s0y, p0x, p0y;
        ViewDstToSrcPh(v, anchorX, anchorY, &s0x, &s0y, &p0x, &p0y);
        ViewZoom zooms[][2] = {{{1, 3}, {1, 3}}, {{7, 5}, {5, 7}}, {{4, 2}, {6, 3}}, {{1, 1}, {1, 1}}};
        for (auto &z : zooms) {
            ASSERT_EQ(ViewSetZoom(v, z[0], z[1], 0, 0, 0), 0);
            int32_t sx, sy, phx, phy;
            ViewDstToSrcPh(v, anchorX, anchorY, &sx, &sy, &phx, &phy);
            EXPECT_EQ(Pair(sx, sy), Pair(s0x, s0y)) << mode;
        }
        EXPECT_EQ(Z(ViewGetZoomX(v)), Pair(1, 1));
    }
    // Explicit anchor, and the phase carried into the new fraction.
    ViewPtr v(Make(B(0, 0, 9, 9), B(0, 0, 29, 29))); // 1/3
    ASSERT_EQ(ViewSetZoom(v, ViewMakeAbstract(2, 12), ViewMakeAbstract(1, 3), 5, 0, 1), 0);
    // 5 showed source 1 at phase 2 of 3; the phase becomes 6 * 2 / 3.
    const ViewMap &m = v->xMap;
    EXPECT_EQ((std::vector<int>{m.num, m.den, m.dstOrigin, m.srcOrigin, m.phase}),
              (std::vector<int>{1, 6, 5, 1, 4}));
    EXPECT_EQ(ViewSetZoom(v, ViewMakeAbstract(0, 1), ViewMakeAbstract(1, 1), 0, 0, 0), 1046);
    EXPECT_EQ(v->xMap.den, 6);
}

TEST(View, RatioModeMakesBothAxesAgree)
{
    ViewOptions o{};
    o.ratioKeep = 1;
    Box src = B(0, 0, 99, 49), dst = B(0, 0, 49, 49);
    for (int which : {0, 1}) { // fit the larger ratio, or fill with the smaller
        o.ratioWhich = which;
        ViewPtr v(NViewCreate(&src, &dst, nullptr, nullptr, &o, VIEW_RATIOMODE));
        EXPECT_EQ(Z(ViewGetZoomX(v)), Pair(2 - which, 1));
        EXPECT_EQ(Z(ViewGetZoomY(v)), Pair(2 - which, 1));
        ASSERT_EQ(ViewSetZoom(v, ViewMakeAbstract(1, 2), ViewMakeAbstract(3, 1), 0, 0, 0), 0);
        EXPECT_EQ(Z(ViewGetZoomY(v)), Z(ViewGetZoomX(v)));
    }
}

TEST(View, CallbackReportsEveryChangeOfTheMapping)
{
    std::vector<ViewInfo> calls;
    ViewOptions o{};
    o.callback = [](View *, void *data, ViewInfo *info) {
        static_cast<std::vector<ViewInfo> *>(data)->push_back(*info);
    };
    o.callbackData = &calls;
    Box src = B(0, 0, 9, 9), dst = B(0, 0, 19, 19);
    ViewPtr v(NViewCreate(&src, &dst, nullptr, nullptr, &o, VIEW_CALLBACK));
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(std::vector<int>({calls[0].reason, calls[0].numX, calls[0].denX}),
              std::vector<int>({-1, 1, 2}));
    ViewScroll(v, 4, 2);
    ASSERT_EQ(calls.size(), 2u);
    ExpectBox(calls[1].visibleSrc, 2, 1, 11, 10);
    ExpectBox(calls[1].imageArea, 0, 0, 15, 17);
    EXPECT_EQ(calls[1].nomans, ViewGetNomans(v));
    ViewSetZoom(v, ViewMakeAbstract(1, 1), ViewMakeAbstract(1, 1), 0, 0, 0);
    ViewSetFiller(v, nullptr); // not a change of the mapping
    EXPECT_EQ(calls.size(), 3u);
}

// The other mappings: centres of magnified pixels, vectors (truncated, not
// floored), destination boxes to source, and a reference box outside the
// destination placing the source (read only at ViewSetMap).
TEST(View, PointVectorAndBoxMappings)
{
    ViewPtr mag(Make(B(0, 0, 9, 9), B(100, 100, 129, 129))), red(Make(B(0, 0, 29, 29), B(0, 0, 9, 9)));
    EXPECT_EQ(Map(ViewSrcToDstC, mag, 0, 0), Pair(101, 101));
    EXPECT_EQ(Map(ViewSrcToDst, mag, -1, 3), Pair(97, 109));
    EXPECT_EQ(Map(ViewDstToSrcV, red, 7, -7), Pair(21, -21));
    EXPECT_EQ(Map(ViewSrcToDstV, red, 7, -7), Pair(2, -2));

    Box dab = B(40, 60, 54, 74);
    ViewPtr v(Make(B(0, 0, 4, 4), B(0, 0, 99, 99)));
    ViewSetMap(v, nullptr, &dab);
    ExpectBox(v->imageArea, 40, 60, 54, 74);
    dab.x1 = 0;
    EXPECT_EQ(ViewDstToSrcX(v, 43), 1);
    Box d = B(41, 61, 43, 64);
    Box *b = ViewDstToSrcBox(v, &d);
    ExpectBox(*b, 0, 0, 1, 1);
    BoxFree(b);
}
