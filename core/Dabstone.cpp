#include "core/Dabstone.h"

#include "brush/Work.h"
#include "core/Appli.h"
#include "core/Bytes.h"
#include "core/DabstoneColor.h"
#include "core/Fifo.h"
#include "core/Image.h"
#include "core/Misc.h"
#include "core/Msg.h"
#include "core/OrvError.h"
#include "ui/Alert.h"
#include "ui/Interface.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <unistd.h>

namespace
{
GG_Dabstone engine;

GG_Dabstone &E()
{
    return engine;
}

// ---- Payload helpers ----

// The NUL-terminated path field at offset, cut to what the payload holds.
std::string PathAt(const unsigned char *payload, const MsgHeader *h, int offset)
{
    if (h->length <= offset)
        return {};
    size_t room = std::min<size_t>(MSG_PATH_SIZE, size_t(h->length - offset));
    const char *p = reinterpret_cast<const char *>(payload + offset);
    return std::string(p, strnlen(p, room));
}

void PutPath(unsigned char *field, const char *path, int size)
{
    std::memset(field, 0, size_t(size));
    if (path)
        std::memcpy(field, path, std::min(std::strlen(path), size_t(size - 1)));
}

void PutBox(unsigned char *out, const Box &b)
{
    const int32_t words[7] = {b.x1, b.y1, b.x2, b.y2, b.width, b.height, 0};
    for (int i = 0; i < 7; ++i)
        Bytes_PutS32(out + 4 * i, words[i]);
}

void PutColor(unsigned char *out, const ColorValue &c)
{
    const int32_t *words = &c.mode;
    for (int i = 0; i < 13; ++i)
        Bytes_PutS32(out + 4 * i, words[i]);
}

ColorValue GetColor(const unsigned char *in)
{
    ColorValue c;
    int32_t *words = &c.mode;
    for (int i = 0; i < 13; ++i)
        words[i] = Bytes_GetS32(in + 4 * i);
    return c;
}

Box MakeBox(int32_t x, int32_t y, int32_t width, int32_t height)
{
    // The far corner in 64 bits: x + width alone may pass INT32_MAX even when
    // the corner itself fits.
    return Box{x, y, int32_t(int64_t(x) + width - 1), int32_t(int64_t(y) + height - 1), width, height, 0};
}

Box BoxOf(const Image *image)
{
    return image ? MakeBox(0, 0, Image_Width(image), Image_Height(image)) : MakeBox(0, 0, 0, 0);
}

bool IsPathOf(const Image *image, const std::string &path)
{
    return image && path == Image_Path(image);
}

void ForgetDisplay()
{
    if (displayFifo >= 0)
        Fifo_CloseWrite(kernelPid, displayPid, displayFifo);
    displayFifo = -1;
    displayPid = 0;
}

void SendPid(void (*send)(int32_t, const void *, int), int32_t code)
{
    unsigned char pid[4];
    Bytes_PutS32(pid, int32_t(getpid()));
    send(code, pid, 4);
}

// Tells the display we leave it, then closes its FIFO.
void LeaveDisplay()
{
    if (displayFifo >= 0)
        SendPid(Dabstone_SendDisplay, MSG_DISPLAY_LEAVE);
    ForgetDisplay();
}

void SendPathMessage(int32_t code, const char *path, const int32_t *words, int count)
{
    unsigned char payload[MSG_PATH_SIZE + 16] = {};
    PutPath(payload, path, MSG_PATH_SIZE);
    for (int i = 0; i < count; ++i)
        Bytes_PutS32(payload + MSG_PATH_SIZE + 4 * i, words[i]);
    Dabstone_SendKernel(code, payload, MSG_PATH_SIZE + 4 * count);
}

void SendRect(int32_t code, const Box *box)
{
    unsigned char payload[MSG_RECT_SIZE];
    const int32_t words[4] = {box->x1, box->y1, box->width, box->height};
    for (int i = 0; i < 4; ++i)
        Bytes_PutS32(payload + 4 * i, words[i]);
    Dabstone_SendDisplay(code, payload, MSG_RECT_SIZE);
}

// ---- Work images ----

struct WorkImage {
    int mode, width, height, alpha;
};
// In the order of the requests; the slot number is the reply tail's data.
constexpr WorkImage kWorkImages[6] = {
    {IMAGE_MODE_GREY, 201, 201, 1}, // 1 built-in brush
    {IMAGE_MODE_GREY, 201, 201, 1}, // 2 stroke brush
    {IMAGE_MODE_GREY, 9999, 1, 1},  // 3 row buffer
    {IMAGE_MODE_RGB, 89, 89, 1},    // 4 brush preview
    {IMAGE_MODE_RGB, 10, 10, 0},    // 5 colour swatch
    {IMAGE_MODE_RGB, 89, 89, 1},    // 6 colour wheel
};

Image **WorkSlot(int slot)
{
    GG_Dabstone &e = E();
    Image **slots[6] = {&e.buildinBrush, &e.strokeBrush, &e.rowBuffer,
                        &e.previewImage, &e.colorImage,  &e.wheelImage};
    return slot >= 1 && slot <= 6 ? slots[slot - 1] : nullptr;
}

void WorkImageArrived(Image *image, void *data)
{
    int slot = int(reinterpret_cast<intptr_t>(data));
    Image **where = WorkSlot(slot);
    if (!where || *where) {
        // A second answer for the same request: keep the first image.
        Image_CloseImage(image);
        return;
    }
    *where = image;
    GG_Dabstone &e = E();
    switch (slot) {
    case 1:
        if (e.brushKind != DAB_BRUSH_USER) {
            Dabstone_DrawBuildinBrush();
            e.activeBrush = image;
            e.brushImageBox = BoxOf(image);
            Dabstone_SetBrushInDisplay();
        }
        break;
    case 3:
        e.rowBufferBox = BoxOf(image);
        break;
    case 4:
        // Least form until the brush preview picture exists: its "image"
        // resource is set by Interface_SetBrush's owner.
        Interface_SetBrush(e.activeBrush, &e.brushImageBox, e.brushWidth, e.brushHeight);
        break;
    default:
        // 5 and 6 go to the colour picker (Colorer_SetImage,
        // Colorer_SetWheelImage): least form until it exists.
        break;
    }
}

uint32_t WorkHandle(int slot)
{
    static uint32_t handles[7];
    if (!handles[slot])
        handles[slot] =
            Msghand_NewTailFn(MSGHAND_TAIL_IMAGE, WorkImageArrived, reinterpret_cast<void *>(intptr_t(slot)));
    return handles[slot];
}

// 2003 and 2009: open the named image and hand it to the reply tail.
void OpenAnswer(const unsigned char *payload, const MsgHeader *h, const char *failure)
{
    if (h->length < MSG_PATH_TAIL_SIZE)
        return;
    DabstoneImageProc routine = nullptr;
    void *data = nullptr;
    if (!Msghand_FindTailFn(Bytes_Get32(payload + MSG_PATH_SIZE), MSGHAND_TAIL_IMAGE, &routine, &data))
        return; // not an answer to anything we asked
    Image *image = nullptr;
    int rc = Image_OpenImage(&image, PathAt(payload, h, 0).c_str());
    if (rc != 0) {
        Dabstone_Quit(failure, rc);
        return;
    }
    routine(image, data);
}

// ---- Images given to the program ----

void ChangeImage(Image *image, void *)
{
    if (Dabstone_IsWorking()) {
        Image_CloseImage(image);
        Alert_Warning("can't change image", ORV_NOT_READY);
        return;
    }
    Dabstone_SetImage(image);
}

void ChangeBrush(Image *image, void *)
{
    if (Dabstone_IsWorking()) {
        Image_CloseImage(image);
        Alert_Warning("can't change brush", ORV_NOT_READY);
        return;
    }
    Dabstone_SetUserBrush(image, 0);
}

uint32_t ChangeImageHandle()
{
    static uint32_t handle = Msghand_NewTailFn(MSGHAND_TAIL_IMAGE, ChangeImage, nullptr);
    return handle;
}

void GivenToMainWindow(const std::string &path)
{
    GG_Dabstone &e = E();
    Interface_Raise();
    if (path.empty() || IsPathOf(e.image, path))
        return;
    if (Dabstone_IsWorking()) {
        Alert_Warning("can't change image", ORV_NOT_READY);
        return;
    }
    if (IsPathOf(e.userBrush, path))
        Dabstone_SetUserBrush(nullptr, 0);
    Dabstone_AskImage(path.c_str(), ChangeImageHandle());
}

void MainDrop(const unsigned char *payload, const MsgHeader *h, void *)
{
    GivenToMainWindow(PathAt(payload, h, MSG_ANSWER_DATA));
}

void BrushDrop(const unsigned char *payload, const MsgHeader *h, void *)
{
    GG_Dabstone &e = E();
    std::string path = PathAt(payload, h, MSG_ANSWER_DATA);
    Interface_Raise();
    if (path.empty())
        return;
    if (IsPathOf(e.userBrush, path))
        Dabstone_ResetUserBrush();
    else if (IsPathOf(e.image, path))
        Alert_Warning("can't paste an image into itself !", 0);
    else if (Dabstone_IsWorking())
        Alert_Warning("can't change brush", ORV_NOT_READY);
    else
        Dabstone_AskImage(path.c_str(), Dabstone_ChangeBrushHandle());
}

int32_t Clamp(int32_t v, int32_t lo, int32_t hi)
{
    return std::clamp(v, lo, hi);
}

int DecodeColor(const unsigned char *in, ColorValue *out)
{
    ColorValue c = GetColor(in);
    if (c.mode < 1 || c.mode > 3)
        return 0;
    for (int32_t *w : {&c.red, &c.green, &c.blue, &c.cyan, &c.magenta, &c.yellow, &c.black, &c.grey})
        *w = Clamp(*w, 0, 255);
    *out = c;
    return 1;
}

void AnnounceImage()
{
    if (E().announce && E().image)
        SendPathMessage(MSG_ANNOUNCE, Image_Path(E().image), nullptr, 0);
}

bool SmallEnoughForUndo(const Image *image)
{
    return image && Image_SizeMegabytes(image) <= double(E().undoLimit);
}

} // namespace

