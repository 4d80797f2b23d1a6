// The pencil and the eraser: free-hand strokes that follow every pen point. Pen moves
// only store the point and signal a deferred draw; each draw strokes the points gathered
// since the previous one as one run, appends them to the stroke (the geometry record, a
// separator in front of every run but the first) and keeps the run's last point as the
// start of the next run. The eraser is the pencil with another ink: the base picture at
// the current zoom, or the canvas colour of a blank painting.
//
//   pen down -> reset, first point (pencil: fore alpha 1..254 -> translucent, save visible)
//   pen move -> pending += point -> signal the job
//   job      -> [translucent: restore visible, clip to it] -> draw(renderer, 1.0)
//   draw     -> stroke += [separator] run -> path -> stroke -> repaint run box -> pending = last
//   pen up   -> pending += point -> draw at once, unclipped -> paint_history_add(id, stroke)
//
// A translucent pencil cannot stroke run after run: where runs meet, the colour would be
// laid on twice. It keeps the whole stroke's path in the renderer instead, and every frame
// puts back the saved visible area and strokes the whole path again. Only the visible part
// is saved, so those frames are clipped to it (anything drawn beyond would be darkened
// once per frame); the pen-up draw strokes the whole path once more without a clip, which
// is also exactly what a replay of the step draws.

#include "shape_pencil.h"

#include <algorithm>
#include <cstdlib>
#include <new>

#include "fbytes.h"
#include "fplatform.h"
#include "fsurface.h"
#include "paint_context.h"
#include "paint_history.h"
#include "win_ao.h"

namespace {

int32_t g_growth_limit = -1;  // test hook: largest capacity that may be allocated

enum class StrokeTool { pencil, eraser };
enum class FrameArea { visible, whole };

constexpr FPoint kSeparator{SHAPE_STROKE_SEPARATOR, SHAPE_STROKE_SEPARATOR};

ShapeStroke* stroke_of(Shape* shape) {
  FCHECK(shape != nullptr, "shape!=null");
  return reinterpret_cast<ShapeStroke*>(shape);
}

bool is_separator(FPoint p) { return p.x == kSeparator.x && p.y == kSeparator.y; }

// ---- Point arrays -----------------------------------------------------------------------

// An uninitialised block of `capacity` points; null when memory is short.
FPoint* points_alloc(int64_t capacity) {
  if (capacity < 1 || capacity > INT32_MAX) return nullptr;
  if (g_growth_limit >= 0 && capacity > g_growth_limit) return nullptr;
  return static_cast<FPoint*>(std::malloc(sizeof(FPoint) * static_cast<size_t>(capacity)));
}

// Moves the first `count` points into a block of `new_capacity`; false leaves the old one.
bool points_grow(FPoint** array, int32_t count, int32_t* capacity, int64_t new_capacity) {
  FPoint* bigger = points_alloc(new_capacity);
  if (!bigger) return false;
  std::copy(*array, *array + count, bigger);
  std::free(*array);
  *array = bigger;
  *capacity = static_cast<int32_t>(new_capacity);
  return true;
}

// Stores the point; once the array is full it grows by 1024 points. When that fails the
// points gathered so far are dropped (count 0) rather than the stroke being given up.
void points_append(FPoint** array, int32_t* count, int32_t* capacity, FPoint point) {
  // Only a loaded record can leave the array full (load grows it just enough).
  if (*count >= *capacity &&
      !points_grow(array, *count, capacity, int64_t{*capacity} + SHAPE_STROKE_GROWTH)) {
    *count = 0;
  }
  (*array)[(*count)++] = point;
  if (*count == *capacity &&
      !points_grow(array, *count, capacity, int64_t{*capacity} + SHAPE_STROKE_GROWTH)) {
    *count = 0;
  }
}

void pending_append(ShapeStroke* s, FPoint point) {
  points_append(&s->pending, &s->pending_count, &s->pending_capacity, point);
}

void stroke_append(ShapeStroke* s, FPoint point) {
  points_append(&s->stroke, &s->stroke_count, &s->stroke_capacity, point);
}

// A pen position in view coordinates. The view may come from a document, so the
// difference is formed in 64 bits and kept inside the i32 range.
int32_t view_coordinate(int32_t screen, int32_t view) {
  int64_t v = int64_t{screen} - view;
  return static_cast<int32_t>(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX));
}

// ---- The painter ------------------------------------------------------------------------

// The bounding box of a run's points (separators are markers, not places).
struct RunBounds {
  bool any = false;
  double left = 0, top = 0, right = 0, bottom = 0;
  void add(FPoint p) {
    if (!any) {
      left = right = p.x;
      top = bottom = p.y;
      any = true;
      return;
    }
    left = std::min<double>(left, p.x);
    top = std::min<double>(top, p.y);
    right = std::max<double>(right, p.x);
    bottom = std::max<double>(bottom, p.y);
  }
};

