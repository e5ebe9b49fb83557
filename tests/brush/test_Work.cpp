// Strokes through Work_Brush compared byte for byte with the shapes and the
// compositing rules applied in the test.
#include "PaintEngine.h"

#include "brush/Buildin.h"
#include "brush/Work.h"

#include <functional>

namespace
{

class Work : public PaintEngine
{
  protected:
    void TearDown() override
    {
        Work_BrutalStop();
        PaintEngine::TearDown();
    }

    static void Press(int x, int y, int b = 1) { Event(Work_Brush, MSG_EVK_PRESS, x, y, b); }
    static void Move(int x, int y, int b = 1) { Event(Work_Brush, MSG_EVK_MOTION, x, y, b); }
    static void Release(int x, int y, int b = 1) { Event(Work_Brush, MSG_EVK_RELEASE, x, y, b); }

    // A copy of the edited image, for the expected bytes.
    Image *Copy(const Image *src)
    {
        Image *c = Make(Image_Width(src), Image_Height(src), Image_Mode(src), Image_PlaneBits(src, 0),
                        Image_AlphaPlanes(src));
        for (int p = 0; p < Image_Planes(src); ++p)
            for (int y = 0; y < Image_Height(src); ++y)
                std::memcpy(Image_Row(c, p, y), Image_Row(src, p, y), size_t(Image_PlaneBytesPerRow(src, p)));
        return c;
    }

    // The built-in brush's coverage at its own size.
    std::vector<int> Shape(int w, int h, int opacity, bool aero)
    {
        Image *b = Make(w, h, IMAGE_MODE_GREY, 8, 1);
        Buildin_Make(b, 1, w, h, 1, Buildin_Peak(opacity), aero ? 1.0 : 0.0);
        std::vector<int> s;
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                s.push_back(int(Image_GetSample(b, 1, x, y)));
        return s;
    }

    // Paints a dab of the shape with its corner at (x0, y0) into the expected
    // image: the given planes toward fg (the engine's colour by default), at
    // the coverage cover gives (the shape's by default; -1: not painted).
    static void ExpectDab(Image *img, const std::vector<int> &shape, int w, int h, int x0, int y0, int op = 2,
                          std::vector<int> planes = {0, 1, 2}, std::vector<int> fg = {}, int alpha = 3,
                          const std::function<int(int, int, int)> &cover = nullptr)
    {
        const ColorValue &c = G_dabstone->color;
        if (fg.empty())
            fg = {c.red, c.green, c.blue};
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                const int ix = x0 + x, iy = y0 + y, a = shape[size_t(y) * w + x];
                const int painted = cover ? cover(ix, iy, a) : a;
                if (painted >= 0 && ix >= 0 && iy >= 0 && ix < Image_Width(img) && iy < Image_Height(img))
                    PaintPixel(img, ix, iy, painted, op, planes, fg, alpha);
            }
    }

    static void Brush(int w, int h, int opacity, bool aero, int spacing = 25, int trace = 0)
    {
        GG_Dabstone &e = *G_dabstone;
        e.brushWidth = w;
        e.brushHeight = h;
        e.opacity = opacity;
        e.aero = aero;
        e.spacing = spacing;
        e.traceMode = trace;
    }
};

// Dab centres along a drag: continuous strokes dab at the press and then
// every step pixels of the walk, the counter running over the whole stroke
// and counting each segment's first pixel again; trace mode 1 dabs at every
// event, 2 only at the press.
TEST_F(Work, DabsWhereTheTraceModePlacesThem)
{
    const struct {
        int trace, spacing;
        std::vector<int> xs;
    } cases[] = {{0, 50, {10, 14, 18, 23, 27, 32, 37}}, {1, 25, {10, 17, 23, 41}}, {2, 25, {10}}};
    for (const auto &t : cases) {
        Image *img = Edit(80, 40, IMAGE_MODE_RGB, 1);
        Image *expect = Copy(img);
        Brush(10, 10, 100, true, t.spacing, t.trace);
        ASSERT_EQ(Work_Technique(), WORK_DAB);
        Press(10, 20);
        Move(17, 20);
        Move(23, 20);
        Move(41, 20);
        Release(41, 20);
        for (int x : t.xs)
            ExpectDab(expect, Shape(10, 10, 100, true), 10, 10, x - 5, 15);
        EXPECT_EQ(Samples(img), Samples(expect)) << "trace mode " << t.trace;
        EXPECT_FALSE(Dabstone_IsWorking());
        EXPECT_EQ(G_dabstone->brushPosBox.x1, t.xs.back() - 5); // the brush stands at the last dab
    }
}

