// The toolbox description of message 1033: what the end-to-end test of the
// display link does not read (the pipette's cursor bitmap, the handles' kind).
#include "core/Bytes.h"
#include "core/Msg.h"
#include "core/Msghand.h"
#include "ui/Interface.h"

#include <gtest/gtest.h>

#include <vector>

TEST(Toolbox, PipetteCursorAndToolHandles)
{
    std::vector<unsigned char> box(MSG_TOOLBOX_SIZE, 0xEE), again(MSG_TOOLBOX_SIZE);
    Interface_MakeToolbox(box.data());
    Interface_MakeToolbox(again.data());
    EXPECT_EQ(again, box) << "every byte written, the same each time";

    // The hot spot (0, 15) is the tip: set in the cursor, least significant
    // bit leftmost; every cursor pixel lies inside its mask.
    const unsigned char *pipette = &box[TOOLBOX_GROUP + TOOLBOX_TOOLS + 2 * TOOLBOX_TOOL_SIZE];
    EXPECT_EQ(Bytes_GetS32(pipette + TOOL_HOT_Y), 15);
    EXPECT_EQ(pipette[TOOL_CURSOR_BITS + 2 * 15] & 1, 1);
    for (int i = 0; i < 32; ++i)
        EXPECT_EQ(pipette[TOOL_CURSOR_BITS + i] & ~pipette[TOOL_CURSOR_MASK + i], 0) << i;

    HandleRoutine r;
    void *d;
    for (int t = 0; t < 3; ++t) {
        EXPECT_EQ(Msghand_FindTail(Interface_ToolHandle(t), MSGHAND_TAIL_TOOL, &r, &d), 1);
        EXPECT_EQ(Msghand_FindTail(Interface_ToolHandle(t), MSGHAND_TAIL_ANSWER, &r, &d), 0);
    }
    EXPECT_EQ(Interface_ToolHandle(3), 0u);
}
