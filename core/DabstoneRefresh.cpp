// Redraw requests: rectangles the display redraws (2025 when convenient,
// 1050 at once) and rows of the image the kernel hears of (2010).
#include "core/Dabstone.h"

#include "core/Appli.h"
#include "core/DabstoneCodec.h"
#include "core/Image.h"
#include "core/Msg.h"
#include "xc/XcPicture.h"

#include <algorithm>
#include <ctime>

namespace
{

GG_Dabstone &E()
{
    return *G_dabstone;
}

void SendRect(int32_t code, const Box *box)
{
    unsigned char payload[MSG_RECT_SIZE];
    Msg_PutWords(payload, {box->x1, box->y1, box->width, box->height});
    Dabstone_SendDisplay(code, payload, MSG_RECT_SIZE);
}

void ForEachBox(List *boxes, void (*routine)(const Box *))
{
    if (!boxes)
        return;
    for (int rc = List_GoFirst(boxes); rc == LIST_OK; rc = List_GoNext(boxes))
        routine(static_cast<const Box *>(List_Current(boxes)));
}

} // namespace

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
        Dabstone_SendPath(MSG_ROWS_CHANGED, Image_Path(e.image), {first, last - first + 1});
    }
    if (e.thumbnail)
        XcPictureRefresh(e.thumbnail, box);
    Image_SetModified(e.image, Appli_Name(), std::time(nullptr));
}

void Dabstone_RefreshList(List *boxes)
{
    ForEachBox(boxes, Dabstone_Refresh);
}

void Dabstone_BigRefreshList(List *boxes)
{
    ForEachBox(boxes, Dabstone_BigRefresh);
}
