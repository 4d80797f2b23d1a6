// The curve tool: one cubic Bezier curve, P0 to P1 with the control points C1 and C2.
// The first drag works like a line: P1 follows the pen and the control points sit at the
// thirds of the line, so the curve starts straight. Its pen up shows four handles (drawn
// into the painting itself, translucent grey circles) and hands the screen's pen input to
// an invisible capture control, whose pen handler leads every contact back here wherever
// it lands. A drag from a handle moves that point; a tap away from every handle commits
// the curve as one step, removes the handles and destroys the control.
//
//   first drag:  down -> all points = pen, save visible; moves -> P1, C1, C2 -> redraw
//   first up:    editing = 1 -> handle boxes -> redraw (with handles) -> capture control
//   editing:     down -> hit test; moves -> selected point -> redraw; up -> handle boxes
//   tap away:    editing = 0 -> last frame now, whole painting -> control destroyed
//                -> paint_history_add(10, 64 bytes)
//   redraw job:  restore visible -> clip to visible -> draw(renderer, 1.0) [+ handles]
//
// Only the visible part of the painting is backed up, so preview frames (and the handles)
// are clipped to it; the committing frame draws the curve once more without a clip, which
// is what a replay of the step draws, and it does so before the step is recorded so that
// a checkpoint taken for the step never holds the handles.

#include "shape_curve.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdlib>
#include <new>

#include "fbytes.h"
#include "fcanvas.h"
#include "fcontrol.h"
#include "fplatform.h"
#include "fsurface.h"
#include "paint_context.h"
#include "paint_history.h"
#include "win_ao.h"

namespace {

enum class FrameArea { visible, whole };

// The capture control: a plain control with the curve it serves behind it; the control
// comes first so that its pen handler finds the record, as a subclass finds itself.
struct CurveCapture {
  FControl control;
  ShapeCurve* curve;  // not owned
};

ShapeCurve* curve_of(Shape* shape) {
  FCHECK(shape != nullptr, "shape!=null");
  return reinterpret_cast<ShapeCurve*>(shape);
}

int32_t view_coordinate(int32_t screen, int32_t view) {
  int64_t v = int64_t{screen} - view;
  return static_cast<int32_t>(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX));
}

void put_f64(uint8_t* out, double value) {
  uint64_t bits = std::bit_cast<uint64_t>(value);
  fbytes_put_u32(out, static_cast<uint32_t>(bits));
  fbytes_put_u32(out + 4, static_cast<uint32_t>(bits >> 32));
}

double get_f64(const uint8_t* in) {
  uint64_t bits = uint64_t{fbytes_get_u32(in)} | (uint64_t{fbytes_get_u32(in + 4)} << 32);
  return std::bit_cast<double>(bits);
}

// The painting's pixels that lie on the screen, in painting coordinates; false when none.
bool visible_rect(PaintContext* pc, FRect* out) {
  FPoint view = paint_context_get_view(pc);
  int64_t sx = std::max<int64_t>(-int64_t{view.x}, 0);
  int64_t sy = std::max<int64_t>(-int64_t{view.y}, 0);
  int64_t width = int64_t{paint_context_get_screen_width(pc)} - std::max(view.x, 0);
  int64_t height = int64_t{paint_context_get_screen_height(pc)} - std::max(view.y, 0);
  if (width < 1 || height < 1) return false;
  auto clamp32 = [](int64_t v) {
    return static_cast<int32_t>(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX));
  };
  *out = FRect{clamp32(sx), clamp32(sy), clamp32(sx + width - 1), clamp32(sy + height - 1)};
  return true;
}

double line_width(const PaintContext* pc) {
  return paint_context_get_pen_size(pc) * paint_context_get_zoom(pc);
}

// ---- Handles ------------------------------------------------------------------------------

// Hit areas: squares of half size max(trunc(line width) / 2 + 10, 10) around each point.
void update_boxes(ShapeCurve* c) {
  const int64_t width = shape_truncate(line_width(c->head.context));
  const double h = static_cast<double>(std::max<int64_t>(width / 2 + 10, 10));
  for (int i = 0; i < 4; ++i) {
    const ShapeCurvePoint& p = c->points[i];
    c->boxes[i] = FRect{shape_truncate(p.x - h), shape_truncate(p.y - h), shape_truncate(p.x + h),
                        shape_truncate(p.y + h)};
  }
}

