#include "core/DabstoneBrush.h"

#include "core/DabstoneCodec.h"
#include "core/DabstoneColor.h"
#include "core/DabstoneLink.h"

#include "brush/Buildin.h"
#include "core/Handle.h"
#include "core/Image.h"
#include "core/Msg.h"
#include "core/Msghand.h"
#include "ui/Interface.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace
{

GG_Dabstone &E()
{
    return *G_dabstone;
}

// ---- Helpers ----

int Peak()
{
    return Buildin_Peak(E().opacity);
}

void ShowBrush()
{
    Dabstone_SetBrushInDisplay();
    Dabstone_ShowBrushInPreview();
}

// The brush cursor is redrawn where it stands, and the preview.
void RefreshBrush()
{
    GG_Dabstone &e = E();
    if (e.brushShown)
        Dabstone_Refresh(&e.brushPosBox);
    Interface_RefreshBrush(e.brushWidth, e.brushHeight);
}

// Keeps the centre of the brush position box across a size change, in 64
// bits and kept inside the 32-bit range: the box may stand anywhere.
int32_t RecentredCorner(int32_t corner, int32_t oldSize, int32_t size)
{
    const int64_t c = int64_t(corner) + oldSize / 2 - size / 2;
    return int32_t(std::clamp<int64_t>(c, INT32_MIN, int64_t(INT32_MAX) - size + 1));
}

void Recentre(int32_t oldWidth, int32_t oldHeight)
{
    GG_Dabstone &e = E();
    Box &b = e.brushPosBox;
    b = Box_Rect(RecentredCorner(b.x1, oldWidth, e.brushWidth),
                 RecentredCorner(b.y1, oldHeight, e.brushHeight), e.brushWidth, e.brushHeight);
}

// The user brush mask holds the opacity: the airbrush shape, or one value.
void FillMask(Image *mask)
{
    if (E().aero)
        Buildin_Make(mask, 0, 0, 0, 1, Peak(), 1.0);
    else
        std::memset(Image_Row(mask, 0, 0), Peak(),
                    size_t(Image_PlaneBytesPerRow(mask, 0)) * size_t(Image_Height(mask)));
}

struct MaskRequest {
    char *path;      // the user brush's path when asked
    uint32_t handle; // the reply tail, released on arrival
};

void MaskFromKernel(Image *mask, void *data)
{
    auto *request = static_cast<MaskRequest *>(data);
    Handle_Release(request->handle);
    Dabstone_BrushMaskArrived(mask, request->path);
    std::free(request->path);
    delete request;
}

// Asks for an 8-bit grey mask as large as the user brush: the kernel
// creates one (2007) for a brush of ours or a lent one, or finds the mask of
// an image of its own (1020, answered by 1021).
void RequestMask()
{
    GG_Dabstone &e = E();
    if (e.brushMaskRequested)
        return;
    if (e.userBrushSource == DAB_SOURCE_KERNEL) {
        Dabstone_SendPath(MSG_ASK_MASK, Image_Path(e.userBrush));
        e.brushMaskRequested = 1;
        return;
    }
    auto *request = new MaskRequest{Strdup(Image_Path(e.userBrush)), 0};
    request->handle = Msghand_NewTailFn(MSGHAND_TAIL_IMAGE, MaskFromKernel, request);
    if (!request->path || !request->handle) {
        std::free(request->path);
        delete request;
        return;
    }
    unsigned char payload[MSG_CREATE_SIZE] = {};
    Image_MakeInfo(payload, Image_Width(e.userBrush), Image_Height(e.userBrush), IMAGE_MODE_GREY, 8, 0);
    Msg_PutTail(payload + MSG_INFO_SIZE, {request->handle, 0});
    Dabstone_SendKernel(MSG_CREATE_WORK, payload, MSG_CREATE_SIZE);
    e.brushMaskRequested = 1;
}

// The user brush paints through its mask while the opacity is below 100 or
// the airbrush is on; the mask holds that opacity.
void UserBrushMaskStep()
{
    GG_Dabstone &e = E();
    if (!e.aero && e.opacity >= 100) {
        if (e.activeBrush2) {
            e.activeBrush2 = nullptr;
            ShowBrush();
        } else {
            RefreshBrush();
        }
        return;
    }
    if (!e.userBrushMask) {
        RequestMask();
        return;
    }
    FillMask(e.userBrushMask);
    if (e.activeBrush2 != e.userBrushMask) {
        e.activeBrush2 = e.userBrushMask;
        ShowBrush();
    } else {
        RefreshBrush();
    }
}

// After a change of opacity or airbrush.
void BrushChanged()
{
    if (E().brushKind == DAB_BRUSH_USER) {
        UserBrushMaskStep();
        return;
    }
    Dabstone_DrawBuildinBrush();
    RefreshBrush();
}

bool IsColourPlane(const Image *image, int plane)
{
    return plane == -1 || (image && plane < Image_ColorPlanes(image));
}

bool SamePath(const Image *image, const char *path)
{
    return image && path && std::strncmp(Image_Path(image), path, MSG_PATH_SIZE) == 0;
}

} // namespace

