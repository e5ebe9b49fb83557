#include "brush/Interval.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

namespace
{
struct Elt {
    int low, high, value;
    bool operator==(const Elt &) const = default;
};
using Elts = std::vector<Elt>;

// The elements, sorted by their first column.
Elts Sorted(const IntervalElt *set)
{
    Elts out;
    for (const IntervalElt *e = set; e; e = e->next)
        out.push_back({e->low, e->high, e->value});
    std::sort(out.begin(), out.end(), [](const Elt &x, const Elt &y) { return x.low < y.low; });
    return out;
}
} // namespace

// Runs at 255 and single pixels below, as the row filter records them: the
// elements, sorted by column, never overlap, the set answers what a plain
// array of columns answers, and no element is lost to the pool.
TEST(Interval, RandomSetsStayDisjointAndMatchAColumnArray)
{
    constexpr int W = 64;
    std::mt19937 rng(4242);
    const PoolStats before = Interval_PoolStats();
    for (int round = 0; round < 200; ++round) {
        IntervalElt *s = nullptr;
        std::vector<int> ref(W, 0);
        for (int op = 0; op < 40; ++op) {
            int a = int(rng() % W), b = int(rng() % W);
            if (rng() % 2) {
                int lo = std::min(a, b), hi = std::min(std::max(a, b), lo + int(rng() % 12));
                s = AddInterval(s, lo, hi, 255);
                std::fill(ref.begin() + lo, ref.begin() + hi + 1, 255);
            } else {
                int v = int(rng() % 255);
                s = AddElt(s, a, v);
                ref[a] = std::max(ref[a], v);
            }
            const Elts sorted = Sorted(s);
            for (size_t i = 0; i + 1 < sorted.size(); ++i)
                ASSERT_LT(sorted[i].high, sorted[i + 1].low) << "round " << round << " op " << op;
            for (int c = 0; c < W; ++c)
                ASSERT_EQ(FindValue(s, c), ref[c]) << "round " << round << " op " << op << " column " << c;
        }
        FreeEltRecurs(s);
    }
    const PoolStats after = Interval_PoolStats();
    EXPECT_EQ(after.freeRecords - before.freeRecords, (after.blocks - before.blocks) * 100);
}

TEST(Interval, RowFilterNeverBuildsUpOpacity)
{
    // Overlapping pieces on one row: compositing the filtered coverages one
    // after the other ends where one pass at the highest coverage would.
    std::mt19937 rng(9);
    for (double o : {0.2, 0.5, 0.9}) {
        ASSERT_EQ(Interval_PrepareRows(3), 0); // the same height: the table is emptied
        std::vector<double> clear(32, 1.0);    // transparency left per pixel
        std::vector<int> peak(32, 0);
        for (int piece = 0; piece < 6; ++piece) {
            const int x = int(rng() % 24), n = 1 + int(rng() % 8);
            std::vector<uint8_t> cov, out;
            for (int i = 0; i < n; ++i)
                cov.push_back(rng() % 3 ? 255 : uint8_t(rng() % 256));
            out = cov;
            Interval_FilterRow(o, 2, x, n, out.data());
            for (int i = 0; i < n; ++i) {
                clear[size_t(x + i)] *= 1.0 - out[size_t(i)] / 255.0;
                peak[size_t(x + i)] = std::max(peak[size_t(x + i)], int(cov[size_t(i)]));
            }
        }
        for (size_t c = 0; c < 32; ++c)
            EXPECT_NEAR(255 * (1 - clear[c]), o * peak[c], 2.0) << "opacity " << o << " column " << c;
    }
    Interval_FreeRows();
}
