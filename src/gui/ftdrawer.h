// FTDrawer: the toolkit's text drawer. It holds how a text looks (colour, font size, face
// and style) and how it is laid out in a rectangle (alignment, wrapping, line spacing and
// an inner margin), and draws a text into a rectangle of a canvas. Labels, buttons and the
// paint program's text tool each own a copy; drawers are copied, never shared.
//
// The paint program stores mode, line spacing and margin of the drawer a text was typed
// with in its documents (the text step), so that a replay lays the text out again exactly.
// Their meaning below is therefore a stored format: once released it never changes.
#pragma once

#include <cstdint>

#include "fbitmap.h"
#include "fcanvas.h"
#include "frect.h"

// ---- Mode (u32; stored in documents) ----------------------------------------------------
// Bits 0-3: where the block of lines sits in the rectangle, a position of the 3 x 3 grid
// numbered clockwise from the top-left corner, the centre last:
//     0 top-left      1 top-centre     2 top-right
//     7 middle-left   8 centre         3 middle-right
//     6 bottom-left   5 bottom-centre  4 bottom-right
// The vertical position places the whole block of lines; the horizontal one places each
// line on its own. Values 9 to 15 are drawn as 0 (top-left).
// Bit 4 (FTDRAW_WRAP): lines longer than the rectangle's inner width are broken at the
// last space that fits (the spaces at the break are dropped); a single word wider than the
// whole line is broken between characters. Without it each line is drawn whole and clipped.
// Line feeds always end a line; CR LF and a lone CR count as one line feed.
// All other bits are reserved: written as 0, ignored when drawing.
enum : uint32_t {
  FTDRAW_TOP_LEFT = 0,
  FTDRAW_TOP_CENTRE = 1,
  FTDRAW_TOP_RIGHT = 2,
  FTDRAW_MIDDLE_RIGHT = 3,
  FTDRAW_BOTTOM_RIGHT = 4,
  FTDRAW_BOTTOM_CENTRE = 5,
  FTDRAW_BOTTOM_LEFT = 6,
  FTDRAW_MIDDLE_LEFT = 7,
  FTDRAW_CENTRE = 8,
  FTDRAW_ALIGN_MASK = 0x0F,
  FTDRAW_WRAP = 0x10,
};

// ---- Layout metrics (i32 each; stored in documents, scaled with the painting) -----------
// line_spacing: pixels added between two lines, on top of the font's line height (ascent
//   + descent). Negative values pull lines together.
// margin: pixels kept free inside each of the four edges of the rectangle; the lines are
//   laid out in the rectangle shrunk by it. Negative values count as 0.
// Both are pixels of the canvas the drawer draws on, so a replay at another zoom scales
// them like the font size and the rectangle.

constexpr int FTDRAWER_FACE_UNITS = 32;  // font face, UTF-16 units including the terminator

struct FTDrawer {
  FColor color;        // text colour; alpha below 255 blends the text
  int32_t font_size;   // points
  char16_t font_face[FTDRAWER_FACE_UNITS];  // zero-terminated; empty = the canvas default
  uint32_t font_style;    // FFONT_* bits (fplatform.h): bold, italic, underline, strikeout
  uint32_t mode;          // alignment position | FTDRAW_WRAP
  int32_t line_spacing;   // first layout metric, pixels
  int32_t margin;         // second layout metric, pixels
};

// ---- Creation ---------------------------------------------------------------------------
// The built-in look: opaque black, 12 points, the canvas's default face, no style,
// top-left with wrapping, no extra spacing, no margin. Null when memory is short; the
// caller destroys it.
FTDrawer* ftdrawer_create();
// A new drawer with the same fields, or null when memory is short. The caller destroys it.
FTDrawer* ftdrawer_copy(const FTDrawer* src_drawer);
// The toolkit's default text drawer, which new controls and text replays copy. Owned by
// the toolkit; never destroyed by the caller.
const FTDrawer* ftdrawer_get_default();

// ---- Queries ----------------------------------------------------------------------------
FColor ftdrawer_get_color(const FTDrawer* drawer);
int32_t ftdrawer_get_font_size(const FTDrawer* drawer);
const char16_t* ftdrawer_get_font_face(const FTDrawer* drawer);
uint32_t ftdrawer_get_font_style(const FTDrawer* drawer);
uint32_t ftdrawer_get_mode(const FTDrawer* drawer);
uint32_t ftdrawer_get_alignment(const FTDrawer* drawer);  // bits 0-3 of the mode
int32_t ftdrawer_get_line_spacing(const FTDrawer* drawer);
int32_t ftdrawer_get_margin(const FTDrawer* drawer);

// ---- Changes ----------------------------------------------------------------------------
void ftdrawer_set_color(FTDrawer* drawer, FColor color);
void ftdrawer_set_font_size(FTDrawer* drawer, int32_t points);
// Copies at most 31 units; null or empty selects the canvas default.
void ftdrawer_set_font_face(FTDrawer* drawer, const char16_t* face);
void ftdrawer_set_font_style(FTDrawer* drawer, uint32_t style);
void ftdrawer_set_mode(FTDrawer* drawer, uint32_t mode);
// Replaces bits 0-3 of the mode, keeping the flags.
void ftdrawer_set_alignment(FTDrawer* drawer, uint32_t position);
void ftdrawer_set_line_spacing(FTDrawer* drawer, int32_t pixels);
void ftdrawer_set_margin(FTDrawer* drawer, int32_t pixels);

// ---- Drawing ----------------------------------------------------------------------------
// Draws `length` UTF-16 units of `text` into `rect` (canvas coordinates, inclusive) as the
// mode says. Sets the canvas's font size, face and style and its pen colour first (they
// stay set), and clips the text to `rect` (within the canvas's own clip, which is put
// back afterwards). 1 when the text was drawn (an empty text or rectangle draws nothing
// and gives 1), 0 when the text context could not be opened.
int ftdrawer_draw_text(const FTDrawer* drawer, FCanvas* canvas, const FRect* rect,
                       const char16_t* text, int32_t length);

// ---- Release ----------------------------------------------------------------------------
void ftdrawer_destroy(FTDrawer* drawer);
