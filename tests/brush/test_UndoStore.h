// A fresh store directory per test, and images filled with seeded noise,
// for the undo, pipette and paste tests.
#pragma once
#include "core/Image.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <random>
#include <string>
#include <vector>

class UndoStore : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        char tmpl[] = "/tmp/dab_undo_XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir = tmpl;
        ASSERT_EQ(Image_Init(dir.c_str(), nullptr, nullptr), 0);
    }
    void TearDown() override
    {
        for (Image *i : images)
            Image_CloseImage(i);
        Image_Init(nullptr, nullptr, nullptr);
        std::string cmd = "rm -rf '" + dir + "'";
        EXPECT_EQ(system(cmd.c_str()), 0);
    }

    // A new image (closed at the end of the test); extra planes of extraDepth.
    Image *Make(int w, int h, int mode, int bits, int alpha = 0, int extra = 0, int extraDepth = 8)
    {
        std::vector<unsigned char> info(IMAGE_INFO_SIZE);
        Image_InitInfo(info.data());
        Bytes_SetField(info.data(), IMAGE_INFO_WIDTH, w);
        Bytes_SetField(info.data(), IMAGE_INFO_HEIGHT, h);
        Bytes_SetField(info.data(), IMAGE_INFO_MODE, mode);
        Bytes_SetField(info.data(), IMAGE_INFO_BITS, bits);
        Bytes_SetField(info.data(), IMAGE_INFO_ALPHA, alpha);
        Bytes_SetField(info.data(), IMAGE_INFO_EXTRA, extra);
        Bytes_SetField(info.data(), IMAGE_INFO_EXTRA_DEPTH, extraDepth);
        Image *img = nullptr;
        EXPECT_EQ(Image_CreateImage(&img, info.data()), 0);
        if (img)
            images.push_back(img);
        return img;
    }

    // Every byte of every row of every plane from a seeded generator.
    static void Noise(Image *img, unsigned seed)
    {
        std::mt19937 gen(seed);
        for (int p = 0; p < Image_Planes(img); ++p)
            for (int y = 0; y < Image_Height(img); ++y) {
                unsigned char *row = Image_Row(img, p, y);
                for (int i = 0; i < Image_PlaneBytesPerRow(img, p); ++i)
                    row[i] = static_cast<unsigned char>(gen());
            }
    }

    // The rows of every plane, without the page padding.
    static std::vector<unsigned char> Planes(const Image *img)
    {
        std::vector<unsigned char> out;
        for (int p = 0; p < Image_Planes(img); ++p)
            for (int y = 0; y < Image_Height(img); ++y) {
                const unsigned char *row = Image_Row(img, p, y);
                out.insert(out.end(), row, row + Image_PlaneBytesPerRow(img, p));
            }
        return out;
    }

    std::string dir;
    std::vector<Image *> images;
};
