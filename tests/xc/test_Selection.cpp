// Selection objects: class chains, hit tests and edits against computations
// of their own, masks against an even-odd reference, box lists against what
// is really drawn, and hostile input.
#include <gtest/gtest.h>

#include "MemImage.h"
#include "TestDisplay.h"
#include "core/OrvError.h"
#include "xc/Selection.h"

#include <climits>
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

// src (0,0)-(sw-1,sh-1) shown at (ox, oy) with dw x dh pixels.
ViewP MakeView(int sw, int sh, int ox, int oy, int dw, int dh)
{
    Box s = B(0, 0, sw - 1, sh - 1), d = B(ox, oy, ox + dw - 1, oy + dh - 1);
    return ViewP(NViewCreate(&s, &d, nullptr, nullptr, nullptr, 0), ViewDestroy);
}

Pts Points(const Selection *s)
{
    Pts out;
    for (int i = 0; i < s->nPoints; ++i)
        out.insert(out.end(), {s->points[i].x, s->points[i].y});
    return out;
}

const Pts kRect = {10, 10, 109, 10, 109, 59, 10, 59}; // 100 x 50

// A subclass with no operations of its own, recording its hooks.
int classInits;
std::vector<int> hookLog; // point count seen by initialize, -count by destroy
SelectionClassRec TestClass()
{
    SelectionClassRec c{};
    c.superclass = vectSelectionClass;
    c.className = "Test";
    c.instanceSize = sizeof(Selection) + 64;
    c.classInitialize = [] { ++classInits; };
    c.initialize = [](Selection *s, const int32_t *, int32_t, int) {
        return hookLog.push_back(s->nPoints), 1;
    };
    c.destroy = [](Selection *s) { hookLog.push_back(-s->nPoints); };
    return c;
}

TEST(Selection, ClassChainRunsHooksInOrderAndInheritsEverySlot)
{
    EXPECT_STREQ(SelectionClassName(Make(selectionClass, kRect).get()), "Selection");
    EXPECT_EQ(vectSelectionClass->superclass, selectionClass);
    EXPECT_EQ(Make(nullptr, kRect), nullptr);
    EXPECT_EQ(SelectionCreate("s", selectionClass, nullptr, 4, 1), nullptr);
    EXPECT_EQ(SelectionCreate("s", selectionClass, kRect.data(), 0, 1), nullptr);
    static SelectionClassRec sub = TestClass();
    {
        Sel a = Make(&sub, kRect), b = Make(&sub, {1, 2, 3, 4, 5, 0});
        EXPECT_EQ(classInits, 1);
        EXPECT_EQ(SelectionSetPoint(b.get(), SELECTION_MOVE, 13, 12), SELECTION_MOVE); // inherited
        EXPECT_EQ(Points(b.get()), (Pts{11, 12, 13, 14, 15, 10}));
        SelectionSetPoints(b.get(), kRect.data(), 4); // no class has it
        EXPECT_EQ(SelectionGetNPoints(b.get()), 3);
    }
    // Initialize after the superclass stored the points, destroy before it freed them.
    EXPECT_EQ(hookLog, (std::vector<int>{4, 3, -3, -4}));
}