GG_Dabstone *G_dabstone = &engine;

// ---- Sending ----

void Dabstone_SendKernel(int32_t code, const void *payload, int length)
{
    if (kernelFifo < 0)
        return;
    int rc = Msg_write(kernelFifo, code, 0, payload, length);
    if (rc == EPIPE || rc == ETIMEDOUT)
        Dabstone_KernelGone();
}

void Dabstone_KernelGone()
{
    Misc_OpenError("Sorbane has gone", ORV_CONNECTION_OFF);
    Fifo_CloseWrite(kernelPid, kernelPid, kernelFifo);
    kernelFifo = -1;
    faultChannel = -1;
    Dabstone_Exit("", ORV_CONNECTION_OFF);
}

void Dabstone_SendDisplay(int32_t code, const void *payload, int length)
{
    if (displayFifo < 0)
        return;
    if (Msg_write(displayFifo, code, 0, payload, length) != 0)
        ForgetDisplay(); // gone or no longer reading: one report, then silence
}

void Dabstone_AskImage(const char *path, uint32_t handle)
{
    const int32_t tail[2] = {int32_t(handle), 0};
    SendPathMessage(MSG_OPEN_IMAGE, path, tail, 2);
}

uint32_t Dabstone_ChangeBrushHandle()
{
    static uint32_t handle = Msghand_NewTailFn(MSGHAND_TAIL_IMAGE, ChangeBrush, nullptr);
    return handle;
}

