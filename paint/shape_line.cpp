// The line tool (id 2): a straight stroke from the pen-down point to the pen, with round
// caps so that a short line is a dot and wide lines end softly. It has no style.

#include "shape_geometric.h"

namespace {

void draw_line(Shape* base, cairo_t* cr, void* unused, double scale) {
  (void)unused;
  if (!cr) return;
  auto* line = reinterpret_cast<ShapeTwoPoint*>(base);
  double width = shape_start_figure(base, cr, ShapeCap::round, ShapeJoin::keep, scale);
  cairo_move_to(cr, line->start_x, line->start_y);
  cairo_line_to(cr, line->end_x, line->end_y);
  shape_finish_figure(line, cr, ShapePaint::stroke, scale, shape_drag_rect(line), width);
}

}  // namespace

Shape* shape_line_create(uint32_t id, const char16_t* name, PaintContext* context,
                         PaintHistory* history, void* owner) {
  ShapeTwoPoint* line =
      shape_geometric_alloc(sizeof(ShapeTwoPoint), id, name, context, history, 0, owner);
  if (!line) return nullptr;
  shape_set_draw(&line->head, draw_line);
  return &line->head;
}

void shape_line_destroy(Shape* shape) { shape_geometric_free(shape); }
