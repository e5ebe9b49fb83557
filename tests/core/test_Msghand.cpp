// The dispatcher over a real pipe: framing, pieces, order, answers, bad frames.
#include "core/Bytes.h"
#include "core/Msghand.h"

#include <gtest/gtest.h>

#include <csignal>
#include <fcntl.h>
#include <optional>
#include <random>
#include <string>
#include <unistd.h>
#include <vector>

namespace
{

struct Call {
    int tag;
    MsgHeader header;
    std::vector<unsigned char> payload;
};
std::vector<Call> calls;

void record(const unsigned char *payload, const MsgHeader *h, void *data)
{
    calls.push_back({int(reinterpret_cast<intptr_t>(data)), *h,
                     std::vector<unsigned char>(payload, payload + h->length)});
}

std::vector<unsigned char> frame(int32_t code, int32_t aux, const std::vector<unsigned char> &payload,
                                 std::optional<int32_t> length = std::nullopt)
{
    std::vector<unsigned char> f(16 + payload.size());
    Bytes_PutS32(&f[0], 4242);
    Bytes_PutS32(&f[4], code);
    Bytes_PutS32(&f[8], aux);
    Bytes_PutS32(&f[12], length.value_or(int32_t(payload.size())));
    std::copy(payload.begin(), payload.end(), f.begin() + 16);
    return f;
}

class MsghandTest : public testing::Test
{
  protected:
    int rd = -1, wr = -1;
    void SetUp() override
    {
        int p[2];
        ASSERT_EQ(pipe(p), 0);
        rd = p[0];
        wr = p[1];
        fcntl(rd, F_SETFL, O_NONBLOCK);
        fcntl(wr, F_SETPIPE_SZ, 1 << 20);
        calls.clear();
        Msghand_Initialize(nullptr, -1);
    }
    void TearDown() override
    {
        Msghand_Forget(rd);
        close(rd);
        if (wr >= 0)
            close(wr);
    }
    void put(const std::vector<unsigned char> &bytes, size_t from = 0, size_t count = SIZE_MAX)
    {
        count = std::min(count, bytes.size() - from);
        ASSERT_EQ(write(wr, bytes.data() + from, count), ssize_t(count));
    }
};

// Several frames in one read, a zero length among them; entries of one code
// in their order; what no entry takes to the default routine, or dropped.
TEST_F(MsghandTest, FramesGoToTheirCodesEntriesInOrderAndTheRestToTheDefault)
{
    Msghand_AddCallback(1004, record, reinterpret_cast<void *>(1));
    Msghand_AddCallback(2009, record, reinterpret_cast<void *>(2));
    Msghand_AddCallback(1037, record, reinterpret_cast<void *>(9));
    Msghand_AddCallback(2009, record, reinterpret_cast<void *>(3));
    put(frame(1004, 0, {}));
    put(frame(2009, 7, {1, 2, 3}));
    put(frame(7777, 0, {6}));
    EXPECT_EQ(Msghand_ReadAll(rd), MSGHAND_OK);
    Msghand_SetDefault(record, reinterpret_cast<void *>(4));
    put(frame(7777, 0, {7}));
    put(frame(2009, 0, {}));
    EXPECT_EQ(Msghand_ReadAll(rd), MSGHAND_OK);
    Msghand_SetDefault(nullptr, nullptr);
    std::vector<int> tags;
    for (const Call &c : calls)
        tags.push_back(c.tag);
    ASSERT_EQ(tags, (std::vector<int>{1, 2, 3, 4, 2, 3}));
    EXPECT_EQ(calls[0].header.length, 0);
    EXPECT_EQ(calls[0].header.sender, 4242);
    EXPECT_EQ(calls[1].header.aux, 7);
    EXPECT_EQ(calls[1].payload, (std::vector<unsigned char>{1, 2, 3}));
    EXPECT_EQ(calls[3].header.code, 7777);
}

// Frames cut at random points, headers included, are each dispatched once,
// whole and in order, as soon as their last byte has come.
TEST_F(MsghandTest, FramesInRandomPiecesAreDispatchedWholeWhenComplete)
{
    Msghand_AddCallback(1021, record, nullptr);
    std::mt19937 rng(5);
    std::vector<unsigned char> stream;
    std::vector<std::vector<unsigned char>> sent;
    std::vector<size_t> ends;
    for (int i = 0; i < 30; ++i) {
        std::vector<unsigned char> payload(rng() % 3 ? rng() % 9000 : 0);
        for (unsigned char &b : payload)
            b = static_cast<unsigned char>(rng());
        auto f = frame(1021, i, payload);
        stream.insert(stream.end(), f.begin(), f.end());
        sent.push_back(payload);
        ends.push_back(stream.size());
    }
    for (size_t at = 0; at < stream.size();) {
        const size_t n = std::min(stream.size() - at, size_t(rng() % 2 ? 1 + rng() % 20 : 1 + rng() % 5000));
        put(stream, at, n);
        at += n;
        ASSERT_EQ(Msghand_ReadAll(rd), MSGHAND_OK);
        ASSERT_EQ(calls.size(), size_t(std::upper_bound(ends.begin(), ends.end(), at) - ends.begin())) << at;
    }
    for (size_t i = 0; i < sent.size(); ++i) {
        EXPECT_EQ(calls[i].header.aux, int32_t(i));
        EXPECT_EQ(calls[i].payload, sent[i]) << i;
    }
}

std::vector<unsigned char> answer(uint32_t callback, const char *path)
{
    std::vector<unsigned char> p(12 + 500);
    Bytes_Put32(&p[4], callback);
    std::snprintf(reinterpret_cast<char *>(&p[12]), 500, "%s", path);
    return p;
}

// An answer goes to the reply tail its word 1 names, and nowhere else when
// that handle is stale, of another kind, foreign or unknown; word 1 zero
// goes to the registered entries.
TEST_F(MsghandTest, AnswersGoThroughTheirHandleOnly)
{
    Msghand_AddCallback(1006, record, reinterpret_cast<void *>(5));
    uint32_t tail = Msghand_NewTailFn(MSGHAND_TAIL_ANSWER, record, reinterpret_cast<void *>(3));
    uint32_t stale = Msghand_NewTailFn(MSGHAND_TAIL_ANSWER, record, nullptr);
    Handle_Release(stale);
    uint32_t tool = Msghand_NewTailFn(MSGHAND_TAIL_TOOL, record, nullptr);
    uint32_t foreign = Handle_NewFn(record, nullptr); // not a reply tail at all
    for (uint32_t h : {tail, stale, tool, foreign, 0xDEADBEEFu, 0u})
        put(frame(1006, 0, answer(h, "/store/a")));
    EXPECT_EQ(Msghand_ReadAll(rd), MSGHAND_OK);
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0].tag, 3); // the tail's data, not the registered entry's
    EXPECT_STREQ(reinterpret_cast<const char *>(&calls[0].payload[12]), "/store/a");
    EXPECT_EQ(calls[1].tag, 5);
}

