// The engine's message handlers, with real store images, a pipe standing
// for the kernel's FIFO and a real FIFO for the display process.
#include "core/Appli.h"
#include "core/Dabstone.h"
#include "core/Fifo.h"
#include "tests/TestStore.h"
#include "ui/Interface.h"

#include <csignal>

namespace
{

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
    int kernel[2] = {-1, -1};
    int displayRead = -1;
    const int32_t displayId = 99981;
    Image *image = nullptr;

    void SetUp() override
    {
        signal(SIGPIPE, SIG_IGN);
        TempStore::SetUp();
        kernel[0] = PeerPipe(&kernel[1]);
        kernelPid = getpid();
        kernelFifo = kernel[1];
        displayFifo = -1;
        displayPid = 0;
        *G_dabstone = GG_Dabstone{};
        Dabstone_InitState();
        Dabstone_InitDefaults();
        image = Make(40, 30, IMAGE_MODE_RGB, 8, 1);
        Forget(image); // the engine's from now on
        Dabstone_SetImage(image);
        Frames(kernel[0]);
    }
    void TearDown() override
    {
        if (displayFifo >= 0)
            Fifo_CloseWrite(kernelPid, displayPid, displayFifo);
        displayFifo = -1;
        if (displayRead >= 0)
            Fifo_CloseRead(kernelPid, displayId, displayRead);
        kernelFifo = -1;
        close(kernel[0]);
        close(kernel[1]);
        Image_CloseImage(G_dabstone->image);
        G_dabstone->image = nullptr;
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
    G_dabstone->applyTarget = DAB_APPLY_BRUSH;
    Deliver(Dabstone_DisplayClose, MSG_DISPLAY_LEAVE, DisplayPayload(0, Image_Path(image)), displayId, 0);
    EXPECT_EQ(displayPid, 0);
    EXPECT_EQ(displayFifo, -1);
    EXPECT_EQ(G_dabstone->applyTarget, DAB_APPLY_NONE);
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

TEST_F(Engine, BrushDescriptionLayout)
{
    GG_Dabstone &e = *G_dabstone;
    e.activeBrush = Make(31, 31, IMAGE_MODE_GREY, 8, 1);
    e.brushImageBox = Box{0, 0, 30, 30, 31, 31, 0};
    e.brushPosBox = Box{3, 4, 12, 23, 10, 20, 0};
    e.op = 1;
    e.floating = 0;
    e.color = ColorValue{COLOR_RGB, 10, 20, 30, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    std::vector<unsigned char> brush(MSG_BRUSH_SIZE);
    Dabstone_BrushDescription(brush.data(), MSG_BRC_ALL, 0);
    EXPECT_STREQ(reinterpret_cast<const char *>(&brush[MSG_BR_PATH]), Image_Path(e.activeBrush));
    EXPECT_EQ(brush[MSG_BR_PATH2], 0);
    EXPECT_EQ(std::vector<unsigned char>(brush.begin() + MSG_BR_POS_BOX, brush.begin() + MSG_BR_POS_BOX + 28),
              Words({3, 4, 12, 23, 10, 20, 0}));
    const std::pair<int, int32_t> words[] = {{MSG_BR_IMAGE_BOX + 16, 31}, {MSG_BR_OP_SIGN, -1},
                                             {MSG_BR_FLOATING, 0},        {MSG_BR_COLOR, COLOR_RGB},
                                             {MSG_BR_COLOR + 12, 30},     {MSG_BR_CHANGE, 1}};
    for (auto [at, value] : words)
        EXPECT_EQ(Bytes_GetS32(&brush[size_t(at)]), value) << "word at " << at;
    Dabstone_BrushDescription(brush.data(), MSG_BRC_ALL, 1);
    EXPECT_EQ(brush[MSG_BR_PATH], 0) << "removal: both paths empty";
}

TEST_F(Engine, BigRefreshReportsTheImageRowsAndStampsTheHeader)
{
    Box inside{-5, 10, 50, 40, 56, 31, 0};
    Dabstone_BigRefresh(&inside);
    std::vector<Frame> k = Frames(kernel[0]);
    ASSERT_EQ(Codes(k), (std::vector<int32_t>{MSG_ROWS_CHANGED}));
    EXPECT_EQ(k[0].Text(0), Image_Path(image));
    EXPECT_EQ(k[0].Word(MSG_PATH_SIZE), 10);
    EXPECT_EQ(k[0].Word(MSG_PATH_SIZE + 4), 20) << "rows 10 to 29 of a 30-row image";

    Image_SetField(image, IMAGE_MODIFIED_A, 0);
    Box below{0, 30, 10, 35, 11, 6, 0};
    Dabstone_BigRefresh(&below);
    EXPECT_TRUE(Frames(kernel[0]).empty());
    EXPECT_EQ(Image_ModifiedA(image), 1);
    EXPECT_STREQ(Image_Modifier(image), "DabStone");
}

TEST_F(Engine, ImageChangeLeavesTheDisplayAndReleasesTheOldImage)
{
    Connect();
    Frames(kernel[0]);
    std::string oldPath = Image_Path(image);
    G_dabstone->announce = 1;
    image = Make(8, 8, IMAGE_MODE_GREY, 8, 0);
    Forget(image);
    Dabstone_SetImage(image);
    EXPECT_EQ(Codes(Frames(displayRead)), (std::vector<int32_t>{MSG_DISPLAY_LEAVE}));
    EXPECT_EQ(displayFifo, -1);
    std::vector<Frame> k = Frames(kernel[0]);
    ASSERT_EQ(Codes(k), (std::vector<int32_t>{MSG_RELEASE, MSG_ANNOUNCE}));
    EXPECT_EQ(k[0].Text(0), oldPath);
    EXPECT_EQ(k[1].Text(0), Image_Path(image));
    EXPECT_EQ(G_dabstone->imageBox.x2, 7);
}

TEST_F(Engine, WorkImageAnswersAreTakenOnlyForTheirOwnReplyTail)
{
    Dabstone_AskWorkImages();
    std::vector<Frame> k = Frames(kernel[0]);
    ASSERT_EQ(k.size(), 6u);
    Image *made = Make(201, 201, IMAGE_MODE_GREY, 8, 1);
    std::vector<unsigned char> answer = PathPayload(Image_Path(made));
    answer.insert(answer.end(), k[0].payload.begin() + MSG_INFO_SIZE, k[0].payload.end());
    Deliver(Dabstone_WorkImageAnswer, MSG_WORK_CREATED, answer);
    const GG_Dabstone &e = *G_dabstone;
    ASSERT_NE(e.buildinBrush, nullptr);
    EXPECT_STREQ(Image_Path(e.buildinBrush), Image_Path(made));
    EXPECT_EQ(e.activeBrush, e.buildinBrush);
    // A reply tail we never gave is ignored, the image not even opened.
    Bytes_Put32(&answer[MSG_PATH_SIZE], 0xFFFF0001u);
    Deliver(Dabstone_WorkImageAnswer, MSG_WORK_CREATED, answer);
    EXPECT_TRUE(Frames(kernel[0]).empty());
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

} // namespace
