// The canvas: the drawing context every control, surface and the screen's back buffer
// draws through. It keeps the target bitmap with a clip rectangle, pen, brush, pattern
// tile and font, and turns figures into calls on the bitmap's span, pixel and blit
// kernels. The geometry of ellipses, polygons and flood fills comes from the rasterisers
// in fcanvas_raster.cpp; this file decides colour, brush and clipping. Text lives in
// fcanvas_text.cpp.
//
// figure -> rasteriser -> span callback -> brush span (solid line or pattern pieces)
//                                       -> outline pixels in the pen colour

#include "fcanvas.h"

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <new>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "fcanvas_raster.h"
#include "fplatform.h"

namespace {

constexpr char16_t kDefaultFace[] = u"tahoma";
constexpr int32_t kDefaultFontClass = 3;

int32_t font_size_of_class(int32_t font_class) {
  switch (font_class) {
    case 1: return 22;
    case 2: return 18;
    case 3: return 12;
    case 4: return 10;
    case 5:
    case 6: return 8;
    default: return 12;
  }
}

void canvas_set_face(FCanvas* canvas, const char16_t* face) {
  std::memset(canvas->font_face, 0, sizeof canvas->font_face);
  for (int k = 0; face[k] != 0 && k < FCANVAS_FACE_UNITS - 1; ++k) canvas->font_face[k] = face[k];
}

// Everything but the owner and the bitmap back to the state of a new canvas.
void canvas_set_defaults(FCanvas* canvas) {
  const int32_t width = fbitmap_get_width(canvas->bitmap);
  const int32_t height = fbitmap_get_height(canvas->bitmap);
  canvas->text_dc = nullptr;
  canvas->rect = FRect{0, 0, width - 1, height - 1};
  canvas->clip = canvas->rect;
  canvas->clip_on = 0;
  canvas->pen_style = FPEN_SOLID;
  canvas->pen_width = 1;
  canvas->pen_color = 0xFF000000u;
  canvas->brush_style = FBRUSH_SOLID;
  canvas->brush_color = 0xFFFFFFFFu;
  canvas->pattern = nullptr;
  canvas->pattern_origin = FPoint{0, 0};
  canvas->font_class = kDefaultFontClass;
  canvas->font_size = font_size_of_class(kDefaultFontClass);
  canvas_set_face(canvas, kDefaultFace);
  canvas->font_style = 0;
}

bool pen_draws(const FCanvas* canvas) { return canvas->pen_style != FPEN_NONE; }

// Single pixels of outlines and lines leave out the clip's right column and bottom row,
// unlike spans and fills, which include them.
bool point_in_clip(const FCanvas* canvas, int64_t x, int64_t y) {
  if (!canvas->clip_on) return true;
  return x >= canvas->clip.left && x < canvas->clip.right && y >= canvas->clip.top &&
         y < canvas->clip.bottom;
}

bool row_in_clip(const FCanvas* canvas, int64_t y) {
  return !canvas->clip_on || (y >= canvas->clip.top && y <= canvas->clip.bottom);
}

int64_t floor_mod(int64_t value, int64_t modulus) {
  const int64_t m = value % modulus;
  return m < 0 ? m + modulus : m;
}

int32_t to_i32(int64_t v) {
  return static_cast<int32_t>(std::clamp<int64_t>(v, std::numeric_limits<int32_t>::min(),
                                                  std::numeric_limits<int32_t>::max()));
}

enum class BlitKind { plain, masked, keyed };

// Bitmap drawing through the clip: the destination rectangle is cut to the clip and the
// source rectangle shifted and shrunk by the same amounts. An empty cut draws nothing and
// still succeeds.
int canvas_blit(FCanvas* canvas, FPoint dst, const FBitmap* src, FRect src_rect, BlitKind kind,
                const FBitmap* mask, int32_t key, uint8_t opacity) {
  if (canvas->clip_on) {
    FRect s = frect_normalized(src_rect);
    const int64_t dst_left = dst.x;
    const int64_t dst_top = dst.y;
    const int64_t dst_right = dst_left + (static_cast<int64_t>(s.right) - s.left);
    const int64_t dst_bottom = dst_top + (static_cast<int64_t>(s.bottom) - s.top);
    const int64_t left = std::max<int64_t>(dst_left, canvas->clip.left);
    const int64_t top = std::max<int64_t>(dst_top, canvas->clip.top);
    const int64_t right = std::min<int64_t>(dst_right, canvas->clip.right);
    const int64_t bottom = std::min<int64_t>(dst_bottom, canvas->clip.bottom);
    if (right < left || bottom < top) return 1;
    s.left = to_i32(s.left + (left - dst_left));
    s.top = to_i32(s.top + (top - dst_top));
    s.right = to_i32(s.left + (right - left));
    s.bottom = to_i32(s.top + (bottom - top));
    src_rect = s;
    dst = FPoint{static_cast<int32_t>(left), static_cast<int32_t>(top)};
  }
  switch (kind) {
    case BlitKind::plain: return fbitmap_blit(canvas->bitmap, dst, src, src_rect, opacity);
    case BlitKind::masked:
      return fbitmap_blit_masked(canvas->bitmap, dst, src, src_rect, mask, opacity);
    case BlitKind::keyed:
      return fbitmap_blit_keyed(canvas->bitmap, dst, src, src_rect, key, opacity);
  }
  return 0;
}

// Tiles the pattern over `count` pixels of row y from x. The tile column and row are the
// distances from the pattern origin taken modulo the tile size (never negative), and the
// run is cut into one-row blits that end at the tile's right edge. Only the part that can
// land inside the bitmap and the clip is walked, so a span of any length costs at most a
// bitmap row.
void canvas_pattern_span(FCanvas* canvas, int64_t x, int64_t y, int64_t count) {
  const FBitmap* tile = canvas->pattern;
  if (tile == nullptr || count <= 0) return;
  const int64_t tile_width = fbitmap_get_width(tile);
  const int64_t tile_height = fbitmap_get_height(tile);
  if (tile_width <= 0 || tile_height <= 0) return;

  int64_t visible_left = 0;
  int64_t visible_right = static_cast<int64_t>(fbitmap_get_width(canvas->bitmap)) - 1;
  if (y < 0 || y >= fbitmap_get_height(canvas->bitmap) || !row_in_clip(canvas, y)) return;
  if (canvas->clip_on) {
    visible_left = std::max<int64_t>(visible_left, canvas->clip.left);
    visible_right = std::min<int64_t>(visible_right, canvas->clip.right);
  }
  const int64_t first = std::max(x, visible_left);
  const int64_t last = std::min(x + count - 1, visible_right);
  const int32_t row = static_cast<int32_t>(floor_mod(y - canvas->pattern_origin.y, tile_height));
  const uint8_t opacity = fcolor_alpha(canvas->brush_color);
  for (int64_t px = first; px <= last;) {
    const int64_t column = floor_mod(px - canvas->pattern_origin.x, tile_width);
    const int64_t piece = std::min(tile_width - column, last - px + 1);
    const FRect src{static_cast<int32_t>(column), row, static_cast<int32_t>(column + piece - 1),
                    row};
    canvas_blit(canvas, FPoint{static_cast<int32_t>(px), static_cast<int32_t>(y)}, tile, src,
                BlitKind::plain, nullptr, FCOLOR_KEY_NONE, opacity);
    px += piece;
  }
}

// One brush span on row y between x_a and x_b (either order, both inclusive).
void canvas_brush_span(FCanvas* canvas, int32_t x_a, int32_t x_b, int32_t y) {
  switch (canvas->brush_style) {
    case FBRUSH_NONE: return;
    case FBRUSH_PATTERN: {
      const int64_t lo = std::min(x_a, x_b);
      const int64_t hi = std::max(x_a, x_b);
      canvas_pattern_span(canvas, lo, y, hi - lo + 1);
      return;
    }
    default: fcanvas_line_color(canvas, x_a, y, x_b, y, canvas->brush_color); return;
  }
}

// ---- Ellipse span callback -------------------------------------------------------------

struct EllipseFill {
  FCanvas* canvas;
  uint8_t* row_filled;  // one flag per bitmap row; owned by fcanvas_ellipse
  int32_t rows;
};

// The rasteriser reports a row several times, narrowest first. The interior is filled at
// the first report only, so a translucent brush does not darken a row twice and the pen
// pixels of the narrower reports stay as the flat parts of the outline.
void ellipse_on_span(void* context, int32_t xl, int32_t xr, int32_t y) {
  auto* fill = static_cast<EllipseFill*>(context);
  FCanvas* canvas = fill->canvas;
  if (!row_in_clip(canvas, y)) return;
  // Rows outside the bitmap can receive nothing, so the map covers the bitmap's rows only.
  if (y >= 0 && y < fill->rows && !fill->row_filled[y] && canvas->brush_style != FBRUSH_NONE) {
    const int64_t interior = static_cast<int64_t>(xr) - xl - 1;
    if (interior > 0) {
      if (canvas->brush_style == FBRUSH_PATTERN)
        canvas_pattern_span(canvas, static_cast<int64_t>(xl) + 1, y, interior);
      else
        fcanvas_line_color(canvas, xl + 1, y, xr - 1, y, canvas->brush_color);
    }
    fill->row_filled[y] = 1;
  }
  if (!pen_draws(canvas)) return;
  if (point_in_clip(canvas, xl, y)) fbitmap_blend_pixel(canvas->bitmap, xl, y, canvas->pen_color);
  // A one-pixel-wide row is a single outline pixel, blended once.
  if (xr != xl && point_in_clip(canvas, xr, y))
    fbitmap_blend_pixel(canvas->bitmap, xr, y, canvas->pen_color);
}

void polygon_on_span(void* context, int32_t x_a, int32_t x_b, int32_t y) {
  canvas_brush_span(static_cast<FCanvas*>(context), x_a, x_b, y);
}

// ---- Flood fill callbacks --------------------------------------------------------------

struct FloodFill {
  FCanvas* canvas;
  uint8_t seed[4];  // blue, green, red, fourth byte of the seed pixel
  int32_t tolerance;  // 0..255
  int32_t bytes_per_pixel;  // 3 or 4 when rows are read straight (blue, green, red first),
                            // else 0: every pixel goes through fbitmap_get_rgba
  FRect bounds;        // the walk's bounds, right and bottom exclusive
  int64_t words;       // per row of similarity bits
  uint8_t direct32;    // 32-bit plain rows, opaque solid brush, no clip: runs are painted
                       // with word stores
  int32_t row_y;       // the row `row` points at, or -1
  uint8_t* row;        // not owned: the bitmap's row row_y
};

inline bool flood_similar(const FloodFill* fill, const uint8_t* px) {
  // |a - b| <= t as one unsigned compare: a - b + t lands in 0..2t exactly then.
  const int32_t t = fill->tolerance;
  const uint32_t span = 2u * static_cast<uint32_t>(t);
  return static_cast<uint32_t>(px[0] - fill->seed[0] + t) <= span &&
         static_cast<uint32_t>(px[1] - fill->seed[1] + t) <= span &&
         static_cast<uint32_t>(px[2] - fill->seed[2] + t) <= span;
}

bool flood_pixel_similar(const FloodFill* fill, int32_t x, int32_t y) {
  uint8_t px[4] = {0, 0, 0, 0};
  fbitmap_get_rgba(fill->canvas->bitmap, x, y, px);
  return flood_similar(fill, px);
}

// Similarity bits of up to 64 pixels of a 32-bit row, four at a time: per byte |pixel -
// seed| through two saturating subtractions, compared with the tolerance; a pixel is
// similar when its blue, green and red bytes all pass (its fourth byte is given a
// tolerance of 255).
#if defined(__SSE2__)
uint64_t flood_bits_rgb32(const FloodFill* fill, const uint8_t* p, int32_t count) {
  uint32_t seed;
  std::memcpy(&seed, fill->seed, 4);
  const __m128i s = _mm_set1_epi32(static_cast<int32_t>(seed));
  const uint32_t t = static_cast<uint32_t>(fill->tolerance) * 0x010101u | 0xFF000000u;
  const __m128i tol = _mm_set1_epi32(static_cast<int32_t>(t));
  const __m128i zero = _mm_setzero_si128();
  uint64_t word = 0;
  int32_t i = 0;
  for (; i + 4 <= count; i += 4) {
    const __m128i px = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 4 * i));
    const __m128i d = _mm_or_si128(_mm_subs_epu8(px, s), _mm_subs_epu8(s, px));
    const uint32_t m = static_cast<uint32_t>(
        _mm_movemask_epi8(_mm_cmpeq_epi8(_mm_subs_epu8(d, tol), zero)));
    uint32_t all = m & (m >> 1);
    all &= all >> 2;  // bit 4k set when the four bytes of pixel k passed
    const uint32_t four = (all & 1) | ((all >> 3) & 2) | ((all >> 6) & 4) | ((all >> 9) & 8);
    word |= static_cast<uint64_t>(four) << i;
  }
  for (; i < count; ++i) word |= static_cast<uint64_t>(flood_similar(fill, p + 4 * i)) << i;
  return word;
}
#endif