void Dabstone_ShowBrushInPreview()
{
    GG_Dabstone &e = E();
    Interface_SetBrush(e.activeBrush, e.activeBrush2, &e.brushImageBox, e.brushWidth, e.brushHeight,
                       e.floating, &e.color);
}

void Dabstone_DrawBuildinBrush()
{
    GG_Dabstone &e = E();
    if (e.brushKind == DAB_BRUSH_USER || !e.buildinBrush)
        return;
    const int plane = Image_AlphaPlane(e.buildinBrush) >= 0 ? Image_AlphaPlane(e.buildinBrush) : 0;
    Buildin_Make(e.buildinBrush, plane, 0, 0, 1, Peak(), e.aero ? 1.0 : 0.0);
}

void Dabstone_SetOpacity(int percent)
{
    GG_Dabstone &e = E();
    percent = std::clamp(percent, 0, 100);
    if (percent == e.opacity)
        return;
    e.opacity = percent;
    Interface_SetOpacity(percent);
    BrushChanged();
}

void Dabstone_SetAero(int flag)
{
    GG_Dabstone &e = E();
    flag = flag ? 1 : 0;
    if (flag == e.aero)
        return;
    e.aero = flag;
    Interface_SetType(e.brushKind, e.aero, e.floating);
    BrushChanged();
}

void Dabstone_SetSpacing(int spacing)
{
    E().spacing = spacing;
    Interface_SetSpacing(spacing);
}

void Dabstone_SetPath(int mode)
{
    E().traceMode = std::clamp(mode, 0, 2);
    Interface_SetPath(E().traceMode);
}

void Dabstone_SetBrushLink(int flag)
{
    GG_Dabstone &e = E();
    e.brushLink = flag ? 1 : 0;
    if (e.brushLink) {
        e.refWidth = e.brushWidth;
        e.refHeight = e.brushHeight;
    }
    Interface_SetBrushLink(e.brushLink);
}

void Dabstone_SetUseSelection(int flag)
{
    GG_Dabstone &e = E();
    flag = flag ? 1 : 0;
    if (flag == e.useSelection)
        return;
    e.useSelection = flag;
    Interface_SetUseSelection(flag);
    if (!flag) {
        Dabstone_MakeStdMask();
        e.maskWanted = 0;
    }
}

void Dabstone_SetAlpha(int flag)
{
    GG_Dabstone &e = E();
    e.alpha = flag ? 1 : 0;
    Interface_SetAlpha(e.alpha);
    if (!e.alpha)
        Dabstone_SetOp(0);
}

void Dabstone_SetOp(int op)
{
    GG_Dabstone &e = E();
    if (op == e.op)
        return;
    e.op = op;
    Dabstone_SendBrushChange(MSG_BRC_OP);
    Interface_SetOp(op);
    Interface_SetBrushDepth(op ? -1 : 1);
    if (op == 1 && !e.alpha)
        Dabstone_SetAlpha(1);
}

