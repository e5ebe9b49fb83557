// The engine's undo control, selections, masks, paste and rebuild, on real
// store images, with the kernel's and the display's FIFOs replaced by pipes
// whose frames the tests read back.
#include "core/DabstonePaste.h"

#include "brush/Buildin.h"
#include "brush/Undo.h"
#include "ui/Interface.h"

#include "tests/TestStore.h"

#include <X11/Intrinsic.h>

namespace
{

using testing::HasSubstr;

class JobEngine : public TempStore
{
  protected:
    void SetUp() override
    {
        TempStore::SetUp();
        static XtAppContext app = [] {
            XtToolkitInitialize();
            return XtCreateApplicationContext();
        }();
        Dabstone_InitState();
        G_dabstone->app = app;
        kernelIn = PeerPipe(&kernelFifo);
        displayIn = PeerPipe(&displayFifo);
        displayPid = 4242;
        image = Make(64, 48, IMAGE_MODE_RGB, 8, 1);
        Noise(image, 11);
        GG_Dabstone &e = *G_dabstone; // the engine edits its own mapping, as after 2003
        ASSERT_EQ(Image_OpenImage(&e.image, Image_Path(image)), 0);
        images.push_back(e.image);
        e.imageBox = Box{0, 0, 63, 47, 64, 48, 0};
        Dabstone_MakeStdMask();
    }
    void TearDown() override
    {
        Dabstone_DestroyUndo();
        Dabstone_DestroyMask();
        GG_Dabstone &e = *G_dabstone;
        e.image = nullptr;
        e.working = 0;
        close(kernelIn), close(kernelFifo), close(displayIn), close(displayFifo);
        kernelFifo = displayFifo = -1;
        TempStore::TearDown();
    }

    // The kernel's answer 2009 to a 2007 or 2002 request: a new image of
    // the requested geometry (or of the given one) and the reply tail.
    void Answer(const Frame &request, Image *made = nullptr)
    {
        if (!made) {
            ASSERT_EQ(Image_CreateImage(&made, request.payload.data()), 0);
            images.push_back(made);
        }
        auto payload = PathPayload(Image_Path(made));
        const auto tail = request.payload.begin() + MSG_INFO_SIZE;
        payload.insert(payload.end(), tail, tail + MSG_TAIL_SIZE);
        Deliver(Dabstone_WorkImageAnswer, MSG_WORK_CREATED, payload, 1);
    }

    // One turn of the toolkit's loop, its work procedures included.
    static void Pump()
    {
        XtAppAddTimeOut(
            G_dabstone->app, 1, [](XtPointer, XtIntervalId *) {}, nullptr);
        XtAppProcessEvent(G_dabstone->app, XtIMAll);
    }

    // The paths of the frames of the code sent to the kernel since the last call.
    std::vector<std::string> Sent(int32_t code)
    {
        std::vector<std::string> paths;
        for (const Frame &f : Only(Frames(kernelIn), code))
            paths.push_back(f.Text());
        return paths;
    }
    using Paths = std::vector<std::string>;

    static std::vector<unsigned char> TwoPaths(const char *a, const char *b)
    {
        auto out = PathPayload(a), second = PathPayload(b);
        out.insert(out.end(), second.begin(), second.end());
        return out;
    }

