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

TEST_F(Engine, DisplayConnectsOnlyForTheCurrentImageAndGetsHelloInitToolboxBrush)
{
    Deliver(Dabstone_DisplayConnect, MSG_DISPLAY_CONNECT, DisplayPayload(displayId, "/elsewhere/img"));
    EXPECT_EQ(displayFifo, -1);

    G_dabstone->activeBrush = Make(31, 31, IMAGE_MODE_GREY, 8, 1);
    G_dabstone->brushImageBox = Box{0, 0, 30, 30, 31, 31, 0};
    std::vector<Frame> d = Connect();
    EXPECT_EQ(displayPid, displayId);
    ASSERT_EQ(Codes(d), (std::vector<int32_t>{MSG_HELLO, MSG_DISPLAY_INIT, MSG_TOOLBOX, MSG_BRUSH_CURSOR}));
    EXPECT_EQ(d[0].Word(0), int32_t(getpid()));
    EXPECT_EQ(d[1].payload, Words({1, 26}));
    EXPECT_EQ(d[2].payload.size(), size_t(MSG_TOOLBOX_SIZE));
    EXPECT_EQ(d[3].Text(MSG_BR_PATH), Image_Path(G_dabstone->activeBrush));
    EXPECT_EQ(d[3].Word(MSG_BR_CHANGE), MSG_BRC_ALL);
    std::vector<Frame> k = Frames(kernel[0]);
    ASSERT_EQ(Codes(k), (std::vector<int32_t>{MSG_DISPLAY_CONNECTED}));
    EXPECT_EQ(k[0].payload, std::vector<unsigned char>(MSG_PATH_SIZE, 0));
}

TEST_F(Engine, DisplayCloseNamesItsDisplayByAuxTwoOrBySender)
{
    Connect();
    // aux 2: the payload's id decides; another id leaves the link alone.
    Deliver(Dabstone_DisplayClose, MSG_DISPLAY_CLOSE, DisplayPayload(displayId + 1, Image_Path(image)),
            displayId, 2);
    EXPECT_EQ(displayPid, displayId);
    // Any other aux: the sender decides, whatever the payload says.
    Deliver(Dabstone_DisplayClose, MSG_DISPLAY_CLOSE, DisplayPayload(displayId, Image_Path(image)), 12345, 0);
    EXPECT_EQ(displayPid, displayId);
    G_dabstone->applyTarget = DAB_APPLY_BRUSH;
    Deliver(Dabstone_DisplayClose, MSG_DISPLAY_LEAVE, DisplayPayload(0, Image_Path(image)), displayId, 0);
    EXPECT_EQ(displayPid, 0);
    EXPECT_EQ(displayFifo, -1);
    EXPECT_EQ(G_dabstone->applyTarget, DAB_APPLY_NONE);
    EXPECT_EQ(G_dabstone->maskWanted, 1);
}

TEST_F(Engine, AVanishedDisplayCostsOneReportAndIsForgotten)
{
    Connect();
    Fifo_CloseRead(kernelPid, displayId, displayRead);
    displayRead = -1;
    Box box{1, 2, 3, 4, 3, 3, 0};
    testing::internal::CaptureStderr();
    Dabstone_Refresh(&box);
    Dabstone_Refresh(&box);
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(displayFifo, -1);
    EXPECT_EQ(displayPid, 0);
    size_t first = err.find("can't write message");
    ASSERT_NE(first, std::string::npos) << err;
    EXPECT_EQ(err.find("can't write message", first + 1), std::string::npos) << err;
}

std::vector<std::vector<unsigned char>> toolCalls;
void TestTool(void *data, const unsigned char *event)
{
    toolCalls.push_back(std::vector<unsigned char>(event, event + MSG_EVENT_SIZE));
    EXPECT_EQ(data, reinterpret_cast<void *>(&toolCalls));
}

