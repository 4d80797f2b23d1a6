// The paint bucket. Unlike the other tools it fills through a framework canvas bound to
// the painting (the canvas's span flood fill), so the fill is exact per pixel and never
// antialiased. The fill happens at pen down; the step holds only the seed, and a replay
// at another zoom seeds at the scaled point with the tolerance of the zoom in force.
//
//   pen down -> seed in view coordinates -> draw (canvas over the painting, brush = fore
//            colour, fcanvas_flood_fill, whole repaint) -> paint_history_add(9, 8 bytes)

#include "shape_flood.h"

#include <cstdlib>

#include "fbytes.h"
#include "fcanvas.h"
#include "fplatform.h"
#include "fsurface.h"
#include "paint_context.h"
#include "paint_history.h"

namespace {

ShapeFlood* flood_of(Shape* shape) {
  FCHECK(shape != nullptr, "shape!=null");
  return reinterpret_cast<ShapeFlood*>(shape);
}

void flood_reset(Shape* shape) {
  ShapeFlood* flood = flood_of(shape);
  flood->seed_x = -1;
  flood->seed_y = -1;
}

void flood_load(Shape* shape, const uint8_t* data, int32_t size) {
  ShapeFlood* flood = flood_of(shape);
  if (!data || size != SHAPE_FLOOD_DATA_SIZE) return;
  flood->seed_x = fbytes_get_i32(data);
  flood->seed_y = fbytes_get_i32(data + 4);
}

void flood_draw(Shape* shape, cairo_t* cr, void* unused, double scale) {
  (void)cr;
  (void)unused;
  ShapeFlood* flood = flood_of(shape);
  PaintContext* pc = shape->context;
  FBitmap* painting = paint_context_get_painting(pc);
  if (!painting) return;
  // The canvas writes the pixels behind cairo's back: cairo finishes its own drawing
  // first and is told afterwards that the pixels changed.
  cairo_t* renderer = paint_context_get_renderer(pc);
  if (renderer) cairo_surface_flush(cairo_get_target(renderer));
  FCanvas canvas{};
  fcanvas_attach(&canvas, painting);
  fcanvas_set_brush(&canvas, FBRUSH_SOLID, paint_context_get_fore_color(pc));
  const int32_t x = shape_truncate(flood->seed_x * scale);
  const int32_t y = shape_truncate(flood->seed_y * scale);
  fcanvas_flood_fill(&canvas, x, y, shape_flood_tolerance(paint_context_get_zoom(pc)));
  fcanvas_release(&canvas);
  if (renderer) cairo_surface_mark_dirty(cairo_get_target(renderer));
  paint_context_repaint(pc, nullptr, 0);
}

int flood_on_pen(Shape* shape, int32_t event, int32_t x, int32_t y, uint32_t modifiers) {
  (void)modifiers;
  ShapeFlood* flood = flood_of(shape);
  PaintContext* pc = shape->context;
  if (event == FPOINTER_DOWN) {
    shape->active = 1;
    const FPoint view = paint_context_get_view(pc);
    flood->seed_x = x - view.x;
    flood->seed_y = y - view.y;
    const FBitmap* painting = paint_context_get_painting(pc);
    if (!painting || flood->seed_x < 0 || flood->seed_y < 0 ||
        flood->seed_x >= fbitmap_get_width(painting) ||
        flood->seed_y >= fbitmap_get_height(painting))
      return 1;
    shape_draw(shape, paint_context_get_renderer(pc), nullptr, 1.0);
    uint8_t data[SHAPE_FLOOD_DATA_SIZE];
    fbytes_put_i32(data, flood->seed_x);
    fbytes_put_i32(data + 4, flood->seed_y);
    paint_history_add(shape->history, static_cast<int32_t>(shape->id), data, sizeof data);
    return 1;
  }
  if (!shape->active) return 0;
  if (event == FPOINTER_MOVE) return 1;
  if (event == FPOINTER_UP) {
    shape->active = 0;
    shape_reset(shape);
    return 1;
  }
  return 0;
}

}  // namespace

Shape* shape_flood_create(uint32_t id, const char16_t* name, PaintContext* context,
                          PaintHistory* history, void* owner) {
  auto* flood = static_cast<ShapeFlood*>(std::calloc(1, sizeof(ShapeFlood)));
  if (!flood) return nullptr;
  shape_init(&flood->head, id, name, context, history, owner);
  flood->seed_x = -1;
  flood->seed_y = -1;
  shape_set_on_pen(&flood->head, flood_on_pen);
  shape_set_draw(&flood->head, flood_draw);
  shape_set_reset(&flood->head, flood_reset);
  shape_set_load(&flood->head, flood_load);
  return &flood->head;
}

int32_t shape_flood_tolerance(double zoom) {
  if (zoom >= 0.25) return 32;
  if (zoom >= 0.125) return 16;
  return 0;
}

void shape_flood_destroy(Shape* shape) {
  ShapeFlood* flood = flood_of(shape);
  shape_release(shape);
  std::free(flood);
}
