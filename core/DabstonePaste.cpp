#include "core/DabstonePaste.h"

#include "brush/Pipette.h"
#include "brush/Undo.h"
#include "brush/Work.h"
#include "core/Bytes.h"
#include "core/DabstoneBrush.h"
#include "core/DabstoneCodec.h"
#include "core/Image.h"
#include "core/Msg.h"
#include "core/OrvError.h"
#include "ui/Alert.h"
#include "ui/Interface.h"
#include "xc/Visual.h"

#include <X11/Xlib.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>
#include <unistd.h>
#include <utility>
#include <vector>

namespace
{

GG_Dabstone &E()
{
    return *G_dabstone;
}

const char *const kNotNow = "can't do that just now. Please try later...";

// Undo requests are numbered from 1; 0 means none pending.
int undoCounter;

void FreeBox(void *b)
{
    Box_Free(static_cast<Box *>(b));
}

// Gives an image created for the program back to the kernel for deletion.
void DeleteImage(Image *image)
{
    Dabstone_SendPath(MSG_DELETE, Image_Path(image));
    Image_CloseImage(image);
}

// ---- Apply ----

void HandToTool(int tool, int32_t kind, int32_t x, int32_t y)
{
    unsigned char event[MSG_EVENT_SIZE] = {};
    Msg_PutWord(event, MSG_EV_KIND, kind);
    Msg_PutWord(event, MSG_EV_CALLBACK, int32_t(Interface_ToolHandle(tool)));
    Msg_PutWord(event, MSG_EV_WINDOW, E().applyTarget);
    Msg_PutWord(event, MSG_EV_X, x);
    Msg_PutWord(event, MSG_EV_Y, y);
    Msg_PutWord(event, MSG_EV_BUTTON, 1);
    Msg_PutWord(event, MSG_EV_STATE, MSG_STATE_BUTTON1);
    MsgHeader h{int32_t(getpid()), MSG_POINTER, 0, MSG_EVENT_SIZE};
    Dabstone_Event(event, &h, nullptr);
}

// ---- Undo ----

// Every undo request has a reply tail of its own that carries its number,
// so that a late answer to a request given up since is recognised; the
// tail is given up with its one answer.
std::vector<std::pair<int, uint32_t>> undoTails; // request number, tail

void ReleaseUndoTail(int number)
{
    for (auto it = undoTails.begin(); it != undoTails.end(); ++it)
        if (it->first == number) {
            Handle_Release(it->second);
            undoTails.erase(it);
            return;
        }
}

void UndoArrived(Image *image, void *clientData)
{
    GG_Dabstone &e = E();
    int number = int(reinterpret_cast<intptr_t>(clientData));
    ReleaseUndoTail(number);
    if (number != e.undoRequest) {
        DeleteImage(image); // an answer to a request given up since
        return;
    }
    if (!Undo_SameLayout(image, e.image)) {
        // Not what was asked for: undo cannot work on it.
        DeleteImage(image);
        Dabstone_DestroyUndo();
        Alert_Warning("undo not available", 0);
        return;
    }
    e.undoImage = image;
    e.undoReady = 0;
    e.undoRequest = 0;
    Undo_Init();
}

void EndRebuild()
{
    E().rebuildPending = 0;
    Dabstone_Working(0);
    Dabstone_AllowMotion(MSG_MOTION_END, -1, 0, 0);
}

void RebuildConfirmed(void *);
void NotConfirmed(void *) {}

} // namespace

// ---- Apply ----

void Dabstone_Apply()
{
    GG_Dabstone &e = E();
    if (Dabstone_IsWorking()) {
        Alert_Warning(kNotNow, 0);
        return;
    }
    int tool;
    int32_t x = 0, y = 0;
    if (e.applyTarget == MSG_APPLY_BRUSH && e.activeBrush && e.brushShown) {
        tool = TOOL_BRUSH;
        x = e.brushPosBox.x1 + e.brushPosBox.width / 2;
        y = e.brushPosBox.y1 + e.brushPosBox.height / 2;
    } else if (e.applyTarget == MSG_APPLY_FILL) {
        tool = TOOL_FILL;
    } else {
        Alert_Warning("nothing to apply !", 0);
        return;
    }
    e.applyInProgress = 1;
    HandToTool(tool, MSG_EVK_PRESS, x, y);
    HandToTool(tool, MSG_EVK_RELEASE, x, y);
    e.applyInProgress = 0;
}

