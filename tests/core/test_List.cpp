#include "core/List.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <vector>

namespace {
void *P(intptr_t v) { return reinterpret_cast<void *>(v); }
intptr_t V(void *e) { return reinterpret_cast<intptr_t>(e); }

// Elements are pointers to int: the keys of a sort, the identities of a stability check.
int CompareInts(void *a, void *b) { return *static_cast<int *>(a) - *static_cast<int *>(b); }
int IsOdd(void *e, void *) { return V(e) & 1; }
int Never(void *, void *) { return 0; }

std::vector<intptr_t> Contents(List *l)
{
    std::vector<intptr_t> out;
    for (ListNode *n = l->first; n; n = n->next)
        out.push_back(V(n->element));
    std::vector<intptr_t> back; // the prev links must tell the same story
    for (ListNode *n = l->last; n; n = n->prev)
        back.insert(back.begin(), V(n->element));
    EXPECT_EQ(out, back);
    EXPECT_EQ(List_Cardinal(l), long(out.size()));
    return out;
}

List *Of(std::initializer_list<intptr_t> values)
{
    List *l = List_New();
    for (intptr_t v : values)
        List_Append(l, P(v));
    return l;
}
} // namespace

TEST(List, MovingStopsAtTheEnds)
{
    List *l = List_New();
    EXPECT_EQ(List_GoNext(l), LIST_NOCURRENT);
    EXPECT_EQ(List_GoFirst(l), LIST_NOCURRENT);
    List_Append(l, P(1));
    List_Append(l, P(2));
    EXPECT_EQ(List_GoNext(l), LIST_END);
    EXPECT_EQ(V(List_Current(l)), 2);
    ASSERT_EQ(List_GoFirst(l), LIST_OK);
    EXPECT_EQ(List_GoPrev(l), LIST_END);
    EXPECT_EQ(V(List_Current(l)), 1);
    List_Destroy(l, nullptr);
}

TEST(List, RemoveMovesToNextOrBackFromTheLast)
{
    List *l = Of({1, 2, 3});
    List_GoLast(l);
    ASSERT_EQ(List_Remove(l), LIST_OK);
    EXPECT_EQ(V(List_Current(l)), 2);
    EXPECT_EQ(V(l->last->element), 2);
    EXPECT_EQ(l->last->next, nullptr);
    List_GoFirst(l);
    ASSERT_EQ(List_Remove(l), LIST_OK);
    EXPECT_EQ(V(List_Current(l)), 2);
    EXPECT_EQ(l->first->prev, nullptr);
    ASSERT_EQ(List_Remove(l), LIST_OK); // the only node
    EXPECT_EQ(Contents(l), std::vector<intptr_t>{});
    EXPECT_EQ(l->first, nullptr);
    EXPECT_EQ(l->last, nullptr);
    EXPECT_EQ(l->current, nullptr);
    EXPECT_EQ(List_Remove(l), LIST_EMPTY);
    List_Append(l, P(9)); // still usable
    EXPECT_EQ(Contents(l), std::vector<intptr_t>{9});
    List_Destroy(l, nullptr);
}

TEST(List, FindKeepsCurrentWhenNothingMatches)
{
    List *l = List_New();
    EXPECT_EQ(List_FindFirst(l, P(1)), LIST_EMPTY);
    List_Append(l, P(1));
    List_Append(l, P(2));
    List_Append(l, P(1));
    List_GoFirst(l);
    List_GoNext(l);
    EXPECT_EQ(List_FindFirst(l, P(7)), LIST_NOTFOUND);
    EXPECT_EQ(l->current, l->first->next);
    ASSERT_EQ(List_FindFirst(l, P(1)), LIST_OK);
    EXPECT_EQ(l->current, l->first);
    ASSERT_EQ(List_FindNext(l, P(1)), LIST_OK);
    EXPECT_EQ(l->current, l->last);
    EXPECT_EQ(List_FindNext(l, P(1)), LIST_NOTFOUND);
    ASSERT_EQ(List_FindFirstP(l, IsOdd, nullptr), LIST_OK);
    EXPECT_EQ(List_FindNextP(l, IsOdd, nullptr), LIST_OK);
    EXPECT_EQ(l->current, l->last);
    List_Destroy(l, nullptr);
}