TEST_F(Engine, PointerEventsReachTheToolTheirHandleNames)
{
    toolCalls.clear();
    uint32_t tool = Msghand_NewTailFn(MSGHAND_TAIL_TOOL, TestTool, &toolCalls);
    uint32_t answer = Msghand_NewTailFn(MSGHAND_TAIL_ANSWER, TestTool, &toolCalls);
    Deliver(Dabstone_Event, MSG_POINTER,
            Words({MSG_EVK_PRESS, int32_t(tool), 0, 0, 77, 5, 6, 1, 0, 256}, 64));
    Deliver(Dabstone_Event, MSG_POINTER, Words({MSG_EVK_MOTION, int32_t(tool), 0, 0, 77, 7, 8}, 64));
    ASSERT_EQ(toolCalls.size(), 2u);
    EXPECT_EQ(Bytes_GetS32(&toolCalls[1][4 * MSG_EV_X]), 7);
    // Kind 1, unknown and wrong-kind handles, short records: nothing runs.
    Deliver(Dabstone_Event, MSG_POINTER, Words({MSG_EVK_IGNORED, int32_t(tool)}, 64));
    Deliver(Dabstone_Event, MSG_POINTER, Words({MSG_EVK_PRESS, int32_t(tool + 0x10000)}, 64));
    Deliver(Dabstone_Event, MSG_POINTER, Words({MSG_EVK_PRESS, int32_t(answer)}, 64));
    Deliver(Dabstone_Event, MSG_POINTER, Words({MSG_EVK_PRESS, int32_t(tool)}, 60));
    EXPECT_EQ(toolCalls.size(), 2u);
}

TEST_F(Engine, BrushRectangleEventPlacesOrResetsTheBrush)
{
    Deliver(Dabstone_Event, MSG_POINTER, Words({512, 0, 0, 0, 0, 0, 0, 0, 0, 0, 5, 6, 10, 15, 1, 0}));
    const GG_Dabstone &e = *G_dabstone;
    EXPECT_EQ(e.applyTarget, DAB_APPLY_BRUSH);
    EXPECT_EQ(e.brushShown, 1);
    EXPECT_EQ(e.brushPosBox.x1, 5);
    EXPECT_EQ(e.brushPosBox.y2, 20);
    EXPECT_EQ(e.brushWidth, 10);
    EXPECT_EQ(e.brushHeight, 15);
    Deliver(Dabstone_Event, MSG_POINTER, Words({512, 0, 0, 0, 0, 0, 0, 0, 0, 0, 5, 6, 10, 15, 0, 1}));
    EXPECT_EQ(e.brushShown, 0);
    EXPECT_EQ(e.brushPosBox.x1, 0);
    EXPECT_EQ(e.brushPosBox.x2, 9);
    EXPECT_EQ(e.brushPosBox.height, 15);
}

TEST_F(Engine, MotionControlAndBrushDescriptionPayloads)
{
    Connect();
    Dabstone_AllowMotion(DAB_MOTION_HOLD, 77, 256, 1);
    G_dabstone->applyInProgress = 1;
    Dabstone_AllowMotion(DAB_MOTION_HOLD, 77, 256, 1);
    Dabstone_AllowMotion(DAB_MOTION_ALLOW, 77, 256, 1);
    Dabstone_AllowMotion(DAB_MOTION_END, 77, 256, 1);
    std::vector<Frame> d = Frames(displayRead);
    ASSERT_EQ(d.size(), 4u);
    EXPECT_EQ(d[0].payload, Words({0, 0, 77, 1, 256}));
    EXPECT_EQ(d[1].Word(0), -1) << "apply: hold becomes none";
    EXPECT_EQ(d[2].Word(0), 99) << "apply: allow becomes end";
    EXPECT_EQ(d[3].Word(0), 99);

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

    // Working hides the cursor in the display; idle shows it again.
    Dabstone_Working(1);
    Dabstone_Working(0);
    d = Frames(displayRead);
    ASSERT_EQ(Codes(d), (std::vector<int32_t>{MSG_BRUSH_CURSOR, MSG_BRUSH_CURSOR}));
    EXPECT_EQ(d[0].Text(MSG_BR_PATH), "");
    EXPECT_EQ(d[1].Text(MSG_BR_PATH), Image_Path(e.activeBrush));
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
    EXPECT_EQ(Image_ModifiedB(image), 1);
    EXPECT_STREQ(Image_Modifier(image), "DabStone");
}

