// Quitting: asked for (with a question while a job runs), ordered by the
// kernel (1001), and the exit notice that ends the link.
#include "core/Dabstone.h"

#include "core/DabstoneBrush.h"
#include "core/DabstoneCodec.h"
#include "core/Fifo.h"
#include "core/Image.h"
#include "core/Misc.h"
#include "core/Msg.h"
#include "ui/Alert.h"

#include <cstdlib>
#include <unistd.h>

namespace
{

GG_Dabstone &E()
{
    return *G_dabstone;
}

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
    if (e.brushKind == DAB_BRUSH_USER && e.userBrushSource == DAB_SOURCE_LENT && e.userBrush)
        Dabstone_SendPath(MSG_GIVE_BACK, Image_Path(e.userBrush));
    if (code == 0)
        Dabstone_SaveSettings();
    Dabstone_EndLinks(code);
    std::exit(code);
}

void Dabstone_EndLinks(int32_t code)
{
    if (kernelFifo >= 0) {
        unsigned char status[MSG_PID_SIZE];
        Msg_PutWord(status, 0, code);
        Msg_write(kernelFifo, MSG_EXIT, code, status, MSG_PID_SIZE);
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
