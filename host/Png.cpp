#include "host/Png.h"

#include "core/OrvError.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <new>
#include <png.h>
#include <unistd.h>

namespace
{

// libpng reports through these; the job record outlives the longjmp, so no
// local of the jumping function changes between setjmp and longjmp.
struct PngJob {
    png_structp png = nullptr;
    png_infop info = nullptr;
    FILE *file = nullptr;
    PngImage *image = nullptr;
    std::vector<png_bytep> rows;
    char message[200] = "";
};

void OnError(png_structp png, png_const_charp message)
{
    PngJob *job = static_cast<PngJob *>(png_get_error_ptr(png));
    bool truncated = job->file && feof(job->file);
    snprintf(job->message, sizeof job->message, "%s", truncated ? "truncated file" : message);
    png_longjmp(png, 1);
}

void OnWarning(png_structp, png_const_charp) {}

void PointRows(PngJob *job)
{
    PngImage &p = *job->image;
    size_t stride = size_t(p.width) * size_t(p.channels) * size_t(p.bits / 8);
    job->rows.resize(size_t(p.height));
    for (int y = 0; y < p.height; ++y)
        job->rows[size_t(y)] = p.data.data() + stride * size_t(y);
}

// Header, transforms, buffer; then the rows. Returns 0 or a code.
int DecodeHeader(PngJob *job)
{
    if (setjmp(png_jmpbuf(job->png)))
        return ORV_CANNOT_READ;
    png_init_io(job->png, job->file);
    png_set_sig_bytes(job->png, 8);
    png_read_info(job->png, job->info);
    // Palettes, 1/2/4-bit grey and tRNS become 8-bit grey, RGB and alpha.
    png_set_expand(job->png);
    png_set_interlace_handling(job->png);
    png_read_update_info(job->png, job->info);
    PngImage &p = *job->image;
    p.width = int(png_get_image_width(job->png, job->info));
    p.height = int(png_get_image_height(job->png, job->info));
    p.channels = png_get_channels(job->png, job->info);
    p.bits = png_get_bit_depth(job->png, job->info);
    return 0;
}

int DecodeRows(PngJob *job)
{
    if (setjmp(png_jmpbuf(job->png)))
        return ORV_CANNOT_READ;
    png_read_image(job->png, job->rows.data());
    png_read_end(job->png, nullptr);
    return 0;
}

int Encode(PngJob *job)
{
    if (setjmp(png_jmpbuf(job->png)))
        return ORV_WRITE_FAILED;
    const PngImage &p = *job->image;
    static const int types[] = {0, PNG_COLOR_TYPE_GRAY, PNG_COLOR_TYPE_GRAY_ALPHA, PNG_COLOR_TYPE_RGB,
                                PNG_COLOR_TYPE_RGB_ALPHA};
    png_init_io(job->png, job->file);
    png_set_IHDR(job->png, job->info, png_uint_32(p.width), png_uint_32(p.height), p.bits, types[p.channels],
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(job->png, job->info);
    png_write_image(job->png, job->rows.data());
    png_write_end(job->png, nullptr);
    return 0;
}

// A sample of `from` storage bits on a scale of `to` bits (8 or 16).
uint32_t Rescale(uint32_t v, int from, int to)
{
    if (from == 1)
        return v ? (1u << to) - 1 : 0;
    if (from > to)
        return v >> (from - to);
    if (from < to)
        return v * 257; // 8 to 16 bits: 255 becomes 65535
    return v;
}

} // namespace

int Png_Allocate(PngImage *png)
{
    int64_t bytes = int64_t(png->width) * png->height * png->channels * (png->bits / 8);
    // What does not fit a store file (32-bit sizes) is refused up front.
    if (png->width < 1 || png->height < 1 || bytes > INT32_MAX)
        return ORV_TOO_LARGE;
    try {
        png->data.assign(size_t(bytes), 0);
    } catch (const std::bad_alloc &) {
        return ORV_NO_MEMORY;
    }
    return 0;
}

int Png_Read(const char *path, PngImage *png, std::string *reason)
{
    FILE *f = fopen(path, "rb");
    if (!f)
        return errno;
    unsigned char signature[8];
    if (fread(signature, 1, 8, f) != 8 || png_sig_cmp(signature, 0, 8)) {
        fclose(f);
        *reason = "not a PNG file";
        return ORV_UNKNOWN_FORMAT;
    }
    PngJob job;
    job.file = f;
    job.image = png;
    job.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &job, OnError, OnWarning);
    job.info = job.png ? png_create_info_struct(job.png) : nullptr;
    int code = job.info ? DecodeHeader(&job) : ORV_NO_MEMORY;
    if (!code && (code = Png_Allocate(png)) == ORV_TOO_LARGE)
        snprintf(job.message, sizeof job.message, "%dx%d pixels", png->width, png->height);
    if (!code) {
        PointRows(&job);
        code = DecodeRows(&job);
    }
    png_destroy_read_struct(&job.png, &job.info, nullptr);
    fclose(f);
    if (code)
        *reason = job.message;
    return code;
}