// The first handle in the order P0, P1, C1, C2 whose box holds the point, or NO_HANDLE.
int32_t hit_handle(const ShapeCurve* c, int32_t x, int32_t y) {
  for (int32_t i = 0; i < 4; ++i) {
    const FRect& b = c->boxes[i];
    if (b.left <= x && x < b.right && b.top <= y && y < b.bottom) return i;
  }
  return SHAPE_CURVE_NO_HANDLE;
}

// Circles of radius max(trunc(width / 2 + 10), 10) around the four points, written into
// the painting with the framework canvas and kept to its visible part (the part the next
// frame puts back). Returns the radius.
int32_t draw_handles(ShapeCurve* c, cairo_t* cr, double width) {
  int32_t radius = std::max(shape_truncate(width * 0.5 + 10.0), 10);
  PaintContext* pc = c->head.context;
  FBitmap* painting = paint_context_get_painting(pc);
  FRect visible;
  if (!painting || !visible_rect(pc, &visible)) return radius;
  // cairo is told about pixels written behind its back.
  cairo_surface_t* target = cairo_get_target(cr);
  cairo_surface_flush(target);
  FCanvas canvas{};
  fcanvas_attach(&canvas, painting);
  fcanvas_set_pen(&canvas, FPEN_SOLID, 1, fcolor_make(64, 64, 64, 64));
  fcanvas_set_brush(&canvas, FBRUSH_SOLID, fcolor_make(128, 128, 128, 96));
  fcanvas_set_clip(&canvas, &visible);
  for (const ShapeCurvePoint& p : c->points) {
    fcanvas_circle(&canvas, shape_truncate(p.x), shape_truncate(p.y), radius);
  }
  fcanvas_release(&canvas);
  cairo_surface_mark_dirty(target);
  return radius;
}

// ---- The painter ----------------------------------------------------------------------------

void draw_curve(Shape* base, cairo_t* cr, void* unused, double scale) {
  (void)unused;
  ShapeCurve* c = curve_of(base);
  if (!cr || !c->drawable) return;
  const ShapeCurvePoint& p0 = c->points[SHAPE_CURVE_START];
  const ShapeCurvePoint& p1 = c->points[SHAPE_CURVE_END];
  const ShapeCurvePoint& c1 = c->points[SHAPE_CURVE_CONTROL1];
  const ShapeCurvePoint& c2 = c->points[SHAPE_CURVE_CONTROL2];
  cairo_save(cr);
  double width = shape_begin_draw(base, cr, ShapeCap::round, ShapeJoin::keep);
  shape_begin_path(cr, scale);
  cairo_new_path(cr);
  cairo_move_to(cr, p0.x, p0.y);
  cairo_curve_to(cr, c1.x, c1.y, c2.x, c2.y, p1.x, p1.y);
  shape_end_path(cr, scale);
  cairo_stroke(cr);
  cairo_restore(cr);

  double grow = width;
  if (c->editing) grow += draw_handles(c, cr, width);
  FRect bounds{shape_truncate(p0.x), shape_truncate(p0.y), shape_truncate(p0.x),
               shape_truncate(p0.y)};
  for (const ShapeCurvePoint& p : c->points) {
    bounds = frect_union(bounds, FRect{shape_truncate(p.x), shape_truncate(p.y),
                                       shape_truncate(p.x), shape_truncate(p.y)});
  }
  shape_damage(base, &c->damaged, bounds, grow);
}

// ---- Frames -------------------------------------------------------------------------------

void curve_draw_frame(ShapeCurve* c, FrameArea area) {
  PaintContext* pc = c->head.context;
  cairo_t* cr = paint_context_get_renderer(pc);
  paint_context_restore_visible(pc);
  if (!cr) return;
  if (area == FrameArea::whole) {
    shape_draw(&c->head, cr, nullptr, 1.0);
    return;
  }
  FRect visible;
  if (!visible_rect(pc, &visible)) return;
  cairo_save(cr);
  cairo_new_path(cr);
  cairo_rectangle(cr, visible.left, visible.top, frect_width(visible), frect_height(visible));
  cairo_clip(cr);
  shape_draw(&c->head, cr, nullptr, 1.0);
  cairo_restore(cr);
}

