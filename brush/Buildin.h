// Brush shapes: the 8-bit coverage with which the brush engine paints.
//
//   Buildin_Make   the built-in elliptic brush, drawn into a plane of a brush image
//   BuildIn_Wire   the large analytic elliptic brush, rendered row by row
//   FastWire, wire the anti-aliased round pencil pieces, rendered row by row
//
// Coverage 0 leaves a pixel alone; the peak value (at most 255) is full strength.
// The row-by-row shapes never build a coverage image: each row goes through one
// reused buffer to a row writer, which composites it into every target.
#pragma once

struct Box;
struct Image;

// Called once per produced row: buffer[i] is the coverage of pixel (x + i, y),
// for 0 <= i < length. The writer may change the buffer (the pencil removes the
// pixels it has already painted in the stroke); it is cleared or rewritten
// before the next row.
using Buildin_RowWriter = void (*)(int x, int y, int length, unsigned char *buffer);

// Error code for a request these routines cannot honour ("Bad parameter").
constexpr int BUILDIN_BAD_PARAMETER = 1046;

// Peak value of an opacity percentage: trunc(percent × 2.55) in double
// precision, so 100 gives 254 and 50 gives 127. The percentage is held to 0..100.
int Buildin_Peak(int percent);

// Draws the elliptic brush into an 8-bit plane of the brush image: a
// (2·rx + 1) × (2·ry + 1) shape at the top left, rx = (width − 1)/2,
// ry = (height − 1)/2; width or height below 1 means the image's own. Below 3
// pixels either way the whole plane takes the peak value. Exponent 0 is the hard
// brush (flat top; rim 1 smooths the one-pixel rim), 1.0 the linear airbrush,
// any other positive exponent (1 − d)^exponent. An even width (height) leaves the
// last column (row) of the brush box at 0.
// 0, or BUILDIN_BAD_PARAMETER (no image, plane not 8-bit, size larger than the
// image, peak outside 0..255, negative exponent) with the plane untouched.
int Buildin_Make(Image *brush, int plane, int width, int height, int rim, int peak, double exponent);

// Renders the linear fall-off ellipse of radii rx, ry (at least 1) centred on
// pixel (cx, cy), clipped to the box, one row at a time, top to bottom, through
// the writer. The row buffer is the given 8-bit plane of the given image, which
// must hold the clipped width. The exponent is not used: the shape is always linear.
// 0, or BUILDIN_BAD_PARAMETER.
int BuildIn_Wire(Image *target, int plane, int rx, int ry, int peak, double exponent, int cx, int cy,
                 const Box *clip, Buildin_RowWriter writer);

// Draws the round anti-aliased stroke segment of the given diameter from
// (x0, y0) to (x1, y1), clipped to the box, through the writer; equal points
// draw one disc. An odd diameter D centres the circles on the pixel centres
// with radius (D − 1)/2, an even one on the pixel corners with radius D/2; the
// radius is at least 0.5. The second diameter and the flag are not used.
// The segment is first cut to the clip box grown by the radius, so any 32-bit
// end points cost the same and the box is drawn alike whatever the line's
// ends. Records the clip box for wire. The buffer holds at least the clip width.
// 0, or BUILDIN_BAD_PARAMETER (null argument, diameter negative or not finite).
int FastWire(const Box *clip, unsigned char *buffer, Buildin_RowWriter writer, int x0, int y0, int x1, int y1,
             double diameter, double diameter2, int flag);

// Scan-converts one tapered stroke piece: the region between the outer common
// tangents of the circles (x1, y1, r1) and (x2, y2, r2), cut flat across the
// tangent points on the first circle and closed by the far arc of the second.
// Consecutive pieces join round; a piece starts flat. Circles one inside the
// other draw the second disc. Clipped to the box FastWire last recorded (nothing
// before the first FastWire). Rows go bottom to top.
void wire(double x1, double y1, double r1, double x2, double y2, double r2, Buildin_RowWriter writer,
          unsigned char *buffer);