uint32_t Dabstone_MainDropHandle()
{
    static uint32_t handle = Msghand_NewTailFn(MSGHAND_TAIL_ANSWER, MainDrop, nullptr);
    return handle;
}

uint32_t Dabstone_BrushDropHandle()
{
    static uint32_t handle = Msghand_NewTailFn(MSGHAND_TAIL_ANSWER, BrushDrop, nullptr);
    return handle;
}

// ---- Start-up steps ----

void Dabstone_InitState()
{
    GG_Dabstone &e = E();
    e.image = e.userBrush = e.userBrushMask = nullptr;
    e.brushMaskRequested = 0;
    e.activeBrush = e.activeBrush2 = nullptr;
    e.buildinBrush = e.strokeBrush = e.rowBuffer = e.wheelImage = e.previewImage = e.colorImage = nullptr;
    e.undoImage = nullptr;
    e.undoRequest = 0;
    e.mask = nullptr;
    e.rebuildPending = 0;
    e.applyInProgress = 0;
    e.undoReady = 1;
    e.applyTarget = DAB_APPLY_NONE;
    e.undoBoxes = List_New();
    e.targets = List_New();
}

void Dabstone_InitDefaults()
{
    GG_Dabstone &e = E();
    e.dithering = 1;
    e.brushKind = DAB_BRUSH_BUILDIN;
    e.aero = 0;
    e.floating = 1;
    e.opacity = 100;
    e.spacing = 25;
    e.brushWidth = e.brushHeight = 31;
    e.brushPosBox = MakeBox(0, 0, 31, 31);
    e.savedWidth = e.savedHeight = 31;
    e.savedOpacity = 100;
    e.savedAero = 0;
    e.traceMode = 0;
    e.brushLink = 1;
    e.refWidth = e.refHeight = 31;
    e.op = 0;
    e.singleSlot = ColorValue{};
    e.singleSlot.mode = COLOR_GRAY;
    Dabstone_InitColors();
    e.useSelection = 0;
    e.undoLimit = 0;
    e.announce = 0;
    Interface_SetType(0, 0, 1);
    Interface_SetOpacity(100);
    Interface_SetSpacing(25);
    Interface_SetDims(31, 31);
    Interface_SetOp(0);
    Interface_SetBrushLink(1);
    Interface_SetPath(0);
    Interface_SetUseSelection(0);
}