void Dabstone_Action(const unsigned char *payload, const MsgHeader *h, void *)
{
    GG_Dabstone &e = E();
    if (h->length < MSG_ACTION_SIZE || !Dabstone_IsPathOf(e.image, Msg_Path(payload, h->length, 0)))
        return;
    if (Dabstone_IsWorking()) {
        if (e.defaultVisual && e.defaultVisual->display)
            XBell(e.defaultVisual->display, 0);
        return;
    }
    const int32_t action = Bytes_Field(payload, MSG_ACT_ACTION);
    if (action == MSG_ACTION_UNDO) {
        Dabstone_Undo();
    } else if (action == MSG_ACTION_APPLY) {
        e.applyTarget = Bytes_Field(payload, MSG_ACT_TARGET);
        Interface_CallApply();
        if (e.applyTarget == MSG_APPLY_FILL)
            e.applyTarget = MSG_APPLY_NONE;
    }
}

// ---- Paste ----

void Dabstone_Paste(const unsigned char *payload, const MsgHeader *h, void *)
{
    GG_Dabstone &e = E();
    if (h->length < MSG_PASTE_SIZE)
        return;
    std::string path = Msg_Path(payload, h->length, 0);
    const int lent = Bytes_Field(payload, MSG_PATH_SIZE) != 0;
    if (path.empty())
        return;
    if (Dabstone_IsPathOf(e.userBrush, path)) {
        Dabstone_ResetUserBrush();
        return;
    }
    const char *refusal = nullptr;
    if (Dabstone_IsPathOf(e.image, path))
        refusal = "can't paste an image into itself !";
    else if (Dabstone_IsWorking())
        refusal = "can't paste just now. Please try later...";
    if (refusal) {
        Alert_Warning(refusal, 0);
        if (lent)
            Dabstone_SendPath(MSG_GIVE_BACK, path.c_str());
        return;
    }
    if (!lent) {
        Dabstone_AskImage(path.c_str(), Dabstone_ChangeBrushHandle());
        return;
    }
    Image *image = nullptr;
    int rc = Image_OpenImage(&image, path.c_str());
    if (rc != 0) {
        Alert_Warning("can't paste", rc);
        Dabstone_SendPath(MSG_GIVE_BACK, path.c_str());
        return;
    }
    Dabstone_SetUserBrush(image, DAB_SOURCE_LENT);
}

// ---- Target list and mask ----

void Dabstone_MakeStdMask()
{
    GG_Dabstone &e = E();
    List_Empty(e.targets, FreeBox);
    if (!e.image)
        return;
    Box *whole = Box_Dup(&e.imageBox);
    if (whole) {
        whole->link = 0;
        if (List_Append(e.targets, whole) != LIST_OK)
            Box_Free(whole);
    }
}

void Dabstone_DestroyMask()
{
    GG_Dabstone &e = E();
    if (e.mask)
        Image_CloseImage(e.mask);
    e.mask = nullptr;
}

void Dabstone_AskMask()
{
    GG_Dabstone &e = E();
    List_Empty(e.targets, FreeBox);
    e.maskWanted = 1;
    e.selectionInProgress = 1;
    if (displayFifo >= 0) {
        unsigned char word[4] = {};
        Dabstone_SendDisplay(MSG_ASK_SELECTION, word, 4);
        if (displayFifo >= 0)
            return;
    }
    // Nobody to select anything: the whole image, and the job goes on.
    Dabstone_MakeStdMask();
    e.selectionInProgress = 0;
    Work_AfterSelection();
}

void Dabstone_Selection(const unsigned char *payload, const MsgHeader *h, void *)
{
    GG_Dabstone &e = E();
    if (h->length < MSG_SELECTION_SIZE)
        return;
    const int32_t kind = Msg_Word(payload, MSG_SEL_KIND);
    if (kind == MSG_SEL_RESET) {
        Dabstone_MakeStdMask();
    } else if (e.image) {
        // x2 = x + width - 1 may leave 32 bits: clip in 64 bits first.
        int64_t x1 = Msg_Word(payload, MSG_SEL_X), y1 = Msg_Word(payload, MSG_SEL_Y);
        int64_t x2 = x1 + Msg_Word(payload, MSG_SEL_W) - 1, y2 = y1 + Msg_Word(payload, MSG_SEL_H) - 1;
        const Box &ib = e.imageBox;
        x1 = std::max<int64_t>(x1, ib.x1), y1 = std::max<int64_t>(y1, ib.y1);
        x2 = std::min<int64_t>(x2, ib.x2), y2 = std::min<int64_t>(y2, ib.y2);
        if (x1 <= x2 && y1 <= y2) {
            Box *b = BoxMakeXY(int32_t(x1), int32_t(y1), int32_t(x2), int32_t(y2));
            if (b) {
                b->link = kind != MSG_SEL_UNMASKED && e.mask ? 1 : 0;
                if (List_Append(e.targets, b) != LIST_OK)
                    Box_Free(b);
            }
        }
    }
    if (Msg_Word(payload, MSG_SEL_MORE) == 0) {
        e.selectionInProgress = 0;
        Work_AfterSelection();
    }
}

