#include "brush/Clock.h"
#include "brush/Random.h"

#include <gtest/gtest.h>

#include <utility>
#include <vector>

namespace
{
using Cells = std::vector<std::pair<int, int>>;

Cells Drain(Random *gen, size_t limit)
{
    Cells out;
    int32_t x = -1, y = -1;
    while (out.size() < limit && Random_Next(gen, &x, &y))
        out.emplace_back(x, y);
    return out;
}

// Every cell once, nothing outside the grid, then the end.
void ExpectPermutation(Random *gen, int w, int h)
{
    SCOPED_TRACE(testing::Message() << w << "x" << h);
    Cells cells = Drain(gen, size_t(w) * h + 1);
    ASSERT_EQ(cells.size(), size_t(w) * h);
    std::vector<char> seen(size_t(w) * h, 0);
    for (auto [x, y] : cells) {
        ASSERT_TRUE(x >= 0 && x < w && y >= 0 && y < h) << x << "," << y;
        ASSERT_EQ(seen[size_t(y) * w + x]++, 0) << x << "," << y << " twice";
    }
}
} // namespace

// Every cell once for many sizes; the order of a 2 x 2 grid anchors the
// generator, and a grid without cells gives nothing (and does not hang).
TEST(Random, VisitsEveryCellOnce)
{
    Random gen;
    Random_Init(&gen, 2, 2);
    EXPECT_EQ(Drain(&gen, 10), (Cells{{0, 0}, {1, 0}, {1, 1}, {0, 1}}));
    Random_ReinitSpecial(&gen, 0, 5);
    EXPECT_EQ(Drain(&gen, 10), Cells{});
    for (int w = 1; w <= 64; ++w)
        for (int h = 1; h <= 47; h += (w % 5) + 1) {
            Random_Init(&gen, w, h);
            ExpectPermutation(&gen, w, h);
        }
    for (auto [w, h] : {std::pair{300, 200}, {1024, 1}, {1, 999}}) {
        Random_Init(&gen, w, h);
        ExpectPermutation(&gen, w, h);
    }
}

TEST(Random, ReinitSpecialStartsWhereTheLastCycleStopped)
{
    Random gen, copy;
    Random_InitSpecial(&gen, 5, 3);
    EXPECT_EQ(Drain(&gen, 1), Cells{});
    Random_ReinitSpecial(&gen, 5, 3);
    ExpectPermutation(&gen, 5, 3);
    // Stopped after 4 cells: the next cycle begins with the 5th and runs
    // through all 15 in the same circular order.
    Random_Init(&gen, 5, 3);
    Random_Copy(&gen, &copy);
    Cells full = Drain(&copy, 15);
    Drain(&gen, 4);
    Random_ReinitSpecial(&gen, 5, 3);
    EXPECT_EQ(gen.count, 0);
    Cells next = Drain(&gen, 16);
    ASSERT_EQ(next.size(), 15u);
    EXPECT_EQ(next[0], full[4]);
    EXPECT_EQ(next[14], full[3]);
    Random_ReinitSpecial(&gen, 4, 4); // another size: a new generator
    ExpectPermutation(&gen, 4, 4);
}

TEST(Random, PerturbationShiftsCellsModuloTheGrid)
{
    Random plain, shifted;
    Random_Init(&plain, 4, 3);
    Random_Copy(&plain, &shifted);
    Random_SetPerturbation(&shifted, -1, 0);
    Random_SetPerturbation(&shifted, 4, -7); // -1 + 4 = 3 mod 4; -7 mod 3 = 2
    Cells a = Drain(&plain, 12), b = Drain(&shifted, 12);
    ASSERT_EQ(a.size(), b.size());
    for (size_t i = 0; i < a.size(); ++i)
        EXPECT_EQ(b[i], std::make_pair((a[i].first + 3) % 4, (a[i].second + 2) % 3));
}

TEST(Clock, PushAndPopNest)
{
    // Past two blocks of the pool; a time pushed later pops first.
    std::vector<int32_t> pushed;
    for (int i = 0; i < 25; ++i) {
        pushed.push_back(myclock());
        PushClock();
    }
    for (int i = 24; i >= 0; --i) {
        int32_t popped = PopClock();
        EXPECT_GE(popped, pushed[size_t(i)]);
        EXPECT_LE(popped, i == 24 ? myclock() : pushed[size_t(i + 1)]);
    }
    EXPECT_GE(PopNonNullClock(), 1); // an empty stack measures from now
}