TEST(Selection, IncludeAndGetPointMatchTheWindowGeometry)
{
    ViewP v = MakeView(100, 100, 10, 20, 300, 300); // window = (10 + 3x, 20 + 3y)
    Sel r = Make(selectionClass, kRect);
    // Window box (40,50)-(337,197), grown by 7: (33,43)-(344,204), centre (189,124).
    EXPECT_EQ(SelectionInclude(r.get(), v.get(), 189, 124), 0);
    EXPECT_EQ(SelectionInclude(r.get(), v.get(), 199, 129), 15);
    EXPECT_EQ(SelectionInclude(r.get(), v.get(), 33, 204), 156 + 80);
    EXPECT_EQ(SelectionInclude(r.get(), v.get(), 32, 124), -1);
    EXPECT_EQ(SelectionInclude(r.get(), v.get(), 189, 205), -1);
    for (int dy = -9; dy <= 9; ++dy)
        for (int dx = -9; dx <= 9; ++dx) {
            int x = 40 + dx, y = 50 + dy;
            int want = std::abs(dx) + std::abs(dy) <= 7 ? 0 : (x >= 40 && y >= 50) ? SELECTION_MOVE : -1;
            ASSERT_EQ(SelectionGetPoint(r.get(), v.get(), x, y), want) << dx << "," << dy;
        }
    // Two key points three window pixels apart: the earlier wins a tie.
    Sel p = Make(vectSelectionClass, {10, 10, 11, 10, 12, 10, 12, 30});
    VectSelectSetKeyPoint(p.get(), 2, 1);
    EXPECT_EQ(SelectionGetPoint(p.get(), v.get(), 43, 50), 0);
    EXPECT_EQ(SelectionGetPoint(p.get(), v.get(), 44, 50), 2);
}

// The box an edge edit should give, and the code: the dragged edge takes the
// target, the other keeps its place; crossing it swaps them. The points are
// then scaled from the old box into that box and the box taken from them.
struct Edit {
    int32_t lo, hi, bit;
};
Edit EditAxis(int32_t lo, int32_t hi, int32_t v, bool dragLo, bool dragHi, int32_t loBit, int32_t hiBit)
{
    if (dragLo)
        return v > hi ? Edit{hi, v, hiBit} : Edit{v, hi, loBit};
    if (dragHi)
        return v < lo ? Edit{v, lo, loBit} : Edit{lo, v, hiBit};
    return {lo, hi, 0};
}
int32_t Scaled(int32_t oldLo, int32_t oldHi, const Edit &e)
{
    int64_t ow = int64_t(oldHi) - oldLo + 1, nw = int64_t(e.hi) - e.lo + 1;
    return int32_t(e.lo + (ow - 1) * nw / ow);
}

TEST(Selection, ControlValuesAndEdgeEditsMirrorPastTheOppositeEdge)
{
    Sel r = Make(selectionClass, kRect);
    const int32_t codes[] = {SELECTION_TOP_LEFT,     SELECTION_TOP,    SELECTION_TOP_RIGHT,   SELECTION_RIGHT,
                             SELECTION_BOTTOM_RIGHT, SELECTION_BOTTOM, SELECTION_BOTTOM_LEFT, SELECTION_LEFT};
    const Pts values = {10, 10, 60, 10, 109, 10, 109, 35, 109, 59, 60, 59, 10, 59, 10, 35};
    for (int i = 0; i < 8; ++i) {
        int32_t x, y;
        SelectionGetPointValue(r.get(), codes[i], &x, &y);
        EXPECT_EQ(Pts({x, y}), Pts({values[2 * i], values[2 * i + 1]})) << i;
    }
    EXPECT_EQ(SelectionSetPoint(r.get(), SELECTION_TOP_LEFT, 30, 80), SELECTION_BOTTOM_LEFT);
    EXPECT_EQ(r->points[0].y, r->box.y1) << "the first corner stays on top";
    EXPECT_EQ(SelectionSetPoint(r.get(), SELECTION_TOP | SELECTION_BOTTOM, 1, 1), -1);

    std::mt19937 rng(5);
    for (int t = 0; t < 2000; ++t) {
        int32_t x1 = RandIn(rng, -50, 50), y1 = RandIn(rng, -50, 50);
        int32_t x2 = x1 + RandIn(rng, 0, 60), y2 = y1 + RandIn(rng, 0, 60);
        Sel s = Make(t % 2 ? selectionClass : vectSelectionClass, {x1, y1, x2, y1, x2, y2, x1, y2});
        int32_t code = codes[rng() % 8], x = RandIn(rng, -120, 120), y = RandIn(rng, -120, 120);
        Edit ex = EditAxis(x1, x2, x, code & SELECTION_LEFT, code & SELECTION_RIGHT, SELECTION_LEFT,
                           SELECTION_RIGHT);
        Edit ey = EditAxis(y1, y2, y, code & SELECTION_TOP, code & SELECTION_BOTTOM, SELECTION_TOP,
                           SELECTION_BOTTOM);
        ASSERT_EQ(SelectionSetPoint(s.get(), code, x, y), ex.bit | ey.bit);
        Box b = SelectionGetBox(s.get());
        ASSERT_EQ(Pts({b.x1, b.y1, b.x2, b.y2}), Pts({ex.lo, ey.lo, Scaled(x1, x2, ex), Scaled(y1, y2, ey)}))
            << t;
    }
    SelectionSetKeepRatio(r.get(), 1, nullptr);
    EXPECT_EQ(Pts({r->ratioWidth, r->ratioHeight}), Pts({r->box.width, r->box.height}));
    Box bad = B(0, 0, -1, 5), good = B(0, 0, 3, 2);
    SelectionSetKeepRatio(r.get(), 1, &good);
    EXPECT_EQ(Pts({r->ratioWidth, r->ratioHeight}), Pts({4, 3}));
    SelectionSetKeepRatio(r.get(), 1, &bad);
    EXPECT_EQ(Pts({r->ratioWidth, r->ratioHeight}), Pts({r->box.width, r->box.height}));
}

