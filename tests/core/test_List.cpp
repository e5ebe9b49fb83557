#include "core/List.h"

#include <gtest/gtest.h>

#include <cstdint>
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

TEST(List, MovingAndRemovingAtTheEnds)
{
    List *l = Of({});
    EXPECT_EQ(List_GoNext(l), LIST_NOCURRENT);
    List_Destroy(l, nullptr);
    l = Of({1, 2, 1});
    EXPECT_EQ(List_GoNext(l), LIST_END);
    EXPECT_EQ(List_GoLast(l), LIST_OK);
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

TEST(List, RemovePAndConcat)
{
    static Ints freed;
    freed.clear();
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
    List_Destroy(dst, nullptr);
}
