// The refresh queue: what it merges, when it sends 1050, and what the end
// of an operation sends to the kernel (2010) and records for undo.
#include "PaintEngine.h"

#include "brush/Refresh.h"

namespace
{

class Refresh : public PaintEngine
{
  protected:
    void SetUp() override
    {
        PaintEngine::SetUp();
        Edit(300, 300, IMAGE_MODE_GREY, 0, {0});
        Refresh_End(); // whatever an earlier test left
        DisplayFrames();
        KernelFrames();
    }

    static void Add(int x, int y, int w, int h)
    {
        const Box b{x, y, x + w - 1, y + h - 1, w, h, 0};
        Refresh_AddBox(&b);
    }

    // x, y, width, height of every 1050 sent.
    std::vector<std::vector<int>> Redraws()
    {
        std::vector<std::vector<int>> out;
        for (const Frame &f : DisplayFrames())
            if (f.code == MSG_REDRAW_NOW)
                out.push_back({f.Word(0), f.Word(4), f.Word(8), f.Word(12)});
        return out;
    }
};

TEST_F(Refresh, SmallNeighboursMergeWithoutSending)
{
    Add(0, 0, 5, 5);
    Add(10, 0, 5, 5); // union 15 x 5: below 20 both ways
    EXPECT_TRUE(Redraws().empty());
    const RefreshState s = Refresh_State();
    EXPECT_EQ(s.refreshBox.x2, 14);
    EXPECT_EQ(s.lost, 0);
    Refresh_Flush();
    EXPECT_EQ(Redraws(), (std::vector<std::vector<int>>{{0, 0, 15, 5}}));
    Refresh_Flush(); // nothing left: nothing sent
    EXPECT_TRUE(Redraws().empty());
}

TEST_F(Refresh, FarApartBoxesFlushTheUnion)
{
    Add(0, 0, 30, 30);
    Add(170, 170, 30, 30); // lost 40000 - 1800 >= 20000
    EXPECT_EQ(Redraws(), (std::vector<std::vector<int>>{{0, 0, 200, 200}}));
    EXPECT_FALSE(Refresh_State().active);
    // The next box starts a new refresh box.
    Add(50, 50, 4, 4);
    Refresh_Flush();
    EXPECT_EQ(Redraws(), (std::vector<std::vector<int>>{{50, 50, 4, 4}}));
}

TEST_F(Refresh, WasteIsCountedAcrossMerges)
{
    // Each merge wastes a little; together more than half the union.
    Add(0, 0, 20, 20);
    Add(20, 0, 20, 20); // union 40 x 20, nothing lost
    EXPECT_EQ(Refresh_State().lost, 0);
    Add(0, 20, 10, 10); // union 40 x 30: 1200 - 800 - 100 = 300 lost, below 600
    EXPECT_EQ(Refresh_State().lost, 300);
    EXPECT_TRUE(Redraws().empty());
    Add(60, 60, 5, 5); // union 65 x 65: 300 + 4225 - 1200 - 25 = 3300 >= 2112
    EXPECT_EQ(Redraws(), (std::vector<std::vector<int>>{{0, 0, 65, 65}}));
}

TEST_F(Refresh, EndSendsTheChangedRows)
{
    GG_Dabstone &e = *G_dabstone;
    Refresh_End(); // nothing added: nothing sent
    EXPECT_TRUE(KernelFrames().empty());
    EXPECT_TRUE(Redraws().empty());

    Add(10, 20, 5, 5);
    Add(100, 250, 5, 100); // reaches below the image
    Refresh_End();
    const std::vector<Frame> k = KernelFrames();
    ASSERT_EQ(k.size(), 1u);
    EXPECT_EQ(k[0].code, MSG_ROWS_CHANGED);
    EXPECT_EQ(k[0].Word(MSG_PATH_SIZE), 20);      // first row
    EXPECT_EQ(k[0].Word(MSG_PATH_SIZE + 4), 280); // rows 20 .. 299
    EXPECT_EQ(Image_ModifiedA(e.image), 1);
    EXPECT_EQ(Redraws().size(), 1u); // the union, flushed by the second box
    EXPECT_FALSE(Refresh_State().bigActive);
}

TEST_F(Refresh, EndRecordsTheBigBoxForUndo)
{
    GG_Dabstone &e = *G_dabstone;
    Image *undo = Make(300, 300, IMAGE_MODE_GREY, 8, 0);
    e.undoImage = undo;
    e.undoReady = 1;
    List_Empty(e.undoBoxes, [](void *b) { Box_Free(static_cast<Box *>(b)); });
    Add(10, 10, 5, 5);
    Add(40, 12, 5, 5);
    Refresh_End();
    ASSERT_EQ(List_Cardinal(e.undoBoxes), 1);
    const Box *b = static_cast<const Box *>(e.undoBoxes->first->element);
    EXPECT_EQ(Corners(*b), (std::vector<int>{10, 10, 44, 16}));
    e.undoImage = nullptr;
    List_Empty(e.undoBoxes, [](void *x) { Box_Free(static_cast<Box *>(x)); });
}

} // namespace
