// The engine's message codecs: the records it writes into payloads (boxes,
// colours, the brush description) and the path messages it sends to the
// kernel. Field access itself is Msg.h's.
#pragma once
#include "core/Dabstone.h"

#include <initializer_list>
#include <string>

// A box as 7 words: x1, y1, x2, y2, width, height, 0.
void Dabstone_PutBox(unsigned char *out, const Box &box);
// A colour record as its 13 words, and back.
void Dabstone_PutColor(unsigned char *out, const ColorValue &color);
ColorValue Dabstone_GetColor(const unsigned char *in);
// A colour record that a peer sent: 1 and the record with its channels
// clamped to 0..255 when its space is GRAY, RGB or CMYK, else 0.
int Dabstone_DecodeColor(const unsigned char *in, ColorValue *out);

// Sends `code` to the kernel: the path field, then the words.
void Dabstone_SendPath(int32_t code, const char *path, std::initializer_list<int32_t> words = {});
// 1 when image is an image and path is its path.
bool Dabstone_IsPathOf(const Image *image, const std::string &path);
