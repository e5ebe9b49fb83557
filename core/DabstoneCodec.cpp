#include "core/DabstoneCodec.h"

#include "core/Image.h"
#include "core/Msg.h"

#include <algorithm>
#include <cstring>

namespace
{

GG_Dabstone &E()
{
    return *G_dabstone;
}

} // namespace

void Dabstone_PutBox(unsigned char *out, const Box &b)
{
    Msg_PutWords(out, {b.x1, b.y1, b.x2, b.y2, b.width, b.height, 0});
}

void Dabstone_PutColor(unsigned char *out, const ColorValue &c)
{
    const int32_t *words = &c.mode;
    for (int i = 0; i < 13; ++i)
        Msg_PutWord(out, i, words[i]);
}

ColorValue Dabstone_GetColor(const unsigned char *in)
{
    ColorValue c;
    int32_t *words = &c.mode;
    for (int i = 0; i < 13; ++i)
        words[i] = Msg_Word(in, i);
    return c;
}

int Dabstone_DecodeColor(const unsigned char *in, ColorValue *out)
{
    ColorValue c = Dabstone_GetColor(in);
    if (c.mode < COLOR_GRAY || c.mode > COLOR_CMYK)
        return 0;
    for (int32_t *w : {&c.red, &c.green, &c.blue, &c.cyan, &c.magenta, &c.yellow, &c.black, &c.grey})
        *w = std::clamp(*w, 0, 255);
    *out = c;
    return 1;
}

void Dabstone_BrushDescription(unsigned char *out, int change, int remove)
{
    const GG_Dabstone &e = E();
    std::memset(out, 0, MSG_BRUSH_SIZE);
    if (!remove) {
        Msg_PutPath(out + MSG_BR_PATH, e.activeBrush ? Image_Path(e.activeBrush) : "", MSG_BR_PATH_FIELD);
        Msg_PutPath(out + MSG_BR_PATH2, e.activeBrush2 ? Image_Path(e.activeBrush2) : "", MSG_BR_PATH_FIELD);
    }
    Dabstone_PutBox(out + MSG_BR_IMAGE_BOX, e.brushImageBox);
    Dabstone_PutBox(out + MSG_BR_POS_BOX, e.brushPosBox);
    Bytes_PutS32(out + MSG_BR_OP_SIGN, e.op ? -1 : 1);
    Bytes_PutS32(out + MSG_BR_FLOATING, e.floating);
    Dabstone_PutColor(out + MSG_BR_COLOR, e.color);
    Bytes_PutS32(out + MSG_BR_CHANGE, change);
}

void Dabstone_SendPath(int32_t code, const char *path, std::initializer_list<int32_t> words)
{
    unsigned char payload[MSG_PATH_SIZE + 16] = {};
    Msg_PutPath(payload, path);
    int n = 0;
    for (int32_t w : words)
        if (n < 4) // the room after the path; no caller sends more
            Bytes_PutS32(payload + MSG_PATH_SIZE + 4 * n++, w);
    Dabstone_SendKernel(code, payload, MSG_PATH_SIZE + 4 * n);
}

bool Dabstone_IsPathOf(const Image *image, const std::string &path)
{
    return image && path == Image_Path(image);
}