void Dabstone_AskWorkImages()
{
    for (int slot = 1; slot <= 6; ++slot) {
        const WorkImage &w = kWorkImages[slot - 1];
        unsigned char payload[MSG_CREATE_SIZE] = {};
        Image_MakeInfo(payload, w.width, w.height, w.mode, 8, w.alpha);
        Bytes_Put32(payload + MSG_INFO_SIZE, WorkHandle(slot));
        Dabstone_SendKernel(MSG_CREATE_WORK, payload, MSG_CREATE_SIZE);
    }
}

// ---- State ----

void Dabstone_Working(int flag)
{
    E().working = flag;
    Interface_Working(flag);
    if (flag)
        Dabstone_RemBrushInDisplay();
    else
        Dabstone_SetBrushInDisplay();
}

int Dabstone_IsWorking()
{
    return E().working;
}

void Dabstone_SetImage(Image *image)
{
    GG_Dabstone &e = E();
    bool colorPlanes = Dabstone_EditingColorPlanes();
    Image *old = e.image;
    if (old) {
        Dabstone_DestroyUndo();
        if (e.mask)
            Dabstone_DestroyMask();
        LeaveDisplay();
        const int32_t followUp = 0;
        SendPathMessage(MSG_RELEASE, Image_Path(old), &followUp, 1);
    }
    // The picker keeps a colour per plane kind; a new image starts on its
    // colour planes, in its colour mode.
    Dabstone_SaveColorToSlot(colorPlanes);
    Dabstone_ColorsForImage(image);

    // The picture widget's "image" resource: least form until it exists.
    e.image = image;
    e.imageBox = BoxOf(image);

    Dabstone_MakeStdMask();
    e.maskWanted = 1;
    e.selectionInProgress = 0;
    e.undoImage = nullptr;
    e.undoRequest = 0;
    e.plane = -1;
    e.alpha = 1;
    Interface_SetImage(image, -1, 1);

    if (old)
        Image_CloseImage(old);
    e.applyTarget = DAB_APPLY_NONE;
    AnnounceImage();
    if (Interface_IsRealized() && SmallEnoughForUndo(image))
        Interface_CallUseUndo();
}

// ---- Display process ----

