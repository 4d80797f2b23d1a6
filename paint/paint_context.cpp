// The paint context holds the one open painting. The painting is only a cache: the base
// (a blank area of the canvas colour or a picture) with the history's steps applied at the
// current zoom, so whenever its size changes it is thrown away, re-created white and
// rebuilt by the history's replay. The tools draw into it through one cairo context that
// wraps the painting's own pixels; every operation that replaces the painting re-creates
// that context and drops the cached fitted picture.
//
// Allocation failures fall back to the old size where a fallback exists. When even the
// fallback fails the context is left without a painting: painting, renderer_surface and
// renderer are all null, every operation here copes with that (copies, fills and repaints
// do nothing), and the next successful new blank, load picture, set zoom, fit zoom or
// resize allocates a painting again. The history's replay starts with fit zoom, so an undo
// or rebuild retries the allocation by itself.

#include "paint_context.h"

#include <algorithm>
#include <cmath>
#include <new>

#include "fbytes.h"
#include "fplatform.h"
#include "fscreen.h"
#include "shape.h"

namespace {

// The exact byte / 255 factor the tools' colours have always been converted with.
constexpr double kByteToUnit = 0.00392156862745098;
// Opening a picture too large for memory retries at 1 / 1.1 of the previous zoom.
constexpr double kLoadZoomStep = 0.9090909090909091;

// A painting side must stay within cairo's image limit and the flood fill's 16-bit
// coordinates, and the painting within the largest picture the program accepts.
bool painting_size_ok(int64_t width, int64_t height) {
  return width >= 1 && height >= 1 && width <= PAINT_CONTEXT_MAX_SIDE &&
         height <= PAINT_CONTEXT_MAX_SIDE &&
         static_cast<uint64_t>(width) * static_cast<uint64_t>(height) <= FBITMAP_MAX_PICTURE_PIXELS;
}

// Base size times zoom, truncated; false when the product is no valid painting size (a
// zoom of 0, a negative or non-finite one, or a painting too large to hold).
bool zoomed_size(int32_t base_width, int32_t base_height, double zoom, int32_t* width,
                 int32_t* height) {
  double w = std::trunc(base_width * zoom);
  double h = std::trunc(base_height * zoom);
  if (!(w >= 1.0 && h >= 1.0 && w <= PAINT_CONTEXT_MAX_SIDE && h <= PAINT_CONTEXT_MAX_SIDE)) {
    return false;
  }
  if (!painting_size_ok(static_cast<int64_t>(w), static_cast<int64_t>(h))) return false;
  *width = static_cast<int32_t>(w);
  *height = static_cast<int32_t>(h);
  return true;
}

// A white 32-bit top-down bitmap, cairo's ARGB32 layout; null when refused or short of memory.
FBitmap* painting_create(int64_t width, int64_t height) {
  if (!painting_size_ok(width, height)) return nullptr;
  return fbitmap_create(static_cast<int32_t>(width), -static_cast<int32_t>(height), 32);
}

// A screen-sized bitmap; null when there is no screen size yet or memory is short.
FBitmap* screen_bitmap_create(int32_t width, int32_t height) {
  if (width < 1 || height < 1) return nullptr;
  return fbitmap_create(width, -height, 32);
}

void destroy_bitmap(FBitmap** bitmap) {
  if (*bitmap) fbitmap_destroy(*bitmap);
  *bitmap = nullptr;
}

int32_t painting_width(const PaintContext* pc) {
  return pc->painting ? fbitmap_get_width(pc->painting) : 0;
}
int32_t painting_height(const PaintContext* pc) {
  return pc->painting ? fbitmap_get_height(pc->painting) : 0;
}

// Every copy between the painting and its neighbours is exact: the plain blit blends even
// at full opacity and would darken each pixel by one step per save and restore.
void copy_exact(FBitmap* dst, FPoint at, const FBitmap* src, FRect src_rect) {
  fbitmap_blit_keyed(dst, at, src, src_rect, FCOLOR_KEY_NONE, 255);
}

void store_color(FColor color, double rgba[4]) {
  rgba[0] = fcolor_red(color) * kByteToUnit;
  rgba[1] = fcolor_green(color) * kByteToUnit;
  rgba[2] = fcolor_blue(color) * kByteToUnit;
  rgba[3] = fcolor_alpha(color) * kByteToUnit;
}

void centre_view(PaintContext* pc, int32_t width, int32_t height) {
  pc->view_x = paint_context_get_screen_width(pc) / 2 - width / 2;
  pc->view_y = paint_context_get_screen_height(pc) / 2 - height / 2;
}

void drop_renderer(PaintContext* pc) {
  if (pc->renderer) cairo_destroy(pc->renderer);
  if (pc->renderer_surface) cairo_surface_destroy(pc->renderer_surface);
  pc->renderer = nullptr;
  pc->renderer_surface = nullptr;
}

// The painting as a picture is an opaque raster: cairo reads the fourth byte as
// premultiplied alpha, so a picture that carries transparency would make every stroke
// over it blend against colours brighter than their alpha allows.
void make_opaque(FBitmap* bitmap) {
  int32_t width = fbitmap_get_width(bitmap), height = fbitmap_get_height(bitmap);
  for (int32_t y = 0; y < height; ++y) {
    uint8_t* row = fbitmap_row(bitmap, y);
    for (int32_t x = 0; x < width; ++x) row[4 * x + 3] = 0xFF;
  }
}

}  // namespace

