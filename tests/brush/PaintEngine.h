// The engine of a running program, in the test process: a store directory,
// the work images, an edited image, and pipes in place of the display's and
// the kernel's FIFOs, whose frames the tests read back. Also the compositing
// rules written out plainly, for the expected bytes.
#pragma once
#include "core/Dabstone.h"
#include "core/Image.h"
#include "core/Msg.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

struct Frame {
    int32_t code;
    std::vector<unsigned char> payload;
    int32_t Word(int i) const { return Bytes_GetS32(payload.data() + 4 * i); }
};

class PaintEngine : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        char tmpl[] = "/tmp/dab_paint_XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir = tmpl;
        ASSERT_EQ(Image_Init(dir.c_str(), nullptr, nullptr), 0);
        Dabstone_InitState();
        Dabstone_InitDefaults();
        GG_Dabstone &e = *G_dabstone;
        e.strokeBrush = Make(201, 201, IMAGE_MODE_GREY, 8, 1);
        e.buildinBrush = Make(201, 201, IMAGE_MODE_GREY, 8, 1);
        e.rowBuffer = Make(9999, 1, IMAGE_MODE_GREY, 8, 1);
        e.rowBufferBox = Box{0, 0, 9998, 0, 9999, 1, 0};
        e.colorImage = Make(10, 10, IMAGE_MODE_RGB, 8, 0);
        e.activeBrush = e.buildinBrush;
        e.brushImageBox = Box{0, 0, 200, 200, 201, 201, 0};
        e.color = ColorValue{COLOR_RGB, 200, 40, 90, 0, 0, 0, 0, 0, 0, 0, 0, 0};
        display = Pipe(&displayFifo);
        kernel = Pipe(&kernelFifo);
        displayPid = 4242;
    }

    void TearDown() override
    {
        GG_Dabstone &e = *G_dabstone;
        e.image = e.userBrush = e.userBrushMask = e.activeBrush = e.activeBrush2 = nullptr;
        e.strokeBrush = e.buildinBrush = e.rowBuffer = e.colorImage = e.mask = nullptr;
        e.working = 0;
        for (Image *i : images)
            Image_CloseImage(i);
        for (int fd : {displayFifo, display, kernelFifo, kernel})
            if (fd >= 0)
                close(fd);
        displayFifo = kernelFifo = -1;
        displayPid = 0;
        Image_Init(nullptr, nullptr, nullptr);
        std::string cmd = "rm -rf '" + dir + "'";
        EXPECT_EQ(system(cmd.c_str()), 0);
    }

    // A pipe whose write end stands for a peer's FIFO; the read end is returned.
    static int Pipe(int *writeEnd)
    {
        int fds[2];
        if (pipe(fds) != 0)
            return -1;
        fcntl(fds[0], F_SETFL, O_NONBLOCK);
        fcntl(fds[0], F_SETPIPE_SZ, 1 << 20);
        *writeEnd = fds[1];
        return fds[0];
    }

    static std::vector<Frame> Read(int fd)
    {
        std::vector<unsigned char> bytes;
        unsigned char buf[65536];
        for (ssize_t n; (n = read(fd, buf, sizeof buf)) > 0;)
            bytes.insert(bytes.end(), buf, buf + n);
        std::vector<Frame> frames;
        for (size_t at = 0; at + MSG_HEADER_SIZE <= bytes.size();) {
            int32_t code = Bytes_GetS32(&bytes[at + MSG_HDR_CODE]);
            int32_t length = Bytes_GetS32(&bytes[at + MSG_HDR_LENGTH]);
            at += MSG_HEADER_SIZE;
            frames.push_back(Frame{code, std::vector<unsigned char>(&bytes[at], &bytes[at] + length)});
            at += size_t(length);
        }
        return frames;
    }
    std::vector<Frame> DisplayFrames() { return Read(display); }
    std::vector<Frame> KernelFrames() { return Read(kernel); }

    Image *Make(int w, int h, int mode, int bits, int alpha)
    {
        std::vector<unsigned char> info(IMAGE_INFO_SIZE);
        Image_InitInfo(info.data());
        Bytes_SetField(info.data(), IMAGE_INFO_WIDTH, w);
        Bytes_SetField(info.data(), IMAGE_INFO_HEIGHT, h);
        Bytes_SetField(info.data(), IMAGE_INFO_MODE, mode);
        Bytes_SetField(info.data(), IMAGE_INFO_BITS, bits);
        Bytes_SetField(info.data(), IMAGE_INFO_ALPHA, alpha);
        Image *img = nullptr;
        EXPECT_EQ(Image_CreateImage(&img, info.data()), 0);
        if (img)
            images.push_back(img);
        return img;
    }

    // The edited image: every plane filled with its value (or noise).
    Image *Edit(int w, int h, int mode, int alpha, std::vector<int> fill = {})
    {
        Image *img = Make(w, h, mode, 8, alpha);
        std::mt19937 rng(7);
        for (int p = 0; p < Image_Planes(img); ++p)
            for (int y = 0; y < h; ++y)
                for (int x = 0; x < w; ++x)
                    Image_SetSample(img, p, x, y, p < int(fill.size()) ? fill[p] : rng() & 255);
        GG_Dabstone &e = *G_dabstone;
        e.image = img;
        e.imageBox = Box{0, 0, w - 1, h - 1, w, h, 0};
        e.plane = -1;
        e.alpha = 1;
        Dabstone_MakeStdMask();
        return img;
    }

    // Pointer events as the display sends them.
    static void Event(void (*tool)(void *, const unsigned char *), int kind, int x, int y, int button = 1,
                      int state = -1)
    {
        unsigned char ev[MSG_EVENT_SIZE] = {};
        Bytes_PutS32(ev + 4 * MSG_EV_KIND, kind);
        Bytes_PutS32(ev + 4 * MSG_EV_X, x);
        Bytes_PutS32(ev + 4 * MSG_EV_Y, y);
        Bytes_PutS32(ev + 4 * MSG_EV_BUTTON, button);
        Bytes_PutS32(ev + 4 * MSG_EV_STATE, state >= 0    ? state
                                            : button == 1 ? MSG_STATE_BUTTON1
                                                          : MSG_STATE_BUTTON3);
        tool(nullptr, ev);
    }

    // All samples of an image, plane after plane.
    static std::vector<uint32_t> Samples(const Image *img)
    {
        std::vector<uint32_t> s;
        for (int p = 0; p < Image_Planes(img); ++p)
            for (int y = 0; y < Image_Height(img); ++y)
                for (int x = 0; x < Image_Width(img); ++x)
                    s.push_back(Image_GetSample(img, p, x, y));
        return s;
    }

    std::string dir;
    std::vector<Image *> images;
    int display = -1, kernel = -1;
};

