// The polygon tools (ids 301..306): triangle and pentagon as regular polygons centred at S
// with one vertex at E, and the rhombus as the four-sided polygon inscribed in the drag
// rectangle, its corners at the middles of the sides. The vertex loops step an accumulated
// angle, as the figures have always been built; where rounding lets the regular loop run
// once more, the extra edge retraces the first one and changes nothing.

#include <cmath>
#include <numbers>

#include "fplatform.h"
#include "shape_geometric.h"

namespace {

constexpr double kPi = std::numbers::pi;
constexpr double kTwoPi = 2.0 * kPi;

struct ShapePolygon {
  ShapeTwoPoint two_point;
  int32_t sides;    // 3 triangle, 4 rhombus, 5 pentagon
  int32_t variant;  // SHAPE_POLYGON_REGULAR or SHAPE_POLYGON_INSCRIBED
};

// Regular: from E round S, each vertex at the same distance d; the last edge returns to E,
// so the path needs no close. Bounds: the circle through the vertices.
FRect path_regular(cairo_t* cr, const ShapePolygon* polygon) {
  const ShapeTwoPoint& s = polygon->two_point;
  ShapeDirection dir;
  // With the pen on S the polygon has no size and no direction: nothing is drawn, but the
  // damage rule still runs so the frame the restore has just erased is repainted.
  if (!shape_direction(&s, &dir)) return FRect{s.start_x, s.start_y, s.start_x, s.start_y};
  double sx = s.start_x, sy = s.start_y, d = dir.distance;
  double step = kTwoPi / polygon->sides;
  cairo_move_to(cr, s.end_x, s.end_y);
  double a = dir.theta + step;
  double limit = a + kTwoPi;
  while (a < limit) {
    cairo_line_to(cr, sx + d * std::cos(a), sy + d * std::sin(a));
    a += step;
  }
  return FRect{shape_truncate(sx - d), shape_truncate(sy - d), shape_truncate(sx + d),
               shape_truncate(sy + d)};
}

// Inscribed: round the ellipse through the middles of the drag rectangle's sides, starting
// at the top middle; with four sides the corners are right, bottom, left and top again.
FRect path_inscribed(cairo_t* cr, const ShapePolygon* polygon) {
  FRect r = shape_drag_rect(&polygon->two_point);
  double hw = std::trunc((static_cast<double>(r.right) - r.left + 1.0) / 2.0);
  double hh = std::trunc((static_cast<double>(r.bottom) - r.top + 1.0) / 2.0);
  double cx = r.left + hw, cy = r.top + hh;
  double step = kTwoPi / polygon->sides;
  cairo_move_to(cr, cx, r.top);
  for (double a = step - kPi / 2.0; a <= 3.0 * kPi / 2.0; a += step) {
    cairo_line_to(cr, cx + hw * std::cos(a), cy + hh * std::sin(a));
  }
  return r;
}

void draw_polygon(Shape* base, cairo_t* cr, void* unused, double scale) {
  (void)unused;
  if (!cr) return;
  auto* polygon = reinterpret_cast<ShapePolygon*>(base);
  double width = shape_start_figure(base, cr, ShapeCap::round, ShapeJoin::round, scale);
  FRect bounds = polygon->variant == SHAPE_POLYGON_INSCRIBED ? path_inscribed(cr, polygon)
                                                             : path_regular(cr, polygon);
  ShapePaint paint =
      polygon->two_point.style == SHAPE_STYLE_FILLED ? ShapePaint::fill : ShapePaint::stroke;
  shape_finish_figure(&polygon->two_point, cr, paint, scale, bounds, width);
}

}  // namespace

Shape* shape_polygon_create(uint32_t id, const char16_t* name, PaintContext* context,
                            PaintHistory* history, int32_t style, int32_t sides,
                            int32_t variant, void* owner) {
  FCHECK(sides >= 3, "sides>=3");
  auto* polygon = reinterpret_cast<ShapePolygon*>(
      shape_geometric_alloc(sizeof(ShapePolygon), id, name, context, history, style, owner));
  if (!polygon) return nullptr;
  polygon->sides = sides;
  polygon->variant = variant;
  shape_set_draw(&polygon->two_point.head, draw_polygon);
  return &polygon->two_point.head;
}

void shape_polygon_destroy(Shape* shape) { shape_geometric_free(shape); }
