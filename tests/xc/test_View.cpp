// View mapping: floor arithmetic and phases, image area and nomans strips,
// zoom anchoring and ratio mode, scrolling, the callback, box mappings and
// the fill dispatch.
#include "xc/View.h"

#include <gtest/gtest.h>

#include <random>
#include <utility>
#include <vector>

namespace
{

Box B(int x1, int y1, int x2, int y2)
{
    return Box{x1, y1, x2, y2, x2 - x1 + 1, y2 - y1 + 1, 0};
}

struct ViewPtr {
    View *v;
    explicit ViewPtr(View *view) : v(view) {}
    ~ViewPtr() { ViewDestroy(v); }
    View *operator->() const { return v; }
    operator View *() const { return v; }
};

View *Make(Box src, Box dst, Fill *bg = nullptr, Fill *fg = nullptr)
{
    return NViewCreate(&src, &dst, bg, fg, nullptr, 0);
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

TEST(View, MagnificationMapsWithPhases)
{
    ViewPtr v(Make(B(0, 0, 9, 9), B(100, 100, 129, 129)));
    ASSERT_TRUE(v.v);
    EXPECT_EQ(v->xMap.kind, VIEW_MAGNIFY);
    EXPECT_EQ(Pair(v->xMap.num, v->xMap.den), Pair(1, 3));
    struct {
        int d, s, ph;
    } cases[] = {{100, 0, 0}, {102, 0, 2}, {103, 1, 0}, {99, -1, 2}, {97, -1, 0}, {96, -2, 2}};
    for (auto c : cases) {
        int32_t sx, sy, phx, phy;
        ViewDstToSrcPh(v, c.d, c.d, &sx, &sy, &phx, &phy);
        EXPECT_EQ((std::vector<int>{sx, phx, sy, phy}), (std::vector<int>{c.s, c.ph, c.s, c.ph})) << c.d;
    }
    EXPECT_EQ(Map(ViewSrcToDstC, v, 0, 0), Pair(101, 101));
    EXPECT_EQ(Map(ViewSrcToDst, v, -1, 3), Pair(97, 109));
    int32_t d1, d2;
    EXPECT_EQ(ViewSrcToDstInterval(v, &v->xMap, 2, 3, &d1, &d2), 1);
    EXPECT_EQ(d1, 106);
    EXPECT_EQ(d2, 111);
    EXPECT_EQ(ViewSrcToDstInterval(v, &v->xMap, 3, 2, &d1, &d2), 0);
}

TEST(View, ReductionMapsBothWays)
{
    ViewPtr v(Make(B(0, 0, 29, 29), B(0, 0, 9, 9)));
    EXPECT_EQ(v->xMap.kind, VIEW_REDUCE);
    EXPECT_EQ(ViewDstToSrcX(v, 1), 3);
    EXPECT_EQ(ViewSrcToDstX(v, 4), 1);
    EXPECT_EQ(ViewDstToSrcY(v, -1), -3);
    EXPECT_EQ(ViewSrcToDstY(v, -1), -1);
    ViewPtr one(Make(B(5, 5, 14, 14), B(0, 0, 9, 9)));
    EXPECT_EQ(one->xMap.kind, VIEW_ONE);
    EXPECT_EQ(ViewDstToSrcX(one, -7), -2);
    EXPECT_EQ(Map(ViewDstToSrcV, v, 7, -7), Pair(21, -21));
    EXPECT_EQ(Map(ViewSrcToDstV, v, 7, -7), Pair(2, -2)); // 7 / 3 truncated
}

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
        if (lo <= hi) {
            EXPECT_EQ(ok, 1);
            EXPECT_EQ(d1, lo);
            EXPECT_EQ(d2, hi);
        } else {
            EXPECT_EQ(ok, 0);
        }
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

TEST(View, NomansStripsAroundAnInnerImage)
{
    ViewPtr v(Make(B(0, 0, 9, 9), B(0, 0, 9, 9)));
    Box dst = B(-5, -3, 20, 30);
    ViewSetDst(v, &dst);
    ExpectBox(v->imageArea, 0, 0, 9, 9);
    ExpectBox(v->srcExtent, 0, 0, 9, 9);
    auto n = Nomans(v);
    ASSERT_EQ(n.size(), 4u);
    ExpectBox(n[0], -5, -3, -1, 30); // left, full height
    ExpectBox(n[1], 10, -3, 20, 30); // right, full height
    ExpectBox(n[2], -5, -3, 20, -1); // top, full width
    ExpectBox(n[3], -5, 10, 20, 30); // bottom, full width
}

TEST(View, SourceOutsideLeavesAllNomans)
{
    ViewPtr v(Make(B(0, 0, 9, 9), B(0, 0, 9, 9)));
    Box src = B(50, 50, 59, 59); // the map is unchanged: it lands at 50..59
    ViewSetSrc(v, &src);
    EXPECT_TRUE(BoxEmpty(&v->imageArea));
    EXPECT_EQ(Pair(v->imageArea.width, v->imageArea.height), Pair(0, 0));
    auto n = Nomans(v);
    ASSERT_EQ(n.size(), 1u);
    ExpectBox(n[0], 0, 0, 9, 9);
    // Only the image area side that overlaps: right strip missing.
    Box src2 = B(5, 0, 30, 9);
    ViewSetSrc(v, &src2);
    ExpectBox(v->imageArea, 5, 0, 9, 9);
    n = Nomans(v);
    ASSERT_EQ(n.size(), 1u);
    ExpectBox(n[0], 0, 0, 4, 9);
}

TEST(View, ScrollShiftsTheMapAndStrips)
{
    ViewPtr v(Make(B(0, 0, 9, 9), B(0, 0, 29, 29)));
    Box dst = B(0, 0, 39, 39);
    ViewSetDst(v, &dst);
    std::vector<int32_t> before;
    for (int x = -10; x < 50; ++x)
        before.push_back(ViewDstToSrcX(v, x));
    ViewScroll(v, 5, 0);
    for (int x = -10; x < 45; ++x)
        EXPECT_EQ(ViewDstToSrcX(v, x), before[x + 10 + 5]);
    ExpectBox(v->imageArea, 0, 0, 24, 29);
    auto n = Nomans(v);
    ASSERT_EQ(n.size(), 2u);
    ExpectBox(n[0], 25, 0, 39, 39);
    ExpectBox(n[1], 0, 30, 39, 39);
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
    o.ratioWhich = 0;
    Box src = B(0, 0, 99, 49), dst = B(0, 0, 49, 49);
    ViewPtr fit(NViewCreate(&src, &dst, nullptr, nullptr, &o, VIEW_RATIOMODE));
    EXPECT_EQ(Z(ViewGetZoomX(fit)), Pair(2, 1));
    EXPECT_EQ(Z(ViewGetZoomY(fit)), Pair(2, 1));
    o.ratioWhich = 1;
    ViewPtr fill(NViewCreate(&src, &dst, nullptr, nullptr, &o, VIEW_RATIOMODE));
    EXPECT_EQ(Z(ViewGetZoomX(fill)), Pair(1, 1));
    EXPECT_EQ(Z(ViewGetZoomY(fill)), Pair(1, 1));
    // Inside ViewSetZoom as well.
    ASSERT_EQ(ViewSetZoom(fit, ViewMakeAbstract(1, 2), ViewMakeAbstract(3, 1), 0, 0, 0), 0);
    EXPECT_EQ(Z(ViewGetZoomX(fit)), Pair(3, 1));
    ViewOptions got{};
    ViewGetOptions(fit, &got, VIEW_RATIOMODE | VIEW_ZOOMMODE);
    EXPECT_EQ(got.ratioKeep, 1);
    EXPECT_EQ(got.zoomModeX, VIEW_ANCHOR_CENTRE);
}

namespace
{
struct Calls {
    int count = 0;
    ViewInfo last{};
};
void Record(View *, void *data, ViewInfo *info)
{
    auto *c = static_cast<Calls *>(data);
    ++c->count;
    c->last = *info;
}
} // namespace

TEST(View, CallbackReportsEveryChange)
{
    Calls calls;
    ViewOptions o{};
    o.callback = Record;
    o.callbackData = &calls;
    Box src = B(0, 0, 9, 9), dst = B(0, 0, 19, 19);
    ViewPtr v(NViewCreate(&src, &dst, nullptr, nullptr, &o, VIEW_CALLBACK));
    EXPECT_EQ(calls.count, 1);
    EXPECT_EQ(calls.last.reason, -1);
    EXPECT_EQ(Pair(calls.last.numX, calls.last.denX), Pair(1, 2));
    ExpectBox(calls.last.visibleSrc, 0, 0, 9, 9);
    ViewScroll(v, 4, 2);
    EXPECT_EQ(calls.count, 2);
    ExpectBox(calls.last.visibleSrc, 2, 1, 11, 10);
    ExpectBox(calls.last.imageArea, 0, 0, 15, 17);
    EXPECT_EQ(calls.last.nomans, ViewGetNomans(v));
    ViewSetZoom(v, ViewMakeAbstract(1, 1), ViewMakeAbstract(1, 1), 0, 0, 0);
    EXPECT_EQ(calls.count, 3);
    ViewSetFiller(v, nullptr); // not a change of the mapping
    EXPECT_EQ(calls.count, 3);
}

TEST(View, OutsideReferenceBoxPlacesTheSource)
{
    Box src = B(0, 0, 4, 4), dst = B(0, 0, 99, 99), dab = B(40, 60, 54, 74);
    ViewPtr v(Make(src, dst));
    ViewSetMap(v, nullptr, &dab);
    EXPECT_EQ(v->xMap.den, 3);
    ExpectBox(v->imageArea, 40, 60, 54, 74);
    EXPECT_EQ(ViewDstToSrcX(v, 43), 1);
    dab.x1 = 0; // later changes count only at the next ViewSetMap
    EXPECT_EQ(ViewDstToSrcX(v, 43), 1);
    Box *b = ViewSrcToDstBox(v, &src);
    ExpectBox(*b, 40, 60, 54, 74);
    BoxFree(b);
    Box outside = B(20, 20, 19, 30);
    b = ViewSrcToDstBox(v, &outside);
    EXPECT_EQ(Pair(b->width, b->height), Pair(0, 0));
    BoxFree(b);
    Box d = B(41, 61, 43, 64);
    b = ViewDstToSrcBox(v, &d);
    ExpectBox(*b, 0, 0, 1, 1);
    BoxFree(b);
}

namespace
{
struct Painted {
    std::vector<Box> boxes;
};
void Paint(View *, void *data, Box *box)
{
    static_cast<Painted *>(data)->boxes.push_back(*box);
}
} // namespace

TEST(View, FillDstClipsToImageAreaAndStrips)
{
    Painted fg, bg;
    Fill ffg{Paint, &fg}, fbg{Paint, &bg};
    Box src = B(0, 0, 9, 9), dst = B(-5, -5, 19, 19);
    ViewPtr v(NViewCreate(&src, &src, &fbg, &ffg, nullptr, 0));
    ViewSetDst(v, &dst);
    Box req = B(5, -2, 12, 3);
    ViewFillDst(v, &req);
    ASSERT_EQ(fg.boxes.size(), 1u);
    ExpectBox(fg.boxes[0], 5, 0, 9, 3);
    ASSERT_EQ(bg.boxes.size(), 2u); // the right strip and the top strip
    ExpectBox(bg.boxes[0], 10, -2, 12, 3);
    ExpectBox(bg.boxes[1], 5, -2, 12, -1);
    fg.boxes.clear();
    bg.boxes.clear();
    ViewFill(v);
    ASSERT_EQ(fg.boxes.size(), 1u);
    ExpectBox(fg.boxes[0], 0, 0, 9, 9);
    EXPECT_EQ(bg.boxes.size(), 4u);
    fg.boxes.clear();
    bg.boxes.clear();
    Box far = B(100, 100, 110, 110);
    ViewFillDst(v, &far);
    EXPECT_TRUE(fg.boxes.empty());
    EXPECT_TRUE(bg.boxes.empty());
    Box s = B(2, 2, 3, 3);
    ViewFillSrc(v, &s);
    ASSERT_EQ(fg.boxes.size(), 1u);
    ExpectBox(fg.boxes[0], 2, 2, 3, 3);
    ViewFillSrc(v, nullptr);
    ASSERT_EQ(fg.boxes.size(), 2u);
    EXPECT_TRUE(bg.boxes.empty());
    ViewFillNomans(v);
    EXPECT_EQ(bg.boxes.size(), 4u);
}
