// The common head of the drawing tools: identity, texts and the four operation slots.
// Everything a tool does goes through the slots, so the paint view and the history never
// need to know which tool they are talking to.
#include "shape.h"

#include "fbytes.h"
#include "fplatform.h"
#include "fsurface.h"
#include "paint_context.h"
#include "paint_history.h"
#include "win_ao.h"

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

// ---- Two-point tools --------------------------------------------------------------------
//
//   pen down -> save visible -> moves: end + signal preview
//   preview job -> restore visible -> draw(renderer, 1.0) -> shape_damage -> repaint
//   pen up -> paint_history_add(id, 16 bytes) unless start == end
//
// The painting already holds the last preview frame when the pen comes up, so that frame
// is the committed drawing; the step only records how to draw it again.

namespace {

void run_two_point_preview(FActiveObject* job, void* context) {
  (void)job;
  auto* shape = static_cast<ShapeTwoPoint*>(context);
  PaintContext* pc = shape->head.context;
  paint_context_restore_visible(pc);
  shape_draw(&shape->head, paint_context_get_renderer(pc), nullptr, 1.0);
}

ShapeTwoPoint* two_point(Shape* shape) {
  FCHECK(shape != nullptr, "shape!=null");
  return reinterpret_cast<ShapeTwoPoint*>(shape);
}

}  // namespace

int shape_two_point_init(ShapeTwoPoint* shape, uint32_t id, const char16_t* name,
                         PaintContext* context, PaintHistory* history, int32_t style,
                         void* owner) {
  FCHECK(shape != nullptr, "shape!=null");
  shape_init(&shape->head, id, name, context, history, owner);
  shape->start_x = shape->start_y = shape->end_x = shape->end_y = 0;
  shape->preview_job = nullptr;
  shape->damaged = {0, 0, 0, 0};
  shape->style = style;
  shape_set_on_pen(&shape->head, shape_two_point_on_pen);
  shape_set_load(&shape->head, shape_two_point_load);
  return 1;
}

void shape_two_point_release(ShapeTwoPoint* shape) {
  FCHECK(shape != nullptr, "shape!=null");
  if (shape->preview_job) {
    fao_destroy(shape->preview_job);  // cancels a pending run first
    shape->preview_job = nullptr;
  }
  shape_release(&shape->head);
}

void shape_two_point_schedule_preview(ShapeTwoPoint* shape) {
  FCHECK(shape != nullptr, "shape!=null");
  if (!shape->preview_job) {
    shape->preview_job = fao_create();
    if (!shape->preview_job) return;
    fao_set_context(shape->preview_job, shape);
    fao_set_run(shape->preview_job, run_two_point_preview);
  }
  // Several moves before the next idle turn give one redraw.
  fao_cancel(shape->preview_job);
  fao_signal(shape->preview_job);
}

int shape_two_point_on_pen(Shape* base, int32_t event, int32_t x, int32_t y,
                           uint32_t modifiers) {
  (void)modifiers;
  ShapeTwoPoint* shape = two_point(base);
  PaintContext* pc = base->context;
  FPoint view = paint_context_get_view(pc);
  if (event == FPOINTER_DOWN) {
    shape_reset(base);
    base->active = 1;
    shape->start_x = shape->end_x = x - view.x;
    shape->start_y = shape->end_y = y - view.y;
    paint_context_save_visible(pc);
    return 1;
  }
  if (!base->active) return 0;
  if (event == FPOINTER_MOVE) {
    shape->end_x = x - view.x;
    shape->end_y = y - view.y;
    shape_two_point_schedule_preview(shape);
    return 1;
  }
  if (event == FPOINTER_UP) {
    if (shape->start_x != shape->end_x || shape->start_y != shape->end_y) {
      uint8_t data[SHAPE_TWO_POINT_DATA_SIZE];
      fbytes_put_i32(data, shape->start_x);
      fbytes_put_i32(data + 4, shape->start_y);
      fbytes_put_i32(data + 8, shape->end_x);
      fbytes_put_i32(data + 12, shape->end_y);
      paint_history_add(base->history, static_cast<int32_t>(base->id), data, sizeof data);
    }
    base->active = 0;
    shape_reset(base);
    return 1;
  }
  return 0;
}

void shape_two_point_load(Shape* base, const uint8_t* data, int32_t size) {
  ShapeTwoPoint* shape = two_point(base);
  if (!data || size != SHAPE_TWO_POINT_DATA_SIZE) return;
  shape->start_x = fbytes_get_i32(data);
  shape->start_y = fbytes_get_i32(data + 4);
  shape->end_x = fbytes_get_i32(data + 8);
  shape->end_y = fbytes_get_i32(data + 12);
}

// ---- Drawing set-up ---------------------------------------------------------------------

double shape_begin_draw(Shape* shape, cairo_t* cr, ShapeCap cap, ShapeJoin join) {
  FCHECK(shape != nullptr, "shape!=null");
  PaintContext* pc = shape->context;
  double width = paint_context_get_pen_size(pc) * paint_context_get_zoom(pc);
  cairo_set_line_width(cr, width);
  cairo_set_source_rgba(cr, paint_context_get_fore_red(pc), paint_context_get_fore_green(pc),
                        paint_context_get_fore_blue(pc), paint_context_get_fore_alpha(pc));
  if (join == ShapeJoin::round) cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
  if (cap == ShapeCap::round) cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
  return width;
}

void shape_begin_path(cairo_t* cr, double scale) {
  if (scale != 1.0) {
    cairo_save(cr);
    cairo_scale(cr, scale, scale);
  }
}

void shape_end_path(cairo_t* cr, double scale) {
  if (scale != 1.0) cairo_restore(cr);
}

void shape_damage(Shape* shape, FRect* damaged, FRect bounds, double width) {
  FCHECK(shape != nullptr, "shape!=null");
  FRect b = frect_normalized(bounds);
  double grow = width + 1.0;
  FRect widened{static_cast<int32_t>(b.left - grow), static_cast<int32_t>(b.top - grow),
                static_cast<int32_t>(b.right + grow), static_cast<int32_t>(b.bottom + grow)};
  FRect area = frect_union(frect_normalized(*damaged), widened);
  paint_context_repaint(shape->context, &area, 0);
  *damaged = area;
}