int Png_Write(const char *path, const PngImage &png, std::string *reason)
{
    // Written beside the target and renamed over it: never a partial file.
    std::string temporary = std::string(path) + ".tmp" + std::to_string(getpid());
    int fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    FILE *f = fd < 0 ? nullptr : fdopen(fd, "wb");
    if (!f) {
        int code = errno;
        if (fd >= 0) {
            close(fd);
            unlink(temporary.c_str());
        }
        return code;
    }
    PngJob job;
    job.file = f;
    job.image = const_cast<PngImage *>(&png); // rows are only read
    job.png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &job, OnError, OnWarning);
    job.info = job.png ? png_create_info_struct(job.png) : nullptr;
    int code = ORV_NO_MEMORY;
    if (job.info) {
        PointRows(&job);
        code = Encode(&job);
    }
    png_destroy_write_struct(&job.png, &job.info);
    *reason = job.message;
    if (fflush(f) || fsync(fileno(f))) {
        *reason = strerror(errno);
        code = code ? code : ORV_WRITE_FAILED;
    }
    if (fclose(f) && !code) {
        *reason = strerror(errno);
        code = ORV_WRITE_FAILED;
    }
    if (!code && rename(temporary.c_str(), path))
        code = errno;
    if (code)
        unlink(temporary.c_str());
    return code;
}

void Png_StoreInfo(const PngImage &png, unsigned char *info)
{
    Image_MakeInfo(info, png.width, png.height, png.channels >= 3 ? IMAGE_MODE_RGB : IMAGE_MODE_GREY,
                   png.bits, png.channels % 2 == 0 ? 1 : 0);
}

void Png_ToImage(const PngImage &png, Image *image)
{
    int colours = png.channels >= 3 ? 3 : 1;
    bool alpha = png.channels % 2 == 0;
    for (int y = 0; y < png.height; ++y)
        for (int x = 0; x < png.width; ++x) {
            for (int c = 0; c < colours; ++c)
                Image_SetSample(image, c, x, y, Png_GetSample(png, x, y, c));
            if (alpha) {
                uint32_t a = Png_GetSample(png, x, y, colours);
                Image_SetSample(image, colours, x, y, png.bits == 16 ? (a * 255 + 32767) / 65535 : a);
            }
        }
}

int Png_FromImage(const Image *image, PngImage *png)
{
    int mode = Image_Mode(image);
    if (mode != IMAGE_MODE_GREY && mode != IMAGE_MODE_RGB && mode != IMAGE_MODE_CMYK)
        return ORV_CANNOT_HANDLE;
    int alphaPlane = Image_AlphaPlane(image);
    int colours = mode == IMAGE_MODE_GREY ? 1 : 3;
    png->width = Image_Width(image);
    png->height = Image_Height(image);
    png->channels = colours + (alphaPlane >= 0 ? 1 : 0);
    png->bits = Image_PlaneBits(image, 0) >= 16 ? 16 : 8;
    if (int code = Png_Allocate(png))
        return code;
    const uint32_t full = (1u << png->bits) - 1;
    auto sample = [&](int plane, int x, int y) {
        return Rescale(Image_GetSample(image, plane, x, y), Image_PlaneBits(image, plane), png->bits);
    };
    for (int y = 0; y < png->height; ++y)
        for (int x = 0; x < png->width; ++x) {
            if (mode == IMAGE_MODE_CMYK) {
                // The display's rule: R = max(0, full - C - K), and so on.
                int64_t k = sample(3, x, y);
                for (int c = 0; c < 3; ++c)
                    Png_SetSample(*png, x, y, c,
                                  uint32_t(std::max<int64_t>(0, int64_t(full) - sample(c, x, y) - k)));
            } else {
                for (int c = 0; c < colours; ++c)
                    Png_SetSample(*png, x, y, c, sample(c, x, y));
            }
            if (alphaPlane >= 0)
                Png_SetSample(*png, x, y, colours, sample(alphaPlane, x, y));
        }
    return 0;
}