TEST(List, SortedInsertOrdersAndPutsNewEqualsFirst)
{
    int keys[] = {5, 3, 4, 1, 3};
    List *l = List_New();
    for (int &k : keys)
        ASSERT_EQ(List_SortedInsert(l, CompareInts, &k), LIST_OK);
    std::vector<void *> order;
    for (ListNode *n = l->first; n; n = n->next)
        order.push_back(n->element);
    EXPECT_EQ(order, (std::vector<void *>{&keys[3], &keys[4], &keys[1], &keys[2], &keys[0]}));
    List_Destroy(l, nullptr);

    // From any current position, with many equal keys: sorted, and among
    // equals the later insertion comes first.
    std::mt19937 rng(1234);
    std::vector<int> many(400);
    l = List_New();
    for (size_t i = 0; i < many.size(); ++i) {
        many[i] = int(rng() % 20);
        if (l->first && rng() % 3 == 0) { // jump somewhere else
            List_GoFirst(l);
            for (unsigned s = rng() % List_Cardinal(l); s; --s)
                List_GoNext(l);
        }
        ASSERT_EQ(List_SortedInsert(l, CompareInts, &many[i]), LIST_OK);
        ASSERT_EQ(List_Current(l), &many[i]);
    }
    EXPECT_EQ(List_Cardinal(l), 400);
    for (ListNode *n = l->first; n->next; n = n->next) {
        int *a = static_cast<int *>(n->element), *b = static_cast<int *>(n->next->element);
        ASSERT_LE(*a, *b);
        if (*a == *b) {
            ASSERT_GT(a, b) << "equal keys must be in reverse insertion order";
        }
    }
    List_Destroy(l, nullptr);
}

TEST(List, RemovePFreesMatchesAndAlwaysEndsOnFirst)
{
    static std::vector<intptr_t> freed;
    freed.clear();
    List *l = Of({1, 2, 3, 4, 5});
    List_GoLast(l);
    EXPECT_EQ(List_RemoveP(l, Never, nullptr, nullptr), LIST_NOTFOUND);
    EXPECT_EQ(l->current, l->first);
    ASSERT_EQ(List_RemoveP(l, IsOdd, nullptr, [](void *e) { freed.push_back(V(e)); }), LIST_OK);
    EXPECT_EQ(Contents(l), (std::vector<intptr_t>{2, 4}));
    EXPECT_EQ(freed, (std::vector<intptr_t>{1, 3, 5}));
    EXPECT_EQ(V(List_Current(l)), 2);
    List_Empty(l, nullptr);
    EXPECT_EQ(List_RemoveP(l, IsOdd, nullptr, nullptr), LIST_EMPTY);
    List_Destroy(l, nullptr);
}

TEST(List, ConcatDestroyMovesAllNodes)
{
    List *dst = List_New();
    List *src = Of({1, 2});
    ASSERT_EQ(List_ConcatDestroy(dst, src), dst);
    EXPECT_EQ(V(List_Current(dst)), 1);
    dst = List_ConcatDestroy(dst, Of({3, 4}));
    EXPECT_EQ(Contents(dst), (std::vector<intptr_t>{1, 2, 3, 4}));
    dst = List_ConcatDestroy(dst, List_New());
    EXPECT_EQ(Contents(dst), (std::vector<intptr_t>{1, 2, 3, 4}));
    List *dup = List_Duplicate(dst, [](void *e) { return P(V(e) * 10); });
    EXPECT_EQ(Contents(dup), (std::vector<intptr_t>{10, 20, 30, 40}));
    List_Destroy(dup, nullptr);
    List_Destroy(dst, nullptr);
}

TEST(List, RecordsAreReusedAfterFiftyOneLists)
{
    List_Destroy(List_New(), nullptr); // the first blocks exist
    std::vector<List *> held;
    while (List_RecordPoolStats().freeRecords > 0) // drain what earlier tests freed
        held.push_back(List_New());
    int blocks = List_RecordPoolStats().blocks;
    for (int i = 0; i < 51; ++i)
        held.push_back(List_New());
    EXPECT_EQ(List_RecordPoolStats().blocks, blocks + 2); // 51 records need two more blocks
    for (List *l : held)
        List_Destroy(l, nullptr);
    held.clear();
    for (int i = 0; i < 51; ++i)
        held.push_back(List_New());
    EXPECT_EQ(List_RecordPoolStats().blocks, blocks + 2); // freed ones taken again
    for (List *l : held)
        List_Destroy(l, nullptr);
}