TEST(Selection, KeyPointsCarryTheirRunsBySimilarity)
{
    Sel p = Make(vectSelectionClass, {0, 0, 5, 0, 10, 0, 10, 10, 5, 10, 0, 10});
    EXPECT_EQ(p->nKeyPoints, 1);
    EXPECT_EQ(SelectionSetPoint(p.get(), 2, 12, -3), 2);
    EXPECT_EQ(Points(p.get()), (Pts{0, 0, 5, 0, 12, -3, 10, 10, 5, 10, 0, 10})) << "a non-key point alone";
    SelectionSetPoint(p.get(), 0, 1, 1); // the one key point moves everything
    EXPECT_EQ(Points(p.get()), (Pts{1, 1, 6, 1, 13, -2, 11, 11, 6, 11, 1, 11}));
    EXPECT_EQ(SelectionIsKeyPoint(p.get(), 1), 0);
    EXPECT_EQ(SelectionIsKeyPoint(Make(selectionClass, kRect).get(), 1), 1);
    EXPECT_EQ(VectSelectSetKeyPoint(p.get(), 6, 1), 0);

    // Random runs moved by a random Gaussian-integer factor g about the fixed
    // key point: P' = a + g (P - a), exact, compared as complex numbers.
    std::mt19937 rng(9);
    for (int t = 0; t < 300; ++t) {
        int n = RandIn(rng, 4, 9), k = RandIn(rng, 2, n - 1);
        Pts pts;
        for (int i = 0; i < 2 * n; ++i)
            pts.push_back(RandIn(rng, -40, 40));
        Sel s = Make(vectSelectionClass, pts, 1);
        VectSelectSetKeyPoint(s.get(), k, 1);
        if (pts[2 * k] == pts[0] && pts[2 * k + 1] == pts[1])
            continue;
        std::complex<double> a(pts[0], pts[1]), b(pts[2 * k], pts[2 * k + 1]),
            g(RandIn(rng, -2, 2), RandIn(rng, -2, 2));
        std::complex<double> nk = a + g * (b - a);
        SelectionSetPoint(s.get(), k, int32_t(nk.real()), int32_t(nk.imag()));
        for (int i = 1; i < n; ++i) { // both runs have point 0 as their fixed end
            std::complex<double> want =
                i == k ? nk : a + g * (std::complex<double>(pts[2 * i], pts[2 * i + 1]) - a);
            ASSERT_EQ(Pts({s->points[i].x, s->points[i].y}),
                      Pts({int32_t(want.real()), int32_t(want.imag())}));
        }
    }
    // A factor of 1.5: coordinates are truncated toward zero.
    Sel h = Make(vectSelectionClass, {0, 0, -1, 1, 2, 0, 1, 1}, 0);
    VectSelectSetKeyPoint(h.get(), 2, 1);
    SelectionSetPoint(h.get(), 2, 3, 0);
    EXPECT_EQ(Points(h.get()), (Pts{0, 0, -1, 1, 3, 0, 1, 1})) << "(-1.5, 1.5) truncates to (-1, 1)";
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
    EXPECT_EQ(q->nKeyPoints, 2);
    Sel o = Make(vectSelectionClass, six, 0);
    VectSelectSetKeyPoint(o.get(), 4, 1);
    EXPECT_EQ(SelectionRemPoint(o.get(), 2), 2) << "open: from after key 0 up to the point";
    EXPECT_EQ(SelectionAddPoint(o.get(), 3, 7, 99), 4);
    EXPECT_EQ(Points(o.get()), (Pts{0, 0, 20, 10, 10, 10, 0, 10, 7, 99}));
    EXPECT_EQ(SelectionIsKeyPoint(o.get(), 4), 0);
    EXPECT_EQ(SelectionGetBox(o.get()).y2, 99);
    EXPECT_EQ(SelectionAddPoint(o.get(), 5, 0, 0), -1);

    Sel c = Make(vectSelectionClass, {3, 4, 9, 9, 3, 9, 3, 4, 3, 4}, 0);
    SelectionClose(c.get());
    EXPECT_EQ(Points(c.get()), (Pts{3, 4, 9, 9, 3, 9}));
    EXPECT_TRUE(c->closed);
    Sel d = Make(vectSelectionClass, {3, 4, 3, 4}, 0);
    SelectionClose(d.get());
    EXPECT_EQ(SelectionGetNPoints(d.get()), 1);

    // Every edit is undone by its backup.
    for (int32_t which : {2, 3, 0, int32_t(SELECTION_MOVE), int32_t(SELECTION_BOTTOM_RIGHT)}) {
        Sel s = Make(vectSelectionClass, six);
        VectSelectSetKeyPoint(s.get(), 3, 1);
        SelectionBackup *b = SelectionGetBackup(s.get(), which);
        ASSERT_NE(b, nullptr);
        SelectionSetPoint(s.get(), which, 37, -21);
        ASSERT_NE(Points(s.get()), six);
        EXPECT_EQ(SelectionSetBackup(s.get(), b), 1);
        EXPECT_EQ(Points(s.get()), six) << which;
        EXPECT_EQ(SelectionGetBox(s.get()).x2, 20);
        SelectionAddPoint(s.get(), 0, 1, 1);
        EXPECT_EQ(SelectionSetBackup(s.get(), b), 0) << "a backup of another point count";
        SelectionDestroyBackup(s.get(), b);
    }
}

