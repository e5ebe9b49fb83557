// The engine's message handlers, undo, selections, masks, paste and
// rebuild, on real store images, with a pipe standing for the kernel's FIFO
// and a real FIFO for the display process.
#include "core/Appli.h"
#include "core/Dabstone.h"
#include "core/DabstonePaste.h"
#include "core/Fifo.h"

#include "brush/Buildin.h"
#include "brush/Undo.h"
#include "tests/TestStore.h"
#include "ui/Interface.h"

#include <X11/Intrinsic.h>
#include <csignal>

namespace
{

using testing::HasSubstr;

// id, then a path from offset 4 (1003, 1008, 1009).
std::vector<unsigned char> DisplayPayload(int32_t id, const char *path)
{
    std::vector<unsigned char> p = Words({id}, MSG_DISPLAY_SIZE);
    std::strncpy(reinterpret_cast<char *>(&p[4]), path, MSG_PATH_SIZE - 1);
    return p;
}

class Engine : public TempStore
{
  protected:
    int kernelIn = -1, displayRead = -1;
    const int32_t displayId = 99981;
    Image *image = nullptr; // the engine's

    void SetUp() override
    {
        signal(SIGPIPE, SIG_IGN);
        TempStore::SetUp();
        static XtAppContext app = [] {
            XtToolkitInitialize();
            return XtCreateApplicationContext();
        }();
        kernelIn = PeerPipe(&kernelFifo);
        kernelPid = getpid();
        displayFifo = -1;
        displayPid = 0;
        *G_dabstone = GG_Dabstone{};
        Dabstone_InitState();
        Dabstone_InitDefaults();
        G_dabstone->app = app;
        image = Make(64, 48, IMAGE_MODE_RGB, 8, 1);
        Noise(image, 11);
        Forget(image);
        Dabstone_SetImage(image);
        Frames(kernelIn);
    }
    void TearDown() override
    {
        Dabstone_DestroyUndo();
        Dabstone_DestroyMask();
        if (displayFifo >= 0)
            Fifo_CloseWrite(kernelPid, displayPid, displayFifo);
        displayFifo = -1;
        if (displayRead >= 0)
            Fifo_CloseRead(kernelPid, displayId, displayRead);
        close(kernelIn);
        close(kernelFifo);
        kernelFifo = -1;
        Image_CloseImage(G_dabstone->image);
        G_dabstone->image = nullptr;
        G_dabstone->working = 0;
        TempStore::TearDown();
    }