// ---- The compositing rules, written out ----

struct Cell {
    double w;
    int alpha;
};

// Over (op 2) and under (op 3) of brush alpha a on destination alpha d.
inline Cell Compose(int op, int a, int d)
{
    const double t = a / 255.0, u = d / 255.0;
    Cell c;
    if (op == 2) {
        if (a == 255 || d == 0)
            return Cell{1.0, a};
        const double s = t + (1.0 - t) * u;
        c = Cell{t / s, int(255.0 * s)};
    } else {
        if (d == 255 || a == 0)
            return Cell{0.0, d};
        const double s = u + (1.0 - u) * t;
        c = Cell{(1.0 - u) * t / s, int(255.0 * s)};
    }
    if (a > 0 && c.alpha <= d)
        c.alpha = std::min(d + 1, 255);
    return c;
}

// One pixel painted: colour samples of the given planes toward f, and the
// alpha plane (or none: -1) when it takes part.
inline void PaintPixel(Image *img, int x, int y, int a, int op, const std::vector<int> &planes,
                       const std::vector<int> &fg, int alphaPlane)
{
    const int d = alphaPlane >= 0 ? int(Image_GetSample(img, alphaPlane, x, y)) : 255;
    const Cell c = Compose(op, a, d);
    if (c.w == 0.0)
        return;
    for (size_t i = 0; i < planes.size(); ++i) {
        const int v = int(Image_GetSample(img, planes[i], x, y));
        Image_SetSample(img, planes[i], x, y, c.w == 1.0 ? fg[i] : int((1.0 - c.w) * v + c.w * fg[i]));
    }
    if (alphaPlane >= 0)
        Image_SetSample(img, alphaPlane, x, y, c.w == 1.0 ? a : c.alpha);
}
