// The heart tools (ids 309 outline, 310 filled): two mirrored cubic Bezier lobes from S,
// the dip between the lobes, to E, the point. A lobe's control points lie at the distance
// d = |SE| from S and from E, turned off the direction S -> E by pi / 3 at S and 2 pi / 7
// at E, both to the same side; the other lobe turns to the other side. The outline draws
// both curves; the filled heart fills both lobes together, each closed by the straight
// line from E back to S.

#include <algorithm>
#include <cmath>
#include <numbers>

#include "shape_geometric.h"

namespace {

constexpr double kLeaveAngle = std::numbers::pi / 3.0;  // A, at S
constexpr double kArriveAngle = 0.8975979010256552;     // B = 2 pi / 7, at E

struct Point {
  double x, y;
};

Point offset(double x, double y, double d, double angle) {
  return Point{x + d * std::cos(angle), y + d * std::sin(angle)};
}

FRect include(FRect r, Point p) {
  int32_t x = shape_truncate(p.x), y = shape_truncate(p.y);
  return FRect{std::min(r.left, x), std::min(r.top, y), std::max(r.right, x),
               std::max(r.bottom, y)};
}

void draw_heart(Shape* base, cairo_t* cr, void* unused, double scale) {
  (void)unused;
  if (!cr) return;
  auto* shape = reinterpret_cast<ShapeTwoPoint*>(base);
  double width = shape_start_figure(base, cr, ShapeCap::round, ShapeJoin::round, scale);
  FRect bounds = shape_drag_rect(shape);
  ShapeDirection dir;
  // With the pen on S the heart has no size and no direction: nothing is drawn, and the
  // damage rule repaints what the restore erased.
  if (shape_direction(shape, &dir)) {
    double sx = shape->start_x, sy = shape->start_y;
    double ex = shape->end_x, ey = shape->end_y;
    double d = dir.distance, theta = dir.theta;
    for (double side : {-1.0, 1.0}) {
      Point leave = offset(sx, sy, d, theta + side * kLeaveAngle);
      Point arrive = offset(ex, ey, d, theta + side * kArriveAngle);
      cairo_move_to(cr, sx, sy);
      cairo_curve_to(cr, leave.x, leave.y, arrive.x, arrive.y, ex, ey);
      bounds = include(include(bounds, leave), arrive);
    }
  }
  ShapePaint paint = shape->style == SHAPE_STYLE_FILLED ? ShapePaint::fill : ShapePaint::stroke;
  shape_finish_figure(shape, cr, paint, scale, bounds, width);
}

}  // namespace

Shape* shape_heart_create(uint32_t id, const char16_t* name, PaintContext* context,
                          PaintHistory* history, int32_t style, void* owner) {
  ShapeTwoPoint* shape =
      shape_geometric_alloc(sizeof(ShapeTwoPoint), id, name, context, history, style, owner);
  if (!shape) return nullptr;
  shape_set_draw(&shape->head, draw_heart);
  return &shape->head;
}

void shape_heart_destroy(Shape* shape) { shape_geometric_free(shape); }