// ---- Masks ----

double SegmentDistance(double px, double py, double ax, double ay, double bx, double by)
{
    double dx = bx - ax, dy = by - ay, l = dx * dx + dy * dy;
    double t = l ? std::clamp(((px - ax) * dx + (py - ay) * dy) / l, 0.0, 1.0) : 0;
    return std::hypot(px - ax - t * dx, py - ay - t * dy);
}

bool NearOutline(const Pts &p, int x, int y, bool closed)
{
    size_t n = p.size() / 2;
    for (size_t i = 0; i + (closed ? 0 : 1) < n; ++i) {
        size_t j = (i + 1) % n;
        if (SegmentDistance(x, y, p[2 * i], p[2 * i + 1], p[2 * j], p[2 * j + 1]) <= 0.5 + 1e-9)
            return true;
    }
    return false;
}

// Even-odd at the pixel centre by a ray to the right.
bool InsideRef(const Pts &p, int x, int y)
{
    bool in = false;
    size_t n = p.size() / 2;
    for (size_t i = 0, j = n - 1; i < n; j = i++) {
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
        Pts p;
        for (int i = 2 * RandIn(rng, 3, 12); i > 0; --i)
            p.push_back(RandIn(rng, -8, 55)); // partly outside the 48 x 40 mask
        Sel s = Make(vectSelectionClass, p, int(rng() % 2));
        MemImage fill(48, 40, 1, 8, false), mark(48, 40, 1, 8, false), contour(48, 40, 1, 8, false);
        for (int y = 0; y < 40; ++y)
            for (int x = 0; x < 48; ++x)
                fill.Set(0, x, y, 77);
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
                const uint32_t got = fill.Get(0, x, y);
                ASSERT_TRUE(!near || ref ? got == want : got % 255 == 0) << t << " fill at " << x << "," << y;
                ASSERT_TRUE(near || walk == ref) << t << " mark at " << x << "," << y;
                ASSERT_TRUE(!contour.Get(0, x, y) || NearOutline(p, x, y, s->closed)) << t << " contour";
            }
        }
        for (size_t i = 0; i < p.size(); i += 2) {
            bool in = p[i] >= 0 && p[i] < 48 && p[i + 1] >= 0 && p[i + 1] < 40;
            ASSERT_TRUE(!in || contour.Get(0, p[i], p[i + 1]) == 255u) << "vertex " << i / 2;
        }
        SelectionMarkMask(s.get(), mark);
        MemImage zero(48, 40, 1, 8, false);
        ASSERT_EQ(FirstDifference(mark, zero), "") << "marking twice complements back";
    }
    MemImage deep(8, 8, 1, 16, false), blank(8, 8, 1, 16, false);
    Sel s = Make(vectSelectionClass, {0, 0, 7, 0, 7, 7});
    EXPECT_EQ(SelectionFillMask(s.get(), deep), ORV_BAD_PARAMETER);
    EXPECT_EQ(SelectionContourMask(s.get(), nullptr), ORV_BAD_PARAMETER);
    EXPECT_EQ(FirstDifference(deep, blank), "");
}

