#include "core/Bytes.h"
#include "core/Handle.h"

#include <gtest/gtest.h>

#include <set>

namespace
{
int calls;
void bump()
{
    ++calls;
}
void other() {}
} // namespace

TEST(Bytes, BigEndianRoundTrip)
{
    unsigned char b[4];
    Bytes_Put32(b, 0xFABED1F1u);
    EXPECT_EQ(b[0], 0xFA);
    EXPECT_EQ(b[3], 0xF1);
    EXPECT_EQ(Bytes_Get32(b), 0xFABED1F1u);
    Bytes_PutS32(b, -2);
    EXPECT_EQ(Bytes_GetS32(b), -2);
    EXPECT_EQ(b[0], 0xFF);
    EXPECT_EQ(b[3], 0xFE);
    Bytes_Put16(b, 0x1234);
    EXPECT_EQ(b[0], 0x12);
    EXPECT_EQ(Bytes_Get16(b), 0x1234);
    unsigned char rec[12] = {};
    Bytes_SetField(rec, 8, 1063);
    EXPECT_EQ(Bytes_Field(rec, 8), 1063);
    EXPECT_EQ(rec[10], 0x04);
}

TEST(Handle, LiveHandlesFindTheirPairAndAreNeverZero)
{
    int data = 7;
    std::set<uint32_t> seen;
    for (int i = 0; i < 1000; ++i) {
        uint32_t h = Handle_NewFn(&bump, &data);
        ASSERT_NE(h, 0u);
        EXPECT_TRUE(seen.insert(h).second);
    }
    uint32_t h = *seen.begin();
    void (*fn)() = nullptr;
    void *d = nullptr;
    ASSERT_EQ(Handle_LookupFn(h, &fn, &d), 1);
    EXPECT_EQ(d, &data);
    calls = 0;
    fn();
    EXPECT_EQ(calls, 1);
    for (uint32_t x : seen)
        Handle_Release(x);
}

TEST(Handle, UnknownZeroAndStaleHandlesAreRefused)
{
    HandleRoutine r = nullptr;
    void *d = nullptr;
    EXPECT_EQ(Handle_Lookup(0, &r, &d), 0);
    EXPECT_EQ(Handle_Lookup(0xDEADBEEF, &r, &d), 0);
    uint32_t h = Handle_NewFn(&bump, nullptr);
    Handle_Release(h);
    EXPECT_EQ(Handle_Lookup(h, &r, &d), 0);
    // The slot is reused, but the old word must not reach the new routine.
    uint32_t h2 = Handle_NewFn(&other, nullptr);
    EXPECT_NE(h2, h);
    EXPECT_EQ(Handle_Lookup(h, &r, &d), 0);
    ASSERT_EQ(Handle_Lookup(h2, &r, &d), 1);
    EXPECT_EQ(r, reinterpret_cast<HandleRoutine>(&other));
    Handle_Release(h2);
    Handle_Release(h2); // a second release is harmless
}