TEST_F(Work, RequestsThatPaintNothing)
{
    Image *img = Edit(40, 40, IMAGE_MODE_RGB, 1);
    const std::vector<uint32_t> before = Samples(img);
    GG_Dabstone &e = *G_dabstone;
    Brush(5, 5, 100, false);
    Move(10, 10);     // motion without a press
    Release(10, 10);  // release without a press
    Press(10, 10, 2); // button 2 is not a painting button
    Release(10, 10, 2);
    Press(-5000, 90000); // far outside the image: a stroke, but nothing to paint
    Move(-4000, 80000);
    Release(-4000, 80000);
    e.working = 1; // a press while another job runs
    Press(10, 10);
    e.working = 0;
    e.undoReady = 0; // undo not ready yet: no stroke, no fill
    Press(5, 5);
    Event(Work_Fill, MSG_EVK_PRESS, 0, 0);
    e.undoReady = 1;
    Image *colour = e.colorImage;
    e.colorImage = nullptr;
    Event(Work_Fill, MSG_EVK_PRESS, 0, 0);
    e.colorImage = colour;
    EXPECT_EQ(Samples(img), before);
    EXPECT_FALSE(Dabstone_IsWorking());

    // The release of another button does not end the stroke; a brutal stop
    // does, and what follows paints nothing.
    Press(10, 10);
    Release(12, 10, 3);
    EXPECT_TRUE(Dabstone_IsWorking());
    Work_BrutalStop();
    EXPECT_FALSE(Dabstone_IsWorking());
    const std::vector<uint32_t> stopped = Samples(img);
    Move(40, 40);
    Release(40, 40);
    EXPECT_EQ(Samples(img), stopped);
}

