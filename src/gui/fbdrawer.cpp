// The background drawer: a small record of fill and border settings plus the function that
// paints them. Each control owns a copy (fcontrol.cpp takes it from the theme, ftheme.cpp),
// so restyling one control never restyles another. The default draw function fills the
// rectangle (colour, tile or gradient) and then draws the border kind over its edge pixels;
// it leaves the canvas's pen, brush and pattern as it found them, since the control's own
// paint code usually draws on after the background.

#include "fbdrawer.h"

#include <algorithm>
#include <cstdlib>

#include "fplatform.h"

namespace {

constexpr FColor kWhite = 0xFFFFFFFFu;
constexpr FColor kBlack = 0xFF000000u;

struct CanvasTools {
  uint32_t pen_style, pen_width;
  FColor pen_color;
  uint32_t brush_style;
  FColor brush_color;
  const FBitmap* pattern;
  FPoint pattern_origin;
};

CanvasTools canvas_tools_save(const FCanvas* canvas) {
  return {canvas->pen_style,   canvas->pen_width,   canvas->pen_color,     canvas->brush_style,
          canvas->brush_color, canvas->pattern,     canvas->pattern_origin};
}

void canvas_tools_restore(FCanvas* canvas, const CanvasTools& tools) {
  canvas->pen_style = tools.pen_style;
  canvas->pen_width = tools.pen_width;
  canvas->pen_color = tools.pen_color;
  canvas->brush_style = tools.brush_style;
  canvas->brush_color = tools.brush_color;
  canvas->pattern = tools.pattern;
  canvas->pattern_origin = tools.pattern_origin;
}

uint8_t channel_between(uint32_t from, uint32_t to, int shift, int64_t step, int64_t steps) {
  const int64_t a = (from >> shift) & 0xFF;
  const int64_t b = (to >> shift) & 0xFF;
  return static_cast<uint8_t>(a + (b - a) * step / steps);
}

// The gradient as a tile of the painted size, so that the pattern brush lays it once. It is
// made again only when the size changes (or the colours were changed, which drops it).
const FBitmap* drawer_gradient_tile(FBDrawer* drawer, int32_t width, int32_t height) {
  FBitmap* tile = drawer->gradient_bitmap;
  if (tile && fbitmap_get_width(tile) == width && fbitmap_get_height(tile) == height) return tile;
  if (tile) fbitmap_destroy(tile);
  drawer->gradient_bitmap = tile = fbitmap_create(width, -height, 32);
  if (!tile) return nullptr;
  const bool across = drawer->fill_kind == FFILL_GRADIENT_2;
  const int64_t steps = std::max<int64_t>(1, (across ? width : height) - 1);
  const int32_t lines = across ? width : height;
  const uint32_t from = drawer->gradient_from;
  const uint32_t to = drawer->gradient_to;
  for (int32_t i = 0; i < lines; ++i) {
    FColor color = fcolor_make(channel_between(from, to, 16, i, steps),
                               channel_between(from, to, 8, i, steps),
                               channel_between(from, to, 0, i, steps), 255);
    if (across) fbitmap_fill_rect(tile, i, 0, i, height - 1, color);
    else fbitmap_fill_rect(tile, 0, i, width - 1, i, color);
  }
  return tile;
}

int64_t floor_div(int64_t a, int64_t b) { return a / b - ((a % b != 0) && ((a < 0) != (b < 0))); }

// Lays copies of `tile` over `r`, the grid anchored at `origin`. The tiles are copied, not
// blended: a pattern brush blends even at full opacity, which darkens every channel by
// one step.
void drawer_lay_tiles(FCanvas* canvas, const FBitmap* tile, const FRect& r, FPoint origin) {
  const int64_t tile_width = fbitmap_get_width(tile);
  const int64_t tile_height = fbitmap_get_height(tile);
  if (tile_width < 1 || tile_height < 1) return;
  FRect area = r;
  if (canvas->clip_on) area = frect_intersect(area, canvas->clip);
  area = frect_intersect(area, canvas->rect);
  if (frect_is_empty(area)) return;
  const FRect saved_clip = canvas->clip;
  const uint8_t saved_clip_on = canvas->clip_on;
  fcanvas_set_clip(canvas, &area);
  const FRect source{0, 0, static_cast<int32_t>(tile_width - 1),
                     static_cast<int32_t>(tile_height - 1)};
  // The first tile column and row at or before the area's corner.
  const int64_t first_x =
      origin.x + floor_div(area.left - int64_t{origin.x}, tile_width) * tile_width;
  const int64_t first_y =
      origin.y + floor_div(area.top - int64_t{origin.y}, tile_height) * tile_height;
  for (int64_t y = first_y; y <= area.bottom; y += tile_height) {
    for (int64_t x = first_x; x <= area.right; x += tile_width) {
      const FPoint at{static_cast<int32_t>(x), static_cast<int32_t>(y)};
      fcanvas_draw_bitmap(canvas, at, tile, source);
    }
  }
  canvas->clip = saved_clip;
  canvas->clip_on = saved_clip_on;
}

void drawer_fill(FBDrawer* drawer, FCanvas* canvas, const FRect& r) {
  const FBitmap* tile = nullptr;
  if (drawer->fill_kind == FFILL_SOLID) {
    tile = drawer->fill_pattern;
    if (!tile) {
      fcanvas_set_brush(canvas, FBRUSH_SOLID, drawer->fill_color);
      fcanvas_fill_rect(canvas, r.left, r.top, r.right, r.bottom);
      return;
    }
  } else if (drawer->fill_kind == FFILL_GRADIENT || drawer->fill_kind == FFILL_GRADIENT_2) {
    tile = drawer_gradient_tile(drawer, frect_width(r), frect_height(r));
  }
  if (!tile) return;  // hollow, an unknown kind, or no memory for the gradient
  const FPoint origin = drawer->pattern_at_origin ? FPoint{0, 0} : FPoint{r.left, r.top};
  drawer_lay_tiles(canvas, tile, r, origin);
}

void drawer_border(FBDrawer* drawer, FCanvas* canvas, const FRect& r) {
  fcanvas_set_brush_style(canvas, FBRUSH_NONE);
  switch (drawer->border_kind) {
    case FBORDER_RAISED:
      // Light outline one pixel in from the right and bottom, dark right and bottom edges.
      fcanvas_set_pen(canvas, FPEN_SOLID, drawer->border_width, drawer->bevel_color_1);
      fcanvas_rectangle(canvas, r.left, r.top, r.right - 1, r.bottom - 1);
      fcanvas_set_pen_color(canvas, drawer->bevel_color_2);
      fcanvas_line(canvas, r.right, r.bottom, r.right, r.top);
      fcanvas_line(canvas, r.right, r.bottom, r.left, r.bottom);
      return;
    case FBORDER_SUNKEN:
      // Light outline on all edges, dark left and top edges over it.
      fcanvas_set_pen(canvas, FPEN_SOLID, drawer->border_width, drawer->bevel_color_1);
      fcanvas_rectangle(canvas, r.left, r.top, r.right, r.bottom);
      fcanvas_set_pen_color(canvas, drawer->bevel_color_2);
      fcanvas_line(canvas, r.left, r.top, r.left, r.bottom);
      fcanvas_line(canvas, r.left, r.top, r.right, r.top);
      return;
    case FBORDER_RECT:
    case FBORDER_ROUND:
      if (drawer->border_width == 0) return;  // hollow pen
      fcanvas_set_pen(canvas, FPEN_SOLID, drawer->border_width, drawer->border_color);
      // The canvas has no rounded rectangle; cut corners of the radius stand in for it.
      if (drawer->border_kind == FBORDER_ROUND) {
        const auto radius = static_cast<int32_t>(std::min<uint32_t>(drawer->corner_radius, 0x7FFF));
        fcanvas_chamfer_rect(canvas, r.left, r.top, r.right, r.bottom, radius);
      } else {
        fcanvas_rectangle(canvas, r.left, r.top, r.right, r.bottom);
      }
      return;
    default:
      return;
  }
}

}  // namespace

