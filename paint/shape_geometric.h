// The geometric drawing tools: line, rectangle, round rectangle, ellipse and circle,
// triangle, rhombus and pentagon, pentagram and heart. Each is a two-point tool
// (ShapeTwoPoint, shape.h) whose figure is built from the pen-down point S and the latest
// pen point E; each lives in its own unit (shape_line.cpp ... shape_heart.cpp) and only its
// create and destroy are public. The caller sets the tip and adds the tool to the paint
// context's table.
#pragma once

#include <cstddef>
#include <cstdint>

#include "shape.h"

// Styles of the two-point figures.
constexpr int32_t SHAPE_STYLE_OUTLINE = 1;
constexpr int32_t SHAPE_STYLE_FILLED = 2;
constexpr int32_t SHAPE_STYLE_CIRCLE_OUTLINE = 3;  // ellipse tool only
constexpr int32_t SHAPE_STYLE_CIRCLE_FILLED = 4;   // ellipse tool only

// Polygon variants.
constexpr int32_t SHAPE_POLYGON_REGULAR = 0;    // centred at S with a vertex at E
constexpr int32_t SHAPE_POLYGON_INSCRIBED = 1;  // inscribed in the drag rectangle

// Every create returns a new tool that the caller frees with the matching destroy, or null
// when memory is short. `name` is copied (63 characters at most); owner is not owned.
Shape* shape_line_create(uint32_t id, const char16_t* name, PaintContext* context,
                         PaintHistory* history, void* owner);
void shape_line_destroy(Shape* shape);

Shape* shape_rect_create(uint32_t id, const char16_t* name, PaintContext* context,
                         PaintHistory* history, int32_t style, void* owner);
void shape_rect_destroy(Shape* shape);

Shape* shape_roundrect_create(uint32_t id, const char16_t* name, PaintContext* context,
                              PaintHistory* history, int32_t style, void* owner);
void shape_roundrect_destroy(Shape* shape);

Shape* shape_circle_create(uint32_t id, const char16_t* name, PaintContext* context,
                           PaintHistory* history, int32_t style, void* owner);
void shape_circle_destroy(Shape* shape);

// `sides` is 3 or more (fewer is a programming error).
Shape* shape_polygon_create(uint32_t id, const char16_t* name, PaintContext* context,
                            PaintHistory* history, int32_t style, int32_t sides,
                            int32_t variant, void* owner);
void shape_polygon_destroy(Shape* shape);

Shape* shape_pentagram_create(uint32_t id, const char16_t* name, PaintContext* context,
                              PaintHistory* history, int32_t style, void* owner);
void shape_pentagram_destroy(Shape* shape);

Shape* shape_heart_create(uint32_t id, const char16_t* name, PaintContext* context,
                          PaintHistory* history, int32_t style, void* owner);
void shape_heart_destroy(Shape* shape);

// ---- Shared by the units above ------------------------------------------------------------
// The distance d from S to E and the angle theta of the vector from S to E (y grows
// downwards), worked out in doubles from the integer points. False when S == E: the
// direction is then undefined and the figures that need it draw nothing.
struct ShapeDirection {
  double distance;
  double theta;
};
bool shape_direction(const ShapeTwoPoint* shape, ShapeDirection* out);

// The drag rectangle R with left <= right and top <= bottom.
FRect shape_drag_rect(const ShapeTwoPoint* shape);

// Opens a figure: saves the renderer's state, applies the common set-up (line width = pen
// size x zoom, the fore colour, cap and join as asked), scales for replay when `scale` is
// not 1 and starts an empty path. Returns the line width.
double shape_start_figure(Shape* shape, cairo_t* cr, ShapeCap cap, ShapeJoin join,
                          double scale);
// Closes it: ends the replay scale, strokes or fills the path, restores the renderer's
// state and applies the damage rule to `bounds` (geometry coordinates).
enum class ShapePaint { stroke, fill };
void shape_finish_figure(ShapeTwoPoint* shape, cairo_t* cr, ShapePaint paint, double scale,
                         FRect bounds, double width);

// A zero-filled record of `record_size` bytes (a ShapeTwoPoint, or a larger record that
// starts with one) with the two-point head initialised; null when memory is short. Free
// with shape_geometric_free.
ShapeTwoPoint* shape_geometric_alloc(size_t record_size, uint32_t id, const char16_t* name,
                                     PaintContext* context, PaintHistory* history,
                                     int32_t style, void* owner);
// Cancels and destroys the preview job, releases the head and frees the record.
void shape_geometric_free(Shape* shape);