TEST(Selection, HostileInputEndsWithSaneResults)
{
    const int32_t lo = INT32_MIN, hi = INT32_MAX;
    Sel tri = Make(vectSelectionClass, {lo, lo, hi, hi, lo, hi});
    MemImage m(64, 64, 1, 8, false);
    ASSERT_EQ(SelectionFillMask(tri.get(), m), 0);
    EXPECT_EQ(Pts({int(m.Get(0, 10, 20)), int(m.Get(0, 5, 5)), int(m.Get(0, 20, 10))}), Pts({255, 255, 0}));
    EXPECT_EQ(SelectionGetBox(tri.get()).x2, SELECTION_COORD_MAX);
    EXPECT_GE(SelectionSetPoint(tri.get(), SELECTION_TOP_LEFT, hi, lo), 0);
    SelectionSetPoint(tri.get(), 2, lo, lo);
    Box b = SelectionGetBox(tri.get());
    EXPECT_TRUE(b.x1 <= b.x2 && b.y1 <= b.y2 && b.width > 0 && b.height > 0);

    std::mt19937 rng(1);
    Pts many;
    for (int i = 0; i < 200000; ++i)
        many.push_back(rng() % 8 ? RandIn(rng, -100, 200) : int32_t(rng()));
    Sel big = Make(vectSelectionClass, many);
    ViewP v = MakeView(10, 10, 0, 0, 70, 70);
    Sel dot = Make(vectSelectionClass, {5, 5});
    for (Selection *s : {big.get(), tri.get(), dot.get()}) {
        ASSERT_EQ(SelectionFillMask(s, m), 0);
        List *l = SelectionGetFineBoxList(s, v.get(), nullptr, 1);
        ASSERT_NE(l, nullptr);
        for (ListNode *n = l->first; n; n = n->next)
            ASSERT_EQ(Box_Countain(static_cast<Box *>(l->first->element), static_cast<Box *>(n->element)), 2);
        Box_DestroyList(l);
    }
    EXPECT_EQ(SelectionRemPoint(big.get(), 5), -1);
}

// ---- Drawing and box lists (X) ----

