// PNG files for sorbane's image tools (through libpng), and their passage to
// and from store images.
#pragma once
#include "core/Image.h"

#include <cstdint>
#include <string>
#include <vector>

// A decoded PNG: grey, grey + alpha, RGB or RGB + alpha, 8 or 16 bits.
struct PngImage {
    int width = 0;
    int height = 0;
    int channels = 0; // 1 grey, 2 grey + alpha, 3 RGB, 4 RGB + alpha
    int bits = 0;     // 8 or 16
    // Rows top to bottom, channels interleaved, 16-bit samples big-endian
    // (as in the file).
    std::vector<unsigned char> data;
};

inline size_t Png_Index(const PngImage &png, int x, int y, int c)
{
    return ((size_t(y) * size_t(png.width) + size_t(x)) * size_t(png.channels) + size_t(c)) *
           size_t(png.bits / 8);
}
inline uint32_t Png_GetSample(const PngImage &png, int x, int y, int c)
{
    size_t i = Png_Index(png, x, y, c);
    return png.bits == 16 ? Bytes_Get16(&png.data[i]) : png.data[i];
}
inline void Png_SetSample(PngImage &png, int x, int y, int c, uint32_t v)
{
    size_t i = Png_Index(png, x, y, c);
    if (png.bits == 16)
        Bytes_Put16(&png.data[i], uint16_t(v));
    else
        png.data[i] = uint8_t(v);
}

// Size png for its width, height, channels and bits: 0, 1050 when it could
// not become a store image, 1017 when memory is short.
int Png_Allocate(PngImage *png);

// Decode a PNG file of any colour type (palettes and low bit depths are
// widened to 8 bits). 0, or an error code with a short reason: 1063 not a
// PNG, 1025 damaged or truncated, 1050 too large; or a system error number
// (no reason: the number says it).
int Png_Read(const char *path, PngImage *png, std::string *reason);
// Encode png into path, replacing it only once the whole file is written.
int Png_Write(const char *path, const PngImage &png, std::string *reason);

// The store image info record that holds png (mode, bits, alpha plane).
void Png_StoreInfo(const PngImage &png, unsigned char *info);
// Copy the samples of png into an image made from Png_StoreInfo. The
// store's alpha plane has 8 bits: 16-bit alpha is rounded to it.
void Png_ToImage(const PngImage &png, Image *image);
// A PNG of a store image: grey stays grey, RGB stays RGB, CMYK becomes RGB
// (R = max(0, full - C - K) ...); 16- and 32-bit planes give a 16-bit PNG,
// 1- and 8-bit planes an 8-bit one; the alpha plane when there is one.
// Extra planes are left out. 0, or 1045 for an image of unknown mode.
int Png_FromImage(const Image *image, PngImage *png);
