// The common head of the drawing tools: identity, texts and the four operation slots.
// Everything a tool does goes through the slots, so the paint view and the history never
// need to know which tool they are talking to.
#include "shape.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

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
//   preview job -> restore visible -> draw(renderer, 1.0) clipped to the visible part
//                -> shape_damage -> repaint
//   pen up -> restore visible -> draw(renderer, 1.0) whole -> paint_history_add(id, 16 bytes)
//
// Only the visible part of the painting is backed up, so a preview frame may touch nothing
// else: a figure that reaches past the screen's edge would otherwise leave every frame's
// off-screen part in the painting. Pen up therefore draws the final figure once more over
// the whole painting, which is also what a replay of the step draws, and it does so before
// the step is recorded so that a checkpoint written for the step holds the figure even when
// the last preview had not run yet.

namespace {

// The painting's pixels that lie on the screen (the part the backup covers), in painting
// coordinates; may be empty.
void clip_to_visible(PaintContext* pc, cairo_t* cr) {
  FPoint view = paint_context_get_view(pc);
  int64_t sx = std::max<int64_t>(-static_cast<int64_t>(view.x), 0);
  int64_t sy = std::max<int64_t>(-static_cast<int64_t>(view.y), 0);
  int64_t width = paint_context_get_screen_width(pc) - std::max(view.x, 0);
  int64_t height = paint_context_get_screen_height(pc) - std::max(view.y, 0);
  cairo_new_path(cr);
  cairo_rectangle(cr, static_cast<double>(sx), static_cast<double>(sy),
                  static_cast<double>(std::max<int64_t>(width, 0)),
                  static_cast<double>(std::max<int64_t>(height, 0)));
  cairo_clip(cr);
}

enum class FrameArea { visible, whole };

void draw_two_point_frame(ShapeTwoPoint* shape, FrameArea area) {
  PaintContext* pc = shape->head.context;
  cairo_t* cr = paint_context_get_renderer(pc);
  paint_context_restore_visible(pc);
  if (!cr) return;
  if (area == FrameArea::whole) {
    shape_draw(&shape->head, cr, nullptr, 1.0);
    return;
  }
  cairo_save(cr);
  clip_to_visible(pc, cr);
  shape_draw(&shape->head, cr, nullptr, 1.0);
  cairo_restore(cr);
}

void run_two_point_preview(FActiveObject* job, void* context) {
  (void)job;
  draw_two_point_frame(static_cast<ShapeTwoPoint*>(context), FrameArea::visible);
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
    bool moved = shape->start_x != shape->end_x || shape->start_y != shape->end_y;
    bool pending = shape->preview_job && fao_is_pending(shape->preview_job);
    // A pen that came back to its start keeps the frame already drawn, unless that frame
    // is still waiting to run; a pen that never moved has drawn nothing and draws nothing.
    if (moved || pending) {
      if (pending) fao_cancel(shape->preview_job);
      draw_two_point_frame(shape, FrameArea::whole);
    }
    if (moved) {
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
  FRect widened{shape_truncate(b.left - grow), shape_truncate(b.top - grow),
                shape_truncate(b.right + grow), shape_truncate(b.bottom + grow)};
  FRect area = frect_union(frect_normalized(*damaged), widened);
  paint_context_repaint(shape->context, &area, 0);
  *damaged = area;
}

int32_t shape_truncate(double value) {
  if (std::isnan(value)) return 0;
  if (value <= static_cast<double>(INT32_MIN)) return INT32_MIN;
  if (value >= static_cast<double>(INT32_MAX)) return INT32_MAX;
  return static_cast<int32_t>(value);
}
