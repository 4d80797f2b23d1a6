// The canvas's text contexts. Text is drawn into working pixels of the canvas bitmap's own
// format and composed into the bitmap when the context ends, so the platform rasteriser
// (fplatform.h) only ever hands out coverage and never touches a bitmap:
//   - an opaque pen draws straight into a copy of the bitmap's pixels (direct mode), which
//     replaces the bitmap's pixels whole at the end;
//   - a translucent pen draws white on black (mask mode); at the end the white is read back
//     as a luminance mask and the pen colour is blended through it at the pen's alpha.
// The rasteriser's antialiasing thus becomes the text's smooth edges in both modes.
//
//   fcanvas_begin_text -> working pixels + platform font, canvas->text_dc = context
//   fcanvas_text_out   -> fplatform_font_render -> text_sink_blend (coverage into the pixels)
//   fcanvas_end_text   -> direct: copy back | mask: luminance mask -> fcanvas_draw_bitmap_masked
//
// Palette (8 bpp) canvases have no colour to blend in and are refused: begin_text returns
// null for them, and the other text calls then do nothing.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <new>

#include "fbitmap.h"
#include "fcanvas.h"
#include "fplatform.h"

namespace {

enum class FTextMode { direct, mask };

constexpr char16_t kDefaultFace[] = u"tahoma";
constexpr FRect kEmptyRect{0, 0, -1, -1};

}  // namespace

struct FTextContext {
  FCanvas* canvas;      // not owned: the canvas that opened the context
  FBitmap* target;      // not owned: the canvas bitmap the text is composed into
  FBitmap work;         // owned: working pixels in the target's format (copy or black)
  FPlatformFont* font;  // owned
  FTextMode mode;
  FColor ink;    // colour blended into the working pixels: the pen's, or white for the mask
  FRect limit;   // where text may land: the bitmap, cut by the canvas clip when it was on
  FRect inked;   // bounding box of the pieces drawn so far; empty while nothing was drawn
};

