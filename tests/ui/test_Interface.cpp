// The toolbox description of message 1033, byte for byte; the brush
// preview's box and background; the plane menu's entries.
#include "core/Bytes.h"
#include "core/Image.h"
#include "core/Msg.h"
#include "core/Msghand.h"
#include "tests/TestStore.h"
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

// The preview box shrinks by halves only while the brush exceeds the
// preview both ways, and stays centred.
TEST(Preview, BoxAndLevel)
{
    int level = 0;
    Box b = Interface_PreviewBox(10, 10, 100, 100, &level);
    EXPECT_EQ(std::vector<int>({level, b.x1, b.y1, b.x2, b.y2}), std::vector<int>({1, 45, 45, 54, 54}));
    b = Interface_PreviewBox(300, 300, 100, 100, &level);
    EXPECT_EQ(std::vector<int>({level, b.width, b.height, b.x1}), std::vector<int>({3, 75, 75, 13}));
    b = Interface_PreviewBox(201, 5, 89, 89, &level); // too wide only: real size
    EXPECT_EQ(std::vector<int>({level, b.width, b.x1}), std::vector<int>({1, 201, 44 - 100}));
    b = Interface_PreviewBox(1, 0, 89, 89, &level);
    EXPECT_EQ(b.height, 1);
}

class PreviewBackground : public TempStore
{
};

// Level 1 on 100 x 100: cells of 33, ridge lines at 34 and 68 spreading 5
// pixels each side, lit above and left, shaded below and right; the alpha
// plane opaque on the ridges only.
TEST_F(PreviewBackground, EmbossedGrid)
{
    Image *image = Make(100, 100, IMAGE_MODE_RGB, 8, 1);
    auto at = [&](int p, int x, int y) { return int(Image_Row(image, p, y)[x]); };
    FillBg(image, 1);
    EXPECT_EQ(std::vector<int>({at(0, 10, 34), at(0, 10, 29), at(0, 10, 30), at(0, 10, 35), at(0, 10, 39)}),
              std::vector<int>({255, 150, 171, 220, 80}));
    EXPECT_EQ(std::vector<int>({at(1, 68, 10), at(2, 63, 10), at(0, 69, 34), at(0, 10, 40)}),
              std::vector<int>({255, 150, 220, 0}));
    EXPECT_EQ(std::vector<int>({at(3, 10, 10), at(3, 10, 34), at(3, 73, 10), at(3, 74, 10)}),
              std::vector<int>({0, 255, 255, 0}));
    FillBg(image, 6); // thinner ridges: one pixel each side of row 13, cells of 12
    EXPECT_EQ(std::vector<int>({at(3, 10, 12), at(3, 10, 13), at(3, 10, 14), at(3, 10, 15), at(0, 10, 12)}),
              std::vector<int>({255, 255, 255, 0, 150}));
}

// The entries an image offers and the planes they choose, both ways.
TEST_F(PreviewBackground, PlaneEntries)
{
    Image *rgb = Make(4, 4, IMAGE_MODE_RGB, 8, 1, 1); // R G B alpha extra
    std::vector<int> shown;
    for (int entry = 0; entry < PE_COUNT; ++entry)
        if (Interface_EntryShown(rgb, entry))
            shown.push_back(entry);
    EXPECT_EQ(shown, std::vector<int>({PE_NATIVE, PE_RED, PE_GREEN, PE_BLUE, PE_ALPHA, PE_EXTRA1}));
    EXPECT_EQ(
        std::vector<int>({Interface_PlaneOfEntry(rgb, PE_ALPHA), Interface_PlaneOfEntry(rgb, PE_EXTRA1),
                          Interface_PlaneOfEntry(rgb, PE_EXTRA2), Interface_PlaneOfEntry(rgb, PE_BLUE)}),
        std::vector<int>({3, 4, -1, 2}));
    EXPECT_EQ(std::vector<int>({Interface_EntryOfPlane(rgb, -1), Interface_EntryOfPlane(rgb, 3),
                                Interface_EntryOfPlane(rgb, 4), Interface_EntryOfPlane(rgb, 1)}),
              std::vector<int>({PE_NATIVE, PE_ALPHA, PE_EXTRA1, PE_GREEN}));
    Image *cmyk = Make(4, 4, IMAGE_MODE_CMYK, 8);
    EXPECT_TRUE(Interface_EntryShown(cmyk, PE_BLACK) && !Interface_EntryShown(cmyk, PE_ALPHA) &&
                !Interface_EntryShown(cmyk, PE_GRAY));
    EXPECT_EQ(Interface_EntryOfPlane(cmyk, 2), PE_YELLOW);
    EXPECT_EQ(Interface_PlaneOfEntry(cmyk, PE_ALPHA), -1);
    Image *grey = Make(4, 4, IMAGE_MODE_GREY, 8);
    EXPECT_EQ(Interface_EntryOfPlane(grey, 0), PE_GRAY);
}

} // namespace
