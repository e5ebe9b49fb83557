// Interval sets: for one image row, which columns a pencil stroke has
// already painted and with which coverage. A set is a singly linked chain of
// elements in no particular order (new ones are pushed at the head); fully
// covered runs are intervals of value 255, partly covered pixels one-column
// elements holding the highest coverage seen. The pencil's row filter uses
// one set per image row so that overlapping pieces of a stroke do not build
// up opacity.
#pragma once
#include "core/Pool.h"

#include <cstdint>

struct IntervalElt {
    int32_t low;
    int32_t high; // inclusive; equal to low for a one-column element
    uint8_t value;
    IntervalElt *next;
};

// From a pool of 100-element blocks (fields undefined); null when the heap
// refuses a block.
IntervalElt *NewElt();
void FreeElt(IntervalElt *elt);
// The whole chain back to the pool at once.
void FreeEltRecurs(IntervalElt *set);
// Value of the first element, in chain order, containing the column; 0 if none.
int FindValue(const IntervalElt *set, int32_t column);
// Raises the value of the element holding the column, or pushes a new
// one-column element. Returns the head.
IntervalElt *AddElt(IntervalElt *set, int32_t column, int value);
// Inserts [low, high], absorbing the intervals it overlaps or touches and
// the one-column elements inside it. Returns the head.
IntervalElt *AddInterval(IntervalElt *set, int32_t low, int32_t high, int value);

// The row table of a pencil stroke: one empty set per image row. The table
// is kept while the height stays the same. 0, or 12 when no memory.
int Interval_PrepareRows(int height);
// Returns every row's set to the pool at the end of the stroke.
void Interval_FreeRows();
// The row filter: reduces the coverage row[0 .. n-1] of columns x .. x+n-1
// of row y to the opacity still missing after what this stroke already
// painted there (opacity in 0..1), and records the row. Rows outside the
// table are left as they are.
void Interval_FilterRow(double opacity, int y, int32_t x, int n, uint8_t *row);

// Blocks taken and elements free, for tests.
PoolStats Interval_PoolStats();
