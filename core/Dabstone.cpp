#include "core/Dabstone.h"

#include "brush/Work.h"
#include "core/DabstoneCodec.h"
#include "core/DabstoneColor.h"
#include "core/DabstoneLink.h"
#include "core/DabstoneSettings.h"
#include "core/Image.h"
#include "core/Msg.h"
#include "core/OrvError.h"
#include "ui/Alert.h"
#include "ui/Interface.h"
#include "xc/XcPicture.h"

namespace
{
GG_Dabstone engine;

GG_Dabstone &E()
{
    return engine;
}
} // namespace

GG_Dabstone *G_dabstone = &engine;

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
    e.applyTarget = MSG_APPLY_NONE;
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
    e.brushPosBox = Box_Rect(0, 0, 31, 31);
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
        Dabstone_LeaveDisplay();
        Dabstone_SendPath(MSG_RELEASE, Image_Path(old), {0});
    }
    // The picker keeps a colour per plane kind; a new image starts on its
    // colour planes, in its colour mode.
    Dabstone_SaveColorToSlot(colorPlanes);
    Dabstone_ColorsForImage(image);

    if (e.thumbnail)
        XtVaSetValues(e.thumbnail, XcNimage, image, nullptr);
    e.image = image;
    e.imageBox = Box_OfImage(image);

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
    e.applyTarget = MSG_APPLY_NONE;
    Dabstone_AnnounceImage();
    if (Interface_IsRealized() && Dabstone_SmallEnoughForUndo(image))
        Interface_CallUseUndo();
}

void Dabstone_RequestFailed(const unsigned char *payload, const MsgHeader *h, void *)
{
    if (h->length < MSG_FAILED_SIZE)
        return;
    const int32_t request = Msg_Word(payload, 0), error = Msg_Word(payload, 1);
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
        Dabstone_AllowMotion(MSG_MOTION_END, -1, 0, 0);
        Alert_Warning("can't rebrush", error);
    }
}
