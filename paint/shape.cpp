// The common head of the drawing tools: identity, texts and the four operation slots.
// Everything a tool does goes through the slots, so the paint view and the history never
// need to know which tool they are talking to.
#include "shape.h"

#include "fplatform.h"

namespace {

void copy_text(char16_t* out, int capacity, const char16_t* text) {
  int length = 0;
  if (text) {
    while (length < capacity - 1 && text[length] != 0) {
      out[length] = text[length];
      ++length;
    }
  }
  for (int i = length; i < capacity; ++i) out[i] = 0;
}

}  // namespace

int shape_init(Shape* shape, uint32_t id, const char16_t* name, PaintContext* context,
               PaintHistory* history, void* owner) {
  FCHECK(shape != nullptr, "shape!=null");
  shape->id = id;
  copy_text(shape->name, SHAPE_NAME_LENGTH, name);
  copy_text(shape->tip, SHAPE_TIP_LENGTH, nullptr);
  shape->on_pen = nullptr;
  shape->draw = nullptr;
  shape->reset = nullptr;
  shape->load = nullptr;
  shape->active = 0;
  shape->context = context;
  shape->history = history;
  shape->owner = owner;
  return 1;
}

void shape_release(Shape* shape) {
  FCHECK(shape != nullptr, "shape!=null");
  shape->on_pen = nullptr;
  shape->draw = nullptr;
  shape->reset = nullptr;
  shape->load = nullptr;
  shape->active = 0;
}

uint32_t shape_get_id(const Shape* shape) {
  FCHECK(shape != nullptr, "shape!=null");
  return shape->id;
}

const char16_t* shape_get_name(const Shape* shape) {
  FCHECK(shape != nullptr, "shape!=null");
  return shape->name;
}

const char16_t* shape_get_tip(const Shape* shape) {
  FCHECK(shape != nullptr, "shape!=null");
  return shape->tip;
}

void shape_set_tip(Shape* shape, const char16_t* tip) {
  FCHECK(shape != nullptr, "shape!=null");
  copy_text(shape->tip, SHAPE_TIP_LENGTH, tip);
}

void shape_set_on_pen(Shape* shape, ShapePenFn fn) {
  FCHECK(shape != nullptr, "shape!=null");
  shape->on_pen = fn;
}

void shape_set_draw(Shape* shape, ShapeDrawFn fn) {
  FCHECK(shape != nullptr, "shape!=null");
  shape->draw = fn;
}

void shape_set_reset(Shape* shape, ShapeResetFn fn) {
  FCHECK(shape != nullptr, "shape!=null");
  shape->reset = fn;
}

void shape_set_load(Shape* shape, ShapeLoadFn fn) {
  FCHECK(shape != nullptr, "shape!=null");
  shape->load = fn;
}

void shape_set_active(Shape* shape, uint8_t active) {
  FCHECK(shape != nullptr, "shape!=null");
  shape->active = active;
}

int shape_on_pen(Shape* shape, int32_t event, int32_t x, int32_t y, uint32_t modifiers) {
  FCHECK(shape != nullptr, "shape!=null");
  return shape->on_pen ? shape->on_pen(shape, event, x, y, modifiers) : 0;
}

void shape_draw(Shape* shape, cairo_t* cr, void* unused, double scale) {
  FCHECK(shape != nullptr, "shape!=null");
  if (shape->draw) shape->draw(shape, cr, unused, scale);
}

void shape_reset(Shape* shape) {
  FCHECK(shape != nullptr, "shape!=null");
  if (shape->reset) shape->reset(shape);
}

void shape_load(Shape* shape, const uint8_t* data, int32_t size) {
  FCHECK(shape != nullptr, "shape!=null");
  if (shape->load) shape->load(shape, data, size);
}
