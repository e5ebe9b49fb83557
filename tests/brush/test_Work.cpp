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
        POPTIMIZE = 1;
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

// Far pointer positions: the walk counts what cannot reach the image
// instead of walking it, and the pencil cuts its pieces at the targets.

using Pts = std::vector<std::pair<int64_t, int64_t>>;

void Stroke(const Pts &points)
{
    Event(Work_Brush, MSG_EVK_PRESS, int32_t(points[0].first), int32_t(points[0].second));
    for (auto [x, y] : points)
        Event(Work_Brush, MSG_EVK_MOTION, int32_t(x), int32_t(y));
    Event(Work_Brush, MSG_EVK_RELEASE, int32_t(points.back().first), int32_t(points.back().second));
}

// The continuous stroke's dabs from the walk written plainly, unbounded (the
// press dabs uncounted; each motion counts every pixel of the line from the
// last point, that one again), as "dot" events with an idle one between.
Pts PlainDots(const Pts &points, int64_t step)
{
    const std::pair<int64_t, int64_t> idle{-1000, -1000};
    Pts dots{idle, points[0]};
    int64_t counter = 0;
    for (size_t k = 1; k < points.size(); ++k) {
        auto [x, y] = points[k - 1];
        const auto [bx, by] = points[k];
        const int64_t dx = std::abs(bx - x), dy = -std::abs(by - y);
        for (int64_t err = dx + dy, e2;; err += (e2 >= dy ? dy : 0) + (e2 <= dx ? dx : 0)) {
            if (++counter == step && std::abs(x) < 500 && std::abs(y) < 500)
                dots.insert(dots.end(), {idle, {x, y}});
            counter %= step;
            if (x == bx && y == by)
                break;
            e2 = 2 * err;
            x += e2 >= dy ? (x < bx ? 1 : -1) : 0;
            y += e2 <= dx ? (y < by ? 1 : -1) : 0;
        }
    }
    return dots;
}

// Random strokes through points up to a few million pixels away (which the
// plain walk still covers), dab and large techniques; the dots go through the
// fill object's own kernels, so the fast ones are checked against them too.
TEST_F(Work, FarStrokesDabWhereThePlainWalkDoes)
{
    std::mt19937 rng(11);
    auto near = [&] { return int64_t(rng() % 150) - 40; };
    auto far = [&] { return (rng() % 2 ? 1 : -1) * int64_t(200000 + rng() % 3000000); };
    for (auto [w, h, spacing, step] :
         {std::tuple{10, 10, 50, 5}, {10, 10, 13, 1}, {10, 10, 170, 17}, {230, 24, 10, 6}})
        for (int round = 0; round < 3; ++round) {
            Pts points;
            for (int i = 0; i < 5; ++i)
                points.push_back(rng() % 2 ? std::pair(near(), near())
                                           : std::pair(rng() % 2 ? far() : near(), far()));
            std::vector<uint32_t> result[2];
            for (int trace : {0, 1}) {
                Image *img = Edit(64, 48, IMAGE_MODE_RGB, 1);
                Brush(w, h, 80, true, spacing, trace);
                POPTIMIZE = !trace;
                Stroke(trace ? PlainDots(points, step) : points);
                result[trace] = Samples(img);
            }
            ASSERT_EQ(result[0], result[1]) << w << "x" << h << " spacing " << spacing << " round " << round;
        }
}

// At the ends of the 32-bit range each technique paints what the same line
// from near points paints (a far line with a near one's direction takes the
// same pixels, and the near press stands where the spacing lands alike; near
// strokes go through the fill object's own kernels); presses whose brush box
// leaves the range paint nothing.
TEST_F(Work, ExtremePositionsPaintAsNearOnes)
{
    const int64_t lo = INT32_MIN, hi = INT32_MAX, k = (hi - 30) / 3;
    for (auto [w, h, aero, step] : {std::tuple{7, 7, false, 1}, {10, 10, true, 5}, {230, 24, true, 31}}) {
        const int64_t c = 200 + (-lo - 200) % step; // a press at -c counts as one at lo
        for (const auto &[far, near] :
             {std::pair<Pts, Pts>{{{30, 20}, {30 + 3 * k, 20 + k}}, {{30, 20}, {210, 80}}},
              {{{lo, hi}, {hi, lo}}, {{-c, c - 1}, {200, -201}}}}) {
            std::vector<uint32_t> result[2];
            for (const Pts *s : {&far, &near}) {
                Image *img = Edit(64, 48, IMAGE_MODE_RGB, 1, {0, 0, 0, 255});
                Brush(w, h, 100, aero, 50);
                POPTIMIZE = s == &far;
                Stroke(*s);
                result[s == &near] = Samples(img);
            }
            EXPECT_EQ(result[0], result[1]) << w << "x" << h << " from " << far[0].first;
            EXPECT_NE(result[1], Samples(Edit(64, 48, IMAGE_MODE_RGB, 1, {0, 0, 0, 255}))); // it paints
        }
        Image *img = Edit(64, 48, IMAGE_MODE_RGB, 1);
        const std::vector<uint32_t> before = Samples(img);
        for (std::pair<int64_t, int64_t> p : {std::pair{60, lo}, {60, 2147483633}, {hi, hi}, {lo, lo}})
            Stroke({p});
        EXPECT_EQ(Samples(img), before);
        EXPECT_TRUE(Box_Check(&G_dabstone->brushPosBox)); // still a box, at the edge of the range
    }
}

} // namespace