namespace {

// ---- Blending coverage into the working pixels -------------------------------------------

// Exact rounding, so that full coverage gives exactly the ink and none leaves the pixel.
inline uint8_t blend_channel(uint32_t ink, uint32_t old, uint32_t coverage) {
  return static_cast<uint8_t>((ink * coverage + old * (255 - coverage) + 127) / 255);
}

// One channel of a 16-bit pixel: where it sits and how wide it is.
struct Channel16 {
  uint32_t mask;
  uint32_t shift;
  uint32_t loss;  // 8 minus the channel's bits
  uint32_t max;   // largest raw value
};

struct Format16 {
  Channel16 red, green, blue;
};

Channel16 channel16_make(uint32_t mask, uint32_t shift, uint32_t loss) {
  return Channel16{mask, shift, loss, mask >> shift};
}

// The channel description of a 16-bit bitmap; one without masks is taken as 5-5-5.
Format16 format16_of(const FBitmap* bitmap) {
  if (bitmap->red_mask == 0 || bitmap->green_mask == 0 || bitmap->blue_mask == 0) {
    return Format16{channel16_make(0x7C00, 10, 3), channel16_make(0x03E0, 5, 3),
                    channel16_make(0x001F, 0, 3)};
  }
  return Format16{channel16_make(bitmap->red_mask, bitmap->red_shift, bitmap->red_loss),
                  channel16_make(bitmap->green_mask, bitmap->green_shift, bitmap->green_loss),
                  channel16_make(bitmap->blue_mask, bitmap->blue_shift, bitmap->blue_loss)};
}

inline uint32_t channel16_raw(const Channel16& channel, uint32_t pixel) {
  return (pixel & channel.mask) >> channel.shift;
}

// Widening by rounding to the nearest 8-bit value keeps a half-covered edge over white
// near the true middle grey; packing truncates like the span fills, so full coverage of
// the pen stores exactly the value a fill of the pen colour would.
inline uint32_t channel16_blend(const Channel16& channel, uint32_t pixel, uint32_t ink,
                                uint32_t coverage) {
  if (channel.max == 0) return 0;
  uint32_t old = (channel16_raw(channel, pixel) * 255 + channel.max / 2) / channel.max;
  uint32_t blended = blend_channel(ink, old, coverage);
  return ((blended >> channel.loss) << channel.shift) & channel.mask;
}

void blend_row_rgb32(uint8_t* row, int32_t x, int32_t count, const uint8_t* coverage,
                     FColor ink) {
  uint8_t* p = row + 4 * static_cast<size_t>(x);
  for (int32_t i = 0; i < count; ++i, p += 4) {
    uint32_t c = coverage[i];
    if (c == 0) continue;
    p[0] = blend_channel(fcolor_blue(ink), p[0], c);
    p[1] = blend_channel(fcolor_green(ink), p[1], c);
    p[2] = blend_channel(fcolor_red(ink), p[2], c);
    // Ink is opaque: the painting's fourth byte is its alpha for the vector renderer.
    p[3] = 0xFF;
  }
}

void blend_row_rgb24(uint8_t* row, int32_t x, int32_t count, const uint8_t* coverage,
                     FColor ink) {
  uint8_t* p = row + 3 * static_cast<size_t>(x);
  for (int32_t i = 0; i < count; ++i, p += 3) {
    uint32_t c = coverage[i];
    if (c == 0) continue;
    p[0] = blend_channel(fcolor_blue(ink), p[0], c);
    p[1] = blend_channel(fcolor_green(ink), p[1], c);
    p[2] = blend_channel(fcolor_red(ink), p[2], c);
  }
}

void blend_row_rgb16(uint8_t* row, int32_t x, int32_t count, const uint8_t* coverage,
                     FColor ink, const Format16& format) {
  uint8_t* p = row + 2 * static_cast<size_t>(x);
  for (int32_t i = 0; i < count; ++i, p += 2) {
    uint32_t c = coverage[i];
    if (c == 0) continue;
    uint32_t pixel = p[0] | (p[1] << 8);
    uint32_t blended = channel16_blend(format.red, pixel, fcolor_red(ink), c) |
                       channel16_blend(format.green, pixel, fcolor_green(ink), c) |
                       channel16_blend(format.blue, pixel, fcolor_blue(ink), c);
    p[0] = static_cast<uint8_t>(blended);
    p[1] = static_cast<uint8_t>(blended >> 8);
  }
}

// The rasteriser's sink: blends one coverage map into the working pixels, inside the limit.
void text_sink_blend(void* context, int32_t x, int32_t y, const uint8_t* coverage,
                     int32_t width, int32_t height, int32_t pitch) {
  auto* text = static_cast<FTextContext*>(context);
  if (width <= 0 || height <= 0 || !coverage) return;
  // Widened so that a piece near the ends of the coordinate range cannot overflow.
  int64_t left = std::max<int64_t>(x, text->limit.left);
  int64_t top = std::max<int64_t>(y, text->limit.top);
  int64_t right = std::min<int64_t>(static_cast<int64_t>(x) + width - 1, text->limit.right);
  int64_t bottom = std::min<int64_t>(static_cast<int64_t>(y) + height - 1, text->limit.bottom);
  if (right < left || bottom < top) return;
  FRect area{static_cast<int32_t>(left), static_cast<int32_t>(top), static_cast<int32_t>(right),
             static_cast<int32_t>(bottom)};
  int32_t count = area.right - area.left + 1;
  int32_t bpp = fbitmap_get_bpp(&text->work);
  Format16 format16{};
  if (bpp == 16) format16 = format16_of(&text->work);
  for (int32_t row = area.top; row <= area.bottom; ++row) {
    uint8_t* pixels = fbitmap_row(&text->work, row);
    const uint8_t* cover =
        coverage + static_cast<std::ptrdiff_t>(row - y) * pitch + (area.left - x);
    switch (bpp) {
      case 32: blend_row_rgb32(pixels, area.left, count, cover, text->ink); break;
      case 24: blend_row_rgb24(pixels, area.left, count, cover, text->ink); break;
      case 16: blend_row_rgb16(pixels, area.left, count, cover, text->ink, format16); break;
      default: break;
    }
  }
  text->inked = frect_is_empty(text->inked) ? area : frect_union(text->inked, area);
}

// ---- Mask mode's composition ---------------------------------------------------------------

// Luminance of one pixel of the white-on-black rendering. 16-bit pixels weigh their raw
// fields, each shifted up to 8 bits by its loss; for RGB565 this is
// ((G6 << 2) * 151 + R5 * 616 + B5 * 224) >> 8.
inline uint8_t mask_luminance(const uint8_t* p, int32_t bpp, const Format16& format) {
  if (bpp == 16) {
    uint32_t pixel = p[0] | (p[1] << 8);
    uint32_t r = channel16_raw(format.red, pixel) << format.red.loss;
    uint32_t g = channel16_raw(format.green, pixel) << format.green.loss;
    uint32_t b = channel16_raw(format.blue, pixel) << format.blue.loss;
    return static_cast<uint8_t>(std::min<uint32_t>(255, (151 * g + 77 * r + 28 * b) >> 8));
  }
  return static_cast<uint8_t>((151 * p[1] + 77 * p[2] + 28 * p[0]) >> 8);
}

// Blends the pen colour through the luminance of what was drawn. Only the inked box is
// converted, and only the runs of a row whose mask is not zero are blitted: the masked
// blit darkens a pixel by one step even at mask 0, and the rest of the painting must stay
// as it was.
int text_compose_mask(FCanvas* canvas, FTextContext* text) {
  FColor pen = canvas->pen_color;
  uint8_t opacity = fcolor_alpha(pen);
  FRect box = text->inked;
  if (frect_is_empty(box) || opacity == 0) return 1;
  int32_t width = frect_width(box);
  int32_t height = frect_height(box);
  int32_t bpp = fbitmap_get_bpp(&text->work);
  int32_t rows = fbitmap_is_top_down(text->target) ? -height : height;
  FBitmap* colour = fbitmap_create(width, rows, bpp);
  FBitmap* mask = fbitmap_create(width, rows, 8);
  if (!colour || !mask) {
    if (colour) fbitmap_destroy(colour);
    if (mask) fbitmap_destroy(mask);
    return 0;
  }
  fbitmap_fill_rect(colour, 0, 0, width - 1, height - 1, pen | 0xFF000000u);
  Format16 format16{};
  if (bpp == 16) format16 = format16_of(&text->work);
  int32_t bytes_per_pixel = bpp / 8;
  for (int32_t y = 0; y < height; ++y) {
    const uint8_t* src = fbitmap_row(&text->work, box.top + y) +
                         static_cast<size_t>(box.left) * bytes_per_pixel;
    uint8_t* dst = fbitmap_row(mask, y);
    for (int32_t x = 0; x < width; ++x, src += bytes_per_pixel) {
      dst[x] = mask_luminance(src, bpp, format16);
    }
    for (int32_t x = 0; x < width;) {
      if (dst[x] == 0) {
        ++x;
        continue;
      }
      int32_t start = x;
      while (x < width && dst[x] != 0) ++x;
      fcanvas_draw_bitmap_masked(canvas, FPoint{box.left + start, box.top + y}, colour,
                                 FRect{start, y, x - 1, y}, mask, opacity);
    }
  }
  fbitmap_destroy(colour);
  fbitmap_destroy(mask);
  return 1;
}

// ---- Fonts ----------------------------------------------------------------------------------

// The canvas font as the platform sees it: points to pixels at the display's text
// resolution, the face (the default when empty) and the style bits.
FPlatformFont* text_font_create(const FCanvas* canvas) {
  int64_t pixels = static_cast<int64_t>(canvas->font_size) * fplatform_text_dpi() / 72;
  pixels = std::clamp<int64_t>(pixels, INT32_MIN, INT32_MAX);
  // The face field is copied so that it is terminated whatever was stored in it.
  char16_t face[FCANVAS_FACE_UNITS + 1] = {};
  std::memcpy(face, canvas->font_face, sizeof canvas->font_face);
  const char16_t* name = face[0] ? face : kDefaultFace;
  return fplatform_font_create(static_cast<int32_t>(pixels), name, canvas->font_style);
}

// True while the bitmap the context was opened on is still the canvas's, unchanged in
// size and format, so that the working pixels fit it byte for byte.
bool text_target_intact(const FCanvas* canvas, const FTextContext* text) {
  const FBitmap* target = canvas->bitmap;
  return target == text->target && target->pixels &&
         fbitmap_get_width(target) == fbitmap_get_width(&text->work) &&
         fbitmap_get_height(target) == fbitmap_get_height(&text->work) &&
         fbitmap_get_bpp(target) == fbitmap_get_bpp(&text->work) &&
         fbitmap_get_size_image(target) == fbitmap_get_size_image(&text->work);
}

void text_context_free(FTextContext* text) {
  fplatform_font_destroy(text->font);
  fbitmap_release(&text->work);
  delete text;
}

}  // namespace

