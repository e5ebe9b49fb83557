#include "brush/Interval.h"

#include <new>
#include <vector>

namespace
{
Pool<IntervalElt, 100, &IntervalElt::next> pool;
std::vector<IntervalElt *> rows;

bool Contains(const IntervalElt *e, int32_t column)
{
    return e->low <= column && column <= e->high;
}

// What AddInterval does with one element of the walk, and how [lo, hi] grows.
enum class Step { Keep, Absorb, Covered };

Step Classify(const IntervalElt *e, int32_t &lo, int32_t &hi)
{
    if (e->low == e->high)
        return lo <= e->low && e->low <= hi ? Step::Absorb : Step::Keep;
    if (Contains(e, lo)) {
        if (Contains(e, hi))
            return Step::Covered;
        lo = e->low;
        return Step::Absorb;
    }
    if (Contains(e, hi)) {
        hi = e->high;
        return Step::Absorb;
    }
    if (lo <= e->low && e->high <= hi)
        return Step::Absorb;
    if (lo == e->high + 1) {
        lo = e->low;
        return Step::Absorb;
    }
    if (hi == e->low - 1) {
        hi = e->high;
        return Step::Absorb;
    }
    return Step::Keep;
}

// The opacity still needed at a pixel with new coverage v, already painted
// with p, so that compositing once more ends at o × v / 255.
uint8_t Missing(double o, int v, int p)
{
    if (v <= p)
        return 0;
    if (v < 255 || p != 0) {
        int a = int(255 - o * v), b = int(255 - o * p);
        return b > 0 ? uint8_t(255 - (a * 255) / b) : 0;
    }
    return uint8_t(int(o * 255));
}
} // namespace

IntervalElt *NewElt()
{
    return pool.Take();
}
void FreeElt(IntervalElt *elt)
{
    pool.Give(elt);
}

void FreeEltRecurs(IntervalElt *set)
{
    if (!set)
        return;
    int count = 1;
    IntervalElt *last = set;
    for (; last->next; last = last->next)
        ++count;
    pool.GiveChain(set, last, count);
}

int FindValue(const IntervalElt *set, int32_t column)
{
    for (const IntervalElt *e = set; e; e = e->next)
        if (Contains(e, column))
            return e->value;
    return 0;
}

IntervalElt *AddElt(IntervalElt *set, int32_t column, int value)
{
    for (IntervalElt *e = set; e; e = e->next)
        if (Contains(e, column)) {
            if (e->value < value)
                e->value = uint8_t(value);
            return set;
        }
    IntervalElt *e = NewElt();
    if (!e) // no memory: the pixel is forgotten, never the set
        return set;
    *e = IntervalElt{column, column, uint8_t(value), set};
    return e;
}

IntervalElt *AddInterval(IntervalElt *set, int32_t low, int32_t high, int value)
{
    IntervalElt **at = &set;
    while (IntervalElt *e = *at) {
        switch (Classify(e, low, high)) {
        case Step::Covered:
            return set;
        case Step::Absorb:
            *at = e->next;
            FreeElt(e);
            break;
        case Step::Keep:
            at = &e->next;
            break;
        }
    }
    IntervalElt *e = NewElt();
    if (!e)
        return set;
    *e = IntervalElt{low, high, uint8_t(value), set};
    return e;
}

int Interval_PrepareRows(int height)
{
    Interval_FreeRows();
    if (height < 0)
        height = 0;
    try {
        if (rows.size() != size_t(height)) {
            rows.clear();
            rows.shrink_to_fit();
            rows.resize(size_t(height), nullptr);
        }
    } catch (const std::bad_alloc &) {
        return 12;
    }
    return 0;
}

void Interval_FreeRows()
{
    for (IntervalElt *&set : rows) {
        FreeEltRecurs(set);
        set = nullptr;
    }
}

void Interval_FilterRow(double opacity, int y, int32_t x, int n, uint8_t *row)
{
    if (y < 0 || size_t(y) >= rows.size())
        return;
    IntervalElt *&set = rows[size_t(y)];
    int32_t runStart = 0;
    bool inRun = false;
    for (int i = 0; i < n; ++i) {
        const int32_t c = x + i;
        const int v = row[i];
        row[i] = Missing(opacity, v, FindValue(set, c));
        if (v == 255) {
            if (!inRun)
                runStart = c;
            inRun = true;
            continue;
        }
        if (inRun)
            set = AddInterval(set, runStart, c - 1, 255);
        inRun = false;
        set = AddElt(set, c, v);
    }
    if (inRun)
        set = AddInterval(set, runStart, x + n - 1, 255);
}

PoolStats Interval_PoolStats()
{
    return {pool.Blocks(), pool.FreeCount()};
}
