#include "brush/Box.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

namespace
{
struct Rect {
    int x1, y1, x2, y2;
    bool operator==(const Rect &) const = default;
};
using Rects = std::vector<Rect>;

Box Make(int x1, int y1, int x2, int y2)
{
    return Box{x1, y1, x2, y2, x2 - x1 + 1, y2 - y1 + 1, 0};
}
Rect R(const Box &b)
{
    return {b.x1, b.y1, b.x2, b.y2};
}

// The boxes of a list, each checked for consistent width and height; the
// list is destroyed when asked.
Rects Of(List *l, bool destroy = true)
{
    Rects out;
    for (ListNode *n = l->first; n; n = n->next) {
        const Box *b = static_cast<const Box *>(n->element);
        EXPECT_EQ(Box_Check(b), 1) << "stale width/height or empty piece";
        out.push_back({b->x1, b->y1, b->x2, b->y2});
    }
    if (destroy)
        Box_DestroyList(l);
    return out;
}

// A 40×40 field: pieces must hit every pixel of want once and nothing else.
constexpr int F = 40;
using Field = std::vector<bool>;
void ExpectExactCover(const Rects &pieces, const Field &want)
{
    std::vector<int> hits(F * F, 0);
    for (const Rect &r : pieces)
        for (int y = r.y1; y <= r.y2; ++y)
            for (int x = r.x1; x <= r.x2; ++x) {
                ASSERT_TRUE(x >= 0 && x < F && y >= 0 && y < F) << "piece outside a";
                ++hits[y * F + x];
            }
    for (int i = 0; i < F * F; ++i)
        ASSERT_EQ(hits[i], want[i] ? 1 : 0) << "pixel " << i % F << "," << i / F;
}

void Paint(Field &bits, const Box &b, bool on)
{
    for (int y = std::max(b.y1, 0); y <= std::min(b.y2, F - 1); ++y)
        for (int x = std::max(b.x1, 0); x <= std::min(b.x2, F - 1); ++x)
            bits[y * F + x] = on;
}

// Some empty (x1 > x2), some reaching out of the field.
Box RandomBox(std::mt19937 &rng)
{
    std::uniform_int_distribution<int> pos(-5, F + 4), len(-2, 25);
    int x = pos(rng), y = pos(rng);
    return Make(x, y, x + len(rng), y + len(rng));
}
} // namespace

TEST(Box, RemoveAndRemoveAllCoverExactlyTheDifference)
{
    std::mt19937 rng(20240611);
    std::uniform_int_distribution<int> corner(0, F - 1);
    for (int round = 0; round < 500; ++round) {
        SCOPED_TRACE(round);
        Box *a = BoxMakeXY(corner(rng), corner(rng), corner(rng), corner(rng));
        Field want(F * F, false);
        Paint(want, *a, true);
        List *cuts = List_New();
        for (int i = int(rng() % 7); i > 0; --i) {
            Box b = RandomBox(rng);
            List_Append(cuts, Box_Dup(&b));
            if (i == 1) { // Box_Remove against one box
                Field one(F * F, false);
                Paint(one, *a, true);
                Paint(one, b, false);
                Rects pieces = Of(Box_Remove(a, &b));
                EXPECT_LE(pieces.size(), 4u);
                ExpectExactCover(pieces, one);
            }
            Paint(want, b, false);
        }
        ExpectExactCover(Of(Box_RemoveAll(a, cuts)), want);
        Box_DestroyList(cuts);
        Box_Free(a);
    }
}

// The operations the engine uses on single boxes and on the undo list.
// (The outline, containment, contiguity and line-clipping routines have no
// caller in the product.)
TEST(Box, SingleBoxesAndTheUndoList)
{
    Box *b = BoxMakeXY(5, 7, 2, 3);
    EXPECT_EQ(R(*b), (Rect{2, 3, 5, 7}));
    BoxFree(b);
    Box a = Make(0, 0, 4, 4), c = Make(5, 0, 9, 4), d = a;
    EXPECT_EQ(Box_SelfUnion(&a, &c), 0); // edge to edge: no shared pixel, still the bounding box
    EXPECT_EQ(R(a), (Rect{0, 0, 9, 4}));
    EXPECT_EQ(Box_SelfClip(&d, &c), 0);

    List *l = List_New();
    List_Append(l, BoxMakeXY(1, 1, 3, 3));
    List_Append(l, BoxMakeXY(2, 2, 5, 5));
    Box n = Make(1, 1, 5, 5);
    Box_AddBoxToList(l, &n); // what the list leaves of n, and nothing for a covered box
    Box_AddBoxToList(l, &n);
    EXPECT_EQ(Of(l), (Rects{{1, 1, 3, 3}, {2, 2, 5, 5}, {4, 1, 5, 1}, {1, 4, 1, 5}}));
}

// A record freed and taken again comes back clean of its last user's link.
TEST(Box, ReusedRecordsComeClean)
{
    Box *b = Box_New();
    b->link = 5;
    Box_Free(b);
    Box *again = Box_New();
    EXPECT_EQ(again, b) << "the last freed is reused first";
    EXPECT_EQ(again->link, 0);
    Box_Free(again);
}

// At the ends of the 32-bit range sizes are held to it: a box over the whole
// range is not empty, and boxes at opposite ends clip to nothing.
TEST(Box, NearTheEndsOfTheRange)
{
    const int32_t m = INT32_MIN, M = INT32_MAX;
    const Box low = Make(m, m, m + 3, m + 3), high = Make(M - 3, M - 3, M, M);
    Box u{}, c{};
    Box_Union(&u, &low, &high);
    EXPECT_EQ(std::pair(u.width, u.height), std::pair(M, M));
    EXPECT_EQ(Box_Clip(&c, &high, &low) + Box_Clip(&c, &low, &high), 0);
}
