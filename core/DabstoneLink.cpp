#include "core/DabstoneLink.h"

#include "brush/Work.h"
#include "core/DabstoneBrush.h"
#include "core/DabstoneCodec.h"
#include "core/Fifo.h"
#include "core/Image.h"
#include "core/Misc.h"
#include "core/Msg.h"
#include "core/OrvError.h"
#include "ui/Interface.h"

#include <cerrno>
#include <cstdint>
#include <unistd.h>

namespace
{

GG_Dabstone &E()
{
    return *G_dabstone;
}

void SendPid(void (*send)(int32_t, const void *, int), int32_t code)
{
    unsigned char pid[MSG_PID_SIZE];
    Msg_PutWord(pid, 0, int32_t(getpid()));
    send(code, pid, MSG_PID_SIZE);
}

void SendBrushDescription(int change, int remove)
{
    unsigned char payload[MSG_BRUSH_SIZE];
    Dabstone_BrushDescription(payload, change, remove);
    Dabstone_SendDisplay(MSG_BRUSH_CURSOR, payload, MSG_BRUSH_SIZE);
}

// A rectangle of the display's brush placing (kind 512) is kept only when
// it lies within a billion pixels: the bound leaves room for the
// recentring arithmetic of a size change.
bool Fits(int32_t from, int32_t size)
{
    constexpr int64_t far = int64_t(1) << 30;
    const int64_t last = int64_t(from) + size - 1;
    return from >= -far && from <= far && last >= -far && last <= far;
}

// Kind 512: the user placed or sized the brush in the display.
void BrushPlaced(const unsigned char *event)
{
    GG_Dabstone &e = E();
    // The running job paints with the brush size it started with: the
    // display's placing waits for the next one (refused, like the other
    // changes while working).
    if (e.working)
        return;
    e.applyTarget = MSG_APPLY_BRUSH;
    e.brushShown = Msg_Word(event, MSG_EV_FLAG1);
    if (!e.brushShown && Msg_Word(event, MSG_EV_FLAG2) != 0) {
        e.brushPosBox = Box_Rect(0, 0, e.brushWidth, e.brushHeight);
        return;
    }
    const int32_t x = Msg_Word(event, MSG_EV_RECT_X), y = Msg_Word(event, MSG_EV_RECT_Y);
    const int32_t width = Msg_Word(event, MSG_EV_RECT_W), height = Msg_Word(event, MSG_EV_RECT_H);
    if (!Fits(x, width) || !Fits(y, height))
        return;
    e.brushPosBox = Box_Rect(x, y, width, height);
    Dabstone_SetDims(width, height, 1);
}

} // namespace

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
        Dabstone_ForgetDisplay(); // gone or no longer reading: one report, then silence
}

void Dabstone_ForgetDisplay()
{
    if (displayFifo >= 0)
        Fifo_CloseWrite(kernelPid, displayPid, displayFifo);
    displayFifo = -1;
    displayPid = 0;
}

// Tells the display we leave it, then closes its FIFO.
void Dabstone_LeaveDisplay()
{
    if (displayFifo >= 0)
        SendPid(Dabstone_SendDisplay, MSG_DISPLAY_LEAVE);
    Dabstone_ForgetDisplay();
}

void Dabstone_SendBrushChange(int change)
{
    if (displayFifo >= 0)
        SendBrushDescription(change, 0);
}

void Dabstone_SetBrushInDisplay()
{
    if (E().activeBrush && displayFifo >= 0)
        SendBrushDescription(MSG_BRC_ALL, 0);
}

void Dabstone_RemBrushInDisplay()
{
    if (displayFifo >= 0)
        SendBrushDescription(MSG_BRC_ALL, 1);
}

void Dabstone_AllowMotion(int mode, int32_t window, int32_t stateMask, int32_t button)
{
    if (E().applyInProgress) {
        // Apply paints without the pointer: hold and allow become none and end.
        if (mode == MSG_MOTION_HOLD)
            mode = MSG_MOTION_NONE;
        else if (mode == MSG_MOTION_ALLOW)
            mode = MSG_MOTION_END;
    }
    unsigned char payload[MSG_MOTION_SIZE];
    Msg_PutWords(payload, {mode, 0, window, button, stateMask});
    Dabstone_SendDisplay(MSG_MOTION, payload, MSG_MOTION_SIZE);
}

void Dabstone_Event(const unsigned char *payload, const MsgHeader *h, void *)
{
    if (h->length < MSG_EVENT_SIZE)
        return;
    const int32_t kind = Msg_Word(payload, MSG_EV_KIND);
    if (kind == MSG_EVK_IGNORED)
        return;
    if (kind == MSG_EVK_BRUSH_RECT) {
        BrushPlaced(payload);
        return;
    }
    // The tool the display names by the handle the toolbox gave it; any
    // other word is ignored.
    void (*tool)(void *, const unsigned char *) = nullptr;
    void *data = nullptr;
    if (Msghand_FindTailFn(uint32_t(Msg_Word(payload, MSG_EV_CALLBACK)), MSGHAND_TAIL_TOOL, &tool, &data))
        tool(data, payload);
}

void Dabstone_DisplayConnect(const unsigned char *payload, const MsgHeader *h, void *)
{
    GG_Dabstone &e = E();
    if (h->length < MSG_DISPLAY_PATH ||
        !Dabstone_IsPathOf(e.image, Msg_Path(payload, h->length, MSG_DISPLAY_PATH)))
        return;
    const int32_t id = Msg_Word(payload, 0);
    // Our own FIFO (or the kernel's) as a display would have us write to a
    // reader that is ourselves: refused.
    if (id <= 0 || id == int32_t(getpid()) || id == kernelPid)
        return;
    if (displayFifo >= 0 && displayPid != id)
        Dabstone_LeaveDisplay();
    Dabstone_ForgetDisplay(); // the same display again: its new FIFO replaces the old
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
    Msg_PutWords(init, {1, 26});
    Dabstone_SendDisplay(MSG_DISPLAY_INIT, init, MSG_DISPLAY_INIT_SIZE);
    static unsigned char toolbox[MSG_TOOLBOX_SIZE];
    Interface_MakeToolbox(toolbox);
    Dabstone_SendDisplay(MSG_TOOLBOX, toolbox, MSG_TOOLBOX_SIZE);
    e.applyTarget = MSG_APPLY_NONE;
    Dabstone_SetBrushInDisplay();
}

void Dabstone_DisplayClose(const unsigned char *payload, const MsgHeader *h, void *)
{
    GG_Dabstone &e = E();
    if (h->length < MSG_DISPLAY_PATH ||
        !Dabstone_IsPathOf(e.image, Msg_Path(payload, h->length, MSG_DISPLAY_PATH)))
        return;
    const int32_t meant = h->aux == MSG_AUX_ID_IN_PAYLOAD ? Msg_Word(payload, 0) : h->sender;
    if (displayFifo >= 0 && meant == displayPid)
        Dabstone_ForgetDisplay();
    if (e.working && !e.rebuildPending)
        Work_BrutalStop();
    e.brushShown = 0;
    Dabstone_MakeStdMask();
    e.maskWanted = 1;
    e.selectionInProgress = 0;
    e.applyTarget = MSG_APPLY_NONE;
}
