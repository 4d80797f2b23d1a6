// The one open painting: the raster that is shown and drawn on (a cache of the base with
// the history's steps applied, at the current zoom), the base it was started from (a blank
// area of the canvas colour or a picture), the drawing attributes, the zoom, the painting's
// position on the screen, the table of drawing tools and the cairo context they draw with,
// straight into the painting's pixels.
#pragma once

#include <cstdint>

#include <cairo.h>

#include "fbitmap.h"
#include "frect.h"

struct FScreen;
struct Shape;

constexpr int PAINT_CONTEXT_MAX_SHAPES = 128;
constexpr int PAINT_STEP_STATE_SIZE = 24;  // view, colours and pen that each step restores

// The largest painting side: the flood fill works in 16-bit coordinates.
constexpr int32_t PAINT_CONTEXT_MAX_SIDE = 32767;
// The view position is kept within +-this on both axes.
constexpr int32_t PAINT_CONTEXT_MAX_VIEW = 1 << 24;

struct PaintContext {
  FScreen* owner;  // receives repaint requests; null: they are ignored. Not owned.
  Shape* shapes[PAINT_CONTEXT_MAX_SHAPES];  // the tools in table order, not owned
  int32_t shape_count;
  int32_t view_x, view_y;  // screen position of the painting's top-left pixel
  FColor fore_color;
  FColor back_color;
  double fore_rgba[4];  // red, green, blue, alpha as byte / 255, handed to cairo
  double back_rgba[4];
  int32_t pen_size;  // line width in painting pixels at zoom 1
  int32_t pen_style;
  int32_t fill_style;
  int32_t font_style;  // style bits of the text tool
  double zoom;         // painting size over base size
  FColor canvas_color;
  double canvas_rgb[3];
  FBitmap* painting;       // owned: 32 bpp top-down, trunc(base x zoom) pixels
  FBitmap* screen_backup;  // owned, may be null: the visible part, aligned with the screen
  FBitmap* picture;        // owned, may be null: the base picture at its own size, 32 bpp
  FBitmap* picture_scaled; // owned, may be null: picture fitted to the painting, this zoom
  int32_t base_width, base_height;       // document size at zoom 1
  cairo_surface_t* renderer_surface;     // owned: wraps painting's pixels
  cairo_t* renderer;                     // owned
  uint8_t partial_repaint;  // 1 while a tool asks for part of the painting to be redrawn
  int32_t screen_width, screen_height;   // the screen size when there is no owner
};

// ---- Creation ---------------------------------------------------------------------------
// `owner` may be null (headless use); the screen size is then `screen_width` x
// `screen_height`, else the owner's. Null when the record or the painting cannot be made.
PaintContext* paint_context_create(FScreen* owner, int32_t width, int32_t height,
                                   FColor fore, FColor back, FColor canvas, int32_t pen_size,
                                   int32_t pen_style, int32_t fill_style, int32_t font_style);
void paint_context_set_screen_size(PaintContext* pc, int32_t width, int32_t height);
void paint_context_destroy(PaintContext* pc);

// ---- The base and the painting's size --------------------------------------------------
// 1, or 0 with a painting of the previous base size (the context stays usable).
int paint_context_new_blank(PaintContext* pc, int32_t width, int32_t height, FColor canvas);
// Copies `picture` as the base; opens at a reduced zoom when memory is short. 1/0.
int paint_context_load_picture(PaintContext* pc, const FBitmap* picture);
// 1 done, 0 no memory, -1 fell back to the old size (zoom unchanged). Painting is white.
int paint_context_set_zoom(PaintContext* pc, double zoom);
int paint_context_fit_zoom(PaintContext* pc);
int paint_context_resize_painting(PaintContext* pc, int32_t width, int32_t height);
// A window of the old painting at (x, y), width x height; outside it the canvas colour.
int paint_context_crop(PaintContext* pc, int32_t x, int32_t y, int32_t width, int32_t height);
void paint_context_fill_base(PaintContext* pc);
cairo_t* paint_context_reset_renderer(PaintContext* pc);

