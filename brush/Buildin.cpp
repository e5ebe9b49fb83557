// Brush shapes. The distance updates below are written in the order the
// shapes were defined with: another order of the same sums gives other
// doubles, hence other bytes at the rims (the tree builds without fused
// multiply-add for the same reason).
#include "brush/Buildin.h"

#include "brush/Box.h"
#include "core/Image.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>

int Buildin_Peak(int percent)
{
    return static_cast<int>(std::clamp(percent, 0, 100) * 2.55);
}

// ---- Built-in brush ----

namespace
{

// The shape is evaluated on one quadrant and mirrored about the centre (rx, ry).
inline void Put4(unsigned char *plane, ptrdiff_t line, int rx, int ry, int x, int y, unsigned char v)
{
    unsigned char *up = plane + ptrdiff_t(ry - y) * line;
    unsigned char *down = plane + ptrdiff_t(ry + y) * line;
    up[rx - x] = up[rx + x] = down[rx - x] = down[rx + x] = v;
}

// Walks the quadrant 0 <= x <= rx, 0 <= y <= ry, rows ry down to 0 and x from
// rx down to 0, carrying N normalised squared distances x²/RX[k] + y²/RY[k]
// along each row: from x to x − 1 each grows by (1 − 2x)/RX[k], so no square
// root and one update per pixel and distance.
template <int N, class Value>
void Quadrant(unsigned char *plane, ptrdiff_t line, int rx, int ry, const double (&RX)[N],
              const double (&RY)[N], Value value)
{
    for (int y = ry; y >= 0; --y) {
        double d[N];
        for (int k = 0; k < N; ++k)
            d[k] = double(rx) * rx / RX[k] + double(y) * y / RY[k];
        for (int x = rx; x >= 0; --x) {
            Put4(plane, line, rx, ry, x, y, value(d));
            for (int k = 0; k < N; ++k)
                d[k] += (1 - 2 * x) / RX[k];
        }
    }
}

// Hard brush: flat top inside the inner ellipse (radii − 0.5), nothing outside
// the outer one (radii + 0.5), and across the one-pixel rim between them the
// mean of two linear ramps, scaled on the smaller radius.
void HardShape(unsigned char *plane, ptrdiff_t line, int rx, int ry, int rim, int peak)
{
    const double RXm = (rx - 0.5) * (rx - 0.5), RXp = (rx + 0.5) * (rx + 0.5);
    const double RYm = (ry - 0.5) * (ry - 0.5), RYp = (ry + 0.5) * (ry + 0.5);
    const double Ko = ry > rx ? 1 - RXm / RXp : 1 - RYm / RYp;
    const double Ki = ry > rx ? RXp / RXm - 1 : RYp / RYm - 1;
    const auto top = static_cast<unsigned char>(peak);
    const double RX[2] = {RXm, RXp}, RY[2] = {RYm, RYp};
    if (!rim) {
        Quadrant(plane, line, rx, ry, RX, RY, [&](const double *d) { return d[1] <= 1 ? top : 0; });
        return;
    }
    Quadrant(plane, line, rx, ry, RX, RY, [&](const double *d) -> unsigned char {
        const double di = d[0], dout = d[1];
        if (di <= 1)
            return top;
        if (dout >= 1)
            return 0;
        // Within 0 .. peak across the rim; a value out of range would keep its low 8 bits.
        return static_cast<unsigned char>(
            static_cast<int>(peak * ((1 - (di - 1) / Ki) + (1 - dout) / Ko) / 2));
    });
}

// Airbrush: peak × (1 − d)^exponent inside the ellipse, 0 outside.
void SoftShape(unsigned char *plane, ptrdiff_t line, int rx, int ry, int peak, double exponent)
{
    const double RX[1] = {double(rx) * rx}, RY[1] = {double(ry) * ry};
    if (exponent == 1.0) {
        Quadrant(plane, line, rx, ry, RX, RY, [&](const double *d) -> unsigned char {
            return d[0] > 1 ? 0 : static_cast<unsigned char>(static_cast<int>(peak * (1 - d[0])));
        });
        return;
    }
    Quadrant(plane, line, rx, ry, RX, RY, [&](const double *d) -> unsigned char {
        return d[0] > 1 ? 0
                        : static_cast<unsigned char>(static_cast<int>(peak * std::pow(1 - d[0], exponent)));
    });
}

bool EightBitPlane(const Image *image, int plane)
{
    return image && plane >= 0 && plane < Image_Planes(image) && plane < IMAGE_MAX_PLANES &&
           Image_PlaneBits(image, plane) == 8;
}

} // namespace