TEST_F(MsghandTest, OverLargeOrNegativeLengthBreaksTheLinkWithoutReadingOn)
{
    Msghand_AddCallback(1004, record, nullptr);
    for (int32_t bad : {MSG_MAX_PAYLOAD + 1, -4}) {
        put(frame(1004, 0, {}, bad));
        put(frame(1004, 0, {}));
        testing::internal::CaptureStderr();
        EXPECT_EQ(Msghand_ReadAll(rd), MSGHAND_BROKEN);
        std::string err = testing::internal::GetCapturedStderr();
        EXPECT_NE(err.find("can't dispatch message"), std::string::npos) << err;
        EXPECT_TRUE(calls.empty());
        // The reader starts afresh: the good frame behind it is read as one.
        EXPECT_EQ(Msghand_ReadAll(rd), MSGHAND_OK);
        EXPECT_EQ(calls.size(), 1u);
        calls.clear();
    }
}

TEST_F(MsghandTest, AllWritersGoneIsEndOfFile)
{
    put(frame(1004, 0, {1, 2}, 10)); // cut short by the writer's death
    close(wr);
    wr = -1;
    EXPECT_EQ(Msghand_ReadAll(rd), MSGHAND_EOF);
    EXPECT_TRUE(calls.empty());
}

} // namespace