void run_curve_job(FActiveObject* job, void* context) {
  (void)job;
  curve_draw_frame(static_cast<ShapeCurve*>(context), FrameArea::visible);
}

// One redraw at the next idle turn, however many moves come before it.
void schedule_redraw(ShapeCurve* c) {
  if (!c->preview_job) {
    c->preview_job = fao_create();
    if (!c->preview_job) return;
    fao_set_context(c->preview_job, c);
    fao_set_run(c->preview_job, run_curve_job);
  }
  fao_cancel(c->preview_job);
  fao_signal(c->preview_job);
}

// ---- The capture control ------------------------------------------------------------------

int32_t capture_on_pen(FControl* control, int32_t type, int32_t x, int32_t y,
                       uint32_t modifiers) {
  // A top-level control gets screen coordinates, which is what the curve expects. The
  // curve may destroy this control on the way (the committing tap).
  ShapeCurve* curve = reinterpret_cast<CurveCapture*>(control)->curve;
  return shape_on_pen(&curve->head, type, x, y, modifiers);
}

void compose_nothing(FSurface* surface, FCanvas* target, const FRect* rect) {
  (void)surface;
  (void)target;
  (void)rect;
}

// The control is listed first on the screen and holds the capture, so the next contact
// reaches the curve wherever it lands; after that contact's pen up (which ends the
// capture) it still comes first in the list and keeps forwarding. It composes nothing.
// Without memory for it the curve stays editable through the ordinary pen path.
void capture_begin(ShapeCurve* c) {
  if (c->capture) return;
  auto* capture = static_cast<CurveCapture*>(std::calloc(1, sizeof(CurveCapture)));
  if (!capture) return;
  const FRect smallest{0, 0, 0, 0};
  if (!fcontrol_init(&capture->control, nullptr, &smallest, 0)) {
    std::free(capture);
    return;
  }
  capture->curve = c;
  fcontrol_set_pen_handler(&capture->control, capture_on_pen);
  fsurface_set_on_compose(&capture->control.surface, compose_nothing);
  fcontrol_show(&capture->control);
  fsurface_set_capture(&capture->control.surface, 1);
  c->capture = &capture->control;
}

void capture_end(ShapeCurve* c) {
  if (!c->capture) return;
  FControl* control = c->capture;
  c->capture = nullptr;
  fsurface_set_capture(&control->surface, 0);
  fcontrol_deinit(control);
  std::free(reinterpret_cast<CurveCapture*>(control));
}

// ---- Pen ----------------------------------------------------------------------------------

// The first drag keeps the curve straight: the control points sit at the thirds of the
// line P0-P1. A vertical line has no slope to follow, so they stay where they are.
void place_on_line(ShapeCurve* c, ShapeCurvePoint pen) {
  ShapeCurvePoint& p0 = c->points[SHAPE_CURVE_START];
  ShapeCurvePoint& p1 = c->points[SHAPE_CURVE_END];
  p1 = pen;
  double dx = p1.x - p0.x;
  if (dx == 0) return;
  double dy = p1.y - p0.y;
  ShapeCurvePoint& c1 = c->points[SHAPE_CURVE_CONTROL1];
  ShapeCurvePoint& c2 = c->points[SHAPE_CURVE_CONTROL2];
  c1.x = p0.x + dx / 3;
  c1.y = p0.y + (c1.x - p0.x) * dy / dx;
  c2.x = p0.x + 2 * dx / 3;
  c2.y = p0.y + (c2.x - p0.x) * dy / dx;
}

void commit(ShapeCurve* c) {
  c->editing = 0;
  c->selected = SHAPE_CURVE_NO_HANDLE;
  if (c->preview_job) fao_cancel(c->preview_job);
  curve_draw_frame(c, FrameArea::whole);
  capture_end(c);
  uint8_t data[SHAPE_CURVE_DATA_SIZE];
  for (int i = 0; i < 4; ++i) {
    put_f64(data + 16 * i, c->points[i].x);
    put_f64(data + 16 * i + 8, c->points[i].y);
  }
  paint_history_add(c->head.history, static_cast<int32_t>(c->head.id), data, sizeof data);
}

