// A reference image-to-image fill written straight from the rules, slow on
// purpose: one destination pixel at a time, its source found with
// ViewDstToSrcPh, areas as true overlaps, every weight and alpha computed in
// doubles on the spot, no tables. The kernels must give the same bytes.
#pragma once
#include "MemImage.h"
#include "core/Image.h"
#include "xc/FillTev2Tev.h"
#include "xc/View.h"

#include <algorithm>
#include <cstdint>
#include <vector>

namespace ref
{

// The options of a fill, all of them set.
using Config = FillTev2TevOptions;
constexpr int kAllOptions = FT2T_TRESHOLD | FT2T_QUALITY | FT2T_SRCPLANE | FT2T_DSTPLANE | FT2T_OP |
                            FT2T_FLOATING | FT2T_FGPIXEL | FT2T_DSTMASK | FT2T_SRCMASK | FT2T_NOSRCALPHA |
                            FT2T_NODSTALPHA | FT2T_DITHERING;

// The weight and the alpha an operation gives source alpha a over
// destination alpha d, with the raise-by-one rule for over and under.
inline void Operation(int op, int a, int d, double *w, int *alpha)
{
    double t = a / 255.0, u = d / 255.0;
    if (op == 2 && !(a == 255 || d == 0)) {
        double s = t + (1.0 - t) * u;
        *w = t / s;
        *alpha = int(255.0 * s);
    } else if (op == 3 && (d == 255 || a == 0)) {
        *w = 0.0;
        *alpha = d;
    } else if (op == 3) {
        double s = u + (1.0 - u) * t;
        *w = (1.0 - u) * t / s;
        *alpha = int(255.0 * s);
    } else {
        *w = 1.0;
        *alpha = a;
    }
    if ((op == 2 || op == 3) && a > 0 && *alpha <= d)
        *alpha = std::min(d + 1, 255);
}

// The 16 x 16 ordered dither matrix, entry for column x, row y.
inline int DitherM(int x, int y)
{
    static const int B[4][4] = {{0, 14, 3, 13}, {11, 5, 8, 6}, {12, 2, 15, 1}, {7, 9, 4, 10}};
    if (x == 0 && y == 0)
        return 1;
    return int(0.5 + 15.875 * B[x % 4][y % 4] + 15.875 * B[x / 4][y / 4] / 16);
}

inline int Full(int depth)
{
    return depth == 1 ? 1 : depth == 8 ? 255 : 65535;
}

inline int ScaleTo(uint32_t v, int from, int to)
{
    if (from == to)
        return int(v);
    if (from == 1)
        return v ? Full(to) : 0;
    return from == 8 ? int(v * 256) : int(v >> 8);
}

// A sample at depth `to` for the destination pixel whose source is (sx, sy)
// at phases (phx, phy): the nearest, or with average the weighted mean of the
// area it covers in units of 1/den, ending after (lastX, lastY), truncated.
inline int Sample(const View *v, const Image *img, int plane, int to, int sx, int sy, int phx, int phy,
                  bool average, int lastX, int lastY)
{
    int bits = Image_PlaneBits(img, plane);
    if (!average)
        return ScaleTo(Image_GetSample(img, plane, sx, sy), bits, to);
    const ViewMap &mx = v->xMap, &my = v->yMap;
    long x0 = long(sx) * mx.den + phx, x1 = std::min(x0 + mx.num, long(lastX + 1) * mx.den);
    long y0 = long(sy) * my.den + phy, y1 = std::min(y0 + my.num, long(lastY + 1) * my.den);
    double sum = 0, total = 0;
    for (long r = sy; r * my.den < y1; ++r) {
        long wy = std::min(y1, (r + 1) * my.den) - std::max(y0, r * my.den);
        for (long c = sx; c * mx.den < x1; ++c) {
            long wx = std::min(x1, (c + 1) * mx.den) - std::max(x0, c * mx.den);
            if (wx <= 0 || wy <= 0)
                continue;
            double w = double(wx) * double(wy);
            sum += w * ScaleTo(Image_GetSample(img, plane, int(c), int(r)), bits, to);
            total += w;
        }
    }
    return int(sum / total);
}

struct Side {
    int mode, depth, shown, alpha; // alpha: plane index, 0 none
};

// One side of a fill: a whole image, or one plane shown as grey (a shown
// alpha plane has no alpha of its own).
inline Side SideOf(const Image *img, int plane, int noAlpha)
{
    const int colour = Image_ColorPlanes(img), hasAlpha = Image_AlphaPlanes(img) != 0;
    const int alpha = !noAlpha && hasAlpha && plane != colour ? colour : 0;
    if (plane == -1)
        return {Image_Mode(img), Image_PlaneBits(img, 0), 0, alpha};
    return {1, Image_PlaneBits(img, plane), plane, alpha};
}

inline std::vector<int> ColourPlanes(const Side &s)
{
    return s.mode == 2   ? std::vector<int>{0, 1, 2}
           : s.mode == 3 ? std::vector<int>{0, 1, 2, 3}
                         : std::vector<int>{s.shown};
}

// Maps the view at zoom (zx, zy) from random reference boxes and phases
// (the boxes are read by ViewSetMap alone), and returns a box over its image
// area in a dw x dh destination: mostly overlapping it, sometimes any box or
// an empty one.
inline Box MapAndBox(std::mt19937 &rng, View *view, Zoom zx, Zoom zy, int dw, int dh)
{
    int k = RandIn(rng, 1, 6), ox = RandIn(rng, -1, dw / 2), oy = RandIn(rng, -1, dh / 2);
    int kx = rng() % 3 ? 0 : RandIn(rng, -2, 2), ky = rng() % 3 ? 0 : RandIn(rng, -2, 2);
    Box srcRef = B(kx, ky, kx + k * zx.num - 1, ky + k * zy.num - 1);
    Box dstRef = B(ox, oy, ox + k * zx.den - 1, oy + k * zy.den - 1);
    ViewSetMap(view, &srcRef, &dstRef);
    view->xMap.phase = int(rng() % uint32_t(view->xMap.den));
    view->yMap.phase = int(rng() % uint32_t(view->yMap.den));
    ViewScroll(view, 0, 0); // recompute the image area for the new phases
    Box area = view->imageArea;
    if (BoxEmpty(&area) || rng() % 8 == 0)
        area = B(0, 0, dw - 1, dh - 1);
    int bx = RandIn(rng, area.x1 - 3, area.x2), by = RandIn(rng, area.y1 - 3, area.y2);
    int bw = rng() % 10 ? RandIn(rng, std::max(1, area.x1 - bx + 1), area.x2 - bx + 4) : 0;
    Box box = B(bx, by, bx + bw - 1, by + RandIn(rng, std::max(1, area.y1 - by + 1), area.y2 - by + 4) - 1);
    return box;
}

class Filler
{
  public:
    Filler(View *view, Image *src, Image *orig, Image *out, const Config &c)
        : v_(view), src_(src), orig_(orig), out_(out), c_(c)
    {
        s_ = SideOf(src, c.srcPlane, c.noSrcAlpha);
        d_ = SideOf(orig, c.dstPlane, c.noDstAlpha);
        useAlpha_ = s_.alpha || d_.alpha || c.srcMask || c.dstMask;
        if (c.floating) {
            s_.mode = 99;
            s_.depth = 0;
            if (!s_.alpha && !c.srcMask && !c.dstMask && c.op != 3)
                useAlpha_ = false;
        }
        bool blends = c.op == 2 || c.op == 3;
        canCopy_ = s_.mode == d_.mode && s_.depth == d_.depth && !(blends && useAlpha_);
        bool zoomed = !(v_->xMap.num == 1 && v_->xMap.den == 1 && v_->yMap.num == 1 && v_->yMap.den == 1);
        average_ = c.quality == 1 && zoomed;
        copy_ = !average_ && !zoomed && canCopy_;
        wd_ = d_.depth == 1 ? (s_.mode == 99 ? 8 : s_.depth) : d_.depth;
        lastX_ = std::min(v_->src.x2, Image_Width(src) - 1);
        lastY_ = std::min(v_->src.y2, Image_Height(src) - 1);
        t_ = std::clamp(c.threshold, 0.0, 1.0);
    }

