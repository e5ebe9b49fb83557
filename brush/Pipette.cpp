#include "brush/Pipette.h"

#include "brush/Box.h"
#include "brush/Buildin.h"
#include "core/Bytes.h"
#include "core/Dabstone.h"
#include "core/DabstoneColor.h"
#include "core/Image.h"
#include "core/Msg.h"
#include "xc/FillTev2Tev.h"
#include "xc/View.h"

#include <algorithm>

namespace
{

// Reader of one depth: the sample at x of a row as a value 0..255.
using Reader = int (*)(const unsigned char *row, int x);

int Read1(const unsigned char *row, int x)
{
    return (row[x >> 3] >> (7 - (x & 7))) & 1 ? 255 : 0;
}
int Read8(const unsigned char *row, int x)
{
    return row[x];
}
// 16- and 32-bit samples are big-endian: the first byte is the high one.
int Read16(const unsigned char *row, int x)
{
    return row[2 * x];
}
int Read32(const unsigned char *row, int x)
{
    return row[4 * x];
}

Reader ReaderOf(int bits)
{
    switch (bits) {
    case 1:
        return Read1;
    case 16:
        return Read16;
    case 32:
        return Read32;
    default:
        return Read8;
    }
}

// The words that the colour planes of each mode fill, in plane order.
struct ModeWords {
    int count;
    int32_t ColorValue::*word[4];
};

const ModeWords *WordsOf(int mode)
{
    static const ModeWords grey{1, {&ColorValue::grey}};
    static const ModeWords rgb{3, {&ColorValue::red, &ColorValue::green, &ColorValue::blue}};
    static const ModeWords cmyk{
        4, {&ColorValue::cyan, &ColorValue::magenta, &ColorValue::yellow, &ColorValue::black}};
    switch (mode) {
    case COLOR_GRAY:
        return &grey;
    case COLOR_RGB:
        return &rgb;
    case COLOR_CMYK:
        return &cmyk;
    default:
        return nullptr;
    }
}

} // namespace

int Work_SampleValue(const Image *image, int plane, int x, int y)
{
    return ReaderOf(Image_PlaneBits(image, plane))(Image_Row(image, plane, y), x);
}

int Work_PickColor(const Image *image, int plane, int x, int y, const ColorValue *picker, ColorValue *out)
{
    if (x < 0 || y < 0 || x >= Image_Width(image) || y >= Image_Height(image) || plane >= Image_Planes(image))
        return 0;
    int colourPlanes = Image_ColorPlanes(image);
    if (plane >= colourPlanes) {
        // Alpha or extra plane: its own value, as a grey.
        ColorValue c{};
        c.mode = COLOR_GRAY;
        c.grey = Work_SampleValue(image, plane, x, y);
        *out = c;
        return 1;
    }
    const ModeWords *words = WordsOf(Image_Mode(image));
    if (!words)
        return 0;
    // Every colour plane is read with the reader of plane 0's depth.
    Reader read = ReaderOf(Image_PlaneBits(image, 0));
    ColorValue c = *picker;
    c.mode = Image_Mode(image);
    for (int p = 0; p < std::min(words->count, colourPlanes); ++p)
        if (plane < 0 || plane == p)
            c.*(words->word[p]) = read(Image_Row(image, p, y), x);
    *out = c;
    return 1;
}

// ---- The tool ----

// The picked colour goes through the picker, so that its conversion into
// the space it shows applies, and comes back as the current colour.
void Work_Pipette(void *, const unsigned char *event)
{
    GG_Dabstone &e = *G_dabstone;
    const int32_t kind = Msg_Word(event, MSG_EV_KIND);
    const bool pick = kind == MSG_EVK_PRESS || kind == MSG_EVK_RELEASE ||
                      (kind == MSG_EVK_MOTION && (Msg_Word(event, MSG_EV_STATE) & MSG_STATE_BUTTON1));
    const int32_t x = Msg_Word(event, MSG_EV_X), y = Msg_Word(event, MSG_EV_Y);
    const Box &ib = e.imageBox;
    if (!pick || !e.image || x < ib.x1 || x > ib.x2 || y < ib.y1 || y > ib.y2)
        return;
    const ColorValue picker = Dabstone_PickerColor();
    ColorValue picked;
    if (Work_PickColor(e.image, e.plane, x, y, &picker, &picked))
        Dabstone_PickColor(picked);
}

// ---- Rebuild ----

namespace
{

// One fill of src onto the whole of dst through a view mapping srcBox onto
// it (scaling when the sizes differ). False when memory is short.
bool FillOnce(Image *src, const Box &srcBox, Image *dst, const FillTev2TevOptions &options, int mask)
{
    Fill *filler = FillTev2TevCreate(src, dst, &options, mask);
    if (!filler)
        return false;
    Box dstBox = Box_OfImage(dst);
    View *view = NViewCreate(&srcBox, &dstBox, nullptr, filler, nullptr, 0);
    if (view) {
        ViewFill(view);
        ViewDestroy(view);
    }
    FillTev2TevDestroy(filler);
    return view != nullptr;
}

} // namespace

int Work_Rebuild(Image *image)
{
    GG_Dabstone &e = *G_dabstone;
    FillTev2TevOptions o{};
    o.fgValues = e.color;
    o.dithering = e.dithering;
    if (e.brushKind == DAB_BRUSH_USER) {
        if (!e.userBrush)
            return 0; // nothing to draw: not the built-in shape in its place
        // The user brush replaces the new image's pixels, scaled to it.
        o.op = FT2T_OP_REPLACE;
        o.floating = e.floating;
        o.fgValues = Dabstone_PickerColor(); // whole, not cut down to one plane
        o.srcMask = e.userBrushMask;
        o.srcMaskPlane = 0;
        return FillOnce(e.userBrush, Box_OfImage(e.userBrush), image, o,
                        FT2T_DITHERING | FT2T_SRCMASK | FT2T_FGPIXEL | FT2T_FLOATING | FT2T_OP);
    }
    int alpha = Image_AlphaPlane(image);
    // The built-in shape into the alpha plane, the colour into the others;
    // no colour either when the shape cannot be drawn.
    if (alpha < 0 || Buildin_Make(image, alpha, 0, 0, 1, Buildin_Peak(e.opacity), e.aero ? 1.0 : 0.0))
        return 0;
    if (!e.colorImage)
        return 0;
    o.floating = 1;
    o.noSrcAlpha = 1;
    o.noDstAlpha = 1;
    Box pixel{0, 0, 0, 0, 1, 1, 0};
    return FillOnce(e.colorImage, pixel, image, o,
                    FT2T_DITHERING | FT2T_NODSTALPHA | FT2T_NOSRCALPHA | FT2T_FGPIXEL | FT2T_FLOATING);
}
