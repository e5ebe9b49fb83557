// Selection objects against computations of their own and pixels really drawn.
#include <gtest/gtest.h>

#include "MemImage.h"
#include "TestDisplay.h"
#include "core/OrvError.h"
#include "xc/Selection.h"

#include <cmath>
#include <complex>
#include <memory>
#include <random>
#include <vector>

namespace
{

using Sel = std::unique_ptr<Selection, void (*)(Selection *)>;
using ViewP = std::unique_ptr<View, void (*)(View *)>;
using Pts = std::vector<int32_t>;

Sel Make(SelectionClassRec *c, const Pts &p, int closed = 1)
{
    return Sel(SelectionCreate("s", c, p.data(), int32_t(p.size() / 2), closed), SelectionDestroy);
}

// src (0,0)-(sw-1,sw-1) shown at (ox, oy) on dw x dw pixels.
ViewP MakeView(int sw, int ox, int oy, int dw)
{
    Box s = B(0, 0, sw - 1, sw - 1), d = B(ox, oy, ox + dw - 1, oy + dw - 1);
    return ViewP(NViewCreate(&s, &d, nullptr, nullptr, nullptr, 0), ViewDestroy);
}

Pts RandomPts(std::mt19937 &rng, int n, int lo, int hi)
{
    Pts p;
    for (int i = 0; i < 2 * n; ++i)
        p.push_back(RandIn(rng, lo, hi));
    return p;
}

Pts Points(const Selection *s)
{
    Pts out;
    for (int i = 0; i < s->nPoints; ++i)
        out.insert(out.end(), {s->points[i].x, s->points[i].y});
    return out;
}

const Pts kRect = {10, 10, 109, 10, 109, 59, 10, 59}; // 100 x 50

// A subclass with no operations of its own: its hooks log +-point count.
int classInits;
std::vector<int> hookLog;
SelectionClassRec sub = [] {
    SelectionClassRec c{};
    c.superclass = vectSelectionClass, c.className = "Test", c.instanceSize = sizeof(Selection) + 64;
    c.classInitialize = [] { ++classInits; };
    c.initialize = [](Selection *s, const int32_t *, int32_t, int) {
        return hookLog.push_back(s->nPoints), 1;
    };
    c.destroy = [](Selection *s) { hookLog.push_back(-s->nPoints); };
    return c;
}();

TEST(Selection, ClassChainRunsHooksInOrderAndInheritsEverySlot)
{
    EXPECT_STREQ(SelectionClassName(Make(selectionClass, kRect).get()), "Selection");
    {
        Sel a = Make(&sub, kRect), b = Make(&sub, {1, 2, 3, 4, 5, 0});
        EXPECT_EQ(classInits, 1);
        EXPECT_EQ(SelectionSetPoint(b.get(), SELECTION_MOVE, 13, 12), SELECTION_MOVE); // inherited
        EXPECT_EQ(Points(b.get()), (Pts{11, 12, 13, 14, 15, 10}));
    }
    EXPECT_EQ(hookLog, (std::vector<int>{4, 3, -3, -4})) << "subclass hooks see the superclass's points";
}

TEST(Selection, IncludeAndGetPointMatchTheWindowGeometry)
{
    ViewP v = MakeView(100, 10, 20, 300); // window = (10 + 3x, 20 + 3y)
    Sel r = Make(selectionClass, kRect);
    // Window box (40,50)-(337,197), grown by 7: (33,43)-(344,204), centre (189,124).
    for (Pts c : {Pts{189, 124, 0}, {199, 129, 15}, {33, 204, 156 + 80}, {32, 124, -1}, {189, 205, -1}})
        EXPECT_EQ(SelectionInclude(r.get(), v.get(), c[0], c[1]), c[2]);
    for (int dy = -9; dy <= 9; ++dy)
        for (int dx = -9; dx <= 9; ++dx) {
            int want = std::abs(dx) + std::abs(dy) <= 7 ? 0 : (dx >= 0 && dy >= 0) ? SELECTION_MOVE : -1;
            ASSERT_EQ(SelectionGetPoint(r.get(), v.get(), 40 + dx, 50 + dy), want) << dx << "," << dy;
        }
    // Two key points three window pixels apart: the earlier wins a tie.
    Sel p = Make(vectSelectionClass, {10, 10, 11, 10, 12, 10, 12, 30});
    VectSelectSetKeyPoint(p.get(), 2, 1);
    EXPECT_EQ(SelectionGetPoint(p.get(), v.get(), 43, 50), 0);
    EXPECT_EQ(SelectionGetPoint(p.get(), v.get(), 44, 50), 2);
}

// An edge edit on one axis: the dragged edge takes v, crossing the other swaps
// them; the points then scale from the old box, so the far edge lands short.
struct Edit {
    int32_t lo, hi, bit;
};
Edit EditAxis(int32_t lo, int32_t hi, int32_t v, int32_t code, int32_t loBit, int32_t hiBit)
{
    Edit e = code & loBit   ? (v > hi ? Edit{hi, v, hiBit} : Edit{v, hi, loBit})
             : code & hiBit ? (v < lo ? Edit{v, lo, loBit} : Edit{lo, v, hiBit})
                            : Edit{lo, hi, 0};
    e.hi = e.lo + int32_t(int64_t(hi - lo) * (e.hi - e.lo + 1) / (hi - lo + 1)); // the old far edge, scaled
    return e;
}

TEST(Selection, EdgeEditsMirrorPastTheOppositeEdge)
{
    const int32_t codes[] = {SELECTION_TOP_LEFT,     SELECTION_TOP,    SELECTION_TOP_RIGHT,   SELECTION_RIGHT,
                             SELECTION_BOTTOM_RIGHT, SELECTION_BOTTOM, SELECTION_BOTTOM_LEFT, SELECTION_LEFT};
    std::mt19937 rng(5);
    for (int t = 0; t < 2000; ++t) {
        int32_t x1 = RandIn(rng, -50, 50), y1 = RandIn(rng, -50, 50);
        int32_t x2 = x1 + RandIn(rng, 0, 60), y2 = y1 + RandIn(rng, 0, 60);
        Sel s = Make(t % 2 ? selectionClass : vectSelectionClass, {x1, y1, x2, y1, x2, y2, x1, y2});
        int32_t code = codes[rng() % 8], x = RandIn(rng, -120, 120), y = RandIn(rng, -120, 120);
        Edit ex = EditAxis(x1, x2, x, code, SELECTION_LEFT, SELECTION_RIGHT);
        Edit ey = EditAxis(y1, y2, y, code, SELECTION_TOP, SELECTION_BOTTOM);
        ASSERT_EQ(SelectionSetPoint(s.get(), code, x, y), ex.bit | ey.bit);
        ASSERT_EQ(Pts({s->box.x1, s->box.y1, s->box.x2, s->box.y2}), Pts({ex.lo, ey.lo, ex.hi, ey.hi})) << t;
    }
}

TEST(Selection, KeyPointsCarryTheirRunsBySimilarity)
{
    Sel p = Make(vectSelectionClass, {0, 0, 5, 0, 10, 0, 10, 10, 5, 10, 0, 10});
    EXPECT_EQ(SelectionSetPoint(p.get(), 2, 12, -3), 2);
    EXPECT_EQ(Points(p.get()), (Pts{0, 0, 5, 0, 12, -3, 10, 10, 5, 10, 0, 10})) << "a non-key point alone";
    SelectionSetPoint(p.get(), 0, 1, 1); // the one key point moves everything
    EXPECT_EQ(Points(p.get()), (Pts{1, 1, 6, 1, 13, -2, 11, 11, 6, 11, 1, 11}));

    // Runs carried by a Gaussian-integer factor g about the fixed key point: P' = a + g (P - a), exact.
    std::mt19937 rng(9);
    for (int t = 0; t < 300; ++t) {
        int n = RandIn(rng, 4, 9), k = RandIn(rng, 2, n - 1);
        Pts pts = RandomPts(rng, n, -40, 40);
        Sel s = Make(vectSelectionClass, pts, 1);
        VectSelectSetKeyPoint(s.get(), k, 1);
        using C = std::complex<double>;
        auto at = [&](int i) { return C(pts[2 * i], pts[2 * i + 1]); };
        C g(RandIn(rng, -2, 2), RandIn(rng, -2, 2)), nk = at(0) + g * (at(k) - at(0));
        SelectionSetPoint(s.get(), k, int32_t(nk.real()), int32_t(nk.imag()));
        for (int i = 1; i < n && at(k) != at(0); ++i) { // both runs have point 0 as their fixed end
            C want = at(0) + g * (at(i) - at(0));
            ASSERT_EQ(Pts({s->points[i].x, s->points[i].y}),
                      Pts({int32_t(want.real()), int32_t(want.imag())}));
        }
    }
    Sel h = Make(vectSelectionClass, {0, 0, -1, 1, 2, 0, 1, 1}, 0);
    VectSelectSetKeyPoint(h.get(), 2, 1);
    SelectionSetPoint(h.get(), 2, 3, 0);
    EXPECT_EQ(Points(h.get()), (Pts{0, 0, -1, 1, 3, 0, 1, 1})) << "scaled by 1.5, (-1, 1) truncates back";
}

TEST(Selection, AddRemoveCloseAndBackups)
{
    const Pts six = {0, 0, 10, 0, 20, 0, 20, 10, 10, 10, 0, 10};
    Sel p = Make(vectSelectionClass, six);
    EXPECT_EQ(SelectionRemPoint(p.get(), 1), -1) << "a non-key point needs two key points";
    VectSelectSetKeyPoint(p.get(), 3, 1);
    EXPECT_EQ(SelectionRemPoint(p.get(), 3), -1) << "a key point needs three";
    EXPECT_EQ(SelectionRemPoint(p.get(), 4), 2); // 4 and 5, up to key 0 across the end
    EXPECT_EQ(Points(p.get()), (Pts{0, 0, 10, 0, 20, 0, 20, 10}));
    Sel q = Make(vectSelectionClass, six);
    for (int k : {2, 4})
        VectSelectSetKeyPoint(q.get(), k, 1);
    EXPECT_EQ(SelectionRemPoint(q.get(), 0), 3); // 5, 0, 1
    EXPECT_EQ(Points(q.get()), (Pts{20, 0, 20, 10, 10, 10}));
    Sel o = Make(vectSelectionClass, six, 0);
    VectSelectSetKeyPoint(o.get(), 4, 1);
    EXPECT_EQ(SelectionRemPoint(o.get(), 2), 2) << "open: from after key 0 up to the point";
    EXPECT_EQ(SelectionAddPoint(o.get(), 3, 7, 99), 4);
    EXPECT_EQ(Points(o.get()), (Pts{0, 0, 20, 10, 10, 10, 0, 10, 7, 99}));

    Sel c = Make(vectSelectionClass, {3, 4, 9, 9, 3, 9, 3, 4, 3, 4}, 0);
    SelectionClose(c.get());
    EXPECT_EQ(Points(c.get()), (Pts{3, 4, 9, 9, 3, 9}));

    for (int32_t which : {2, 3, 0, int32_t(SELECTION_MOVE), int32_t(SELECTION_BOTTOM_RIGHT)}) {
        Sel s = Make(vectSelectionClass, six);
        VectSelectSetKeyPoint(s.get(), 3, 1);
        SelectionBackup *b = SelectionGetBackup(s.get(), which);
        ASSERT_NE(b, nullptr);
        SelectionSetPoint(s.get(), which, 37, -21);
        ASSERT_NE(Points(s.get()), six);
        EXPECT_EQ(SelectionSetBackup(s.get(), b), 1);
        EXPECT_EQ(Points(s.get()), six) << which << " undone by its backup";
        SelectionAddPoint(s.get(), 0, 1, 1);
        EXPECT_EQ(SelectionSetBackup(s.get(), b), 0) << "a backup of another point count";
        SelectionDestroyBackup(s.get(), b);
    }
}

// Within half a pixel of a segment: where a Bresenham outline may pass.
bool NearOutline(const Pts &p, double x, double y, bool closed)
{
    for (size_t i = 0, n = p.size() / 2; i + (closed ? 0 : 1) < n; ++i) {
        double ax = p[2 * i], ay = p[2 * i + 1], dx = p[(2 * i + 2) % (2 * n)] - ax,
               dy = p[(2 * i + 3) % (2 * n)] - ay, l = dx * dx + dy * dy;
        double t = l ? std::clamp(((x - ax) * dx + (y - ay) * dy) / l, 0.0, 1.0) : 0;
        if (std::hypot(x - ax - t * dx, y - ay - t * dy) <= 0.5 + 1e-9)
            return true;
    }
    return false;
}

// Even-odd at the pixel centre by a ray to the right.
bool InsideRef(const Pts &p, int x, int y)
{
    bool in = false;
    for (size_t n = p.size() / 2, i = 0, j = n - 1; i < n; j = i++) {
        double xi = p[2 * i], yi = p[2 * i + 1], xj = p[2 * j], yj = p[2 * j + 1];
        if ((yi > y) != (yj > y) && x < xi + (y - yi) * (xj - xi) / (yj - yi))
            in = !in;
    }
    return in;
}

TEST(Selection, MasksFollowTheEvenOddRuleOffTheOutline)
{
    std::mt19937 rng(3);
    for (int t = 0; t < 300; ++t) {
        Pts p = RandomPts(rng, RandIn(rng, 3, 12), -8, 55); // partly outside the 48 x 40 mask
        Sel s = Make(vectSelectionClass, p, int(rng() % 2));
        MemImage fill(48, 40, 1, 8, false), mark(48, 40, 1, 8, false), contour(48, 40, 1, 8, false);
        for (int y = 0; y < 40; ++y)
            std::memset(Image_Row(fill, 0, y), 77, 48);
        ASSERT_EQ(SelectionFillMask(s.get(), fill), 0);
        SelectionMarkMask(s.get(), mark);
        SelectionContourMask(s.get(), contour);
        Box b = SelectionGetBox(s.get());
        for (int y = 0; y < 40; ++y) {
            bool walk = false;
            for (int x = 0; x < 48; ++x) {
                bool ref = InsideRef(p, x, y), near = NearOutline(p, x, y, true);
                walk ^= mark.Get(0, x, y) != 0;
                uint32_t want = x < b.x1 || x > b.x2 || y < b.y1 || y > b.y2 ? 77 : ref ? 255 : 0;
                ASSERT_TRUE(!near || ref ? fill.Get(0, x, y) == want : fill.Get(0, x, y) % 255 == 0)
                    << t << " fill at " << x << "," << y;
                ASSERT_TRUE(near || walk == ref) << t << " mark at " << x << "," << y;
                ASSERT_TRUE(!contour.Get(0, x, y) || NearOutline(p, x, y, s->closed)) << t << " contour";
            }
        }
    }
    MemImage deep(8, 8, 1, 16, false), blank(8, 8, 1, 16, false);
    EXPECT_EQ(SelectionFillMask(Make(vectSelectionClass, {0, 0, 7, 0, 7, 7}).get(), deep), ORV_BAD_PARAMETER);
    EXPECT_EQ(FirstDifference(deep, blank), "") << "a 16-bit mask is refused untouched";
}

TEST(Selection, HostileInputEndsWithSaneResults)
{
    const int32_t lo = INT32_MIN, hi = INT32_MAX;
    Sel tri = Make(vectSelectionClass, {lo, lo, hi, hi, lo, hi});
    MemImage m(64, 64, 1, 8, false);
    ASSERT_EQ(SelectionFillMask(tri.get(), m), 0);
    EXPECT_EQ(Pts({int(m.Get(0, 10, 20)), int(m.Get(0, 5, 5)), int(m.Get(0, 20, 10))}), Pts({255, 255, 0}));
    EXPECT_GE(SelectionSetPoint(tri.get(), SELECTION_TOP_LEFT, hi, lo), 0);
    EXPECT_TRUE(SelectionGetBox(tri.get()).width > 0 && SelectionGetBox(tri.get()).height > 0);

    std::mt19937 rng(1);
    Pts many = RandomPts(rng, 100000, -100, 200);
    for (size_t i = 0; i < many.size(); i += 7)
        many[i] = int32_t(rng());
    Sel big = Make(vectSelectionClass, many);
    ViewP v = MakeView(10, 0, 0, 70);
    ASSERT_EQ(SelectionFillMask(big.get(), m), 0);
    List *l = SelectionGetFineBoxList(big.get(), v.get(), nullptr, 1);
    for (ListNode *n = l->first; n; n = n->next)
        ASSERT_EQ(Box_Countain(static_cast<Box *>(l->first->element), static_cast<Box *>(n->element)), 2);
    Box_DestroyList(l);
}

class SelectionX : public ::testing::TestWithParam<int>
{
  protected:
    void SetUp() override
    {
        if (!TestVisual(GetParam(), &visual))
            GTEST_SKIP() << "needs scripts/xvfb.sh's X display";
        ASSERT_TRUE(xi = XcImage_Create(&visual, nullptr, 120, 100, &shm));
    }
    void TearDown() override { XcImage_Destroy(xi), XcCmsCloseAll(); }
    void Clear(unsigned long v)
    {
        for (int y = 0; y < 100; ++y)
            for (int x = 0; x < 120; ++x)
                XPutPixel(xi->image, x, y, v);
    }
    XcVisual visual;
    XcImage *xi = nullptr;
    int shm = 0;
};

// In a box after the head (which bounds everything anyway).
bool InDetail(const List *l, int x, int y)
{
    Box pixel = B(x, y, x, y);
    for (ListNode *n = l->first->next; n; n = n->next)
        if (Box_Countain(static_cast<Box *>(n->element), &pixel) == 2)
            return true;
    return false;
}

TEST_P(SelectionX, EveryDrawnPixelLiesInTheListedBoxesHeadedByTheBoundingBox)
{
    std::mt19937 rng(11);
    long drawn = 0;
    for (int t = 0; t < 200; ++t) {
        int sw = RandIn(rng, 20, 60), dw = RandIn(rng, 10, 150), ox = RandIn(rng, -20, 20);
        ViewP v = MakeView(sw, ox, ox, dw);
        Pts p = RandomPts(rng, RandIn(rng, 1, 8), -10, sw + 10);
        Sel s = Make(vectSelectionClass, p, int(rng() % 2));
        VectSelectSetKeyPoint(s.get(), int(rng() % s->nPoints), 1);
        Box clip = B(RandIn(rng, -5, 60), RandIn(rng, -5, 50), RandIn(rng, 60, 125), RandIn(rng, 50, 105));
        Clear(0x5A);
        SelectionDrawContext ctx{nullptr, nullptr, xi, 1, -1};
        SelectionDraw(s.get(), v.get(), &ctx, &clip, t % 2);
        // The head: the window box (corners' first pixels), grown by 7 with controls, clipped.
        auto win = [&](int32_t s1) { return int32_t(ox + std::floor(double(s1) * dw / sw)); };
        int g = t % 2 ? 7 : 0;
        Box head = B(win(s->box.x1) - g, win(s->box.y1) - g, win(s->box.x2) + g, win(s->box.y2) + g), want;
        bool visible = Box_Clip(&want, &head, &clip);
        for (auto get : {SelectionGetBigBoxList, SelectionGetFineBoxList}) {
            List *l = get(s.get(), v.get(), &clip, t % 2);
            ASSERT_EQ(List_Cardinal(l) > 0, visible);
            if (visible) {
                const Box *h = static_cast<Box *>(l->first->element);
                ASSERT_EQ(Pts({h->x1, h->y1, h->x2, h->y2}), Pts({want.x1, want.y1, want.x2, want.y2})) << t;
                for (ListNode *n = l->first; n; n = n->next)
                    ASSERT_EQ(Box_Countain(h, static_cast<Box *>(n->element)), 2);
            }
            for (int y = 0; y < 100; ++y)
                for (int x = 0; x < 120; ++x)
                    if (XGetPixel(xi->image, x, y) != 0x5A) {
                        drawn += get == SelectionGetBigBoxList;
                        ASSERT_TRUE(InDetail(l, x, y)) << t << " pixel " << x << "," << y;
                    }
            Box_DestroyList(l);
        }
    }
    EXPECT_GT(drawn, 1000);
}

TEST_P(SelectionX, AHandleIsAWhiteBlackWhiteFrame)
{
    ViewP v = MakeView(100, 0, 0, 100);
    Sel s = Make(vectSelectionClass, {20, 30});
    const unsigned long white = XcCmsGetColor(xi->cms, 15), black = XcCmsGetColor(xi->cms, 0),
                        bg = white != 3 && black != 3 ? 3 : 4;
    Clear(bg);
    SelectionDrawContext ctx{nullptr, nullptr, xi, 0, -1};
    SelectionDraw(s.get(), v.get(), &ctx, nullptr, 1); // clipped to the view's 100 x 100
    for (int y = 20; y <= 40; ++y)
        for (int x = 10; x <= 30; ++x) {
            int ring = std::max(std::abs(x - 20), std::abs(y - 30));
            unsigned long want = ring == 6 || ring == 4 ? white : ring == 5 ? black : bg;
            ASSERT_EQ(XGetPixel(xi->image, x, y), want) << x << "," << y;
        }
}

INSTANTIATE_TEST_SUITE_P(Screens, SelectionX, ::testing::Values(0, 1));

} // namespace
