// Store images built in memory for the xc tests: a real header and plane
// records, planes packed one after the other with a poisoned gap after
// each, so that under AddressSanitizer a kernel that reads or writes one
// byte past a plane fails at once.
#pragma once
#include "brush/Box.h"
#include "core/Image.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/asan_interface.h>
#define MEMIMAGE_POISON(p, n) ASAN_POISON_MEMORY_REGION(p, n)
#define MEMIMAGE_UNPOISON(p, n) ASAN_UNPOISON_MEMORY_REGION(p, n)
#else
#define MEMIMAGE_POISON(p, n) ((void)(p), (void)(n))
#define MEMIMAGE_UNPOISON(p, n) ((void)(p), (void)(n))
#endif

class MemImage
{
  public:
    // mode 1 grey, 2 RGB, 3 CMYK; bits of the colour planes; an 8-bit alpha
    // plane when alpha; extra planes of extraBits; pad bytes after every row.
    MemImage(int width, int height, int mode, int bits, bool alpha, int extra = 0, int extraBits = 8,
             int pad = 0)
    {
        int colour = mode == 2 ? 3 : mode == 3 ? 4 : 1;
        std::vector<int> planeBits(colour, bits);
        if (alpha)
            planeBits.push_back(8);
        for (int i = 0; i < extra; ++i)
            planeBits.push_back(extraBits);
        // Each plane ends on an 8-byte boundary, followed by a 64-byte gap.
        size_t end = IMAGE_HEADER_SIZE;
        std::vector<size_t> offsets;
        std::vector<int> bprs;
        for (int b : planeBits) {
            int bpr = (b == 1 ? (width + 7) / 8 : width * b / 8) + pad;
            size_t size = size_t(bpr) * height;
            size_t start = ((end + 64 + size + 7) / 8) * 8 - size;
            offsets.push_back(start);
            bprs.push_back(bpr);
            end = start + size;
        }
        size_ = ((end + 64 + 7) / 8) * 8;
        mem_ = static_cast<unsigned char *>(std::aligned_alloc(64, (size_ + 63) / 64 * 64));
        std::memset(mem_, 0, size_);
        image_ = reinterpret_cast<Image *>(mem_);
        Image_SetField(image_, IMAGE_WIDTH, width);
        Image_SetField(image_, IMAGE_HEIGHT, height);
        Image_SetField(image_, IMAGE_PLANES, int(planeBits.size()));
        Image_SetField(image_, IMAGE_COLOR_PLANES, colour);
        Image_SetField(image_, IMAGE_ALPHA_PLANES, alpha ? 1 : 0);
        Image_SetField(image_, IMAGE_MODE, mode);
        Image_SetField(image_, IMAGE_FILE_SIZE, int(size_));
        Image_SetField(image_, IMAGE_MAGIC_AT, int32_t(IMAGE_MAGIC));
        for (size_t p = 0; p < planeBits.size(); ++p) {
            unsigned char *rec = Image_PlaneRecord(image_, int(p));
            Bytes_SetField(rec, IMAGE_PLANE_OFFSET, int32_t(offsets[p]));
            Bytes_SetField(rec, IMAGE_PLANE_BITS, planeBits[p]);
            Bytes_SetField(rec, IMAGE_PLANE_DEPTH, planeBits[p]);
            Bytes_SetField(rec, IMAGE_PLANE_BYTES_PER_ROW, bprs[p]);
        }
        // Poison everything between the planes and after the last.
        size_t prev = IMAGE_HEADER_SIZE;
        for (size_t p = 0; p < planeBits.size(); ++p) {
            MEMIMAGE_POISON(mem_ + prev, offsets[p] - prev);
            prev = offsets[p] + size_t(bprs[p]) * height;
        }
        MEMIMAGE_POISON(mem_ + prev, size_ - prev);
    }
    MemImage(const MemImage &) = delete;
    MemImage &operator=(const MemImage &) = delete;
    ~MemImage()
    {
        MEMIMAGE_UNPOISON(mem_, size_);
        std::free(mem_);
    }

    Image *image() const { return image_; }
    operator Image *() const { return image_; }
    int Width() const { return Image_Width(image_); }
    int Height() const { return Image_Height(image_); }
    int Planes() const { return Image_Planes(image_); }
    int Bits(int p) const { return Image_PlaneBits(image_, p); }

