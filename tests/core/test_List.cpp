#include "core/List.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <vector>

namespace
{
using Ints = std::vector<intptr_t>;
void *P(intptr_t v)
{
    return reinterpret_cast<void *>(v);
}
intptr_t V(void *e)
{
    return reinterpret_cast<intptr_t>(e);
}
int CompareInts(void *a, void *b)
{
    return *static_cast<int *>(a) - *static_cast<int *>(b);
}
int IsOdd(void *e, void *)
{
    return V(e) & 1;
}

// The elements first to last; walking back by the prev links must agree.
Ints Contents(List *l)
{
    Ints out, back;
    for (ListNode *n = l->first; n; n = n->next)
        out.push_back(V(n->element));
    for (ListNode *n = l->last; n; n = n->prev)
        back.insert(back.begin(), V(n->element));
    EXPECT_EQ(out, back);
    EXPECT_EQ(List_Cardinal(l), long(out.size()));
    return out;
}

List *Of(Ints values)
{
    List *l = List_New();
    for (intptr_t v : values)
        List_Append(l, P(v));
    return l;
}
} // namespace

TEST(List, MovingFindingAndRemovingAtTheEnds)
{
    List *l = Of({});
    EXPECT_EQ(List_GoNext(l), LIST_NOCURRENT);
    EXPECT_EQ(List_FindFirst(l, P(1)), LIST_EMPTY);
    List_Destroy(l, nullptr);
    l = Of({1, 2, 1});
    EXPECT_EQ(List_GoNext(l), LIST_END);
    EXPECT_EQ(l->current, l->last);
    List_GoPrev(l);
    EXPECT_EQ(List_FindFirst(l, P(7)), LIST_NOTFOUND);
    EXPECT_EQ(V(List_Current(l)), 2); // unchanged
    ASSERT_EQ(List_FindFirst(l, P(1)), LIST_OK);
    ASSERT_EQ(List_FindNextP(l, IsOdd, nullptr), LIST_OK);
    EXPECT_EQ(l->current, l->last);
    ASSERT_EQ(List_Remove(l), LIST_OK); // the last: its predecessor becomes last and current
    EXPECT_EQ(V(List_Current(l)), 2);
    EXPECT_EQ(l->last->next, nullptr);
    List_GoFirst(l);
    ASSERT_EQ(List_Remove(l), LIST_OK);
    EXPECT_EQ(l->first->prev, nullptr);
    ASSERT_EQ(List_Remove(l), LIST_OK); // the only one
    EXPECT_EQ(Contents(l), Ints{});
    EXPECT_TRUE(!l->first && !l->last && !l->current);
    EXPECT_EQ(List_Remove(l), LIST_EMPTY);
    List_Destroy(l, nullptr);
}

TEST(List, SortedInsertOrdersAndPutsNewEqualsFirst)
{
    // From any current position, with many equal keys: sorted, and among
    // equals the later insertion first.
    std::mt19937 rng(1234);
    std::vector<int> many(400);
    List *l = List_New();
    for (int &k : many) {
        k = int(rng() % 20);
        List_GoFirst(l);
        for (long s = l->count ? long(rng() % l->count) : 0; s > 0; --s)
            List_GoNext(l);
        ASSERT_EQ(List_SortedInsert(l, CompareInts, &k), LIST_OK);
        ASSERT_EQ(List_Current(l), &k);
    }
    EXPECT_EQ(Contents(l).size(), 400u);
    for (ListNode *n = l->first; n->next; n = n->next) {
        int *a = static_cast<int *>(n->element), *b = static_cast<int *>(n->next->element);
        ASSERT_TRUE(*a < *b || (*a == *b && a > b)) << *a << " then " << *b;
    }
    List_Destroy(l, nullptr);
}

TEST(List, RemovePConcatAndDuplicate)
{
    static Ints freed;
    List *l = Of({1, 2, 3, 4, 5});
    List_GoLast(l);
    EXPECT_EQ(List_RemoveP(
                  l, [](void *, void *) { return 0; }, nullptr, nullptr),
              LIST_NOTFOUND);
    EXPECT_EQ(l->current, l->first);
    ASSERT_EQ(List_RemoveP(l, IsOdd, nullptr, [](void *e) { freed.push_back(V(e)); }), LIST_OK);
    EXPECT_EQ(Contents(l), (Ints{2, 4}));
    EXPECT_EQ(freed, (Ints{1, 3, 5}));
    EXPECT_EQ(V(List_Current(l)), 2);

    List *dst = List_ConcatDestroy(List_New(), l);
    EXPECT_EQ(V(List_Current(dst)), 2); // into an empty list: the first moved node
    dst = List_ConcatDestroy(List_ConcatDestroy(dst, Of({6, 8})), List_New());
    EXPECT_EQ(Contents(dst), (Ints{2, 4, 6, 8}));
    List *dup = List_Duplicate(dst, [](void *e) { return P(V(e) * 10); });
    EXPECT_EQ(Contents(dup), (Ints{20, 40, 60, 80}));
    List_Destroy(dup, nullptr);
    List_Destroy(dst, nullptr);
}

TEST(List, RecordsAreReusedAfterFiftyOneLists)
{
    std::vector<List *> held{List_New()};
    while (List_RecordPoolStats().freeRecords > 0) // what earlier tests freed
        held.push_back(List_New());
    const int blocks = List_RecordPoolStats().blocks;
    for (int round = 0; round < 2; ++round) {
        std::vector<List *> lists(51);
        for (List *&l : lists)
            l = List_New();
        EXPECT_EQ(List_RecordPoolStats().blocks, blocks + 2); // the second round takes no block
        for (List *l : lists)
            List_Destroy(l, nullptr);
    }
    for (List *l : held)
        List_Destroy(l, nullptr);
}