TEST_F(Engine, ImageChangeLeavesTheDisplayAndReleasesTheOldImage)
{
    Connect();
    Frames(kernel[0]);
    std::string oldPath = Image_Path(image);
    G_dabstone->announce = 1;
    Image *next = Make(8, 8, IMAGE_MODE_GREY, 8, 0);
    Forget(next);
    Dabstone_SetImage(next);
    image = next;
    std::vector<Frame> d = Frames(displayRead);
    ASSERT_EQ(Codes(d), (std::vector<int32_t>{MSG_DISPLAY_LEAVE}));
    EXPECT_EQ(displayFifo, -1);
    std::vector<Frame> k = Frames(kernel[0]);
    ASSERT_EQ(Codes(k), (std::vector<int32_t>{MSG_RELEASE, MSG_ANNOUNCE}));
    EXPECT_EQ(k[0].Text(0), oldPath);
    EXPECT_EQ(k[0].Word(500), 0);
    EXPECT_EQ(k[1].Text(0), Image_Path(next));
    EXPECT_EQ(G_dabstone->imageBox.x2, 7);
    EXPECT_EQ(G_dabstone->plane, -1);
    EXPECT_EQ(Interface_State().image, next);
}

TEST_F(Engine, WorkImagesAreAskedAndTheirAnswersStoreThem)
{
    Dabstone_AskWorkImages();
    std::vector<Frame> k = Frames(kernel[0]);
    ASSERT_EQ(k.size(), 6u);
    const std::vector<int> expect[6] = {{201, 201, 1, 8, 1}, {201, 201, 1, 8, 1}, {9999, 1, 1, 8, 1},
                                        {89, 89, 2, 8, 1},   {10, 10, 2, 8, 0},   {89, 89, 2, 8, 1}};
    for (size_t i = 0; i < 6; ++i) {
        ASSERT_EQ(k[i].code, MSG_CREATE_WORK);
        ASSERT_EQ(k[i].payload.size(), size_t(MSG_CREATE_SIZE));
        EXPECT_EQ(Geometry(k[i].payload.data()), expect[i]) << i;
        EXPECT_EQ(k[i].Word(MSG_INFO_SIZE + 4), 0) << "client data word";
    }
    // The kernel answers the first request with an image it made.
    Image *made = Make(201, 201, IMAGE_MODE_GREY, 8, 1);
    std::vector<unsigned char> answer = PathPayload(Image_Path(made));
    answer.insert(answer.end(), k[0].payload.begin() + MSG_INFO_SIZE, k[0].payload.end());
    Deliver(Dabstone_WorkImageAnswer, MSG_WORK_CREATED, answer);
    const GG_Dabstone &e = *G_dabstone;
    ASSERT_NE(e.buildinBrush, nullptr);
    EXPECT_STREQ(Image_Path(e.buildinBrush), Image_Path(made));
    EXPECT_EQ(e.activeBrush, e.buildinBrush);
    EXPECT_EQ(e.brushImageBox.width, 201);
    // A reply tail we never gave is ignored, the image not even opened.
    Bytes_Put32(&answer[MSG_PATH_SIZE], 0xFFFF0001u);
    Deliver(Dabstone_WorkImageAnswer, MSG_WORK_CREATED, answer);
    EXPECT_TRUE(Frames(kernel[0]).empty());
}

TEST_F(Engine, SettingsRecordIsClampedOnLoad)
{
    std::vector<unsigned char> record = Words({1652, 500, 0, 150, 1, 5, -3, 1, 2000, 0}, MSG_SETTINGS_SIZE);
    const int32_t color[13] = {2, 300, -4, 20, 256, 0, 0, 0, 400, 50, 50, -9, 0};
    for (int i = 0; i < 13; ++i)
        Bytes_PutS32(&record[4 * (10 + size_t(i))], color[i]);
    Bytes_PutS32(&record[4 * 23], 7); // single-plane colour of kind 7: invalid
    Bytes_PutS32(&record[4 * 36], 0);
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
}