    Image *image = nullptr;
    int kernelIn = -1, displayIn = -1;
};

// ---- Undo ----

// The request carries the image's geometry; undo asked before the copy has
// ended is refused, as is undo while a stroke paints; overlapping strokes
// between two validations undo as one, and a second undo redoes.
TEST_F(JobEngine, UndoFillsInTheBackgroundAndRefusesWhileBusy)
{
    EXPECT_THAT(Stderr(Dabstone_Undo), HasSubstr("undo not available"));
    ASSERT_EQ(Dabstone_CreateUndo(), 1);
    EXPECT_EQ(Dabstone_CreateUndo(), 0); // one request at a time
    auto asks = Only(Frames(kernelIn), MSG_CREATE_WORK);
    ASSERT_EQ(asks.size(), 1u);
    unsigned char info[IMAGE_INFO_SIZE];
    Image_GetInfo(image, info);
    EXPECT_EQ(0, memcmp(asks[0].payload.data(), info, IMAGE_INFO_SIZE));
    Answer(asks[0]);
    EXPECT_THAT(Stderr(Dabstone_Undo), HasSubstr("undo is beeing initialized, Please wait..."));
    for (int i = 0; i < 100000 && !G_dabstone->undoReady; ++i)
        Pump();
    EXPECT_EQ(Planes(G_dabstone->undoImage), Planes(image));
    EXPECT_EQ(Interface_State().undoManaged, 1);
    EXPECT_THAT(Stderr(Dabstone_Undo), HasSubstr("nothing to undo !"));

    auto before = Planes(image);
    Undo_Validate();
    for (int i = 0; i < 2; ++i) { // two recordings without a validation between
        Box b = BoxXY(10 + 5 * i, 10, 19 + 5 * i, 19);
        for (int p = 0; p < 4; ++p)
            for (int y = b.y1; y <= b.y2; ++y)
                memset(Image_Row(image, p, y) + b.x1, 90 + i, size_t(b.width));
        Undo_SetBox(&b);
    }
    auto painted = Planes(image);
    G_dabstone->working = 1; // a stroke is painting
    EXPECT_THAT(Stderr(Dabstone_Undo), HasSubstr("can't do that just now"));
    EXPECT_EQ(Planes(image), painted);
    G_dabstone->working = 0;
    Dabstone_Undo();
    EXPECT_EQ(Planes(image), before);
    Dabstone_Undo();
    EXPECT_EQ(Planes(image), painted);
}

TEST_F(JobEngine, StaleAndMisshapenUndoAnswersAreDeleted)
{
    ASSERT_EQ(Dabstone_CreateUndo(), 1);
    auto first = Only(Frames(kernelIn), MSG_CREATE_WORK);
    Dabstone_DestroyUndo();
    ASSERT_EQ(Dabstone_CreateUndo(), 1);
    auto second = Only(Frames(kernelIn), MSG_CREATE_WORK);
    ASSERT_EQ(first.size(), 1u);
    ASSERT_EQ(second.size(), 1u);

    Image *old = Make(64, 48, IMAGE_MODE_RGB, 8, 1);
    Answer(first[0], old);
    EXPECT_EQ(Sent(MSG_DELETE), Paths{Image_Path(old)});
    EXPECT_EQ(G_dabstone->undoImage, nullptr);
    EXPECT_NE(G_dabstone->undoRequest, 0); // the second one still waits

    // An answer of another geometry cannot serve: deleted, undo off.
    Image *wrong = Make(64, 47, IMAGE_MODE_RGB, 8, 1);
    EXPECT_THAT(Stderr([&] { Answer(second[0], wrong); }), HasSubstr("undo not available"));
    EXPECT_EQ(Sent(MSG_DELETE), Paths{Image_Path(wrong)});
    EXPECT_EQ(G_dabstone->undoImage, nullptr);
    EXPECT_EQ(G_dabstone->undoRequest, 0);

    // Destroyed while it fills: the copy stops and the image goes back.
    ASSERT_EQ(Dabstone_CreateUndo(), 1);
    Answer(Only(Frames(kernelIn), MSG_CREATE_WORK)[0]);
    std::string path = Image_Path(G_dabstone->undoImage);
    Dabstone_DestroyUndo();
    EXPECT_EQ(Sent(MSG_DELETE), Paths{path});
    Pump(); // the copy's work procedure is gone
    EXPECT_EQ(G_dabstone->undoImage, nullptr);
}

// ---- Selections and masks ----

TEST_F(JobEngine, SelectionRectanglesBuildTheClippedTargetList)
{
    GG_Dabstone &e = *G_dabstone;
    Dabstone_AskMask();
    EXPECT_EQ(Only(Frames(displayIn), MSG_ASK_SELECTION).size(), 1u);
    EXPECT_EQ(e.selectionInProgress, 1);
    EXPECT_EQ(List_Cardinal(e.targets), 0);

    Deliver(Dabstone_Selection, MSG_SELECTION, Words({2, 0, 100, 100, 5, 5, 1})); // outside: nothing
    Deliver(Dabstone_Selection, MSG_SELECTION, Words({2, 0, 60, -4, 10, 10, 1})); // clipped, no mask: flag 0
    ASSERT_EQ(List_Cardinal(e.targets), 1);
    const Box *b = static_cast<const Box *>(e.targets->first->element);
    EXPECT_EQ(Corners(*b), (std::vector<int>{60, 0, 63, 5}));
    EXPECT_EQ(b->link, 0);

    // With a mask image: kind 1 stays unmasked, any other kind is masked;
    // a rectangle whose far corner overflows is dropped.
    Image *mask = Make(64, 48, IMAGE_MODE_GREY, 8);
    ASSERT_EQ(Image_OpenImage(&e.mask, Image_Path(mask)), 0);
    Deliver(Dabstone_Selection, MSG_SELECTION, Words({1, 0, 0, 0, 4, 4, 1}));
    Deliver(Dabstone_Selection, MSG_SELECTION, Words({3, 0, 2147483000, 0, 2147483000, 4, 0}));
    Deliver(Dabstone_Selection, MSG_SELECTION, Words({3, 0, 10, 10, 4, 4, 0}));
    EXPECT_EQ(e.selectionInProgress, 0);
    ASSERT_EQ(List_Cardinal(e.targets), 3);
    EXPECT_EQ(static_cast<const Box *>(e.targets->first->next->element)->link, 0);
    EXPECT_EQ(static_cast<const Box *>(e.targets->last->element)->link, 1);

    Deliver(Dabstone_Selection, MSG_SELECTION, Words({0, 0, 0, 0, 0, 0, 0})); // kind 0: the whole image
    ASSERT_EQ(List_Cardinal(e.targets), 1);
    EXPECT_EQ(static_cast<const Box *>(e.targets->first->element)->width, 64);
}

// A mask of another size would be read past its rows: refused.
TEST_F(JobEngine, MaskReadyOpensTheMaskOnceAndRefusesAnotherSize)
{
    GG_Dabstone &e = *G_dabstone;
    const char *current = Image_Path(image);
    auto pay = TwoPaths(Image_Path(Make(10, 10, IMAGE_MODE_GREY, 8)), current);
    EXPECT_THAT(Stderr([&] { Deliver(Dabstone_MaskReady, MSG_MASK_READY, pay); }),
                HasSubstr("can't open mask"));
    EXPECT_EQ(e.mask, nullptr);

    Image *good = Make(64, 48, IMAGE_MODE_GREY, 8);
    Deliver(Dabstone_MaskReady, MSG_MASK_READY, TwoPaths(Image_Path(good), current));
    ASSERT_NE(e.mask, nullptr);
    Image *held = e.mask;
    Deliver(Dabstone_MaskReady, MSG_MASK_READY,
            TwoPaths(Image_Path(Make(64, 48, IMAGE_MODE_GREY, 8)), current));
    EXPECT_EQ(e.mask, held);

    // Asked for the user brush, it goes to the brush.
    Image *brush = Make(9, 9, IMAGE_MODE_RGB, 8, 1), *brushMask = Make(9, 9, IMAGE_MODE_GREY, 8);
    ASSERT_EQ(Image_OpenImage(&e.userBrush, Image_Path(brush)), 0);
    e.brushMaskRequested = 1;
    Deliver(Dabstone_MaskReady, MSG_MASK_READY, TwoPaths(Image_Path(brushMask), Image_Path(brush)));
    ASSERT_NE(e.userBrushMask, nullptr);
    EXPECT_STREQ(Image_Path(e.userBrushMask), Image_Path(brushMask));
}

// ---- Paste ----

TEST_F(JobEngine, PasteRefusalsGiveLentImagesBack)
{
    // The current image into itself, while a job runs, one that cannot be opened.
    const std::string brush = Image_Path(Make(9, 9, IMAGE_MODE_RGB, 8, 1)), missing = dir + "/no-such-image";
    const struct {
        std::string path;
        int working;
        const char *message;
    } cases[] = {{Image_Path(image), 0, "can't paste an image into itself !"},
                 {brush, 1, "can't paste just now"},
                 {missing, 0, "can't paste"}};
    for (const auto &c : cases) {
        G_dabstone->working = c.working;
        EXPECT_THAT(Stderr([&] { Deliver(Dabstone_Paste, MSG_PASTE, PathPayload(c.path.c_str(), {1})); }),
                    HasSubstr(c.message));
        G_dabstone->working = 0;
        EXPECT_EQ(Sent(MSG_GIVE_BACK), Paths{c.path});
    }
    EXPECT_EQ(G_dabstone->userBrush, nullptr);
}

// ---- Rebuild ----

TEST_F(JobEngine, RebuiltBuildinBrushIsTheShapeInTheCurrentColour)
{
    GG_Dabstone &e = *G_dabstone;
    Image *colour = Make(10, 10, IMAGE_MODE_RGB, 8);
    ASSERT_EQ(Image_OpenImage(&e.colorImage, Image_Path(colour)), 0);
    images.push_back(e.colorImage);
    e.brushKind = DAB_BRUSH_BUILDIN;
    e.brushWidth = 40, e.brushHeight = 25, e.opacity = 50, e.aero = 1;
    e.color = ColorValue{COLOR_RGB, 10, 20, 30, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    e.rebuildPending = 1, e.working = 1;
    Image *made = Make(40, 25, IMAGE_MODE_RGB, 8, 1);
    Image *shape = Make(40, 25, IMAGE_MODE_RGB, 8, 1);
    ASSERT_EQ(Buildin_Make(shape, 3, 0, 0, 1, 127, 1.0), 0);
    Dabstone_RebuildArrived(made, nullptr);

    EXPECT_STREQ(Image_Title(made), "brush_40x25");
    EXPECT_EQ(e.rebuildPending + e.working, 0);
    for (int y = 0; y < 25; ++y)
        for (int x = 0; x < 40; ++x) {
            ASSERT_EQ(Image_GetSample(made, 3, x, y), Image_GetSample(shape, 3, x, y));
            ASSERT_EQ(Image_GetSample(made, 0, x, y), 10u);
            ASSERT_EQ(Image_GetSample(made, 2, x, y), 30u);
        }
    auto rows = Only(Frames(kernelIn), MSG_ROWS_CHANGED);
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].Text(), Image_Path(made));
    EXPECT_EQ(e.userBrush, made);
    e.userBrush = nullptr; // the test's own mapping
}