int Buildin_Make(Image *brush, int plane, int width, int height, int rim, int peak, double exponent)
{
    if (!EightBitPlane(brush, plane) || peak < 0 || peak > 255 || !(exponent >= 0))
        return BUILDIN_BAD_PARAMETER;
    const int imageWidth = Image_Width(brush), imageHeight = Image_Height(brush);
    if (width < 1)
        width = imageWidth;
    if (height < 1)
        height = imageHeight;
    if (width > imageWidth || height > imageHeight)
        return BUILDIN_BAD_PARAMETER;

    const ptrdiff_t line = Image_PlaneBytesPerRow(brush, plane);
    unsigned char *pixels = Image_Row(brush, plane, 0);
    const int rx = (width - 1) / 2, ry = (height - 1) / 2;
    if (rx == 0 || ry == 0) {
        std::memset(pixels, peak, size_t(imageHeight) * size_t(line));
        return 0;
    }
    if (exponent == 0)
        HardShape(pixels, line, rx, ry, rim, peak);
    else
        SoftShape(pixels, line, rx, ry, peak, exponent);

    // The shape covers an odd number of pixels; an even size leaves its last
    // column or row empty.
    if (width % 2 == 0)
        for (int y = 0; y < imageHeight; ++y)
            pixels[ptrdiff_t(y) * line + width - 1] = 0;
    if (height % 2 == 0)
        std::memset(pixels + ptrdiff_t(height - 1) * line, 0, size_t(line));
    return 0;
}

// ---- Large brush ----

int BuildIn_Wire(Image *target, int plane, int rx, int ry, int peak, double exponent, int cx, int cy,
                 const Box *clip, Buildin_RowWriter writer)
{
    (void)exponent; // the large brush is always the linear fall-off
    if (!EightBitPlane(target, plane) || !clip || !writer || rx < 1 || ry < 1 || peak < 0 || peak > 255)
        return BUILDIN_BAD_PARAMETER;
    const int64_t x1 = std::max<int64_t>(int64_t(cx) - rx, clip->x1);
    const int64_t x2 = std::min<int64_t>(int64_t(cx) + rx, clip->x2);
    const int64_t y1 = std::max<int64_t>(int64_t(cy) - ry, clip->y1);
    const int64_t y2 = std::min<int64_t>(int64_t(cy) + ry, clip->y2);
    if (x1 > x2 || y1 > y2)
        return 0;
    const int64_t length = x2 - x1 + 1;
    if (length > int64_t(Image_PlaneBytesPerRow(target, plane)) * Image_Height(target))
        return BUILDIN_BAD_PARAMETER;

    unsigned char *buffer = Image_Row(target, plane, 0);
    const double RX = double(rx) * rx, RY = double(ry) * ry;
    for (int64_t y = y1; y <= y2; ++y) {
        const double dy = double(cy - y), dx0 = double(cx - x1);
        // From x to x + 1, (cx − x)² grows by 1 − 2(cx − x).
        double d = dx0 * dx0 / RX + dy * dy / RY;
        for (int64_t x = x1; x <= x2; ++x) {
            buffer[x - x1] = d <= 1 ? static_cast<unsigned char>(static_cast<int>(peak * (1 - d))) : 0;
            d += (1 - 2 * double(cx - x)) / RX;
        }
        writer(int(x1), int(y), int(length), buffer);
    }
    return 0;
}

