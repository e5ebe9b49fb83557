// The display's selection as data: rectangles and polygons in image pixels,
// the 1041 records that answer dabstone's 1043, the list of polygons that
// the display hands the kernel (KERNEL_SHAPES) and the kernel's mask of
// them. The display window shows and edits the same shapes as selection
// objects of the display library (Shape_Selection, Shape_FromSelection).
//
// Rectangles are unmasked (kind 1): a box limits them exactly. A polygon is
// sent as its bounding box of kind 2, which dabstone limits by the mask
// image; the kernel writes the union of all polygons' fills into that
// image (even-odd fill, outline included), so a stroke inside a polygon
// paints only inside it. Boxes are clipped to the image.
#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

struct Image;
struct Selection;

enum ShapeKind : int32_t { SHAPE_RECT = 1, SHAPE_POLYGON = 2 };
constexpr size_t SHAPE_MIN_POLYGON = 3; // fewer points enclose nothing

struct Shape {
    ShapeKind kind;
    // (x, y) pairs: a rectangle's 4 corners from the top-left one
    // clockwise, or a polygon's points (closed: the last joins the first).
    std::vector<int32_t> xy;
};

// The rectangle of width x height pixels from (x, y); the far corner is
// held to 32 bits.
Shape Shape_Rect(int32_t x, int32_t y, int32_t width, int32_t height);

// The bounding box of the points, both corners included.
struct ShapeBox {
    int64_t x1, y1, x2, y2;
};
ShapeBox Shape_Bounds(const Shape &s);

// 1041 records (kind, 0, x, y, width, height, more) for an image of width x
// height: one per shape, its box clipped to the image (width and height 0
// when nothing remains); none: the whole image, unmasked. The last has
// more 0.
using ShapeRecord = std::array<int32_t, 7>;
std::vector<ShapeRecord> Shapes_Records(const std::vector<Shape> &shapes, int width, int height);

// The payload of KERNEL_SHAPES: serial, polygon count, then per polygon its
// point count and its points; rectangles are left out (they need no mask).
std::vector<unsigned char> Shapes_Encode(int32_t serial, const std::vector<Shape> &shapes);
// The serial (when the payload has one), and false for a payload that does
// not hold exactly its polygons of 3 points or more.
bool Shapes_Decode(const unsigned char *p, size_t length, int32_t *serial, std::vector<Shape> *polygons);

// Plane 0 of mask becomes 255 inside any polygon and 0 elsewhere; scratch
// (the same geometry) holds one polygon's fill at a time, since a fill
// clears the rest of its bounding box. 0, or 1046 (bad parameter) when the
// images differ in size or are not 8 bits deep, or short memory.
int Shapes_FillMask(const std::vector<Shape> &polygons, Image *mask, Image *scratch);

// A new selection object of the shape (a rectangle or a closed polygon), or
// null when memory is short; the caller destroys it.
Selection *Shape_Selection(const Shape &s);
// The shape of a selection object's points.
Shape Shape_FromSelection(const Selection *sel, ShapeKind kind);