int curve_on_pen(Shape* base, int32_t event, int32_t x, int32_t y, uint32_t modifiers) {
  (void)modifiers;
  ShapeCurve* c = curve_of(base);
  PaintContext* pc = base->context;
  FPoint view = paint_context_get_view(pc);
  const int32_t vx = view_coordinate(x, view.x), vy = view_coordinate(y, view.y);
  const ShapeCurvePoint pen{static_cast<double>(vx), static_cast<double>(vy)};
  if (event == FPOINTER_DOWN) {
    base->active = 1;
    if (c->editing) {
      c->selected = hit_handle(c, vx, vy);
      return 1;
    }
    for (ShapeCurvePoint& p : c->points) p = pen;
    c->drawable = 1;
    paint_context_save_visible(pc);
    return 1;
  }
  if (!base->active) return 0;
  if (event == FPOINTER_MOVE) {
    if (c->editing) {
      if (c->selected == SHAPE_CURVE_NO_HANDLE) return 1;
      c->points[c->selected] = pen;
    } else {
      place_on_line(c, pen);
    }
    schedule_redraw(c);
    return 1;
  }
  if (event == FPOINTER_UP) {
    base->active = 0;
    if (!c->editing) {
      c->editing = 1;
      c->selected = SHAPE_CURVE_NO_HANDLE;
      update_boxes(c);
      schedule_redraw(c);
      capture_begin(c);
    } else if (c->selected == SHAPE_CURVE_NO_HANDLE) {
      commit(c);
    } else {
      update_boxes(c);
    }
    return 1;
  }
  return 0;
}

// Exactly 64 bytes of finite coordinates. Anything else is no curve of ours and the step
// draws nothing: a NaN or an infinity would put cairo's shared renderer into an error
// state for good. Finite coordinates are kept within SHAPE_CURVE_COORDINATE_LIMIT.
void curve_load(Shape* base, const uint8_t* data, int32_t size) {
  ShapeCurve* c = curve_of(base);
  c->drawable = 0;
  if (!data || size != SHAPE_CURVE_DATA_SIZE) return;
  ShapeCurvePoint loaded[4];
  for (int i = 0; i < 4; ++i) {
    double x = get_f64(data + 16 * i), y = get_f64(data + 16 * i + 8);
    if (!std::isfinite(x) || !std::isfinite(y)) return;
    loaded[i].x = std::clamp(x, -SHAPE_CURVE_COORDINATE_LIMIT, SHAPE_CURVE_COORDINATE_LIMIT);
    loaded[i].y = std::clamp(y, -SHAPE_CURVE_COORDINATE_LIMIT, SHAPE_CURVE_COORDINATE_LIMIT);
  }
  std::copy(loaded, loaded + 4, c->points);
  c->drawable = 1;
}

}  // namespace

Shape* shape_curve_create(uint32_t id, const char16_t* name, PaintContext* context,
                          PaintHistory* history, void* owner) {
  ShapeCurve* c = new (std::nothrow) ShapeCurve{};
  if (!c) return nullptr;
  shape_init(&c->head, id, name, context, history, owner);
  c->damaged = FRect{0, 0, 0, 0};
  c->selected = SHAPE_CURVE_NO_HANDLE;
  shape_set_on_pen(&c->head, curve_on_pen);
  shape_set_draw(&c->head, draw_curve);
  shape_set_load(&c->head, curve_load);
  return &c->head;
}

int shape_curve_finish(Shape* shape) {
  ShapeCurve* c = curve_of(shape);
  if (!c->editing || shape->active) return 0;
  commit(c);
  return 1;
}

void shape_curve_destroy(Shape* shape) {
  ShapeCurve* c = curve_of(shape);
  if (c->preview_job) fao_destroy(c->preview_job);  // cancels a pending run first
  c->preview_job = nullptr;
  capture_end(c);
  shape_release(&c->head);
  delete c;
}