// ---- The visible part -------------------------------------------------------------------
void paint_context_save_visible(PaintContext* pc);
void paint_context_restore_visible(PaintContext* pc);
void paint_context_resize_screen_backup(PaintContext* pc);
// New 32-bit top-down bitmap of the painting's part on the screen; the caller destroys it.
FBitmap* paint_context_copy_visible(PaintContext* pc);
// `rect` in painting coordinates, or null for the whole screen; whole = 0 marks a tool's
// partial repaint. The owner's result, or 0 when nothing is to be drawn.
int paint_context_repaint(PaintContext* pc, const FRect* rect, int whole);

// ---- Tools ------------------------------------------------------------------------------
int paint_context_add_shape(PaintContext* pc, Shape* shape);  // 0 when 128 are held
Shape* paint_context_find_shape(PaintContext* pc, uint32_t id);

// ---- Step state (the first 24 bytes of a step record) ----------------------------------
// Writes view_x, view_y, fore, back, pen size, pen style little-endian into `state`.
void paint_context_save_state(const PaintContext* pc, uint8_t state[PAINT_STEP_STATE_SIZE]);
void paint_context_restore_state(PaintContext* pc, const uint8_t state[PAINT_STEP_STATE_SIZE]);

// ---- Attributes -------------------------------------------------------------------------
FColor paint_context_get_fore_color(const PaintContext* pc);
FColor paint_context_get_back_color(const PaintContext* pc);
FColor paint_context_get_canvas_color(const PaintContext* pc);
void paint_context_set_fore_color(PaintContext* pc, FColor color);
void paint_context_set_back_color(PaintContext* pc, FColor color);
void paint_context_set_canvas_color(PaintContext* pc, FColor color);
double paint_context_get_fore_red(const PaintContext* pc);
double paint_context_get_fore_green(const PaintContext* pc);
double paint_context_get_fore_blue(const PaintContext* pc);
double paint_context_get_fore_alpha(const PaintContext* pc);
double paint_context_get_back_red(const PaintContext* pc);
double paint_context_get_back_green(const PaintContext* pc);
double paint_context_get_back_blue(const PaintContext* pc);
double paint_context_get_canvas_red(const PaintContext* pc);
double paint_context_get_canvas_green(const PaintContext* pc);
double paint_context_get_canvas_blue(const PaintContext* pc);
int32_t paint_context_get_pen_size(const PaintContext* pc);
int32_t paint_context_get_pen_style(const PaintContext* pc);
int32_t paint_context_get_fill_style(const PaintContext* pc);
int32_t paint_context_get_font_style(const PaintContext* pc);
void paint_context_set_pen_size(PaintContext* pc, int32_t size);
void paint_context_set_pen_style(PaintContext* pc, int32_t style);
void paint_context_set_fill_style(PaintContext* pc, int32_t style);
void paint_context_set_font_style(PaintContext* pc, int32_t style);
double paint_context_get_zoom(const PaintContext* pc);
FBitmap* paint_context_get_painting(const PaintContext* pc);
FBitmap* paint_context_get_picture(const PaintContext* pc);  // may be null
// Null without a picture; the picture itself at zoom 1; else the cached fitted copy.
FBitmap* paint_context_get_picture_scaled(PaintContext* pc);
int32_t paint_context_get_base_width(const PaintContext* pc);
int32_t paint_context_get_base_height(const PaintContext* pc);
FScreen* paint_context_get_owner(const PaintContext* pc);
FPoint paint_context_get_view(const PaintContext* pc);
int32_t* paint_context_view_ptr(PaintContext* pc);  // view_x then view_y, moved in place
void paint_context_set_view(PaintContext* pc, int32_t x, int32_t y);
cairo_t* paint_context_get_renderer(const PaintContext* pc);
int paint_context_is_partial_repaint(const PaintContext* pc);
int32_t paint_context_get_screen_width(const PaintContext* pc);
int32_t paint_context_get_screen_height(const PaintContext* pc);