// ---- Creation ---------------------------------------------------------------------------

PaintContext* paint_context_create(FScreen* owner, int32_t width, int32_t height, FColor fore,
                                   FColor back, FColor canvas, int32_t pen_size,
                                   int32_t pen_style, int32_t fill_style, int32_t font_style) {
  if (!painting_size_ok(width, height)) return nullptr;
  PaintContext* pc = new (std::nothrow) PaintContext{};
  if (!pc) return nullptr;
  pc->owner = owner;
  paint_context_set_fore_color(pc, fore);
  paint_context_set_back_color(pc, back);
  paint_context_set_canvas_color(pc, canvas);
  pc->pen_size = pen_size;
  pc->pen_style = pen_style;
  pc->fill_style = fill_style;
  pc->font_style = font_style;
  pc->zoom = 1.0;
  pc->base_width = width;
  pc->base_height = height;
  pc->painting = painting_create(width, height);
  if (!pc->painting) {
    delete pc;
    return nullptr;
  }
  // Without a backup the tools cannot preview, but the painting itself is sound: the
  // backup is re-tried whenever the screen size changes.
  pc->screen_backup = screen_bitmap_create(paint_context_get_screen_width(pc),
                                           paint_context_get_screen_height(pc));
  centre_view(pc, width, height);
  paint_context_reset_renderer(pc);
  return pc;
}

void paint_context_set_screen_size(PaintContext* pc, int32_t width, int32_t height) {
  FCHECK(pc != nullptr, "pc!=null");
  pc->screen_width = width;
  pc->screen_height = height;
  if (!pc->owner) paint_context_resize_screen_backup(pc);
}

void paint_context_destroy(PaintContext* pc) {
  FCHECK(pc != nullptr, "pc!=null");
  drop_renderer(pc);
  destroy_bitmap(&pc->picture);
  destroy_bitmap(&pc->picture_scaled);
  destroy_bitmap(&pc->painting);
  destroy_bitmap(&pc->screen_backup);
  delete pc;
}

// ---- The base and the painting's size --------------------------------------------------

int paint_context_new_blank(PaintContext* pc, int32_t width, int32_t height, FColor canvas) {
  FCHECK(pc != nullptr, "pc!=null");
  // A size that can never be held is refused before anything is thrown away.
  if (!painting_size_ok(width, height)) return 0;
  destroy_bitmap(&pc->painting);
  destroy_bitmap(&pc->picture);
  destroy_bitmap(&pc->picture_scaled);
  pc->painting = painting_create(width, height);
  int result = 1;
  if (pc->painting) {
    paint_context_set_canvas_color(pc, canvas);
    pc->zoom = 1.0;
    pc->base_width = width;
    pc->base_height = height;
    centre_view(pc, width, height);
  } else {
    pc->painting = painting_create(pc->base_width, pc->base_height);
    result = 0;
  }
  paint_context_reset_renderer(pc);
  return result;
}