// ---- Text contexts --------------------------------------------------------------------------

FTextContext* fcanvas_begin_text(FCanvas* canvas) {
  FCHECK(canvas != nullptr, "canvas!=null");
  FBitmap* target = canvas->bitmap;
  if (!target || !target->pixels || fbitmap_get_bpp(target) < 16) return nullptr;
  // One context at a time: the first one's pixels would otherwise overwrite the second's.
  if (canvas->text_dc) return nullptr;
  FTextContext* text = new (std::nothrow) FTextContext{};
  if (!text) return nullptr;
  text->canvas = canvas;
  text->target = target;
  text->mode = fcolor_alpha(canvas->pen_color) == 255 ? FTextMode::direct : FTextMode::mask;
  text->ink = text->mode == FTextMode::direct ? (canvas->pen_color | 0xFF000000u) : 0xFFFFFFFFu;
  text->inked = kEmptyRect;
  if (!fbitmap_copy_into(&text->work, target)) {
    delete text;
    return nullptr;
  }
  if (text->mode == FTextMode::mask) {
    std::memset(text->work.pixels, 0, fbitmap_get_size_image(&text->work));
  }
  text->limit = FRect{0, 0, fbitmap_get_width(target) - 1, fbitmap_get_height(target) - 1};
  if (canvas->clip_on) text->limit = frect_intersect(text->limit, frect_normalized(canvas->clip));
  text->font = text_font_create(canvas);
  if (!text->font) {
    text_context_free(text);
    return nullptr;
  }
  canvas->text_dc = text;
  return text;
}

