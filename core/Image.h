// Image store access. A store image is a file mapped whole and shared: a
// fixed 2636-byte header with up to 32 plane records, then page-aligned
// planes of raw samples. An image is known by the address of its mapped
// header (`Image *`); every multi-byte integer in the file is big-endian,
// 16- and 32-bit samples included. Read fields through the helpers below,
// never by hand-coded offsets.
#pragma once
#include "core/Bytes.h"

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <string>

// Opaque: the mapped header of a store file. Never dereferenced as such.
struct Image;

// Sizes of the records and fields.
constexpr int IMAGE_HEADER_SIZE = 2636;
constexpr int IMAGE_PLANE_RECORD_SIZE = 40;
constexpr int IMAGE_MAX_PLANES = 32;
constexpr int IMAGE_INFO_SIZE = 568;
constexpr int IMAGE_PAGE_SIZE = 4096;
constexpr int IMAGE_SMALL_BLOCK_MAX = 4096;
constexpr int IMAGE_LUT_ENTRY_SIZE = 12;
constexpr int IMAGE_PATH_SIZE = 500;
constexpr int IMAGE_TITLE_SIZE = 512;
constexpr int IMAGE_APPNAME_SIZE = 100;
constexpr int IMAGE_STRING_2456_SIZE = 32;
constexpr int IMAGE_PLANE_NAME_SIZE = 16;
constexpr uint32_t IMAGE_MAGIC = 0xFABED1F1u;

// Header fields: byte offsets from the start of the file (32-bit words
// unless the name says otherwise). The WORD_/STRING_ fields belong to the
// host suite; this program only copies them.
constexpr int IMAGE_WIDTH = 0;
constexpr int IMAGE_HEIGHT = 4;
constexpr int IMAGE_PLANES = 8;
constexpr int IMAGE_COLOR_PLANES = 12;
constexpr int IMAGE_ALPHA_PLANES = 16;
constexpr int IMAGE_MODE = 20;
constexpr int IMAGE_LUT_OFFSET = 24;
constexpr int IMAGE_WORD_28 = 28;
constexpr int IMAGE_LUT_ENTRIES = 32;
constexpr int IMAGE_LUT_BITS = 36;
constexpr int IMAGE_PLANE_RECORDS = 40;
constexpr int IMAGE_DATA_END = 1320;
constexpr int IMAGE_FLAGS = 1324;
constexpr int IMAGE_SMALL_SIZE = 1328;
constexpr int IMAGE_SMALL_OFFSET = 1332;
constexpr int IMAGE_PATH = 1336;      // char[500]
constexpr int IMAGE_FILE_SIZE = 1836; // the length to map
constexpr int IMAGE_TITLE = 1840;     // char[512]
constexpr int IMAGE_WORD_2352 = 2352;
constexpr int IMAGE_MODIFIER = 2356;    // char[100]: application that last modified it
constexpr int IMAGE_STRING_2456 = 2456; // char[32]
constexpr int IMAGE_MODIFIED_A = 2488;
constexpr int IMAGE_MODIFIED_B = 2492;
constexpr int IMAGE_CREATOR = 2496; // char[100]: application that created it
constexpr int IMAGE_TYPED_OFFSET = 2596;
constexpr int IMAGE_TYPED_TYPE = 2600;
constexpr int IMAGE_TYPED_SIZE = 2604;
constexpr int IMAGE_CTIME = 2608;
constexpr int IMAGE_MTIME = 2612;
constexpr int IMAGE_WORD_2616 = 2616;
constexpr int IMAGE_RESOLUTION = 2620;
constexpr int IMAGE_WORD_2624 = 2624; // copied from the info record
constexpr int IMAGE_WORD_2628 = 2628;
constexpr int IMAGE_MAGIC_AT = 2632;