class SelectionX : public ::testing::TestWithParam<int>
{
  protected:
    void SetUp() override
    {
        if (!TestVisual(GetParam(), &visual))
            GTEST_SKIP() << "needs scripts/xvfb.sh's X display";
        int shm = 0;
        xi = XcImage_Create(&visual, nullptr, 120, 100, &shm);
        ASSERT_NE(xi, nullptr);
    }
    void TearDown() override
    {
        XcImage_Destroy(xi);
        XcCmsCloseAll();
    }
    void Clear(unsigned long v)
    {
        for (int y = 0; y < 100; ++y)
            for (int x = 0; x < 120; ++x)
                XPutPixel(xi->image, x, y, v);
    }
    XcVisual visual;
    XcImage *xi = nullptr;
};

// In a box after the head (which bounds everything anyway).
bool InDetail(const List *l, int x, int y)
{
    for (ListNode *n = l->first->next; n; n = n->next) {
        const Box *b = static_cast<Box *>(n->element);
        if (x >= b->x1 && x <= b->x2 && y >= b->y1 && y <= b->y2)
            return true;
    }
    return false;
}

TEST_P(SelectionX, EveryDrawnPixelLiesInTheListedBoxesHeadedByTheBoundingBox)
{
    std::mt19937 rng(11);
    long drawn = 0;
    for (int t = 0; t < 200; ++t) {
        int sw = RandIn(rng, 20, 60), dw = RandIn(rng, 10, 150), ox = RandIn(rng, -20, 20);
        ViewP v = MakeView(sw, sw, ox, ox, dw, dw);
        Pts p;
        for (int i = 2 * RandIn(rng, 1, 8); i > 0; --i)
            p.push_back(RandIn(rng, -10, sw + 10));
        Sel s = Make(vectSelectionClass, p, int(rng() % 2));
        VectSelectSetKeyPoint(s.get(), int(rng() % s->nPoints), 1);
        Box clip = B(RandIn(rng, -5, 60), RandIn(rng, -5, 50), RandIn(rng, 60, 125), RandIn(rng, 50, 105));
        int controls = t % 2;
        Clear(0x5A);
        SelectionDrawContext ctx{nullptr, nullptr, xi, 1, -1};
        SelectionDraw(s.get(), v.get(), &ctx, &clip, controls);
        // The head: the window box (first pixel of each corner) grown by 7 with controls, clipped.
        auto win = [&](int32_t s1) { return int32_t(ox + std::floor(double(s1) * dw / sw)); };
        int g = controls ? 7 : 0;
        Box head = B(win(s->box.x1) - g, win(s->box.y1) - g, win(s->box.x2) + g, win(s->box.y2) + g), want;
        bool visible = Box_Clip(&want, &head, &clip);
        for (auto get : {SelectionGetBigBoxList, SelectionGetFineBoxList}) {
            List *l = get(s.get(), v.get(), &clip, controls);
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
    ViewP v = MakeView(100, 100, 0, 0, 100, 100);
    Sel s = Make(vectSelectionClass, {20, 30});
    const unsigned long white = XcCmsGetColor(xi->cms, 15), black = XcCmsGetColor(xi->cms, 0);
    const unsigned long bg = white != 3 && black != 3 ? 3 : 4;
    Clear(bg);
    Box clip = B(0, 0, 119, 99);
    SelectionDrawContext ctx{nullptr, nullptr, xi, 0, -1};
    SelectionDraw(s.get(), v.get(), &ctx, &clip, 1);
    for (int y = 20; y <= 40; ++y)
        for (int x = 10; x <= 30; ++x) {
            int ring = std::max(std::abs(x - 20), std::abs(y - 30));
            unsigned long want = ring == 6 || ring == 4 ? white : ring == 5 ? black : bg;
            ASSERT_EQ(XGetPixel(xi->image, x, y), want) << x << "," << y;
        }
}

INSTANTIATE_TEST_SUITE_P(Screens, SelectionX, ::testing::Values(0, 1));

} // namespace