    // Paints what ViewFillDst(view, box) paints with the filler: the pixels
    // of box inside the image area, the destination and whose source lies in
    // the source image; returns their number.
    int FillDst(const Box &box)
    {
        int n = 0;
        for (int y = box.y1; y <= box.y2; ++y)
            for (int x = box.x1; x <= box.x2; ++x)
                if (Served(x, y)) {
                    Pixel(x, y);
                    ++n;
                }
        return n;
    }

    bool Served(int x, int y) const
    {
        const Box &a = v_->imageArea;
        if (x < a.x1 || x > a.x2 || y < a.y1 || y > a.y2)
            return false;
        if (x < 0 || y < 0 || x >= Image_Width(orig_) || y >= Image_Height(orig_))
            return false;
        int sx = ViewDstToSrcX(v_, x), sy = ViewDstToSrcY(v_, y);
        return sx >= 0 && sx <= lastX_ && sy >= 0 && sy <= lastY_;
    }

  private:
    int Source(const Image *img, int plane, int to, int sx, int sy, int phx, int phy) const
    {
        return Sample(v_, img, plane, to, sx, sy, phx, phy, average_, lastX_, lastY_);
    }

    // Destination channel ch from source channels S at full scale F.
    int Convert(const std::vector<int> &S, int ch) const
    {
        int F = Full(wd_), sm = s_.mode, dm = d_.mode;
        if (sm == dm)
            return S[ch];
        if (dm == 2)
            return sm == 1 ? S[0] : std::max(0, F - S[3] - S[ch]);
        if (dm == 1) {
            if (sm == 2)
                return (S[0] + S[1] + S[2]) / 3;
            double g = (F - S[3]) - (S[0] + S[1] + S[2]) / 3.0;
            return g < 0 ? 0 : int(g);
        }
        if (sm == 2)
            return ch < 3 ? F - S[ch] : 0;
        return ch < 3 ? 0 : F - S[0];
    }

