// The engine of a running program, in the test process: the work images, an
// edited image, and pipes in place of the display's and the kernel's FIFOs.
// Also the compositing rules written out plainly, for the expected bytes.
#pragma once
#include "core/Dabstone.h"
#include "tests/TestStore.h"
#include "tests/xc/Reference.h"

class PaintEngine : public TempStore
{
  protected:
    void SetUp() override
    {
        TempStore::SetUp();
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
        display = PeerPipe(&displayFifo);
        kernel = PeerPipe(&kernelFifo);
        displayPid = 4242;
    }

    void TearDown() override
    {
        GG_Dabstone &e = *G_dabstone;
        e.image = e.userBrush = e.userBrushMask = e.activeBrush = e.activeBrush2 = nullptr;
        e.strokeBrush = e.buildinBrush = e.rowBuffer = e.colorImage = e.mask = nullptr;
        e.working = 0;
        for (int fd : {displayFifo, display, kernelFifo, kernel})
            if (fd >= 0)
                close(fd);
        displayFifo = kernelFifo = -1;
        displayPid = 0;
        TempStore::TearDown();
    }

    std::vector<Frame> DisplayFrames() { return Frames(display); }
    std::vector<Frame> KernelFrames() { return Frames(kernel); }

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

    // The targets of the next operation.
    static void Targets(std::initializer_list<Box *> boxes)
    {
        List_Empty(G_dabstone->targets, [](void *b) { Box_Free(static_cast<Box *>(b)); });
        for (Box *b : boxes)
            List_Append(G_dabstone->targets, b);
    }

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
    Cell c;
    ref::Operation(op, a, d, &c.w, &c.alpha);
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
