#include "core/Handle.h"

#include <gtest/gtest.h>

#include <map>
#include <random>
#include <set>

namespace
{
void first() {}
void second() {}
} // namespace

// Random allocations and releases against a model: a handle is never 0 nor
// given twice, a live one finds its own pair, a released one (its slot
// reused since) finds nothing; a second release is harmless.
TEST(Handle, LiveHandlesFindTheirPairAndReleasedOnesNothing)
{
    std::mt19937 rng(3);
    static int data[5000];
    std::map<uint32_t, int> live;
    std::set<uint32_t> released;
    for (int i = 0; i < 5000; ++i) {
        if (live.empty() || rng() % 3) {
            const uint32_t h = Handle_NewFn(i % 2 ? first : second, &data[i]);
            ASSERT_NE(h, 0u);
            ASSERT_FALSE(released.count(h)) << "a stale handle given again";
            ASSERT_TRUE(live.emplace(h, i).second) << "a live handle given twice";
        } else {
            auto it = std::next(live.begin(), long(rng() % live.size()));
            Handle_Release(it->first);
            Handle_Release(it->first);
            released.insert(it->first);
            live.erase(it);
        }
    }
    HandleRoutine r = nullptr;
    void *d = nullptr;
    for (auto [h, i] : live) {
        ASSERT_EQ(Handle_Lookup(h, &r, &d), 1);
        EXPECT_EQ(d, &data[i]);
        EXPECT_EQ(r, reinterpret_cast<HandleRoutine>(i % 2 ? first : second));
    }
    for (uint32_t h : released)
        ASSERT_EQ(Handle_Lookup(h, &r, &d), 0);
    EXPECT_EQ(Handle_Lookup(0, &r, &d), 0);
    EXPECT_EQ(Handle_Lookup(0xDEADBEEF, &r, &d), 0);
    for (auto [h, i] : live)
        Handle_Release(h);
}