// The walker's view of row y (see FRasterRowFn): the similarity of the pixels from
// bounds.left to bounds.right - 1, read along the row in one loop.
void flood_on_row(void* context, int32_t y, uint64_t* bits) {
  const auto* fill = static_cast<const FloodFill*>(context);
  const int32_t n = fill->bytes_per_pixel;
  const uint8_t* row = n != 0 ? fbitmap_row(fill->canvas->bitmap, y) : nullptr;
  const int64_t width = static_cast<int64_t>(fill->bounds.right) - fill->bounds.left;
  for (int64_t w = 0; w < fill->words; ++w) {
    const int64_t first = fill->bounds.left + w * 64;
    const int32_t count = static_cast<int32_t>(std::min<int64_t>(64, width - w * 64));
    uint64_t word = 0;
    if (row) {
      const uint8_t* p = row + static_cast<std::ptrdiff_t>(first) * n;
#if defined(__SSE2__)
      if (n == 4) {
        bits[w] = flood_bits_rgb32(fill, p, count);
        continue;
      }
#endif
      for (int32_t i = 0; i < count; ++i, p += n) {
        word |= static_cast<uint64_t>(flood_similar(fill, p)) << i;
      }
    } else {
      for (int32_t i = 0; i < count; ++i) {
        word |= static_cast<uint64_t>(
                    flood_pixel_similar(fill, static_cast<int32_t>(first + i), y))
                << i;
      }
    }
    bits[w] = word;
  }
}