void Dabstone_Event(const unsigned char *payload, const MsgHeader *h, void *)
{
    if (h->length < MSG_EVENT_SIZE)
        return;
    auto word = [payload](int i) { return Bytes_GetS32(payload + 4 * i); };
    GG_Dabstone &e = E();
    int32_t kind = word(MSG_EV_KIND);
    if (kind == MSG_EVK_IGNORED)
        return;
    if (kind == MSG_EVK_BRUSH_RECT) {
        // The running job paints with the brush size it started with: the
        // display's placing waits for the next one (refused, like the other
        // changes while working).
        if (e.working)
            return;
        e.applyTarget = DAB_APPLY_BRUSH;
        e.brushShown = word(MSG_EV_FLAG1);
        if (word(MSG_EV_FLAG1) == 0 && word(MSG_EV_FLAG2) != 0) {
            e.brushPosBox = MakeBox(0, 0, e.brushWidth, e.brushHeight);
            return;
        }
        int32_t width = word(MSG_EV_RECT_W), height = word(MSG_EV_RECT_H);
        // A rectangle reaching beyond a billion pixels means nothing; the
        // bound leaves room for the recentring arithmetic of a size change.
        auto fits = [](int32_t from, int32_t size) {
            constexpr int64_t far = int64_t(1) << 30;
            int64_t last = int64_t(from) + size - 1;
            return from >= -far && from <= far && last >= -far && last <= far;
        };
        if (!fits(word(MSG_EV_RECT_X), width) || !fits(word(MSG_EV_RECT_Y), height))
            return;
        e.brushPosBox = MakeBox(word(MSG_EV_RECT_X), word(MSG_EV_RECT_Y), width, height);
        Dabstone_SetDims(width, height, 1);
        return;
    }
    // The tool the display names by the handle the toolbox gave it; any
    // other word is ignored.
    void (*tool)(void *, const unsigned char *) = nullptr;
    void *data = nullptr;
    if (Msghand_FindTailFn(uint32_t(word(MSG_EV_CALLBACK)), MSGHAND_TAIL_TOOL, &tool, &data))
        tool(data, payload);
}

void Dabstone_AllowMotion(int mode, int32_t window, int32_t stateMask, int32_t button)
{
    if (E().applyInProgress) {
        // Apply paints without the pointer: hold and allow become none and end.
        if (mode == DAB_MOTION_HOLD)
            mode = DAB_MOTION_NONE;
        else if (mode == DAB_MOTION_ALLOW)
            mode = DAB_MOTION_END;
    }
    unsigned char payload[MSG_MOTION_SIZE];
    const int32_t words[5] = {mode, 0, window, button, stateMask};
    for (int i = 0; i < 5; ++i)
        Bytes_PutS32(payload + 4 * i, words[i]);
    Dabstone_SendDisplay(MSG_MOTION, payload, MSG_MOTION_SIZE);
}

void Dabstone_BrushDescription(unsigned char *out, int change, int remove)
{
    const GG_Dabstone &e = E();
    std::memset(out, 0, MSG_BRUSH_SIZE);
    if (!remove) {
        PutPath(out + MSG_BR_PATH, e.activeBrush ? Image_Path(e.activeBrush) : "", MSG_BR_PATH_FIELD);
        PutPath(out + MSG_BR_PATH2, e.activeBrush2 ? Image_Path(e.activeBrush2) : "", MSG_BR_PATH_FIELD);
    }
    PutBox(out + MSG_BR_IMAGE_BOX, e.brushImageBox);
    PutBox(out + MSG_BR_POS_BOX, e.brushPosBox);
    Bytes_PutS32(out + MSG_BR_OP_SIGN, e.op ? -1 : 1);
    Bytes_PutS32(out + MSG_BR_FLOATING, e.floating);
    PutColor(out + MSG_BR_COLOR, e.color);
    Bytes_PutS32(out + MSG_BR_CHANGE, change);
}

