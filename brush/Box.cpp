#include "brush/Box.h"

#include "core/Image.h"

#include <algorithm>

namespace
{
Pool<Box, 50> pool;
int debugLevel;

// Held to the 32-bit range: a value past either end keeps its sign, so a
// box spanning the whole range stays non-empty and one that clipping left far
// inverted stays empty.
int32_t Saturate(int64_t v)
{
    return static_cast<int32_t>(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX));
}

void Resize(Box *b)
{
    b->width = Saturate(int64_t(b->x2) - b->x1 + 1);
    b->height = Saturate(int64_t(b->y2) - b->y1 + 1);
}

// Products and sums the way 32-bit integer code computes them: wrapping.
int32_t Wrap(int64_t v)
{
    return static_cast<int32_t>(static_cast<uint32_t>(v));
}
int32_t Area(const Box *b)
{
    return Wrap(int64_t(b->width) * b->height);
}

void FreeElement(void *b)
{
    Box_Free(static_cast<Box *>(b));
}

// Appends a fresh box; false when no record could be had.
bool AppendNew(List *list, int32_t x1, int32_t y1, int32_t x2, int32_t y2)
{
    Box *b = Box_New();
    if (!b)
        return false;
    *b = Box{x1, y1, x2, y2, 0, 0, 0};
    Resize(b);
    if (List_Append(list, b) == LIST_OK)
        return true;
    Box_Free(b);
    return false;
}

List *Fail(List *list)
{
    Box_DestroyList(list);
    return nullptr;
}

int Sign(int64_t v)
{
    return (v > 0) - (v < 0);
}

// Side of the segment's line on which the point (ex, ey) lies.
int Orientation(int32_t x1, int32_t y1, int32_t x2, int32_t y2, int32_t ex, int32_t ey)
{
    int32_t a = Wrap(int64_t(Wrap(int64_t(x1) - ex)) * Wrap(int64_t(y2) - ey));
    int32_t b = Wrap(int64_t(Wrap(int64_t(x2) - ex)) * Wrap(int64_t(y1) - ey));
    return Sign(Wrap(int64_t(a) - b));
}

bool Inside(const Box *c, int32_t x, int32_t y)
{
    return c->x1 <= x && x <= c->x2 && c->y1 <= y && y <= c->y2;
}
} // namespace

Box *Box_New()
{
    Box *b = pool.Take();
    if (b)
        b->link = 0;
    return b;
}

Box *Box_Dup(const Box *b)
{
    Box *copy = Box_New();
    if (copy)
        *copy = Box{b->x1, b->y1, b->x2, b->y2, b->width, b->height, 0};
    return copy;
}

void Box_Free(Box *b)
{
    pool.Give(b);
}
Box *BoxNew()
{
    return Box_New();
}

Box *BoxMakeXY(int32_t x1, int32_t y1, int32_t x2, int32_t y2)
{
    Box *b = Box_New();
    if (b) {
        *b = Box{std::min(x1, x2), std::min(y1, y2), std::max(x1, x2), std::max(y1, y2), 0, 0, 0};
        Resize(b);
    }
    return b;
}

Box Box_Rect(int32_t x, int32_t y, int32_t width, int32_t height)
{
    return Box{x, y, int32_t(int64_t(x) + width - 1), int32_t(int64_t(y) + height - 1), width, height, 0};
}

Box Box_OfImage(const Image *image)
{
    return image ? Box_Rect(0, 0, Image_Width(image), Image_Height(image)) : Box_Rect(0, 0, 0, 0);
}

Box *BoxMakeWH(int32_t x, int32_t y, int32_t width, int32_t height)
{
    Box *b = Box_New();
    if (b)
        *b = Box{x, y, Saturate(int64_t(x) + width - 1), Saturate(int64_t(y) + height - 1), width, height, 0};
    return b;
}

Box *BoxDup(const Box *b)
{
    return b ? Box_Dup(b) : nullptr;
}

void BoxFree(Box *b)
{
    if (b)
        Box_Free(b);
}

