#include "brush/Buildin.h"

#include "brush/Box.h"
#include "core/Image.h"
#include "tests/xc/MemImage.h"

#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <random>
#include <tuple>
#include <utility>
#include <vector>

namespace
{

// A grey image (with an alpha plane when two planes), pad bytes after every
// row, every plane byte 0x5A so that what is not drawn shows; planes are
// poisoned around, so the sanitizer catches any byte written outside them.
struct Canvas : MemImage {
    Canvas(int w, int h, int planes = 1, int pad = 0, int bits = 8)
        : MemImage(w, h, 1, bits, planes == 2, 0, 8, pad)
    {
        for (int p = 0; p < Planes(); ++p)
            for (int y = 0; y < h; ++y)
                std::memset(Image_Row(image(), p, y), 0x5A, size_t(Image_PlaneBytesPerRow(image(), p)));
    }
    int At(int x, int y, int p = 0) const { return Image_Row(image(), p, y)[x]; }
    std::vector<unsigned char> Plane(int p = 0) const
    {
        std::vector<unsigned char> out;
        for (int y = 0; y < Height(); ++y)
            out.insert(out.end(), Image_Row(image(), p, y),
                       Image_Row(image(), p, y) + Image_PlaneBytesPerRow(image(), p));
        return out;
    }
};

// The built-in brush straight from its definition, pixel by pixel: the
// quadrant offset, its distances carried from x = rx down to x as defined,
// then the value; 0x5A where nothing is drawn.
std::vector<unsigned char> ReferenceMake(int ih, int line, int w, int h, int peak, bool linear)
{
    std::vector<unsigned char> plane(size_t(line) * ih, 0x5A);
    const int rx = (w - 1) / 2, ry = (h - 1) / 2;
    const double RXm = (rx - 0.5) * (rx - 0.5), RXp = (rx + 0.5) * (rx + 0.5);
    const double RYm = (ry - 0.5) * (ry - 0.5), RYp = (ry + 0.5) * (ry + 0.5);
    const double Ko = ry > rx ? 1 - RXm / RXp : 1 - RYm / RYp, Ki = ry > rx ? RXp / RXm - 1 : RYp / RYm - 1;
    auto distance = [&](int x, int y, double RX, double RY) {
        double d = double(rx) * rx / RX + double(y) * y / RY;
        for (int k = rx; k > x; --k)
            d += (1 - 2 * k) / RX;
        return d;
    };
    for (int py = 0; py <= 2 * ry; ++py)
        for (int px = 0; px <= 2 * rx; ++px) {
            const int x = std::abs(px - rx), y = std::abs(py - ry);
            int v;
            if (linear) {
                const double d = distance(x, y, double(rx) * rx, double(ry) * ry);
                v = d > 1 ? 0 : int(peak * (1 - d));
            } else {
                const double di = distance(x, y, RXm, RYm), dout = distance(x, y, RXp, RYp);
                v = di <= 1 ? peak : dout >= 1 ? 0 : int(peak * ((1 - (di - 1) / Ki) + (1 - dout) / Ko) / 2);
            }
            plane[size_t(py) * line + px] = static_cast<unsigned char>(v);
        }
    for (int y = 0; y < ih && w % 2 == 0; ++y)
        plane[size_t(y) * line + w - 1] = 0;
    for (int x = 0; x < line && h % 2 == 0; ++x)
        plane[size_t(h - 1) * line + x] = 0;
    return plane;
}

TEST(BuildinMake, MatchesTheDefinitionForOddAndEvenSizes)
{
    const int sizes[] = {3, 4, 5, 6, 7, 8, 13, 16, 31, 32};
    for (int w : sizes)
        for (int h : sizes)
            for (bool linear : {false, true}) // the hard and the airbrush shape: the two the engine asks for
                for (int peak : {255, 127}) {
                    // A brush box smaller than the image, rows padded: only the box changes.
                    Canvas m(w + 2, h + 1, 1, 3);
                    ASSERT_EQ(Buildin_Make(m.image(), 0, w, h, 1, peak, linear ? 1.0 : 0.0), 0);
                    ASSERT_EQ(m.Plane(), ReferenceMake(h + 1, w + 5, w, h, peak, linear))
                        << w << "x" << h << (linear ? " linear" : " hard") << " peak " << peak;
                }
}

// Narrow brushes (below 3 pixels either way) fill the whole plane, padding
// too; the peak survives the long carried distance of a large soft brush;
// bad requests leave the planes as they were.
TEST(BuildinMake, NarrowLargeAndBadRequests)
{
    EXPECT_EQ((std::vector<int>{Buildin_Peak(100), Buildin_Peak(50), Buildin_Peak(99), Buildin_Peak(-3)}),
              (std::vector<int>{254, 127, 252, 0}));
    for (auto [w, h] : {std::pair{1, 1}, {2, 7}, {7, 2}, {9999, 1}, {1, 9999}}) {
        Canvas m(w, h, 1, 3);
        ASSERT_EQ(Buildin_Make(m.image(), 0, 0, 0, 1, 200, 1.0), 0);
        EXPECT_EQ(m.Plane(), std::vector<unsigned char>(size_t(w + 3) * h, 200)) << w << "x" << h;
    }
    Canvas big(201, 201);
    ASSERT_EQ(Buildin_Make(big.image(), 0, 201, 201, 1, 254, 1.0), 0);
    EXPECT_EQ(big.At(100, 100), 254);
    Canvas m(8, 8, 2), deep(8, 8, 1, 0, 16);
    const auto before = std::pair(m.Plane(0), m.Plane(1));
    for (auto [plane, w, h, peak, e] : {std::tuple{2, 5, 5, 255, 0.0},
                                        {-1, 5, 5, 255, 0.0},
                                        {0, 9, 5, 255, 0.0},
                                        {0, 5, 9, 255, 0.0},
                                        {0, 5, 5, 256, 0.0},
                                        {0, 5, 5, 255, -1.0},
                                        {0, 5, 5, 255, double(NAN)}})
        EXPECT_EQ(Buildin_Make(m.image(), plane, w, h, 1, peak, e), BUILDIN_BAD_PARAMETER);
    EXPECT_EQ(std::pair(m.Plane(0), m.Plane(1)), before);
    EXPECT_EQ(Buildin_Make(nullptr, 0, 5, 5, 1, 255, 0.0), BUILDIN_BAD_PARAMETER);
    EXPECT_EQ(Buildin_Make(deep.image(), 0, 5, 5, 1, 255, 0.0), BUILDIN_BAD_PARAMETER);
    ASSERT_EQ(Buildin_Make(m.image(), 1, 0, 0, 1, 255, 0.0), 0); // the second plane alone
    EXPECT_EQ(m.Plane(0), before.first);
}

// ---- Rows produced through the row writer ----

struct Row {
    int x, y;
    std::vector<unsigned char> values;
};
std::vector<Row> rows;
const unsigned char *lastBuffer;

void Capture(int x, int y, int length, unsigned char *buffer)
{
    rows.push_back({x, y, {buffer, buffer + length}});
    lastBuffer = buffer;
}

// Coverage per pixel, summed over the rows produced.
std::map<std::pair<int, int>, int> Coverage()
{
    std::map<std::pair<int, int>, int> c;
    for (const Row &r : rows)
        for (size_t i = 0; i < r.values.size(); ++i)
            c[{r.x + int(i), r.y}] += r.values[i];
    return c;
}

int At(const std::map<std::pair<int, int>, int> &c, int x, int y)
{
    const auto it = c.find({x, y});
    return it == c.end() ? 0 : it->second;
}

TEST(BuildInWire, RendersTheLinearEllipseTopDownClippedThroughThePlane)
{
    Canvas buffer(9999, 1, 2), small(10, 1, 2);
    const Box wide{0, 0, 9998, 99, 9999, 100, 0}, clip{15, 8, 99, 12, 85, 5, 0};
    // Each clip box: the rows walked, and the first of them.
    for (auto [box, first, n] : {std::tuple{&wide, 6, 9}, {&clip, 8, 5}}) {
        rows.clear();
        ASSERT_EQ(BuildIn_Wire(buffer.image(), 1, 7, 4, 200, 1.0, 20, 10, box, Capture), 0);
        ASSERT_EQ(rows.size(), size_t(n));
        EXPECT_EQ(lastBuffer, Image_Row(buffer.image(), 1, 0));
        for (int i = 0; i < n; ++i) {
            const int y = first + i, x0 = std::max(13, box->x1);
            ASSERT_EQ(std::pair(rows[i].x, rows[i].y), std::pair(x0, y));
            ASSERT_EQ(rows[i].values.size(), size_t(28 - x0));
            for (int x = x0; x < 28; ++x) {
                const double d = (20 - x) * (20 - x) / 49.0 + (10 - y) * (10 - y) / 16.0;
                EXPECT_NEAR(rows[i].values[x - x0], d > 1 + 1e-9 ? 0 : int(200 * (1 - d)),
                            d > 1 + 1e-9 ? 0 : 1);
            }
        }
    }
    EXPECT_EQ(rows[2].values[5], 200);
    rows.clear();
    const Box away{40, 0, 60, 99, 21, 100, 0};
    EXPECT_EQ(BuildIn_Wire(buffer.image(), 1, 7, 4, 200, 1.0, 20, 10, &away, Capture), 0);
    EXPECT_EQ(BuildIn_Wire(small.image(), 1, 7, 4, 200, 1.0, 20, 10, &clip, Capture), BUILDIN_BAD_PARAMETER);
    EXPECT_EQ(BuildIn_Wire(buffer.image(), 1, 0, 4, 200, 1.0, 20, 10, &clip, Capture), BUILDIN_BAD_PARAMETER);
    EXPECT_EQ(BuildIn_Wire(buffer.image(), 2, 7, 4, 200, 1.0, 20, 10, &clip, Capture), BUILDIN_BAD_PARAMETER);
    EXPECT_TRUE(rows.empty());
    EXPECT_EQ(buffer.Plane(0), std::vector<unsigned char>(9999, 0x5A)); // the other plane stays
    ASSERT_EQ(BuildIn_Wire(buffer.image(), 1, 4000, 3, 254, 1.0, 3000, 0, &wide, Capture), 0);
    ASSERT_EQ(rows.size(), 4u); // rows 0..3 of the ellipse, 7001 columns from 0
    EXPECT_EQ(rows[0].values.size(), 7001u);
    EXPECT_GE(rows[0].values[3000], 253); // 3000 carried updates may leave d a hair above 0
}

// ---- Pencil pieces ----

const Box kWide{0, 0, 199, 199, 200, 200, 0};

std::map<std::pair<int, int>, int> Stroke(int x0, int y0, int x1, int y1, double d, const Box &clip = kWide)
{
    std::vector<unsigned char> buffer(size_t(clip.width)); // exactly the clip width
    rows.clear();
    EXPECT_EQ(FastWire(&clip, buffer.data(), Capture, x0, y0, x1, y1, d, d, 0), 0);
    return Coverage();
}

// Inside the piece: the hull of the two discs (the union of the discs that
// move and grow from the first to the second), beyond the cut through the
// first circle's tangent points; one inside the other gives the second disc.
bool InPiece(double x1, double y1, double r1, double x2, double y2, double r2, double x, double y)
{
    const double dx = x2 - x1, dy = y2 - y1, dr = r2 - r1;
    if (dx * dx + dy * dy - dr * dr < 0.0001)
        return std::hypot(x - x2, y - y2) <= r2;
    if ((x - x1) * dx + (y - y1) * dy < -r1 * dr)
        return false;
    auto gap = [&](double t) { return std::hypot(x - x1 - t * dx, y - y1 - t * dy) - (r1 + t * dr); };
    double lo = 0, hi = 1; // the gap is convex in t
    for (int i = 0; i < 32; ++i) {
        const double a = lo + (hi - lo) / 3, b = hi - (hi - lo) / 3;
        if (gap(a) < gap(b))
            hi = b;
        else
            lo = a;
    }
    return gap((lo + hi) / 2) <= 0;
}

// Compares coverage with the piece: deep inside (with all eight neighbours)
// full up to the per-piece rounding, clear of it nothing, and in all close to
// the area (the rows follow the arcs by chords).
void ExpectPiece(const std::map<std::pair<int, int>, int> &c, double x1, double y1, double r1, double x2,
                 double y2, double r2, double areaTolerance)
{
    const int n = 6, x0 = int(std::min(x1 - r1, x2 - r2)) - 3, xe = int(std::max(x1 + r1, x2 + r2)) + 3;
    const int y0 = int(std::min(y1 - r1, y2 - r2)) - 3, ye = int(std::max(y1 + r1, y2 + r2)) + 3;
    std::map<std::pair<int, int>, int> inside;
    for (int y = y0 - 1; y <= ye + 1; ++y)
        for (int x = x0 - 1; x <= xe + 1; ++x)
            for (int j = 0; j < n; ++j)
                for (int i = 0; i < n; ++i)
                    inside[{x, y}] += InPiece(x1, y1, r1, x2, y2, r2, x + (i + 0.5) / n, y + (j + 0.5) / n);
    double area = 0, drawn = 0;
    for (int y = y0; y <= ye; ++y)
        for (int x = x0; x <= xe; ++x) {
            int around = 0, full = 0;
            for (int j = -1; j <= 1; ++j)
                for (int i = -1; i <= 1; ++i)
                    around += inside[{x + i, y + j}], full += inside[{x + i, y + j}] == n * n;
            if (full == 9) {
                EXPECT_GE(At(c, x, y), 248) << x << "," << y;
            }
            if (around == 0) {
                EXPECT_EQ(At(c, x, y), 0) << x << "," << y;
            }
            area += 255.0 * inside[{x, y}] / (n * n);
            drawn += At(c, x, y);
        }
    EXPECT_NEAR(drawn / area, 1.0, areaTolerance) << "area " << area << " drawn " << drawn;
}

// Random segments and discs (odd diameters about the pixel centre, even ones
// about its corner, mirror-symmetric both ways) against the geometry. (A
// stroke keeps one width: pieces of two radii are never asked for.)
TEST(FastWire, PiecesCoverTheirRegion)
{
    auto one = Stroke(50, 60, 50, 60, 1.0); // radius 0.5 around the pixel centre
    EXPECT_EQ(one.size(), 1u);
    EXPECT_GT(At(one, 50, 60), 100);
    for (double d : {7.0, 12.0, 31.0}) {
        auto disc = Stroke(100, 100, 100, 100, d);
        const int odd = int(d) % 2;
        for (int y = 80; y <= 120; ++y)
            for (int x = 80; x <= 120; ++x) {
                EXPECT_EQ(At(disc, x, y), At(disc, 199 + odd - x, y)) << d << ": " << x << "," << y;
                EXPECT_EQ(At(disc, x, y), At(disc, x, 199 + odd - y)) << d << ": " << x << "," << y;
            }
        const double r = odd ? (d - 1) / 2 : d / 2, c = 100 + 0.5 * odd;
        ExpectPiece(disc, c, c, r, c, c, r, d > 20 ? 0.03 : 0.1);
    }
    std::mt19937 random(7);
    for (int i = 0; i < 8; ++i) {
        const int d = 3 + int(random() % 28), x0 = 60 + int(random() % 40), y0 = 60 + int(random() % 40);
        const int x1 = x0 + int(random() % 41) - 20, y1 = y0 + int(random() % 41) - 20;
        const double shift = d % 2 ? 0.5 : 0, r = d % 2 ? (d - 1) / 2 : d / 2;
        SCOPED_TRACE(testing::Message()
                     << "d " << d << " from " << x0 << "," << y0 << " to " << x1 << "," << y1);
        ExpectPiece(Stroke(x0, y0, x1, y1, d), x0 + shift, y0 + shift, r, x1 + shift, y1 + shift, r, 0.1);
    }
}

TEST(FastWire, WalksUpwardInsideTheClipBoxAndRefusesBadRequests)
{
    const Box clip{30, -20, 40, 7, 11, 28, 0};
    auto full = Stroke(20, 2, 50, 4, 9.0);
    auto clipped = Stroke(20, 2, 50, 4, 9.0, clip);
    ASSERT_FALSE(rows.empty());
    for (size_t i = 0; i < rows.size(); ++i) {
        EXPECT_TRUE(rows[i].y >= 0 && rows[i].y <= 7); // rows above the image end the walk
        EXPECT_TRUE(rows[i].x >= 30 && rows[i].x + int(rows[i].values.size()) <= 41);
        EXPECT_TRUE(i == 0 || rows[i].y == rows[i - 1].y - 1);
    }
    for (int y = 0; y <= 7; ++y)
        for (int x = 30; x <= 40; ++x)
            EXPECT_EQ(At(clipped, x, y), At(full, x, y)) << x << "," << y;
    Stroke(5, 5, 20, 5, 9.0, clip); // every row left of the box: no row at all
    EXPECT_TRUE(rows.empty());
    unsigned char buffer[200];
    for (auto [box, b, capture, d] : {std::tuple{(const Box *)nullptr, buffer, &Capture, 3.0},
                                      {&kWide, nullptr, &Capture, 3.0},
                                      {&kWide, buffer, (decltype(&Capture))nullptr, 3.0},
                                      {&kWide, buffer, &Capture, -1.0},
                                      {&kWide, buffer, &Capture, double(NAN)}})
        EXPECT_EQ(FastWire(box, b, capture, 1, 1, 2, 2, d, 3, 0), BUILDIN_BAD_PARAMETER);
    // Far ends draw the box as near ends on the same line do (and at once).
    EXPECT_EQ(Stroke(-2000000000, 5, 2000000000, 5, 9), Stroke(-50, 5, 300, 5, 9));
    EXPECT_EQ(Stroke(-306783200, 2147483200, 306783400, -2147483000, 16), Stroke(60, 380, 140, -180, 16));
}

} // namespace