// Plane record fields: offsets inside record i, which lies at 40 + 40 * i.
constexpr int IMAGE_PLANE_OFFSET = 0; // file offset of the first row
constexpr int IMAGE_PLANE_WORD_4 = 4;
constexpr int IMAGE_PLANE_BITS = 8;   // storage bits per sample: 1, 8, 16, 32
constexpr int IMAGE_PLANE_DEPTH = 12; // declared depth in bits
constexpr int IMAGE_PLANE_BYTES_PER_ROW = 16;
constexpr int IMAGE_PLANE_KIND = 20;
constexpr int IMAGE_PLANE_NAME = 24; // char[16]

// Colour modes and plane kinds.
constexpr int IMAGE_MODE_GREY = 1;
constexpr int IMAGE_MODE_RGB = 2;
constexpr int IMAGE_MODE_CMYK = 3;
constexpr int IMAGE_KIND_GREY = 2;
constexpr int IMAGE_KIND_RED = 3;
constexpr int IMAGE_KIND_GREEN = 4;
constexpr int IMAGE_KIND_BLUE = 5;
constexpr int IMAGE_KIND_CYAN = 6;
constexpr int IMAGE_KIND_MAGENTA = 7;
constexpr int IMAGE_KIND_YELLOW = 8;
constexpr int IMAGE_KIND_BLACK = 9;
constexpr int IMAGE_KIND_ALPHA = 16;
constexpr int IMAGE_KIND_EXTRA = 18;

// Image info record (568 bytes, travels in messages 2002 and 2007): offsets.
constexpr int IMAGE_INFO_WIDTH = 0;
constexpr int IMAGE_INFO_HEIGHT = 4;
constexpr int IMAGE_INFO_MODE = 8;
constexpr int IMAGE_INFO_BITS = 12;  // bits per colour sample
constexpr int IMAGE_INFO_TITLE = 16; // char[512]; empty asks for "Untitled_%d"
constexpr int IMAGE_INFO_SMALL_SIZE = 528;
constexpr int IMAGE_INFO_TYPED_TYPE = 532;
constexpr int IMAGE_INFO_TYPED_SIZE = 536;
constexpr int IMAGE_INFO_WORD_2624 = 540;
constexpr int IMAGE_INFO_PLACEMENT = 544; // IMAGE_PLACE_* flags; header flags word
constexpr int IMAGE_INFO_ALPHA = 548;     // 0 or 1
constexpr int IMAGE_INFO_LUT_ENTRIES = 552;
constexpr int IMAGE_INFO_EXTRA = 556;
constexpr int IMAGE_INFO_EXTRA_DEPTH = 560; // -1 from Image_GetInfo when no extra plane
constexpr int IMAGE_INFO_MODIFIED_B = 564;
constexpr int IMAGE_PLACE_SHARED_TMP = 4; // create in the shared temporary subdirectory
constexpr int IMAGE_PLACE_REAL_TMP = 8;   // create in its parent directory

// ---- Store operations: 0 or an error code (system errno, or 1045, 1046,
// 1050, 1062, 1063, 1213) ----

// Map an existing store file shared, read-write or read-only. A file whose
// header does not describe it (shorter than the header or than its recorded
// size, bad plane records, rows outside the file, ...) is refused with 1062
// before anything is mapped, so reading any sample of a plane never faults.
int Image_OpenImage(Image **image, const char *path);
int Image_OpenReadImage(Image **image, const char *path);
// Unmap (the file stays) / unmap and remove the file that was opened.
int Image_CloseImage(Image *image);
int Image_DestroyImage(Image *image);

// Info records: all zero / described from an image's header.
void Image_InitInfo(unsigned char *info);
// An info record of that geometry (no extra planes), the rest zero.
void Image_MakeInfo(unsigned char *info, int width, int height, int mode, int bits, int alpha);
void Image_GetInfo(const Image *image, unsigned char *info);
// Copy the descriptive fields (names, flags, times, suite words, small and
// typed blocks, lookup table of the same size) into an image of the same
// geometry.
void Image_CopyHeader(Image *destination, const Image *source);
// "GREY", "RGB", "CMYK" or "UNDEF".
const char *Image_ModeToText(int mode);