// A cairo surface over a 32-bit top-down bitmap's own pixels; null when the bitmap has
// another layout or cairo refuses it. The caller destroys it.
cairo_surface_t* surface_over(FBitmap* bitmap) {
  if (!bitmap || fbitmap_get_bpp(bitmap) != 32 || !fbitmap_is_top_down(bitmap)) return nullptr;
  int32_t width = fbitmap_get_width(bitmap), height = fbitmap_get_height(bitmap);
  int stride = cairo_format_stride_for_width(CAIRO_FORMAT_ARGB32, width);
  if (stride <= 0 || static_cast<uint32_t>(stride) != fbitmap_get_stride(bitmap)) return nullptr;
  cairo_surface_t* surface = cairo_image_surface_create_for_data(
      fbitmap_row(bitmap, 0), CAIRO_FORMAT_ARGB32, width, height, stride);
  if (cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS) {
    cairo_surface_destroy(surface);
    return nullptr;
  }
  return surface;
}

// The eraser's ink: what lies under every stroke. A painting started from a picture gets
// the picture at the current zoom, placed before any replay scale so that its pixels land
// on the painting's pixels one to one; a blank painting gets its canvas colour. Returns the
// surface to destroy once the renderer has let go of it, or null.
cairo_surface_t* set_eraser_source(PaintContext* pc, cairo_t* cr) {
  if (!paint_context_get_picture(pc)) {
    cairo_set_source_rgb(cr, paint_context_get_canvas_red(pc), paint_context_get_canvas_green(pc),
                         paint_context_get_canvas_blue(pc));
    return nullptr;
  }
  cairo_surface_t* picture = surface_over(paint_context_get_picture_scaled(pc));
  if (!picture) {
    cairo_set_source_rgb(cr, paint_context_get_back_red(pc), paint_context_get_back_green(pc),
                         paint_context_get_back_blue(pc));
    return nullptr;
  }
  cairo_set_source_surface(cr, picture, 0, 0);
  return picture;
}

void stroke_paint(ShapeStroke* s, cairo_t* cr, double scale, StrokeTool tool) {
  const int32_t n = s->pending_count;
  if (!cr || n < 1) return;
  PaintContext* pc = s->head.context;
  // Line width, cap and source stay with this draw: the eraser's picture source must not
  // outlive it in the renderer.
  cairo_save(cr);
  double width = shape_begin_draw(&s->head, cr, ShapeCap::round, ShapeJoin::keep);
  cairo_surface_t* picture = tool == StrokeTool::eraser ? set_eraser_source(pc, cr) : nullptr;
  shape_begin_path(cr, scale);

  RunBounds bounds;
  const FPoint first = s->pending[0];
  cairo_move_to(cr, first.x, first.y);
  if (s->stroke_count > 0) stroke_append(s, kSeparator);
  stroke_append(s, first);
  if (!is_separator(first)) bounds.add(first);
  for (int32_t i = 1; i < n; ++i) {
    FPoint p = s->pending[i];
    stroke_append(s, p);
    if (!is_separator(p)) {
      bounds.add(p);
      cairo_line_to(cr, p.x, p.y);
      continue;
    }
    if (i + 1 < n) {
      p = s->pending[++i];
      stroke_append(s, p);
      bounds.add(p);
      cairo_move_to(cr, p.x, p.y);
    }
  }

  shape_end_path(cr, scale);
  // The path is not part of the saved state: preserved, it outlives the restore below and
  // the next frame adds its run to it.
  if (tool == StrokeTool::pencil && s->translucent && s->head.active) {
    cairo_stroke_preserve(cr);
  } else {
    cairo_stroke(cr);
  }
  cairo_restore(cr);
  if (picture) cairo_surface_destroy(picture);

  if (bounds.any) {
    // Only this run changed pixels, so only its box is repainted, not a union.
    double grow = width + 1.0;
    FRect area{shape_truncate(bounds.left - grow), shape_truncate(bounds.top - grow),
               shape_truncate(bounds.right + grow), shape_truncate(bounds.bottom + grow)};
    paint_context_repaint(pc, &area, 0);
  }
  s->pending[0] = s->pending[n - 1];
  s->pending_count = 1;
}

void draw_pencil(Shape* shape, cairo_t* cr, void* unused, double scale) {
  (void)unused;
  stroke_paint(stroke_of(shape), cr, scale, StrokeTool::pencil);
}

void draw_rubber(Shape* shape, cairo_t* cr, void* unused, double scale) {
  (void)unused;
  stroke_paint(stroke_of(shape), cr, scale, StrokeTool::eraser);
}

