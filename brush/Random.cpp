#include "brush/Random.h"

namespace
{
// Primality and primitive roots are found by plain trial; beyond this many
// cells that would take seconds, and no picture asks for such a grid.
constexpr int64_t MaxCells = int64_t(1) << 20;

// Plain trial division: the grids are a few cells wide.
bool IsPrime(int64_t v)
{
    if (v < 3)
        return true;
    for (int64_t d = 2; d < v; ++d)
        if (v % d == 0)
            return false;
    return true;
}

// Multiplicative order of g modulo p by repeated multiplication.
bool IsPrimitiveRoot(int64_t g, int64_t p)
{
    int64_t k = 1, r = g % p;
    while (r != 1 && k <= p) {
        r = r * g % p;
        ++k;
    }
    return r == 1 && k == p - 1;
}

void SetCell(Random *gen)
{
    gen->cx = (gen->current - 1) % gen->w;
    gen->cy = (gen->current - 1) / gen->w;
}

// Products are taken in 64 bits: the same values as 32-bit code wherever
// that fits, and still right on larger grids.
void Advance(Random *gen)
{
    do {
        gen->current = int32_t(int64_t(gen->current) * gen->g % gen->p);
        SetCell(gen);
    } while (gen->cy >= gen->h && gen->current != gen->start);
}

int32_t Mod(int32_t v, int32_t m)
{
    int32_t r = v % m;
    return r < 0 ? r + m : r;
}
} // namespace

void Random_Init(Random *gen, int32_t w, int32_t h)
{
    *gen = Random{};
    gen->w = w;
    gen->h = h;
    gen->start = gen->current = 1;
    if (w < 1 || h < 1 || int64_t(w) * h > MaxCells)
        return; // nothing to enumerate: n stays 0 and Random_Next says so
    gen->n = w * h;
    int64_t p = gen->n + 1 == 2 ? 3 : gen->n + 1;
    while (!IsPrime(p))
        ++p;
    int64_t g = p + 1;
    while (!IsPrimitiveRoot(g, p))
        ++g;
    gen->p = int32_t(p);
    gen->g = int32_t(g);
    SetCell(gen);
    gen->fresh = 1;
}

void Random_InitSpecial(Random *gen, int32_t w, int32_t h)
{
    Random_Init(gen, w, h);
    gen->fresh = 0;
}

void Random_ReinitSpecial(Random *gen, int32_t w, int32_t h)
{
    if (w == gen->w && h == gen->h)
        gen->start = gen->current;
    else
        Random_InitSpecial(gen, w, h);
    gen->count = 0;
    gen->fresh = 1;
}

int Random_Next(Random *gen, int32_t *x, int32_t *y)
{
    if (gen->n < 1 || (gen->current == gen->start && !gen->fresh))
        return 0;
    *x = (gen->cx + gen->ox) % gen->w;
    *y = (gen->cy + gen->oy) % gen->h;
    gen->fresh = 0;
    Advance(gen);
    ++gen->count;
    return 1;
}

void Random_SetPerturbation(Random *gen, int32_t dx, int32_t dy)
{
    if (gen->n < 1)
        return;
    gen->ox = (gen->ox + Mod(dx, gen->w)) % gen->w;
    gen->oy = (gen->oy + Mod(dy, gen->h)) % gen->h;
}

void Random_Copy(const Random *src, Random *dst)
{
    *dst = *src;
}