int fcanvas_text_out(FCanvas* canvas, FTextContext* text, FPoint point, const char16_t* string,
                     int32_t length) {
  FCHECK(canvas != nullptr, "canvas!=null");
  if (!text) return 0;
  if (canvas->pen_style == FPEN_NONE || !string || length <= 0) return 1;
  fplatform_font_render(text->font, string, length, point.x, point.y, text_sink_blend, text);
  return 1;
}

int fcanvas_end_text(FCanvas* canvas, FTextContext* text) {
  FCHECK(canvas != nullptr, "canvas!=null");
  if (!text) return 0;
  int result = 0;
  // A bitmap swapped or resized while the context was open cannot take the working
  // pixels; the text is dropped rather than written past its end.
  if (text_target_intact(canvas, text)) {
    if (text->mode == FTextMode::direct) {
      std::memcpy(canvas->bitmap->pixels, text->work.pixels, fbitmap_get_size_image(&text->work));
      result = 1;
    } else {
      result = text_compose_mask(canvas, text);
    }
  }
  if (canvas->text_dc == text) canvas->text_dc = nullptr;
  if (text->canvas != canvas && text->canvas->text_dc == text) text->canvas->text_dc = nullptr;
  text_context_free(text);
  return result;
}

int fcanvas_change_font(FCanvas* canvas, FTextContext* text, int32_t size, const char16_t* face,
                        FColor color, uint32_t style) {
  FCHECK(canvas != nullptr, "canvas!=null");
  if (!text) return 0;
  fcanvas_set_font(canvas, size, face);
  canvas->font_style = style;
  canvas->pen_color = color;
  // The mode stays the one chosen when the context opened; in mask mode the new colour
  // is read when the context ends.
  if (text->mode == FTextMode::direct) text->ink = color | 0xFF000000u;
  FPlatformFont* font = text_font_create(canvas);
  if (!font) return 0;  // the previous font stays in use
  fplatform_font_destroy(text->font);
  text->font = font;
  return 1;
}

// ---- Metrics --------------------------------------------------------------------------------

namespace {

FFontMetrics text_metrics(const FTextContext* text) {
  FFontMetrics metrics{};
  if (text) fplatform_font_metrics(text->font, &metrics);
  return metrics;
}

}  // namespace

int32_t fcanvas_text_height(FCanvas* canvas, FTextContext* text) {
  FCHECK(canvas != nullptr, "canvas!=null");
  return text_metrics(text).height;
}

int32_t fcanvas_text_ascent(FCanvas* canvas, FTextContext* text) {
  FCHECK(canvas != nullptr, "canvas!=null");
  return text_metrics(text).ascent;
}

int32_t fcanvas_text_descent(FCanvas* canvas, FTextContext* text) {
  FCHECK(canvas != nullptr, "canvas!=null");
  return text_metrics(text).descent;
}

int32_t fcanvas_text_width(FCanvas* canvas, FTextContext* text, const char16_t* string,
                           int32_t length) {
  FCHECK(canvas != nullptr, "canvas!=null");
  if (!text || !string || length <= 0) return 0;
  return fplatform_font_text_width(text->font, string, length);
}

int32_t fcanvas_text_fit(FCanvas* canvas, FTextContext* text, const char16_t* string,
                         int32_t length, int32_t max_width) {
  FCHECK(canvas != nullptr, "canvas!=null");
  if (!text || !string || length <= 0) return 0;
  return fplatform_font_text_fit(text->font, string, length, max_width);
}