TEST_F(Engine, LoadedSettingsApplyAndAreSavedBackInTheSameLayout)
{
    GG_Dabstone &e = *G_dabstone;
    ColorValue before = e.singleSlot;
    std::vector<unsigned char> in = Words({0, 1652, 60, 40, 50, 1, 1, 80, 1, 0, 1}, MSG_SETTINGS_IN_SIZE);
    Bytes_PutS32(&in[4 + 4 * 10], COLOR_GRAY);
    Bytes_PutS32(&in[4 + 4 * 21], 128);
    Bytes_PutS32(&in[4 + 4 * 23], 9); // invalid single-plane colour
    Bytes_PutS32(&in[4 + 4 * 36], 1);

    e.working = 1; // busy: refused
    Deliver(Dabstone_LoadSettings, MSG_SETTINGS, in);
    EXPECT_EQ(e.spacing, 25);
    e.working = 0;
    Bytes_PutS32(&in[0], 1); // a status other than 0: refused
    Deliver(Dabstone_LoadSettings, MSG_SETTINGS, in);
    EXPECT_EQ(e.spacing, 25);
    Bytes_PutS32(&in[0], 0);
    Deliver(Dabstone_LoadSettings, MSG_SETTINGS, in);
    EXPECT_EQ((std::vector<int>{e.brushWidth, e.opacity, e.traceMode, e.spacing, e.useSelection, e.announce}),
              (std::vector<int>{60, 50, 1, 80, 1, 1}));
    EXPECT_EQ(Interface_State().spacing, 80);
    EXPECT_EQ(e.color.grey, 128) << "colour planes are edited: the colour is taken";
    EXPECT_EQ(std::memcmp(&e.singleSlot, &before, sizeof before), 0);
    std::vector<Frame> k = Frames(kernel[0]);
    ASSERT_FALSE(k.empty());
    EXPECT_EQ(k.back().code, MSG_ANNOUNCE);

    Dabstone_SaveSettings();
    k = Frames(kernel[0]);
    ASSERT_EQ(Codes(k), (std::vector<int32_t>{MSG_SAVE_SETTINGS}));
    ASSERT_EQ(k[0].payload.size(), size_t(MSG_SAVE_SETTINGS_SIZE));
    EXPECT_EQ(k[0].Text(0), "DabStone");
    std::vector<unsigned char> saved(k[0].payload.begin() + MSG_NAME_SIZE,
                                     k[0].payload.begin() + MSG_NAME_SIZE + MSG_SETTINGS_SIZE);
    EXPECT_EQ(std::vector<unsigned char>(saved.begin(), saved.begin() + 40),
              Words({1652, 60, 40, 50, 1, 1, 80, 1, 0, 1}));
    EXPECT_EQ(Bytes_GetS32(&saved[4 * 10]), COLOR_GRAY);
    EXPECT_EQ(Bytes_GetS32(&saved[4 * 21]), 128) << "the colour slot's grey";
    EXPECT_EQ(Bytes_GetS32(&saved[4 * 23]), COLOR_GRAY) << "the single slot as it was";
    EXPECT_EQ(Bytes_GetS32(&saved[4 * 36]), 1);
    EXPECT_TRUE(std::all_of(k[0].payload.begin() + MSG_NAME_SIZE + MSG_SETTINGS_SIZE, k[0].payload.end(),
                            [](unsigned char b) { return b == 0; }));
}

TEST_F(Engine, FailedRebuildRequestEndsTheJobWithAWarning)
{
    Connect();
    GG_Dabstone &e = *G_dabstone;
    e.working = 1;
    e.rebuildPending = 1;
    testing::internal::CaptureStderr();
    Deliver(Dabstone_RequestFailed, MSG_REQUEST_FAILED, Words({MSG_CREATE_REBUILD, 1213}));
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(e.working, 0);
    EXPECT_EQ(e.rebuildPending, 0);
    EXPECT_NE(err.find("warning: can't rebrush : The disk is full"), std::string::npos) << err;
    std::vector<Frame> d = Frames(displayRead);
    ASSERT_FALSE(d.empty());
    EXPECT_EQ(d.back().code, MSG_MOTION);
    EXPECT_EQ(d.back().payload, Words({99, 0, -1, 0, 0}));
}

} // namespace
