// Strokes and fills through Work_Brush and Work_Fill, compared byte for byte
// with the shapes and the compositing rules applied in the test.
#include "PaintEngine.h"

#include "brush/Buildin.h"
#include "brush/Optimize.h"
#include "brush/Work.h"
#include "core/DabstoneBrush.h"
#include "core/DabstonePaste.h"

#include <cmath>
#include <functional>

namespace
{

class Work : public PaintEngine
{
  protected:
    void TearDown() override
    {
        Work_BrutalStop();
        Work_ForceTechnique(-1);
        PaintEngine::TearDown();
    }

    static void Press(int x, int y, int b = 1) { Event(Work_Brush, MSG_EVK_PRESS, x, y, b); }
    static void Move(int x, int y, int b = 1) { Event(Work_Brush, MSG_EVK_MOTION, x, y, b); }
    static void Release(int x, int y, int b = 1) { Event(Work_Brush, MSG_EVK_RELEASE, x, y, b); }

    // Copies of the edited image, for the expected bytes.
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

    void Brush(int w, int h, int opacity, bool aero, int spacing = 25, int trace = 0)
    {
        GG_Dabstone &e = *G_dabstone;
        e.brushWidth = w;
        e.brushHeight = h;
        e.opacity = opacity;
        e.aero = aero;
        e.spacing = spacing;
        e.traceMode = trace;
    }

    // A lent user brush, made the active one.
    static GG_Dabstone &UseBrush(Image *brush)
    {
        G_dabstone->userBrush = brush;
        G_dabstone->userBrushSource = DAB_SOURCE_LENT;
        Dabstone_SetType(DAB_BRUSH_USER);
        return *G_dabstone;
    }

