// Images given to the program: dropped on the main window or the brush
// preview (1006 answers of 1005), given to the main window (2022), wanted
// back by the kernel (2021), and the 2016 requests that open them.
#include "core/Dabstone.h"

#include "core/DabstoneBrush.h"
#include "core/DabstoneCodec.h"
#include "core/Image.h"
#include "core/Msg.h"
#include "core/OrvError.h"
#include "ui/Alert.h"
#include "ui/Interface.h"

#include <string>

namespace
{

GG_Dabstone &E()
{
    return *G_dabstone;
}

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
    if (path.empty() || Dabstone_IsPathOf(e.image, path))
        return;
    if (Dabstone_IsWorking()) {
        Alert_Warning("can't change image", ORV_NOT_READY);
        return;
    }
    if (Dabstone_IsPathOf(e.userBrush, path))
        Dabstone_SetUserBrush(nullptr, 0);
    Dabstone_AskImage(path.c_str(), ChangeImageHandle());
}

void MainDrop(const unsigned char *payload, const MsgHeader *h, void *)
{
    GivenToMainWindow(Msg_Path(payload, h->length, MSG_ANSWER_DATA));
}

void BrushDrop(const unsigned char *payload, const MsgHeader *h, void *)
{
    GG_Dabstone &e = E();
    std::string path = Msg_Path(payload, h->length, MSG_ANSWER_DATA);
    Interface_Raise();
    if (path.empty())
        return;
    if (Dabstone_IsPathOf(e.userBrush, path))
        Dabstone_ResetUserBrush();
    else if (Dabstone_IsPathOf(e.image, path))
        Alert_Warning("can't paste an image into itself !", 0);
    else if (Dabstone_IsWorking())
        Alert_Warning("can't change brush", ORV_NOT_READY);
    else
        Dabstone_AskImage(path.c_str(), Dabstone_ChangeBrushHandle());
}

} // namespace

void Dabstone_AskImage(const char *path, uint32_t handle)
{
    Dabstone_SendPath(MSG_OPEN_IMAGE, path, {int32_t(handle), 0});
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

void Dabstone_ImageGiven(const unsigned char *payload, const MsgHeader *h, void *)
{
    GivenToMainWindow(Msg_Path(payload, h->length, 0));
}

void Dabstone_ImageWanted(const unsigned char *payload, const MsgHeader *h, void *)
{
    GG_Dabstone &e = E();
    if (Dabstone_IsWorking())
        return;
    std::string path = Msg_Path(payload, h->length, 0);
    if (Dabstone_IsPathOf(e.image, path))
        Alert_Warning("please Quit to release this image for another task", 0);
    else if (Dabstone_IsPathOf(e.userBrush, path))
        Dabstone_SetUserBrush(nullptr, DAB_SOURCE_WANTED);
}
