// The colour picker. The pen point is held to the painting, so a pen that slides off it
// keeps reading the nearest edge pixel; the swatch is a plain top-level control whose
// background drawer shows the colour, moved along above the pen so the finger does not
// hide it. Without a screen (headless use) the picker reads colours all the same.
//
//   pen down -> read -> swatch created and shown -> moves: read, swatch moved and redrawn
//   pen up -> swatch destroyed, its place repainted -> picked callback (last colour)

#include "shape_straw.h"

#include <algorithm>
#include <cstdlib>

#include "fbdrawer.h"
#include "fcontrol.h"
#include "fplatform.h"
#include "fscreen.h"
#include "fsurface.h"
#include "paint_config.h"
#include "paint_context.h"

namespace {

ShapeStraw* straw_of(Shape* shape) {
  FCHECK(shape != nullptr, "shape!=null");
  return reinterpret_cast<ShapeStraw*>(shape);
}

int32_t clamp_to(int64_t value, int64_t low, int64_t high) {
  return static_cast<int32_t>(std::clamp(value, low, std::max(low, high)));
}

// Reads the painting under the pen (held to the painting) into straw->color and returns
// the pen point it used, in screen coordinates.
FPoint straw_read(ShapeStraw* straw, int32_t x, int32_t y) {
  PaintContext* pc = straw->head.context;
  const FBitmap* painting = paint_context_get_painting(pc);
  const FPoint view = paint_context_get_view(pc);
  if (!painting) return FPoint{x, y};
  const int64_t width = fbitmap_get_width(painting), height = fbitmap_get_height(painting);
  const int32_t px = clamp_to(x, view.x, view.x + width - 1);
  const int32_t py = clamp_to(y, view.y, view.y + height - 1);
  if (cairo_t* renderer = paint_context_get_renderer(pc)) {
    cairo_surface_flush(cairo_get_target(renderer));  // cairo's drawing lands first
  }
  uint8_t bgra[4] = {0, 0, 0, 0};
  fbitmap_get_rgba(painting, px - view.x, py - view.y, bgra);
  straw->color = static_cast<uint32_t>(bgra[2]) | static_cast<uint32_t>(bgra[1]) << 8 |
                 static_cast<uint32_t>(bgra[0]) << 16;
  return FPoint{px, py};
}

// Shows the colour in the swatch at the place for the pen point, creating the swatch on
// the first call of a stroke. Does nothing without a screen.
void straw_show_swatch(ShapeStraw* straw, FPoint pen) {
  FScreen* screen = paint_context_get_owner(straw->head.context);
  if (!screen) return;
  const int32_t sw = fscreen_get_width(screen), sh = fscreen_get_height(screen);
  const FRect place = shape_straw_swatch_rect(pen.x, pen.y, sw, sh);
  if (!straw->swatch) {
    straw->swatch = fcontrol_create(nullptr, &place, 0);
    if (!straw->swatch) return;
    fcontrol_show(straw->swatch);
  }
  const uint32_t c = straw->color;
  if (FBDrawer* drawer = fcontrol_get_drawer(straw->swatch)) {
    fbdrawer_set_fill_color(drawer, fcolor_make(static_cast<uint8_t>(c), static_cast<uint8_t>(c >> 8),
                                                static_cast<uint8_t>(c >> 16), 255));
  }
  fcontrol_move_to(straw->swatch, place.left, place.top, 0);
  fcontrol_update(straw->swatch, nullptr);
}

void straw_drop_swatch(ShapeStraw* straw) {
  if (!straw->swatch) return;
  const FRect place = fsurface_get_rect(&straw->swatch->surface);
  fcontrol_destroy(straw->swatch);
  straw->swatch = nullptr;
  if (FScreen* screen = paint_context_get_owner(straw->head.context)) fscreen_paint(screen, &place);
}

int straw_on_pen(Shape* shape, int32_t event, int32_t x, int32_t y, uint32_t modifiers) {
  (void)modifiers;
  ShapeStraw* straw = straw_of(shape);
  if (event == FPOINTER_DOWN) {
    shape->active = 1;
    straw_show_swatch(straw, straw_read(straw, x, y));
    return 1;
  }
  if (!shape->active) return 0;
  if (event == FPOINTER_MOVE) {
    straw_show_swatch(straw, straw_read(straw, x, y));
    return 1;
  }
  if (event == FPOINTER_UP) {
    straw_drop_swatch(straw);
    shape->active = 0;
    if (straw->on_picked) straw->on_picked(shape, straw->color);
    return 1;
  }
  return 0;
}

}  // namespace

Shape* shape_straw_create(uint32_t id, const char16_t* name, PaintContext* context,
                          PaintHistory* history, void* owner) {
  auto* straw = static_cast<ShapeStraw*>(std::calloc(1, sizeof(ShapeStraw)));
  if (!straw) return nullptr;
  shape_init(&straw->head, id, name, context, history, owner);
  shape_set_on_pen(&straw->head, straw_on_pen);
  return &straw->head;
}

uint32_t shape_straw_get_color(const Shape* shape) {
  FCHECK(shape != nullptr, "shape!=null");
  return reinterpret_cast<const ShapeStraw*>(shape)->color;
}

FRect shape_straw_swatch_rect(int32_t x, int32_t y, int32_t screen_width, int32_t screen_height) {
  const bool low = paint_config_is_low_res(screen_width, screen_height) != 0;
  const int64_t half = low ? 11 : 22;
  const int64_t size = low ? 22 : 45;
  int64_t left = static_cast<int64_t>(x) - half - 5;
  int64_t top = static_cast<int64_t>(y) - size - 5;
  if (left < 5) left = 5;
  if (left + size - 1 > screen_width - 1) left = static_cast<int64_t>(screen_width) - size;
  if (top < 5) top = 5;
  if (top + size - 1 > screen_height - 1) top = static_cast<int64_t>(screen_height) - size;
  return FRect{static_cast<int32_t>(left), static_cast<int32_t>(top),
               static_cast<int32_t>(left + size - 1), static_cast<int32_t>(top + size - 1)};
}

ShapeStrawPickedFn shape_straw_set_picked(Shape* shape, ShapeStrawPickedFn fn) {
  ShapeStraw* straw = straw_of(shape);
  ShapeStrawPickedFn previous = straw->on_picked;
  straw->on_picked = fn;
  return previous;
}

void shape_straw_destroy(Shape* shape) {
  ShapeStraw* straw = straw_of(shape);
  straw_drop_swatch(straw);
  shape_release(shape);
  std::free(straw);
}
