// What the geometric tools share beyond the two-point drag of shape.cpp: the record's
// allocation, the drag rectangle, the direction from S to E, and the frame around every
// figure (the common set-up, replay scale, stroke or fill, damage rule).
//
//   draw -> shape_start_figure (save, width, colour, cap/join, [save+scale], new path)
//        -> the tool's path -> shape_finish_figure ([restore], stroke/fill, restore, damage)
//
// All painters share the paint context's one renderer. Each leaves it as it found it, so
// that what a figure looks like never depends on which tool drew before it: the rectangle
// sets no join, and with a join left over from a polygon its corners would come out
// round in a live stroke but mitred in a replay that starts from a checkpoint or a fresh
// renderer.

#include "shape_geometric.h"

#include <cmath>
#include <cstdlib>

#include "fplatform.h"

bool shape_direction(const ShapeTwoPoint* shape, ShapeDirection* out) {
  FCHECK(shape != nullptr, "shape!=null");
  double dx = static_cast<double>(shape->end_x) - shape->start_x;
  double dy = static_cast<double>(shape->end_y) - shape->start_y;
  double d = std::sqrt(dx * dx + dy * dy);
  if (d == 0.0) return false;
  // d >= |dx| holds in doubles too, but a clamp keeps acos defined whatever the rounding.
  double theta = std::acos(std::fmin(1.0, std::fmax(-1.0, dx / d)));
  if (shape->end_y <= shape->start_y) theta = -theta;
  out->distance = d;
  out->theta = theta;
  return true;
}

FRect shape_drag_rect(const ShapeTwoPoint* shape) {
  FCHECK(shape != nullptr, "shape!=null");
  return frect_normalized(FRect{shape->start_x, shape->start_y, shape->end_x, shape->end_y});
}

double shape_start_figure(Shape* shape, cairo_t* cr, ShapeCap cap, ShapeJoin join,
                          double scale) {
  cairo_save(cr);
  double width = shape_begin_draw(shape, cr, cap, join);
  shape_begin_path(cr, scale);
  cairo_new_path(cr);
  return width;
}

void shape_finish_figure(ShapeTwoPoint* shape, cairo_t* cr, ShapePaint paint, double scale,
                         FRect bounds, double width) {
  shape_end_path(cr, scale);
  if (paint == ShapePaint::fill) {
    cairo_fill(cr);
  } else {
    cairo_stroke(cr);
  }
  cairo_restore(cr);
  shape_damage(&shape->head, &shape->damaged, bounds, width);
}

ShapeTwoPoint* shape_geometric_alloc(size_t record_size, uint32_t id, const char16_t* name,
                                     PaintContext* context, PaintHistory* history,
                                     int32_t style, void* owner) {
  FCHECK(record_size >= sizeof(ShapeTwoPoint), "record_size>=sizeof(ShapeTwoPoint)");
  auto* shape = static_cast<ShapeTwoPoint*>(std::calloc(1, record_size));
  if (!shape) return nullptr;
  shape_two_point_init(shape, id, name, context, history, style, owner);
  return shape;
}

void shape_geometric_free(Shape* shape) {
  FCHECK(shape != nullptr, "shape!=null");
  auto* two_point = reinterpret_cast<ShapeTwoPoint*>(shape);
  shape_two_point_release(two_point);
  std::free(two_point);
}