int paint_context_load_picture(PaintContext* pc, const FBitmap* picture) {
  FCHECK(pc != nullptr, "pc!=null");
  FCHECK(picture != nullptr, "bitmap!=null");
  int32_t w = fbitmap_get_width(picture), h = fbitmap_get_height(picture);
  if (!painting_size_ok(w, h) || !picture->pixels) return 0;
  // The copy is made before the old base goes, so a refusal leaves the document whole.
  FBitmap* copy = painting_create(w, h);
  if (!copy) return 0;
  // Depths the blitter does not read (1 and 4 bits from BMP files) go through the scaler,
  // which at the same size converts pixel for pixel.
  if (!fbitmap_blit_keyed(copy, FPoint{0, 0}, picture, FRect{0, 0, w - 1, h - 1}, FCOLOR_KEY_NONE,
                          255) &&
      !fbitmap_scale_into(copy, picture)) {
    fbitmap_destroy(copy);
    return 0;
  }
  make_opaque(copy);
  destroy_bitmap(&pc->picture_scaled);
  destroy_bitmap(&pc->picture);
  pc->picture = copy;

  destroy_bitmap(&pc->painting);
  paint_context_set_canvas_color(pc, fcolor_make(255, 255, 255, 255));
  pc->zoom = 1.0;
  pc->base_width = w;
  pc->base_height = h;
  int32_t pw = w, ph = h;
  for (;;) {
    pc->painting = painting_create(pw, ph);
    if (pc->painting) break;
    pc->zoom *= kLoadZoomStep;
    // Not even a one-pixel painting fits: give up rather than loop for ever.
    if (!zoomed_size(w, h, pc->zoom, &pw, &ph)) break;
  }
  int result = 1;
  if (pc->painting) {
    centre_view(pc, pw, ph);
  } else {
    pc->zoom = 1.0;
    result = 0;
  }
  paint_context_reset_renderer(pc);
  return result;
}

int paint_context_set_zoom(PaintContext* pc, double zoom) {
  FCHECK(pc != nullptr, "pc!=null");
  int32_t w = 0, h = 0;
  if (!zoomed_size(pc->base_width, pc->base_height, zoom, &w, &h)) return 0;
  if (!paint_context_resize_painting(pc, w, h)) return 0;
  if (painting_width(pc) != w || painting_height(pc) != h) return -1;
  pc->zoom = zoom;
  return 1;
}

int paint_context_fit_zoom(PaintContext* pc) {
  FCHECK(pc != nullptr, "pc!=null");
  int32_t w = 0, h = 0;
  if (!zoomed_size(pc->base_width, pc->base_height, pc->zoom, &w, &h)) return 0;
  if (pc->painting && painting_width(pc) == w && painting_height(pc) == h) return 1;
  return paint_context_resize_painting(pc, w, h);
}

int paint_context_resize_painting(PaintContext* pc, int32_t width, int32_t height) {
  FCHECK(pc != nullptr, "pc!=null");
  if (!painting_size_ok(width, height)) return 0;
  int32_t old_width = painting_width(pc), old_height = painting_height(pc);
  destroy_bitmap(&pc->painting);
  pc->painting = painting_create(width, height);
  if (!pc->painting && old_width > 0) pc->painting = painting_create(old_width, old_height);
  paint_context_reset_renderer(pc);
  destroy_bitmap(&pc->picture_scaled);
  return pc->painting ? 1 : 0;
}

int paint_context_crop(PaintContext* pc, int32_t x, int32_t y, int32_t width, int32_t height) {
  FCHECK(pc != nullptr, "pc!=null");
  FBitmap* cropped = painting_create(width, height);
  if (!cropped) return 0;
  fbitmap_fill_rect(cropped, 0, 0, width - 1, height - 1, pc->canvas_color);
  if (pc->painting) {
    if (pc->renderer_surface) cairo_surface_flush(pc->renderer_surface);
    // Worked out in 64 bits: x and y come from stored steps and may be anything.
    int64_t sx = std::max<int64_t>(x, 0), sy = std::max<int64_t>(y, 0);
    int64_t dx = std::max<int64_t>(-static_cast<int64_t>(x), 0);
    int64_t dy = std::max<int64_t>(-static_cast<int64_t>(y), 0);
    int64_t sw = painting_width(pc), sh = painting_height(pc);
    if (sx < sw && sy < sh && dx < width && dy < height) {
      int64_t right = std::min<int64_t>(sx + width - 1, sw - 1);
      int64_t bottom = std::min<int64_t>(sy + height - 1, sh - 1);
      copy_exact(cropped, FPoint{static_cast<int32_t>(dx), static_cast<int32_t>(dy)}, pc->painting,
                 FRect{static_cast<int32_t>(sx), static_cast<int32_t>(sy),
                       static_cast<int32_t>(right), static_cast<int32_t>(bottom)});
    }
  }
  destroy_bitmap(&pc->painting);
  pc->painting = cropped;
  paint_context_reset_renderer(pc);
  destroy_bitmap(&pc->picture_scaled);
  return 1;
}

