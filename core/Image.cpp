#include "core/Image.h"
#include "core/OrvError.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <map>
#include <mutex>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

namespace
{

// Module state.
char *tmpDirectory = nullptr; // Image_Init
ImageNameProc nameProc = nullptr;
void *nameArg = nullptr;
char *realTmpDirectory = nullptr; // "<dir>/TEVTMP" from Image_InitRealTmp
int tmpCounter = 0;
int realTmpCounter = 0;
int titleCounter = 1;

// What was mapped, by header address: the length to unmap and the file to
// remove. The header's own size and path words live in shared memory that a
// peer may rewrite, so they are not trusted for munmap or unlink.
struct Mapping {
    size_t length;
    std::string path;
};
std::mutex mappingsLock;
std::map<const Image *, Mapping> mappings;

void Remember(const Image *image, size_t length, const std::string &path)
{
    std::lock_guard<std::mutex> hold(mappingsLock);
    mappings[image] = Mapping{length, path};
}

bool Forget(const Image *image, Mapping *mapping)
{
    std::lock_guard<std::mutex> hold(mappingsLock);
    auto it = mappings.find(image);
    if (it == mappings.end())
        return false;
    *mapping = it->second;
    mappings.erase(it);
    return true;
}

int32_t Get(const unsigned char *h, int offset)
{
    return Bytes_Field(h, offset);
}
void Set(unsigned char *h, int offset, int32_t v)
{
    Bytes_SetField(h, offset, v);
}

void PutText(unsigned char *field, int size, const char *text)
{
    size_t n = text ? strnlen(text, size_t(size) - 1) : 0;
    if (n)
        memcpy(field, text, n);
    memset(field + n, 0, size_t(size) - n);
}

bool Terminated(const unsigned char *h, int offset, int size)
{
    return memchr(h + offset, 0, size_t(size));
}

// A region [offset, offset + length) lies inside a file of size bytes.
bool Inside(int64_t offset, int64_t length, int64_t size)
{
    if (length == 0)
        return true;
    return offset >= 0 && length > 0 && offset <= size - length;
}

int64_t RowBytes(int64_t width, int bits)
{
    return bits == 1 ? (width + 7) / 8 : width * bits / 8;
}

int ColorPlanesOfMode(int mode)
{
    switch (mode) {
    case IMAGE_MODE_GREY:
        return 1;
    case IMAGE_MODE_RGB:
        return 3;
    case IMAGE_MODE_CMYK:
        return 4;
    default:
        return 0;
    }
}

bool PlaneFits(const unsigned char *h, int plane, int64_t fileSize)
{
    const unsigned char *r = h + IMAGE_PLANE_RECORDS + IMAGE_PLANE_RECORD_SIZE * plane;
    int bits = Get(r, IMAGE_PLANE_BITS);
    if (bits != 1 && bits != 8 && bits != 16 && bits != 32)
        return false;
    int64_t perRow = Get(r, IMAGE_PLANE_BYTES_PER_ROW);
    int64_t offset = Get(r, IMAGE_PLANE_OFFSET);
    return perRow >= RowBytes(Get(h, IMAGE_WIDTH), bits) && offset >= IMAGE_HEADER_SIZE &&
           Inside(offset, perRow * Get(h, IMAGE_HEIGHT), fileSize) &&
           Terminated(r, IMAGE_PLANE_NAME, IMAGE_PLANE_NAME_SIZE);
}

// The header describes a file of fileLength bytes whose every plane row,
// block and text field can be read without leaving the mapping.
bool LayoutFits(const unsigned char *h, int64_t fileLength)
{
    int64_t size = Get(h, IMAGE_FILE_SIZE);
    if (size < IMAGE_HEADER_SIZE || size > fileLength)
        return false;
    int64_t planes = Get(h, IMAGE_PLANES), colour = Get(h, IMAGE_COLOR_PLANES),
            alpha = Get(h, IMAGE_ALPHA_PLANES);
    if (colour < 1 || alpha < 0 || alpha > 1 || planes < colour + alpha || planes > IMAGE_MAX_PLANES)
        return false;
    int modePlanes = ColorPlanesOfMode(Get(h, IMAGE_MODE));
    if (modePlanes && modePlanes != colour)
        return false;
    int64_t small = Get(h, IMAGE_SMALL_SIZE);
    if (small > IMAGE_SMALL_BLOCK_MAX || !Inside(Get(h, IMAGE_SMALL_OFFSET), small, size) ||
        !Inside(Get(h, IMAGE_TYPED_OFFSET), Get(h, IMAGE_TYPED_SIZE), size) ||
        !Inside(Get(h, IMAGE_LUT_OFFSET), int64_t(Get(h, IMAGE_LUT_ENTRIES)) * IMAGE_LUT_ENTRY_SIZE, size))
        return false;
    if (!Terminated(h, IMAGE_PATH, IMAGE_PATH_SIZE) || !Terminated(h, IMAGE_TITLE, IMAGE_TITLE_SIZE) ||
        !Terminated(h, IMAGE_MODIFIER, IMAGE_APPNAME_SIZE) ||
        !Terminated(h, IMAGE_CREATOR, IMAGE_APPNAME_SIZE) ||
        !Terminated(h, IMAGE_STRING_2456, IMAGE_STRING_2456_SIZE))
        return false;
    for (int p = 0; p < planes; ++p)
        if (!PlaneFits(h, p, size))
            return false;
    return true;
}

int ReadHeader(int fd, unsigned char *header)
{
    size_t got = 0;
    while (got < IMAGE_HEADER_SIZE) {
        ssize_t n = pread(fd, header + got, IMAGE_HEADER_SIZE - got, off_t(got));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return errno;
        if (n == 0)
            return ORV_BAD_SIZE;
        got += size_t(n);
    }
    return 0;
}

// Check an open store file; on success *size is the length to map.
int CheckFile(int fd, size_t *size)
{
    struct stat st;
    if (fstat(fd, &st))
        return errno;
    if (S_ISDIR(st.st_mode))
        return EISDIR;
    if (!S_ISREG(st.st_mode))
        return ORV_UNKNOWN_FORMAT;
    unsigned char h[IMAGE_HEADER_SIZE];
    if (st.st_size < IMAGE_HEADER_SIZE)
        return ORV_BAD_SIZE;
    if (int code = ReadHeader(fd, h))
        return code;
    if (Bytes_Get32(h + IMAGE_MAGIC_AT) != IMAGE_MAGIC)
        return ORV_UNKNOWN_FORMAT;
    if (Get(h, IMAGE_WIDTH) < 1 || Get(h, IMAGE_HEIGHT) < 1)
        return ORV_CANNOT_HANDLE;
    if (!LayoutFits(h, st.st_size))
        return ORV_BAD_SIZE;
    *size = size_t(Get(h, IMAGE_FILE_SIZE));
    return 0;
}

int OpenMapped(Image **image, const char *path, bool writable)
{
    *image = nullptr;
    if (!path)
        return EINVAL;
    // Non-blocking so that a FIFO given by mistake is refused, not waited on.
    int fd = open(path, (writable ? O_RDWR : O_RDONLY) | O_SYNC | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return errno;
    size_t size = 0;
    int code = CheckFile(fd, &size);
    if (!code) {
        void *map = mmap(nullptr, size, writable ? PROT_READ | PROT_WRITE : PROT_READ, MAP_SHARED, fd, 0);
        if (map == MAP_FAILED) {
            code = errno;
        } else {
            *image = static_cast<Image *>(map);
            Remember(*image, size, path);
        }
    }
    close(fd);
    return code;
}

int64_t RoundToPage(int64_t n)
{
    return (n + IMAGE_PAGE_SIZE - 1) / IMAGE_PAGE_SIZE * IMAGE_PAGE_SIZE;
}

// Bits needed for the indices 0 ... entries - 1.
int IndexBits(int entries)
{
    int bits = 0;
    while (bits < 31 && (int64_t(1) << bits) < entries)
        ++bits;
    return bits;
}

struct PlaneName {
    int kind;
    const char *name;
};
constexpr PlaneName kGrey[] = {{IMAGE_KIND_GREY, "Gray"}};
constexpr PlaneName kRgb[] = {
    {IMAGE_KIND_RED, "Red"}, {IMAGE_KIND_GREEN, "Green"}, {IMAGE_KIND_BLUE, "Blue"}};
constexpr PlaneName kCmyk[] = {{IMAGE_KIND_CYAN, "Cyan"},
                               {IMAGE_KIND_MAGENTA, "Magenta"},
                               {IMAGE_KIND_YELLOW, "Yellow"},
                               {IMAGE_KIND_BLACK, "Black"}};

bool ValidDepth(int depth)
{
    return depth >= 1 && depth <= 32;
}

// Steps 1 to 8 of creation, all but the path: the whole header in h.
int BuildHeader(unsigned char *h, const unsigned char *info)
{
    memset(h, 0, IMAGE_HEADER_SIZE);
    Set(h, IMAGE_RESOLUTION, 72);
    Set(h, IMAGE_WORD_2616, -1);
    Set(h, IMAGE_WORD_2352, -1);
    Set(h, IMAGE_WORD_2624, Get(info, IMAGE_INFO_WORD_2624));
    int32_t now = int32_t(time(nullptr));
    Set(h, IMAGE_CTIME, now);
    Set(h, IMAGE_MTIME, now);
    Bytes_Put32(h + IMAGE_MAGIC_AT, IMAGE_MAGIC);
    char title[IMAGE_TITLE_SIZE];
    if (info[IMAGE_INFO_TITLE])
        PutText(reinterpret_cast<unsigned char *>(title), IMAGE_TITLE_SIZE,
                reinterpret_cast<const char *>(info + IMAGE_INFO_TITLE));
    else
        snprintf(title, sizeof title, "Untitled_%d", titleCounter++);
    PutText(h + IMAGE_TITLE, IMAGE_TITLE_SIZE, title);

    int width = Get(info, IMAGE_INFO_WIDTH), height = Get(info, IMAGE_INFO_HEIGHT);
    int small = Get(info, IMAGE_INFO_SMALL_SIZE), typed = Get(info, IMAGE_INFO_TYPED_SIZE);
    int entries = Get(info, IMAGE_INFO_LUT_ENTRIES), extras = Get(info, IMAGE_INFO_EXTRA);
    int depth = Get(info, IMAGE_INFO_BITS), extraDepth = Get(info, IMAGE_INFO_EXTRA_DEPTH);
    bool alpha = Get(info, IMAGE_INFO_ALPHA) != 0;
    if (small > IMAGE_SMALL_BLOCK_MAX || small < 0 || typed < 0 || entries < 0 || width < 1 || height < 1 ||
        !ValidDepth(depth) || extras < 0 || (extras > 0 && !ValidDepth(extraDepth)))
        return ORV_BAD_PARAMETER;
    // Even one bit per pixel would not fit the 32-bit size word.
    if (int64_t(width) * height / 8 > INT32_MAX)
        return ORV_TOO_LARGE;
    Set(h, IMAGE_WIDTH, width);
    Set(h, IMAGE_HEIGHT, height);

    int64_t end = IMAGE_HEADER_SIZE;
    Set(h, IMAGE_LUT_OFFSET, int32_t(end));
    Set(h, IMAGE_LUT_ENTRIES, entries);
    Set(h, IMAGE_LUT_BITS, IndexBits(entries));
    end += int64_t(entries) * IMAGE_LUT_ENTRY_SIZE;
    Set(h, IMAGE_TYPED_OFFSET, int32_t(std::min<int64_t>(end, INT32_MAX)));
    Set(h, IMAGE_TYPED_TYPE, Get(info, IMAGE_INFO_TYPED_TYPE));
    Set(h, IMAGE_TYPED_SIZE, typed);
    end += typed;
    Set(h, IMAGE_SMALL_OFFSET, int32_t(std::min<int64_t>(end, INT32_MAX)));
    Set(h, IMAGE_SMALL_SIZE, small);
    end = RoundToPage(end + small);

    int mode = Get(info, IMAGE_INFO_MODE);
    const PlaneName *colours = mode == IMAGE_MODE_GREY ? kGrey : mode == IMAGE_MODE_RGB ? kRgb : kCmyk;
    int colourCount = ColorPlanesOfMode(mode);
    if (!colourCount)
        return ORV_BAD_PARAMETER;
    Set(h, IMAGE_MODE, mode);
    int total = colourCount + (alpha ? 1 : 0);
    if (extras > IMAGE_MAX_PLANES - total)
        return ORV_BAD_PARAMETER;
    total += extras;
    int plane = 0;
    for (; plane < colourCount; ++plane)
        Image_InitPlane(h, plane, depth, colours[plane].kind, colours[plane].name, &end);
    Set(h, IMAGE_COLOR_PLANES, colourCount);
    if (alpha) {
        Image_InitPlane(h, plane++, 8, IMAGE_KIND_ALPHA, "Alpha", &end);
        Set(h, IMAGE_ALPHA_PLANES, 1);
    }
    while (plane < total)
        Image_InitPlane(h, plane++, extraDepth, IMAGE_KIND_EXTRA, "Extra", &end);
    Set(h, IMAGE_PLANES, total);
    // Offsets and sizes are 32-bit signed words.
    if (end > INT32_MAX)
        return ORV_TOO_LARGE;
    Set(h, IMAGE_DATA_END, int32_t(end));
    Set(h, IMAGE_FILE_SIZE, int32_t(end));
    return 0;
}

// The first "<dir>/img.<pid>.<n>" that does not exist, n from the counter.
std::string FreeName(const char *dir, int *counter)
{
    if (!dir)
        return {};
    char name[PATH_MAX];
    struct stat st;
    while (*counter < INT_MAX) {
        snprintf(name, sizeof name, "%s/img.%d.%d", dir, int(getpid()), ++*counter);
        if (lstat(name, &st) && errno == ENOENT)
            return name;
    }
    return {};
}

std::string ChoosePath(int placement)
{
    if ((placement & (IMAGE_PLACE_SHARED_TMP | IMAGE_PLACE_REAL_TMP)) && realTmpDirectory)
        return Image_RealTmpName(placement);
    if (nameProc) {
        const char *name = nameProc(nameArg);
        return name ? name : "";
    }
    return GetNextTmpName();
}

// Give the new file its length with the blocks behind it, so that a full
// disk shows here and not later as a bus error in a peer writing the
// mapping; file systems without fallocate get the length alone.
int Reserve(int fd, int64_t size)
{
    if (fallocate(fd, 0, 0, off_t(size)) == 0)
        return 0;
    if (errno == ENOSPC)
        return ORV_DISK_FULL;
    if (lseek(fd, off_t(size - 1), SEEK_SET) < 0)
        return errno;
    const char blank = 0;
    if (write(fd, &blank, 1) != 1)
        return errno == ENOSPC ? ORV_DISK_FULL : errno ? errno : EIO;
    return 0;
}

// Steps 9 to 12: create the file, check the room, size, map, copy the header.
int MakeFile(Image **image, const unsigned char *h, const std::string &path)
{
    int64_t size = Get(h, IMAGE_FILE_SIZE);
    int fd = open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_SYNC | O_CLOEXEC, 0666);
    if (fd < 0)
        return errno;
    int code = 0;
    void *map = MAP_FAILED;
    if (Misk_GetFreeDisk(path.c_str()) < uint64_t(size) / 1024)
        code = ORV_DISK_FULL;
    else if (!(code = Reserve(fd, size))) {
        map = mmap(nullptr, size_t(size), PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
        if (map == MAP_FAILED)
            code = errno;
    }
    close(fd);
    if (code) {
        unlink(path.c_str());
        return code;
    }
    memcpy(map, h, IMAGE_HEADER_SIZE);
    *image = static_cast<Image *>(map);
    Remember(*image, size_t(size), path);
    return 0;
}

} // namespace

void Image_InitPlane(unsigned char *h, int index, int depth, int kind, const char *name, int64_t *end)
{
    unsigned char *r = h + IMAGE_PLANE_RECORDS + IMAGE_PLANE_RECORD_SIZE * index;
    int bits = depth == 1 ? 1 : depth <= 8 ? 8 : depth <= 16 ? 16 : 32;
    int64_t perRow = RowBytes(Get(h, IMAGE_WIDTH), bits);
    Set(r, IMAGE_PLANE_OFFSET, int32_t(std::min<int64_t>(*end, INT32_MAX)));
    Set(r, IMAGE_PLANE_BITS, bits);
    Set(r, IMAGE_PLANE_DEPTH, depth);
    Set(r, IMAGE_PLANE_BYTES_PER_ROW, int32_t(std::min<int64_t>(perRow, INT32_MAX)));
    Set(r, IMAGE_PLANE_KIND, kind);
    PutText(r + IMAGE_PLANE_NAME, IMAGE_PLANE_NAME_SIZE, name && *name ? name : "Untitled");
    *end += RoundToPage(perRow * Get(h, IMAGE_HEIGHT));
}

int Image_OpenImage(Image **image, const char *path)
{
    return OpenMapped(image, path, true);
}

int Image_OpenReadImage(Image **image, const char *path)
{
    return OpenMapped(image, path, false);
}

int Image_CloseImage(Image *image)
{
    Mapping m;
    if (!image || !Forget(image, &m))
        return EINVAL;
    return munmap(image, m.length) ? errno : 0;
}

int Image_DestroyImage(Image *image)
{
    Mapping m;
    if (!image || !Forget(image, &m))
        return EINVAL;
    int code = munmap(image, m.length) ? errno : 0;
    if (unlink(m.path.c_str()) && !code)
        code = errno;
    return code;
}

void Image_InitInfo(unsigned char *info)
{
    memset(info, 0, IMAGE_INFO_SIZE);
}

void Image_MakeInfo(unsigned char *info, int width, int height, int mode, int bits, int alpha)
{
    Image_InitInfo(info);
    Set(info, IMAGE_INFO_WIDTH, width);
    Set(info, IMAGE_INFO_HEIGHT, height);
    Set(info, IMAGE_INFO_MODE, mode);
    Set(info, IMAGE_INFO_BITS, bits);
    Set(info, IMAGE_INFO_ALPHA, alpha);
}

void Image_GetInfo(const Image *image, unsigned char *info)
{
    const unsigned char *h = Image_Bytes(image);
    Image_InitInfo(info);
    Set(info, IMAGE_INFO_WIDTH, Get(h, IMAGE_WIDTH));
    Set(info, IMAGE_INFO_HEIGHT, Get(h, IMAGE_HEIGHT));
    Set(info, IMAGE_INFO_MODE, Get(h, IMAGE_MODE));
    Set(info, IMAGE_INFO_BITS, Image_PlaneBits(image, 0));
    memcpy(info + IMAGE_INFO_TITLE, h + IMAGE_TITLE, IMAGE_TITLE_SIZE);
    Set(info, IMAGE_INFO_SMALL_SIZE, Get(h, IMAGE_SMALL_SIZE));
    Set(info, IMAGE_INFO_TYPED_TYPE, Get(h, IMAGE_TYPED_TYPE));
    Set(info, IMAGE_INFO_TYPED_SIZE, Get(h, IMAGE_TYPED_SIZE));
    Set(info, IMAGE_INFO_WORD_2624, Get(h, IMAGE_WORD_2624));
    Set(info, IMAGE_INFO_PLACEMENT, Get(h, IMAGE_FLAGS));
    Set(info, IMAGE_INFO_ALPHA, Get(h, IMAGE_ALPHA_PLANES));
    Set(info, IMAGE_INFO_LUT_ENTRIES, Get(h, IMAGE_LUT_ENTRIES));
    int extras = Image_ExtraPlanes(image);
    Set(info, IMAGE_INFO_EXTRA, extras);
    Set(info, IMAGE_INFO_EXTRA_DEPTH,
        extras > 0 ? Image_PlaneBits(image, Image_ColorPlanes(image) + Image_AlphaPlanes(image)) : -1);
    Set(info, IMAGE_INFO_MODIFIED_B, Get(h, IMAGE_MODIFIED_B));
}

void Image_CopyHeader(Image *destination, const Image *source)
{
    unsigned char *d = Image_Bytes(destination);
    const unsigned char *s = Image_Bytes(source);
    auto bytes = [&](int offset, int size) { memmove(d + offset, s + offset, size_t(size)); };
    bytes(IMAGE_MODIFIER, IMAGE_APPNAME_SIZE);
    bytes(IMAGE_STRING_2456, IMAGE_STRING_2456_SIZE);
    bytes(IMAGE_CREATOR, IMAGE_APPNAME_SIZE);
    for (int word : {IMAGE_MODIFIED_A, IMAGE_MODIFIED_B, IMAGE_CTIME, IMAGE_MTIME, IMAGE_FLAGS,
                     IMAGE_RESOLUTION, IMAGE_WORD_2624, IMAGE_WORD_2352})
        bytes(word, 4);
    // The blocks go to the destination's own place, never beyond either block.
    auto block = [&](int offsetField, int sizeField) {
        int n = std::min(Get(d, sizeField), Get(s, sizeField));
        if (n > 0)
            memmove(d + Get(d, offsetField), s + Get(s, offsetField), size_t(n));
    };
    block(IMAGE_SMALL_OFFSET, IMAGE_SMALL_SIZE);
    block(IMAGE_TYPED_OFFSET, IMAGE_TYPED_SIZE);
    bytes(IMAGE_TYPED_TYPE, 4);
    int entries = Get(s, IMAGE_LUT_ENTRIES);
    if (entries >= 1 && entries == Get(d, IMAGE_LUT_ENTRIES))
        memmove(d + Get(d, IMAGE_LUT_OFFSET), s + Get(s, IMAGE_LUT_OFFSET),
                size_t(entries) * IMAGE_LUT_ENTRY_SIZE);
}

const char *Image_ModeToText(int mode)
{
    switch (mode) {
    case IMAGE_MODE_GREY:
        return "GREY";
    case IMAGE_MODE_RGB:
        return "RGB";
    case IMAGE_MODE_CMYK:
        return "CMYK";
    default:
        return "UNDEF";
    }
}

int Image_Init(const char *directory, ImageNameProc proc, void *arg)
{
    char *copy = nullptr;
    if (directory) {
        if (access(directory, W_OK))
            return errno;
        if (!(copy = Strdup(directory)))
            return ENOMEM;
    }
    free(tmpDirectory);
    tmpDirectory = copy;
    nameProc = proc;
    nameArg = arg;
    return 0;
}

int Image_InitRealTmp(const char *directory)
{
    if (!directory)
        return EINVAL;
    if (access(directory, W_OK))
        return errno;
    std::string sub = std::string(directory) + "/TEVTMP";
    if (mkdir(sub.c_str(), 0777) && errno != EEXIST)
        return errno;
    if (chmod(sub.c_str(), 0777))
        return errno;
    char *copy = Strdup(sub.c_str());
    if (!copy)
        return ENOMEM;
    free(realTmpDirectory);
    realTmpDirectory = copy;
    return 0;
}

std::string GetNextTmpName()
{
    return FreeName(tmpDirectory, &tmpCounter);
}

std::string Image_RealTmpName(int placement)
{
    if (!realTmpDirectory)
        return {};
    if (placement & IMAGE_PLACE_SHARED_TMP)
        return FreeName(realTmpDirectory, &realTmpCounter);
    std::string parent(realTmpDirectory, strrchr(realTmpDirectory, '/') - realTmpDirectory);
    return FreeName(parent.c_str(), &realTmpCounter);
}

int Image_CreateImage(Image **image, const unsigned char *info)
{
    *image = nullptr;
    unsigned char h[IMAGE_HEADER_SIZE];
    if (int code = BuildHeader(h, info))
        return code;
    std::string path = ChoosePath(Get(info, IMAGE_INFO_PLACEMENT));
    if (path.empty())
        return ORV_BAD_PARAMETER;
    if (path.size() >= size_t(IMAGE_PATH_SIZE))
        return ENAMETOOLONG;
    PutText(h + IMAGE_PATH, IMAGE_PATH_SIZE, path.c_str());
    return MakeFile(image, h, path);
}

uint32_t Misk_GetFreeDisk(const char *path)
{
    struct statvfs st;
    if (statvfs(path, &st))
        return UINT32_MAX;
    // Taken in 64 bits and saturated: a product wrapped to 32 bits would
    // refuse images at random on any disk with more than 4 GiB free.
    uint64_t kb = uint64_t(st.f_bavail) * uint64_t(st.f_frsize) / 1024;
    return uint32_t(std::min<uint64_t>(kb, UINT32_MAX));
}

void Orvaldi_memset(void *address, int value, long count)
{
    if (count > 0)
        memset(address, value, size_t(count));
}

char *Strdup(const char *text)
{
    if (!text)
        return nullptr;
    size_t n = strlen(text) + 1;
    char *copy = static_cast<char *>(malloc(n));
    if (copy)
        memcpy(copy, text, n);
    return copy;
}

double Image_SizeMegabytes(const Image *image)
{
    double pixels = double(Image_Width(image)) * double(Image_Height(image));
    double sum = 0;
    for (int p = 0; p < Image_Planes(image); ++p)
        sum += pixels / 8 * Image_PlaneBits(image, p);
    return sum / 1048576;
}

void Image_SetText(Image *image, int offset, int size, const char *text)
{
    PutText(Image_Bytes(image) + offset, size, text);
}

void Image_SetModified(Image *image, const char *modifier, time_t when)
{
    Image_SetField(image, IMAGE_MTIME, int32_t(when));
    Image_SetField(image, IMAGE_MODIFIED_A, 1);
    Image_SetField(image, IMAGE_MODIFIED_B, 1);
    Image_SetText(image, IMAGE_MODIFIER, IMAGE_APPNAME_SIZE, modifier);
}
