// Any view, box and option record reaches the image-to-X filler without a
// read or write outside the store image or the X image: a random store
// image (mode, depth, alpha, plane sizes), a random X image on the 24-bit or
// the 8-bit screen of the test server, a view between arbitrary boxes at an
// arbitrary zoom, every option of the filler, then boxes anywhere in the
// 32-bit range. Needs DISPLAY (scripts/test.sh runs it under its server).
#include "../xc/MemImage.h"
#include "xc/FillTev2X.h"

#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>

namespace
{

// The input read as a stream of words; zeros once it runs out.
struct Input {
    const uint8_t *p;
    size_t n;
    int32_t Word()
    {
        uint32_t v = 0;
        for (int i = 0; i < 4; ++i)
            v = v << 8 | (n ? (--n, *p++) : 0u);
        return int32_t(v);
    }
    // Mostly small values, sometimes the ends of the range.
    int32_t Coord()
    {
        int32_t w = Word();
        switch (uint32_t(w) % 8) {
        case 0:
            return INT32_MIN + (w >> 24 & 15);
        case 1:
            return INT32_MAX - (w >> 24 & 15);
        default:
            return (w >> 8) % 100;
        }
    }
    int32_t In(int32_t lo, int32_t hi) { return lo + int32_t(uint32_t(Word()) % uint32_t(hi - lo + 1)); }
};

Display *dpy;
XcVisual visuals[2];

bool OpenScreens()
{
    if (!(dpy = XOpenDisplay(nullptr)) || ScreenCount(dpy) < 2)
        return false;
    for (int s = 0; s < 2; ++s) {
        XVisualInfo info;
        if (!XMatchVisualInfo(dpy, s, s ? 8 : 24, s ? PseudoColor : TrueColor, &info))
            return false;
        Colormap cm = XCreateColormap(dpy, RootWindow(dpy, s), info.visual, AllocNone);
        visuals[s] = {dpy, ScreenOfDisplay(dpy, s), s, cm, info.depth, info.c_class, info.visual,
                      2,   RootWindow(dpy, s)};
    }
    return true;
}

FillPixel PixelOf(Input &in)
{
    uint32_t w = uint32_t(in.Word());
    return FillPixel{uint8_t(w), uint8_t(w >> 8), uint8_t(w >> 16), uint32_t(in.Word())};
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    if (!OpenScreens()) {
        std::fprintf(stderr, "fuzz_fill: needs the test X server (scripts/xvfb.sh)\n");
        std::abort();
    }
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    Input in{data, size};
    static const int kDepths[] = {1, 8, 16};
    const int mode = in.In(1, 3), bits = kDepths[in.In(0, 2)];
    MemImage image(in.In(1, 40), in.In(1, 40), mode, bits, in.Word() & 1, in.In(0, 1),
                   in.Word() & 1 ? 8 : 16);
    MemImage mask(image.Width() + in.In(0, 1), image.Height(), 1, 8, false);
    int shm = 0;
    XcImage *xi = XcImage_Create(&visuals[in.In(0, 1)], nullptr, in.In(0, 50), in.In(0, 50), &shm);
    if (!xi)
        return 0;

    FillTev2XOptions o{};
    o.precisionX = in.In(-1, 6);
    o.precisionY = in.In(-1, 6);
    o.phaseX = in.Coord();
    o.phaseY = in.Coord();
    o.quality = in.In(-1, 3);
    o.bgPixel = PixelOf(in);
    o.fgPixel = PixelOf(in);
    o.floating = in.Word() & 1;
    o.noSrcAlpha = in.Word() & 1;
    o.plane = in.In(-3, 6);
    o.blend = in.Word() & 1;
    o.mask = mask;
    o.maskPlane = in.In(-1, 1);
    Fill *filler = FillTev2XCreate(image, xi, &o, in.Word() & 1023);
    const uint32_t bg = uint32_t(in.Word());
    Fill *nomans = FillNull2XCreate(nullptr, xi, &bg, FN2X_PIXEL);

    const Box src = Box_Rect(in.Coord(), in.Coord(), in.In(1, 60), in.In(1, 60));
    const Box dst = Box_Rect(in.Coord(), in.Coord(), in.In(1, 60), in.In(1, 60));
    const Box srcRef = Box_Rect(in.Coord(), in.Coord(), in.In(1, 9), in.In(1, 9));
    const Box dstRef = Box_Rect(in.Coord(), in.Coord(), in.In(1, 9), in.In(1, 9));
    ViewOptions vo{};
    vo.srcRef = &srcRef;
    vo.dstRef = &dstRef;
    View *view = NViewCreate(&src, &dst, nomans->fill ? nomans : nullptr, filler, &vo, VIEW_MAP);
    for (int i = 0; view && i < 6 && in.n; ++i) {
        if (in.Word() & 1)
            FillTev2XSetPrecision(filler, in.In(-1, 6), in.In(-1, 6));
        Box b = Box_Rect(in.Coord(), in.Coord(), in.In(1, 70), in.In(1, 70));
        ViewFillDst(view, in.Word() & 1 ? &b : nullptr);
    }
    if (view)
        ViewDestroy(view);
    FillNull2XDestroy(nomans);
    FillTev2XDestroy(filler);
    XcImage_Destroy(xi);
    return 0;
}