void Dabstone_MaskReady(const unsigned char *payload, const MsgHeader *h, void *)
{
    GG_Dabstone &e = E();
    if (h->length < MSG_MASK_READY_SIZE)
        return;
    std::string maskPath = Msg_Path(payload, h->length, 0),
                imagePath = Msg_Path(payload, h->length, MSG_PATH_SIZE);
    Image *mask = nullptr;
    if (Dabstone_IsPathOf(e.image, imagePath)) {
        if (e.mask)
            return;
        int rc = Image_OpenImage(&mask, maskPath.c_str());
        if (rc != 0) {
            Dabstone_Quit("can't open mask", rc);
            return;
        }
        // Painting reads plane 0 of the mask at image coordinates: anything
        // else cannot limit it.
        if (Image_Width(mask) != Image_Width(e.image) || Image_Height(mask) != Image_Height(e.image) ||
            Image_PlaneBits(mask, 0) != 8) {
            Image_CloseImage(mask);
            Alert_Warning("can't open mask", ORV_CANNOT_HANDLE);
            return;
        }
        e.mask = mask;
    } else if (Dabstone_IsPathOf(e.userBrush, imagePath) && !e.userBrushMask) {
        int rc = Image_OpenImage(&mask, maskPath.c_str());
        if (rc != 0) {
            Dabstone_Quit("can't open brush mask", rc);
            return;
        }
        Dabstone_BrushMaskArrived(mask, Image_Path(e.userBrush));
    }
}

void Dabstone_MaskNotPending(const unsigned char *, const MsgHeader *, void *)
{
    E().maskWanted = 0;
}

// ---- Undo control ----

int Dabstone_CreateUndo()
{
    GG_Dabstone &e = E();
    if (e.undoImage || e.undoRequest || !e.image)
        return 0;
    if (e.selectionInProgress) {
        Alert_Warning(kNotNow, 0);
        return 0;
    }
    int number = undoCounter + 1;
    uint32_t tail =
        Msghand_NewTailFn(MSGHAND_TAIL_IMAGE, UndoArrived, reinterpret_cast<void *>(intptr_t(number)));
    if (!tail) {
        Alert_Warning("undo not available", 0);
        return 0;
    }
    undoCounter = number;
    undoTails.emplace_back(number, tail);
    unsigned char payload[MSG_CREATE_SIZE] = {};
    Image_GetInfo(e.image, payload);
    Msg_PutTail(payload + MSG_INFO_SIZE, {tail, 0});
    e.undoRequest = number;
    e.undoReady = 0;
    Interface_ManageUndo(0);
    Interface_ManageApply(0);
    Dabstone_SendKernel(MSG_CREATE_WORK, payload, MSG_CREATE_SIZE);
    return 1;
}

void Dabstone_UndoInited()
{
    GG_Dabstone &e = E();
    e.undoReady = 1;
    List_Empty(e.undoBoxes, FreeBox);
    Interface_UndoStable(1);
    Interface_ManageApply(1);
    Interface_ManageUndo(1);
}

void Dabstone_DestroyUndo()
{
    GG_Dabstone &e = E();
    e.undoRequest = 0;
    if (!e.undoReady)
        Undo_StopInit();
    if (e.undoImage)
        DeleteImage(e.undoImage);
    e.undoImage = nullptr;
    e.undoReady = 1;
    // The boxes named places of the image the undo image belonged to.
    List_Empty(e.undoBoxes, FreeBox);
    Interface_UndoStable(0);
    Interface_ManageApply(1);
    Interface_ManageUndo(0);
}