// Name callback: the path of the next image to create, or null.
using ImageNameProc = const char *(*)(void *arg);
// Temporary directory (must be writable; null unsets it) and name callback.
int Image_Init(const char *directory, ImageNameProc nameProc, void *arg);
// Make "<directory>/TEVTMP" (mode 0777) the shared temporary subdirectory.
int Image_InitRealTmp(const char *directory);
// "<dir>/img.<pid>.<n>" not yet existing: in the temporary directory, or in
// the shared subdirectory (IMAGE_PLACE_SHARED_TMP) or its parent
// (IMAGE_PLACE_REAL_TMP). Empty when the directory is not set.
std::string GetNextTmpName();
std::string Image_RealTmpName(int placement);
// One plane record of a header being built (width and height already set):
// storage bits from the depth, bytes per row, first row at *dataEnd, which
// advances by the whole pages the plane takes; name cut to 15 characters,
// "Untitled" when none.
void Image_InitPlane(unsigned char *header, int index, int depth, int kind, const char *name,
                     int64_t *dataEnd);
// Create, size, map and initialise a new store file described by the info
// record; on failure *image is null and no file is left behind.
int Image_CreateImage(Image **image, const unsigned char *info);

// Free space in kilobytes on the file system of path; all bits set when it
// cannot be known (which passes every free-space test).
uint32_t Misk_GetFreeDisk(const char *path);
// Fill count bytes (nothing when count <= 0).
void Orvaldi_memset(void *address, int value, long count);
// A malloc'ed copy, or null when memory is short (or text is null).
char *Strdup(const char *text);

// Size in megabytes: sum over planes of width * height / 8 * storage bits,
// divided by 1048576 (decides whether undo is switched on).
double Image_SizeMegabytes(const Image *image);

// ---- Field helpers ----

inline unsigned char *Image_Bytes(Image *image)
{
    return reinterpret_cast<unsigned char *>(image);
}
inline const unsigned char *Image_Bytes(const Image *image)
{
    return reinterpret_cast<const unsigned char *>(image);
}
inline int32_t Image_Field(const Image *image, int offset)
{
    return Bytes_Field(Image_Bytes(image), offset);
}
inline void Image_SetField(Image *image, int offset, int32_t v)
{
    Bytes_SetField(Image_Bytes(image), offset, v);
}
// A NUL-terminated text field of the header (path, title, names).
inline const char *Image_Text(const Image *image, int offset)
{
    return reinterpret_cast<const char *>(Image_Bytes(image) + offset);
}
// Store text cut to size - 1 characters, the rest of the field zeroed.
void Image_SetText(Image *image, int offset, int size, const char *text);

inline int32_t Image_Width(const Image *i)
{
    return Image_Field(i, IMAGE_WIDTH);
}
inline int32_t Image_Height(const Image *i)
{
    return Image_Field(i, IMAGE_HEIGHT);
}
inline int32_t Image_Planes(const Image *i)
{
    return Image_Field(i, IMAGE_PLANES);
}
inline int32_t Image_ColorPlanes(const Image *i)
{
    return Image_Field(i, IMAGE_COLOR_PLANES);
}
inline int32_t Image_AlphaPlanes(const Image *i)
{
    return Image_Field(i, IMAGE_ALPHA_PLANES);
}
inline int32_t Image_ExtraPlanes(const Image *i)
{
    return Image_Planes(i) - Image_ColorPlanes(i) - Image_AlphaPlanes(i);
}
// Index of the alpha plane (it follows the colour planes), or -1.
inline int Image_AlphaPlane(const Image *i)
{
    return Image_AlphaPlanes(i) ? Image_ColorPlanes(i) : -1;
}
inline int32_t Image_Mode(const Image *i)
{
    return Image_Field(i, IMAGE_MODE);
}
inline int32_t Image_FileSize(const Image *i)
{
    return Image_Field(i, IMAGE_FILE_SIZE);
}
inline const char *Image_Path(const Image *i)
{
    return Image_Text(i, IMAGE_PATH);
}
inline const char *Image_Title(const Image *i)
{
    return Image_Text(i, IMAGE_TITLE);
}
inline const char *Image_Modifier(const Image *i)
{
    return Image_Text(i, IMAGE_MODIFIER);
}
inline const char *Image_Creator(const Image *i)
{
    return Image_Text(i, IMAGE_CREATOR);
}
inline int32_t Image_ModifiedA(const Image *i)
{
    return Image_Field(i, IMAGE_MODIFIED_A);
}
inline int32_t Image_ModifiedB(const Image *i)
{
    return Image_Field(i, IMAGE_MODIFIED_B);
}
// Stamp as changed by a writer: modification time, both flags 1, modifier.
void Image_SetModified(Image *image, const char *modifier, time_t when);

