// FCanvas: the framework's drawing context. It binds one FBitmap to a clip rectangle, a
// pen, a brush, an optional pattern tile and a font, and draws lines, rectangles,
// chamfered rectangles, ellipses, polygons, tolerance flood fills, bitmaps and text.
// Geometry comes from small rasterisers that report points or spans; the canvas decides
// colour, clipping and blending.
#pragma once

#include <cstdint>

#include "fbitmap.h"
#include "frect.h"

struct FSurface;
struct FTextContext;  // an open text context (fcanvas_text.cpp)

enum : uint32_t {
  FPEN_SOLID = 0,
  FPEN_NONE = 2,  // other values draw like solid
};
enum : uint32_t {
  FBRUSH_SOLID = 0,
  FBRUSH_NONE = 1,
  FBRUSH_PATTERN = 2,
};

constexpr int FCANVAS_FACE_UNITS = 32;

struct FCanvas {
  FTextContext* text_dc;  // the open text context, or null; owned between begin and end
  FSurface* owner;        // the surface embedding this canvas, or null; not owned
  FRect rect;             // 0, 0, width - 1, height - 1
  FRect clip;             // normalised
  uint8_t clip_on;
  FBitmap* bitmap;     // target; owned only when the canvas created it (owns_bitmap)
  uint8_t owns_bitmap;
  uint32_t pen_style;  // FPEN_*
  uint32_t pen_width;  // stored only: lines are always one pixel wide
  FColor pen_color;    // also the text colour
  uint32_t brush_style;  // FBRUSH_*
  FColor brush_color;    // its alpha is also the opacity of pattern fills
  const FBitmap* pattern;  // tile for FBRUSH_PATTERN, not owned
  FPoint pattern_origin;
  int32_t font_size;                        // points
  char16_t font_face[FCANVAS_FACE_UNITS];   // zero-terminated; empty means "tahoma"
  int32_t font_class;                       // last class given to fcanvas_set_font_class
  uint32_t font_style;                      // FFONT_* bits
};

// ---- Creation and release ---------------------------------------------------------------
// Creates an own white bitmap of the size (negative height = top-down rows).
int fcanvas_create(FCanvas* canvas, FSurface* owner, int32_t bpp, int32_t width, int32_t height);
// Binds an existing bitmap, not owned.
int fcanvas_attach(FCanvas* canvas, FBitmap* bitmap);
void fcanvas_release(FCanvas* canvas);  // destroys an owned bitmap, zeroes the record

// ---- Settings ---------------------------------------------------------------------------
FBitmap* fcanvas_get_bitmap(const FCanvas* canvas);
void fcanvas_set_pen(FCanvas* canvas, uint32_t style, uint32_t width, FColor color);
void fcanvas_set_pen_style(FCanvas* canvas, uint32_t style);
void fcanvas_set_pen_color(FCanvas* canvas, FColor color);
FColor fcanvas_get_pen_color(const FCanvas* canvas);
void fcanvas_set_brush(FCanvas* canvas, uint32_t style, FColor color);
void fcanvas_set_brush_style(FCanvas* canvas, uint32_t style);
void fcanvas_set_brush_color(FCanvas* canvas, FColor color);
void fcanvas_set_pattern(FCanvas* canvas, const FBitmap* pattern);
void fcanvas_set_pattern_origin(FCanvas* canvas, int32_t x, int32_t y);
void fcanvas_set_clip(FCanvas* canvas, const FRect* rect);  // null changes nothing
void fcanvas_clear_clip(FCanvas* canvas);
// Size is always taken; the face only when shorter than 32 units.
void fcanvas_set_font(FCanvas* canvas, int32_t size, const char16_t* face);
// Classes: 1 = 22 pt, 2 = 18 pt, 3 = 12 pt, 4 = 10 pt, 5 and 6 = 8 pt, others 12 pt;
// the face becomes "tahoma".
void fcanvas_set_font_class(FCanvas* canvas, int32_t font_class);
int32_t fcanvas_get_font_size(const FCanvas* canvas);
uint32_t fcanvas_get_font_style(const FCanvas* canvas);
void fcanvas_set_font_style(FCanvas* canvas, uint32_t style);

// ---- Lines and figures ------------------------------------------------------------------
int fcanvas_line_color(FCanvas* canvas, int32_t x1, int32_t y1, int32_t x2, int32_t y2,
                       FColor color);
int fcanvas_line(FCanvas* canvas, int32_t x1, int32_t y1, int32_t x2, int32_t y2);
int fcanvas_fill_rect(FCanvas* canvas, int32_t x1, int32_t y1, int32_t x2, int32_t y2);
int fcanvas_clear(FCanvas* canvas);
int fcanvas_rectangle(FCanvas* canvas, int32_t x1, int32_t y1, int32_t x2, int32_t y2);
int fcanvas_chamfer_rect(FCanvas* canvas, int32_t x1, int32_t y1, int32_t x2, int32_t y2,
                         int32_t r);
int fcanvas_ellipse(FCanvas* canvas, int32_t cx, int32_t cy, int32_t rx, int32_t ry);
int fcanvas_circle(FCanvas* canvas, int32_t cx, int32_t cy, int32_t r);
// Lists of four or more points must be closed (last == first), else the result is 0.
int fcanvas_fill_polygon(FCanvas* canvas, const FPoint* points, int32_t count);
int fcanvas_polygon(FCanvas* canvas, const FPoint* points, int32_t count);
int fcanvas_flood_fill(FCanvas* canvas, int32_t x, int32_t y, int32_t tolerance);

// ---- Bitmaps (clipped to the canvas clip) -----------------------------------------------
int fcanvas_draw_bitmap(FCanvas* canvas, FPoint dst, const FBitmap* bitmap, FRect src_rect);
int fcanvas_draw_bitmap_alpha(FCanvas* canvas, FPoint dst, const FBitmap* bitmap,
                              FRect src_rect, uint8_t opacity);
int fcanvas_draw_bitmap_masked(FCanvas* canvas, FPoint dst, const FBitmap* bitmap,
                               FRect src_rect, const FBitmap* mask, uint8_t opacity);
int fcanvas_draw_bitmap_keyed(FCanvas* canvas, FPoint dst, const FBitmap* bitmap,
                              FRect src_rect, int32_t key, uint8_t opacity);

// ---- Text -------------------------------------------------------------------------------
// An opaque pen draws straight into a copy of the pixels (direct mode); a translucent pen
// renders white on black, turns that into a luminance mask and blends the pen colour
// through it at the pen's alpha (mask mode). The copy or mask is composed into the bitmap
// by fcanvas_end_text. Returns null on failure; the other text calls then do nothing.
FTextContext* fcanvas_begin_text(FCanvas* canvas);
// Draws with the top-left corner of the line cell at `point`.
int fcanvas_text_out(FCanvas* canvas, FTextContext* text, FPoint point, const char16_t* string,
                     int32_t length);
int fcanvas_end_text(FCanvas* canvas, FTextContext* text);
int fcanvas_change_font(FCanvas* canvas, FTextContext* text, int32_t size, const char16_t* face,
                        FColor color, uint32_t style);
int32_t fcanvas_text_height(FCanvas* canvas, FTextContext* text);
int32_t fcanvas_text_ascent(FCanvas* canvas, FTextContext* text);
int32_t fcanvas_text_descent(FCanvas* canvas, FTextContext* text);
int32_t fcanvas_text_width(FCanvas* canvas, FTextContext* text, const char16_t* string,
                           int32_t length);
int32_t fcanvas_text_fit(FCanvas* canvas, FTextContext* text, const char16_t* string,
                         int32_t length, int32_t max_width);
