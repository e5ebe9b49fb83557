#include "core/DabstoneSettings.h"

#include "core/Appli.h"
#include "core/DabstoneCodec.h"
#include "core/DabstoneColor.h"
#include "core/Image.h"
#include "core/Msg.h"
#include "ui/Interface.h"

#include <algorithm>
#include <cstring>

namespace
{

GG_Dabstone &E()
{
    return *G_dabstone;
}

} // namespace

void Dabstone_AnnounceImage()
{
    if (E().announce && E().image)
        Dabstone_SendPath(MSG_ANNOUNCE, Image_Path(E().image));
}

bool Dabstone_SmallEnoughForUndo(const Image *image)
{
    return image && Image_SizeMegabytes(image) <= double(E().undoLimit);
}

int Dabstone_DecodeSettings(const unsigned char *record, DabSettings *out)
{
    auto word = [record](int i) { return Msg_Word(record, i); };
    if (word(0) != MSG_SETTINGS_MAGIC)
        return 0;
    DabSettings s{};
    s.width = std::clamp(word(1), 1, 201);
    s.height = std::clamp(word(2), 1, 201);
    s.opacity = std::clamp(word(3), 1, 100);
    s.aero = word(4);
    s.traceMode = std::clamp(word(5), 0, 2);
    s.spacing = std::clamp(word(6), 0, 200);
    s.useSelection = word(7);
    s.undoLimit = std::clamp(word(8), 0, 999);
    s.announce = word(9);
    s.colorValid = Dabstone_DecodeColor(record + 4 * 10, &s.color);
    s.singleValid = Dabstone_DecodeColor(record + 4 * 23, &s.single);
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
        Msg_PutWord(record, i, words[i]);
    Dabstone_PutColor(record + 4 * 10, e.colorSlot);
    Dabstone_PutColor(record + 4 * 23, e.singleSlot);
    Msg_PutWord(record, 36, e.dithering);
}

void Dabstone_SaveSettings()
{
    static unsigned char payload[MSG_SAVE_SETTINGS_SIZE];
    std::memset(payload, 0, sizeof payload);
    Msg_PutPath(payload, Appli_Name(), MSG_NAME_SIZE);
    Dabstone_EncodeSettings(payload + MSG_NAME_SIZE);
    Dabstone_SendKernel(MSG_SAVE_SETTINGS, payload, MSG_SAVE_SETTINGS_SIZE);
}

void Dabstone_LoadSettings(const unsigned char *payload, const MsgHeader *h, void *)
{
    DabSettings s;
    if (h->length < MSG_SETTINGS_IN_SIZE || Msg_Word(payload, 0) != 0 || Dabstone_IsWorking() ||
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
    Dabstone_AnnounceImage();
    if (!e.undoImage && !e.undoRequest && Dabstone_SmallEnoughForUndo(e.image))
        Interface_CallUseUndo();
    bool colorPlanes = Dabstone_EditingColorPlanes();
    if (s.colorValid) {
        e.colorSlot = s.color;
        if (colorPlanes)
            Dabstone_PickColor(e.colorSlot);
    }
    if (s.singleValid) {
        e.singleSlot = s.single;
        if (!colorPlanes)
            Dabstone_PickColor(e.singleSlot);
    }
    e.dithering = s.dithering;
}