// Plane records.
inline const unsigned char *Image_PlaneRecord(const Image *i, int plane)
{
    return Image_Bytes(i) + IMAGE_PLANE_RECORDS + IMAGE_PLANE_RECORD_SIZE * plane;
}
inline unsigned char *Image_PlaneRecord(Image *i, int plane)
{
    return Image_Bytes(i) + IMAGE_PLANE_RECORDS + IMAGE_PLANE_RECORD_SIZE * plane;
}
inline int32_t Image_PlaneField(const Image *i, int plane, int field)
{
    return Bytes_Field(Image_PlaneRecord(i, plane), field);
}
inline int32_t Image_PlaneOffset(const Image *i, int p)
{
    return Image_PlaneField(i, p, IMAGE_PLANE_OFFSET);
}
inline int32_t Image_PlaneBits(const Image *i, int p)
{
    return Image_PlaneField(i, p, IMAGE_PLANE_BITS);
}
inline int32_t Image_PlaneDepth(const Image *i, int p)
{
    return Image_PlaneField(i, p, IMAGE_PLANE_DEPTH);
}
inline int32_t Image_PlaneBytesPerRow(const Image *i, int p)
{
    return Image_PlaneField(i, p, IMAGE_PLANE_BYTES_PER_ROW);
}
inline int32_t Image_PlaneKind(const Image *i, int p)
{
    return Image_PlaneField(i, p, IMAGE_PLANE_KIND);
}
inline const char *Image_PlaneName(const Image *i, int p)
{
    return reinterpret_cast<const char *>(Image_PlaneRecord(i, p) + IMAGE_PLANE_NAME);
}

// First byte of row y of a plane.
inline unsigned char *Image_Row(Image *i, int plane, int y)
{
    return Image_Bytes(i) + Image_PlaneOffset(i, plane) + ptrdiff_t(y) * Image_PlaneBytesPerRow(i, plane);
}
inline const unsigned char *Image_Row(const Image *i, int plane, int y)
{
    return Image_Bytes(i) + Image_PlaneOffset(i, plane) + ptrdiff_t(y) * Image_PlaneBytesPerRow(i, plane);
}

// One sample at its storage size: 0/1 for 1 bit (most significant bit
// first), else the byte or the big-endian 16- or 32-bit value. Slow path
// for tools and tests; pixel loops walk rows themselves.
inline uint32_t Image_GetSample(const Image *i, int plane, int x, int y)
{
    const unsigned char *row = Image_Row(i, plane, y);
    switch (Image_PlaneBits(i, plane)) {
    case 1:
        return (row[x >> 3] >> (7 - (x & 7))) & 1u;
    case 8:
        return row[x];
    case 16:
        return Bytes_Get16(row + 2 * ptrdiff_t(x));
    default:
        return Bytes_Get32(row + 4 * ptrdiff_t(x));
    }
}
inline void Image_SetSample(Image *i, int plane, int x, int y, uint32_t v)
{
    unsigned char *row = Image_Row(i, plane, y);
    switch (Image_PlaneBits(i, plane)) {
    case 1: {
        unsigned char bit = static_cast<unsigned char>(0x80u >> (x & 7));
        row[x >> 3] = static_cast<unsigned char>(v ? row[x >> 3] | bit : row[x >> 3] & ~bit);
        break;
    }
    case 8:
        row[x] = static_cast<unsigned char>(v);
        break;
    case 16:
        Bytes_Put16(row + 2 * ptrdiff_t(x), static_cast<uint16_t>(v));
        break;
    default:
        Bytes_Put32(row + 4 * ptrdiff_t(x), v);
        break;
    }
}