void Dabstone_SetPlane(int plane)
{
    GG_Dabstone &e = E();
    if (plane == e.plane)
        return;
    // Colour planes and single planes (alpha, extra) keep a colour each, as
    // the picker gave it.
    const bool isColour = IsColourPlane(e.image, plane);
    Dabstone_SaveColorToSlot(IsColourPlane(e.image, e.plane));
    e.plane = plane;
    if (isColour)
        Dabstone_PickSlot(e.image ? Image_Mode(e.image) : COLOR_RGB, e.colorSlot);
    else
        Dabstone_PickSlot(COLOR_GRAY, e.singleSlot);
    Interface_SetPlane(plane);
    const int alphaPlane = e.image ? Image_AlphaPlane(e.image) : -1;
    if (alphaPlane >= 0 && Image_ColorPlanes(e.image) > 0 && plane == alphaPlane) {
        if (e.op == 1)
            Dabstone_SetOp(0);
        else if (!e.alpha)
            Dabstone_SetAlpha(1);
    }
}

void Dabstone_SetFloating(int flag)
{
    GG_Dabstone &e = E();
    flag = flag ? 1 : 0;
    if (flag == e.floating)
        return;
    if (e.brushKind == DAB_BRUSH_USER) {
        e.floating = flag;
        ShowBrush();
        return;
    }
    // The built-in brush is always painted in the current colour.
    Interface_SetFloating(1);
}

void Dabstone_SetDims(int width, int height, int fromDisplay)
{
    GG_Dabstone &e = E();
    const int32_t oldW = e.brushWidth, oldH = e.brushHeight;
    if (width == oldW && height == oldH)
        return;
    double w = width, h = height;
    if (e.brushLink) {
        if (fromDisplay) {
            e.refWidth = std::max(width, 1);
            e.refHeight = std::max(height, 1);
        } else if (height != oldH) {
            w = std::trunc(h * e.refWidth / e.refHeight);
        } else {
            h = std::trunc(w * e.refHeight / e.refWidth);
        }
    }
    if (!(w <= DAB_BRUSH_MAX && h <= DAB_BRUSH_MAX)) { // refused: the old size stays
        w = oldW;
        h = oldH;
        fromDisplay = 0;
    }
    e.brushWidth = std::max(int32_t(std::max(w, 1.0)), 1);
    e.brushHeight = std::max(int32_t(std::max(h, 1.0)), 1);
    Interface_SetDims(e.brushWidth, e.brushHeight);
    if (!fromDisplay) {
        Recentre(oldW, oldH);
        if (e.activeBrush)
            Dabstone_SendBrushChange(MSG_BRC_POSITION);
    }
    Interface_SetBrushWH(e.brushWidth, e.brushHeight);
}

void Dabstone_SetType(int kind)
{
    GG_Dabstone &e = E();
    const int32_t oldW = e.brushWidth, oldH = e.brushHeight;
    if (kind != DAB_BRUSH_BUILDIN) {
        if (!e.userBrush)
            return;
        if (e.brushKind != DAB_BRUSH_USER) {
            e.savedWidth = e.brushWidth;
            e.savedHeight = e.brushHeight;
            e.savedOpacity = e.opacity;
            e.savedAero = e.aero;
        }
        e.brushWidth = e.refWidth = Image_Width(e.userBrush);
        e.brushHeight = e.refHeight = Image_Height(e.userBrush);
        e.brushLink = 1;
        Interface_SetDims(e.brushWidth, e.brushHeight);
        Interface_SetBrushLink(1);
        e.brushKind = DAB_BRUSH_USER;
        e.floating = Dabstone_PlainColor(e.userBrush);
        e.aero = 0;
        e.opacity = 100;
        Interface_SetType(e.brushKind, 0, e.floating);
        Interface_SetOpacity(100);
        e.activeBrush = e.userBrush;
        e.activeBrush2 = nullptr;
        e.brushImageBox = Box_OfImage(e.userBrush);
        Recentre(oldW, oldH);
    } else {
        e.brushWidth = e.refWidth = e.savedWidth;
        e.brushHeight = e.refHeight = e.savedHeight;
        e.opacity = e.savedOpacity;
        e.aero = e.savedAero;
        e.brushLink = 1;
        Interface_SetDims(e.brushWidth, e.brushHeight);
        Interface_SetBrushLink(1);
        e.brushKind = DAB_BRUSH_BUILDIN;
        e.floating = 1;
        Interface_SetType(DAB_BRUSH_BUILDIN, e.aero, 1);
        Recentre(oldW, oldH);
        Interface_SetOpacity(e.opacity);
        e.activeBrush2 = nullptr;
        if (e.buildinBrush) {
            Dabstone_DrawBuildinBrush();
            e.activeBrush = e.buildinBrush;
            e.brushImageBox = Box_OfImage(e.buildinBrush);
        } else {
            e.activeBrush = nullptr;
        }
    }
    if (e.activeBrush)
        ShowBrush();
}

