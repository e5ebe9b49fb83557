#include "core/Image.h"

#include "tests/TestStore.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <string>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace
{

class ImageStore : public TempStore
{
  protected:
    // The files in a directory (the store's by default).
    int Files(std::string in = "") const
    {
        int n = 0;
        DIR *d = opendir((in.empty() ? dir : in).c_str());
        while (dirent *e = readdir(d))
            n += e->d_name[0] != '.';
        closedir(d);
        return n;
    }
};

// Each plane on its own pages after the header page, storage bits following
// the depth (1, 8, 16 or 32), rows packed; alpha after the colours.
TEST_F(ImageStore, PlanesAreLaidOutPageByPage)
{
    const struct Case {
        std::vector<unsigned char> info;
        int colour, alpha;
        std::vector<int> bits;
    } cases[] = {
        {ImageInfo(9, 2, IMAGE_MODE_GREY, 1), 1, 0, {1}},
        {ImageInfo(3, 2, IMAGE_MODE_CMYK, 12, 1, 2, 20), 4, 1, {16, 16, 16, 16, 8, 32, 32}},
    };
    for (const Case &c : cases) {
        Image *img = nullptr;
        ASSERT_EQ(Image_CreateImage(&img, c.info.data()), 0);
        const int w = Image_Width(img), h = Image_Height(img);
        ASSERT_EQ(Image_Planes(img), int(c.bits.size()));
        EXPECT_EQ(Image_ColorPlanes(img), c.colour);
        EXPECT_EQ(Image_AlphaPlanes(img), c.alpha);
        EXPECT_EQ(Image_ExtraPlanes(img), Image_Planes(img) - c.colour - c.alpha);
        if (c.alpha) {
            EXPECT_EQ(Image_AlphaPlane(img), c.colour);
        }
        int end = 4096;
        for (int p = 0; p < Image_Planes(img); ++p) {
            const int bits = c.bits[size_t(p)], bytesPerRow = bits == 1 ? (w + 7) / 8 : w * bits / 8;
            SCOPED_TRACE(testing::Message() << w << "x" << h << " plane " << p);
            EXPECT_EQ(Image_PlaneOffset(img, p), end);
            EXPECT_EQ(Image_PlaneBits(img, p), bits);
            EXPECT_EQ(Image_PlaneBytesPerRow(img, p), bytesPerRow);
            end += (bytesPerRow * h + 4095) / 4096 * 4096;
        }
        EXPECT_EQ(Image_FileSize(img), end);
        EXPECT_EQ(Image_Field(img, IMAGE_DATA_END), end);
        EXPECT_EQ(Bytes_Get32(Image_Bytes(img) + IMAGE_MAGIC_AT), IMAGE_MAGIC);
        struct stat st;
        ASSERT_EQ(stat(Image_Path(img), &st), 0);
        EXPECT_EQ(st.st_size, end);
        EXPECT_EQ(Image_DestroyImage(img), 0);
    }
}

// 1-bit samples most significant bit first (pixel 8 starts the second
// byte); wider ones big-endian.
TEST_F(ImageStore, SamplesArePackedMostSignificantFirst)
{
    Image *img = nullptr;
    ASSERT_EQ(Image_CreateImage(&img, ImageInfo(9, 2, IMAGE_MODE_GREY, 1).data()), 0);
    Image_SetSample(img, 0, 0, 1, 1);
    Image_SetSample(img, 0, 8, 1, 1);
    EXPECT_EQ(Image_Row(img, 0, 1)[0], 0x80);
    EXPECT_EQ(Image_Row(img, 0, 1)[1], 0x80);
    Image_SetSample(img, 0, 0, 1, 0);
    EXPECT_EQ(Image_Row(img, 0, 1)[0], 0x00);
    EXPECT_EQ(Image_GetSample(img, 0, 8, 1), 1u);
    EXPECT_EQ(Image_DestroyImage(img), 0);

    ASSERT_EQ(Image_CreateImage(&img, ImageInfo(3, 2, IMAGE_MODE_CMYK, 12, 1, 2, 20).data()), 0);
    Image_SetSample(img, 1, 2, 1, 0x1234);
    Image_SetSample(img, 6, 1, 1, 0xA1B2C3D4u);
    const unsigned char *m = Image_Row(img, 1, 1) + 4, *e = Image_Row(img, 6, 1) + 4;
    EXPECT_EQ((std::vector<int>{m[0], m[1], e[0], e[3]}), (std::vector<int>{0x12, 0x34, 0xA1, 0xD4}));
    EXPECT_EQ(Image_GetSample(img, 6, 1, 1), 0xA1B2C3D4u);
    EXPECT_EQ(Image_DestroyImage(img), 0);
}

TEST_F(ImageStore, BadCreationParametersLeaveNoFile)
{
    auto bigSmallBlock = ImageInfo(8, 8, IMAGE_MODE_GREY, 8);
    Bytes_SetField(bigSmallBlock.data(), IMAGE_INFO_SMALL_SIZE, 4097);
    const std::pair<std::vector<unsigned char>, int> cases[] = {
        {ImageInfo(8, 8, 0, 8), 1046},
        {ImageInfo(8, 8, 4, 8), 1046},
        {bigSmallBlock, 1046},
        {ImageInfo(0, 8, IMAGE_MODE_GREY, 8), 1046},
        {ImageInfo(8, 8, IMAGE_MODE_GREY, 0), 1046},
        {ImageInfo(8, 8, IMAGE_MODE_RGB, 8, 1, 29, 8), 1046}, // 3 + 1 + 29 planes > 32
        {ImageInfo(65536, 65536, IMAGE_MODE_RGB, 8), 1050}};
    for (size_t i = 0; i < std::size(cases); ++i) {
        Image *img = reinterpret_cast<Image *>(&img);
        EXPECT_EQ(Image_CreateImage(&img, cases[i].first.data()), cases[i].second) << i;
        EXPECT_EQ(img, nullptr) << i;
    }
    EXPECT_EQ(Files(), 0);
}

TEST_F(ImageStore, AFullDiskRefusesCreationAndLeavesNoFile)
{
    std::string mnt = dir + "/small";
    ASSERT_EQ(mkdir(mnt.c_str(), 0700), 0);
    if (mount("tmpfs", mnt.c_str(), "tmpfs", 0, "size=256k") != 0)
        GTEST_SKIP() << "cannot mount a tmpfs here";
    struct Unmount {
        std::string at;
        ~Unmount() { umount(at.c_str()); }
    } unmount{mnt};
    ASSERT_EQ(Image_Init(mnt.c_str(), nullptr, nullptr), 0);
    EXPECT_LE(Misk_GetFreeDisk(mnt.c_str()), 256u);
    Image *img = nullptr, *second = nullptr;
    EXPECT_EQ(Image_CreateImage(&img, ImageInfo(1000, 1000, IMAGE_MODE_RGB, 8).data()), 1213);
    EXPECT_EQ(img, nullptr);
    // A small image still fits; once it takes the room a second one does not.
    ASSERT_EQ(Image_CreateImage(&img, ImageInfo(300, 300, IMAGE_MODE_GREY, 8).data()), 0);
    std::memset(Image_Row(img, 0, 0), 0x7F, 300 * 300);
    EXPECT_EQ(Image_CreateImage(&second, ImageInfo(300, 700, IMAGE_MODE_GREY, 8).data()), 1213);
    EXPECT_EQ(Files(mnt), 1);
    EXPECT_EQ(Image_DestroyImage(img), 0);
}
TEST_F(ImageStore, MappingsAreSharedAndCloseKeepsWhatDestroyRemoves)
{
    Image *w = nullptr, *r = nullptr;
    ASSERT_EQ(Image_CreateImage(&w, ImageInfo(17, 3, IMAGE_MODE_GREY, 16, 1).data()), 0);
    std::string path = Image_Path(w);
    ASSERT_EQ(Image_OpenReadImage(&r, path.c_str()), 0);
    Image_SetSample(w, 0, 16, 2, 0xBEEF);
    Image_SetModified(w, "DabStone", 1234567);
    EXPECT_EQ(Image_GetSample(r, 0, 16, 2), 0xBEEFu);
    EXPECT_STREQ(Image_Modifier(r), "DabStone");
    EXPECT_EQ(Image_ModifiedA(r) + Image_ModifiedB(r), 2);
    EXPECT_EQ(Image_Field(r, IMAGE_MTIME), 1234567);
    EXPECT_EQ(Image_CloseImage(r), 0);
    EXPECT_EQ(Image_CloseImage(w), 0);
    // Reopened read-write: the samples stayed in the file.
    ASSERT_EQ(Image_OpenImage(&w, path.c_str()), 0);
    EXPECT_EQ(Image_GetSample(w, 0, 16, 2), 0xBEEFu);
    EXPECT_EQ(Image_DestroyImage(w), 0);
    EXPECT_NE(access(path.c_str(), F_OK), 0);
    EXPECT_EQ(Image_CloseImage(w), EINVAL); // no longer mapped
    EXPECT_EQ(Image_OpenImage(&w, path.c_str()), ENOENT);
    EXPECT_EQ(w, nullptr);
}
TEST_F(ImageStore, CorruptFilesAreRefusedWithTheirCode)
{
    auto info = ImageInfo(89, 89, IMAGE_MODE_RGB, 8, 1);
    Image *img = nullptr;
    ASSERT_EQ(Image_CreateImage(&img, info.data()), 0);
    std::string good = Image_Path(img);
    std::vector<unsigned char> bytes(Image_Bytes(img), Image_Bytes(img) + Image_FileSize(img));
    ASSERT_EQ(Image_CloseImage(img), 0);

    struct Damage {
        const char *what;
        int offset;
        int32_t value;
        int code;
    };
    const int plane1 = IMAGE_PLANE_RECORDS + IMAGE_PLANE_RECORD_SIZE;
    const Damage cases[] = {
        {"wrong magic", IMAGE_MAGIC_AT, 0x12345678, 1063},
        {"zero width", IMAGE_WIDTH, 0, 1045},
        {"negative height", IMAGE_HEIGHT, -5, 1045},
        {"recorded size beyond the file", IMAGE_FILE_SIZE, 36865, 1062},
        {"recorded size below the header", IMAGE_FILE_SIZE, 100, 1062},
        {"33 planes", IMAGE_PLANES, 33, 1062},
        {"fewer planes than colour and alpha", IMAGE_PLANES, 3, 1062},
        {"two alpha planes", IMAGE_ALPHA_PLANES, 2, 1062},
        {"no colour plane", IMAGE_COLOR_PLANES, 0, 1062},
        {"RGB with one colour plane", IMAGE_COLOR_PLANES, 1, 1062},
        {"12 storage bits", plane1 + IMAGE_PLANE_BITS, 12, 1062},
        {"16 storage bits in an 89-byte row", plane1 + IMAGE_PLANE_BITS, 16, 1062},
        {"rows beyond the file", plane1 + IMAGE_PLANE_OFFSET, 32768, 1062},
        {"negative plane offset", plane1 + IMAGE_PLANE_OFFSET, -4096, 1062},
        {"plane over the header", plane1 + IMAGE_PLANE_OFFSET, 0, 1062},
        {"huge bytes per row", plane1 + IMAGE_PLANE_BYTES_PER_ROW, 0x7FFFFFFF, 1062},
        {"height past the planes", IMAGE_HEIGHT, 93, 1062},
        {"small block too large", IMAGE_SMALL_SIZE, 4097, 1062},
        {"typed block beyond the file", IMAGE_TYPED_SIZE, 40000, 1062},
        {"lookup table beyond the file", IMAGE_LUT_ENTRIES, 3000, 1062},
        {"unterminated path", IMAGE_PATH + 496, 0x41414141, 1062},
    };
    for (const Damage &c : cases) {
        std::vector<unsigned char> copy = bytes;
        if (c.offset == IMAGE_PATH + 496)
            memset(copy.data() + IMAGE_PATH, 'A', IMAGE_PATH_SIZE);
        else
            Bytes_PutS32(copy.data() + c.offset, c.value);
        std::string path = dir + "/damaged";
        FILE *f = fopen(path.c_str(), "wb");
        ASSERT_EQ(fwrite(copy.data(), 1, copy.size(), f), copy.size());
        fclose(f);
        Image *out = reinterpret_cast<Image *>(&out);
        EXPECT_EQ(Image_OpenImage(&out, path.c_str()), c.code) << c.what;
        EXPECT_EQ(out, nullptr) << c.what;
        EXPECT_EQ(Image_OpenReadImage(&out, path.c_str()), c.code) << c.what;
    }

    // Truncated files: shorter than the header, or than the recorded size.
    for (off_t length : {0, 100, 2635, 2636, 36863}) {
        std::string path = dir + "/short";
        FILE *f = fopen(path.c_str(), "wb");
        ASSERT_EQ(fwrite(bytes.data(), 1, size_t(length), f), size_t(length));
        fclose(f);
        EXPECT_EQ(Image_OpenReadImage(&img, path.c_str()), 1062) << length;
    }
    // The untouched file still opens.
    ASSERT_EQ(Image_OpenReadImage(&img, good.c_str()), 0);
    EXPECT_EQ(Image_CloseImage(img), 0);
    // A FIFO is not waited on.
    std::string fifo = dir + "/fifo";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_EQ(Image_OpenReadImage(&img, fifo.c_str()), 1063);
    EXPECT_EQ(Image_OpenReadImage(&img, dir.c_str()), EISDIR);
}

// The info record round-trips through an image, and recreates its
// geometry; CopyHeader copies the descriptive fields but not the identity.
TEST_F(ImageStore, GetInfoRoundTripsAndCopyHeaderKeepsTheIdentity)
{
    auto info = ImageInfo(33, 7, IMAGE_MODE_CMYK, 16, 1, 1, 1);
    const std::pair<int, int> set[] = {{IMAGE_INFO_LUT_ENTRIES, 4},
                                       {IMAGE_INFO_SMALL_SIZE, 16},
                                       {IMAGE_INFO_TYPED_SIZE, 8},
                                       {IMAGE_INFO_TYPED_TYPE, 3},
                                       {IMAGE_INFO_WORD_2624, 99}};
    for (auto [at, value] : set)
        Bytes_SetField(info.data(), at, value);
    strcpy(reinterpret_cast<char *>(info.data() + IMAGE_INFO_TITLE), "scan");
    Image *src = nullptr, *dst = nullptr, *plain = nullptr;
    ASSERT_EQ(Image_CreateImage(&src, info.data()), 0);
    Image_SetField(src, IMAGE_FLAGS, 4); // the flags word travels as the placement
    Bytes_SetField(info.data(), IMAGE_INFO_PLACEMENT, 4);
    unsigned char got[IMAGE_INFO_SIZE];
    Image_GetInfo(src, got);
    for (int at = 0; at < IMAGE_INFO_SIZE; at += 4)
        EXPECT_EQ(Bytes_Field(got, at), Bytes_Field(info.data(), at)) << "info field at " << at;
    Bytes_SetField(got, IMAGE_INFO_PLACEMENT, 0); // here, whatever shared directory an earlier test set
    ASSERT_EQ(Image_CreateImage(&dst, got), 0);
    EXPECT_EQ(Image_FileSize(dst), Image_FileSize(src));
    EXPECT_EQ(memcmp(Image_PlaneRecord(dst, 0), Image_PlaneRecord(src, 0), IMAGE_PLANE_RECORD_SIZE * 6), 0);
    ASSERT_EQ(Image_CreateImage(&plain, ImageInfo(2, 2, IMAGE_MODE_GREY, 8).data()), 0);
    Image_GetInfo(plain, got);
    EXPECT_EQ(Bytes_Field(got, IMAGE_INFO_EXTRA_DEPTH), -1) << "no extra plane";

    Image_SetText(src, IMAGE_MODIFIER, IMAGE_APPNAME_SIZE, "Editor");
    Image_SetText(src, IMAGE_STRING_2456, IMAGE_STRING_2456_SIZE, "tag");
    Image_SetField(src, IMAGE_MTIME, 2000);
    Image_SetField(src, IMAGE_WORD_2352, 5);
    memset(Image_Bytes(src) + Image_Field(src, IMAGE_SMALL_OFFSET), 0xAB, 16);
    memset(Image_Bytes(src) + Image_Field(src, IMAGE_LUT_OFFSET), 0xEF, 48);
    std::string dstPath = Image_Path(dst), dstTitle = Image_Title(dst);
    Image_CopyHeader(dst, src);
    EXPECT_STREQ(Image_Modifier(dst), "Editor");
    EXPECT_STREQ(Image_Text(dst, IMAGE_STRING_2456), "tag");
    EXPECT_EQ(Image_Field(dst, IMAGE_MTIME), 2000);
    EXPECT_EQ(Image_Field(dst, IMAGE_WORD_2352), 5);
    EXPECT_EQ(Image_Bytes(dst)[Image_Field(dst, IMAGE_SMALL_OFFSET) + 15], 0xAB);
    EXPECT_EQ(Image_Bytes(dst)[Image_Field(dst, IMAGE_LUT_OFFSET) + 47], 0xEF);
    EXPECT_EQ(Image_Path(dst), dstPath);
    EXPECT_EQ(Image_Title(dst), dstTitle);
    // A table of another size is not copied, nor a block past its own size.
    Image_CopyHeader(plain, src);
    EXPECT_EQ(Image_Field(plain, IMAGE_MTIME), 2000);
    EXPECT_EQ(Image_Bytes(plain)[Image_Field(plain, IMAGE_LUT_OFFSET)], 0);
    for (Image *i : {src, dst, plain})
        EXPECT_EQ(Image_DestroyImage(i), 0);
}
// Names in the store, or under its shared subdirectory, or in the real
// temporary directory, as the creation record asks. (No caller names its
// images through the naming callback.)
TEST_F(ImageStore, NamesComeFromThePlacementAsked)
{
    auto info = ImageInfo(3, 3, IMAGE_MODE_GREY, 8);
    Image *img = nullptr;
    ASSERT_EQ(Image_InitRealTmp(dir.c_str()), 0);
    struct stat st;
    ASSERT_EQ(stat((dir + "/TEVTMP").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0777u);
    std::string tag = "/img." + std::to_string(getpid()) + ".";
    Bytes_SetField(info.data(), IMAGE_INFO_PLACEMENT, IMAGE_PLACE_SHARED_TMP);
    ASSERT_EQ(Image_CreateImage(&img, info.data()), 0);
    EXPECT_EQ(std::string(Image_Path(img)).rfind(dir + "/TEVTMP" + tag, 0), 0u) << Image_Path(img);
    EXPECT_EQ(Image_DestroyImage(img), 0);
    Bytes_SetField(info.data(), IMAGE_INFO_PLACEMENT, IMAGE_PLACE_REAL_TMP);
    ASSERT_EQ(Image_CreateImage(&img, info.data()), 0);
    EXPECT_EQ(std::string(Image_Path(img)).rfind(dir + tag, 0), 0u) << Image_Path(img);
    EXPECT_EQ(Image_DestroyImage(img), 0);

    // Names that exist are skipped.
    ASSERT_EQ(Image_Init(dir.c_str(), nullptr, nullptr), 0);
    std::string first = GetNextTmpName();
    int n = std::stoi(first.substr(first.rfind('.') + 1));
    std::string taken = dir + tag + std::to_string(n + 1);
    close(open(taken.c_str(), O_CREAT | O_WRONLY, 0600));
    EXPECT_EQ(GetNextTmpName(), dir + tag + std::to_string(n + 2));

    EXPECT_NE(Image_Init("/nonexistent/dir", nullptr, nullptr), 0);
    ASSERT_EQ(Image_Init(nullptr, nullptr, nullptr), 0);
    EXPECT_EQ(GetNextTmpName(), "");
    Bytes_SetField(info.data(), IMAGE_INFO_PLACEMENT, 0);
    EXPECT_EQ(Image_CreateImage(&img, info.data()), 1046);
}

TEST(ImageHelpers, FreeDiskAndSize)
{
    EXPECT_EQ(Misk_GetFreeDisk("/nonexistent/dir"), 0xFFFFFFFFu);

    // 2000 x 2000 with 16-, 8- and 8-bit planes is about 15.26 megabytes.
    unsigned char h[IMAGE_HEADER_SIZE] = {};
    Bytes_SetField(h, IMAGE_WIDTH, 2000);
    Bytes_SetField(h, IMAGE_HEIGHT, 2000);
    Bytes_SetField(h, IMAGE_PLANES, 3);
    for (int p = 0; p < 3; ++p)
        Bytes_SetField(h + IMAGE_PLANE_RECORDS + IMAGE_PLANE_RECORD_SIZE * p, IMAGE_PLANE_BITS, p ? 8 : 16);
    EXPECT_NEAR(Image_SizeMegabytes(reinterpret_cast<Image *>(h)), 15.259, 0.001);
}
} // namespace
