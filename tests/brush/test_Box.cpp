#include "brush/Box.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

static bool operator==(const Box &a, const Box &b)
{
    return a.x1 == b.x1 && a.y1 == b.y1 && a.x2 == b.x2 && a.y2 == b.y2 && a.width == b.width && a.height == b.height;
}

namespace {
struct Rect {
    int x1, y1, x2, y2;
    bool operator==(const Rect &) const = default;
};

std::vector<Rect> Rects(List *l)
{
    std::vector<Rect> out;
    for (ListNode *n = l->first; n; n = n->next) {
        const Box *b = static_cast<const Box *>(n->element);
        EXPECT_EQ(Box_Check(b), 1) << "piece with stale width/height or empty";
        out.push_back({b->x1, b->y1, b->x2, b->y2});
    }
    return out;
}

Box Make(int x1, int y1, int x2, int y2) { return Box{x1, y1, x2, y2, x2 - x1 + 1, y2 - y1 + 1, 0}; }

// Pixel-by-pixel check over a 40×40 field around the origin: every pixel of
// want is covered exactly once by the pieces, every other pixel not at all.
constexpr int F = 40;
void ExpectExactCover(List *pieces, const std::vector<bool> &want)
{
    std::vector<int> hits(F * F, 0);
    for (const Rect &r : Rects(pieces))
        for (int y = r.y1; y <= r.y2; ++y)
            for (int x = r.x1; x <= r.x2; ++x) {
                ASSERT_TRUE(x >= 0 && x < F && y >= 0 && y < F) << "piece outside a";
                ++hits[y * F + x];
            }
    for (int i = 0; i < F * F; ++i)
        ASSERT_EQ(hits[i], want[i] ? 1 : 0) << "pixel " << i % F << "," << i / F;
}

void Paint(std::vector<bool> &bits, const Box &b, bool on)
{
    for (int y = std::max(b.y1, 0); y <= std::min(b.y2, F - 1); ++y)
        for (int x = std::max(b.x1, 0); x <= std::min(b.x2, F - 1); ++x)
            bits[y * F + x] = on;
}

// Mostly overlapping boxes, some empty (x1 > x2), some sticking out of the field.
Box RandomBox(std::mt19937 &rng)
{
    std::uniform_int_distribution<int> pos(-5, F + 4), len(-2, 25);
    int x = pos(rng), y = pos(rng);
    return Make(x, y, x + len(rng), y + len(rng));
}
} // namespace

TEST(Box, RemoveCutsBandsInOrder)
{
    Box a = Make(0, 0, 9, 9);
    Box inner = Make(3, 4, 5, 6);
    List *l = Box_Remove(&a, &inner);
    EXPECT_EQ(Rects(l), (std::vector<Rect>{{0, 0, 9, 3}, {0, 4, 2, 6}, {6, 4, 9, 6}, {0, 7, 9, 9}}));
    Box_DestroyList(l);
    Box middle = Make(4, -3, 5, 20); // full height, middle columns: left then right
    l = Box_Remove(&a, &middle);
    EXPECT_EQ(Rects(l), (std::vector<Rect>{{0, 0, 3, 9}, {6, 0, 9, 9}}));
    Box_DestroyList(l);
    Box cover = Make(-1, 0, 9, 12);
    l = Box_Remove(&a, &cover);
    EXPECT_EQ(List_Cardinal(l), 0);
    Box_DestroyList(l);
    Box empty = Make(3, 3, 2, 5), away = Make(10, 0, 12, 9);
    for (const Box *b : {&empty, &away}) {
        l = Box_Remove(&a, b);
        EXPECT_EQ(Rects(l), (std::vector<Rect>{{0, 0, 9, 9}}));
        Box_DestroyList(l);
    }
}

TEST(Box, RemoveAndRemoveAllCoverExactlyTheDifference)
{
    std::mt19937 rng(20240611);
    std::uniform_int_distribution<int> corner(0, F - 1);
    for (int round = 0; round < 500; ++round) {
        SCOPED_TRACE(round);
        int x1 = corner(rng), y1 = corner(rng), x2 = corner(rng), y2 = corner(rng);
        Box *a = BoxMakeXY(x1, y1, x2, y2); // inside the field, never empty
        std::vector<bool> want(F * F, false);
        Paint(want, *a, true);
        List *cuts = List_New();
        for (int i = int(rng() % 7); i > 0; --i) {
            Box b = RandomBox(rng);
            List_Append(cuts, Box_Dup(&b));
            if (i == 1) { // Box_Remove against a single box
                std::vector<bool> one(F * F, false);
                Paint(one, *a, true);
                if (!BoxEmpty(&b))
                    Paint(one, b, false);
                List *pieces = Box_Remove(a, &b);
                EXPECT_LE(List_Cardinal(pieces), 4);
                ExpectExactCover(pieces, one);
                Box_DestroyList(pieces);
            }
            if (!BoxEmpty(&b))
                Paint(want, b, false);
        }
        List *rest = Box_RemoveAll(a, cuts);
        ExpectExactCover(rest, want);
        Box_DestroyList(rest);
        Box_DestroyList(cuts);
        Box_Free(a);
    }
}

TEST(Box, AddBoxToListKeepsTheListDisjoint)
{
    std::mt19937 rng(77);
    const Box field = Make(0, 0, F - 1, F - 1);
    List *l = List_New();
    std::vector<bool> want(F * F, false);
    for (int i = 0; i < 60; ++i) {
        Box b = RandomBox(rng);
        Box_SelfClip(&b, &field);
        ASSERT_EQ(Box_AddBoxToList(l, &b), LIST_OK);
        if (!BoxEmpty(&b))
            Paint(want, b, true);
        ExpectExactCover(l, want);
    }
    long before = List_Cardinal(l);
    Box covered = *static_cast<Box *>(l->first->element);
    Box_AddBoxToList(l, &covered);
    EXPECT_EQ(List_Cardinal(l), before);
    Box_DestroyList(l);
}

