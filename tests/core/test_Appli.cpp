// The application descriptor the probe writes, and the start-up delay.
#include "core/Appli.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace
{

const unsigned char *const D = Appli_Descriptor();

int Bit(const unsigned char *bitmap, int x, int y)
{
    return (bitmap[y * 8 + x / 8] >> (x % 8)) & 1;
}

bool AllZero(int from, int to)
{
    return std::all_of(D + from, D + to, [](unsigned char b) { return b == 0; });
}

TEST(Descriptor, FieldsLieAtTheirOffsetsBigEndian)
{
    EXPECT_STREQ(reinterpret_cast<const char *>(D), "DabStone");
    EXPECT_TRUE(AllZero(8, 100)) << "name NUL-padded";
    EXPECT_EQ(std::vector<unsigned char>(D + 100, D + 104), (std::vector<unsigned char>{0, 0, 0, 220}))
        << "words most significant byte first";
    // Three different icon planes.
    EXPECT_FALSE(std::equal(D + 128, D + 10128, D + 10128));
    EXPECT_FALSE(std::equal(D + 10128, D + 20128, D + 20128));

    // The about text: fixed first lines, each NUL-padded in 64 bytes.
    auto line = [](int i) { return std::string(reinterpret_cast<const char *>(D + 31160 + 64 * i)); };
    EXPECT_EQ(line(0), "DabStone, 07/1995");
    EXPECT_EQ(line(1), "Pixel Retouching && Image Pasting by");
    for (int i = 2; i <= 5; ++i) {
        EXPECT_FALSE(line(i).empty()) << "line " << i;
        EXPECT_EQ(D[31160 + 64 * i + 63], 0) << "line " << i;
    }
    EXPECT_TRUE(AllZero(31160 + 64 * 6, APPLI_DESCRIPTOR_SIZE)) << "lines 6 to 21 empty";
}

// The bitmap is the outline of its mask: inside the silhouette, never in
// its interior; least significant bit leftmost.
TEST(Descriptor, BitmapIsTheOutlineOfItsMask)
{
    const unsigned char *bitmap = D + 30128, *mask = D + 30640;
    int set = 0;
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 64; ++x) {
            set += Bit(mask, x, y);
            const bool interior = x > 0 && y > 0 && x < 63 && y < 63 && Bit(mask, x, y) &&
                                  Bit(mask, x - 1, y) && Bit(mask, x + 1, y) && Bit(mask, x, y - 1) &&
                                  Bit(mask, x, y + 1);
            if (Bit(bitmap, x, y)) {
                EXPECT_TRUE(Bit(mask, x, y) && !interior) << x << "," << y;
            }
        }
    EXPECT_GT(set, 200);
    EXPECT_LT(set, 64 * 64 / 2);
    EXPECT_TRUE(Bit(mask, 7, 55)) << "the brush's point at the left of the bottom rows";
    EXPECT_FALSE(Bit(mask, 56, 55));
}

TEST(Delay, UnsetMeansNoneOtherwiseClampedDecimal)
{
    EXPECT_EQ(Appli_DelayMs(nullptr), -1);
    EXPECT_EQ(Appli_DelayMs("250"), 250);
    EXPECT_EQ(Appli_DelayMs("-5"), 0);
    EXPECT_EQ(Appli_DelayMs("20000"), 10000);
    EXPECT_EQ(Appli_DelayMs("soon"), 0);
    EXPECT_EQ(Appli_DelayMs(""), 0);
}

} // namespace