void Dabstone_SetBrushInDisplay()
{
    if (!E().activeBrush || displayFifo < 0)
        return;
    unsigned char payload[MSG_BRUSH_SIZE];
    Dabstone_BrushDescription(payload, MSG_BRC_ALL, 0);
    Dabstone_SendDisplay(MSG_BRUSH_CURSOR, payload, MSG_BRUSH_SIZE);
}

void Dabstone_RemBrushInDisplay()
{
    if (displayFifo < 0)
        return;
    unsigned char payload[MSG_BRUSH_SIZE];
    Dabstone_BrushDescription(payload, MSG_BRC_ALL, 1);
    Dabstone_SendDisplay(MSG_BRUSH_CURSOR, payload, MSG_BRUSH_SIZE);
}

void Dabstone_Refresh(const Box *box)
{
    SendRect(MSG_REDRAW, box);
}

void Dabstone_DirectRefresh(const Box *box)
{
    SendRect(MSG_REDRAW_NOW, box);
}

void Dabstone_BigRefresh(const Box *box)
{
    GG_Dabstone &e = E();
    if (!e.image)
        return;
    int32_t first = std::max(box->y1, e.imageBox.y1), last = std::min(box->y2, e.imageBox.y2);
    if (first <= last) {
        const int32_t rows[2] = {first, last - first + 1};
        SendPathMessage(MSG_ROWS_CHANGED, Image_Path(e.image), rows, 2);
    }
    // XcPictureRefresh of the thumbnail: least form until the picture widget exists.
    Image_SetModified(e.image, Appli_Name(), std::time(nullptr));
}

namespace
{
void ForEachBox(List *boxes, void (*routine)(const Box *))
{
    if (!boxes)
        return;
    for (int rc = List_GoFirst(boxes); rc == LIST_OK; rc = List_GoNext(boxes))
        routine(static_cast<const Box *>(List_Current(boxes)));
}
} // namespace

void Dabstone_RefreshList(List *boxes)
{
    ForEachBox(boxes, Dabstone_Refresh);
}

void Dabstone_BigRefreshList(List *boxes)
{
    ForEachBox(boxes, Dabstone_BigRefresh);
}

void Dabstone_DisplayConnect(const unsigned char *payload, const MsgHeader *h, void *)
{
    GG_Dabstone &e = E();
    if (h->length < MSG_DISPLAY_PATH || !IsPathOf(e.image, PathAt(payload, h, MSG_DISPLAY_PATH)))
        return;
    int32_t id = Bytes_GetS32(payload);
    // Our own FIFO (or the kernel's) as a display would have us write to a
    // reader that is ourselves: refused.
    if (id <= 0 || id == int32_t(getpid()) || id == kernelPid)
        return;
    if (displayFifo >= 0 && displayPid != id)
        LeaveDisplay();
    ForgetDisplay(); // the same display again: its new FIFO replaces the old
    displayPid = id;
    displayFifo = Fifo_OpenWrite(kernelPid, id);
    if (displayFifo < 0) {
        displayPid = 0;
        return;
    }
    SendPid(Dabstone_SendDisplay, MSG_HELLO);
    unsigned char zeros[MSG_PATH_SIZE] = {};
    Dabstone_SendKernel(MSG_DISPLAY_CONNECTED, zeros, MSG_PATH_SIZE);
    unsigned char init[MSG_DISPLAY_INIT_SIZE];
    Bytes_PutS32(init, 1);
    Bytes_PutS32(init + 4, 26);
    Dabstone_SendDisplay(MSG_DISPLAY_INIT, init, MSG_DISPLAY_INIT_SIZE);
    static unsigned char toolbox[MSG_TOOLBOX_SIZE];
    Interface_MakeToolbox(toolbox);
    Dabstone_SendDisplay(MSG_TOOLBOX, toolbox, MSG_TOOLBOX_SIZE);
    e.applyTarget = DAB_APPLY_NONE;
    Dabstone_SetBrushInDisplay();
}

