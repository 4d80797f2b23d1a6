// The round rectangle tools (ids 103 outline, 104 filled): the drag rectangle's pixels with
// corners of radius 20. A side too short for two full corners gets half its length as
// radius (halved as an integer), so small figures become stadiums and ellipses rather than
// overlapping arcs. Each corner is a cubic Bezier quarter-ellipse with the usual k.

#include <cmath>

#include "shape_geometric.h"

namespace {

constexpr double kCornerRadius = 20.0;
constexpr double kQuarterArc = 0.55228475;  // control distance of a cubic quarter circle

// The corner radius along a side of `length` pixels.
double corner_radius(double length) {
  return kCornerRadius > length - kCornerRadius ? std::trunc(length / 2.0) : kCornerRadius;
}

void draw_roundrect(Shape* base, cairo_t* cr, void* unused, double scale) {
  (void)unused;
  if (!cr) return;
  auto* shape = reinterpret_cast<ShapeTwoPoint*>(base);
  double width = shape_start_figure(base, cr, ShapeCap::round, ShapeJoin::round, scale);
  FRect r = shape_drag_rect(shape);
  double x = r.left, y = r.top;
  double w = static_cast<double>(r.right) - r.left + 1.0;
  double h = static_cast<double>(r.bottom) - r.top + 1.0;
  double rx = corner_radius(w), ry = corner_radius(h);
  double c1 = kQuarterArc * rx, c2 = kQuarterArc * ry;
  // Clockwise from the end of the top-left corner, one side and one corner at a time.
  cairo_move_to(cr, x + rx, y);
  cairo_rel_line_to(cr, w - 2 * rx, 0);
  cairo_rel_curve_to(cr, c1, 0, rx, c2, rx, ry);
  cairo_rel_line_to(cr, 0, h - 2 * ry);
  cairo_rel_curve_to(cr, 0, c2, c1 - rx, ry, -rx, ry);
  cairo_rel_line_to(cr, -w + 2 * rx, 0);
  cairo_rel_curve_to(cr, -c1, 0, -rx, -c2, -rx, -ry);
  cairo_rel_line_to(cr, 0, -h + 2 * ry);
  cairo_rel_curve_to(cr, 0, -c2, rx - c1, -ry, rx, -ry);
  cairo_close_path(cr);
  ShapePaint paint = shape->style == SHAPE_STYLE_FILLED ? ShapePaint::fill : ShapePaint::stroke;
  shape_finish_figure(shape, cr, paint, scale, r, width);
}

}  // namespace

Shape* shape_roundrect_create(uint32_t id, const char16_t* name, PaintContext* context,
                              PaintHistory* history, int32_t style, void* owner) {
  ShapeTwoPoint* shape =
      shape_geometric_alloc(sizeof(ShapeTwoPoint), id, name, context, history, style, owner);
  if (!shape) return nullptr;
  shape_set_draw(&shape->head, draw_roundrect);
  return &shape->head;
}

void shape_roundrect_destroy(Shape* shape) { shape_geometric_free(shape); }
