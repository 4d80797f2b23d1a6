// The colour picker (tool 8): reads the painting's colour under the pen while a small
// swatch floating above the pen shows it, and hands the last colour to the application
// at pen up. It records no step.
#pragma once

#include <cstdint>

#include "frect.h"
#include "shape.h"

struct FControl;

// `color` is 0x00BBGGRR: red in the low byte, then green, then blue.
using ShapeStrawPickedFn = void (*)(Shape* shape, uint32_t color);

struct ShapeStraw {
  Shape head;
  FControl* swatch;  // owned, only while the pen is down on a screen
  uint32_t color;    // last colour read, 0x00BBGGRR
  ShapeStrawPickedFn on_picked;  // may be null
};

// A new colour picker, or null when memory is short; the caller frees it with
// shape_straw_destroy. `name` is copied (63 characters at most); context, history and
// owner are not owned.
Shape* shape_straw_create(uint32_t id, const char16_t* name, PaintContext* context,
                          PaintHistory* history, void* owner);

uint32_t shape_straw_get_color(const Shape* shape);  // 0x00BBGGRR
// The swatch's place for a pen at (x, y) on a screen of the given size: above the pen,
// its centre 5 pixels to its left, 22 pixels wide on a low-resolution screen and 45
// otherwise, moved back inside the screen (5 pixels from the left and top edges).
FRect shape_straw_swatch_rect(int32_t x, int32_t y, int32_t screen_width, int32_t screen_height);

// Returns the callback it replaces.
ShapeStrawPickedFn shape_straw_set_picked(Shape* shape, ShapeStrawPickedFn fn);

// Destroys a swatch still shown, then frees the tool.
void shape_straw_destroy(Shape* shape);
