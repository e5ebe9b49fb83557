// Smoke tests of sorbane's image tools, run as a program: PNG import and
// export for every supported format, blank images, info, and refusals of
// damaged input that leave no output behind. The PNGs are made and read
// here with libpng directly, independently of sorbane's own PNG code.
#include "tests/e2e/E2e.h"

#include "core/Image.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <png.h>
#include <random>
#include <set>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <vector>

namespace
{

struct Picture {
    int width = 0, height = 0, channels = 0, bits = 0;
    std::vector<uint32_t> samples; // interleaved
    uint32_t &at(int x, int y, int c) { return samples[(size_t(y) * width + x) * channels + c]; }
};

const int kColorTypes[] = {0, PNG_COLOR_TYPE_GRAY, PNG_COLOR_TYPE_GRAY_ALPHA, PNG_COLOR_TYPE_RGB,
                           PNG_COLOR_TYPE_RGB_ALPHA};

std::vector<unsigned char> Pack(const Picture &p)
{
    std::vector<unsigned char> raw;
    for (uint32_t v : p.samples) {
        if (p.bits == 16)
            raw.push_back(uint8_t(v >> 8));
        raw.push_back(uint8_t(v));
    }
    return raw;
}

bool WritePng(const std::string &path, const Picture &p)
{
    FILE *f = fopen(path.c_str(), "wb");
    if (!f)
        return false;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    std::vector<unsigned char> raw = Pack(p);
    std::vector<png_bytep> rows(size_t(p.height));
    size_t stride = raw.size() / size_t(p.height);
    for (int y = 0; y < p.height; ++y)
        rows[size_t(y)] = raw.data() + stride * size_t(y);
    bool ok = false;
    if (!setjmp(png_jmpbuf(png))) {
        png_init_io(png, f);
        png_set_IHDR(png, info, p.width, p.height, p.bits, kColorTypes[p.channels], PNG_INTERLACE_NONE,
                     PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
        png_write_info(png, info);
        png_write_image(png, rows.data());
        png_write_end(png, nullptr);
        ok = true;
    }
    png_destroy_write_struct(&png, &info);
    fclose(f);
    return ok;
}

bool ReadPng(const std::string &path, Picture *p)
{
    FILE *f = fopen(path.c_str(), "rb");
    if (!f)
        return false;
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    std::vector<unsigned char> raw;
    std::vector<png_bytep> rows;
    bool ok = false;
    if (!setjmp(png_jmpbuf(png))) {
        png_init_io(png, f);
        png_read_info(png, info);
        p->width = int(png_get_image_width(png, info));
        p->height = int(png_get_image_height(png, info));
        p->channels = png_get_channels(png, info);
        p->bits = png_get_bit_depth(png, info);
        size_t stride = png_get_rowbytes(png, info);
        raw.resize(stride * size_t(p->height));
        rows.resize(size_t(p->height));
        for (int y = 0; y < p->height; ++y)
            rows[size_t(y)] = raw.data() + stride * size_t(y);
        png_read_image(png, rows.data());
        png_read_end(png, nullptr);
        ok = true;
    }
    png_destroy_read_struct(&png, &info, nullptr);
    fclose(f);
    p->samples.clear();
    for (size_t i = 0; ok && i < raw.size(); i += size_t(p->bits / 8))
        p->samples.push_back(p->bits == 16 ? uint32_t(raw[i] << 8 | raw[i + 1]) : raw[i]);
    return ok;
}

// Samples biased to the ends of the range, where conversions go wrong;
// 16-bit alpha is a multiple of 257, which the store's 8-bit alpha keeps.
Picture RandomPicture(int channels, int bits, unsigned seed)
{
    Picture p;
    p.width = 37;
    p.height = 23;
    p.channels = channels;
    p.bits = bits;
    std::mt19937 rng(seed);
    uint32_t full = (1u << bits) - 1;
    for (int i = 0; i < p.width * p.height * channels; ++i) {
        uint32_t r = rng();
        uint32_t v = r % 8 == 0 ? 0 : r % 8 == 1 ? full : r % 8 == 2 ? 1 : (r >> 8) & full;
        bool alpha = channels % 2 == 0 && i % channels == channels - 1;
        p.samples.push_back(alpha && bits == 16 ? (v >> 8) * 257 : v);
    }
    return p;
}

struct Result {
    int status;
    std::string out, err;
};

using e2e::ReadFile;

class SorbaneTools : public ::testing::Test
{
  protected:
    void SetUp() override { ASSERT_EQ(mkdir(work.c_str(), 0777), 0); }

    Result Run(const std::string &args)
    {
        std::string cmd = e2e::SorbanePath() + " " + args + " >'" + dir + "/out' 2>'" + dir + "/err'";
        int status = system(cmd.c_str());
        return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, ReadFile(dir + "/out"), ReadFile(dir + "/err")};
    }

    std::string Path(const std::string &name) const { return work + "/" + name; }

    std::set<std::string> Listing() const
    {
        std::set<std::string> names;
        DIR *d = opendir(work.c_str());
        while (dirent *e = readdir(d))
            if (e->d_name[0] != '.')
                names.insert(e->d_name);
        closedir(d);
        return names;
    }

    // A refusal: non-zero status, exactly one line naming the file, and the
    // work directory unchanged (no output, no temporary file).
    void ExpectRefused(const std::string &args, const std::string &named, const std::string &text)
    {
        std::set<std::string> before = Listing();
        Result r = Run(args);
        EXPECT_NE(r.status, 0) << args;
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
        EXPECT_NE(r.err.find(named), std::string::npos) << r.err;
        EXPECT_NE(r.err.find(text), std::string::npos) << r.err;
        EXPECT_EQ(Listing(), before) << args;
    }

    e2e::TempDir temp;
    std::string dir = temp.path, work = dir + "/work";
};

TEST_F(SorbaneTools, EveryPngFormatComesBackPixelForPixel)
{
    for (int channels = 1; channels <= 4; ++channels)
        for (int bits : {8, 16}) {
            SCOPED_TRACE("channels " + std::to_string(channels) + " bits " + std::to_string(bits));
            Picture in = RandomPicture(channels, bits, unsigned(channels * 100 + bits));
            ASSERT_TRUE(WritePng(Path("in.png"), in));
            Result r = Run("import " + Path("in.png") + " " + Path("store.img"));
            ASSERT_EQ(r.status, 0) << r.err;

            // Planes of the PNG's kind, 16-bit colour kept, 16-bit alpha in 8 bits.
            Image *img = nullptr;
            ASSERT_EQ(Image_OpenReadImage(&img, Path("store.img").c_str()), 0);
            EXPECT_EQ(Image_Mode(img), channels >= 3 ? IMAGE_MODE_RGB : IMAGE_MODE_GREY);
            EXPECT_EQ(Image_AlphaPlanes(img), channels % 2 == 0 ? 1 : 0);
            EXPECT_EQ(Image_PlaneBits(img, 0), bits);
            EXPECT_STREQ(Image_Title(img), "in");
            EXPECT_EQ(Image_CloseImage(img), 0);

            r = Run("export " + Path("store.img") + " " + Path("out.png"));
            ASSERT_EQ(r.status, 0) << r.err;
            Picture out;
            ASSERT_TRUE(ReadPng(Path("out.png"), &out));
            EXPECT_EQ(out.channels, channels);
            EXPECT_EQ(out.bits, bits);
            EXPECT_EQ(out.samples, in.samples);
            EXPECT_EQ(Listing(), (std::set<std::string>{"in.png", "store.img", "out.png"}));
        }
}

TEST_F(SorbaneTools, CmykExportsAsRgbByTheDisplayRule)
{
    for (int bits : {8, 16}) {
        ASSERT_EQ(
            Run("new --mode cmyk --size 5x1 --alpha --bits " + std::to_string(bits) + " " + Path("c.img"))
                .status,
            0);
        Image *img = nullptr;
        ASSERT_EQ(Image_OpenImage(&img, Path("c.img").c_str()), 0);
        const uint32_t cmyk[5][4] = {
            {0, 0, 0, 255}, {255, 0, 0, 0}, {200, 200, 200, 100}, {10, 20, 30, 40}, {0, 0, 0, 0}};
        const uint32_t rgb[5][3] = {{0, 0, 0}, {0, 255, 255}, {0, 0, 0}, {205, 195, 185}, {255, 255, 255}};
        uint32_t scale = bits == 16 ? 257 : 1;
        for (int x = 0; x < 5; ++x) {
            for (int c = 0; c < 4; ++c)
                Image_SetSample(img, c, x, 0, cmyk[x][c] * scale);
            Image_SetSample(img, 4, x, 0, uint32_t(x * 60));
        }
        Image_CloseImage(img);
        Result r = Run("export " + Path("c.img") + " " + Path("c.png"));
        ASSERT_EQ(r.status, 0) << r.err;
        Picture out;
        ASSERT_TRUE(ReadPng(Path("c.png"), &out));
        ASSERT_EQ(out.channels, 4);
        ASSERT_EQ(out.bits, bits);
        for (int x = 0; x < 5; ++x) {
            for (int c = 0; c < 3; ++c)
                EXPECT_EQ(out.at(x, 0, c), rgb[x][c] * scale) << bits << " " << x << " " << c;
            EXPECT_EQ(out.at(x, 0, 3), uint32_t(x * 60) * scale);
        }
    }
}

TEST_F(SorbaneTools, NewMakesBlankImagesOfTheAskedLayout)
{
    Result r = Run("new --mode grey --bits 1 --size 9x2 " + Path("g.img"));
    ASSERT_EQ(r.status, 0) << r.err;
    Image *img = nullptr;
    ASSERT_EQ(Image_OpenReadImage(&img, Path("g.img").c_str()), 0);
    EXPECT_EQ(Image_PlaneBytesPerRow(img, 0), 2);
    EXPECT_EQ(Image_FileSize(img), 8192);
    EXPECT_STREQ(Image_Title(img), "Untitled_1");
    EXPECT_EQ(Image_GetSample(img, 0, 8, 1), 1u); // blank is white
    Image_CloseImage(img);
    r = Run("export " + Path("g.img") + " " + Path("g.png"));
    ASSERT_EQ(r.status, 0) << r.err;
    Picture out;
    ASSERT_TRUE(ReadPng(Path("g.png"), &out));
    EXPECT_EQ(out.bits, 8);
    EXPECT_EQ(out.samples, std::vector<uint32_t>(18, 255));

    r = Run("new --alpha --extra 2 --size 89x89 " + Path("rgb.img"));
    ASSERT_EQ(r.status, 0) << r.err;
    r = Run("info " + Path("rgb.img"));
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("89 x 89"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("RGB (2), 6 planes: 3 colour, 1 alpha, 2 extra"), std::string::npos) << r.out;
    for (const char *line : {"0      4096        8     8      89         3  red       Red",
                             "3      28672       8     8      89         16 alpha     Alpha",
                             "5      45056       8     8      89         18 extra     Extra"})
        EXPECT_NE(r.out.find(line), std::string::npos) << line << "\n" << r.out;
}

TEST_F(SorbaneTools, BadUsageIsRefusedWithStatusTwo)
{
    for (const char *args :
         {"", "frobnicate", "import only-one", "new --mode hsv x.img", "new --size 0x4 x.img",
          "new --bits 4 x.img", "new --size 3x x.img", "new", "info", "export a"})
        EXPECT_EQ(Run(args).status, 2) << args;
    Result help = Run("--help");
    EXPECT_EQ(help.status, 0);
    for (const char *command : {"import", "export", "new", "info"})
        EXPECT_NE(help.out.find(std::string("sorbane ") + command), std::string::npos) << command;
    EXPECT_TRUE(Listing().empty());
}

// Damaged input is refused by `import`, `export` and `info`, each time with
// one line naming the file, and leaves no output behind.
TEST_F(SorbaneTools, DamagedInputIsRefusedAndLeavesNoOutput)
{
    ASSERT_TRUE(WritePng(dir + "/good.png", RandomPicture(4, 8, 7)));
    ASSERT_EQ(Run("new --pattern --alpha --size 50x50 " + dir + "/good.img").status, 0);
    std::string png = ReadFile(dir + "/good.png"), img = ReadFile(dir + "/good.img");
    std::string flipped = png, badMagic = img, bigPlane = img;
    flipped[png.size() / 2] = char(flipped[png.size() / 2] ^ 0x55); // inside IDAT: checksum fails
    badMagic[IMAGE_MAGIC_AT] = 0;
    Bytes_SetField(bigPlane.data() + IMAGE_PLANE_RECORDS + IMAGE_PLANE_RECORD_SIZE * 2, IMAGE_PLANE_OFFSET,
                   1 << 30);
    const std::string notPng = "not a PNG file : Unknown file format", cut = "Cannot read the file",
                      size = "Bad size of file";
    struct Case {
        const char *tool, *name;
        std::string bytes, text;
    } cases[] = {
        {"import", "text.png", "hello, not a picture\n", notPng},
        {"import", "half.png", png.substr(0, png.size() / 2), cut},
        {"import", "bad.png", flipped, cut},
        {"export", "short.img", img.substr(0, img.size() - 4096), size},
        {"export", "magic.img", badMagic, "Unknown file format"},
        {"export", "plane.img", bigPlane, size},
        {"info", "short.img", img.substr(0, img.size() - 4096), size},
    };
    for (const Case &c : cases) {
        e2e::WriteFile(dir + "/" + c.name, c.bytes);
        std::string out =
            c.tool == std::string("info") ? "" : Path(c.tool == std::string("import") ? "o.img" : "o.png");
        ExpectRefused(std::string(c.tool) + " " + dir + "/" + c.name + " " + out, c.name, c.text);
    }
    ExpectRefused("import " + dir + "/missing.png " + Path("o.img"), "missing.png", "No such file");
    ExpectRefused("export " + dir + "/good.img " + dir + "/no/such/dir/o.png", "o.png", "No such file");
    // Nor is an existing output replaced by a failed import.
    e2e::WriteFile(Path("keep.img"), "old");
    ExpectRefused("import " + dir + "/text.png " + Path("keep.img"), "text.png", notPng);
    EXPECT_EQ(ReadFile(Path("keep.img")), "old");
}

} // namespace