    // A display process reading its FIFO, connected for the current image.
    std::vector<Frame> Connect()
    {
        displayRead = Fifo_OpenRead(kernelPid, displayId);
        EXPECT_GE(displayRead, 0);
        Deliver(Dabstone_DisplayConnect, MSG_DISPLAY_CONNECT, DisplayPayload(displayId, Image_Path(image)));
        return Frames(displayRead);
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
};

// A display connects only for the current image; a close names its display
// by the payload's id under aux 2, by its sender otherwise.
TEST_F(Engine, DisplayConnectsForTheCurrentImageAndClosesByIdOrSender)
{
    Deliver(Dabstone_DisplayConnect, MSG_DISPLAY_CONNECT, DisplayPayload(displayId, "/elsewhere/img"));
    EXPECT_EQ(displayFifo, -1);
    EXPECT_EQ(Codes(Connect()), (std::vector<int32_t>{MSG_HELLO, MSG_DISPLAY_INIT, MSG_TOOLBOX}));
    EXPECT_EQ(displayPid, displayId);

    Deliver(Dabstone_DisplayClose, MSG_DISPLAY_CLOSE, DisplayPayload(displayId + 1, Image_Path(image)),
            displayId, 2);
    Deliver(Dabstone_DisplayClose, MSG_DISPLAY_CLOSE, DisplayPayload(displayId, Image_Path(image)), 12345, 0);
    EXPECT_EQ(displayPid, displayId);
    G_dabstone->applyTarget = MSG_APPLY_BRUSH;
    Deliver(Dabstone_DisplayClose, MSG_DISPLAY_LEAVE, DisplayPayload(0, Image_Path(image)), displayId, 0);
    EXPECT_EQ(displayPid, 0);
    EXPECT_EQ(displayFifo, -1);
    EXPECT_EQ(G_dabstone->applyTarget, MSG_APPLY_NONE);
}

std::vector<std::vector<unsigned char>> toolCalls;
void TestTool(void *, const unsigned char *event)
{
    toolCalls.push_back(std::vector<unsigned char>(event, event + MSG_EVENT_SIZE));
}

// Tools are reached by handle only: kind 1, unknown and wrong-kind handles,
// short records run nothing.
TEST_F(Engine, PointerEventsReachTheToolTheirHandleNames)
{
    toolCalls.clear();
    uint32_t tool = Msghand_NewTailFn(MSGHAND_TAIL_TOOL, TestTool, nullptr);
    uint32_t answer = Msghand_NewTailFn(MSGHAND_TAIL_ANSWER, TestTool, nullptr);
    Deliver(Dabstone_Event, MSG_POINTER, Words({MSG_EVK_MOTION, int32_t(tool), 0, 0, 77, 7, 8}, 64));
    ASSERT_EQ(toolCalls.size(), 1u);
    EXPECT_EQ(Bytes_GetS32(&toolCalls[0][4 * MSG_EV_X]), 7);
    Deliver(Dabstone_Event, MSG_POINTER, Words({MSG_EVK_IGNORED, int32_t(tool)}, 64));
    Deliver(Dabstone_Event, MSG_POINTER, Words({MSG_EVK_PRESS, int32_t(tool + 0x10000)}, 64));
    Deliver(Dabstone_Event, MSG_POINTER, Words({MSG_EVK_PRESS, int32_t(answer)}, 64));
    Deliver(Dabstone_Event, MSG_POINTER, Words({MSG_EVK_PRESS, int32_t(tool)}, 60));
    EXPECT_EQ(toolCalls.size(), 1u);
}

// The 1042 layout as the display reads it: two 512-byte paths, the image
// box and the position box (7 words each), op sign, floating flag, colour
// (13 words), change code; 1144 bytes.
TEST_F(Engine, BrushDescriptionLayout)
{
    GG_Dabstone &e = *G_dabstone;
    e.activeBrush = Make(31, 31, IMAGE_MODE_GREY, 8, 1);
    e.brushImageBox = Box{0, 0, 30, 30, 31, 31, 0};
    e.brushPosBox = Box{3, 4, 12, 23, 10, 20, 0};
    e.op = 1;
    e.floating = 0;
    e.color = ColorValue{COLOR_RGB, 10, 20, 30, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    std::vector<unsigned char> brush(1144);
    Dabstone_BrushDescription(brush.data(), MSG_BRC_ALL, 0);
    EXPECT_STREQ(reinterpret_cast<const char *>(&brush[0]), Image_Path(e.activeBrush));
    EXPECT_EQ(brush[512], 0);
    const std::vector<unsigned char> expected = Words({0, 0, 30, 30, 31, 31, 0, 3, 4, 12, 23, 10, 20, 0, -1,
                                                       0, 2, 10, 20, 30, 0,  0, 0, 0, 0,  0,  0,  0,  0, 1});
    EXPECT_EQ(std::vector<unsigned char>(brush.begin() + 1024, brush.end()), expected);
    Dabstone_BrushDescription(brush.data(), MSG_BRC_ALL, 1);
    EXPECT_EQ(brush[0], 0) << "removal: both paths empty";
}

TEST_F(Engine, BigRefreshReportsTheImageRowsAndStampsTheHeader)
{
    Box inside{-5, 10, 70, 60, 76, 51, 0};
    Dabstone_BigRefresh(&inside);
    std::vector<Frame> k = Frames(kernelIn);
    ASSERT_EQ(Codes(k), (std::vector<int32_t>{MSG_ROWS_CHANGED}));
    EXPECT_EQ(k[0].Text(0), Image_Path(image));
    EXPECT_EQ(k[0].Word(MSG_PATH_SIZE), 10);
    EXPECT_EQ(k[0].Word(MSG_PATH_SIZE + 4), 38) << "rows 10 to 47 of a 48-row image";

    Image_SetField(image, IMAGE_MODIFIED_A, 0);
    Box below{0, 48, 10, 53, 11, 6, 0};
    Dabstone_BigRefresh(&below);
    EXPECT_TRUE(Frames(kernelIn).empty());
    EXPECT_EQ(Image_ModifiedA(image), 1);
    EXPECT_STREQ(Image_Modifier(image), "DabStone");
}

TEST_F(Engine, ImageChangeLeavesTheDisplayAndReleasesTheOldImage)
{
    Connect();
    Frames(kernelIn);
    std::string oldPath = Image_Path(image);
    G_dabstone->announce = 1;
    image = Make(8, 8, IMAGE_MODE_GREY, 8, 0);
    Forget(image);
    Dabstone_SetImage(image);
    EXPECT_EQ(Codes(Frames(displayRead)), (std::vector<int32_t>{MSG_DISPLAY_LEAVE}));
    EXPECT_EQ(displayFifo, -1);
    std::vector<Frame> k = Frames(kernelIn);
    ASSERT_EQ(Codes(k), (std::vector<int32_t>{MSG_RELEASE, MSG_ANNOUNCE}));
    EXPECT_EQ(k[0].Text(0), oldPath);
    EXPECT_EQ(k[1].Text(0), Image_Path(image));
    EXPECT_EQ(G_dabstone->imageBox.x2, 7);
}

TEST_F(Engine, WorkImageAnswersAreTakenOnlyForTheirOwnReplyTail)
{
    Dabstone_AskWorkImages();
    std::vector<Frame> k = Frames(kernelIn);
    ASSERT_EQ(k.size(), 6u);
    Image *made = Make(201, 201, IMAGE_MODE_GREY, 8, 1);
    Answer(k[0], made);
    const GG_Dabstone &e = *G_dabstone;
    ASSERT_NE(e.buildinBrush, nullptr);
    EXPECT_STREQ(Image_Path(e.buildinBrush), Image_Path(made));
    EXPECT_EQ(e.activeBrush, e.buildinBrush);
    // A reply tail we never gave is ignored, the image not even opened.
    Bytes_Put32(&k[1].payload[MSG_INFO_SIZE], 0xFFFF0001u);
    Answer(k[1], made);
    EXPECT_TRUE(Frames(kernelIn).empty());
}

TEST_F(Engine, SettingsAreClampedAndRefusedWhileBusy)
{
    std::vector<unsigned char> record = Words({1652, 500, 0, 150, 1, 5, -3, 1, 2000, 0}, MSG_SETTINGS_SIZE);
    const int32_t color[13] = {2, 300, -4, 20, 256, 0, 0, 0, 400, 50, 50, -9, 0};
    for (int i = 0; i < 13; ++i)
        Bytes_PutS32(&record[4 * (10 + size_t(i))], color[i]);
    Bytes_PutS32(&record[4 * 23], 7); // single-plane colour of kind 7: invalid
    DabSettings s;
    ASSERT_EQ(Dabstone_DecodeSettings(record.data(), &s), 1);
    EXPECT_EQ((std::vector<int>{s.width, s.height, s.opacity, s.traceMode, s.spacing, s.undoLimit}),
              (std::vector<int>{201, 1, 100, 2, 0, 999}));
    ASSERT_TRUE(s.colorValid);
    // red, green, cyan clamped; the hue is not.
    EXPECT_EQ((std::vector<int>{s.color.red, s.color.green, s.color.cyan, s.color.hue, s.color.grey}),
              (std::vector<int>{255, 0, 255, 400, 0}));
    EXPECT_FALSE(s.singleValid);
    Bytes_PutS32(&record[0], 1653);
    EXPECT_EQ(Dabstone_DecodeSettings(record.data(), &s), 0);

    // Loading: refused while a job runs or with a status other than 0.
    GG_Dabstone &e = *G_dabstone;
    std::vector<unsigned char> in = Words({0, 1652, 60, 40, 50, 1, 1, 80, 1, 0, 1}, MSG_SETTINGS_IN_SIZE);
    e.working = 1;
    Deliver(Dabstone_LoadSettings, MSG_SETTINGS, in);
    e.working = 0;
    Bytes_PutS32(&in[0], 1);
    Deliver(Dabstone_LoadSettings, MSG_SETTINGS, in);
    EXPECT_EQ(e.spacing, 25);
    Bytes_PutS32(&in[0], 0);
    Deliver(Dabstone_LoadSettings, MSG_SETTINGS, in);
    EXPECT_EQ((std::vector<int>{e.brushWidth, e.opacity, e.spacing, e.useSelection}),
              (std::vector<int>{60, 50, 80, 1}));
}

TEST_F(Engine, FailedRebuildRequestEndsTheJobWithAWarning)
{
    Connect();
    GG_Dabstone &e = *G_dabstone;
    e.working = 1;
    // No rebuild waits: the running job is not the report's to end.
    Deliver(Dabstone_RequestFailed, MSG_REQUEST_FAILED, Words({MSG_CREATE_REBUILD, 1213}));
    EXPECT_EQ(e.working, 1);
    e.rebuildPending = 1;
    EXPECT_THAT(Stderr([] {
                    Deliver(Dabstone_RequestFailed, MSG_REQUEST_FAILED, Words({MSG_CREATE_REBUILD, 1213}));
                }),
                testing::HasSubstr("warning: can't rebrush : The disk is full"));
    EXPECT_EQ(e.working + e.rebuildPending, 0);
    std::vector<Frame> d = Frames(displayRead);
    ASSERT_FALSE(d.empty());
    EXPECT_EQ(d.back().code, MSG_MOTION);
    EXPECT_EQ(d.back().payload, Words({99, 0, -1, 0, 0}));
}

// What a running job paints with stays: the brush a peer wants back and the
// display's brush rectangle wait for its end.
TEST_F(Engine, ARunningJobKeepsItsBrushAndSize)
{
    GG_Dabstone &e = *G_dabstone;
    Image *brush = Make(20, 20, IMAGE_MODE_GREY, 8, 1);
    Forget(brush);
    Dabstone_SetUserBrush(brush, 2);
    e.working = 1;
    Deliver(Dabstone_ImageWanted, MSG_WANTED, PathPayload(Image_Path(brush)));
    Deliver(Dabstone_Event, MSG_POINTER,
            Words({MSG_EVK_BRUSH_RECT, 0, 0, 0, 0, 0, 0, 0, 0, 0, 10, 10, 150, 150, 1}, 64));
    EXPECT_EQ(e.userBrush, brush);
    EXPECT_EQ(std::pair(e.brushWidth, e.brushHeight), std::pair(20, 20));
    e.working = 0;
    Dabstone_SetUserBrush(nullptr, 0);
}

// A display that is ourselves, or one that stops reading, never holds the
// program: the first is refused, the second dropped after the patience.
TEST_F(Engine, ADisplayThatCannotReadIsNeverWaitedForForEver)
{
    Deliver(Dabstone_DisplayConnect, MSG_DISPLAY_CONNECT,
            DisplayPayload(int32_t(getpid()), Image_Path(image)));
    EXPECT_EQ(displayFifo, -1);
    Connect();
    ASSERT_GE(displayFifo, 0);
    Msg_SetPatience(50);
    std::vector<unsigned char> rect(MSG_RECT_SIZE);
    Stderr([&] {
        for (int i = 0; i < 100000 && displayFifo >= 0; ++i)
            Dabstone_SendDisplay(MSG_REDRAW, rect.data(), MSG_RECT_SIZE);
    });
    Msg_SetPatience(MSG_PATIENCE_MS);
    EXPECT_EQ(displayFifo, -1);
    EXPECT_EQ(displayPid, 0);
}

// The colour starts as the picker's default and follows each image's mode:
// never an all-zero record of no mode.
TEST_F(Engine, TheColourStartsAsThePickersAndFollowsTheImageMode)
{
    const ColorValue &c = G_dabstone->color;
    EXPECT_EQ(std::vector<int>({c.mode, c.red, c.green, c.blue}), std::vector<int>({COLOR_RGB, 0, 0, 0}));
    image = Make(8, 8, IMAGE_MODE_CMYK, 8, 0);
    Forget(image);
    Dabstone_SetImage(image);
    EXPECT_EQ(std::vector<int>({c.mode, c.cyan, c.magenta, c.yellow, c.black}),
              std::vector<int>({COLOR_CMYK, 255, 255, 255, 0}));
    std::vector<unsigned char> record(MSG_SETTINGS_SIZE);
    Dabstone_EncodeSettings(record.data());
    EXPECT_EQ(Bytes_GetS32(&record[4 * 10]), COLOR_CMYK);
}

// ---- Undo ----

// The request carries the image's geometry; undo asked before the copy has
// ended is refused, as is undo while a stroke paints; overlapping strokes
// between two validations undo as one, and a second undo redoes.
TEST_F(Engine, UndoFillsInTheBackgroundAndRefusesWhileBusy)
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
    EXPECT_THAT(Stderr(Dabstone_Undo), HasSubstr("nothing to undo !"));

    auto before = Planes(image);
    Undo_Validate();
    for (int i = 0; i < 2; ++i) { // two recordings without a validation between
        Box b{10 + 5 * i, 10, 19 + 5 * i, 19, 10, 10, 0};
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

TEST_F(Engine, StaleAndMisshapenUndoAnswersAreDeleted)
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

TEST_F(Engine, SelectionRectanglesBuildTheClippedTargetList)
{
    GG_Dabstone &e = *G_dabstone;
    Connect();
    Dabstone_AskMask();
    EXPECT_EQ(Only(Frames(displayRead), MSG_ASK_SELECTION).size(), 1u);
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
TEST_F(Engine, MaskReadyOpensTheMaskOnceAndRefusesAnotherSize)
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
}

// ---- Paste ----

TEST_F(Engine, PasteRefusalsGiveLentImagesBack)
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

TEST_F(Engine, RebuiltBuildinBrushIsTheShapeInTheCurrentColour)
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

TEST_F(Engine, RebuiltUserBrushKeepsItsPixels)
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

TEST_F(Engine, RebuildIntoAnImageWithoutAlphaIsDiscarded)
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