void Dabstone_Undo()
{
    GG_Dabstone &e = E();
    if (!e.undoReady) {
        Alert_Warning("undo is beeing initialized, Please wait...", 0);
    } else if (!e.undoImage) {
        Alert_Warning("undo not available", 0);
    } else if (List_Cardinal(e.undoBoxes) == 0) {
        Alert_Warning("nothing to undo !", 0);
    } else if (Dabstone_IsWorking()) {
        // A stroke still painting has not recorded its box yet.
        Alert_Warning(kNotNow, 0);
    } else {
        Dabstone_Working(1);
        Dabstone_AllowMotion(MSG_MOTION_NONE, -1, 0, 0);
        Undo_Undo();
        Dabstone_AllowMotion(MSG_MOTION_END, -1, 0, 0);
        Dabstone_Working(0);
    }
}

// ---- Brush rebuild ----

namespace
{

void RebuildConfirmed(void *)
{
    GG_Dabstone &e = E();
    // The prompt may have waited: check again.
    if (e.rebuildPending || Dabstone_IsWorking() || !e.image) {
        Alert_Warning(kNotNow, 0);
        return;
    }
    static const uint32_t tail = Msghand_NewTailFn(MSGHAND_TAIL_IMAGE, Dabstone_RebuildArrived, nullptr);
    bool user = e.brushKind == DAB_BRUSH_USER && e.userBrush;
    int alpha = !user || (Image_ColorPlanes(e.userBrush) > 0 && Image_AlphaPlanes(e.userBrush) > 0) ||
                e.userBrushMask;
    unsigned char payload[MSG_CREATE_SIZE] = {};
    Image_MakeInfo(payload, e.brushWidth, e.brushHeight, Image_Mode(e.image), Image_PlaneBits(e.image, 0),
                   alpha ? 1 : 0);
    Msg_PutTail(payload + MSG_INFO_SIZE, {tail, 0});
    Dabstone_SendKernel(MSG_CREATE_REBUILD, payload, MSG_CREATE_SIZE);
    e.rebuildPending = 1;
    Dabstone_Working(1);
    Dabstone_AllowMotion(MSG_MOTION_NONE, -1, 0, 0);
}

// "brush_WxH" for the built-in brush; the user brush's title with
// "_brush%d" appended (when it leaves room) for a user brush.
void TitleRebuilt(Image *image, bool user)
{
    GG_Dabstone &e = E();
    char title[IMAGE_TITLE_SIZE];
    if (user) {
        Image_CopyHeader(image, e.userBrush);
        std::snprintf(title, sizeof title, "%s", Image_Title(e.userBrush));
        size_t n = std::strlen(title);
        if (n < 502)
            std::snprintf(title + n, sizeof title - n, "_brush%d", ++e.rebuildCounter);
    } else {
        std::snprintf(title, sizeof title, "brush_%dx%d", e.brushWidth, e.brushHeight);
    }
    Image_SetText(image, IMAGE_TITLE, IMAGE_TITLE_SIZE, title);
    time_t now = time(nullptr);
    Image_SetField(image, IMAGE_CTIME, int32_t(now));
    Image_SetModified(image, "DabStone", now);
    Image_SetText(image, IMAGE_CREATOR, IMAGE_APPNAME_SIZE, "DabStone");
}

} // namespace

void Dabstone_Rebuild()
{
    GG_Dabstone &e = E();
    if (e.rebuildPending) {
        Alert_Warning("last rebuild not yet completed. Please try later...", 0);
        return;
    }
    if (Dabstone_IsWorking() || !e.image) {
        Alert_Warning(kNotNow, 0);
        return;
    }
    if (e.brushKind == DAB_BRUSH_USER && e.userBrush)
        RebuildConfirmed(nullptr);
    else
        Alert_Prompt("this is a build-in brush. Do you really want to rebuild it ?", 0, RebuildConfirmed,
                     NotConfirmed, nullptr);
}

void Dabstone_RebuildArrived(Image *image, void *)
{
    GG_Dabstone &e = E();
    if (!e.rebuildPending) {
        // Not asked for any more (the kernel reported a failure first).
        Dabstone_SendPath(MSG_DISCARD_REBUILD, Image_Path(image));
        Image_CloseImage(image);
        return;
    }
    bool user = e.brushKind == DAB_BRUSH_USER && e.userBrush;
    if (!Work_Rebuild(image)) {
        Alert_Warning("can't build brush !", 0);
        Dabstone_SendPath(MSG_DISCARD_REBUILD, Image_Path(image));
        Image_CloseImage(image);
        EndRebuild();
        return;
    }
    Dabstone_SendPath(MSG_ROWS_CHANGED, Image_Path(image), {0, 0});
    TitleRebuilt(image, user);
    EndRebuild();
    Dabstone_SetUserBrush(image, DAB_SOURCE_KERNEL);
}