    int Cst(int ch) const
    {
        const ColorValue &f = c_.fgValues;
        int rgb[3] = {f.red, f.green, f.blue}, cmyk[4] = {f.cyan, f.magenta, f.yellow, f.black};
        int v = d_.mode == 1 ? f.grey : d_.mode == 2 ? rgb[ch] : cmyk[ch];
        return std::clamp(v, 0, 255);
    }

    bool Bit(int v, int x, int y) const
    {
        if (c_.dithering) {
            int m = DitherM(x % 16, y % 16);
            if (wd_ == 1)
                return !(double(v) < m / 255.0);
            return !(v < (wd_ == 8 ? m : m * 256));
        }
        if (wd_ == 1)
            return !(double(v) < t_);
        return !(v < (wd_ == 8 ? int(t_ * 255) : int(t_ * 65536)));
    }

    void Put(int plane, int x, int y, int v) { Image_SetSample(out_, plane, x, y, uint32_t(v)); }

    void Pixel(int x, int y)
    {
        std::vector<int> dplanes = ColourPlanes(d_);
        if (s_.mode == 99 && !useAlpha_) { // flat colour
            for (size_t ch = 0; ch < dplanes.size(); ++ch) {
                // Dithered only between 0 and 255.
                const int v = Cst(int(ch));
                const bool dither = v != 0 && v != 255 && c_.dithering;
                Put(dplanes[ch], x, y,
                    d_.depth == 1 ? (dither ? Bit(v, x, y) : v >= int(t_ * 255)) : ScaleTo(v, 8, d_.depth));
            }
            if (d_.alpha)
                Put(d_.alpha, x, y, 255);
            return;
        }
        int sx, sy, phx, phy;
        ViewDstToSrcPh(v_, x, y, &sx, &sy, &phx, &phy);
        if (copy_) {
            std::vector<int> sp = ColourPlanes(s_);
            for (size_t i = 0; i < sp.size(); ++i)
                Put(dplanes[i], x, y, int(Image_GetSample(src_, sp[i], sx, sy)));
            if (d_.alpha) {
                int a = s_.alpha ? int(Image_GetSample(src_, s_.alpha, sx, sy)) : 255;
                if (c_.srcMask) {
                    int m = int(Image_GetSample(c_.srcMask, c_.srcMaskPlane, sx, sy));
                    a = s_.alpha ? a * m / 255 : m;
                }
                Put(d_.alpha, x, y, a);
            }
            return;
        }
        std::vector<int> S;
        if (s_.mode != 99)
            for (int p : ColourPlanes(s_))
                S.push_back(Source(src_, p, wd_, sx, sy, phx, phy));
        double w = 1.0;
        int alpha = 255;
        if (useAlpha_) {
            int a = s_.alpha ? Source(src_, s_.alpha, 8, sx, sy, phx, phy) : 255;
            if (c_.dstMask)
                a = a * int(Image_GetSample(c_.dstMask, c_.dstMaskPlane, x, y)) / 255;
            if (c_.srcMask)
                a = a * Source(c_.srcMask, c_.srcMaskPlane, 8, sx, sy, phx, phy) / 255;
            int d = d_.alpha ? int(Image_GetSample(orig_, d_.alpha, x, y)) : 255;
            Operation(c_.op, a, d, &w, &alpha);
            if (w == 1.0)
                alpha = a;
            if (w == 0.0)
                return; // leave the pixel and its alpha
        }
        for (size_t ch = 0; ch < dplanes.size(); ++ch) {
            int v =
                s_.mode == 99 ? ScaleTo(uint32_t(Cst(int(ch))), 8, wd_ == 1 ? 8 : wd_) : Convert(S, int(ch));
            int p = dplanes[ch];
            if (w != 1.0) {
                int dv = int(Image_GetSample(orig_, p, x, y));
                if (d_.depth == 1)
                    dv = dv ? Full(wd_) : 0;
                v = int((1 - w) * dv + w * v);
            }
            Put(p, x, y, d_.depth == 1 ? int(Bit(v, x, y)) : v);
        }
        if (useAlpha_ && d_.alpha)
            Put(d_.alpha, x, y, alpha);
    }

    View *v_;
    Image *src_, *orig_, *out_;
    Config c_;
    Side s_, d_;
    bool useAlpha_, canCopy_, average_, copy_;
    int wd_, lastX_, lastY_;
    double t_;
};

} // namespace ref
