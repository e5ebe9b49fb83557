// The toolbox description of message 1033, byte for byte.
#include "core/Bytes.h"
#include "core/Msg.h"
#include "core/Msghand.h"
#include "ui/Interface.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

namespace
{

struct Toolbox : testing::Test {
    std::vector<unsigned char> box = std::vector<unsigned char>(MSG_TOOLBOX_SIZE, 0xEE);
    void SetUp() override { Interface_MakeToolbox(box.data()); }
    int32_t Group(int offset) const { return Bytes_GetS32(&box[size_t(TOOLBOX_GROUP + offset)]); }
    const unsigned char *Tool(int t) const
    {
        return &box[size_t(TOOLBOX_GROUP + TOOLBOX_TOOLS + TOOLBOX_TOOL_SIZE * t)];
    }
    int32_t ToolWord(int t, int offset) const { return Bytes_GetS32(Tool(t) + offset); }
    static bool Zero(const unsigned char *from, size_t n)
    {
        return std::all_of(from, from + n, [](unsigned char b) { return b == 0; });
    }
    static bool Drawn(const unsigned char *from, size_t n) { return !Zero(from, n); }
};

TEST_F(Toolbox, OneGroupOfThreeToolsAndZerosElsewhere)
{
    EXPECT_EQ(Bytes_GetS32(&box[0]), 1);
    EXPECT_TRUE(Zero(&box[TOOLBOX_GROUP], 16));
    EXPECT_TRUE(Drawn(&box[TOOLBOX_GROUP + TOOLBOX_GROUP_ICON], 128));
    EXPECT_EQ(Group(TOOLBOX_TOOL_COUNT), 3);
    EXPECT_TRUE(Zero(Tool(3), TOOLBOX_TOOL_SIZE)) << "slot 3 empty";
    EXPECT_TRUE(Zero(&box[4 + TOOLBOX_GROUP_SIZE], MSG_TOOLBOX_SIZE - 4 - TOOLBOX_GROUP_SIZE))
        << "groups 1 and 2";
}

TEST_F(Toolbox, ToolsCarryTheirIndexHandleModesAndCursors)
{
    const int32_t mode1[3] = {2, 0, 0}, mode2[3] = {1, 0, 0}, kind[3] = {0, 0, 1}, shape[3] = {86, 124, 0};
    for (int t = 0; t < 3; ++t) {
        SCOPED_TRACE(t);
        EXPECT_EQ(ToolWord(t, TOOL_INDEX), t);
        EXPECT_EQ(uint32_t(ToolWord(t, TOOL_CALLBACK)), Interface_ToolHandle(t));
        EXPECT_EQ(ToolWord(t, TOOL_CLIENT), 0);
        EXPECT_EQ(ToolWord(t, TOOL_MODE1), mode1[t]);
        EXPECT_EQ(ToolWord(t, TOOL_MODE2), mode2[t]);
        EXPECT_EQ(ToolWord(t, 20), 0);
        EXPECT_TRUE(Drawn(Tool(t) + TOOL_ICON, 128));
        EXPECT_EQ(ToolWord(t, TOOL_CURSOR_KIND), kind[t]);
        EXPECT_EQ(ToolWord(t, TOOL_CURSOR_SHAPE), shape[t]);
        EXPECT_EQ(ToolWord(t, TOOL_END), -1);
    }
    for (int t = 0; t < 2; ++t)
        EXPECT_TRUE(Zero(Tool(t) + TOOL_CURSOR_BITS, 72)) << "font cursors have no bitmap";
    EXPECT_TRUE(Drawn(Tool(2) + TOOL_CURSOR_BITS, 32));
    EXPECT_EQ(ToolWord(2, TOOL_HOT_X), 0);
    EXPECT_EQ(ToolWord(2, TOOL_HOT_Y), 15);
    // The hot spot (0, 15) is the tip: set in the cursor, least significant bit leftmost.
    EXPECT_EQ(Tool(2)[TOOL_CURSOR_BITS + 2 * 15] & 1, 1);
    // Every cursor pixel lies inside its mask.
    for (int i = 0; i < 32; ++i)
        EXPECT_EQ(Tool(2)[TOOL_CURSOR_BITS + i] & ~Tool(2)[TOOL_CURSOR_MASK + i], 0) << i;
}

TEST_F(Toolbox, HandlesAreFixedDistinctToolHandles)
{
    std::vector<unsigned char> again(MSG_TOOLBOX_SIZE);
    Interface_MakeToolbox(again.data());
    EXPECT_EQ(again, box);
    HandleRoutine r;
    void *d;
    for (int t = 0; t < 3; ++t) {
        EXPECT_EQ(Msghand_FindTail(Interface_ToolHandle(t), MSGHAND_TAIL_TOOL, &r, &d), 1);
        EXPECT_EQ(Msghand_FindTail(Interface_ToolHandle(t), MSGHAND_TAIL_ANSWER, &r, &d), 0);
    }
    EXPECT_NE(Interface_ToolHandle(0), Interface_ToolHandle(1));
    EXPECT_NE(Interface_ToolHandle(1), Interface_ToolHandle(2));
    EXPECT_EQ(Interface_ToolHandle(3), 0u);
}

} // namespace
