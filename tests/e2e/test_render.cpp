// `sorbane render` on both screens of the test server; the PNG it writes is
// imported into the store again to be read.
#include "tests/e2e/E2e.h"

#include "core/Image.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <sys/wait.h>

namespace
{
// MakeImage's samples.
int Src(int x, int y, int p)
{
    return (x + 3 * y + 7 * p) & 255;
}

class Render : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        const std::string d = getenv("DISPLAY") ? getenv("DISPLAY") : "";
        if (d.empty())
            GTEST_SKIP() << "needs scripts/xvfb.sh's X display";
        server = d.substr(0, d.find('.', d.rfind(':')));
        image = e2e::MakeImage(temp.path, 37, 23, IMAGE_MODE_RGB, 8, 0);
    }
    int Run(const std::string &display, const std::string &args)
    {
        const std::string cmd = "env -u SORBANEDEBUGCOLORS SORBANECOLORS=2 DISPLAY=" + display + " " +
                                e2e::SorbanePath() + " render " + args + " 2>" + temp.File("err");
        const int status = system(cmd.c_str());
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    // Screen 0 of the test server is 24-bit; 8-bit is the server whose only
    // screen is 8-bit when the script started one, else screen 1.
    std::string Display(int screen) const
    {
        const char *eight = getenv("DAB_DISPLAY8");
        return screen && eight ? std::string(eight) : server + "." + std::to_string(screen);
    }
    // Renders on a screen and calls check(x, y, plane, sample) on every sample of the PNG.
    void Check(int screen, const std::string &args, int width, int height,
               const std::function<void(int, int, int, int)> &check)
    {
        const std::string out = temp.File("out.png"), store = temp.File("out.img");
        ASSERT_EQ(Run(Display(screen), image + " " + out + " " + args), 0) << Err();
        ASSERT_EQ(system((e2e::SorbanePath() + " import " + out + " " + store).c_str()), 0);
        Image *i = nullptr;
        ASSERT_EQ(Image_OpenReadImage(&i, store.c_str()), 0);
        EXPECT_TRUE(Image_Width(i) == width && Image_Height(i) == height && Image_ColorPlanes(i) == 3);
        for (int n = 0; n < 3 * width * height && !HasFailure(); ++n) // up to the first failure
            check(n % width, n / width % height, n / width / height,
                  int(Image_GetSample(i, n / width / height, n % width, n / width % height)));
        Image_CloseImage(i);
    }
    std::string Err() const { return e2e::ReadFile(temp.File("err")); }
    e2e::TempDir temp;
    std::string server, image;
};
} // namespace

TEST_F(Render, TrueColorShowsTheBoxExactlyAndAThirdAsBlockMeans)
{
    Check(0, "--box 2,1,30,20", 30, 20,
          [](int x, int y, int p, int v) { ASSERT_EQ(v, Src(x + 2, y + 1, p)); });
    // A third of 37 x 23: the last column and row average what is left of the image.
    Check(0, "--zoom 3/1 --average", 13, 8, [](int x, int y, int p, int v) {
        int sum = 0, n = 0;
        for (int j = 3 * y; j < std::min(3 * y + 3, 23); ++j)
            for (int i = 3 * x; i < std::min(3 * x + 3, 37); ++i)
                sum += Src(i, j, p), ++n;
        ASSERT_EQ(v, sum / n) << x << "," << y;
    });
}

TEST_F(Render, PseudoColorShowsCubeColoursWithinOneStep)
{
    // Colour level 2: five levels a primary, 0, 63, 127, 191 and 255.
    Check(1, "", 37, 23, [](int x, int y, int p, int v) {
        ASSERT_TRUE(v == 0 || v % 64 == 63) << v;
        ASSERT_LE(std::abs(v - Src(x, y, p)), 64) << x << "," << y;
    });
}

TEST_F(Render, BadArgumentsAreRefusedWithOneLineAndStatusTwo)
{
    const std::string img = e2e::ReadFile(image), shortImage = temp.File("short.img");
    e2e::WriteFile(shortImage, img.substr(0, img.size() - 4096));
    const std::string out = " " + temp.File("x.png"), screen = server + ".0";
    for (const std::string &args :
         {temp.File("none.img") + out, shortImage + out, image + out + " --box 30,0,8,5",
          image + out + " --zoom 0/1", image + out + " --zoom 1/2,3", image + out + " --precision 0",
          image + out + " --background 1,2,x"}) {
        EXPECT_EQ(Run(screen, args), 2) << args;
        EXPECT_EQ(e2e::Count(Err(), "\n"), 1) << Err();
    }
    EXPECT_EQ(Run(":none", image + out), 2);
    EXPECT_NE(Err().find("Display not found"), std::string::npos) << Err();
    EXPECT_FALSE(e2e::Exists(temp.File("x.png")));
}
