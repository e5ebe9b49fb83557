// Strokes through Work_Brush compared byte for byte with the shapes and the
// compositing rules applied in the test.
#include "PaintEngine.h"

#include "brush/Buildin.h"
#include "brush/Optimize.h"
#include "brush/Work.h"

#include <functional>

using testing::HasSubstr;

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
    for (int b : {0, 4, 5}) { // neither paints nor erases, with either tool
        EXPECT_THAT(Stderr([b] { Press(10, 10, b); }),
                    HasSubstr("can't do that just now ! please retry later..."));
        Release(10, 10, b);
        EXPECT_THAT(Stderr([b] { Event(Work_Fill, MSG_EVK_PRESS, 0, 0, b); }),
                    HasSubstr("can't do that just now."));
        Event(Work_Fill, MSG_EVK_RELEASE, 0, 0, b);
    }
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

// Far pointer positions: the stroke walk counts what it cannot paint instead
// of walking it, and the pencil cuts its pieces at the targets.

struct Pt {
    int64_t x, y;
};

// The stroke walk written plainly and unbounded: the press dabs once without
// counting, each motion counts every pixel of the Bresenham line from the
// last point (that one again) and dabs at every step-th.
void PlainWalk(const std::vector<Pt> &points, int64_t step, const std::function<void(Pt)> &dab)
{
    dab(points[0]);
    int64_t counter = 0;
    for (size_t k = 1; k < points.size(); ++k) {
        Pt p = points[k - 1];
        const Pt b = points[k];
        const int64_t dx = std::abs(b.x - p.x), dy = -std::abs(b.y - p.y);
        const int sx = p.x < b.x ? 1 : -1, sy = p.y < b.y ? 1 : -1;
        for (int64_t err = dx + dy;;) {
            if (++counter >= step)
                counter = 0, dab(p);
            if (p.x == b.x && p.y == b.y)
                break;
            const int64_t e2 = 2 * err;
            if (e2 >= dy)
                err += dy, p.x += sx;
            if (e2 <= dx)
                err += dx, p.y += sy;
        }
    }
}

Image *want; // the expected image, for the row writer below

void PaintRow(int x, int y, int n, unsigned char *b)
{
    const ColorValue &c = G_dabstone->color;
    for (int i = 0; i < n; ++i)
        PaintPixel(want, x + i, y, b[i], 2, {0, 1, 2}, {c.red, c.green, c.blue}, 3);
}

class FarWork : public Work
{
  protected:
    static void Stroke(const std::vector<Pt> &points)
    {
        Press(int32_t(points[0].x), int32_t(points[0].y));
        for (const Pt &p : points)
            Move(int32_t(p.x), int32_t(p.y));
        Release(int32_t(points.back().x), int32_t(points.back().y));
    }

    // The plain walk's dabs of the dab technique (10 × 10 airbrush) or the
    // large one (230 × 24: radii 114 and 11), painted into expect.
    void ExpectWalk(Image *expect, const std::vector<Pt> &points)
    {
        const GG_Dabstone &e = *G_dabstone;
        const int w = e.brushWidth, h = e.brushHeight, rx = (w - 1) / 2, ry = (h - 1) / 2;
        const bool large = Work_Technique() == WORK_LARGE;
        const int64_t step =
            std::max(1, large ? int(e.spacing / 100.0 * (w + h) / 4) : int(e.spacing / 100.0 * w));
        const std::vector<int> shape = Shape(w, h, e.opacity, true);
        Image *buffer = Make(400, 1, IMAGE_MODE_GREY, 8, 1);
        want = expect;
        PlainWalk(points, step, [&](Pt p) {
            if (p.x < -rx - 1 || p.y < -ry - 1 || p.x > 64 + rx || p.y > 48 + ry)
                return; // touches nothing
            if (large)
                BuildIn_Wire(buffer, 1, rx, ry, Buildin_Peak(e.opacity), 0.0, int(p.x), int(p.y), &e.imageBox,
                             PaintRow);
            else
                ExpectDab(expect, shape, w, h, int(p.x) - w / 2, int(p.y) - h / 2);
        });
    }
};

// Random strokes between near and far points (up to a few million pixels
// away, which the plain walk still covers) against that walk, spacing and
// counter carried across the skipped parts.
TEST_F(FarWork, StrokesThroughFarPointsDabWhereThePlainWalkDoes)
{
    std::mt19937 rng(11);
    auto near = [&] { return int64_t(rng() % 150) - 40; };
    auto far = [&] { return (rng() % 2 ? 1 : -1) * int64_t(200000 + rng() % 3000000); };
    const struct {
        int w, h, spacing;
    } brushes[] = {{10, 10, 50}, {10, 10, 13}, {10, 10, 170}, {230, 24, 10}};
    for (const auto &b : brushes)
        for (int round = 0; round < 3; ++round) {
            Image *img = Edit(64, 48, IMAGE_MODE_RGB, 1);
            Image *expect = Copy(img);
            Brush(b.w, b.h, 80, true, b.spacing);
            std::vector<Pt> points;
            for (int i = 0; i < 5; ++i)
                points.push_back(rng() % 2 ? Pt{near(), near()} : Pt{rng() % 2 ? far() : near(), far()});
            Stroke(points);
            ExpectWalk(expect, points);
            ASSERT_EQ(Samples(img), Samples(expect))
                << b.w << "x" << b.h << " spacing " << b.spacing << " round " << round;
        }
}

// At the ends of the 32-bit range every technique paints what the same line
// drawn from near points paints (a far line with the near one's direction
// takes the same pixels on the image, and the near press is placed where the
// spacing lands alike), and presses whose brush box leaves the range paint
// nothing.
TEST_F(FarWork, ExtremePositionsPaintAsNearOnes)
{
    const int64_t lo = INT32_MIN, hi = INT32_MAX, k = (hi - 30) / 3;
    const struct {
        int w, h;
        bool aero;
        int64_t step;
    } brushes[] = {{7, 7, false, 1}, {10, 10, true, 5}, {230, 24, true, 31}};
    for (const auto &b : brushes) {
        const int64_t c = 200 + (-lo - 200) % b.step; // the press at c counts as one at -lo
        const std::vector<Pt> strokes[][2] = {
            {{{30, 20}, {30 + 3 * k, 20 + k}}, {{30, 20}, {210, 80}}},
            {{{lo, hi}, {hi, lo}}, {{-c, c - 1}, {200, -201}}},
        };
        for (const auto &s : strokes) {
            std::vector<uint32_t> result[2];
            for (int i : {0, 1}) {
                Image *img = Edit(64, 48, IMAGE_MODE_RGB, 1, {0, 0, 0, 255});
                Brush(b.w, b.h, 100, b.aero, 50);
                Stroke(s[i]);
                result[i] = Samples(img);
            }
            EXPECT_EQ(result[0], result[1]) << b.w << "x" << b.h << " from " << s[0][0].x << "," << s[0][0].y;
            EXPECT_NE(result[1], Samples(Edit(64, 48, IMAGE_MODE_RGB, 1, {0, 0, 0, 255}))); // it paints
        }
        Image *img = Edit(64, 48, IMAGE_MODE_RGB, 1);
        const std::vector<uint32_t> before = Samples(img);
        for (Pt p : {Pt{60, lo}, Pt{60, 2147483633}, Pt{hi, hi}, Pt{lo, lo}})
            Stroke({p});
        EXPECT_EQ(Samples(img), before);
        EXPECT_TRUE(Box_Check(&G_dabstone->brushPosBox)); // still a box, at the edge of the range
    }
}

} // namespace