bool same_as_seed(const FloodFill* fill, const uint8_t px[4]) {
  return px[0] == fill->seed[0] && px[1] == fill->seed[1] && px[2] == fill->seed[2];
}

// Mixes the brush into a pixel that is only similar to the seed, keeping part of the pixel
// in proportion to how far it is from the seed: anti-aliased edges stay soft.
void flood_grade_pixel(const FloodFill* fill, int32_t x, int32_t y, const uint8_t px[4]) {
  FCanvas* canvas = fill->canvas;
  if (!row_in_clip(canvas, y) ||
      (canvas->clip_on && (x < canvas->clip.left || x > canvas->clip.right)))
    return;
  const int32_t distance = std::abs(px[0] - fill->seed[0]) + std::abs(px[1] - fill->seed[1]) +
                           std::abs(px[2] - fill->seed[2]);
  const int32_t w = distance / 3;
  const FColor brush = canvas->brush_color;
  const auto mix = [w](int32_t brush_channel, int32_t pixel_channel) {
    return static_cast<uint8_t>((brush_channel * (255 - w) + pixel_channel * w) >> 8);
  };
  // The pixel keeps its own alpha; formats without one count as opaque.
  const uint8_t alpha = fbitmap_get_bpp(canvas->bitmap) == 32 ? px[3] : 255;
  fbitmap_blend_pixel(canvas->bitmap, x, y,
                      fcolor_make(mix(fcolor_red(brush), px[2]), mix(fcolor_green(brush), px[1]),
                                  mix(fcolor_blue(brush), px[0]), alpha));
}