// ---- Frames -----------------------------------------------------------------------------

// Clips the renderer to the painting's pixels that lie on the screen (the part the backup
// covers). The stroke's path kept from the previous frames would be consumed by the clip,
// so it is set aside and put back; if it cannot be copied the frame goes unclipped rather
// than losing the path.
void clip_to_visible(PaintContext* pc, cairo_t* cr) {
  cairo_path_t* kept = cairo_copy_path(cr);
  if (!kept) return;
  if (kept->status != CAIRO_STATUS_SUCCESS) {
    cairo_path_destroy(kept);
    return;
  }
  FPoint view = paint_context_get_view(pc);
  double sx = std::max<double>(-static_cast<double>(view.x), 0.0);
  double sy = std::max<double>(-static_cast<double>(view.y), 0.0);
  double width = paint_context_get_screen_width(pc) - std::max<double>(view.x, 0.0);
  double height = paint_context_get_screen_height(pc) - std::max<double>(view.y, 0.0);
  cairo_new_path(cr);
  cairo_rectangle(cr, sx, sy, std::max(width, 0.0), std::max(height, 0.0));
  cairo_clip(cr);
  cairo_append_path(cr, kept);
  cairo_path_destroy(kept);
}

// The draw-from-job: one frame of the stroke.
void stroke_draw_frame(ShapeStroke* s, FrameArea area) {
  PaintContext* pc = s->head.context;
  cairo_t* cr = paint_context_get_renderer(pc);
  if (!s->translucent) {
    shape_draw(&s->head, cr, nullptr, 1.0);
    return;
  }
  paint_context_restore_visible(pc);
  if (!cr || area == FrameArea::whole) {
    shape_draw(&s->head, cr, nullptr, 1.0);
    return;
  }
  cairo_save(cr);
  clip_to_visible(pc, cr);
  shape_draw(&s->head, cr, nullptr, 1.0);
  cairo_restore(cr);
}

void run_stroke_job(FActiveObject* job, void* context) {
  (void)job;
  stroke_draw_frame(static_cast<ShapeStroke*>(context), FrameArea::visible);
}

bool ensure_job(ShapeStroke* s) {
  if (s->preview_job) return true;
  s->preview_job = fao_create();
  if (!s->preview_job) return false;
  fao_set_context(s->preview_job, s);
  fao_set_run(s->preview_job, run_stroke_job);
  return true;
}

// The step: the stroke's points, x then y as i32 little-endian. Short of memory, the
// stroke stays in the painting unrecorded, as when the history cannot make the step.
void record_stroke(ShapeStroke* s) {
  int64_t size = int64_t{s->stroke_count} * SHAPE_STROKE_POINT_SIZE;
  if (size > INT32_MAX) return;
  uint8_t* data = nullptr;
  if (size > 0) {
    data = new (std::nothrow) uint8_t[static_cast<size_t>(size)];
    if (!data) return;
    for (int32_t i = 0; i < s->stroke_count; ++i) {
      fbytes_put_i32(data + SHAPE_STROKE_POINT_SIZE * i, s->stroke[i].x);
      fbytes_put_i32(data + SHAPE_STROKE_POINT_SIZE * i + 4, s->stroke[i].y);
    }
  }
  paint_history_add(s->head.history, static_cast<int32_t>(s->head.id), data,
                    static_cast<int32_t>(size));
  delete[] data;
}

// ---- Pen ----------------------------------------------------------------------------------

int stroke_on_pen(Shape* base, int32_t event, int32_t x, int32_t y, StrokeTool tool) {
  ShapeStroke* s = stroke_of(base);
  PaintContext* pc = base->context;
  FPoint view = paint_context_get_view(pc);
  FPoint point{view_coordinate(x, view.x), view_coordinate(y, view.y)};
  cairo_t* cr = paint_context_get_renderer(pc);
  if (event == FPOINTER_DOWN) {
    shape_reset(base);
    base->active = 1;
    pending_append(s, point);
    if (tool == StrokeTool::pencil) {
      // A translucent stroke accumulates its path in the renderer from here on.
      if (cr) cairo_new_path(cr);
      uint8_t alpha = fcolor_alpha(paint_context_get_fore_color(pc));
      s->translucent = alpha != 255 ? alpha : 0;
      if (s->translucent) paint_context_save_visible(pc);
    }
    return 1;
  }
  if (!base->active) return 0;
  if (event == FPOINTER_MOVE) {
    pending_append(s, point);
    // Without a job the points simply wait for the pen up.
    if (!ensure_job(s)) return 1;
    if (tool == StrokeTool::pencil && fao_is_pending(s->preview_job)) return 1;
    fao_cancel(s->preview_job);
    fao_signal(s->preview_job);
    return 1;
  }
  if (event == FPOINTER_UP) {
    pending_append(s, point);
    // A run still waiting would draw again after the stroke is over; for a translucent
    // pencil it would even put the saved area back over the finished stroke.
    if (ensure_job(s)) fao_cancel(s->preview_job);
    stroke_draw_frame(s, FrameArea::whole);
    record_stroke(s);
    base->active = 0;
    if (tool == StrokeTool::pencil) {
      if (cr) cairo_new_path(cr);
    } else {
      shape_reset(base);
    }
    return 1;
  }
  return 0;
}