    uint32_t Get(int p, int x, int y) const { return Image_GetSample(image_, p, x, y); }
    void Set(int p, int x, int y, uint32_t v) { Image_SetSample(image_, p, x, y, v); }

    // Samples biased toward the values where branches turn.
    void Randomize(std::mt19937 &rng)
    {
        for (int p = 0; p < Planes(); ++p)
            for (int y = 0; y < Height(); ++y)
                for (int x = 0; x < Width(); ++x)
                    Set(p, x, y, Biased(rng, Bits(p)));
    }

    static uint32_t Biased(std::mt19937 &rng, int bits)
    {
        if (bits == 1)
            return rng() & 1u;
        uint32_t r = rng();
        if (bits == 8) {
            static const uint32_t edge[] = {0, 1, 254, 255};
            return r % 2 ? edge[(r >> 1) % 4] : (r >> 3) & 255u;
        }
        static const uint32_t edge[] = {0, 1, 255, 256, 0x7FFF, 0x8000, 65534, 65535};
        return r % 2 ? edge[(r >> 1) % 8] : (r >> 4) & 65535u;
    }

    // Same geometry and samples.
    void CopyFrom(const MemImage &o)
    {
        for (int p = 0; p < Planes(); ++p)
            for (int y = 0; y < Height(); ++y)
                std::memcpy(Image_Row(image_, p, y), Image_Row(o.image_, p, y),
                            size_t(Image_PlaneBytesPerRow(image_, p)));
    }

  private:
    unsigned char *mem_;
    size_t size_;
    Image *image_;
};

// A box from its corners.
inline Box B(int x1, int y1, int x2, int y2)
{
    return Box{x1, y1, x2, y2, x2 - x1 + 1, y2 - y1 + 1, 0};
}

// The first pixel where two images of the same geometry differ, or "".
inline std::string FirstDifference(const MemImage &got, const MemImage &want)
{
    for (int p = 0; p < got.Planes(); ++p)
        for (int y = 0; y < got.Height(); ++y)
            for (int x = 0; x < got.Width(); ++x)
                if (got.Get(p, x, y) != want.Get(p, x, y))
                    return "plane " + std::to_string(p) + " pixel (" + std::to_string(x) + ", " +
                           std::to_string(y) + "): got " + std::to_string(got.Get(p, x, y)) + ", want " +
                           std::to_string(want.Get(p, x, y));
    return "";
}

inline int RandIn(std::mt19937 &rng, int lo, int hi)
{
    return lo + int(rng() % uint32_t(hi - lo + 1));
}

struct Zoom {
    int num, den;
};

inline Zoom RandomZoom(std::mt19937 &rng)
{
    static const Zoom zooms[] = {{1, 1}, {3, 1}, {1, 3}, {7, 5}, {5, 7}, {2, 1},
                                 {1, 2}, {3, 2}, {2, 3}, {4, 1}, {1, 4}};
    if (rng() % 4 == 0)
        return {RandIn(rng, 1, 9), RandIn(rng, 1, 9)};
    return zooms[rng() % (sizeof zooms / sizeof zooms[0])];
}

// An image and, when a single plane is meant, the plane: a grey format is
// sometimes one plane of an RGB or CMYK image, or an alpha plane shown.
struct SideImage {
    std::unique_ptr<MemImage> img;
    int plane = -1;
};

inline SideImage MakeSide(std::mt19937 &rng, int mode, int depth, bool alpha, int w, int h)
{
    SideImage s;
    int pick = int(rng() % 6);
    if (mode == 1 && depth == 8 && pick == 0) { // an alpha plane shown as grey
        int m = 1 + int(rng() % 3);
        s.img = std::make_unique<MemImage>(w, h, m, 8, true);
        s.plane = Image_ColorPlanes(*s.img);
    } else if (mode == 1 && pick == 1) {
        int m = 2 + int(rng() % 2);
        s.img = std::make_unique<MemImage>(w, h, m, depth, alpha);
        s.plane = int(rng() % (m == 2 ? 3 : 4));
    } else {
        s.img = std::make_unique<MemImage>(w, h, mode, depth, alpha);
    }
    s.img->Randomize(rng);
    return s;
}
