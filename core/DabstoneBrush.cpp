// Brush parameters and user brushes of the engine.
//
// Least form until the brush parameter work exists: values are stored and
// shown without the validation, linking and rebuilding that work adds; the
// built-in brush is not drawn yet.
#include "core/Dabstone.h"

#include "core/Image.h"
#include "core/Msg.h"
#include "ui/Interface.h"

#include <algorithm>
#include <cstring>

namespace {
GG_Dabstone &E() { return *G_dabstone; }

Box BoxOf(const Image *image)
{
    int32_t w = Image_Width(image), h = Image_Height(image);
    return Box{0, 0, w - 1, h - 1, w, h, 0};
}

// The kernel takes back an image we stop using; 2021 when it asked for it.
void Release(Image *image, int code)
{
    unsigned char payload[MSG_RELEASE_SIZE] = {};
    std::strncpy(reinterpret_cast<char *>(payload), Image_Path(image), MSG_PATH_SIZE - 1);
    Bytes_PutS32(payload + MSG_PATH_SIZE, code == 99 ? MSG_WANTED : 0);
    Dabstone_SendKernel(MSG_RELEASE, payload, MSG_RELEASE_SIZE);
    Image_CloseImage(image);
}

void Activate(Image *brush)
{
    GG_Dabstone &e = E();
    e.activeBrush = brush;
    e.brushImageBox = brush ? BoxOf(brush) : Box{0, 0, -1, -1, 0, 0, 0};
    Interface_SetType(e.brushKind, e.aero, e.floating);
    Dabstone_SetBrushInDisplay();
}
} // namespace

void Dabstone_SetDims(int width, int height, int)
{
    GG_Dabstone &e = E();
    e.brushWidth = std::max(width, 1);
    e.brushHeight = std::max(height, 1);
    e.brushPosBox.width = e.brushWidth;
    e.brushPosBox.height = e.brushHeight;
    e.brushPosBox.x2 = e.brushPosBox.x1 + e.brushWidth - 1;
    e.brushPosBox.y2 = e.brushPosBox.y1 + e.brushHeight - 1;
    Interface_SetDims(e.brushWidth, e.brushHeight);
}

void Dabstone_SetUserBrush(Image *image, int code)
{
    GG_Dabstone &e = E();
    if (e.userBrush && e.userBrush != image) {
        Release(e.userBrush, code);
        e.userBrush = nullptr;
    }
    if (image) {
        // The built-in brush's parameters wait for its return.
        if (e.brushKind != DAB_BRUSH_USER) {
            e.savedWidth = e.brushWidth;
            e.savedHeight = e.brushHeight;
            e.savedOpacity = e.opacity;
            e.savedAero = e.aero;
        }
        e.userBrush = image;
        e.brushKind = DAB_BRUSH_USER;
        Activate(image);
        return;
    }
    e.brushKind = DAB_BRUSH_BUILDIN;
    e.opacity = e.savedOpacity;
    e.aero = e.savedAero;
    Interface_SetOpacity(e.opacity);
    Dabstone_SetDims(e.savedWidth, e.savedHeight, 0);
    Dabstone_DrawBuildinBrush();
    Activate(e.buildinBrush);
}

void Dabstone_ResetUserBrush()
{
    if (E().userBrush)
        Dabstone_SetUserBrush(E().userBrush, 0);
}

void Dabstone_SetPath(int mode)
{
    E().traceMode = std::clamp(mode, 0, 2);
    Interface_SetPath(E().traceMode);
}

void Dabstone_SetSpacing(int spacing)
{
    E().spacing = spacing;
    Interface_SetSpacing(spacing);
}

void Dabstone_SetUseSelection(int flag)
{
    E().useSelection = flag;
    Interface_SetUseSelection(flag);
}

void Dabstone_SetColor(const ColorValue *color) { E().color = *color; }

void Dabstone_DrawBuildinBrush() {}