void Dabstone_DisplayClose(const unsigned char *payload, const MsgHeader *h, void *)
{
    GG_Dabstone &e = E();
    if (h->length < MSG_DISPLAY_PATH || !IsPathOf(e.image, PathAt(payload, h, MSG_DISPLAY_PATH)))
        return;
    int32_t meant = h->aux == 2 ? Bytes_GetS32(payload) : h->sender;
    if (displayFifo >= 0 && meant == displayPid)
        ForgetDisplay();
    if (e.working && !e.rebuildPending)
        Work_BrutalStop();
    e.brushShown = 0;
    Dabstone_MakeStdMask();
    e.maskWanted = 1;
    e.selectionInProgress = 0;
    e.applyTarget = DAB_APPLY_NONE;
}

// ---- Other messages ----

void Dabstone_WorkImageAnswer(const unsigned char *payload, const MsgHeader *h, void *)
{
    OpenAnswer(payload, h, "can't open tmp-image");
}

void Dabstone_ImageAnswer(const unsigned char *payload, const MsgHeader *h, void *)
{
    OpenAnswer(payload, h, "can't open image");
}

void Dabstone_ImageGiven(const unsigned char *payload, const MsgHeader *h, void *)
{
    GivenToMainWindow(PathAt(payload, h, 0));
}

void Dabstone_ImageWanted(const unsigned char *payload, const MsgHeader *h, void *)
{
    GG_Dabstone &e = E();
    if (Dabstone_IsWorking())
        return;
    std::string path = PathAt(payload, h, 0);
    if (IsPathOf(e.image, path))
        Alert_Warning("please Quit to release this image for another task", 0);
    else if (IsPathOf(e.userBrush, path))
        Dabstone_SetUserBrush(nullptr, 99);
}

void Dabstone_RequestFailed(const unsigned char *payload, const MsgHeader *h, void *)
{
    if (h->length < MSG_FAILED_SIZE)
        return;
    int32_t request = Bytes_GetS32(payload), error = Bytes_GetS32(payload + 4);
    if (error == 0)
        return;
    GG_Dabstone &e = E();
    if (request == MSG_CREATE_WORK) {
        e.undoLimit = 0;
        Dabstone_SaveSettings();
        Dabstone_Quit("can't get ressources", ORV_NO_MEMORY);
    } else if (request == MSG_CREATE_REBUILD && e.rebuildPending) {
        // Only the rebuild's own job is ended: a report no rebuild waits for
        // must not clear the working flag under a running stroke.
        e.rebuildPending = 0;
        Dabstone_Working(0);
        Dabstone_AllowMotion(DAB_MOTION_END, -1, 0, 0);
        Alert_Warning("can't rebrush", error);
    }
}

// ---- Quitting ----

namespace
{
void ConfirmedQuit(void *)
{
    Dabstone_Exit("", 0);
}

// Refusing the question lets the job go on; the action is what gives the
// dialog its cancel button.
void QuitRefused(void *) {}
} // namespace

void Dabstone_Quit(const char *text, int32_t code)
{
    if ((!text || !*text) && code == 0 && Dabstone_IsWorking()) {
        Alert_Prompt("job not finisehd. Quit anyway ?", 0, ConfirmedQuit, QuitRefused, nullptr);
        return;
    }
    Dabstone_Exit(text, code);
}

void Dabstone_Exit(const char *, int32_t code)
{
    GG_Dabstone &e = E();
    if (e.brushKind == DAB_BRUSH_USER && e.userBrushSource == 2 && e.userBrush)
        SendPathMessage(MSG_GIVE_BACK, Image_Path(e.userBrush), nullptr, 0);
    if (code == 0)
        Dabstone_SaveSettings();
    Dabstone_EndLinks(code);
    std::exit(code);
}

void Dabstone_EndLinks(int32_t code)
{
    if (kernelFifo >= 0) {
        unsigned char status[4];
        Bytes_PutS32(status, code);
        Msg_write(kernelFifo, MSG_EXIT, code, status, 4);
        Fifo_CloseWrite(kernelPid, kernelPid, kernelFifo);
        kernelFifo = -1;
        faultChannel = -1;
    }
    if (appliFifo >= 0) {
        Fifo_CloseRead(kernelPid, int(getpid()), appliFifo);
        appliFifo = -1;
    }
}