void flood_read(const FloodFill* fill, const uint8_t* row, int32_t x, int32_t y, uint8_t px[4]) {
  px[0] = px[1] = px[2] = px[3] = 0;
  if (row) {
    const uint8_t* p = row + static_cast<std::ptrdiff_t>(x) * fill->bytes_per_pixel;
    px[0] = p[0];
    px[1] = p[1];
    px[2] = p[2];
    if (fill->bytes_per_pixel == 4) px[3] = p[3];
  } else {
    fbitmap_get_rgba(fill->canvas->bitmap, x, y, px);
  }
}

// The common case of flood_on_span below, on 32-bit rows as little-endian words whose low
// three bytes are blue, green and red: the same grading at the ends, then the brush stored
// over blue, green and red with the fourth byte kept, as the span kernels do at full
// opacity. Written here in place, since most runs of a fill are a few pixels long and a
// call into the kernels would cost more than the pixels.
void flood_paint_direct32(FloodFill* fill, int32_t left, int32_t right, int32_t y) {
  if (fill->row_y != y) {
    fill->row = fbitmap_row(fill->canvas->bitmap, y);
    fill->row_y = y;
  }
  uint8_t* row = fill->row;
  uint32_t seed;
  std::memcpy(&seed, fill->seed, 4);
  seed &= 0x00FFFFFFu;
  const auto load = [row](int32_t x) {
    uint32_t v;
    std::memcpy(&v, row + 4 * static_cast<std::ptrdiff_t>(x), 4);
    return v;
  };
  int32_t a = left;
  for (; a <= right && (load(a) & 0x00FFFFFFu) != seed; ++a) {
    flood_grade_pixel(fill, a, y, row + 4 * static_cast<std::ptrdiff_t>(a));
  }
  int32_t b = right;
  for (; b >= a && (load(b) & 0x00FFFFFFu) != seed; --b) {
    flood_grade_pixel(fill, b, y, row + 4 * static_cast<std::ptrdiff_t>(b));
  }
  const uint32_t rgb = fill->canvas->brush_color & 0x00FFFFFFu;
  for (int32_t x = a; x <= b; ++x) {
    const uint32_t v = (load(x) & 0xFF000000u) | rgb;
    std::memcpy(row + 4 * static_cast<std::ptrdiff_t>(x), &v, 4);
  }
}

void flood_on_span(void* context, int32_t left, int32_t right, int32_t y) {
  auto* fill = static_cast<FloodFill*>(context);
  if (fill->direct32) {
    flood_paint_direct32(fill, left, right, y);
    return;
  }
  FCanvas* canvas = fill->canvas;
  if (canvas->brush_style == FBRUSH_PATTERN) {
    canvas_pattern_span(canvas, left, y, static_cast<int64_t>(right) - left + 1);
    return;
  }
  uint8_t* row = fill->bytes_per_pixel != 0 ? fbitmap_row(canvas->bitmap, y) : nullptr;
  // Grade inward from both ends up to the first pixel that is exactly the seed; the run
  // between is plain brush.
  uint8_t px[4];
  int32_t a = left;
  for (; a <= right; ++a) {
    flood_read(fill, row, a, y, px);
    if (same_as_seed(fill, px)) break;
    flood_grade_pixel(fill, a, y, px);
  }
  int32_t b = right;
  for (; b >= a; --b) {
    flood_read(fill, row, b, y, px);
    if (same_as_seed(fill, px)) break;
    flood_grade_pixel(fill, b, y, px);
  }
  if (a > b) return;
  // An opaque brush on a plain row without clip stores its colour, as the span kernels do
  // at full opacity (see flood_paint_direct32).
  const FColor brush = canvas->brush_color;
  if (row && !canvas->clip_on && fcolor_alpha(brush) == 255) {
    const int32_t n = fill->bytes_per_pixel;
    uint8_t* p = row + static_cast<std::ptrdiff_t>(a) * n;
    for (int32_t x = a; x <= b; ++x, p += n) {
      p[0] = fcolor_blue(brush);
      p[1] = fcolor_green(brush);
      p[2] = fcolor_red(brush);
    }
    return;
  }
  fcanvas_line_color(canvas, a, y, b, y, brush);
}

