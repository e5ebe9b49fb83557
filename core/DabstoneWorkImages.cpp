// The work images asked for at start-up (six 2007 requests) and the
// answers that open images for the program (2009, 2003).
#include "core/Dabstone.h"

#include "core/DabstoneBrush.h"
#include "core/DabstoneCodec.h"
#include "core/Image.h"
#include "core/Msg.h"
#include "ui/Colorer.h"
#include "ui/Interface.h"
#include "xc/XcPicture.h"

#include <cstdint>

namespace
{

GG_Dabstone &E()
{
    return *G_dabstone;
}

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
            e.brushImageBox = Box_OfImage(image);
            Dabstone_SetBrushInDisplay();
        }
        break;
    case 3:
        e.rowBufferBox = Box_OfImage(image);
        break;
    case 4:
        if (e.brushPreview)
            XtVaSetValues(e.brushPreview, XcNimage, image, nullptr);
        Dabstone_ShowBrushInPreview();
        break;
    case 5:
        if (e.colorer)
            Colorer_SetImage(e.colorer, image);
        break;
    case 6:
        if (e.colorer)
            Colorer_SetWheelImage(e.colorer, image);
        break;
    default:
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
    if (!Msghand_FindTailFn(Msg_Tail(payload, MSG_PATH_SIZE).callback, MSGHAND_TAIL_IMAGE, &routine, &data))
        return; // not an answer to anything we asked
    Image *image = nullptr;
    int rc = Image_OpenImage(&image, Msg_Path(payload, h->length, 0).c_str());
    if (rc != 0) {
        Dabstone_Quit(failure, rc);
        return;
    }
    routine(image, data);
}

} // namespace

void Dabstone_AskWorkImages()
{
    for (int slot = 1; slot <= 6; ++slot) {
        const WorkImage &w = kWorkImages[slot - 1];
        unsigned char payload[MSG_CREATE_SIZE] = {};
        Image_MakeInfo(payload, w.width, w.height, w.mode, 8, w.alpha);
        Msg_PutTail(payload + MSG_INFO_SIZE, {WorkHandle(slot), 0});
        Dabstone_SendKernel(MSG_CREATE_WORK, payload, MSG_CREATE_SIZE);
    }
}

void Dabstone_WorkImageAnswer(const unsigned char *payload, const MsgHeader *h, void *)
{
    OpenAnswer(payload, h, "can't open tmp-image");
}

void Dabstone_ImageAnswer(const unsigned char *payload, const MsgHeader *h, void *)
{
    OpenAnswer(payload, h, "can't open image");
}