void Dabstone_ResetUserBrush()
{
    Dabstone_SetType(DAB_BRUSH_USER);
}

void Dabstone_ResetBuildinBrush()
{
    Dabstone_SetType(DAB_BRUSH_BUILDIN);
}

void Dabstone_SetUserBrush(Image *image, int source)
{
    GG_Dabstone &e = E();
    Image *old = e.userBrush, *oldMask = e.userBrushMask;
    const int oldSource = e.userBrushSource;
    e.userBrush = image;
    e.userBrushSource = source;
    e.userBrushMask = nullptr;
    e.brushMaskRequested = 0;
    e.rebuildCounter = 0;
    Dabstone_SetType(image ? DAB_BRUSH_USER : DAB_BRUSH_BUILDIN);
    // The old brush goes back to whoever owns it, then its mask.
    const bool replaced = old && old != image;
    if (replaced) {
        if (oldSource == DAB_SOURCE_CREATED)
            Dabstone_SendPath(MSG_DELETE, Image_Path(old));
        else if (oldSource == DAB_SOURCE_LENT)
            Dabstone_SendPath(MSG_GIVE_BACK, Image_Path(old));
        else if (oldSource == DAB_SOURCE_KERNEL)
            Dabstone_SendPath(MSG_RELEASE, Image_Path(old), {MSG_WANTED});
    }
    if (oldMask) {
        if (oldSource != DAB_SOURCE_KERNEL)
            Dabstone_SendPath(MSG_DELETE, Image_Path(oldMask));
        Image_CloseImage(oldMask);
    }
    if (replaced)
        Image_CloseImage(old);
}

void Dabstone_BrushMaskArrived(Image *mask, const char *path)
{
    GG_Dabstone &e = E();
    if (!SamePath(e.userBrush, path) || e.userBrushMask) {
        // The brush changed meanwhile: the mask was made for us, for nothing.
        // A mask of another size or depth is kept: the fill object refuses
        // it when painting, and a mask the kernel owns is not ours to delete.
        Dabstone_SendPath(MSG_DELETE, Image_Path(mask));
        Image_CloseImage(mask);
        return;
    }
    e.userBrushMask = mask;
    e.brushMaskRequested = 0;
    if (e.brushKind == DAB_BRUSH_USER && (e.aero || e.opacity < 100)) {
        FillMask(mask);
        e.activeBrush2 = mask;
        ShowBrush();
    }
}

int Dabstone_PlainColor(const Image *image)
{
    const int w = Image_Width(image), h = Image_Height(image);
    for (int p = 0; p < Image_ColorPlanes(image); ++p) {
        const int bits = Image_PlaneBits(image, p);
        const uint32_t first = Image_GetSample(image, p, 0, 0);
        for (int y = 0; y < h; ++y) {
            const unsigned char *row = Image_Row(image, p, y);
            if (bits == 8) {
                if (std::any_of(row, row + w, [first](unsigned char v) { return v != first; }))
                    return 0;
            } else if (bits == 1) {
                // Whole bytes, then the pixels of the partial byte (packed
                // from its most significant bit).
                const unsigned char full = first ? 0xFF : 0x00;
                if (std::any_of(row, row + w / 8, [full](unsigned char v) { return v != full; }))
                    return 0;
                const unsigned char mask = static_cast<unsigned char>(0xFF00 >> (w % 8));
                if (w % 8 && (row[w / 8] & mask) != (full & mask))
                    return 0;
            } else {
                for (int x = 0; x < w; ++x)
                    if (Image_GetSample(image, p, x, y) != first)
                        return 0;
            }
        }
    }
    return 1;
}