    // The codes (and 1038 modes) the display received.
    std::vector<int> Motion(const std::vector<Frame> &frames)
    {
        std::vector<int> modes;
        for (const Frame &f : Only(frames, MSG_MOTION))
            modes.push_back(f.Word(0));
        return modes;
    }
};

// Dab centres of a horizontal drag as the rules place them: one at the
// press, then one every step pixels of the walk, the counter running over
// the whole stroke and counting each segment's first pixel again.
std::vector<int> Centres(int x0, const std::vector<int> &moves, int step)
{
    std::vector<int> xs{x0};
    int counter = 0, last = x0;
    for (int to : moves) {
        for (int x = last; x <= to; ++x)
            if (++counter >= step) {
                counter = 0;
                xs.push_back(x);
            }
        last = to;
    }
    return xs;
}

TEST_F(Work, AirbrushDabsEvenlySpacedAcrossEvents)
{
    Image *img = Edit(80, 40, IMAGE_MODE_RGB, 1);
    Image *expect = Copy(img);
    Brush(10, 10, 100, true, 50); // step 5
    ASSERT_EQ(Work_Technique(), WORK_DAB);
    Press(10, 20);
    Move(17, 20);
    Move(23, 20);
    Move(41, 20);
    Release(41, 20);
    const std::vector<int> shape = Shape(10, 10, 100, true);
    const std::vector<int> xs = Centres(10, {17, 23, 41}, 5);
    EXPECT_EQ(xs, (std::vector<int>{10, 14, 18, 23, 27, 32, 37}));
    for (int x : xs)
        ExpectDab(expect, shape, 10, 10, x - 5, 15);
    EXPECT_EQ(Samples(img), Samples(expect));
    EXPECT_FALSE(Dabstone_IsWorking());
    // The last dab's box is where the brush now stands.
    EXPECT_EQ(G_dabstone->brushPosBox.x1, 37 - 5);
    EXPECT_EQ(G_dabstone->brushPosBox.width, 10);
}

TEST_F(Work, TraceModesDotAndSingle)
{
    for (int trace : {1, 2}) {
        Image *img = Edit(90, 30, IMAGE_MODE_RGB, 1);
        Image *expect = Copy(img);
        Brush(9, 7, 80, true, 25, trace); // not round: the dab technique
        Press(10, 15);
        Move(30, 15);
        Move(60, 15);
        Release(75, 15);
        const std::vector<int> shape = Shape(9, 7, 80, true);
        for (int x : trace == 1 ? std::vector<int>{10, 30, 60, 75} : std::vector<int>{10})
            ExpectDab(expect, shape, 9, 7, x - 4, 12);
        EXPECT_EQ(Samples(img), Samples(expect)) << "trace mode " << trace;
    }
}

TEST_F(Work, EventsOutOfOrderPaintNothing)
{
    Image *img = Edit(40, 40, IMAGE_MODE_RGB, 1);
    const std::vector<uint32_t> before = Samples(img);
    Brush(5, 5, 100, false);
    Move(10, 10);     // motion without a press
    Release(10, 10);  // release without a press
    Press(10, 10, 2); // button 2 is not a painting button
    Release(10, 10, 2);
    Press(-5000, 90000); // far outside the image: a stroke, but nothing to paint
    Move(-4000, 80000);
    Release(-4000, 80000);
    EXPECT_EQ(Samples(img), before);
    EXPECT_FALSE(Dabstone_IsWorking());

    // A press while another job runs is ignored.
    G_dabstone->working = 1;
    Press(10, 10);
    EXPECT_EQ(Samples(img), before);
    G_dabstone->working = 0;

    // The release of another button does not end the stroke.
    Press(10, 10);
    EXPECT_TRUE(Dabstone_IsWorking());
    Release(12, 10, 3);
    EXPECT_TRUE(Dabstone_IsWorking());
    Release(12, 10);
    EXPECT_FALSE(Dabstone_IsWorking());
}

TEST_F(Work, StrokeMessagesAndRefreshes)
{
    Image *img = Edit(60, 40, IMAGE_MODE_RGB, 1);
    Brush(6, 6, 100, true);
    DisplayFrames();
    Press(20, 20);
    Move(30, 22);
    Release(30, 22);
    const std::vector<Frame> frames = DisplayFrames();
    EXPECT_EQ(Motion(frames), (std::vector<int>{0, 1, 0, 1, 99}));
    // The brush cursor leaves the display while painting and comes back.
    std::vector<int> cursor;
    std::vector<Box> redrawn;
    for (const Frame &f : frames) {
        if (f.code == MSG_BRUSH_CURSOR)
            cursor.push_back(f.payload[0] ? 1 : 0);
        if (f.code == MSG_REDRAW_NOW)
            redrawn.push_back(f.Rect());
    }
    EXPECT_EQ(cursor, (std::vector<int>{0, 1}));
    // Every dab is redrawn at once: from the first dab's box to the last's.
    ASSERT_FALSE(redrawn.empty());
    for (const Box &b : redrawn)
        Box_SelfUnion(&redrawn[0], &b);
    EXPECT_EQ(Corners(redrawn[0]), (std::vector<int>{17, 17, 32, 24}));
    // The kernel hears which rows changed, once, at the end.
    std::vector<Frame> k = KernelFrames();
    ASSERT_EQ(Codes(k), (std::vector<int32_t>{MSG_ROWS_CHANGED}));
    EXPECT_EQ(k[0].Text(), Image_Path(img));
    EXPECT_EQ(std::pair(k[0].Word(MSG_PATH_SIZE), k[0].Word(MSG_PATH_SIZE + 4)), std::pair(17, 8));
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
    const Cell once = Compose(2, int(0.5 * 255), 255);
    const int single = int((1.0 - once.w) * 255 + once.w * 0), darkest = single - 3;
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

TEST_F(Work, PencilAtFullOpacityPaintsTheColour)
{
    Image *img = Edit(40, 40, IMAGE_MODE_RGB, 1, {255, 255, 255, 255});
    Brush(1, 1, 100, false);
    Press(5, 5);
    Move(30, 5);
    Release(30, 5);
    // A one-pixel pencil covers its row fully: the colour, alpha full.
    for (int x = 6; x < 30; ++x) {
        EXPECT_EQ(Image_GetSample(img, 0, x, 5), 200u) << x;
        EXPECT_EQ(Image_GetSample(img, 1, x, 5), 40u) << x;
        EXPECT_EQ(Image_GetSample(img, 0, x, 7), 255u) << x;
    }
}

TEST_F(Work, LargeBrushIsTheLinearEllipse)
{
    Image *img = Edit(400, 40, IMAGE_MODE_RGB, 1);
    Image *expect = Copy(img);
    Brush(300, 20, 60, false, 25, 2);
    ASSERT_EQ(Work_Technique(), WORK_LARGE);
    Press(200, 20);
    Release(200, 20);
    // The shape's rows: rx 149, ry 9, peak trunc(60 × 2.55), whatever the airbrush.
    static std::vector<std::vector<int>> rows; // x, y, then the coverage
    rows.clear();
    Image *buffer = Make(400, 1, IMAGE_MODE_GREY, 8, 1);
    const Box clip{0, 0, 399, 39, 400, 40, 0};
    ASSERT_EQ(BuildIn_Wire(buffer, 1, 149, 9, Buildin_Peak(60), 0.0, 200, 20, &clip,
                           [](int x, int y, int n, unsigned char *b) {
                               rows.push_back({x, y});
                               rows.back().insert(rows.back().end(), b, b + n);
                           }),
              0);
    ASSERT_EQ(rows.size(), 19u);
    const ColorValue &c = G_dabstone->color;
    for (const auto &r : rows)
        for (size_t i = 2; i < r.size(); ++i)
            PaintPixel(expect, r[0] + int(i) - 2, r[1], r[i], 2, {0, 1, 2}, {c.red, c.green, c.blue}, 3);
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

TEST_F(Work, StrokePartlyOutsideRefreshesOnlyTheTarget)
{
    Image *img = Edit(60, 40, IMAGE_MODE_RGB, 1);
    const std::vector<uint32_t> before = Samples(img);
    Box *target = BoxMakeXY(10, 10, 29, 29);
    Targets({target});
    Brush(8, 8, 100, true);
    DisplayFrames();
    Press(5, 20);
    Move(50, 20);
    Release(50, 20);
    const std::vector<Frame> redraws = Only(DisplayFrames(), MSG_REDRAW_NOW);
    EXPECT_FALSE(redraws.empty());
    for (const Frame &f : redraws) {
        const Box b = f.Rect();
        EXPECT_EQ(Box_Countain(target, &b), 2);
    }
    const std::vector<uint32_t> after = Samples(img);
    size_t i = 0, changed = 0;
    for (int p = 0; p < 4; ++p)
        for (int y = 0; y < 40; ++y)
            for (int x = 0; x < 60; ++x, ++i)
                if (after[i] != before[i]) {
                    ++changed;
                    EXPECT_TRUE(x >= 10 && x <= 29 && y >= 10 && y <= 29) << x << "," << y;
                }
    EXPECT_GT(changed, 100u);
}

TEST_F(Work, StrokeWaitsForTheSelection)
{
    Image *img = Edit(50, 50, IMAGE_MODE_RGB, 1);
    Image *expect = Copy(img);
    const std::vector<uint32_t> before = Samples(img);
    G_dabstone->useSelection = 1;
    G_dabstone->maskWanted = 0;
    Brush(6, 6, 100, true, 25, 2);
    DisplayFrames();
    Press(10, 10);
    Release(10, 10); // the selection is not there yet: the release waits
    EXPECT_EQ(Samples(img), before);
    EXPECT_TRUE(Dabstone_IsWorking());
    EXPECT_FALSE(Only(DisplayFrames(), MSG_ASK_SELECTION).empty());
    // The selection arrives: one rectangle, the last.
    Deliver(Dabstone_Selection, MSG_SELECTION, Words({2, 0, 0, 0, 12, 50, 0}, MSG_SELECTION_SIZE), 4242);
    ExpectDab(expect, Shape(6, 6, 100, true), 6, 6, 7, 7, 2, {0, 1, 2}, {}, 3,
              [](int x, int, int a) { return x < 12 ? a : -1; });
    EXPECT_EQ(Samples(img), Samples(expect));
    EXPECT_FALSE(Dabstone_IsWorking());
    EXPECT_EQ(Motion(DisplayFrames()).back(), 99);
}

TEST_F(Work, BrutalStopEndsTheStroke)
{
    Image *img = Edit(50, 50, IMAGE_MODE_RGB, 1);
    Brush(6, 6, 100, true);
    Press(10, 10);
    Move(20, 10);
    DisplayFrames();
    Work_BrutalStop();
    EXPECT_FALSE(Dabstone_IsWorking());
    EXPECT_EQ(Motion(DisplayFrames()), (std::vector<int>{99}));
    const std::vector<uint32_t> after = Samples(img);
    Move(40, 40);
    Release(40, 40);
    EXPECT_EQ(Samples(img), after);
}

TEST_F(Work, FillPaintsEveryTarget)
{
    Image *img = Edit(30, 20, IMAGE_MODE_RGB, 1);
    Targets({BoxMakeXY(2, 3, 9, 8), BoxMakeXY(20, 10, 25, 19)});
    const std::vector<uint32_t> before = Samples(img);
    Event(Work_Fill, MSG_EVK_PRESS, 0, 0);
    Event(Work_Fill, MSG_EVK_RELEASE, 0, 0);
    EXPECT_FALSE(Dabstone_IsWorking());
    size_t i = 0;
    for (int p = 0; p < 4; ++p)
        for (int y = 0; y < 20; ++y)
            for (int x = 0; x < 30; ++x, ++i) {
                const bool inside = (x >= 2 && x <= 9 && y >= 3 && y <= 8) || (x >= 20 && x <= 25 && y >= 10);
                const uint32_t want = !inside ? before[i] : p == 0 ? 200 : p == 1 ? 40 : p == 2 ? 90 : 255;
                ASSERT_EQ(Image_GetSample(img, p, x, y), want) << p << " " << x << " " << y;
            }
    // Button 3 fills the alpha with 0 (the colours stay).
    Event(Work_Fill, MSG_EVK_PRESS, 0, 0, 3);
    EXPECT_EQ(Image_GetSample(img, 3, 5, 5), 0u);
    EXPECT_EQ(Image_GetSample(img, 0, 5, 5), 200u);
}

TEST_F(Work, FillRefusedWithoutColourImageOrUndo)
{
    Image *img = Edit(10, 10, IMAGE_MODE_RGB, 1);
    const std::vector<uint32_t> before = Samples(img);
    GG_Dabstone &e = *G_dabstone;
    Image *colour = e.colorImage;
    e.colorImage = nullptr;
    Event(Work_Fill, MSG_EVK_PRESS, 0, 0);
    e.colorImage = colour;
    e.undoReady = 0;
    Event(Work_Fill, MSG_EVK_PRESS, 0, 0);
    Press(5, 5);
    e.undoReady = 1;
    EXPECT_EQ(Samples(img), before);
    EXPECT_FALSE(Dabstone_IsWorking());
}

TEST_F(Work, UserBrushScaledToTheBrushSize)
{
    Image *img = Edit(60, 60, IMAGE_MODE_RGB, 1, {0, 0, 0, 255});
    // A 5 x 5 RGB + alpha brush of four colours, painted at 10 x 10.
    Image *brush = Make(5, 5, IMAGE_MODE_RGB, 8, 1);
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 5; ++x) {
            Image_SetSample(brush, 0, x, y, 40 * x);
            Image_SetSample(brush, 1, x, y, 40 * y);
            Image_SetSample(brush, 2, x, y, 99);
            Image_SetSample(brush, 3, x, y, 255);
        }
    GG_Dabstone &e = UseBrush(brush);
    EXPECT_EQ(e.floating, 0);
    Dabstone_SetDims(10, 10, 0);
    e.traceMode = 2;
    Press(30, 30);
    Release(30, 30);
    for (int y = 0; y < 60; ++y)
        for (int x = 0; x < 60; ++x) {
            const bool inside = x >= 25 && x < 35 && y >= 25 && y < 35;
            const int bx = (x - 25) / 2, by = (y - 25) / 2;
            EXPECT_EQ(Image_GetSample(img, 0, x, y), inside ? uint32_t(40 * bx) : 0u) << x << "," << y;
            EXPECT_EQ(Image_GetSample(img, 1, x, y), inside ? uint32_t(40 * by) : 0u) << x << "," << y;
        }
}

TEST_F(Work, UserBrushOfOtherModeAndDepth)
{
    Image *img = Edit(40, 40, IMAGE_MODE_RGB, 1, {0, 0, 0, 255});
    Image *brush = Make(7, 7, IMAGE_MODE_CMYK, 16, 0);
    for (int y = 0; y < 7; ++y)
        for (int x = 0; x < 7; ++x)
            Image_SetSample(brush, 3, x, y, 0x4000); // K: darker
    GG_Dabstone &e = UseBrush(brush);
    e.floating = 0;
    e.traceMode = 2;
    Press(20, 20);
    Release(20, 20);
    // Painted through the fill object's conversion: 255 - K (high byte) - C.
    EXPECT_EQ(Image_GetSample(img, 0, 20, 20), 255u - 0x40);
    EXPECT_EQ(Image_GetSample(img, 0, 16, 20), 0u);
    EXPECT_EQ(Image_GetSample(img, 0, 20, 24), 0u);
}

// The fast kernels and direct calls are a shortcut only: every technique
// gives the same bytes through the fill object's own kernels.
TEST_F(Work, FastPathChangesNoByte)
{
    struct Setup {
        int w, h, opacity;
        bool aero;
        int plane, alpha, button;
    };
    const Setup setups[] = {{9, 9, 70, false, -1, 1, 1},  {11, 7, 100, true, -1, 1, 1},
                            {300, 9, 40, true, -1, 0, 1}, {13, 13, 100, false, 1, 1, 1},
                            {12, 8, 55, true, -1, 1, 3},  {5, 5, 30, false, 3, 1, 1}};
    for (const Setup &t : setups) {
        std::vector<uint32_t> result[2];
        for (int fast : {0, 1}) {
            POPTIMIZE = fast;
            Image *img = Edit(120, 50, IMAGE_MODE_RGB, 1);
            Brush(t.w, t.h, t.opacity, t.aero, 20);
            G_dabstone->plane = t.plane;
            G_dabstone->alpha = t.alpha;
            Press(10, 10, t.button);
            Move(60, 30, t.button);
            Move(110, 12, t.button);
            Release(110, 40, t.button);
            result[fast] = Samples(img);
        }
        POPTIMIZE = 1;
        EXPECT_EQ(result[0], result[1])
            << t.w << "x" << t.h << " plane " << t.plane << " button " << t.button;
    }
}

TEST_F(Work, ExtremeBrushSizes)
{
    Image *img = Edit(50, 50, IMAGE_MODE_RGB, 1, {0, 0, 0, 255});
    Brush(9999, 1, 100, false, 25, 2);
    ASSERT_EQ(Work_Technique(), WORK_LARGE);
    Press(25, 25);
    Release(25, 25);
    // rx 4999, ry 1: the centre row gets the linear fall-off, nothing else.
    const Cell centre = Compose(2, Buildin_Peak(100), 255);
    EXPECT_EQ(Image_GetSample(img, 0, 25, 25), uint32_t(centre.w * 200));
    EXPECT_EQ(Image_GetSample(img, 0, 25, 24), 0u);
    EXPECT_EQ(Image_GetSample(img, 0, 25, 26), 0u);
    EXPECT_GT(Image_GetSample(img, 0, 0, 25), 150u);
    EXPECT_FALSE(Dabstone_IsWorking());
}

} // namespace