TEST_F(JobEngine, RebuiltUserBrushKeepsItsPixels)
{
    GG_Dabstone &e = *G_dabstone;
    Image *brush = Make(9, 7, IMAGE_MODE_RGB, 8, 1);
    Noise(brush, 12);
    ASSERT_EQ(Image_OpenImage(&e.userBrush, Image_Path(brush)), 0); // the engine's own, given up later
    e.brushKind = DAB_BRUSH_USER;
    e.brushWidth = 9, e.brushHeight = 7, e.floating = 0;
    Dabstone_Rebuild(); // a user brush needs no confirmation
    auto asks = Only(Frames(kernelIn), MSG_CREATE_REBUILD);
    ASSERT_EQ(asks.size(), 1u);
    EXPECT_EQ(Geometry(asks[0].payload.data()), (std::vector<int>{9, 7, IMAGE_MODE_RGB, 8, 1}));
    EXPECT_THAT(Stderr(Dabstone_Rebuild), HasSubstr("last rebuild not yet completed"));

    Answer(asks[0]);
    EXPECT_EQ(e.rebuildPending + e.working, 0);
    Image *made = e.userBrush;
    ASSERT_STRNE(Image_Path(made), Image_Path(brush));
    for (int p = 0; p < 3; ++p)
        for (int y = 0; y < 7; ++y)
            for (int x = 0; x < 9; ++x)
                ASSERT_EQ(Image_GetSample(made, p, x, y), Image_GetSample(brush, p, x, y));
}

TEST_F(JobEngine, RebuildIntoAnImageWithoutAlphaIsDiscarded)
{
    GG_Dabstone &e = *G_dabstone;
    e.brushKind = DAB_BRUSH_BUILDIN;
    e.rebuildPending = 1, e.working = 1;
    Image *made = Make(20, 20, IMAGE_MODE_RGB, 8, 0);
    std::string path = Image_Path(made);
    EXPECT_THAT(Stderr([&] { Dabstone_RebuildArrived(made, nullptr); }), HasSubstr("can't build brush !"));
    EXPECT_EQ(Sent(MSG_DISCARD_REBUILD), Paths{path});
    EXPECT_EQ(e.rebuildPending + e.working, 0);
    EXPECT_EQ(e.userBrush, nullptr);
    Forget(made); // closed by the engine
}

} // namespace
