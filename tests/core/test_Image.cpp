#include "core/Image.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <string>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

// A fresh directory per test, set as the store's temporary directory.
class ImageStore : public ::testing::Test {
protected:
    void SetUp() override
    {
        char tmpl[] = "/tmp/dab_image_XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir = tmpl;
        ASSERT_EQ(Image_Init(dir.c_str(), nullptr, nullptr), 0);
    }
    void TearDown() override
    {
        Image_Init(nullptr, nullptr, nullptr);
        std::string cmd = "rm -rf '" + dir + "'";
        EXPECT_EQ(system(cmd.c_str()), 0);
    }

    static std::vector<unsigned char> Info(int w, int h, int mode, int bits, int alpha = 0)
    {
        std::vector<unsigned char> info(IMAGE_INFO_SIZE);
        Image_InitInfo(info.data());
        Bytes_SetField(info.data(), IMAGE_INFO_WIDTH, w);
        Bytes_SetField(info.data(), IMAGE_INFO_HEIGHT, h);
        Bytes_SetField(info.data(), IMAGE_INFO_MODE, mode);
        Bytes_SetField(info.data(), IMAGE_INFO_BITS, bits);
        Bytes_SetField(info.data(), IMAGE_INFO_ALPHA, alpha);
        return info;
    }

    int Files() const
    {
        int n = 0;
        DIR *d = opendir(dir.c_str());
        while (dirent *e = readdir(d))
            n += e->d_name[0] != '.';
        closedir(d);
        return n;
    }

    std::string dir;
};

TEST_F(ImageStore, Rgb89WithAlphaHasTheExactLayout)
{
    auto info = Info(89, 89, IMAGE_MODE_RGB, 8, 1);
    Image *img = nullptr;
    ASSERT_EQ(Image_CreateImage(&img, info.data()), 0);
    ASSERT_NE(img, nullptr);
    EXPECT_EQ(Image_Planes(img), 4);
    EXPECT_EQ(Image_ColorPlanes(img), 3);
    EXPECT_EQ(Image_AlphaPlanes(img), 1);
    EXPECT_EQ(Image_AlphaPlane(img), 3);
    const int offsets[] = {4096, 12288, 20480, 28672};
    const int kinds[] = {IMAGE_KIND_RED, IMAGE_KIND_GREEN, IMAGE_KIND_BLUE, IMAGE_KIND_ALPHA};
    const char *names[] = {"Red", "Green", "Blue", "Alpha"};
    for (int p = 0; p < 4; ++p) {
        EXPECT_EQ(Image_PlaneOffset(img, p), offsets[p]);
        EXPECT_EQ(Image_PlaneBits(img, p), 8);
        EXPECT_EQ(Image_PlaneBytesPerRow(img, p), 89);
        EXPECT_EQ(Image_PlaneKind(img, p), kinds[p]);
        EXPECT_STREQ(Image_PlaneName(img, p), names[p]);
    }
    EXPECT_EQ(Image_FileSize(img), 36864);
    EXPECT_EQ(Image_Field(img, IMAGE_DATA_END), 36864);
    EXPECT_EQ(Bytes_Get32(Image_Bytes(img) + IMAGE_MAGIC_AT), IMAGE_MAGIC);
    struct stat st;
    ASSERT_EQ(stat(Image_Path(img), &st), 0);
    EXPECT_EQ(st.st_size, 36864);
    EXPECT_EQ(Image_CloseImage(img), 0);
}

} // namespace