// Lists of four or more points are closed polygons: the last point repeats the first.
bool polygon_list_ok(const FPoint* points, int32_t count) {
  if (count <= 0) return true;
  if (points == nullptr) return false;
  if (count < 4) return true;
  return points[count - 1].x == points[0].x && points[count - 1].y == points[0].y;
}

}  // namespace

// ---- Creation and release ---------------------------------------------------------------

int fcanvas_create(FCanvas* canvas, FSurface* owner, int32_t bpp, int32_t width, int32_t height) {
  FCHECK(canvas != nullptr, "canvas!=null");
  std::memset(static_cast<void*>(canvas), 0, sizeof *canvas);
  FBitmap* bitmap = fbitmap_create(width, height, bpp);
  if (bitmap == nullptr) return 0;
  canvas->owner = owner;
  canvas->bitmap = bitmap;
  canvas->owns_bitmap = 1;
  canvas_set_defaults(canvas);
  return 1;
}

int fcanvas_attach(FCanvas* canvas, FBitmap* bitmap) {
  FCHECK(canvas != nullptr && bitmap != nullptr, "canvas!=null && bitmap!=null");
  // Attaching takes no owner: the embedding surface, if any, stays.
  FSurface* owner = canvas->owner;
  std::memset(static_cast<void*>(canvas), 0, sizeof *canvas);
  canvas->owner = owner;
  canvas->bitmap = bitmap;
  canvas->owns_bitmap = 0;
  canvas_set_defaults(canvas);
  return 1;
}

void fcanvas_release(FCanvas* canvas) {
  FCHECK(canvas != nullptr, "canvas!=null");
  // A text context still open would outlive its canvas: close it first.
  if (canvas->text_dc != nullptr) fcanvas_end_text(canvas, canvas->text_dc);
  if (canvas->owns_bitmap && canvas->bitmap != nullptr) fbitmap_destroy(canvas->bitmap);
  std::memset(static_cast<void*>(canvas), 0, sizeof *canvas);
}

// ---- Settings ---------------------------------------------------------------------------

FBitmap* fcanvas_get_bitmap(const FCanvas* canvas) {
  FCHECK(canvas != nullptr, "canvas!=null");
  return canvas->bitmap;
}

void fcanvas_set_pen(FCanvas* canvas, uint32_t style, uint32_t width, FColor color) {
  FCHECK(canvas != nullptr, "canvas!=null");
  canvas->pen_style = style;
  canvas->pen_width = width;
  canvas->pen_color = color;
}

void fcanvas_set_pen_style(FCanvas* canvas, uint32_t style) {
  FCHECK(canvas != nullptr, "canvas!=null");
  canvas->pen_style = style;
}

void fcanvas_set_pen_color(FCanvas* canvas, FColor color) {
  FCHECK(canvas != nullptr, "canvas!=null");
  canvas->pen_color = color;
}

FColor fcanvas_get_pen_color(const FCanvas* canvas) {
  FCHECK(canvas != nullptr, "canvas!=null");
  return canvas->pen_color;
}

void fcanvas_set_brush(FCanvas* canvas, uint32_t style, FColor color) {
  FCHECK(canvas != nullptr, "canvas!=null");
  canvas->brush_style = style;
  canvas->brush_color = color;
}

void fcanvas_set_brush_style(FCanvas* canvas, uint32_t style) {
  FCHECK(canvas != nullptr, "canvas!=null");
  canvas->brush_style = style;
}

void fcanvas_set_brush_color(FCanvas* canvas, FColor color) {
  FCHECK(canvas != nullptr, "canvas!=null");
  canvas->brush_color = color;
}

void fcanvas_set_pattern(FCanvas* canvas, const FBitmap* pattern) {
  FCHECK(canvas != nullptr && pattern != nullptr, "canvas!=null && patbmp!=null");
  canvas->pattern = pattern;
}

void fcanvas_set_pattern_origin(FCanvas* canvas, int32_t x, int32_t y) {
  FCHECK(canvas != nullptr, "canvas!=null");
  canvas->pattern_origin = FPoint{x, y};
}

void fcanvas_set_clip(FCanvas* canvas, const FRect* rect) {
  FCHECK(canvas != nullptr, "canvas!=null");
  if (rect == nullptr) return;
  canvas->clip = frect_normalized(*rect);
  canvas->clip_on = 1;
}

void fcanvas_clear_clip(FCanvas* canvas) {
  FCHECK(canvas != nullptr, "canvas!=null");
  canvas->clip_on = 0;
}

void fcanvas_set_font(FCanvas* canvas, int32_t size, const char16_t* face) {
  FCHECK(canvas != nullptr, "canvas!=null");
  canvas->font_size = size;
  if (face == nullptr) return;
  int32_t length = 0;
  while (length < FCANVAS_FACE_UNITS && face[length] != 0) ++length;
  if (length < FCANVAS_FACE_UNITS) canvas_set_face(canvas, face);
}