TEST_F(Work, PencilAtHalfOpacityNeverBuildsUp)
{
    // White, opaque; black at 50 %: one pass gives at most 128 (255 × 128/255).
    Image *img = Edit(60, 60, IMAGE_MODE_RGB, 1, {255, 255, 255, 255});
    G_dabstone->color = ColorValue{COLOR_RGB, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    Brush(7, 7, 50, false);
    ASSERT_EQ(Work_Technique(), WORK_PENCIL);
    Press(10, 10);
    for (int i = 0; i < 6; ++i) {
        Move(50, 12 + 5 * i);
        Move(10, 14 + 5 * i);
    }
    Move(30, 10);
    Move(30, 50);
    Release(30, 50);
    // The row filter's integer steps may lose a unit or two where a rim
    // pixel is covered again; painting twice would give about 64.
    double w;
    int alpha;
    ref::Operation(2, int(0.5 * 255), 255, &w, &alpha);
    const int single = int((1.0 - w) * 255), darkest = single - 3;
    int painted = 0, full = 0;
    for (int y = 0; y < 60; ++y)
        for (int x = 0; x < 60; ++x) {
            const int v = int(Image_GetSample(img, 0, x, y));
            ASSERT_GE(v, darkest) << "at " << x << ", " << y;
            painted += v < 255;
            full += v == single;
            EXPECT_EQ(Image_GetSample(img, 3, x, y), 255u);
        }
    EXPECT_GT(painted, 1000);
    EXPECT_GT(full, 500); // the inside of the pieces, covered fully, once
}

TEST_F(Work, LargeBrushIsTheLinearEllipse)
{
    Image *img = Edit(400, 40, IMAGE_MODE_RGB, 1);
    Image *expect = Copy(img);
    Brush(300, 20, 60, false, 25, 2);
    ASSERT_EQ(Work_Technique(), WORK_LARGE);
    Press(200, 20);
    Release(200, 20);
    // rx 149, ry 9, peak trunc(60 × 2.55), whatever the airbrush.
    static Image *want;
    want = expect;
    Image *buffer = Make(400, 1, IMAGE_MODE_GREY, 8, 1);
    const Box clip{0, 0, 399, 39, 400, 40, 0};
    ASSERT_EQ(BuildIn_Wire(buffer, 1, 149, 9, Buildin_Peak(60), 0.0, 200, 20, &clip,
                           [](int x, int y, int n, unsigned char *b) {
                               for (int i = 0; i < n; ++i)
                                   PaintPixel(want, x + i, y, b[i], 2, {0, 1, 2}, {200, 40, 90}, 3);
                           }),
              0);
    EXPECT_EQ(Samples(img), Samples(expect));
}

// One dab of each kind against the rules: "Behind" (under the image's own
// alpha), alpha "Preserve" (colours as on an opaque image, alpha kept),
// button 3 erasing the alpha (a grey plane toward 0) or, without one,
// painting zero, and one colour plane (the colour's component).
TEST_F(Work, OpPlanesPreservedAlphaAndErasing)
{
    const ColorValue c = G_dabstone->color;
    const std::vector<int> shape = Shape(9, 5, 100, true), rgb{0, 1, 2}, fg{c.red, c.green, c.blue};
    const struct Case {
        const char *what;
        int imageAlpha, op, alpha, plane, button, composeOp;
        std::vector<int> planes, fg;
        int alphaPlane;
    } cases[] = {
        {"behind", 1, 1, 1, -1, 1, 3, rgb, fg, 3},
        {"alpha preserved", 1, 0, 0, -1, 1, 2, rgb, fg, -1},
        {"erasing the alpha", 1, 0, 1, -1, 3, 2, {3}, {0}, -1},
        {"erasing without alpha", 0, 0, 1, -1, 3, 2, rgb, {0, 0, 0}, -1},
        {"green plane", 1, 0, 1, 1, 1, 2, {1}, {c.green}, 3},
    };
    for (const Case &t : cases) {
        Image *img = Edit(40, 40, IMAGE_MODE_RGB, t.imageAlpha);
        Image *expect = Copy(img);
        G_dabstone->op = t.op;
        G_dabstone->alpha = t.alpha;
        G_dabstone->plane = t.plane;
        if (t.plane >= 0)
            Dabstone_SetColor(&c);
        Brush(9, 5, 100, true, 25, 2);
        Press(20, 20, t.button);
        Release(20, 20, t.button);
        ExpectDab(expect, shape, 9, 5, 16, 18, t.composeOp, t.planes, t.fg, t.alphaPlane);
        EXPECT_EQ(Samples(img), Samples(expect)) << t.what;
    }
}

TEST_F(Work, TargetBoxesClipAndTheMaskLimits)
{
    Image *img = Edit(60, 40, IMAGE_MODE_RGB, 1);
    Image *mask = Make(60, 40, IMAGE_MODE_GREY, 8, 0);
    for (int y = 0; y < 40; ++y)
        for (int x = 0; x < 60; ++x)
            Image_SetSample(mask, 0, x, y, (x * 37 + y * 11) & 255);
    Image *expect = Copy(img);
    G_dabstone->mask = mask;
    Box *masked = BoxMakeXY(40, 10, 59, 30);
    masked->link = 1;
    Targets({BoxMakeXY(0, 0, 24, 39), masked});
    Brush(30, 30, 100, true, 25, 2);
    Press(30, 20);
    Release(30, 20);
    ExpectDab(expect, Shape(30, 30, 100, true), 30, 30, 15, 5, 2, {0, 1, 2}, {}, 3, [&](int x, int y, int a) {
        return x <= 24                         ? a
               : x >= 40 && y >= 10 && y <= 30 ? a * int(Image_GetSample(mask, 0, x, y)) / 255
                                               : -1;
    });
    EXPECT_EQ(Samples(img), Samples(expect));
    G_dabstone->mask = nullptr;
}

} // namespace
