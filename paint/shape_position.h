// The pan tool (tool 6, "Pan"): moves the painting under the pen by moving the paint
// context's view position. It draws nothing and records no step.
#pragma once

#include <cstdint>

#include "shape.h"

using ShapePositionMovedFn = void (*)(Shape* shape);

struct ShapePosition {
  Shape head;
  int32_t last_x, last_y;  // last pen point, screen coordinates
  ShapePositionMovedFn on_moved;  // after each move of the view; may be null
};

// A new pan tool, or null when memory is short; the caller frees it with
// shape_position_destroy. `name` is copied (63 characters at most); context, history and
// owner are not owned.
Shape* shape_position_create(uint32_t id, const char16_t* name, PaintContext* context,
                             PaintHistory* history, void* owner);
// Returns the callback it replaces.
ShapePositionMovedFn shape_position_set_moved(Shape* shape, ShapePositionMovedFn fn);
void shape_position_destroy(Shape* shape);