void fcanvas_set_font_class(FCanvas* canvas, int32_t font_class) {
  FCHECK(canvas != nullptr, "canvas!=null");
  canvas->font_class = font_class;
  canvas->font_size = font_size_of_class(font_class);
  canvas_set_face(canvas, kDefaultFace);
}

int32_t fcanvas_get_font_size(const FCanvas* canvas) {
  FCHECK(canvas != nullptr, "canvas!=null");
  return canvas->font_size;
}

uint32_t fcanvas_get_font_style(const FCanvas* canvas) {
  FCHECK(canvas != nullptr, "canvas!=null");
  return canvas->font_style;
}

void fcanvas_set_font_style(FCanvas* canvas, uint32_t style) {
  FCHECK(canvas != nullptr, "canvas!=null");
  canvas->font_style = style;
}

// ---- Lines and figures ------------------------------------------------------------------

int fcanvas_line_color(FCanvas* canvas, int32_t x1, int32_t y1, int32_t x2, int32_t y2,
                       FColor color) {
  FCHECK(canvas != nullptr, "canvas!=null");
  FBitmap* bitmap = canvas->bitmap;
  const FRect& clip = canvas->clip;
  if (x1 == x2) {
    int32_t lo = std::min(y1, y2);
    int32_t hi = std::max(y1, y2);
    if (canvas->clip_on) {
      if (x1 < clip.left || x1 > clip.right || hi < clip.top || lo > clip.bottom) return 1;
      lo = std::max(lo, clip.top);
      hi = std::min(hi, clip.bottom);
    }
    fbitmap_vline(bitmap, x1, lo, hi, color);
    return 1;
  }
  if (y1 == y2) {
    int32_t lo = std::min(x1, x2);
    int32_t hi = std::max(x1, x2);
    if (canvas->clip_on) {
      if (y1 < clip.top || y1 > clip.bottom || hi < clip.left || lo > clip.right) return 1;
      lo = std::max(lo, clip.left);
      hi = std::min(hi, clip.right);
    }
    fbitmap_hline(bitmap, lo, hi, y1, color);
    return 1;
  }

  // Bresenham walk: the error starts at half the major delta, gains the minor delta per
  // step and steps the minor axis on reaching the major delta. Points are tested against
  // the clip with its right column and bottom row left out.
  const int64_t dx = static_cast<int64_t>(x2) - x1;
  const int64_t dy = static_cast<int64_t>(y2) - y1;
  const bool x_major = std::llabs(dx) >= std::llabs(dy);
  const uint64_t major = static_cast<uint64_t>(x_major ? std::llabs(dx) : std::llabs(dy));
  const uint64_t minor = static_cast<uint64_t>(x_major ? std::llabs(dy) : std::llabs(dx));
  const int64_t major_start = x_major ? x1 : y1;
  const int64_t minor_start = x_major ? y1 : x1;
  const int64_t major_sign = (x_major ? dx : dy) < 0 ? -1 : 1;
  const int64_t minor_sign = (x_major ? dy : dx) < 0 ? -1 : 1;

  // The region where a point can land (right and bottom exclusive): the bitmap, cut by the
  // clip. Only the steps whose major coordinate falls inside it are walked; the error term
  // of the first such step is computed directly.
  int64_t region_left = 0, region_top = 0;
  int64_t region_right = fbitmap_get_width(bitmap), region_bottom = fbitmap_get_height(bitmap);
  if (canvas->clip_on) {
    region_left = std::max<int64_t>(region_left, clip.left);
    region_top = std::max<int64_t>(region_top, clip.top);
    region_right = std::min<int64_t>(region_right, clip.right);
    region_bottom = std::min<int64_t>(region_bottom, clip.bottom);
  }
  if (region_left >= region_right || region_top >= region_bottom) return 1;
  const int64_t major_lo = x_major ? region_left : region_top;
  const int64_t major_hi = (x_major ? region_right : region_bottom) - 1;
  const int64_t minor_lo = x_major ? region_top : region_left;
  const int64_t minor_hi = (x_major ? region_bottom : region_right) - 1;
  int64_t step_first = major_sign > 0 ? major_lo - major_start : major_start - major_hi;
  int64_t step_last = major_sign > 0 ? major_hi - major_start : major_start - major_lo;
  step_first = std::max<int64_t>(step_first, 0);
  step_last = std::min<int64_t>(step_last, static_cast<int64_t>(major));
  if (step_first > step_last) return 1;

  // After k steps the error has gathered major / 2 + k * minor, of which every whole major
  // delta was one minor step (it never exceeds 2^64 for 32-bit coordinates).
  const uint64_t gathered = major / 2 + static_cast<uint64_t>(step_first) * minor;
  int64_t minor_pos = minor_start + minor_sign * static_cast<int64_t>(gathered / major);
  uint64_t error = gathered % major;
  int64_t major_pos = major_start + major_sign * step_first;
  for (int64_t k = step_first; k <= step_last; ++k) {
    if (minor_pos >= minor_lo && minor_pos <= minor_hi) {
      const int32_t x = static_cast<int32_t>(x_major ? major_pos : minor_pos);
      const int32_t y = static_cast<int32_t>(x_major ? minor_pos : major_pos);
      fbitmap_blend_pixel(bitmap, x, y, color);
    }
    major_pos += major_sign;
    error += minor;
    if (error >= major) {
      error -= major;
      minor_pos += minor_sign;
    }
  }
  return 1;
}