int Box_SelfClip(Box *a, const Box *c)
{
    a->x1 = std::max(a->x1, c->x1);
    a->y1 = std::max(a->y1, c->y1);
    a->x2 = std::min(a->x2, c->x2);
    a->y2 = std::min(a->y2, c->y2);
    Resize(a);
    return !BoxEmpty(a);
}

int Box_Clip(Box *o, const Box *a, const Box *c)
{
    *o = *a;
    return Box_SelfClip(o, c);
}

int Box_Union(Box *o, const Box *a, const Box *b)
{
    int shared = a->x2 >= b->x1 && b->x2 >= a->x1 && a->y2 >= b->y1 && b->y2 >= a->y1;
    Box u = *o;
    u.x1 = std::min(a->x1, b->x1);
    u.y1 = std::min(a->y1, b->y1);
    u.x2 = std::max(a->x2, b->x2);
    u.y2 = std::max(a->y2, b->y2);
    Resize(&u);
    *o = u;
    return shared;
}

int Box_SelfUnion(Box *a, const Box *b)
{
    return Box_Union(a, a, b);
}

int Box_Contig(const Box *a, const Box *b, double factor)
{
    Box u{};
    Box_Union(&u, a, b);
    return factor * Area(&u) <= double(Wrap(int64_t(Area(a)) + Area(b)));
}

int Box_Countain(const Box *a, const Box *b)
{
    if (!a)
        return 2;
    if (b->x2 < a->x1 || b->x1 > a->x2 || b->y2 < a->y1 || b->y1 > a->y2)
        return 0;
    if (b->x1 < a->x1 || b->x2 > a->x2 || b->y1 < a->y1 || b->y2 > a->y2)
        return 1;
    return 2;
}

int Box_ClipSLine(const Box *c, int32_t *x1, int32_t *y1, int32_t *x2, int32_t *y2)
{
    if (*y2 < c->y1 || *y1 > c->y2 || *x2 < c->x1 || *x1 > c->x2)
        return 0;
    *x1 = std::max(*x1, 0);
    *y1 = std::max(*y1, 0);
    *x2 = std::min(*x2, c->x2);
    *y2 = std::min(*y2, c->y2);
    return 1;
}

int Box_CountainLine(const Box *c, int32_t x1, int32_t y1, int32_t x2, int32_t y2)
{
    int inside = Inside(c, x1, y1) + Inside(c, x2, y2);
    if (inside)
        return inside;
    if ((x1 < c->x1 && x2 < c->x1) || (x1 > c->x2 && x2 > c->x2) || (y1 < c->y1 && y2 < c->y1) ||
        (y1 > c->y2 && y2 > c->y2))
        return 0;
    // The box grown by 2 on every side; edges left, top, bottom, right.
    const int32_t l = Saturate(int64_t(c->x1) - 2), t = Saturate(int64_t(c->y1) - 2);
    const int32_t r = Saturate(int64_t(c->x2) + 2), b = Saturate(int64_t(c->y2) + 2);
    const int32_t edges[4][4] = {{l, t, l, b}, {l, t, r, t}, {l, b, r, b}, {r, t, r, b}};
    for (const auto &e : edges)
        if (Orientation(x1, y1, x2, y2, e[0], e[1]) != Orientation(x1, y1, x2, y2, e[2], e[3]))
            return 1;
    return 0;
}

int Box_Check(const Box *b)
{
    return b->x2 == int64_t(b->x1) + b->width - 1 && b->y2 == int64_t(b->y1) + b->height - 1 &&
           b->width >= 1 && b->height >= 1;
}

int BoxCheck(const Box *b)
{
    if (!b)
        return 0;
    return BoxEmpty(b) ? 1 : Box_Check(b);
}

int BoxEmpty(const Box *b)
{
    return b->width < 1 || b->height < 1;
}

void Box_Dump(const Box *) {}

void BoxDump(const Box *b, int flag)
{
    if (b && flag)
        Box_Dump(b);
}

void Box_SetDebugLevel(int level)
{
    debugLevel = level;
}

void Box_DestroyList(List *list)
{
    List_Destroy(list, FreeElement);
}

void BoxDestroyList(List *list)
{
    if (list)
        Box_DestroyList(list);
}

