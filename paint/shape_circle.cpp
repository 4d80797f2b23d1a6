// The ellipse tools (ids 201 outline, 202 filled, 203 circle outline, 204 filled circle):
// the ellipse inscribed in the box of pixels from S to E. The circle styles first square
// the box to its shorter side. Dragged right and down the square keeps S's corner; in any
// other direction it keeps the right and bottom edges and its moved edge lies one unit
// further out, so such a box is one unit larger across than it is tall or the other way
// round, as circles have always come out.

#include <cmath>
#include <numbers>

#include "shape_geometric.h"

namespace {

constexpr double kPi = std::numbers::pi;
constexpr double kTwoPi = 2.0 * kPi;

// The box in doubles: coordinates from stored steps may be anywhere in the i32 range and
// their differences need more than 32 bits.
struct Box {
  double left, top, right, bottom;
};

Box circle_box(const ShapeTwoPoint* shape) {
  FRect r = shape_drag_rect(shape);
  Box box{static_cast<double>(r.left), static_cast<double>(r.top),
          static_cast<double>(r.right), static_cast<double>(r.bottom)};
  if (shape->style != SHAPE_STYLE_CIRCLE_OUTLINE && shape->style != SHAPE_STYLE_CIRCLE_FILLED) {
    return box;
  }
  double w = box.right - box.left + 1.0, h = box.bottom - box.top + 1.0;
  if (shape->start_x <= shape->end_x && shape->start_y <= shape->end_y) {
    if (w > h) {
      box.right = box.left + (box.bottom - box.top);
    } else {
      box.bottom = box.top + (box.right - box.left);
    }
  } else if (w > h) {
    box.left = box.right - (box.bottom - box.top) - 1.0;
  } else {
    box.top = box.bottom - (box.right - box.left) - 1.0;
  }
  return box;
}

void draw_circle(Shape* base, cairo_t* cr, void* unused, double scale) {
  (void)unused;
  if (!cr) return;
  auto* shape = reinterpret_cast<ShapeTwoPoint*>(base);
  double width = shape_start_figure(base, cr, ShapeCap::round, ShapeJoin::keep, scale);
  Box box = circle_box(shape);
  double w = box.right - box.left + 1.0, h = box.bottom - box.top + 1.0;
  // A unit circle under the box's scale; the state is restored before stroking so the pen
  // keeps its width all round instead of thinning along the short axis.
  cairo_save(cr);
  cairo_translate(cr, box.left + w * 0.5, box.top + h * 0.5);
  cairo_scale(cr, w * 0.5, h * 0.5);
  cairo_arc(cr, 0.0, 0.0, 1.0, 0.0, kTwoPi);
  cairo_restore(cr);
  bool filled = shape->style == SHAPE_STYLE_FILLED || shape->style == SHAPE_STYLE_CIRCLE_FILLED;
  FRect bounds{shape_truncate(box.left), shape_truncate(box.top), shape_truncate(box.right),
               shape_truncate(box.bottom)};
  shape_finish_figure(shape, cr, filled ? ShapePaint::fill : ShapePaint::stroke, scale, bounds,
                      width);
}

}  // namespace

Shape* shape_circle_create(uint32_t id, const char16_t* name, PaintContext* context,
                           PaintHistory* history, int32_t style, void* owner) {
  ShapeTwoPoint* shape =
      shape_geometric_alloc(sizeof(ShapeTwoPoint), id, name, context, history, style, owner);
  if (!shape) return nullptr;
  shape_set_draw(&shape->head, draw_circle);
  return &shape->head;
}

void shape_circle_destroy(Shape* shape) { shape_geometric_free(shape); }