void Dabstone_KernelQuit(const unsigned char *, const MsgHeader *, void *)
{
    Dabstone_EndLinks(0);
    std::exit(0);
}

// ---- Settings ----

int Dabstone_DecodeSettings(const unsigned char *record, DabSettings *out)
{
    auto word = [record](int i) { return Bytes_GetS32(record + 4 * i); };
    if (word(0) != MSG_SETTINGS_MAGIC)
        return 0;
    DabSettings s{};
    s.width = Clamp(word(1), 1, 201);
    s.height = Clamp(word(2), 1, 201);
    s.opacity = Clamp(word(3), 1, 100);
    s.aero = word(4);
    s.traceMode = Clamp(word(5), 0, 2);
    s.spacing = Clamp(word(6), 0, 200);
    s.useSelection = word(7);
    s.undoLimit = Clamp(word(8), 0, 999);
    s.announce = word(9);
    s.colorValid = DecodeColor(record + 4 * 10, &s.color);
    s.singleValid = DecodeColor(record + 4 * 23, &s.single);
    s.dithering = word(36);
    *out = s;
    return 1;
}

void Dabstone_EncodeSettings(unsigned char *record)
{
    GG_Dabstone &e = E();
    Dabstone_SaveColorToSlot(Dabstone_EditingColorPlanes());
    bool buildin = e.brushKind != DAB_BRUSH_USER;
    const int32_t words[10] = {MSG_SETTINGS_MAGIC,
                               buildin ? e.brushWidth : e.savedWidth,
                               buildin ? e.brushHeight : e.savedHeight,
                               buildin ? e.opacity : e.savedOpacity,
                               buildin ? e.aero : e.savedAero,
                               e.traceMode,
                               e.spacing,
                               e.useSelection,
                               e.undoLimit,
                               e.announce};
    for (int i = 0; i < 10; ++i)
        Bytes_PutS32(record + 4 * i, words[i]);
    PutColor(record + 4 * 10, e.colorSlot);
    PutColor(record + 4 * 23, e.singleSlot);
    Bytes_PutS32(record + 4 * 36, e.dithering);
}

void Dabstone_SaveSettings()
{
    static unsigned char payload[MSG_SAVE_SETTINGS_SIZE];
    std::memset(payload, 0, sizeof payload);
    PutPath(payload, Appli_Name(), MSG_NAME_SIZE);
    Dabstone_EncodeSettings(payload + MSG_NAME_SIZE);
    Dabstone_SendKernel(MSG_SAVE_SETTINGS, payload, MSG_SAVE_SETTINGS_SIZE);
}

void Dabstone_LoadSettings(const unsigned char *payload, const MsgHeader *h, void *)
{
    DabSettings s;
    if (h->length < MSG_SETTINGS_IN_SIZE || Bytes_GetS32(payload) != 0 || Dabstone_IsWorking() ||
        !Dabstone_DecodeSettings(payload + 4, &s))
        return;
    GG_Dabstone &e = E();
    e.savedWidth = s.width;
    e.savedHeight = s.height;
    e.savedOpacity = s.opacity;
    e.savedAero = s.aero;
    if (e.brushKind != DAB_BRUSH_USER)
        Dabstone_SetUserBrush(nullptr, 0); // rebuilds the built-in brush from the saved values
    Dabstone_SetPath(s.traceMode);
    Dabstone_SetSpacing(s.spacing);
    Dabstone_SetUseSelection(s.useSelection);
    e.undoLimit = s.undoLimit;
    e.announce = s.announce;
    AnnounceImage();
    if (!e.undoImage && !e.undoRequest && SmallEnoughForUndo(e.image))
        Interface_CallUseUndo();
    bool colorPlanes = Dabstone_EditingColorPlanes();
    const int space = Dabstone_PickerColor().mode;
    if (s.colorValid) {
        e.colorSlot = s.color;
        if (colorPlanes)
            Dabstone_PickSlot(space, e.colorSlot);
    }
    if (s.singleValid) {
        e.singleSlot = s.single;
        if (!colorPlanes)
            Dabstone_PickSlot(space, e.singleSlot);
    }
    e.dithering = s.dithering;
}
