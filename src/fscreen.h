// FScreen: the single back buffer of the display, the stacking list of top-level surfaces
// and the routing of pen and key input to them (capture, active, listed, default).
#pragma once

#include <cstdint>

#include "fcanvas.h"
#include "fsurface.h"

struct FScreen;

using FScreenPaintFn = void (*)(FScreen* screen, const FRect* rect);
using FScreenChangedFn = void (*)(const FRect* rect);
using FScreenKeyFn = int (*)(uint32_t code, int32_t repeat, uint32_t modifiers);
using FScreenPointerFn = int (*)(int32_t type, int32_t x, int32_t y, uint32_t modifiers);

struct FScreen {
  FCanvas canvas;  // back buffer: display size and depth, rows top-down
  FRect rect;      // 0, 0, width - 1, height - 1
  FSurface* first;  // front of the surface list
  FSurface* last;   // back of the surface list
  FScreenPaintFn on_paint_background;
  FScreenChangedFn on_screen_changed;
  FScreenKeyFn on_key_default;
  FScreenPointerFn on_pointer_default;
  int32_t pointer_x, pointer_y;  // last pen position, screen coordinates
  uint32_t paint_suspended;      // while non-zero a full repaint does nothing
  FSurface* capture_surface;     // not owned; receives all pen input first
  FSurface* active_surface;      // not owned; the active form, composed above the list
  FSurface* top_surface;         // not owned; composed above everything, asked first for keys
};

// The framework's one screen (set by the platform at start-up), or null.
FScreen* fscreen_get();
void fscreen_set_global(FScreen* screen);

// ---- Creation ---------------------------------------------------------------------------
// Back buffer of width x height at `bpp` (16 or 32), rows top-down.
int fscreen_create(FScreen* screen, int32_t width, int32_t height, int32_t bpp);

// ---- Queries ----------------------------------------------------------------------------
FCanvas* fscreen_get_canvas(FScreen* screen);
FBitmap* fscreen_get_bitmap(FScreen* screen);
int32_t fscreen_get_width(const FScreen* screen);
int32_t fscreen_get_height(const FScreen* screen);
FPoint fscreen_get_pointer_pos(const FScreen* screen);
FSurface* fscreen_get_capture(const FScreen* screen);
FSurface* fscreen_get_active(const FScreen* screen);
FSurface* fscreen_get_top(const FScreen* screen);

// ---- Configuration ----------------------------------------------------------------------
void fscreen_set_on_paint_background(FScreen* screen, FScreenPaintFn fn);
void fscreen_set_on_screen_changed(FScreen* screen, FScreenChangedFn fn);
void fscreen_set_on_key_default(FScreen* screen, FScreenKeyFn fn);
void fscreen_set_on_pointer_default(FScreen* screen, FScreenPointerFn fn);
void fscreen_set_paint_suspended(FScreen* screen, uint32_t suspended);
void fscreen_set_capture(FScreen* screen, FSurface* surface);
void fscreen_set_active(FScreen* screen, FSurface* surface);
void fscreen_set_top(FScreen* screen, FSurface* surface);

// ---- Surface list -----------------------------------------------------------------------
void fscreen_add_surface(FScreen* screen, FSurface* surface);  // at the front
void fscreen_remove_surface(FScreen* screen, FSurface* surface);
void fscreen_raise_surface(FScreen* screen, FSurface* surface);

// ---- Changes and input ------------------------------------------------------------------
// Re-creates the back buffer at the new size, same depth and row order.
int fscreen_resize(FScreen* screen, int32_t width, int32_t height);
// paint_suspended on; every listed surface (back to front) and the screen hook are told
// the new full rectangle; paint_suspended off; one full repaint.
void fscreen_broadcast_screen_changed(FScreen* screen, const FRect* rect);
// Background, listed surfaces back to front, the active surface, the top surface, flush.
int fscreen_paint(FScreen* screen, const FRect* rect);
int fscreen_key(FScreen* screen, uint32_t code, int32_t repeat, uint32_t modifiers);
int fscreen_pointer(FScreen* screen, int32_t type, int32_t x, int32_t y, uint32_t modifiers);

// ---- Release ----------------------------------------------------------------------------
void fscreen_release(FScreen* screen);
