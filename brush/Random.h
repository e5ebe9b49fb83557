// Grid permutation: enumerates every cell of a w × h grid exactly once in a
// scrambled order (powers of a primitive root modulo the smallest prime above
// w × h), so that a picture refined pass after pass sharpens evenly.
#pragma once
#include <cstdint>

struct Random {
    int32_t w, h;
    int32_t n;       // w × h
    int32_t p;       // smallest prime above n (3 for n = 1)
    int32_t g;       // smallest integer above p whose residue is a primitive root of p
    int32_t start;   // value at which the current cycle began
    int32_t current; // 1 <= current < p
    int32_t fresh;   // 1 when the next call may return the start value itself
    int32_t cx, cy;  // cell of current
    int32_t count;   // cells returned in this cycle
    int32_t ox, oy;  // perturbation added to every returned cell
};

// A grid with no cell (w or h below 1), or with more than 2^20 cells,
// returns nothing.
void Random_Init(Random *gen, int32_t w, int32_t h);
// The same, but exhausted until reinitialised.
void Random_InitSpecial(Random *gen, int32_t w, int32_t h);
// A new cycle starting where the last one stopped (same size), else a fresh
// generator; either way all cells are returned once more.
void Random_ReinitSpecial(Random *gen, int32_t w, int32_t h);
// 1 and the next cell, or 0 when the cycle is complete.
int Random_Next(Random *gen, int32_t *x, int32_t *y);
// Shifts every returned cell by (dx, dy), modulo the grid.
void Random_SetPerturbation(Random *gen, int32_t dx, int32_t dy);
void Random_Copy(const Random *src, Random *dst);
