// The pan tool. Each pen move shifts the paint context's view position by the pen's
// motion, tells the application (which shows the thumbnail navigator) and repaints the
// whole screen; the painting's pixels never change.

#include "shape_position.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>

#include "fplatform.h"
#include "fsurface.h"
#include "paint_context.h"

namespace {

ShapePosition* position_of(Shape* shape) {
  FCHECK(shape != nullptr, "shape!=null");
  return reinterpret_cast<ShapePosition*>(shape);
}

// The view is not limited; it is only kept inside the 32-bit range so that a long drag
// can never wrap it around.
int32_t view_add(int32_t view, int32_t to, int32_t from) {
  const int64_t moved = static_cast<int64_t>(view) + to - from;
  return static_cast<int32_t>(std::clamp<int64_t>(moved, INT32_MIN, INT32_MAX));
}

int position_on_pen(Shape* shape, int32_t event, int32_t x, int32_t y, uint32_t modifiers) {
  (void)modifiers;
  ShapePosition* pan = position_of(shape);
  PaintContext* pc = shape->context;
  if (event == FPOINTER_DOWN) {
    shape->active = 1;
    pan->last_x = x;
    pan->last_y = y;
    return 1;
  }
  if (!shape->active) return 0;
  if (event == FPOINTER_MOVE) {
    const FPoint view = paint_context_get_view(pc);
    paint_context_set_view(pc, view_add(view.x, x, pan->last_x), view_add(view.y, y, pan->last_y));
    if (pan->on_moved) pan->on_moved(shape);
    paint_context_repaint(pc, nullptr, 1);
    pan->last_x = x;
    pan->last_y = y;
    return 1;
  }
  if (event == FPOINTER_UP) {
    shape->active = 0;
    return 1;
  }
  return 0;
}

}  // namespace

Shape* shape_position_create(uint32_t id, const char16_t* name, PaintContext* context,
                             PaintHistory* history, void* owner) {
  auto* pan = static_cast<ShapePosition*>(std::calloc(1, sizeof(ShapePosition)));
  if (!pan) return nullptr;
  shape_init(&pan->head, id, name, context, history, owner);
  shape_set_on_pen(&pan->head, position_on_pen);
  return &pan->head;
}

ShapePositionMovedFn shape_position_set_moved(Shape* shape, ShapePositionMovedFn fn) {
  ShapePosition* pan = position_of(shape);
  ShapePositionMovedFn previous = pan->on_moved;
  pan->on_moved = fn;
  return previous;
}

void shape_position_destroy(Shape* shape) {
  ShapePosition* pan = position_of(shape);
  shape_release(shape);
  std::free(pan);
}