// ---- Round stroke pieces ----
//
// A piece is the convex region hull(C1, C2) ∩ {beyond the cut through C1's
// tangent points}. It is the union of
//   A: the quadrilateral between the two tangents, the cut and the chord
//      through C2's tangent points, and
//   B: C2's disc beyond the cut (C2's far arc closes the piece),
// so each row of the region is one interval, found from A's four half-planes
// and B's circle. Rows are cut at every vertex into trapezoids whose left and
// right edges are straight between the sub-band's edges; a trapezoid of height
// h whose left edge spans l0..l1 and right edge r0..r1 covers, at column x,
// h × (rise(x) − fall(x)) with rise going 0 → 1 over l0..l1 and fall 0 → 1
// over r0..r1 (full h between the ramps, a rising ramp on the left, a falling
// one on the right). Widths and heights enter the area in 8.8, the area in
// 16.16 is added to the byte as area × 255 >> 16, held to 255.

namespace
{

// The clip box FastWire last recorded: empty until then.
struct WireClip {
    int x1 = 0, y1 = 0, x2 = -1, y2 = -1;
} wireClip;

constexpr double kDegenerate = 0.0001; // D² − dr² below this: one circle holds the other
constexpr double kFlat = 0.0001;       // boundaries with |normal x| up to this are horizontal
constexpr double kSlack = 1e-6;        // rounding allowance at a vertex, in pixels
constexpr double kFar = 1e7;    // coordinates beyond this are not drawn (16.16 products must not overflow)
constexpr int64_t kOne = 65536; // 1.0 in 16.16

// n · p <= c. A horizontal boundary keeps nx = 0 and bounds rows only.
struct HalfPlane {
    double nx = 0, ny = 0, c = 0;
};

// The boundary with normal (nx, ny) through point (px, py), inside behind it.
// flat says it counts as horizontal: it then runs through (px, py) level.
HalfPlane Through(double nx, double ny, double px, double py, bool flat)
{
    if (flat)
        return {0, ny, ny * py};
    return {nx, ny, nx * px + ny * py};
}

struct Region {
    bool discOnly = true;
    HalfPlane quad[4]; // A: tangent 1, tangent 2, cut, C2's chord
    HalfPlane cut;
    double cx = 0, cy = 0, r = 0; // C2
    double ymin = 0, ymax = 0;
    int64_t splits[9] = {}; // vertex rows in 16.16, sorted ascending
    int nsplits = 0;
};

// Narrows [lo, hi] to the half-plane on row y; a horizontal boundary empties
// it when the row lies outside.
void Limit(const HalfPlane &h, double y, double &lo, double &hi)
{
    const double rest = h.c - h.ny * y;
    if (h.nx > 0)
        hi = std::min(hi, rest / h.nx);
    else if (h.nx < 0)
        lo = std::max(lo, rest / h.nx);
    else if (rest < -kSlack)
        lo = std::numeric_limits<double>::infinity(), hi = -lo;
}

bool Inside(const HalfPlane &h, double x, double y)
{
    return h.nx * x + h.ny * y <= h.c + kSlack;
}

// The region's interval on row y, y within [ymin, ymax]; false when rounding
// leaves none.
bool Chord(const Region &g, double y, double &left, double &right)
{
    const double inf = std::numeric_limits<double>::infinity();
    left = inf, right = -inf;
    const double t = g.r * g.r - (y - g.cy) * (y - g.cy);
    if (t >= -kSlack) {
        const double s = std::sqrt(std::max(t, 0.0));
        double lo = g.cx - s, hi = g.cx + s;
        if (!g.discOnly)
            Limit(g.cut, y, lo, hi);
        if (lo <= hi + kSlack)
            left = lo, right = std::max(lo, hi);
    }
    if (!g.discOnly) {
        double lo = -inf, hi = inf;
        for (const HalfPlane &h : g.quad)
            Limit(h, y, lo, hi);
        if (std::isfinite(lo) && std::isfinite(hi) && lo <= hi + kSlack)
            left = std::min(left, lo), right = std::max(right, std::max(lo, hi));
    }
    return left <= right;
}

int64_t Fix16(double v)
{
    return static_cast<int64_t>(v * 65536.0);
}
int64_t Fix8(int64_t v16)
{
    return (v16 + 128) >> 8;
}

// Builds the region and its vertices; false when it has no area to draw.
bool MakeRegion(Region &g, double x1, double y1, double r1, double x2, double y2, double r2)
{
    g.cx = x2, g.cy = y2, g.r = r2;
    double ys[9];
    int n = 0;
    const double dx = x2 - x1, dy = y2 - y1, D2 = dx * dx + dy * dy, dr = r2 - r1;
    g.discOnly = !(D2 - dr * dr >= kDegenerate);
    if (!g.discOnly) {
        const double a = -dr / D2, b = std::sqrt(D2 - dr * dr) / D2;
        const double n1x = a * dx - b * dy, n1y = a * dy + b * dx;
        const double n2x = a * dx + b * dy, n2y = a * dy - b * dx;
        const double t11x = x1 + r1 * n1x, t11y = y1 + r1 * n1y, t12x = x1 + r1 * n2x, t12y = y1 + r1 * n2y;
        const double t21x = x2 + r2 * n1x, t21y = y2 + r2 * n1y, t22y = y2 + r2 * n2y;
        const double L = std::sqrt(D2), ux = dx / L, uy = dy / L;
        const bool cutFlat = !(std::fabs(dx) > kFlat);
        g.quad[0] = Through(n1x, n1y, t11x, t11y, !(std::fabs(n1x) > kFlat));
        g.quad[1] = Through(n2x, n2y, t12x, t12y, !(std::fabs(n2x) > kFlat));
        g.quad[2] = g.cut = Through(-ux, -uy, t11x, t11y, cutFlat);
        g.quad[3] = Through(ux, uy, t21x, t21y, cutFlat);
        ys[n++] = t11y, ys[n++] = t12y, ys[n++] = t21y, ys[n++] = t22y;
        for (double s : {-1.0, 1.0}) // C2's top and bottom, unless cut away
            if (Inside(g.cut, x2, y2 + s * r2))
                ys[n++] = y2 + s * r2;
        // Where the cut crosses C2 (C2 reaching behind C1's tangent points).
        const double along = (ux * x2 + uy * y2) - (ux * t11x + uy * t11y), across = r2 * r2 - along * along;
        if (across > 0)
            for (double s : {-1.0, 1.0})
                ys[n++] = y2 - along * uy + s * std::sqrt(across) * ux;
    } else {
        ys[n++] = y2 - r2, ys[n++] = y2 + r2;
    }
    g.ymin = *std::min_element(ys, ys + n);
    g.ymax = *std::max_element(ys, ys + n);
    if (!(g.ymax > g.ymin))
        return false;
    // The arc's widest row also cuts a row, so that a small disc is not
    // flattened to a chord between its rows.
    if (y2 > g.ymin && y2 < g.ymax)
        ys[n++] = y2;
    for (int i = 0; i < n; ++i)
        g.splits[i] = Fix16(ys[i]);
    std::sort(g.splits, g.splits + n);
    g.nsplits = int(std::unique(g.splits, g.splits + n) - g.splits);
    return true;
}

// One trapezoid of a row, all in 16.16.
struct Trapezoid {
    int64_t h, l0, l1, r0, r1;
};

// 0 up to a, 1.0 from b on, linear between; m2 is twice the position.
int64_t Ramp(int64_t m2, int64_t a, int64_t b)
{
    if (m2 <= 2 * a)
        return 0;
    if (m2 >= 2 * b)
        return kOne;
    return (m2 - 2 * a) * kOne / (2 * (b - a));
}

// Area (16.16) of column [px, px + 1) under the trapezoid: the column is cut
// where a ramp starts or ends, and each strip counts its width times the
// height at its middle (exact for the linear ramps).
int64_t ColumnArea(int64_t px, const Trapezoid &t)
{
    int64_t cuts[6] = {px};
    int n = 1;
    for (int64_t b : {t.l0, t.l1, t.r0, t.r1}) {
        if (b <= px || b >= px + kOne)
            continue;
        int i = n++;
        for (; cuts[i - 1] > b; --i)
            cuts[i] = cuts[i - 1];
        cuts[i] = b;
    }
    cuts[n++] = px + kOne;
    int64_t area = 0;
    for (int i = 0; i + 1 < n; ++i) {
        const int64_t w = cuts[i + 1] - cuts[i], m2 = cuts[i] + cuts[i + 1];
        if (w == 0)
            continue;
        const int64_t height = t.h * std::max<int64_t>(0, Ramp(m2, t.l0, t.l1) - Ramp(m2, t.r0, t.r1)) >> 16;
        area += Fix8(w) * Fix8(height);
    }
    return area;
}

// Adds the trapezoid to the row buffer, whose byte 0 is column first, for
// the columns first .. end − 1.
void AddTrapezoid(unsigned char *buffer, int64_t first, int64_t end, const Trapezoid &t)
{
    const int64_t full = kOne / 256 * Fix8(t.h);
    const int64_t from = std::max(first, t.l0 >> 16), to = std::min(end, (t.r1 + kOne - 1) >> 16);
    for (int64_t c = from; c < to; ++c) {
        const int64_t px = c << 16;
        const int64_t area = px >= t.l1 && px + kOne <= t.r0 ? full : ColumnArea(px, t);
        const int64_t v = buffer[c - first] + (area * 255 >> 16);
        buffer[c - first] = static_cast<unsigned char>(std::min<int64_t>(v, 255));
    }
}

// Renders row j of the region: its trapezoids, cut at the vertices.
void WireRow(const Region &g, int64_t j, Buildin_RowWriter writer, unsigned char *buffer)
{
    const int64_t top = std::max(j << 16, Fix16(g.ymin)), bottom = std::min((j + 1) << 16, Fix16(g.ymax));
    Trapezoid pieces[10];
    int n = 0;
    int64_t ya = top;
    for (int i = 0; i <= g.nsplits && ya < bottom; ++i) {
        const int64_t yb = i < g.nsplits ? std::min(g.splits[i], bottom) : bottom;
        if (yb <= ya)
            continue;
        double la, ra, lb, rb;
        const double fa = std::clamp(double(ya) / kOne, g.ymin, g.ymax);
        const double fb = std::clamp(double(yb) / kOne, g.ymin, g.ymax);
        if (Chord(g, fa, la, ra) && Chord(g, fb, lb, rb)) {
            Trapezoid t{yb - ya, Fix16(std::min(la, lb)), Fix16(std::max(la, lb)), Fix16(std::min(ra, rb)),
                        Fix16(std::max(ra, rb))};
            t.r0 = std::max(t.r0, t.l0);
            t.r1 = std::max(t.r1, t.l1);
            if (t.l0 != t.r1)
                pieces[n++] = t;
        }
        ya = yb;
    }
    if (n == 0)
        return;
    int64_t left = pieces[0].l0, right = pieces[0].r1;
    for (int i = 1; i < n; ++i)
        left = std::min(left, pieces[i].l0), right = std::max(right, pieces[i].r1);
    const int64_t first = std::max<int64_t>(left >> 16, wireClip.x1);
    const int64_t end = std::min<int64_t>((right + kOne - 1) >> 16, int64_t(wireClip.x2) + 1);
    if (end <= first)
        return;
    std::memset(buffer, 0, size_t(end - first));
    for (int i = 0; i < n; ++i)
        AddTrapezoid(buffer, first, end, pieces[i]);
    writer(int(first), int(j), int(end - first), buffer);
}

} // namespace