// ---- Creation ---------------------------------------------------------------------------

FBDrawer* fbdrawer_create() {
  auto* drawer = static_cast<FBDrawer*>(std::calloc(1, sizeof(FBDrawer)));
  if (!drawer) return nullptr;
  drawer->fill_kind = FFILL_SOLID;
  drawer->fill_color = kWhite;
  drawer->border_kind = FBORDER_RECT;
  drawer->border_color = kBlack;
  drawer->border_width = 1;
  drawer->bevel_color_1 = fcolor_make(128, 128, 128, 255);
  drawer->bevel_color_2 = kBlack;
  drawer->gradient_param_a = 100;
  drawer->draw = fbdrawer_draw_default;
  return drawer;
}

FBDrawer* fbdrawer_copy(const FBDrawer* src_drawer) {
  FCHECK(src_drawer != nullptr, "src_drawer!=null");
  auto* drawer = static_cast<FBDrawer*>(std::malloc(sizeof(FBDrawer)));
  if (!drawer) return nullptr;
  *drawer = *src_drawer;
  drawer->gradient_bitmap = nullptr;
  if (src_drawer->gradient_bitmap) {
    // Without memory for the copy the gradient is simply rendered again at the next paint.
    drawer->gradient_bitmap = fbitmap_clone(src_drawer->gradient_bitmap);
  }
  return drawer;
}

// ---- Fill and border --------------------------------------------------------------------

