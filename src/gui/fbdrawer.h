// FBDrawer: the background drawer that paints a control's background and border. Every
// control owns its own copy (taken from the theme's default at creation); drawers are
// copied, never shared, and a control may install its own paint function.
#pragma once

#include <cstdint>

#include "fbitmap.h"
#include "fcanvas.h"
#include "frect.h"

struct FBDrawer;

// Paints `rect` (canvas coordinates, inclusive) of the drawer's canvas.
using FBDrawerDrawFn = void (*)(FBDrawer* drawer, FCanvas* canvas, const FRect* rect);

enum : uint32_t {
  FFILL_NONE = 0,        // hollow: the pixels under the drawer stay
  FFILL_SOLID = 1,       // fill_color, or fill_pattern when set
  FFILL_GRADIENT = 2,    // gradient_from at the top -> gradient_to at the bottom
  FFILL_GRADIENT_2 = 3,  // gradient_from at the left -> gradient_to at the right
};
enum : uint32_t {
  FBORDER_NONE = 0,
  FBORDER_RECT = 1,
  FBORDER_ROUND = 2,
  FBORDER_RAISED = 3,
  FBORDER_SUNKEN = 4,
};

struct FBDrawer {
  FColor fill_color;              // solid fill
  const FBitmap* fill_pattern;    // tile used instead of fill_color; not owned, may be null
  uint32_t fill_kind;             // FFILL_*
  uint32_t pattern_at_origin;     // nonzero: pattern anchored at (0, 0), else at the rect corner
  uint32_t gradient_from;         // 0xRRGGBB
  uint32_t gradient_to;           // 0xRRGGBB
  uint32_t gradient_param_a;      // the program uses 100
  uint32_t gradient_param_b;      // and 0
  FBitmap* gradient_bitmap;       // owned, may be null: the gradient at the last painted size
  FColor border_color;            // plain and rounded borders
  uint32_t border_kind;           // FBORDER_*
  uint32_t border_width;          // pen width; 0 = hollow pen
  uint32_t corner_radius;         // FBORDER_ROUND
  FColor bevel_color_1;           // light side of a bevel
  FColor bevel_color_2;           // dark side of a bevel
  FBDrawerDrawFn draw;            // the paint function; fbdrawer_draw_default unless replaced
  void* owner;                    // not owned: the control that installed its own draw
};

// ---- Creation ---------------------------------------------------------------------------
// The toolkit's default look: solid white fill, 1-pixel black rectangle, the default draw.
// Null when memory is short; the caller destroys it.
FBDrawer* fbdrawer_create();
// A new drawer with the same fields and its own copy of the gradient bitmap; null when
// memory is short. The caller destroys it.
FBDrawer* fbdrawer_copy(const FBDrawer* src_drawer);

// ---- Fill and border --------------------------------------------------------------------
void fbdrawer_set_fill_color(FBDrawer* drawer, FColor color);
void fbdrawer_set_fill_none(FBDrawer* drawer);
// Solid kind with a tile instead of the colour; `pattern` null goes back to the colour.
void fbdrawer_set_fill_pattern(FBDrawer* drawer, const FBitmap* pattern, int at_origin);
// Kind 3 when `second_direction` is set, else 2.
void fbdrawer_set_gradient(FBDrawer* drawer, int second_direction, uint32_t from, uint32_t to,
                           uint32_t param_a, uint32_t param_b);
void fbdrawer_set_border(FBDrawer* drawer, FColor color, uint32_t width);
void fbdrawer_set_round_border(FBDrawer* drawer, FColor color, uint32_t width, uint32_t radius);
void fbdrawer_set_raised(FBDrawer* drawer, FColor light, FColor dark);
void fbdrawer_set_sunken(FBDrawer* drawer, FColor light, FColor dark);
void fbdrawer_set_no_border(FBDrawer* drawer);

// ---- Painting ---------------------------------------------------------------------------
// Calls the draw function unless the rectangle is empty or there is none.
void fbdrawer_paint(FBDrawer* drawer, FCanvas* canvas, const FRect* rect);
// The default draw function: the fill, then the border, inside `rect`.
void fbdrawer_draw_default(FBDrawer* drawer, FCanvas* canvas, const FRect* rect);
void fbdrawer_set_draw(FBDrawer* drawer, FBDrawerDrawFn draw);
FBDrawerDrawFn fbdrawer_get_draw(const FBDrawer* drawer);
void fbdrawer_set_owner(FBDrawer* drawer, void* owner);
void* fbdrawer_get_owner(const FBDrawer* drawer);

// ---- Release ----------------------------------------------------------------------------
void fbdrawer_destroy(FBDrawer* drawer);  // frees the gradient bitmap and the drawer