void wire(double x1, double y1, double r1, double x2, double y2, double r2, Buildin_RowWriter writer,
          unsigned char *buffer)
{
    if (!writer || !buffer || wireClip.x1 > wireClip.x2 || wireClip.y1 > wireClip.y2)
        return;
    for (double v : {x1, y1, x2, y2})
        if (!(std::fabs(v) < kFar))
            return;
    if (!(r1 >= 0 && r1 < kFar && r2 >= 0 && r2 < kFar))
        return;
    Region g;
    if (!MakeRegion(g, x1, y1, r1, x2, y2, r2))
        return;
    // From the lowest row up; rows above the image end the walk.
    const int64_t lowest = std::min<int64_t>(Fix16(g.ymax) >> 16, wireClip.y2);
    const int64_t highest = std::max<int64_t>({Fix16(g.ymin) >> 16, wireClip.y1, 0});
    for (int64_t j = lowest; j >= highest; --j)
        WireRow(g, j, writer, buffer);
}

namespace
{

// t = num / den, den > 0, along a segment.
struct Fraction {
    int64_t num, den;
};

bool Before(Fraction p, Fraction q)
{
    return __int128(p.num) * q.den < __int128(q.num) * p.den;
}

// Narrows [t0, t1] to the t where from + t × d lies in [lo, hi]; false when
// none does.
bool ClipAxis(int64_t from, int64_t d, int64_t lo, int64_t hi, Fraction &t0, Fraction &t1)
{
    if (d == 0)
        return lo <= from && from <= hi;
    const Fraction enter = d > 0 ? Fraction{lo - from, d} : Fraction{from - hi, -d};
    const Fraction leave = d > 0 ? Fraction{hi - from, d} : Fraction{from - lo, -d};
    if (Before(t0, enter))
        t0 = enter;
    if (Before(leave, t1))
        t1 = leave;
    return !Before(t1, t0);
}

// from + d × t as the double nearest the exact value. The same point of a
// line gives the same double whichever of its segments it was reached from.
double PointAt(int64_t from, int64_t d, Fraction t)
{
    const __int128 n = __int128(from) * t.den + __int128(d) * t.num;
    __int128 whole = n / t.den, rest = n % t.den;
    if (rest < 0)
        whole -= 1, rest += t.den;
    return double(int64_t(whole)) + double(int64_t(rest)) / double(t.den);
}

} // namespace