void paint_context_fill_base(PaintContext* pc) {
  FCHECK(pc != nullptr, "pc!=null");
  if (!pc->renderer || !pc->painting) return;
  if (pc->picture) {
    if (pc->zoom == 1.0) {
      copy_exact(pc->painting, FPoint{0, 0}, pc->picture,
                 FRect{0, 0, fbitmap_get_width(pc->picture) - 1,
                       fbitmap_get_height(pc->picture) - 1});
    } else {
      fbitmap_scale_into(pc->painting, pc->picture);
    }
    // cairo is told whenever its pixels were written behind its back.
    cairo_surface_mark_dirty(pc->renderer_surface);
    return;
  }
  cairo_save(pc->renderer);
  cairo_set_source_rgb(pc->renderer, pc->canvas_rgb[0], pc->canvas_rgb[1], pc->canvas_rgb[2]);
  cairo_paint(pc->renderer);
  cairo_restore(pc->renderer);
  cairo_surface_flush(pc->renderer_surface);
}

cairo_t* paint_context_reset_renderer(PaintContext* pc) {
  FCHECK(pc != nullptr, "pc!=null");
  drop_renderer(pc);
  if (!pc->painting) return nullptr;
  int32_t width = fbitmap_get_width(pc->painting), height = fbitmap_get_height(pc->painting);
  int stride = cairo_format_stride_for_width(CAIRO_FORMAT_ARGB32, width);
  // The renderer draws in place, so both must walk the same rows.
  FCHECK(stride > 0 && static_cast<uint32_t>(stride) == fbitmap_get_stride(pc->painting) &&
             fbitmap_is_top_down(pc->painting),
         "painting stride==cairo stride");
  pc->renderer_surface = cairo_image_surface_create_for_data(
      pc->painting->pixels, CAIRO_FORMAT_ARGB32, width, height, stride);
  // A surface or context in error is a valid object that ignores every drawing call, so
  // the tools can always draw; they simply leave no trace.
  pc->renderer = cairo_create(pc->renderer_surface);
  return pc->renderer;
}

// ---- The visible part -------------------------------------------------------------------

namespace {

// First painting pixel on the screen, and where on the screen it lies.
struct VisibleSpan {
  int32_t sx, sy, dx, dy, sw, sh;
};

// The view comes from stored steps too, so even INT32_MIN must not overflow the negation.
int32_t first_on_screen(int32_t view) {
  return static_cast<int32_t>(std::min<int64_t>(std::max<int64_t>(-static_cast<int64_t>(view), 0),
                                                INT32_MAX));
}

VisibleSpan visible_span(const PaintContext* pc) {
  return VisibleSpan{first_on_screen(pc->view_x), first_on_screen(pc->view_y),
                     std::max(pc->view_x, 0), std::max(pc->view_y, 0),
                     paint_context_get_screen_width(pc), paint_context_get_screen_height(pc)};
}

// x + n - 1, kept inside 32 bits; the blit cuts the rectangle to the bitmaps anyway.
int32_t span_end(int32_t x, int32_t n) {
  return static_cast<int32_t>(std::min<int64_t>(static_cast<int64_t>(x) + n - 1, INT32_MAX));
}

}  // namespace

void paint_context_save_visible(PaintContext* pc) {
  FCHECK(pc != nullptr, "pc!=null");
  if (!pc->painting || !pc->screen_backup) return;
  VisibleSpan v = visible_span(pc);
  if (v.sw < 1 || v.sh < 1) return;
  if (pc->renderer_surface) cairo_surface_flush(pc->renderer_surface);
  copy_exact(pc->screen_backup, FPoint{v.dx, v.dy}, pc->painting,
             FRect{v.sx, v.sy, span_end(v.sx, v.sw), span_end(v.sy, v.sh)});
}