void fbdrawer_set_fill_color(FBDrawer* drawer, FColor color) {
  FCHECK(drawer != nullptr, "drawer!=null");
  drawer->fill_kind = FFILL_SOLID;
  drawer->fill_color = color;
  drawer->fill_pattern = nullptr;
}

void fbdrawer_set_fill_none(FBDrawer* drawer) {
  FCHECK(drawer != nullptr, "drawer!=null");
  drawer->fill_kind = FFILL_NONE;
}

void fbdrawer_set_fill_pattern(FBDrawer* drawer, const FBitmap* pattern, int at_origin) {
  FCHECK(drawer != nullptr, "drawer!=null");
  drawer->fill_kind = FFILL_SOLID;
  drawer->fill_pattern = pattern;
  drawer->pattern_at_origin = at_origin ? 1 : 0;
}

void fbdrawer_set_gradient(FBDrawer* drawer, int second_direction, uint32_t from, uint32_t to,
                           uint32_t param_a, uint32_t param_b) {
  FCHECK(drawer != nullptr, "drawer!=null");
  drawer->fill_kind = second_direction ? FFILL_GRADIENT_2 : FFILL_GRADIENT;
  drawer->gradient_from = from & 0xFFFFFF;
  drawer->gradient_to = to & 0xFFFFFF;
  drawer->gradient_param_a = param_a;
  drawer->gradient_param_b = param_b;
  // A tile of the old colours must not be reused because the size happens to match.
  if (drawer->gradient_bitmap) fbitmap_destroy(drawer->gradient_bitmap);
  drawer->gradient_bitmap = nullptr;
}

void fbdrawer_set_border(FBDrawer* drawer, FColor color, uint32_t width) {
  FCHECK(drawer != nullptr, "drawer!=null");
  drawer->border_kind = FBORDER_RECT;
  drawer->border_color = color;
  drawer->border_width = width;
}

void fbdrawer_set_round_border(FBDrawer* drawer, FColor color, uint32_t width, uint32_t radius) {
  FCHECK(drawer != nullptr, "drawer!=null");
  drawer->border_kind = FBORDER_ROUND;
  drawer->border_color = color;
  drawer->border_width = width;
  drawer->corner_radius = radius;
}

void fbdrawer_set_raised(FBDrawer* drawer, FColor light, FColor dark) {
  FCHECK(drawer != nullptr, "drawer!=null");
  drawer->border_kind = FBORDER_RAISED;
  drawer->bevel_color_1 = light;
  drawer->bevel_color_2 = dark;
}

void fbdrawer_set_sunken(FBDrawer* drawer, FColor light, FColor dark) {
  FCHECK(drawer != nullptr, "drawer!=null");
  drawer->border_kind = FBORDER_SUNKEN;
  drawer->bevel_color_1 = light;
  drawer->bevel_color_2 = dark;
}

void fbdrawer_set_no_border(FBDrawer* drawer) {
  FCHECK(drawer != nullptr, "drawer!=null");
  drawer->border_kind = FBORDER_NONE;
  drawer->border_width = 0;
}

// ---- Painting ---------------------------------------------------------------------------

void fbdrawer_paint(FBDrawer* drawer, FCanvas* canvas, const FRect* rect) {
  FCHECK(drawer != nullptr, "drawer!=null");
  if (!canvas || !rect || !drawer->draw) return;
  if (frect_is_empty(*rect)) return;
  drawer->draw(drawer, canvas, rect);
}

void fbdrawer_draw_default(FBDrawer* drawer, FCanvas* canvas, const FRect* rect) {
  FCHECK(drawer != nullptr, "drawer!=null");
  if (!canvas || !canvas->bitmap || !rect || frect_is_empty(*rect)) return;
  const CanvasTools saved = canvas_tools_save(canvas);
  drawer_fill(drawer, canvas, *rect);
  drawer_border(drawer, canvas, *rect);
  canvas_tools_restore(canvas, saved);
}

void fbdrawer_set_draw(FBDrawer* drawer, FBDrawerDrawFn draw) {
  FCHECK(drawer != nullptr, "drawer!=null");
  drawer->draw = draw;
}

FBDrawerDrawFn fbdrawer_get_draw(const FBDrawer* drawer) {
  FCHECK(drawer != nullptr, "drawer!=null");
  return drawer->draw;
}

void fbdrawer_set_owner(FBDrawer* drawer, void* owner) {
  FCHECK(drawer != nullptr, "drawer!=null");
  drawer->owner = owner;
}

void* fbdrawer_get_owner(const FBDrawer* drawer) {
  FCHECK(drawer != nullptr, "drawer!=null");
  return drawer->owner;
}

// ---- Release ----------------------------------------------------------------------------

void fbdrawer_destroy(FBDrawer* drawer) {
  FCHECK(drawer != nullptr, "drawer!=null");
  if (drawer->gradient_bitmap) fbitmap_destroy(drawer->gradient_bitmap);
  std::free(drawer);
}
