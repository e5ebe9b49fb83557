// Brush parameters and user brushes: the setters' rules, what they show in
// the display (1042) and tell the kernel, and the user brush's mask.
#include "tests/brush/PaintEngine.h"

#include "brush/Buildin.h"
#include "core/DabstoneBrush.h"
#include "core/DabstoneColor.h"
#include "core/DabstonePaste.h"
#include "core/Msghand.h"
#include "ui/Interface.h"

namespace
{

class DabstoneBrush : public PaintEngine
{
  protected:
    GG_Dabstone &e = *G_dabstone;

    // The change codes of the 1042 frames sent since the last call.
    std::vector<int> Changes()
    {
        std::vector<int> out;
        for (const Frame &f : DisplayFrames())
            if (f.code == MSG_BRUSH_CURSOR)
                out.push_back(f.Word(MSG_BR_CHANGE));
        return out;
    }

    using Sent = std::vector<std::pair<int32_t, std::string>>;
    // The codes and paths of the frames sent to the kernel since the last call.
    Sent KernelSent()
    {
        Sent out;
        for (const Frame &f : KernelFrames())
            out.emplace_back(f.code, f.Text());
        return out;
    }
    std::pair<int, int> Size() const { return {e.brushWidth, e.brushHeight}; }

    // A user brush image: planes filled with the values.
    Image *UserBrush(int w, int h, int mode, std::vector<int> fill, int source)
    {
        Image *b = Make(w, h, mode, 8, 1);
        for (int p = 0; p < Image_Planes(b); ++p)
            for (int y = 0; y < h; ++y)
                std::memset(Image_Row(b, p, y), p < int(fill.size()) ? fill[p] : 255, size_t(w));
        Forget(b); // the engine closes it
        Dabstone_SetUserBrush(b, source);
        return b;
    }
};

TEST_F(DabstoneBrush, SizeLinkReferenceAndLimit)
{
    Edit(100, 100, IMAGE_MODE_RGB, 1);
    // A new size recentres the placed brush and tells the display; from the
    // display the position box is the display's, left alone.
    e.brushPosBox = Box{40, 40, 70, 70, 31, 31, 0};
    Changes();
    Dabstone_SetDims(11, 11, 0);
    EXPECT_EQ(Corners(e.brushPosBox), (std::vector<int>{50, 50, 60, 60}));
    EXPECT_EQ(Changes(), (std::vector<int>{MSG_BRC_POSITION}));
    Dabstone_SetDims(31, 31, 1);
    EXPECT_EQ(e.brushPosBox.x1, 50);
    EXPECT_TRUE(Changes().empty());

    Dabstone_SetDims(31, 62, 0); // the height changed: the width follows
    EXPECT_EQ(Size(), std::pair(62, 62));
    Dabstone_SetDims(10, 62, 0); // the width changed: the height follows
    EXPECT_EQ(Size(), std::pair(10, 10));

    Dabstone_SetDims(0, 5, 1); // from the display: a new reference, at least 1
    EXPECT_EQ(Size(), std::pair(1, 5));
    Dabstone_SetDims(10000, 5, 0); // 10000 x 50000: refused, the old size stays
    EXPECT_EQ(Size(), std::pair(1, 5));
    Dabstone_SetDims(1, 20, 0); // keeps the 1 : 5 of the reference
    EXPECT_EQ(Size(), std::pair(4, 20));
    Dabstone_SetBrushLink(0);
    Dabstone_SetDims(9999, 1, 0);
    EXPECT_EQ(Size(), std::pair(9999, 1));
}

TEST_F(DabstoneBrush, PlainColourTest)
{
    Image *rgb = Make(9, 3, IMAGE_MODE_RGB, 8, 1);
    for (int p = 0; p < 4; ++p)
        for (int y = 0; y < 3; ++y)
            std::memset(Image_Row(rgb, p, y), 10 * p + (p == 3 ? y : 0), 9);
    EXPECT_EQ(Dabstone_PlainColor(rgb), 1); // the alpha plane does not count
    Image_SetSample(rgb, 1, 8, 2, 0);
    EXPECT_EQ(Dabstone_PlainColor(rgb), 0);

    // 1 bit, 11 pixels a row: the pixels of the partial byte count, the
    // bits past the row do not.
    Image *bits = Make(11, 2, IMAGE_MODE_GREY, 1, 0);
    for (int y = 0; y < 2; ++y) {
        for (int x = 0; x < 11; ++x)
            Image_SetSample(bits, 0, x, y, 1);
        Image_Row(bits, 0, y)[1] |= 0x1F; // beyond column 10
    }
    EXPECT_EQ(Dabstone_PlainColor(bits), 1);
    Image_SetSample(bits, 0, 10, 1, 0);
    EXPECT_EQ(Dabstone_PlainColor(bits), 0);
}

TEST_F(DabstoneBrush, UserBrushTakesItsSizeAndGivesTheBuiltinBack)
{
    Edit(100, 100, IMAGE_MODE_RGB, 1);
    Dabstone_SetOpacity(60);
    Dabstone_SetDims(21, 21, 0);
    Changes();
    Image *b = UserBrush(12, 8, IMAGE_MODE_RGB, {5, 5, 5}, DAB_SOURCE_LENT);
    EXPECT_EQ(e.brushKind, DAB_BRUSH_USER);
    EXPECT_EQ(Size(), std::pair(12, 8));
    EXPECT_EQ(e.opacity, 100);
    EXPECT_EQ(e.floating, 1); // plain colour
    EXPECT_EQ(e.activeBrush, b);
    EXPECT_EQ(Changes(), (std::vector<int>{MSG_BRC_ALL}));

    Dabstone_ResetBuildinBrush();
    EXPECT_EQ(Size(), std::pair(21, 21));
    EXPECT_EQ(e.opacity, 60);
    EXPECT_EQ(e.activeBrush, e.buildinBrush);
    Dabstone_ResetUserBrush(); // the user brush is still there
    EXPECT_EQ(e.activeBrush, b);
    EXPECT_EQ(e.opacity, 100);
}

TEST_F(DabstoneBrush, BrushesGoBackByTheirSource)
{
    Edit(100, 100, IMAGE_MODE_RGB, 1);
    Image *created = UserBrush(4, 4, IMAGE_MODE_RGB, {1, 2, 3}, DAB_SOURCE_CREATED);
    const std::string createdPath = Image_Path(created);
    KernelFrames();
    Image *lent = UserBrush(4, 4, IMAGE_MODE_RGB, {1, 2, 3}, DAB_SOURCE_LENT);
    const std::string lentPath = Image_Path(lent);
    EXPECT_EQ(KernelSent(), (Sent{{MSG_DELETE, createdPath}}));

    // The brush goes back before its mask.
    Image *mask = Make(4, 4, IMAGE_MODE_GREY, 8, 0);
    Forget(mask);
    e.userBrushMask = mask;
    const std::string maskPath = Image_Path(mask);
    Image *opened = UserBrush(4, 4, IMAGE_MODE_RGB, {1, 2, 3}, DAB_SOURCE_KERNEL);
    const std::string openedPath = Image_Path(opened);
    EXPECT_EQ(KernelSent(), (Sent{{MSG_GIVE_BACK, lentPath}, {MSG_DELETE, maskPath}}));

    Dabstone_SetUserBrush(nullptr, DAB_SOURCE_WANTED);
    std::vector<Frame> k = KernelFrames();
    ASSERT_EQ(k.size(), 1u);
    EXPECT_EQ(std::pair(k[0].code, k[0].Text()), std::pair(int32_t(MSG_RELEASE), openedPath));
    EXPECT_EQ(k[0].Word(MSG_PATH_SIZE), MSG_WANTED);
}

TEST_F(DabstoneBrush, UserBrushMaskRequestedAndFilled)
{
    Edit(100, 100, IMAGE_MODE_RGB, 1);
    UserBrush(6, 5, IMAGE_MODE_RGB, {1, 2, 3}, DAB_SOURCE_CREATED);
    KernelFrames();
    Dabstone_SetOpacity(50);
    std::vector<Frame> k = KernelFrames();
    ASSERT_EQ(k.size(), 1u);
    ASSERT_EQ(k[0].code, MSG_CREATE_WORK);
    EXPECT_EQ(Geometry(k[0].payload.data()), (std::vector<int>{6, 5, IMAGE_MODE_GREY, 8, 0}));
    Dabstone_SetOpacity(40); // already asked: not again
    EXPECT_TRUE(KernelFrames().empty());

    // The kernel's answer runs the reply tail with the new image.
    Image *mask = Make(6, 5, IMAGE_MODE_GREY, 8, 0);
    Forget(mask);
    DabstoneImageProc arrive = nullptr;
    void *data = nullptr;
    ASSERT_TRUE(Msghand_FindTailFn(Bytes_Get32(k[0].payload.data() + MSG_INFO_SIZE), MSGHAND_TAIL_IMAGE,
                                   &arrive, &data));
    arrive(mask, data);
    EXPECT_EQ(e.activeBrush2, mask);
    EXPECT_EQ(Image_GetSample(mask, 0, 3, 2), uint32_t(Buildin_Peak(40)));

    // Back at 100 %: the mask is no longer painted through.
    Dabstone_SetOpacity(100);
    EXPECT_EQ(e.activeBrush2, nullptr);
    // The airbrush fills it with the shape.
    Dabstone_SetAero(1);
    EXPECT_EQ(e.activeBrush2, mask);
    EXPECT_EQ(Image_GetSample(mask, 0, 0, 0), 0u);
    EXPECT_EQ(Image_GetSample(mask, 0, 2, 2), 254u);
}

TEST_F(DabstoneBrush, MaskOfAKernelImageAskedWith1020)
{
    Edit(100, 100, IMAGE_MODE_RGB, 1);
    Image *b = UserBrush(6, 5, IMAGE_MODE_RGB, {1, 2, 3}, DAB_SOURCE_KERNEL);
    KernelFrames();
    Dabstone_SetAero(1);
    EXPECT_EQ(KernelSent(), (Sent{{MSG_ASK_MASK, Image_Path(b)}}));

    // The kernel's mask is kept even when it does not fit the brush (the
    // fill object refuses it at use); it is not ours to delete, and a
    // second 1021 for the brush is ignored.
    Image *odd = Make(9, 3, IMAGE_MODE_GREY, 16, 0);
    Forget(odd);
    std::vector<unsigned char> ready = PathPayload(Image_Path(odd)), brushPath = PathPayload(Image_Path(b));
    ready.insert(ready.end(), brushPath.begin(), brushPath.end());
    Deliver(Dabstone_MaskReady, MSG_MASK_READY, ready);
    Deliver(Dabstone_MaskReady, MSG_MASK_READY, ready);
    const std::string oddPath = Image_Path(odd);
    ASSERT_NE(e.userBrushMask, nullptr);
    EXPECT_EQ(Image_Path(e.userBrushMask), oddPath);
    EXPECT_EQ(e.activeBrush2, e.userBrushMask);
    EXPECT_TRUE(KernelSent().empty());

    // A mask arriving for a brush that is gone is deleted.
    Image *stale = Make(6, 5, IMAGE_MODE_GREY, 8, 0);
    Forget(stale);
    const std::string stalePath = Image_Path(stale);
    Dabstone_BrushMaskArrived(stale, "/somewhere/else");
    EXPECT_EQ(KernelSent(), (Sent{{MSG_DELETE, stalePath}}));
    EXPECT_EQ(Image_Path(e.userBrushMask), oddPath);
}

TEST_F(DabstoneBrush, PlaneOpAlphaAndColour)
{
    Edit(20, 20, IMAGE_MODE_RGB, 1);
    Changes();
    Dabstone_SetOp(1);
    std::vector<Frame> d = DisplayFrames();
    ASSERT_EQ(d.size(), 1u);
    EXPECT_EQ(d[0].Word(MSG_BR_CHANGE), MSG_BRC_OP);
    EXPECT_EQ(d[0].Word(MSG_BR_OP_SIGN), -1);

    // The alpha plane while the op is 1: the op goes back to 0.
    Dabstone_SetPlane(3);
    EXPECT_EQ(e.op, 0);
    EXPECT_EQ(e.color.mode, COLOR_GRAY);
    // With op 0 and the alpha off: the alpha goes on.
    Dabstone_SetPlane(-1);
    Dabstone_SetAlpha(0);
    Dabstone_SetPlane(3);
    EXPECT_EQ(e.alpha, 1);

    // A colour plane: a single value, the plane's component; the display
    // hears the colour (floating). Back on all planes, the colour is the
    // one chosen, not the single value.
    Dabstone_SetPlane(-1);
    Changes();
    const ColorValue c{COLOR_RGB, 200, 50, 10, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    Dabstone_PickColor(c); // as the picker gives it
    Dabstone_SetPlane(1);
    EXPECT_EQ(e.color.mode, COLOR_GRAY);
    EXPECT_EQ(e.color.grey, 50);
    EXPECT_EQ(Changes().back(), MSG_BRC_COLOR);
    Dabstone_SetPlane(-1);
    EXPECT_EQ(std::vector<int>({e.color.mode, e.color.red, e.color.green, e.color.blue}),
              std::vector<int>({COLOR_RGB, 200, 50, 10}));

    // Switching the alpha off sets the op to 0.
    Dabstone_SetOp(1);
    Dabstone_SetAlpha(0);
    EXPECT_EQ(e.op, 0);

    // Without an alpha plane no plane is the alpha plane: all planes leave
    // the op and the alpha flag alone.
    Edit(20, 20, IMAGE_MODE_RGB, 0);
    Dabstone_SetOp(1);
    Dabstone_SetAlpha(0);
    e.op = 1;
    Dabstone_SetPlane(0);
    Changes();
    Dabstone_SetPlane(-1);
    EXPECT_EQ(std::pair(e.op, e.alpha), std::pair(1, 0));
    EXPECT_EQ(Changes(), std::vector<int>{MSG_BRC_COLOR});
}

} // namespace