void paint_context_restore_visible(PaintContext* pc) {
  FCHECK(pc != nullptr, "pc!=null");
  if (!pc->painting || !pc->screen_backup) return;
  VisibleSpan v = visible_span(pc);
  if (v.sw < 1 || v.sh < 1) return;
  if (pc->renderer_surface) cairo_surface_flush(pc->renderer_surface);
  copy_exact(pc->painting, FPoint{v.sx, v.sy}, pc->screen_backup,
             FRect{v.dx, v.dy, span_end(v.dx, v.sw), span_end(v.dy, v.sh)});
  if (pc->renderer_surface) cairo_surface_mark_dirty(pc->renderer_surface);
}

void paint_context_resize_screen_backup(PaintContext* pc) {
  FCHECK(pc != nullptr, "pc!=null");
  FBitmap* backup = screen_bitmap_create(paint_context_get_screen_width(pc),
                                         paint_context_get_screen_height(pc));
  if (backup && pc->screen_backup) {
    copy_exact(backup, FPoint{0, 0}, pc->screen_backup,
               FRect{0, 0, fbitmap_get_width(pc->screen_backup) - 1,
                     fbitmap_get_height(pc->screen_backup) - 1});
  }
  destroy_bitmap(&pc->screen_backup);
  pc->screen_backup = backup;
}

FBitmap* paint_context_copy_visible(PaintContext* pc) {
  FCHECK(pc != nullptr, "pc!=null");
  if (!pc->painting) return nullptr;
  VisibleSpan v = visible_span(pc);
  int64_t right = std::min<int64_t>(static_cast<int64_t>(v.sx) + v.sw - 1 - v.dx, painting_width(pc) - 1);
  int64_t bottom = std::min<int64_t>(static_cast<int64_t>(v.sy) + v.sh - 1 - v.dy, painting_height(pc) - 1);
  int64_t width = right - v.sx + 1, height = bottom - v.sy + 1;
  FBitmap* copy = painting_create(width, height);
  if (!copy) return nullptr;
  if (pc->renderer_surface) cairo_surface_flush(pc->renderer_surface);
  copy_exact(copy, FPoint{0, 0}, pc->painting,
             FRect{v.sx, v.sy, static_cast<int32_t>(right), static_cast<int32_t>(bottom)});
  return copy;
}

int paint_context_repaint(PaintContext* pc, const FRect* rect, int whole) {
  FCHECK(pc != nullptr, "pc!=null");
  if (!pc->owner) return 0;
  pc->partial_repaint = whole == 0 ? 1 : 0;
  int result = 0;
  if (rect) {
    FRect r = frect_normalized(*rect);
    // In 64 bits: the view and a tool's rectangle may both be far off the screen.
    int64_t left = std::max<int64_t>(static_cast<int64_t>(r.left) + pc->view_x, pc->view_x);
    int64_t top = std::max<int64_t>(static_cast<int64_t>(r.top) + pc->view_y, pc->view_y);
    int64_t right = std::min<int64_t>(static_cast<int64_t>(r.right) + pc->view_x,
                                      static_cast<int64_t>(pc->view_x) + painting_width(pc) - 1);
    int64_t bottom = std::min<int64_t>(static_cast<int64_t>(r.bottom) + pc->view_y,
                                       static_cast<int64_t>(pc->view_y) + painting_height(pc) - 1);
    left = std::max<int64_t>(left, INT32_MIN);
    top = std::max<int64_t>(top, INT32_MIN);
    right = std::min<int64_t>(right, INT32_MAX);
    bottom = std::min<int64_t>(bottom, INT32_MAX);
    if (right < left || bottom < top) {
      pc->partial_repaint = 0;
      return 0;
    }
    FRect area{static_cast<int32_t>(left), static_cast<int32_t>(top), static_cast<int32_t>(right),
               static_cast<int32_t>(bottom)};
    result = fscreen_paint(pc->owner, &area);
  } else {
    result = fscreen_paint(pc->owner, nullptr);
  }
  pc->partial_repaint = 0;
  return result;
}

// ---- Tools ------------------------------------------------------------------------------

int paint_context_add_shape(PaintContext* pc, Shape* shape) {
  FCHECK(pc != nullptr, "pc!=null");
  FCHECK(shape != nullptr, "shape!=null");
  if (pc->shape_count >= PAINT_CONTEXT_MAX_SHAPES) return 0;
  pc->shapes[pc->shape_count++] = shape;
  return 1;
}

Shape* paint_context_find_shape(PaintContext* pc, uint32_t id) {
  FCHECK(pc != nullptr, "pc!=null");
  for (int32_t i = 0; i < pc->shape_count; ++i) {
    if (shape_get_id(pc->shapes[i]) == id) return pc->shapes[i];
  }
  return nullptr;
}

