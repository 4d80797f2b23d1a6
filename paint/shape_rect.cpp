// The rectangle tools (ids 101 outline, 102 filled). Dragged right and down the rectangle
// covers the pixels from S to E inclusive, hence the + 1 in its sizes. It is built from S
// and E as they come, not normalised: dragged left or upwards its width or height is
// negative and it spans from E + 1 to S, two pixels narrower on that axis than the same
// drag made the other way, as the figure has always been drawn.

#include "shape_geometric.h"

namespace {

void draw_rect(Shape* base, cairo_t* cr, void* unused, double scale) {
  (void)unused;
  if (!cr) return;
  auto* rect = reinterpret_cast<ShapeTwoPoint*>(base);
  // A closed rectangle has no caps, and its joins stay cairo's default mitres.
  double width = shape_start_figure(base, cr, ShapeCap::keep, ShapeJoin::keep, scale);
  double x = rect->start_x, y = rect->start_y;
  cairo_rectangle(cr, x, y, rect->end_x - x + 1.0, rect->end_y - y + 1.0);
  ShapePaint paint = rect->style == SHAPE_STYLE_FILLED ? ShapePaint::fill : ShapePaint::stroke;
  shape_finish_figure(rect, cr, paint, scale, shape_drag_rect(rect), width);
}

}  // namespace

Shape* shape_rect_create(uint32_t id, const char16_t* name, PaintContext* context,
                         PaintHistory* history, int32_t style, void* owner) {
  ShapeTwoPoint* rect =
      shape_geometric_alloc(sizeof(ShapeTwoPoint), id, name, context, history, style, owner);
  if (!rect) return nullptr;
  shape_set_draw(&rect->head, draw_rect);
  return &rect->head;
}

void shape_rect_destroy(Shape* shape) { shape_geometric_free(shape); }
