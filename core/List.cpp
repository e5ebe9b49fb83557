#include "core/List.h"

namespace
{
Pool<List, 50> records;
Pool<ListNode, 50> nodes;

ListNode *NewNode(void *element)
{
    ListNode *node = nodes.Take();
    if (node)
        *node = ListNode{nullptr, nullptr, element};
    return node;
}

// Links a fresh node between prev and next (either may be null) and makes it current.
void Link(List *list, ListNode *node, ListNode *prev, ListNode *next)
{
    node->prev = prev;
    node->next = next;
    (prev ? prev->next : list->first) = node;
    (next ? next->prev : list->last) = node;
    list->current = node;
    ++list->count;
}

void FreeNodes(List *list, ListFreeFn freeFn)
{
    for (ListNode *node = list->first, *next; node; node = next) {
        next = node->next;
        if (freeFn)
            freeFn(node->element);
        nodes.Give(node);
    }
    *list = List{};
}

template <typename Match> int FindFrom(List *list, ListNode *start, Match match)
{
    if (!list->first)
        return LIST_EMPTY;
    for (ListNode *node = start; node; node = node->next)
        if (match(node->element)) {
            list->current = node;
            return LIST_OK;
        }
    return LIST_NOTFOUND;
}

void Unlink(List *list, ListNode *node)
{
    (node->prev ? node->prev->next : list->first) = node->next;
    (node->next ? node->next->prev : list->last) = node->prev;
    --list->count;
    nodes.Give(node);
}
} // namespace

List *List_New()
{
    if (records.Blocks() == 0 && (!records.Grow() || !nodes.Grow()))
        return nullptr;
    List *list = records.Take();
    if (list)
        *list = List{};
    return list;
}

int List_Destroy(List *list, ListFreeFn freeFn)
{
    if (!list)
        return LIST_OK;
    FreeNodes(list, freeFn);
    records.Give(list);
    return LIST_OK;
}

void List_Empty(List *list, ListFreeFn freeFn)
{
    FreeNodes(list, freeFn);
}

long List_Cardinal(const List *list)
{
    return list->count;
}

void *List_Current(const List *list)
{
    return list->current ? list->current->element : nullptr;
}

int List_AddBefore(List *list, void *element)
{
    ListNode *node = NewNode(element);
    if (!node)
        return LIST_NOMEM;
    ListNode *at = list->current ? list->current : list->first;
    Link(list, node, at ? at->prev : nullptr, at);
    return LIST_OK;
}

int List_AddAfter(List *list, void *element)
{
    ListNode *node = NewNode(element);
    if (!node)
        return LIST_NOMEM;
    ListNode *at = list->current ? list->current : list->last;
    Link(list, node, at, at ? at->next : nullptr);
    return LIST_OK;
}

int List_Append(List *list, void *element)
{
    list->current = list->last;
    return List_AddAfter(list, element);
}

int List_SortedInsert(List *list, ListCompareFn compare, void *element)
{
    ListNode *at = list->current;
    if (!at)
        return List_Append(list, element);
    if (compare(at->element, element) < 0) {
        while (at->next && compare(at->next->element, element) < 0)
            at = at->next;
        list->current = at;
        return List_AddAfter(list, element);
    }
    while (at->prev && compare(at->prev->element, element) >= 0)
        at = at->prev;
    list->current = at;
    return List_AddBefore(list, element);
}

int List_GoFirst(List *list)
{
    if (!list->first)
        return LIST_NOCURRENT;
    list->current = list->first;
    return LIST_OK;
}

int List_GoLast(List *list)
{
    if (!list->last)
        return LIST_NOCURRENT;
    list->current = list->last;
    return LIST_OK;
}

int List_GoNext(List *list)
{
    if (!list->current)
        return LIST_NOCURRENT;
    if (!list->current->next)
        return LIST_END;
    list->current = list->current->next;
    return LIST_OK;
}

int List_GoPrev(List *list)
{
    if (!list->current)
        return LIST_NOCURRENT;
    if (!list->current->prev)
        return LIST_END;
    list->current = list->current->prev;
    return LIST_OK;
}

int List_FindFirst(List *list, void *element)
{
    return FindFrom(list, list->first, [&](void *e) { return e == element; });
}

int List_FindFirstP(List *list, ListPredicateFn predicate, void *arg)
{
    return FindFrom(list, list->first, [&](void *e) { return predicate(e, arg) != 0; });
}

int List_FindNext(List *list, void *element)
{
    if (list->first && !list->current)
        return LIST_NOCURRENT;
    return FindFrom(list, list->current ? list->current->next : nullptr,
                    [&](void *e) { return e == element; });
}

int List_FindNextP(List *list, ListPredicateFn predicate, void *arg)
{
    if (list->first && !list->current)
        return LIST_NOCURRENT;
    return FindFrom(list, list->current ? list->current->next : nullptr,
                    [&](void *e) { return predicate(e, arg) != 0; });
}

int List_Remove(List *list)
{
    ListNode *node = list->current;
    if (!list->first)
        return LIST_EMPTY;
    if (!node)
        return LIST_NOCURRENT;
    list->current = node->next ? node->next : node->prev;
    Unlink(list, node);
    return LIST_OK;
}

int List_RemoveP(List *list, ListPredicateFn predicate, void *arg, ListFreeFn freeFn)
{
    if (!list->first)
        return LIST_EMPTY;
    bool removed = false;
    for (ListNode *node = list->first, *next; node; node = next) {
        next = node->next;
        if (predicate(node->element, arg)) {
            if (freeFn)
                freeFn(node->element);
            Unlink(list, node);
            removed = true;
        }
    }
    list->current = list->first;
    return removed ? LIST_OK : LIST_NOTFOUND;
}

void List_Foreach(List *list, ListRoutineFn routine, void *arg)
{
    for (ListNode *node = list->first; node; node = node->next)
        routine(node->element, arg);
}

int List_ForeachP(List *list, ListPredicateFn predicate, void *predArg, ListRoutineFn routine,
                  void *routineArg)
{
    bool matched = false;
    for (ListNode *node = list->first; node; node = node->next)
        if (predicate(node->element, predArg)) {
            routine(node->element, routineArg);
            matched = true;
        }
    return matched ? LIST_OK : LIST_NOTFOUND;
}

int List_Replace(List *list, void *element, ListFreeFn freeFn)
{
    if (!list->current)
        return LIST_EMPTY;
    if (freeFn && list->current->element)
        freeFn(list->current->element);
    list->current->element = element;
    return LIST_OK;
}

List *List_Duplicate(List *list, ListCopyFn copy)
{
    List *dup = List_New();
    if (!dup)
        return nullptr;
    for (ListNode *node = list->first; node; node = node->next)
        if (List_Append(dup, copy ? copy(node->element) : node->element) != LIST_OK) {
            List_Destroy(dup, nullptr);
            return nullptr;
        }
    return dup;
}

List *List_ConcatDestroy(List *destination, List *source)
{
    if (!source)
        return destination;
    if (source->first) {
        if (destination->last) {
            destination->last->next = source->first;
            source->first->prev = destination->last;
        } else {
            destination->first = source->first;
            destination->current = source->first;
        }
        destination->last = source->last;
        destination->count += source->count;
    }
    *source = List{};
    records.Give(source);
    return destination;
}