int fcanvas_line(FCanvas* canvas, int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
  FCHECK(canvas != nullptr, "canvas!=null");
  if (!pen_draws(canvas)) return 1;
  return fcanvas_line_color(canvas, x1, y1, x2, y2, canvas->pen_color);
}

int fcanvas_fill_rect(FCanvas* canvas, int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
  FCHECK(canvas != nullptr, "canvas!=null");
  if (canvas->brush_style == FBRUSH_NONE) return 1;
  FRect r = frect_normalized(FRect{x1, y1, x2, y2});
  if (canvas->clip_on) {
    r = frect_intersect(r, canvas->clip);
    if (frect_is_empty(r)) return 1;
  }
  if (canvas->brush_style == FBRUSH_PATTERN) {
    const int32_t first = std::max(r.top, 0);
    const int32_t last = std::min(r.bottom, fbitmap_get_height(canvas->bitmap) - 1);
    const int64_t count = static_cast<int64_t>(r.right) - r.left + 1;
    for (int32_t y = first; y <= last; ++y) canvas_pattern_span(canvas, r.left, y, count);
    return 1;
  }
  fbitmap_fill_rect(canvas->bitmap, r.left, r.top, r.right, r.bottom, canvas->brush_color);
  return 1;
}

int fcanvas_clear(FCanvas* canvas) {
  FCHECK(canvas != nullptr, "canvas!=null");
  return fcanvas_fill_rect(canvas, 0, 0, frect_width(canvas->rect), frect_height(canvas->rect));
}

int fcanvas_rectangle(FCanvas* canvas, int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
  FCHECK(canvas != nullptr, "canvas!=null");
  const FRect r = frect_normalized(FRect{x1, y1, x2, y2});
  fcanvas_fill_rect(canvas, r.left, r.top, r.right, r.bottom);
  if (!pen_draws(canvas)) return 1;
  // Each outline pixel is drawn once: a one-row or one-column rectangle gets no second
  // edge on top of the first, and the sides exist only between top and bottom.
  fcanvas_line(canvas, r.left, r.top, r.right, r.top);
  if (r.bottom != r.top) fcanvas_line(canvas, r.left, r.bottom, r.right, r.bottom);
  if (static_cast<int64_t>(r.bottom) - r.top >= 2) {
    fcanvas_line(canvas, r.left, r.top + 1, r.left, r.bottom - 1);
    if (r.right != r.left) fcanvas_line(canvas, r.right, r.top + 1, r.right, r.bottom - 1);
  }
  return 1;
}

int fcanvas_chamfer_rect(FCanvas* canvas, int32_t x1, int32_t y1, int32_t x2, int32_t y2,
                         int32_t r) {
  FCHECK(canvas != nullptr, "canvas!=null");
  const FRect b = frect_normalized(FRect{x1, y1, x2, y2});
  const int64_t half_width = (static_cast<int64_t>(b.right) - b.left + 1) / 2;
  const int64_t half_height = (static_cast<int64_t>(b.bottom) - b.top + 1) / 2;
  // A negative cut would push the corners outside the rectangle.
  const int32_t cut =
      static_cast<int32_t>(std::max<int64_t>(0, std::min({int64_t{r}, half_width, half_height})));
  const FPoint points[9] = {
      {b.left, b.top + cut},     {b.left, b.bottom - cut}, {b.left + cut, b.bottom},
      {b.right - cut, b.bottom}, {b.right, b.bottom - cut}, {b.right, b.top + cut},
      {b.right - cut, b.top},    {b.left + cut, b.top},     {b.left, b.top + cut},
  };
  return fcanvas_polygon(canvas, points, 9);
}

int fcanvas_ellipse(FCanvas* canvas, int32_t cx, int32_t cy, int32_t rx, int32_t ry) {
  FCHECK(canvas != nullptr, "canvas!=null");
  // Every report lies inside the bounding box; one that misses the bitmap draws nothing,
  // however long the walk would be.
  const int64_t box_rx = std::max(rx, 1), box_ry = std::max(ry, 1);
  if (int64_t{cx} + box_rx < 0 || int64_t{cx} - box_rx >= fbitmap_get_width(canvas->bitmap) ||
      int64_t{cy} + box_ry < 0 || int64_t{cy} - box_ry >= fbitmap_get_height(canvas->bitmap))
    return 1;
  EllipseFill fill{canvas, nullptr, fbitmap_get_height(canvas->bitmap)};
  fill.row_filled = new (std::nothrow) uint8_t[std::max(fill.rows, 1)]();
  if (fill.row_filled == nullptr) return 0;
  fraster_ellipse(cx, cy, rx, ry, ellipse_on_span, &fill);
  delete[] fill.row_filled;
  return 1;
}

int fcanvas_circle(FCanvas* canvas, int32_t cx, int32_t cy, int32_t r) {
  return fcanvas_ellipse(canvas, cx, cy, r, r);
}