// ---- Step state -------------------------------------------------------------------------

void paint_context_save_state(const PaintContext* pc, uint8_t state[PAINT_STEP_STATE_SIZE]) {
  FCHECK(pc != nullptr, "pc!=null");
  fbytes_put_i32(state + 0, pc->view_x);
  fbytes_put_i32(state + 4, pc->view_y);
  fbytes_put_u32(state + 8, pc->fore_color);
  fbytes_put_u32(state + 12, pc->back_color);
  fbytes_put_i32(state + 16, pc->pen_size);
  fbytes_put_i32(state + 20, pc->pen_style);
}

void paint_context_restore_state(PaintContext* pc, const uint8_t state[PAINT_STEP_STATE_SIZE]) {
  FCHECK(pc != nullptr, "pc!=null");
  paint_context_set_view(pc, fbytes_get_i32(state + 0), fbytes_get_i32(state + 4));
  paint_context_set_fore_color(pc, fbytes_get_u32(state + 8));
  paint_context_set_back_color(pc, fbytes_get_u32(state + 12));
  pc->pen_size = fbytes_get_i32(state + 16);
  pc->pen_style = fbytes_get_i32(state + 20);
}

// ---- Attributes -------------------------------------------------------------------------

FColor paint_context_get_fore_color(const PaintContext* pc) {
  FCHECK(pc != nullptr, "pc!=null");
  return pc->fore_color;
}

FColor paint_context_get_back_color(const PaintContext* pc) {
  FCHECK(pc != nullptr, "pc!=null");
  return pc->back_color;
}

FColor paint_context_get_canvas_color(const PaintContext* pc) {
  FCHECK(pc != nullptr, "pc!=null");
  return pc->canvas_color;
}

void paint_context_set_fore_color(PaintContext* pc, FColor color) {
  FCHECK(pc != nullptr, "pc!=null");
  pc->fore_color = color;
  store_color(color, pc->fore_rgba);
}

void paint_context_set_back_color(PaintContext* pc, FColor color) {
  FCHECK(pc != nullptr, "pc!=null");
  pc->back_color = color;
  store_color(color, pc->back_rgba);
}

void paint_context_set_canvas_color(PaintContext* pc, FColor color) {
  FCHECK(pc != nullptr, "pc!=null");
  pc->canvas_color = color;
  double rgba[4];
  store_color(color, rgba);
  for (int i = 0; i < 3; ++i) pc->canvas_rgb[i] = rgba[i];
}

double paint_context_get_fore_red(const PaintContext* pc) {
  FCHECK(pc != nullptr, "pc!=null");
  return pc->fore_rgba[0];
}

double paint_context_get_fore_green(const PaintContext* pc) {
  FCHECK(pc != nullptr, "pc!=null");
  return pc->fore_rgba[1];
}

double paint_context_get_fore_blue(const PaintContext* pc) {
  FCHECK(pc != nullptr, "pc!=null");
  return pc->fore_rgba[2];
}

double paint_context_get_fore_alpha(const PaintContext* pc) {
  FCHECK(pc != nullptr, "pc!=null");
  return pc->fore_rgba[3];
}

double paint_context_get_back_red(const PaintContext* pc) {
  FCHECK(pc != nullptr, "pc!=null");
  return pc->back_rgba[0];
}

double paint_context_get_back_green(const PaintContext* pc) {
  FCHECK(pc != nullptr, "pc!=null");
  return pc->back_rgba[1];
}

double paint_context_get_back_blue(const PaintContext* pc) {
  FCHECK(pc != nullptr, "pc!=null");
  return pc->back_rgba[2];
}

double paint_context_get_canvas_red(const PaintContext* pc) {
  FCHECK(pc != nullptr, "pc!=null");
  return pc->canvas_rgb[0];
}

double paint_context_get_canvas_green(const PaintContext* pc) {
  FCHECK(pc != nullptr, "pc!=null");
  return pc->canvas_rgb[1];
}

double paint_context_get_canvas_blue(const PaintContext* pc) {
  FCHECK(pc != nullptr, "pc!=null");
  return pc->canvas_rgb[2];
}

int32_t paint_context_get_pen_size(const PaintContext* pc) {
  FCHECK(pc != nullptr, "pc!=null");
  return pc->pen_size;
}