TEST(Box, SingleBoxOperations)
{
    Box *b = BoxMakeXY(5, 7, 2, 3);
    EXPECT_EQ(*b, Make(2, 3, 5, 7));
    EXPECT_EQ(b->width, 4);
    EXPECT_EQ(b->height, 5);
    BoxFree(b);

    Box a = Make(0, 0, 4, 4), c = Make(5, 0, 9, 4), o{};
    EXPECT_EQ(Box_Union(&o, &a, &c), 0); // touching edge to edge shares no pixel
    EXPECT_EQ(o, Make(0, 0, 9, 4));
    EXPECT_EQ(Box_SelfUnion(&a, &c), 0); // o aliasing a
    EXPECT_EQ(a, Make(0, 0, 9, 4));

    Box d = Make(0, 0, 4, 4);
    EXPECT_EQ(Box_SelfClip(&d, &c), 0);
    EXPECT_LE(d.width, 0);
    EXPECT_EQ(BoxCheck(&d), 1);
    EXPECT_EQ(Box_Check(&d), 0);
    EXPECT_EQ(BoxCheck(nullptr), 0);

    Box big = Make(0, 0, 9, 9), part = Make(8, 8, 12, 12), in = Make(2, 2, 3, 3);
    EXPECT_EQ(Box_Countain(nullptr, &part), 2);
    EXPECT_EQ(Box_Countain(&big, &part), 1);
    EXPECT_EQ(Box_Countain(&big, &in), 2);
    EXPECT_EQ(Box_Countain(&in, &part), 0);
    EXPECT_EQ(Box_Contig(&big, &part, 0.8), 0); // 0.8 × 169 > 100 + 25
    EXPECT_EQ(Box_Contig(&big, &part, 0.7), 1); // 0.7 × 169 <= 125

    int x1 = -5, y1 = -2, x2 = 20, y2 = 30;
    Box clip = Make(3, 3, 9, 9);
    ASSERT_EQ(Box_ClipSLine(&clip, &x1, &y1, &x2, &y2), 1);
    EXPECT_EQ((Rect{x1, y1, x2, y2}), (Rect{0, 0, 9, 9})); // raised to 0, not to c's corner

    EXPECT_EQ(Box_CountainLine(&big, 1, 1, 20, 1), 1);
    EXPECT_EQ(Box_CountainLine(&big, 1, 1, 2, 2), 2);
    EXPECT_EQ(Box_CountainLine(&big, -5, 5, 15, 5), 1);  // crosses, both ends outside
    EXPECT_EQ(Box_CountainLine(&big, -5, -5, -1, 20), 0); // same side
    EXPECT_EQ(Box_CountainLine(&big, -20, 0, 0, -20), 0);  // passes the corner outside the margin
}

TEST(Box, OutlineTrimmedToTheClip)
{
    Box r = Make(0, 0, 9, 5), leftPart = Make(-3, -3, 4, 8);
    List *l = Box_BoxListOfRect(&r, nullptr);
    EXPECT_EQ(Rects(l), (std::vector<Rect>{{0, 0, 9, 0}, {0, 0, 0, 5}, {9, 0, 9, 5}, {0, 5, 9, 5}}));
    Box_DestroyList(l);
    l = Box_BoxListOfRect(&r, &leftPart);
    EXPECT_EQ(Rects(l), (std::vector<Rect>{{0, 0, 4, 0}, {0, 5, 4, 5}, {0, 0, 0, 5}}));
    Box_DestroyList(l);
}

TEST(Box, ClipListDropsEmptiedBoxes)
{
    List *l = List_New();
    List_Append(l, BoxMakeXY(0, 0, 3, 3));
    List_Append(l, BoxMakeXY(10, 10, 12, 12));
    List_Append(l, BoxMakeXY(2, 2, 8, 8));
    Box c = Make(1, 1, 5, 5);
    EXPECT_EQ(Box_ClipList(l, nullptr), l);
    EXPECT_EQ(List_Cardinal(l), 3);
    Box_ClipList(l, &c);
    EXPECT_EQ(Rects(l), (std::vector<Rect>{{1, 1, 3, 3}, {2, 2, 5, 5}}));
    Box_DestroyList(l);
}

TEST(Box, PoolGrowsByFiftyAndReusesLastFreedFirst)
{
    Box_Free(Box_New());
    std::vector<Box *> held;
    while (Box_PoolStats().freeRecords > 0)
        held.push_back(Box_New());
    int blocks = Box_PoolStats().blocks;
    for (int i = 0; i < 50; ++i)
        held.push_back(Box_New());
    EXPECT_EQ(Box_PoolStats().blocks, blocks + 1);
    held.push_back(Box_New()); // the 51st
    EXPECT_EQ(Box_PoolStats().blocks, blocks + 2);
    Box *first = held[held.size() - 3], *second = held[held.size() - 2];
    first->link = 5;
    Box_Free(first);
    Box_Free(second);
    Box *again = Box_New();
    EXPECT_EQ(again, second);
    EXPECT_EQ(Box_New(), first);
    EXPECT_EQ(first->link, 0);
    held.resize(held.size() - 3);
    held.push_back(first);
    held.push_back(again);
    held.push_back(BoxDup(held[0]));
    for (Box *b : held)
        Box_Free(b);
}
