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

bool Zero(const unsigned char *from, size_t n)
{
    return std::all_of(from, from + n, [](unsigned char b) { return b == 0; });
}

// One group of three tools, zeros elsewhere; each tool with its index, a
// live handle of the tool kind, an icon and a cursor; every byte written,
// the same each time.
TEST(Toolbox, OneGroupOfThreeToolsWithTheirHandlesModesAndCursors)
{
    std::vector<unsigned char> box(MSG_TOOLBOX_SIZE, 0xEE), again(MSG_TOOLBOX_SIZE);
    Interface_MakeToolbox(box.data());
    Interface_MakeToolbox(again.data());
    EXPECT_EQ(again, box);
    const unsigned char *group = &box[TOOLBOX_GROUP];
    EXPECT_EQ(Bytes_GetS32(&box[0]), 1);
    EXPECT_TRUE(Zero(group, 16));
    EXPECT_FALSE(Zero(group + TOOLBOX_GROUP_ICON, 128));
    EXPECT_EQ(Bytes_GetS32(group + TOOLBOX_TOOL_COUNT), 3);
    EXPECT_TRUE(Zero(group + TOOLBOX_TOOLS + 3 * TOOLBOX_TOOL_SIZE, TOOLBOX_TOOL_SIZE)) << "slot 3 empty";
    EXPECT_TRUE(Zero(&box[4 + TOOLBOX_GROUP_SIZE], MSG_TOOLBOX_SIZE - 4 - TOOLBOX_GROUP_SIZE))
        << "groups 1, 2";

    HandleRoutine r;
    void *d;
    for (int t = 0; t < 3; ++t) {
        SCOPED_TRACE(t);
        const unsigned char *tool = group + TOOLBOX_TOOLS + TOOLBOX_TOOL_SIZE * t;
        auto word = [tool](int offset) { return Bytes_GetS32(tool + offset); };
        EXPECT_EQ((std::vector<int32_t>{word(TOOL_INDEX), word(TOOL_CLIENT), word(TOOL_END)}),
                  (std::vector<int32_t>{t, 0, -1}));
        EXPECT_EQ(uint32_t(word(TOOL_CALLBACK)), Interface_ToolHandle(t));
        EXPECT_EQ(Msghand_FindTail(Interface_ToolHandle(t), MSGHAND_TAIL_TOOL, &r, &d), 1);
        EXPECT_EQ(Msghand_FindTail(Interface_ToolHandle(t), MSGHAND_TAIL_ANSWER, &r, &d), 0);
        EXPECT_FALSE(Zero(tool + TOOL_ICON, 128));
        EXPECT_EQ(Zero(tool + TOOL_CURSOR_BITS, 72), t < 2) << "font cursors have no bitmap";
    }
    EXPECT_EQ(Interface_ToolHandle(3), 0u);

    // The pipette's hot spot (0, 15) is its tip: set in the cursor, least
    // significant bit leftmost; every cursor pixel lies inside its mask.
    const unsigned char *pipette = group + TOOLBOX_TOOLS + 2 * TOOLBOX_TOOL_SIZE;
    EXPECT_EQ(Bytes_GetS32(pipette + TOOL_HOT_X), 0);
    EXPECT_EQ(Bytes_GetS32(pipette + TOOL_HOT_Y), 15);
    EXPECT_EQ(pipette[TOOL_CURSOR_BITS + 2 * 15] & 1, 1);
    for (int i = 0; i < 32; ++i)
        EXPECT_EQ(pipette[TOOL_CURSOR_BITS + i] & ~pipette[TOOL_CURSOR_MASK + i], 0) << i;
}

} // namespace