int32_t paint_context_get_pen_style(const PaintContext* pc) {
  FCHECK(pc != nullptr, "pc!=null");
  return pc->pen_style;
}

int32_t paint_context_get_fill_style(const PaintContext* pc) {
  FCHECK(pc != nullptr, "pc!=null");
  return pc->fill_style;
}

int32_t paint_context_get_font_style(const PaintContext* pc) {
  FCHECK(pc != nullptr, "pc!=null");
  return pc->font_style;
}

void paint_context_set_pen_size(PaintContext* pc, int32_t size) {
  FCHECK(pc != nullptr, "pc!=null");
  pc->pen_size = size;
}

void paint_context_set_pen_style(PaintContext* pc, int32_t style) {
  FCHECK(pc != nullptr, "pc!=null");
  pc->pen_style = style;
}

void paint_context_set_fill_style(PaintContext* pc, int32_t style) {
  FCHECK(pc != nullptr, "pc!=null");
  pc->fill_style = style;
}

void paint_context_set_font_style(PaintContext* pc, int32_t style) {
  FCHECK(pc != nullptr, "pc!=null");
  pc->font_style = style;
}

double paint_context_get_zoom(const PaintContext* pc) {
  FCHECK(pc != nullptr, "pc!=null");
  return pc->zoom;
}

FBitmap* paint_context_get_painting(const PaintContext* pc) {
  FCHECK(pc != nullptr, "pc!=null");
  return pc->painting;
}

FBitmap* paint_context_get_picture(const PaintContext* pc) {
  FCHECK(pc != nullptr, "pc!=null");
  return pc->picture;
}

FBitmap* paint_context_get_picture_scaled(PaintContext* pc) {
  FCHECK(pc != nullptr, "pc!=null");
  if (!pc->picture) return nullptr;
  if (pc->zoom == 1.0) return pc->picture;
  if (!pc->picture_scaled && pc->painting) {
    pc->picture_scaled = fbitmap_scale(pc->picture, painting_width(pc), painting_height(pc),
                                       FBitmapScale::keep_ratio, FBitmapRows::top_down);
  }
  return pc->picture_scaled;
}

int32_t paint_context_get_base_width(const PaintContext* pc) {
  FCHECK(pc != nullptr, "pc!=null");
  return pc->base_width;
}

int32_t paint_context_get_base_height(const PaintContext* pc) {
  FCHECK(pc != nullptr, "pc!=null");
  return pc->base_height;
}

FScreen* paint_context_get_owner(const PaintContext* pc) {
  FCHECK(pc != nullptr, "pc!=null");
  return pc->owner;
}

FPoint paint_context_get_view(const PaintContext* pc) {
  FCHECK(pc != nullptr, "pc!=null");
  return FPoint{pc->view_x, pc->view_y};
}

int32_t* paint_context_view_ptr(PaintContext* pc) {
  FCHECK(pc != nullptr, "pc!=null");
  return &pc->view_x;
}

void paint_context_set_view(PaintContext* pc, int32_t x, int32_t y) {
  FCHECK(pc != nullptr, "pc!=null");
  // Far beyond any painting on any screen, and near enough that a screen coordinate minus
  // the view (what every tool computes) always fits 32 bits, whatever a pan or a stored
  // step asks for.
  pc->view_x = std::clamp(x, -PAINT_CONTEXT_MAX_VIEW, PAINT_CONTEXT_MAX_VIEW);
  pc->view_y = std::clamp(y, -PAINT_CONTEXT_MAX_VIEW, PAINT_CONTEXT_MAX_VIEW);
}

cairo_t* paint_context_get_renderer(const PaintContext* pc) {
  FCHECK(pc != nullptr, "pc!=null");
  return pc->renderer;
}

int paint_context_is_partial_repaint(const PaintContext* pc) {
  FCHECK(pc != nullptr, "pc!=null");
  return pc->partial_repaint;
}

int32_t paint_context_get_screen_width(const PaintContext* pc) {
  FCHECK(pc != nullptr, "pc!=null");
  return pc->owner ? fscreen_get_width(pc->owner) : pc->screen_width;
}

int32_t paint_context_get_screen_height(const PaintContext* pc) {
  FCHECK(pc != nullptr, "pc!=null");
  return pc->owner ? fscreen_get_height(pc->owner) : pc->screen_height;
}