int fcanvas_fill_polygon(FCanvas* canvas, const FPoint* points, int32_t count) {
  FCHECK(canvas != nullptr, "canvas!=null");
  if (!polygon_list_ok(points, count)) return 0;
  if (canvas->brush_style == FBRUSH_NONE || count < 3) return 1;
  int32_t first_row = 0;
  int32_t last_row = fbitmap_get_height(canvas->bitmap) - 1;
  if (canvas->clip_on) {
    first_row = std::max(first_row, canvas->clip.top);
    last_row = std::min(last_row, canvas->clip.bottom);
  }
  return fraster_polygon(points, count, first_row, last_row, polygon_on_span, canvas);
}

int fcanvas_polygon(FCanvas* canvas, const FPoint* points, int32_t count) {
  FCHECK(canvas != nullptr, "canvas!=null");
  if (!polygon_list_ok(points, count)) return 0;
  const int result = fcanvas_fill_polygon(canvas, points, count);
  if (!pen_draws(canvas)) return result;
  for (int32_t k = 0; k + 1 < count; ++k)
    fcanvas_line(canvas, points[k].x, points[k].y, points[k + 1].x, points[k + 1].y);
  return result;
}

int fcanvas_flood_fill(FCanvas* canvas, int32_t x, int32_t y, int32_t tolerance) {
  FCHECK(canvas != nullptr, "canvas!=null");
  FBitmap* bitmap = canvas->bitmap;
  const int32_t width = fbitmap_get_width(bitmap);
  const int32_t height = fbitmap_get_height(bitmap);
  if (x < 0 || y < 0 || x >= width || y >= height) return 0;
  const int32_t bpp = fbitmap_get_bpp(bitmap);
  const bool plain = bpp == 24 || (bpp == 32 && fbitmap_get_compression(bitmap) == FBITMAP_BI_RGB);
  FloodFill fill{};
  fill.canvas = canvas;
  fill.tolerance = std::clamp(tolerance, 0, 255);
  fill.bytes_per_pixel = plain ? bpp / 8 : 0;
  fill.direct32 = fill.bytes_per_pixel == 4 && canvas->brush_style == FBRUSH_SOLID &&
                  fcolor_alpha(canvas->brush_color) == 255 && !canvas->clip_on &&
                  std::endian::native == std::endian::little;
  fill.row_y = -1;
  fbitmap_get_rgba(bitmap, x, y, fill.seed);
  if (canvas->brush_style == FBRUSH_NONE) return 1;
  // The canvas rectangle with right and bottom made exclusive, kept inside the bitmap.
  fill.bounds = FRect{
      std::max(canvas->rect.left, 0), std::max(canvas->rect.top, 0),
      static_cast<int32_t>(std::min<int64_t>(static_cast<int64_t>(canvas->rect.right) + 1, width)),
      static_cast<int32_t>(
          std::min<int64_t>(static_cast<int64_t>(canvas->rect.bottom) + 1, height))};
  const FRect& b = fill.bounds;
  if (b.right <= b.left || b.bottom <= b.top) return 1;
  fill.words = fraster_flood_row_words(b);
  return fraster_flood(x, y, b, flood_on_row, flood_on_span, &fill);
}

// ---- Bitmaps ----------------------------------------------------------------------------

int fcanvas_draw_bitmap(FCanvas* canvas, FPoint dst, const FBitmap* bitmap, FRect src_rect) {
  FCHECK(canvas != nullptr && bitmap != nullptr, "canvas!=null && bitmap!=null");
  return canvas_blit(canvas, dst, bitmap, src_rect, BlitKind::keyed, nullptr, FCOLOR_KEY_NONE,
                     255);
}

int fcanvas_draw_bitmap_alpha(FCanvas* canvas, FPoint dst, const FBitmap* bitmap,
                              FRect src_rect, uint8_t opacity) {
  FCHECK(canvas != nullptr && bitmap != nullptr, "canvas!=null && bitmap!=null");
  return canvas_blit(canvas, dst, bitmap, src_rect, BlitKind::plain, nullptr, FCOLOR_KEY_NONE,
                     opacity);
}

int fcanvas_draw_bitmap_masked(FCanvas* canvas, FPoint dst, const FBitmap* bitmap,
                               FRect src_rect, const FBitmap* mask, uint8_t opacity) {
  FCHECK(canvas != nullptr && bitmap != nullptr, "canvas!=null && bitmap!=null");
  if (mask == nullptr) return 0;
  return canvas_blit(canvas, dst, bitmap, src_rect, BlitKind::masked, mask, FCOLOR_KEY_NONE,
                     opacity);
}

int fcanvas_draw_bitmap_keyed(FCanvas* canvas, FPoint dst, const FBitmap* bitmap,
                              FRect src_rect, int32_t key, uint8_t opacity) {
  FCHECK(canvas != nullptr && bitmap != nullptr, "canvas!=null && bitmap!=null");
  return canvas_blit(canvas, dst, bitmap, src_rect, BlitKind::keyed, nullptr, key, opacity);
}
