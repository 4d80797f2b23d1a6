// The pentagram tools (ids 307 outline, 308 filled): a five-pointed star centred at S with
// an outer point at E, drawn as ten vertices alternating between the inner and the outer
// circle. The inner radius makes the star's edges straight lines through two outer points:
// ri = d cos(2 pi / 5) / cos(pi / 5), about 0.381966 d. The filled star uses cairo's
// default winding rule, so its centre is filled.

#include <cmath>
#include <numbers>

#include "shape_geometric.h"

namespace {

constexpr double kPi = std::numbers::pi;

void draw_pentagram(Shape* base, cairo_t* cr, void* unused, double scale) {
  (void)unused;
  if (!cr) return;
  auto* shape = reinterpret_cast<ShapeTwoPoint*>(base);
  double width = shape_start_figure(base, cr, ShapeCap::round, ShapeJoin::round, scale);
  FRect bounds{shape->start_x, shape->start_y, shape->start_x, shape->start_y};
  ShapeDirection dir;
  // With the pen on S the star has no size and no direction: nothing is drawn, and the
  // damage rule repaints what the restore erased.
  if (shape_direction(shape, &dir)) {
    double sx = shape->start_x, sy = shape->start_y, d = dir.distance;
    double inner = d * std::cos(2.0 * kPi / 5.0) / std::cos(kPi / 5.0);
    double step = kPi / 5.0;
    cairo_move_to(cr, shape->end_x, shape->end_y);
    double a = dir.theta + step;
    double limit = a + 2.0 * kPi;
    for (int k = 0; a < limit; ++k, a += step) {
      double radius = k % 2 == 0 ? inner : d;
      cairo_line_to(cr, sx + radius * std::cos(a), sy + radius * std::sin(a));
    }
    bounds = FRect{shape_truncate(sx - d), shape_truncate(sy - d), shape_truncate(sx + d),
                   shape_truncate(sy + d)};
  }
  ShapePaint paint = shape->style == SHAPE_STYLE_FILLED ? ShapePaint::fill : ShapePaint::stroke;
  shape_finish_figure(shape, cr, paint, scale, bounds, width);
}

}  // namespace

Shape* shape_pentagram_create(uint32_t id, const char16_t* name, PaintContext* context,
                              PaintHistory* history, int32_t style, void* owner) {
  ShapeTwoPoint* shape =
      shape_geometric_alloc(sizeof(ShapeTwoPoint), id, name, context, history, style, owner);
  if (!shape) return nullptr;
  shape_set_draw(&shape->head, draw_pentagram);
  return &shape->head;
}

void shape_pentagram_destroy(Shape* shape) { shape_geometric_free(shape); }