int FastWire(const Box *clip, unsigned char *buffer, Buildin_RowWriter writer, int x0, int y0, int x1, int y1,
             double diameter, double diameter2, int flag)
{
    (void)diameter2; // a piece of a stroke keeps one width
    (void)flag;
    if (!clip || !buffer || !writer || !(diameter >= 0 && diameter < kFar))
        return BUILDIN_BAD_PARAMETER;
    const int D = static_cast<int>(diameter);
    // An odd diameter centres the circles on the pixel centres.
    const double shift = D % 2 ? 0.5 : 0.0;
    const double r = std::max(D % 2 ? (D - 1) / 2.0 : D / 2.0, 0.5);
    wireClip = {clip->x1, clip->y1, clip->x2, clip->y2};
    // Only the part of the segment within the radius (and a margin) of the
    // box can paint in it: the piece is cut there, at the exact crossing, so
    // that far ends cost nothing and every segment of one line draws the box
    // alike however far it reaches.
    const int64_t m = int64_t(std::ceil(r)) + 2, dx = int64_t(x1) - x0, dy = int64_t(y1) - y0;
    Fraction t0{0, 1}, t1{1, 1};
    if (!ClipAxis(x0, dx, int64_t(clip->x1) - m, int64_t(clip->x2) + m, t0, t1) ||
        !ClipAxis(y0, dy, int64_t(clip->y1) - m, int64_t(clip->y2) + m, t0, t1))
        return 0;
    wire(PointAt(x0, dx, t0) + shift, PointAt(y0, dy, t0) + shift, r, PointAt(x0, dx, t1) + shift,
         PointAt(y0, dy, t1) + shift, r, writer, buffer);
    return 0;
}