List *Box_ClipList(List *list, const Box *c)
{
    if (!c)
        return list;
    auto clippedAway = [](void *b, void *clip) {
        return Box_SelfClip(static_cast<Box *>(b), static_cast<const Box *>(clip)) ? 0 : 1;
    };
    List_RemoveP(list, clippedAway, const_cast<Box *>(c), FreeElement);
    return list;
}

List *Box_BoxListOfRect(const Box *r, const Box *c)
{
    List *list = List_New();
    if (!list)
        return nullptr;
    if (!c) {
        if (!AppendNew(list, r->x1, r->y1, r->x2, r->y1) || !AppendNew(list, r->x1, r->y1, r->x1, r->y2) ||
            !AppendNew(list, r->x2, r->y1, r->x2, r->y2) || !AppendNew(list, r->x1, r->y2, r->x2, r->y2))
            return Fail(list);
        return list;
    }
    const int32_t rx1 = std::max(r->x1, c->x1), rx2 = std::min(r->x2, c->x2);
    const int32_t cy1 = std::max(r->y1, c->y1), cy2 = std::min(r->y2, c->y2);
    auto row = [&](int32_t y) {
        return c->y1 <= y && y <= c->y2 && rx1 <= rx2 ? AppendNew(list, rx1, y, rx2, y) : true;
    };
    auto col = [&](int32_t x) {
        return c->x1 <= x && x <= c->x2 && cy1 <= cy2 ? AppendNew(list, x, cy1, x, cy2) : true;
    };
    if (!row(r->y1) || !row(r->y2) || !col(r->x1) || !col(r->x2))
        return Fail(list);
    return list;
}

// Given a ∩ b not empty, each axis of a splits into: the part before b, the
// part b spans and the part after b. The bands above and below b keep a's
// full width; the band b spans keeps what lies left and right of b.
List *Box_Remove(const Box *a, const Box *b)
{
    List *list = List_New();
    if (!list)
        return nullptr;
    Box common{};
    if (BoxEmpty(b) || !Box_Clip(&common, a, b)) {
        Box *copy = Box_Dup(a);
        if (!copy || List_Append(list, copy) != LIST_OK) {
            BoxFree(copy);
            return Fail(list);
        }
        return list;
    }
    bool ok = true;
    if (a->y1 < b->y1)
        ok = ok && AppendNew(list, a->x1, a->y1, a->x2, b->y1 - 1);
    if (a->x1 < b->x1)
        ok = ok && AppendNew(list, a->x1, common.y1, b->x1 - 1, common.y2);
    if (b->x2 < a->x2)
        ok = ok && AppendNew(list, b->x2 + 1, common.y1, a->x2, common.y2);
    if (b->y2 < a->y2)
        ok = ok && AppendNew(list, a->x1, b->y2 + 1, a->x2, a->y2);
    return ok ? list : Fail(list);
}

List *Box_RemoveAll(const Box *a, List *l)
{
    List *work = List_New();
    Box *copy = work ? Box_Dup(a) : nullptr;
    if (!copy || List_Append(work, copy) != LIST_OK) {
        BoxFree(copy);
        return work ? Fail(work) : nullptr;
    }
    for (ListNode *r = l->first; r && work->first; r = r->next) {
        List *next = List_New();
        if (!next)
            return Fail(work);
        for (ListNode *p = work->first; p; p = p->next) {
            List *pieces = Box_Remove(static_cast<Box *>(p->element), static_cast<Box *>(r->element));
            if (!pieces) {
                Box_DestroyList(next);
                return Fail(work);
            }
            List_ConcatDestroy(next, pieces);
        }
        Box_DestroyList(work);
        work = next;
    }
    return work;
}

int Box_AddBoxToList(List *l, const Box *a)
{
    if (BoxEmpty(a)) // covers nothing: nothing to add
        return LIST_OK;
    List *pieces = Box_RemoveAll(a, l);
    if (!pieces)
        return LIST_NOMEM;
    List_ConcatDestroy(l, pieces);
    return LIST_OK;
}

PoolStats Box_PoolStats()
{
    return {pool.Blocks(), pool.FreeCount()};
}