int pencil_on_pen(Shape* shape, int32_t event, int32_t x, int32_t y, uint32_t modifiers) {
  (void)modifiers;
  return stroke_on_pen(shape, event, x, y, StrokeTool::pencil);
}

int rubber_on_pen(Shape* shape, int32_t event, int32_t x, int32_t y, uint32_t modifiers) {
  (void)modifiers;
  return stroke_on_pen(shape, event, x, y, StrokeTool::eraser);
}

void stroke_reset(Shape* shape) {
  ShapeStroke* s = stroke_of(shape);
  s->pending_count = 0;
  s->stroke_count = 0;
  s->translucent = 0;
}

// A recorded stroke becomes the pending run of the next draw. A size that is not a whole
// number of points is no stroke of ours: the step then draws nothing. The array grows in
// steps of 1024 points to hold the record; when memory is short only the points that fit
// are drawn.
void stroke_load(Shape* shape, const uint8_t* data, int32_t size) {
  ShapeStroke* s = stroke_of(shape);
  s->pending_count = 0;
  s->stroke_count = 0;
  if (!data || size <= 0 || size % SHAPE_STROKE_POINT_SIZE != 0) return;
  const int32_t needed = size / SHAPE_STROKE_POINT_SIZE;
  if (needed > s->pending_capacity) {
    int64_t target = (int64_t{needed} + SHAPE_STROKE_GROWTH - 1) / SHAPE_STROKE_GROWTH *
                     SHAPE_STROKE_GROWTH;
    points_grow(&s->pending, 0, &s->pending_capacity, target);
  }
  const int32_t count = std::min(needed, s->pending_capacity);
  for (int32_t i = 0; i < count; ++i) {
    const uint8_t* at = data + int64_t{SHAPE_STROKE_POINT_SIZE} * i;
    s->pending[i] = FPoint{fbytes_get_i32(at), fbytes_get_i32(at + 4)};
  }
  s->pending_count = count;
}

// ---- Creation -----------------------------------------------------------------------------

Shape* stroke_create(uint32_t id, const char16_t* name, PaintContext* context,
                     PaintHistory* history, void* owner, ShapePenFn on_pen, ShapeDrawFn draw) {
  ShapeStroke* s = new (std::nothrow) ShapeStroke{};
  if (!s) return nullptr;
  s->pending = points_alloc(SHAPE_STROKE_GROWTH);
  s->stroke = points_alloc(SHAPE_STROKE_GROWTH);
  if (!s->pending || !s->stroke) {
    std::free(s->pending);
    std::free(s->stroke);
    delete s;
    return nullptr;
  }
  s->pending_capacity = SHAPE_STROKE_GROWTH;
  s->stroke_capacity = SHAPE_STROKE_GROWTH;
  shape_init(&s->head, id, name, context, history, owner);
  shape_set_on_pen(&s->head, on_pen);
  shape_set_draw(&s->head, draw);
  shape_set_reset(&s->head, stroke_reset);
  shape_set_load(&s->head, stroke_load);
  return &s->head;
}

void stroke_destroy(Shape* shape) {
  ShapeStroke* s = stroke_of(shape);
  if (s->preview_job) fao_destroy(s->preview_job);  // cancels a pending run first
  s->preview_job = nullptr;
  std::free(s->pending);
  std::free(s->stroke);
  shape_release(&s->head);
  delete s;
}

}  // namespace

Shape* shape_pencil_create(uint32_t id, const char16_t* name, PaintContext* context,
                           PaintHistory* history, void* owner) {
  return stroke_create(id, name, context, history, owner, pencil_on_pen, draw_pencil);
}

void shape_pencil_destroy(Shape* shape) { stroke_destroy(shape); }

Shape* shape_rubber_create(uint32_t id, const char16_t* name, PaintContext* context,
                           PaintHistory* history, void* owner) {
  return stroke_create(id, name, context, history, owner, rubber_on_pen, draw_rubber);
}

void shape_rubber_destroy(Shape* shape) { stroke_destroy(shape); }

void shape_stroke_fail_growth_beyond(int32_t points) { g_growth_limit = points; }
