#include "host/Shapes.h"

#include "core/Bytes.h"
#include "core/Image.h"
#include "xc/Selection.h"

#include <algorithm>
#include <cstring>
#include <limits>

namespace
{
constexpr int BAD_PARAMETER = 1046;
constexpr int NO_MEMORY = 12;

int32_t Held(int64_t v)
{
    return int32_t(
        std::clamp<int64_t>(v, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max()));
}

bool SameGeometry(const Image *a, const Image *b)
{
    return a && b && Image_Width(a) == Image_Width(b) && Image_Height(a) == Image_Height(b) &&
           Image_PlaneBits(a, 0) == 8 && Image_PlaneBits(b, 0) == 8;
}

void Clear(Image *image)
{
    for (int y = 0; y < Image_Height(image); y++)
        std::memset(Image_Row(image, 0, y), 0, size_t(Image_Width(image)));
}
} // namespace

Shape Shape_Rect(int32_t x, int32_t y, int32_t width, int32_t height)
{
    const int32_t x2 = Held(int64_t(x) + width - 1), y2 = Held(int64_t(y) + height - 1);
    return {SHAPE_RECT, {x, y, x2, y, x2, y2, x, y2}};
}

ShapeBox Shape_Bounds(const Shape &s)
{
    ShapeBox b{std::numeric_limits<int64_t>::max(), std::numeric_limits<int64_t>::max(),
               std::numeric_limits<int64_t>::min(), std::numeric_limits<int64_t>::min()};
    for (size_t i = 0; i + 1 < s.xy.size(); i += 2) {
        b.x1 = std::min<int64_t>(b.x1, s.xy[i]), b.x2 = std::max<int64_t>(b.x2, s.xy[i]);
        b.y1 = std::min<int64_t>(b.y1, s.xy[i + 1]), b.y2 = std::max<int64_t>(b.y2, s.xy[i + 1]);
    }
    return b;
}

std::vector<ShapeRecord> Shapes_Records(const std::vector<Shape> &shapes, int width, int height)
{
    std::vector<ShapeRecord> out;
    if (shapes.empty())
        out.push_back({SHAPE_RECT, 0, 0, 0, width, height, 0});
    for (const Shape &s : shapes) {
        const ShapeBox b = Shape_Bounds(s);
        const int64_t x1 = std::max<int64_t>(b.x1, 0), y1 = std::max<int64_t>(b.y1, 0);
        const int64_t x2 = std::min<int64_t>(b.x2, width - 1), y2 = std::min<int64_t>(b.y2, height - 1);
        if (x1 > x2 || y1 > y2)
            out.push_back({s.kind, 0, 0, 0, 0, 0, 1});
        else
            out.push_back(
                {s.kind, 0, int32_t(x1), int32_t(y1), int32_t(x2 - x1 + 1), int32_t(y2 - y1 + 1), 1});
    }
    out.back()[6] = 0;
    return out;
}

std::vector<unsigned char> Shapes_Encode(int32_t serial, const std::vector<Shape> &shapes)
{
    std::vector<int32_t> words = {serial, 0};
    for (const Shape &s : shapes) {
        if (s.kind != SHAPE_POLYGON)
            continue;
        words[1]++;
        words.push_back(int32_t(s.xy.size() / 2));
        words.insert(words.end(), s.xy.begin(), s.xy.end());
    }
    std::vector<unsigned char> out(4 * words.size());
    for (size_t i = 0; i < words.size(); i++)
        Bytes_PutS32(out.data() + 4 * i, words[i]);
    return out;
}

bool Shapes_Decode(const unsigned char *p, size_t length, int32_t *serial, std::vector<Shape> *polygons)
{
    polygons->clear();
    if (length < 8 || length % 4)
        return false;
    *serial = Bytes_GetS32(p);
    const size_t words = length / 4;
    size_t at = 2;
    for (int32_t k = Bytes_GetS32(p + 4); k > 0; k--) {
        const int64_t n = at < words ? Bytes_GetS32(p + 4 * at++) : -1;
        if (n < int64_t(SHAPE_MIN_POLYGON) || uint64_t(n) * 2 > words - at)
            return false;
        Shape s{SHAPE_POLYGON, std::vector<int32_t>(size_t(n) * 2)};
        for (int32_t &v : s.xy)
            v = Bytes_GetS32(p + 4 * at++);
        polygons->push_back(std::move(s));
    }
    return at == words;
}

int Shapes_FillMask(const std::vector<Shape> &polygons, Image *mask, Image *scratch)
{
    if (!SameGeometry(mask, scratch))
        return BAD_PARAMETER;
    Clear(mask);
    const int width = Image_Width(mask);
    for (const Shape &s : polygons) {
        Selection *sel = Shape_Selection(s);
        if (!sel)
            return NO_MEMORY;
        Clear(scratch);
        const int rc = SelectionFillMask(sel, scratch);
        SelectionDestroy(sel);
        if (rc != 0)
            return rc;
        for (int y = 0; y < Image_Height(mask); y++) {
            unsigned char *to = Image_Row(mask, 0, y);
            const unsigned char *from = Image_Row(scratch, 0, y);
            for (int x = 0; x < width; x++)
                to[x] |= from[x];
        }
    }
    return 0;
}

Selection *Shape_Selection(const Shape &s)
{
    return SelectionCreate(s.kind == SHAPE_RECT ? "rectangle" : "polygon",
                           s.kind == SHAPE_RECT ? selectionClass : vectSelectionClass, s.xy.data(),
                           int32_t(s.xy.size() / 2), 1);
}

Shape Shape_FromSelection(const Selection *sel, ShapeKind kind)
{
    Shape s{kind, {}};
    for (int32_t i = 0; i < sel->nPoints; i++)
        s.xy.insert(s.xy.end(), {sel->points[i].x, sel->points[i].y});
    return s;
}
