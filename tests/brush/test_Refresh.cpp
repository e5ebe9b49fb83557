// The refresh queue: what it merges, when it sends 1050, and the rows the
// end of an operation reports to the kernel (2010).
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
        for (const Frame &f : Only(DisplayFrames(), MSG_REDRAW_NOW))
            out.push_back({f.Word(0), f.Word(4), f.Word(8), f.Word(12)});
        return out;
    }
};

using Sent = std::vector<std::vector<int>>;

// Boxes merge while the pixels redrawn for nothing, counted across merges,
// stay below half the union (or the union is below 20 both ways).
TEST_F(Refresh, MergesUntilHalfTheUnionIsWaste)
{
    Add(0, 0, 5, 5);
    Add(10, 0, 5, 5); // union 15 x 5: small
    EXPECT_TRUE(Redraws().empty());
    Refresh_Flush();
    EXPECT_EQ(Redraws(), (Sent{{0, 0, 15, 5}}));
    Refresh_Flush(); // nothing left: nothing sent
    EXPECT_TRUE(Redraws().empty());

    Add(0, 0, 20, 20);
    Add(20, 0, 20, 20); // union 40 x 20, nothing lost
    Add(0, 20, 10, 10); // union 40 x 30: 1200 - 800 - 100 = 300 lost, below 600
    EXPECT_TRUE(Redraws().empty());
    Add(60, 60, 5, 5); // union 65 x 65: 300 + 4225 - 1200 - 25 = 3300 >= 2112
    EXPECT_EQ(Redraws(), (Sent{{0, 0, 65, 65}}));
    Add(50, 50, 4, 4); // a new refresh box
    Refresh_Flush();
    EXPECT_EQ(Redraws(), (Sent{{50, 50, 4, 4}}));

    // The waste adds up across merges: 190 of 390, then 76 more of 468.
    Add(0, 0, 10, 10);
    Add(29, 0, 10, 10);
    EXPECT_TRUE(Redraws().empty());
    Add(38, 10, 1, 2);
    EXPECT_EQ(Redraws(), (Sent{{0, 0, 39, 12}}));
}

TEST_F(Refresh, EndSendsTheChangedRowsInsideTheImage)
{
    Refresh_End(); // nothing added: nothing sent
    EXPECT_TRUE(KernelFrames().empty());
    Add(10, 20, 5, 5);
    Add(100, 250, 5, 100); // reaches below the image
    Refresh_End();
    const std::vector<Frame> k = KernelFrames();
    ASSERT_EQ(Codes(k), (std::vector<int32_t>{MSG_ROWS_CHANGED}));
    EXPECT_EQ(std::pair(k[0].Word(MSG_PATH_SIZE), k[0].Word(MSG_PATH_SIZE + 4)), std::pair(20, 280));
    EXPECT_EQ(Image_ModifiedA(G_dabstone->image), 1);
    Refresh_End(); // everything sent: nothing more
    EXPECT_TRUE(KernelFrames().empty());
}

} // namespace
