// Any file given to the store either is refused or can be read whole: open
// it read-only, read every sample of every plane, describe it, and copy its
// header into a new image of the same geometry.
#include "core/Image.h"

#include <cstdint>
#include <cstdlib>
#include <fcntl.h>
#include <string>
#include <unistd.h>

namespace
{

std::string dir;
std::string input;

void Cleanup()
{
    unlink(input.c_str());
    rmdir(dir.c_str());
}

bool WriteInput(const uint8_t *data, size_t size)
{
    int fd = open(input.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (fd < 0)
        return false;
    bool ok = write(fd, data, size) == ssize_t(size);
    close(fd);
    return ok;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    // Memory-backed when possible: every run writes and maps files.
    char tmpl[] = "/dev/shm/fuzz_image_XXXXXX";
    char fallback[] = "/tmp/fuzz_image_XXXXXX";
    const char *made = mkdtemp(tmpl);
    if (!made && !(made = mkdtemp(fallback)))
        abort();
    dir = made;
    input = dir + "/input";
    atexit(Cleanup);
    Image_Init(dir.c_str(), nullptr, nullptr);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (!WriteInput(data, size))
        abort();
    Image *img = nullptr;
    if (Image_OpenReadImage(&img, input.c_str()))
        return 0;
    uint64_t sum = 0;
    for (int p = 0; p < Image_Planes(img); ++p)
        for (int y = 0; y < Image_Height(img); ++y)
            for (int x = 0; x < Image_Width(img); ++x)
                sum += Image_GetSample(img, p, x, y);
    sum += uint64_t(Image_SizeMegabytes(img));
    unsigned char info[IMAGE_INFO_SIZE];
    Image_GetInfo(img, info);
    Image *copy = nullptr;
    if (Image_CreateImage(&copy, info) == 0) {
        Image_CopyHeader(copy, img);
        Image_DestroyImage(copy);
    }
    Image_CloseImage(img);
    return sum == 0xFFFFFFFFFFFFFFFFull ? -1 : 0;
}
