// The program's one container: a doubly linked list of untyped element
// pointers with a current position. Elements belong to the caller; the list
// frees them only when handed a free routine. Records and nodes come from
// private pools of 50 that are never given back.
#pragma once
#include "core/Pool.h"

struct ListNode {
    ListNode *next;
    ListNode *prev;
    void *element;
};

struct List {
    ListNode *first;
    ListNode *last;
    ListNode *current;
    long count;
};

// The list's own return codes, separate from the program's error table.
enum {
    LIST_OK = 0,
    LIST_NOMEM = 12,     // no memory for a node
    LIST_NOCURRENT = 29, // no node to move to (empty list or no current node)
    LIST_END = 1000,     // already at the end
    LIST_EMPTY = 1001,   // the list is empty
    LIST_NOTFOUND = 1002 // nothing found
};

using ListFreeFn = void (*)(void *element);
using ListCopyFn = void *(*)(void *element);
using ListCompareFn = int (*)(void *a, void *b); // < 0: a sorts before b
using ListPredicateFn = int (*)(void *element, void *arg);
using ListRoutineFn = void (*)(void *element, void *arg);

List *List_New();
int List_Destroy(List *list, ListFreeFn freeFn);
void List_Empty(List *list, ListFreeFn freeFn);
long List_Cardinal(const List *list);
// Element of the current node; null when there is none.
void *List_Current(const List *list);

// Insertions; the new node becomes current. Without a current node in a
// non-empty list, AddAfter appends and AddBefore prepends.
int List_AddBefore(List *list, void *element);
int List_AddAfter(List *list, void *element);
int List_Append(List *list, void *element);
// Ordered insertion searching from the current node; a new element goes
// before the elements that compare equal to it.
int List_SortedInsert(List *list, ListCompareFn compare, void *element);

int List_GoFirst(List *list);
int List_GoLast(List *list);
int List_GoNext(List *list);
int List_GoPrev(List *list);

int List_FindFirst(List *list, void *element);
int List_FindFirstP(List *list, ListPredicateFn predicate, void *arg);
// From the node after the current one; LIST_NOCURRENT without a current node.
int List_FindNext(List *list, void *element);
int List_FindNextP(List *list, ListPredicateFn predicate, void *arg);

// Unlinks the current node (the element is not freed); the next node, or
// the previous one when it was the last, becomes current.
int List_Remove(List *list);
int List_RemoveP(List *list, ListPredicateFn predicate, void *arg, ListFreeFn freeFn);

void List_Foreach(List *list, ListRoutineFn routine, void *arg);
int List_ForeachP(List *list, ListPredicateFn predicate, void *predArg, ListRoutineFn routine,
                  void *routineArg);
int List_Replace(List *list, void *element, ListFreeFn freeFn);
// Null when no memory (copies already made are lost: the list has no
// routine to free them).
List *List_Duplicate(List *list, ListCopyFn copy);
List *List_ConcatDestroy(List *destination, List *source);
