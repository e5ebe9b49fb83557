#include "brush/Interval.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

namespace {
struct Elt {
    int low, high, value;
    bool operator==(const Elt &) const = default;
};

// The set's elements in chain order.
std::vector<Elt> Elts(const IntervalElt *set)
{
    std::vector<Elt> out;
    for (; set; set = set->next)
        out.push_back({set->low, set->high, set->value});
    return out;
}

IntervalElt *Interval(int low, int high, int value, IntervalElt *next)
{
    IntervalElt *e = NewElt();
    *e = IntervalElt{low, high, uint8_t(value), next};
    return e;
}
} // namespace

TEST(Interval, AddIntervalMergesWhatItTouches)
{
    IntervalElt *s = AddInterval(Interval(10, 20, 255, nullptr), 5, 9, 255);
    EXPECT_EQ(Elts(s), std::vector<Elt>({{5, 20, 255}}));
    IntervalElt *same = AddInterval(s, 12, 15, 255);
    EXPECT_EQ(same, s);
    EXPECT_EQ(Elts(s), std::vector<Elt>({{5, 20, 255}}));
    FreeEltRecurs(s);

    s = Interval(50, 50, 9, Interval(30, 40, 255, Interval(10, 20, 255, nullptr)));
    s = AddInterval(s, 0, 100, 255);
    EXPECT_EQ(Elts(s), std::vector<Elt>({{0, 100, 255}}));
    FreeEltRecurs(s);

    s = AddInterval(Interval(10, 10, 30, nullptr), 5, 9, 255); // points are never merged
    EXPECT_EQ(Elts(s), std::vector<Elt>({{5, 9, 255}, {10, 10, 30}}));
    FreeEltRecurs(s);
}

TEST(Interval, AddEltRaisesOrPushes)
{
    EXPECT_EQ(FindValue(nullptr, 3), 0);
    IntervalElt *s = Interval(5, 9, 255, nullptr);
    EXPECT_EQ(AddElt(s, 7, 40), s);
    EXPECT_EQ(Elts(s), std::vector<Elt>({{5, 9, 255}}));
    FreeEltRecurs(s);
    s = AddElt(nullptr, 7, 20);
    EXPECT_EQ(AddElt(s, 7, 40), s);
    EXPECT_EQ(AddElt(s, 7, 30), s);
    EXPECT_EQ(Elts(s), std::vector<Elt>({{7, 7, 40}}));
    s = AddElt(s, 8, 1);
    EXPECT_EQ(Elts(s), std::vector<Elt>({{8, 8, 1}, {7, 7, 40}}));
    FreeEltRecurs(s);
}

// Runs at 255 and single pixels below, as the row filter records them: the
// set, its elements sorted by column, never overlaps and always answers
// what a plain array of columns answers.
TEST(Interval, RandomSetsStayDisjointAndMatchAColumnArray)
{
    constexpr int W = 64;
    std::mt19937 rng(4242);
    const PoolStats before = Interval_PoolStats();
    for (int round = 0; round < 200; ++round) {
        SCOPED_TRACE(round);
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
            std::vector<Elt> sorted = Elts(s);
            std::sort(sorted.begin(), sorted.end(), [](const Elt &x, const Elt &y) { return x.low < y.low; });
            for (size_t i = 0; i < sorted.size(); ++i) {
                ASSERT_LE(sorted[i].low, sorted[i].high);
                if (i + 1 < sorted.size()) {
                    ASSERT_LT(sorted[i].high, sorted[i + 1].low) << "overlapping elements";
                }
            }
            for (int c = 0; c < W; ++c)
                ASSERT_EQ(FindValue(s, c), ref[c]) << "column " << c << " after op " << op;
        }
        FreeEltRecurs(s);
    }
    const PoolStats after = Interval_PoolStats();
    EXPECT_EQ(after.freeRecords - before.freeRecords, (after.blocks - before.blocks) * 100)
        << "every element went back to the pool";
}

TEST(Interval, RowFilterNeverBuildsUpOpacity)
{
    ASSERT_EQ(Interval_PrepareRows(3), 0);
    uint8_t row[2] = {255, 255};
    Interval_FilterRow(0.5, 1, 10, 2, row);
    EXPECT_EQ(row[0], 127);
    row[0] = row[1] = 255;
    Interval_FilterRow(0.5, 1, 10, 2, row);
    EXPECT_EQ(row[0], 0);
    EXPECT_EQ(row[1], 0);
    Interval_FreeRows();

    // Overlapping pieces on one row: compositing the filtered coverages one
    // after the other ends where a single pass at the highest coverage would.
    std::mt19937 rng(9);
    for (double o : {0.2, 0.5, 0.9}) {
        ASSERT_EQ(Interval_PrepareRows(3), 0);
        std::vector<double> clear(32, 1.0); // transparency left per pixel
        std::vector<int> peak(32, 0);
        for (int piece = 0; piece < 6; ++piece) {
            int x = int(rng() % 24), n = 1 + int(rng() % 8);
            std::vector<uint8_t> cov(static_cast<size_t>(n));
            for (auto &v : cov)
                v = rng() % 3 ? 255 : uint8_t(rng() % 256);
            std::vector<uint8_t> out = cov;
            Interval_FilterRow(o, 2, x, n, out.data());
            for (int i = 0; i < n; ++i) {
                clear[size_t(x + i)] *= 1.0 - out[size_t(i)] / 255.0;
                peak[size_t(x + i)] = std::max(peak[size_t(x + i)], int(cov[size_t(i)]));
            }
        }
        for (int c = 0; c < 32; ++c)
            EXPECT_NEAR(255 * (1 - clear[size_t(c)]), o * peak[size_t(c)], 2.0) << "o " << o << " column " << c;
        Interval_FreeRows();
    }
}
